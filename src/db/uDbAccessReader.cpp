#include "uDbAccessReader.h"

#include "uAccessReaderProtocol.h"
#include "uDbAccessStream.h"
#include "uDbError.h"
#include "uLimitedProcess.h"
#include "uPlatformError.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

// A sanitizer's shadow memory takes terabytes of address space: no address-space limit
// can hold such a build of the reader.
#if defined(__SANITIZE_ADDRESS__)
#define QUILLORY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLORY_SANITIZED 1
#endif
#endif

namespace dbbackends {

namespace {

constexpr char kReaderName[] = "quillory-access-reader";
using Clock = std::chrono::steady_clock;
using OnFrame = std::function<void(char, const char*, quint32)>;

std::mutex g_hooksLock;
TAccessReaderTestHooks g_hooks;

QString damaged(const QString& file, const QString& reason)
{
    return QStringLiteral("%1: the Access file could not be read; it may be damaged (%2).").arg(file, reason);
}

QString signalReason(int sig, const QString& phase)
{
    switch (sig) {
    case SIGSEGV:
    case SIGBUS:
        return QStringLiteral("the reader stopped with a memory access error while %1").arg(phase);
    case SIGFPE:
        return QStringLiteral("the reader stopped with an arithmetic error while %1").arg(phase);
    case SIGILL:
    case SIGABRT:
    case SIGTRAP:
        return QStringLiteral("the reader stopped with an internal error while %1").arg(phase);
    case SIGSYS:
        return QStringLiteral("the reader was stopped for a forbidden system call while %1").arg(phase);
    case SIGKILL:
        return QStringLiteral("the reader was killed while %1").arg(phase);
    default:
        return QStringLiteral("the reader stopped with signal %1 (%2) while %3")
            .arg(sig)
            .arg(QString::fromLocal8Bit(strsignal(sig)), phase);
    }
}

// Owns the started reader: however the run ends, the output is closed and the process
// killed and reaped, so no reader outlives its request.
struct Child
{
    const platform::TLimitedChild c;
    bool reaped = false;

    ~Child()
    {
        close(c.output);
        if (!reaped && c.pid > 0) {
            kill(c.pid, SIGKILL);
            while (waitpid(c.pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    // Kills the reader and waits for it; its status.
    int stop()
    {
        kill(c.pid, SIGKILL);
        int status = 0;
        while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        reaped = true;
        return status;
    }
};

int runHere(const TAccessReaderJob& job, const OnFrame& onFrame, const TAccessReaderTestHooks& hooks)
{
    const QString program = AccessReaderProgram();
    if (program.isEmpty())
        throw EDbError(QStringLiteral("%1: the Access file could not be read: the program %2 was found neither "
                                      "beside Quillory nor in ../libexec/quillory.")
                           .arg(job.file, QLatin1String(kReaderName)));
    platform::TProcessLimits limits;
    limits.addressSpaceBytes =
        hooks.memoryLimitBytes ? hooks.memoryLimitBytes : AccessReaderMemoryLimit(QFileInfo(job.file).size());
#ifdef QUILLORY_SANITIZED
    limits.addressSpaceBytes = 0;
#endif
    // CPU time only backs up the wall clock below (a reader stopped by a debugger, say).
    limits.cpuSeconds = unsigned(job.timeoutSeconds) + 2;
    limits.keepStandardError = qEnvironmentVariableIsSet("QUILLORY_READER_STDERR");
    const auto start = [&] {
        try {
            return platform::StartLimitedProcess(program, job.args, limits);
        } catch (const platform::EPlatformError& e) {
            throw EDbError(QStringLiteral("%1: the Access file could not be read: %2").arg(job.file, e.message()));
        }
    };
    Child child{start()};
    const qint64 pid = child.c.pid;
    const QString timedOut = damaged(job.file, QStringLiteral("it did not finish within %1 seconds").arg(job.timeoutSeconds));
    const auto deadline = Clock::now() + std::chrono::seconds(job.timeoutSeconds);
    const auto msLeft = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    };

    TAccessFrameSplitter splitter([&](char kind, const char* p, quint32 n) {
        if (hooks.onFrame)
            hooks.onFrame(pid, kind);
        onFrame(kind, p, n);
    });
    std::vector<char> buf(256 << 10);
    try {
        for (;;) {
            const qint64 left = msLeft();
            if (left <= 0) {
                child.stop();
                throw EDbError(timedOut);
            }
            pollfd p{child.c.output, POLLIN, 0};
            const int rc = poll(&p, 1, int(std::min<qint64>(left, INT_MAX)));
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc <= 0)
                continue; // the deadline is checked above
            const ssize_t n = read(child.c.output, buf.data(), buf.size());
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                break;
            splitter.Feed(buf.data(), n);
        }
    } catch (const EAccessAnswerMalformed&) {
        child.stop();
        throw EDbError(damaged(job.file, QStringLiteral("its reader gave a malformed answer while %1").arg(job.phase)));
    }

    // The output ended: the reader is ending. Wait for it within the time left.
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(child.c.pid, &status, WNOHANG);
        if (r == child.c.pid) {
            child.reaped = true;
            break;
        }
        if (r < 0 && errno != EINTR)
            throw EDbError(damaged(job.file, QStringLiteral("its reader vanished while %1").arg(job.phase)));
        if (msLeft() <= 0) {
            child.stop();
            throw EDbError(timedOut);
        }
        usleep(500);
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        throw EDbError(sig == SIGXCPU ? timedOut : damaged(job.file, signalReason(sig, job.phase)));
    }
    const int code = WEXITSTATUS(status);
    if (code == accessreader::ExitNoMemory)
        throw EDbError(damaged(job.file, QStringLiteral("it needed more than %1 MB").arg(limits.addressSpaceBytes >> 20)));
    if (code == 127)
        throw EDbError(QStringLiteral("%1: the Access file could not be read: %2 could not be started.").arg(job.file, program));
    if (code == 0 || (code >= accessreader::ExitNotAccess && code <= accessreader::ExitBadTable)) {
        if (!splitter.Idle())
            throw EDbError(damaged(job.file, QStringLiteral("its reader gave a malformed answer while %1").arg(job.phase)));
        return code;
    }
    throw EDbError(damaged(job.file, QStringLiteral("the reader ended with code %1 while %2").arg(code).arg(job.phase)));
}

} // namespace

QString AccessReaderProgram()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return {};
    const QString dir = QFileInfo(QFile::decodeName(QByteArray(exe, n))).absolutePath();
    for (const QString& candidate : {dir + QLatin1Char('/') + QLatin1String(kReaderName),
                                     dir + QLatin1String("/../libexec/quillory/") + QLatin1String(kReaderName)}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

quint64 AccessReaderMemoryLimit(qint64 fileSize)
{
    // Reading keeps about one row and one page at a time; a value is never larger than
    // the file. Eight times the file with a floor leaves room for libmdb's own tables.
    return std::max<quint64>(quint64(256) << 20, quint64(std::max<qint64>(fileSize, 0)) * 8);
}

void SetAccessReaderTestHooks(const TAccessReaderTestHooks& hooks)
{
    std::lock_guard lock(g_hooksLock);
    g_hooks = hooks;
}

int RunAccessReader(const TAccessReaderJob& job, const OnFrame& onFrame)
{
    TAccessReaderTestHooks hooks;
    {
        std::lock_guard lock(g_hooksLock);
        hooks = g_hooks;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return runHere(job, onFrame, hooks);
    // On the application's thread: the reader is run from a worker while this thread
    // keeps painting and running timers. User input waits, so nothing can reach this
    // connection (or close its window) while a statement on it is half done.
    int result = 0;
    std::exception_ptr error;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result = runHere(job, onFrame, hooks);
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (error)
        std::rethrow_exception(error);
    return result;
}

} // namespace dbbackends
