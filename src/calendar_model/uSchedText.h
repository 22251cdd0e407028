#pragma once

#include "uSchedPeriod.h"
#include "uSchedServer.h"

#include <QFont>
#include <QLocale>
#include <QString>

// The words the calendar shows about its appointments, the same on screen and on paper.

// The text of a "more" button: how many entries are out of sight ("+12"); on paper,
// where no button can be pressed, with a word ("+12 more").
QString MoreText(int count, bool words = false);

// A time of day as short as it reads: "9:30", or "9:30 am" where the locale counts
// twelve hours.
QString SchedShortTime(int msecsOfDay, const QLocale& locale);
// The time an appointment shows on a day: its short start time; "..." when it began on
// an earlier day; nothing for the midnight of an appointment made from a date alone.
QString SchedItemTime(const TSchedItem* item, QDate day, const QLocale& locale);

// The period a view shows, as its title: "April 2004" for the month view (the month most
// of its days belong to), "19 – 25 April 2004" for a week, "Monday 19 April 2004" for a day.
QString SchedPeriodTitle(TSchedViewMode mode, const QList<QDate>& days, const QLocale& locale);

// The hint of an appointment: its time range and caption. Plain text while it fits in
// maxWidth pixels of the font, else rich text wrapped at that width.
QString SchedHintText(const TSchedItem* item, const QLocale& locale, const QFont& font, int maxWidth = 200);
