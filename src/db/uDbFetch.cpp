#include "uDbFetch.h"

#include "uDbBackend.h"
#include "uSystemInfo.h"

namespace {

thread_local TDbFetchControl* tControl = nullptr;

std::atomic<quint64> gMemoryLimit{0}; // 0: half the physical memory

} // namespace

EDbFetchCancelled::EDbFetchCancelled() : EDbError(QStringLiteral("Fetch cancelled")) {}

void TDbFetchControl::Cancel()
{
    m_cancelled.store(true, std::memory_order_relaxed);
    if (m_backend)
        m_backend->Cancel();
}

TDbFetchScope::TDbFetchScope(TDbFetchControl& control) : m_previous(tControl)
{
    tControl = &control;
}

TDbFetchScope::~TDbFetchScope()
{
    tControl = m_previous;
}

namespace dbfetch {

TDbFetchControl* current()
{
    return tControl;
}

bool cancelRequested()
{
    return tControl && tControl->Cancelled();
}

quint64 memoryLimit()
{
    const quint64 set = gMemoryLimit.load(std::memory_order_relaxed);
    if (set)
        return set;
    static const quint64 half = [] {
        const quint64 physical = platform::PhysicalMemoryBytes();
        return physical ? physical / 2 : quint64(4) << 30;
    }();
    return half;
}

quint64 setMemoryLimit(quint64 bytes)
{
    return gMemoryLimit.exchange(bytes);
}

EDbError tooLarge(qint64 rows, quint64 bytes)
{
    return EDbError(QStringLiteral("The result holds more than %1 rows (%2 MB) and was stopped; narrow the query "
                                   "or export it directly.")
                        .arg(rows)
                        .arg(bytes >> 20));
}

} // namespace dbfetch
