#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The Access reader's work, callable in-process (the fuzz harness) as well as from the
// reader's main: open a file with libmdb and write the answer's frames (see
// uAccessReaderProtocol.h). No Qt: the reader process links libmdb only.
namespace accessreader {

// Collects frames and hands them on in large pieces. The flush function returns false
// when the bytes could not be delivered; the request then ends with ExitOutputGone.
class TFrameWriter
{
public:
    using Flush = std::function<bool(const char* data, size_t size)>;
    explicit TFrameWriter(Flush flush) : m_flush(std::move(flush)) {}

    void Begin(char kind);
    void U8(unsigned char v) { m_buf.push_back(char(v)); }
    void U32(uint32_t v);
    void I64(int64_t v);
    void F64(double v);
    void Bytes(const void* data, size_t size); // u32 length, then the bytes
    // Closes the frame; passes the buffer on once it is large.
    void End();
    // Size of the frame being written so far.
    size_t FrameSize() const { return m_buf.size() - m_frameStart - 5; }
    // Passes on what is left; false when the output is gone.
    bool Finish();
    bool Failed() const { return m_failed; }

private:
    Flush m_flush;
    std::string m_buf;
    size_t m_frameStart = 0;
    bool m_failed = false;
};

struct TRequest
{
    enum Kind
    {
        List,
        Columns,
        Table,
    } kind = List;
    std::string file;
    std::string table; // exact name, as the list gave it
};

// One open file and its table list, answering requests one after another. Every answer
// ends with its FrameEnd; the results are 0 or one of TAccessReaderExit. std::bad_alloc
// passes through.
class TReaderSession
{
public:
    TReaderSession();
    ~TReaderSession();
    TReaderSession(const TReaderSession&) = delete;
    TReaderSession& operator=(const TReaderSession&) = delete;

    // afterOpen runs once the file is open and before its catalogue is read (the process
    // installs its system call filter there).
    int Open(const std::string& file, const std::function<void()>& afterOpen = {});
    void WriteList(TFrameWriter& out);
    // The table's columns, and its rows when rows is true.
    int WriteTable(const std::string& table, bool rows, TFrameWriter& out);

private:
    struct Data;
    Data* m_d;
};

// One request on a fresh session (the fuzz harness, and the reader's one-shot modes).
int Run(const TRequest& request, TFrameWriter& out, const std::function<void()>& afterOpen = {});

} // namespace accessreader
