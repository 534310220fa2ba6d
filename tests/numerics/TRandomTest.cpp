#include <gtest/gtest.h>

#include <cmath>

#include "numerics/TRandom.h"

using namespace orvala;

TEST(TRandom, FixedSeedsGiveTheSameSequenceEveryRun)
{
    // Computed independently from the two multiply-with-carry recurrences.
    const int32_t expected[] = {-283065285, 2079260528, 269317527, -1273344156, 1753798639, 200771912};
    TRandom r;
    for (int32_t e : expected) EXPECT_EQ(r.NextInt32(), e);
}

TEST(TRandom, UniformMapsTheSignedOutputIntoUnitInterval)
{
    TRandom r;
    EXPECT_DOUBLE_EQ(r.Uniform(), 0.43409372749738395);
    EXPECT_DOUBLE_EQ(r.Uniform(), 0.9841155670583248);
    for (int i = 0; i < 10000; ++i) {
        const double u = r.Uniform();
        ASSERT_GE(u, 0);
        ASSERT_LT(u, 1);
    }
}

TEST(TRandom, FirstTwoNormalsComeFromOnePairOfUniforms)
{
    TRandom r;
    EXPECT_NEAR(r.Normal(), 1.2854648672331497, 1e-14);
    EXPECT_NEAR(r.Normal(), -0.12872329841372326, 1e-14);
    // The third number needs the third and fourth uniforms.
    EXPECT_NEAR(r.Gaussian(2, 10), 0.3087058577858048 * 2 + 10, 1e-13);
    EXPECT_NEAR(r.Normal(), 1.0269853459382212, 1e-14);
}

TEST(TRandom, NormalsHaveUnitSpread)
{
    TRandom r;
    double sum = 0, sum2 = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const double x = r.Normal();
        sum += x;
        sum2 += x * x;
    }
    EXPECT_NEAR(sum / n, 0, 0.01);
    EXPECT_NEAR(sum2 / n, 1, 0.01);
}
