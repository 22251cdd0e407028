#include "uSchedCalendar.h"

#include <QKeyEvent>
#include <QSpinBox>

TSchedCalendar::TSchedCalendar(QWidget* parent) : QCalendarWidget(parent)
{
    setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    setGridVisible(false);
    setFirstDayOfWeek(locale().firstDayOfWeek());
    connect(this, &QCalendarWidget::clicked, this, [this](QDate) { emit Click(); });
    connect(this, &QCalendarWidget::currentPageChanged, this, &TSchedCalendar::pageChanged);
}

bool TSchedCalendar::eventFilter(QObject* watched, QEvent* event)
{
    // Enter ends the typing of a year here; it must not go on to press the default
    // button of the window the calendar sits in.
    auto* year = findChild<QSpinBox*>(QStringLiteral("qt_calendar_yearedit"));
    if (event->type() == QEvent::KeyPress && watched == year) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            year->interpretText();
            emit year->editingFinished();
            return true;
        }
    }
    return QCalendarWidget::eventFilter(watched, event);
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
