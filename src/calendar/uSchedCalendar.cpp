#include "uSchedCalendar.h"

#include "uSchedServer.h"

#include <QKeyEvent>
#include <QTextCharFormat>
#include <QSpinBox>

TSchedCalendar::TSchedCalendar(QWidget* parent) : QCalendarWidget(parent)
{
    setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    setGridVisible(false);
    setFirstDayOfWeek(locale().firstDayOfWeek());
    connect(this, &QCalendarWidget::clicked, this, [this](QDate) { emit Click(); });
    connect(this, &QCalendarWidget::currentPageChanged, this, &TSchedCalendar::pageChanged);
    connect(this, &QCalendarWidget::currentPageChanged, this, &TSchedCalendar::markDays);
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

void TSchedCalendar::SetServer(TSchedServer* server)
{
    if (m_server)
        disconnect(m_server, nullptr, this, nullptr);
    m_server = server;
    if (server)
        connect(server, &TSchedServer::Changed, this, &TSchedCalendar::markDays);
    markDays();
}

// Bold days show where the entries are: the diary's views can lie far from them.
void TSchedCalendar::markDays()
{
    for (const QDate& date : std::as_const(m_marked))
        setDateTextFormat(date, QTextCharFormat());
    m_marked.clear();
    if (!m_server || m_server->Count() == 0)
        return;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    // The page shows up to six weeks, from the end of the month before.
    const QDate first(yearShown(), monthShown(), 1);
    for (QDate date = first.addDays(-7); date <= first.addDays(42); date = date.addDays(1))
        if (m_server->DayItems(date).size() > 0) {
            setDateTextFormat(date, bold);
            m_marked << date;
        }
}
