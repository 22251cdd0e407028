#include "uLimitedProcess.h"
#include "uPlatformError.h"

#include <QFile>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

void closeBoth(int fds[2])
{
    close(fds[0]);
    close(fds[1]);
}

} // namespace

namespace {

TLimitedChild startHere(const QString& program, const QStringList& args, const TProcessLimits& limits)
{
    // Everything the child needs is made before fork: between fork and exec only
    // async-signal-safe calls are allowed (other threads may hold the allocator's lock).
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> argBytes{path};
    for (const QString& a : args)
        argBytes.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw EPlatformError(QStringLiteral("A pipe could not be made: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    int in[2] = {-1, -1};
    if (limits.withInput && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
        closeBoth(out);
        throw EPlatformError(QStringLiteral("A socket could not be made: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    }
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    // The child's ends above 2, so that the moves onto 0, 1 and 2 below never overwrite
    // one another.
    const int childOut = fcntl(out[1], F_DUPFD_CLOEXEC, 3);
    const int childNull = devNull < 0 ? -1 : fcntl(devNull, F_DUPFD_CLOEXEC, 3);
    const int childIn = !limits.withInput ? childNull : fcntl(in[1], F_DUPFD_CLOEXEC, 3);
    close(out[1]);
    if (in[1] >= 0)
        close(in[1]);
    if (devNull >= 0)
        close(devNull);
    const auto closeChildEnds = [&] {
        for (int fd : {childOut, childNull, limits.withInput ? childIn : -1})
            if (fd >= 0)
                close(fd);
    };
    if (childOut < 0 || childNull < 0 || childIn < 0) {
        const int error = errno;
        close(out[0]);
        if (in[0] >= 0)
            close(in[0]);
        closeChildEnds();
        throw EPlatformError(QStringLiteral("The child's input and output could not be set up: %1")
                                 .arg(QString::fromLocal8Bit(strerror(error))));
    }

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
            _exit(127);
        if (dup2(childIn, STDIN_FILENO) < 0 || dup2(childOut, STDOUT_FILENO) < 0 ||
            (!limits.keepStandardError && dup2(childNull, STDERR_FILENO) < 0))
            _exit(127);
        if (close_range(3, ~0U, 0) != 0) {
            rlimit files{1024, 1024};
            getrlimit(RLIMIT_NOFILE, &files);
            for (rlim_t fd = 3; fd < files.rlim_cur && fd < 65536; ++fd)
                close(int(fd));
        }
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (limits.addressSpaceBytes) {
            const rlimit as{limits.addressSpaceBytes, limits.addressSpaceBytes};
            if (setrlimit(RLIMIT_AS, &as) != 0)
                _exit(127);
        }
        if (limits.cpuSeconds) {
            // The hard limit stays open so that the program can extend the soft one for a
            // child that serves several requests; its wall-clock timeout is the bound.
            const rlimit cpu{limits.cpuSeconds, RLIM_INFINITY};
            if (setrlimit(RLIMIT_CPU, &cpu) != 0)
                _exit(127);
        }
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const int forkError = errno;
    closeChildEnds();
    if (pid < 0) {
        close(out[0]);
        if (in[0] >= 0)
            close(in[0]);
        throw EPlatformError(QStringLiteral("%1 could not be started: %2").arg(program, QString::fromLocal8Bit(strerror(forkError))));
    }
    return {pid, out[0], in[0]};
}

// The death signal follows the thread that forks, not the program: a child forked from
// a passing worker thread would die with it. Such children are forked from this one
// thread, which lives as long as the program.
class Launcher
{
public:
    static Launcher& instance()
    {
        // Never destroyed: its thread runs to the end. A forked copy of the program has
        // the object but not its thread, so it makes its own.
        static std::mutex mutex;
        static Launcher* launcher = nullptr;
        static pid_t owner = 0;
        const std::lock_guard lock(mutex);
        if (!launcher || owner != getpid()) {
            launcher = new Launcher;
            owner = getpid();
        }
        return *launcher;
    }

    TLimitedChild start(const QString& program, const QStringList& args, const TProcessLimits& limits)
    {
        const std::lock_guard caller(m_callerMutex);
        TLimitedChild child;
        std::exception_ptr error;
        std::unique_lock lock(m_mutex);
        m_job = [&] {
            try {
                child = startHere(program, args, limits);
            } catch (...) {
                error = std::current_exception();
            }
        };
        m_done = false;
        m_wake.notify_all();
        m_wake.wait(lock, [this] { return m_done; });
        if (error)
            std::rethrow_exception(error);
        return child;
    }

private:
    Launcher()
    {
        std::thread([this] {
            std::unique_lock lock(m_mutex);
            for (;;) {
                m_wake.wait(lock, [this] { return bool(m_job); });
                m_job();
                m_job = nullptr;
                m_done = true;
                m_wake.notify_all();
            }
        }).detach();
    }

    std::mutex m_callerMutex; // one start at a time
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_job;
    bool m_done = false;
};

} // namespace

TLimitedChild StartLimitedProcess(const QString& program, const QStringList& args, const TProcessLimits& limits)
{
    if (gettid() == getpid())
        return startHere(program, args, limits);
    return Launcher::instance().start(program, args, limits);
}

bool ExtendCpuLimit(pid_t pid, unsigned seconds)
{
    rlimit cpu{};
    if (prlimit(pid, RLIMIT_CPU, nullptr, &cpu) != 0)
        return false;
    if (cpu.rlim_cur != RLIM_INFINITY)
        cpu.rlim_cur = std::min<rlim_t>(cpu.rlim_cur + seconds, cpu.rlim_max);
    return prlimit(pid, RLIMIT_CPU, &cpu, nullptr) == 0;
}

} // namespace platform
