#include "uDbAccessReader.h"
#include "uDbFetch.h"

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
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// A sanitizer's shadow memory takes terabytes of address space: no address-space limit
// can hold such a build of the reader.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLORY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLORY_SANITIZED 1
#endif
#endif

namespace dbbackends {

namespace {

constexpr char kReaderName[] = "quillory-access-reader";
using Clock = std::chrono::steady_clock;
using OnFrame = TAccessReader::OnFrame;

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

QString malformedReason(const QString& phase)
{
    return QStringLiteral("its reader gave a malformed answer while %1").arg(phase);
}

// Runs work off the application's thread when called on it, handling every event but
// user input meanwhile; elsewhere it simply runs it.
template <typename Work> auto runAwayFromEvents(Work work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return work();
    decltype(work()) result{};
    std::exception_ptr error;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result = work();
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Nothing can reach this connection (or close its window) while a statement on it
    // is half done, yet the windows keep painting.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (error)
        std::rethrow_exception(error);
    return result;
}

} // namespace

struct TAccessReader::Data
{
    QString file;
    int timeoutSeconds = 30;
    TAccessReaderTestHooks hooks;
    quint64 memoryLimit = 0;
    platform::TLimitedChild child;
    bool running = false;

    // Kills the reader and waits for it; its status.
    int stop()
    {
        int status = 0;
        if (!running)
            return status;
        close(child.output);
        close(child.input);
        kill(child.pid, SIGKILL);
        while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
        running = false;
        return status;
    }

    void start()
    {
        const QString program = AccessReaderProgram();
        if (program.isEmpty())
            throw EDbError(QStringLiteral("%1: the Access file could not be read: the program %2 was found neither "
                                          "beside Quillory nor in ../libexec/quillory.")
                               .arg(file, QLatin1String(kReaderName)));
        platform::TProcessLimits limits;
        memoryLimit = hooks.memoryLimitBytes ? hooks.memoryLimitBytes : AccessReaderMemoryLimit(QFileInfo(file).size());
#ifndef QUILLORY_SANITIZED
        limits.addressSpaceBytes = memoryLimit;
#else
        memoryLimit = 0;
#endif
        // CPU time only backs up the wall clock (a reader stopped by a debugger, say).
        limits.cpuSeconds = unsigned(timeoutSeconds) + 2;
        limits.keepStandardError = qEnvironmentVariableIsSet("QUILLORY_READER_STDERR");
        limits.withInput = true;
        // The reader dies with the program, whichever thread starts it (a fetch's worker
        // thread ends long before the connection does).
        try {
            child = platform::StartLimitedProcess(program, {QStringLiteral("serve"), file}, limits);
        } catch (const platform::EPlatformError& e) {
            throw EDbError(QStringLiteral("%1: the Access file could not be read: %2").arg(file, e.message()));
        }
        running = true;
    }

    // Sends request (none for the table list the reader starts with) and passes the
    // answer's frames on until its result, which is returned.
    int exchange(const QByteArray& request, const QString& phase, const OnFrame& onFrame)
    {
        try {
            return runAwayFromEvents([&] { return exchangeHere(request, phase, onFrame); });
        } catch (...) {
            stop();
            throw;
        }
    }

    int exchangeHere(const QByteArray& request, const QString& phase, const OnFrame& onFrame)
    {
        const qint64 pid = child.pid;
        const QString timedOut = damaged(file, QStringLiteral("it did not finish within %1 seconds").arg(timeoutSeconds));
        const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
        const auto msLeft = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        };
        if (!request.isEmpty()) {
            platform::ExtendCpuLimit(child.pid, unsigned(timeoutSeconds) + 2);
            // A reader gone shows as the end of its output below.
            for (qsizetype sent = 0; sent < request.size();) {
                const ssize_t n = send(child.input, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                sent += n;
            }
        }

        int result = -1;
        TAccessFrameSplitter splitter([&](char kind, const char* p, quint32 n) {
            if (hooks.onFrame)
                hooks.onFrame(pid, kind);
            if (result >= 0)
                throw EAccessAnswerMalformed(QStringLiteral("a frame after the result"));
            if (kind == accessreader::FrameResult) {
                if (n != 1)
                    throw EAccessAnswerMalformed(QStringLiteral("a result"));
                result = quint8(p[0]);
                return;
            }
            onFrame(kind, p, n);
        });
        std::vector<char> buf(256 << 10);
        try {
            while (result < 0) {
                const qint64 left = msLeft();
                if (left <= 0)
                    throw EDbError(timedOut);
                // A cancelled fetch is noticed within a tenth of a second; the reader is
                // then stopped like a failed one and replaced on the next request.
                if (dbfetch::cancelRequested())
                    throw EDbFetchCancelled();
                pollfd p{child.output, POLLIN, 0};
                const int rc = poll(&p, 1, int(std::min<qint64>(left, 100)));
                if (rc <= 0)
                    continue; // interrupted, or the deadline, checked above
                const ssize_t n = read(child.output, buf.data(), buf.size());
                if (n < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                if (n <= 0)
                    break;
                splitter.Feed(buf.data(), n);
            }
        } catch (const EAccessAnswerMalformed&) {
            throw EDbError(damaged(file, malformedReason(phase)));
        }
        if (result >= 0) {
            if (!splitter.Idle())
                throw EDbError(damaged(file, malformedReason(phase)));
            if (result == 0 || (result >= accessreader::ExitNotAccess && result <= accessreader::ExitBadTable))
                return result;
            throw EDbError(damaged(file, malformedReason(phase)));
        }

        // The output ended without a result: the reader is ending. Wait for it within
        // the time left.
        int status = 0;
        rusage usage{};
        for (;;) {
            const pid_t r = wait4(child.pid, &status, WNOHANG, &usage);
            if (r == child.pid)
                break;
            if (r < 0 && errno != EINTR)
                throw EDbError(damaged(file, QStringLiteral("its reader vanished while %1").arg(phase)));
            if (msLeft() <= 0)
                throw EDbError(timedOut);
            usleep(500);
        }
        close(child.output);
        close(child.input);
        running = false;
        // Where an allocation fails under the limit decides how the reader ends: its own
        // code, GLib's abort, or libmdb's use of a null pointer. A reader that ended
        // abnormally after taking most of its limit in memory ran out of it.
        const bool full = memoryLimit && quint64(usage.ru_maxrss) * 1024 >= memoryLimit / 2;
        if (WIFSIGNALED(status)) {
            const int sig = WTERMSIG(status);
            if (sig == SIGXCPU)
                throw EDbError(timedOut);
            if (full && sig != SIGKILL)
                throw EDbError(damaged(file, QStringLiteral("it needed more than %1 MB").arg(memoryLimit >> 20)));
            throw EDbError(damaged(file, signalReason(sig, phase)));
        }
        const int code = WEXITSTATUS(status);
        if (code == accessreader::ExitNoMemory)
            throw EDbError(damaged(file, QStringLiteral("it needed more than %1 MB").arg(memoryLimit >> 20)));
        if (code == 127)
            throw EDbError(QStringLiteral("%1: the Access file could not be read: %2 could not be started.")
                               .arg(file, AccessReaderProgram()));
        if (code == 0)
            throw EDbError(damaged(file, malformedReason(phase)));
        throw EDbError(damaged(file, QStringLiteral("the reader ended with code %1 while %2").arg(code).arg(phase)));
    }
};

TAccessReader::TAccessReader(const QString& file, int timeoutSeconds) : m_d(std::make_unique<Data>())
{
    m_d->file = file;
    m_d->timeoutSeconds = timeoutSeconds;
    std::lock_guard lock(g_hooksLock);
    m_d->hooks = g_hooks;
}

TAccessReader::~TAccessReader()
{
    m_d->stop();
}

int TAccessReader::Start(const OnFrame& onList)
{
    m_d->stop();
    m_d->start();
    const int code = m_d->exchange({}, QStringLiteral("reading the table list"), onList);
    if (code != 0)
        m_d->stop();
    return code;
}

int TAccessReader::Request(const QString& table, bool rows, const QString& phase, const OnFrame& onFrame)
{
    if (!m_d->running) {
        // The reader ended with an earlier failure: a new one, whose list is known.
        const int code = Start([](char kind, const char*, quint32) {
            if (kind != accessreader::FrameTable && kind != accessreader::FrameEnd)
                throw EAccessAnswerMalformed(QStringLiteral("a table list"));
        });
        if (code != 0)
            throw EDbError(QStringLiteral("The table list of \"%1\" cannot be read.").arg(m_d->file));
    }
    const QByteArray name = table.toUtf8();
    QByteArray request(1, rows ? accessreader::RequestTable : accessreader::RequestColumns);
    const auto size = quint32(name.size());
    for (int i = 0; i < 4; ++i)
        request.append(char(size >> (8 * i)));
    request.append(name);
    return m_d->exchange(request, phase, onFrame);
}

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

} // namespace dbbackends
