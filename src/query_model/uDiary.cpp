#include "uDiary.h"

#include "uDateText.h"

#include "uError.h"

#include <QTime>

#include <limits>
#include <memory>

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

namespace {

constexpr TSchedTime kEntryLength = kSchedMsecsPerDay / 100; // 0.01 of a day: 14 min 24 s

// The start of a row's appointment; msecs is its time of day, or -1 for a row without a date.
TSchedTime entryStart(const TDbRows& rows, qsizetype row, int column, int& msecs)
{
    qint64 julianDay = 0;
    msecs = 0;
    if (!DiaryReadDate(rows, row, column, julianDay, msecs)) {
        msecs = -1;
        return 0;
    }
    return SchedTimeOf(int(julianDay - kSchedJulianDayZero), msecs);
}

// The diary's appointments seen from the store: each is its row, and its caption is read
// from the rows when it is drawn, printed or hinted. Holds the rows, which never change.
class TDiaryRowItems : public TSchedItemSource
{
public:
    TDiaryRowItems(TDbRowsPtr rows, const TDiaryChoice& choice) : m_rows(std::move(rows)), m_choice(choice) {}

    QString Caption(quint32 row) const override { return DiaryCaption(*m_rows, row, m_choice); }
    QString Description(quint32) const override { return {}; }
    bool DateOnly(quint32) const override { return m_choice.dateOnly; }
    // Found while the rows are read for the fill, before any caption is asked for.
    void SetDateOnly(bool dateOnly) { m_choice.dateOnly = dateOnly; }

private:
    TDbRowsPtr m_rows;
    TDiaryChoice m_choice;
};

} // namespace

QString DiaryCaption(const TDbRows& rows, qsizetype row, const TDiaryChoice& choice)
{
    if (choice.secondary < 0)
        return rows.AsString(row, choice.description);
    // Built once at its final size.
    const QString description = rows.AsString(row, choice.description);
    const QString secondary = rows.AsString(row, choice.secondary);
    QString caption;
    caption.reserve(description.size() + secondary.size() + 3);
    caption.append(description).append(u" (").append(secondary).append(u')');
    return caption;
}

TSchedItemRec DiaryEntry(const TDbRows& rows, qsizetype row, const TDiaryChoice& choice)
{
    TSchedItemRec rec;
    int msecs = 0;
    rec.Start = entryStart(rows, row, choice.date, msecs);
    rec.Finish = rec.Start + kEntryLength;
    rec.DateOnly = choice.dateOnly;
    rec.Caption = DiaryCaption(rows, row, choice);
    return rec;
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

void DiaryFill(TSchedServer& store, const TDbRowsPtr& rows, const TDiaryChoice& choice)
{
    // Empty first, so the diary is empty whenever there is nothing to fill it with.
    store.RemoveAll();
    if (!rows || choice.description < 0 || choice.date < 0)
        return;
    if (choice.description >= rows->FieldCount() || choice.date >= rows->FieldCount() ||
        choice.secondary >= rows->FieldCount())
        return;
    const qsizetype count = rows->RowCount();
    // A record names its row in 32 bits; rows beyond that could not be held in memory anyway.
    if (quint64(count) > quint64(std::numeric_limits<quint32>::max()) + 1)
        throw EQuilloryError(QStringLiteral("The diary can show at most %1 rows.")
                                 .arg(quint64(std::numeric_limits<quint32>::max()) + 1));
    const auto source = std::make_shared<TDiaryRowItems>(rows, choice);
    // One pass reads every start and learns whether the column holds days only (as
    // DiaryDateOnly does, without reading the rows a second time).
    const TDbFieldType type = rows->Field(choice.date).type;
    bool dateOnly = type != TDbFieldType::Time;
    const TSchedUpdateGuard update(store);
    store.Reserve(count);
    for (qsizetype r = 0; r < count; ++r) {
        int msecs = 0;
        const TSchedTime start = entryStart(*rows, r, choice.date, msecs);
        if (msecs > 0)
            dateOnly = false;
        store.Add(source, quint32(r), start, start + kEntryLength);
    }
    source->SetDateOnly(type == TDbFieldType::Date || dateOnly);
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
