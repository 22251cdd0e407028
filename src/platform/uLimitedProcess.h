#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace platform {

// What a limited child may use. Zero means no limit of that kind.
struct TProcessLimits
{
    quint64 addressSpaceBytes = 0; // RLIMIT_AS: allocations beyond it fail
    unsigned cpuSeconds = 0;       // RLIMIT_CPU: SIGXCPU at this (soft limit; see ExtendCpuLimit)
    bool keepStandardError = false; // else it goes to /dev/null
    bool withInput = false;         // standard input from a socket, else /dev/null
};

struct TLimitedChild
{
    pid_t pid = -1;
    int output = -1; // read end of the child's standard output (close-on-exec); the caller closes it
    int input = -1;  // with withInput: the child's standard input, a socket (send with MSG_NOSIGNAL,
                     // so that a child gone does not raise SIGPIPE here); the caller closes it
};

// Starts program with args for work on untrusted input. Before the program runs, the
// child gets the limits, no core file, no new privileges (PR_SET_NO_NEW_PRIVS), standard
// input from /dev/null or a socket, standard output into a pipe, and no other descriptor of ours; it
// is killed when the program ends (PR_SET_PDEATHSIG; started from a thread other than the
// main one, it is forked from a thread that lives as long as the program), so it never
// outlives a killed program. The caller reaps it (waitpid). EPlatformError when it cannot start;
// a program that cannot be executed exits with 127.
//
// fork + exec by hand rather than QProcess: the limits and the descriptor clean-up must
// happen between the two, and Qt 6.4's QProcess cannot close inherited descriptors.
TLimitedChild StartLimitedProcess(const QString& program, const QStringList& args, const TProcessLimits& limits);

// Gives a limited child that serves one request after another seconds more CPU time
// (its soft RLIMIT_CPU); false when the system refused.
bool ExtendCpuLimit(pid_t pid, unsigned seconds);

} // namespace platform
