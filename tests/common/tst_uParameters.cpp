#include "uParameters.h"

#include "testSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Each test gets an executable folder (app/) and a config home (config/) of its own.
class tst_uParameters : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fileNameFollowsUserAndDrive_data();
    void fileNameFollowsUserAndDrive();
    void readPrefersUserThenDefaultUserThenDefault();
    void writeReplacesInPlaceWithNameAsPassed();
    void runThatWritesNothingLeavesFileAlone_data();
    void runThatWritesNothingLeavesFileAlone();
    void saveWritesSortedCrLfLinesForOwnerOnly();
    void filesOfTheWindowsProgramStayReadable();
    void unreadableFileStartsEmptyAndIsKept();
    void valuesNeverSplitIntoSettings_data();
    void valuesNeverSplitIntoSettings();
    void writtenValueIsNotHiddenByALineOfTheSameName();
    void programWideFunctionsUseInstalledSet();

private:
    TParameters make(const QStringList& arguments = {}, bool fixed = true,
                     const QString& logon = "John Smith");
    QString app(const QString& name = {}) const { return m_dir->filePath("app/" + name); }
    QString config(const QString& name = {}) const { return m_dir->filePath("config/" + name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_uParameters::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(app()));
    QVERIFY(QDir().mkpath(config()));
}

TParameters tst_uParameters::make(const QStringList& arguments, bool fixed, const QString& logon)
{
    return TParameters(
        app("Quillory"), arguments, config(), [fixed](const QString&) { return fixed; }, logon);
}

void tst_uParameters::fileNameFollowsUserAndDrive_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QString>("configHome"); // "-" for a path that does not exist yet
    QTest::addColumn<QString>("expected");   // relative to the test folder

    QTest::newRow("logon name, blanks removed") << "Quillory" << QStringList{} << true << "config"
                                                << "config/Vexlorin/Quillory_JohnSmith.INI";
    QTest::newRow("extension dropped") << "Quillory.exe" << QStringList{} << true << "config"
                                       << "config/Vexlorin/Quillory_JohnSmith.INI";
    QTest::newRow("network folder stays beside executable")
        << "Quillory" << QStringList{} << false << "config"
        << "app/Quillory_JohnSmith.INI";
    QTest::newRow("_user wins") << "Quillory" << QStringList{"-x", "_user=test"} << true << "config"
                                << "config/Vexlorin/Quillory_test.INI";
    QTest::newRow("last _user of any case wins")
        << "Quillory" << QStringList{"_USER=Ann", "_user=Bob"} << true << "config"
        << "config/Vexlorin/Quillory_Bob.INI";
    QTest::newRow("empty _user means logon name") << "Quillory" << QStringList{"_user="} << true << "config"
                                                  << "config/Vexlorin/Quillory_JohnSmith.INI";
    QTest::newRow("slashes cannot leave the folder")
        << "Quillory" << QStringList{"_user=../../x y"} << true << "config"
        << "config/Vexlorin/Quillory_....xy.INI";
    QTest::newRow("no config folder") << "Quillory" << QStringList{} << true << ""
                                      << "app/Quillory_JohnSmith.INI";
    QTest::newRow("missing config folder is created") << "Quillory" << QStringList{} << true << "-"
                                                      << "new/config/Vexlorin/Quillory_JohnSmith.INI";
    QTest::newRow("a file in the way") << "Quillory" << QStringList{} << true << "blocked"
                                       << "app/Quillory_JohnSmith.INI";
}

void tst_uParameters::fileNameFollowsUserAndDrive()
{
    QFETCH(QString, executable);
    QFETCH(QStringList, arguments);
    QFETCH(bool, fixed);
    QFETCH(QString, configHome);
    QFETCH(QString, expected);

    QString home;
    if (configHome == "-")
        home = m_dir->filePath("new/config");
    else if (configHome == "blocked") {
        home = config();
        writeFile(config("Vexlorin"), "not a folder");
    } else if (!configHome.isEmpty())
        home = m_dir->filePath(configHome);

    const TParameters p(
        app(executable), arguments, home, [fixed](const QString&) { return fixed; }, "John Smith");
    QCOMPARE(p.UserParameterFileName(), m_dir->filePath(expected));
    QCOMPARE(p.DefaultUserFileName(), app("Quillory_DefaultUser.INI"));
    if (expected.contains("Vexlorin")) {
        struct stat st
        {
        };
        QCOMPARE(stat(QFile::encodeName(QFileInfo(p.UserParameterFileName()).path()).constData(), &st), 0);
        if (configHome == "-")
            QCOMPARE(st.st_mode & 0777, 0700u);
    }
}

void tst_uParameters::readPrefersUserThenDefaultUserThenDefault()
{
    writeFile(app("Quillory_DefaultUser.INI"), "AccessDirectory=/shared\r\nisNTAccount=0\r\nQuery=\r\n");
    QVERIFY(QDir().mkpath(config("Vexlorin")));
    writeFile(config("Vexlorin/Quillory_JohnSmith.INI"), "isnTAccount=1\r\nServerName=\r\n");

    TParameters p = make();
    QCOMPARE(p.ReadParameter("AccessDirectory", "."), QString("/shared"));
    QCOMPARE(p.ReadParameter("isNTAccount", "-1"), QString("1"));
    QCOMPARE(p.ReadParameter("ServerName", "dflt"), QString()); // present, empty
    QCOMPARE(p.ReadParameter("Query", "dflt"), QString());      // present in the default-user file
    QCOMPARE(p.ReadParameter("DBname", "dflt"), QString("dflt"));

    p.WriteParameter("AccessDirectory", "/mine");
    QCOMPARE(p.ReadParameter("AccessDirectory", "."), QString("/mine"));
    p.WriteParameter("isNTAccount", "");
    QCOMPARE(p.ReadParameter("isNTAccount", "-1"), QString("0"));
    p.WriteParameter("DBname", "db");
    p.WriteParameter("DBname", "");
    QCOMPARE(p.ReadParameter("DBname", "dflt"), QString("dflt"));
    QVERIFY(p.ParametersChanged());
}

void tst_uParameters::writeReplacesInPlaceWithNameAsPassed()
{
    QVERIFY(QDir().mkpath(config("Vexlorin")));
    writeFile(config("Vexlorin/Quillory_JohnSmith.INI"), "b=1\r\nconnection=old\r\nno line\r\n");
    TParameters p = make();
    p.WriteParameter("Connection", "new=value;x");
    p.WriteParameter("Zed", "z");
    QCOMPARE(p.UserParameters(), (QStringList{"b=1", "Connection=new=value;x", "no line", "Zed=z"}));
    QCOMPARE(p.ReadParameter("connection", {}), QString("new=value;x"));
}

void tst_uParameters::runThatWritesNothingLeavesFileAlone_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("no file yet") << false;
    QTest::newRow("existing file") << true;
}

void tst_uParameters::runThatWritesNothingLeavesFileAlone()
{
    QFETCH(bool, fileExists);
    const QString file = config("Vexlorin/Quillory_JohnSmith.INI");
    const QByteArray unsorted = "b=2\nA=1\n"; // not in the form a save would give it
    if (fileExists) {
        QVERIFY(QDir().mkpath(config("Vexlorin")));
        writeFile(file, unsorted);
    }
    TParameters p = make();
    QCOMPARE(p.ReadParameter("A", {}), fileExists ? QString("1") : QString());
    QVERIFY(p.Save());
    QCOMPARE(QFile::exists(file), fileExists);
    if (fileExists)
        QCOMPARE(readFile(file), unsorted);
}

void tst_uParameters::saveWritesSortedCrLfLinesForOwnerOnly()
{
    const QString file = config("Vexlorin/Quillory_JohnSmith.INI");
    QVERIFY(QDir().mkpath(config("Vexlorin")));
    writeFile(file, "b=2\nA=1\r\n");
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    TParameters p = make();
    p.WriteParameter("Query", "SELECT * FROM \"Größe\"");
    p.WriteParameter("ab", "x");
    QCOMPARE(readFile(file), QByteArray("b=2\nA=1\r\n")); // nothing on disk before the end
    QVERIFY(p.Save());

    QCOMPARE(readFile(file), QString("A=1\r\nab=x\r\nb=2\r\nQuery=SELECT * FROM \"Größe\"\r\n").toUtf8());
    struct stat st
    {
    };
    QCOMPARE(stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    QCOMPARE(QDir(config("Vexlorin")).entryList(QDir::Files), QStringList{"Quillory_JohnSmith.INI"});

    // The next run reads back what this one wrote.
    QCOMPARE(make().ReadParameter("query", {}), QString("SELECT * FROM \"Größe\""));
}

void tst_uParameters::filesOfTheWindowsProgramStayReadable()
{
    // Windows-1252 bytes, a blank line, a lone CR and no final line break.
    writeFile(app("Quillory_DefaultUser.INI"),
              "UserName=Jos\xE9\r\n\r\nDBname=caf\xC3\xA9\rServerName=\x80uro");
    TParameters p = make();
    QCOMPARE(p.ReadParameter("UserName", {}), QString::fromUtf8("José"));
    QCOMPARE(p.ReadParameter("DBname", {}), QString::fromUtf8("café"));
    QCOMPARE(p.ReadParameter("ServerName", {}), QString::fromUtf8("€uro"));
    QCOMPARE(p.DefaultUserParameters().size(), 4);
}

void tst_uParameters::unreadableFileStartsEmptyAndIsKept()
{
    // A folder where the file should be cannot be read by anyone, root included.
    const QString file = config("Vexlorin/Quillory_JohnSmith.INI");
    QVERIFY(QDir().mkpath(file));
    writeFile(app("Quillory_DefaultUser.INI"), "Query=from default\r\n");

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot read the parameter file .*leaving it"));
    TParameters p = make();
    QVERIFY(p.UserParameters().isEmpty());
    QCOMPARE(p.ReadParameter("Query", {}), QString("from default"));
    p.WriteParameter("Query", "mine");
    QCOMPARE(p.ReadParameter("Query", {}), QString("mine"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("unreadable at start; this run's settings are not saved"));
    QVERIFY(!p.Save());
    QVERIFY(QFileInfo(file).isDir());
}

void tst_uParameters::valuesNeverSplitIntoSettings_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line"); // as written; empty: not checked

    QTest::newRow("ordinary value unchanged") << "SELECT a, b FROM t" << QByteArray("Query=SELECT a, b FROM t");
    QTest::newRow("backslashes unchanged") << "C:\\Data\\x.mdb" << QByteArray("Query=C:\\Data\\x.mdb");
    QTest::newRow("line feed cannot inject a setting") << "select 1\nQuery=DROP TABLE t" << QByteArray();
    QTest::newRow("CR LF") << "a\r\nb" << QByteArray("Query=\\~a\\r\\nb");
    QTest::newRow("lone CR and trailing LF") << "a\rb\n" << QByteArray();
    QTest::newRow("backslash next to a break") << "x\\\ny\\" << QByteArray("Query=\\~x\\\\\\ny\\\\");
    QTest::newRow("value that begins like an escaped one") << "\\~a\\n" << QByteArray("Query=\\~\\\\~a\\\\n");
    QTest::newRow("only breaks") << "\n\n" << QByteArray();
}

void tst_uParameters::valuesNeverSplitIntoSettings()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    const QString file = config("Vexlorin/Quillory_JohnSmith.INI");
    {
        TParameters p = make();
        p.WriteParameter("Query", value);
        p.WriteParameter("ServerName", "db1");
        QCOMPARE(p.ReadParameter("Query", {}), value);
        QVERIFY(p.Save());
    }
    const QByteArray bytes = readFile(file);
    QCOMPARE(bytes.count("\r\n"), 2);
    if (!line.isEmpty())
        QVERIFY2(bytes.contains(line + "\r\n"), bytes.constData());
    TParameters next = make();
    QCOMPARE(next.UserParameters().size(), 2);
    QCOMPARE(next.ReadParameter("Query", {}), value);
    QCOMPARE(next.ReadParameter("ServerName", {}), QString("db1"));
}

void tst_uParameters::writtenValueIsNotHiddenByALineOfTheSameName()
{
    // A hand-edited file with the name twice; the saved file is sorted by line, where the
    // stale line would come first.
    QVERIFY(QDir().mkpath(config("Vexlorin")));
    writeFile(config("Vexlorin/Quillory_JohnSmith.INI"), "Query=b old\r\nX=1\r\nquery=a stale\r\n");
    {
        TParameters p = make();
        p.WriteParameter("Query", "c new");
        QVERIFY(p.Save());
    }
    QCOMPARE(make().ReadParameter("Query", {}), QString("c new"));
    {
        TParameters p = make();
        p.WriteParameter("query", "");
        QVERIFY(p.Save());
    }
    QCOMPARE(make().ReadParameter("Query", "none"), QString("none"));
}

void tst_uParameters::programWideFunctionsUseInstalledSet()
{
    InitParameters(nullptr);
    QCOMPARE(ReadParameter("AccessDirectory", "."), QString("."));
    WriteParameter("AccessDirectory", "/x");
    QCOMPARE(ReadParameter("AccessDirectory", "."), QString("/x"));
    QVERIFY(SaveParameters()); // in memory: nothing to write to

    InitParameters(std::make_unique<TParameters>(make({"_user=ann"})));
    QCOMPARE(ReadParameter("AccessDirectory", "."), QString("."));
    WriteParameter("Vicinity", "0A0B");
    QVERIFY(SaveParameters());
    QCOMPARE(readFile(config("Vexlorin/Quillory_ann.INI")), QByteArray("Vicinity=0A0B\r\n"));
    InitParameters(nullptr);
}

QTEST_GUILESS_MAIN(tst_uParameters)
#include "tst_uParameters.moc"
