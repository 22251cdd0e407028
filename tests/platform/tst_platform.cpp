#include "testSupport.h"
#include "uFavouritesFolder.h"
#include "uShellOpen.h"
#include "uSystemInfo.h"
#include "uXdgPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
// A program that records its working folder and arguments, one per line.
const QByteArray kRecorder = "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$0.out.tmp\"\n"
                             "mv \"$0.out.tmp\" \"$0.out\"\n";
// Puts the named variables back as they were when it goes.
class EnvironmentGuard
{
public:
    explicit EnvironmentGuard(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    }
    ~EnvironmentGuard()
    {
        for (const auto& v : m_saved)
            v.set ? qputenv(v.name, v.value) : qunsetenv(v.name);
    }

private:
    struct Saved
    {
        const char* name;
        bool set;
        QByteArray value;
    };
    QList<Saved> m_saved;
};

constexpr QFile::Permissions kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
} // namespace

class tst_platform : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void xdgFoldersFollowTheEnvironment_data();
    void xdgFoldersFollowTheEnvironment();
    void loggedOnUserIsTheEffectiveUser();
    void executablePathIsThisProgram();
    void localFolderIsFixedMissingOneIsNot();
    void shellExecuteReportsMissingFilesAndFolders_data();
    void shellExecuteReportsMissingFilesAndFolders();
    void shellExecuteStartsProgramWithArgumentsInFolder_data();
    void shellExecuteStartsProgramWithArgumentsInFolder();
    void documentWithoutApplicationGives31();
    void documentMarkedExecutableIsNotRun();
    void defaultApplicationFoundThroughParentType();
    void registeredApplicationThatCannotOpenGives31_data();
    void registeredApplicationThatCannotOpenGives31();
    void favouritesStayBesideAWritableProgram();
    void installedProgramKeepsFavouritesInDataFolder();
    void favouritesMoveToPrivateDataFolder_data();
    void favouritesMoveToPrivateDataFolder();

private:
    QTemporaryDir m_dir;
    QString m_xdg;
};

void tst_platform::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // An empty desktop: no applications registered, no desktop environment detected, so
    // nothing a test hands to xdg-open can start a real viewer.
    m_xdg = m_dir.filePath("xdg");
    for (const char* sub : {"data/applications", "config"})
        QVERIFY(QDir().mkpath(m_xdg + "/" + sub));
    // The file types stay known: the system's type database without its applications.
    QVERIFY(QFile::link("/usr/share/mime", m_xdg + "/data/mime"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_xdg + "/data"));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_xdg + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_xdg + "/config"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_xdg + "/config"));
    for (const char* name :
         {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
          "MATE_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY", "BROWSER"})
        qunsetenv(name);
}

void tst_platform::xdgFoldersFollowTheEnvironment_data()
{
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QByteArray>("configHome");
    QTest::addColumn<QByteArray>("configDirs");
    QTest::addColumn<QString>("expectedConfigHome");
    QTest::addColumn<QStringList>("expectedConfigDirs");

    QTest::newRow("defaults") << QByteArray("/home/ann") << QByteArray() << QByteArray()
                              << "/home/ann/.config" << QStringList{"/etc/xdg"};
    QTest::newRow("set") << QByteArray("/home/ann") << QByteArray("/cfg/") << QByteArray("/a:/b/") << "/cfg"
                         << QStringList{"/a", "/b"};
    QTest::newRow("relative values ignored")
        << QByteArray("/home/ann") << QByteArray("cfg") << QByteArray("rel:/b") << "/home/ann/.config"
        << QStringList{"/b"};
}

void tst_platform::xdgFoldersFollowTheEnvironment()
{
    QFETCH(QByteArray, home);
    QFETCH(QByteArray, configHome);
    QFETCH(QByteArray, configDirs);
    QFETCH(QString, expectedConfigHome);
    QFETCH(QStringList, expectedConfigDirs);

    const EnvironmentGuard guard({"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME"});
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", configHome);
    qputenv("XDG_CONFIG_DIRS", configDirs);
    qunsetenv("XDG_DATA_HOME");
    const QString config = platform::XdgConfigHome();
    const QStringList dirs = platform::XdgConfigDirs();
    const QString data = platform::XdgDataHome();

    QCOMPARE(config, expectedConfigHome);
    QCOMPARE(dirs, expectedConfigDirs);
    QCOMPARE(data, QString::fromLatin1(home) + "/.local/share");
}

void tst_platform::loggedOnUserIsTheEffectiveUser()
{
    QProcess id;
    id.start("id", {"-un"});
    QVERIFY(id.waitForFinished());
    QCOMPARE(platform::LoggedOnUserName(), QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed());
}

void tst_platform::executablePathIsThisProgram()
{
    QCOMPARE(platform::ExecutablePath(),
             QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    QCOMPARE(platform::CommandLineArguments(), QCoreApplication::arguments().mid(1));
}

void tst_platform::localFolderIsFixedMissingOneIsNot()
{
    QVERIFY(platform::IsFixedDrive(m_dir.path()));
    QVERIFY(!platform::IsFixedDrive(m_dir.filePath("no/such/folder")));
    QVERIFY(!platform::IsFixedDrive(QString()));
}

void tst_platform::shellExecuteReportsMissingFilesAndFolders_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("result");
    QTest::newRow("missing file") << "missing.csv"
                                  << "" << platform::kShellFileNotFound;
    QTest::newRow("missing file, absolute") << "@/missing.csv"
                                            << "" << platform::kShellFileNotFound;
    QTest::newRow("missing folder of the file") << "@/nowhere/x.csv"
                                                << "" << platform::kShellPathNotFound;
    QTest::newRow("missing working folder") << "@/missing.csv"
                                            << "@/nowhere" << platform::kShellPathNotFound;
    QTest::newRow("empty file") << ""
                                << "" << platform::kShellFileNotFound;
}

void tst_platform::shellExecuteReportsMissingFilesAndFolders()
{
    QFETCH(QString, file);
    QFETCH(QString, folder);
    QFETCH(int, result);
    file.replace("@", m_dir.path());
    folder.replace("@", m_dir.path());
    QCOMPARE(platform::ShellExecute(file, QString(), folder), result);
}

void tst_platform::shellExecuteStartsProgramWithArgumentsInFolder_data()
{
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<bool>("relativeToFolder");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no parameters") << "" << false << QStringList{};
    QTest::newRow("quoted parameter kept whole") << "-a \"b c\" d" << false << QStringList{"-a", "b c", "d"};
    QTest::newRow("name relative to the working folder") << "x" << true << QStringList{"x"};
}

void tst_platform::shellExecuteStartsProgramWithArgumentsInFolder()
{
    QFETCH(QString, parameters);
    QFETCH(bool, relativeToFolder);
    QFETCH(QStringList, arguments);

    const QString work = m_dir.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(work));
    const QString program = work + "/recorder";
    writeFile(program, kRecorder, kExecutable);

    const int result = platform::ShellExecute(relativeToFolder ? "recorder" : program, parameters, work);
    QVERIFY2(result > 32, qPrintable(QString::number(result)));
    QTRY_VERIFY(QFile::exists(program + ".out"));
    QFile out(program + ".out");
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLocal8Bit(out.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QFileInfo(work).canonicalFilePath());
    QCOMPARE(lines.mid(1), arguments);
}

void tst_platform::documentWithoutApplicationGives31()
{
    const QString document = m_dir.filePath("data.quillory-unknown");
    writeFile(document, QByteArray("\x01\x02\x03\x04\xFF", 5));
    QCOMPARE(platform::DefaultApplicationFor(document), QString());
    QCOMPARE(platform::ShellExecute(document, QString(), QString()), platform::kShellNoAssociation);
}

void tst_platform::documentMarkedExecutableIsNotRun()
{
    // As on a FAT or SMB mount where every file carries the execute bit.
    const QString document = m_dir.filePath("rows.csv");
    writeFile(document, "a,b\n1,2\n", kExecutable);
    QCOMPARE(platform::ShellExecute(document, QString(), QString()), platform::kShellNoAssociation);
}

void tst_platform::defaultApplicationFoundThroughParentType()
{
    const QString entry = m_xdg + "/data/applications/quillory-viewer.desktop";
    writeFile(entry, "[Desktop Entry]\nType=Application\nName=Viewer\nExec=true %f\nMimeType=text/plain;\n");
    const QString csv = m_dir.filePath("export.csv");
    writeFile(csv, "a,b\n");
    const QString found = platform::DefaultApplicationFor(csv);
    QFile::remove(entry);
    QCOMPARE(found, QString("quillory-viewer.desktop"));
}

void tst_platform::registeredApplicationThatCannotOpenGives31_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<int>("result");
    // The viewer of a type registered for text files, as xdg-open finds it for a CSV file.
    QTest::newRow("viewer opens and returns") << QByteArray("#!/bin/sh\nexit 0\n") << platform::kShellSuccess;
    QTest::newRow("viewer keeps running") << QByteArray("#!/bin/sh\nsleep 4\n") << platform::kShellSuccess;
    QTest::newRow("viewer fails") << QByteArray("#!/bin/sh\nexit 1\n") << platform::kShellNoAssociation;
    QTest::newRow("viewer not installed") << QByteArray() << platform::kShellNoAssociation;
}

void tst_platform::registeredApplicationThatCannotOpenGives31()
{
    QFETCH(QByteArray, program);
    QFETCH(int, result);
    const QString viewer = m_dir.filePath("quillory-test-viewer");
    QFile::remove(viewer);
    if (!program.isEmpty())
        writeFile(viewer, program, kExecutable);
    const QString entry = m_xdg + "/data/applications/quillory-viewer.desktop";
    writeFile(entry, "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + QFile::encodeName(viewer) +
                         " %f\nMimeType=text/plain;\n");
    const QString csv = m_dir.filePath("export.csv");
    writeFile(csv, "a,b\n");
    // A display, so that xdg-open looks for the registered viewer; no browser to fall
    // back on.
    qputenv("DISPLAY", ":quillory-none");
    qputenv("BROWSER", "false");
    const int got = platform::ShellExecute(csv, QString(), QString());
    qunsetenv("DISPLAY");
    qunsetenv("BROWSER");
    QFile::remove(entry);
    QCOMPARE(got, result);
}

void tst_platform::favouritesStayBesideAWritableProgram()
{
    EnvironmentGuard guard({"XDG_DATA_HOME"});
    QTemporaryDir exe, data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QCOMPARE(platform::FavouritesFolder(exe.path()), exe.path());
    QVERIFY(!QFileInfo::exists(data.filePath(QStringLiteral("Quillory"))));
    QCOMPARE(QDir(exe.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// Even root, who can write /usr/bin, keeps an installed program's favourites in the data
// folder: the package manager owns /usr.
void tst_platform::installedProgramKeepsFavouritesInDataFolder()
{
    EnvironmentGuard guard({"XDG_DATA_HOME"});
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin"})
        QCOMPARE(platform::FavouritesFolder(QLatin1String(folder)), data.filePath(QStringLiteral("Quillory")));
}

// An installed program's folder (/usr/bin) cannot be written: the favourites go to the
// user's data folder, made private, or stay with the program when even that fails.
void tst_platform::favouritesMoveToPrivateDataFolder_data()
{
    QTest::addColumn<QString>("exeFolder");   // relative to a temporary folder
    QTest::addColumn<QByteArray>("dataHome"); // XDG_DATA_HOME ("" = unset), relative
    QTest::addColumn<QString>("expected");    // relative; "" = the exe folder
    QTest::addColumn<bool>("madePrivate");
    QTest::newRow("missing program folder") << "gone" << QByteArray("share") << "share/Quillory" << true;
    QTest::newRow("data home made with its parents")
        << "gone" << QByteArray("a/b/share") << "a/b/share/Quillory" << true;
    QTest::newRow("default under home") << "gone" << QByteArray() << "home/.local/share/Quillory" << true;
    QTest::newRow("existing folder kept") << "gone" << QByteArray("kept") << "kept/Quillory" << false;
    QTest::newRow("data home is a file") << "gone" << QByteArray("file") << "" << false;
    if (geteuid() != 0) // root writes anywhere
        QTest::newRow("read-only program folder") << "ro" << QByteArray("share") << "share/Quillory" << true;
}

void tst_platform::favouritesMoveToPrivateDataFolder()
{
    QFETCH(QString, exeFolder);
    QFETCH(QByteArray, dataHome);
    QFETCH(QString, expected);
    QFETCH(bool, madePrivate);
    EnvironmentGuard guard({"XDG_DATA_HOME", "HOME"});
    QTemporaryDir root;
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("ro")) && dir.mkpath(QStringLiteral("home")) &&
            dir.mkpath(QStringLiteral("kept/Quillory")));
    QFile::setPermissions(dir.filePath(QStringLiteral("ro")), QFile::ReadOwner | QFile::ExeOwner);
    QFile file(dir.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    if (dataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QString::fromLatin1(dataHome))));

    const QString exe = dir.filePath(exeFolder);
    const QString folder = platform::FavouritesFolder(exe);
    QCOMPARE(folder, expected.isEmpty() ? exe : dir.filePath(expected));
    if (madePrivate)
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                    QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
    QFile::setPermissions(dir.filePath(QStringLiteral("ro")), kExecutable);
}

QTEST_GUILESS_MAIN(tst_platform)
#include "tst_platform.moc"
