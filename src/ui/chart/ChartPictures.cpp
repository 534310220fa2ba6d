// Pictures of the chart for export and printing, at any size and resolution.
#include <cmath>

#include "ui/chart/Chart.h"
#include "ui/chart/ChartImpl.h"

namespace orvala {

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

}  // namespace orvala
