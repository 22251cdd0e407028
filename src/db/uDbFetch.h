#pragma once

#include "uDbError.h"

#include <QtGlobal>

#include <atomic>
#include <functional>

class TDbBackend;

// Raised by a fetch that was cancelled; its text is "Fetch cancelled".
class EDbFetchCancelled : public EDbError
{
public:
    EDbFetchCancelled();
};

// What a fetch shares with whoever waits for it on another thread: how far it got, and
// a way to stop it. Cancel tells the engine (its backend's Cancel) and makes the rows'
// builder stop at the next row, so a fetch stops both while the engine works on the
// statement and while rows arrive.
class TDbFetchControl
{
public:
    explicit TDbFetchControl(TDbBackend* backend = nullptr) : m_backend(backend) {}
    TDbFetchControl(const TDbFetchControl&) = delete;
    TDbFetchControl& operator=(const TDbFetchControl&) = delete;

    // Any thread, any number of times (a repeat reaches an engine that had not started
    // the statement yet when the first one came).
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    // Rows of the result being fetched so far.
    qint64 Rows() const { return m_rows.load(std::memory_order_relaxed); }
    void SetRows(qint64 rows) { m_rows.store(rows, std::memory_order_relaxed); }

private:
    TDbBackend* m_backend;
    std::atomic<bool> m_cancelled{false};
    std::atomic<qint64> m_rows{0};
};

// While one lives, fetches on its thread report to the control and stop when it is
// cancelled (builders check it after every row; engines that wait check it too).
class TDbFetchScope
{
public:
    explicit TDbFetchScope(TDbFetchControl& control);
    ~TDbFetchScope();
    TDbFetchScope(const TDbFetchScope&) = delete;
    TDbFetchScope& operator=(const TDbFetchScope&) = delete;

private:
    TDbFetchControl* m_previous;
};

// Runs a fetch (work) and returns when it has ended: on the calling thread, or on a
// worker thread while the caller keeps its window alive and offers Cancel. The
// connection is used by the work alone until it returns. An exception of the work is
// raised by the runner.
using TDbFetchRunner = std::function<void(const std::function<void()>& work, TDbFetchControl& control)>;

namespace dbfetch {

// The control of the innermost TDbFetchScope on this thread; null outside one.
TDbFetchControl* current();
// True when the current fetch was cancelled.
bool cancelRequested();

// The most a fetched row set may hold before the fetch is stopped with "The result
// holds more than N rows (M MB) and was stopped; ...": half the machine's physical
// memory, so that a result too large for the machine gives a message, not the
// out-of-memory killer. setMemoryLimit (0: back to that default) returns the limit it
// replaced; tests use it.
quint64 memoryLimit();
quint64 setMemoryLimit(quint64 bytes);
// The error for a row set stopped at rows rows holding bytes bytes.
EDbError tooLarge(qint64 rows, quint64 bytes);

} // namespace dbfetch
