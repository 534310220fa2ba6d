#include <gtest/gtest.h>

#include <cmath>

#include "geometry/Scales.h"

using namespace orvala;

TEST(Scales, KnownValues)
{
    EXPECT_EQ(LinToLog(0.0), 0.0);
    EXPECT_NEAR(LinToLog(1000.0), 843.700, 5e-4);
    EXPECT_NEAR(LinToLog(1.0), 111.0 * 0.881373587019543, 1e-12);
    EXPECT_EQ(LogToLin(0.0), 1.0);
    EXPECT_DOUBLE_EQ(LogToLin(256.0), 10.0);
    EXPECT_DOUBLE_EQ(LogToLin(768.0), 1000.0);
    EXPECT_DOUBLE_EQ(LogToLin(-256.0), 0.1);
}

TEST(Scales, LinToLogIsOddAndFiniteEverywhere)
{
    for (double v : {5.0, 1e-300, 0.5, 123456.789, 1e200, 1.7e308}) {
        EXPECT_EQ(LinToLog(-v), -LinToLog(v)) << v;
        EXPECT_TRUE(std::isfinite(LinToLog(v))) << v;
    }
    // Large values behave like 111 ln(2v); the naive ln(v + sqrt(v^2 + 1))
    // overflows at 1e200 in double.
    EXPECT_NEAR(LinToLog(1e200), 111.0 * std::log(2e200), 1e-9);
    EXPECT_NEAR(LinToLog(-1e6), -111.0 * std::log(2e6), 1e-6);
}

TEST(Scales, BackConversionIsTheOtherFunctionNotTheInverse)
{
    // LogToLin(LinToLog(1000)) ~ 2000, because 111 is not 256 / ln 10 and
    // asinh(v) ~ ln(2v).
    const double there = LogToLin(LinToLog(1000.0));
    EXPECT_GT(there, 1900.0);
    EXPECT_LT(there, 2100.0);
    // And the other way round: 768 -> 1000 -> 843.7, not back to 768.
    EXPECT_NEAR(LinToLog(LogToLin(768.0)), 843.700, 5e-4);
}

TEST(Scales, AxisModePairs)
{
    struct Case {
        bool lin, log;
        AxisMode mode;
        ScaleFunction fwd, back;
        bool linlog, loglin;
    };
    const Case cases[] = {
        {false, false, AxisMode::Linear, &Identity, &Identity, false, false},
        {true, false, AxisMode::LinLog, &LinToLog, &LogToLin, true, false},
        {false, true, AxisMode::LogLin, &LogToLin, &LinToLog, false, true},
    };
    for (const Case& c : cases) {
        const AxisMode mode = AxisModeFor(c.lin, c.log);
        EXPECT_EQ(mode, c.mode);
        const AxisScale s = AxisScaleFor(mode);
        EXPECT_EQ(s.Convert, c.fwd);
        EXPECT_EQ(s.ConvertBack, c.back);
        EXPECT_EQ(s.linlog, c.linlog);
        EXPECT_EQ(s.loglin, c.loglin);
    }
    EXPECT_EQ(AxisScaleFor(AxisMode::Linear).Convert(-3.5), -3.5);
}
