// Quillory as a user meets it: a real X server (Xvfb), a real system tray (trayer),
// the built program, and clicks and keys sent with xdotool.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct Window
{
    QString id;
    QRect geometry;
};

// One X display with an optional tray, living for one test.
class XSession
{
public:
    ~XSession()
    {
        for (QProcess* p : {m_tray.get(), m_x.get()})
            if (p && p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(3000))
                    p->kill();
                p->waitForFinished(1000);
            }
    }

    // Empty on success, else why the X server could not start.
    QString start()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return QStringLiteral("Xvfb is not installed");
        // Xvfb picks a free display and writes its number once it accepts connections.
        m_x = std::make_unique<QProcess>();
        m_x->start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp"),
                          // Without it the server resets when its last client leaves, and a
                          // client connecting during the reset is refused.
                          QStringLiteral("-noreset")});
        if (!m_x->waitForStarted(5000))
            return QStringLiteral("Xvfb did not start: ") + m_x->errorString();
        QByteArray number;
        for (int waited = 0; waited < 10000 && !number.endsWith('\n'); waited += 50) {
            if (m_x->state() == QProcess::NotRunning)
                return QStringLiteral("Xvfb exited: ") +
                       QString::fromLocal8Bit(m_x->readAllStandardError()).trimmed().right(300);
            m_x->waitForReadyRead(50);
            number += m_x->readAllStandardOutput();
        }
        if (number.trimmed().isEmpty())
            return QStringLiteral("Xvfb named no display");
        m_display = u':' + QString::fromLatin1(number.trimmed());
        return xdotool({"getmouselocation"}).ok ? QString() : QStringLiteral("no connection to Xvfb");
    }

    QString display() const { return m_display; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // No D-Bus tray host: the icon docks into the X tray like on any XEmbed panel.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        return env;
    }

    bool startTray()
    {
        // A panel that could not connect is started once more before the test gives up.
        for (int attempt = 0; attempt < 2; ++attempt)
            if (startTrayOnce())
                return true;
        return false;
    }

    bool startTrayOnce()
    {
        m_tray = std::make_unique<QProcess>();
        m_tray->setProcessChannelMode(QProcess::MergedChannels);
        m_tray->setProcessEnvironment(environment());
        m_tray->start(QStringLiteral("trayer"),
                      {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "200",
                       "--heighttype", "pixel", "--height", "32", "--transparent", "false"});
        if (!m_tray->waitForStarted(5000))
            return false;
        for (int i = 0; i < 100; ++i) {
            if (!xdotool({"search", "--onlyvisible", "--class", "trayer"}).out.isEmpty())
                return true;
            QTest::qWait(50);
        }
        qWarning("trayer did not show its panel (%s): %s",
                 m_tray->state() == QProcess::Running ? "running" : "ended", m_tray->readAll().constData());
        return false;
    }

    struct Result
    {
        bool ok = false;
        QString out;
    };

    Result run(const QString& program, const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        if (!p.waitForFinished(10000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
                QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed()};
    }

    Result xdotool(const QStringList& args) const { return run(QStringLiteral("xdotool"), args); }

    QList<Window> visibleWindows(const QString& cls) const
    {
        QList<Window> list;
        const QString ids = xdotool({"search", "--onlyvisible", "--class", cls}).out;
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            const QString info = run(QStringLiteral("xwininfo"), {"-id", id}).out;
            const auto value = [&info](const char* key) {
                const QRegularExpression re(QStringLiteral("%1:\\s+(-?\\d+)").arg(QLatin1String(key)));
                return re.match(info).captured(1).toInt();
            };
            if (info.contains(QLatin1String("IsViewable")))
                list.append({id, QRect(value("Absolute upper-left X"), value("Absolute upper-left Y"),
                                       value("Width"), value("Height"))});
        }
        return list;
    }

    void screenshot(const QString& name) const
    {
        if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
            return;
        QDir().mkpath(QStringLiteral(QUILLORY_TEST_OUTPUT_DIR));
        run(QStringLiteral("import"),
            {"-window", "root", QStringLiteral(QUILLORY_TEST_OUTPUT_DIR "/%1.png").arg(name)});
    }

private:
    QString m_display;
    std::unique_ptr<QProcess> m_x;
    std::unique_ptr<QProcess> m_tray;
};

bool waitFor(const std::function<bool()>& condition, int ms = 10000)
{
    for (int waited = 0; waited < ms; waited += 50) {
        if (condition())
            return true;
        QTest::qWait(50);
    }
    return condition();
}

} // namespace

class tst_e2eTray : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void clickOpensTheMenuWithEitherButtonAndUnloadMeEndsTheRun();
    void terminationSignalEndsTheRunInOrder();
    void terminationSignalDuringAStartUpErrorEndsTheRunInOrder();
    void secondCopyOnTheSameFavouritesRefusesToRun();
    void withoutATrayTheUserIsToldAndTheIconComesWithTheTray();

private:
    std::unique_ptr<QProcess> startQuillory(QProcess::ProcessChannelMode mode = QProcess::SeparateChannels);
    // The tray icon: a small Quillory window inside the tray at the bottom right.
    std::optional<Window> trayIcon() const;
    int quilloryWindowCount() const { return int(m_x->visibleWindows(QStringLiteral("Quillory")).size()); }

    std::unique_ptr<XSession> m_x;
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_program;
};

void tst_e2eTray::init()
{
    m_x = std::make_unique<XSession>();
    const QString why = m_x->start();
    if (!why.isEmpty())
        QSKIP(qPrintable(
            QStringLiteral("The X server cannot start here (%1); end-to-end tray test skipped.").arg(why)));
    for (const char* tool : {"xdotool", "xwininfo", "trayer"})
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                 qPrintable(
                     QStringLiteral("%1 is missing (scripts/lib.sh installs it)").arg(QLatin1String(tool))));

    // The program keeps its favourites beside itself: run a copy in a folder of our own.
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("bin"))));
    m_program = m_home->filePath(QStringLiteral("bin/Quillory"));
    QVERIFY(QFile::copy(QStringLiteral(QUILLORY_BIN_DIR "/Quillory"), m_program));
    QFile::copy(QStringLiteral(QUILLORY_BIN_DIR "/Quillory.chm"),
                m_home->filePath(QStringLiteral("bin/Quillory.chm")));
}

void tst_e2eTray::cleanup()
{
    m_x.reset();
    m_home.reset();
}

std::unique_ptr<QProcess> tst_e2eTray::startQuillory(QProcess::ProcessChannelMode mode)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = m_x->environment();
    env.insert(QStringLiteral("HOME"), m_home->path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
    const QString runtime = m_home->filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(mode);
    p->start(m_program, {});
    if (!p->waitForStarted(5000))
        return nullptr;
    return p;
}

std::optional<Window> tst_e2eTray::trayIcon() const
{
    for (const Window& w : m_x->visibleWindows(QStringLiteral("Quillory")))
        if (w.geometry.width() <= 48 && w.geometry.height() <= 48 && w.geometry.top() >= 760 &&
            w.geometry.left() >= 1080)
            return w;
    return std::nullopt;
}

void tst_e2eTray::clickOpensTheMenuWithEitherButtonAndUnloadMeEndsTheRun()
{
    QVERIFY(m_x->startTray());
    auto quillory = startQuillory();
    QVERIFY(quillory);
    QVERIFY2(waitFor([this] { return trayIcon().has_value(); }), "the tray icon never showed");
    QCOMPARE(quilloryWindowCount(), 1); // the icon and nothing else: no main window
    const QPoint centre = trayIcon()->geometry.center();

    for (const char* button : {"1", "3"}) {
        QVERIFY(m_x->xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click",
                              QLatin1String(button)})
                    .ok);
        QVERIFY2(waitFor([this] { return quilloryWindowCount() == 2; }, 5000),
                 qPrintable(QStringLiteral("button %1 did not open the menu").arg(QLatin1String(button))));
        m_x->screenshot(QStringLiteral("menu-button%1").arg(QLatin1String(button)));
        m_x->xdotool({"key", "Escape"});
        QVERIFY(waitFor([this] { return quilloryWindowCount() == 1; }, 5000));
    }

    // New Folder: Quillory > About > New Folder (Delete is disabled on a first start).
    m_x->xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
    QVERIFY(waitFor([this] { return quilloryWindowCount() == 2; }, 5000));
    m_x->xdotool({"key", "--delay", "150", "Down", "Right", "Down", "Return"});
    QVERIFY2(
        waitFor([this] {
            return !m_x->xdotool({"search", "--onlyvisible", "--name", "Query Folder Name"}).out.isEmpty();
        }),
        "the folder name box did not open");
    m_x->xdotool({"type", "--delay", "30", "Reports"});
    m_x->screenshot(QStringLiteral("new-folder"));
    m_x->xdotool({"key", "Return"});
    const QString folders = m_home->filePath(QStringLiteral("bin/folders.xml"));
    QVERIFY2(waitFor([&folders] {
                 QFile f(folders);
                 return f.open(QIODevice::ReadOnly) && f.readAll().contains("Name=\"Reports\"");
             }),
             "the new folder was not saved");

    // Unload Me: the last entry of the Quillory submenu, then Yes.
    m_x->xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "3"});
    QVERIFY(waitFor([this] { return quilloryWindowCount() == 2; }, 5000));
    m_x->xdotool({"key", "--delay", "150", "Down", "Right", "Up"});
    m_x->screenshot(QStringLiteral("unload-me"));
    m_x->xdotool({"key", "Return"});
    QVERIFY2(waitFor([this] {
                 return !m_x->xdotool({"search", "--onlyvisible", "--name", "Are you sure\\?"}).out.isEmpty();
             }),
             "Unload Me did not ask");
    m_x->screenshot(QStringLiteral("unload-question"));
    m_x->xdotool({"key", "Return"}); // Yes is the default
    QVERIFY2(quillory->waitForFinished(10000), "the program did not end after Yes");
    QCOMPARE(quillory->exitStatus(), QProcess::NormalExit);
    QCOMPARE(quillory->exitCode(), 0);
    QFile written(folders);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().contains("Name=\"Reports\""));
    QVERIFY(QFile::exists(m_home->filePath(QStringLiteral("bin/queries.xml"))));
    QVERIFY(!QFile::exists(m_home->filePath(QStringLiteral("bin/.Quillory.lock"))));
}

void tst_e2eTray::terminationSignalEndsTheRunInOrder()
{
    QVERIFY(m_x->startTray());
    auto quillory = startQuillory();
    QVERIFY(quillory);
    QVERIFY(waitFor([this] { return trayIcon().has_value(); }));
    quillory->terminate(); // SIGTERM
    QVERIFY(quillory->waitForFinished(10000));
    QCOMPARE(quillory->exitStatus(), QProcess::NormalExit);
    QCOMPARE(quillory->exitCode(), 0);
    QVERIFY(QFile::exists(m_home->filePath(QStringLiteral("bin/folders.xml"))));
    QVERIFY(!QFile::exists(m_home->filePath(QStringLiteral("bin/.Quillory.lock"))));
}

void tst_e2eTray::terminationSignalDuringAStartUpErrorEndsTheRunInOrder()
{
    // An unreadable favourites file: the start-up error box waits for the user.
    const QString folders = m_home->filePath(QStringLiteral("bin/folders.xml"));
    {
        QFile broken(folders);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a data packet");
    }
    QVERIFY(m_x->startTray());
    auto quillory = startQuillory();
    QVERIFY(quillory);
    QVERIFY2(waitFor([this] {
                 return !m_x->xdotool({"search", "--onlyvisible", "--name", "^Quillory$"}).out.isEmpty();
             }),
             "no start-up error box");
    m_x->screenshot(QStringLiteral("start-up-error"));
    quillory->terminate(); // SIGTERM while the box is open
    QVERIFY2(quillory->waitForFinished(10000), "the program did not end");
    QCOMPARE(quillory->exitStatus(), QProcess::NormalExit);
    QCOMPARE(quillory->exitCode(), 0);
    QFile kept(folders);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("not a data packet")); // an unreadable file is never replaced
    QVERIFY(!QFile::exists(m_home->filePath(QStringLiteral("bin/.Quillory.lock"))));
}

void tst_e2eTray::secondCopyOnTheSameFavouritesRefusesToRun()
{
    QVERIFY(m_x->startTray());
    auto first = startQuillory();
    QVERIFY(first);
    QVERIFY(waitFor([this] { return trayIcon().has_value(); }));
    auto second = startQuillory();
    QVERIFY(second);
    QVERIFY2(waitFor([this] {
                 return !m_x->xdotool({"search", "--onlyvisible", "--name", "^Quillory$"}).out.isEmpty();
             }),
             "the second copy showed no message");
    m_x->screenshot(QStringLiteral("already-running"));
    m_x->xdotool({"key", "Return"});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 1);
    QVERIFY(QString::fromLocal8Bit(second->readAllStandardError())
                .contains(QStringLiteral("Quillory is already running.")));
    QCOMPARE(first->state(), QProcess::Running);
    first->terminate();
    QVERIFY(first->waitForFinished(10000));
}

void tst_e2eTray::withoutATrayTheUserIsToldAndTheIconComesWithTheTray()
{
    auto quillory = startQuillory();
    QVERIFY(quillory);
    QVERIFY2(
        waitFor([&quillory] { return quillory->readAllStandardError().contains("found no system tray"); }),
        "nothing said on standard error");
    QVERIFY2(waitFor([this] {
                 return !m_x->xdotool({"search", "--onlyvisible", "--name", "^Quillory$"}).out.isEmpty();
             }),
             "no message box");
    m_x->screenshot(QStringLiteral("no-tray"));
    QVERIFY(!trayIcon());
    QVERIFY(m_x->startTray());
    QVERIFY2(waitFor([this] { return trayIcon().has_value(); }), "the icon did not come with the tray");
    m_x->xdotool({"key", "Return"}); // close the notice
    quillory->terminate();
    QVERIFY(quillory->waitForFinished(10000));
    QCOMPARE(quillory->exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_e2eTray)
#include "tst_e2eTray.moc"
