#include "dbSession.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbFake.h"
#include "uDbQuery.h"
#include "uDialogScript.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

// The connection and query over real SQLite files, reached through the providers the
// program writes (the Access provider with an SQLite file, and "SQLite"), and the
// behaviour every engine shares: signals, the login prompt, errors, data link files.
class tst_dbSqlite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tableAndViewNames_data();
    void tableAndViewNames();
    void fieldNamesInColumnOrder();
    void fieldTypesFromDeclaredTypes_data();
    void fieldTypesFromDeclaredTypes();
    void declaredKindsOfAllSorts();
    void dateColumnWithOddValuesStaysDates();
    void nullsMatchTheEngine();
    void reservedWordTable();
    void errorsCarryTheEngineText_data();
    void errorsCarryTheEngineText();
    void connectionStringKeptAsGiven();
    void openCloseAndSignals();
    void loginPrompt();
    void queryWalkAndLines();
    void queryClosesWithItsConnection();
    void queryRowsSharedWithSecondView();
    void statementWithoutRows();
    void dataLinkFile();
    void fakeProviderSeam();

private:
    static QString northwind() { return testDataFile("sqlite/Northwind_small.sqlite"); }
    static QString jet(const QString& file)
    {
        return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Persist Security Info=False";
    }
    // The engine's own count, straight through sqlite3.
    static qint64 count(const QString& file, const char* sql);

    QTemporaryDir m_dir;
};

qint64 tst_dbSqlite::count(const QString& file, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    sqlite3_step(st);
    qint64 n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

void tst_dbSqlite::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_dbSqlite::tableAndViewNames_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("chinook via the Access provider")
        << jet(chinookFile())
        << QStringList{"Album",       "Artist",    "Customer", "Employee",      "Genre", "Invoice",
                       "InvoiceLine", "MediaType", "Playlist", "PlaylistTrack", "Track"};
    QTest::newRow("northwind via SQLite, view last") << "Provider=SQLite;Data Source=" + northwind()
                                                     << QStringList{"Category",
                                                                    "Customer",
                                                                    "CustomerCustomerDemo",
                                                                    "CustomerDemographic",
                                                                    "Employee",
                                                                    "EmployeeTerritory",
                                                                    "Order",
                                                                    "OrderDetail",
                                                                    "Product",
                                                                    "Region",
                                                                    "Shipper",
                                                                    "Supplier",
                                                                    "Territory",
                                                                    "ProductDetails_V"};
}

void tst_dbSqlite::tableAndViewNames()
{
    QFETCH(QString, connection);
    QFETCH(QStringList, names);
    TDbConnection con;
    con.SetConnectionString(connection);
    con.Open();
    QCOMPARE(con.Engine(), TDbEngine::SQLite);
    QStringList list{"left over"};
    con.GetTableNames(list);
    QCOMPARE(list, names);
}

void tst_dbSqlite::fieldNamesInColumnOrder()
{
    TDbConnection con;
    con.SetConnectionString(jet(chinookFile()));
    con.Open();
    QStringList list{"left over"};
    con.GetFieldNames("Invoice", list);
    QCOMPARE(list, QStringList({"InvoiceId", "CustomerId", "InvoiceDate", "BillingAddress", "BillingCity",
                                "BillingState", "BillingCountry", "BillingPostalCode", "Total"}));
    con.GetFieldNames("invoiceline", list); // table names compare without case, as in SQL
    QCOMPARE(list.first(), QStringLiteral("InvoiceLineId"));
    expectError<EDbError>([&] { con.GetFieldNames("Nope", list); }, "no such table: Nope");
    QVERIFY(list.isEmpty());
    QVERIFY(con.Connected());
}

void tst_dbSqlite::fieldTypesFromDeclaredTypes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("first");

    QTest::newRow("DATETIME") << chinookFile() << "select InvoiceDate from Invoice order by InvoiceId"
                              << int(TDbFieldType::DateTime)
                              << QVariant(QDateTime(QDate(2021, 1, 1), QTime(0, 0)));
    QTest::newRow("NUMERIC(10,2)") << chinookFile() << "select Total from Invoice order by InvoiceId"
                                   << int(TDbFieldType::BCD) << QVariant(QStringLiteral("1.98"));
    QTest::newRow("NVARCHAR") << chinookFile() << "select Name from Artist order by ArtistId"
                              << int(TDbFieldType::WideString) << QVariant(QStringLiteral("AC/DC"));
    QTest::newRow("INTEGER") << chinookFile() << "select Milliseconds from Track order by TrackId"
                             << int(TDbFieldType::Integer) << QVariant(qlonglong(343719));
    QTest::newRow("count(*) expression") << chinookFile() << "select count(*) from Track"
                                         << int(TDbFieldType::Integer) << QVariant(qlonglong(3503));
    QTest::newRow("text expression") << chinookFile() << "select date(InvoiceDate) from Invoice order by 1"
                                     << int(TDbFieldType::String) << QVariant(QStringLiteral("2021-01-01"));
    QTest::newRow("VARCHAR dates stay text")
        << northwind() << "select OrderDate from [Order] order by Id" << int(TDbFieldType::String)
        << QVariant(QStringLiteral("2012-07-04"));
    QTest::newRow("DECIMAL") << northwind() << "select Freight from [Order] order by Id"
                             << int(TDbFieldType::BCD) << QVariant(QStringLiteral("32.38"));
    QTest::newRow("BLOB") << northwind() << "select Photo from Employee order by Id"
                          << int(TDbFieldType::Blob) << QVariant();
}

void tst_dbSqlite::fieldTypesFromDeclaredTypes()
{
    QFETCH(QString, file);
    QFETCH(QString, sql);
    QFETCH(int, type);
    QFETCH(QVariant, first);
    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + file);
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({sql});
    q.Open();
    QCOMPARE(FieldTypeName(q.FieldType(0)), FieldTypeName(TDbFieldType(type)));
    if (first.isValid()) {
        if (first.typeId() == QMetaType::QString)
            QCOMPARE(q.AsString(0), first.toString());
        else
            QCOMPARE(q.Cursor().Value(0), first);
    }
}

// A database of our own with every declared kind the layer maps, and a value that does not
// fit its declared type, which SQLite allows.
void tst_dbSqlite::declaredKindsOfAllSorts()
{
    const QString file = m_dir.filePath("kinds.sqlite");
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    const char* ddl =
        "create table k (d DATE, t TIME, ts TIMESTAMP, b BOOLEAN, n NUMERIC, c CHAR(3), "
        "m TEXT, r REAL, money CURRENCY, odd DATE);"
        "insert into k values ('2004-03-02', '14:30:00', '2004-03-02 14:30:00.5', 1, 2.5, 'ab ', "
        "'line1\nline2', 1.5, 12.3456, '2004-03-02');"
        "insert into k values (null, null, null, 0, null, null, null, null, null, 'tomorrow');";
    QCOMPARE(sqlite3_exec(db, ddl, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + file);
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select * from k"});
    q.Open();
    const QList<TDbFieldType> kinds = {TDbFieldType::Date,    TDbFieldType::Time,  TDbFieldType::DateTime,
                                       TDbFieldType::Boolean, TDbFieldType::BCD,   TDbFieldType::FixedString,
                                       TDbFieldType::Memo,    TDbFieldType::Float, TDbFieldType::Currency,
                                       TDbFieldType::Date};
    for (int i = 0; i < kinds.size(); ++i)
        QCOMPARE(FieldTypeName(q.FieldType(i)), FieldTypeName(kinds[i]));
    TDbRowCursor& c = q.Cursor();
    QCOMPARE(c.Value(0), QVariant(QDate(2004, 3, 2)));
    QCOMPARE(c.Value(1), QVariant(QTime(14, 30)));
    QCOMPARE(c.AsDateTime(2), QDateTime(QDate(2004, 3, 2), QTime(14, 30, 0, 500)));
    QCOMPARE(c.AsString(3), QStringLiteral("True"));
    QCOMPARE(c.AsString(5), QStringLiteral("ab "));
    QCOMPARE(c.AsString(6), QStringLiteral("line1\nline2"));
    QCOMPARE(c.AsString(8), QStringLiteral("12.3456"));
    QCOMPARE(c.Value(9), QVariant(QDate(2004, 3, 2))); // the column that held "tomorrow"
    q.Next();
    for (int i : {0, 1, 2, 4, 5, 6, 7, 8, 9})
        QVERIFY(c.IsNull(i));
    QCOMPARE(c.AsString(3), QStringLiteral("False"));
}

// A DATETIME column with values that are no dates stays a date-time column: those values
// are shown empty and the warning says where and how many, so the diary can still use it.
void tst_dbSqlite::dateColumnWithOddValuesStaysDates()
{
    const QString file = m_dir.filePath("odd-dates.sqlite");
    QVERIFY(execSqlite(file, "create table Visit (Id INTEGER, Due DATETIME);"
                             "insert into Visit values (1, '2004-03-02 14:30:00'), (2, 'next week'), "
                             "(3, null), (4, 38000), (5, '2004-03-05');"));
    DbSession db("Provider=SQLite;Data Source=" + file);
    TDbQuery& q = db.run({"select Id, Due from Visit order by Id"});
    QCOMPARE(q.FieldType(1), TDbFieldType::DateTime);
    QList<QDateTime> due;
    for (q.First(); !q.Eof(); q.Next())
        due << q.Cursor().AsDateTime(1);
    QCOMPARE(due, QList<QDateTime>({QDateTime(QDate(2004, 3, 2), QTime(14, 30)), QDateTime(), QDateTime(),
                                    QDateTime(), QDateTime(QDate(2004, 3, 5), QTime(0, 0))}));
    QCOMPARE(q.Rows()->Warning(),
             QStringLiteral("Some values of date columns are not dates and are shown empty: Due (2)."));
}

void tst_dbSqlite::nullsMatchTheEngine()
{
    TDbConnection con;
    con.SetConnectionString(jet(northwind()));
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select Id, ShippedDate, ShipRegion from [Order]"});
    q.Open();
    qint64 nullShipped = 0, nullRegion = 0;
    for (q.First(); !q.Eof(); q.Next()) {
        nullShipped += q.IsNull(1);
        nullRegion += q.IsNull(2);
        if (q.IsNull(1))
            QCOMPARE(q.AsString(1), QString());
    }
    QCOMPARE(nullShipped, count(northwind(), "select count(*) from [Order] where ShippedDate is null"));
    QCOMPARE(nullRegion, count(northwind(), "select count(*) from [Order] where ShipRegion is null"));
    QVERIFY(nullShipped > 0);
}

void tst_dbSqlite::reservedWordTable()
{
    TDbConnection con;
    con.SetConnectionString(jet(northwind()));
    con.Open();
    QCOMPARE(con.QuoteName("Order"), QStringLiteral("[Order]"));
    QCOMPARE(con.QuoteName("Order Details"), QStringLiteral("[Order Details]"));
    QStringList fields;
    con.GetFieldNames("Order", fields);
    QCOMPARE(fields.first(), QStringLiteral("Id"));
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select count(*) from " + con.QuoteName("Order")});
    q.Open();
    QCOMPARE(q.AsInteger(0), count(northwind(), "select count(*) from [Order]"));
}

void tst_dbSqlite::errorsCarryTheEngineText_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");

    const QString notDb = QStringLiteral(QUILLORY_TESTDATA "/sqlite/SOURCES.md");
    const QString missing = QStringLiteral(QUILLORY_TESTDATA "/sqlite/none.sqlite");
    QTest::newRow("file is not a database") << "Provider=SQLite;Data Source=" + notDb << ""
                                            << "file is not a database";
    QTest::newRow("missing file, SQLite") << "Provider=SQLite;Data Source=" + missing << ""
                                          << "unable to open database file: " + missing;
    QTest::newRow("missing file, Access provider") << jet(missing) << ""
                                                   << "Could not find file '" + missing + "'.";
    QTest::newRow("unknown provider") << "Provider=Foo.Bar.1;Data Source=x"
                                      << ""
                                      << "Provider cannot be found: Foo.Bar.1";
    QTest::newRow("empty connection string")
        << ""
        << ""
        << "The connection string names no provider, driver or data source.";
    QTest::newRow("statement rejected") << jet(chinookFile()) << "selec * from Album"
                                        << "near \"selec\": syntax error";
    QTest::newRow("no such table") << jet(chinookFile()) << "select * from Albums"
                                   << "no such table: Albums";
    QTest::newRow("no such column") << jet(chinookFile()) << "select Nope from Album"
                                    << "no such column: Nope";
}

void tst_dbSqlite::errorsCarryTheEngineText()
{
    QFETCH(QString, connection);
    QFETCH(QString, sql);
    QFETCH(QString, message);
    TDbConnection con;
    QSignalSpy connected(&con, &TDbConnection::AfterConnect);
    con.SetConnectionString(connection);
    TDbQuery q;
    q.SetConnection(&con);
    expectError<EDbError>(
        [&] {
            con.Open();
            QVERIFY2(!sql.isEmpty(), "open should have failed");
            q.SetSQL({sql});
            q.Open();
        },
        message);
    QVERIFY(!q.Active());
    QCOMPARE(con.Connected(), !sql.isEmpty()); // a rejected statement leaves the connection open
    QCOMPARE(connected.count(), sql.isEmpty() ? 0 : 1);
}

void tst_dbSqlite::connectionStringKeptAsGiven()
{
    const QString text = " provider = SQLite ;  Data Source=" + chinookFile() + " ;Unknown Key=1;;";
    TDbConnection con;
    con.SetConnectionString(text);
    con.Open();
    QCOMPARE(con.ConnectionString(), text);
    expectError<EDbError>([&] { con.SetConnectionString("Provider=SQLite"); },
                          "Operation is not allowed when the object is open.");
    QCOMPARE(con.ConnectionString(), text);
}

void tst_dbSqlite::openCloseAndSignals()
{
    TDbConnection con;
    QSignalSpy up(&con, &TDbConnection::AfterConnect);
    QSignalSpy down(&con, &TDbConnection::AfterDisconnect);
    con.Close(); // closing a closed connection does nothing
    QCOMPARE(down.count(), 0);
    con.SetConnectionString(jet(chinookFile()));
    con.Open();
    con.Open(); // already open: nothing
    QVERIFY(con.Connected());
    QCOMPARE(up.count(), 1);
    con.Close();
    con.Close();
    QVERIFY(!con.Connected());
    QCOMPARE(down.count(), 1);
    QCOMPARE(con.Engine(), TDbEngine::None);
    QStringList list{"x"};
    QVERIFY_THROWS_EXCEPTION(EDbError, con.GetTableNames(list));
    QVERIFY(list.isEmpty());
    con.Open(); // a closed connection opens again
    QCOMPARE(up.count(), 2);
}

void tst_dbSqlite::loginPrompt()
{
    ScriptedDialogs dialogs;
    TDbConnection con;
    QSignalSpy up(&con, &TDbConnection::AfterConnect);
    con.SetConnectionString(jet(chinookFile()) + ";User ID=admin");
    con.SetLoginPrompt(true);

    dialogs.cancel();
    expectError<EDbError>([&] { con.Open(); }, "Login cancelled.");
    QVERIFY(!con.Connected());
    QCOMPARE(up.count(), 0);
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().kind, dialogs::Kind::Login);
    QCOMPARE(dialogs.last().user, QStringLiteral("admin")); // proposed from the string

    dialogs.login("admin", "secret");
    con.Open();
    QVERIFY(con.Connected());
    QCOMPARE(dialogs.shown().size(), 2);
    QVERIFY(!con.ConnectionString().contains("secret")); // typed credentials stay out of it

    con.Close();
    con.SetLoginPrompt(false);
    con.Open(); // no prompt: a dialog with no queued answer would fail the test
    QCOMPARE(dialogs.shown().size(), 2);
}

void tst_dbSqlite::queryWalkAndLines()
{
    TDbConnection con;
    con.SetConnectionString(jet(chinookFile()));
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL(
        {"select ArtistId, Name", "from Artist", "-- a comment line", "where ArtistId <= 3", "order by 1"});
    QCOMPARE(q.SQLText(),
             QStringLiteral(
                 "select ArtistId, Name\nfrom Artist\n-- a comment line\nwhere ArtistId <= 3\norder by 1\n"));
    QSignalSpy opened(&q, &TDbQuery::AfterOpen);
    q.Open();
    QVERIFY(q.Active() && q.Browsing());
    QCOMPARE(opened.count(), 1);
    QCOMPARE(q.RecordCount(), 3);
    QCOMPARE(q.FieldCount(), 2);
    QCOMPARE(q.FieldName(1), QStringLiteral("Name"));
    QCOMPARE(q.DisplayName(1), QStringLiteral("Name"));
    QCOMPARE(q.FieldIndex("name"), 1);
    QStringList names;
    for (q.First(); !q.Eof(); q.Next())
        names << QString::number(q.AsInteger(0)) + ":" + q.AsString(1);
    QCOMPARE(names, QStringList({"1:AC/DC", "2:Accept", "3:Aerosmith"}));

    q.SetSQLText("select count(*)\r\nfrom Album\r\n");
    QCOMPARE(q.SQL(), QStringList({"select count(*)", "from Album"}));
    q.Open();
    QCOMPARE(q.AsInteger(0), count(chinookFile(), "select count(*) from Album"));
}

void tst_dbSqlite::queryClosesWithItsConnection()
{
    auto con = std::make_unique<TDbConnection>();
    con->SetConnectionString(jet(chinookFile()));
    con->Open();
    TDbQuery q;
    q.SetConnection(con.get());
    q.SetSQL({"select * from Genre"});
    q.Open();
    QSignalSpy closed(&q, &TDbQuery::AfterClose);
    con->Close();
    QVERIFY(!q.Active());
    QCOMPARE(closed.count(), 1);
    con->Open();
    q.Open();
    con.reset(); // the connection goes away: the query forgets it
    QVERIFY(!q.Connection());
    QVERIFY_THROWS_EXCEPTION(EDbError, q.Open());
}

void tst_dbSqlite::queryRowsSharedWithSecondView()
{
    DbSession db(jet(chinookFile()));
    TDbQuery& q = db.run({"select * from Track"});
    TDbRowCursor copy; // the query window's copy
    copy.SetRows(q.Rows());
    QCOMPARE(copy.Rows().get(), q.Rows().get());
    QCOMPARE(copy.RecordCount(), 3503);
    q.Close();
    QVERIFY(copy.Active()); // the copy keeps its rows after the query closes
    copy.Last();
    QCOMPARE(copy.AsInteger(0), 3503);
}

void tst_dbSqlite::statementWithoutRows()
{
    const QString scratch = writableCopy(m_dir, "scratch.sqlite");
    QVERIFY(!scratch.isEmpty());
    DbSession db(jet(scratch));
    TDbQuery& q = db.run({"create table t (a integer);", "insert into t values (1);",
                          "insert into t values (2);", "select sum(a) from t;"});
    QCOMPARE(q.AsInteger(0), 3); // the rows of the last statement that has any
    db.run({"delete from t"});
    QVERIFY(q.Active());
    QCOMPARE(q.FieldCount(), 0);
    QVERIFY(q.Eof());
}

void tst_dbSqlite::dataLinkFile()
{
    const QString udl = m_dir.filePath("chinook.udl");
    QVERIFY(writeDataLinkFile(udl, "Provider=SQLite;Data Source=" + chinookFile()));

    TDbConnection con;
    con.SetConnectionString("FILE NAME=" + udl);
    con.Open();
    QCOMPARE(con.ConnectionString(), "FILE NAME=" + udl);
    QStringList tables;
    con.GetTableNames(tables);
    QVERIFY(tables.contains("Album"));
}

// The seam other units use for engines that cannot run here; here through a real data
// link file that names the SQL Server provider.
void tst_dbSqlite::fakeProviderSeam()
{
    TDbFakeProvider server("SQLOLEDB.1");
    server.SetResult("exec sp_databases", TDbRowsBuilder::FromStrings({"DATABASE_NAME", "DATABASE_SIZE"},
                                                                      {{"master", "1"}, {"Test", "2"}}));
    TDbConnection con;
    con.SetConnectionString(QStringLiteral("File Name=" QUILLORY_TESTDATA "/udl/sqloledb_password.udl"));
    con.Open();
    QCOMPARE(con.Engine(), TDbEngine::SQLServer);
    QCOMPARE(server.Opens().size(), 1);
    QCOMPARE(server.Opens().first().items.Value("Password"), QStringLiteral("assy123"));
    QCOMPARE(server.Opens().first().items.Value("Data Source"), QStringLiteral("Ramesh"));
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"exec sp_databases"});
    q.Open();
    QStringList names;
    for (q.First(); !q.Eof(); q.Next())
        names << q.AsString(0);
    QCOMPARE(names, QStringList({"master", "Test"}));
    con.Close();

    server.SetConnectCheck([](const TDbConnectParams& p) {
        return p.items.Value("Password") == "right" ? QString()
                                                    : QStringLiteral("Login failed for user 'sa'.");
    });
    con.SetConnectionString("Provider=SQLOLEDB.1;Password=wrong;User ID=sa;Data Source=srv");
    expectError<EDbError>([&] { con.Open(); }, "Login failed for user 'sa'.");
    con.SetConnectionString("Provider=SQLOLEDB.1;Password=right;User ID=sa;Data Source=srv");
    con.Open();
    QVERIFY(con.Connected());
}

QTEST_GUILESS_MAIN(tst_dbSqlite)
#include "tst_dbSqlite.moc"
