#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "ChartTestMain.h"
#include "ui/chart/GateTool.h"

using namespace orvala;

namespace {

struct GateChart : chart_testing::WithApp {
    GateChart() : tool(&chart)
    {
        chart.resize(500, 400);
        chart.setAxisRange(ChartAxis::Bottom, 0, 1000);
        chart.setAxisRange(ChartAxis::Left, -50, 250);
        chart.show();
        chart.redraw();
    }
    QPoint pixel(double x, double y) const
    {
        return QPoint(int(std::lround(chart.valueToPixel(ChartAxis::Bottom, x))),
                      int(std::lround(chart.valueToPixel(ChartAxis::Left, y))));
    }
    QPointF value(QPoint p) const
    {
        return {chart.pixelToValue(ChartAxis::Bottom, p.x()), chart.pixelToValue(ChartAxis::Left, p.y())};
    }
    // Draws a polygon through the given values: move, left click at each;
    // then move to the last one and end with the right button.
    Chart::SeriesId draw(const std::vector<QPointF>& vertices)
    {
        Chart::SeriesId finished = Chart::NoSeries;
        auto c = QObject::connect(&tool, &GateTool::OnEndGateDrawing, [&](Chart::SeriesId s) { finished = s; });
        tool.setGenesis(true);
        std::vector<QPoint> pixels;
        for (const QPointF& v : vertices) pixels.push_back(pixel(v.x(), v.y()));
        test::clickPolygon(chart.canvas(), pixels);
        QObject::disconnect(c);
        return finished;
    }
    Chart chart;
    GateTool tool;
};

}  // namespace

TEST(GateTool, PolygonDrawnWithClicksYieldsTheClickedValues)
{
    GateChart g;
    const std::vector<QPointF> wanted = {{100, 0}, {700, 20}, {800, 200}, {150, 180}};
    QSignalSpy ended(&g.tool, &GateTool::OnEndGateDrawing);
    const Chart::SeriesId contour = g.draw(wanted);
    ASSERT_EQ(ended.count(), 1);
    ASSERT_NE(contour, Chart::NoSeries);
    EXPECT_EQ(g.chart.seriesIdentifier(contour), GateTool::GateIdentifier);
    EXPECT_FALSE(g.tool.Genesis());
    EXPECT_FALSE(g.tool.DrawingGate);
    EXPECT_TRUE(g.chart.zoomEnabled());

    // The vertices, then a closing copy of the first.
    ASSERT_EQ(g.chart.pointCount(contour), 5);
    // One pixel is 2 x-units and under 1 y-unit on this chart.
    const double tx = std::fabs(g.chart.pixelToValue(ChartAxis::Bottom, 1) - g.chart.pixelToValue(ChartAxis::Bottom, 0));
    const double ty = std::fabs(g.chart.pixelToValue(ChartAxis::Left, 1) - g.chart.pixelToValue(ChartAxis::Left, 0));
    for (int i = 0; i < 5; ++i) {
        const QPointF want = wanted[size_t(i % 4)];
        const QPointF clicked = g.value(g.pixel(want.x(), want.y()));
        const QPointF got = g.chart.point(contour, i);
        // Exactly what the clicked pixel means, and within a pixel of the aim.
        EXPECT_DOUBLE_EQ(got.x(), clicked.x()) << i;
        EXPECT_DOUBLE_EQ(got.y(), clicked.y()) << i;
        EXPECT_NEAR(got.x(), want.x(), tx) << i;
        EXPECT_NEAR(got.y(), want.y(), ty) << i;
    }
}

TEST(GateTool, RightButtonBeforeAnyVertexLeavesAnEmptyContour)
{
    GateChart g;
    Chart::SeriesId finished = Chart::NoSeries;
    QObject::connect(&g.tool, &GateTool::OnEndGateDrawing, [&](Chart::SeriesId s) { finished = s; });
    g.tool.setGenesis(true);
    QTest::mouseClick(g.chart.canvas(), Qt::RightButton, {}, g.pixel(500, 100));
    ASSERT_NE(finished, Chart::NoSeries);
    EXPECT_EQ(g.chart.pointCount(finished), 0);
    EXPECT_EQ(g.tool.ContourCount(), 1);
}

TEST(GateTool, HoverSelectsAndDragsReshapeOrMove)
{
    GateChart g;
    const Chart::SeriesId other = g.chart.addLineSeries("not a gate");
    g.chart.setPoints(other, std::vector<double>{0, 1000}, std::vector<double>{0, 200});
    const Chart::SeriesId contour = g.draw({{200, 0}, {600, 0}, {600, 200}, {200, 200}});
    g.chart.setSeriesTag(contour, 7);
    EXPECT_EQ(g.tool.ContourCount(), 1);
    EXPECT_EQ(g.tool.Contours(0), contour);

    QSignalSpy selected(&g.tool, &GateTool::OnAnnotation), left(&g.tool, &GateTool::OnAnnotationLeave),
        regated(&g.tool, &GateTool::OnRegate);
    QWidget* w = g.chart.canvas();
    QTest::mouseMove(w, g.pixel(400, 100));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(g.tool.selectedContour(), contour);
    ASSERT_TRUE(g.tool.PolygonTool);
    EXPECT_FALSE(g.chart.zoomEnabled());  // editing owns the left button

    // Grab vertex 0 and move it 10 pixels right: the closing copy follows.
    const QPoint v0 = g.chart.pointPixel(contour, 0).toPoint();
    const QPointF v1 = g.chart.point(contour, 1);
    QTest::mouseMove(w, v0);
    QTest::mousePress(w, Qt::LeftButton, {}, v0);
    QTest::mouseMove(w, v0 + QPoint(10, 0));
    QTest::mouseRelease(w, Qt::LeftButton, {}, v0 + QPoint(10, 0));
    EXPECT_EQ(regated.count(), 1);
    const double moved = g.chart.pixelToValue(ChartAxis::Bottom, v0.x() + 10);
    EXPECT_NEAR(g.chart.point(contour, 0).x(), moved, 1e-9);
    EXPECT_EQ(g.chart.point(contour, 4), g.chart.point(contour, 0));
    EXPECT_EQ(g.chart.point(contour, 1), v1);

    // Press inside, away from vertices, and drag: the whole contour moves.
    const std::vector<double> before = g.chart.yValues(contour);
    const QPoint inside = g.pixel(400, 100);
    QTest::mouseMove(w, inside);
    QTest::mousePress(w, Qt::LeftButton, {}, inside);
    QTest::mouseMove(w, inside + QPoint(0, -20));
    QTest::mouseRelease(w, Qt::LeftButton, {}, inside + QPoint(0, -20));
    EXPECT_EQ(regated.count(), 2);
    const double dy = g.chart.pixelToValue(ChartAxis::Left, inside.y() - 20) - g.chart.pixelToValue(ChartAxis::Left, inside.y());
    const std::vector<double> after = g.chart.yValues(contour);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_NEAR(after[i], before[i] + dy, 1e-6) << i;

    // Leaving every contour ends the selection and gives zoom back.
    QTest::mouseMove(w, g.pixel(900, -40));
    EXPECT_GE(left.count(), 1);
    EXPECT_FALSE(g.tool.PolygonTool);
    EXPECT_TRUE(g.chart.zoomEnabled());

    g.tool.DeleteContours();
    EXPECT_EQ(g.tool.ContourCount(), 0);
    EXPECT_TRUE(g.chart.hasSeries(other));
}

TEST(GateTool, RightDragRotatesAboutTheCentroid)
{
    GateChart g;
    const Chart::SeriesId contour = g.draw({{300, 50}, {500, 50}, {500, 150}, {300, 150}});
    QWidget* w = g.chart.canvas();
    // Centroid of the five points in pixels (the closing copy counts).
    QPointF centre;
    for (int i = 0; i < 5; ++i)
        centre += g.chart.pointPixel(contour, i);
    centre /= 5;
    const QPoint inside = g.pixel(420, 100);
    QTest::mouseMove(w, inside);
    ASSERT_TRUE(g.tool.PolygonTool);
    // Start right of the centre, end the same distance below it: a quarter turn.
    const QPoint start = (centre + QPointF(30, 0)).toPoint(), end = (centre + QPointF(0, 30)).toPoint();
    const QPointF p1before = g.chart.pointPixel(contour, 1);
    QTest::mouseMove(w, start);
    QTest::mousePress(w, Qt::RightButton, {}, start);
    QTest::mouseMove(w, end);
    QTest::mouseRelease(w, Qt::RightButton, {}, end);
    const QPointF r = p1before - centre;
    // Rotating (dx, dy) by +90 degrees in pixel space gives (-dy, dx), to within rounding.
    const double sx = (QPointF(end) - centre).manhattanLength() / (QPointF(start) - centre).manhattanLength();
    const QPointF expected = centre + QPointF(-r.y(), r.x()) * sx;
    const QPointF got = g.chart.pointPixel(contour, 1);
    EXPECT_NEAR(got.x(), expected.x(), 2.0);
    EXPECT_NEAR(got.y(), expected.y(), 2.0);
}
