#pragma once

#include <cstddef>

namespace platform {

// Blocks of memory taken straight from the system and given back to it when freed. The
// heap keeps large freed blocks for reuse (its threshold for mapping them apart rises
// after the first such free), so rows of a closed window would stay resident. Pages are
// resident only once written, so the unused end of a block costs address space only.
//
// With large, the block is aligned and advised for the system's large pages where it
// has them: one fault fills 2 MiB instead of 4 KiB, and the whole of each 2 MiB counts as
// resident once touched, so ask for it only for blocks that will likely be filled.
// Throws std::bad_alloc when the system refuses.
constexpr std::size_t kLargePageBytes = std::size_t(2) << 20;
void* AllocatePages(std::size_t bytes, bool large);
// Makes the pages of part of a block resident in one call, as writing them would one
// fault at a time; the part must start on a page boundary. Only a hint: where the system
// cannot, the pages come with the first write as usual.
void PreparePages(void* start, std::size_t bytes);
// bytes as given to AllocatePages.
void FreePages(void* block, std::size_t bytes);

// Gives the heap's free memory back to the system once control returns to the event loop
// (at once without one), so that what a closed window's views held per row (freed in the
// same turn, possibly after this call) does not stay resident. Calls before then are one.
void ReturnFreedMemorySoon();

// Makes every thread allocate from the one heap that ReturnFreedMemorySoon trims: a
// fetch's worker thread would otherwise get a heap of its own, which kept 2.4 MB of
// what the first large fetch left in it after its window closed. The program has one
// worker at a time beside the interface, so sharing costs it nothing. Called at start,
// before any thread is made.
void UseOneHeap();

} // namespace platform
