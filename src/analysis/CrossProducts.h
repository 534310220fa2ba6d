#pragma once
// The expensive step of a PCA: the sums of products of all column pairs over
// millions of events, in one pass over contiguous data split over the worker pool.
#include <cstdint>
#include <functional>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class TMultiThread;

// A read-only view of a row-major block of values: element (r, j) is
// data[r * stride + columns[j]], or data[r * stride + j] without a column list.
// With convert set, row r is instead whatever convert writes from the stride
// values of the row (cols values, with room for convertRoom in out): a
// projection filter applied on the fly, so the filtered matrix never exists.
struct MatrixView {
    const double* data = nullptr;
    int rows = 0;
    int stride = 0;
    int cols = 0;
    const int* columns = nullptr;  // cols entries, each in 0..stride-1; null = the first cols columns
    std::function<void(const double* row, double* out)> convert;  // must be safe to call from several threads
    int convertRoom = 0;

    // All columns of a contiguous rows x cols block.
    static MatrixView Whole(const double* data, int rows, int cols)
    {
        MatrixView v;
        v.data = data;
        v.rows = rows;
        v.stride = v.cols = cols;
        return v;
    }
    // Some columns (count entries of columns) of a rows x stride block.
    static MatrixView Picked(const double* data, int rows, int stride, const int* columns, int count)
    {
        MatrixView v;
        v.data = data;
        v.rows = rows;
        v.stride = stride;
        v.cols = count;
        v.columns = columns;
        return v;
    }

    // Row r into out (room for max(cols, convertRoom) values).
    void readRow(int r, double* out) const
    {
        const double* src = data + size_t(r) * size_t(stride);
        if (convert)
            convert(src, out);
        else if (columns)
            for (int j = 0; j < cols; ++j) out[j] = src[columns[j]];
        else
            for (int j = 0; j < cols; ++j) out[j] = src[j];
    }
    int rowRoom() const { return convert && convertRoom > cols ? convertRoom : cols; }
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
// The 256-bit kernel runs where the processor has it; wideVectors = false
// keeps to the portable one, which gives the same bits.
CrossProductSums AccumulateCrossProducts(const MatrixView& view, const TVector& shift, TMultiThread* pool,
                                         bool wideVectors = true);

}  // namespace orvala
