#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Running the Access reader process (quillory-access-reader) for the Access backend.
namespace dbbackends {

struct TAccessReaderJob
{
    QString file;
    QStringList args;  // the request, e.g. {"table", file, name}
    QString phase;     // what it does, for messages: "reading the table list"
    int timeoutSeconds = 30;
};

// Runs the reader and hands each frame of its answer to onFrame. Returns its exit code
// when it ended by itself with 0 or one of the request's own answers (ExitNotAccess and
// above); for anything else (a crash, the timeout, the memory limit, an answer that does
// not follow the format, a missing reader) EDbError naming the file and the reason.
// The work runs on a thread of its own; a caller on the application's thread meanwhile
// handles every event but user input, so windows keep painting and timers run.
int RunAccessReader(const TAccessReaderJob& job, const std::function<void(char, const char*, quint32)>& onFrame);

// Where the reader is: beside the executable, else in <exe dir>/../libexec/quillory/.
// Empty when it is in neither.
QString AccessReaderProgram();

// The memory the reader may use for a file of this size.
quint64 AccessReaderMemoryLimit(qint64 fileSize);

// Test seam: a lower memory limit (0: the usual one), and a look at each frame as it
// arrives with the reader's process id (to stop it mid-table).
struct TAccessReaderTestHooks
{
    quint64 memoryLimitBytes = 0;
    std::function<void(qint64 pid, char kind)> onFrame;
};
void SetAccessReaderTestHooks(const TAccessReaderTestHooks& hooks);

} // namespace dbbackends
