#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "numerics/VectorOps.h"

using namespace orvala;

TEST(VectorOps, DotProductUsesTheShorterLength)
{
    EXPECT_DOUBLE_EQ(DotProduct({1, 2, 3}, {4, 5}), 14);
    EXPECT_DOUBLE_EQ(DotProduct({}, {4, 5}), 0);
}

TEST(VectorOps, NormalizeLeavesTheZeroVectorAlone)
{
    TVector v{3, 4};
    Normalize(v);
    EXPECT_DOUBLE_EQ(v[0], 0.6);
    EXPECT_DOUBLE_EQ(v[1], 0.8);
    TVector z{0, 0, 0};
    Normalize(z);
    EXPECT_EQ(z, (TVector{0, 0, 0}));
}

TEST(VectorOps, SumSubtractScale)
{
    EXPECT_DOUBLE_EQ(SumVector({1, -2, 4.5}), 3.5);
    EXPECT_EQ(SubtractVector({5, 6, 7}, {1, 2}), (TVector{4, 4, 7}));
    EXPECT_EQ(SubtractVector({5}, {1, 2}), (TVector{4}));
    EXPECT_EQ(ScaleVector({1, -2}, 3), (TVector{3, -6}));
}

TEST(VectorOps, MaxIndexTakesTheFirstAmongEqualsInTheRange)
{
    const TVector v{9, 1, 7, 7, 2};
    EXPECT_EQ(MaxIndex(v, 1, 4), 2);
    EXPECT_EQ(MaxIndex(v, 0, 4), 0);
    EXPECT_EQ(MaxIndex(v, 3, 2), -1);
    EXPECT_DOUBLE_EQ(MaxElement(v, 3, 4), 7);
}

TEST(VectorOps, CountTrueAndPythag)
{
    EXPECT_EQ(CountTrue({1, 0, 1, 1}), 3);
    EXPECT_EQ(CountTrue({}), 0);
    EXPECT_DOUBLE_EQ(Pythag(3, 4), 5);
    EXPECT_DOUBLE_EQ(Pythag(0, 0), 0);
    EXPECT_DOUBLE_EQ(Pythag(1e200, 1e200), std::sqrt(2.0) * 1e200);  // squares would overflow
    EXPECT_EQ(Sgn(0), 1);
    EXPECT_EQ(Sgn(-0.5), -1);
}

TEST(FiniteRange, SkipsNaNAndInfinities)
{
    constexpr double Inf = std::numeric_limits<double>::infinity();
    const std::vector<double> v{Inf, std::nan(""), 3, -2, -Inf, 5};
    double lo = 99, hi = 99;
    ASSERT_TRUE(FiniteRange(v.data(), v.size(), lo, hi));
    EXPECT_EQ(lo, -2);
    EXPECT_EQ(hi, 5);
    const std::vector<double> none{std::nan(""), Inf};
    lo = hi = 99;
    EXPECT_FALSE(FiniteRange(none.data(), 2, lo, hi));
    EXPECT_EQ(lo, 99);
}
