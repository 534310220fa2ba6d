#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "plot/Histogrm.h"

using namespace orvala;

namespace {

TVector iota(int n)
{
    TVector v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), 0.0);
    return v;
}

double total(const Thistogram& h)
{
    return std::accumulate(h.Yvalue.begin(), h.Yvalue.end(), 0.0);
}

}  // namespace

TEST(Thistogram, IntegerChannelsGetWholeNumberBins)
{
    struct Case {
        int values, maxpoints;
        double step;
        int bins;
    };
    const Case cases[] = {
        {1024, 1024, 1, 1024},  // each channel in its own bin
        {4096, 1024, 5, 820},   // Ceil(4095 / 1023) = 5, Trunc(4095 / 5) + 1
        {256, 128, 3, 86},      // the tabloid view's 128 bins
        {2, 1024, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values);
        const TVector v = iota(c.values);
        // Shuffled input must give the same scale as sorted input.
        TVector shuffled = v;
        std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(1));
        const Thistogram h(shuffled, c.maxpoints);
        EXPECT_EQ(h.step, c.step);
        ASSERT_EQ(h.Count(), c.bins);
        ASSERT_EQ(h.Yvalue.size(), h.Xvalue.size());
        EXPECT_LE(h.Count(), c.maxpoints);
        EXPECT_EQ(h.fpoints, c.maxpoints);
        EXPECT_EQ(h.MinValue(), 0);
        EXPECT_EQ(h.MaxValue(), c.values - 1);
        for (int j = 0; j < h.Count(); ++j)
            EXPECT_EQ(h.Xvalue[size_t(j)], j * c.step);
        EXPECT_EQ(total(h), c.values);
        // Every bin but possibly the last holds exactly `step` channels.
        for (int j = 0; j + 1 < h.Count(); ++j)
            ASSERT_EQ(h.Yvalue[size_t(j)], c.step) << j;
    }
    const Thistogram last(iota(4096), 1024);
    EXPECT_EQ(last.Yvalue.back(), 1);  // 4095 alone, left edge 4095
}

TEST(Thistogram, ConstantAndEmptyInput)
{
    const Thistogram same(TVector{2, 2, 2}, 1024);
    ASSERT_EQ(same.Count(), 1);
    EXPECT_EQ(same.Xvalue[0], 2);
    EXPECT_EQ(same.Yvalue[0], 3);
    EXPECT_EQ(same.Average(), 2);
    EXPECT_EQ(same.step, 0);

    const Thistogram none(TVector{}, 1024);
    ASSERT_EQ(none.Count(), 1);
    EXPECT_EQ(none.Xvalue[0], 0);
    EXPECT_EQ(none.Yvalue[0], 0);
    EXPECT_EQ(none.Average(), 0);
    EXPECT_EQ(none.MinValue(), 0);
    EXPECT_EQ(none.MaxValue(), 0);

    // The scale alone already holds the count of the single bin.
    Thistogram h(TVector{}, 16);
    h.CreateXScale(TVector{-7, -7}, 16);
    ASSERT_EQ(h.Count(), 1);
    EXPECT_EQ(h.Xvalue[0], -7);
    EXPECT_EQ(h.Yvalue[0], 2);
}

TEST(Thistogram, RoundingNoiseGapsAreIgnored)
{
    const Thistogram h(TVector{0, 1e-12, 1}, 1024);
    EXPECT_EQ(h.step, 1 - 1e-12);
    ASSERT_EQ(h.Count(), 2);
    EXPECT_EQ(h.Yvalue[0], 2);
    EXPECT_EQ(h.Yvalue[1], 1);
    EXPECT_DOUBLE_EQ(h.Average(), (1 - 1e-12) / 3);

    // A gap just above 1e-10 of the range does count.
    const Thistogram fine(TVector{0, 1e-9, 1}, 1024);
    EXPECT_GT(fine.step, 1e-9);
    EXPECT_EQ(fine.step, std::ceil(1.0 / (1e-9 * 1023)) * 1e-9);
}

TEST(Thistogram, MeanWeightsLeftEdgesAndSizeLimitsInput)
{
    // {0, 0.5, 1, 10}: quantum 0.5, 21 bins of 0.5 with 1024 allowed.
    const TVector v{10, 0.5, 0, 1, 99, 99};
    const Thistogram h(v, 1024, 4);
    EXPECT_EQ(h.step, 0.5);
    EXPECT_EQ(h.Count(), 21);
    EXPECT_EQ(h.MaxValue(), 10);
    EXPECT_DOUBLE_EQ(h.Average(), (0 + 0.5 + 1 + 10) / 4);
    // Larger sizes than the vector mean all of it.
    const Thistogram all(v, 1024, 100);
    EXPECT_EQ(all.MaxValue(), 99);
    EXPECT_EQ(total(all), 6);

    // Bin edges are left-closed: 0.74 with step 0.5 falls in bin 1 once the
    // scale is fixed, values outside the scale are clamped to the end bins.
    Thistogram c(TVector{0, 0.5, 1}, 1024);
    c.CreateHisto(TVector{-3, 0.49, 0.5, 0.74, 1, 7});
    ASSERT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Yvalue, (TVector{2, 2, 2}));
    c.Destroy();
    EXPECT_EQ(c.Count(), 0);
}

TEST(Thistogram, IndexBytesFloatsAndMatrixConstructors)
{
    const Thistogram idx(TIntVector{0, 3, 3, 4, 0, 3}, 6);
    EXPECT_EQ(idx.Xvalue, (TVector{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(idx.Yvalue, (TVector{2, 0, 0, 3, 1, 0}));

    // The bin width follows the smallest gap, here 17.
    const uint8_t coarse[] = {0, 255, 17, 17, 200};
    const Thistogram bc(coarse, 5, 1024);
    EXPECT_EQ(bc.step, 17);
    EXPECT_EQ(bc.Count(), 16);
    EXPECT_EQ(bc.Yvalue[1], 2);

    const uint8_t bytes[] = {0, 1, 255, 17, 17, 200};
    const Thistogram b(bytes, 6, 1024);
    EXPECT_EQ(b.step, 1);
    ASSERT_EQ(b.Count(), 256);
    EXPECT_EQ(b.Yvalue[17], 2);
    EXPECT_EQ(b.Yvalue[255], 1);

    // Floats are widened before the scale: 0.1f is not 0.1.
    const float floats[] = {0.0f, 0.1f, 0.2f};
    const Thistogram f(floats, 3, 1024);
    EXPECT_EQ(f.MaxValue(), double(0.2f));
    EXPECT_EQ(total(f), 3);

    const TMatrix m{{4, 1}, {}, {2, 3, 1}};
    const Thistogram mh(m, 1024);
    EXPECT_EQ(mh.Count(), 4);
    EXPECT_EQ(mh.Yvalue, (TVector{2, 1, 1, 1}));
    EXPECT_DOUBLE_EQ(mh.Average(), 11.0 / 5);
}

TEST(Thistogram, NonFiniteValuesAreLeftOut)
{
    const double nan = std::nan("");
    const Thistogram h(TVector{1, nan, 3, INFINITY, -INFINITY, 2}, 1024);
    EXPECT_EQ(h.MinValue(), 1);
    EXPECT_EQ(h.MaxValue(), 3);
    EXPECT_EQ(h.Count(), 3);
    EXPECT_EQ(total(h), 3);
    EXPECT_DOUBLE_EQ(h.Average(), 2);
}

// The fast sort must reproduce the scale of a plain sort on the shapes real
// data take: continuous, log-normal with a long tail, integer channels with
// heavy repetition, clusters far apart, negative values.
TEST(Thistogram, ScaleMatchesPlainSortOnManyDistributions)
{
    std::mt19937_64 rng(42);
    auto referenceStep = [](TVector s, int maxpoints) {
        std::sort(s.begin(), s.end());
        const double range = s.back() - s.front();
        if (range == 0)
            return 0.0;
        double q = range;
        for (size_t k = 0; k + 1 < s.size(); ++k) {
            const double d = s[k + 1] - s[k];
            if (d > range * 1e-10 && d < q)
                q = d;
        }
        return std::ceil(range / (q * (maxpoints - 1))) * q;
    };
    for (int shape = 0; shape < 6; ++shape) {
        // The largest size takes the multi-threaded path.
        for (int n : {50, 1000, 100000, 1500000}) {
            TVector v(static_cast<size_t>(n));
            std::normal_distribution<double> normal(0, 1);
            std::uniform_int_distribution<int> chan(0, 1023);
            for (double& x : v) {
                switch (shape) {
                case 0: x = normal(rng); break;
                case 1: x = std::exp(2.5 * normal(rng)); break;
                case 2: x = chan(rng); break;
                case 3: x = (rng() % 2 ? 1e6 : 0) + normal(rng) * 1e-3; break;
                case 4: x = -std::floor(std::exp(3 * normal(rng))) * 0.25; break;
                default: x = std::ldexp(double(rng() >> 11), -53) * 1e-300; break;
                }
            }
            SCOPED_TRACE(::testing::Message() << "shape " << shape << " n " << n);
            const Thistogram h(v, 1024);
            EXPECT_EQ(h.step, referenceStep(v, 1024));
            EXPECT_EQ(h.MinValue(), *std::min_element(v.begin(), v.end()));
            EXPECT_EQ(h.MaxValue(), *std::max_element(v.begin(), v.end()));
            EXPECT_EQ(total(h), n);
            // Counts match a plain loop over the same scale.
            TVector counts(h.Yvalue.size(), 0.0);
            for (double x : v) {
                const double r = (x - h.xmin) / h.step;
                counts[r >= h.Count() - 1 ? size_t(h.Count() - 1) : (r > 0 ? size_t(r) : 0)] += 1;
            }
            EXPECT_EQ(h.Yvalue, counts);
            // The public two-step form gives the same counts and mean.
            Thistogram twoStep(TVector{}, 1024);
            twoStep.CreateXScale(v, 1024);
            twoStep.CreateHisto(v);
            EXPECT_EQ(twoStep.Yvalue, h.Yvalue);
            EXPECT_EQ(twoStep.Average(), h.Average());
        }
    }
}

TEST(Thistogram, NonFiniteValuesAreLeftOutOnTheThreadedPath)
{
    TVector v(1500000);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = double(i % 1000);
    v[17] = std::nan("");
    v[999999] = INFINITY;
    v[1400000] = -INFINITY;
    const Thistogram h(v, 1024);
    EXPECT_EQ(h.MinValue(), 0);
    EXPECT_EQ(h.MaxValue(), 999);
    EXPECT_EQ(h.step, 1);
    EXPECT_EQ(total(h), double(v.size() - 3));
}
