#include "DataMatrix.h"

#include <algorithm>
#include <stdexcept>

namespace orvala {

void DataMatrix::resize(int rows, int cols)
{
    if (rows < 0 || cols < 0) throw std::invalid_argument("negative matrix size");
    if (cols == cols_) {
        values_.resize(size_t(rows) * size_t(cols), 0.0);
        rows_ = rows;
        return;
    }
    std::vector<double, DefaultInitAllocator<double>> next(size_t(rows) * size_t(cols), 0.0);
    const int keepRows = std::min(rows, rows_);
    const int keepCols = std::min(cols, cols_);
    for (int r = 0; r < keepRows; ++r)
        std::copy_n(values_.data() + size_t(r) * cols_, keepCols, next.data() + size_t(r) * cols);
    values_.swap(next);
    rows_ = rows;
    cols_ = cols;
}

void DataMatrix::resizeForOverwrite(int rows)
{
    if (rows < 0) throw std::invalid_argument("negative matrix size");
    values_.resize(size_t(rows) * size_t(cols_));
    rows_ = rows;
}

void DataMatrix::appendRow(const double* src, int n)
{
    const size_t start = values_.size();
    values_.resize(start + size_t(cols_), 0.0);
    std::copy_n(src, std::min(n, cols_), values_.data() + start);
    ++rows_;
}

}  // namespace orvala
