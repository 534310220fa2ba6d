#include "ui/chart/Chart.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <map>
#include <qcustomplot.h>

#include "plot/ChartBars.h"
#include "plot/ChartExport.h"
#include "plot/DecadeTicks.h"
#include "ui/chart/PointRaster.h"

namespace orvala {

namespace {

uint32_t toModelColor(const QColor& c)
{
    return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

QVector<double> toQVector(const std::vector<double>& v)
{
    return QVector<double>(v.begin(), v.end());
}

// The per-point arrays of a series; a point series keeps them in its plottable.
struct SeriesArrays {
    std::vector<double> x, y;
    std::vector<uint32_t> colors;  // 0x00BBGGRR, used once there is one per point
    std::map<int, QString> labels;
};

// Square marks without outline, each in its own colour, in the order given.
// QCPGraph would sort by x, has one pen for all points and costs a painter
// call per point; here the marks are written into one image on the chart's
// workers and the image is drawn with one call.
class RasterPointsPlottable : public QCPAbstractPlottable {
public:
    RasterPointsPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPAbstractPlottable(keyAxis, valueAxis) {}

    SeriesArrays& arrays() { return arrays_; }
    // Call after any change of x or y: the data ranges are found again when asked for.
    void dataChanged() { rangesValid_ = false; }
    void setMarkSize(int pixels) { markSize_ = pixels; }
    void setPlainColor(const QColor& color) { plain_ = color; }
    void setLabelsVisible(bool visible) { labelsVisible_ = visible; }
    bool labelsVisible() const { return labelsVisible_; }

    // Hits are found by the chart on a press; QCustomPlot's own selection is not used.
    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& foundRange, QCP::SignDomain) const override;
    QCPRange getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const override;

protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

private:
    void updateRanges() const;

    SeriesArrays arrays_;
    int markSize_ = 3;
    QColor plain_ = Qt::black;
    bool labelsVisible_ = true;
    // Automatic axes ask for the ranges on every replot: scan the data once per change.
    mutable bool rangesValid_ = false;
    mutable bool xFound_ = false, yFound_ = false;
    mutable QCPRange xRange_, yRange_;
    PointRaster raster_;
    QImage image_;  // kept between paints
};

void RasterPointsPlottable::updateRanges() const
{
    if (rangesValid_) return;
    const size_t n = std::min(arrays_.x.size(), arrays_.y.size());
    double lo = 0, hi = 0;
    xFound_ = finiteRange(arrays_.x.data(), n, lo, hi, &chartPool());
    xRange_ = QCPRange(lo, hi);
    yFound_ = finiteRange(arrays_.y.data(), n, lo, hi, &chartPool());
    yRange_ = QCPRange(lo, hi);
    rangesValid_ = true;
}

QCPRange RasterPointsPlottable::getKeyRange(bool& foundRange, QCP::SignDomain) const
{
    updateRanges();
    foundRange = xFound_;
    return xRange_;
}

QCPRange RasterPointsPlottable::getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const
{
    updateRanges();
    foundRange = yFound_;
    return yRange_;
}

void RasterPointsPlottable::draw(QCPPainter* painter)
{
    QCPAxis* kx = keyAxis();
    QCPAxis* vy = valueAxis();
    const QRect area = clipRect();
    const size_t n = std::min(arrays_.x.size(), arrays_.y.size());
    if (!kx || !vy || area.isEmpty() || n == 0) return;
    // The chart's axes are always linear (it offers no logarithmic ones): one
    // multiply-add per coordinate instead of a full axis conversion per point.
    Q_ASSERT(kx->scaleType() == QCPAxis::stLinear && vy->scaleType() == QCPAxis::stLinear);
    const QCPRange xr = kx->range(), yr = vy->range();
    // Device pixels per layout pixel: the screen's ratio on a HiDPI screen,
    // times the painter's scale when a picture is written at a resolution.
    double s = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QTransform& tf = painter->transform();
    if (tf.type() <= QTransform::TxScale) s *= std::fabs(tf.m11());
    if (!(s > 0) || !std::isfinite(s)) s = 1;
    PointRasterInput in;
    in.x = arrays_.x.data();
    in.y = arrays_.y.data();
    in.colors = arrays_.colors.size() >= n ? arrays_.colors.data() : nullptr;
    in.count = n;
    in.plain = qPremultiply(plain_.rgba());
    // A dot of size 1 is the finest the device shows (one device pixel, as
    // the pixel map draws); larger dots keep their size on screen.
    in.markSize = markSize_ <= 1 ? 1 : std::max(1, int(std::nearbyint(markSize_ * s)));
    const double xPixel0 = kx->coordToPixel(xr.lower) - area.left();
    const double yPixel0 = vy->coordToPixel(yr.lower) - area.top();
    const double xScale = (kx->coordToPixel(xr.upper) - kx->coordToPixel(xr.lower)) / xr.size();
    const double yScale = (vy->coordToPixel(yr.upper) - vy->coordToPixel(yr.lower)) / yr.size();
    if (!std::isfinite(xScale) || !std::isfinite(yScale)) return;
    in.xPixel0 = xPixel0 * s;
    in.xLower = xr.lower;
    in.xScale = xScale * s;
    in.yPixel0 = yPixel0 * s;
    in.yLower = yr.lower;
    in.yScale = yScale * s;
    const QSize device(int(std::ceil(area.width() * s)), int(std::ceil(area.height() * s)));
    if (image_.size() != device) image_ = QImage(device, QImage::Format_ARGB32_Premultiplied);
    raster_.paint(in, image_, &chartPool());
    image_.setDevicePixelRatio(s);
    // QCPPainter shifts antialiased painting by half a pixel: the image must land on whole pixels.
    painter->setAntialiasing(false);
    painter->drawImage(QRectF(area.topLeft(), QSizeF(area.size())), image_);

    if (!labelsVisible_ || arrays_.labels.empty()) return;
    // Text to the right of the mark, vertically centred on the point.
    painter->setPen(QPen(plain_));
    painter->setFont(parentPlot()->font());
    const QFontMetricsF metrics(painter->font());
    const double dx = in.markSize / s / 2.0 + 2, dy = (metrics.ascent() - metrics.descent()) / 2;
    for (const auto& [index, text] : arrays_.labels) {
        if (index < 0 || size_t(index) >= n || text.isEmpty()) continue;
        const double px = area.left() + xPixel0 + (arrays_.x[size_t(index)] - in.xLower) * xScale;
        const double py = area.top() + yPixel0 + (arrays_.y[size_t(index)] - in.yLower) * yScale;
        if (!(px >= area.left() && px < area.right() + 1 && py >= area.top() && py < area.bottom() + 1)) continue;
        painter->drawText(QPointF(px + dx, py + dy), text);
    }
}

void RasterPointsPlottable::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const
{
    const QPointF c = rect.center();
    painter->fillRect(QRectF(c.x() - 3, c.y() - 3, 6, 6), plain_);
}

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

// Copies n values into dst on the chart's workers. A point series removed
// just before left its arrays in spare: a window rebuilding its ten million
// points reuses them instead of faulting in fresh pages for every array.
template <class T>
void assignValues(std::vector<T>& dst, const T* src, size_t n, std::vector<T>* spare)
{
    if (spare && dst.capacity() < n && spare->capacity() >= n) dst.swap(*spare);
    dst.resize(n);
    parallelCopy(dst.data(), src, n * sizeof(T), &chartPool());
}

// Ticks of an axis whose plotted values are a display scale of the data:
// labels in data units at decades. The axis stays linear in plotted units.
class DecadeAxisTicker : public QCPAxisTicker {
public:
    DecadeAxisTicker(QCPAxis* axis, AxisMode mode) : axis_(axis), mode_(mode) {}
    void generate(const QCPRange& range, const QLocale&, QChar, int, QVector<double>& ticks,
                  QVector<double>* subTicks, QVector<QString>* tickLabels) override
    {
        // Room for a label: wider along a horizontal axis, where labels sit side by side.
        const bool horizontal = axis_->orientation() == Qt::Horizontal;
        const QFontMetrics fm(axis_->tickLabelFont());
        const double labelPx = horizontal ? fm.horizontalAdvance(QStringLiteral("-10000")) + 8 : fm.height() * 1.6;
        const double lengthPx = std::max(1, axis_->axisRect() ? (horizontal ? axis_->axisRect()->width()
                                                                             : axis_->axisRect()->height())
                                                              : 1);
        const AxisTicks t = decadeTicks(mode_, range.lower, range.upper, range.size() * labelPx / lengthPx);
        ticks = QVector<double>(t.major.begin(), t.major.end());
        if (subTicks) *subTicks = QVector<double>(t.minor.begin(), t.minor.end());
        if (tickLabels) {
            tickLabels->clear();
            for (const std::string& l : t.labels) tickLabels->append(QString::fromStdString(l));
        }
    }

private:
    QCPAxis* axis_;
    AxisMode mode_;
};

ViewRange viewOf(QCustomPlot* p)
{
    return {p->xAxis->range().lower, p->xAxis->range().upper, p->yAxis->range().lower, p->yAxis->range().upper};
}

}  // namespace

struct Chart::Impl {
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
    void applyAutomatic()
    {
        for (int a = 0; a < 4; ++a) {
            if (!automatic[a])
                continue;
            QCPAxis* ax = axis(ChartAxis(a));
            if (ax->plottables().isEmpty())
                continue;
            ax->rescale(true);
        }
    }
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
    bool zoomTo(const ViewRange& after)
    {
        const bool first = !history.canUndo();
        if (!history.push(viewOf(plot), after)) return false;
        if (first)
            for (int a = 0; a < 4; ++a) savedAutomatic[a] = automatic[a];
        setView(after);
        automatic[int(ChartAxis::Bottom)] = automatic[int(ChartAxis::Left)] = false;
        changed();
        emit q->zoomed();
        return true;
    }
    void overlayChanged() { overlay->replot(); }
    // Pushes the arrays of a series into its plottable.
    void sync(SeriesRec& s)
    {
        const size_t n = std::min(s.a->x.size(), s.a->y.size());
        s.a->x.resize(n);
        s.a->y.resize(n);
        switch (s.kind) {
        case SeriesKind::Points:
            s.points()->dataChanged();  // draws straight from its arrays
            break;
        case SeriesKind::Line:
            static_cast<QCPCurve*>(s.plottable)->setData(toQVector(s.a->x), toQVector(s.a->y));
            break;
        case SeriesKind::FastLine:
            static_cast<QCPGraph*>(s.plottable)->setData(toQVector(s.a->x), toQVector(s.a->y));
            break;
        case SeriesKind::Bar:
        case SeriesKind::ErrorBar:
            static_cast<QCPBars*>(s.plottable)->setData(toQVector(s.a->x), toQVector(s.a->y));
            static_cast<QCPBars*>(s.plottable)->setWidth(BarWidth(s.a->x));
            if (s.errors) {
                s.err.resize(n, 0.0);
                s.errors->setData(toQVector(s.err));
            }
            break;
        }
        changed();
    }
    void applyColor(SeriesRec& s)
    {
        switch (s.kind) {
        case SeriesKind::Points:
            s.points()->setPlainColor(s.color);
            break;
        case SeriesKind::Line: {
            auto* c = static_cast<QCPCurve*>(s.plottable);
            QPen pen = c->pen();
            pen.setColor(s.color);
            c->setPen(pen);
            applyMarkers(s, c->scatterStyle().size());
            break;
        }
        case SeriesKind::FastLine:
            s.plottable->setPen(QPen(s.color));
            break;
        case SeriesKind::Bar:
        case SeriesKind::ErrorBar:
            s.plottable->setBrush(s.color);
            break;
        }
    }
    void applyMarkers(SeriesRec& s, double size)
    {
        auto* c = static_cast<QCPCurve*>(s.plottable);
        if (s.markers)
            c->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, s.color, size));
        else
            c->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone, size));
    }
    SeriesId add(std::unique_ptr<SeriesRec> rec)
    {
        rec->id = nextId++;
        const SeriesId id = rec->id;
        series.push_back(std::move(rec));
        changed();
        return id;
    }

    // Mouse handling of the chart itself: zoom rectangle, panning, clicks on
    // series points. The notifications go out first so that a tool can
    // switch zoom or panning off before the chart acts on the press.
    void press(QMouseEvent* e);
    void move(QMouseEvent* e);
    void release(QMouseEvent* e);
    int pointUnder(const SeriesRec& s, QPointF pos) const;
    void keepSpare(SeriesArrays& arrays);
};

void Chart::Impl::keepSpare(SeriesArrays& arrays)
{
    auto keepLarger = [](auto& kept, auto& offered) {
        if (offered.capacity() > kept.capacity()) kept.swap(offered);
    };
    keepLarger(spare.x, arrays.x);
    keepLarger(spare.y, arrays.y);
    keepLarger(spare.colors, arrays.colors);
    if (spareReleaseQueued) return;
    spareReleaseQueued = true;
    QTimer::singleShot(0, q, [this] {
        spare = SeriesArrays();
        spareReleaseQueued = false;
    });
}

int Chart::Impl::pointUnder(const SeriesRec& s, QPointF pos) const
{
    if (!s.active || (s.kind != SeriesKind::Points && s.kind != SeriesKind::Line))
        return -1;
    const double tol = s.kind == SeriesKind::Points ? std::max(s.markSize, 2) / 2.0 + 1 : 4;
    // Ten million points are scanned on a press: first a compare against the
    // values of a box a pixel wider than the tolerance, the exact pixel test
    // only for the few inside.
    QCPAxis* kx = plot->xAxis;
    QCPAxis* vy = plot->yAxis;
    const double xa = kx->pixelToCoord(pos.x() - tol - 1), xb = kx->pixelToCoord(pos.x() + tol + 1);
    const double ya = vy->pixelToCoord(pos.y() - tol - 1), yb = vy->pixelToCoord(pos.y() + tol + 1);
    const double xlo = std::min(xa, xb), xhi = std::max(xa, xb), ylo = std::min(ya, yb), yhi = std::max(ya, yb);
    const std::vector<double>& x = s.a->x;
    const std::vector<double>& y = s.a->y;
    for (size_t i = 0; i < x.size(); ++i) {
        if (!(x[i] >= xlo && x[i] <= xhi && y[i] >= ylo && y[i] <= yhi))
            continue;
        const double px = kx->coordToPixel(x[i]);
        const double py = vy->coordToPixel(y[i]);
        if (std::fabs(px - pos.x()) <= tol && std::fabs(py - pos.y()) <= tol)
            return int(i);
    }
    return -1;
}

void Chart::Impl::press(QMouseEvent* e)
{
    emit q->mouseDown(e);
    bool carryOn = true;
    if (e->button() == Qt::LeftButton) {
        for (auto it = series.rbegin(); it != series.rend(); ++it) {
            const int idx = pointUnder(**it, e->position());
            if (idx >= 0) {
                emit q->seriesPointClicked((*it)->id, idx, e, &carryOn);
                break;
            }
        }
    }
    menuPress = false;
    if (!carryOn)
        return;
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::RightButton && zoomEnabled && panEnabled) {
        menuPress = true;
        menuStart = pos;
    }
    if (e->button() == Qt::LeftButton && zoomEnabled && plot->axisRect()->rect().contains(pos)) {
        zooming = true;
        dragStart = pos;
    } else if (e->button() == Qt::RightButton && panEnabled && plot->axisRect()->rect().contains(pos)) {
        panning = true;
        dragStart = pos;
        panX = plot->xAxis->range();
        panY = plot->yAxis->range();
    }
}

void Chart::Impl::move(QMouseEvent* e)
{
    emit q->mouseMoved(e);
    const QPointF pos = e->position();
    if (crossFollows && crossV->visible()) {
        q->setCrossHairPosition(plot->xAxis->pixelToCoord(pos.x()), plot->yAxis->pixelToCoord(pos.y()));
    }
    if (zooming && zoomEnabled) {
        zoomRect->topLeft->setCoords(QPointF(dragStart));
        zoomRect->bottomRight->setCoords(pos);
        zoomRect->setVisible(true);
        overlayChanged();
    } else if (panning && panEnabled) {
        // Shift the ranges saved at the press by the whole drag, so rounding
        // does not accumulate over many small moves.
        const double dx = plot->xAxis->pixelToCoord(pos.x()) - plot->xAxis->pixelToCoord(dragStart.x());
        const double dy = plot->yAxis->pixelToCoord(pos.y()) - plot->yAxis->pixelToCoord(dragStart.y());
        const QCPRange nowX = plot->xAxis->range(), nowY = plot->yAxis->range();
        // pixelToCoord used the current ranges; express the drag in the
        // ranges of the press.
        const double sx = (panX.size() / nowX.size()), sy = (panY.size() / nowY.size());
        plot->xAxis->setRange(panX.lower - dx * sx, panX.upper - dx * sx);
        plot->yAxis->setRange(panY.lower - dy * sy, panY.upper - dy * sy);
        automatic[int(ChartAxis::Bottom)] = automatic[int(ChartAxis::Left)] = false;
        changed();
        emit q->scrolled();
    }
}

void Chart::Impl::release(QMouseEvent* e)
{
    emit q->mouseUp(e);
    if (zooming) {
        zooming = false;
        zoomRect->setVisible(false);
        overlayChanged();
        const QPoint end = e->position().toPoint();
        if (!zoomEnabled)
            return;
        if (end.x() > dragStart.x() + 3 && end.y() > dragStart.y() + 3) {
            const double x0 = plot->xAxis->pixelToCoord(dragStart.x()), x1 = plot->xAxis->pixelToCoord(end.x());
            const double y0 = plot->yAxis->pixelToCoord(dragStart.y()), y1 = plot->yAxis->pixelToCoord(end.y());
            zoomTo({std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1)});
        } else if (end.x() < dragStart.x() - 3) {
            q->undoZoom();
        }
    }
    panning = false;
    if (e->button() == Qt::RightButton && menuPress) {
        menuPress = false;
        if ((e->position().toPoint() - menuStart).manhattanLength() <= 3)
            emit q->contextMenuRequested(e->globalPosition().toPoint());
    }
}

Chart::Chart(QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>())
{
    d->q = this;
    d->plot = new QCustomPlot(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->plot);
    QCustomPlot* p = d->plot;
    p->setAutoAddPlottableToLegend(true);
    p->setMouseTracking(true);  // moves without a button drive hovering and rubber lines
    p->setNoAntialiasingOnDrag(true);
    p->xAxis2->setVisible(false);
    p->yAxis2->setVisible(false);

    // QCustomPlot's topmost layer; buffered on its own so rubber lines and
    // the cross-hair repaint without redrawing the points.
    d->overlay = p->layer("overlay");
    d->overlay->setMode(QCPLayer::lmBuffered);
    auto onOverlay = [p, this](QCPAbstractItem* item) {
        item->setLayer(d->overlay);
        item->setVisible(false);
        item->setSelectable(false);
        item->setClipToAxisRect(true);
        (void)p;
    };
    d->crossV = new QCPItemStraightLine(p);
    d->crossH = new QCPItemStraightLine(p);
    for (QCPItemStraightLine* l : {d->crossV, d->crossH}) {
        onOverlay(l);
        l->setPen(QPen(Qt::gray, 1, Qt::DotLine));
    }
    d->annotation = new QCPItemText(p);
    onOverlay(d->annotation);
    d->annotation->setClipToAxisRect(false);
    d->annotation->position->setType(QCPItemPosition::ptAbsolute);
    d->annotation->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    d->annotation->setPadding(QMargins(4, 2, 4, 2));
    d->annotation->setPen(QPen(Qt::black));
    d->annotation->setBrush(QBrush(QColor(255, 255, 225)));
    d->rubber = new QCPItemLine(p);
    onOverlay(d->rubber);
    d->rubber->start->setType(QCPItemPosition::ptAbsolute);
    d->rubber->end->setType(QCPItemPosition::ptAbsolute);
    d->zoomRect = new QCPItemRect(p);
    onOverlay(d->zoomRect);
    d->zoomRect->topLeft->setType(QCPItemPosition::ptAbsolute);
    d->zoomRect->bottomRight->setType(QCPItemPosition::ptAbsolute);
    d->zoomRect->setPen(QPen(Qt::black, 1, Qt::DashLine));

    connect(p, &QCustomPlot::beforeReplot, this, [this] { d->applyAutomatic(); });
    connect(p, &QCustomPlot::afterReplot, this, &Chart::afterDraw);
    connect(p, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) { d->press(e); });
    connect(p, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { d->move(e); });
    connect(p, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* e) { d->release(e); });
    connect(p, &QCustomPlot::axisClick, this, [this](QCPAxis* axis, QCPAxis::SelectablePart, QMouseEvent* e) {
        for (int a = 0; a < 4; ++a)
            if (d->axis(ChartAxis(a)) == axis)
                emit axisClicked(ChartAxis(a), e);
    });
}

Chart::~Chart()
{
    // The plot first: its plottables read the series records, which go with d.
    delete d->plot;
    d->plot = nullptr;
}

// --- The chart ---

void Chart::setTitle(const QString& text)
{
    QCustomPlot* p = d->plot;
    if (text.isEmpty()) {
        if (d->titleElement) {
            p->plotLayout()->remove(d->titleElement);
            p->plotLayout()->simplify();
            d->titleElement = nullptr;
        }
    } else if (!d->titleElement) {
        p->plotLayout()->insertRow(0);
        d->titleElement = new QCPTextElement(p, text, QFont(font().family(), font().pointSize() + 2, QFont::Bold));
        p->plotLayout()->addElement(0, 0, d->titleElement);
    } else {
        d->titleElement->setText(text);
    }
    d->changed();
}

QString Chart::title() const
{
    return d->titleElement ? d->titleElement->text() : QString();
}

void Chart::setLegendVisible(bool visible)
{
    d->plot->legend->setVisible(visible);
    d->changed();
}

bool Chart::legendVisible() const
{
    return d->plot->legend->visible();
}

void Chart::setBackgroundColor(const QColor& color)
{
    d->plot->setBackground(QBrush(color));
    d->changed();
}

void Chart::setBackgroundGradient(const QColor& top, const QColor& bottom)
{
    QLinearGradient g(0, 0, 0, 1);
    g.setCoordinateMode(QGradient::ObjectBoundingMode);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    d->plot->setBackground(QBrush(g));
    d->changed();
}

void Chart::setAxesVisible(bool visible)
{
    d->plot->xAxis->setVisible(visible);
    d->plot->yAxis->setVisible(visible);
    d->changed();
}

QRect Chart::plotArea() const
{
    return d->plot->axisRect()->rect();
}

void Chart::redraw()
{
    d->syncPixelRatio();
    d->applyAutomatic();
    d->plot->replot(QCustomPlot::rpImmediateRefresh);
}

// --- Axes ---

void Chart::setAxisVisible(ChartAxis axis, bool visible)
{
    d->axis(axis)->setVisible(visible);
    d->changed();
}

void Chart::setAxisTitle(ChartAxis axis, const QString& text)
{
    d->axis(axis)->setLabel(text);
    d->changed();
}

QString Chart::axisTitle(ChartAxis axis) const
{
    return d->axis(axis)->label();
}

void Chart::setAxisRange(ChartAxis axis, double minimum, double maximum)
{
    d->automatic[int(axis)] = false;
    d->axis(axis)->setRange(minimum, maximum);
    d->changed();
}

void Chart::setAxisAutomatic(ChartAxis axis, bool automatic)
{
    d->automatic[int(axis)] = automatic;
    d->changed();
}

bool Chart::axisAutomatic(ChartAxis axis) const
{
    return d->automatic[int(axis)];
}

double Chart::axisMinimum(ChartAxis axis) const
{
    return d->axis(axis)->range().lower;
}

double Chart::axisMaximum(ChartAxis axis) const
{
    return d->axis(axis)->range().upper;
}

double Chart::valueToPixel(ChartAxis axis, double value) const
{
    return d->axis(axis)->coordToPixel(value);
}

double Chart::pixelToValue(ChartAxis axis, double pixel) const
{
    return d->axis(axis)->pixelToCoord(pixel);
}

// --- The list of series ---

Chart::SeriesId Chart::addPointSeries(int markSize)
{
    auto rec = std::make_unique<SeriesRec>();
    rec->kind = SeriesKind::Points;
    rec->markSize = markSize;
    auto* points = new RasterPointsPlottable(d->plot->xAxis, d->plot->yAxis);
    points->setMarkSize(markSize);
    rec->plottable = points;
    rec->a = &points->arrays();
    return d->add(std::move(rec));
}

Chart::SeriesId Chart::addLineSeries(const QString& title, const QColor& color, int width)
{
    auto rec = std::make_unique<SeriesRec>();
    rec->kind = SeriesKind::Line;
    rec->color = color;
    auto* curve = new QCPCurve(d->plot->xAxis, d->plot->yAxis);
    curve->setName(title);
    curve->setPen(QPen(color, width));
    curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone, 6));
    rec->plottable = curve;
    return d->add(std::move(rec));
}

Chart::SeriesId Chart::addFastLineSeries(const QString& title, const QColor& color)
{
    auto rec = std::make_unique<SeriesRec>();
    rec->kind = SeriesKind::FastLine;
    rec->color = color;
    auto* graph = d->plot->addGraph(d->plot->xAxis, d->plot->yAxis);
    graph->setName(title);
    graph->setPen(QPen(color));
    graph->setAdaptiveSampling(true);
    rec->plottable = graph;
    return d->add(std::move(rec));
}

Chart::SeriesId Chart::addBarSeries(const QString& title, const QColor& color)
{
    auto rec = std::make_unique<SeriesRec>();
    rec->kind = SeriesKind::Bar;
    rec->color = color;
    auto* bars = new QCPBars(d->plot->xAxis, d->plot->yAxis);
    bars->setName(title);
    bars->setBrush(color);
    bars->setPen(QPen(Qt::black));
    rec->plottable = bars;
    return d->add(std::move(rec));
}

Chart::SeriesId Chart::addErrorBarSeries(const QString& title, const QColor& color)
{
    auto rec = std::make_unique<SeriesRec>();
    rec->kind = SeriesKind::ErrorBar;
    rec->color = color;
    auto* bars = new QCPBars(d->plot->xAxis, d->plot->yAxis);
    bars->setName(title);
    bars->setBrush(color);
    bars->setPen(QPen(Qt::black));
    auto* errors = new QCPErrorBars(d->plot->xAxis, d->plot->yAxis);
    errors->removeFromLegend();
    errors->setDataPlottable(bars);
    errors->setErrorType(QCPErrorBars::etValueError);
    rec->plottable = bars;
    rec->errors = errors;
    return d->add(std::move(rec));
}

void Chart::removeSeries(SeriesId id)
{
    auto it = std::find_if(d->series.begin(), d->series.end(), [id](const auto& s) { return s->id == id; });
    if (it == d->series.end())
        return;
    if ((*it)->errors)
        d->plot->removePlottable((*it)->errors);
    if (RasterPointsPlottable* points = (*it)->points())
        d->keepSpare(points->arrays());
    d->plot->removePlottable((*it)->plottable);
    d->series.erase(it);
    d->changed();
}

void Chart::clearSeries()
{
    while (!d->series.empty())
        removeSeries(d->series.back()->id);
}

int Chart::seriesCount() const
{
    return int(d->series.size());
}

Chart::SeriesId Chart::seriesAt(int index) const
{
    return index >= 0 && index < seriesCount() ? d->series[size_t(index)]->id : NoSeries;
}

int Chart::seriesIndex(SeriesId id) const
{
    for (int i = 0; i < seriesCount(); ++i)
        if (d->series[size_t(i)]->id == id)
            return i;
    return -1;
}

bool Chart::hasSeries(SeriesId id) const
{
    return d->find(id) != nullptr;
}

SeriesKind Chart::seriesKind(SeriesId id) const
{
    return d->get(id).kind;
}

// --- Any series ---

void Chart::setSeriesActive(SeriesId id, bool active)
{
    SeriesRec& s = d->get(id);
    s.active = active;
    s.plottable->setVisible(active);
    if (s.errors)
        s.errors->setVisible(active);
    d->changed();
}

bool Chart::seriesActive(SeriesId id) const
{
    return d->get(id).active;
}

void Chart::setSeriesTag(SeriesId id, qint64 tag)
{
    d->get(id).tag = tag;
}

qint64 Chart::seriesTag(SeriesId id) const
{
    return d->get(id).tag;
}

void Chart::setSeriesIdentifier(SeriesId id, const QString& identifier)
{
    d->get(id).identifier = identifier;
}

QString Chart::seriesIdentifier(SeriesId id) const
{
    return d->get(id).identifier;
}

void Chart::setSeriesTitle(SeriesId id, const QString& title)
{
    d->get(id).plottable->setName(title);
    d->changed();
}

QString Chart::seriesTitle(SeriesId id) const
{
    return d->get(id).plottable->name();
}

void Chart::setSeriesColor(SeriesId id, const QColor& color)
{
    SeriesRec& s = d->get(id);
    s.color = color;
    d->applyColor(s);
    d->changed();
}

QColor Chart::seriesColor(SeriesId id) const
{
    return d->get(id).color;
}

int Chart::pointCount(SeriesId id) const
{
    return int(d->get(id).a->x.size());
}

QPointF Chart::point(SeriesId id, int index) const
{
    const SeriesRec& s = d->get(id);
    Q_ASSERT(index >= 0 && size_t(index) < s.a->x.size());
    return {s.a->x[size_t(index)], s.a->y[size_t(index)]};
}

std::vector<double> Chart::xValues(SeriesId id) const
{
    return d->get(id).a->x;
}

std::vector<double> Chart::yValues(SeriesId id) const
{
    return d->get(id).a->y;
}

void Chart::addPoint(SeriesId id, double x, double y)
{
    insertPoint(id, pointCount(id), x, y);
}

void Chart::insertPoint(SeriesId id, int index, double x, double y)
{
    SeriesRec& s = d->get(id);
    index = std::clamp(index, 0, int(s.a->x.size()));
    s.a->x.insert(s.a->x.begin() + index, x);
    s.a->y.insert(s.a->y.begin() + index, y);
    if (!s.a->colors.empty())
        s.a->colors.insert(s.a->colors.begin() + std::min<size_t>(size_t(index), s.a->colors.size()),
                           toModelColor(s.color));
    if (!s.err.empty())
        s.err.insert(s.err.begin() + std::min<size_t>(size_t(index), s.err.size()), 0.0);
    d->sync(s);
}

void Chart::setPoint(SeriesId id, int index, double x, double y)
{
    SeriesRec& s = d->get(id);
    Q_ASSERT(index >= 0 && size_t(index) < s.a->x.size());
    s.a->x[size_t(index)] = x;
    s.a->y[size_t(index)] = y;
    d->sync(s);
}

void Chart::clearPoints(SeriesId id)
{
    setPoints(id, nullptr, nullptr, 0);
}

void Chart::setPoints(SeriesId id, const double* x, const double* y, int count)
{
    SeriesRec& s = d->get(id);
    const size_t n = size_t(std::max(count, 0));
    const bool points = s.kind == SeriesKind::Points;
    assignValues(s.a->x, x, n, points ? &d->spare.x : nullptr);
    assignValues(s.a->y, y, n, points ? &d->spare.y : nullptr);
    s.a->colors.clear();
    s.a->labels.clear();
    s.err.clear();
    d->sync(s);
}

void Chart::setPoints(SeriesId id, const std::vector<double>& x, const std::vector<double>& y)
{
    setPoints(id, x.data(), y.data(), int(std::min(x.size(), y.size())));
}

void Chart::setPoints(SeriesId id, std::vector<double>&& x, std::vector<double>&& y)
{
    SeriesRec& s = d->get(id);
    s.a->x = std::move(x);
    s.a->y = std::move(y);
    s.a->colors.clear();
    s.a->labels.clear();
    s.err.clear();
    d->sync(s);
}

void Chart::swapPoints(SeriesId id, std::vector<double>& x, std::vector<double>& y)
{
    SeriesRec& s = d->get(id);
    std::vector<double> oldX = std::move(s.a->x), oldY = std::move(s.a->y);
    setPoints(id, std::move(x), std::move(y));
    // The spare arrays are worth more to the caller than the (usually empty) old ones.
    if (s.kind == SeriesKind::Points) {
        if (d->spare.x.capacity() > oldX.capacity()) oldX.swap(d->spare.x);
        if (d->spare.y.capacity() > oldY.capacity()) oldY.swap(d->spare.y);
    }
    x = std::move(oldX);
    y = std::move(oldY);
}

const std::vector<double>& Chart::pointsX(SeriesId id) const { return d->get(id).a->x; }

const std::vector<double>& Chart::pointsY(SeriesId id) const { return d->get(id).a->y; }

QPointF Chart::pointPixel(SeriesId id, int index) const
{
    const QPointF v = point(id, index);
    return {d->plot->xAxis->coordToPixel(v.x()), d->plot->yAxis->coordToPixel(v.y())};
}

// --- Point series ---

void Chart::setPointColors(SeriesId id, const uint32_t* colors, int count)
{
    SeriesRec& s = d->get(id);
    const bool points = s.kind == SeriesKind::Points;
    assignValues(s.a->colors, colors, size_t(std::max(count, 0)), points ? &d->spare.colors : nullptr);
    d->changed();
}

void Chart::setPointColors(SeriesId id, std::vector<uint32_t>&& colors)
{
    d->get(id).a->colors = std::move(colors);
    d->changed();
}

void Chart::setPointColor(SeriesId id, int index, uint32_t color)
{
    SeriesRec& s = d->get(id);
    if (s.a->colors.size() < s.a->x.size())
        s.a->colors.resize(s.a->x.size(), toModelColor(s.color));
    if (index >= 0 && size_t(index) < s.a->colors.size())
        s.a->colors[size_t(index)] = color;
    d->changed();
}

uint32_t Chart::pointColor(SeriesId id, int index) const
{
    const SeriesRec& s = d->get(id);
    return index >= 0 && size_t(index) < s.a->colors.size() ? s.a->colors[size_t(index)] : toModelColor(s.color);
}

void Chart::setPointLabel(SeriesId id, int index, const QString& label)
{
    SeriesRec& s = d->get(id);
    if (label.isEmpty())
        s.a->labels.erase(index);
    else
        s.a->labels[index] = label;
    d->changed();
}

QString Chart::pointLabel(SeriesId id, int index) const
{
    const SeriesRec& s = d->get(id);
    const auto it = s.a->labels.find(index);
    return it == s.a->labels.end() ? QString() : it->second;
}

void Chart::setMarkSize(SeriesId id, int pixels)
{
    SeriesRec& s = d->get(id);
    s.markSize = pixels;
    if (RasterPointsPlottable* points = s.points())
        points->setMarkSize(pixels);
    d->changed();
}

void Chart::setLabelsVisible(SeriesId id, bool visible)
{
    if (RasterPointsPlottable* points = d->get(id).points()) {
        points->setLabelsVisible(visible);
        d->changed();
    }
}

bool Chart::labelsVisible(SeriesId id) const
{
    const RasterPointsPlottable* points = d->get(id).points();
    return points && points->labelsVisible();
}

// --- Line series ---

void Chart::setLineWidth(SeriesId id, int width)
{
    SeriesRec& s = d->get(id);
    QPen pen = s.plottable->pen();
    pen.setWidth(width);
    s.plottable->setPen(pen);
    d->changed();
}

void Chart::setVertexMarkers(SeriesId id, bool visible, int size)
{
    SeriesRec& s = d->get(id);
    if (s.kind != SeriesKind::Line)
        return;
    s.markers = visible;
    d->applyMarkers(s, size);
    d->changed();
}

bool Chart::vertexMarkers(SeriesId id) const
{
    return d->get(id).markers;
}

// --- Bars and error bars ---

void Chart::setBarPen(SeriesId id, const QPen& pen)
{
    d->get(id).plottable->setPen(pen);
    d->changed();
}

void Chart::setPointError(SeriesId id, int index, double error)
{
    SeriesRec& s = d->get(id);
    s.err.resize(s.a->x.size(), 0.0);
    if (index >= 0 && size_t(index) < s.err.size())
        s.err[size_t(index)] = error;
    d->sync(s);
}

void Chart::setPointErrors(SeriesId id, std::vector<double> errors)
{
    SeriesRec& s = d->get(id);
    errors.resize(s.a->x.size(), 0.0);
    s.err = std::move(errors);
    d->sync(s);
}

double Chart::pointError(SeriesId id, int index) const
{
    const SeriesRec& s = d->get(id);
    return index >= 0 && size_t(index) < s.err.size() ? s.err[size_t(index)] : 0.0;
}

void Chart::setErrorWidth(SeriesId id, int pixels)
{
    SeriesRec& s = d->get(id);
    if (s.errors)
        s.errors->setWhiskerWidth(pixels);
    d->changed();
}

// --- Tools ---

int Chart::addCursorLine(double x, Qt::PenStyle style, const QColor& color)
{
    auto* line = new QCPItemStraightLine(d->plot);
    line->setPen(QPen(color, 1, style));
    line->setSelectable(false);
    const int id = d->nextCursor++;
    d->cursors[id] = line;
    setCursorLinePosition(id, x);
    return id;
}

void Chart::setCursorLinePosition(int cursor, double x)
{
    const auto it = d->cursors.find(cursor);
    if (it == d->cursors.end())
        return;
    it->second->point1->setCoords(x, 0);
    it->second->point2->setCoords(x, 1);
    d->changed();
}

double Chart::cursorLinePosition(int cursor) const
{
    const auto it = d->cursors.find(cursor);
    return it == d->cursors.end() ? 0.0 : it->second->point1->coords().x();
}

void Chart::setCursorLineStyle(int cursor, Qt::PenStyle style)
{
    const auto it = d->cursors.find(cursor);
    if (it == d->cursors.end())
        return;
    QPen pen = it->second->pen();
    pen.setStyle(style);
    it->second->setPen(pen);
    d->changed();
}

void Chart::removeCursorLine(int cursor)
{
    const auto it = d->cursors.find(cursor);
    if (it == d->cursors.end())
        return;
    d->plot->removeItem(it->second);
    d->cursors.erase(it);
    d->changed();
}

void Chart::setCrossHairVisible(bool visible)
{
    d->crossV->setVisible(visible);
    d->crossH->setVisible(visible);
    d->overlayChanged();
}

bool Chart::crossHairVisible() const
{
    return d->crossV->visible();
}

void Chart::setCrossHairFollowsMouse(bool follow)
{
    d->crossFollows = follow;
}

void Chart::setCrossHairPosition(double x, double y)
{
    d->crossPos = {x, y};
    d->crossV->point1->setCoords(x, 0);
    d->crossV->point2->setCoords(x, 1);
    d->crossH->point1->setCoords(0, y);
    d->crossH->point2->setCoords(1, y);
    d->overlayChanged();
}

QPointF Chart::crossHairPosition() const
{
    return d->crossPos;
}

void Chart::setAnnotation(const QString& text, QPoint position)
{
    d->annotation->setText(text);
    d->annotation->position->setCoords(position);
    d->overlayChanged();
}

void Chart::setAnnotationVisible(bool visible)
{
    d->annotation->setVisible(visible);
    d->overlayChanged();
}

QString Chart::annotationText() const
{
    return d->annotation->text();
}

bool Chart::annotationVisible() const
{
    return d->annotation->visible();
}

void Chart::setOverlayLine(QPointF from, QPointF to, const QColor& color)
{
    d->rubber->start->setCoords(from);
    d->rubber->end->setCoords(to);
    d->rubber->setPen(QPen(color));
    d->rubber->setVisible(true);
    d->overlayChanged();
}

void Chart::clearOverlayLine()
{
    if (!d->rubber->visible())
        return;
    d->rubber->setVisible(false);
    d->overlayChanged();
}

// --- Zoom and panning ---

void Chart::setZoomEnabled(bool enabled)
{
    d->zoomEnabled = enabled;
    if (!enabled && d->zooming) {
        d->zooming = false;
        d->zoomRect->setVisible(false);
        d->overlayChanged();
    }
}

bool Chart::zoomEnabled() const
{
    return d->zoomEnabled;
}

void Chart::setPanEnabled(bool enabled)
{
    d->panEnabled = enabled;
    if (!enabled)
        d->panning = false;
}

bool Chart::panEnabled() const
{
    return d->panEnabled;
}

void Chart::setZoomPen(const QPen& pen)
{
    d->zoomRect->setPen(pen);
}

void Chart::undoZoom()
{
    if (d->history.canUndo()) {
        d->setView(d->history.undoAll());
        for (int a = 0; a < 4; ++a) d->automatic[a] = d->savedAutomatic[a];
    } else {
        // Scrolled without zooming: back to automatic ranges.
        d->automatic[int(ChartAxis::Bottom)] = d->automatic[int(ChartAxis::Left)] = true;
    }
    d->changed();
    emit undoZoomed();
}

bool Chart::zoomBy(double factor)
{
    if (!(factor > 0) || !std::isfinite(factor)) return false;
    d->applyAutomatic();  // zoom from the view shown, even before the first paint
    return d->zoomTo(scaledView(viewOf(d->plot), factor));
}

void Chart::zoomBack()
{
    if (d->history.depth() <= 1) {
        undoZoom();
        return;
    }
    d->setView(d->history.undo());
    d->changed();
    emit zoomed();
}

bool Chart::canUndoZoom() const
{
    return d->history.canUndo();
}

void Chart::setAxisTickScale(ChartAxis axis, AxisMode mode)
{
    if (d->tickMode[int(axis)] == mode) return;
    d->tickMode[int(axis)] = mode;
    QCPAxis* ax = d->axis(axis);
    if (mode == AxisMode::Linear)
        ax->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    else
        ax->setTicker(QSharedPointer<QCPAxisTicker>(new DecadeAxisTicker(ax, mode)));
    d->changed();
}

AxisMode Chart::axisTickScale(ChartAxis axis) const
{
    return d->tickMode[int(axis)];
}

std::vector<std::pair<double, QString>> Chart::axisTickLabels(ChartAxis axis) const
{
    QCPAxis* ax = d->axis(axis);
    const QVector<double> ticks = ax->tickVector();
    const QVector<QString> labels = ax->tickVectorLabels();
    std::vector<std::pair<double, QString>> out;
    for (int i = 0; i < std::min(ticks.size(), labels.size()); ++i) out.emplace_back(ticks[i], labels[i]);
    return out;
}

void Chart::renderTo(QPaintDevice* device, QSize logical, double scale, QPointF offset)
{
    d->applyAutomatic();
    QCPPainter painter(device);
    if (!painter.isActive()) return;
    painter.translate(offset);
    if (std::fabs(scale - 1) > 1e-12) {
        // Pens scale with the picture, so lines keep their weight relative to the text.
        painter.setMode(QCPPainter::pmNonCosmetic);
        painter.scale(scale, scale);
    }
    d->plot->toPainter(&painter, logical.width(), logical.height());
    painter.end();
    // The layout was computed for the picture: lay it out for the screen again.
    d->changed();
}

QImage Chart::toImage(QSize logical, double scale)
{
    const QSize px(int(std::nearbyint(logical.width() * scale)), int(std::nearbyint(logical.height() * scale)));
    QImage image(px, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.fill(Qt::white);
    renderTo(&image, logical, scale);
    return image;
}

QWidget* Chart::canvas() const
{
    return d->plot;
}

void Chart::setCanvasCursor(const QCursor& cursor)
{
    d->plot->setCursor(cursor);
}

QCursor Chart::canvasCursor() const
{
    return d->plot->cursor();
}

}  // namespace orvala
