#include "uDiary.h"

#include "uDateText.h"

#include <QTime>

namespace {

bool isDateKind(TDbFieldType t)
{
    return t == TDbFieldType::Date || t == TDbFieldType::Time || t == TDbFieldType::DateTime;
}

bool isTextKind(TDbFieldType t)
{
    return t == TDbFieldType::String || t == TDbFieldType::Memo || t == TDbFieldType::FixedString ||
           t == TDbFieldType::WideString;
}

} // namespace

TDiaryColumnLists DiaryColumnLists(const QList<TDbField>& fields)
{
    TDiaryColumnLists lists;
    for (int p = 0; p < fields.size(); ++p) {
        const TDiaryColumn column{fields[p].displayName, p};
        if (isDateKind(fields[p].type))
            lists.dates << column;
        if (isTextKind(fields[p].type))
            lists.descriptions << column;
        lists.secondary << column;
    }
    return lists;
}

bool DiaryReadDate(const TDbRows& rows, qsizetype row, int column, qint64& julianDay, int& msecs)
{
    if (rows.AsJulianDayTime(row, column, julianDay, msecs))
        return true;
    if (!isTextKind(rows.Fields().at(column).type) || rows.IsNull(row, column))
        return false;
    const QTime time = QTime::fromString(rows.AsString(row, column).trimmed(), Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    julianDay = kDayZero.toJulianDay();
    msecs = time.msecsSinceStartOfDay();
    return true;
}

bool DiaryDateOnly(const TDbRows& rows, int column)
{
    if (column < 0 || column >= rows.FieldCount())
        return false;
    const TDbFieldType type = rows.Fields().at(column).type;
    if (type == TDbFieldType::Date)
        return true;
    if (type == TDbFieldType::Time)
        return false;
    qint64 day = 0;
    int msecs = 0;
    for (qsizetype r = 0; r < rows.RowCount(); ++r)
        if (DiaryReadDate(rows, r, column, day, msecs) && msecs != 0)
            return false;
    return true;
}

namespace {

// Every value is a date (and there is one): a column of dates kept as text.
bool holdsOnlyDates(const TDbRows& rows, int column)
{
    bool any = false;
    qint64 day = 0;
    int msecs = 0;
    for (qsizetype r = 0; r < rows.RowCount(); ++r) {
        if (rows.IsNull(r, column))
            continue;
        if (!DiaryReadDate(rows, r, column, day, msecs))
            return false;
        any = true;
    }
    return any;
}

} // namespace

TDiaryColumnLists DiaryColumnLists(const TDbRows& rows)
{
    const QList<TDbField>& fields = rows.Fields();
    TDiaryColumnLists lists = DiaryColumnLists(fields);
    QList<TDiaryColumn> dates;
    for (int p = 0; p < fields.size(); ++p)
        if (isDateKind(fields[p].type) || (isTextKind(fields[p].type) && holdsOnlyDates(rows, p)))
            dates << TDiaryColumn{fields[p].displayName, p};
    lists.dates = dates;
    return lists;
}

QString DiaryChoiceHint(qsizetype dateColumns, qsizetype descriptionColumns, const TDiaryChoice& choice)
{
    if (dateColumns == 0)
        return QStringLiteral("No column of these rows holds dates.");
    if (descriptionColumns == 0)
        return QStringLiteral("No column of these rows holds text for a description.");
    if (choice.date < 0)
        return QStringLiteral("Choose a column in \"Get Date From:\".");
    if (choice.description < 0)
        return QStringLiteral("Choose a column in \"Get Description From:\".");
    return {};
}

TSchedItemRec DiaryEntry(const TDbRows& rows, qsizetype row, const TDiaryChoice& choice)
{
    TSchedItemRec rec;
    qint64 julianDay = 0;
    int msecs = 0;
    if (DiaryReadDate(rows, row, choice.date, julianDay, msecs))
        rec.Start = SchedTimeOf(int(julianDay - kSchedJulianDayZero), msecs);
    rec.Finish = rec.Start + kSchedMsecsPerDay / 100; // 0.01 of a day: 14 min 24 s
    rec.DateOnly = choice.dateOnly;
    if (choice.secondary < 0) {
        rec.Caption = rows.AsString(row, choice.description);
        return rec;
    }
    // Built once at its final size: this runs for every row.
    const QString description = rows.AsString(row, choice.description);
    const QString secondary = rows.AsString(row, choice.secondary);
    rec.Caption.reserve(description.size() + secondary.size() + 3);
    rec.Caption.append(description).append(u" (").append(secondary).append(u')');
    return rec;
}

void AddDiaryEntry(TSchedServer& store, const TDbRows& rows, qsizetype row, const TDiaryChoice& choice)
{
    store.Add(DiaryEntry(rows, row, choice));
}

QDate DiaryFirstEntryDate(const TSchedServer& store)
{
    if (store.Count() == 0)
        return {};
    // In order of start; undated rows sit on day zero, so the first dated entry follows them.
    if (SchedDateOf(store.Item(0)->Start) != kDayZero)
        return SchedDateOf(store.Item(0)->Start);
    qsizetype lo = 0, hi = store.Count();
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo) / 2;
        if (SchedDateOf(store.Item(mid)->Start) <= kDayZero)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < store.Count() ? SchedDateOf(store.Item(lo)->Start) : kDayZero;
}

void DiaryFill(TSchedServer& store, const TDbRows* rows, const TDiaryChoice& choice)
{
    // Empty first, so the diary is empty whenever there is nothing to fill it with.
    store.RemoveAll();
    if (!rows || choice.description < 0 || choice.date < 0)
        return;
    if (choice.description >= rows->FieldCount() || choice.date >= rows->FieldCount() ||
        choice.secondary >= rows->FieldCount())
        return;
    TDiaryChoice resolved = choice;
    resolved.dateOnly = DiaryDateOnly(*rows, choice.date);
    const TSchedUpdateGuard update(store);
    for (qsizetype r = 0; r < rows->RowCount(); ++r)
        AddDiaryEntry(store, *rows, r, resolved);
}

TDiaryPrintChoice DiaryPrintChoice(const TDiaryViewState& s)
{
    TDiaryPrintChoice choice;
    switch (s.mode) {
    case vmDay:
        if (s.dayColumns.isEmpty())
            return choice;
        choice = {TDiaryPrintChoice::Day, s.dayColumns.first()};
        break;
    case vmWorkWeek: {
        if (s.dayColumns.isEmpty())
            return choice;
        QDate day = s.dayColumns.first();
        if (s.selectionStart != 0) {
            day = SchedDateOf(s.selectionStart);
        } else {
            for (int i = 0; i < s.dayColumns.size() && i < s.dayColumnsSelected.size(); ++i)
                if (s.dayColumnsSelected[i]) {
                    day = s.dayColumns[i];
                    break;
                }
        }
        choice = {TDiaryPrintChoice::Day, day};
        break;
    }
    case vmWeek:
        choice = {TDiaryPrintChoice::Week, s.itemSelected ? SchedDateOf(s.selectedStart) : s.startDate};
        break;
    case vmMonth: {
        const QDate date = s.itemSelected ? SchedDateOf(s.selectedStart) : s.startDate;
        QDate first(date.year(), date.month(), 1);
        if (!first.isValid() || first < kDayZero)
            first = kDayZero;
        choice = {TDiaryPrintChoice::Month, first};
        break;
    }
    }
    return choice;
}
