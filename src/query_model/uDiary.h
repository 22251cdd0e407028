#pragma once

#include "uDbRows.h"
#include "uSchedPeriod.h"
#include "uSchedServer.h"

#include <QDate>
#include <QList>
#include <QString>

// The diary's logic, apart from its page: which columns the three lists offer, the
// appointment a row becomes, the fill of the store from the rows, and which print
// component prints the view's period from which date.

// An entry of a column list: the column's display name and its position in the rows'
// field list (the lists are sorted by name, so the position is what counts).
struct TDiaryColumn
{
    QString name;
    int position = -1;
    bool operator==(const TDiaryColumn&) const = default;
};

// The chosen positions; -1 is no choice.
struct TDiaryChoice
{
    int date = -1;
    int description = -1;
    int secondary = -1;
    // The date column holds days without times (DiaryFill finds out): its appointments
    // show no time.
    bool dateOnly = false;
};

struct TDiaryColumnLists
{
    QList<TDiaryColumn> dates;        // date, time and date-and-time columns
    QList<TDiaryColumn> descriptions; // the text kinds
    QList<TDiaryColumn> secondary;    // every column
};

// The lists for a result's fields, each in field order.
TDiaryColumnLists DiaryColumnLists(const QList<TDbField>& fields);
// The same for fetched rows, where a text column whose every value is an ISO date,
// date-time or time ("2012-07-04", "2012-07-04 09:30:00", "09:30") is a date column too:
// SQLite files usually keep dates as text.
TDiaryColumnLists DiaryColumnLists(const TDbRows& rows);
// A row's value of a date column as a Julian day and milliseconds of the day: the rows'
// own dates and ISO texts; a text holding only a time lies on 30 December 1899. False
// for a null or a value that is no date.
bool DiaryReadDate(const TDbRows& rows, qsizetype row, int column, qint64& julianDay, int& msecs);
// Whether a date column holds days only: a date column, or one whose every value lies
// at 00:00.
bool DiaryDateOnly(const TDbRows& rows, int column);

// The one line the page shows above an unfilled diary: why it is empty, or which list
// still needs a choice; empty when the diary is filled.
QString DiaryChoiceHint(qsizetype dateColumns, qsizetype descriptionColumns, const TDiaryChoice& choice);


// One appointment per row: Start is the date column's value (null: 30 December 1899,
// 00:00; a time-only column lies on that day), Finish 0.01 of a day later, Caption the
// description's text, with " (" secondary ")" when a secondary column is chosen.
TSchedItemRec DiaryEntry(const TDbRows& rows, qsizetype row, const TDiaryChoice& choice);
// Its caption alone.
QString DiaryCaption(const TDbRows& rows, qsizetype row, const TDiaryChoice& choice);

// The day of the first appointment that has a date (rows without one lie on 30 December
// 1899); that day when all lie there; invalid when the store is empty.
QDate DiaryFirstEntryDate(const TSchedServer& store);

// Empties the store; then, when a date and a description column are chosen, adds every
// row in one update of the store (the views redraw once). Reads the rows by position and
// moves no cursor, so grid and inspector keep their row. rows may be null (closed).
// Each appointment is a record of its times and its row: the store shares the rows and
// makes a caption only when one is asked for.
void DiaryFill(TSchedServer& store, const TDbRowsPtr& rows, const TDiaryChoice& choice);

// What the view shows and has selected, as far as the print choice reads it.
struct TDiaryViewState
{
    TSchedViewMode mode = vmWeek;
    QList<QDate> dayColumns;
    QList<bool> dayColumnsSelected;
    TSchedTime selectionStart = 0; // 0: no time range selected
    bool itemSelected = false;
    TSchedTime selectedStart = 0;
    QDate startDate; // the week and month views' start date
};

struct TDiaryPrintChoice
{
    enum Kind
    {
        None,
        Day,
        Week,
        Month
    };
    Kind kind = None;
    QDate start;
};

// The print component for the view's mode and its start date: the day view's first
// column; for the working week one day (the selected time range's, else the first
// selected column's, else the first column's); the selected appointment's week or the
// week view's start; the first day of the month of the selected appointment or of the
// month view's start (never before 30 December 1899).
TDiaryPrintChoice DiaryPrintChoice(const TDiaryViewState& state);
