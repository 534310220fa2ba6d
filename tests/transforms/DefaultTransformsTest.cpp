// Default display transforms: logicle with W fitted from the negative tail for
// logarithmic parameters, linear for the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "parallel/TMultiThread.h"
#include "transforms/DefaultTransforms.h"

namespace orvala {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The 5th percentile of the negative finite values as numpy computes it
// (np.percentile(v[v < 0], 5), linear interpolation): by a full sort, not by
// selection as the library does.
double referencePercentile(const std::vector<double>& column)
{
    std::vector<double> neg;
    for (double v : column)
        if (v < 0 && v > -kInf) neg.push_back(v);
    if (neg.empty()) return kNaN;
    std::sort(neg.begin(), neg.end());
    const double h = 0.05 * double(neg.size() - 1);
    const size_t lo = size_t(h);
    const double t = h - double(lo);
    if (lo + 1 >= neg.size()) return neg[lo];
    const double d = neg[lo + 1] - neg[lo];
    return t >= 0.5 ? neg[lo + 1] - d * (1 - t) : neg[lo] + d * t;
}

std::vector<double> withPositives(std::vector<double> v)
{
    for (int i = 1; i <= 3000; ++i) v.push_back(double(i) * 50);
    return v;
}

std::vector<double> minusOneToMinus1000()
{
    std::vector<double> v;
    for (int k = 1; k <= 1000; ++k) v.push_back(-k);
    return v;
}

TEST(DefaultTransforms, WidthFollowsTheNegativeTail)
{
    struct Case {
        const char* name;
        std::vector<double> column;
        double range;
        double T, W;  // expected; W by hand and by numpy
    };
    std::vector<double> withNonFinite = withPositives(minusOneToMinus1000());
    withNonFinite.insert(withNonFinite.begin() + 17, {kNaN, -kInf, kInf, kNaN, -kInf});
    const Case cases[] = {
        // Negatives -1 .. -1000: np.percentile gives -950.05 (rank 49.95 from the
        // bottom), W = (4.5 - log10(262144 / 950.05)) / 2.
        {"tail of 1000", withPositives(minusOneToMinus1000()), 262144, 262144, 1.029603270170001},
        {"non-finite values ignored", withNonFinite, 262144, 262144, 1.029603270170001},
        {"no negatives", withPositives({}), 262144, 262144, 0},
        // A tail narrower than T 10^-M needs no linear zone: W clamps to 0.
        {"tiny tail", withPositives({-1e-3, -2e-3, -5e-4}), 262144, 262144, 0},
        // A tail beyond T takes the widest zone logicle allows, M/2.
        {"tail beyond T", withPositives({-1e6, -2e6}), 262144, 262144, 2.25},
        // Without $PnR the data maximum (150000, +inf ignored) is T:
        // W = (4.5 - log10(150000 / 950.05)) / 2.
        {"no range", withNonFinite, 0, 150000, 1.1508276016179912},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DisplayTransform t = DefaultDisplayTransform({true, c.range}, c.column.data(), c.column.size(), 1);
        ASSERT_EQ(t.Kind(), TransformKind::Logicle);
        EXPECT_EQ(t.T(), c.T);
        EXPECT_NEAR(t.W(), c.W, 1e-12);
        EXPECT_EQ(t.M(), 4.5);
        EXPECT_EQ(t.A(), 0);
    }
}

TEST(DefaultTransforms, LinearWhereTheFileDoesNotAskForLogOrNothingIsPositive)
{
    const std::vector<double> column = withPositives(minusOneToMinus1000());
    EXPECT_EQ(DefaultDisplayTransform({false, 262144}, column.data(), column.size(), 1).Kind(), TransformKind::Linear);
    const std::vector<double> negativeOnly = minusOneToMinus1000();
    EXPECT_EQ(DefaultDisplayTransform({true, 0}, negativeOnly.data(), negativeOnly.size(), 1).Kind(),
              TransformKind::Linear);
    // No events: the range alone decides.
    const DisplayTransform empty = DefaultDisplayTransform({true, 1024}, nullptr, 0, 1);
    EXPECT_TRUE(empty == DisplayTransform::Logicle(1024, 0, 4.5, 0));
    EXPECT_EQ(DefaultDisplayTransform({true, 0}, nullptr, 0, 1).Kind(), TransformKind::Linear);
}

// A matrix large enough that the pass keeps only a sampled tail, with columns
// of different shapes: the tails must equal a full sort's, whatever the pool,
// and whether a column is read in vector lanes (two runs of eight here, where
// the processor has them) or alone (the last three).
TEST(DefaultTransforms, TailsOfAMatrixEqualAFullSort)
{
    constexpr size_t events = 300000, parameters = 19;
    std::vector<double> m(events * parameters);
    uint64_t s = 0x2545F4914F6CDD1Dull;
    const auto uniform = [&] {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return double(s >> 11) / 9007199254740992.0;
    };
    const size_t step = events / 32768;  // the spacing of rows a sample would take
    for (size_t r = 0; r < events; ++r) {
        double* row = m.data() + r * parameters;
        for (size_t p = 0; p < parameters; ++p) {
            const double u = uniform();
            switch (p % 6) {
            case 0:  // scatter-like: no negative values
                row[p] = 1 + 1e5 * u;
                break;
            case 1:  // a fifth below 0 with a heavy tail
                row[p] = u < 0.2 ? -30 / std::pow(u * 5 + 1e-6, 0.9) : 1e5 * u;
                break;
            case 2:  // negatives in a few repeated values (ties at the cut)
                row[p] = u < 0.5 ? -std::floor(u * 8) - 1 : 1000 * u;
                break;
            case 3:  // a sample misleads: the rows it would take are deep below 0, the rest mild
                row[p] = r % step == 0 ? -1e4 * (1 + u) : -1 - 99 * u;
                break;
            case 4:  // non-finite values and zeros of both signs among few negatives
                row[p] = u < 0.01 ? -u : u < 0.02 ? kNaN : u < 0.03 ? -kInf : u < 0.04 ? -0.0 : u < 0.05 ? kInf : u;
                break;
            default:  // ordered by value: the most negative first
                row[p] = -5000.0 + double(r) * 0.05;
            }
        }
    }
    TMultiThread two(2);
    const std::vector<NegativeTail> alone = NegativeTails(m.data(), events, parameters, {});
    const std::vector<NegativeTail> pooled = NegativeTails(m.data(), events, parameters, {}, &two);
    for (size_t p = 0; p < parameters; ++p) {
        SCOPED_TRACE("column " + std::to_string(p));
        std::vector<double> column(events);
        for (size_t r = 0; r < events; ++r) column[r] = m[r * parameters + p];
        int64_t negatives = 0;
        double maximum = -kInf;
        for (double v : column) {
            negatives += v < 0 && v > -kInf;
            if (v < kInf && v > maximum) maximum = v;
        }
        const double expected = referencePercentile(column);
        for (const std::vector<NegativeTail>* tails : {&alone, &pooled}) {
            const NegativeTail& t = (*tails)[p];
            EXPECT_EQ(t.negatives, negatives);
            EXPECT_EQ(t.maximum, maximum);
            if (std::isnan(expected))
                EXPECT_TRUE(std::isnan(t.fifthPercentile));
            else
                EXPECT_EQ(t.fifthPercentile, expected);
        }
    }
}

TEST(DefaultTransforms, EachParameterFromItsHint)
{
    constexpr size_t events = 5000, parameters = 4;
    std::vector<double> m(events * parameters);
    for (size_t r = 0; r < events; ++r) {
        m[r * parameters + 0] = double(r);                               // linear: untouched
        m[r * parameters + 1] = r % 4 == 0 ? -double(r % 1000) : 9e4;    // logarithmic with a tail
        m[r * parameters + 2] = r % 2 ? 3.0 : 70000.0;                   // logarithmic, no range, no tail
        m[r * parameters + 3] = -double(r);                              // logarithmic, nothing positive
    }
    const std::vector<ParameterScaleHint> hints = {{false, 1024}, {true, 262144}, {true, 0}, {true, 0}};
    const std::vector<DisplayTransform> d = DefaultDisplayTransforms(m.data(), events, parameters, hints);
    ASSERT_EQ(d.size(), parameters);
    EXPECT_EQ(d[0].Kind(), TransformKind::Linear);
    std::vector<double> column1(events);
    for (size_t r = 0; r < events; ++r) column1[r] = m[r * parameters + 1];
    EXPECT_TRUE(d[1] == DisplayTransform::Logicle(262144, LogicleWidthFromTail(262144, 4.5, referencePercentile(column1)),
                                                  4.5, 0));
    EXPECT_GT(d[1].W(), 0);
    EXPECT_TRUE(d[2] == DisplayTransform::Logicle(70000, 0, 4.5, 0));
    EXPECT_EQ(d[3].Kind(), TransformKind::Linear);
    // One column read with a stride gives what the whole matrix gave.
    for (size_t p = 0; p < parameters; ++p)
        EXPECT_TRUE(DefaultDisplayTransform(hints[p], m.data() + p, events, parameters) == d[p]) << p;
}

}  // namespace
}  // namespace orvala
