#include "uDbBackend.h"
#include "uDbBackends.h"
#include "uDbError.h"

#include <QFileInfo>

// The built-in provider table: which engine serves which provider name, and how the
// connection string's items become that engine's parameters. The string itself is
// never changed; only its values are read.
namespace {

// An ODBC connection string value: braces when it holds characters that would end or
// confuse the item.
QString odbcValue(const QString& value)
{
    if (value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{')) ||
        value.contains(QLatin1Char('=')) || value != value.trimmed()) {
        QString v = value;
        v.replace(QLatin1String("}"), QLatin1String("}}"));
        return QLatin1Char('{') + v + QLatin1Char('}');
    }
    return value;
}

void addOdbcItem(QString& text, const char* key, const QString& value)
{
    if (value.isEmpty())
        return;
    if (!text.isEmpty() && !text.endsWith(QLatin1Char(';')))
        text += QLatin1Char(';');
    text += QLatin1String(key) + QLatin1Char('=') + odbcValue(value) + QLatin1Char(';');
}

QString user(const TDbConnectParams& p)
{
    return p.prompted ? p.user : p.items.Value({"User ID", "UID", "User"});
}

QString password(const TDbConnectParams& p)
{
    return p.prompted ? p.password : p.items.Value({"Password", "PWD"});
}

// How long a fetch waits for a server that sends nothing before it fails: "Command
// Timeout" in seconds when the string sets one, else 30.
int silenceSeconds(const TDbConnectParams& p)
{
    bool ok = false;
    const int seconds = p.items.Value(QStringLiteral("Command Timeout")).toInt(&ok);
    return ok && seconds > 0 && seconds <= 3600 ? seconds : 30;
}

bool isTrue(const QString& v)
{
    const QString t = v.trimmed().toLower();
    return t == QLatin1String("sspi") || t == QLatin1String("true") || t == QLatin1String("yes");
}

std::unique_ptr<TDbBackend> openAccessOrSqlite(const TDbConnectParams& p)
{
    const QString file = p.items.Value(QStringLiteral("Data Source"));
    if (file.isEmpty())
        throw EDbError(QStringLiteral("No database file was named (\"Data Source\" is empty)."));
    if (!QFileInfo(file).isFile())
        throw EDbError(QStringLiteral("Could not find file '%1'.").arg(file));
    if (dbbackends::isSqliteFile(file))
        return dbbackends::openSqlite(file);
    return dbbackends::openAccess(file, silenceSeconds(p));
}

std::unique_ptr<TDbBackend> openSqlServer(const TDbConnectParams& p)
{
    QString server = p.items.Value({"Data Source", "Server", "Address", "Addr"});
    QString port;
    // "server,port"; "server\instance" goes to the driver as it is.
    const qsizetype comma = server.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        port = server.mid(comma + 1).trimmed();
        server = server.left(comma).trimmed();
    }
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server = server.mid(4);
    if (server == QLatin1String("(local)") || server == QLatin1String("."))
        server = QStringLiteral("localhost");
    if (port.isEmpty() && !server.contains(QLatin1Char('\\')))
        port = QStringLiteral("1433");
    QString odbc;
    addOdbcItem(odbc, "Driver", QStringLiteral("FreeTDS"));
    addOdbcItem(odbc, "Server", server);
    addOdbcItem(odbc, "Port", port);
    addOdbcItem(odbc, "Database", p.items.Value({"Initial Catalog", "Database"}));
    addOdbcItem(odbc, "TDS_Version", QStringLiteral("7.4"));
    addOdbcItem(odbc, "ClientCharset", QStringLiteral("UTF-8"));
    if (isTrue(p.items.Value({"Integrated Security", "Trusted_Connection"})) && !p.prompted) {
        addOdbcItem(odbc, "Trusted_Connection", QStringLiteral("Yes"));
    } else {
        addOdbcItem(odbc, "UID", user(p));
        addOdbcItem(odbc, "PWD", password(p));
    }
    return dbbackends::openOdbc(odbc, TDbEngine::SQLServer);
}

std::unique_ptr<TDbBackend> openDsn(const TDbConnectParams& p)
{
    QString odbc;
    addOdbcItem(odbc, "DSN", p.items.Value(QStringLiteral("Data Source")));
    addOdbcItem(odbc, "UID", user(p));
    addOdbcItem(odbc, "PWD", password(p));
    QString extended = p.items.Value(QStringLiteral("Extended Properties"));
    if (!extended.isEmpty()) {
        if (!odbc.isEmpty() && !odbc.endsWith(QLatin1Char(';')))
            odbc += QLatin1Char(';');
        odbc += extended;
    }
    if (odbc.isEmpty())
        throw EDbError(QStringLiteral("No ODBC data source was named (\"Data Source\" is empty)."));
    return dbbackends::openOdbc(odbc, TDbEngine::Odbc);
}

std::unique_ptr<TDbBackend> openPostgres(const TDbConnectParams& p)
{
    dbbackends::PostgresParams pg;
    pg.host = p.items.Value({"Data Source", "Host", "Server"});
    // "host:port", unless the colon belongs to an IPv6 address.
    const qsizetype colon = pg.host.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && pg.host.count(QLatin1Char(':')) == 1) {
        pg.port = pg.host.mid(colon + 1);
        pg.host = pg.host.left(colon);
    }
    if (p.items.Has(QStringLiteral("Port")))
        pg.port = p.items.Value(QStringLiteral("Port"));
    pg.database = p.items.Value({"Initial Catalog", "Database"});
    pg.user = user(p);
    pg.password = password(p);
    pg.silenceSeconds = silenceSeconds(p);
    return dbbackends::openPostgres(pg);
}

// An ODBC string given without a provider: to the driver manager as it is, with the
// prompted credentials added.
std::unique_ptr<TDbBackend> openOdbcString(const TDbConnectParams& p)
{
    QString odbc = p.items.Text();
    if (p.prompted) {
        addOdbcItem(odbc, "UID", p.user);
        addOdbcItem(odbc, "PWD", p.password);
    }
    return dbbackends::openOdbc(odbc, TDbEngine::Odbc);
}

std::unique_ptr<TDbBackend> openSqliteFile(const TDbConnectParams& params)
{
    const QString file = params.items.Value(QStringLiteral("Data Source"));
    if (!file.isEmpty() && !QFileInfo(file).isFile())
        throw EDbError(QStringLiteral("unable to open database file: %1").arg(file));
    return dbbackends::openSqlite(file);
}

} // namespace

// One row per provider: its usual full name, its key (the name without version suffix,
// lower case; a prefix where the engine's versions carry it in the name), what its
// "Data Source" names, and the opener.
struct dbproviders::BuiltInProvider
{
    const char* name;
    const char* key;
    bool keyIsPrefix;
    dbproviders::SourceKind source;
    std::unique_ptr<TDbBackend> (*open)(const TDbConnectParams&);
};

namespace {

using BuiltIn = dbproviders::BuiltInProvider;

const BuiltIn kBuiltIns[] = {
    {"Microsoft.Jet.OLEDB.4.0", "microsoft.jet.oledb", false, dbproviders::SourceKind::File,
     openAccessOrSqlite},
    {"Microsoft.ACE.OLEDB.12.0", "microsoft.ace.oledb", false, dbproviders::SourceKind::File,
     openAccessOrSqlite},
    {"SQLOLEDB.1", "sqloledb", false, dbproviders::SourceKind::Server, openSqlServer},
    {"SQLNCLI11", "sqlncli", true, dbproviders::SourceKind::Server, openSqlServer},
    {"MSOLEDBSQL", "msoledbsql", false, dbproviders::SourceKind::Server, openSqlServer},
    {"MSDASQL.1", "msdasql", false, dbproviders::SourceKind::Dsn, openDsn},
    {"SQLite", "sqlite", false, dbproviders::SourceKind::File, openSqliteFile},
    {"PostgreSQL", "postgresql", false, dbproviders::SourceKind::Server, openPostgres},
};

const BuiltIn* findBuiltIn(const QString& key)
{
    for (const BuiltIn& b : kBuiltIns)
        if (b.keyIsPrefix ? key.startsWith(QLatin1String(b.key)) : key == QLatin1String(b.key))
            return &b;
    return nullptr;
}

} // namespace

namespace {

// What the resolved string reaches, for messages: the kind of source comes from the
// provider row found once.
dbproviders::SourceDescription describe(const TDbResolvedString& r)
{
    using dbproviders::SourceKind;
    dbproviders::SourceDescription d;
    if (!r.failure.isEmpty()) {
        d.brief = QFileInfo(r.dataLinkFile).fileName();
        d.full = QStringLiteral("data link file ") + r.dataLinkFile;
        return d;
    }
    const TDbConnectionString& items = r.items;
    const QString source = items.Value(QStringLiteral("Data Source"));
    const auto server = [&d](const QString& host, const QString& database) {
        d.brief = database.isEmpty() ? host : host + u'/' + database;
        d.full = QStringLiteral("server ") + host;
        if (!database.isEmpty())
            d.full += QStringLiteral(", database ") + database;
    };
    if (!r.provider.isEmpty()) {
        switch (r.builtIn ? r.builtIn->source : SourceKind::Other) {
        case SourceKind::File:
            d.isFile = true;
            d.brief = QFileInfo(source).fileName();
            d.full = source;
            return d;
        case SourceKind::Dsn:
            d.brief = source;
            d.full = QStringLiteral("ODBC data source ") + source;
            return d;
        case SourceKind::Server:
            server(source, items.Value({"Initial Catalog", "Database"}));
            return d;
        case SourceKind::Other:
            d.brief = source.isEmpty() ? r.provider : source;
            d.full = source.isEmpty() ? r.provider : r.provider + QStringLiteral(" ") + source;
            return d;
        }
    }
    // An ODBC string given as it is, or a data source without a provider.
    const QString dsn = items.Value(QStringLiteral("DSN"));
    if (!dsn.isEmpty() || (!source.isEmpty() && !items.Has(QStringLiteral("Driver")))) {
        d.brief = dsn.isEmpty() ? source : dsn;
        d.full = QStringLiteral("ODBC data source ") + d.brief;
        return d;
    }
    const QString driver = items.Value(QStringLiteral("Driver"));
    const QString file = items.Value({"DBQ", "Database"});
    const QString host = items.Value({"Server", "Host"});
    if (!host.isEmpty()) {
        server(host, file);
    } else if (!file.isEmpty()) {
        d.brief = QFileInfo(file).fileName();
        d.full = file;
    } else {
        d.brief = driver;
    }
    if (!driver.isEmpty())
        d.full = (d.full.isEmpty() ? QString() : d.full + QStringLiteral(" ")) +
                 QStringLiteral("(ODBC driver %1)").arg(driver);
    return d;
}

} // namespace

namespace dbproviders {

TDbResolvedString Resolve(const QString& text)
{
    TDbResolvedString r;
    r.text = text;
    r.items = TDbConnectionString(text);
    r.dataLinkFile = r.items.Value(QStringLiteral("File Name"));
    if (!r.dataLinkFile.isEmpty()) {
        try {
            TDbConnectionString inner(ReadDataLinkFile(r.dataLinkFile));
            if (inner.Has(QStringLiteral("File Name")))
                r.failure = QStringLiteral("The data link file \"%1\" names another data link file.")
                                .arg(r.dataLinkFile);
            else
                r.items = std::move(inner);
        } catch (const EDbError& e) {
            r.failure = e.message();
        }
    }
    if (r.failure.isEmpty()) {
        r.provider = r.items.Value(QStringLiteral("Provider"));
        r.providerKey = TDbConnectionString::ProviderKey(r.provider);
        r.builtIn = findBuiltIn(r.providerKey);
    }
    r.source = describe(r);
    return r;
}

std::unique_ptr<TDbBackend> openBuiltIn(const TDbConnectParams& params)
{
    if (!params.failure.isEmpty())
        throw EDbError(params.failure);
    if (params.providerKey.isEmpty()) {
        if (params.items.Has(QStringLiteral("Driver")) || params.items.Has(QStringLiteral("DSN")))
            return openOdbcString(params);
        if (params.items.Has(QStringLiteral("Data Source")))
            return openDsn(params); // the ODBC provider is the default one
        throw EDbError(QStringLiteral("The connection string names no provider, driver or data source."));
    }
    if (params.builtIn)
        return params.builtIn->open(params);
    throw EDbError(QStringLiteral("Provider cannot be found: %1").arg(params.provider));
}

QStringList builtInProviders()
{
    QStringList names;
    for (const BuiltIn& b : kBuiltIns)
        names.append(QLatin1String(b.name));
    return names;
}

SourceKind sourceKind(const QString& provider)
{
    const BuiltIn* builtIn = findBuiltIn(TDbConnectionString::ProviderKey(provider));
    return builtIn ? builtIn->source : SourceKind::Other;
}

} // namespace dbproviders
