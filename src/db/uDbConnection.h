#pragma once

#include "uDbBackend.h"
#include "uDbError.h"
#include "uDbTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// A database connection: the stand-in for the provider layer's connection object.
//
// The connection string is kept and read back exactly as set (the layer only reads
// values from it). With the login prompt on, Open first asks for a user name and a
// password through the dialog seam (dialogs::loginPrompt); cancelling makes Open fail.
// The typed credentials are used for that open only and never written into the string.
//
// Errors: Open, GetTableNames and GetFieldNames raise EDbError with the engine's text.
// When the engine reports a lost session, the connection closes itself (AfterDisconnect
// is emitted) and can be opened again.
// Ownership: a plain QObject; queries refer to it and are closed when it disconnects.
class TDbConnection : public QObject
{
    Q_OBJECT
public:
    explicit TDbConnection(QObject* parent = nullptr);
    // Closes an open session without emitting AfterDisconnect (the owner is going away).
    ~TDbConnection() override;

    const QString& ConnectionString() const { return m_connectionString; }
    // Raises EDbError "Operation is not allowed when the object is open." while connected.
    void SetConnectionString(const QString& text);

    bool LoginPrompt() const { return m_loginPrompt; }
    void SetLoginPrompt(bool on) { m_loginPrompt = on; }

    // Does nothing when connected already. Emits AfterConnect on success. The first form
    // reads the current string afresh; the second takes it as dbproviders::Resolve read it.
    void Open();
    void Open(const TDbResolvedString& resolved);
    // Does nothing when closed; otherwise ends the session and emits AfterDisconnect.
    void Close();
    bool Connected() const { return m_backend != nullptr; }

    // Names of tables and views (system tables excluded) into list, cleared first.
    void GetTableNames(QStringList& list);
    // Field names of a table in column order into list, cleared first.
    void GetFieldNames(const QString& table, QStringList& list);

    // What the last session opened reaches (file, data source, server), for people;
    // empty before the first open.
    const dbproviders::SourceDescription& Source() const { return m_source; }

    // The engine behind the open session; TDbEngine::None when closed.
    TDbEngine Engine() const;
    // A table, field or alias name written for this engine's SQL, safe for any name
    // (blanks, quotes, ";", reserved words): unchanged when it is a plain identifier
    // (ASCII letters, digits, "_", no leading digit; PostgreSQL: lower case) and no
    // reserved word; else "[" + name + "]" with "]" doubled for Access and SQL Server
    // (SQLite too, but its brackets cannot hold a "]": such names get its double
    // quotes); the engine's own quotes for PostgreSQL and other ODBC sources. When
    // closed, the bracket form. The designer's statement generator takes this as its
    // quoting function.
    QString QuoteName(const QString& name) const;

    // The open session, for TDbQuery. Raises EDbError when closed.
    TDbBackend& Backend();
    // Called by users of Backend() after an EDbError: closes the connection when the
    // backend reports its session lost.
    void CheckLost();

signals:
    void AfterConnect();
    void AfterDisconnect();

private:
    QString m_connectionString;
    bool m_loginPrompt = false;
    std::unique_ptr<TDbBackend> m_backend;
    dbproviders::SourceDescription m_source;
};

// Raised by Open when the login prompt was cancelled.
class EDbLoginCancelled : public EDbError
{
public:
    using EDbError::EDbError;
};

// Opens connection with its current string, read once for all attempts: closed first, then silently (no login
// prompt), and only when that fails, for a server, again with the login prompt, so that
// the user is asked for a password only when one is needed. A database file is never
// prompted for: a file that does not open is no matter of a password. The prompt
// switch stays as the last attempt left it.
//
// Errors: EDbError whose text names what was opened (the file, the data source or the
// server and database; never a password) before the engine's own text, unless that text
// names it already. A data link file that cannot be read is no matter of a password
// either. A cancelled prompt gives "Login cancelled.", a line break and the
// silent attempt's error, which is what went wrong.
void OpenConnection(TDbConnection& connection);
