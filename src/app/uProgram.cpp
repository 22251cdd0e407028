#include "uProgram.h"

#include "SchedPreviewDlg.h"
#include "datModQuillory.h"
#include "formQuilloryMain.h"
#include "formShowQuery.h"
#include "uDialogsWidgets.h"
#include "uErrorBox.h"
#include "uFavouritesFolder.h"
#include "uPageMemory.h"
#include "uParameters.h"
#include "uSizedIcon.h"
#include "uSystemInfo.h"
#include "uWidgets.h"

#include <QDir>
#include <QFileInfo>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

static void initAppResources()
{
    Q_INIT_RESOURCE(programIcon);
}

namespace {

int signalPipe[2] = {-1, -1};

void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

void toStderr(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

// Set once the run has ended in order; until then an exit from elsewhere (the display
// connection lost) still writes the settings file.
bool orderlyEnd = false;

void saveParametersAtExit()
{
    if (!orderlyEnd)
        SaveParameters();
}

} // namespace

TQuilloryApplication::TQuilloryApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQuilloryApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unknown error"));
    }
    return false;
}

TRunningLock::TRunningLock(const QString& folder)
    : m_lock(std::make_unique<QLockFile>(QDir(folder).filePath(QLatin1String(kLockFileName))))
{
    // Held for the whole run: only a lock whose program has died counts as stale.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        m_heldElsewhere = m_lock->error() == QLockFile::LockFailedError;
}

TQuitSignals::TQuitSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
        if (m_onSignal)
            m_onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

TQuitSignals::~TQuitSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

QIcon ProgramIcon()
{
    initAppResources();
    // Drawn at build time at these sizes; the window manager is offered the small ones:
    // a window's icon goes to it at every size listed, the tray's own window included,
    // and a desktop that shows big icons takes the installed scalable one.
    return SizedIcon(QStringLiteral(":/icons/quillory-%1.argb"), {16, 22, 24, 32, 48, 64, 128},
                     {16, 24, 32, 48, 64});
}

int RunQuillory(int argc, char** argv)
{
    platform::UseOneHeap();
    InitParameters();
    std::atexit(saveParametersAtExit);

    TQuilloryApplication app(argc, argv);
    installWidgetDialogs();
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    const QString folder = platform::FavouritesFolder(QFileInfo(platform::ExecutablePath()).absolutePath());
    const TRunningLock lock(folder);
    if (lock.heldElsewhere()) {
        const QString message = QLatin1String(TRunningLock::kAlreadyRunning);
        toStderr(message);
        ShowMessage(message);
        orderlyEnd = true;
        return 1;
    }

    // Without a display or an X server the application object could not exist; from
    // here on, errors are for the user to see.
    bool endedBySignal = false;
    const auto reportEndError = [&endedBySignal](const QString& message) {
        if (endedBySignal)
            toStderr(message); // no one is left to close a box
        else
            ShowErrorBox(message);
    };

    // The orderly end comes first, so that a signal or the session's end while a start-up
    // box is open ends the run in order too. exit() rather than quit(): before the
    // message loop runs, only exit() ends the box's own loop.
    const TQuitSignals quitSignals([&endedBySignal] {
        endedBySignal = true;
        QCoreApplication::exit(0);
    });
    // The desktop session ends: save now, then stop like Unload Me.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [&endedBySignal](QSessionManager&) {
        endedBySignal = true;
        try {
            if (dmQuillory)
                dmQuillory->writeAll();
        } catch (const std::exception& e) {
            toStderr(ExceptionMessage(e));
        }
        SaveParameters();
        QCoreApplication::exit(0);
    });

    dmQuillory = new TdmQuillory(folder);
    for (const QString& error : dmQuillory->startupErrors()) {
        if (endedBySignal)
            toStderr(error);
        else
            ShowErrorBox(error);
    }

    // The diary's print preview: one window for the whole run, made when first asked for,
    // shared by every query window and kept until the program ends.
    std::unique_ptr<TPreviewForm> preview;
    const TPreviewSource previews = [&preview]() {
        if (!preview)
            preview = std::make_unique<TPreviewForm>();
        return preview.get();
    };
    // New Query and the saved queries of the tray menu open the query window.
    TfrmQuillorymain::setQueryWindowFactory([previews](QWidget* owner, int parentId, int queryId) {
        return CreateQueryWindow(owner, parentId, queryId, previews);
    });
    try {
        if (!endedBySignal)
            frmQuillorymain = new TfrmQuillorymain;
        QObject::connect(frmQuillorymain, &TfrmQuillorymain::exitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    } catch (const std::exception& e) {
        ShowException(e);
    }

    const int result = endedBySignal ? 0 : frmQuillorymain ? app.exec() : 1;

    // The main form (and the tray icon) goes first, then the store, which writes its
    // files; the settings file last.
    delete frmQuillorymain;
    frmQuillorymain = nullptr;
    TfrmQuillorymain::setQueryWindowFactory({});
    preview.reset();
    delete dmQuillory;
    dmQuillory = nullptr;
    for (const QString& error : TdmQuillory::shutdownErrors())
        reportEndError(error);
    if (!SaveParameters())
        reportEndError(QStringLiteral("Cannot write the settings file \"%1\"")
                           .arg(Parameters().UserParameterFileName()));
    orderlyEnd = true;
    return result;
}
