#include "RowPasses.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <mutex>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Below this many values a chunk costs more to hand over than to compute.
constexpr size_t MinChunkValues = size_t(1) << 17;
// A few chunks per worker even out workers that start late.
constexpr int ChunksPerWorker = 4;

}  // namespace

void ForRows(TMultiThread* pool, int rows, size_t valuesPerRow, void (*work)(void*, int, int), void* context)
{
    if (rows <= 0) return;
    const size_t total = size_t(rows) * std::max<size_t>(valuesPerRow, 1);
    int chunks = 1;
    if (pool && pool->NumberOfThreads() > 1)
        chunks = int(std::clamp<size_t>(total / MinChunkValues, 1,
                                        size_t(pool->NumberOfThreads()) * ChunksPerWorker));
    chunks = std::min(chunks, rows);
    if (chunks <= 1) {
        work(context, 0, rows);
        return;
    }
    auto bound = [rows, chunks](int k) { return int(int64_t(rows) * k / chunks); };
    pool->Process(
        [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
            for (int k = index; k < index + size && !aborted; ++k) work(context, bound(k), bound(k + 1));
        },
        {}, chunks, 1);
}

FiniteRange FindFiniteRange(const double* values, int rows, int cols, TMultiThread* pool)
{
    FiniteRange result;
    if (rows <= 0 || cols <= 0) return result;
    std::mutex lock;
    ForRows(pool, rows, size_t(cols), [&](int from, int to) {
        FiniteRange part;
        double lo = INFINITY, hi = -INFINITY;
        const double* p = values + size_t(from) * size_t(cols);
        const double* end = values + size_t(to) * size_t(cols);
        // NaN fails both comparisons and never becomes an extreme.
        for (; p != end; ++p) {
            const double v = *p;
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        if (std::isinf(lo) || std::isinf(hi)) {
            // Rare: an infinity among the values; find the finite extremes again.
            lo = INFINITY;
            hi = -INFINITY;
            for (const double* q = values + size_t(from) * size_t(cols); q != end; ++q)
                if (std::isfinite(*q)) {
                    lo = std::min(lo, *q);
                    hi = std::max(hi, *q);
                }
        }
        part.any = lo <= hi;
        part.lo = lo + 0.0;
        part.hi = hi + 0.0;
        std::lock_guard guard(lock);
        if (!part.any) return;
        if (!result.any) {
            result = part;
        } else {
            result.lo = std::min(result.lo, part.lo);
            result.hi = std::max(result.hi, part.hi);
        }
    });
    return result;
}

}  // namespace orvala
