#include "uReaderSandbox.h"

// A sanitizer's runtime needs far more than the reader (its leak check reads /proc and
// starts a thread; its reports start a symbolizer): such a build runs without the filter.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#undef QUILLORY_HAVE_SECCOMP
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#undef QUILLORY_HAVE_SECCOMP
#endif
#endif

#ifdef QUILLORY_HAVE_SECCOMP
#include <seccomp.h>

#include <sys/ioctl.h>
#include <sys/mman.h>

#include <cerrno>
#include <csignal>
#include <memory>

bool InstallReaderSandbox(int answerFd)
{
    std::unique_ptr<void, void (*)(scmp_filter_ctx)> ctx(seccomp_init(SCMP_ACT_KILL_PROCESS), seccomp_release);
    if (!ctx)
        return false;
    bool ok = true;
    auto allow = [&](int call, unsigned count = 0, const scmp_arg_cmp* args = nullptr) {
        ok = ok && seccomp_rule_add_array(ctx.get(), SCMP_ACT_ALLOW, call, count, args) == 0;
    };
    // Reading the open file, and the file's size.
    allow(SCMP_SYS(read));
    allow(SCMP_SYS(pread64));
    allow(SCMP_SYS(readv));
    allow(SCMP_SYS(lseek));
    allow(SCMP_SYS(fstat));
    allow(SCMP_SYS(newfstatat));
    allow(SCMP_SYS(statx));
    allow(SCMP_SYS(close));
    // Writing the answer and the library's complaints (1, 2), nothing else; stdio asks
    // whether its output is a terminal before the first line.
    const scmp_arg_cmp termios = SCMP_A1(SCMP_CMP_EQ, scmp_datum_t(TCGETS), 0);
    allow(SCMP_SYS(ioctl), 1, &termios);
    for (int fd : {answerFd, 1, 2}) {
        const scmp_arg_cmp toFd = SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd), 0);
        allow(SCMP_SYS(write), 1, &toFd);
        allow(SCMP_SYS(writev), 1, &toFd);
    }
    // Memory, never executable.
    const scmp_arg_cmp noExec = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
    allow(SCMP_SYS(mmap), 1, &noExec);
    allow(SCMP_SYS(mprotect), 1, &noExec);
    allow(SCMP_SYS(brk));
    allow(SCMP_SYS(munmap));
    allow(SCMP_SYS(mremap));
    allow(SCMP_SYS(madvise));
    // Locks of the allocators, the clock, and ending (abort() signals the process itself).
    allow(SCMP_SYS(futex));
    allow(SCMP_SYS(clock_gettime));
    allow(SCMP_SYS(getpid));
    allow(SCMP_SYS(gettid));
    allow(SCMP_SYS(rt_sigprocmask));
    allow(SCMP_SYS(rt_sigaction));
    allow(SCMP_SYS(rt_sigreturn));
    allow(SCMP_SYS(tgkill));
    allow(SCMP_SYS(exit));
    allow(SCMP_SYS(exit_group));
    return ok && seccomp_load(ctx.get()) == 0;
}

#else

bool InstallReaderSandbox(int)
{
    return false;
}

#endif
