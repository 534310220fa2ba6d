#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/PlotProjection.h"
#include "geometry/Scales.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

double identity(double v) { return v; }

// Serial reference: the sum over the non-zero coefficients (a parameter that
// is not part of the direction never contributes, not even a NaN), then the conversion.
std::vector<double> serial(const EventBlock& d, const TVector& v, double (*convert)(double))
{
    std::vector<double> out;
    for (size_t e = 0; e < d.events; ++e) {
        double s = 0;
        for (size_t i = 0; i < d.cols && i < v.size(); ++i)
            if (v[i] != 0) s += d.rows[e * d.cols + i] * v[i];
        out.push_back(convert(s));
    }
    return out;
}

// Three parameters, several chunks' worth of events on two workers, with
// values that are not finite or turn negative under the log conversion
// scattered through.
struct Events {
    static constexpr size_t n = 300'001, cols = 3;
    std::vector<double> values = std::vector<double>(n * cols);
    Events()
    {
        for (size_t e = 0; e < n; ++e) {
            double* row = &values[e * cols];
            row[0] = std::sin(double(e) * 0.001) * 1000;
            row[1] = e % 997 == 0 ? std::numeric_limits<double>::quiet_NaN() : double(e) * 0.5;
            row[2] = e % 1231 == 0 ? std::numeric_limits<double>::infinity() : -double(e) * 0.25;
        }
    }
    EventBlock block() const { return {values.data(), n, cols}; }
};

// A filter that keeps parameters 2 and 0, in that order, and doubles them.
struct SwapAndDouble : EventPass {
    int workLength(int) const override { return 2; }
    int pass(const double* row, int, double* out) const override
    {
        out[0] = 2 * row[2];
        out[1] = 2 * row[0];
        return 2;
    }
};

void expectSameValues(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t e = 0; e < got.size(); ++e)
        ASSERT_TRUE(got[e] == want[e] || (std::isnan(got[e]) && std::isnan(want[e]))) << e;
}

ProjectionRange serialRange(const std::vector<double>& v)
{
    ProjectionRange r;
    for (double e : v) {
        if (!std::isfinite(e)) continue;
        r.minimum = r.found ? std::min(r.minimum, e) : e;
        r.maximum = r.found ? std::max(r.maximum, e) : e;
        r.found = true;
    }
    return r;
}

}  // namespace

TEST(PlotProjection, ParallelProjectionAndRangesEqualTheSerialLoop)
{
    const Events events;
    const EventBlock d = events.block();
    const TVector vx{0.6, 0, 0.8}, vy{0, 1 / std::sqrt(2.0), 1 / std::sqrt(2.0)};
    TMultiThread pool(2);
    std::vector<double> px{1, 2, 3}, py;  // stale contents must not survive
    const ProjectionRanges r = projectEventsXY(d, vx, identity, px, vy, LinToLog, py, &pool);
    expectSameValues(px, serial(d, vx, identity));
    expectSameValues(py, serial(d, vy, LinToLog));
    for (const auto& [got, want] : {std::pair{r.x, serialRange(px)}, std::pair{r.y, serialRange(py)}}) {
        EXPECT_EQ(got.found, want.found);
        EXPECT_EQ(got.minimum, want.minimum);
        EXPECT_EQ(got.maximum, want.maximum);
    }

    std::vector<double> one;
    const ProjectionRange rx = projectEvents(d, vx, identity, one, &pool);
    expectSameValues(one, px);
    EXPECT_EQ(rx.minimum, r.x.minimum);
    const ProjectionRange fr = finiteRange(py, &pool);
    EXPECT_EQ(fr.minimum, r.y.minimum);
    EXPECT_EQ(fr.maximum, r.y.maximum);
}

TEST(PlotProjection, FilteredProjectionOnThePoolEqualsTheCallingThread)
{
    const Events events;
    const SwapAndDouble f;
    const TVector xv{1, 0}, yv{0.6, 0.8};
    TMultiThread pool(2);
    std::vector<double> px, py, sx, sy;
    projectThroughFilter(events.block(), f, xv, identity, px, &yv, LinToLog, &py, &pool);
    projectThroughFilter(events.block(), f, xv, identity, sx, &yv, LinToLog, &sy, nullptr);
    expectSameValues(px, sx);
    expectSameValues(py, sy);
    for (size_t e : {size_t(0), size_t(1231), size_t(150'000)}) {
        const double* row = &events.values[e * Events::cols];
        EXPECT_EQ(px[e], 2 * row[2]) << e;
        EXPECT_EQ(py[e], LinToLog((2 * row[2]) * 0.6 + (2 * row[0]) * 0.8)) << e;
    }
}

TEST(PlotProjection, ViewRangeShowsEveryDotWhole)
{
    const ProjectionRange wide = viewRange({true, 0, 100});
    EXPECT_DOUBLE_EQ(wide.minimum, -2);
    EXPECT_DOUBLE_EQ(wide.maximum, 102);
    const ProjectionRange single = viewRange({true, 5, 5});
    EXPECT_DOUBLE_EQ(single.minimum, 4.5);
    EXPECT_DOUBLE_EQ(single.maximum, 5.5);
    EXPECT_FALSE(viewRange({}).found);
    const std::vector<double> none{std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()};
    EXPECT_FALSE(finiteRange(none, nullptr).found);
}
