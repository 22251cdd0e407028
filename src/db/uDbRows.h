#pragma once

#include "uDbTypes.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <QVariant>

#include <memory>
#include <vector>

class TDbRowsBuilder;

// A fetched result set held in memory: field definitions and typed columns (no variant
// per cell; text and bytes in one arena per column), read-only once built. Made by
// TDbRowsBuilder (uDbRowsBuilder.h), walked with TDbRowCursor (uDbRowCursor.h).
//
// Sharing: rows are handed around as TDbRowsPtr (a shared pointer to const). The query,
// the query window's copy and the grid model hold the same object, so a second view
// costs a pointer, not a copy. Rows live as long as their last holder.
//
// Accessors take (row, column), both 0-based; an index out of range is a programming
// error (asserted), a type mismatch is converted as described per accessor. Nothing here
// throws except AsInteger on text that is not a number.
class TDbRows
{
public:
    ~TDbRows();
    TDbRows(const TDbRows&) = delete;
    TDbRows& operator=(const TDbRows&) = delete;

    int FieldCount() const;
    const TDbField& Field(int column) const;
    const QList<TDbField>& Fields() const { return m_fields; }
    // Case-insensitive lookup by field name; -1 when no field has the name.
    int FieldIndex(const QString& name) const;

    qsizetype RowCount() const { return m_rowCount; }

    bool IsNull(qsizetype row, int column) const;

    // The text form of a value: text kinds as stored; integers in decimal; floats and
    // currency with up to 15 significant digits and the system's decimal separator,
    // single-precision floats as their shortest digits (ShortestSingle);
    // BCD as its digits without trailing zeros (system separator); booleans "True" or
    // "False"; dates in the system's short date format, times in its long time format,
    // date-times as both (time left out at midnight); blobs as their bytes (Latin-1).
    // Null gives the empty string.
    QString AsString(qsizetype row, int column) const;
    // Integer kinds as they are, booleans 1/0, floats and exact kinds rounded, dates as
    // their Julian day; text is parsed and EDbError is raised when it is no integer.
    // Null gives 0.
    qint64 AsInteger(qsizetype row, int column) const;
    double AsFloat(qsizetype row, int column) const;
    bool AsBoolean(qsizetype row, int column) const;
    // Date kinds as they are; text in ISO form ("2004-03-02", "2004-03-02 14:30:00") is
    // read as well. Anything else, or null, gives an invalid value.
    QDateTime AsDateTime(qsizetype row, int column) const;
    QDate AsDate(qsizetype row, int column) const;
    // The wall-clock value of a date kind (or ISO text) as a Julian day and milliseconds
    // of that day, without building a QDateTime; a time alone lies on 30 December 1899.
    // False, with the outputs untouched, for null or anything that is no date.
    bool AsJulianDayTime(qsizetype row, int column, qint64& julianDay, int& msecs) const;
    QTime AsTime(qsizetype row, int column) const;
    // Raw bytes of text (UTF-8) and blob values.
    QByteArray AsBytes(qsizetype row, int column) const;
    // The value as a QVariant of its natural type (qlonglong, double, bool, QDate, QTime,
    // QDateTime, QString, QByteArray); an invalid QVariant for null. For models.
    QVariant Value(qsizetype row, int column) const;

    // Bytes held by the columns (values, offsets and null flags), for the benchmark.
    qsizetype MemoryBytes() const;

    // What the engine could not give exactly (values it could not read and left null),
    // one text per statement; empty when all is well. For the query window's status.
    const QString& Warning() const { return m_warning; }

    struct Column; // storage, defined in the implementation

private:
    friend class TDbRowsBuilder;
    TDbRows();

    QList<TDbField> m_fields;
    std::vector<std::unique_ptr<Column>> m_columns;
    qsizetype m_rowCount = 0;
    QString m_warning;
};

using TDbRowsPtr = std::shared_ptr<const TDbRows>;

// The shortest decimal that reads back as the same single-precision value, as a double
// (0.15f, held as 0.15000000596..., gives 0.15): what Single columns show and export.
double ShortestSingle(double value);
