#include "DistributionWindow.h"

#include <QApplication>

#include "analysis/Averages.h"
#include "core/TData.h"
#include "ui/chart/Chart.h"
#include "ui/common/UiMessages.h"

namespace orvala {

DistributionWindow::DistributionWindow(QWidget* parent) : ChartWindow(parent)
{
    setWindowTitle(QStringLiteral("distr"));
    chart()->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Value"));
    chart()->setAxisTitle(ChartAxis::Left, QStringLiteral("Count"));
}

void DistributionWindow::Add(const TData& data)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Thistogram h = [&] {
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        return Distribution(data);
    }();
    const TColor c = data.NativeColor();
    const Chart::SeriesId bars = chart()->addBarSeries(
        fromEightBit(data.FullName()), QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
    chart()->setPoints(bars, std::move(h.Xvalue), std::move(h.Yvalue));
    chart()->setTitle(fromEightBit(data.FullName()));
    chart()->redraw();
}

}  // namespace orvala
