#pragma once
// The chart's point series: square marks without outline, each in its own
// colour, in the order given. Private to the chart layer (it includes QCustomPlot).
#include <QColor>
#include <QImage>
#include <cstdint>
#include <map>
#include <qcustomplot.h>
#include <vector>

#include "ui/chart/PointRaster.h"

namespace orvala::chartimpl {

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

}  // namespace orvala::chartimpl
