#include "uDbBackends.h"
#include "uDbError.h"
#include "uDbHandles.h"
#include "uDbOdbcLibrary.h"
#include "uSqlNames.h"

#include <QSet>

#include <cstring>
#include <mutex>
#include <vector>

// ODBC through the narrow (ANSI) entry points: some drivers (MDBTools) have no wide
// ones. Texts cross the interface as UTF-8, the encoding these drivers use on Linux.
namespace {

constexpr int kQueryTimeoutSeconds = 30;


QString fromNarrow(const SQLCHAR* text, qsizetype length = -1)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text), length);
}

struct Diagnostics
{
    QString message;
    bool lost = false;
};

Diagnostics diagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    Diagnostics d;
    QStringList lines;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {0};
        SQLINTEGER native = 0;
        SQLCHAR text[2048] = {0};
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, i, state, &native, text, sizeof text, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        QString line = fromNarrow(text, std::min<qsizetype>(length, qsizetype(sizeof text) - 1)).trimmed();
        if (!line.isEmpty() && !lines.contains(line))
            lines << line;
        // Class 08: the connection is gone.
        if (state[0] == '0' && state[1] == '8')
            d.lost = true;
    }
    d.message = lines.join(QLatin1Char('\n'));
    if (d.message.isEmpty())
        d.message = QStringLiteral("The ODBC driver reported an error without a message.");
    return d;
}

TDbFieldType kindOf(SQLSMALLINT sqlType, const QString& typeName, SQLULEN size)
{
    const QString name = typeName.toLower();
    // A FLOAT column of single precision: its size given as 7 digits, 24 mantissa bits,
    // or, by the MDBTools driver for an Access Single, 4 bytes.
    if (sqlType == SQL_FLOAT && (size == 4 || size == 7 || size == 24))
        return TDbFieldType::Single;
    if (name == QLatin1String("money") || name == QLatin1String("smallmoney") ||
        name == QLatin1String("currency"))
        return TDbFieldType::Currency;
    switch (sqlType) {
    case SQL_CHAR:
        return TDbFieldType::FixedString;
    case SQL_VARCHAR:
        return TDbFieldType::String;
    case SQL_LONGVARCHAR:
        return TDbFieldType::Memo;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return TDbFieldType::WideString;
    case SQL_WLONGVARCHAR:
        return TDbFieldType::Memo;
    case SQL_BIT:
        return TDbFieldType::Boolean;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return TDbFieldType::Integer;
    case SQL_REAL:
        return TDbFieldType::Single;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return TDbFieldType::Float;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return TDbFieldType::BCD;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return TDbFieldType::Date;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return TDbFieldType::Time;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return TDbFieldType::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return TDbFieldType::Blob;
    default:
        return TDbFieldType::String;
    }
}

void freeEnvironment(SQLHENV env)
{
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}
// Disconnecting a handle that never connected only returns an error, so one release
// serves both.
void closeConnection(SQLHDBC dbc)
{
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}
void freeStatement(SQLHSTMT st)
{
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}
// SQLHANDLE is void*, so the owners hold void.
using EnvironmentPtr = CHandle<void, freeEnvironment>;
using ConnectionPtr = CHandle<void, closeConnection>;
using StatementPtr = CHandle<void, freeStatement>;

class Statement
{
public:
    explicit Statement(SQLHDBC dbc)
    {
        SQLHSTMT st = SQL_NULL_HSTMT;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)))
            throw EDbError(diagnostics(SQL_HANDLE_DBC, dbc).message);
        m_stmt.reset(st);
        // A statement the server does not finish in time fails with the driver's own
        // message instead of holding the program; drivers without it ignore the request.
        SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(SQLULEN(kQueryTimeoutSeconds)), 0);
    }
    SQLHSTMT get() const { return m_stmt.get(); }

private:
    StatementPtr m_stmt;
};

class OdbcBackend : public TDbBackend
{
public:
    OdbcBackend(EnvironmentPtr env, ConnectionPtr dbc, TDbEngine engine)
        : m_env(std::move(env)), m_connection(std::move(dbc)), m_dbc(m_connection.get()), m_engine(engine)
    {
        SQLCHAR buffer[256] = {0};
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(m_dbc, SQL_DBMS_NAME, buffer, sizeof buffer, &length)))
            m_dbms = fromNarrow(buffer).trimmed();
        buffer[0] = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(m_dbc, SQL_IDENTIFIER_QUOTE_CHAR, buffer, sizeof buffer, &length)))
            m_quote = fromNarrow(buffer).trimmed();
        SQLUSMALLINT identifierCase = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(m_dbc, SQL_IDENTIFIER_CASE, &identifierCase, sizeof identifierCase, nullptr)))
            m_identifierCase = identifierCase;
        // The driver's own reserved words on top of the standard ones.
        std::vector<SQLCHAR> words(8192, 0);
        SQLSMALLINT wordsLength = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(m_dbc, SQL_KEYWORDS, words.data(), SQLSMALLINT(words.size() - 1), &wordsLength)))
            for (const QString& w : fromNarrow(words.data()).split(QLatin1Char(','), Qt::SkipEmptyParts))
                m_keywords.insert(w.trimmed().toUpper());
        if (m_engine == TDbEngine::Odbc) {
            const QString d = m_dbms.toLower();
            if (d.contains(QLatin1String("sqlite")))
                m_bracketEngine = m_sqlite = true;
            else if (d.contains(QLatin1String("sql server")) || d.contains(QLatin1String("access")) ||
                     d.contains(QLatin1String("mdb")))
                m_bracketEngine = true;
        } else {
            m_bracketEngine = m_engine == TDbEngine::Access || m_engine == TDbEngine::SQLServer;
        }
    }

    TDbEngine Engine() const override { return m_engine; }
    bool Lost() const override { return m_lost; }

    QStringList TableNames() override
    {
        Statement st(m_dbc);
        SQLCHAR types[] = "TABLE,VIEW";
        SQLCHAR pattern[] = "%";
        check(SQLTables(st.get(), nullptr, 0, nullptr, 0, pattern, SQL_NTS, types, SQL_NTS), st.get());
        QStringList out;
        while (true) {
            SQLRETURN rc = SQLFetch(st.get());
            if (rc == SQL_NO_DATA)
                break;
            check(rc, st.get());
            QString name = textColumn(st.get(), 3);
            QString type = textColumn(st.get(), 4).toUpper();
            if (type != QLatin1String("TABLE") && type != QLatin1String("VIEW"))
                continue;
            // Drivers differ in what they call system tables; these never are the user's.
            if (name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive) ||
                name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
                continue;
            out << name;
        }
        return out;
    }

    QStringList FieldNames(const QString& table) override
    {
        QStringList out;
        {
            Statement st(m_dbc);
            QByteArray name = table.toUtf8();
            SQLRETURN rc =
                SQLColumns(st.get(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(name.data()),
                           SQLSMALLINT(name.size()), nullptr, 0);
            if (SQL_SUCCEEDED(rc)) {
                while (SQL_SUCCEEDED(SQLFetch(st.get()))) {
                    // The name is a pattern ("_" matches any letter): keep exact matches.
                    if (textColumn(st.get(), 3) == table)
                        out << textColumn(st.get(), 4);
                }
            }
        }
        if (!out.isEmpty())
            return out;
        // No catalogue answer: describe a query of the table, which also gives the
        // driver's own error when the table does not exist.
        TDbRowsPtr rows = Execute(QStringLiteral("SELECT * FROM ") + QuoteName(table));
        for (const TDbField& f : rows->Fields())
            out << f.name;
        return out;
    }

    void Cancel() override
    {
        const std::lock_guard lock(m_runningMutex);
        if (m_running)
            SQLCancel(m_running);
    }

    TDbRowsPtr Execute(const QString& sqlText) override
    {
        Statement st(m_dbc);
        // The statement a Cancel from another thread stops, while it lives.
        const struct Running
        {
            OdbcBackend* self;
            Running(OdbcBackend* b, SQLHSTMT st) : self(b)
            {
                const std::lock_guard lock(self->m_runningMutex);
                self->m_running = st;
            }
            ~Running()
            {
                const std::lock_guard lock(self->m_runningMutex);
                self->m_running = SQL_NULL_HSTMT;
            }
        } running(this, st.get());
        QByteArray sql = sqlText.toUtf8();
        SQLRETURN rc =
            SQLExecDirect(st.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQLINTEGER(sql.size()));
        if (rc != SQL_NO_DATA)
            check(rc, st.get());
        TDbRowsPtr result;
        while (true) {
            SQLSMALLINT columns = 0;
            if (rc != SQL_NO_DATA)
                check(SQLNumResultCols(st.get(), &columns), st.get());
            if (columns > 0) {
                result = fetch(st.get(), columns);
            } else if (!result) {
                result = TDbRowsBuilder({}).Finish();
            }
            rc = SQLMoreResults(st.get());
            // IM001: the driver has no further results to offer at all (MDBTools).
            if (rc == SQL_NO_DATA || (rc == SQL_ERROR && firstState(st.get()) == "IM001"))
                break;
            check(rc, st.get());
        }
        return result;
    }

    QString QuoteName(const QString& name) const override
    {
        if (IsPlainSqlName(name) && !IsSqlReservedWord(name) && !m_keywords.contains(name.toUpper())) {
            // A bare name is folded by engines that store names in one case.
            if ((m_identifierCase != SQL_IC_UPPER || name == name.toUpper()) &&
                (m_identifierCase != SQL_IC_LOWER || name == name.toLower()))
                return name;
        }
        // SQLite's brackets cannot hold a "]"; its double quotes can.
        if (m_bracketEngine && !(m_sqlite && name.contains(QLatin1Char(']'))))
            return BracketName(name);
        if (m_quote.isEmpty())
            return name;
        QString n = name;
        n.replace(m_quote, m_quote + m_quote);
        return m_quote + n + m_quote;
    }

private:
    static QByteArray firstState(SQLHSTMT st)
    {
        SQLCHAR state[6] = {0};
        SQLINTEGER native = 0;
        SQLCHAR text[8];
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, text, sizeof text, &length)))
            return {};
        return QByteArray(reinterpret_cast<const char*>(state));
    }

    void check(SQLRETURN rc, SQLHSTMT st)
    {
        if (SQL_SUCCEEDED(rc))
            return;
        Diagnostics d = diagnostics(SQL_HANDLE_STMT, st);
        if (d.lost)
            m_lost = true;
        throw EDbError(d.message);
    }

    // A whole text column of the current row; empty for null.
    QString textColumn(SQLHSTMT st, SQLUSMALLINT column)
    {
        QByteArray value;
        bool isNull = false;
        readText(st, column, SQL_C_CHAR, value, isNull);
        return QString::fromUtf8(value);
    }

    // Reads a character or binary value in pieces of any length.
    void readText(SQLHSTMT st, SQLUSMALLINT column, SQLSMALLINT cType, QByteArray& out, bool& isNull)
    {
        out.clear();
        isNull = false;
        char buffer[16384];
        const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
        while (true) {
            SQLLEN indicator = 0;
            SQLRETURN rc = SQLGetData(st, column, cType, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA)
                return;
            check(rc, st);
            if (indicator == SQL_NULL_DATA) {
                isNull = true;
                return;
            }
            const SQLLEN capacity = SQLLEN(sizeof buffer) - terminator;
            const SQLLEN piece = (indicator == SQL_NO_TOTAL || indicator > capacity) ? capacity : indicator;
            out.append(buffer, piece);
            if (rc == SQL_SUCCESS)
                return;
        }
    }

    TDbRowsPtr fetch(SQLHSTMT st, SQLSMALLINT columns)
    {
        QList<TDbField> fields;
        for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(columns); ++i) {
            SQLCHAR name[512] = {0};
            SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            check(SQLDescribeCol(st, i, name, sizeof name, &nameLength, &sqlType, &size, &digits, &nullable),
                  st);
            SQLCHAR typeName[256] = {0};
            SQLSMALLINT typeLength = 0;
            SQLColAttribute(st, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeLength, nullptr);
            TDbField f;
            f.name = fromNarrow(name);
            f.displayName = f.name;
            f.declaredType = fromNarrow(typeName);
            f.type = kindOf(sqlType, f.declaredType, size);
            if (sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_WCHAR ||
                sqlType == SQL_WVARCHAR)
                f.size = size < 0x7fffffff ? int(size) : 0;
            fields << f;
        }
        // Every value travels as text (bytes for blobs), which every driver converts
        // to; the builder reads it as the column's kind. Drivers such as MDBTools copy
        // raw bytes for the binary C types they do not convert, so those are not asked for.
        TDbRowsBuilder b(fields);
        QByteArray text;
        while (true) {
            SQLRETURN rc = SQLFetch(st);
            if (rc == SQL_NO_DATA)
                break;
            check(rc, st);
            for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(columns); ++i) {
                bool isNull = false;
                readText(st, i, fields[i - 1].type == TDbFieldType::Blob ? SQL_C_BINARY : SQL_C_CHAR, text,
                         isNull);
                if (isNull)
                    b.AppendNull();
                else
                    b.AppendText(text.constData(), text.size());
            }
        }
        return b.Finish();
    }

    EnvironmentPtr m_env; // released after the connection
    std::mutex m_runningMutex;
    SQLHSTMT m_running = SQL_NULL_HSTMT;
    ConnectionPtr m_connection;
    SQLHDBC m_dbc;
    TDbEngine m_engine;
    QString m_dbms;
    QString m_quote;
    bool m_bracketEngine = false;
    bool m_sqlite = false;
    SQLUSMALLINT m_identifierCase = 0;
    QSet<QString> m_keywords;
    bool m_lost = false;
};

} // namespace

namespace dbbackends {

std::unique_ptr<TDbBackend> openOdbc(const QString& odbcConnectionString, TDbEngine engine)
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw EDbError(QStringLiteral("The ODBC driver manager could not be started."));
    EnvironmentPtr envOwner(env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)))
        throw EDbError(diagnostics(SQL_HANDLE_ENV, env).message);
    ConnectionPtr dbcOwner(dbc);
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
    QByteArray text = odbcConnectionString.toUtf8();
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc =
        SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQLSMALLINT(text.size()), out,
                         sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc))
        throw EDbError(diagnostics(SQL_HANDLE_DBC, dbc).message);
    // Requests other than statements (catalogue calls) are bounded too where the driver can.
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(kQueryTimeoutSeconds)), 0);
    return std::make_unique<OdbcBackend>(std::move(envOwner), std::move(dbcOwner), engine);
}

} // namespace dbbackends
