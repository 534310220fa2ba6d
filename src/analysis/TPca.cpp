#include "TPca.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/Messages.h"
#include "numerics/EigenSolvers.h"
#include "numerics/GaussJordan.h"
#include "numerics/VectorOps.h"

namespace orvala {

namespace {

// Rows used to estimate the shift about which the products are summed. Any
// value near the mean keeps the one-pass sums exact enough; it need not be the mean.
constexpr int ShiftRows = 256;

TVector estimateShift(const MatrixView& data)
{
    const int rows = std::min(data.rows, ShiftRows);
    std::vector<long double> sums(size_t(data.cols), 0.0L);
    TVector row(size_t(std::max(data.rowRoom(), 1)));
    for (int r = 0; r < rows; ++r) {
        data.readRow(r, row.data());
        for (int j = 0; j < data.cols; ++j) sums[size_t(j)] += row[size_t(j)];
    }
    TVector shift(size_t(data.cols), 0.0);
    if (rows > 0)
        for (int j = 0; j < data.cols; ++j) shift[size_t(j)] = double(sums[size_t(j)] / rows);
    return shift;
}

// Sorts the eigenvalues in descending order and returns the eigenvectors
// (columns of z) as rows in that order.
void sortDescending(const TVector& d, const TMatrix& z, TVector& evals, TMatrix& evects)
{
    const size_t m = d.size();
    std::vector<size_t> order(m);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return d[a] > d[b]; });
    evals.resize(m);
    evects.assign(m, TVector(m));
    for (size_t i = 0; i < m; ++i) {
        evals[i] = d[order[i]];
        for (size_t k = 0; k < m; ++k) evects[i][k] = z[k][order[i]];
    }
}

}  // namespace

TMatrix TPca::BuildMatrix(const MatrixView& data, int option, TMultiThread* pool, TVector& mean, TVector& StdDev)
{
    mean.clear();
    StdDev.clear();
    const int m = data.cols;
    const double n = data.rows;
    TMatrix mat(size_t(m), TVector(size_t(m), 0.0));
    if (data.rows < 2 || m <= 0) return mat;

    if (option == CrossProducts) {
        const CrossProductSums sums = AccumulateCrossProducts(data, TVector(size_t(m), 0.0), pool);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j) mat[size_t(i)][size_t(j)] = sums.cross[size_t(i)][size_t(j)] / n;
        return mat;
    }

    const CrossProductSums sums = AccumulateCrossProducts(data, estimateShift(data), pool);
    // Centred products from the shifted sums: sum (x_i - mean_i)(x_j - mean_j)
    // = cross_ij - sum_i * sum_j / n.
    mean.resize(size_t(m));
    for (int j = 0; j < m; ++j) mean[size_t(j)] = sums.shift[size_t(j)] + sums.sum[size_t(j)] / n;
    for (int i = 0; i < m; ++i)
        for (int j = i; j < m; ++j) {
            double c = (sums.cross[size_t(i)][size_t(j)] - sums.sum[size_t(i)] * sums.sum[size_t(j)] / n) / (n - 1);
            if (i == j && c < 0) c = 0;  // rounding of a constant column
            mat[size_t(i)][size_t(j)] = mat[size_t(j)][size_t(i)] = c;
        }
    if (option == Covariation) return mat;

    // Correlation: a column whose spread is at most 0.5 % of its mean counts as
    // constant and is centred but not scaled.
    StdDev.resize(size_t(m));
    for (int j = 0; j < m; ++j) {
        double s = std::sqrt(mat[size_t(j)][size_t(j)]);
        if (std::fabs(mean[size_t(j)]) * 0.005 >= s) s = 1;
        StdDev[size_t(j)] = s;
    }
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
            mat[size_t(i)][size_t(j)] = (i == j) ? 1.0 : mat[size_t(i)][size_t(j)] / (StdDev[size_t(i)] * StdDev[size_t(j)]);
    return mat;
}

void TPca::EigenvalueShares(TVector& percent, TVector& cumulative) const
{
    percent.clear();
    cumulative.clear();
    const double total = SumVector(evals);
    if (total == 0) return;
    double running = 0;
    for (double v : evals) {
        const double share = v / total * 100;
        running += share;
        percent.push_back(share);
        cumulative.push_back(running);
    }
}

std::unique_ptr<TPca> TPca::Create(const DataMatrix& data, int option, int algorithm, MessageSink& sink, TMultiThread* pool)
{
    return Create(MatrixView::Whole(data.data(), data.rows(), data.cols()), option, algorithm, sink, pool);
}

std::unique_ptr<TPca> TPca::Create(const MatrixView& data, int option, int algorithm, MessageSink& sink, TMultiThread* pool)
{
    auto pca = std::make_unique<TPca>();
    pca->option = option;
    pca->algorithm = algorithm;
    const int m = data.cols;
    if (data.rows < 2 || m <= 0) return pca;

    pca->cormat = BuildMatrix(data, option, pool, pca->mean, pca->StdDev);

    TMatrix work = pca->cormat;
    if (algorithm == Jacobi) {
        TVector lambda;
        TMatrix v;
        if (orvala::Jacobi(work, 0, m - 1, JacobiMaxIter, JacobiTolerance, lambda, v) != MatOk) {
            pca->status = MatNonConv;
            sink.message("Too many iterations!");
            return pca;
        }
        pca->evals = lambda;
        pca->evects = Transpose(v);
    } else {
        TVector d, e;
        Householder(work, m, d, e);
        if (TLQI(d, e, m, work, [&sink](const std::string& text) { sink.message(text); }) != MatOk) {
            pca->status = MatNonConv;
            return pca;
        }
        sortDescending(d, work, pca->evals, pca->evects);
    }

    for (auto& row : pca->evects)
        if (SumVector(row) < 0)
            for (double& x : row) x = -x;

    // The transpose of the inverse of the transpose, as the plot expects it.
    TMatrix invT;
    if (InvMat(Transpose(pca->evects), 0, m - 1, invT) != MatOk)
        sink.message("Mat not OK");
    else
        pca->inv = Transpose(invT);
    return pca;
}

}  // namespace orvala
