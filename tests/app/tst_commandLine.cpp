// The headless mode run as users run it: the real executable, copied beside a crafted
// favourites pair, started with no display at all.
#include "datModQuillory.h"
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

QByteArray checksum(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_program;
    QString m_chinook;

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

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
        m_program = m_dir.filePath(QStringLiteral("bin/Quillory"));
        QVERIFY(QFile::copy(QStringLiteral(QUILLORY_BIN_DIR "/Quillory"), m_program));
        m_chinook = m_dir.filePath(QStringLiteral("chinook.sqlite"));
        QVERIFY(QFile::copy(chinookFile(), m_chinook));
        QFile::setPermissions(m_chinook, QFile::ReadOwner | QFile::WriteOwner);

        TdmQuillory store(m_dir.filePath(QStringLiteral("bin")));
        store.AddFolder(QStringLiteral("Music"));
        store.AddFolder(QStringLiteral("AC/DC"));
        const int music = store.folders()[store.folders()[0].Name == QLatin1String("Music") ? 0 : 1].ID;
        const int acdc = store.folders()[store.folders()[0].Name == QLatin1String("AC/DC") ? 0 : 1].ID;
        store.AddQuery(music, QStringLiteral("Artists"),
                       QStringLiteral("SELECT * FROM Artist ORDER BY ArtistId"), connectString());
        store.AddQuery(music, QStringLiteral("Invoices"),
                       QStringLiteral("SELECT * FROM Invoice ORDER BY InvoiceId"), connectString());
        store.AddQuery(acdc, QStringLiteral("Albums 1/2"),
                       QStringLiteral("SELECT * FROM Album WHERE ArtistId = 1"), connectString());
        store.AddQuery(music, QStringLiteral("Moved"), QStringLiteral("SELECT 1"),
                       QStringLiteral("Provider=SQLite;Data Source=") +
                           m_dir.filePath(QStringLiteral("gone.sqlite")));
        QVERIFY(store.startupErrors().isEmpty());
    }

    void listsInMenuOrder()
    {
        const Result r = run({QStringLiteral("--list")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("AC//DC/Albums 1//2\nMusic/Artists\nMusic/Invoices\nMusic/Moved\n"));
    }

    // The same bytes as the query window's Export of the same rows.
    void runMatchesExport_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sql");
        QTest::newRow("text") << "Music/Artists"
                              << "SELECT * FROM Artist ORDER BY ArtistId";
        QTest::newRow("dates and numbers") << "Music/Invoices"
                                           << "SELECT * FROM Invoice ORDER BY InvoiceId";
        QTest::newRow("slash in names") << "AC//DC/Albums 1//2"
                                        << "SELECT * FROM Album WHERE ArtistId = 1";
    }
    void runMatchesExport()
    {
        QFETCH(QString, name);
        QFETCH(QString, sql);
        TDbConnection connection;
        connection.SetConnectionString(connectString());
        connection.Open();
        TDbQuery query;
        query.SetConnection(&connection);
        query.SetSQLText(sql);
        query.Open();
        const QString expectedFile = m_dir.filePath(QStringLiteral("expected.csv"));
        {
            TCSVStream stream(expectedFile);
            stream.ExportDataSet(query);
        }
        QFile expected(expectedFile);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const QByteArray bytes = expected.readAll();

        const Result toStdout = run({QStringLiteral("--run"), name});
        QCOMPARE(toStdout.code, 0);
        QCOMPARE(toStdout.out, bytes);

        const QString outFile = m_dir.filePath(QStringLiteral("out.csv"));
        const Result toFile = run({QStringLiteral("--run"), name, QStringLiteral("--output"), outFile});
        QCOMPARE(toFile.code, 0);
        QFile written(outFile);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), bytes);
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
    }
    void errorsAndExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, noFile);
        const Result r = run(arguments);
        QCOMPARE(r.code, code);
        QVERIFY2(!r.err.isEmpty(), "the cause goes to standard error");
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

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandLine.moc"
