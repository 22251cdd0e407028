#include "uLimitedProcess.h"
#include "uPlatformError.h"

#include <QFile>

#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

TLimitedChild StartLimitedProcess(const QString& program, const QStringList& args, const TProcessLimits& limits)
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
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    // Above 2, so that the moves onto 0, 1 and 2 below never overwrite one another.
    const int childOut = fcntl(out[1], F_DUPFD_CLOEXEC, 3);
    const int childNull = devNull < 0 ? -1 : fcntl(devNull, F_DUPFD_CLOEXEC, 3);
    close(out[1]);
    if (devNull >= 0)
        close(devNull);
    if (childOut < 0 || childNull < 0) {
        close(out[0]);
        if (childOut >= 0)
            close(childOut);
        if (childNull >= 0)
            close(childNull);
        throw EPlatformError(QStringLiteral("/dev/null could not be opened: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    }

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
            _exit(127);
        if (dup2(childNull, STDIN_FILENO) < 0 || dup2(childOut, STDOUT_FILENO) < 0 ||
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
            const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds + 1};
            if (setrlimit(RLIMIT_CPU, &cpu) != 0)
                _exit(127);
        }
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const int forkError = errno;
    close(childOut);
    close(childNull);
    if (pid < 0) {
        close(out[0]);
        throw EPlatformError(QStringLiteral("%1 could not be started: %2").arg(program, QString::fromLocal8Bit(strerror(forkError))));
    }
    return {pid, out[0]};
}

} // namespace platform
