#pragma once
// The expensive step of a PCA: the sums of products of all column pairs over
// millions of events, in one pass over contiguous data split over the worker pool.
#include <cstdint>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class TMultiThread;

// A read-only view of a row-major block of values: element (r, j) is
// data[r * stride + columns[j]], or data[r * stride + j] without a column list.
struct MatrixView {
    const double* data = nullptr;
    int rows = 0;
    int stride = 0;
    int cols = 0;
    const int* columns = nullptr;  // cols entries, each in 0..stride-1; null = the first cols columns

    double at(int r, int j) const { return data[size_t(r) * size_t(stride) + size_t(columns ? columns[j] : j)]; }
};

// Sums over the rows x of a view, taken about a fixed shift s so that large
// offsets (cytometry channels often sit far from zero) do not swamp the spread:
// sum[j] = sum of (x_j - s_j), cross[i][j] = sum of (x_i - s_i)(x_j - s_j).
struct CrossProductSums {
    int64_t n = 0;
    TVector shift;
    TVector sum;
    TMatrix cross;  // full symmetric matrix (the lower triangle mirrors the upper one)
};

// Accumulates the sums of view about shift (cols values). The rows are cut
// into a number of segments that depends only on the row count; each worker
// sums whole segments and the segment results are added in segment order, so
// the result is the same bit for bit whatever the number of workers (or
// without a pool, when pool is null). Only the upper triangle is computed.
CrossProductSums AccumulateCrossProducts(const MatrixView& view, const TVector& shift, TMultiThread* pool);

}  // namespace orvala
