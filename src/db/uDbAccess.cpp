#include "uAccessReaderProtocol.h"
#include "uDbAccessReader.h"
#include "uDbAccessSql.h"
#include "uDbAccessStream.h"
#include "uDbBackends.h"
#include "uDbError.h"
#include "uDbHandles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>


#include <map>
#include <optional>
#include <memory>
#include <set>

// Access files are read by a reader process (quillory-access-reader: libmdb, which
// crashes and loops on some damaged files, with limits; one a connection, serving its
// requests one after another) and never written: a table's rows
// are copied into a private in-memory SQLite database the first time a statement names
// the table, so that every statement runs on SQLite's engine (joins of all kinds, ORDER
// BY, GROUP BY, subqueries) and a later statement on the same table costs no second read
// of the file. Nothing is written to disk, so a killed program leaves nothing behind.
namespace {

using namespace accessreader;

class AccessBackend : public TDbBackend
{
public:
    AccessBackend(const QString& file, int timeoutSeconds, SqlitePtr db)
        : m_file(file), m_reader(file, timeoutSeconds), m_db(std::move(db))
    {
        bool ended = false;
        const int code = m_reader.Start([&](char kind, const char* p, quint32 n) {
            if (kind == FrameTable && !ended)
                m_tables << ParseAccessTableName(p, n);
            else if (kind == FrameEnd && n == 0 && !ended)
                ended = true;
            else
                throw EAccessAnswerMalformed(QStringLiteral("a table list"));
        });
        if (code == ExitNotAccess)
            throw EDbError(QStringLiteral("\"%1\" cannot be read as an Access database.").arg(m_file));
        if (code != 0)
            throw EDbError(QStringLiteral("The table list of \"%1\" cannot be read.").arg(m_file));
        if (!ended)
            throw EDbError(malformed(QStringLiteral("reading the table list")));
        sqlite3_set_authorizer(m_db.get(), &AccessBackend::authorize, this);
    }

    TDbEngine Engine() const override { return TDbEngine::Access; }

    QStringList TableNames() override { return m_tables; }

    QStringList FieldNames(const QString& table) override
    {
        const QString name = findTable(table);
        if (name.isEmpty())
            throw EDbError(QStringLiteral("no such table: %1").arg(table));
        auto known = m_fields.constFind(name);
        if (known != m_fields.cend())
            return *known;
        std::optional<TAccessTableHead> head;
        const QString phase = QStringLiteral("reading the columns of \"%1\"").arg(name);
        const int code = m_reader.Request(name, false, phase, [&](char kind, const char* p, quint32 n) {
            if (kind == FrameHead && !head)
                head = ParseAccessHead(p, n);
            else if (!(kind == FrameEnd && head && n == 0))
                throw EAccessAnswerMalformed(QStringLiteral("a column list"));
        });
        checkTableCode(code, name);
        if (!head)
            throw EDbError(malformed(phase));
        return noteFields(name, *head);
    }

    TDbRowsPtr Execute(const QString& sql) override
    {
        dbbackends::SqliteRunHooks hooks;
        hooks.mend = [this](const QString& message) { return loadMissingTable(message); };
        hooks.warning = [this]() { return takeWarning(); };
        m_reads.clear();
        m_refused = false;
        try {
            return dbbackends::runSqlite(m_db.get(), TranslateAccessSql(sql), hooks);
        } catch (const EDbError&) {
            if (m_refused)
                throw EDbError(QStringLiteral("The Access file \"%1\" is open read-only: only SELECT "
                                              "statements can be run on it.")
                                   .arg(m_file));
            throw;
        }
    }

    // Statements run on SQLite, so names are written as for SQLite.
    QString QuoteName(const QString& name) const override { return dbbackends::sqliteQuoteName(name); }

    // A table being read notices the cancelled fetch itself; a statement is interrupted.
    void Cancel() override { sqlite3_interrupt(m_db.get()); }

private:
    QString malformed(const QString& phase) const
    {
        return QStringLiteral("%1: the Access file could not be read; it may be damaged (its reader gave a "
                              "malformed answer while %2).")
            .arg(m_file, phase);
    }

    void checkTableCode(int code, const QString& name) const
    {
        if (code == ExitNoSuchTable)
            throw EDbError(QStringLiteral("no such table: %1").arg(name));
        if (code != 0)
            throw EDbError(QStringLiteral("The table \"%1\" of \"%2\" cannot be read.").arg(name, m_file));
    }

    QStringList noteFields(const QString& table, const TAccessTableHead& head)
    {
        QStringList names;
        for (const TAccessColumn& col : head.columns)
            names << col.name;
        m_fields.insert(table, names);
        return names;
    }

    // The table's name as the file spells it; empty when there is no such user table.
    QString findTable(const QString& name) const
    {
        for (const QString& table : m_tables)
            if (table.compare(name, Qt::CaseInsensitive) == 0)
                return table;
        return {};
    }

    // SQLite's "no such table: X" for an Access table not read yet: read it, so the
    // statement can be prepared again.
    bool loadMissingTable(const QString& message)
    {
        static const QString lead = QStringLiteral("no such table: ");
        if (!message.startsWith(lead))
            return false;
        QString name = message.mid(lead.size());
        if (name.startsWith(QLatin1String("main."), Qt::CaseInsensitive))
            name = name.mid(5);
        name = findTable(name);
        if (name.isEmpty() || m_loaded.contains(name))
            return false;
        loadTable(name);
        return true;
    }

    void loadTable(const QString& name)
    {
        m_loading = true;
        struct Done
        {
            bool& flag;
            ~Done() { flag = false; }
        } done{m_loading};
        TAccessTableFill fill(m_db.get(), name);
        const int code = m_reader.Request(name, true, QStringLiteral("reading the table \"%1\"").arg(name),
                                          [&](char kind, const char* p, quint32 n) { fill.Frame(kind, p, n); });
        checkTableCode(code, name);
        std::map<QString, int> failures;
        try {
            failures = fill.Commit();
        } catch (const EAccessAnswerMalformed&) {
            throw EDbError(malformed(QStringLiteral("reading the table \"%1\"").arg(name)));
        }
        for (const auto& [column, count] : failures)
            m_failures[name.toLower()][column.toLower()] = {name, column, count};
        noteFields(name, fill.Head());
        m_loaded.insert(name);
    }

    // The columns that the statement just prepared reads, with values that could not be
    // read, as one line for the rows.
    QString takeWarning()
    {
        QStringList parts;
        for (const auto& [table, column] : m_reads) {
            auto t = m_failures.find(table);
            if (t == m_failures.end())
                continue;
            auto c = t->second.find(column);
            if (c == t->second.end())
                continue;
            parts << QStringLiteral("%1.%2 (%3)").arg(c->second.table, c->second.column).arg(c->second.count);
        }
        m_reads.clear();
        if (parts.isEmpty())
            return {};
        parts.removeDuplicates();
        return QStringLiteral("Some values could not be read from the Access file and are shown empty: %1.")
            .arg(parts.join(QLatin1String(", ")));
    }

    // Only reading statements run: the copy must not drift from the file, and a change
    // that reached only the copy would be reported as done without being done. Reads
    // are noted for the warning of the statement.
    static int authorize(void* self, int action, const char* a, const char* b, const char*, const char*)
    {
        auto* backend = static_cast<AccessBackend*>(self);
        if (backend->m_loading)
            return SQLITE_OK;
        switch (action) {
        case SQLITE_SELECT:
        case SQLITE_FUNCTION:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        case SQLITE_READ:
            if (a && b)
                backend->m_reads.emplace(QString::fromUtf8(a).toLower(), QString::fromUtf8(b).toLower());
            return SQLITE_OK;
        default:
            backend->m_refused = true;
            return SQLITE_DENY;
        }
    }

    struct Failure
    {
        QString table;
        QString column;
        int count = 0;
    };

    QString m_file;
    dbbackends::TAccessReader m_reader;
    SqlitePtr m_db;
    QStringList m_tables; // user tables, in the file's order
    QHash<QString, QStringList> m_fields;
    QSet<QString> m_loaded;
    // Per table and column (lower case): values that could not be read.
    std::map<QString, std::map<QString, Failure>> m_failures;
    std::set<std::pair<QString, QString>> m_reads;
    bool m_loading = false;
    bool m_refused = false;
};

} // namespace

namespace dbbackends {

bool isAccessFile(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(32);
    return head.size() >= 19 && head.startsWith(QByteArray("\0\1\0\0", 4)) &&
           (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
}

std::unique_ptr<TDbBackend> openAccess(const QString& file, int timeoutSeconds)
{
    if (!QFileInfo(file).isFile())
        throw EDbError(QStringLiteral("Could not find file \"%1\".").arg(file));
    if (!QFileInfo(file).isReadable())
        throw EDbError(QStringLiteral("The file \"%1\" cannot be read: permission denied.").arg(file));
    if (!isAccessFile(file))
        throw EDbError(QStringLiteral("%1: the file is not an Access or SQLite database.").arg(file));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    SqlitePtr db(raw);
    if (rc != SQLITE_OK)
        throw EDbError(QStringLiteral("out of memory"));
    return std::make_unique<AccessBackend>(file, timeoutSeconds, std::move(db));
}

} // namespace dbbackends
