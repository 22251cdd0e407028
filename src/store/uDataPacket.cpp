#include "uDataPacket.h"

#include "utils.h"

#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace datapacket {
namespace {

const char* typeName(FieldType type)
{
    switch (type) {
    case FieldType::I4:
        return "i4";
    case FieldType::String:
        return "string";
    case FieldType::DateTime:
        return "dateTime";
    }
    return "";
}

// ---------------------------------------------------------------- text decoding

void appendCodePoint(QString& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.append(QChar(char16_t(cp)));
    } else {
        out.append(QChar(QChar::highSurrogate(cp)));
        out.append(QChar(QChar::lowSurrogate(cp)));
    }
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// An attribute value as text: entities and character references resolved.
// Returns false with a message in error when the value cannot be decoded.
bool decodeValue(QByteArrayView raw, QString& out, QString& error)
{
    const qsizetype amp = raw.indexOf('&');
    if (amp < 0) {
        out = isAscii(raw) ? QString::fromLatin1(raw.data(), raw.size()) : decodeText(raw.data(), raw.size());
        return true;
    }
    out.clear();
    out.reserve(raw.size());
    qsizetype pos = 0;
    while (pos < raw.size()) {
        qsizetype next = raw.indexOf('&', pos);
        if (next < 0)
            next = raw.size();
        AppendUtf8OrWindows1252(out, raw.data() + pos, next - pos);
        if (next == raw.size())
            break;
        const qsizetype semi = raw.indexOf(';', next);
        if (semi < 0 || semi - next > 12) {
            error = QStringLiteral("an \"&\" that starts no entity");
            return false;
        }
        const QByteArrayView name = raw.sliced(next + 1, semi - next - 1);
        if (name == "lt") {
            out.append(u'<');
        } else if (name == "gt") {
            out.append(u'>');
        } else if (name == "amp") {
            out.append(u'&');
        } else if (name == "apos") {
            out.append(u'\'');
        } else if (name == "quot") {
            out.append(u'"');
        } else if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const QByteArrayView digits = name.sliced(hex ? 2 : 1);
            bool ok = !digits.isEmpty();
            char32_t cp = 0;
            for (const char c : digits) {
                int d;
                if (c >= '0' && c <= '9')
                    d = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    d = c - 'A' + 10;
                else {
                    ok = false;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + d;
                if (cp > 0x10FFFF) {
                    ok = false;
                    break;
                }
            }
            if (!ok || cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) {
                error = QStringLiteral("the character reference \"&%1;\" is not valid")
                            .arg(QString::fromLatin1(name.data(), name.size()));
                return false;
            }
            appendCodePoint(out, cp);
        } else {
            error =
                QStringLiteral("the entity \"&%1;\" is unknown").arg(decodeText(name.data(), name.size()));
            return false;
        }
        pos = semi + 1;
    }
    return true;
}

// Bytes that the writer never leaves as they are inside a value.
struct EscapedBytes
{
    bool byte[256] = {};
    constexpr EscapedBytes()
    {
        for (const char c : {'<', '>', '&', '\'', '"', '\r', '\n', '\t', '\\'})
            byte[static_cast<unsigned char>(c)] = true;
        for (int c = 0x80; c < 0x100; ++c)
            byte[c] = true; // not escaped, but to be checked as UTF-8
    }
};
constexpr EscapedBytes kEscaped;

// The length of the entity at p when it is one the writer writes, else 0. By its letters
// rather than by comparing each form: a stored query has a dozen of them.
qsizetype writtenEntityLength(const char* p, const char* end)
{
    const qsizetype room = end - p;
    const auto is = [&](const char* form, qsizetype n) { return room >= n && std::memcmp(p, form, n) == 0; };
    switch (room > 1 ? p[1] : 0) {
    case 'l':
        return is("&lt;", 4) ? 4 : 0;
    case 'g':
        return is("&gt;", 4) ? 4 : 0;
    case 'a':
        return is("&amp;", 5) ? 5 : is("&apos;", 6) ? 6 : 0;
    case 'q':
        return is("&quot;", 6) ? 6 : 0;
    case '#':
        if (room >= 6 && p[2] == '0' && p[5] == ';' &&
            ((p[3] == '1' && (p[4] == '3' || p[4] == '0')) || (p[3] == '0' && p[4] == '9') ||
             (p[3] == '9' && p[4] == '2')))
            return 6;
        return 0;
    }
    return 0;
}

// When raw is byte for byte what the writer writes for its decoded text, the length of
// that text in UTF-8; otherwise -1. A file this program wrote holds only such values,
// which can then be written again as they are.
int writtenTextLength(QByteArrayView raw)
{
    const char* p = raw.data();
    const char* const end = p + raw.size();
    qsizetype saved = 0;
    bool ascii = true;
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (!kEscaped.byte[c])
            continue;
        if (c >= 0x80) {
            ascii = false;
            continue;
        }
        if (c != '&')
            return -1;
        const qsizetype length = writtenEntityLength(p, end);
        if (length == 0)
            return -1;
        saved += length - 1;
        p += length - 1;
    }
    if (!ascii && !IsValidUtf8(raw.data(), raw.size()))
        return -1;
    return int(raw.size() - saved);
}

// ---------------------------------------------------------------- tags

struct Attr
{
    QByteArrayView name;
    QByteArrayView value; // raw, entities unresolved
};

struct Tag
{
    QByteArrayView name;
    bool end = false;   // </name>
    bool empty = false; // <name .../>
    qsizetype offset = 0;
    QVarLengthArray<Attr, 12> attrs;

    QString printable() const
    {
        return QStringLiteral("<%1%2>").arg(end ? QStringLiteral("/") : QString(),
                                            decodeText(name.data(), name.size()));
    }
    bool is(const char* n, bool endTag = false) const { return end == endTag && name == n; }
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
           u == '-' || u == '.' || u == ':' || u >= 0x80;
}

// A small pull reader for the tags of a packet. It knows elements, attributes and
// comments; text content other than white space is an error, as packets carry none.
class Lexer
{
public:
    explicit Lexer(const QByteArray& data)
        : m_begin(data.constData()), m_p(m_begin), m_end(m_begin + data.size())
    {
    }

    [[noreturn]] void fail(const QString& what, qsizetype offset) const
    {
        throw EStoreError(QStringLiteral("%1 (at byte %2)").arg(what).arg(offset));
    }

    qsizetype pos() const { return m_p - m_begin; }
    const char* begin() const { return m_begin; }

    void readHeader()
    {
        if (m_end - m_p >= 3 && std::memcmp(m_p, "\xEF\xBB\xBF", 3) == 0)
            m_p += 3;
        if (m_end - m_p < 6 || std::memcmp(m_p, "<?xml", 5) != 0 || !isSpace(m_p[5]))
            throw EStoreError(
                QStringLiteral("The file is not a data packet: it does not begin with an XML header"));
        const char* close = findText("?>");
        if (!close)
            fail(QStringLiteral("The XML header is not closed"), pos());
        m_p = close + 2;
    }

    void skipSpaceAndComments()
    {
        for (;;) {
            while (m_p < m_end && isSpace(*m_p))
                ++m_p;
            if (m_end - m_p >= 4 && std::memcmp(m_p, "<!--", 4) == 0) {
                const char* close = findText("-->");
                if (!close)
                    fail(QStringLiteral("A comment is not closed"), pos());
                m_p = close + 3;
                continue;
            }
            return;
        }
    }

    bool atEnd()
    {
        skipSpaceAndComments();
        return m_p >= m_end;
    }

    void readTag(Tag& t)
    {
        skipSpaceAndComments();
        if (m_p >= m_end)
            fail(QStringLiteral("The file ends too early"), pos());
        if (*m_p != '<')
            fail(QStringLiteral("Unexpected text between tags"), pos());
        t.offset = pos();
        t.attrs.clear();
        t.end = t.empty = false;
        ++m_p;
        if (m_p < m_end && *m_p == '/') {
            t.end = true;
            ++m_p;
        }
        t.name = readName();
        if (t.name.isEmpty())
            fail(QStringLiteral("A tag has no name"), t.offset);
        for (;;) {
            const bool spaced = skipSpace();
            if (m_p >= m_end)
                failAtEnd(t);
            if (*m_p == '>') {
                ++m_p;
                return;
            }
            if (*m_p == '/' && !t.end) {
                if (m_end - m_p >= 2 && m_p[1] == '>') {
                    m_p += 2;
                    t.empty = true;
                    return;
                }
                fail(QStringLiteral("The tag %1 is malformed").arg(t.printable()), pos());
            }
            if (t.end || !spaced)
                fail(QStringLiteral("The tag %1 is malformed").arg(t.printable()), pos());
            Attr a;
            a.name = readName();
            skipSpace();
            if (m_p >= m_end)
                failAtEnd(t);
            if (a.name.isEmpty())
                fail(QStringLiteral("The tag %1 is malformed").arg(t.printable()), pos());
            if (*m_p != '=')
                fail(QStringLiteral("An attribute of %1 has no value").arg(t.printable()), pos());
            ++m_p;
            skipSpace();
            if (m_p >= m_end)
                failAtEnd(t);
            if (*m_p != '"' && *m_p != '\'')
                fail(QStringLiteral("An attribute value of %1 is not in quotes").arg(t.printable()), pos());
            const char quote = *m_p++;
            const void* close = std::memchr(m_p, quote, m_end - m_p);
            if (!close)
                failAtEnd(t);
            a.value = QByteArrayView(m_p, static_cast<const char*>(close) - m_p);
            m_p = static_cast<const char*>(close) + 1;
            t.attrs.append(a);
        }
    }

private:
    [[noreturn]] void failAtEnd(const Tag& t) const
    {
        fail(QStringLiteral("The file ends inside the tag %1").arg(t.printable()), t.offset);
    }

    bool skipSpace()
    {
        const char* start = m_p;
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
        return m_p != start;
    }

    QByteArrayView readName()
    {
        const char* start = m_p;
        while (m_p < m_end && isNameChar(*m_p))
            ++m_p;
        return QByteArrayView(start, m_p - start);
    }

    const char* findText(const char* text) const
    {
        const QByteArrayView rest(m_p, m_end - m_p);
        const qsizetype at = rest.indexOf(QByteArrayView(text));
        return at < 0 ? nullptr : m_p + at;
    }

    const char* m_begin;
    const char* m_p;
    const char* m_end;
};

QString attrText(const Lexer& lexer, const Tag& tag, const Attr& a)
{
    QString out, error;
    if (!decodeValue(a.value, out, error))
        lexer.fail(QStringLiteral("An attribute of %1 cannot be decoded: %2").arg(tag.printable(), error),
                   tag.offset);
    return out;
}

// An element that may be written <X ...></X>: anything inside it is an error.
void closeEmpty(Lexer& lexer, Tag& t, const char* name)
{
    if (t.empty)
        return;
    lexer.readTag(t);
    if (!t.is(name, true))
        lexer.fail(QStringLiteral("Unexpected %1 inside <%2>").arg(t.printable(), QLatin1String(name)),
                   t.offset);
}

template <typename Text> bool parseStrictInt(const Text& text, qint64 low, qint64 high, qint64& value)
{
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && QChar(text[0]) == u'-';
    if (negative)
        ++i;
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = QChar(text[i]).unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
        if (v > high - low + 1)
            return false;
    }
    v = negative ? -v : v;
    if (v < low || v > high)
        return false;
    value = v;
    return true;
}

// The recorded changes of other software: RowState flags of each row, and the
// PARAMS attribute CHANGE_LOG listing (row, earlier version, kind) triples.
enum RowStateBits
{
    rsOriginal = 0x01, // a version that a later row supersedes
    rsDeleted = 0x02,
    rsInserted = 0x04,
    rsModified = 0x08,
    rsUnused = 0x20,
    rsDetailUpdate = 0x40,
};
constexpr int kKnownRowStates = rsOriginal | rsDeleted | rsInserted | rsModified | rsUnused | rsDetailUpdate;

void applyChangeLog(const Lexer& lexer, Packet& packet, const QList<int>& states,
                    const std::optional<QString>& changeLog, qsizetype paramsOffset)
{
    const bool anyState = std::any_of(states.begin(), states.end(), [](int s) { return s != 0; });
    if (!anyState && !changeLog)
        return;

    const qsizetype n = packet.rows.size();
    QSet<int> originals;
    for (qsizetype i = 0; i < n; ++i)
        if (states[i] & rsOriginal)
            originals.insert(int(i + 1));

    if (changeLog) {
        const QStringList items = changeLog->split(u' ', Qt::SkipEmptyParts);
        if (items.size() % 3 != 0)
            lexer.fail(QStringLiteral("The CHANGE_LOG of the packet is malformed"), paramsOffset);
        QSet<int> superseded;
        for (qsizetype i = 0; i < items.size(); i += 3) {
            qint64 row = 0, earlier = 0, kind = 0;
            if (!parseStrictInt(items[i], 1, n, row) || !parseStrictInt(items[i + 1], 0, n, earlier) ||
                !parseStrictInt(items[i + 2], 0, 0xFF, kind))
                lexer.fail(QStringLiteral("The CHANGE_LOG of the packet names rows it does not hold"),
                           paramsOffset);
            if (earlier == 0)
                continue;
            // A row version is superseded once; a log that says otherwise is doubtful, and
            // refusing it keeps the check below to one pass over each row.
            if (superseded.contains(int(earlier)))
                lexer.fail(QStringLiteral("The CHANGE_LOG of the packet supersedes row %1 twice").arg(earlier),
                           paramsOffset);
            superseded.insert(int(earlier));
            // A later version that leaves out a value its earlier version has would be
            // ambiguous (null, or unchanged?), so such a packet is refused, not guessed at.
            const PacketRow& now = packet.rows[row - 1];
            const PacketRow& before = packet.rows[earlier - 1];
            for (qsizetype f = 0; f < packet.fields.size(); ++f)
                if (!now.values[f] && before.values[f])
                    lexer.fail(
                        QStringLiteral("Row %1 of the packet changes row %2 but leaves out its field \"%3\"; "
                                       "the recorded changes cannot be applied safely")
                            .arg(row)
                            .arg(earlier)
                            .arg(packet.fields[f].name),
                        paramsOffset);
        }
        if (superseded != originals)
            lexer.fail(
                QStringLiteral("The CHANGE_LOG of the packet does not agree with the RowState of its rows"),
                paramsOffset);
    } else if (!originals.isEmpty()) {
        lexer.fail(
            QStringLiteral("The packet records changed rows but has no CHANGE_LOG to pair their versions"),
            paramsOffset);
    }

    QList<PacketRow> current;
    current.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        if (!(states[i] & (rsOriginal | rsDeleted | rsUnused)))
            current.append(std::move(packet.rows[i]));
    packet.rows = std::move(current);
}

} // namespace

QString decodeText(const char* data, qsizetype size)
{
    QString out;
    out.reserve(size);
    AppendUtf8OrWindows1252(out, data, size);
    return out;
}

// ---------------------------------------------------------------- writing

namespace {
void appendEscaped(QByteArray& out, const char* p, qsizetype size)
{
    const char* end = p + size;
    const char* run = p;
    for (; p < end; ++p) {
        const char* entity;
        switch (*p) {
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '&':
            entity = "&amp;";
            break;
        case '\'':
            entity = "&apos;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\r':
            entity = "&#013;";
            break;
        case '\n':
            entity = "&#010;";
            break;
        case '\t':
            entity = "&#009;";
            break;
        case '\\':
            entity = "&#092;";
            break;
        default:
            continue;
        }
        out.append(run, p - run);
        out.append(entity);
        run = p + 1;
    }
    out.append(run, end - run);
}
} // namespace

StoredText::StoredText(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    m_length = int(utf8.size());
    m_bytes.reserve(utf8.size());
    appendEscaped(m_bytes, utf8.constData(), utf8.size());
}

StoredText StoredText::fromFile(QByteArrayView raw, bool written, int utf8Length)
{
    StoredText value;
    value.m_bytes = QByteArray::fromRawData(raw.data(), raw.size());
    value.m_written = written;
    value.m_length = written ? utf8Length : 0;
    return value;
}

QString StoredText::text() const
{
    QString out, error;
    decodeValue(m_bytes, out, error); // checked when read
    return out;
}

QByteArray encodeText(const QString& text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size() + 16);
    appendEscaped(out, utf8.constData(), utf8.size());
    return out;
}

namespace {
// Digits by hand: snprintf per value was the largest part of writing a date.
void appendDigits(QByteArray& out, int value, int width)
{
    char buf[8];
    for (int i = width - 1; i >= 0; --i, value /= 10)
        buf[i] = char('0' + value % 10);
    out.append(buf, width);
}

void appendDateTime(QByteArray& out, const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    if (d.year() < 1 || d.year() > 9999) { // not from a file or a clock: written as it comes
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d", d.year());
        out.append(buf);
    } else {
        appendDigits(out, d.year(), 4);
    }
    appendDigits(out, d.month(), 2);
    appendDigits(out, d.day(), 2);
    if (t == QTime(0, 0))
        return;
    out.append('T');
    appendDigits(out, t.hour(), 2);
    out.append(':');
    appendDigits(out, t.minute(), 2);
    out.append(':');
    appendDigits(out, t.second() * 1000 + t.msec(), 5);
}
} // namespace

StoredDateTime::StoredDateTime(const QDateTime& value)
{
    if (value.isValid())
        appendDateTime(m_bytes, value);
}

StoredDateTime StoredDateTime::fromFile(QByteArrayView raw)
{
    StoredDateTime value;
    value.m_bytes = QByteArray::fromRawData(raw.data(), raw.size());
    return value;
}

bool StoredDateTime::written() const
{
    // The writer leaves out a time of midnight.
    return m_bytes.size() == 8 || (m_bytes.size() == 20 && !m_bytes.endsWith("T00:00:00000"));
}

QByteArray encodeDateTime(const QDateTime& value)
{
    QByteArray out;
    appendDateTime(out, value);
    return out;
}

namespace {
// True when no text is longer than its column's listed width: the lengths then change
// nothing in the header and need not be kept.
bool withinWidths(const QList<Column>& columns, const QList<int>& lengths)
{
    for (qsizetype i = 0; i < lengths.size(); ++i)
        if (lengths[i] > columns[i].width)
            return false;
    return true;
}
} // namespace

PacketWriter::PacketWriter(QList<Column> columns)
    : m_columns(std::move(columns)), m_longest(m_columns.size(), 0)
{
    for (const Column& c : std::as_const(m_columns))
        m_prefixes.append(' ' + encodeText(c.name) + "=\"");
}

void PacketWriter::beginRow()
{
    if (m_column != -1)
        throw std::logic_error("PacketWriter: row not ended");
    m_row.bytes.resize(0); // keeps the capacity of the rows before
    m_row.bytes.append("<ROW");
    m_row.textLengths.fill(0, m_columns.size());
    m_column = 0;
}

void PacketWriter::next(FieldType type, bool null)
{
    if (m_column < 0 || m_column >= m_columns.size())
        throw std::logic_error("PacketWriter: value outside a row or past the last column");
    if (!null && m_columns[m_column].type != type)
        throw std::logic_error("PacketWriter: value of the wrong type for column " +
                               m_columns[m_column].name.toStdString());
    if (!null)
        m_row.bytes.append(m_prefixes[m_column]);
}

void PacketWriter::intValue(int value)
{
    next(FieldType::I4, false);
    m_row.bytes.append(QByteArray::number(value));
    m_row.bytes.append('"');
    ++m_column;
}

void PacketWriter::stringValue(const QString& value)
{
    next(FieldType::String, false);
    const QByteArray utf8 = value.toUtf8();
    m_row.textLengths[m_column] = int(utf8.size());
    appendEscaped(m_row.bytes, utf8.constData(), utf8.size());
    m_row.bytes.append('"');
    ++m_column;
}

void PacketWriter::dateTimeValue(const QDateTime& value)
{
    if (!value.isValid()) {
        nullValue();
        return;
    }
    next(FieldType::DateTime, false);
    appendDateTime(m_row.bytes, value);
    m_row.bytes.append('"');
    ++m_column;
}

void PacketWriter::textValue(const StoredText& value)
{
    if (!value.written()) {
        stringValue(value.text());
        return;
    }
    next(FieldType::String, false);
    m_row.textLengths[m_column] = value.utf8Length();
    m_row.bytes.append(value.bytes());
    m_row.bytes.append('"');
    ++m_column;
}

void PacketWriter::dateTimeValue(const StoredDateTime& value)
{
    if (value.isNull()) {
        nullValue();
    } else if (!value.written()) {
        dateTimeValue(value.value());
    } else {
        next(FieldType::DateTime, false);
        m_row.bytes.append(value.bytes());
        m_row.bytes.append('"');
        ++m_column;
    }
}

void PacketWriter::nullValue()
{
    next(FieldType::String, true);
    ++m_column;
}

void PacketWriter::extraValue(const QByteArray& name, const QString& value)
{
    if (m_column != m_columns.size())
        throw std::logic_error("PacketWriter: extra value before the last column");
    m_row.bytes.append(' ');
    m_row.bytes.append(name);
    m_row.bytes.append("=\"");
    const QByteArray utf8 = value.toUtf8();
    appendEscaped(m_row.bytes, utf8.constData(), utf8.size());
    m_row.bytes.append('"');
}

EncodedRow PacketWriter::takeRow()
{
    if (m_column != m_columns.size())
        throw std::logic_error("PacketWriter: row ended before its last column");
    m_row.bytes.append("/>");
    m_column = -1;
    // A copy of the exact size; the working buffer stays for the next row.
    return {QByteArray(m_row.bytes.constData(), m_row.bytes.size()),
            withinWidths(m_columns, m_row.textLengths) ? QList<int>() : m_row.textLengths};
}

void PacketWriter::endRow()
{
    appendRow(takeRow());
}

void PacketWriter::appendRow(const EncodedRow& row)
{
    if (m_column != -1)
        throw std::logic_error("PacketWriter: row not ended");
    if (!row.textLengths.isEmpty() && row.textLengths.size() != m_columns.size())
        throw std::logic_error("PacketWriter: a row written for other columns");
    for (qsizetype i = 0; i < row.textLengths.size(); ++i)
        m_longest[i] = std::max(m_longest[i], row.textLengths[i]);
    m_rows.append(row.bytes);
    m_rowBytes += row.bytes.size();
}

bool PacketWriter::finish(const std::function<bool(QByteArrayView)>& write)
{
    if (m_column != -1)
        throw std::logic_error("PacketWriter: row not ended");
    // The header's widths depend on every row, so the rows are kept apart until now.
    QByteArray header;
    header.reserve(200 + 80 * m_columns.size());
    header.append("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        const Column& c = m_columns[i];
        header.append("<FIELD attrname=\"");
        header.append(encodeText(c.name));
        header.append("\" fieldtype=\"");
        header.append(typeName(c.type));
        header.append('"');
        if (c.required)
            header.append(" required=\"true\"");
        if (c.type == FieldType::String) {
            header.append(" WIDTH=\"");
            header.append(QByteArray::number(std::max(c.width, m_longest[i])));
            header.append('"');
        }
        header.append("/>");
    }
    header.append("</FIELDS><PARAMS/></METADATA><ROWDATA>");
    bool ok = write(header);
    for (qsizetype i = 0; ok && i < m_rows.size(); ++i)
        ok = write(m_rows[i]);
    ok = ok && write("</ROWDATA></DATAPACKET>");
    m_rows.clear();
    m_rowBytes = 0;
    return ok;
}

QByteArray PacketWriter::finish()
{
    QByteArray out;
    out.reserve(m_rowBytes + 200 + 80 * m_columns.size() + 32);
    finish([&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

QByteArray writePacket(const QList<Column>& columns, const QList<Row>& rows)
{
    PacketWriter w(columns);
    for (const Row& row : rows) {
        w.beginRow();
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const QVariant& v = i < row.size() ? row[i] : QVariant();
            if (!v.isValid() || v.isNull()) {
                w.nullValue();
                continue;
            }
            switch (columns[i].type) {
            case FieldType::I4:
                w.intValue(v.toInt());
                break;
            case FieldType::String:
                w.stringValue(v.toString());
                break;
            case FieldType::DateTime:
                w.dateTimeValue(v.toDateTime());
                break;
            }
        }
        w.endRow();
    }
    return w.finish();
}

// ---------------------------------------------------------------- reading

namespace {
QList<qsizetype> matchColumns(const QList<Field>& fields, const QList<Column>& columns);

// Stored mode meets a change log, which needs the whole file read first.
struct NeedsWholeRead
{
};

// A row handed over with its values unresolved (stored mode of the parser).
struct RawField
{
    bool present = false;
    QByteArrayView raw; // entities unresolved
    int writtenLength = -1; // see writtenTextLength
};

struct RawRow
{
    int number = 0;
    QVarLengthArray<RawField, 8> fields; // by field index
    Extras extras;
    // The attributes stand as the writer puts them: in column order under the columns'
    // own names, the extras last, each after one space, in double quotes, the row closed
    // by "/>", and every extra's value in the written form.
    bool laidOutAsWritten = false;
    QByteArrayView text; // the whole ROW element
};

// Reads a packet in the order it is written: the DATAPACKET element, the METADATA with
// its fields and parameters, the ROWDATA, the end; then applies the recorded changes.
// Columns, when given, are checked against the METADATA before any row is read, so a
// file of another table is reported as such rather than by its first odd row.
class PacketParser
{
public:
    explicit PacketParser(const QByteArray& data) : m_lexer(data) {}

    Packet run(const QList<Column>* columns, QList<qsizetype>* fieldOf)
    {
        m_lexer.readHeader();
        readPacketStart();
        readMetadata();
        if (columns) {
            *fieldOf = matchColumns(m_packet.fields, *columns);
            m_columnOfField.fill(-1, m_packet.fields.size());
            for (qsizetype c = 0; c < columns->size(); ++c) {
                m_columnOfField[(*fieldOf)[c]] = c;
                m_columnNames.append(encodeText(columns->at(c).name));
            }
        }
        // A change log pairs rows anywhere in the file: no row can be handed on alone.
        if (m_onRawRow && m_changeLog)
            throw NeedsWholeRead();
        readRowData(columns != nullptr);
        readPacketEnd();
        if (m_rawOriginals)
            m_lexer.fail(
                QStringLiteral("The packet records changed rows but has no CHANGE_LOG to pair their versions"),
                m_paramsOffset);
        applyChangeLog(m_lexer, m_packet, m_states, m_changeLog, m_paramsOffset);
        return std::move(m_packet);
    }

private:
    void expect(const char* name, const QString& what)
    {
        m_lexer.readTag(m_tag);
        if (!m_tag.is(name))
            m_lexer.fail(what.arg(m_tag.printable()), m_tag.offset);
    }

    void readPacketStart()
    {
        expect("DATAPACKET",
               QStringLiteral("The file is not a data packet: %1 stands where <DATAPACKET> belongs"));
        if (m_tag.empty)
            m_lexer.fail(QStringLiteral("The data packet is empty"), m_tag.offset);
        m_paramsOffset = m_tag.offset;
    }

    void readMetadata()
    {
        expect("METADATA", QStringLiteral("Expected <METADATA> but found %1"));
        bool haveFields = false;
        if (!m_tag.empty) {
            for (m_lexer.readTag(m_tag); !m_tag.is("METADATA", true); m_lexer.readTag(m_tag)) {
                if (m_tag.is("FIELDS") && !haveFields) {
                    haveFields = true;
                    readFields();
                } else if (m_tag.is("PARAMS")) {
                    readParams();
                } else {
                    m_lexer.fail(QStringLiteral("Unexpected %1 inside <METADATA>").arg(m_tag.printable()),
                                 m_tag.offset);
                }
            }
        }
        if (!haveFields)
            m_lexer.fail(QStringLiteral("The data packet lists no fields"), m_tag.offset);
    }

    void readFields()
    {
        if (m_tag.empty)
            return;
        for (m_lexer.readTag(m_tag); !m_tag.is("FIELDS", true); m_lexer.readTag(m_tag)) {
            if (!m_tag.is("FIELD"))
                m_lexer.fail(QStringLiteral("Unexpected %1 inside <FIELDS>").arg(m_tag.printable()), m_tag.offset);
            readField();
        }
    }

    void readField()
    {
        const Tag& t = m_tag;
        Field f;
        bool named = false, typed = false;
        QByteArrayView rawName;
        for (const Attr& a : t.attrs) {
            if (a.name == "attrname") {
                f.name = attrText(m_lexer, t, a);
                rawName = a.value;
                named = true;
            } else if (a.name == "fieldtype") {
                f.type = attrText(m_lexer, t, a);
                typed = true;
            } else if (a.name == "WIDTH") {
                qint64 w = 0;
                if (!parseStrictInt(attrText(m_lexer, t, a), 0, INT_MAX, w))
                    m_lexer.fail(QStringLiteral("A field has an invalid WIDTH"), t.offset);
                f.width = int(w);
            } else if (a.name == "required") {
                f.required = attrText(m_lexer, t, a).compare(u"true", Qt::CaseInsensitive) == 0;
            }
        }
        if (!named || !typed)
            m_lexer.fail(QStringLiteral("A field lacks its attrname or fieldtype"), t.offset);
        if (!t.empty) {
            m_lexer.readTag(m_tag);
            if (!m_tag.is("FIELD", true))
                m_lexer.fail(
                    QStringLiteral("The field \"%1\" holds nested fields, which are not supported").arg(f.name),
                    m_tag.offset);
        }
        const qsizetype index = m_packet.fields.size();
        if (m_fieldIndex.contains(rawName))
            m_lexer.fail(QStringLiteral("The field \"%1\" is listed twice").arg(f.name), m_tag.offset);
        m_fieldIndex.insert(rawName, index);
        m_rawNames.append(rawName);
        m_packet.fields.append(std::move(f));
    }

    void readParams()
    {
        m_paramsOffset = m_tag.offset;
        for (const Attr& a : m_tag.attrs)
            if (a.name == "CHANGE_LOG")
                m_changeLog = attrText(m_lexer, m_tag, a);
        closeEmpty(m_lexer, m_tag, "PARAMS");
    }

    void readRowData(bool foldCase)
    {
        expect("ROWDATA", QStringLiteral("Expected <ROWDATA> but found %1"));
        if (m_tag.empty)
            return;
        for (m_lexer.readTag(m_tag); !m_tag.is("ROWDATA", true); m_lexer.readTag(m_tag)) {
            if (!m_tag.is("ROW"))
                m_lexer.fail(QStringLiteral("Unexpected %1 inside <ROWDATA>").arg(m_tag.printable()), m_tag.offset);
            readRow(foldCase);
        }
    }

    // Which field an attribute names; fields.size() for none.
    qsizetype fieldNamed(QByteArrayView name, qsizetype expected, bool foldCase) const
    {
        const qsizetype none = m_packet.fields.size();
        // Attributes come in field order as a rule: try the expected field first.
        if (expected < none && m_rawNames[expected] == name)
            return expected;
        qsizetype f = m_fieldIndex.value(name, none);
        if (f == none && foldCase)
            f = foldedIndex().value(name.toByteArray().toLower(), none);
        return f;
    }

    // Made when first needed: most files spell every name as their fields do.
    const QHash<QByteArray, qsizetype>& foldedIndex() const
    {
        if (m_foldedIndex.isEmpty()) {
            m_foldedIndex.reserve(m_rawNames.size());
            for (qsizetype i = 0; i < m_rawNames.size(); ++i) {
                const QByteArray folded = m_rawNames[i].toByteArray().toLower();
                if (!m_foldedIndex.contains(folded))
                    m_foldedIndex.insert(folded, i);
            }
        }
        return m_foldedIndex;
    }

    void readRow(bool foldCase)
    {
        if (m_onRawRow) {
            readRawRow(foldCase);
            return;
        }
        const Tag& t = m_tag;
        PacketRow row;
        row.number = int(++m_rowCount);
        row.values.resize(m_packet.fields.size());
        int state = 0;
        qsizetype next = 0;
        QSet<QByteArray> extraNames; // a hash, so a row of many unknown attributes stays linear
        for (const Attr& a : t.attrs) {
            if (a.name == "RowState") {
                state = rowState(t, a, row.number);
                continue;
            }
            const qsizetype f = fieldNamed(a.name, next, foldCase);
            QString text, error;
            if (f == m_packet.fields.size()) {
                takeExtra(a, row.number, t.offset, extraNames, row.extras);
                continue;
            }
            next = f + 1;
            const QString& field = m_packet.fields[f].name;
            if (row.values[f])
                m_lexer.fail(
                    QStringLiteral("Row %1 has two values for the field \"%2\"").arg(row.number).arg(field),
                    t.offset);
            if (!decodeValue(a.value, text, error))
                m_lexer.fail(QStringLiteral("Row %1: the value of the field \"%2\" cannot be decoded: %3")
                                 .arg(row.number)
                                 .arg(field, error),
                             t.offset);
            row.values[f] = std::move(text);
        }
        closeEmpty(m_lexer, m_tag, "ROW");
        if (m_onRow) {
            m_onRow(row);
            return;
        }
        m_packet.rows.append(std::move(row));
        m_states.append(state);
    }

    int rowState(const Tag& t, const Attr& a, int rowNumber) const
    {
        qint64 state = 0;
        if (!parseStrictInt(attrText(m_lexer, t, a), 0, INT_MAX, state) || (state & ~qint64(kKnownRowStates)))
            m_lexer.fail(QStringLiteral("Row %1 has a RowState this reader does not know").arg(rowNumber), t.offset);
        return int(state);
    }

    // An attribute that no field names: kept for writing back rather than the file refused.
    void takeExtra(const Attr& a, int rowNumber, qsizetype offset, QSet<QByteArray>& names, Extras& extras) const
    {
        const QByteArray name = a.name.toByteArray();
        const QString attrName = decodeText(a.name.data(), a.name.size());
        if (names.contains(name))
            m_lexer.fail(QStringLiteral("Row %1 has two values \"%2\"").arg(rowNumber).arg(attrName), offset);
        QString text, error;
        if (!decodeValue(a.value, text, error))
            m_lexer.fail(QStringLiteral("Row %1: the value \"%2\" cannot be decoded: %3")
                             .arg(rowNumber)
                             .arg(attrName, error),
                         offset);
        names.insert(name);
        extras.append({name, std::move(text)});
    }

    // A row whose values are checked to decode but kept as they stand, with what the
    // written-form test needs; for a file without recorded changes only.
    void readRawRow(bool foldCase)
    {
        const Tag& t = m_tag;
        const qsizetype offset = t.offset;
        RawRow row;
        row.number = int(++m_rowCount);
        row.fields.resize(m_packet.fields.size());
        const char* const data = m_lexer.begin();
        bool laidOut = t.empty;
        const char* expected = data + offset + 4; // just past "<ROW"
        qsizetype lastColumn = -1;
        bool extraSeen = false;
        qsizetype next = 0;
        QSet<QByteArray> extraNames;
        int state = 0;
        for (const Attr& a : t.attrs) {
            laidOut = laidOut && *expected == ' ' && a.name.data() == expected + 1 &&
                      a.value.data() == a.name.data() + a.name.size() + 2 && a.value.data()[-1] == '"';
            expected = a.value.data() + a.value.size() + 1;
            if (a.name == "RowState") {
                // Without a change log a state only drops the row or keeps it; the
                // writer writes none.
                state = rowState(t, a, row.number);
                laidOut = false;
                continue;
            }
            const qsizetype f = fieldNamed(a.name, next, foldCase);
            if (f == m_packet.fields.size()) {
                takeExtra(a, row.number, offset, extraNames, row.extras);
                extraSeen = true;
                laidOut = laidOut && writtenTextLength(a.value) >= 0;
                continue;
            }
            next = f + 1;
            RawField& field = row.fields[f];
            if (field.present)
                m_lexer.fail(QStringLiteral("Row %1 has two values for the field \"%2\"")
                                 .arg(row.number)
                                 .arg(m_packet.fields[f].name),
                             offset);
            const qsizetype column = m_columnOfField[f];
            laidOut = laidOut && !extraSeen && column > lastColumn && a.name == m_columnNames[column];
            lastColumn = column;
            field.present = true;
            field.raw = a.value;
            field.writtenLength = writtenTextLength(a.value);
            QString text, error;
            if (field.writtenLength < 0 && !decodeValue(a.value, text, error))
                m_lexer.fail(QStringLiteral("Row %1: the value of the field \"%2\" cannot be decoded: %3")
                                 .arg(row.number)
                                 .arg(m_packet.fields[f].name, error),
                             offset);
        }
        closeEmpty(m_lexer, m_tag, "ROW");
        if (state & rsOriginal)
            m_rawOriginals = true; // refused at the end, as the whole read refuses it
        if (state & (rsOriginal | rsDeleted | rsUnused))
            return;
        row.laidOutAsWritten = laidOut && data + m_lexer.pos() == expected + 2;
        row.text = QByteArrayView(data + offset, m_lexer.pos() - offset);
        m_onRawRow(row);
    }

    void readPacketEnd()
    {
        m_lexer.readTag(m_tag);
        if (!m_tag.is("DATAPACKET", true))
            m_lexer.fail(QStringLiteral("Expected </DATAPACKET> but found %1").arg(m_tag.printable()),
                         m_tag.offset);
        if (!m_lexer.atEnd())
            m_lexer.fail(QStringLiteral("Unexpected text after </DATAPACKET>"), m_lexer.pos());
    }

    Lexer m_lexer;
    Tag m_tag;
    Packet m_packet;
    // Each field's attrname as the ROW attributes spell it (views into the file's bytes),
    // to its index: one hash look-up per attribute, so that a header of many thousand
    // fields costs no quadratic time.
    QHash<QByteArrayView, qsizetype> m_fieldIndex;
    // The same without regard to case: a table's fields are matched that way
    // (matchColumns), so the values in its rows are too.
    mutable QHash<QByteArray, qsizetype> m_foldedIndex;
    QList<QByteArrayView> m_rawNames;
    QList<int> m_states; // each row's RowState
    std::optional<QString> m_changeLog;
    qsizetype m_paramsOffset = 0;
    qsizetype m_rowCount = 0;

public:
    // Rows handed here one by one as read, instead of kept; only for a file without
    // recorded changes (the caller checks before), since those may touch any row.
    std::function<void(PacketRow&)> m_onRow;
    // The same in stored mode, which needs the columns.
    std::function<void(RawRow&)> m_onRawRow;

private:
    bool m_rawOriginals = false;      // stored mode met a row superseded by another
    QList<qsizetype> m_columnOfField; // -1 for none
    QList<QByteArray> m_columnNames;  // as the writer spells them
};

Packet parse(const QByteArray& data, const QList<Column>* columns, QList<qsizetype>* fieldOf)
{
    return PacketParser(data).run(columns, fieldOf);
}

QList<qsizetype> matchColumns(const QList<Field>& fields, const QList<Column>& columns)
{
    QList<qsizetype> fieldOf(columns.size(), -1);
    for (qsizetype f = 0; f < fields.size(); ++f) {
        const Field& field = fields[f];
        qsizetype c = 0;
        while (c < columns.size() && columns[c].name.compare(field.name, Qt::CaseInsensitive) != 0)
            ++c;
        if (c == columns.size())
            throw EStoreError(
                QStringLiteral("The file has a field \"%1\" that the table does not have").arg(field.name));
        if (fieldOf[c] != -1)
            throw EStoreError(QStringLiteral("The file lists the field \"%1\" twice").arg(field.name));
        if (field.type != QLatin1String(typeName(columns[c].type)))
            throw EStoreError(
                QStringLiteral("The field \"%1\" has the type \"%2\" in the file, where \"%3\" belongs")
                    .arg(field.name, field.type, QLatin1String(typeName(columns[c].type))));
        fieldOf[c] = f;
    }
    for (qsizetype c = 0; c < columns.size(); ++c)
        if (fieldOf[c] == -1)
            throw EStoreError(
                QStringLiteral("The field \"%1\" is missing from the file").arg(columns[c].name));
    return fieldOf;
}

// Local date-times made by the day. A day on which the zone's offset does not change maps
// every wall-clock time by one offset, found once; making each value a local date-time
// on its own costs a time-zone look-up per value (tens of microseconds where TZ is unset),
// which was most of the time of reading a large store. A day with a change (a daylight-
// saving switch) is left to the zone, value by value.
class LocalDays
{
public:
    QDateTime make(QDate date, QTime time)
    {
        auto it = m_offsets.constFind(date.toJulianDay());
        if (it == m_offsets.cend()) {
            const QDateTime start(date, QTime(0, 0));
            const QDateTime end(date.addDays(1), QTime(0, 0));
            std::optional<int> offset;
            if (start.isValid() && end.isValid() && start.offsetFromUtc() == end.offsetFromUtc())
                offset = start.offsetFromUtc();
            it = m_offsets.insert(date.toJulianDay(), offset);
        }
        return *it ? QDateTime(date, time, Qt::OffsetFromUTC, **it) : QDateTime(date, time);
    }

private:
    QHash<qint64, std::optional<int>> m_offsets;
};

// A date-time's text as the writer writes it, or with a time of midnight written out;
// false for anything else.
bool parseDateTimeText(QByteArrayView s, QDate& date, QTime& time)
{
    if (s.size() != 8 && s.size() != 20)
        return false;
    auto digits = [&](int from, int count, int& value) {
        value = 0;
        for (int i = from; i < from + count; ++i) {
            const char c = s[i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        return true;
    };
    int y, mo, d;
    if (!digits(0, 4, y) || !digits(4, 2, mo) || !digits(6, 2, d))
        return false;
    date = QDate(y, mo, d);
    if (!date.isValid())
        return false;
    time = QTime(0, 0);
    if (s.size() == 20) {
        int h, mi, ms;
        if (s[8] != 'T' || s[11] != ':' || s[14] != ':' || !digits(9, 2, h) || !digits(12, 2, mi) ||
            !digits(15, 5, ms) || h > 23 || mi > 59 || ms > 59999)
            return false;
        time = QTime(h, mi, ms / 1000, ms % 1000);
    }
    return true;
}

// A wall-clock time that the local zone skips (a daylight-saving gap: a file from another
// zone) is no valid local time; it is kept as written instead of lost.
QDateTime keptAsWritten(QDateTime local, QDate date, QTime time)
{
    return local.isValid() ? local : QDateTime(date, time, Qt::UTC);
}

bool decodeDateTime(const QString& s, QDateTime& out, LocalDays& days)
{
    QDate date;
    QTime time;
    if (s.size() > 20 || !parseDateTimeText(s.toLatin1(), date, time))
        return false;
    out = keptAsWritten(days.make(date, time), date, time);
    return true;
}

} // namespace

QDateTime StoredDateTime::value() const
{
    QDate date;
    QTime time;
    if (!parseDateTimeText(m_bytes, date, time)) // null; anything else was checked when read
        return QDateTime();
    return keptAsWritten(QDateTime(date, time), date, time);
}

Packet parsePacket(const QByteArray& data)
{
    return parse(data, nullptr, nullptr);
}

namespace {

// A parsed row's values decoded by their columns' types.
Row typedRow(const PacketRow& pr, const QList<Column>& columns, const QList<qsizetype>& fieldOf, LocalDays& days)
{
    Row row(columns.size());
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const std::optional<QString>& v = pr.values[fieldOf[c]];
        if (!v)
            continue; // null, required column or not
        bool ok = true;
        switch (columns[c].type) {
        case FieldType::I4: {
            qint64 n = 0;
            ok = parseStrictInt(*v, INT_MIN, INT_MAX, n);
            row[c] = int(n);
            break;
        }
        case FieldType::String:
            row[c] = *v;
            break;
        case FieldType::DateTime: {
            QDateTime dt;
            ok = decodeDateTime(*v, dt, days);
            row[c] = dt;
            break;
        }
        }
        if (!ok)
            throw EStoreError(QStringLiteral("Row %1: \"%2\" is not a valid %3 value for the field \"%4\"")
                                  .arg(pr.number)
                                  .arg(*v, QLatin1String(typeName(columns[c].type)), columns[c].name));
    }
    return row;
}

} // namespace

namespace {
// Recorded changes (a row state, a change log) may touch any row: such a file is read
// whole first. The text search may also hit a value that merely holds the word, which
// only costs the whole read. memmem, not QByteArrayView::contains: a third of the time.
bool holdsRecordedChanges(const QByteArray& data)
{
    return memmem(data.constData(), data.size(), "RowState", 8) ||
           memmem(data.constData(), data.size(), "CHANGE_LOG", 10);
}
} // namespace

void readPacketRows(const QByteArray& data, const QList<Column>& columns, const RowTaker& take)
{
    LocalDays days;
    QList<qsizetype> fieldOf;
    if (holdsRecordedChanges(data)) {
        Packet packet = parse(data, &columns, &fieldOf);
        for (PacketRow& pr : packet.rows) {
            Row row = typedRow(pr, columns, fieldOf, days);
            take(row, pr.extras);
            pr.values = {};
        }
        return;
    }
    // Row by row: each parsed row is let go once taken, so a store of many queries (read
    // at every start) is never held in two forms at once, nor leaves the heap full of
    // the holes of the form it was read in.
    PacketParser parser(data);
    parser.m_onRow = [&](PacketRow& pr) {
        Row row = typedRow(pr, columns, fieldOf, days);
        take(row, pr.extras);
    };
    const Packet rest = parser.run(&columns, &fieldOf);
    Q_ASSERT(rest.rows.isEmpty());
}

namespace {

[[noreturn]] void failValue(int row, const QString& text, const Column& column)
{
    throw EStoreError(QStringLiteral("Row %1: \"%2\" is not a valid %3 value for the field \"%4\"")
                          .arg(row)
                          .arg(text, QLatin1String(typeName(column.type)), column.name));
}

// A row in stored form from its unresolved values; raises as typedRow.
StoredRow storedRow(RawRow& raw, const QList<Column>& columns, const QList<qsizetype>& fieldOf)
{
    StoredRow row;
    row.number = raw.number;
    row.values.resize(columns.size());
    bool written = raw.laidOutAsWritten;
    QList<int> lengths(columns.size(), 0);
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const RawField& field = raw.fields[fieldOf[c]];
        if (!field.present)
            continue; // null, required column or not
        StoredValue& value = row.values[c];
        value.null = false;
        const bool plain = field.writtenLength == field.raw.size();
        const auto text = [&] { return StoredText::fromFile(field.raw, false, 0).text(); };
        switch (columns[c].type) {
        case FieldType::I4: {
            qint64 n = 0;
            if (plain ? !parseStrictInt(field.raw, INT_MIN, INT_MAX, n) : !parseStrictInt(text(), INT_MIN, INT_MAX, n))
                failValue(row.number, text(), columns[c]);
            value.number = int(n);
            char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, value.number).ptr;
            written = written && plain && field.raw == QByteArrayView(digits, end - digits);
            break;
        }
        case FieldType::String:
            value.text = StoredText::fromFile(field.raw, field.writtenLength >= 0, field.writtenLength);
            lengths[c] = field.writtenLength;
            written = written && value.text.written();
            break;
        case FieldType::DateTime: {
            QDate date;
            QTime time;
            if (plain ? !parseDateTimeText(field.raw, date, time) : !parseDateTimeText(text().toLatin1(), date, time))
                failValue(row.number, text(), columns[c]);
            // A value with entities is kept decoded, and its row is written anew.
            value.dateTime = plain ? StoredDateTime::fromFile(field.raw)
                                   : StoredDateTime(keptAsWritten(QDateTime(date, time), date, time));
            written = written && plain && value.dateTime.written();
            break;
        }
        }
    }
    row.extras = std::move(raw.extras);
    if (written)
        row.written = {QByteArray::fromRawData(raw.text.data(), raw.text.size()),
                       withinWidths(columns, lengths) ? QList<int>() : std::move(lengths)};
    return row;
}

// A row in stored form written anew, for one whose bytes are not the writer's.
EncodedRow encodeStoredRow(PacketWriter& w, const QList<Column>& columns, const StoredRow& row)
{
    w.beginRow();
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const StoredValue& v = row.values[c];
        if (v.null) {
            w.nullValue();
            continue;
        }
        switch (columns[c].type) {
        case FieldType::I4:
            w.intValue(v.number);
            break;
        case FieldType::String:
            w.textValue(v.text);
            break;
        case FieldType::DateTime:
            w.dateTimeValue(v.dateTime);
            break;
        }
    }
    for (const Extra& e : row.extras)
        w.extraValue(e.name, e.value);
    return w.takeRow();
}

} // namespace

void readStoredRows(const QByteArray& data, const QList<Column>& columns, const StoredRowTaker& take)
{
    PacketWriter writer(columns);
    // Rows with a state are taken or dropped as they come; a change log, which pairs
    // rows anywhere in the file, is met before the first row and read whole and decoded.
    const auto readWhole = [&] {
        readPacketRows(data, columns, [&](Row& typed, Extras& extras) {
            StoredRow row;
            row.values.resize(columns.size());
            for (qsizetype c = 0; c < columns.size(); ++c) {
                StoredValue& value = row.values[c];
                value.null = !typed[c].isValid();
                if (value.null)
                    continue;
                switch (columns[c].type) {
                case FieldType::I4:
                    value.number = typed[c].toInt();
                    break;
                case FieldType::String:
                    value.text = StoredText(typed[c].toString());
                    break;
                case FieldType::DateTime:
                    value.dateTime = StoredDateTime(typed[c].toDateTime());
                    break;
                }
            }
            row.extras = std::move(extras);
            row.written = encodeStoredRow(writer, columns, row);
            take(row);
        });
    };
    QList<qsizetype> fieldOf;
    PacketParser parser(data);
    parser.m_onRawRow = [&](RawRow& raw) {
        StoredRow row = storedRow(raw, columns, fieldOf);
        if (row.written.isEmpty())
            row.written = encodeStoredRow(writer, columns, row);
        take(row);
    };
    try {
        const Packet rest = parser.run(&columns, &fieldOf);
        Q_ASSERT(rest.rows.isEmpty());
    } catch (const NeedsWholeRead&) {
        readWhole();
    }
}

QList<Row> readPacket(const QByteArray& data, const QList<Column>& columns, QList<Extras>* extras)
{
    QList<Row> rows;
    readPacketRows(data, columns, [&](Row& row, Extras& rowExtras) {
        rows.append(std::move(row));
        if (extras)
            extras->append(std::move(rowExtras));
    });
    return rows;
}

namespace {
// The attributes of a row in the writer's form: "<ROW", then ' name="value"' for each,
// then "/>". Names hold no '=' and values no '"': two searches per attribute.
template <typename Take> void walkWrittenRow(QByteArrayView row, Take take)
{
    const char* p = row.data() + 4;
    const char* const end = row.data() + row.size();
    while (p < end && *p == ' ') {
        const char* const name = p + 1;
        const auto* equals = static_cast<const char*>(std::memchr(name, '=', end - name));
        if (!equals || end - equals < 2)
            return;
        const char* const value = equals + 2;
        const auto* close = static_cast<const char*>(std::memchr(value, '"', end - value));
        if (!close)
            return;
        if (take(QByteArrayView(name, equals - name), QByteArrayView(value, close - value)))
            return;
        p = close + 1;
    }
}
} // namespace

std::optional<QByteArrayView> writtenValue(QByteArrayView row, QByteArrayView name)
{
    std::optional<QByteArrayView> found;
    walkWrittenRow(row, [&](QByteArrayView n, QByteArrayView raw) {
        if (n == name)
            found = raw;
        return found.has_value();
    });
    return found;
}

void forEachWrittenValue(QByteArrayView row, const std::function<void(QByteArrayView, QByteArrayView)>& take)
{
    walkWrittenRow(row, [&](QByteArrayView n, QByteArrayView raw) {
        take(n, raw);
        return false;
    });
}

void decodeWrittenText(QByteArrayView raw, QString& into)
{
    if (!raw.contains('&') && isAscii(raw))
        into = QLatin1StringView(raw.data(), raw.size()); // keeps into's room
    else
        into = decodeWrittenText(raw);
}

QString decodeWrittenText(QByteArrayView raw)
{
    return StoredText::fromFile(raw, true, 0).text();
}

QDateTime decodeWrittenDateTime(QByteArrayView raw)
{
    return StoredDateTime::fromFile(raw).value();
}

int decodeWrittenInt(QByteArrayView raw)
{
    qint64 n = 0;
    parseStrictInt(raw, INT_MIN, INT_MAX, n);
    return int(n);
}

} // namespace datapacket
