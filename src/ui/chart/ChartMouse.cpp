// The chart's own mouse handling: clicks on series points, the zoom
// rectangle, panning, and the zoom history behind them.
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "ui/chart/Chart.h"
#include "ui/chart/ChartImpl.h"

namespace orvala {

using chartimpl::SeriesRec;

namespace {

ViewRange viewOf(QCustomPlot* p)
{
    return {p->xAxis->range().lower, p->xAxis->range().upper, p->yAxis->range().lower, p->yAxis->range().upper};
}

}  // namespace

bool Chart::Impl::zoomTo(const ViewRange& after)
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

}  // namespace orvala
