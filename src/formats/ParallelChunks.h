#pragma once
// Splitting a reader's bulk work over the worker pool.
#include <algorithm>
#include <atomic>
#include <cstddef>

#include "parallel/HugePages.h"
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

}  // namespace orvala
