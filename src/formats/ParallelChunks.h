#pragma once
// Splitting a reader's bulk work over the worker pool.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "parallel/TMultiThread.h"

namespace orvala {

// Runs fn(first, end, thread) over [0, count) in chunks on the worker pool, or
// on the calling thread when there is no pool or too little work. thread is
// below threadCount(pool), so callers can keep one scratch buffer per thread.
inline int threadCount(TMultiThread* pool) { return pool ? std::max(pool->NumberOfThreads(), 1) : 1; }

template <class Fn>
void forChunks(TMultiThread* pool, int count, int chunk, Fn&& fn)
{
    if (count <= 0) return;
    chunk = std::max(chunk, 1);
    if (!pool || pool->NumberOfThreads() < 2 || count <= chunk) {
        fn(0, count, 0);
        return;
    }
    pool->Process(
        [&](int thread, int index, int size, int& done, std::atomic<bool>& aborted) {
            if (aborted) return;
            fn(index, index + size, thread);
            done += size;
        },
        nullptr, count, chunk);
}

// Asks for huge pages under a fresh block that the workers are about to fill.
// The first touch of each 4 KiB page costs a fault and a zeroed page, which for
// a matrix of gigabytes is most of the time of reading a log; 2 MiB pages cost
// 512 times fewer. Contents are not changed; elsewhere this does nothing.
inline void adviseHugePages(void* begin, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t Huge = uintptr_t(2) << 20;
    const uintptr_t b = (uintptr_t(begin) + Huge - 1) & ~(Huge - 1);
    const uintptr_t e = (uintptr_t(begin) + bytes) & ~(Huge - 1);
    if (e > b) ::madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)bytes;
#endif
}

}  // namespace orvala
