#pragma once

#include "uDbBackend.h"

// The engines behind the built-in provider table (internal to the layer).
namespace dbbackends {

// An existing SQLite file; EDbError with SQLite's text when it cannot be opened or is
// not a database.
std::unique_ptr<TDbBackend> openSqlite(const QString& file);

struct PostgresParams
{
    QString host;
    QString port;
    QString database;
    QString user;
    QString password;
    // A fetch fails when the server sends nothing for this long (a server that stopped
    // answering while its socket stays open); also the TCP user timeout.
    int silenceSeconds = 30;
};
std::unique_ptr<TDbBackend> openPostgres(const PostgresParams& params);

// An ODBC connection string handed to the driver manager as it is. engine says what is
// behind it when the provider table knows (Access, SQL Server); Odbc otherwise.
std::unique_ptr<TDbBackend> openOdbc(const QString& odbcConnectionString, TDbEngine engine);

// True when the file starts with the SQLite header.
bool isSqliteFile(const QString& file);

} // namespace dbbackends
