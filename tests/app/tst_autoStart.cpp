#include "uAutoStart.h"

#include "testSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Start at log-on through XDG autostart entries.
class tst_autoStart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void filesFollowTheXdgFolders();
    void execLineRoundTripsAnyPath_data();
    void execLineRoundTripsAnyPath();
    void readTakesOnlyAnEnabledExecLine_data();
    void readTakesOnlyAnEnabledExecLine();
    void writeThenDeleteThenDeleteAgain();
    void failedWriteAndDeleteAreReported();

private:
    QString put(const QByteArray& text);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_autoStart::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_autoStart::put(const QByteArray& text)
{
    const QString path = m_dir->filePath(QStringLiteral("Quillory.desktop"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
    return path;
}

void tst_autoStart::filesFollowTheXdgFolders()
{
    qputenv("XDG_CONFIG_HOME", "/home/ann/cfg");
    qputenv("XDG_CONFIG_DIRS", "/opt/xdg:/etc/xdg");
    QCOMPARE(platform::AutoStartFile(true, QStringLiteral("Quillory")),
             QStringLiteral("/home/ann/cfg/autostart/Quillory.desktop"));
    QCOMPARE(platform::AutoStartFile(false, QStringLiteral("Quillory")),
             QStringLiteral("/opt/xdg/autostart/Quillory.desktop"));
    qunsetenv("XDG_CONFIG_DIRS");
    QCOMPARE(platform::AutoStartFile(false, QStringLiteral("Quillory")),
             QStringLiteral("/etc/xdg/autostart/Quillory.desktop"));
}

void tst_autoStart::execLineRoundTripsAnyPath_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("execLine"); // empty: only the round trip is checked
    QTest::newRow("plain") << "/opt/quillory/Quillory"
                           << "/opt/quillory/Quillory";
    QTest::newRow("blank") << "/home/ann/My Tools/Quillory"
                           << "\"/home/ann/My Tools/Quillory\"";
    QTest::newRow("percent") << "/opt/100%/Quillory"
                             << "/opt/100%%/Quillory";
    QTest::newRow("quote and dollar") << "/opt/a\"b$c/Quillory"
                                      << "\"/opt/a\\\\\"b\\\\$c/Quillory\"";
    QTest::newRow("backslash") << "/opt/a\\b/Quillory"
                               << "";
    QTest::newRow("unicode") << QStringLiteral("/opt/Übersicht/Quillory")
                             << QStringLiteral("/opt/Übersicht/Quillory");
}

void tst_autoStart::execLineRoundTripsAnyPath()
{
    QFETCH(QString, program);
    QFETCH(QString, execLine);
    const QString line = platform::ExecLineFor(program);
    if (!execLine.isEmpty())
        QCOMPARE(line, execLine);
    QCOMPARE(platform::ProgramOfExecLine(line), program);
    // And through a written file.
    const QString file = m_dir->filePath(QStringLiteral("autostart/Quillory.desktop"));
    platform::WriteAutoStart(file, program, QStringLiteral("Quillory"));
    QCOMPARE(platform::ReadAutoStart(file), program);
}

void tst_autoStart::readTakesOnlyAnEnabledExecLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("value");
    QTest::newRow("exec") << QByteArray("[Desktop Entry]\nType=Application\nExec=/usr/bin/Quillory\n")
                          << "/usr/bin/Quillory";
    QTest::newRow("exec with arguments")
        << QByteArray("[Desktop Entry]\nExec=/usr/bin/Quillory _user=ann\n") << "/usr/bin/Quillory";
    QTest::newRow("no exec") << QByteArray("[Desktop Entry]\nType=Application\n") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("exec of another group")
        << QByteArray("[Desktop Action x]\nExec=/bin/x\n[Desktop Entry]\n") << "";
    QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=/usr/bin/Quillory\nHidden=true\n") << "";
    QTest::newRow("switched off")
        << QByteArray("[Desktop Entry]\nExec=/usr/bin/Quillory\nX-GNOME-Autostart-enabled=false\n") << "";
}

void tst_autoStart::readTakesOnlyAnEnabledExecLine()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, value);
    QCOMPARE(platform::ReadAutoStart(put(text)), value);
}

void tst_autoStart::writeThenDeleteThenDeleteAgain()
{
    const QString file = m_dir->filePath(QStringLiteral("new/autostart/Quillory.desktop"));
    QCOMPARE(platform::ReadAutoStart(file), QString()); // missing reads as empty
    platform::WriteAutoStart(file, QStringLiteral("/opt/q/Quillory"), QStringLiteral("Quillory"));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QVERIFY(text.contains("\nType=Application\n"));
    QVERIFY(text.contains("\nName=Quillory\n"));
    QVERIFY(text.contains("\nExec=/opt/q/Quillory\n"));
    platform::DeleteAutoStart(file, QStringLiteral("Quillory"));
    QVERIFY(!QFile::exists(file));
    platform::DeleteAutoStart(file, QStringLiteral("Quillory")); // deleting a missing entry is no error
}

void tst_autoStart::failedWriteAndDeleteAreReported()
{
    // A file where the autostart folder should be.
    put("x");
    const QString blocked = m_dir->filePath(QStringLiteral("Quillory.desktop/autostart/Quillory.desktop"));
    expectError<platform::EPlatformError>(
        [&] {
            platform::WriteAutoStart(blocked, QStringLiteral("/opt/q/Quillory"), QStringLiteral("Quillory"));
        },
        QStringLiteral("Failed to set data for 'Quillory'"));
    // An entry that cannot be removed (a non-empty folder in its place) is not reported
    // as removed; nor can it be read.
    const QString folder = m_dir->filePath(QStringLiteral("dir.desktop"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
    QVERIFY_THROWS_EXCEPTION(platform::EPlatformError,
                             platform::DeleteAutoStart(folder, QStringLiteral("Quillory")));
    QVERIFY_THROWS_EXCEPTION(platform::EPlatformError, platform::ReadAutoStart(folder));
}

QTEST_GUILESS_MAIN(tst_autoStart)
#include "tst_autoStart.moc"
