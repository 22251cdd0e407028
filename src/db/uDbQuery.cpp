#include "uDbQuery.h"

#include "uDbBackend.h"
#include "uDbConnection.h"
#include "uDbError.h"

#include "utils.h"

TDbQuery::TDbQuery(QObject* parent) : QObject(parent) {}

TDbQuery::~TDbQuery()
{
    if (m_disconnectWatch)
        disconnect(m_disconnectWatch);
}

void TDbQuery::SetConnection(TDbConnection* connection)
{
    Close();
    if (m_disconnectWatch)
        disconnect(m_disconnectWatch);
    m_connection = connection;
    if (connection)
        m_disconnectWatch = connect(connection, &TDbConnection::AfterDisconnect, this, &TDbQuery::Close);
}

void TDbQuery::SetSQL(const QStringList& lines)
{
    m_sql = lines;
}

QString TDbQuery::SQLText() const
{
    QString out;
    for (const QString& line : m_sql) {
        out += line;
        out += QLatin1Char('\n');
    }
    return out;
}

void TDbQuery::SetSQLText(const QString& text)
{
    m_sql = TextLines(text);
}

void TDbQuery::Open()
{
    Close();
    if (!m_connection)
        throw EDbError(QStringLiteral("Missing Connection or ConnectionString"));
    if (!m_connection->Connected())
        throw EDbError(QStringLiteral("Operation is not allowed when the object is closed."));
    TDbBackend& backend = m_connection->Backend();
    const QString sql = m_sql.join(QLatin1Char('\n'));
    TDbFetchControl control(&backend);
    TDbRowsPtr rows;
    const auto work = [&] {
        const TDbFetchScope scope(control);
        rows = backend.Execute(sql);
    };
    m_fetch = &control;
    try {
        if (m_runner)
            m_runner(work, control);
        else
            work();
    } catch (...) {
        m_fetch = nullptr;
        if (m_connection)
            m_connection->CheckLost();
        // The engine's own word for a stopped statement ("interrupted", "canceling
        // statement due to user request") is no error of the statement.
        if (control.Cancelled())
            throw EDbFetchCancelled();
        throw;
    }
    m_fetch = nullptr;
    if (control.Cancelled())
        throw EDbFetchCancelled(); // it ended just as the user asked it to stop
    m_cursor.SetRows(std::move(rows));
    emit AfterOpen();
}

void TDbQuery::CancelFetch()
{
    if (m_fetch)
        m_fetch->Cancel();
}

void TDbQuery::Close()
{
    if (!m_cursor.Active())
        return;
    m_cursor.SetRows(nullptr);
    emit AfterClose();
}

bool TDbQuery::Active() const
{
    return m_cursor.Active();
}

int TDbQuery::FieldCount() const
{
    return m_cursor.FieldCount();
}

QString TDbQuery::FieldName(int column) const
{
    return m_cursor.Field(column).name;
}

QString TDbQuery::DisplayName(int column) const
{
    return m_cursor.Field(column).displayName;
}

TDbFieldType TDbQuery::FieldType(int column) const
{
    return m_cursor.Field(column).type;
}

int TDbQuery::FieldIndex(const QString& name) const
{
    return m_cursor.FieldIndex(name);
}
