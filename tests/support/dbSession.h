#pragma once

#include "uDbConnection.h"
#include "uDbQuery.h"

#include <QString>
#include <QStringList>

// The start of most database tests: a connection opened on a connection string and a
// query on it. An open that fails raises EDbError, as TDbConnection::Open does.
class DbSession
{
public:
    explicit DbSession(const QString& connectionString);

    // Sets the statement's lines and opens the query.
    TDbQuery& run(const QStringList& sql);

    TDbConnection con;
    TDbQuery q;
};
