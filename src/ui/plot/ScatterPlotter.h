#pragma once
// Pixel-map renderer on a chart: millions of events are counted per pixel of
// the plotting area on the worker pool and shown as one 1-pixel point per
// non-empty pixel, coloured by count (or by the events' colours). Every zoom,
// scroll or undo-zoom remaps from the events.
#include <QObject>
#include <functional>
#include <memory>

#include "plot/PixelMap.h"
#include "ui/chart/Chart.h"

namespace orvala {

class ScatterPlotter : public QObject {
    Q_OBJECT
public:
    // pool must outlive the plotter. Adds its point series to aChart.
    ScatterPlotter(Chart* aChart, TMultiThread* pool, QObject* parent = nullptr);
    ~ScatterPlotter() override;

    // ax, ay (size values each) stay owned by the caller and must live until
    // the next NewData or Disable; colors may be empty. With Un_zoom the axes
    // go to [aminx, amaxx] x [aminy, amaxy], or the data's own range when aminx == amaxx.
    void NewData(const double* ax, const double* ay, ColorSource colors, int size, double aminx, double amaxx,
                 double aminy, double amaxy, bool Un_zoom);
    // Forgets the data and empties the series.
    void Disable();
    // Maps the events onto the current plotting area and plots the result.
    void Remap();

    Chart::SeriesId ser() const { return ser_; }
    const TMapData& map() const { return mapper_.MapInfo; }
    std::function<void(ScatterPlotter*)> OnAfterPlot;

private:
    Chart* chart_;
    Chart::SeriesId ser_ = Chart::NoSeries;
    TMapper mapper_;
    bool UndoZoom = false;
    QList<QMetaObject::Connection> connections_;
};

}  // namespace orvala
