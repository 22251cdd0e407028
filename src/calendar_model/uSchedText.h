#pragma once

#include "uSchedServer.h"

#include <QFont>
#include <QLocale>
#include <QString>

// The words the calendar shows about its appointments, the same on screen and on paper.

// The text of a "more" button: how many entries are out of sight ("+12").
QString MoreText(int count);

// The hint of an appointment: its time range and caption. Plain text while it fits in
// maxWidth pixels of the font, else rich text wrapped at that width.
QString SchedHintText(const TSchedItem* item, const QLocale& locale, const QFont& font, int maxWidth = 200);
