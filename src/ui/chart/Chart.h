#pragma once
// The program's one chart: a thin layer over QCustomPlot offering exactly
// what the windows use. No other code includes QCustomPlot; windows hold a
// Chart and address its series through integer handles.
#include <QColor>
#include <QCursor>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "geometry/Scales.h"

class QMouseEvent;
class QPaintDevice;

namespace orvala {

enum class ChartAxis { Bottom, Left, Top, Right };
enum class SeriesKind { Points, Line, FastLine, Bar, ErrorBar };

class Chart : public QWidget {
    Q_OBJECT
public:
    // A series handle: stable while the series exists, never reused.
    using SeriesId = int;
    static constexpr SeriesId NoSeries = -1;

    explicit Chart(QWidget* parent = nullptr);
    ~Chart() override;

    // --- The chart ---
    void setTitle(const QString& text);
    QString title() const;
    void setLegendVisible(bool visible);
    bool legendVisible() const;
    void setBackgroundColor(const QColor& color);
    // Vertical gradient from `top` to `bottom` behind the whole chart.
    void setBackgroundGradient(const QColor& top, const QColor& bottom);
    // Walls (the plotting area's frame) and the bottom and left axes.
    void setAxesVisible(bool visible);
    // Position and size of the plotting area in pixels of this widget.
    QRect plotArea() const;
    // Applies automatic ranges and repaints now.
    void redraw();

    // --- Axes ---
    void setAxisVisible(ChartAxis axis, bool visible);
    void setAxisTitle(ChartAxis axis, const QString& text);
    QString axisTitle(ChartAxis axis) const;
    // A fixed range; switches the axis' automatic scaling off.
    void setAxisRange(ChartAxis axis, double minimum, double maximum);
    // Automatic: the range follows the active series' data on every redraw,
    // gate contours included; windows that draw gates fix their ranges.
    void setAxisAutomatic(ChartAxis axis, bool automatic);
    bool axisAutomatic(ChartAxis axis) const;
    // The range currently visible (after zoom and scroll).
    double axisMinimum(ChartAxis axis) const;
    double axisMaximum(ChartAxis axis) const;
    // Value <-> pixel position along the axis, in pixels of this widget;
    // meaningful once the chart has been laid out (shown and drawn).
    double valueToPixel(ChartAxis axis, double value) const;
    double pixelToValue(ChartAxis axis, double pixel) const;
    // How the axis is ticked. Linear: plain ticks of the plotted values.
    // LinLog and LogLin: the plotted values are that display scale of the
    // data, and the labels show the linear data values at decades where the
    // scale plots them, with minor ticks; the plotted coordinates do not change.
    void setAxisTickScale(ChartAxis axis, AxisMode mode);
    AxisMode axisTickScale(ChartAxis axis) const;
    // Positions and texts of the axis' labelled ticks as last drawn.
    std::vector<std::pair<double, QString>> axisTickLabels(ChartAxis axis) const;

    // --- Pictures ---
    // Draws the chart laid out at `logical` pixels, scaled by `scale` and
    // shifted by `offset` (device units), on device (an image, SVG, PDF or a
    // printer). Points are rasterised at the resulting resolution.
    void renderTo(QPaintDevice* device, QSize logical, double scale = 1.0, QPointF offset = {});
    // The chart as an image of logical * scale pixels on white.
    QImage toImage(QSize logical, double scale = 1.0);

    // --- The list of series ---
    // Square marks of `markSize` pixels without outline, one colour per point,
    // x and y in the order given; a later point covers an earlier one. Points
    // with a NaN or infinite coordinate are not drawn. Built for millions of
    // points: they are rasterised on worker threads in one pass per paint.
    SeriesId addPointSeries(int markSize = 3);
    // Points joined in the order given (x need not be sorted).
    SeriesId addLineSeries(const QString& title = {}, const QColor& color = Qt::black, int width = 1);
    // Many points joined by a plain line, drawn in x order.
    SeriesId addFastLineSeries(const QString& title = {}, const QColor& color = Qt::black);
    SeriesId addBarSeries(const QString& title = {}, const QColor& color = Qt::gray);
    // Bars with an error value per point drawn as whiskers.
    SeriesId addErrorBarSeries(const QString& title = {}, const QColor& color = Qt::gray);
    void removeSeries(SeriesId id);
    void clearSeries();
    int seriesCount() const;
    SeriesId seriesAt(int index) const;  // in the order the series were added
    int seriesIndex(SeriesId id) const;  // -1 when not in the list
    bool hasSeries(SeriesId id) const;
    SeriesKind seriesKind(SeriesId id) const;

    // --- Any series ---
    void setSeriesActive(SeriesId id, bool active);  // inactive: hidden, out of automatic ranges
    bool seriesActive(SeriesId id) const;
    void setSeriesTag(SeriesId id, qint64 tag);
    qint64 seriesTag(SeriesId id) const;
    void setSeriesIdentifier(SeriesId id, const QString& identifier);
    QString seriesIdentifier(SeriesId id) const;
    void setSeriesTitle(SeriesId id, const QString& title);
    QString seriesTitle(SeriesId id) const;
    void setSeriesColor(SeriesId id, const QColor& color);
    QColor seriesColor(SeriesId id) const;

    int pointCount(SeriesId id) const;
    QPointF point(SeriesId id, int index) const;
    std::vector<double> xValues(SeriesId id) const;
    std::vector<double> yValues(SeriesId id) const;
    void addPoint(SeriesId id, double x, double y);
    void insertPoint(SeriesId id, int index, double x, double y);
    void setPoint(SeriesId id, int index, double x, double y);
    void clearPoints(SeriesId id);
    // Replaces the x and y arrays at once (and drops colours, labels, errors).
    void setPoints(SeriesId id, const double* x, const double* y, int count);
    void setPoints(SeriesId id, const std::vector<double>& x, const std::vector<double>& y);
    // The same, taking the arrays over without a copy.
    void setPoints(SeriesId id, std::vector<double>&& x, std::vector<double>&& y);
    // Takes x and y over without a copy, like the above, and hands back in x
    // and y the arrays of the point series removed last (or empty ones), for
    // the caller's next fill: a window that redraws millions of points then
    // neither copies them nor faults in fresh pages.
    void swapPoints(SeriesId id, std::vector<double>& x, std::vector<double>& y);
    // The x and y arrays of a series, read in place.
    const std::vector<double>& pointsX(SeriesId id) const;
    const std::vector<double>& pointsY(SeriesId id) const;
    // Pixel position of a point, in pixels of this widget.
    QPointF pointPixel(SeriesId id, int index) const;

    // --- Point series ---
    // One colour per point, 0x00BBGGRR as the data model keeps them.
    // Fewer colours than points: every point in the series colour.
    void setPointColors(SeriesId id, const uint32_t* colors, int count);
    void setPointColors(SeriesId id, std::vector<uint32_t>&& colors);
    void setPointColor(SeriesId id, int index, uint32_t color);
    uint32_t pointColor(SeriesId id, int index) const;
    // A text drawn to the right of the point, in the series colour, while the
    // series' labels are visible; an empty label removes it.
    void setPointLabel(SeriesId id, int index, const QString& label);
    QString pointLabel(SeriesId id, int index) const;
    // Labels are visible by default; hiding keeps them.
    void setLabelsVisible(SeriesId id, bool visible);
    bool labelsVisible(SeriesId id) const;
    void setMarkSize(SeriesId id, int pixels);

    // --- Line series ---
    void setLineWidth(SeriesId id, int width);
    void setVertexMarkers(SeriesId id, bool visible, int size = 6);
    bool vertexMarkers(SeriesId id) const;

    // --- Bars and error bars ---
    void setBarPen(SeriesId id, const QPen& pen);
    void setPointError(SeriesId id, int index, double error);
    // Every point's error at once (missing entries are 0, extra ones dropped):
    // one update for a whole curve instead of one per point.
    void setPointErrors(SeriesId id, std::vector<double> errors);
    double pointError(SeriesId id, int index) const;
    void setErrorWidth(SeriesId id, int pixels);

    // --- Tools ---
    // A vertical line across the plotting area at value x.
    int addCursorLine(double x, Qt::PenStyle style = Qt::DashLine, const QColor& color = Qt::red);
    void setCursorLinePosition(int cursor, double x);
    double cursorLinePosition(int cursor) const;
    void setCursorLineStyle(int cursor, Qt::PenStyle style);
    void removeCursorLine(int cursor);
    void setCrossHairVisible(bool visible);
    bool crossHairVisible() const;
    void setCrossHairFollowsMouse(bool follow);
    void setCrossHairPosition(double x, double y);
    QPointF crossHairPosition() const;
    // A text box at a pixel position of this widget.
    void setAnnotation(const QString& text, QPoint position = QPoint(10, 10));
    void setAnnotationVisible(bool visible);
    QString annotationText() const;
    bool annotationVisible() const;
    // A thin line drawn over everything and repainted on its own, for the
    // rubber lines of the gate tools; clearOverlayLine removes it.
    void setOverlayLine(QPointF from, QPointF to, const QColor& color = Qt::black);
    void clearOverlayLine();

    // --- Zoom and panning ---
    // Left drag to the right and down zooms into the rectangle, to the left
    // undoes the zoom; right drag pans.
    void setZoomEnabled(bool enabled);
    bool zoomEnabled() const;
    void setPanEnabled(bool enabled);
    bool panEnabled() const;
    void setZoomPen(const QPen& pen);
    // Back to the view before the first zoom (and its automatic ranges);
    // with no zoom recorded, back to automatic ranges.
    void undoZoom();
    // One zoom step back; the first step back is undoZoom.
    void zoomBack();
    bool canUndoZoom() const;
    // Zooms about the centre of the view: factor < 1 in, > 1 out. False when
    // the view would not change or would be unusable (nothing recorded).
    bool zoomBy(double factor);

    // The widget that receives the mouse; its pixels are this widget's.
    QWidget* canvas() const;
    void setCanvasCursor(const QCursor& cursor);
    QCursor canvasCursor() const;

signals:
    void scrolled();
    void zoomed();
    void undoZoomed();
    void afterDraw();
    void mouseDown(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);
    void mouseUp(QMouseEvent* event);
    // A press on a point of a series; set *carryOn to false to keep the
    // chart from starting its own zoom or pan with this press.
    void seriesPointClicked(Chart::SeriesId id, int index, QMouseEvent* event, bool* carryOn);
    void axisClicked(ChartAxis axis, QMouseEvent* event);
    // A right click (press and release without dragging) that no tool took;
    // globalPos is where the menu goes.
    void contextMenuRequested(QPoint globalPos);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace orvala
