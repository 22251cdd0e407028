#include "uDbConnection.h"

#include "uDbBackend.h"
#include "uDbError.h"
#include "uDialogs.h"

TDbConnection::TDbConnection(QObject* parent) : QObject(parent) {}

TDbConnection::~TDbConnection()
{
    m_backend.reset();
}

void TDbConnection::SetConnectionString(const QString& text)
{
    if (Connected())
        throw EDbError(QStringLiteral("Operation is not allowed when the object is open."));
    m_connectionString = text;
}

void TDbConnection::Open()
{
    if (!Connected())
        Open(dbproviders::Resolve(m_connectionString));
}

void TDbConnection::Open(const TDbResolvedString& resolved)
{
    if (Connected())
        return;
    TDbConnectParams params;
    static_cast<TDbResolvedString&>(params) = resolved;
    if (m_loginPrompt) {
        QString user = params.items.Value({"User ID", "UID", "User"});
        QString password;
        if (!dialogs::loginPrompt(QStringLiteral("Database Login"), user, password))
            throw EDbLoginCancelled(QStringLiteral("Login cancelled."));
        params.prompted = true;
        params.user = user;
        params.password = password;
    }
    m_backend = dbproviders::open(params);
    m_source = resolved.source;
    emit AfterConnect();
}

void TDbConnection::Close()
{
    if (!Connected())
        return;
    m_backend.reset();
    emit AfterDisconnect();
}

TDbBackend& TDbConnection::Backend()
{
    if (!m_backend)
        throw EDbError(QStringLiteral("Operation is not allowed when the object is closed."));
    return *m_backend;
}

void TDbConnection::CheckLost()
{
    if (m_backend && m_backend->Lost())
        Close();
}

void TDbConnection::GetTableNames(QStringList& list)
{
    list.clear();
    try {
        list = Backend().TableNames();
    } catch (const EDbError&) {
        CheckLost();
        throw;
    }
}

void TDbConnection::GetFieldNames(const QString& table, QStringList& list)
{
    list.clear();
    try {
        list = Backend().FieldNames(table);
    } catch (const EDbError&) {
        CheckLost();
        throw;
    }
}

TDbEngine TDbConnection::Engine() const
{
    return m_backend ? m_backend->Engine() : TDbEngine::None;
}

QString TDbConnection::QuoteName(const QString& name) const
{
    if (m_backend)
        return m_backend->QuoteName(name);
    return TDbBackend::BracketName(name);
}

namespace {

// The engine's text with what was being opened in front, unless the text names it.
QString withSource(const EDbError& error, const dbproviders::SourceDescription& source)
{
    const QString text = error.message();
    if (source.full.isEmpty() || text.contains(source.full))
        return text;
    return source.full + QStringLiteral(": ") + text;
}

} // namespace

void OpenConnection(TDbConnection& connection)
{
    connection.Close();
    connection.SetLoginPrompt(false);
    const TDbResolvedString resolved = dbproviders::Resolve(connection.ConnectionString());
    const dbproviders::SourceDescription& source = resolved.source;
    try {
        connection.Open(resolved);
        return;
    } catch (const EDbError& silent) {
        if (!resolved.failure.isEmpty())
            throw; // it names the data link file already
        if (source.isFile)
            throw EDbError(withSource(silent, source));
        connection.SetLoginPrompt(true);
        try {
            connection.Open(resolved);
        } catch (const EDbLoginCancelled& cancelled) {
            throw EDbError(cancelled.message() + u'\n' + withSource(silent, source));
        } catch (const EDbError& prompted) {
            throw EDbError(withSource(prompted, source));
        }
    }
}
