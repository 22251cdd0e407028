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
    TDbRowsPtr rows;
    try {
        rows = m_connection->Backend().Execute(m_sql.join(QLatin1Char('\n')));
    } catch (const EDbError&) {
        m_connection->CheckLost();
        throw;
    }
    m_cursor.SetRows(std::move(rows));
    emit AfterOpen();
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
