// The rasterised point series: the kernel on its own (against a plain serial
// reference, with and without workers) and the series on a shown chart.
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>
#include <random>

#include "ChartTestMain.h"
#include "parallel/TMultiThread.h"
#include "ui/chart/Chart.h"
#include "ui/chart/PointRaster.h"

using namespace orvala;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

QRgb opaque(uint32_t modelColor)
{
    return qRgb(int(modelColor & 0xFF), int(modelColor >> 8 & 0xFF), int(modelColor >> 16 & 0xFF));
}

// What one serial loop paints: each point in order, its mark clipped, the
// later point over the earlier one.
QImage referenceRaster(const PointRasterInput& in, QSize size)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(0u);
    const int s = in.markSize;
    for (size_t i = 0; i < in.count; ++i) {
        const double px = in.xPixel0 + (in.x[i] - in.xLower) * in.xScale;
        const double py = in.yPixel0 + (in.y[i] - in.yLower) * in.yScale;
        if (!std::isfinite(px) || !std::isfinite(py)) continue;
        const int c0 = int(std::floor(px - (s - 1) / 2.0)), r0 = int(std::floor(py - (s - 1) / 2.0));
        for (int r = r0; r < r0 + s; ++r)
            for (int c = c0; c < c0 + s; ++c)
                if (c >= 0 && c < size.width() && r >= 0 && r < size.height())
                    img.setPixel(c, r, opaque(in.colors[i]));
    }
    return img;
}

}  // namespace

TEST(PointRaster, WorkersPaintWhatOneSerialLoopPaints)
{
    // Many more points than pixels, so marks overlap everywhere and the order
    // between chunks decides most pixels; some fall outside or are not finite.
    const int n = 400'000;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-10, 110);
    std::vector<double> x(n), y(n);
    std::vector<uint32_t> colors(n);
    for (int i = 0; i < n; ++i) {
        x[size_t(i)] = u(rng);
        y[size_t(i)] = u(rng);
        colors[size_t(i)] = uint32_t(i) * 2654435761u & 0xFFFFFF;
    }
    x[17] = NaN;
    y[4711] = Inf;
    x[99999] = -Inf;
    TMultiThread pool(3);
    for (int mark : {1, 2, 3, 6}) {
        SCOPED_TRACE(mark);
        PointRasterInput in;
        in.x = x.data();
        in.y = y.data();
        in.colors = colors.data();
        in.count = size_t(n);
        in.markSize = mark;
        // 0..100 over 97 columns; y upwards over 61 rows.
        in.xPixel0 = 0, in.xLower = 0, in.xScale = 0.97;
        in.yPixel0 = 61, in.yLower = 0, in.yScale = -0.61;
        const QSize size(97, 61);
        const QImage expected = referenceRaster(in, size);
        for (TMultiThread* workers : {static_cast<TMultiThread*>(nullptr), &pool}) {
            PointRaster raster;
            QImage img(size, QImage::Format_ARGB32_Premultiplied);
            img.fill(0x12345678u);  // stale content must not survive
            raster.paint(in, img, workers);
            EXPECT_EQ(img, expected) << (workers ? "on the workers" : "serial");
            // A second paint reuses the layers and gives the same picture.
            raster.paint(in, img, workers);
            EXPECT_EQ(img, expected);
        }
    }
}

TEST(PointRaster, MarksAreClippedSkippedOrPlainColoured)
{
    const std::vector<double> x{0.2, 9.9, 5.5, 20, NaN, 5.5, -1.6}, y{0.5, 9.5, 5.5, 5, 5, Inf, 5.5};
    PointRasterInput in;
    in.x = x.data();
    in.y = y.data();
    in.count = x.size();
    in.plain = qPremultiply(qRgba(0, 0, 255, 255));
    in.markSize = 3;
    QImage img(10, 10, QImage::Format_ARGB32_Premultiplied);
    PointRaster().paint(in, img, nullptr);
    auto marked = [&](int c, int r) { return img.pixel(c, r) == in.plain; };
    // (0.2, 0.5): the part of the square at the corner that lies inside.
    EXPECT_TRUE(marked(0, 0) && marked(1, 0) && marked(0, 1) && marked(1, 1));
    EXPECT_FALSE(marked(2, 0));
    // (9.9, 9.5) at the opposite corner.
    EXPECT_TRUE(marked(9, 9) && marked(8, 8));
    // (5.5, 5.5): exactly columns and rows 4..6.
    for (int r = 3; r <= 7; ++r)
        for (int c = 3; c <= 7; ++c)
            if (c == 3 || c == 7 || r == 3 || r == 7)
                EXPECT_EQ(img.pixel(c, r), 0u) << c << "," << r;
            else
                EXPECT_TRUE(marked(c, r)) << c << "," << r;
    // (-1.6, 5.5): the mark's right column reaches column 0 (floor(-2.6) + 2 = -1): nothing.
    EXPECT_EQ(img.pixel(0, 5), 0u);
    // (20, 5) lies outside, NaN and infinite ones are skipped: nothing else on row 5 right of the centre mark.
    for (int c = 7; c < 10; ++c) EXPECT_EQ(img.pixel(c, 5), 0u);
}

namespace {

// The pixel a point at pixel position p lies in: pixel i spans [i, i+1).
QPoint pixelOf(QPointF p)
{
    return {int(std::floor(p.x())), int(std::floor(p.y()))};
}

// A shown chart on white with fixed ranges 0..100 (x) and 0..50 (y).
struct RasterChart : chart_testing::WithApp {
    RasterChart()
    {
        chart.resize(420, 320);
        chart.setBackgroundColor(Qt::white);
        chart.setAxisRange(ChartAxis::Bottom, 0, 100);
        chart.setAxisRange(ChartAxis::Left, 0, 50);
        chart.show();
        chart.redraw();
        empty = chart.grab().toImage();  // the chart without points: axes, grid, background
    }
    QImage picture()
    {
        chart.redraw();
        return chart.grab().toImage();
    }
    // The values at the centre of pixel (column, row) of the widget, so that
    // the point's pixel does not hang on rounding.
    QPointF valueAt(int column, int row) const
    {
        return {chart.pixelToValue(ChartAxis::Bottom, column + 0.5), chart.pixelToValue(ChartAxis::Left, row + 0.5)};
    }
    Chart chart;
    QImage empty;
};

}  // namespace

TEST(RasterPointSeries, EachPointIsASquareOfItsColourAndNothingElseChanges)
{
    RasterChart f;
    Chart& c = f.chart;
    const QRect area = c.plotArea();
    const QPoint a = area.topLeft() + QPoint(40, 30), b = area.topLeft() + QPoint(90, 70);
    const QPointF va = f.valueAt(a.x(), a.y()), vb = f.valueAt(b.x(), b.y());
    const auto s = c.addPointSeries(3);
    // A point outside the x range and one with a NaN coordinate are not drawn.
    c.setPoints(s, std::vector<double>{va.x(), vb.x(), 130, NaN}, std::vector<double>{va.y(), vb.y(), 25, 25});
    c.setPointColors(s, std::vector<uint32_t>{0x0000FF, 0xFF8000, 0x00FF00, 0x00FF00});
    EXPECT_EQ(pixelOf(c.pointPixel(s, 0)), a);
    const QImage img = f.picture();
    ASSERT_EQ(img.size(), f.empty.size());
    int changed = 0;
    for (int r = 0; r < img.height(); ++r)
        for (int col = 0; col < img.width(); ++col) {
            const QPoint p(col, r);
            const bool inA = std::abs(col - a.x()) <= 1 && std::abs(r - a.y()) <= 1;
            const bool inB = std::abs(col - b.x()) <= 1 && std::abs(r - b.y()) <= 1;
            if (inA)
                EXPECT_EQ(img.pixel(p), qRgb(255, 0, 0)) << col << "," << r;
            else if (inB)
                EXPECT_EQ(img.pixel(p), qRgb(0, 128, 255)) << col << "," << r;
            else
                changed += img.pixel(p) != f.empty.pixel(p);
        }
    EXPECT_EQ(changed, 0) << "pixels outside the two 3x3 marks differ from the empty chart";

    // Fewer colours than points: all in the series colour; mark size 1: one pixel.
    c.setPointColors(s, nullptr, 0);
    c.setSeriesColor(s, QColor(0, 160, 0));
    c.setMarkSize(s, 1);
    const QImage plain = f.picture();
    EXPECT_EQ(plain.pixel(a), qRgb(0, 160, 0));
    EXPECT_EQ(plain.pixel(b), qRgb(0, 160, 0));
    EXPECT_EQ(plain.pixel(a + QPoint(1, 0)), f.empty.pixel(a + QPoint(1, 0)));
    EXPECT_EQ(plain.pixel(a + QPoint(0, -1)), f.empty.pixel(a + QPoint(0, -1)));
}

TEST(RasterPointSeries, LaterPointsCoverEarlierOnesAndReplacedSeriesLeaveNothingBehind)
{
    RasterChart f;
    Chart& c = f.chart;
    const QPoint p = c.plotArea().center();
    const QPointF v = f.valueAt(p.x(), p.y());
    // Many points, so the series is split over the workers; the first and the
    // last land on the same pixel, the rest far from it.
    const int n = 300'000;
    std::vector<double> x(n, 5.0), y(n, 5.0);
    std::vector<uint32_t> colors(n, 0x00FF00);
    x.front() = x.back() = v.x();
    y.front() = y.back() = v.y();
    colors.front() = 0x0000FF;
    colors.back() = 0xFF0000;
    const auto s = c.addPointSeries(1);
    c.setPoints(s, x, y);
    c.setPointColors(s, colors.data(), n);
    EXPECT_EQ(f.picture().pixel(p), qRgb(0, 0, 255));

    // A rebuild: the series goes, a small one comes; the old points are gone.
    c.removeSeries(s);
    const auto t = c.addPointSeries(1);
    c.setPoints(t, std::vector<double>{10}, std::vector<double>{10});
    EXPECT_EQ(c.pointCount(t), 1);
    const QImage img = f.picture();
    EXPECT_EQ(img.pixel(p), f.empty.pixel(p));
    EXPECT_EQ(img.pixel(pixelOf(c.pointPixel(t, 0))), qRgb(0, 0, 0));  // the series colour
}

// A redraw that swaps its arrays with the chart shows the new points and gets
// back the removed series' arrays to fill next time, not a fresh empty pair.
TEST(RasterPointSeries, SwappedPointsAreShownAndTheRemovedSeriesArraysComeBack)
{
    RasterChart f;
    Chart& c = f.chart;
    const QPoint p = c.plotArea().center();
    const QPointF v = f.valueAt(p.x(), p.y());
    std::vector<double> x{v.x(), 1}, y{v.y(), 1};
    const auto s = c.addPointSeries(1);
    c.swapPoints(s, x, y);
    EXPECT_TRUE(x.empty() && y.empty());  // nothing was removed before
    EXPECT_EQ(c.pointsX(s), (std::vector<double>{v.x(), 1}));
    EXPECT_EQ(f.picture().pixel(p), qRgb(0, 0, 0));

    c.removeSeries(s);
    const auto t = c.addPointSeries(1);
    std::vector<double> x2{5}, y2{5};
    c.swapPoints(t, x2, y2);
    EXPECT_EQ(x2, (std::vector<double>{v.x(), 1}));  // the removed series' arrays
    EXPECT_EQ(c.pointsY(t), (std::vector<double>{5}));
    EXPECT_EQ(c.pointCount(t), 1);
    EXPECT_EQ(f.picture().pixel(p), f.empty.pixel(p));
}

TEST(RasterPointSeries, ClicksFindThePointUnderTheMouseAmongMany)
{
    RasterChart f;
    Chart& c = f.chart;
    // 200,000 points in the left third, one alone on the right.
    const int n = 200'000;
    std::vector<double> x(n), y(n);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> ux(0, 30), uy(0, 50);
    for (int i = 0; i < n; ++i) x[size_t(i)] = ux(rng), y[size_t(i)] = uy(rng);
    const int lone = 123'456;
    x[size_t(lone)] = 80;
    y[size_t(lone)] = 25;
    const auto s = c.addPointSeries(3);
    c.setPoints(s, std::move(x), std::move(y));
    c.redraw();
    std::vector<int> clicked;
    QObject::connect(&c, &Chart::seriesPointClicked, [&](Chart::SeriesId id, int index, QMouseEvent*, bool* carryOn) {
        EXPECT_EQ(id, s);
        clicked.push_back(index);
        *carryOn = false;
    });
    const QPointF at = c.pointPixel(s, lone);
    QTest::mouseClick(c.canvas(), Qt::LeftButton, {}, at.toPoint() + QPoint(1, -1));
    ASSERT_EQ(clicked.size(), 1u);
    EXPECT_EQ(clicked[0], lone);
    // Three pixels off the mark (tolerance 2.5 for mark 3): no point.
    QTest::mouseClick(c.canvas(), Qt::LeftButton, {}, at.toPoint() + QPoint(4, 0));
    EXPECT_EQ(clicked.size(), 1u);
    // A point hidden behind a NaN in the other coordinate is never hit.
    c.setPoint(s, lone, 80, NaN);
    QTest::mouseClick(c.canvas(), Qt::LeftButton, {}, at.toPoint());
    EXPECT_EQ(clicked.size(), 1u);
}

TEST(RasterPointSeries, AutomaticRangesSkipNonFiniteValuesAndFollowEdits)
{
    RasterChart f;
    Chart& c = f.chart;
    const auto s = c.addPointSeries();
    c.setPoints(s, std::vector<double>{3, NaN, -2, Inf, 7}, std::vector<double>{10, 1, -Inf, 4, 6});
    c.setAxisAutomatic(ChartAxis::Bottom, true);
    c.setAxisAutomatic(ChartAxis::Left, true);
    c.redraw();
    EXPECT_DOUBLE_EQ(c.axisMinimum(ChartAxis::Bottom), -2);
    EXPECT_DOUBLE_EQ(c.axisMaximum(ChartAxis::Bottom), 7);
    EXPECT_DOUBLE_EQ(c.axisMinimum(ChartAxis::Left), 1);
    EXPECT_DOUBLE_EQ(c.axisMaximum(ChartAxis::Left), 10);
    // The ranges are kept between paints; an edit must renew them.
    c.setPoint(s, 4, 50, 60);
    c.redraw();
    EXPECT_DOUBLE_EQ(c.axisMaximum(ChartAxis::Bottom), 50);
    EXPECT_DOUBLE_EQ(c.axisMaximum(ChartAxis::Left), 60);
    c.addPoint(s, -40, 0);
    c.redraw();
    EXPECT_DOUBLE_EQ(c.axisMinimum(ChartAxis::Bottom), -40);
    EXPECT_DOUBLE_EQ(c.axisMinimum(ChartAxis::Left), 0);
}

TEST(RasterPointSeries, LabelsAreDrawnBesideTheirPointsWhileVisible)
{
    RasterChart f;
    Chart& c = f.chart;
    const auto s = c.addPointSeries(3);
    c.setPoints(s, std::vector<double>{30, 60}, std::vector<double>{25, 25});
    const QPoint p = c.pointPixel(s, 0).toPoint();
    // Ink in a box to the right of the first point, over what a point-only picture shows.
    auto ink = [&](const QImage& img, const QImage& without) {
        int differing = 0;
        for (int r = p.y() - 8; r <= p.y() + 8; ++r)
            for (int col = p.x() + 3; col <= p.x() + 60; ++col)
                differing += img.pixel(col, r) != without.pixel(col, r);
        return differing;
    };
    const QImage unlabelled = f.picture();
    EXPECT_TRUE(c.labelsVisible(s));
    c.setPointLabel(s, 0, "CD4+");
    const QImage labelled = f.picture();
    EXPECT_GT(ink(labelled, unlabelled), 10);
    c.setLabelsVisible(s, false);
    EXPECT_FALSE(c.labelsVisible(s));
    EXPECT_EQ(ink(f.picture(), unlabelled), 0);
    EXPECT_EQ(c.pointLabel(s, 0), "CD4+");  // hidden, not forgotten
    c.setLabelsVisible(s, true);
    c.setPointLabel(s, 0, "");
    EXPECT_EQ(ink(f.picture(), unlabelled), 0);
}
