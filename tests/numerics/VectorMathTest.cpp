#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "numerics/VectorMath.h"

using namespace orvala;
using namespace orvala::vmath;

namespace {

// Distance from the reference in units of the last place of the double result.
double ulps(double got, long double reference)
{
    const double r = double(reference);
    const double ulp = std::nextafter(std::abs(r), INFINITY) - std::abs(r);
    return double(std::abs((long double)got - reference) / ulp);
}

// Every lane of the 8-wide form against the scalar form, bit for bit.
template <class F>
void expectLanesEqualScalar(const std::vector<double>& xs, F f)
{
    for (size_t i = 0; i < xs.size(); i += 8) {
        V8 v{};
        for (size_t l = 0; l < 8; ++l) v[l] = xs[std::min(i + l, xs.size() - 1)];
        const V8 r = f(v);
        for (size_t l = 0; l < 8; ++l) {
            const double scalar = f(v[l]);
            EXPECT_EQ(bits(r[l]), bits(scalar)) << "x = " << v[l];
        }
    }
}

std::vector<double> logUniform(double lo, double hi, int n, unsigned seed)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> e(std::log(lo), std::log(hi));
    std::vector<double> xs(static_cast<size_t>(n));
    for (double& x : xs) x = std::exp(e(g));
    return xs;
}

}  // namespace

TEST(VectorMath, Log10IsExactAtPowersOfTenAndWithinOneUlpElsewhere)
{
    double p = 1;
    for (int k = 0; k <= 22; ++k, p *= 10) EXPECT_EQ(Log10Positive(p), double(k)) << "10^" << k;
    EXPECT_EQ(Log10Positive(0.1), std::log10(0.1));

    // The log transform's own range, then every binade of the normal numbers.
    for (auto [lo, hi] : {std::pair{1.0, 1e4}, std::pair{DBL_MIN, DBL_MAX}, std::pair{0.5, 2.0}}) {
        double worst = 0;
        int differ = 0;
        const std::vector<double> xs = logUniform(lo, hi, 400000, 7);
        for (double x : xs) {
            const double got = Log10Positive(x);
            worst = std::max(worst, ulps(got, log10l((long double)x)));
            differ += got != double(log10l((long double)x));
        }
        EXPECT_LE(worst, 1.0) << "[" << lo << ", " << hi << "]";
        // Nearly always the correctly rounded value (the C library's log10 misses it 8 % of the time).
        EXPECT_LT(differ, int(xs.size()) * 3 / 100) << "[" << lo << ", " << hi << "]";
    }
}

TEST(VectorMath, ArcTanIsWithinOneUlpAndKeepsTheEdges)
{
    double worst = 0;
    int differ = 0;
    std::vector<double> xs = logUniform(1e-30, 1e30, 400000, 11);
    for (size_t i = 0; i < xs.size(); i += 2) xs[i] = -xs[i];
    for (double x : xs) {
        const double got = ArcTan(x);
        worst = std::max(worst, ulps(got, atanl((long double)x)));
        differ += got != double(atanl((long double)x));
    }
    EXPECT_LE(worst, 1.0);
    EXPECT_LT(differ, int(xs.size()) * 5 / 100);

    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ArcTan(inf), std::numbers::pi / 2);
    EXPECT_EQ(ArcTan(-inf), -std::numbers::pi / 2);
    EXPECT_EQ(ArcTan(1.0), std::numbers::pi / 4);
    EXPECT_TRUE(std::signbit(ArcTan(-0.0)));
    EXPECT_EQ(ArcTan(-0.0), 0.0);
    EXPECT_TRUE(std::isnan(ArcTan(std::nan(""))));
    EXPECT_EQ(ArcTan(4.9e-324), 4.9e-324);
    EXPECT_EQ(ArcTan(1e-10), 1e-10);
    EXPECT_EQ(ArcTan(1e300), std::numbers::pi / 2);
}

TEST(VectorMath, ArcTanOfARatioIsAsCloseToTheTrueAngleAsTheQuotientsArcTangent)
{
    std::mt19937_64 g(13);
    std::uniform_real_distribution<double> e(-60, 60);
    double worst = 0;
    for (int i = 0; i < 200000; ++i) {
        const double ay = std::exp(e(g)), ax = std::exp(e(g));
        worst = std::max(worst, ulps(ArcTanOfRatio(ay, ax), atan2l((long double)ay, (long double)ax)));
    }
    // Rounding the quotient alone costs up to half an ulp: the C library's
    // atan(ay / ax) is 1.3 ulps off the true angle at worst on these inputs too.
    EXPECT_LE(worst, 1.5);
    // Terms near the top of the range are scaled, not summed into infinity.
    const double big = DBL_MAX / 1.5;
    for (auto [ay, ax] : {std::pair{big, big}, std::pair{big, big / 2}, std::pair{big / 2, big}, std::pair{big, 1.0}})
        EXPECT_LE(ulps(ArcTanOfRatio(ay, ax), atan2l((long double)ay, (long double)ax)), 1.0) << ay << " / " << ax;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ArcTanOfRatio(inf, 1.0), std::numbers::pi / 2);
    EXPECT_EQ(ArcTanOfRatio(1.0, inf), 0.0);
    EXPECT_TRUE(std::isnan(ArcTanOfRatio(inf, inf)));
    EXPECT_TRUE(std::isnan(ArcTanOfRatio(std::nan(""), 1.0)));
}

TEST(VectorMath, VectorLanesGiveTheScalarBits)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> edges = {0.0, -0.0, inf, -inf, std::nan(""), 4.9e-324, DBL_MIN, DBL_MAX, 1.0, -1.0};
    for (double t : {0.4375, 0.6875, 1.1875, 2.4375, 0x1p66, 0x1p-27})
        for (double x : {std::nextafter(t, 0.0), t, std::nextafter(t, inf)}) {
            edges.push_back(x);
            edges.push_back(-x);
        }
    std::vector<double> xs = logUniform(1e-8, 1e8, 4000, 3);
    xs.insert(xs.end(), edges.begin(), edges.end());
    expectLanesEqualScalar(xs, [](auto x) { return ArcTan(x); });
    expectLanesEqualScalar(xs, [](auto x) { return ArcTanOfRatio(x * x, 3.0 + x * 0.0); });

    std::vector<double> positive = logUniform(DBL_MIN, DBL_MAX, 4000, 5);
    for (double x : {DBL_MIN, DBL_MAX, 1.0, 10.0, 1e4, std::sqrt(2.0), std::sqrt(0.5)}) positive.push_back(x);
    expectLanesEqualScalar(positive, [](auto x) { return Log10Positive(x); });
}
