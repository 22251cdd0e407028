#include "dbSession.h"

DbSession::DbSession(const QString& connectionString)
{
    con.SetConnectionString(connectionString);
    con.Open();
    q.SetConnection(&con);
}

TDbQuery& DbSession::run(const QStringList& sql)
{
    q.SetSQL(sql);
    q.Open();
    return q;
}
