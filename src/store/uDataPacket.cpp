#include "uDataPacket.h"

#include "utils.h"

#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

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

bool parseStrictInt(QStringView text, qint64 low, qint64 high, qint64& value)
{
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == u'-';
    if (negative)
        ++i;
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
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

QByteArray encodeText(const QString& text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size() + 16);
    appendEscaped(out, utf8.constData(), utf8.size());
    return out;
}

QByteArray encodeDateTime(const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    char buf[40];
    if (t == QTime(0, 0))
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
    else
        std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d:%02d:%05d", d.year(), d.month(), d.day(), t.hour(),
                      t.minute(), t.second() * 1000 + t.msec());
    return QByteArray(buf);
}

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
    m_rows.append("<ROW");
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
        m_rows.append(m_prefixes[m_column]);
}

void PacketWriter::intValue(int value)
{
    next(FieldType::I4, false);
    m_rows.append(QByteArray::number(value));
    m_rows.append('"');
    ++m_column;
}

void PacketWriter::stringValue(const QString& value)
{
    next(FieldType::String, false);
    const QByteArray utf8 = value.toUtf8();
    m_longest[m_column] = int(std::max<qsizetype>(m_longest[m_column], utf8.size()));
    appendEscaped(m_rows, utf8.constData(), utf8.size());
    m_rows.append('"');
    ++m_column;
}

void PacketWriter::dateTimeValue(const QDateTime& value)
{
    if (!value.isValid()) {
        nullValue();
        return;
    }
    next(FieldType::DateTime, false);
    m_rows.append(encodeDateTime(value));
    m_rows.append('"');
    ++m_column;
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
    m_rows.append(' ');
    m_rows.append(name);
    m_rows.append("=\"");
    const QByteArray utf8 = value.toUtf8();
    appendEscaped(m_rows, utf8.constData(), utf8.size());
    m_rows.append('"');
}

void PacketWriter::endRow()
{
    if (m_column != m_columns.size())
        throw std::logic_error("PacketWriter: row ended before its last column");
    m_rows.append("/>");
    m_column = -1;
}

QByteArray PacketWriter::finish()
{
    if (m_column != -1)
        throw std::logic_error("PacketWriter: row not ended");
    QByteArray out;
    out.reserve(m_rows.size() + 200 + 80 * m_columns.size());
    out.append("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        const Column& c = m_columns[i];
        out.append("<FIELD attrname=\"");
        out.append(encodeText(c.name));
        out.append("\" fieldtype=\"");
        out.append(typeName(c.type));
        out.append('"');
        if (c.required)
            out.append(" required=\"true\"");
        if (c.type == FieldType::String) {
            out.append(" WIDTH=\"");
            out.append(QByteArray::number(std::max(c.width, m_longest[i])));
            out.append('"');
        }
        out.append("/>");
    }
    out.append("</FIELDS><PARAMS/></METADATA><ROWDATA>");
    out.append(m_rows);
    out.append("</ROWDATA></DATAPACKET>");
    m_rows.clear();
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

// columns, when given, are checked against the METADATA before any row is read, so a
// file of another table is reported as such rather than by its first odd row.
Packet parse(const QByteArray& data, const QList<Column>* columns, QList<qsizetype>* fieldOf)
{
    Lexer lexer(data);
    lexer.readHeader();

    Tag t;
    lexer.readTag(t);
    if (!t.is("DATAPACKET"))
        lexer.fail(QStringLiteral("The file is not a data packet: %1 stands where <DATAPACKET> belongs")
                       .arg(t.printable()),
                   t.offset);
    if (t.empty)
        lexer.fail(QStringLiteral("The data packet is empty"), t.offset);

    Packet packet;
    // Each field's attrname as the ROW attributes spell it, to its index: one hash look-up
    // per attribute, so that a header of many thousand fields costs no quadratic time.
    QHash<QByteArray, qsizetype> fieldIndex;
    // The same without regard to case: a table's fields are matched that way (matchColumns),
    // so the values in its rows are too.
    QHash<QByteArray, qsizetype> foldedIndex;
    QList<QByteArray> rawNames;
    std::optional<QString> changeLog;
    qsizetype paramsOffset = t.offset;

    lexer.readTag(t);
    if (!t.is("METADATA"))
        lexer.fail(QStringLiteral("Expected <METADATA> but found %1").arg(t.printable()), t.offset);
    bool haveFields = false;
    if (!t.empty) {
        for (lexer.readTag(t); !t.is("METADATA", true); lexer.readTag(t)) {
            if (t.is("FIELDS") && !haveFields) {
                haveFields = true;
                if (t.empty)
                    continue;
                for (lexer.readTag(t); !t.is("FIELDS", true); lexer.readTag(t)) {
                    if (!t.is("FIELD"))
                        lexer.fail(QStringLiteral("Unexpected %1 inside <FIELDS>").arg(t.printable()),
                                   t.offset);
                    Field f;
                    bool named = false, typed = false;
                    QByteArray rawName;
                    for (const Attr& a : t.attrs) {
                        if (a.name == "attrname") {
                            f.name = attrText(lexer, t, a);
                            rawName = a.value.toByteArray();
                            named = true;
                        } else if (a.name == "fieldtype") {
                            f.type = attrText(lexer, t, a);
                            typed = true;
                        } else if (a.name == "WIDTH") {
                            qint64 w = 0;
                            if (!parseStrictInt(attrText(lexer, t, a), 0, INT_MAX, w))
                                lexer.fail(QStringLiteral("A field has an invalid WIDTH"), t.offset);
                            f.width = int(w);
                        } else if (a.name == "required") {
                            f.required = attrText(lexer, t, a).compare(u"true", Qt::CaseInsensitive) == 0;
                        }
                    }
                    if (!named || !typed)
                        lexer.fail(QStringLiteral("A field lacks its attrname or fieldtype"), t.offset);
                    if (!t.empty) {
                        lexer.readTag(t);
                        if (!t.is("FIELD", true))
                            lexer.fail(QStringLiteral(
                                           "The field \"%1\" holds nested fields, which are not supported")
                                           .arg(f.name),
                                       t.offset);
                    }
                    if (fieldIndex.contains(rawName))
                        lexer.fail(QStringLiteral("The field \"%1\" is listed twice").arg(f.name), t.offset);
                    fieldIndex.insert(rawName, packet.fields.size());
                    if (!foldedIndex.contains(rawName.toLower()))
                        foldedIndex.insert(rawName.toLower(), packet.fields.size());
                    rawNames.append(rawName);
                    packet.fields.append(f);
                }
            } else if (t.is("PARAMS")) {
                paramsOffset = t.offset;
                for (const Attr& a : t.attrs)
                    if (a.name == "CHANGE_LOG")
                        changeLog = attrText(lexer, t, a);
                closeEmpty(lexer, t, "PARAMS");
            } else {
                lexer.fail(QStringLiteral("Unexpected %1 inside <METADATA>").arg(t.printable()), t.offset);
            }
        }
    }
    if (!haveFields)
        lexer.fail(QStringLiteral("The data packet lists no fields"), t.offset);
    if (columns)
        *fieldOf = matchColumns(packet.fields, *columns);

    lexer.readTag(t);
    if (!t.is("ROWDATA"))
        lexer.fail(QStringLiteral("Expected <ROWDATA> but found %1").arg(t.printable()), t.offset);
    QList<int> states;
    if (!t.empty) {
        const qsizetype fieldCount = packet.fields.size();
        for (lexer.readTag(t); !t.is("ROWDATA", true); lexer.readTag(t)) {
            if (!t.is("ROW"))
                lexer.fail(QStringLiteral("Unexpected %1 inside <ROWDATA>").arg(t.printable()), t.offset);
            PacketRow row;
            row.number = int(packet.rows.size() + 1);
            row.values.resize(fieldCount);
            int state = 0;
            qsizetype next = 0;
            QSet<QByteArray> extraNames; // a hash, so a row of many unknown attributes stays linear
            for (const Attr& a : t.attrs) {
                if (a.name == "RowState") {
                    qint64 s = 0;
                    if (!parseStrictInt(attrText(lexer, t, a), 0, INT_MAX, s) ||
                        (s & ~qint64(kKnownRowStates)))
                        lexer.fail(
                            QStringLiteral("Row %1 has a RowState this reader does not know").arg(row.number),
                            t.offset);
                    state = int(s);
                    continue;
                }
                // Attributes come in field order as a rule: try the next field first.
                qsizetype f = next < fieldCount && rawNames[next] == a.name
                                  ? next
                                  : fieldIndex.value(a.name.toByteArray(), fieldCount);
                if (f == fieldCount && columns)
                    f = foldedIndex.value(a.name.toByteArray().toLower(), fieldCount);
                if (f == fieldCount) {
                    // No field names it: keep it for writing back rather than refuse the file.
                    const QByteArray name = a.name.toByteArray();
                    if (extraNames.contains(name))
                        lexer.fail(QStringLiteral("Row %1 has two values \"%2\"")
                                       .arg(row.number)
                                       .arg(decodeText(a.name.data(), a.name.size())),
                                   t.offset);
                    QString text, error;
                    if (!decodeValue(a.value, text, error))
                        lexer.fail(QStringLiteral("Row %1: the value \"%2\" cannot be decoded: %3")
                                       .arg(row.number)
                                       .arg(decodeText(a.name.data(), a.name.size()), error),
                                   t.offset);
                    extraNames.insert(name);
                    row.extras.append({name, std::move(text)});
                    continue;
                }
                next = f + 1;
                if (row.values[f])
                    lexer.fail(QStringLiteral("Row %1 has two values for the field \"%2\"")
                                   .arg(row.number)
                                   .arg(packet.fields[f].name),
                               t.offset);
                QString text, error;
                if (!decodeValue(a.value, text, error))
                    lexer.fail(QStringLiteral("Row %1: the value of the field \"%2\" cannot be decoded: %3")
                                   .arg(row.number)
                                   .arg(packet.fields[f].name, error),
                               t.offset);
                row.values[f] = std::move(text);
            }
            closeEmpty(lexer, t, "ROW");
            packet.rows.append(std::move(row));
            states.append(state);
        }
    }

    lexer.readTag(t);
    if (!t.is("DATAPACKET", true))
        lexer.fail(QStringLiteral("Expected </DATAPACKET> but found %1").arg(t.printable()), t.offset);
    if (!lexer.atEnd())
        lexer.fail(QStringLiteral("Unexpected text after </DATAPACKET>"), lexer.pos());

    applyChangeLog(lexer, packet, states, changeLog, paramsOffset);
    return packet;
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

bool decodeDateTime(const QString& s, QDateTime& out)
{
    if (s.size() != 8 && s.size() != 20)
        return false;
    auto digits = [&](int from, int count, int& value) {
        value = 0;
        for (int i = from; i < from + count; ++i) {
            const char16_t c = s[i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            value = value * 10 + (c - u'0');
        }
        return true;
    };
    int y, mo, d;
    if (!digits(0, 4, y) || !digits(4, 2, mo) || !digits(6, 2, d))
        return false;
    const QDate date(y, mo, d);
    if (!date.isValid())
        return false;
    QTime time(0, 0);
    if (s.size() == 20) {
        int h, mi, ms;
        if (s[8] != u'T' || s[11] != u':' || s[14] != u':' || !digits(9, 2, h) || !digits(12, 2, mi) ||
            !digits(15, 5, ms) || h > 23 || mi > 59 || ms > 59999)
            return false;
        time = QTime(h, mi, ms / 1000, ms % 1000);
    }
    out = QDateTime(date, time);
    // A wall-clock time that the local zone skips (a daylight-saving gap: a file from
    // another zone) is no valid local time; keep it as written instead of losing it.
    if (!out.isValid())
        out = QDateTime(date, time, Qt::UTC);
    return true;
}

} // namespace

Packet parsePacket(const QByteArray& data)
{
    return parse(data, nullptr, nullptr);
}

QList<Row> readPacket(const QByteArray& data, const QList<Column>& columns, QList<Extras>* extras)
{
    QList<qsizetype> fieldOf;
    const Packet packet = parse(data, &columns, &fieldOf);

    QList<Row> rows;
    rows.reserve(packet.rows.size());
    for (const PacketRow& pr : std::as_const(packet.rows)) {
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
                ok = decodeDateTime(*v, dt);
                row[c] = dt;
                break;
            }
            }
            if (!ok)
                throw EStoreError(
                    QStringLiteral("Row %1: \"%2\" is not a valid %3 value for the field \"%4\"")
                        .arg(pr.number)
                        .arg(*v, QLatin1String(typeName(columns[c].type)), columns[c].name));
        }
        rows.append(std::move(row));
        if (extras)
            extras->append(pr.extras);
    }
    return rows;
}

} // namespace datapacket
