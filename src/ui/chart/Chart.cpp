#include "ui/chart/Chart.h"

#include <QVBoxLayout>

#include "ui/chart/ChartImpl.h"

namespace orvala {

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
