#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "numerics/Hyperspherical.h"

using namespace orvala;

TEST(ArcTan2, QuadrantsAndTheAxisConventions)
{
    constexpr double pi = std::numbers::pi;
    struct Case {
        double y, x, expected;
    };
    const Case cases[] = {
        {0, 0, 0},      {1, 0, pi / 2},     {-1, 0, -pi / 2}, {1, 1, pi / 4},
        {1, -1, 3 * pi / 4}, {-1, -1, -3 * pi / 4}, {0, -2, pi},  {-0.0, -2, pi},
    };
    for (const auto& c : cases) EXPECT_NEAR(ArcTan2(c.y, c.x), c.expected, 1e-15) << c.y << "," << c.x;
}

TEST(HyperSpherical, ThreeFourGivesFiveAndTheAngle)
{
    const TVector r = HyperSpherical(TVector{3, 4});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_DOUBLE_EQ(r[0], 5);
    EXPECT_DOUBLE_EQ(r[1], std::atan2(4.0, 3.0));
}

TEST(HyperSpherical, DegenerateVectorsComeBackUnchanged)
{
    EXPECT_EQ(HyperSpherical(TVector{0, 0, 0}), (TVector{0, 0, 0}));
    EXPECT_EQ(HyperSpherical(TVector{-2.5}), (TVector{-2.5}));
    EXPECT_EQ(HyperSpherical(TVector{}), TVector{});
}

TEST(HyperSpherical, AnglesReconstructTheCartesianVector)
{
    // x0 = R cos a1, x1 = R sin a1 cos a2, ..., x_{P-1} = R sin a1 ... sin a_{P-1}.
    const TVector x{1.5, -2, 0.5, 3, -1};
    const TVector h = HyperSpherical(x);
    const size_t P = x.size();
    double sinProduct = h[0];
    for (size_t k = 0; k + 1 < P; ++k) {
        EXPECT_NEAR(sinProduct * std::cos(h[k + 1]), x[k], 1e-12) << k;
        sinProduct *= std::sin(h[k + 1]);
    }
    EXPECT_NEAR(sinProduct, x[P - 1], 1e-12);
    for (size_t k = 1; k + 1 < P; ++k) {
        EXPECT_GE(h[k], 0);
        EXPECT_LE(h[k], std::numbers::pi);
    }
}
