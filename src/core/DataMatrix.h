#pragma once
// The value matrix of a data set: one contiguous block of rows x cols doubles.
// Ten million events cost ten million rows and nothing more (no per-row allocation).
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "parallel/HugePages.h"

namespace orvala {

class DataMatrix {
public:
    DataMatrix() = default;
    DataMatrix(int rows, int cols) { resize(rows, cols); }

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    bool empty() const { return rows_ == 0; }

    double* operator[](int row)
    {
        assert(row >= 0 && row < rows_);
        return values_.data() + size_t(row) * size_t(cols_);
    }
    const double* operator[](int row) const
    {
        assert(row >= 0 && row < rows_);
        return values_.data() + size_t(row) * size_t(cols_);
    }
    double& at(int row, int col) { return (*this)[row][col]; }
    double at(int row, int col) const { return (*this)[row][col]; }

    double* data() { return values_.data(); }
    const double* data() const { return values_.data(); }

    // Keeps the values that stay inside; new cells are 0.
    void resize(int rows, int cols);
    void setRows(int rows) { resize(rows, cols_); }
    void setCols(int cols) { resize(rows_, cols); }
    // Same columns, rows new cells left uninitialised: the caller writes every
    // one of them before anyone reads the matrix.
    void resizeForOverwrite(int rows);
    // Room for this many rows without reallocating on append.
    void reserveRows(int rows) { values_.reserve(size_t(rows) * size_t(cols_)); }
    // Appends a copy of src (n values), padded with zeros or cut to cols().
    void appendRow(const double* src, int n);
    void clear()
    {
        values_.clear();
        values_.shrink_to_fit();
        rows_ = 0;
    }
    size_t bytes() const { return values_.capacity() * sizeof(double); }

private:
    std::vector<double, DefaultInitAllocator<double>> values_;
    int rows_ = 0;
    int cols_ = 0;
};

}  // namespace orvala
