#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numerics/EigenSolvers.h"
#include "numerics/VectorOps.h"

using namespace orvala;

namespace {

TMatrix randomSymmetric(int n, std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(-1, 1);
    TMatrix a(static_cast<size_t>(n), TVector(static_cast<size_t>(n)));
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j) a[size_t(i)][size_t(j)] = a[size_t(j)][size_t(i)] = u(rng);
    return a;
}

// Eigenvalues descending with eigenvector columns, via Householder + QL.
void decomposeQL(TMatrix a, TVector& lambda, TMatrix& v)
{
    const int n = int(a.size());
    TVector d, e;
    Householder(a, n, d, e);
    ASSERT_EQ(TLQI(d, e, n, a), MatOk);
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[size_t(i)] = i;
    std::sort(order.begin(), order.end(), [&](int x, int y) { return d[size_t(x)] > d[size_t(y)]; });
    lambda.assign(size_t(n), 0);
    v.assign(size_t(n), TVector(size_t(n)));
    for (int j = 0; j < n; ++j) {
        lambda[size_t(j)] = d[size_t(order[size_t(j)])];
        for (int k = 0; k < n; ++k) v[size_t(k)][size_t(j)] = a[size_t(k)][size_t(order[size_t(j)])];
    }
}

// max_i |A v_j - lambda_j v_j|, and how far the columns are from orthonormal.
void expectEigenPairs(const TMatrix& a, const TVector& lambda, const TMatrix& v, double tol, const std::string& what)
{
    const size_t n = a.size();
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) {
            double av = 0;
            for (size_t k = 0; k < n; ++k) av += a[i][k] * v[k][j];
            ASSERT_NEAR(av, lambda[j] * v[i][j], tol) << what << " pair " << j << " row " << i;
        }
        for (size_t l = j; l < n; ++l) {
            double dot = 0;
            for (size_t k = 0; k < n; ++k) dot += v[k][j] * v[k][l];
            ASSERT_NEAR(dot, l == j ? 1.0 : 0.0, tol) << what << " columns " << j << "," << l;
        }
    }
}

}  // namespace

TEST(Jacobi, TwoByTwoGivesThreeThenOneWithNonNegativeFirstComponents)
{
    TMatrix a{{2, 1}, {1, 2}};
    TVector lambda;
    TMatrix v;
    ASSERT_EQ(Jacobi(a, 0, 1, 100000, 1.4901161193847656e-08, lambda, v), MatOk);
    EXPECT_NEAR(lambda[0], 3, 1e-12);
    EXPECT_NEAR(lambda[1], 1, 1e-12);
    const double h = std::sqrt(0.5);
    EXPECT_NEAR(v[0][0], h, 1e-12);
    EXPECT_NEAR(v[1][0], h, 1e-12);
    EXPECT_NEAR(v[0][1], h, 1e-12);  // the sign rule flips (-h, h) to (h, -h)
    EXPECT_NEAR(v[1][1], -h, 1e-12);
}

TEST(Jacobi, DiagonalAndTrivialMatricesNeedNoRotation)
{
    struct Case {
        TMatrix a;
        TVector expected;
    };
    const Case cases[] = {
        {{{1, 0, 0}, {0, 5, 0}, {0, 0, 3}}, {5, 3, 1}},
        {{{0, 0}, {0, 0}}, {0, 0}},
        {{{-4}}, {-4}},
    };
    for (const auto& c : cases) {
        TMatrix a = c.a;
        TVector lambda;
        TMatrix v;
        // MaxIter 0: a single rotation would already report -2.
        ASSERT_EQ(Jacobi(a, 0, int(a.size()) - 1, 0, 1e-8, lambda, v), MatOk);
        for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(lambda[i], c.expected[i]);
        for (const auto& row : v)
            for (double x : row) EXPECT_TRUE(x == 0 || x == 1);
    }
}

TEST(Jacobi, ReportsMinusTwoWhenTheRotationsRunOut)
{
    std::mt19937 rng(3);
    TMatrix a = randomSymmetric(6, rng);
    TVector lambda;
    TMatrix v;
    EXPECT_EQ(Jacobi(a, 0, 5, 3, 1e-12, lambda, v), MatNonConv);
}

TEST(Jacobi, WorksOnASubrangeAndLeavesTheRestAlone)
{
    TMatrix a{{7, 7, 7}, {7, 2, 1}, {7, 1, 2}};
    TVector lambda{-9, -9, -9};
    TMatrix v(3, TVector(3, -9));
    ASSERT_EQ(Jacobi(a, 1, 2, 100, 0, lambda, v), MatOk);
    EXPECT_EQ(lambda[0], -9);
    EXPECT_NEAR(lambda[1], 3, 1e-14);
    EXPECT_NEAR(lambda[2], 1, 1e-14);
    EXPECT_EQ(v[0][0], -9);
    EXPECT_EQ(v[0][1], -9);
    EXPECT_EQ(a[0][0], 7);
}

TEST(Eigen, QLAndJacobiAgreeOnRandomSymmetricMatrices)
{
    std::mt19937 rng(11);
    for (int n : {1, 2, 3, 5, 8, 16, 33, 64}) {
        const TMatrix a = randomSymmetric(n, rng);
        TVector lq, lj;
        TMatrix vq, vj;
        decomposeQL(a, lq, vq);
        TMatrix work = a;
        ASSERT_EQ(Jacobi(work, 0, n - 1, 100000, 0, lj, vj), MatOk) << "n=" << n;

        double scale = 0;
        for (double x : lq) scale = std::max(scale, std::fabs(x));
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(lj[size_t(j)], lq[size_t(j)], 1e-9 * scale) << "n=" << n << " eigenvalue " << j;
            // Up to sign: compare after aligning the larger component.
            double dot = 0;
            for (int k = 0; k < n; ++k) dot += vq[size_t(k)][size_t(j)] * vj[size_t(k)][size_t(j)];
            const double sign = dot < 0 ? -1 : 1;
            for (int k = 0; k < n; ++k)
                ASSERT_NEAR(sign * vq[size_t(k)][size_t(j)], vj[size_t(k)][size_t(j)], 1e-9) << "n=" << n << " vector " << j;
            EXPECT_GE(vj[0][size_t(j)], 0);
        }
        expectEigenPairs(a, lq, vq, 1e-9, "QL n=" + std::to_string(n));
        expectEigenPairs(a, lj, vj, 1e-9, "Jacobi n=" + std::to_string(n));
    }
}

TEST(Jacobi, PcaToleranceIsCloseEnoughForSeparatedEigenvalues)
{
    // Q diag(10, 4, 1, 0.25) Q^T with a random orthogonal Q (from QL of a random matrix).
    std::mt19937 rng(5);
    TVector unused;
    TMatrix q;
    decomposeQL(randomSymmetric(4, rng), unused, q);
    const double ev[] = {10, 4, 1, 0.25};
    TMatrix a(4, TVector(4, 0));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) a[size_t(i)][size_t(j)] += q[size_t(i)][size_t(k)] * ev[k] * q[size_t(j)][size_t(k)];
    TVector lambda;
    TMatrix v;
    ASSERT_EQ(Jacobi(a, 0, 3, 100000, 1.4901161193847656e-08, lambda, v), MatOk);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(lambda[size_t(i)], ev[i], 1e-6 * ev[0]);
}

TEST(TLQI, ReportsNoConvergenceAndStops)
{
    // A NaN never passes the negligibility test, so every eigenvalue runs out of iterations.
    TMatrix a{{1, NAN, 0}, {NAN, 2, 1}, {0, 1, 3}};
    TVector d, e;
    Householder(a, 3, d, e);
    std::vector<std::string> messages;
    EXPECT_EQ(TLQI(d, e, 3, a, [&](const std::string& m) { messages.push_back(m); }), MatNonConv);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "No convergence in TLQI.");
}

TEST(Householder, TridiagonalFormKeepsTheTraceAndTheTransformIsOrthogonal)
{
    std::mt19937 rng(9);
    const TMatrix a = randomSymmetric(7, rng);
    TMatrix z = a;
    TVector d, e;
    Householder(z, 7, d, e);
    EXPECT_EQ(e[0], 0);
    double trace = 0, dsum = 0;
    for (int i = 0; i < 7; ++i) {
        trace += a[size_t(i)][size_t(i)];
        dsum += d[size_t(i)];
    }
    EXPECT_NEAR(trace, dsum, 1e-12);
    // Z^T A Z must be the tridiagonal matrix (d, e).
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j) {
            double t = 0;
            for (int k = 0; k < 7; ++k)
                for (int l = 0; l < 7; ++l) t += z[size_t(k)][size_t(i)] * a[size_t(k)][size_t(l)] * z[size_t(l)][size_t(j)];
            double expected = 0;
            if (i == j) expected = d[size_t(i)];
            else if (j == i + 1) expected = e[size_t(j)];
            else if (i == j + 1) expected = e[size_t(i)];
            EXPECT_NEAR(t, expected, 1e-12) << i << "," << j;
        }
}

namespace {

// The method written out with a full search for the largest element on every
// rotation: the solver keeps per-row maxima instead and must pick the same
// pivots in the same order, so its results must match to the bit.
int fullScanJacobi(TMatrix a, int n, int maxIter, double tol, TVector& lambda, TMatrix& v)
{
    v.assign(size_t(n), TVector(size_t(n), 0));
    for (int i = 0; i < n; ++i) v[size_t(i)][size_t(i)] = 1;
    long double diag = 0, off = 0;
    for (int i = 0; i < n; ++i) {
        diag += static_cast<long double>(a[size_t(i)][size_t(i)]) * a[size_t(i)][size_t(i)];
        for (int j = i + 1; j < n; ++j) off += static_cast<long double>(a[size_t(i)][size_t(j)]) * a[size_t(i)][size_t(j)];
    }
    const long double total = diag + 2 * off;
    int rotations = 0;
    for (;;) {
        int p = 0, q = 0;
        double amax = 0, dmax = 0;
        for (int i = 0; i < n; ++i) {
            dmax = std::max(dmax, std::fabs(a[size_t(i)][size_t(i)]));
            for (int j = i + 1; j < n; ++j)
                if (std::fabs(a[size_t(i)][size_t(j)]) > amax) {
                    amax = std::fabs(a[size_t(i)][size_t(j)]);
                    p = i;
                    q = j;
                }
        }
        if (amax == 0 || amax <= MachEp * dmax * 0.5) break;
        auto& A = a;
        auto at = [&A](int i, int j) -> double& { return i < j ? A[size_t(i)][size_t(j)] : A[size_t(j)][size_t(i)]; };
        const double apq = at(p, q), diff = at(p, p) - at(q, q);
        double c, s;
        if (diff != 0) {
            const double f = Sgn(diff) * 2 * apq, r = Pythag(std::fabs(diff), f);
            c = std::sqrt((std::fabs(diff) / r + 1) / 2);
            s = f / (2 * r * c);
        } else {
            c = 0.7071067811865476;
            s = Sgn(apq) * c;
        }
        for (int k = 0; k < n; ++k) {
            const double vp = v[size_t(k)][size_t(p)], vq = v[size_t(k)][size_t(q)];
            v[size_t(k)][size_t(p)] = c * vp + s * vq;
            v[size_t(k)][size_t(q)] = c * vq - s * vp;
            if (k == p || k == q) continue;
            const double xp = at(k, p), xq = at(k, q);
            at(k, p) = c * xp + s * xq;
            at(k, q) = c * xq - s * xp;
        }
        diag += 2 * static_cast<long double>(apq) * apq;
        const double app = at(p, p), aqq = at(q, q);
        at(p, p) = c * c * app + s * s * aqq + 2 * c * s * apq;
        at(q, q) = s * s * app + c * c * aqq - 2 * c * s * apq;
        at(p, q) = 0;
        if (++rotations > maxIter) return MatNonConv;
        if (std::fabs(1 - total / diag) < tol) break;
    }
    lambda.resize(size_t(n));
    for (int i = 0; i < n; ++i) lambda[size_t(i)] = a[size_t(i)][size_t(i)];
    return MatOk;
}

}  // namespace

TEST(Jacobi, PivotOrderIsThatOfAFullSearch)
{
    std::mt19937 rng(21);
    for (int n : {3, 7, 20, 40}) {
        TMatrix a = randomSymmetric(n, rng);
        // Ties: equal elements must be taken in reading order.
        a[0][2] = a[2][0] = a[1][2] = a[2][1] = 0.9;
        for (double tol : {1.4901161193847656e-08, 0.0}) {
            TVector expectedLambda, lambda;
            TMatrix expectedV, v;
            ASSERT_EQ(fullScanJacobi(a, n, 100000, tol, expectedLambda, expectedV), MatOk);
            TMatrix work = a;
            ASSERT_EQ(Jacobi(work, 0, n - 1, 100000, tol, lambda, v), MatOk);
            // Jacobi sorts and orients; the reference does not. Compare as sets of pairs.
            for (int j = 0; j < n; ++j) {
                int match = -1;
                for (int i = 0; i < n; ++i)
                    if (expectedLambda[size_t(i)] == lambda[size_t(j)]) match = i;
                ASSERT_GE(match, 0) << "n=" << n << " eigenvalue " << lambda[size_t(j)];
                const double sign = (expectedV[0][size_t(match)] < 0) ? -1 : 1;
                for (int k = 0; k < n; ++k) ASSERT_EQ(v[size_t(k)][size_t(j)], sign * expectedV[size_t(k)][size_t(match)]);
            }
        }
    }
}
