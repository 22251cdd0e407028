#include "uPageMemory.h"

#include <QCoreApplication>

#include <malloc.h>
#include <sys/mman.h>

#include <atomic>

#include <cstdint>
#include <new>

namespace platform {

void* AllocatePages(std::size_t bytes, bool large)
{
    if (!large) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        return p;
    }
    // A large page needs a block on its own boundary: map one page size more and unmap
    // what lies before and after the aligned part.
    const std::size_t align = kLargePageBytes;
    void* p = mmap(nullptr, bytes + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + align - 1) & ~std::uintptr_t(align - 1);
    if (aligned > start)
        munmap(p, aligned - start);
    if (const std::size_t tail = start + align - aligned; tail > 0)
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
#ifdef MADV_HUGEPAGE
    // Advice only: where large pages are off, the block works with small ones.
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void PreparePages(void* start, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    madvise(start, bytes, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)bytes;
#endif
}

void ReturnFreedMemorySoon()
{
    static std::atomic<bool> pending{false};
    if (pending.exchange(true))
        return;
    const auto trim = [] {
        pending = false;
        // The heap keeps freed blocks that are not at its top; this releases their pages.
        malloc_trim(0);
    };
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, trim, Qt::QueuedConnection);
    else
        trim();
}

void FreePages(void* block, std::size_t bytes)
{
    if (block)
        munmap(block, bytes);
}

void UseOneHeap()
{
#ifdef M_ARENA_MAX
    mallopt(M_ARENA_MAX, 1);
#endif
}

} // namespace platform
