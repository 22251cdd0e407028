#pragma once

#include "uDbConnectionString.h"
#include "uDbRowsBuilder.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// What one engine behind a connection does. One backend object is one open session;
// destroying it closes the session. Every failure is raised as EDbError with the
// engine's message text. A backend that finds its session lost (server gone) raises
// EDbError and reports Lost() from then on; the connection then closes itself.
class TDbBackend
{
public:
    virtual ~TDbBackend();

    virtual TDbEngine Engine() const = 0;
    // Tables and views, system tables excluded, in the order the engine lists them.
    virtual QStringList TableNames() = 0;
    // A table's field names in column order; EDbError when the table does not exist.
    virtual QStringList FieldNames(const QString& table) = 0;
    // Runs one statement and fetches all of its rows (a statement without a result
    // gives rows with no fields).
    virtual TDbRowsPtr Execute(const QString& sql) = 0;
    // A name ready to put into this engine's SQL: unchanged when it is a plain identifier
    // the engine reads as itself (not a reserved word); else brackets with "]" doubled
    // where the engine takes them, otherwise the engine's own quotes.
    virtual QString QuoteName(const QString& name) const;
    // "[" + name + "]" with every "]" doubled.
    static QString BracketName(const QString& name);
    // True once the session was found broken.
    virtual bool Lost() const { return false; }
    // Called from another thread while Execute runs there: asks the engine to stop the
    // statement soon (Execute then raises an error). Does nothing when idle.
    virtual void Cancel() {}
};

namespace dbproviders {

// What a provider's "Data Source" names, so a connection dialog asks for the right thing.
enum class SourceKind
{
    File,
    Dsn,
    Server,
    Other
};

// What a connection string reaches, for people: brief is the file name, the data
// source name, or server/database; full the whole path, or the kind and the names.
// Never a password. isFile is true for the providers whose source is a database file.
struct SourceDescription
{
    QString brief;
    QString full;
    bool isFile = false;
};

// A row of the built-in provider table (defined with the table).
struct BuiltInProvider;

} // namespace dbproviders

// A connection string read once for an open: its items, the data link file it names
// read and put in its place, the provider found, and what it reaches for messages.
// Everything an open and its messages need, so none of them reads the string again.
struct TDbResolvedString
{
    QString text;              // the string exactly as set
    QString dataLinkFile;      // the data link file it names ("File Name"), or empty
    TDbConnectionString items; // what is opened: the data link file's string, else text
    QString provider;          // items' "Provider" as written; empty for none
    QString providerKey;       // TDbConnectionString::ProviderKey(provider)
    // Its row in the built-in table; null for no provider or one the table lacks.
    const dbproviders::BuiltInProvider* builtIn = nullptr;
    dbproviders::SourceDescription source;
    // Why it cannot be opened at all (the data link file is unreadable or names another
    // one); empty when an open may be tried. An open raises it as EDbError.
    QString failure;
};

// What an open is given: the resolved string and, when the login prompt ran, the user
// name and password typed there (they take the place of the string's "User ID" and
// "Password" for this open only).
struct TDbConnectParams : TDbResolvedString
{
    bool prompted = false;
    QString user;
    QString password;
};

// Makes a backend for a connection string, or raises EDbError.
using TDbBackendFactory = std::function<std::unique_ptr<TDbBackend>(const TDbConnectParams&)>;

// The provider table. Built-in providers come first; a registered factory for the same
// provider name (compared by TDbConnectionString::ProviderKey) takes their place. This is
// the seam through which tests of other units stand in for engines that cannot run here
// (SQL Server). Not thread-safe: register before connections open.
namespace dbproviders {
// Registers (or with an empty factory removes) a factory; returns the one it replaced.
TDbBackendFactory registerProvider(const QString& provider, TDbBackendFactory factory);

// Reads a connection string once: parses it, reads the data link file it names (one
// level: a file naming another is a failure), finds the provider and describes the
// source. Never throws; what keeps it from opening is in failure.
TDbResolvedString Resolve(const QString& text);

// Opens a backend for the parameters: a registered factory, else the built-in table.
// Raises EDbError for a resolution failure, an unknown provider ("Provider cannot be
// found: <name>") or a failed open.
std::unique_ptr<TDbBackend> open(const TDbConnectParams& params);
// The built-in table alone, registered factories aside.
std::unique_ptr<TDbBackend> openBuiltIn(const TDbConnectParams& params);

// The built-in providers by their usual full names, in the order a user picks from.
QStringList builtInProviders();
// The kind of source a provider name takes (Other for a name the table does not know).
SourceKind sourceKind(const QString& provider);
} // namespace dbproviders
