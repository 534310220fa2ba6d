// The plot window against its view model, driven with the mouse: gates drawn
// in rotated and exchanged views, clicks on contours, two windows on one data
// set, range markers dragged, drawings too short to be a region.
#include <gtest/gtest.h>

#include "PlotFixture.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>

#include "core/TGate.h"
#include "geometry/Scales.h"
#include "ui/chart/GateTool.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/ScatterPlotWindow.h"

using namespace orvala;
using namespace orvala::plottest;

namespace {

const double R2 = 1 / std::sqrt(2.0);

// The centre of a few pixels: inside a convex outline drawn through them.
QPoint centreOf(const std::vector<QPoint>& pixels)
{
    int x = 0, y = 0;
    for (const QPoint& p : pixels) x += p.x(), y += p.y();
    return QPoint(x / int(pixels.size()), y / int(pixels.size()));
}

struct PlotViewGui : PlotFixture {
    // A click on the contour under pixel p, as a user makes it: the mouse
    // comes over it (which selects it), then presses and releases in place.
    void clickAt(QPoint p)
    {
        QWidget* canvas = window->chart()->canvas();
        QTest::mouseMove(canvas, p + QPoint(1, 1));
        QTest::mouseMove(canvas, p);
        QTest::mousePress(canvas, Qt::LeftButton, {}, p);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, p);
    }
    // The events an even-odd test selects on the coordinates the window shows.
    TIntVector shownInside(const std::vector<QPointF>& outline) const
    {
        std::vector<double> vx, vy;
        for (const QPointF& p : outline) vx.push_back(p.x()), vy.push_back(p.y());
        const PlotView& v = window->view();
        TIntVector in;
        for (int e = 0; e < root->events(); ++e) {
            double x = 0, y = 0;
            for (int i = 0; i < 3; ++i) {
                const double value = root->data[e][i];
                if (v.x.direction[size_t(i)] != 0) x += value * v.x.direction[size_t(i)];
                if (v.y.direction[size_t(i)] != 0) y += value * v.y.direction[size_t(i)];
            }
            if (std::isfinite(x) && std::isfinite(y) && evenOdd(x, y, vx, vy)) in.push_back(e);
        }
        return in;
    }
};

}  // namespace

TEST_F(PlotViewGui, PolygonsInRotatedAndExchangedViewsHoldWhatIsShownAndClicksChangeNothing)
{
    // A few events that are not finite on an axis: shown nowhere, held by no gate.
    for (int e = 0; e < root->events(); e += 311) root->data[e][e % 2] = std::numeric_limits<double>::quiet_NaN();
    ScatterPlotWindow& w = open(root);

    // Rotated: x = (Ch1 + Ch2) / sqrt 2 against Ch2.
    w.Control->xlist->item(1)->setCheckState(Qt::Checked);
    w.DrawData();
    ASSERT_EQ(w.view().x.direction, (TVector{R2, R2, 0}));
    const std::vector<QPointF> rotated = drawPolygon({{200, 100}, {600, 120}, {350, 450}});
    ASSERT_EQ(workspace->Count(), 2);
    TData* first = workspace->GetData(1);
    const TIntVector firstEvents = shownInside(rotated);
    EXPECT_GT(firstEvents.size(), 100u);
    EXPECT_EQ(first->link, firstEvents);
    QCoreApplication::sendPostedEvents(&w);

    // Exchanged: Ch2 across, Ch1 up.
    w.SetXY(1, 0);
    w.DrawData();
    const std::vector<QPointF> exchanged = drawPolygon({{600, 600}, {950, 650}, {800, 950}});
    ASSERT_EQ(workspace->Count(), 3);
    TData* second = workspace->GetData(2);
    const TIntVector secondEvents = shownInside(exchanged);
    EXPECT_GT(secondEvents.size(), 100u);
    EXPECT_EQ(second->link, secondEvents);
    QCoreApplication::sendPostedEvents(&w);

    // A click on each contour (they do not overlap), in either view, leaves
    // both children as they are.
    struct View {
        const char* name;
        std::vector<int> x, y;
    };
    for (const View& v : {View{"exchanged", {1}, {0}}, View{"rotated", {0, 1}, {1}}, View{"plain", {0}, {1}}}) {
        SCOPED_TRACE(v.name);
        w.SetXY(v.x[0], v.y[0]);
        for (int i : v.x) w.Control->xlist->item(i)->setCheckState(Qt::Checked);
        w.DrawData();
        ASSERT_EQ(w.gateTool()->ContourCount(), 2);
        for (int k = 0; k < 2; ++k) {
            const Chart::SeriesId c = w.gateTool()->Contours(k);
            std::vector<QPoint> pixels;
            for (int i = 0; i < 3; ++i) pixels.push_back(w.chart()->pointPixel(c, i).toPoint());
            // The click reaches the contour: the tool reports it as edited.
            QSignalSpy edited(w.gateTool(), &GateTool::OnRegate);
            clickAt(centreOf(pixels));
            ASSERT_EQ(edited.count(), 1);
            EXPECT_EQ(edited.at(0).at(0).toInt(), c);
            EXPECT_EQ(first->link, firstEvents);
            EXPECT_EQ(second->link, secondEvents);
        }
    }
    // Where the scales would bend its edges the polygon is not drawn at all.
    w.SetXY(0, 1);
    w.Control->xlin->setChecked(true);
    w.DrawData();
    EXPECT_EQ(w.gateTool()->ContourCount(), 0);
}

TEST_F(PlotViewGui, TwoWindowsOnOneDataSetEachRegateTheirOwnChild)
{
    ScatterPlotWindow& a = open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    drawPolygon({{500, 400}, {950, 450}, {700, 950}});
    ASSERT_EQ(workspace->Count(), 3);
    TData* one = workspace->GetData(1);
    TData* two = workspace->GetData(2);
    a.DrawData();
    ScatterPlotWindow b(root);
    b.resize(900, 600);
    b.show();
    // Series handles are never reused within a chart: after two redraws the
    // second window's contours carry other handles than the first one's.
    b.DrawData();
    b.DrawData();
    ASSERT_EQ(a.gateTool()->ContourCount(), 2);
    ASSERT_EQ(b.gateTool()->ContourCount(), 2);

    // Pulls vertex 2 of the window's contour of `kid` to (x, y) and reports the edit.
    auto pull = [](ScatterPlotWindow& w, TData* kid, double x, double y) {
        for (int k = 0; k < w.gateTool()->ContourCount(); ++k) {
            const Chart::SeriesId c = w.gateTool()->Contours(k);
            if (w.childOfContour(c) != kid) continue;
            std::vector<double> xs = w.chart()->xValues(c), ys = w.chart()->yValues(c);
            xs[2] = x;
            ys[2] = y;
            w.chart()->setPoints(c, xs, ys);
            emit w.gateTool()->OnRegate(c);
            return true;
        }
        return false;
    };
    const TIntVector oneBefore = one->link;
    ASSERT_TRUE(pull(a, two, 700, 990));
    EXPECT_EQ(two->link, evenOddSelection(*two->gate));
    EXPECT_DOUBLE_EQ(two->gate->cy[2], 990);
    EXPECT_EQ(one->link, oneBefore);

    const TIntVector twoBefore = two->link;
    ASSERT_TRUE(pull(b, one, 300, 950));
    EXPECT_EQ(one->link, evenOddSelection(*one->gate));
    EXPECT_DOUBLE_EQ(one->gate->cy[2], 950);
    EXPECT_NE(one->link, oneBefore);
    EXPECT_EQ(two->link, twoBefore);
    // The gates themselves carry no window's contour.
    EXPECT_EQ(one->gate->anobject, nullptr);
    EXPECT_EQ(two->gate->anobject, nullptr);
}

TEST_F(PlotViewGui, DraggedMarkerSetsTheRangeGate)
{
    ScatterPlotWindow& w = open(root);
    w.SetXY(0, 0);
    w.Control->xlin->setChecked(true);
    w.DrawData();
    w.markersClick();
    ASSERT_TRUE(w.markersVisible());
    const Chart* c = w.chart();
    QWidget* canvas = c->canvas();
    const int y = c->plotArea().center().y();
    const auto [m1, m2] = w.markerPositions();
    const QPoint on1(int(std::nearbyint(c->valueToPixel(ChartAxis::Bottom, m1))), y);
    const QPoint on2(int(std::nearbyint(c->valueToPixel(ChartAxis::Bottom, m2))), y);

    // The cursor tells where a marker can be grabbed.
    QTest::mouseMove(canvas, on2 + QPoint(2, 0));
    EXPECT_EQ(canvas->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(canvas, (on1 + on2) / 2);
    EXPECT_NE(canvas->cursor().shape(), Qt::SizeHorCursor);

    // Marker 1 dragged to the value of LinToLog(200), marker 2 to LinToLog(400).
    auto drag = [&](QPoint from, double to) {
        const QPoint target(int(std::nearbyint(c->valueToPixel(ChartAxis::Bottom, to))), y + 20);
        QTest::mouseMove(canvas, from);
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(canvas, (from + target) / 2);
        QTest::mouseMove(canvas, target);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, target);
    };
    const double lo = LinToLog(200), hi = LinToLog(400);
    drag(on1, lo);
    drag(on2, hi);
    const auto [p1, p2] = w.markerPositions();
    // The drag keeps the grab offset: each marker lands within a pixel of its aim.
    const double pixel = std::fabs(c->pixelToValue(ChartAxis::Bottom, 1) - c->pixelToValue(ChartAxis::Bottom, 0));
    EXPECT_NEAR(p1, lo, 1.5 * pixel);
    EXPECT_NEAR(p2, hi, 1.5 * pixel);
    // No zoom happened on the way, and the chart zooms again afterwards.
    EXPECT_TRUE(c->zoomEnabled());

    w.OneDGateClick();
    ASSERT_EQ(workspace->Count(), 2);
    TData* kid = workspace->GetData(1);
    TIntVector want;
    for (int e = 0; e < root->events(); ++e) {
        const double x = LinToLog(root->data[e][0]);
        if (x >= std::min(p1, p2) && x <= std::max(p1, p2)) want.push_back(e);
    }
    EXPECT_GT(want.size(), 100u);
    EXPECT_EQ(kid->link, want);
}

TEST_F(PlotViewGui, ClickAndRightButtonMakeNoGate)
{
    ScatterPlotWindow& w = open(root);
    QWidget* canvas = w.chart()->canvas();
    const int series = w.chart()->seriesCount();
    // One vertex, then the right button elsewhere; then two vertices with the
    // right button on the second: neither is a region.
    for (const std::vector<QPoint>& pixels : {std::vector<QPoint>{pixel(200, 200), pixel(600, 500)},
                                              std::vector<QPoint>{pixel(200, 200), pixel(600, 500), pixel(600, 500)}}) {
        w.Control->poly->click();
        test::clickPolygon(canvas, pixels);
        EXPECT_EQ(workspace->Count(), 1);
        EXPECT_FALSE(w.Control->poly->isChecked());
        EXPECT_EQ(w.chart()->seriesCount(), series) << "the drawing leaves no contour behind";
    }
    // Three vertices make one.
    drawPolygon({{200, 200}, {600, 250}, {400, 700}});
    EXPECT_EQ(workspace->Count(), 2);
}
