#pragma once
// Helpers of the transforms: passes over the rows of a contiguous matrix split
// over the worker pool. Every row is handled by the same code whatever the
// split, so a pass gives the sequential loop's result bit for bit.
#include <cstddef>

#include "parallel/HugePages.h"

namespace orvala {

class TMultiThread;

// Calls work(from, to) over contiguous ranges that cover 0..rows-1 once, on
// the pool's workers when it pays, else on the calling thread. A worker's
// exception is rethrown here.
void ForRows(TMultiThread* pool, int rows, size_t valuesPerRow, void (*work)(void*, int, int), void* context);

template <class Work>
void ForRows(TMultiThread* pool, int rows, size_t valuesPerRow, const Work& work)
{
    ForRows(pool, rows, valuesPerRow,
            [](void* c, int from, int to) { (*static_cast<const Work*>(c))(from, to); },
            const_cast<void*>(static_cast<const void*>(&work)));
}

// Smallest and largest finite value of a rows x cols block; any = false when
// none is finite. A zero extreme is +0, so the result does not depend on where
// a -0 sat or on the split.
struct FiniteRange {
    double lo = 0;
    double hi = 0;
    bool any = false;
};
FiniteRange FindFiniteRange(const double* values, int rows, int cols, TMultiThread* pool);


}  // namespace orvala
