#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

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

// The row kernel runs eight rows at a time at the machine's vector width;
// every row must come out as the one-vector conversion makes it.
TEST(HyperSpherical, RowsGiveTheBitsOfOneVectorAtATime)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    std::mt19937_64 g(5);
    std::uniform_real_distribution<double> u(-1000, 1000);
    for (int P : {1, 2, 3, 7, 8, 9, 16, 17}) {
        SCOPED_TRACE("P = " + std::to_string(P));
        const size_t count = 45;  // five blocks of eight and a tail
        std::vector<double> src(count * size_t(P));
        for (double& v : src) v = u(g);
        // Rows of zeros, NaN, infinities, negative zeros and huge values among the blocks.
        const double specials[] = {0.0, nan, inf, -inf, -0.0, 1e300, -1e-300};
        for (size_t r = 0; r < 7; ++r)
            for (int k = 0; k < P; ++k) src[(r * 6 + 1) * size_t(P) + size_t(k)] = k % 2 ? specials[r] : 0.0;
        std::vector<double> expected = src;
        for (size_t r = 0; r < count; ++r) HyperSpherical(expected.data() + r * size_t(P), P);

        std::vector<double> dst(src.size(), -7), inPlace = src;
        HyperSphericalRows(src.data(), dst.data(), count, P);
        HyperSphericalRows(inPlace.data(), inPlace.data(), count, P);
        for (size_t i = 0; i < src.size(); ++i) {
            EXPECT_EQ(std::bit_cast<uint64_t>(dst[i]), std::bit_cast<uint64_t>(expected[i])) << "value " << i;
            EXPECT_EQ(std::bit_cast<uint64_t>(inPlace[i]), std::bit_cast<uint64_t>(expected[i])) << "value " << i;
        }
    }
}

TEST(ArcTan2, IsTheQuotientsArcTangentShiftedByPiInDoubles)
{
    // The shift by pi is a double addition, as the definition has it; only
    // the arctangent itself may differ from the correctly rounded one, by one ulp.
    constexpr double pi = std::numbers::pi;
    std::mt19937_64 g(9);
    std::uniform_real_distribution<double> u(-1e6, 1e6);
    for (int i = 0; i < 100000; ++i) {
        const double y = u(g), x = u(g);
        const double a = double(atanl((long double)y / (long double)x));
        const double ulp = std::nextafter(std::abs(a), INFINITY) - std::abs(a);
        const double shift = x > 0 ? 0 : y >= 0 ? pi : -pi;
        const double got = ArcTan2(y, x);
        EXPECT_TRUE(got == a + shift || got == (a + ulp) + shift || got == (a - ulp) + shift) << y << ", " << x;
    }
}
