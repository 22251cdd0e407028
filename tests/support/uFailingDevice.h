#pragma once

#include <QByteArray>
#include <QIODevice>

#include <sys/resource.h>

// Writes that fail partway, as on a disk that fills up in the middle of a file.

// A write-only device that takes the first limit bytes and fails every write after them
// with "No space left on device". What it took is in written().
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 limit);
    const QByteArray& written() const { return m_written; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    qint64 m_limit;
    QByteArray m_written;
};

// For code that opens its own files: while it lives, no file of this process can grow
// past limit bytes (the system's file size limit; a write beyond it fails with "File too
// large" instead of raising SIGXFSZ). The previous limit comes back on destruction.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};
