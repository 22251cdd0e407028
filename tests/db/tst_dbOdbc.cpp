#include "dbSession.h"
#include "dbTestServer.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"
#include "uDialogScript.h"

#include <QTest>

// unixODBC with real drivers: DSNs of a test odbc.ini for the SQLite3, PostgreSQL and
// MDBTools drivers (Access files have their own backend, but a data source that a user
// defines with the MDBTools driver must still work), and FreeTDS where no SQL Server listens.
class tst_dbOdbc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dataSources_data();
    void dataSources();
    void loginPromptReachesTheDriver();
    void odbcStringWithoutProvider();
    void unknownDataSource();
    void accessTablesWithoutSystemTables();
    void accessOrderDetails();
    void accessDatesAndText();
    void sqlServerOnClosedPort();

private:
    OdbcSandbox m_odbc;
    PgServer m_pg;
};

void tst_dbOdbc::initTestCase()
{
    m_pg = PgServer::fromEnvironment();
    QByteArray dsns = "[ChinookLite]\nDriver=SQLite3\nDatabase=" + chinookFile().toUtf8() + "\n\n";
    dsns += "[NwindMdb]\nDriver=MDBTools\nDatabase=" + nwindFile().toUtf8() + "\n\n";
    dsns += "[DateTestMdb]\nDriver=MDBTools\nDatabase=" QUILLORY_TESTDATA "/access/DateTestDatabase.mdb\n\n";
    if (m_pg.valid())
        dsns += QString("[ChinookPg]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n\n")
                    .arg(m_pg.host, m_pg.port, m_pg.db)
                    .toUtf8();
    QVERIFY(m_odbc.setUp(dsns));
}

void tst_dbOdbc::dataSources_data()
{
    QTest::addColumn<QString>("dsn");
    QTest::addColumn<QString>("credentials");
    QTest::addColumn<QString>("invoice");
    QTest::addColumn<QString>("quotedOrder");
    QTest::newRow("SQLite3 driver") << "ChinookLite"
                                    << ""
                                    << "Invoice"
                                    << "[Order]";
    QTest::newRow("PostgreSQL driver") << "ChinookPg"
                                       << ";User ID=" + m_pg.user + ";Password=" + m_pg.password << "invoice"
                                       << "\"Order\"";
}

void tst_dbOdbc::dataSources()
{
    QFETCH(QString, dsn);
    QFETCH(QString, credentials);
    QFETCH(QString, invoice);
    QFETCH(QString, quotedOrder);
    if (dsn == "ChinookPg" && !m_pg.valid())
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one)");
    DbSession db("Provider=MSDASQL.1;Persist Security Info=False;Data Source=" + dsn + credentials);
    TDbConnection& con = db.con;
    QCOMPARE(con.Engine(), TDbEngine::Odbc);
    QCOMPARE(con.QuoteName("Order"), quotedOrder);
    QStringList tables;
    con.GetTableNames(tables);
    QCOMPARE(tables.size(), 11);
    QVERIFY(tables.contains(invoice));
    QStringList fields;
    con.GetFieldNames(invoice, fields);
    QCOMPARE(fields.size(), 9);
    QCOMPARE(fields.at(2).toLower().remove('_'), QStringLiteral("invoicedate"));

    TDbQuery& q = db.run({"select * from " + invoice, "order by 1"});
    QCOMPARE(q.RecordCount(), 412);
    QCOMPARE(FieldTypeName(q.FieldType(2)), FieldTypeName(TDbFieldType::DateTime));
    QCOMPARE(q.Cursor().AsDateTime(2), QDateTime(QDate(2021, 1, 1), QTime(0, 0)));
    QCOMPARE(q.AsString(3), QStringLiteral("Theodor-Heuss-Straße 34"));
    QVERIFY(q.IsNull(5));
    QCOMPARE(q.AsString(8), QStringLiteral("1.98"));

    QVERIFY_THROWS_EXCEPTION(EDbError, db.run({"select count(*) from nope_table"}));
    QVERIFY(con.Connected());
}

void tst_dbOdbc::loginPromptReachesTheDriver()
{
    if (!m_pg.valid())
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one)");
    ScriptedDialogs dialogs;
    TDbConnection con;
    con.SetConnectionString("Provider=MSDASQL.1;Persist Security Info=False;Data Source=ChinookPg");
    QVERIFY_THROWS_EXCEPTION(EDbError, con.Open());
    con.SetLoginPrompt(true);
    dialogs.login(m_pg.user, m_pg.password);
    con.Open();
    QVERIFY(con.Connected());
}

void tst_dbOdbc::odbcStringWithoutProvider()
{
    const QString text = "Driver=SQLite3;Database=" + chinookFile();
    DbSession db(text);
    QCOMPARE(db.con.ConnectionString(), text);
    QCOMPARE(db.run({"select count(*) from [Track]"}).AsInteger(0), 3503);
}

void tst_dbOdbc::unknownDataSource()
{
    TDbConnection con;
    con.SetConnectionString("Provider=MSDASQL.1;Persist Security Info=False;Data Source=NoSuchSource");
    expectError<EDbError>(
        [&] { con.Open(); },
        "[unixODBC][Driver Manager]Data source name not found and no default driver specified");
    QVERIFY(!con.Connected());
}

void tst_dbOdbc::accessTablesWithoutSystemTables()
{
    TDbConnection con;
    con.SetConnectionString("Provider=MSDASQL.1;Persist Security Info=False;Data Source=NwindMdb");
    con.Open();
    QCOMPARE(con.Engine(), TDbEngine::Odbc);
    QStringList tables;
    con.GetTableNames(tables);
    for (const QString& t : {"Order Details", "Orders", "Products", "Shippers", "Categories", "Customers",
                             "Employees", "Suppliers", "Umsätze"})
        QVERIFY2(tables.contains(t), qPrintable(t));
    for (const QString& t : tables)
        QVERIFY2(!t.startsWith("MSys", Qt::CaseInsensitive), qPrintable(t));
}

void tst_dbOdbc::accessOrderDetails()
{
    TDbConnection con;
    con.SetConnectionString("Provider=MSDASQL.1;Data Source=NwindMdb");
    con.Open();
    QStringList fields;
    con.GetFieldNames("Order Details", fields);
    QCOMPARE(fields, QStringList({"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select * from [Order Details]"});
    q.Open();
    QCOMPARE(q.RecordCount(), 2155);
    QCOMPARE(FieldTypeName(q.FieldType(0)), FieldTypeName(TDbFieldType::Integer));
    QCOMPARE(FieldTypeName(q.FieldType(2)), FieldTypeName(TDbFieldType::Currency));
    QCOMPARE(q.AsInteger(0), 10248);
    QCOMPARE(q.AsString(2), QStringLiteral("14"));
    QCOMPARE(q.AsInteger(3), 12);
    // Discount is an Access Single: 0.15 reads as the float nearest to it, and shows as 0.15.
    QCOMPARE(FieldTypeName(q.FieldType(4)), FieldTypeName(TDbFieldType::Single));
    q.SetSQL({"select * from [Order Details] where OrderID = 10250 and ProductID = 51"});
    q.Open();
    QCOMPARE(q.AsString(4), QStringLiteral("0.15"));
    q.SetSQL({"select count(*) from [Order Details]"});
    q.Open();
    QCOMPARE(q.AsInteger(0), 2155);
}

void tst_dbOdbc::accessDatesAndText()
{
    TDbConnection con;
    con.SetConnectionString("Provider=MSDASQL.1;Data Source=NwindMdb");
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select * from [Umsätze]"});
    q.Open();
    QCOMPARE(q.RecordCount(), 830);
    const int orderDate = q.FieldIndex("OrderDate");
    QCOMPARE(FieldTypeName(q.FieldType(orderDate)), FieldTypeName(TDbFieldType::DateTime));
    QCOMPARE(q.Cursor().AsDateTime(orderDate).date().year(), 1994);
    bool munich = false;
    for (q.First(); !q.Eof(); q.Next())
        munich = munich || q.AsString(q.FieldIndex("ShipCity")) == QStringLiteral("München");
    QVERIFY(munich);

    TDbConnection dates;
    dates.SetConnectionString("Provider=MSDASQL.1;Data Source=DateTestMdb");
    dates.Open();
    q.SetConnection(&dates);
    q.SetSQL({"select * from DateTest"});
    q.Open();
    QCOMPARE(q.RecordCount(), 6);
    QCOMPARE(q.Cursor().AsDateTime(1), QDateTime(QDate(2021, 12, 2), QTime(0, 0)));
    q.Cursor().Last();
    QCOMPARE(q.AsString(4), QStringLiteral("New line\r\nin field")); // as Access stores it
}

// No SQL Server exists here: the FreeTDS driver must give a clear error, not hang.
void tst_dbOdbc::sqlServerOnClosedPort()
{
    const int port = closedLoopbackPort();
    QVERIFY(port > 0);

    TDbConnection con;
    con.SetConnectionString(QString("Provider=SQLOLEDB.1;Password=x;Persist Security Info=True;User ID=sa;"
                                    "Initial Catalog=master;Data Source=127.0.0.1,%1")
                                .arg(port));
    const QString message = errorMessage<EDbError>([&] { con.Open(); });
    QVERIFY2(message.contains("[FreeTDS][SQL Server]Unable to connect"), qPrintable(message));
    QVERIFY(!con.Connected());
}

QTEST_GUILESS_MAIN(tst_dbOdbc)
#include "tst_dbOdbc.moc"
