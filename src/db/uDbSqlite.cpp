#include "uDbBackends.h"
#include "uDbError.h"
#include "uDbFetch.h"
#include "uDbHandles.h"
#include "uSqlNames.h"

#include <QFile>
#include <QFileInfo>


namespace {

QString sqliteError(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The field kind for a declared column type, following SQLite's own affinity rules for
// the names it does not know, so that "INT", "BIGINT" and "UNSIGNED BIG INT" all read
// as integers. The storage class decides for expressions (no declared type).
TDbFieldType kindOfDeclared(const QByteArray& declared, int storageClass, int& size)
{
    size = 0;
    const QByteArray t = declared.trimmed().toUpper();
    if (t.isEmpty()) {
        switch (storageClass) {
        case SQLITE_INTEGER:
            return TDbFieldType::Integer;
        case SQLITE_FLOAT:
            return TDbFieldType::Float;
        case SQLITE_BLOB:
            return TDbFieldType::Blob;
        default:
            return TDbFieldType::String;
        }
    }
    qsizetype open = t.indexOf('(');
    if (open > 0) {
        bool ok = false;
        int n = t.mid(open + 1, t.indexOf(')', open) - open - 1).split(',').value(0).trimmed().toInt(&ok);
        if (ok)
            size = n;
    }
    const QByteArray base = (open > 0 ? t.left(open) : t).trimmed();
    if (base.contains("BOOL") || base == "BIT")
        return TDbFieldType::Boolean;
    if (base.contains("DATETIME") || base.contains("TIMESTAMP"))
        return TDbFieldType::DateTime;
    if (base.startsWith("DATE"))
        return TDbFieldType::Date;
    if (base.startsWith("TIME"))
        return TDbFieldType::Time;
    if (base.contains("INT"))
        return TDbFieldType::Integer;
    if (base.startsWith("NCHAR") || base.startsWith("NVARCHAR") || base.contains("NATIVE CHARACTER") ||
        base.contains("NATIONAL") || base == "NTEXT")
        return TDbFieldType::WideString;
    if (base == "CHAR" || base == "CHARACTER")
        return TDbFieldType::FixedString;
    if (base.contains("CHAR"))
        return TDbFieldType::String;
    if (base.contains("CLOB") || base.contains("TEXT"))
        return TDbFieldType::Memo;
    if (base.contains("BLOB") || base.contains("BINARY") || base.contains("IMAGE"))
        return TDbFieldType::Blob;
    if (base == "SINGLE" || base == "FLOAT4")
        return TDbFieldType::Single;
    if (base.contains("REAL") || base.contains("FLOA") || base.contains("DOUB"))
        return TDbFieldType::Float;
    if (base.contains("MONEY") || base.contains("CURRENCY"))
        return TDbFieldType::Currency;
    if (base.contains("NUMERIC") || base.contains("DECIMAL") || base.contains("NUMBER"))
        return TDbFieldType::BCD;
    return TDbFieldType::String;
}

TDbRowsPtr runStatement(sqlite3* db, sqlite3_stmt* st, const QString& warning)
{
    const int columns = sqlite3_column_count(st);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw EDbError(sqliteError(db));
    QList<TDbField> fields;
    for (int i = 0; i < columns; ++i) {
        TDbField f;
        f.name = QString::fromUtf8(sqlite3_column_name(st, i));
        f.displayName = f.name;
        const char* decl = sqlite3_column_decltype(st, i);
        f.declaredType = QString::fromUtf8(decl ? decl : "");
        f.type = kindOfDeclared(QByteArray(decl ? decl : ""),
                                rc == SQLITE_ROW ? sqlite3_column_type(st, i) : SQLITE_NULL, f.size);
        fields << f;
    }
    TDbRowsBuilder b(fields);
    b.SetWarning(warning);
    while (rc == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i) {
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_NULL:
                b.AppendNull();
                break;
            case SQLITE_INTEGER:
                b.AppendInteger(sqlite3_column_int64(st, i));
                break;
            case SQLITE_FLOAT:
                b.AppendFloat(sqlite3_column_double(st, i));
                break;
            case SQLITE_BLOB: {
                const void* p = sqlite3_column_blob(st, i);
                int n = sqlite3_column_bytes(st, i);
                b.AppendText(static_cast<const char*>(p), n);
                break;
            }
            default: {
                const unsigned char* p = sqlite3_column_text(st, i);
                int n = sqlite3_column_bytes(st, i);
                b.AppendText(reinterpret_cast<const char*>(p), n);
                break;
            }
            }
        }
        rc = sqlite3_step(st);
    }
    if (rc != SQLITE_DONE)
        throw EDbError(sqliteError(db));
    return b.Finish();
}

class SqliteBackend : public TDbBackend
{
public:
    explicit SqliteBackend(SqlitePtr db) : m_owner(std::move(db)), m_db(m_owner.get()) {}

    TDbEngine Engine() const override { return TDbEngine::SQLite; }

    QStringList TableNames() override
    {
        QStringList out;
        auto rows = Execute(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name NOT LIKE 'sqlite\\_%' "
            "ESCAPE '\\' ORDER BY type, name COLLATE NOCASE"));
        for (qsizetype r = 0; r < rows->RowCount(); ++r)
            out << rows->AsString(r, 0);
        return out;
    }

    QStringList FieldNames(const QString& table) override
    {
        // Preparing a query of the table gives SQLite's own "no such table" text and the
        // columns in their order, for tables and views alike.
        QByteArray sql = "SELECT * FROM " + dbbackends::sqliteQuoted(table).toUtf8();
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK)
            throw EDbError(sqliteError(m_db));
        const SqliteStatementPtr st(raw);
        QStringList out;
        for (int i = 0; i < sqlite3_column_count(raw); ++i)
            out << QString::fromUtf8(sqlite3_column_name(raw, i));
        return out;
    }

    TDbRowsPtr Execute(const QString& sqlText) override { return dbbackends::runSqlite(m_db, sqlText); }

    QString QuoteName(const QString& name) const override { return dbbackends::sqliteQuoteName(name); }

    void Cancel() override { sqlite3_interrupt(m_db); }

private:
    SqlitePtr m_owner;
    sqlite3* m_db;
};

} // namespace

namespace dbbackends {

QString sqliteQuoted(const QString& name)
{
    QString n = name;
    n.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

QString sqliteQuoteName(const QString& name)
{
    if (IsPlainSqlName(name) && !IsSqlReservedWord(name)) {
        const QByteArray word = name.toLatin1();
        if (!sqlite3_keyword_check(word.constData(), int(word.size())))
            return name;
    }
    if (name.contains(QLatin1Char(']')))
        return sqliteQuoted(name);
    return BracketSqlName(name);
}

TDbRowsPtr runSqlite(sqlite3* db, const QString& sqlText, const SqliteRunHooks& hooks)
{
    // A cancel that came before a statement started (sqlite3_interrupt only stops running
    // ones) is seen here, every few thousand steps of the engine.
    sqlite3_progress_handler(
        db, 4096, [](void*) { return dbfetch::cancelRequested() ? 1 : 0; }, nullptr);
    const QByteArray sql = sqlText.toUtf8();
    const char* tail = sql.constData();
    const char* end = tail + sql.size();
    TDbRowsPtr result;
    while (tail < end) {
        sqlite3_stmt* raw = nullptr;
        const char* next = nullptr;
        while (sqlite3_prepare_v2(db, tail, int(end - tail), &raw, &next) != SQLITE_OK) {
            const QString message = sqliteError(db);
            if (!hooks.mend || !hooks.mend(message))
                throw EDbError(message);
        }
        tail = next;
        if (!raw)
            continue; // blanks or a comment
        const SqliteStatementPtr st(raw);
        TDbRowsPtr rows = runStatement(db, raw, hooks.warning ? hooks.warning() : QString());
        if (rows->FieldCount() > 0 || !result)
            result = rows;
    }
    // The pages read stay cached by the connection (up to 2 MB) for as long as it is open,
    // beside rows that hold their values already; the system's file cache keeps them too.
    sqlite3_db_release_memory(db);
    if (!result)
        result = TDbRowsBuilder({}).Finish();
    return result;
}

bool isSqliteFile(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

std::unique_ptr<TDbBackend> openSqlite(const QString& file)
{
    if (file.isEmpty())
        throw EDbError(QStringLiteral("No database file was named (\"Data Source\" is empty)."));
    sqlite3* raw = nullptr;
    // Never create a database by mistake: a file that is not there is an error.
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    SqlitePtr db(raw);
    if (rc != SQLITE_OK) {
        QString message = raw ? sqliteError(raw) : QStringLiteral("out of memory");
        if (!QFileInfo::exists(file))
            message += QStringLiteral(": ") + file;
        throw EDbError(message);
    }
    sqlite3_extended_result_codes(raw, 0);
    sqlite3_busy_timeout(raw, 5000);
    // Opening is lazy: reading the schema shows at once whether the file is a database.
    char* err = nullptr;
    if (sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &err) != SQLITE_OK) {
        const CHandle<char, freeSqlite> text(err);
        throw EDbError(QString::fromUtf8(err ? err : sqlite3_errmsg(raw)));
    }
    return std::make_unique<SqliteBackend>(std::move(db));
}

} // namespace dbbackends
