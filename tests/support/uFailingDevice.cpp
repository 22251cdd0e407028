#include "uFailingDevice.h"

#include <csignal>

FailingDevice::FailingDevice(qint64 limit) : m_limit(limit)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 FailingDevice::readData(char*, qint64)
{
    return -1;
}

qint64 FailingDevice::writeData(const char* data, qint64 size)
{
    const qint64 room = m_limit - m_written.size();
    if (room <= 0) {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
    const qint64 taken = qMin(size, room);
    m_written.append(data, qsizetype(taken));
    return taken;
}

FileSizeLimit::FileSizeLimit(qint64 limit)
{
    getrlimit(RLIMIT_FSIZE, &m_previous);
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = m_previous;
    lowered.rlim_cur = rlim_t(limit);
    setrlimit(RLIMIT_FSIZE, &lowered);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &m_previous);
    std::signal(SIGXFSZ, m_previousHandler);
}
