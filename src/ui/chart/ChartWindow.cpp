#include "ui/chart/ChartWindow.h"

#include <QAction>
#include <QVBoxLayout>

#include "ui/chart/Chart.h"
#include "ui/chart/ChartCommandBar.h"

namespace orvala {

ChartWindow::ChartWindow(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("TChartForm"));
    chart_ = new Chart;
    chart_->setLegendVisible(false);
    chart_->setTitle(QString());
    // The hidden right and top axes keep fixed ranges, so they never rescale.
    chart_->setAxisVisible(ChartAxis::Right, false);
    chart_->setAxisVisible(ChartAxis::Top, false);
    chart_->setAxisAutomatic(ChartAxis::Right, false);
    chart_->setAxisAutomatic(ChartAxis::Top, false);
    bar_ = new ChartCommandBar(chart_, this);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addWidget(bar_);
    layout_->addWidget(chart_, 1);
    resize(640, 460);
}

QAction* ChartWindow::addCommand(const QString& text, const QString& toolTip, bool inMenu)
{
    auto* action = new QAction(text, bar_);
    if (!toolTip.isEmpty()) action->setToolTip(toolTip);
    bar_->addCommand(action, inMenu);
    return action;
}

void ChartWindow::addCommandWidget(QWidget* widget)
{
    bar_->addWidget(widget);
}

}  // namespace orvala
