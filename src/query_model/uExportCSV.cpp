#include "uExportCSV.h"

#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"
#include "uDbRows.h"
#include "uQuotedList.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QStringList>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// What the cleaning does with a character below 128: keep it, drop it, or treat it as a
// line feed or (in "...Text" columns) as a comma.
enum Kind : unsigned char
{
    Keep,
    Drop,
    LineFeed,
    Comma
};

constexpr std::array<unsigned char, 128> makeKinds()
{
    std::array<unsigned char, 128> k{};
    for (int c : {0, 9, 11, 12, 13, 14, int('"'), int('|')})
        k[size_t(c)] = Drop;
    k['\n'] = LineFeed;
    k[','] = Comma;
    return k;
}

constexpr std::array<unsigned char, 128> kKinds = makeKinds();

inline unsigned code(char c)
{
    return static_cast<unsigned char>(c);
}

inline unsigned code(QChar c)
{
    return c.unicode();
}

// The cleaning of a quoted value, over UTF-8 bytes (the writer) or UTF-16 (CleanText):
// every character it touches is ASCII, and in UTF-8 an ASCII byte is always that
// character, so both give the same text. Runs of kept characters go to the sink whole.
template <typename Ch, typename Sink>
void cleanInto(const Ch* p, qsizetype n, bool commasToSemicolons, bool hasMarkers, Sink& sink)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned c = code(p[i]);
        if (c >= 128)
            continue;
        const unsigned char kind = kKinds[c];
        if (kind == Keep || (kind == Comma && !commasToSemicolons))
            continue;
        sink.run(p + start, i - start);
        start = i + 1;
        if (kind == LineFeed && !hasMarkers)
            sink.literal("<BR>", 4);
        else if (kind == Comma)
            sink.literal("; ", 2);
    }
    sink.run(p + start, n - start);
}

bool hasMarkers(const char* p, qsizetype n)
{
    const std::string_view s(p, size_t(n));
    return s.find("<P>") != std::string_view::npos || s.find("<BR>") != std::string_view::npos;
}

// A column name whose last four characters are "Text" (case-sensitive) gets "; " for
// every comma of its values.
bool textRuleApplies(const QString& name)
{
    return name.endsWith(QLatin1String("Text"), Qt::CaseSensitive);
}

} // namespace

TCSVStream::TCSVStream(const QString& fileName)
    : m_file(std::make_unique<QFile>(fileName)), m_buffer(new char[size_t(kBufferSize)])
{
    // Unbuffered: the stream buffers itself, and a failing write (a full disk) must show
    // at the write that fails, not at some later close.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw EExportError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, m_file->errorString()));
    m_device = m_file.get();
    m_decimalPoint = QLocale().decimalPoint().toUtf8();
}

TCSVStream::TCSVStream(QIODevice* device) : m_device(device), m_buffer(new char[size_t(kBufferSize)])
{
    if (!m_device || !m_device->isWritable())
        throw EExportError(QStringLiteral("Stream write error. The device is not open for writing"));
    m_decimalPoint = QLocale().decimalPoint().toUtf8();
}

TCSVStream::~TCSVStream()
{
    try {
        Flush();
    } catch (const EExportError&) {
        // Nothing can be reported from here; ExportDataSet and Flush report failures.
    }
}

void TCSVStream::ExportDataSet(TDbQuery& query)
{
    ExportDataSet(query.Cursor());
}

void TCSVStream::ExportDataSet(TDbRowCursor& dataSet, const WalkRunner& walkOn)
{
    // Hold the rows for the whole walk, whatever happens to the cursor's owner.
    const TDbRowsPtr rows = dataSet.Rows();
    if (!rows)
        throw EExportError(QStringLiteral("Can not export an empty dataset"));
    qsizetype row = -1;
    try {
        const auto walk = [&] { exportRows(*rows, row); };
        if (walkOn)
            walkOn(walk);
        else
            walk();
    } catch (...) {
        if (row >= 0)
            dataSet.SetRecNo(row);
        throw;
    }
    // The walk ends on the last row. Nothing repaints while it runs, so whatever follows
    // the cursor is moved there once rather than through every row on the way.
    dataSet.Last();
}

void TCSVStream::exportRows(const TDbRows& rows, qsizetype& row)
{
    row = -1;
    if (rows.RowCount() == 0)
        throw EExportError(QStringLiteral("Can not export an empty dataset"));

    std::vector<Column> columns;
    QStringList titles;
    resolveColumns(rows, columns, titles);

    const qsizetype rowCount = rows.RowCount();
    row = 0;
    try {
        writeHeader(titles);
        for (; row < rowCount; ++row) {
            if (Progress && (row & 4095) == 0)
                Progress(row);
            writeRow(rows, row, columns);
        }
        Flush();
    } catch (const EDbError& e) {
        throw EExportError(e.message());
    }
}

void TCSVStream::resolveColumns(const TDbRows& rows, std::vector<Column>& columns, QStringList& titles) const
{
    if (FieldList.isEmpty()) {
        // Every column by its position: a name holding "=" or a name that two columns
        // share (a join) still writes each column's own values.
        for (int i = 0; i < rows.FieldCount(); ++i) {
            const TDbField& f = rows.Field(i);
            columns.push_back({i, int(f.type), textRuleApplies(f.name)});
            titles << f.displayName;
        }
    } else {
        QStringList names, entryTitles, missing;
        for (QString entry : SplitQuotedList(FieldList, u',')) {
            qsizetype eq = entry.indexOf(QLatin1Char('='));
            if (eq < 0) {
                entry += QLatin1Char('=') + entry;
                eq = entry.indexOf(QLatin1Char('='));
            }
            names << entry.left(eq);
            entryTitles << entry.mid(eq + 1);
        }
        for (const QString& name : names) {
            const int i = rows.FieldIndex(name);
            if (i < 0) {
                missing << name;
                continue;
            }
            const TDbField& f = rows.Field(i);
            columns.push_back({i, int(f.type), textRuleApplies(f.name)});
            // The title of the first entry that names this field.
            for (qsizetype j = 0; j < names.size(); ++j)
                if (names[j].compare(f.name, Qt::CaseInsensitive) == 0) {
                    titles << entryTitles[j];
                    break;
                }
        }
        if (!missing.isEmpty()) {
            QString message = QStringLiteral("Missing Fields \r\n");
            for (const QString& name : std::as_const(missing))
                message += name + QStringLiteral(" is not a valid fieldname\r\n");
            throw EExportError(message);
        }
    }
}

void TCSVStream::writeHeader(const QStringList& titles)
{
    // The rows that follow use the same bytes.
    m_separator = Separator.toUtf8();
    m_lineEnd = LineEnd.toUtf8();
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (i)
            put(m_separator.constData(), m_separator.size());
        writeTitle(titles[i]);
    }
    put(m_lineEnd.constData(), m_lineEnd.size());
}

void TCSVStream::writeRow(const TDbRows& rows, qsizetype row, const std::vector<Column>& columns)
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            put(m_separator.constData(), m_separator.size());
        writeValue(rows, row, columns[i]);
    }
    put(m_lineEnd.constData(), m_lineEnd.size());
}

void TCSVStream::WriteHeader(const TDbRows& rows)
{
    QStringList titles;
    m_columns.clear();
    resolveColumns(rows, m_columns, titles);
    writeHeader(titles);
}

void TCSVStream::WriteRows(const TDbRows& rows)
{
    for (Column& c : m_columns)
        c.type = int(rows.Field(c.index).type);
    try {
        for (qsizetype row = 0; row < rows.RowCount(); ++row)
            writeRow(rows, row, m_columns);
    } catch (const EDbError& e) {
        throw EExportError(e.message());
    }
}

void TCSVStream::WriteField(const TDbRowCursor& dataSet, int column)
{
    const TDbRowsPtr& rows = dataSet.Rows();
    if (!rows)
        throw EExportError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (column < 0 || column >= rows->FieldCount())
        throw EExportError(QStringLiteral("Field index out of range: %1").arg(column));
    if (dataSet.RecNo() < 0)
        return;
    const TDbField& f = rows->Field(column);
    try {
        writeValue(*rows, dataSet.RecNo(), {column, int(f.type), textRuleApplies(f.name)});
    } catch (const EDbError& e) {
        throw EExportError(e.message());
    }
}

void TCSVStream::writeValue(const TDbRows& rows, qsizetype row, const Column& column)
{
    const int c = column.index;
    if (rows.IsNull(row, c))
        return;
    char number[64];
    switch (TDbFieldType(column.type)) {
    case TDbFieldType::Date:
    case TDbFieldType::DateTime:
        // Integer access to a date kind is its Julian day; the time of day is dropped.
        writeDate(rows.AsInteger(row, c));
        return;
    case TDbFieldType::Integer: {
        const auto r = std::to_chars(number, number + sizeof number, rows.AsInteger(row, c));
        writeQuoted(number, r.ptr - number, column.commasToSemicolons);
        return;
    }
    case TDbFieldType::Boolean:
        if (rows.AsBoolean(row, c))
            writeQuoted("True", 4, false);
        else
            writeQuoted("False", 5, false);
        return;
    case TDbFieldType::Float:
    case TDbFieldType::Single: {
        const double v = TDbFieldType(column.type) == TDbFieldType::Single
                             ? ShortestSingle(rows.AsFloat(row, c))
                             : rows.AsFloat(row, c);
        if (!std::isfinite(v))
            break;
        // Up to 15 significant digits, as the grid shows it, with the system's separator.
        const auto r = std::to_chars(number, number + sizeof number, v, std::chars_format::general, 15);
        const char* point = static_cast<const char*>(std::memchr(number, '.', size_t(r.ptr - number)));
        if (!point || m_decimalPoint == ".") {
            writeQuoted(number, r.ptr - number, column.commasToSemicolons);
            return;
        }
        QByteArray text(number, r.ptr - number);
        text.replace('.', m_decimalPoint);
        writeQuoted(text.constData(), text.size(), column.commasToSemicolons);
        return;
    }
    case TDbFieldType::Currency:
    case TDbFieldType::BCD:
    case TDbFieldType::Time:
        break; // their text form is the rows' own
    default: {
        // Text kinds as stored (UTF-8), blobs as their raw bytes.
        const QByteArray bytes = rows.AsBytes(row, c);
        writeQuoted(bytes.constData(), bytes.size(), column.commasToSemicolons);
        return;
    }
    }
    const QByteArray text = rows.AsString(row, c).toUtf8();
    writeQuoted(text.constData(), text.size(), column.commasToSemicolons);
}

void TCSVStream::writeQuoted(const char* data, qsizetype size, bool commasToSemicolons)
{
    struct Sink
    {
        TCSVStream& s;
        void run(const char* p, qsizetype n) { s.put(p, n); }
        void literal(const char* p, qsizetype n) { s.put(p, n); }
    } sink{*this};
    putChar('"');
    const bool markers = std::memchr(data, '\n', size_t(size)) && hasMarkers(data, size);
    cleanInto(data, size, commasToSemicolons, markers, sink);
    putChar('"');
}

void TCSVStream::writeTitle(const QString& title)
{
    // A quote in a title is doubled, so that readers of the file do not split the header
    // line inside it.
    QByteArray bytes = title.toUtf8();
    bytes.replace("\"", "\"\"");
    putChar('"');
    put(bytes.constData(), bytes.size());
    putChar('"');
}

void TCSVStream::writeDate(qint64 julianDay)
{
    int year = 0, month = 0, day = 0;
    QDate::fromJulianDay(julianDay).getDate(&year, &month, &day);
    char* p = reserve(32);
    char* const start = p;
    if (year < 0) {
        *p++ = '-';
        year = -year;
    }
    if (year < 1000)
        *p++ = '0';
    if (year < 100)
        *p++ = '0';
    if (year < 10)
        *p++ = '0';
    p = std::to_chars(p, p + 12, year).ptr;
    *p++ = '-';
    *p++ = char('0' + month / 10);
    *p++ = char('0' + month % 10);
    *p++ = '-';
    *p++ = char('0' + day / 10);
    *p++ = char('0' + day % 10);
    m_used += p - start;
}

QString TCSVStream::CleanText(const QString& text)
{
    struct Sink
    {
        QString& out;
        void run(const QChar* p, qsizetype n) { out.append(p, n); }
        void literal(const char* p, qsizetype n) { out.append(QLatin1String(p, n)); }
    };
    QString out;
    out.reserve(text.size());
    Sink sink{out};
    const bool markers = text.contains(QLatin1String("<P>")) || text.contains(QLatin1String("<BR>"));
    cleanInto(text.constData(), text.size(), false, markers, sink);
    return out;
}

void TCSVStream::WriteText(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    put(bytes.constData(), bytes.size());
}

void TCSVStream::put(const char* data, qsizetype size)
{
    if (kBufferSize - m_used < size) {
        flushBuffer();
        if (size >= kBufferSize) {
            writeDevice(data, size);
            return;
        }
    }
    std::memcpy(m_buffer.get() + m_used, data, size_t(size));
    m_used += size;
}

void TCSVStream::flushBuffer()
{
    // The buffer is empty afterwards even when the write fails, so that nothing is
    // written twice.
    const qsizetype used = m_used;
    m_used = 0;
    writeDevice(m_buffer.get(), used);
}

void TCSVStream::writeDevice(const char* data, qsizetype size)
{
    while (size > 0) {
        const qint64 n = m_device->write(data, size);
        if (n <= 0)
            writeFailed();
        data += n;
        size -= qsizetype(n);
    }
}

void TCSVStream::Flush()
{
    flushBuffer();
    if (auto* file = qobject_cast<QFileDevice*>(m_device))
        if (!file->flush())
            writeFailed();
}

void TCSVStream::writeFailed()
{
    const QString reason = m_device->errorString();
    throw EExportError(QStringLiteral("Stream write error") +
                       (reason.isEmpty() ? QString() : QStringLiteral(". ") + reason));
}
