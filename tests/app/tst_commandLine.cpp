// The headless mode run as users run it: the real executable, copied beside a crafted
// favourites pair, started with no display at all.
#include "datModQuillory.h"
#include "dbTestServer.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uExportCSV.h"
#include "uProgram.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Values every CSV rule touches (quotes, commas in a "...Text" column, line feeds, tabs,
// nulls, dates with and without a time of day, negative and fractional numbers, text
// beyond ASCII), over enough rows that the run writes them in many batches.
const char kManySqlite[] =
    "CREATE TABLE Many AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
    "SELECT i AS Id, CASE WHEN i % 7 = 0 THEN NULL ELSE 'row \"' || i || '\", a|b' || char(10) || 'next' "
    "|| char(9) || 'é' END AS NoteText, i * 0.25 - 100 AS Amount, date('2004-03-02', '+' || i || ' days') AS "
    "Day, datetime('2004-03-02 14:30:00', '+' || i || ' minutes') AS Stamp FROM n;";

// Rows made by the query itself: a table in the shared server would show in the table
// lists of other tests.
const char kManyPostgres[] =
    "SELECT i AS id, "
    "CASE WHEN i % 7 = 0 THEN NULL ELSE 'row \"' || i || '\", a|b' || chr(10) || 'next' || chr(9) || 'é' END "
    "AS note_text, (i * 0.25 - 100)::numeric(12,2) AS amount, i / 3.0::float8 AS ratio, i % 2 = 0 AS even, "
    "date '2004-03-02' + i AS day, timestamp '2004-03-02 14:30' + i * interval '1 minute' AS stamp "
    "FROM generate_series(1, 20000) AS i ORDER BY i";

QByteArray checksum(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

} // namespace

class tst_commandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_program;
    QString m_chinook;
    QString m_nwind;
    PgServer m_pg;

    Result run(const QStringList& arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("xdg")));
        p.setProcessEnvironment(env);
        p.start(m_program, arguments);
        if (!p.waitForFinished(60000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QString connectString() const { return QStringLiteral("Provider=SQLite;Data Source=") + m_chinook; }
    QString nwindConnectString() const
    {
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + m_nwind;
    }
    // The query window's Export of the rows of sql: the bytes it writes. Empty for a
    // statement without rows.
    QByteArray exportOf(const QString& connect, const QString& sql)
    {
        TDbConnection connection;
        connection.SetConnectionString(connect);
        connection.Open();
        TDbQuery query;
        query.SetConnection(&connection);
        query.SetSQLText(sql);
        query.Open();
        if (query.RecordCount() == 0)
            return {};
        const QString file = m_dir.filePath(QStringLiteral("expected.csv"));
        {
            TCSVStream stream(file);
            stream.ExportDataSet(query);
        }
        return readFile(file);
    }
    static int folderId(const TdmQuillory& store, const QString& name)
    {
        for (const auto& f : store.folders())
            if (f.Name() == name)
                return f.ID;
        return 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
        m_program = m_dir.filePath(QStringLiteral("bin/Quillory"));
        QVERIFY(QFile::copy(QStringLiteral(QUILLORY_BIN_DIR "/Quillory"), m_program));
        // Access files are read by the reader process, looked for beside the program.
        QVERIFY(QFile::copy(QStringLiteral(QUILLORY_BIN_DIR "/quillory-access-reader"),
                            m_dir.filePath(QStringLiteral("bin/quillory-access-reader"))));
        m_chinook = m_dir.filePath(QStringLiteral("chinook.sqlite"));
        QVERIFY(QFile::copy(chinookFile(), m_chinook));
        QFile::setPermissions(m_chinook, QFile::ReadOwner | QFile::WriteOwner);

        TdmQuillory store(m_dir.filePath(QStringLiteral("bin")));
        store.AddFolder(QStringLiteral("Music"));
        store.AddFolder(QStringLiteral("AC/DC"));
        const int music = store.folders()[store.folders()[0].Name() == QLatin1String("Music") ? 0 : 1].ID;
        const int acdc = store.folders()[store.folders()[0].Name() == QLatin1String("AC/DC") ? 0 : 1].ID;
        store.AddQuery(music, QStringLiteral("Artists"),
                       QStringLiteral("SELECT * FROM Artist ORDER BY ArtistId"), connectString());
        store.AddQuery(music, QStringLiteral("Invoices"),
                       QStringLiteral("SELECT * FROM Invoice ORDER BY InvoiceId"), connectString());
        store.AddQuery(acdc, QStringLiteral("Albums 1/2"),
                       QStringLiteral("SELECT * FROM Album WHERE ArtistId = 1"), connectString());
        store.AddQuery(music, QStringLiteral("Moved"), QStringLiteral("SELECT 1"),
                       QStringLiteral("Provider=SQLite;Data Source=") +
                           m_dir.filePath(QStringLiteral("gone.sqlite")));
        QVERIFY(execSqlite(m_chinook, kManySqlite));
        store.AddQuery(music, QStringLiteral("Many"), QStringLiteral("SELECT * FROM Many ORDER BY Id"),
                       connectString());
        store.AddQuery(music, QStringLiteral("No rows"), QStringLiteral("SELECT * FROM Artist WHERE 0"),
                       connectString());
        store.AddQuery(music, QStringLiteral("Two results"),
                       QStringLiteral("SELECT * FROM Artist; SELECT * FROM Album"), connectString());

        m_nwind = m_dir.filePath(QStringLiteral("nwind.mdb"));
        QVERIFY(QFile::copy(nwindFile(), m_nwind));
        store.AddFolder(QStringLiteral("Northwind"));
        const int northwind = folderId(store, QStringLiteral("Northwind"));
        for (const char* table : {"Orders", "Employees", "Products"})
            store.AddQuery(northwind, QLatin1String(table), QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)),
                           nwindConnectString());

        m_pg = PgServer::fromEnvironment();
        if (m_pg.valid()) {
            store.AddFolder(QStringLiteral("Server"));
            const int server = folderId(store, QStringLiteral("Server"));
            store.AddQuery(server, QStringLiteral("Many"), QString::fromUtf8(kManyPostgres), m_pg.connectionString());
            store.AddQuery(server, QStringLiteral("Wrong password"), QStringLiteral("SELECT 1"),
                           m_pg.connectionString(QStringLiteral("not-the-password-x9")));
        }
        QVERIFY(store.startupErrors().isEmpty());
    }

    void listsInMenuOrder()
    {
        const Result r = run({QStringLiteral("--list")});
        QCOMPARE(r.code, 0);
        QByteArray expected = "AC//DC/Albums 1//2\nMusic/Artists\nMusic/Invoices\nMusic/Many\nMusic/Moved\n"
                              "Music/No rows\nMusic/Two results\nNorthwind/Employees\nNorthwind/Orders\n"
                              "Northwind/Products\n";
        if (m_pg.valid())
            expected += "Server/Many\nServer/Wrong password\n";
        QCOMPARE(r.out, expected);
    }

    // The same bytes as the query window's Export of the same rows, to standard output and
    // to a file; the many-row queries are written batch by batch as they are fetched.
    void runMatchesExport_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("engine"); // sqlite, access, postgres
        QTest::addColumn<QString>("sql");
        QTest::newRow("text") << "Music/Artists" << "sqlite" << "SELECT * FROM Artist ORDER BY ArtistId";
        QTest::newRow("dates and numbers") << "Music/Invoices" << "sqlite"
                                           << "SELECT * FROM Invoice ORDER BY InvoiceId";
        QTest::newRow("slash in names") << "AC//DC/Albums 1//2" << "sqlite"
                                        << "SELECT * FROM Album WHERE ArtistId = 1";
        QTest::newRow("many rows, SQLite") << "Music/Many" << "sqlite" << "SELECT * FROM Many ORDER BY Id";
        QTest::newRow("Access dates and currency") << "Northwind/Orders" << "access" << "SELECT * FROM Orders";
        QTest::newRow("Access memo and picture") << "Northwind/Employees" << "access"
                                                 << "SELECT * FROM Employees";
        QTest::newRow("Access booleans") << "Northwind/Products" << "access" << "SELECT * FROM Products";
        QTest::newRow("many rows, PostgreSQL") << "Server/Many" << "postgres" << kManyPostgres;
    }
    void runMatchesExport()
    {
        QFETCH(QString, name);
        QFETCH(QString, engine);
        QFETCH(QString, sql);
        if (engine == QLatin1String("postgres") && !m_pg.valid())
            QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one)");
        const QString connect = engine == QLatin1String("sqlite")   ? connectString()
                                : engine == QLatin1String("access") ? nwindConnectString()
                                                                    : m_pg.connectionString();
        const QByteArray bytes = exportOf(connect, sql);
        QVERIFY(!bytes.isEmpty());

        const Result toStdout = run({QStringLiteral("--run"), name});
        QCOMPARE(toStdout.err, QByteArray());
        QCOMPARE(toStdout.code, 0);
        QCOMPARE(toStdout.out.size(), bytes.size());
        QVERIFY(toStdout.out == bytes);

        const QString outFile = m_dir.filePath(QStringLiteral("out.csv"));
        const Result toFile = run({QStringLiteral("--run"), name, QStringLiteral("--output"), outFile});
        QCOMPARE(toFile.code, 0);
        QVERIFY(readFile(outFile) == bytes);
    }

    void errorsAndExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("noFile");
        QTest::newRow("unknown name") << QStringList{"--run", "Music/Nothing"} << 2 << QString();
        QTest::newRow("unescaped slash") << QStringList{"--run", "AC/DC/Albums 1/2"} << 2 << QString();
        QTest::newRow("unknown option") << QStringList{"--list", "--bogus"} << 2 << QString();
        QTest::newRow("no name") << QStringList{"--run"} << 2 << QString();
        QTest::newRow("moved file") << QStringList{"--run", "Music/Moved"} << 1 << QString();
        QTest::newRow("unwritable output")
            << QStringList{"--run", "Music/Artists", "--output", "/nonexistent/out.csv"} << 1
            << "/nonexistent/out.csv";
        QTest::newRow("full disk") << QStringList{"--run", "Music/Invoices", "--output", "/dev/full"} << 1
                                   << QString();
        QTest::newRow("full disk, many rows")
            << QStringList{"--run", "Music/Many", "--output", "/dev/full"} << 1 << QString();
        QTest::newRow("no rows") << QStringList{"--run", "Music/No rows"} << 1 << QString();
        QTest::newRow("two sets of rows")
            << QStringList{"--run", "Music/Two results", "--output", m_dir.filePath(QStringLiteral("two.csv"))}
            << 1 << m_dir.filePath(QStringLiteral("two.csv"));
        if (m_pg.valid())
            QTest::newRow("wrong password") << QStringList{"--run", "Server/Wrong password"} << 1 << QString();
    }
    void errorsAndExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, noFile);
        const Result r = run(arguments);
        QCOMPARE(r.code, code);
        QVERIFY2(!r.err.isEmpty(), "the cause goes to standard error");
        QVERIFY2(!r.err.contains("not-the-password-x9"), r.err.constData());
        QVERIFY(r.out.isEmpty());
        if (!noFile.isEmpty())
            QVERIFY(!QFileInfo::exists(noFile));
    }

    void helpAndVersion()
    {
        const Result help = run({QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QVERIFY(help.out.contains("//"));
        const Result version = run({QStringLiteral("--version")});
        QCOMPARE(version.code, 0);
        QVERIFY(version.out.startsWith("Quillory "));
    }

    // Runs while a tray copy holds the folder, and leaves both files as they were.
    void favouritesUntouched()
    {
        const QDir bin(m_dir.filePath(QStringLiteral("bin")));
        const QString folders = bin.filePath(QStringLiteral("folders.xml"));
        const QString queries = bin.filePath(QStringLiteral("queries.xml"));
        const QByteArray before = checksum(folders) + checksum(queries);
        const TRunningLock trayCopy(bin.path());
        QVERIFY(!trayCopy.heldElsewhere());
        QCOMPARE(run({QStringLiteral("--list")}).code, 0);
        QCOMPARE(run({QStringLiteral("--run"), QStringLiteral("Music/Artists")}).code, 0);
        QCOMPARE(checksum(folders) + checksum(queries), before);
    }
};

QTEST_GUILESS_MAIN(tst_commandLine)
#include "tst_commandLine.moc"
