#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plot/ChartBars.h"

using orvala::BarWidth;

TEST(ChartBars, WidthFollowsTheSmallestGapBetweenDistinctFiniteValues)
{
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::vector<double> x;
        double width;
    } cases[] = {
        {{0, 250, 500, 750}, 200},           // wide histogram bins
        {{1, 2, 3}, 0.8},                    // channel bars
        {{0.5, 0.25, 0}, 0.2},               // unsorted, narrow bins
        {{10, 10, 12, 20}, 1.6},             // repeats are not a gap
        {{nan, 100, inf, 300, -inf}, 160},   // non-finite x ignored
        {{42}, 0.8},                         // one bar
        {{}, 0.8},                           // no bars
        {{nan, nan}, 0.8},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(BarWidth(c.x), c.width);
    EXPECT_DOUBLE_EQ(BarWidth({0, 4}, 0.5), 2.0);
}
