#pragma once

#include "uDbTypes.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTime>
#include <QVariant>

#include <memory>
#include <vector>

class TDbRowsBuilder;
class TDbRowsSink;

// A fetched result set held in memory: field definitions and typed columns (no variant
// per cell; text and bytes in one arena per column), read-only once built.
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

// Builds a TDbRows row by row. Values are appended in row order, one per column, left to
// right; after the last column the next value starts a new row. Each Append must match
// the storage of its column's kind (text kinds and BCD take text, Integer and Boolean
// take integers, and so on); a mismatch is converted where it can be (AppendText into an
// Integer column parses) and stored as null otherwise. Backends and test fakes use it.
class TDbRowsBuilder
{
public:
    explicit TDbRowsBuilder(const QList<TDbField>& fields);
    ~TDbRowsBuilder();

    void AppendNull();
    void AppendInteger(qint64 value);
    void AppendFloat(double value);
    void AppendBoolean(bool value);
    // Text kinds, BCD and Blob; the bytes are UTF-8 for text.
    void AppendText(const char* utf8, qsizetype length);
    void AppendText(const QString& text);
    void AppendBytes(const QByteArray& bytes);
    // Currency as an exact count of ten-thousandths.
    void AppendCurrency(qint64 tenThousandths);
    void AppendDate(const QDate& date);
    void AppendTime(const QTime& time);
    void AppendDateTime(const QDateTime& dateTime); // local wall-clock time, no time zone
    // Any of the types Value() returns; an invalid QVariant appends null.
    void AppendValue(const QVariant& value);
    // The rows' warning (see TDbRows::Warning).
    void SetWarning(const QString& text);

    qsizetype RowCount() const;
    // Hands the rows over; a partly filled last row is completed with nulls. The builder
    // is empty afterwards.
    TDbRowsPtr Finish();

    // Convenience for tests and fakes: string fields named by names, values as given.
    static TDbRowsPtr FromStrings(const QStringList& fieldNames, const QList<QStringList>& rows);

private:
    void widenToDateTime(TDbRows::Column& c, int column);
    void handOver();

    std::unique_ptr<TDbRows> m_rows;
    int m_column = 0;
    TDbRowsSink* m_sink = nullptr; // set while streaming (TDbRowsStreaming)
    bool m_handedOver = false;
};

// ---- Streaming: rows handed on while they are fetched, for a reader that keeps none.

// Takes the rows of a streamed result, batch after batch, in order.
class TDbRowsSink
{
public:
    virtual ~TDbRowsSink();
    // The next completed rows of one result; first marks the start of a result (a
    // later statement's rows start another). A result without rows still gives one empty
    // first batch, so the sink sees its fields. The batch's field types are its own: a
    // column may have turned to text since the previous batch. May throw; the fetch
    // then ends with that exception.
    virtual void Rows(const TDbRows& batch, bool first) = 0;
};

// While one lives, every builder made on its thread for rows with fields hands them to
// the sink in batches (a few thousand rows, or a few MiB) and keeps none: its Finish gives
// the fields and warning without rows. Memory stays at one batch however many rows come.
// Scopes nest; the innermost one's sink is used.
class TDbRowsStreaming
{
public:
    explicit TDbRowsStreaming(TDbRowsSink& sink);
    ~TDbRowsStreaming();
    TDbRowsStreaming(const TDbRowsStreaming&) = delete;
    TDbRowsStreaming& operator=(const TDbRowsStreaming&) = delete;

private:
    TDbRowsSink* m_previous;
};

// A current-row reader over shared rows: the shape of the class library's dataset
// cursor (First, Next, Prior, Last, Eof, Bof, RecNo). The query keeps one; the query
// window's copy is another over the same rows, and the grid, inspector, navigator and
// CSV writer move and follow it.
//
// Active while it holds rows. On empty rows Bof and Eof are both true. Next on the last
// row sets Eof and keeps the last row current (as the class library does), Prior on the
// first row sets Bof. Value accessors read the current row; with no current row (no
// rows) they give null values. A column out of range, or any field access while closed,
// raises EDbError.
class TDbRowCursor : public QObject
{
    Q_OBJECT
public:
    explicit TDbRowCursor(QObject* parent = nullptr);

    // Null closes. Setting rows moves to the first row and emits StateChanged.
    void SetRows(TDbRowsPtr rows);
    const TDbRowsPtr& Rows() const { return m_rows; }
    bool Active() const { return m_rows != nullptr; }

    void First();
    void Next();
    void Prior();
    void Last();
    // Moves by n rows (negative: back), stopping at the ends; returns the rows moved.
    qsizetype MoveBy(qsizetype n);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    qsizetype RecordCount() const;
    // 0-based current row, -1 when there is none.
    qsizetype RecNo() const { return m_row; }
    void SetRecNo(qsizetype row); // clamped to the rows

    int FieldCount() const;
    const TDbField& Field(int column) const;
    int FieldIndex(const QString& name) const;
    bool IsNull(int column) const;
    QString AsString(int column) const;
    qint64 AsInteger(int column) const;
    double AsFloat(int column) const;
    bool AsBoolean(int column) const;
    QDateTime AsDateTime(int column) const;
    QVariant Value(int column) const;

signals:
    // Rows were set or cleared (open/close of the view).
    void StateChanged();
    // The current row changed; emitted on every move, also during a walk.
    void CurrentChanged(qsizetype row);

private:
    void moveTo(qsizetype row, bool bof, bool eof);
    void checkColumn(int column) const;

    TDbRowsPtr m_rows;
    qsizetype m_row = -1;
    bool m_bof = true;
    bool m_eof = true;
};
