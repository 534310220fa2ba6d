#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/TimeBins.h"
#include "core/Messages.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Events of (x, y...) rows flattened row-major.
std::vector<double> flat(const std::vector<std::vector<double>>& rows)
{
    std::vector<double> out;
    for (const auto& r : rows) out.insert(out.end(), r.begin(), r.end());
    return out;
}

std::string refusal(const std::vector<double>& data, int rows, int cols, const std::vector<int>& ycols)
{
    try {
        binByTime(data.data(), rows, cols, 0, ycols, "tube 7");
    } catch (const OrvalaError& e) {
        return e.what();
    }
    return {};
}

}  // namespace

TEST(TimeBins, RoundsHalvesToEvenAndKeepsGapsAtZero)
{
    // y values are powers of two so every mean names the events in its bin.
    const auto data = flat({{0.4, 1}, {0.6, 2}, {0.5, 4}, {1.5, 8}, {4.4, 16}, {3.5, 32}});
    const TimeBins b = binByTime(data.data(), 6, 2, 0, {1}, "A");
    EXPECT_EQ(b.lo, 0);
    ASSERT_EQ(b.bins(), 5);
    // 0.4 and 0.5 -> bin 0; 0.6 -> bin 1; 1.5 -> bin 2; 3.5 -> 4 and 4.4 -> 4; bin 3 empty.
    const std::vector<double> expected = {2.5, 2, 8, 0, 24};
    EXPECT_EQ(b.means[0], expected);
}

TEST(TimeBins, BinsCountFromTheRoundedSmallestValue)
{
    const auto data = flat({{-2.6, 1}, {-1.4, 3}, {0.5, 5}});
    const TimeBins b = binByTime(data.data(), 3, 2, 0, {1}, "A");
    EXPECT_EQ(b.lo, -3);
    EXPECT_EQ(b.means[0], (std::vector<double>{1, 0, 3, 5}));
}

TEST(TimeBins, NonFiniteValuesAreSkipped)
{
    // A non-finite X drops the event everywhere (and does not widen the
    // range); a non-finite Y drops it from that curve only.
    const auto data = flat({{0, 1, 10}, {NaN, 100, 100}, {Inf, 100, 100}, {-Inf, 100, 100},
                            {1, NaN, 20}, {1, 3, Inf}, {1, 5, 40}});
    const TimeBins b = binByTime(data.data(), 7, 3, 0, {1, 2}, "A");
    EXPECT_EQ(b.lo, 0);
    ASSERT_EQ(b.means.size(), 2u);
    EXPECT_EQ(b.means[0], (std::vector<double>{1, 4}));
    EXPECT_EQ(b.means[1], (std::vector<double>{10, 30}));
}

TEST(TimeBins, RefusesEmptyDataAndTooManyBins)
{
    const std::vector<double> none;
    EXPECT_NE(refusal(none, 0, 2, {1}).find("\"tube 7\" has no events"), std::string::npos);
    EXPECT_NE(refusal(flat({{NaN, 1}, {Inf, 2}}), 2, 2, {1}).find("no events with a finite value"), std::string::npos);

    // 10,000,000 bins are allowed, one more is not; absurd ranges are refused
    // without converting them to integers.
    EXPECT_EQ(refusal(flat({{0, 1}, {9'999'999, 1}}), 2, 2, {1}), "");
    struct Case {
        double lo, hi;
    } cases[] = {{0, 10'000'000}, {-0.4, 1e12}, {-1e300, 1e300}, {0, std::numeric_limits<double>::max()}};
    for (const Case& c : cases) {
        const std::string text = refusal(flat({{c.lo, 1}, {c.hi, 1}}), 2, 2, {1});
        EXPECT_NE(text.find("at most 10,000,000"), std::string::npos) << c.lo << " .. " << c.hi << ": " << text;
        EXPECT_NE(text.find("\"tube 7\""), std::string::npos) << text;
    }
    EXPECT_NE(refusal(flat({{0, 1}, {10'000'000, 1}}), 2, 2, {1}).find("10,000,001 bins"), std::string::npos);
    // A parameter outside the data set is an error, not a read past the row.
    EXPECT_NE(refusal(flat({{0, 1}}), 1, 2, {2}).find("no parameter 3"), std::string::npos);
}

TEST(TimeBins, PoolGivesTheSequentialCurvesBitForBit)
{
    const int rows = 200'000, cols = 4;
    std::vector<double> data(size_t(rows) * cols);
    uint64_t s = 12345;
    for (double& v : data) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        v = double(s >> 11) / double(1ull << 53) * 1000.0 - 0.3;
    }
    TMultiThread pool(3);
    const TimeBins a = binByTime(data.data(), rows, cols, 0, {1, 2, 3}, "A", nullptr);
    const TimeBins b = binByTime(data.data(), rows, cols, 0, {1, 2, 3}, "A", &pool);
    EXPECT_EQ(a.lo, b.lo);
    EXPECT_EQ(a.means, b.means);
    ASSERT_EQ(a.means.size(), 3u);
}

TEST(TimeBins, SeriesTitles)
{
    EXPECT_EQ(timeSeriesTitle(1, "tube1", "FL1"), "FL1");
    // Two pages plotting the same parameter stay distinguishable.
    EXPECT_EQ(timeSeriesTitle(2, "tube1", "FL1"), "tube1:FL1");
    EXPECT_EQ(timeSeriesTitle(2, "tube2", "FL1"), "tube2:FL1");
}

TEST(TimeBins, SigmaMaximumIsClampedToOne)
{
    struct Case {
        int64_t points;
        int maximum;
    } cases[] = {{0, 1}, {3, 1}, {6, 1}, {9, 2}, {30, 9}, {90000, 29999}, {1'000'000, 29999}};
    for (const Case& c : cases) EXPECT_EQ(timePlotSigmaMaximum(c.points), c.maximum) << c.points;
}

TEST(TimeBins, KernelHasSixSigmaPlusOneTapsSummingToOne)
{
    for (int sigma : {1, 2, 7}) {
        const std::vector<double> w = gaussianKernel(sigma);
        ASSERT_EQ(w.size(), size_t(6 * sigma + 1)) << sigma;
        double total = 0;
        for (double v : w) total += v;
        EXPECT_NEAR(total, 1.0, 1e-15);
        const int h = 3 * sigma;
        for (int k = 1; k <= h; ++k) {
            EXPECT_EQ(w[size_t(h - k)], w[size_t(h + k)]);
            EXPECT_NEAR(w[size_t(h + k)] / w[size_t(h)], std::exp(-double(k * k) / (2.0 * sigma * sigma)), 1e-14);
        }
    }
}

TEST(TimeBins, SmoothingMirrorsWithoutRepeatingTheEndPoints)
{
    const std::vector<double> w = gaussianKernel(1);  // taps w[0..6], centre w[3]
    // A spike at an end: its mirror images land outside the curve, so the end
    // keeps only the centre tap and its neighbour gets one off-centre tap.
    // (Repeating the end point would add the spike's weight a second time.)
    const std::vector<double> right = gaussianSmooth({0, 0, 0, 1}, 1);
    EXPECT_DOUBLE_EQ(right[3], w[3]);
    EXPECT_DOUBLE_EQ(right[2], w[4]);
    const std::vector<double> left = gaussianSmooth({1, 0, 0, 0}, 1);
    EXPECT_DOUBLE_EQ(left[0], w[3]);
    EXPECT_DOUBLE_EQ(left[1], w[2]);
    // The second point is mirrored onto both sides of the first.
    const std::vector<double> second = gaussianSmooth({0, 1, 0, 0}, 1);
    EXPECT_DOUBLE_EQ(second[0], w[2] + w[4]);

    // A constant stays constant; a line stays a line away from the ends.
    for (double v : gaussianSmooth(std::vector<double>(50, 3.25), 2)) EXPECT_NEAR(v, 3.25, 1e-13);
    std::vector<double> line(40);
    for (size_t i = 0; i < line.size(); ++i) line[i] = double(i);
    const std::vector<double> sl = gaussianSmooth(line, 3);
    for (size_t i = 9; i + 9 < line.size(); ++i) EXPECT_NEAR(sl[i], line[i], 1e-12) << i;
}

TEST(TimeBins, SmoothingNeedsThreeSigmaPlusOnePoints)
{
    for (int sigma : {1, 2, 5}) {
        const int64_t enough = 3 * sigma + 1;
        EXPECT_TRUE(canSmooth(enough, sigma));
        EXPECT_FALSE(canSmooth(enough - 1, sigma));
        EXPECT_NO_THROW(gaussianSmooth(std::vector<double>(size_t(enough), 1.0), sigma));
        try {
            gaussianSmooth(std::vector<double>(size_t(enough - 1), 1.0), sigma);
            ADD_FAILURE() << "a curve of 3 sigma points was smoothed, sigma " << sigma;
        } catch (const OrvalaError& e) {
            EXPECT_EQ(std::string(e.what()), "The Sigma should be less then " + std::to_string(sigma));
        }
    }
}

TEST(TimeBins, SmoothingStopsAtTheFirstShortCurve)
{
    std::vector<double> a = {0, 0, 0, 1}, b = {1, 2, 3}, c = {0, 0, 0, 1};
    const std::string text = smoothCurves({&a, &b, &c}, 1);
    EXPECT_EQ(text, "The Sigma should be less then 1");
    EXPECT_EQ(a, gaussianSmooth({0, 0, 0, 1}, 1));  // smoothed before the refusal
    EXPECT_EQ(b, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(c, (std::vector<double>{0, 0, 0, 1}));  // never reached
    EXPECT_EQ(smoothCurves({&c}, 1), "");
    EXPECT_EQ(c, a);
}

TEST(TimeBins, PoolSmoothsAsTheSequentialLoop)
{
    std::vector<double> y(300'000);
    for (size_t i = 0; i < y.size(); ++i) y[i] = std::sin(double(i) * 0.01) + double(i % 7);
    TMultiThread pool(3);
    EXPECT_EQ(gaussianSmooth(y, 4, nullptr), gaussianSmooth(y, 4, &pool));
}
