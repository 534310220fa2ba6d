#include "QuickView.h"

#include <QPointer>
#include <QVBoxLayout>

#include "ScatterPlotWindow.h"
#include "ui/chart/Chart.h"

namespace orvala {

QuickView::QuickView(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Quick View"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    chart_ = new Chart;
    chart_->setLegendVisible(false);
    chart_->setTitle({});
    chart_->setBackgroundColor(Qt::white);
    l->addWidget(chart_);
    resize(360, 260);
}

QuickView* QuickView::shared()
{
    static QPointer<QuickView> instance;
    if (!instance) instance = new QuickView;
    return instance;
}

void QuickView::Showme(const std::vector<double>& values, TColor acolor, int eventnum)
{
    setWindowTitle(QStringLiteral("Event #  ") + QString::number(eventnum));
    const Chart::SeriesId s = chart_->addLineSeries({}, toQColor(acolor));
    std::vector<double> x(values.size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = double(i);
    chart_->setPoints(s, x, values);
    show();
    chart_->redraw();
}

void QuickView::Clear() { chart_->clearSeries(); }

void QuickView::hideEvent(QHideEvent* e)
{
    Clear();
    QWidget::hideEvent(e);
}

}  // namespace orvala
