#pragma once

#include <QString>

#include <functional>
#include <memory>

// The Access backend's reader process (quillory-access-reader): one per open Access file.
namespace dbbackends {

// A reader serving one file: started with the file's table list, then asked for one
// table after another, each within the timeout. Every way a request can fail (a crash,
// the timeout, the memory limit, an answer that does not follow the format, a missing
// reader) is an EDbError naming the file and the reason; the reader is then gone, and
// the next request starts a new one. While a request runs on the application's thread,
// the work happens on a thread of its own and the application's thread handles every
// event but user input, so windows keep painting and timers run.
class TAccessReader
{
public:
    using OnFrame = std::function<void(char kind, const char* payload, quint32 size)>;

    TAccessReader(const QString& file, int timeoutSeconds);
    ~TAccessReader(); // stops the reader
    TAccessReader(const TAccessReader&) = delete;
    TAccessReader& operator=(const TAccessReader&) = delete;

    // Starts the reader; the table list's frames go to onList. Returns 0, ExitNotAccess
    // or ExitNoCatalog (the reader is then stopped).
    int Start(const OnFrame& onList);
    // A table's columns, and with rows its rows too. Returns 0, ExitNoSuchTable or
    // ExitBadTable.
    int Request(const QString& table, bool rows, const QString& phase, const OnFrame& onFrame);

private:
    struct Data;
    std::unique_ptr<Data> m_d;
};

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
