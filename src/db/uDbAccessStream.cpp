#include "uDbAccessStream.h"

#include "uDateText.h"
#include "uDbAccessSql.h"
#include "uDbBackends.h"
#include "uDbSqliteLibrary.h"
#include "utils.h"

#include <QtEndian>


#include <cmath>

using namespace accessreader;

void TAccessFrameSplitter::Feed(const char* data, qsizetype size)
{
    m_buf.append(data, size);
    qsizetype at = 0;
    while (m_buf.size() - at >= 5) {
        const quint32 length = qFromLittleEndian<quint32>(m_buf.constData() + at + 1);
        if (length > kMaxFrameBytes)
            throw EAccessAnswerMalformed(QStringLiteral("a frame of %1 bytes").arg(length));
        if (m_buf.size() - at - 5 < qsizetype(length))
            break;
        m_onFrame(m_buf[at], m_buf.constData() + at + 5, length);
        at += 5 + qsizetype(length);
    }
    m_buf.remove(0, at);
}

namespace {

// Reads a frame's payload front to back; running past its end means a malformed answer.
class Cursor
{
public:
    Cursor(const char* p, quint32 size) : m_p(p), m_end(p + size) {}

    const char* take(quint32 n)
    {
        if (quint32(m_end - m_p) < n)
            throw EAccessAnswerMalformed(QStringLiteral("a value past the end of its frame"));
        const char* at = m_p;
        m_p += n;
        return at;
    }
    quint8 u8() { return quint8(*take(1)); }
    quint32 u32() { return qFromLittleEndian<quint32>(take(4)); }
    qint64 i64() { return qFromLittleEndian<qint64>(take(8)); }
    double f64() { return qFromLittleEndian<double>(take(8)); }
    QByteArrayView bytes()
    {
        const quint32 n = u32();
        return QByteArrayView(take(n), n);
    }
    bool atEnd() const { return m_p == m_end; }

private:
    const char* m_p;
    const char* m_end;
};

// Access counts days from the common day zero, 1899-12-30.
constexpr qint64 kAccessDayZero = kJulianDayZero;
// The years Access itself takes: 100 to 9999.
constexpr qint64 kFirstDay = 1757585; // 100-01-01
constexpr qint64 kLastDay = 5373484;  // 9999-12-31

// A stored date/time as a calendar day and a time of day. The whole part of the number
// counts days (negative before 1899-12-30) and the fraction is the time of day whatever
// the sign, so -1.25 is 1899-12-29 06:00. False when it is no date Access can hold.
bool decodeDate(double value, qint64& julianDay, int& msecs)
{
    if (!std::isfinite(value) || std::fabs(value) > 1e7)
        return false;
    const double whole = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - whole) * double(kMsecsPerDay));
    julianDay = kAccessDayZero + qint64(whole);
    if (ms >= kMsecsPerDay) { // rounded up to the next midnight
        ms -= kMsecsPerDay;
        ++julianDay;
    }
    msecs = int(ms);
    return julianDay >= kFirstDay && julianDay <= kLastDay;
}

bool isAscii(const char* p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    return true;
}

// Text as stored: Windows-1252 bytes in Jet 3 files, UTF-16 in later ones, where a
// value starting FF FE is "compressed" (runs of one-byte characters, switched by 00).
void bindText(sqlite3_stmt* st, int param, bool windows1252, const char* p, qsizetype n)
{
    if (windows1252) {
        if (isAscii(p, n)) {
            sqlite3_bind_text(st, param, p, int(n), SQLITE_TRANSIENT);
            return;
        }
        const QByteArray utf8 = DecodeWindows1252(p, n).toUtf8();
        sqlite3_bind_text(st, param, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return;
    }
    QString text;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (n >= 2 && u[0] == 0xFF && u[1] == 0xFE) {
        text.reserve(n);
        bool compressed = true;
        for (qsizetype i = 2; i < n;) {
            if (u[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.append(QChar(u[i]));
                ++i;
            } else if (i + 1 < n) {
                text.append(QChar(char16_t(u[i] | (u[i + 1] << 8))));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        text.resize(n / 2);
        for (qsizetype i = 0; i < n / 2; ++i)
            text[i] = QChar(char16_t(u[2 * i] | (u[2 * i + 1] << 8)));
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(st, param, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// The SQL type each Access column gets in the copy: it decides SQLite's affinity and,
// through the declared type, the kind of field the rows report.
QString declaredType(const TAccessColumn& col)
{
    switch (col.kind) {
    case KindBool:
        return QStringLiteral("BOOLEAN");
    case KindByte:
        return QStringLiteral("TINYINT");
    case KindInt:
        return QStringLiteral("SMALLINT");
    case KindLong:
    case KindComplex:
        return QStringLiteral("INTEGER");
    case KindMoney:
        return QStringLiteral("CURRENCY");
    case KindFloat:
        return QStringLiteral("SINGLE");
    case KindDouble:
        return QStringLiteral("DOUBLE");
    case KindDateTime:
        return QStringLiteral("DATETIME");
    case KindBinary:
        return QStringLiteral("VARBINARY(%1)").arg(col.size);
    case KindText:
        // Access compares text without regard to case; so does the copy.
        return QStringLiteral("VARCHAR(%1) COLLATE NOCASE").arg(col.size);
    case KindMemo:
        return QStringLiteral("TEXT COLLATE NOCASE");
    case KindGuid:
        return QStringLiteral("GUID");
    case KindNumeric:
        return QStringLiteral("NUMERIC(%1,%2)").arg(col.precision).arg(col.scale);
    default:
        return QStringLiteral("BLOB");
    }
}

} // namespace

QString ParseAccessTableName(const char* payload, quint32 size)
{
    Cursor c(payload, size);
    const QByteArrayView name = c.bytes();
    if (!c.atEnd() || name.isEmpty())
        throw EAccessAnswerMalformed(QStringLiteral("a table name"));
    return QString::fromUtf8(name);
}

TAccessTableHead ParseAccessHead(const char* payload, quint32 size)
{
    Cursor c(payload, size);
    TAccessTableHead head;
    head.windows1252 = c.u8() != 0;
    const quint32 count = c.u32();
    // Each column takes at least 11 bytes: a count past that is no count.
    if (count == 0 || count > size / 11)
        throw EAccessAnswerMalformed(QStringLiteral("a column count"));
    for (quint32 i = 0; i < count; ++i) {
        TAccessColumn col;
        const quint8 kind = c.u8();
        col.kind = kind >= KindBool && kind <= KindOther ? TAccessColumnKind(kind) : KindOther;
        col.size = c.u32();
        col.precision = c.u8();
        col.scale = c.u8();
        col.name = QString::fromUtf8(c.bytes());
        head.columns << col;
    }
    if (!c.atEnd())
        throw EAccessAnswerMalformed(QStringLiteral("a column list"));
    return head;
}

TAccessTableFill::~TAccessTableFill()
{
    sqlite3_finalize(m_insert);
    if (m_begun && !m_committed)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void TAccessTableFill::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw EDbError(message);
    }
}

void TAccessTableFill::Frame(char kind, const char* payload, quint32 size)
{
    if (m_ended)
        throw EAccessAnswerMalformed(QStringLiteral("a frame after the end"));
    switch (kind) {
    case FrameHead:
        if (m_begun)
            throw EAccessAnswerMalformed(QStringLiteral("a second column list"));
        begin(ParseAccessHead(payload, size));
        break;
    case FrameRow:
        if (!m_begun)
            throw EAccessAnswerMalformed(QStringLiteral("a row before the columns"));
        row(payload, size);
        break;
    case FrameEnd:
        if (!m_begun || size != 0)
            throw EAccessAnswerMalformed(QStringLiteral("an early end"));
        m_ended = true;
        break;
    default:
        throw EAccessAnswerMalformed(QStringLiteral("a frame of kind %1").arg(int(kind)));
    }
}

void TAccessTableFill::begin(const TAccessTableHead& head)
{
    m_head = head;
    QStringList columns, params;
    for (const TAccessColumn& col : head.columns) {
        columns << dbbackends::sqliteQuoted(col.name) + QLatin1Char(' ') + declaredType(col);
        params << QStringLiteral("?");
    }
    const QString table = dbbackends::sqliteQuoted(m_table);
    exec("BEGIN");
    m_begun = true;
    exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns.join(QLatin1String(", "))).toUtf8().constData());
    const QByteArray insert = QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, params.join(QLatin1Char(','))).toUtf8();
    if (sqlite3_prepare_v2(m_db, insert.constData(), int(insert.size()), &m_insert, nullptr) != SQLITE_OK)
        throw EDbError(QString::fromUtf8(sqlite3_errmsg(m_db)));
    m_failures.assign(size_t(head.columns.size()), 0);
}

void TAccessTableFill::row(const char* payload, quint32 size)
{
    Cursor c(payload, size);
    const int columns = int(m_head.columns.size());
    for (int i = 0; i < columns; ++i) {
        const int param = i + 1;
        switch (c.u8()) {
        case ValueNull:
            break;
        case ValueInt:
            sqlite3_bind_int64(m_insert, param, c.i64());
            break;
        case ValueDouble:
            sqlite3_bind_double(m_insert, param, c.f64());
            break;
        case ValueDate: {
            qint64 day = 0;
            int ms = 0;
            if (!decodeDate(c.f64(), day, ms)) {
                ++m_failures[size_t(i)];
                break;
            }
            const QByteArray text = AccessDateText(day, ms);
            sqlite3_bind_text(m_insert, param, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueRawText: {
            const QByteArrayView b = c.bytes();
            bindText(m_insert, param, m_head.windows1252, b.data(), b.size());
            break;
        }
        case ValueUtf8: {
            const QByteArrayView b = c.bytes();
            sqlite3_bind_text(m_insert, param, b.data(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueBlob: {
            const QByteArrayView b = c.bytes();
            sqlite3_bind_blob(m_insert, param, b.data(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueUnreadable:
            ++m_failures[size_t(i)];
            break;
        default:
            throw EAccessAnswerMalformed(QStringLiteral("a value of an unknown kind"));
        }
    }
    if (!c.atEnd())
        throw EAccessAnswerMalformed(QStringLiteral("a row longer than its columns"));
    if (sqlite3_step(m_insert) != SQLITE_DONE)
        throw EDbError(QString::fromUtf8(sqlite3_errmsg(m_db)));
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
}

std::map<QString, int> TAccessTableFill::Commit()
{
    if (!m_ended)
        throw EAccessAnswerMalformed(QStringLiteral("no end"));
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    exec("COMMIT");
    m_committed = true;
    std::map<QString, int> failures;
    for (qsizetype i = 0; i < m_head.columns.size(); ++i)
        if (m_failures[size_t(i)])
            failures[m_head.columns[i].name] = m_failures[size_t(i)];
    return failures;
}
