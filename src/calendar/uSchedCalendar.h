#pragma once

#include <QCalendarWidget>
#include <QDate>
#include <QList>
#include <QPointer>

class TSchedServer;

// The month calendar: one date; week numbers, day names and the days of the neighbouring
// months in the leading and trailing cells. A click on a day makes it the date; the
// arrows move the date to the first day of the previous or next month; the title opens a
// month picker (choosing a month moves the date to its first day). Click is fired after
// a click on a day and after the arrows or the picker moved the date.
class TSchedCalendar : public QCalendarWidget
{
    Q_OBJECT
public:
    explicit TSchedCalendar(QWidget* parent = nullptr);

    QDate Date() const { return selectedDate(); }
    // Sets the date without firing Click.
    void SetDate(QDate date);
    // The store whose days with appointments are shown in bold, in every month shown.
    void SetServer(TSchedServer* server);

signals:
    void Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pageChanged(int year, int month);
    void markDays();

    bool m_setting = false;
    QPointer<TSchedServer> m_server;
    QList<QDate> m_marked;
};
