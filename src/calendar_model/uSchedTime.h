#pragma once

#include "uDateText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QtGlobal>

// Points in time of the calendar set: milliseconds of wall-clock time since
// 30 December 1899, 00:00 (the day count the diary's rows use for "0"). No time zone:
// appointments are placed where the rows say, and plain integers keep the hot paths
// free of per-value QDateTime work.
using TSchedTime = qint64;

constexpr qint64 kSchedMsecsPerDay = kMsecsPerDay;
constexpr qint64 kSchedMsecsPerMinute = 60'000;
// Julian day of 30 December 1899, day 0 of the calendar.
constexpr qint64 kSchedJulianDayZero = kJulianDayZero;

// The day (days since 30 December 1899, negative before) that holds t.
inline int SchedDayOf(TSchedTime t)
{
    qint64 d = t / kSchedMsecsPerDay;
    if (t % kSchedMsecsPerDay < 0)
        --d;
    return int(d);
}
// Milliseconds since the start of t's day, 0 .. 86,399,999.
inline int SchedMsecsOfDay(TSchedTime t)
{
    qint64 m = t % kSchedMsecsPerDay;
    return int(m < 0 ? m + kSchedMsecsPerDay : m);
}
inline TSchedTime SchedTimeOf(int day, qint64 msecsOfDay = 0)
{
    return qint64(day) * kSchedMsecsPerDay + msecsOfDay;
}
inline int SchedDayFromDate(QDate date)
{
    return int(date.toJulianDay() - kSchedJulianDayZero);
}
inline QDate SchedDateFromDay(int day)
{
    return QDate::fromJulianDay(day + kSchedJulianDayZero);
}
inline QDate SchedDateOf(TSchedTime t)
{
    return SchedDateFromDay(SchedDayOf(t));
}
inline TSchedTime SchedTimeFromDate(QDate date, QTime time = QTime(0, 0))
{
    return SchedTimeOf(SchedDayFromDate(date), time.isValid() ? time.msecsSinceStartOfDay() : 0);
}
// The wall-clock date and time of a QDateTime (no conversion between zones).
inline TSchedTime SchedTimeFromDateTime(const QDateTime& dt)
{
    return SchedTimeFromDate(dt.date(), dt.time());
}
inline QDateTime SchedToDateTime(TSchedTime t)
{
    return QDateTime(SchedDateOf(t), QTime::fromMSecsSinceStartOfDay(SchedMsecsOfDay(t)));
}

// The last day a span [start, finish] touches: the finish's own day only when the finish
// has a time of day other than 00:00, and never before the start's day.
inline int SchedLastDay(TSchedTime start, TSchedTime finish)
{
    const int first = SchedDayOf(start);
    int last = SchedDayOf(finish);
    if (SchedMsecsOfDay(finish) == 0)
        --last;
    return last < first ? first : last;
}
