#pragma once

#include "uDbBackend.h"

#include <functional>

struct sqlite3;

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

// What a caller of runSqlite adds to the plain run.
struct SqliteRunHooks
{
    // Gets SQLite's message when a statement fails to prepare; returns true when it
    // removed the cause, and the statement is prepared again. Otherwise EDbError.
    std::function<bool(const QString& message)> mend;
    // Called after each statement is prepared; a non-empty text goes with its rows as
    // their warning.
    std::function<QString()> warning;
};

// Runs the statements of sqlText on an open SQLite handle and fetches the rows of the
// last one that has a result; each column's kind comes from its declared type.
TDbRowsPtr runSqlite(sqlite3* db, const QString& sqlText, const SqliteRunHooks& hooks = {});

// A name in SQLite's double quotes, inner quotes doubled (always valid, whatever it holds).
QString sqliteQuoted(const QString& name);
// A name as the designer writes it for SQLite: bare when plain and reserved by neither
// SQL nor SQLite, else in brackets, or in double quotes when it holds a "]" (SQLite's
// brackets have no escape for it).
QString sqliteQuoteName(const QString& name);

// An Access file (Jet 3, Jet 4 or ACE), read-only: tables are read by the reader process
// into a private SQLite database when a statement first names them, and statements run
// there. EDbError naming the file when it cannot be read or is not an Access file, or
// when a read takes longer than timeoutSeconds.
std::unique_ptr<TDbBackend> openAccess(const QString& file, int timeoutSeconds = 30);

// True when the file has the header of an Access database.
bool isAccessFile(const QString& file);

} // namespace dbbackends
