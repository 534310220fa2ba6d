#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/TPca.h"
#include "core/Messages.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

// The matrices written out the slow way, two passes over the data.
TMatrix naiveMatrix(const DataMatrix& d, int option)
{
    const int n = d.rows(), m = d.cols();
    TVector mean(size_t(m), 0.0), sd(size_t(m), 1.0);
    if (option != TPca::CrossProducts)
        for (int j = 0; j < m; ++j) {
            long double s = 0;
            for (int r = 0; r < n; ++r) s += d.at(r, j);
            mean[size_t(j)] = double(s / n);
        }
    if (option == TPca::Correlation)
        for (int j = 0; j < m; ++j) {
            long double s = 0;
            for (int r = 0; r < n; ++r) s += (d.at(r, j) - mean[size_t(j)]) * (d.at(r, j) - mean[size_t(j)]);
            sd[size_t(j)] = double(std::sqrt(s / (n - 1)));
            if (std::fabs(mean[size_t(j)]) * 0.005 >= sd[size_t(j)]) sd[size_t(j)] = 1;
        }
    const double divisor = option == TPca::CrossProducts ? n : n - 1;
    TMatrix mat(static_cast<size_t>(m), TVector(static_cast<size_t>(m)));
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            long double s = 0;
            for (int r = 0; r < n; ++r)
                s += (d.at(r, i) - mean[size_t(i)]) / sd[size_t(i)] * ((d.at(r, j) - mean[size_t(j)]) / sd[size_t(j)]);
            mat[size_t(i)][size_t(j)] = (option == TPca::Correlation && i == j) ? 1.0 : double(s / divisor);
        }
    return mat;
}

// Columns with different offsets and spreads, mixed so that they correlate;
// column 3 is nearly constant (spread 0.1 % of its mean).
DataMatrix mixedData(int rows)
{
    TRandom r;
    DataMatrix d(rows, 4);
    for (int k = 0; k < rows; ++k) {
        const double a = r.Normal(), b = r.Normal();
        d.at(k, 0) = 200 + 30 * a;
        d.at(k, 1) = -50 + 10 * a + 5 * b;
        d.at(k, 2) = 3 * b + r.Normal();
        d.at(k, 3) = 1000 + r.Normal();
    }
    return d;
}

void expectValidDecomposition(const TPca& pca, double tol)
{
    const size_t m = pca.cormat.size();
    ASSERT_EQ(size_t(pca.Count()), m);
    for (size_t i = 0; i < m; ++i) {
        double sum = 0;
        for (double x : pca.evects[i]) sum += x;
        EXPECT_GE(sum, 0) << "row " << i;
        if (i > 0) {
            EXPECT_GE(pca.evals[i - 1], pca.evals[i]);
        }
        for (size_t r = 0; r < m; ++r) {
            double av = 0;
            for (size_t k = 0; k < m; ++k) av += pca.cormat[r][k] * pca.evects[i][k];
            EXPECT_NEAR(av, pca.evals[i] * pca.evects[i][r], tol);
        }
        // inv is the inverse of evects: evects * inv = I.
        for (size_t j = 0; j < m; ++j) {
            double p = 0;
            for (size_t k = 0; k < m; ++k) p += pca.evects[i][k] * pca.inv[k][j];
            EXPECT_NEAR(p, i == j ? 1.0 : 0.0, 1e-9);
        }
    }
}

}  // namespace

TEST(TPca, EachMatrixOptionMatchesTheDirectFormula)
{
    const DataMatrix d = mixedData(3000);
    for (int option : {TPca::Correlation, TPca::Covariation, TPca::CrossProducts}) {
        RecordingSink sink;
        const auto pca = TPca::Create(d, option, TPca::QL, sink);
        const TMatrix expected = naiveMatrix(d, option);
        for (size_t i = 0; i < 4; ++i)
            for (size_t j = 0; j < 4; ++j)
                EXPECT_NEAR(pca->cormat[i][j], expected[i][j], 1e-9 * (1 + std::fabs(expected[i][j])))
                    << "option " << option << " at " << i << "," << j;
        EXPECT_TRUE(sink.messages.empty());
        expectValidDecomposition(*pca, 1e-9 * std::fabs(pca->evals[0]));
        EXPECT_EQ(pca->mean.empty(), option == TPca::CrossProducts);
        EXPECT_EQ(pca->StdDev.empty(), option != TPca::Correlation);
    }
}

TEST(TPca, NearlyConstantColumnIsNotScaledInCorrelation)
{
    const DataMatrix d = mixedData(3000);
    RecordingSink sink;
    const auto pca = TPca::Create(d, TPca::Correlation, TPca::QL, sink);
    ASSERT_EQ(pca->StdDev.size(), 4u);
    EXPECT_EQ(pca->StdDev[3], 1.0);
    EXPECT_NEAR(pca->StdDev[0], 30, 1.5);
    EXPECT_NEAR(pca->mean[3], 1000, 0.1);
    EXPECT_EQ(pca->cormat[3][3], 1.0);
    EXPECT_EQ(pca->cormat[0][0], 1.0);
}

TEST(TPca, FirstComponentOfARotatedGaussianCloudIsItsLongAxis)
{
    // Axes of a known rotation (orthonormal columns), spreads 10, 1 and 0.5.
    const double c1 = std::cos(0.7), s1 = std::sin(0.7), c2 = std::cos(-0.4), s2 = std::sin(-0.4);
    const double q[3][3] = {{c1, -s1 * c2, s1 * s2}, {s1, c1 * c2, -c1 * s2}, {0, s2, c2}};
    const double spread[3] = {10, 1, 0.5};
    const double offset[3] = {100, -50, 20};
    const int n = 400000;
    TRandom r;
    DataMatrix d(n, 3);
    for (int k = 0; k < n; ++k) {
        const double g[3] = {spread[0] * r.Normal(), spread[1] * r.Normal(), spread[2] * r.Normal()};
        for (int i = 0; i < 3; ++i) d.at(k, i) = offset[i] + q[i][0] * g[0] + q[i][1] * g[1] + q[i][2] * g[2];
    }
    // The known axis, oriented so that its components sum to >= 0.
    double axis[3] = {q[0][0], q[1][0], q[2][0]};
    if (axis[0] + axis[1] + axis[2] < 0)
        for (double& a : axis) a = -a;

    TMultiThread pool(2);
    for (int algorithm : {TPca::QL, TPca::Jacobi}) {
        RecordingSink sink;
        const auto pca = TPca::Create(d, TPca::Covariation, algorithm, sink, &pool);
        ASSERT_EQ(pca->Count(), 3);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pca->evects[0][size_t(i)], axis[i], 1e-3) << "algorithm " << algorithm;
        EXPECT_NEAR(pca->evals[0], 100, 1);
        EXPECT_NEAR(pca->evals[1], 1, 0.02);
        EXPECT_NEAR(pca->evals[2], 0.25, 0.005);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pca->mean[size_t(i)], offset[i], 0.05);
    }
}

TEST(TPca, CrossProductsOfPointsOnALineThroughTheOriginHaveOneNonZeroEigenvalue)
{
    DataMatrix d(500, 3);
    TRandom r;
    for (int k = 0; k < 500; ++k) {
        const double t = r.Gaussian(4, 1);
        d.at(k, 0) = t;
        d.at(k, 1) = 2 * t;
        d.at(k, 2) = 3 * t;
    }
    for (int algorithm : {TPca::QL, TPca::Jacobi}) {
        RecordingSink sink;
        const auto pca = TPca::Create(d, TPca::CrossProducts, algorithm, sink);
        ASSERT_EQ(pca->Count(), 3);
        EXPECT_GT(pca->evals[0], 1);
        EXPECT_NEAR(pca->evals[1], 0, 1e-12 * pca->evals[0]);
        EXPECT_NEAR(pca->evals[2], 0, 1e-12 * pca->evals[0]);
        const double norm = std::sqrt(14.0);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pca->evects[0][size_t(i)], (i + 1) / norm, 1e-9);
    }
}

TEST(TPca, QLAndJacobiGiveTheSameAnalysis)
{
    TRandom r;
    DataMatrix d(2000, 12);
    for (int k = 0; k < 2000; ++k) {
        const double common = r.Normal();
        for (int j = 0; j < 12; ++j) d.at(k, j) = (j + 1) * common + (j % 3 + 1) * r.Normal() + 10 * j;
    }
    for (int option : {TPca::Correlation, TPca::Covariation, TPca::CrossProducts}) {
        RecordingSink sink;
        const auto ql = TPca::Create(d, option, TPca::QL, sink);
        const auto jacobi = TPca::Create(d, option, TPca::Jacobi, sink);
        EXPECT_TRUE(sink.messages.empty());
        expectValidDecomposition(*ql, 1e-9 * ql->evals[0]);
        // Jacobi stops once the squares left off the diagonal are below
        // sqrt(eps) of the total: the residuals A v - lambda v of all its pairs
        // hold exactly those squares (twice, for the two triangles).
        double total = 0, residual = 0;
        for (const auto& row : jacobi->cormat)
            for (double x : row) total += x * x;
        for (int i = 0; i < 12; ++i)
            for (int r = 0; r < 12; ++r) {
                double av = 0;
                for (int k = 0; k < 12; ++k) av += jacobi->cormat[size_t(r)][size_t(k)] * jacobi->evects[size_t(i)][size_t(k)];
                const double d = av - jacobi->evals[size_t(i)] * jacobi->evects[size_t(i)][size_t(r)];
                residual += d * d;
            }
        EXPECT_LE(residual, 2 * TPca::JacobiTolerance * total * (1 + 1e-6)) << "option " << option;
        EXPECT_NEAR(jacobi->evals[0], ql->evals[0], 1e-6 * ql->evals[0]);
        for (int i = 0; i < 12; ++i) EXPECT_NEAR(jacobi->evects[0][size_t(i)], ql->evects[0][size_t(i)], 1e-3);
        for (int i = 0; i < 12; ++i) {
            double sum = 0;
            for (double x : jacobi->evects[size_t(i)]) sum += x;
            EXPECT_GE(sum, 0);
        }
    }
}

TEST(TPca, FewerThanTwoRowsComputeNothing)
{
    for (int rows : {0, 1}) {
        DataMatrix d(rows, 3);
        RecordingSink sink;
        const auto pca = TPca::Create(d, TPca::Covariation, TPca::QL, sink);
        EXPECT_EQ(pca->Count(), 0);
        EXPECT_TRUE(pca->cormat.empty());
        EXPECT_TRUE(sink.messages.empty());
    }
}

TEST(TPca, FailedQLReportsAndLeavesNoComponents)
{
    DataMatrix d = mixedData(100);
    d.at(7, 1) = NAN;
    RecordingSink sink;
    const auto pca = TPca::Create(d, TPca::Covariation, TPca::QL, sink);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "No convergence in TLQI.");
    EXPECT_EQ(pca->Count(), 0);
    EXPECT_EQ(pca->status, -2);
    EXPECT_EQ(pca->cormat.size(), 4u);
}

TEST(TPca, EigenvalueSharesInPercentWithRunningTotal)
{
    TPca pca;
    pca.evals = {6, 3, 1};
    TVector percent, cumulative;
    pca.EigenvalueShares(percent, cumulative);
    ASSERT_EQ(percent.size(), 3u);
    EXPECT_DOUBLE_EQ(percent[0], 60);
    EXPECT_DOUBLE_EQ(percent[1], 30);
    EXPECT_DOUBLE_EQ(cumulative[1], 90);
    EXPECT_DOUBLE_EQ(cumulative[2], 100);

    pca.evals = {1, -1};  // sums to zero: no shares
    pca.EigenvalueShares(percent, cumulative);
    EXPECT_TRUE(percent.empty() && cumulative.empty());
}

TEST(TPca, JacobiOutOfRotationsReportsAndLeavesNoComponents)
{
    // 300 independent columns: about 45,000 element pairs, so the 100,000
    // rotations run out long before the matrix is diagonal enough.
    const int rows = 400, cols = 300;
    TRandom r;
    DataMatrix d(rows, cols);
    for (int k = 0; k < rows; ++k)
        for (int j = 0; j < cols; ++j) d.at(k, j) = r.Normal();
    RecordingSink sink;
    const auto pca = TPca::Create(d, TPca::Covariation, TPca::Jacobi, sink);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "Too many iterations!");
    EXPECT_EQ(pca->Count(), 0);
    EXPECT_EQ(pca->status, -2);
    EXPECT_EQ(pca->cormat.size(), size_t(cols));

    // QL handles the same matrix.
    RecordingSink quiet;
    EXPECT_EQ(TPca::Create(d, TPca::Covariation, TPca::QL, quiet)->Count(), cols);
    EXPECT_TRUE(quiet.messages.empty());
}
