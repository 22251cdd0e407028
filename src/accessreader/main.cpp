// quillory-access-reader: reads an Access file for Quillory, in a process of its own so
// that a damaged file (libmdb crashes and loops on some) ends this process and never the
// program. The program starts it with its limits already set (memory, CPU time, no new
// privileges, no inherited descriptors) and keeps the wall-clock timeout.
//
//   quillory-access-reader serve FILE     (what the program runs: requests on stdin)
//   quillory-access-reader list FILE
//   quillory-access-reader columns FILE TABLE
//   quillory-access-reader table FILE TABLE
//
// The answer goes to standard output (see uAccessReaderProtocol.h); the exit code says
// how it ended.
#include "uAccessReaderCore.h"
#include "uAccessReaderProtocol.h"
#include "uReaderSandbox.h"

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <new>

#include <unistd.h>

namespace {

bool readAll(int fd, char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// GLib ends the process when an allocation fails; say so in the exit code, so that the
// program can tell a file too large for the limit from a crash.
void onGlibError(const gchar*, GLogLevelFlags, const gchar* message, gpointer)
{
    _exit(message && std::strstr(message, "failed to allocate") ? accessreader::ExitNoMemory : 70);
}

void result(accessreader::TFrameWriter& out, int code)
{
    out.Begin(accessreader::FrameResult);
    out.U8(static_cast<unsigned char>(code));
    out.End();
}

// Opens the file, lists its tables, then answers requests until standard input closes.
int serve(const std::string& file, int answerFd, accessreader::TFrameWriter& out)
{
    using namespace accessreader;
    TReaderSession session;
    int code = session.Open(file, [answerFd] { InstallReaderSandbox(answerFd); });
    if (code == 0)
        session.WriteList(out);
    result(out, code);
    if (!out.Finish())
        return ExitOutputGone;
    if (code != 0)
        return code;
    for (;;) {
        unsigned char head[5];
        if (!readAll(STDIN_FILENO, reinterpret_cast<char*>(head), 5))
            return 0;
        const uint32_t size = uint32_t(head[1]) | uint32_t(head[2]) << 8 | uint32_t(head[3]) << 16 | uint32_t(head[4]) << 24;
        if (size > 65536 || (head[0] != RequestColumns && head[0] != RequestTable))
            return ExitUsage;
        std::string name(size, '\0');
        if (!readAll(STDIN_FILENO, name.data(), size))
            return ExitUsage;
        result(out, session.WriteTable(name, head[0] == RequestTable, out));
        if (!out.Finish())
            return ExitOutputGone;
    }
}

} // namespace

int main(int argc, char** argv)
{
    using namespace accessreader;
    if (argc < 3)
        return ExitUsage;
    TRequest request;
    const std::string mode = argv[1];
    request.file = argv[2];
    g_log_set_handler("GLib", GLogLevelFlags(G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL), onGlibError, nullptr);
    // libmdb prints some of its complaints to standard output: the answer gets a
    // descriptor of its own, and standard output goes where standard error goes.
    const int answerFd = dup(STDOUT_FILENO);
    if (answerFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return ExitOutputGone;
    TFrameWriter out([answerFd](const char* data, size_t size) { return writeAll(answerFd, data, size); });
    if (mode == "serve" && argc == 3) {
        try {
            return serve(request.file, answerFd, out);
        } catch (const std::bad_alloc&) {
            _exit(ExitNoMemory);
        }
    }
    if (mode == "list" && argc == 3)
        request.kind = TRequest::List;
    else if (mode == "columns" && argc == 4)
        request.kind = TRequest::Columns;
    else if (mode == "table" && argc == 4)
        request.kind = TRequest::Table;
    else
        return ExitUsage;
    if (argc == 4)
        request.table = argv[3];

    try {
        return Run(request, out, [answerFd] { InstallReaderSandbox(answerFd); });
    } catch (const std::bad_alloc&) {
        _exit(ExitNoMemory);
    }
}
