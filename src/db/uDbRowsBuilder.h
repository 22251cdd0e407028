#pragma once

#include "uDbRows.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>

#include <memory>
#include <vector>

class TDbFetchControl;
class TDbRowsSink;

// Builds a TDbRows row by row. Values are appended in row order, one per column, left to
// right; after the last column the next value starts a new row. Each Append should match
// the storage of its column's kind (text kinds and BCD take text, Integer and Boolean
// take integers, and so on); a mismatch is converted where it can be (AppendText into an
// Integer column parses, ISO text into a date column). Otherwise a column of a number or
// text kind becomes a String column holding the text of every value, so that nothing
// fetched is lost; a date, time or date-time column keeps its kind and the value becomes
// null, counted per column in the rows' warning. A date column that gets a time of day
// becomes a date-time column. Backends and test fakes use it.
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
    // The rows' warning (see TDbRows::Warning); the builder's own note of values that
    // were no dates follows it.
    void SetWarning(const QString& text);

    qsizetype RowCount() const;
    // Hands the rows over; a partly filled last row is completed with nulls. The builder
    // is empty afterwards.
    TDbRowsPtr Finish();

    // Convenience for tests and fakes: string fields named by names, values as given.
    static TDbRowsPtr FromStrings(const QStringList& fieldNames, const QList<QStringList>& rows);

private:
    TDbRows::Column& current();
    // The value is in: on to the next column, and the next row after the last.
    void stored();
    void toText();
    void widenToDateTime();
    // A value that is no date for a date kind column: null, and counted.
    void noDate();
    void handOver();
    // A row is complete: report it, stop when cancelled or too large.
    void rowDone();

    std::unique_ptr<TDbRows> m_rows;
    int m_column = 0;
    TDbRowsSink* m_sink = nullptr; // set while streaming (TDbRowsStreaming)
    TDbFetchControl* m_control = nullptr; // set inside a TDbFetchScope
    quint64 m_memoryLimit = 0;
    qsizetype m_handedRows = 0; // rows given to the sink so far
    bool m_handedOver = false;
    // Per column, how many values were no dates.
    std::vector<qsizetype> m_noDates;
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
