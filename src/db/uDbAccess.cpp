#include "uDateText.h"
#include "uDbAccessSql.h"
#include "uDbBackends.h"
#include "uDbError.h"
#include "uDbHandles.h"
#include "uSqlNames.h"
#include "utils.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QtEndian>

#include <mdbtools.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

// Access files are read with libmdb and never written: a table's rows are copied into a
// private in-memory SQLite database the first time a statement names the table, so that
// every statement runs on SQLite's engine (joins of all kinds, ORDER BY, GROUP BY,
// subqueries) and a later statement on the same table costs no second read of the file.
namespace {

using MdbHandlePtr = CHandle<MdbHandle, mdb_close>;
using MdbTablePtr = CHandle<MdbTableDef, mdb_free_tabledef>;

// Access counts days from 1899-12-30; this is that day as QDate's Julian day.
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

// The SQL type each Access column gets in the copy: it decides SQLite's affinity and,
// through the declared type, the kind of field the rows report.
QString declaredType(const MdbColumn& col)
{
    switch (col.col_type) {
    case MDB_BOOL:
        return QStringLiteral("BOOLEAN");
    case MDB_BYTE:
        return QStringLiteral("TINYINT");
    case MDB_INT:
        return QStringLiteral("SMALLINT");
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return QStringLiteral("INTEGER");
    case MDB_MONEY:
        return QStringLiteral("CURRENCY");
    case MDB_FLOAT:
        return QStringLiteral("SINGLE");
    case MDB_DOUBLE:
        return QStringLiteral("DOUBLE");
    case MDB_DATETIME:
        return QStringLiteral("DATETIME");
    case MDB_BINARY:
        return QStringLiteral("VARBINARY(%1)").arg(col.col_size);
    case MDB_TEXT:
        // Access compares text without regard to case; so does the copy.
        return QStringLiteral("VARCHAR(%1) COLLATE NOCASE").arg(col.col_size);
    case MDB_MEMO:
        return QStringLiteral("TEXT COLLATE NOCASE");
    case MDB_OLE:
        return QStringLiteral("BLOB");
    case MDB_REPID:
        return QStringLiteral("GUID");
    case MDB_NUMERIC:
        return QStringLiteral("NUMERIC(%1,%2)").arg(col.col_prec).arg(col.col_scale);
    default:
        return QStringLiteral("BLOB");
    }
}

using dbbackends::sqliteQuoted;

// Reads one Access table into the SQLite copy, row by row, straight from the pages.
class TableLoader
{
public:
    TableLoader(MdbHandle* mdb, MdbTableDef* table, sqlite3* db) : m_mdb(mdb), m_table(table), m_db(db) {}

    // Returns, per column name, how many values could not be read (stored as null).
    std::map<QString, int> Load(sqlite3_stmt* insert)
    {
        std::map<QString, int> failures;
        const unsigned columns = m_table->num_cols;
        std::vector<MdbField> fields(columns);
        m_jet3 = m_mdb->f->jet_version == MDB_VER_JET3;
        mdb_rewind_table(m_table);
        while (mdb_read_next_dpg(m_table)) {
            const int rows = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset);
            for (int r = 0; r < rows; ++r) {
                int start = 0;
                size_t size = 0;
                if (mdb_find_row(m_mdb, r, &start, &size) == -1 || size == 0)
                    continue;
                if (start & 0x4000) // deleted
                    continue;
                start &= 0x1fff;
                if (mdb_crack_row(m_table, start, size, fields.data()) < 0)
                    continue;
                for (unsigned i = 0; i < columns; ++i) {
                    const MdbField& f = fields[i];
                    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, f.colnum));
                    if (!bind(insert, f.colnum + 1, *col, f))
                        ++failures[QString::fromUtf8(col->name)];
                }
                if (sqlite3_step(insert) != SQLITE_DONE)
                    throw EDbError(QString::fromUtf8(sqlite3_errmsg(m_db)));
                sqlite3_reset(insert);
                sqlite3_clear_bindings(insert);
            }
        }
        return failures;
    }

private:
    // Binds one value; false when it could not be read (then null is bound).
    bool bind(sqlite3_stmt* st, int param, const MdbColumn& col, const MdbField& f)
    {
        if (col.col_type == MDB_BOOL) { // the null bit holds the value
            sqlite3_bind_int(st, param, f.is_null ? 0 : -1);
            return true;
        }
        if (f.is_null)
            return true;
        // A damaged row can give a value that starts past the page or has a negative size
        // (its offsets decrease): nothing of it is read.
        if (f.start < 0 || f.siz < 0 || qint64(f.start) + f.siz > qint64(m_mdb->fmt->pg_size))
            return false;
        const unsigned char* p = m_mdb->pg_buf + f.start;
        const int n = f.siz;
        auto fixed = [&](int bytes) { return n >= bytes; };
        switch (col.col_type) {
        case MDB_BYTE:
            if (!fixed(1))
                return false;
            sqlite3_bind_int(st, param, p[0]);
            return true;
        case MDB_INT:
            if (!fixed(2))
                return false;
            sqlite3_bind_int(st, param, qFromLittleEndian<qint16>(p));
            return true;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            if (!fixed(4))
                return false;
            sqlite3_bind_int(st, param, qFromLittleEndian<qint32>(p));
            return true;
        case MDB_MONEY:
            // Ten-thousandths as an exact integer; as a double it reads back exactly for
            // any amount below 900 billion, which the rows turn into exact currency again.
            if (!fixed(8))
                return false;
            sqlite3_bind_double(st, param, double(qFromLittleEndian<qint64>(p)) / 10000.0);
            return true;
        case MDB_FLOAT:
            if (!fixed(4))
                return false;
            sqlite3_bind_double(st, param, double(qFromLittleEndian<float>(p)));
            return true;
        case MDB_DOUBLE:
            if (!fixed(8))
                return false;
            sqlite3_bind_double(st, param, qFromLittleEndian<double>(p));
            return true;
        case MDB_DATETIME: {
            qint64 day = 0;
            int ms = 0;
            if (!fixed(8) || !decodeDate(qFromLittleEndian<double>(p), day, ms))
                return false;
            const QByteArray text = AccessDateText(day, ms);
            sqlite3_bind_text(st, param, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            return true;
        }
        case MDB_TEXT:
            bindText(st, param, reinterpret_cast<const char*>(p), n);
            return true;
        case MDB_MEMO: {
            QByteArray bytes;
            if (!readLong(p, n, bytes))
                return false;
            bindText(st, param, bytes.constData(), bytes.size());
            return true;
        }
        case MDB_OLE: {
            QByteArray bytes;
            if (!readLong(p, n, bytes))
                return false;
            sqlite3_bind_blob(st, param, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            return true;
        }
        case MDB_BINARY:
            sqlite3_bind_blob(st, param, p, n, SQLITE_TRANSIENT);
            return true;
        case MDB_REPID: {
            if (!fixed(16))
                return false;
            // Braces around the usual 8-4-4-4-12 digits, as Access shows them.
            char* text = mdb_uuid_to_string_fmt(m_mdb->pg_buf, f.start, MDB_NOBRACES_4_2_2_2_6);
            const QByteArray guid = '{' + QByteArray(text) + '}';
            g_free(text);
            sqlite3_bind_text(st, param, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
            return true;
        }
        case MDB_NUMERIC: {
            if (!fixed(17))
                return false;
            char* text = mdb_numeric_to_string(m_mdb, f.start, col.col_scale, col.col_prec);
            if (!text)
                return false;
            sqlite3_bind_text(st, param, text, -1, SQLITE_TRANSIENT);
            g_free(text);
            return true;
        }
        default:
            return false;
        }
    }

    // Text as stored: Windows-1252 bytes in Jet 3 files, UTF-16 in later ones, where a
    // value starting FF FE is "compressed" (runs of one-byte characters, switched by 00).
    void bindText(sqlite3_stmt* st, int param, const char* p, qsizetype n)
    {
        if (m_jet3) {
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

    // A memo or OLE value: a 12-byte head (length and flags, then where the data is)
    // followed by the data itself, or pointing to one long-value page or a chain of them.
    bool readLong(const unsigned char* p, int size, QByteArray& out)
    {
        if (size < MDB_MEMO_OVERHEAD)
            return size == 0;
        const quint32 head = qFromLittleEndian<quint32>(p);
        const quint32 length = head & 0x3FFFFFFF;
        if (head & 0x80000000) { // in the row
            out = QByteArray(reinterpret_cast<const char*>(p) + MDB_MEMO_OVERHEAD, size - MDB_MEMO_OVERHEAD);
            return true;
        }
        qint32 pgRow = qFromLittleEndian<qint32>(p + 4);
        void* buf = nullptr;
        int start = 0;
        size_t len = 0;
        if (head & 0x40000000) { // one long-value page
            if (!findPiece(pgRow, buf, start, len))
                return false;
            out = QByteArray(static_cast<const char*>(buf) + start, qsizetype(len));
            return true;
        }
        if (head & 0xC0000000)
            return false;
        // The length comes from the file: a value cannot be longer than the file holds.
        if (qint64(length) > fileSize())
            return false;
        out.reserve(length);
        // A chain: each piece starts with the page and row of the next one. A piece seen
        // before means the chain loops; a damaged file must not keep the reader going.
        std::unordered_set<qint32> seen;
        while (pgRow != 0) {
            if (!seen.insert(pgRow).second || !findPiece(pgRow, buf, start, len) || len < 4)
                return false;
            const auto* piece = static_cast<const unsigned char*>(buf) + start;
            out.append(reinterpret_cast<const char*>(piece) + 4, qsizetype(len) - 4);
            pgRow = qFromLittleEndian<qint32>(piece);
            if (quint32(out.size()) >= length)
                break;
        }
        if (quint32(out.size()) < length)
            return false;
        out.truncate(length);
        return true;
    }

    // One piece of a long value, checked to lie inside its page.
    bool findPiece(qint32 pgRow, void*& buf, int& start, size_t& len)
    {
        if (mdb_find_pg_row(m_mdb, pgRow, &buf, &start, &len) != 0)
            return false;
        return start >= 0 && qint64(start) + qint64(len) <= qint64(m_mdb->fmt->pg_size);
    }

    qint64 fileSize()
    {
        if (m_fileSize < 0) {
            struct stat st {};
            m_fileSize = fstat(fileno(m_mdb->f->stream), &st) == 0 ? qint64(st.st_size) : 0;
        }
        return m_fileSize;
    }

    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    sqlite3* m_db;
    bool m_jet3 = false;
    qint64 m_fileSize = -1;
};

class AccessBackend : public TDbBackend
{
public:
    AccessBackend(const QString& file, MdbHandlePtr mdb, SqlitePtr db)
        : m_file(file), m_mdb(std::move(mdb)), m_db(std::move(db))
    {
        GPtrArray* catalog = mdb_read_catalog(m_mdb.get(), MDB_TABLE);
        if (!catalog)
            throw EDbError(QStringLiteral("The table list of \"%1\" cannot be read.").arg(m_file));
        for (guint i = 0; i < catalog->len; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
                m_tables.append(entry);
        }
        sqlite3_set_authorizer(m_db.get(), &AccessBackend::authorize, this);
    }

    TDbEngine Engine() const override { return TDbEngine::Access; }

    QStringList TableNames() override
    {
        QStringList names;
        for (MdbCatalogEntry* entry : m_tables)
            names << QString::fromUtf8(entry->object_name);
        return names;
    }

    QStringList FieldNames(const QString& table) override
    {
        MdbTablePtr def = readTable(table);
        QStringList names;
        for (guint i = 0; i < def->columns->len; ++i)
            names << QString::fromUtf8(static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i))->name);
        return names;
    }

    TDbRowsPtr Execute(const QString& sql) override
    {
        dbbackends::SqliteRunHooks hooks;
        hooks.mend = [this](const QString& message) { return loadMissingTable(message); };
        hooks.warning = [this]() { return takeWarning(); };
        m_reads.clear();
        m_refused = false;
        try {
            return dbbackends::runSqlite(m_db.get(), TranslateAccessSql(sql), hooks);
        } catch (const EDbError&) {
            if (m_refused)
                throw EDbError(QStringLiteral("The Access file \"%1\" is open read-only: only SELECT "
                                              "statements can be run on it.")
                                   .arg(m_file));
            throw;
        }
    }

    // Statements run on SQLite, so names are written as for SQLite.
    QString QuoteName(const QString& name) const override { return dbbackends::sqliteQuoteName(name); }

    // Bytes SQLite holds for the tables read so far, for the benchmark.
    static qint64 MemoryInUse() { return sqlite3_memory_used(); }

private:
    MdbCatalogEntry* findTable(const QString& name) const
    {
        for (MdbCatalogEntry* entry : m_tables)
            if (QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
                return entry;
        return nullptr;
    }

    MdbTablePtr readTable(const QString& name) const
    {
        MdbCatalogEntry* entry = findTable(name);
        if (!entry)
            throw EDbError(QStringLiteral("no such table: %1").arg(name));
        MdbTablePtr def(mdb_read_table(entry));
        if (!def || !mdb_read_columns(def.get()))
            throw EDbError(QStringLiteral("The table \"%1\" of \"%2\" cannot be read.").arg(name, m_file));
        return def;
    }

    // SQLite's "no such table: X" for an Access table not read yet: read it, so the
    // statement can be prepared again.
    bool loadMissingTable(const QString& message)
    {
        static const QString lead = QStringLiteral("no such table: ");
        if (!message.startsWith(lead))
            return false;
        QString name = message.mid(lead.size());
        if (name.startsWith(QLatin1String("main."), Qt::CaseInsensitive))
            name = name.mid(5);
        MdbCatalogEntry* entry = findTable(name);
        if (!entry || m_loaded.contains(QString::fromUtf8(entry->object_name)))
            return false;
        loadTable(QString::fromUtf8(entry->object_name));
        return true;
    }

    void exec(const QByteArray& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(m_db.get(), sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db.get()));
            sqlite3_free(error);
            throw EDbError(message);
        }
    }

    void loadTable(const QString& name)
    {
        MdbTablePtr def = readTable(name);
        QStringList columns, params;
        for (guint i = 0; i < def->columns->len; ++i) {
            const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
            columns << sqliteQuoted(QString::fromUtf8(col->name)) + QLatin1Char(' ') + declaredType(*col);
            params << QStringLiteral("?");
        }
        m_loading = true;
        struct Done
        {
            bool& flag;
            ~Done() { flag = false; }
        } done{m_loading};
        exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(sqliteQuoted(name), columns.join(QLatin1String(", "))).toUtf8());
        const QByteArray insert =
            QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(sqliteQuoted(name), params.join(QLatin1Char(','))).toUtf8();
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db.get(), insert.constData(), int(insert.size()), &raw, nullptr) != SQLITE_OK)
            throw EDbError(QString::fromUtf8(sqlite3_errmsg(m_db.get())));
        SqliteStatementPtr st(raw);
        exec("BEGIN");
        try {
            const auto failures = TableLoader(m_mdb.get(), def.get(), m_db.get()).Load(st.get());
            exec("COMMIT");
            for (const auto& [column, count] : failures)
                m_failures[name.toLower()][column.toLower()] = {name, column, count};
        } catch (...) {
            sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            st.reset();
            sqlite3_exec(m_db.get(), QStringLiteral("DROP TABLE IF EXISTS %1").arg(sqliteQuoted(name)).toUtf8().constData(),
                         nullptr, nullptr, nullptr);
            throw;
        }
        m_loaded.insert(name);
    }

    // The columns that the statement just prepared reads, with values that could not be
    // read, as one line for the rows.
    QString takeWarning()
    {
        QStringList parts;
        for (const auto& [table, column] : m_reads) {
            auto t = m_failures.find(table);
            if (t == m_failures.end())
                continue;
            auto c = t->second.find(column);
            if (c == t->second.end())
                continue;
            parts << QStringLiteral("%1.%2 (%3)").arg(c->second.table, c->second.column).arg(c->second.count);
        }
        m_reads.clear();
        if (parts.isEmpty())
            return {};
        parts.removeDuplicates();
        return QStringLiteral("Some values could not be read from the Access file and are shown empty: %1.")
            .arg(parts.join(QLatin1String(", ")));
    }

    // Only reading statements run: the copy must not drift from the file, and a change
    // that reached only the copy would be reported as done without being done. Reads
    // are noted for the warning of the statement.
    static int authorize(void* self, int action, const char* a, const char* b, const char*, const char*)
    {
        auto* backend = static_cast<AccessBackend*>(self);
        if (backend->m_loading)
            return SQLITE_OK;
        switch (action) {
        case SQLITE_SELECT:
        case SQLITE_FUNCTION:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        case SQLITE_READ:
            if (a && b)
                backend->m_reads.emplace(QString::fromUtf8(a).toLower(), QString::fromUtf8(b).toLower());
            return SQLITE_OK;
        default:
            backend->m_refused = true;
            return SQLITE_DENY;
        }
    }

    struct Failure
    {
        QString table;
        QString column;
        int count = 0;
    };

    QString m_file;
    MdbHandlePtr m_mdb;
    SqlitePtr m_db;
    QList<MdbCatalogEntry*> m_tables; // user tables, in the file's order
    QSet<QString> m_loaded;
    // Per table and column (lower case): values that could not be read.
    std::map<QString, std::map<QString, Failure>> m_failures;
    std::set<std::pair<QString, QString>> m_reads;
    bool m_loading = false;
    bool m_refused = false;
};

} // namespace

namespace dbbackends {

bool isAccessFile(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(32);
    return head.size() >= 19 && head.startsWith(QByteArray("\0\1\0\0", 4)) &&
           (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
}

std::unique_ptr<TDbBackend> openAccess(const QString& file)
{
    if (!QFileInfo(file).isFile())
        throw EDbError(QStringLiteral("Could not find file \"%1\".").arg(file));
    if (!QFileInfo(file).isReadable())
        throw EDbError(QStringLiteral("The file \"%1\" cannot be read: permission denied.").arg(file));
    if (!isAccessFile(file))
        throw EDbError(QStringLiteral("%1: the file is not an Access or SQLite database.").arg(file));
    MdbHandlePtr mdb(mdb_open(QFile::encodeName(file).constData(), MDB_NOFLAGS));
    if (!mdb)
        throw EDbError(QStringLiteral("\"%1\" cannot be read as an Access database.").arg(file));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    SqlitePtr db(raw);
    if (rc != SQLITE_OK)
        throw EDbError(QStringLiteral("out of memory"));
    return std::make_unique<AccessBackend>(file, std::move(mdb), std::move(db));
}

} // namespace dbbackends
