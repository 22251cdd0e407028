#pragma once

#include <QDate>
#include <QList>
#include <QString>

// View modes of the day/week/month view.
enum TSchedViewMode
{
    vmDay,      // one day in rows of time
    vmWorkWeek, // Monday to Friday of the week in focus, in rows of time
    vmWeek,     // the seven days of the week in focus, each a cell listing its appointments
    vmMonth     // five whole weeks from the week in focus, each day a cell
};

// The first day of the week (beginning on firstDay) that holds date.
QDate SchedWeekStart(QDate date, Qt::DayOfWeek firstDay);
// The days a mode shows around the date in focus, in date order.
QList<QDate> SchedPeriodDays(TSchedViewMode mode, QDate focus, Qt::DayOfWeek firstDay);
// The month five weeks of days show: the month of the middle day, which is also the
// month most of them belong to. Its first day; invalid for no days.
QDate SchedShownMonth(const QList<QDate>& days);

// What a text of the preview's zoom list asks for.
struct TSchedZoomChoice
{
    enum Kind
    {
        Scale,     // fixed scale of Percent %
        PageWidth, // fit: a page fills the width
        WholePage, // fit: a page fits whole
        Invalid    // Error holds the conversion message
    };
    Kind kind = Invalid;
    int percent = 0;
    QString error;
};

// The zoom list's entries, in their order.
QStringList SchedZoomEntries();
// Reads a text typed or chosen in the zoom list: an entry (matched case-sensitively) or
// a whole number with an optional final "%".
TSchedZoomChoice SchedParseZoom(const QString& text);
