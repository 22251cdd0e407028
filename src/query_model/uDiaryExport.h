#pragma once

#include "uDiary.h"
#include "uError.h"

#include <QString>

// The export's failures: nothing chosen to export, a file that cannot be written.
class EDiaryExportError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};

struct TDiaryExportResult
{
    qsizetype written = 0;
    // Appointments an iCalendar file cannot hold: dates outside the years 1 to 9999.
    qsizetype skipped = 0;
};

// Writes the appointments the rows make under the choice (one per row, as DiaryFill adds
// them) to an iCalendar file: one VEVENT per appointment with floating local DTSTART and
// DTEND, SUMMARY the caption and UID "<uidBase>-<row number>@quillory", so that the same
// query's rows keep their UIDs from one export to the next; the calendar is named
// calendarName (X-WR-CALNAME). The file streams one event at a time, and replaces an
// existing file only once it is whole: a failure leaves the old file (or none) in place.
// Raises EDiaryExportError.
TDiaryExportResult DiaryExportICalendar(const QString& fileName, const TDbRows& rows, const TDiaryChoice& choice,
                                        const QString& calendarName, const QString& uidBase);
