#include "dbSession.h"
#include "dbTestServer.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"
#include "uDialogScript.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <thread>

// The connection and query on a real PostgreSQL server on loopback (started by
// scripts/test; see dbTestServer.h).
class tst_dbPostgres : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectAndListTables_data();
    void connectAndListTables();
    void fieldNames();
    void fetchRowsWithDates();
    void typesOfTheEngine();
    void wrongPasswordGivesTheServerText();
    void loginPromptSuppliesThePassword();
    void serverDown();
    void statementErrors_data();
    void statementErrors();
    void quoteNames_data();
    void quoteNames();
    void serverStopsMidFetch();
    void serverGoneBetweenStatements();
    void silentServerFailsTheFetch();

private:
    PgServer m_pg;
};

void tst_dbPostgres::initTestCase()
{
    m_pg = PgServer::fromEnvironment();
    if (!m_pg.valid())
        QSKIP("No PostgreSQL server: QUILLORY_PG_HOST/PORT/USER/PASSWORD/DB are not set "
              "(scripts/test starts one; by hand: eval \"$(scripts/pgserver start /tmp/pg)\")");
}

void tst_dbPostgres::connectAndListTables_data()
{
    QTest::addColumn<QString>("connection");
    const PgServer& s = m_pg;
    QTest::newRow("host:port") << s.connectionString();
    QTest::newRow("Port key") << "Provider=PostgreSQL.1;Data Source=" + s.host + ";Port=" + s.port +
                                     ";Initial Catalog=" + s.db + ";User ID=" + s.user +
                                     ";Password=" + s.password;
}

void tst_dbPostgres::connectAndListTables()
{
    QFETCH(QString, connection);
    TDbConnection con;
    QSignalSpy up(&con, &TDbConnection::AfterConnect);
    con.SetConnectionString(connection);
    con.Open();
    QCOMPARE(up.count(), 1);
    QCOMPARE(con.Engine(), TDbEngine::PostgreSQL);
    QCOMPARE(con.ConnectionString(), connection);
    QStringList tables{"left over"};
    con.GetTableNames(tables);
    QCOMPARE(tables, QStringList({"album", "artist", "customer", "employee", "genre", "invoice",
                                  "invoice_line", "media_type", "playlist", "playlist_track", "track"}));
}

void tst_dbPostgres::fieldNames()
{
    DbSession db(m_pg.connectionString());
    TDbConnection& con = db.con;
    QStringList fields;
    con.GetFieldNames("invoice", fields);
    QCOMPARE(fields,
             QStringList({"invoice_id", "customer_id", "invoice_date", "billing_address", "billing_city",
                          "billing_state", "billing_country", "billing_postal_code", "total"}));
    const QString message = errorMessage<EDbError>([&] { con.GetFieldNames("nope", fields); });
    QVERIFY2(message.startsWith("ERROR:  relation \"nope\" does not exist"), qPrintable(message));
    QVERIFY(fields.isEmpty());
    QVERIFY(con.Connected());
}

void tst_dbPostgres::fetchRowsWithDates()
{
    DbSession db(m_pg.connectionString());
    TDbQuery& q = db.run(
        {"select invoice_id, invoice_date, total, billing_state", "from invoice", "order by invoice_id"});
    QCOMPARE(q.RecordCount(), 412);
    QCOMPARE(q.FieldType(1), TDbFieldType::DateTime);
    QCOMPARE(q.FieldType(2), TDbFieldType::BCD);
    QCOMPARE(q.FieldType(3), TDbFieldType::String);
    QCOMPARE(q.Cursor().AsDateTime(1), QDateTime(QDate(2021, 1, 1), QTime(0, 0)));
    QCOMPARE(q.AsString(2), QStringLiteral("1.98"));
    QVERIFY(q.IsNull(3));
    q.Cursor().Last();
    QCOMPARE(q.AsInteger(0), 412);
    QVERIFY(q.Cursor().AsDateTime(1).isValid());

    const qint64 nulls = db.run({"select count(*) from invoice where billing_state is null"}).AsInteger(0);
    db.run({"select billing_state from invoice"});
    qint64 seen = 0;
    for (q.First(); !q.Eof(); q.Next())
        seen += q.IsNull(0);
    QCOMPARE(seen, nulls);
}

void tst_dbPostgres::typesOfTheEngine()
{
    DbSession db(m_pg.connectionString());
    TDbQuery& q =
        db.run({"select 7::int2 a, 9000000000::int8 b, 1.5::float8 c, 12.50::numeric(10,2) d, true e,",
                "'2004-03-02'::date f, '14:30:05'::time g, '2004-03-02 14:30'::timestamp h,",
                "'2004-03-02 14:30+00'::timestamptz i, 'ab'::char(3) j, 'xy'::varchar(5) k, 'z'::text l,",
                "'\\x0001ff'::bytea m, 12.34::money n, null::int o, 'infinity'::timestamp p, 0.15::float4 q"});
    const QList<TDbFieldType> kinds = {
        TDbFieldType::Integer,  TDbFieldType::Integer,     TDbFieldType::Float,   TDbFieldType::BCD,
        TDbFieldType::Boolean,  TDbFieldType::Date,        TDbFieldType::Time,    TDbFieldType::DateTime,
        TDbFieldType::DateTime, TDbFieldType::FixedString, TDbFieldType::String,  TDbFieldType::Memo,
        TDbFieldType::Blob,     TDbFieldType::Currency,    TDbFieldType::Integer, TDbFieldType::DateTime,
        TDbFieldType::Single};
    for (int i = 0; i < kinds.size(); ++i)
        QCOMPARE(FieldTypeName(q.FieldType(i)), FieldTypeName(kinds[i]));
    const TDbRowCursor& c = q.Cursor();
    QCOMPARE(c.AsInteger(1), 9000000000LL);
    QCOMPARE(c.AsString(3), QStringLiteral("12.5"));
    QCOMPARE(c.AsString(4), QStringLiteral("True"));
    QCOMPARE(c.AsString(16), QStringLiteral("0.15"));
    QCOMPARE(c.Value(5), QVariant(QDate(2004, 3, 2)));
    QCOMPARE(c.Value(6), QVariant(QTime(14, 30, 5)));
    QCOMPARE(c.AsDateTime(7), QDateTime(QDate(2004, 3, 2), QTime(14, 30)));
    QVERIFY(c.AsDateTime(8).isValid());
    QCOMPARE(c.Field(9).size, 3);
    QCOMPARE(c.AsString(9), QStringLiteral("ab "));
    QCOMPARE(q.Rows()->AsBytes(0, 12), QByteArray("\x00\x01\xff", 3));
    QCOMPARE(c.AsString(13), QStringLiteral("12.34"));
    QVERIFY(c.IsNull(14));
    // No calendar holds it: shown empty and said, while the column stays a date-time one.
    QVERIFY(c.IsNull(15));
    QCOMPARE(q.Warning(), QStringLiteral("Some values of date columns are not dates and are shown empty: p (1)."));
}

void tst_dbPostgres::wrongPasswordGivesTheServerText()
{
    TDbConnection con;
    con.SetConnectionString(m_pg.connectionString("not-the-password"));
    expectError<EDbError>([&] { con.Open(); },
                          QString("connection to server at \"%1\", port %2 failed: FATAL:  password "
                                  "authentication failed for user \"%3\"")
                              .arg(m_pg.host, m_pg.port, m_pg.user));
    QVERIFY(!con.Connected());
}

void tst_dbPostgres::loginPromptSuppliesThePassword()
{
    ScriptedDialogs dialogs;
    TDbConnection con;
    const QString text = "Provider=PostgreSQL;Data Source=" + m_pg.host + ":" + m_pg.port +
                         ";Initial Catalog=" + m_pg.db + ";User ID=" + m_pg.user;
    con.SetConnectionString(text);
    QVERIFY_THROWS_EXCEPTION(EDbError, con.Open()); // no password, no prompt
    con.SetLoginPrompt(true);
    dialogs.login(m_pg.user, m_pg.password);
    con.Open();
    QVERIFY(con.Connected());
    QCOMPARE(dialogs.last().user, m_pg.user);
    QCOMPARE(con.ConnectionString(), text);
}

void tst_dbPostgres::serverDown()
{
    TDbConnection con;
    con.SetConnectionString("Provider=PostgreSQL;Data Source=127.0.0.1;Port=1;User ID=x;Password=y");
    const QString message = errorMessage<EDbError>([&] { con.Open(); });
    QVERIFY2(message.startsWith("connection to server at \"127.0.0.1\", port 1 failed: Connection refused"),
             qPrintable(message));
}

void tst_dbPostgres::statementErrors_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("start");
    QTest::newRow("syntax") << "selec * from album"
                            << "ERROR:  syntax error at or near \"selec\"";
    QTest::newRow("no such table") << "select * from albums"
                                   << "ERROR:  relation \"albums\" does not exist";
    QTest::newRow("brackets are not PostgreSQL") << "select count(*) from [album]"
                                                 << "ERROR:  syntax error at or near \"[\"";
    QTest::newRow("division by zero mid-result") << "select 1 / (3 - g) from generate_series(1, 5) g"
                                                 << "ERROR:  division by zero";
}

void tst_dbPostgres::statementErrors()
{
    QFETCH(QString, sql);
    QFETCH(QString, start);
    DbSession db(m_pg.connectionString());
    const QString message = errorMessage<EDbError>([&] { db.run({sql}); });
    QVERIFY2(message.startsWith(start), qPrintable(message));
    QVERIFY(!db.q.Active());
    QVERIFY(db.con.Connected());
    QCOMPARE(db.run({"select 1"}).AsInteger(0), 1); // the session is still good
}

void tst_dbPostgres::quoteNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "album"
                           << "album";
    QTest::newRow("upper case") << "Album"
                                << "\"Album\"";
    QTest::newRow("reserved") << "order"
                              << "\"order\"";
    QTest::newRow("reserved user") << "user"
                                   << "\"user\"";
    QTest::newRow("blank") << "order details"
                           << "\"order details\"";
    QTest::newRow("quote inside") << "a\"b"
                                  << "\"a\"\"b\"";
}

void tst_dbPostgres::quoteNames()
{
    QFETCH(QString, name);
    QFETCH(QString, quoted);
    DbSession db(m_pg.connectionString());
    QCOMPARE(db.con.QuoteName(name), quoted);
}

// The server stops while rows are still arriving: an error with the server's text, the
// connection closed (and said so), and the same connection object usable again.
void tst_dbPostgres::serverStopsMidFetch()
{
    PrivatePgServer own;
    QString why;
    if (!own.start(&why))
        QFAIL(qPrintable("could not start a private server: " + why));
    TDbConnection con;
    QSignalSpy down(&con, &TDbConnection::AfterDisconnect);
    con.SetConnectionString(own.server.connectionString());
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select g, pg_sleep(0.001) from generate_series(1, 20000) g"});
    const std::string stop = own.stopCommand().toStdString();
    std::thread stopper([stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::system(stop.c_str());
    });
    const QString message = errorMessage<EDbError>([&] { q.Open(); });
    stopper.join();
    QVERIFY2(message.contains("terminating connection") || message.contains("server closed the connection"),
             qPrintable(message));
    QVERIFY(!q.Active());
    QVERIFY(!con.Connected());
    QCOMPARE(down.count(), 1);

    // Usable again: closed, so its string can change, and it opens elsewhere.
    con.SetConnectionString(m_pg.connectionString());
    con.Open();
    q.SetSQL({"select count(*) from album"});
    q.Open();
    QCOMPARE(q.AsInteger(0), 347);
}

void tst_dbPostgres::serverGoneBetweenStatements()
{
    PrivatePgServer own;
    QString why;
    if (!own.start(&why))
        QFAIL(qPrintable("could not start a private server: " + why));
    TDbConnection con;
    QSignalSpy down(&con, &TDbConnection::AfterDisconnect);
    con.SetConnectionString(own.server.connectionString());
    con.Open();
    own.stop();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select 1"});
    QVERIFY_THROWS_EXCEPTION(EDbError, q.Open());
    QVERIFY(!con.Connected());
    QCOMPARE(down.count(), 1);
    // The server is still down: a clean error, still closed.
    const QString message = errorMessage<EDbError>([&] { con.Open(); });
    QVERIFY2(message.contains("Connection refused"), qPrintable(message));
    QVERIFY(!con.Connected());
}

// The server process stops answering while its socket stays open (the kernel still
// acknowledges keepalives): the fetch fails after the connection's silence limit with a
// clear message, the connection closes, and it opens again once the server is back.
void tst_dbPostgres::silentServerFailsTheFetch()
{
    TDbConnection con;
    QSignalSpy down(&con, &TDbConnection::AfterDisconnect);
    con.SetConnectionString(m_pg.connectionString() + ";Command Timeout=2");
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"select pg_backend_pid()"});
    q.Open();
    const pid_t backend = pid_t(q.AsInteger(0));
    QVERIFY(backend > 0);
    QCOMPARE(::kill(backend, SIGSTOP), 0);
    q.SetSQL({"select count(*) from track"});
    const QString message = errorMessage<EDbError>([&] { q.Open(); });
    ::kill(backend, SIGCONT);
    QCOMPARE(message, QStringLiteral("The server did not answer for 2 seconds; the connection was closed."));
    QVERIFY(!con.Connected());
    QCOMPARE(down.count(), 1);
    con.Open();
    q.Open();
    QCOMPARE(q.AsInteger(0), 3503);
}

QTEST_GUILESS_MAIN(tst_dbPostgres)
#include "tst_dbPostgres.moc"
