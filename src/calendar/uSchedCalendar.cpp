#include "uSchedCalendar.h"

#include <QTextCharFormat>

TSchedCalendar::TSchedCalendar(QWidget* parent) : QCalendarWidget(parent)
{
    setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    setGridVisible(false);
    setFirstDayOfWeek(locale().firstDayOfWeek());
    connect(this, &QCalendarWidget::clicked, this, [this](QDate) { emit Click(); });
    connect(this, &QCalendarWidget::currentPageChanged, this, &TSchedCalendar::pageChanged);
}

void TSchedCalendar::SetDate(QDate date)
{
    m_setting = true;
    setSelectedDate(date);
    m_setting = false;
}

void TSchedCalendar::pageChanged(int year, int month)
{
    // The arrows and the month picker turn the page only; the date follows to the first
    // day of the month shown, unless a click on a neighbouring month's day turned it.
    if (m_setting)
        return;
    const QDate date = selectedDate();
    if (date.year() == year && date.month() == month)
        return;
    SetDate(QDate(year, month, 1));
    emit Click();
}
