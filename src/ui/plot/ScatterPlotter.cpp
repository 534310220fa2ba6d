#include "ScatterPlotter.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "numerics/VectorOps.h"

namespace orvala {

ScatterPlotter::ScatterPlotter(Chart* aChart, TMultiThread* pool, QObject* parent)
    : QObject(parent), chart_(aChart), mapper_(pool)
{
    ser_ = chart_->addPointSeries(1);
    connections_ << connect(chart_, &Chart::zoomed, this, [this] {
        UndoZoom = false;
        Remap();
    });
    connections_ << connect(chart_, &Chart::scrolled, this, [this] {
        UndoZoom = false;
        Remap();
    });
    connections_ << connect(chart_, &Chart::undoZoomed, this, [this] {
        UndoZoom = true;
        Remap();
    });
}

ScatterPlotter::~ScatterPlotter()
{
    for (const auto& c : connections_) disconnect(c);
}

void ScatterPlotter::NewData(const double* ax, const double* ay, ColorSource colors, int size, double aminx,
                             double amaxx, double aminy, double amaxy, bool Un_zoom)
{
    mapper_.xx = ax;
    mapper_.yy = ay;
    mapper_.DataSize = ax && ay ? std::max(size, 0) : 0;
    mapper_.DataColor = colors;
    if (mapper_.DataSize == 0) {
        chart_->clearPoints(ser_);
        chart_->redraw();
        return;
    }
    TMapData& mi = mapper_.MapInfo;
    if (Un_zoom) {
        if (amaxx != aminx) {
            mi.minx = aminx, mi.maxx = amaxx, mi.miny = aminy, mi.maxy = amaxy;
        } else {
            // NaN or infinite events are not drawn and must not spoil the range.
            mi.minx = mi.maxx = mi.miny = mi.maxy = 0;
            FiniteRange(ax, size_t(mapper_.DataSize), mi.minx, mi.maxx);
            FiniteRange(ay, size_t(mapper_.DataSize), mi.miny, mi.maxy);
        }
        chart_->setAxisRange(ChartAxis::Left, mi.miny, mi.maxy);
        chart_->setAxisRange(ChartAxis::Bottom, mi.minx, mi.maxx);
    }
    UndoZoom = Un_zoom;
    Remap();
}

void ScatterPlotter::Disable()
{
    mapper_.xx = mapper_.yy = nullptr;
    mapper_.DataSize = 0;
    mapper_.DataColor = {};
    mapper_.MapInfo.Clear();
    chart_->clearPoints(ser_);
    chart_->redraw();
}

void ScatterPlotter::Remap()
{
    if (mapper_.DataSize == 0 || !mapper_.xx) return;
    const QRect area = chart_->plotArea();
    // One map cell per device pixel: on a HiDPI screen the map is as fine as the screen.
    const double ratio = std::max(1.0, chart_->devicePixelRatioF());
    const int W = int(std::ceil(area.width() * ratio)), H = int(std::ceil(area.height() * ratio));
    if (W <= 0 || H <= 0) return;
    double cminx = chart_->axisMinimum(ChartAxis::Bottom), cmaxx = chart_->axisMaximum(ChartAxis::Bottom);
    double cminy = chart_->axisMinimum(ChartAxis::Left), cmaxy = chart_->axisMaximum(ChartAxis::Left);
    const TMapData& mi = mapper_.MapInfo;
    if (cmaxx == cminx || cmaxy == cminy || chart_->seriesCount() == 0 || UndoZoom) {
        cminx = mi.minx, cmaxx = mi.maxx, cminy = mi.miny, cmaxy = mi.maxy;
        UndoZoom = false;
    }
    if (cmaxx == cminx || cmaxy == cminy) return;
    const std::vector<MapPoint> pts = RenderPixelMap(mapper_, W, H, cminx, cmaxx, cminy, cmaxy);
    std::vector<double> x(pts.size()), y(pts.size());
    std::vector<uint32_t> c(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) x[i] = pts[i].x, y[i] = pts[i].y, c[i] = pts[i].color;
    chart_->setSeriesActive(ser_, false);
    chart_->setPoints(ser_, std::move(x), std::move(y));
    chart_->setPointColors(ser_, std::move(c));
    chart_->setSeriesActive(ser_, true);
    if (OnAfterPlot) OnAfterPlot(this);
    chart_->redraw();
}

}  // namespace orvala
