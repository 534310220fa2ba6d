#pragma once
// What stands behind Chart: the series records and the state the files of
// the chart share (Chart.cpp, ChartAxes.cpp, ChartSeries.cpp,
// ChartOverlays.cpp, ChartMouse.cpp, ChartPictures.cpp). Private to the
// chart layer: it includes QCustomPlot.
#include <QColor>
#include <QPoint>
#include <QString>
#include <cmath>
#include <map>
#include <memory>
#include <qcustomplot.h>
#include <vector>

#include "plot/ChartExport.h"
#include "ui/chart/Chart.h"
#include "ui/chart/RasterPointsPlottable.h"

namespace orvala {

namespace chartimpl {

struct SeriesRec {
    Chart::SeriesId id = Chart::NoSeries;
    SeriesKind kind = SeriesKind::Points;
    QCPAbstractPlottable* plottable = nullptr;  // owned by the plot
    QCPErrorBars* errors = nullptr;             // owned by the plot
    SeriesArrays own;                           // lines and bars
    SeriesArrays* a = &own;                     // a point series: its plottable's
    std::vector<double> err;
    qint64 tag = 0;
    QString identifier;
    bool active = true;
    int markSize = 3;
    bool markers = false;
    QColor color = Qt::black;

    RasterPointsPlottable* points() const
    {
        return kind == SeriesKind::Points ? static_cast<RasterPointsPlottable*>(plottable) : nullptr;
    }
};

}  // namespace chartimpl

struct Chart::Impl {
    using SeriesArrays = chartimpl::SeriesArrays;
    using SeriesRec = chartimpl::SeriesRec;

    Chart* q = nullptr;
    QCustomPlot* plot = nullptr;
    QCPTextElement* titleElement = nullptr;
    QCPLayer* overlay = nullptr;
    std::vector<std::unique_ptr<SeriesRec>> series;
    SeriesId nextId = 1;
    bool automatic[4] = {true, true, true, true};

    std::map<int, QCPItemStraightLine*> cursors;
    int nextCursor = 1;
    QCPItemStraightLine* crossV = nullptr;
    QCPItemStraightLine* crossH = nullptr;
    bool crossFollows = false;
    QPointF crossPos;
    QCPItemText* annotation = nullptr;
    QCPItemLine* rubber = nullptr;
    QCPItemRect* zoomRect = nullptr;

    bool zoomEnabled = true;
    bool panEnabled = true;
    bool zooming = false;
    bool panning = false;
    QPoint dragStart;
    QCPRange panX, panY;
    // Views before each zoom step; the automatic flags before the first one.
    ZoomHistory history;
    bool savedAutomatic[4] = {};
    // A right press the chart may answer with its menu: it started with
    // zoom and panning on (no tool had taken the mouse) and did not move.
    bool menuPress = false;
    QPoint menuStart;
    AxisMode tickMode[4] = {AxisMode::Linear, AxisMode::Linear, AxisMode::Linear, AxisMode::Linear};
    // Arrays of the point series removed last, until control returns to
    // the event loop: a rebuild that removes and re-adds its points reuses them.
    SeriesArrays spare;
    bool spareReleaseQueued = false;

    QCPAxis* axis(ChartAxis a) const
    {
        switch (a) {
        case ChartAxis::Bottom: return plot->xAxis;
        case ChartAxis::Left: return plot->yAxis;
        case ChartAxis::Top: return plot->xAxis2;
        case ChartAxis::Right: return plot->yAxis2;
        }
        return plot->xAxis;
    }
    SeriesRec* find(SeriesId id) const
    {
        for (const auto& s : series)
            if (s->id == id)
                return s.get();
        return nullptr;
    }
    SeriesRec& get(SeriesId id) const
    {
        SeriesRec* s = find(id);
        Q_ASSERT_X(s, "Chart", "unknown series handle");
        return *s;
    }
    // Rescales the axes whose range is automatic to the active series.
    void applyAutomatic();
    void changed()
    {
        syncPixelRatio();
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
    // The paint buffers follow the screen's ratio (a window moved to a HiDPI screen).
    void syncPixelRatio()
    {
        const double r = plot->devicePixelRatioF();
        if (r > 0 && std::fabs(plot->bufferDevicePixelRatio() - r) > 1e-9) plot->setBufferDevicePixelRatio(r);
    }
    void setView(const ViewRange& v)
    {
        plot->xAxis->setRange(v.xmin, v.xmax);
        plot->yAxis->setRange(v.ymin, v.ymax);
    }
    // Goes to `after` as one zoom step; false when the history refuses it.
    bool zoomTo(const ViewRange& after);
    void overlayChanged() { overlay->replot(); }
    // Pushes the arrays of a series into its plottable.
    void sync(SeriesRec& s);
    void applyColor(SeriesRec& s);
    void applyMarkers(SeriesRec& s, double size);
    SeriesId add(std::unique_ptr<SeriesRec> rec);

    // Mouse handling of the chart itself: zoom rectangle, panning, clicks on
    // series points. The notifications go out first so that a tool can
    // switch zoom or panning off before the chart acts on the press.
    void press(QMouseEvent* e);
    void move(QMouseEvent* e);
    void release(QMouseEvent* e);
    int pointUnder(const SeriesRec& s, QPointF pos) const;
    void keepSpare(SeriesArrays& arrays);
};

}  // namespace orvala
