#include "LumQBModel.h"
#include "LumQBSQL.h"
#include "dbTestServer.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The designer's SELECT over tables with awkward names, run on real engines with the
// connection's own quoting: every statement reads that table's rows and nothing else
// runs (the sentinel table survives a name that carries a DROP).
class tst_dbDesignerNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void selectReadsTheNamedTable_data();
    void selectReadsTheNamedTable();
    void plainNamesStayBare_data();
    void plainNamesStayBare();

private:
    TDbConnection* connection(const QString& engine);
    static void exec(TDbConnection& con, const QString& sql)
    {
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({sql});
        try {
            q.Open();
        } catch (const EDbError& e) {
            QFAIL(qPrintable(e.message() + "\n" + sql));
        }
    }
    static qint64 count(TDbConnection& con, const QString& table)
    {
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({"SELECT COUNT(*) FROM " + con.QuoteName(table)});
        q.Open();
        return q.AsInteger(0);
    }

    QTemporaryDir m_dir;
    TDbConnection m_sqlite;
    TDbConnection m_pg;
};

void tst_dbDesignerNames::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile empty(m_dir.filePath("names.db")); // an empty file is an empty database
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    m_sqlite.SetConnectionString("Provider=SQLite;Data Source=" + m_dir.filePath("names.db"));
    m_sqlite.Open();
    const PgServer pg = PgServer::fromEnvironment();
    if (pg.valid()) {
        m_pg.SetConnectionString(pg.connectionString());
        m_pg.Open();
        // A schema of its own, so tests listing the shared database's tables see none of these.
        exec(m_pg, "CREATE SCHEMA IF NOT EXISTS designer_names");
        exec(m_pg, "SET search_path TO designer_names");
    }
    for (TDbConnection* con : {&m_sqlite, &m_pg}) {
        if (!con->Connected())
            continue;
        exec(*con, "DROP TABLE IF EXISTS victim");
        exec(*con, "CREATE TABLE victim (id INTEGER)");
        exec(*con, "INSERT INTO victim VALUES (42)");
        exec(*con, "DROP TABLE IF EXISTS partner");
        exec(*con, "CREATE TABLE partner (id INTEGER, note VARCHAR(20))");
        exec(*con, "INSERT INTO partner VALUES (1, 'p1')");
    }
}

void tst_dbDesignerNames::cleanupTestCase()
{
    for (TDbConnection* con : {&m_sqlite, &m_pg})
        if (con->Connected()) {
            exec(*con, "DROP TABLE IF EXISTS victim");
            exec(*con, "DROP TABLE IF EXISTS partner");
        }
    if (m_pg.Connected())
        exec(m_pg, "DROP SCHEMA designer_names CASCADE");
}

TDbConnection* tst_dbDesignerNames::connection(const QString& engine)
{
    if (engine == "SQLite")
        return &m_sqlite;
    if (!m_pg.Connected())
        return nullptr;
    return &m_pg;
}

void tst_dbDesignerNames::selectReadsTheNamedTable_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("name");
    const QStringList names{
        "with blank",
        " leading blank",
        "trailing blank ",
        "a]b",
        "]",
        "[bracketed]",
        "a[b",
        "a\"b",
        "\"",
        "a'b",
        "semi;colon",
        "t;DROP/**/TABLE/**/victim;--",
        "x\"; DROP TABLE victim; --",
        "y]; DROP TABLE victim; --",
        "dash--dash",
        "/*comment*/",
        "tab\there",
        "new\nline",
        "user",
        "order",
        "select",
        "Table",
        "group",
        "from",
        "current_user",
        "ünïcödé",
        "日本語",
        "Ελληνικά",
        "9starts",
        "CamelCase",
        "UPPER",
        "a.b",
        "back`tick",
        "per%cent",
        "dollar$",
        "(paren)",
        "a,b",
        "a*b",
        "emoji😀",
    };
    for (const char* engine : {"SQLite", "PostgreSQL"})
        for (const QString& name : names)
            QTest::addRow("%s: %s", engine, qPrintable(QString(name).replace('\n', "\\n").replace('\t', "\\t")))
                << QString(engine) << name;
}

// The table is named by the row, and so is its second field; the statement joins the
// sentinel's neighbour with an outer join, sorts and filters, so table names, aliases and
// field names all pass through the quoting.
void tst_dbDesignerNames::selectReadsTheNamedTable()
{
    QFETCH(QString, engine);
    QFETCH(QString, name);
    TDbConnection* con = connection(engine);
    if (!con)
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one)");
    const QString table = con->QuoteName(name);
    exec(*con, "DROP TABLE IF EXISTS " + table);
    exec(*con, "CREATE TABLE " + table + " (id INTEGER, " + con->QuoteName(name) + " VARCHAR(20))");
    exec(*con, "INSERT INTO " + table + " VALUES (2, 'two')");
    exec(*con, "INSERT INTO " + table + " VALUES (1, 'one')");

    QStringList fields;
    con->GetFieldNames(name, fields);
    QCOMPARE(fields, QStringList({"id", name}));
    TLumQBDiagram d;
    TLumQBGridData g;
    TLumQBTableData* t = d.AddTable(name, fields);
    QStringList partnerFields;
    con->GetFieldNames("partner", partnerFields);
    TLumQBTableData* p = d.AddTable("partner", partnerFields);
    TLumQBLinkData* link = d.AddLink(t, p, t->Fields.indexOf("id"), p->Fields.indexOf("id"));
    link->JoinKind = jkLeftOuter;
    auto tick = [&](TLumQBTableData* table, const QString& field) {
        table->SetTicked(table->Fields.indexOf(field), true);
        return g.AddField(field, table->TableName);
    };
    g.SetSortType(tick(t, "id"), "Ascending");
    g.SetCriteria(tick(t, name), "IS NOT NULL");
    tick(p, "note");
    const QStringList sql = GetSQL(d, &g, [con](const QString& n) { return con->QuoteName(n); });

    TDbQuery q;
    q.SetConnection(con);
    q.SetSQL(sql);
    try {
        q.Open();
    } catch (const EDbError& e) {
        QFAIL(qPrintable(e.message() + "\n" + sql.join('\n')));
    }
    QCOMPARE(q.FieldCount(), 3);
    QCOMPARE(q.RecordCount(), 2);
    QStringList rows;
    for (q.First(); !q.Eof(); q.Next())
        rows << q.AsString(0) + "|" + q.AsString(1) + "|" + q.AsString(2);
    QCOMPARE(rows, QStringList({"1|one|p1", "2|two|"}));
    QCOMPARE(count(*con, "victim"), 1);
    exec(*con, "DROP TABLE " + table);
}

void tst_dbDesignerNames::plainNamesStayBare_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");
    QTest::newRow("SQLite: plain") << "SQLite"
                                   << "CustomerID"
                                   << "CustomerID";
    QTest::newRow("SQLite: underscore and digits") << "SQLite"
                                                   << "_tbl_2"
                                                   << "_tbl_2";
    QTest::newRow("SQLite: reserved") << "SQLite"
                                      << "Order"
                                      << "[Order]";
    QTest::newRow("SQLite: engine keyword") << "SQLite"
                                            << "vacuum"
                                            << "[vacuum]";
    QTest::newRow("SQLite: leading digit") << "SQLite"
                                           << "1st"
                                           << "[1st]";
    QTest::newRow("SQLite: closing bracket takes double quotes") << "SQLite"
                                                                 << "a]\"b"
                                                                 << "\"a]\"\"b\"";
    QTest::newRow("PostgreSQL: lower case") << "PostgreSQL"
                                            << "invoice_line"
                                            << "invoice_line";
    QTest::newRow("PostgreSQL: mixed case would fold") << "PostgreSQL"
                                                       << "CustomerID"
                                                       << "\"CustomerID\"";
    QTest::newRow("PostgreSQL: reserved") << "PostgreSQL"
                                          << "user"
                                          << "\"user\"";
}

void tst_dbDesignerNames::plainNamesStayBare()
{
    QFETCH(QString, engine);
    QFETCH(QString, name);
    QFETCH(QString, written);
    TDbConnection* con = connection(engine);
    if (!con)
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one)");
    QCOMPARE(con->QuoteName(name), written);
}

QTEST_GUILESS_MAIN(tst_dbDesignerNames)
#include "tst_dbDesignerNames.moc"
