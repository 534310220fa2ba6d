// The axes: titles, ranges, automatic scaling and the ticks of scaled axes.
#include <QFontMetrics>
#include <algorithm>

#include "plot/DecadeTicks.h"
#include "ui/chart/Chart.h"
#include "ui/chart/ChartImpl.h"

namespace orvala {

namespace {

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

}  // namespace

void Chart::Impl::applyAutomatic()
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

}  // namespace orvala
