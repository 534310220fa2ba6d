#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "ChartTestMain.h"
#include "ui/chart/Chart.h"

using namespace orvala;

namespace {

// A shown chart with fixed ranges 0..100 (x) and 0..50 (y).
struct ShownChart : chart_testing::WithApp {
    ShownChart()
    {
        chart.resize(400, 300);
        chart.setAxisRange(ChartAxis::Bottom, 0, 100);
        chart.setAxisRange(ChartAxis::Left, 0, 50);
        chart.show();
        chart.redraw();
    }
    QPoint pixel(double x, double y) const
    {
        return QPoint(int(std::lround(chart.valueToPixel(ChartAxis::Bottom, x))),
                      int(std::lround(chart.valueToPixel(ChartAxis::Left, y))));
    }
    Chart chart;
};

}  // namespace

TEST(Chart, FixedAndAutomaticRangesAndPixelConversion)
{
    ShownChart s;
    Chart& c = s.chart;
    EXPECT_FALSE(c.axisAutomatic(ChartAxis::Bottom));
    EXPECT_EQ(c.axisMinimum(ChartAxis::Bottom), 0);
    EXPECT_EQ(c.axisMaximum(ChartAxis::Bottom), 100);
    const QRect area = c.plotArea();
    ASSERT_GT(area.width(), 100);
    ASSERT_GT(area.height(), 100);
    EXPECT_NEAR(c.valueToPixel(ChartAxis::Bottom, 0), area.left(), 1.0);
    EXPECT_NEAR(c.valueToPixel(ChartAxis::Bottom, 100), area.right(), 1.0);
    // y grows upwards.
    EXPECT_NEAR(c.valueToPixel(ChartAxis::Left, 0), area.bottom(), 1.0);
    EXPECT_NEAR(c.valueToPixel(ChartAxis::Left, 50), area.top(), 1.0);
    for (double v : {-3.0, 12.5, 77.0})
        EXPECT_NEAR(c.pixelToValue(ChartAxis::Bottom, c.valueToPixel(ChartAxis::Bottom, v)), v, 1e-9);

    // Automatic ranges follow the active series only.
    const auto a = c.addPointSeries();
    const auto b = c.addPointSeries();
    c.setPoints(a, std::vector<double>{-5, 3, 20}, std::vector<double>{1, 2, 7});
    c.setPoints(b, std::vector<double>{1000}, std::vector<double>{1000});
    c.setSeriesActive(b, false);
    c.setAxisAutomatic(ChartAxis::Bottom, true);
    c.setAxisAutomatic(ChartAxis::Left, true);
    c.redraw();
    EXPECT_LE(c.axisMinimum(ChartAxis::Bottom), -5);
    EXPECT_GE(c.axisMaximum(ChartAxis::Bottom), 20);
    EXPECT_LT(c.axisMaximum(ChartAxis::Bottom), 1000);
    EXPECT_LE(c.axisMinimum(ChartAxis::Left), 1);
    EXPECT_LT(c.axisMaximum(ChartAxis::Left), 1000);
}

TEST(Chart, SeriesListAndPoints)
{
    ShownChart s;
    Chart& c = s.chart;
    const auto pts = c.addPointSeries(4);
    const auto line = c.addLineSeries("contour", Qt::blue, 2);
    const auto fast = c.addFastLineSeries("signal");
    const auto bars = c.addBarSeries("counts");
    const auto err = c.addErrorBarSeries("spread");
    EXPECT_EQ(c.seriesCount(), 5);
    EXPECT_EQ(c.seriesAt(1), line);
    EXPECT_EQ(c.seriesKind(fast), SeriesKind::FastLine);
    EXPECT_EQ(c.seriesTitle(bars), "counts");

    // Line series keep the order of their points, x unsorted.
    c.addPoint(line, 10, 10);
    c.addPoint(line, 5, 20);
    c.insertPoint(line, 1, 30, 30);
    c.setPoint(line, 2, 6, 21);
    ASSERT_EQ(c.pointCount(line), 3);
    EXPECT_EQ(c.point(line, 1), QPointF(30, 30));
    EXPECT_EQ(c.point(line, 2), QPointF(6, 21));
    const QPointF px = c.pointPixel(line, 1);
    EXPECT_DOUBLE_EQ(px.x(), c.valueToPixel(ChartAxis::Bottom, 30));
    EXPECT_DOUBLE_EQ(px.y(), c.valueToPixel(ChartAxis::Left, 30));
    c.setVertexMarkers(line, true, 6);
    EXPECT_TRUE(c.vertexMarkers(line));

    // Bulk replacement drops the per-point extras.
    const double x[] = {1, 2, 3}, y[] = {4, 5, 6};
    const uint32_t colors[] = {0x0000FF, 0x00FF00, 0xFF0000};
    c.setPoints(pts, x, y, 3);
    c.setPointColors(pts, colors, 3);
    c.setPointLabel(pts, 2, "third");
    EXPECT_EQ(c.pointColor(pts, 2), 0xFF0000u);
    EXPECT_EQ(c.pointLabel(pts, 2), "third");
    c.setPoints(pts, y, x, 3);
    EXPECT_EQ(c.pointLabel(pts, 2), "");
    EXPECT_EQ(c.point(pts, 0), QPointF(4, 1));

    c.setPoints(err, std::vector<double>{1, 2}, std::vector<double>{10, 20});
    c.setPointError(err, 1, 2.5);
    c.setErrorWidth(err, 8);
    EXPECT_EQ(c.pointError(err, 1), 2.5);
    EXPECT_EQ(c.pointError(err, 0), 0);
    // All errors at once: a short list leaves the rest at 0, a long one is cut.
    c.setPoints(err, std::vector<double>{1, 2, 3}, std::vector<double>{10, 20, 30});
    c.setPointErrors(err, {1.5, 0.5});
    EXPECT_EQ(c.pointError(err, 0), 1.5);
    EXPECT_EQ(c.pointError(err, 1), 0.5);
    EXPECT_EQ(c.pointError(err, 2), 0);
    c.setPointErrors(err, {3, 2, 1, 9});
    EXPECT_EQ(c.pointError(err, 2), 1);
    EXPECT_EQ(c.pointError(err, 3), 0);

    c.setSeriesTag(line, 42);
    c.setSeriesIdentifier(line, "$gate");
    EXPECT_EQ(c.seriesTag(line), 42);
    EXPECT_EQ(c.seriesIdentifier(line), "$gate");

    c.removeSeries(line);
    EXPECT_FALSE(c.hasSeries(line));
    EXPECT_EQ(c.seriesCount(), 4);
    EXPECT_EQ(c.seriesIndex(fast), 1);
    const auto again = c.addPointSeries();
    EXPECT_NE(again, line);  // handles are never reused
    c.clearSeries();
    EXPECT_EQ(c.seriesCount(), 0);
}

TEST(Chart, PointSeriesPaintsEachPointInItsColour)
{
    ShownChart s;
    Chart& c = s.chart;
    c.setBackgroundColor(Qt::white);
    const auto pts = c.addPointSeries(7);
    c.setPoints(pts, std::vector<double>{25, 75}, std::vector<double>{25, 10});
    const uint32_t colors[] = {0x0000FF, 0xFF0000};  // red, blue as 0x00BBGGRR
    c.setPointColors(pts, colors, 2);
    c.redraw();
    const QImage img = c.grab().toImage();
    const QPoint red = c.pointPixel(pts, 0).toPoint(), blue = c.pointPixel(pts, 1).toPoint();
    EXPECT_EQ(img.pixelColor(red), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(blue), QColor(0, 0, 255));
    EXPECT_EQ(img.pixelColor(red + QPoint(20, 0)), QColor(Qt::white));
}

TEST(Chart, ZoomUndoAndPanWithTheMouse)
{
    ShownChart s;
    Chart& c = s.chart;
    QWidget* w = c.canvas();
    QSignalSpy zoomed(&c, &Chart::zoomed), undone(&c, &Chart::undoZoomed), scrolled(&c, &Chart::scrolled);

    const QPoint a = s.pixel(20, 40), b = s.pixel(60, 10);
    QTest::mousePress(w, Qt::LeftButton, {}, a);
    QTest::mouseMove(w, b);
    QTest::mouseRelease(w, Qt::LeftButton, {}, b);
    ASSERT_EQ(zoomed.count(), 1);
    EXPECT_NEAR(c.axisMinimum(ChartAxis::Bottom), 20, 0.5);
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Bottom), 60, 0.5);
    EXPECT_NEAR(c.axisMinimum(ChartAxis::Left), 10, 0.5);
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Left), 40, 0.5);

    // Dragging to the left undoes the zoom.
    c.redraw();
    const QPoint from(c.plotArea().center()), to = from - QPoint(50, 0);
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    QTest::mouseMove(w, to);
    QTest::mouseRelease(w, Qt::LeftButton, {}, to);
    EXPECT_EQ(undone.count(), 1);
    EXPECT_EQ(c.axisMinimum(ChartAxis::Bottom), 0);
    EXPECT_EQ(c.axisMaximum(ChartAxis::Bottom), 100);

    // Right drag pans: the data follows the mouse.
    c.redraw();
    const QPoint p0 = s.pixel(50, 25), p1 = s.pixel(40, 25);
    QTest::mousePress(w, Qt::RightButton, {}, p0);
    QTest::mouseMove(w, p1);
    QTest::mouseRelease(w, Qt::RightButton, {}, p1);
    EXPECT_GE(scrolled.count(), 1);
    EXPECT_NEAR(c.axisMinimum(ChartAxis::Bottom), 10, 0.5);
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Bottom), 110, 0.5);

    // Switched off, neither happens.
    c.setAxisRange(ChartAxis::Bottom, 0, 100);
    c.setZoomEnabled(false);
    c.setPanEnabled(false);
    c.redraw();
    QTest::mousePress(w, Qt::LeftButton, {}, a);
    QTest::mouseMove(w, b);
    QTest::mouseRelease(w, Qt::LeftButton, {}, b);
    QTest::mousePress(w, Qt::RightButton, {}, p0);
    QTest::mouseMove(w, p1);
    QTest::mouseRelease(w, Qt::RightButton, {}, p1);
    EXPECT_EQ(zoomed.count(), 1);
    EXPECT_EQ(c.axisMinimum(ChartAxis::Bottom), 0);
    EXPECT_EQ(c.axisMaximum(ChartAxis::Bottom), 100);
}

TEST(Chart, ClicksOnSeriesPointsAndAxes)
{
    ShownChart s;
    Chart& c = s.chart;
    QWidget* w = c.canvas();
    const auto pts = c.addPointSeries(5);
    c.setPoints(pts, std::vector<double>{10, 30, 50}, std::vector<double>{10, 20, 30});
    c.redraw();
    int clickedIndex = -1;
    Chart::SeriesId clickedSeries = Chart::NoSeries;
    QObject::connect(&c, &Chart::seriesPointClicked, [&](Chart::SeriesId id, int index, QMouseEvent*, bool* carryOn) {
        clickedSeries = id;
        clickedIndex = index;
        *carryOn = false;  // keeps the press from starting a zoom
    });
    QSignalSpy zoomed(&c, &Chart::zoomed);
    const QPoint onPoint = s.pixel(30, 20);
    QTest::mousePress(w, Qt::LeftButton, {}, onPoint);
    QTest::mouseMove(w, onPoint + QPoint(60, 60));
    QTest::mouseRelease(w, Qt::LeftButton, {}, onPoint + QPoint(60, 60));
    EXPECT_EQ(clickedSeries, pts);
    EXPECT_EQ(clickedIndex, 1);
    EXPECT_EQ(zoomed.count(), 0);

    QSignalSpy axis(&c, &Chart::axisClicked);
    const QPoint onAxis(c.plotArea().center().x(), c.plotArea().bottom() + 8);
    QTest::mouseClick(w, Qt::LeftButton, {}, onAxis);
    ASSERT_EQ(axis.count(), 1);
    EXPECT_EQ(axis.at(0).at(0).value<ChartAxis>(), ChartAxis::Bottom);
}

TEST(Chart, ToolsAndDecorations)
{
    ShownChart s;
    Chart& c = s.chart;
    QSignalSpy drawn(&c, &Chart::afterDraw);
    c.setTitle("Scatter");
    c.setLegendVisible(true);
    c.setAxisTitle(ChartAxis::Bottom, "FSC");
    c.setBackgroundGradient(Qt::white, Qt::lightGray);
    c.redraw();
    EXPECT_GE(drawn.count(), 1);
    EXPECT_EQ(c.title(), "Scatter");
    EXPECT_TRUE(c.legendVisible());
    EXPECT_EQ(c.axisTitle(ChartAxis::Bottom), "FSC");
    c.setTitle("");
    EXPECT_EQ(c.title(), "");

    const int cur = c.addCursorLine(30);
    c.setCursorLinePosition(cur, 45);
    EXPECT_EQ(c.cursorLinePosition(cur), 45);
    c.removeCursorLine(cur);
    EXPECT_EQ(c.cursorLinePosition(cur), 0);

    c.setCrossHairVisible(true);
    c.setCrossHairFollowsMouse(true);
    QTest::mouseMove(c.canvas(), s.pixel(70, 35));
    EXPECT_NEAR(c.crossHairPosition().x(), 70, 0.5);
    EXPECT_NEAR(c.crossHairPosition().y(), 35, 0.5);
    c.setCrossHairFollowsMouse(false);
    c.setCrossHairPosition(5, 6);
    EXPECT_EQ(c.crossHairPosition(), QPointF(5, 6));

    c.setAnnotation("Gate 1: 1234 events");
    c.setAnnotationVisible(true);
    EXPECT_TRUE(c.annotationVisible());
    EXPECT_EQ(c.annotationText(), "Gate 1: 1234 events");
}
