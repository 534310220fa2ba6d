#pragma once
// Splitting work over the worker pool so that it is always finished.
#include <algorithm>
#include <atomic>
#include <vector>

#include "parallel/TMultiThread.h"

namespace orvala {

// Runs fn(begin, end) over [0, count) in chunks of `chunk` on pool, or on this
// thread when there is no pool, one worker or a single chunk. Chunks that a run
// stopped from elsewhere left undone are done here afterwards, so the caller
// always gets the whole result.
template <class Fn>
void forAllChunks(TMultiThread* pool, int count, int chunk, Fn&& fn)
{
    if (count <= 0) return;
    chunk = std::max(chunk, 1);
    if (!pool || count <= chunk || pool->NumberOfThreads() < 2) {
        fn(0, count);
        return;
    }
    const int chunks = (count + chunk - 1) / chunk;
    std::vector<std::atomic<bool>> done(static_cast<size_t>(chunks));
    pool->Process(
        [&](int, int index, int size, int& n, std::atomic<bool>& aborted) {
            if (aborted) return;
            fn(index, index + size);
            done[size_t(index / chunk)] = true;
            n += size;
        },
        nullptr, count, chunk);
    for (int c = 0; c < chunks; ++c)
        if (!done[size_t(c)]) fn(c * chunk, std::min(count, (c + 1) * chunk));
}

}  // namespace orvala
