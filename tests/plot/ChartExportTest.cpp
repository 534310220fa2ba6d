#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "plot/ChartExport.h"

using namespace orvala;

TEST(ChartExport, PictureSizeFromSizeUnitAndResolution)
{
    struct Case {
        ExportRequest request;
        int width, height;
        double scale;
    };
    const Case cases[] = {
        {{800, 600, ExportUnit::Pixels, 96}, 800, 600, 1},
        // Pixels are exact; a higher resolution lays the chart out smaller and scales it up.
        {{800, 600, ExportUnit::Pixels, 192}, 800, 600, 2},
        {{100, 50, ExportUnit::Millimetres, 300}, 1181, 591, 300 / 96.0},
        {{2, 1, ExportUnit::Inches, 150}, 300, 150, 150 / 96.0},
        // Halves round to even.
        {{2.5, 3.5, ExportUnit::Pixels, 96}, 2, 4, 1},
    };
    for (const Case& c : cases) {
        const ExportGeometry g = exportGeometry(c.request);
        EXPECT_EQ(g.pixelWidth, c.width) << c.request.width;
        EXPECT_EQ(g.pixelHeight, c.height) << c.request.height;
        EXPECT_DOUBLE_EQ(g.scale, c.scale);
        EXPECT_DOUBLE_EQ(g.logicalWidth * g.scale, c.width);
        EXPECT_DOUBLE_EQ(g.logicalHeight * g.scale, c.height);
    }
    EXPECT_DOUBLE_EQ(convertExportLength(96, ExportUnit::Pixels, ExportUnit::Inches, 96), 1);
    EXPECT_DOUBLE_EQ(convertExportLength(1, ExportUnit::Inches, ExportUnit::Millimetres, 300), 25.4);
    EXPECT_DOUBLE_EQ(convertExportLength(25.4, ExportUnit::Millimetres, ExportUnit::Pixels, 300), 300);
}

TEST(ChartExport, RequestsOutOfBoundsAreRefusedWithAReason)
{
    const double nan = std::nan("");
    const ExportRequest bad[] = {
        {0, 600, ExportUnit::Pixels, 96},
        {800, -1, ExportUnit::Pixels, 96},
        {nan, 600, ExportUnit::Pixels, 96},
        {800, 600, ExportUnit::Pixels, 10},
        {800, 600, ExportUnit::Pixels, 5000},
        {800, 600, ExportUnit::Pixels, nan},
        {0.01, 0.01, ExportUnit::Millimetres, 36},     // under one pixel
        {20000, 100, ExportUnit::Pixels, 96},          // one side too long
        {1000, 1000, ExportUnit::Millimetres, 2400},   // far too many pixels
    };
    for (const ExportRequest& r : bad) {
        try {
            exportGeometry(r);
            ADD_FAILURE() << r.width << " x " << r.height << " at " << r.dpi;
        } catch (const std::invalid_argument& e) {
            EXPECT_GT(std::string(e.what()).size(), 20u);
        }
    }
    EXPECT_NO_THROW(exportGeometry({MaxExportSide, 100, ExportUnit::Pixels, 96}));
}

TEST(ZoomHistory, StepsBackOneAtATimeAndRefusesUselessSteps)
{
    const ViewRange full{0, 100, 0, 50}, a{20, 60, 10, 40}, b{30, 50, 15, 35};
    ZoomHistory h;
    EXPECT_FALSE(h.push(full, full)) << "no change";
    EXPECT_FALSE(h.push(full, {5, 5, 0, 1})) << "empty range";
    EXPECT_FALSE(h.push(full, {0, std::nan(""), 0, 1}));
    EXPECT_FALSE(h.push(full, {0, 1, 0, INFINITY}));
    EXPECT_FALSE(h.canUndo());
    EXPECT_TRUE(h.push(full, a));
    EXPECT_TRUE(h.push(a, b));
    EXPECT_EQ(h.undo(), a);
    EXPECT_EQ(h.undo(), full);
    EXPECT_FALSE(h.canUndo());

    // undoAll returns to the start; the depth is bounded, dropping the oldest.
    for (int i = 0; i < int(ZoomHistory::MaxDepth) + 5; ++i)
        h.push({double(i), 1000, 0, 1}, {double(i + 1), 1000, 0, 1});
    EXPECT_EQ(h.depth(), ZoomHistory::MaxDepth);
    EXPECT_EQ(h.undoAll(), (ViewRange{5, 1000, 0, 1}));
    EXPECT_FALSE(h.canUndo());
}

TEST(ZoomHistory, ScaledViewKeepsTheCentre)
{
    EXPECT_EQ(scaledView({0, 100, 0, 50}, 0.5), (ViewRange{25, 75, 12.5, 37.5}));
    EXPECT_EQ(scaledView({-10, 10, 0, 4}, 2), (ViewRange{-20, 20, -2, 6}));
    EXPECT_FALSE(isUsableView(scaledView({0, 1e308, 0, 1}, 4)));
}

#include "plot/PlotDefaults.h"

TEST(PlotDefaults, NewPlotsShowForwardAgainstSideScatter)
{
    using Names = std::vector<std::string>;
    const std::pair<Names, std::pair<int, int>> cases[] = {
        {{"Time", "FSC-H", "FSC-A", "SSC-H", "SSC-A", "FL1-A"}, {2, 4}},
        {{"time", " fsc-a ", "ssc-a"}, {1, 2}},
        {{"FL1", "SSC", "FSC"}, {2, 1}},               // no area channel: the first of each
        {{"FL1-A", "FL2-A", "FSC-A"}, {0, 1}},         // no side scatter: the first two
        {{"FL1-A", "FL2-A", "FL3-A"}, {0, 1}},
        {{"FSC-A"}, {0, 0}},                           // one parameter: a histogram
        {{}, {-1, -1}},
    };
    for (const auto& [names, expected] : cases) EXPECT_EQ(defaultScatterAxes(names), expected) << names.size();
}
