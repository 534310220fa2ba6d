// The series: adding and removing them, their points, colours, labels,
// lines and bars.
#include <QTimer>
#include <algorithm>

#include "plot/ChartBars.h"
#include "ui/chart/Chart.h"
#include "ui/chart/ChartImpl.h"
#include "ui/chart/PointRaster.h"

namespace orvala {

using chartimpl::RasterPointsPlottable;
using chartimpl::SeriesArrays;
using chartimpl::SeriesRec;

namespace {

uint32_t toModelColor(const QColor& c)
{
    return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

QVector<double> toQVector(const std::vector<double>& v)
{
    return QVector<double>(v.begin(), v.end());
}

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

}  // namespace

void Chart::Impl::sync(SeriesRec& s)
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

void Chart::Impl::applyColor(SeriesRec& s)
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

void Chart::Impl::applyMarkers(SeriesRec& s, double size)
{
    auto* c = static_cast<QCPCurve*>(s.plottable);
    if (s.markers)
        c->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, s.color, size));
    else
        c->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone, size));
}

Chart::SeriesId Chart::Impl::add(std::unique_ptr<SeriesRec> rec)
{
    rec->id = nextId++;
    const SeriesId id = rec->id;
    series.push_back(std::move(rec));
    changed();
    return id;
}

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

}  // namespace orvala
