#include "uDbBackends.h"
#include "uDbError.h"
#include "uDbLibpq.h"
#include "uDbHandles.h"

#include <QRegularExpression>
#include <QSet>

#include <libpq-fe.h>

#include <poll.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

const TLibpq& pq()
{
    return dbbackends::libpq();
}

// Type OIDs of the built-in types (pg_type.h); stable across server versions.
enum : Oid
{
    kBool = 16,
    kBytea = 17,
    kChar = 18,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kMoney = 790,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestamptz = 1184,
    kTimetz = 1266,
    kNumeric = 1700,
};

TDbFieldType kindOf(Oid type)
{
    switch (type) {
    case kBool:
        return TDbFieldType::Boolean;
    case kInt8:
    case kInt2:
    case kInt4:
    case kOid:
        return TDbFieldType::Integer;
    case kFloat4:
        return TDbFieldType::Single;
    case kFloat8:
        return TDbFieldType::Float;
    case kMoney:
        return TDbFieldType::Currency;
    case kNumeric:
        return TDbFieldType::BCD;
    case kDate:
        return TDbFieldType::Date;
    case kTime:
    case kTimetz:
        return TDbFieldType::Time;
    case kTimestamp:
    case kTimestamptz:
        return TDbFieldType::DateTime;
    case kBpchar:
        return TDbFieldType::FixedString;
    case kText:
        return TDbFieldType::Memo;
    case kBytea:
        return TDbFieldType::Blob;
    default:
        return TDbFieldType::String;
    }
}

QString declaredName(Oid type)
{
    switch (type) {
    case kBool:
        return QStringLiteral("boolean");
    case kBytea:
        return QStringLiteral("bytea");
    case kChar:
        return QStringLiteral("char");
    case kName:
        return QStringLiteral("name");
    case kInt8:
        return QStringLiteral("bigint");
    case kInt2:
        return QStringLiteral("smallint");
    case kInt4:
        return QStringLiteral("integer");
    case kText:
        return QStringLiteral("text");
    case kOid:
        return QStringLiteral("oid");
    case kFloat4:
        return QStringLiteral("real");
    case kFloat8:
        return QStringLiteral("double precision");
    case kMoney:
        return QStringLiteral("money");
    case kBpchar:
        return QStringLiteral("character");
    case kVarchar:
        return QStringLiteral("character varying");
    case kDate:
        return QStringLiteral("date");
    case kTime:
        return QStringLiteral("time without time zone");
    case kTimestamp:
        return QStringLiteral("timestamp without time zone");
    case kTimestamptz:
        return QStringLiteral("timestamp with time zone");
    case kTimetz:
        return QStringLiteral("time with time zone");
    case kNumeric:
        return QStringLiteral("numeric");
    default:
        return QStringLiteral("oid %1").arg(type);
    }
}

// libpq's messages end in a line feed; the text is the engine's, kept otherwise whole.
QString trimmedMessage(const char* text)
{
    QString s = QString::fromUtf8(text ? text : "");
    while (s.endsWith(QLatin1Char('\n')))
        s.chop(1);
    return s;
}

bool parseInt64(const char* p, int len, qint64& out)
{
    int i = 0;
    bool neg = false;
    if (len > 0 && (p[0] == '-' || p[0] == '+')) {
        neg = p[0] == '-';
        i = 1;
    }
    if (i == len || len - i > 19)
        return false;
    quint64 v = 0;
    for (; i < len; ++i) {
        unsigned d = unsigned(p[i] - '0');
        if (d > 9)
            return false;
        v = v * 10 + d; // at most 19 digits: no wrap-around
    }
    constexpr quint64 kMax = 9223372036854775807ULL;
    if (v > kMax + (neg ? 1 : 0))
        return false;
    out = neg ? qint64(0 - v) : qint64(v);
    return true;
}

void finishConnection(PGconn* c)
{
    pq().finish(c);
}
void clearResult(PGresult* r)
{
    pq().clear(r);
}
void freeCancel(PGcancel* c)
{
    pq().freeCancel(c);
}

using PgConnPtr = CHandle<PGconn, finishConnection>;
using PgResultPtr = CHandle<PGresult, clearResult>;
using PgCancelPtr = CHandle<PGcancel, freeCancel>;

class PostgresBackend : public TDbBackend
{
public:
    PostgresBackend(PgConnPtr conn, int silenceSeconds)
        : m_owner(std::move(conn)), m_conn(m_owner.get()), m_silenceSeconds(silenceSeconds)
    {
        // Notices ("table does not exist, skipping") are no errors; libpq would print them.
        pq().setNoticeProcessor(
            m_conn, [](void*, const char*) {}, nullptr);
        m_cancel.reset(pq().getCancel(m_conn));
        loadKeywords();
    }

    // The server stops the statement and answers it with an error; a fetch between rows
    // stops at the next row of its own accord.
    void Cancel() override
    {
        char message[256];
        if (m_cancel)
            pq().cancel(m_cancel.get(), message, sizeof message);
    }

    TDbEngine Engine() const override { return TDbEngine::PostgreSQL; }
    bool Lost() const override { return m_silent || pq().status(m_conn) != CONNECTION_OK; }

    QStringList TableNames() override
    {
        // Tables and views reachable without a schema name, as the search path finds them.
        auto rows = Execute(QStringLiteral("SELECT table_name FROM information_schema.tables "
                                           "WHERE table_schema = ANY (current_schemas(false)) "
                                           "AND table_type IN ('BASE TABLE', 'VIEW', 'FOREIGN') "
                                           "ORDER BY table_type, table_name"));
        QStringList out;
        for (qsizetype r = 0; r < rows->RowCount(); ++r)
            out << rows->AsString(r, 0);
        return out;
    }

    QStringList FieldNames(const QString& table) override
    {
        // Describing a query of the table gives the server's own error for a missing
        // table and the columns in their order, for tables and views alike.
        QByteArray sql = "SELECT * FROM " + quoteAlways(table).toUtf8() + " WHERE false";
        checkUsable();
        if (!pq().sendPrepare(m_conn, "", sql.constData(), 0, nullptr))
            throw EDbError(trimmedMessage(pq().errorMessage(m_conn)));
        if (pq().resultStatus(lastResult().get()) != PGRES_COMMAND_OK)
            throw EDbError(trimmedMessage(pq().errorMessage(m_conn)));
        if (!pq().sendDescribePrepared(m_conn, ""))
            throw EDbError(trimmedMessage(pq().errorMessage(m_conn)));
        const PgResultPtr res = lastResult();
        if (pq().resultStatus(res.get()) != PGRES_COMMAND_OK)
            throw EDbError(trimmedMessage(pq().errorMessage(m_conn)));
        QStringList out;
        for (int i = 0; i < pq().nfields(res.get()); ++i)
            out << QString::fromUtf8(pq().fname(res.get(), i));
        return out;
    }

    TDbRowsPtr Execute(const QString& sqlText) override
    {
        const QByteArray sql = sqlText.toUtf8();
        checkUsable();
        if (!pq().sendQuery(m_conn, sql.constData()))
            throw EDbError(trimmedMessage(pq().errorMessage(m_conn)));
        // Row by row, so that the only full copy of the rows is ours.
        pq().setSingleRowMode(m_conn);

        try {
            return fetchSent();
        } catch (const EDbError&) {
            // Stopped between rows (cancelled, too large): the server is told to stop, and
            // what it still sends is read away, so that the session can take the next
            // statement.
            if (!m_silent && pq().status(m_conn) == CONNECTION_OK) {
                if (pq().transactionStatus(m_conn) == PQTRANS_ACTIVE)
                    Cancel();
                try {
                    while (nextResult()) {
                    }
                } catch (const EDbError&) {
                }
            }
            throw;
        }
    }

    QString QuoteName(const QString& name) const override
    {
        static const QRegularExpression plain(QStringLiteral("^[a-z_][a-z0-9_$]*$"));
        if (plain.match(name).hasMatch() && !m_keywords.contains(name))
            return name;
        return quoteAlways(name);
    }

private:
    // The rows of the statement sent.
    TDbRowsPtr fetchSent()
    {
        std::unique_ptr<TDbRowsBuilder> builder;
        TDbRowsPtr result;
        QString error;
        QList<Oid> types;
        while (const PgResultPtr owner = nextResult()) {
            PGresult* res = owner.get();
            ExecStatusType status = pq().resultStatus(res);
            if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
                if (!builder) {
                    builder = std::make_unique<TDbRowsBuilder>(fieldsOf(res, types));
                }
                if (error.isEmpty())
                    appendRows(*builder, res, types);
                if (status == PGRES_TUPLES_OK && error.isEmpty()) {
                    // End of one statement's rows; a later statement's rows win.
                    result = builder->Finish();
                    builder.reset();
                }
            } else if (status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY) {
                if (!result)
                    result = TDbRowsBuilder({}).Finish();
            } else if (error.isEmpty()) {
                const char* msg = pq().resultErrorMessage(res);
                error = trimmedMessage(msg && *msg ? msg : pq().errorMessage(m_conn));
            }
        }
        if (error.isEmpty() && pq().status(m_conn) != CONNECTION_OK)
            error = trimmedMessage(pq().errorMessage(m_conn));
        if (!error.isEmpty())
            throw EDbError(error);
        if (!result)
            result = TDbRowsBuilder({}).Finish();
        return result;
    }

    void checkUsable() const
    {
        if (m_silent)
            throw EDbError(m_silentMessage);
        if (pq().status(m_conn) != CONNECTION_OK)
            throw EDbError(trimmedMessage(pq().errorMessage(m_conn)));
    }

    // The next result of the statement sent, waiting for the server at most the silence
    // limit for each piece: a server that stops answering while its socket stays open
    // (keepalives cannot see that) fails the fetch with a clear message, and the session
    // counts as lost, so the connection closes itself and can be opened again.
    PgResultPtr nextResult()
    {
        while (pq().isBusy(m_conn)) {
            pollfd p{pq().socket(m_conn), POLLIN, 0};
            const int rc = poll(&p, 1, m_silenceSeconds * 1000);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc == 0) {
                m_silent = true;
                m_silentMessage = QStringLiteral("The server did not answer for %1 seconds; the connection was "
                                                 "closed.")
                                      .arg(m_silenceSeconds);
                throw EDbError(m_silentMessage);
            }
            if (rc < 0 || !pq().consumeInput(m_conn))
                break; // the error comes with the result
        }
        return PgResultPtr(pq().getResult(m_conn));
    }

    // The last result of a command sent (its other results are dropped).
    PgResultPtr lastResult()
    {
        PgResultPtr last;
        while (PgResultPtr res = nextResult())
            last = std::move(res);
        return last;
    }

    static QString quoteAlways(const QString& name)
    {
        QString n = name;
        n.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + n + QLatin1Char('"');
    }

    void loadKeywords()
    {
        // The server's own list of words that cannot stand as a bare name everywhere.
        if (!pq().sendQuery(m_conn, "SELECT word FROM pg_get_keywords() WHERE catcode <> 'U'"))
            return;
        const PgResultPtr res = lastResult();
        if (pq().resultStatus(res.get()) == PGRES_TUPLES_OK)
            for (int r = 0; r < pq().ntuples(res.get()); ++r)
                m_keywords.insert(QString::fromUtf8(pq().getvalue(res.get(), r, 0)));
    }

    static QList<TDbField> fieldsOf(PGresult* res, QList<Oid>& types)
    {
        QList<TDbField> fields;
        types.clear();
        for (int i = 0; i < pq().nfields(res); ++i) {
            TDbField f;
            f.name = QString::fromUtf8(pq().fname(res, i));
            f.displayName = f.name;
            Oid t = pq().ftype(res, i);
            types << t;
            f.type = kindOf(t);
            f.declaredType = declaredName(t);
            int mod = pq().fmod(res, i);
            if ((t == kVarchar || t == kBpchar) && mod > 4)
                f.size = mod - 4;
            fields << f;
        }
        return fields;
    }

    static void appendRows(TDbRowsBuilder& b, PGresult* res, const QList<Oid>& types)
    {
        const TLibpq& lib = pq(); // once, not per value
        const int rows = lib.ntuples(res);
        const int cols = lib.nfields(res);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                if (lib.getisnull(res, r, c)) {
                    b.AppendNull();
                    continue;
                }
                const char* v = lib.getvalue(res, r, c);
                const int len = lib.getlength(res, r, c);
                switch (types[c]) {
                case kInt2:
                case kInt4:
                case kInt8:
                case kOid: {
                    qint64 n;
                    if (parseInt64(v, len, n))
                        b.AppendInteger(n);
                    else
                        b.AppendText(v, len);
                    break;
                }
                case kFloat4:
                case kFloat8: {
                    char* end = nullptr;
                    double d = std::strtod(v, &end);
                    if (end == v + len)
                        b.AppendFloat(d);
                    else
                        b.AppendText(v, len); // NaN, Infinity
                    break;
                }
                case kBool:
                    b.AppendBoolean(v[0] == 't');
                    break;
                case kMoney: {
                    // The server writes money in its lc_monetary form ("$1,234.56"):
                    // keep the sign, digits and the point.
                    QByteArray digits;
                    bool negative = false;
                    for (int i = 0; i < len; ++i) {
                        char ch = v[i];
                        if ((ch >= '0' && ch <= '9') || ch == '.')
                            digits += ch;
                        else if (ch == '-' || ch == '(')
                            negative = true;
                    }
                    bool ok = false;
                    double d = digits.toDouble(&ok);
                    if (ok)
                        b.AppendCurrency(qint64(std::llround((negative ? -d : d) * 10000.0)));
                    else
                        b.AppendText(v, len);
                    break;
                }
                case kBytea: {
                    size_t n = 0;
                    unsigned char* bytes = lib.unescapeBytea(reinterpret_cast<const unsigned char*>(v), &n);
                    if (bytes) {
                        b.AppendText(reinterpret_cast<const char*>(bytes), qsizetype(n));
                        lib.freemem(bytes);
                    } else {
                        b.AppendText(v, len);
                    }
                    break;
                }
                default:
                    // Text kinds, numeric (digits), dates and times (ISO text, read by the
                    // builder), and everything else in the server's text form.
                    b.AppendText(v, len);
                    break;
                }
            }
        }
    }

    PgConnPtr m_owner;
    PGconn* m_conn;
    int m_silenceSeconds;
    PgCancelPtr m_cancel; // made once: a cancel may then be sent from any thread
    bool m_silent = false;
    QString m_silentMessage;
    QSet<QString> m_keywords;
};

} // namespace

namespace dbbackends {

std::unique_ptr<TDbBackend> openPostgres(const PostgresParams& p)
{
    QList<QByteArray> keys, values;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            keys << QByteArray(key);
            values << value.toUtf8();
        }
    };
    add("host", p.host);
    add("port", p.port);
    add("dbname", p.database);
    add("user", p.user);
    add("password", p.password);
    add("client_encoding", QStringLiteral("UTF8"));
    add("application_name", QStringLiteral("Quillory"));
    add("connect_timeout", QStringLiteral("15"));
    // A peer that vanishes (cable, crash of the machine) is noticed within about 30 s.
    add("keepalives", QStringLiteral("1"));
    add("keepalives_idle", QStringLiteral("10"));
    add("keepalives_interval", QStringLiteral("5"));
    add("keepalives_count", QStringLiteral("3"));
    add("tcp_user_timeout", QString::number(p.silenceSeconds * 1000));
    // ISO dates whatever the server's default, so that the text forms parse.
    add("options", QStringLiteral("-c DateStyle=ISO,YMD -c IntervalStyle=postgres -c extra_float_digits=1"));
    std::vector<const char*> k, v;
    for (int i = 0; i < keys.size(); ++i) {
        k.push_back(keys[i].constData());
        v.push_back(values[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    PgConnPtr conn(pq().connectdbParams(k.data(), v.data(), 0));
    if (!conn)
        throw EDbError(QStringLiteral("out of memory"));
    if (pq().status(conn.get()) != CONNECTION_OK)
        throw EDbError(trimmedMessage(pq().errorMessage(conn.get())));
    return std::make_unique<PostgresBackend>(std::move(conn), p.silenceSeconds);
}

} // namespace dbbackends
