#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cmath>

#include "parallel/TMultiThread.h"
#include "ui/plot/ScatterPlotter.h"

using namespace orvala;

namespace {

struct PlotterFixture : ::testing::Test {
    PlotterFixture() : pool(3)
    {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "plotwin_tests";
            static char* argv[] = {name, nullptr};
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
            new QApplication(argc, argv);  // never destroyed: Qt must outlive static destruction
        }
        chart = std::make_unique<Chart>();
        chart->resize(500, 400);
        chart->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(chart.get()));
        chart->redraw();
        plotter = std::make_unique<ScatterPlotter>(chart.get(), &pool);
    }
    QPoint pixel(double x, double y) const
    {
        return QPoint(int(std::nearbyint(chart->valueToPixel(ChartAxis::Bottom, x))),
                      int(std::nearbyint(chart->valueToPixel(ChartAxis::Left, y))));
    }
    TMultiThread pool;
    std::unique_ptr<Chart> chart;
    std::unique_ptr<ScatterPlotter> plotter;
};

}  // namespace

TEST_F(PlotterFixture, AllEventsInOnePixelGiveOnePointAtTheTopOfThePalette)
{
    std::vector<double> x(10000, 40.0), y(10000, 60.0);
    plotter->NewData(x.data(), y.data(), {}, int(x.size()), 0, 100, 0, 100, true);
    const Chart::SeriesId s = plotter->ser();
    ASSERT_EQ(chart->pointCount(s), 1);
    EXPECT_EQ(chart->axisMinimum(ChartAxis::Bottom), 0);
    EXPECT_EQ(chart->axisMaximum(ChartAxis::Left), 100);
    const QPointF p = chart->point(s, 0);
    // The point sits on the pixel grid within one pixel of the events.
    EXPECT_NEAR(p.x(), 40.0, 100.0 / chart->plotArea().width());
    EXPECT_NEAR(p.y(), 60.0, 100.0 / chart->plotArea().height());
    EXPECT_EQ(chart->pointColor(s, 0) & 0xFFFFFF, DensityPalette()[0] & 0xFFFFFF);
}

TEST_F(PlotterFixture, FollowsZoomAndUndoZoomFromTheEvents)
{
    // A 100 x 100 lattice over [0, 99]^2.
    std::vector<double> x, y;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j) x.push_back(i), y.push_back(j);
    plotter->NewData(x.data(), y.data(), {}, int(x.size()), 0, 0, 0, 0, true);
    const Chart::SeriesId s = plotter->ser();
    EXPECT_EQ(chart->axisMaximum(ChartAxis::Bottom), 99);  // the data's own range
    EXPECT_EQ(chart->pointCount(s), 10000);  // more pixels than lattice columns: one point per event
    chart->redraw();

    QWidget* w = chart->canvas();
    const QPoint a = pixel(10, 30), b = pixel(20, 20);
    QTest::mousePress(w, Qt::LeftButton, {}, a);
    QTest::mouseMove(w, b);
    QTest::mouseRelease(w, Qt::LeftButton, {}, b);
    const double x0 = chart->axisMinimum(ChartAxis::Bottom), x1 = chart->axisMaximum(ChartAxis::Bottom);
    const double y0 = chart->axisMinimum(ChartAxis::Left), y1 = chart->axisMaximum(ChartAxis::Left);
    ASSERT_LT(x1 - x0, 15);
    int inside = 0;
    for (size_t k = 0; k < x.size(); ++k)
        if (x[k] >= x0 && x[k] <= x1 && y[k] >= y0 && y[k] <= y1) ++inside;
    EXPECT_EQ(plotter->map().cminx, x0);
    EXPECT_EQ(chart->pointCount(s), inside);  // remapped: only the visible lattice points

    chart->redraw();
    const QPoint from(chart->plotArea().center()), to = from - QPoint(50, 0);
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    QTest::mouseMove(w, to);
    QTest::mouseRelease(w, Qt::LeftButton, {}, to);
    EXPECT_EQ(plotter->map().cminx, 0);
    EXPECT_EQ(plotter->map().cmaxx, 99);
    EXPECT_EQ(chart->pointCount(s), 10000);

    plotter->Disable();
    EXPECT_EQ(chart->pointCount(s), 0);
}

TEST_F(PlotterFixture, HiddenEventsAreNotDrawnAndColoursComeFromTheEvents)
{
    std::vector<double> x{10, 90}, y{10, 90};
    std::vector<uint32_t> colors{0x0A0000FF, HiddenColorFlag | 0x00FF00};
    plotter->NewData(x.data(), y.data(), ColorSource{colors.data(), nullptr}, 2, 0, 100, 0, 100, true);
    const Chart::SeriesId s = plotter->ser();
    ASSERT_EQ(chart->pointCount(s), 1);
    EXPECT_NEAR(chart->point(s, 0).x(), 10, 1);
    // Brightness-scaled event colour: a pixel at the bottom of the count scale
    // gets half brightness, 255 * 0.5 = 127.5, rounded half to even.
    EXPECT_EQ(chart->pointColor(s, 0) & 0xFFFFFF, 0x000080u);
}
