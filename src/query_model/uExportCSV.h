#pragma once

#include "uError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QFile;
class QIODevice;
class TDbQuery;
class TDbRowCursor;
class TDbRows;

// The export's one error type: an empty result, unknown columns in the field list, a
// file that cannot be created, a write that fails.
class EExportError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};

// The form dates are written in (four-digit year, month, day), without quotes.
inline constexpr char CSVDateFormat[] = "YYYY-MM-DD";

// Writes rows as comma separated values: a header line of quoted titles, then one line
// per row; every line ends with LineEnd. Nulls are written as nothing, dates (and
// date-times, without their time of day) unquoted, every other value as its text form in
// double quotes, cleaned by CleanText so that a reader may take everything up to the next
// quote as the value. The bytes are UTF-8, without a byte order mark.
//
// Output goes through an internal buffer to the device, so a result of any size streams
// in constant memory. Failures raise EExportError; after a failed write the lines written
// so far stay in the file. ExportDataSet flushes before it returns, so its success means
// every byte reached the device. Bytes that WriteText and WriteField leave in the buffer
// go out on Flush, or in the destructor, which cannot report a failure.
class TCSVStream
{
public:
    // Creates the file, or empties an existing one. Raises EExportError
    // ("Cannot create file "<name>". <reason>") when it cannot.
    explicit TCSVStream(const QString& fileName);
    // Writes to a device that the caller opened for writing and keeps owning.
    explicit TCSVStream(QIODevice* device);
    ~TCSVStream();
    TCSVStream(const TCSVStream&) = delete;
    TCSVStream& operator=(const TCSVStream&) = delete;

    QString Separator = QStringLiteral(",");
    QString LineEnd = QStringLiteral("\r\n");
    // Comma text of the columns to write, each a field name, optionally "=" and the title;
    // empty writes every column in field order, titled with its display name.
    QString FieldList;

    // Writes the header and every row from the first, then leaves the cursor on the last
    // row (Eof). Raises "Can not export an empty dataset" for no rows (or closed rows) and
    // "Missing Fields " with one line per unknown name of FieldList, both before anything
    // is written.
    // The walk over the rows touches no cursor: with walkOn it runs through that function
    // (a worker thread, say), and only the cursor's last move happens here.
    using WalkRunner = std::function<void(const std::function<void()>& walk)>;
    void ExportDataSet(TDbRowCursor& dataSet, const WalkRunner& walkOn = {});
    void ExportDataSet(TDbQuery& query);
    // Called now and then (every few thousand rows) with the rows written so far, on the
    // thread that writes; it may raise to stop the export.
    std::function<void(qsizetype rowsWritten)> Progress;
    // The same bytes in pieces, for rows that are fetched batch by batch and never held
    // whole: WriteHeader with the first rows (FieldList is resolved against their fields,
    // "Missing Fields" raised as above), then WriteRows for each batch in order, then
    // Flush. A batch's own field types are used (a column may have turned to text).
    void WriteHeader(const TDbRows& rows);
    void WriteRows(const TDbRows& rows);
    // The value of one column of the cursor's current row, as ExportDataSet writes it.
    void WriteField(const TDbRowCursor& dataSet, int column);
    // Drops the characters 0, 9, 11, 12, 13, 14, '"' and '|'; a line feed becomes "<BR>",
    // or is dropped when the text already holds "<P>" or "<BR>".
    static QString CleanText(const QString& text);
    // Appends the text's bytes, nothing else.
    void WriteText(const QString& text);
    // Hands the buffered bytes to the device (and a file device's own buffer to the
    // system); raises on failure.
    void Flush();

private:
    struct Column
    {
        int index;
        int type; // TDbFieldType
        bool commasToSemicolons;
    };

    // The walk of ExportDataSet over the rows alone; row says how far it got when it
    // raises (-1: before the first line).
    void exportRows(const TDbRows& rows, qsizetype& row);
    // The columns FieldList names (every column when empty) and their titles.
    void resolveColumns(const TDbRows& rows, std::vector<Column>& columns, QStringList& titles) const;
    void writeHeader(const QStringList& titles);
    void writeRow(const TDbRows& rows, qsizetype row, const std::vector<Column>& columns);
    void writeValue(const TDbRows& rows, qsizetype row, const Column& column);
    void writeQuoted(const char* data, qsizetype size, bool commasToSemicolons);
    void writeTitle(const QString& title);
    void writeDate(qint64 julianDay);
    void put(const char* data, qsizetype size);
    void putChar(char c)
    {
        if (m_used == kBufferSize)
            flushBuffer();
        m_buffer[m_used++] = c;
    }
    // Room for at least n more bytes (n well below the buffer size).
    char* reserve(qsizetype n)
    {
        if (kBufferSize - m_used < n)
            flushBuffer();
        return m_buffer.get() + m_used;
    }
    void flushBuffer();
    void writeDevice(const char* data, qsizetype size);
    [[noreturn]] void writeFailed();

    static constexpr qsizetype kBufferSize = qsizetype(1) << 18;

    std::unique_ptr<QFile> m_file; // when the stream created the file
    QIODevice* m_device = nullptr;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    QByteArray m_decimalPoint;
    std::vector<Column> m_columns; // WriteHeader's, for WriteRows
    QByteArray m_separator, m_lineEnd; // as the header was written
};
