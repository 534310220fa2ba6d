#include <gtest/gtest.h>

#include <random>

#include "numerics/GaussJordan.h"

using namespace orvala;

TEST(GaussJordan, OneByOne)
{
    TMatrix inv;
    TVector x;
    double det = 0;
    ASSERT_EQ(GaussJordan({{2.0}}, {4.0}, 0, 0, inv, x, det), MatOk);
    EXPECT_DOUBLE_EQ(x[0], 2.0);
    EXPECT_DOUBLE_EQ(inv[0][0], 0.5);
    EXPECT_DOUBLE_EQ(det, 2.0);
}

TEST(GaussJordan, SingularMatrixGivesMinusOne)
{
    TMatrix inv;
    TVector x;
    double det = 0;
    const TMatrix twoEqualRows{{1, 2, 3}, {1, 2, 3}, {0, 1, 5}};
    EXPECT_EQ(GaussJordan(twoEqualRows, {1, 2, 3}, 0, 2, inv, x, det), MatSingul);
    EXPECT_EQ(InvMat(twoEqualRows, 0, 2, inv), MatSingul);
    EXPECT_EQ(InvMat({{0.0}}, 0, 0, inv), MatSingul);
}

TEST(GaussJordan, SolvesAndInvertsRandomSystemsWithPivoting)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-5, 5);
    for (int n : {2, 3, 5, 8, 16}) {
        TMatrix a(static_cast<size_t>(n), TVector(static_cast<size_t>(n)));
        TVector b(static_cast<size_t>(n));
        for (auto& row : a)
            for (double& v : row) v = u(rng);
        a[0][0] = 0;  // forces a pivot search away from the diagonal
        for (double& v : b) v = u(rng);
        TMatrix inv;
        TVector x;
        double det = 0;
        ASSERT_EQ(GaussJordan(a, b, 0, n - 1, inv, x, det), MatOk);
        for (int i = 0; i < n; ++i) {
            double ax = 0;
            for (int j = 0; j < n; ++j) ax += a[size_t(i)][size_t(j)] * x[size_t(j)];
            EXPECT_NEAR(ax, b[size_t(i)], 1e-9) << "n=" << n;
            for (int j = 0; j < n; ++j) {
                double p = 0;
                for (int k = 0; k < n; ++k) p += a[size_t(i)][size_t(k)] * inv[size_t(k)][size_t(j)];
                EXPECT_NEAR(p, i == j ? 1.0 : 0.0, 1e-9);
            }
        }
    }
}

TEST(GaussJordan, DeterminantSignFollowsSwaps)
{
    TMatrix inv;
    TVector x;
    double det = 0;
    // det [[0,1],[1,0]] = -1; [[1,2],[3,4]] = -2; [[4,3],[6,3]] = -6
    const std::pair<TMatrix, double> cases[] = {{{{0, 1}, {1, 0}}, -1.0}, {{{1, 2}, {3, 4}}, -2.0}, {{{4, 3}, {6, 3}}, -6.0}};
    for (const auto& [a, expected] : cases) {
        ASSERT_EQ(GaussJordan(a, {1, 1}, 0, 1, inv, x, det), MatOk);
        EXPECT_NEAR(det, expected, 1e-12);
    }
}

TEST(GaussJordan, WorksOnASubrangeOnly)
{
    // Lb..Ub = 1..2 of a 3x3 matrix: row and column 0 are left alone.
    TMatrix a{{9, 9, 9}, {9, 2, 0}, {9, 0, 4}};
    TMatrix inv;
    ASSERT_EQ(InvMat(a, 1, 2, inv), MatOk);
    EXPECT_DOUBLE_EQ(inv[1][1], 0.5);
    EXPECT_DOUBLE_EQ(inv[2][2], 0.25);
    EXPECT_DOUBLE_EQ(inv[0][0], 9);
}
