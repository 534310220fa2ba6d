#pragma once
// Chart tools for gates: drawing polygon contours on a Chart with the mouse,
// then selecting, moving, reshaping, rotating and scaling them. A contour is
// a line series whose identifier is "$gate" and whose points are in plotted
// (display-scaled) values, the last point a closing copy of the first.
#include <QCursor>
#include <QObject>
#include <QPointF>
#include <memory>
#include <optional>
#include <vector>

#include "geometry/GateGeometry.h"
#include "ui/chart/Chart.h"

class QMouseEvent;

namespace orvala {

// Pixel <-> value conversion through a chart's bottom and left axes.
class ChartAxisMapper : public AxisMapper {
public:
    explicit ChartAxisMapper(const Chart* chart) : chart_(chart) {}
    double xToPixel(double v) const override { return chart_->valueToPixel(ChartAxis::Bottom, v); }
    double yToPixel(double v) const override { return chart_->valueToPixel(ChartAxis::Left, v); }
    double pixelToX(double p) const override { return chart_->pixelToValue(ChartAxis::Bottom, p); }
    double pixelToY(double p) const override { return chart_->pixelToValue(ChartAxis::Left, p); }

private:
    const Chart* chart_;
};

// Points of a series as geometry, and back.
std::vector<DPoint> seriesPoints(const Chart& chart, Chart::SeriesId id);
void setSeriesPoints(Chart& chart, Chart::SeriesId id, const std::vector<DPoint>& pts);

// Edit controller of one contour. While it exists the chart's zoom and
// panning are off; they come back as they were when it is destroyed.
class TeeSelectPolygon {
public:
    TeeSelectPolygon(Chart* img, Chart::SeriesId ser);
    ~TeeSelectPolygon();
    TeeSelectPolygon(const TeeSelectPolygon&) = delete;
    TeeSelectPolygon& operator=(const TeeSelectPolygon&) = delete;

    bool IsIn(double x, double y);
    Chart::SeriesId Getaser() const { return ser_; }
    qint64 Tag() const { return Parent->seriesTag(ser_); }

    void MouseDown(Qt::MouseButton button, QPointF pos);
    void MouseMove(QPointF pos);
    void MouseUp();

    Chart* Parent;  // not owned; null once the chart is gone
    int MovingVertex = -1;
    bool chartzoom = false, Panning = false;
    bool Moving = false, Rotating = false;
    double mx = 0, my = 0, dmx = 0, dmy = 0;

private:
    void load();
    void store();
    Chart::SeriesId ser_;
    ChartAxisMapper map_;
    std::vector<DPoint> pts_;
    TeePoly Pgon;
};

// Contour manager of one chart.
class GateTool : public QObject {
    Q_OBJECT
public:
    static inline const QString GateIdentifier = QStringLiteral("$gate");

    explicit GateTool(Chart* aChart, QObject* parent = nullptr);
    ~GateTool() override;

    // Moves the tool to another chart (or none).
    void setChart(Chart* chart);
    Chart* chart() const { return fChart; }
    // Drawing mode: the next presses draw a new contour.
    void setGenesis(bool v);
    bool Genesis() const { return fGenesis; }

    // A new, empty contour series on the chart.
    Chart::SeriesId CreateContour();
    void Clear();
    void DeleteContours();
    void EndContourDrawing();
    int ContourCount() const;
    Chart::SeriesId Contours(int i) const;
    bool isContour(Chart::SeriesId id) const;
    // The selected contour (under the mouse), or NoSeries.
    Chart::SeriesId selectedContour() const;
    // True when the mouse pixel (x, y) is over the contour.
    bool ContourHit(double x, double y, Chart::SeriesId contour) const;

    bool Disable = false;
    Chart::SeriesId Contour = Chart::NoSeries;
    bool DrawingGate = false;
    bool buttondown = false;
    std::unique_ptr<TeeSelectPolygon> PolygonTool;
    int mousex = -1, mousey = -1;
    std::optional<qint64> LastTag;
    std::vector<Chart::SeriesId> ActiveContours;

signals:
    void OnAnnotation(orvala::GateTool* sender, orvala::Chart::SeriesId contour);
    void OnAnnotationLeave();
    void OnRegate(orvala::Chart::SeriesId ser);
    void OnEndGateDrawing(orvala::Chart::SeriesId contour);

private:
    void mouseDown(QMouseEvent* e);
    void mouseMove(QMouseEvent* e);
    void mouseUp(QMouseEvent* e);
    void reevaluate(QPointF pos);

    Chart* fChart = nullptr;
    bool fGenesis = false;
    QCursor chartcursor;
    QList<QMetaObject::Connection> connections_;
};

}  // namespace orvala
