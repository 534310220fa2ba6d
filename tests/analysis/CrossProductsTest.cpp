#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/CrossProducts.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

std::vector<double> randomData(int rows, int cols, double offset)
{
    TRandom r;
    std::vector<double> v(size_t(rows) * size_t(cols));
    for (size_t i = 0; i < v.size(); ++i) v[i] = offset + (i % size_t(cols)) * 100.0 + r.Gaussian(3.0, 0);
    return v;
}

}  // namespace

TEST(CrossProducts, MatchesDirectSumsForAnyWidthAndRowCount)
{
    // Widths around the 4- and 8-column tiles, row counts around the block and segment sizes.
    for (int cols : {1, 3, 4, 7, 8, 9, 13, 32}) {
        for (int rows : {0, 1, 5, 64, 65, 40000}) {
            const auto values = randomData(rows, cols, 1000);
            TVector shift(static_cast<size_t>(cols));
            for (int j = 0; j < cols; ++j) shift[size_t(j)] = 1000 + j * 100.0 + 0.5;
            const MatrixView view = MatrixView::Whole(values.data(), rows, cols);
            const CrossProductSums s = AccumulateCrossProducts(view, shift, nullptr);
            ASSERT_EQ(s.n, rows);
            for (int i = 0; i < cols; ++i) {
                long double sum = 0;
                for (int r = 0; r < rows; ++r) sum += values[size_t(r) * size_t(cols) + size_t(i)] - shift[size_t(i)];
                ASSERT_NEAR(s.sum[size_t(i)], double(sum), 1e-9 * (1 + rows)) << cols << "x" << rows;
                for (int j = 0; j < cols; ++j) {
                    long double c = 0;
                    for (int r = 0; r < rows; ++r)
                        c += (values[size_t(r) * size_t(cols) + size_t(i)] - shift[size_t(i)]) *
                             (values[size_t(r) * size_t(cols) + size_t(j)] - shift[size_t(j)]);
                    ASSERT_NEAR(s.cross[size_t(i)][size_t(j)], double(c), 1e-9 * (1 + std::fabs(double(c))))
                        << cols << "x" << rows << " at " << i << "," << j;
                }
            }
        }
    }
}

TEST(CrossProducts, SameBitsWhateverTheNumberOfWorkers)
{
    const int rows = 300000, cols = 11;
    const auto values = randomData(rows, cols, 5e4);
    const TVector shift(size_t(cols), 5e4);
    const MatrixView view = MatrixView::Whole(values.data(), rows, cols);
    const CrossProductSums alone = AccumulateCrossProducts(view, shift, nullptr);
    for (int workers : {1, 2, 3, 5}) {
        TMultiThread pool(workers);
        const CrossProductSums s = AccumulateCrossProducts(view, shift, &pool);
        EXPECT_EQ(s.sum, alone.sum) << workers << " workers";
        EXPECT_EQ(s.cross, alone.cross) << workers << " workers";
    }
    // The portable kernel (what a processor without 256-bit vectors runs) agrees bit for bit.
    const CrossProductSums portable = AccumulateCrossProducts(view, shift, nullptr, false);
    EXPECT_EQ(portable.sum, alone.sum);
    EXPECT_EQ(portable.cross, alone.cross);
}

TEST(CrossProducts, ColumnListSelectsAndReordersColumns)
{
    const int rows = 1000, stride = 6;
    const auto values = randomData(rows, stride, 0);
    const int columns[] = {5, 1, 3};
    const MatrixView picked = MatrixView::Picked(values.data(), rows, stride, columns, 3);
    const CrossProductSums s = AccumulateCrossProducts(picked, TVector(3, 0.0), nullptr);

    std::vector<double> copy;
    for (int r = 0; r < rows; ++r)
        for (int c : columns) copy.push_back(values[size_t(r) * stride + size_t(c)]);
    const MatrixView packed = MatrixView::Whole(copy.data(), rows, 3);
    const CrossProductSums t = AccumulateCrossProducts(packed, TVector(3, 0.0), nullptr);
    EXPECT_EQ(s.cross, t.cross);
    EXPECT_EQ(s.sum, t.sum);
}
