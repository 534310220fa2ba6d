#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "plot/DecadeTicks.h"

using namespace orvala;

namespace {

std::vector<std::string> labelsOf(const AxisTicks& t) { return t.labels; }

}  // namespace

TEST(DecadeTicks, LabelsReadInDataUnitsAtDecades)
{
    struct Case {
        const char* name;
        AxisMode mode;
        double loValue, hiValue;  // linear data values at the ends of the axis
        double spacingFraction;   // least label distance, as a fraction of the plotted range
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        // An 18-bit instrument range: 1 is too close to 0 to be labelled.
        {"positive", AxisMode::LinLog, 0, 262144, 0.1, {"0", "10", "100", "1000", "10⁴", "10⁵"}},
        {"both signs", AxisMode::LinLog, -1e4, 1e4, 0.045,
         {"-10⁴", "-1000", "-100", "-10", "0", "10", "100", "1000", "10⁴"}},
        // A crowded axis keeps the largest decades.
        {"crowded", AxisMode::LinLog, 0, 1e5, 0.3, {"0", "1000", "10⁵"}},
        {"log->lin", AxisMode::LogLin, 0, 1e4, 0.1, {"0", "1000", "10⁴"}},
        // Only two decades fit: 2 and 5 times a decade are labelled too.
        {"log->lin crowded", AxisMode::LogLin, 0, 1e4, 0.15, {"0", "2000", "5000", "10⁴"}},
        {"short range", AxisMode::LinLog, 0, 4, 0.1, {"0", "0.5", "1", "2"}},
        // Zoomed in between two decades: 1-2-5 steps of the data, still placed by the scale.
        {"between decades", AxisMode::LinLog, 200, 800, 0.01, {"200", "400", "600", "800"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double lo = decadePosition(c.mode, c.loValue), hi = decadePosition(c.mode, c.hiValue);
        const AxisTicks t = decadeTicks(c.mode, lo, hi, (hi - lo) * c.spacingFraction);
        EXPECT_EQ(labelsOf(t), c.labels);
        ASSERT_EQ(t.major.size(), t.labels.size());
        for (size_t i = 0; i < t.major.size(); ++i) {
            // Each label sits exactly where the display scale plots its value.
            std::string text = t.labels[i];
            double v = 0;
            if (text.find("10") != std::string::npos && text.find("⁴") != std::string::npos) v = 1e4;
            else if (text.find("⁵") != std::string::npos) v = 1e5;
            else v = std::stod(text);
            if (text[0] == '-') v = -std::fabs(v);
            EXPECT_EQ(t.major[i], decadePosition(c.mode, v)) << text;
            EXPECT_GE(t.major[i], lo - 1e-9 * (hi - lo));
            EXPECT_LE(t.major[i], hi + 1e-9 * (hi - lo));
            if (i > 0) {
                EXPECT_GE(t.major[i] - t.major[i - 1], (hi - lo) * c.spacingFraction) << text;
            }
        }
    }
}

TEST(DecadeTicks, MinorTicksMarkTheStepsInsideEachDecade)
{
    const double lo = LinToLog(0), hi = LinToLog(1e5);
    const AxisTicks t = decadeTicks(AxisMode::LinLog, lo, hi, (hi - lo) * 0.1);
    auto hasMinor = [&](double v) {
        for (double p : t.minor)
            if (p == LinToLog(v)) return true;
        return false;
    };
    for (double v : {2e3, 5e3, 2e4, 5e4, 200.0, 1.0}) EXPECT_TRUE(hasMinor(v)) << v;
    ASSERT_FALSE(t.minor.empty());
    for (size_t i = 0; i < t.minor.size(); ++i) {
        EXPECT_GE(t.minor[i], lo);
        EXPECT_LE(t.minor[i], hi);
        if (i > 0) {
            EXPECT_GT(t.minor[i], t.minor[i - 1]);
        }
        for (double m : t.major) EXPECT_NE(t.minor[i], m);
    }
    // Near 0 the decades crowd together: minor ticks are thinned, not smeared.
    for (size_t i = 1; i < t.minor.size(); ++i) EXPECT_GE(t.minor[i] - t.minor[i - 1], (hi - lo) * 0.1 / 8 - 1e-9);
}

TEST(DecadeTicks, NothingForLinearAxesAndUnusableRanges)
{
    const double nan = std::nan("");
    const double inf = INFINITY;
    EXPECT_TRUE(decadeTicks(AxisMode::Linear, 0, 100, 10).major.empty());
    for (auto [lo, hi] : {std::pair{5.0, 5.0}, std::pair{10.0, 0.0}, std::pair{nan, 10.0}, std::pair{0.0, inf}}) {
        const AxisTicks t = decadeTicks(AxisMode::LinLog, lo, hi, 1);
        EXPECT_TRUE(t.major.empty() && t.minor.empty() && t.labels.empty()) << lo << " " << hi;
    }
    // A plotted range far beyond what doubles hold in data units still ends.
    const AxisTicks huge = decadeTicks(AxisMode::LinLog, -1e6, 1e6, 0);
    EXPECT_FALSE(huge.major.empty());
    EXPECT_LT(huge.major.size(), 200u);
}

TEST(DecadeTicks, LabelTexts)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0"},       {1, "1"},          {1000, "1000"},     {-100, "-100"}, {1e4, "10⁴"},
        {-1e5, "-10⁵"}, {0.001, "0.001"}, {1e-4, "10⁻⁴"},     {250, "250"},   {0.5, "0.5"},
        {1e12, "10¹²"},
    };
    for (const auto& [v, text] : cases) EXPECT_EQ(decadeLabel(v), text) << v;
}

TEST(DecadeTicks, PositionAndValueAreInverse)
{
    for (double v : {-1e5, -3.5, 0.0, 0.25, 1000.0, 262144.0}) {
        EXPECT_NEAR(decadeValue(AxisMode::LinLog, decadePosition(AxisMode::LinLog, v)), v, 1e-9 * std::max(1.0, std::fabs(v)));
        EXPECT_EQ(decadePosition(AxisMode::LogLin, v), v);
    }
    EXPECT_EQ(decadePosition(AxisMode::LinLog, 1000), LinToLog(1000));
}

// Axes drawn through display transforms: decades in data units on both sides
// of 0, each placed exactly where the transform puts its value.
TEST(DecadeTicks, AxesThroughDisplayTransforms)
{
    struct Case {
        DisplayTransform transform;
        double loValue, hiValue;  // data values at the ends of the axis
        double spacingFraction;
        std::vector<std::string> labels;
    };
    const DisplayTransform logicle = DisplayTransform::Logicle(262144, 0.5, 4.5, 0);
    const Case cases[] = {
        // Logicle's linear zone crowds 1 and 10 against 0; -100 is the first
        // negative decade far enough from it.
        {logicle, logicle.Inverse(0), 262144, 0.06, {"-100", "0", "100", "1000", "10⁴", "10⁵"}},
        // A wider zone (W = 1.2) leaves room only from 1000 on.
        {DisplayTransform::Logicle(262144, 1.2, 4.5, 0), -2000, 262144, 0.05, {"-1000", "0", "1000", "10⁴", "10⁵"}},
        {DisplayTransform::Arcsinh(150), -2000, 262144, 0.05,
         {"-1000", "-100", "0", "100", "1000", "10⁴", "10⁵"}},
        // Nothing below the bound of a log axis (262144 10^-4.5 = 8.3), which shows
        // every lower value at its bottom.
        {DisplayTransform::Log(262144, 4.5), 1, 262144, 0.06, {"10", "100", "1000", "10⁴", "10⁵"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transform.Text());
        const double lo = c.transform.Forward(c.loValue), hi = c.transform.Forward(c.hiValue);
        const AxisTicks t = decadeTicks(c.transform, lo, hi, (hi - lo) * c.spacingFraction);
        EXPECT_EQ(t.labels, c.labels);
        ASSERT_EQ(t.values.size(), t.major.size());
        ASSERT_EQ(t.labels.size(), t.major.size());
        for (size_t i = 0; i < t.major.size(); ++i) {
            EXPECT_EQ(t.labels[i], decadeLabel(t.values[i]));
            EXPECT_EQ(t.major[i], c.transform.Forward(t.values[i])) << t.labels[i];
            EXPECT_GE(t.values[i], c.transform.LowerBound());
            if (i > 0) {
                EXPECT_GE(t.major[i] - t.major[i - 1], (hi - lo) * c.spacingFraction) << t.labels[i];
            }
        }
        ASSERT_FALSE(t.minor.empty());
        for (size_t i = 0; i < t.minor.size(); ++i) {
            EXPECT_GE(t.minor[i], lo - 1e-9);
            EXPECT_LE(t.minor[i], hi + 1e-9);
            if (i > 0) {
                EXPECT_GT(t.minor[i], t.minor[i - 1]);
            }
        }
    }
    // Minor ticks at 2..9 times the decades, negative ones included.
    const double lo = logicle.Forward(-1000), hi = logicle.Forward(262144);
    const AxisTicks t = decadeTicks(logicle, lo, hi, (hi - lo) * 0.06);
    for (double v : {-500.0, 2e3, 5e4, 2e5}) {
        const double p = logicle.Forward(v);
        EXPECT_NE(std::find(t.minor.begin(), t.minor.end(), p), t.minor.end()) << v;
    }
    EXPECT_TRUE(decadeTicks(DisplayTransform::Linear(), 0, 1000, 100).major.empty());
}
