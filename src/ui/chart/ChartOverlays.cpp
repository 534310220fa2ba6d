// What is drawn over the series: cursor lines, the cross-hair, the
// annotation box and the rubber line of the gate tools.
#include "ui/chart/Chart.h"
#include "ui/chart/ChartImpl.h"

namespace orvala {

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

}  // namespace orvala
