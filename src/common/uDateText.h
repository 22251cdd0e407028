#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QtGlobal>

// Dates as plain numbers and as the ISO text the engines write, without QDateTime on
// the hot path (a local QDateTime consults the time zone for every value).
//
// Day counts: the diary, the calendar and Access files count days from 30 December 1899
// (day 0); the rows keep a date as its Julian day and a date-time as Julian day *
// kMsecsPerDay + milliseconds of the day.

inline constexpr qint64 kMsecsPerDay = 86'400'000;
// The Julian day of 30 December 1899.
inline constexpr qint64 kJulianDayZero = 2'415'019;
inline constexpr QDate kDayZero = QDate::fromJulianDay(kJulianDayZero);

// A date-time as one number (Julian day * kMsecsPerDay + milliseconds of the day), and
// its day and time of day back, floor-wise for days before the Julian epoch.
qint64 EncodeDayTime(qint64 julianDay, int msecs);
qint64 DayOfEncoded(qint64 encoded);
int MsecsOfEncoded(qint64 encoded);

// What ParseIsoDateTime found.
enum class TIsoText
{
    None,    // no date
    Date,    // a date alone (or a date with a blank after it)
    DateTime // a date with a time of day
};

// ISO date or date-time text as SQLite and the engines' text forms write it:
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff…]]", "T" in place of the blank, blanks before
// and after, and a zone suffix ("Z", "+02", "-05:30") that is dropped: the layer keeps
// wall-clock time. Fractions beyond milliseconds are cut. The outputs are set only when
// the result is not None; the text is read within length only.
TIsoText ParseIsoDateTime(const char* text, qsizetype length, qint64& julianDay, int& msecs);
// "HH:MM[:SS[.fff…]]" with the same blanks and zone suffix, as milliseconds of the day.
bool ParseIsoTime(const char* text, qsizetype length, int& msecs);

// The ISO text of a time ("14:30:00", ".zzz" only when there are milliseconds) and of a
// date-time ("2004-03-02 14:30:00").
QByteArray IsoText(const QTime& time);
QByteArray IsoText(const QDateTime& dateTime);
