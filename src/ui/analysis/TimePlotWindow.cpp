#include "TimePlotWindow.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/TimeBins.h"
#include "core/TDataList.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataEvents.h"
#include "ui/common/DataSetDrag.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

TimePlotWindow* theWindow = nullptr;
int pageNumber = 0;  // running number of page frames over the program's life

// Distinct curve colours, repeated when there are more curves.
const QColor curveColors[] = {QColor(0, 0, 200),   QColor(200, 0, 0),   QColor(0, 140, 0),  QColor(160, 0, 160),
                              QColor(0, 150, 150), QColor(200, 120, 0), QColor(90, 90, 90), QColor(0, 0, 0)};

}  // namespace

TimePlotPage::TimePlotPage(TData* adata, QWidget* parent) : QWidget(parent), data_(adata)
{
    setObjectName(QStringLiteral("DataPage%1").arg(++pageNumber));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* xrow = new QHBoxLayout;
    xrow->addWidget(new QLabel(QStringLiteral("X"), this));
    xlist = new QComboBox(this);
    xlist->setObjectName(QStringLiteral("xlist"));
    xrow->addWidget(xlist, 1);
    layout->addLayout(xrow);
    layout->addWidget(new QLabel(QStringLiteral("Y"), this));
    ylist = new QListWidget(this);
    ylist->setObjectName(QStringLiteral("ylist"));
    layout->addWidget(ylist, 1);

    // The ordering parameter is usually the acquisition time: chosen when
    // a parameter says so, else the first.
    int timeIndex = -1;
    for (int p = 0; p < adata->CaseSize(); ++p) {
        const QString name = fromEightBit(adata->Desc()[size_t(p)].name);
        xlist->addItem(name);
        auto* item = new QListWidgetItem(name, ylist);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        if (timeIndex < 0 && name.contains(QStringLiteral("time"), Qt::CaseInsensitive)) timeIndex = p;
    }
    xlist->setCurrentIndex(adata->CaseSize() > 0 ? std::max(timeIndex, 0) : -1);
    connect(xlist, &QComboBox::currentIndexChanged, this, [this] { emit selectionChanged(); });
    connect(ylist, &QListWidget::itemChanged, this, [this] { emit selectionChanged(); });
}

std::vector<int> TimePlotPage::tickedY() const
{
    std::vector<int> out;
    for (int r = 0; r < ylist->count(); ++r)
        if (ylist->item(r)->checkState() == Qt::Checked) out.push_back(r);
    return out;
}

TimePlotWindow* TimePlotWindow::instance() { return theWindow; }

TimePlotWindow::TimePlotWindow(TMultiThread* pool, QWidget* parent) : ChartWindow(parent), pool_(pool)
{
    setWindowTitle(QStringLiteral("Times"));
    setAttribute(Qt::WA_DeleteOnClose);
    theWindow = this;
    chart()->setLegendVisible(true);
    chart()->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Bin"));
    chart()->setAxisTitle(ChartAxis::Left, QStringLiteral("Mean"));

    auto* sigLabel = new QLabel(QStringLiteral("Sigma"), this);
    addCommandWidget(sigLabel);
    sigma = new QSpinBox(this);
    sigma->setObjectName(QStringLiteral("sig"));
    sigma->setRange(1, 1);
    sigma->setValue(1);
    sigma->setToolTip(QStringLiteral("Width of the Gaussian smoothing, in bins"));
    addCommandWidget(sigma);
    QAction* smooth = addCommand(QStringLiteral("Smooth"), QStringLiteral("Smooth every curve with the Gaussian of width Sigma"));
    smooth->setObjectName(QStringLiteral("smooth"));
    connect(smooth, &QAction::triggered, this, [this] { runCommand([this] { Smooth(); }); });
    QAction* replot = addCommand(QStringLiteral("Replot"), QStringLiteral("Draw the raw means again"));
    replot->setObjectName(QStringLiteral("replot"));
    connect(replot, &QAction::triggered, this, [this] { runCommand([this] { Plot(); }); });

    xpanel = new QTabWidget(this);
    xpanel->setObjectName(QStringLiteral("xpanel"));
    xpanel->setToolTip(QStringLiteral("Page Control"));
    xpanel->setMaximumHeight(220);
    // Data sets dragged from the data list onto the pages (or the tab bar) are adopted.
    xpanel->setAcceptDrops(true);
    xpanel->installEventFilter(this);
    contentLayout()->addWidget(xpanel);
    resize(760, 620);
}

TimePlotWindow::~TimePlotWindow()
{
    if (theWindow == this) theWindow = nullptr;
}

void TimePlotWindow::Adopt(TData* adata)
{
    if (!adata) return;
    auto* page = new TimePlotPage(adata, xpanel);
    plist.push_back(page);
    xpanel->addTab(page, fromEightBit(adata->ShortName()));
    xpanel->setCurrentWidget(page);
    connect(page, &TimePlotPage::selectionChanged, this, [this] { runCommand([this] { Plot(); }); });
    // A page that cannot be plotted is reported; the next data sets are still adopted.
    runCommand([this] { Plot(); });
}

void TimePlotWindow::Plot()
{
    Chart* c = chart();
    c->clearSeries();
    int64_t maxpoints = 0;
    int colour = 0;
    QStringList refused;
    for (TimePlotPage* page : plist) {
        TData* d = page->data();
        if (d) page->datamodified = d->Modified();
        const int x = page->xlist->currentIndex();
        const std::vector<int> ys = page->tickedY();
        if (!d || x < 0 || ys.empty()) continue;
        TimeBins bins;
        try {
            bins = binByTime(d->data.data(), d->events(), d->CaseSize(), x, ys, d->ShortName(), pool_);
        } catch (const OrvalaError& e) {
            // One page that cannot be plotted does not hide the others.
            refused << QString::fromUtf8(e.what());
            continue;
        }
        const int64_t points = bins.bins();  // before the curves move into the chart
        std::vector<double> xs(static_cast<size_t>(points));
        for (size_t b = 0; b < xs.size(); ++b) xs[b] = double(b);
        for (size_t k = 0; k < ys.size(); ++k) {
            const QString title = fromEightBit(
                timeSeriesTitle(int(plist.size()), d->ShortName(), d->Desc()[size_t(ys[k])].name));
            const Chart::SeriesId s = c->addLineSeries(title, curveColors[colour++ % std::size(curveColors)]);
            std::vector<double> xcopy = xs;
            c->setPoints(s, std::move(xcopy), std::move(bins.means[k]));
        }
        maxpoints = std::max(maxpoints, std::min<int64_t>(points, TimePlotMaxPoints));
    }
    c->setAxisAutomatic(ChartAxis::Bottom, true);
    c->setAxisAutomatic(ChartAxis::Left, true);
    sigma->setMaximum(timePlotSigmaMaximum(maxpoints));
    c->redraw();
    if (!refused.isEmpty()) throw OrvalaError(toEightBit(refused.join(QStringLiteral("\n"))));
}

void TimePlotWindow::Smooth()
{
    Chart* c = chart();
    const int s = sigma->value();
    // The smoothed curves stay in the frame of the raw ones.
    const double x0 = c->axisMinimum(ChartAxis::Bottom), x1 = c->axisMaximum(ChartAxis::Bottom);
    const double y0 = c->axisMinimum(ChartAxis::Left), y1 = c->axisMaximum(ChartAxis::Left);
    for (int k = 0; k < c->seriesCount(); ++k) {
        const Chart::SeriesId id = c->seriesAt(k);
        std::vector<double> y = c->yValues(id);
        if (!canSmooth(int64_t(y.size()), s)) {
            c->redraw();
            throw OrvalaError(smoothingRefusal(int64_t(y.size())));
        }
        c->setPoints(id, c->xValues(id), gaussianSmooth(y, s, pool_));
    }
    c->setAxisRange(ChartAxis::Bottom, x0, x1);
    c->setAxisRange(ChartAxis::Left, y0, y1);
    c->redraw();
}

void TimePlotWindow::removePage(TimePlotPage* page)
{
    plist.erase(std::remove(plist.begin(), plist.end(), page), plist.end());
    page->release();
    xpanel->removeTab(xpanel->indexOf(page));
    page->deleteLater();
}

bool TimePlotWindow::eventFilter(QObject* watched, QEvent* e)
{
    std::vector<TData*> dropped;
    if (watched == xpanel && TData::Workspace && TakeDataSetDrop(e, *TData::Workspace, dropped)) {
        for (TData* d : dropped) Adopt(d);
        return true;
    }
    return ChartWindow::eventFilter(watched, e);
}

bool TimePlotWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return ChartWindow::event(e);
    QCoreApplication::removePostedEvents(this, DataEvent::changedType());
    bool changed = false;
    for (TimePlotPage* page : std::vector<TimePlotPage*>(plist)) {
        TData* d = page->data();
        if (d && d->Deleted()) {
            removePage(page);
            changed = true;
        } else if (d && d->Modified() != page->datamodified) {
            changed = true;
        }
    }
    if (plist.empty()) {
        // The MDI frame goes with the window.
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
        return true;
    }
    if (changed) runCommand([this] { Plot(); });
    return true;
}

}  // namespace orvala
