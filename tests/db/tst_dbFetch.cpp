#include "dbSession.h"
#include "dbTestServer.h"
#include "testSupport.h"
#include "uDbFetch.h"
#include "uDbRowsBuilder.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <exception>
#include <thread>

// A fetch stopped from another thread, on every engine, while the engine works on the
// statement and while rows arrive: it ends with "Fetch cancelled", keeps no rows, and
// the connection takes the next statement. And the memory guard, with a small limit.
class tst_dbFetch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cancelStopsTheFetchAndKeepsTheConnection_data();
    void cancelStopsTheFetchAndKeepsTheConnection();
    void resultOverTheMemoryLimitIsStopped_data();
    void resultOverTheMemoryLimitIsStopped();

private:
    QString sqlite() const { return "Provider=SQLite;Data Source=" + m_dir.filePath("chinook.sqlite"); }

    QTemporaryDir m_dir;
    OdbcSandbox m_odbc;
    PgServer m_pg;
};

namespace {

// Runs the fetch on a worker thread, as the query window does, and cancels it once rows
// came (waiting for them as long as it takes when they are to come) or after a while.
TDbFetchRunner cancellingRunner(bool rowsCome, bool* cancelledWhileRowsCame)
{
    return [rowsCome, cancelledWhileRowsCame](const std::function<void()>& work, TDbFetchControl& control) {
        std::exception_ptr error;
        std::thread worker([&] {
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        const auto wait = rowsCome ? std::chrono::milliseconds(120000) : std::chrono::milliseconds(700);
        while (control.Rows() < 1000 && std::chrono::steady_clock::now() - start < wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        *cancelledWhileRowsCame = control.Rows() > 0;
        control.Cancel();
        worker.join();
        if (error)
            std::rethrow_exception(error);
    };
}

const QString kEndless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) ";

} // namespace

void tst_dbFetch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    writableCopy(m_dir, "chinook.sqlite");
    writableCopy(m_dir, "nwind.mdb", nwindFile());
    m_pg = PgServer::fromEnvironment();
    QByteArray dsns = "[ChinookLite]\nDriver=SQLite3\nDatabase=" + m_dir.filePath("chinook.sqlite").toUtf8() + "\n\n";
    if (m_pg.valid())
        dsns += QString("[ChinookPg]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n\n")
                    .arg(m_pg.host, m_pg.port, m_pg.db)
                    .toUtf8();
    QVERIFY(m_odbc.setUp(dsns));
}

void tst_dbFetch::cancelStopsTheFetchAndKeepsTheConnection_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("rowsCome");
    QTest::addColumn<QString>("next");
    const QString pg = m_pg.valid() ? m_pg.connectionString() : QString();
    const QString odbcPg = m_pg.valid() ? "Provider=MSDASQL.1;Data Source=ChinookPg;User ID=" + m_pg.user +
                                              ";Password=" + m_pg.password
                                        : QString();
    const QString odbcLite = "Provider=MSDASQL.1;Data Source=ChinookLite";
    const QString access = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_dir.filePath("nwind.mdb");
    QTest::newRow("SQLite, working") << sqlite() << kEndless + "SELECT count(*) FROM c" << false
                                     << "SELECT count(*) FROM Artist";
    QTest::newRow("SQLite, rows arriving") << sqlite() << kEndless + "SELECT x, 'row ' || x FROM c" << true
                                           << "SELECT count(*) FROM Artist";
    QTest::newRow("PostgreSQL, working") << pg << "SELECT pg_sleep(25)" << false << "SELECT count(*) FROM artist";
    QTest::newRow("PostgreSQL, rows arriving")
        << pg << "SELECT g, md5(g::text) FROM (SELECT generate_series(1, 200000000) AS g) s" << true
        << "SELECT count(*) FROM artist";
    QTest::newRow("ODBC PostgreSQL driver, working") << odbcPg << "SELECT pg_sleep(25)" << false
                                                     << "SELECT count(*) FROM artist";
    QTest::newRow("ODBC SQLite3 driver, working") << odbcLite << kEndless + "SELECT count(*) FROM c" << false
                                                  << "SELECT count(*) FROM Artist";
    QTest::newRow("Access, rows arriving")
        << access << "SELECT a.OrderID, b.ProductID FROM [Order Details] a, [Order Details] b, Shippers c" << true
        << "SELECT count(*) FROM Shippers";
}

void tst_dbFetch::cancelStopsTheFetchAndKeepsTheConnection()
{
    QFETCH(QString, connection);
    QFETCH(QString, sql);
    QFETCH(bool, rowsCome);
    QFETCH(QString, next);
    if (connection.isEmpty())
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one).");
    DbSession db(connection);
    bool cancelledWhileRowsCame = false;
    db.q.SetFetchRunner(cancellingRunner(rowsCome, &cancelledWhileRowsCame));
    db.q.SetSQLText(sql);
    try {
        db.q.Open();
        QFAIL("the fetch was not stopped");
    } catch (const EDbFetchCancelled& e) {
        QCOMPARE(e.message(), "Fetch cancelled");
    }
    QCOMPARE(cancelledWhileRowsCame, rowsCome);
    QVERIFY(!db.q.Active());
    QVERIFY(!db.q.Rows());
    QVERIFY(!db.q.Fetching());
    QVERIFY(db.con.Connected());

    db.q.SetFetchRunner({});
    QCOMPARE(db.run({next}).RecordCount(), 1);
    QVERIFY(db.q.AsInteger(0) > 0);
}

void tst_dbFetch::resultOverTheMemoryLimitIsStopped_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("sql");
    QTest::newRow("SQLite") << sqlite() << kEndless + "SELECT x, 'row number ' || x FROM c LIMIT 300000";
    QTest::newRow("PostgreSQL") << (m_pg.valid() ? m_pg.connectionString() : QString())
                                << "SELECT g, 'row number ' || g FROM generate_series(1, 300000) g";
}

void tst_dbFetch::resultOverTheMemoryLimitIsStopped()
{
    QFETCH(QString, connection);
    QFETCH(QString, sql);
    if (connection.isEmpty())
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one).");
    DbSession db(connection);
    const quint64 previous = dbfetch::setMemoryLimit(4 << 20);
    const auto restore = qScopeGuard([previous] { dbfetch::setMemoryLimit(previous); });
    try {
        db.run({sql});
        QFAIL("the fetch was not stopped");
    } catch (const EDbError& e) {
        static const QRegularExpression text("^The result holds more than (\\d+) rows \\((\\d+) MB\\) and was "
                                             "stopped; narrow the query or export it directly\\.$");
        const auto m = text.match(e.message());
        QVERIFY2(m.hasMatch(), qPrintable(e.message()));
        QVERIFY(m.captured(1).toInt() > 1000 && m.captured(1).toInt() < 300000);
        QVERIFY(m.captured(2).toInt() >= 4 && m.captured(2).toInt() < 8);
    }
    QVERIFY(!db.q.Active());
    QVERIFY(db.con.Connected());

    // Streamed rows are never held, so the limit leaves them alone.
    struct Counter : TDbRowsSink
    {
        qsizetype rows = 0;
        void Rows(const TDbRows& batch, bool) override { rows += batch.RowCount(); }
    } counter;
    {
        const TDbRowsStreaming streaming(counter);
        db.run({sql});
    }
    QCOMPARE(counter.rows, 300000);
}

QTEST_GUILESS_MAIN(tst_dbFetch)
#include "tst_dbFetch.moc"
