#include "ui/chart/RasterPointsPlottable.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace orvala::chartimpl {

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

}  // namespace orvala::chartimpl
