#include "ScatterPlotWindow.h"

#include <QAction>
#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QLabel>
#include <QRubberBand>
#include <QMainWindow>
#include <QSplitter>
#include <QTabWidget>
#include <QRandomGenerator>
#include <charconv>
#include <cmath>
#include <limits>

#include "PaintPointsDialog.h"
#include "PlotControlPanel.h"
#include "QuickView.h"
#ifdef ORVALA_HAVE_3D
#include "Scatter3DWindow.h"
#endif
#include "core/Messages.h"
#include "core/TDataFilter.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "geometry/PlotProjection.h"
#include "geometry/Scales.h"
#include "plot/DockDrop.h"
#include "plot/Histogrm.h"
#include "plot/PixelMap.h"
#include "plot/PlotDefaults.h"
#include "ui/chart/ChartCommandBar.h"
#include "ui/chart/GateTool.h"
#include "ui/common/DataEvents.h"

namespace orvala {

namespace {

double identity(double v) { return v; }

double sumSquares(const TVector& v)
{
    double s = 0;
    for (double e : v) s += e * e;
    return s;
}

// The events of s as the projections read them.
EventBlock blockOf(const TData& s)
{
    const int events = std::max(std::min(s.events(), s.data.rows()), 0);
    return {s.data.data(), size_t(events), size_t(std::max(s.data.cols(), 0))};
}

// A data set's projection filter as the projections use it.
struct FilterPass : EventPass {
    explicit FilterPass(const TDataFilter& f) : f(f) {}
    int workLength(int cols) const override { return f.WorkLength(cols); }
    int pass(const double* row, int cols, double* out) const override { return f.Pass(row, cols, out); }
    const TDataFilter& f;
};

// The control panel's title: shows the panel's caption and hands every
// mouse event of a drag to its window, so that Qt's own docking never starts.
class PanelTitleBar : public QWidget {
public:
    explicit PanelTitleBar(QDockWidget* dock) : QWidget(dock)
    {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(6, 3, 6, 3);
        auto* label = new QLabel(dock->windowTitle());
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
        connect(dock, &QWidget::windowTitleChanged, label, &QLabel::setText);
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Mid);
        setCursor(Qt::SizeAllCursor);
    }
    std::function<void(QPoint)> pressed, moved, released;
    std::function<void()> doubleClicked;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
        e->accept();
        pressed(e->globalPosition().toPoint());
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        e->accept();
        moved(e->globalPosition().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
        e->accept();
        released(e->globalPosition().toPoint());
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        e->accept();
        if (e->button() == Qt::LeftButton) doubleClicked();
    }
    // The dock host's menu would offer to hide the panel, which belongs to the window.
    void contextMenuEvent(QContextMenuEvent* e) override { e->accept(); }
};

}  // namespace

QColor toQColor(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

TColor fromQColor(const QColor& c) { return TColor(c.red()) | TColor(c.green()) << 8 | TColor(c.blue()) << 16; }

ScatterPlotWindow::ScatterPlotWindow(TData* adata, TMultiThread* pool, QWidget* parent)
    : QWidget(parent),
      ConvertX(identity),
      ConvertY(identity),
      ConvertBackX(identity),
      ConvertBackY(identity),
      data_(adata),
      pool_(pool)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The control panel docks at the window's right edge and can be dragged
    // out as a tool window of its own and back; the chart takes the room it leaves.
    dockHost_ = new QMainWindow;
    dockHost_->setWindowFlags(Qt::Widget);
    chart_ = new Chart;
    chart_->setBackgroundGradient(Qt::yellow, Qt::white);
    chart_->setLegendVisible(false);
    dockHost_->setCentralWidget(chart_);
    Control = new PlotControlPanel;
    Control->TeeCommander->setChart(chart_);
    DockSite = new QDockWidget(Control->windowTitle());
    DockSite->setObjectName(QStringLiteral("DockSite"));
    DockSite->setWidget(Control);
    // The panel belongs to this window: it can move, never close on its own.
    DockSite->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    DockSite->setAllowedAreas(Qt::RightDockWidgetArea);
    dockHost_->addDockWidget(Qt::RightDockWidgetArea, DockSite);
    dockHost_->resizeDocks({DockSite}, {Control->OriginalWidth}, Qt::Horizontal);
    connect(Control, &QWidget::windowTitleChanged, DockSite, &QWidget::setWindowTitle);
    auto* title = new PanelTitleBar(DockSite);
    title->pressed = [this](QPoint g) { panelPress(g); };
    title->moved = [this](QPoint g) { panelMove(g); };
    title->released = [this](QPoint g) { panelRelease(g); };
    title->doubleClicked = [this] { setPanelDocked(DockSite->isFloating()); };
    DockSite->setTitleBarWidget(title);
    dropPreview_ = new QRubberBand(QRubberBand::Rectangle, this);
    dropPreview_->setObjectName(QStringLiteral("dockDropPreview"));
    connect(DockSite, &QDockWidget::topLevelChanged, this, [this](bool floating) {
        // Docked again: the width the panel was made with, not what the drag left.
        if (!floating) dockHost_->resizeDocks({DockSite}, {Control->OriginalWidth}, Qt::Horizontal);
    });
    layout->addWidget(dockHost_);

    // A press on a range marker must reach the window before the gate tool
    // sees it, and the release after: the drag then edits no contour.
    connect(chart_, &Chart::mouseDown, this, [this](QMouseEvent* e) { markerPress(e); });
    connect(chart_, &Chart::mouseMoved, this, [this](QMouseEvent* e) { markerMove(e); });
    gateTool_ = std::make_unique<GateTool>(chart_);
    connect(chart_, &Chart::mouseUp, this, [this](QMouseEvent*) { markerRelease(); });
    connect(gateTool_.get(), &GateTool::OnEndGateDrawing, this, [this](Chart::SeriesId contour) {
        Control->poly->setChecked(false);
        SubData(contour);
    });
    connect(gateTool_.get(), &GateTool::OnRegate, this, [this](Chart::SeriesId s) { regate(s); });
    connect(Control->poly, &QPushButton::toggled, this, [this](bool on) { gateTool_->setGenesis(on); });
    connect(gateTool_.get(), &GateTool::OnAnnotation, this, [this](GateTool*, Chart::SeriesId contour) {
        const QString text = gateStatistics(contour);
        if (text.isEmpty()) return;
        chart_->setAnnotation(text);
        chart_->setAnnotationVisible(true);
    });
    connect(gateTool_.get(), &GateTool::OnAnnotationLeave, this, [this] { chart_->setAnnotationVisible(false); });
    // Gate statistics belong to a contour of the view shown: they go when the page changes.
    connect(Control->pages, &QTabWidget::currentChanged, this, [this] { chart_->setAnnotationVisible(false); });
    connect(Control->markers, &QPushButton::clicked, this, [this] { markersClick(); });
    connect(Control->OneDGate, &QPushButton::clicked, this, [this] { OneDGateClick(); });
    connect(Control->ColorPoints, &QPushButton::clicked, this, [this] { ColorPointsClick(); });
#ifdef ORVALA_HAVE_3D
    // The plotted directions and one more parameter in a rotating 3-D view.
    auto* view3d = new QAction(QStringLiteral("3-D"), this);
    view3d->setObjectName(QStringLiteral("view3d"));
    view3d->setToolTip(QStringLiteral("Show the plotted parameters and a third one in a rotating 3-D view"));
    Control->TeeCommander->addCommand(view3d);
    connect(view3d, &QAction::triggered, this, [this] {
        guarded([this] {
            BuildAxisVectors();
            const bool raw = !view_.components;  // component directions name no parameter
            openScatter3D(this, data_.get(), raw ? view_.x.direction : TVector(), raw ? view_.y.direction : TVector(),
                          pool_);
        });
    });
#endif
    connect(Control->ShowPointer, &QCheckBox::toggled, this, [this](bool on) { showPointer(on); });
    connect(chart_, &Chart::seriesPointClicked, this,
            [this](Chart::SeriesId id, int index, QMouseEvent*, bool* carryOn) {
                TData* d = data_.get();
                if (!Control->bquickview->isChecked() || id != serdat || !d || index < 0 || index >= d->events())
                    return;
                const double* row = d->data[index];
                QuickView::shared()->Showme(std::vector<double>(row, row + d->CaseSize()), d->GetColor(index),
                                            index + 1);
                *carryOn = false;
            });
    connect(Control->Redrawbutt, &QPushButton::clicked, this, [this] {
        guarded([this] {
            // "Redraw" on the "PCA" page runs the analysis first.
            if (Control->pages->currentIndex() == PlotControlPanel::PcaPage) DoPCA();
            DrawData();
        });
    });
    connect(Control->density, &QPushButton::toggled, this, [this] {
        SetColors();
        chart_->redraw();
    });
    connect(Control->pointsize, &QSpinBox::valueChanged, this, [this](int v) {
        if (serdat != Chart::NoSeries) chart_->setMarkSize(serdat, v);
        chart_->redraw();
    });

    if (TData* d = data_.get()) {
        const QString screen = QString::fromStdString(d->ScreenName());
        setWindowTitle(screen);
        Control->setWindowTitle(screen);
        chart_->setTitle(QString::fromStdString(d->FullName()));
        QStringList names;
        for (const TParDescriptor& p : d->Desc()) names << QString::fromStdString(p.name);
        // Component entries of the data set's projection filter, counted from 0.
        if (d->filter)
            for (int k = 0; k < d->filter->Count(); ++k) names << QStringLiteral("PC") + QString::number(k);
        Control->setAxisEntries(names);
        // A first view the user expects: forward against side scatter when
        // the data set has them, else the first two parameters.
        std::vector<std::string> parameters;
        for (const TParDescriptor& p : d->Desc()) parameters.push_back(p.name);
        const auto [nx, ny] = defaultScatterAxes(parameters);
        if (nx >= 0) SetXY(nx, ny);
    }
    setUpPca();
}

int ScatterPlotWindow::dockSiteWidth() const
{
    return DockSite->isFloating() || DockSite->isHidden() ? 0 : DockSite->width();
}

void ScatterPlotWindow::setPanelDocked(bool docked)
{
    DockSite->setFloating(!docked);
}

bool ScatterPlotWindow::acceptsPanelAt(QPoint global) const
{
    if (!isVisible()) return false;
    const QPoint p = mapFromGlobal(global);
    return dropsInto(dockDropRect(width(), height()), p.x(), p.y());
}

void ScatterPlotWindow::panelPress(QPoint global)
{
    panelDrag_ = {true, false, global, global - DockSite->mapToGlobal(QPoint(0, 0))};
}

void ScatterPlotWindow::panelMove(QPoint global)
{
    if (!panelDrag_.pressed) return;
    if (!panelDrag_.moving) {
        if ((global - panelDrag_.pressGlobal).manhattanLength() < QApplication::startDragDistance()) return;
        panelDrag_.moving = true;
        if (!DockSite->isFloating()) setPanelDocked(false);
        // Floating makes the panel a window of its own, which ends the
        // implicit grab of the press: keep the rest of the drag here.
        DockSite->titleBarWidget()->grabMouse();
    }
    DockSite->move(global - panelDrag_.grip);
    if (acceptsPanelAt(global)) {
        const DropRect r = dockDropRect(width(), height());
        dropPreview_->setGeometry(r.x, r.y, r.width, r.height);
        dropPreview_->show();
        dropPreview_->raise();
    } else {
        dropPreview_->hide();
    }
}

void ScatterPlotWindow::panelRelease(QPoint global)
{
    const PanelDrag drag = panelDrag_;
    panelDrag_ = {};
    if (!drag.moving) return;
    DockSite->titleBarWidget()->releaseMouse();
    dropPreview_->hide();
    // Anywhere but the drop rectangle the panel stays where it was let go.
    if (acceptsPanelAt(global)) setPanelDocked(true);
}

void ScatterPlotWindow::closeEvent(QCloseEvent* e)
{
    if (KeepOnClose) {
        // Hidden with its sub-window, ready to be shown again by its owner.
        e->ignore();
        (qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : static_cast<QWidget*>(this))->hide();
        return;
    }
    QWidget::closeEvent(e);
}

ScatterPlotWindow::~ScatterPlotWindow()
{
    // The tool disconnects from the chart, which must still exist.
    gateTool_.reset();
}

void ScatterPlotWindow::SetXY(int nx, int ny)
{
    for (QListWidget* list : {Control->xlist, Control->ylist})
        for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
    if (nx >= 0 && nx < Control->xlist->count()) Control->xlist->item(nx)->setCheckState(Qt::Checked);
    if (ny != nx && ny >= 0 && ny < Control->ylist->count()) Control->ylist->item(ny)->setCheckState(Qt::Checked);
}

void ScatterPlotWindow::BuildAxisVectors()
{
    // The controls are read here, once; drawing and gating work on the view.
    const int page = Control->pages->currentIndex();
    const AxisControls ax = axisControls();
    PlotView v;
    if (const TDataFilter* pf = pageFilter(page)) {
        v.components = true;
        v.x.direction = PlotView::componentDirection(pf->Fevects, PlotControlPanel::ticked(ax.xlist));
        v.y.direction = PlotView::componentDirection(pf->Fevects, PlotControlPanel::ticked(ax.ylist));
    } else {
        const int n = data_ ? data_->CaseSize() : 0;
        const TDataFilter* f = data_ ? data_->filter.get() : nullptr;
        // Component entries count only while the lists hold every parameter and component entry.
        const bool listed = f && Control->xlist->count() == n + f->Count();
        const TMatrix* evects = listed ? &f->Fevects : nullptr;
        const TIntVector* indices = listed ? &f->FIndices : nullptr;
        v.x.direction = PlotView::parameterDirection(n, PlotControlPanel::ticked(ax.xlist), evects, indices);
        v.y.direction = PlotView::parameterDirection(n, PlotControlPanel::ticked(ax.ylist), evects, indices);
    }
    v.x.mode = AxisModeFor(ax.xlin->isChecked(), ax.xlog->isChecked());
    v.y.mode = AxisModeFor(ax.ylin->isChecked(), ax.ylog->isChecked());
    view_ = std::move(v);
    viewPage_ = page;
    xvector = view_.x.direction;
    yvector = view_.y.direction;
    const AxisScale sx = AxisScaleFor(view_.x.mode), sy = AxisScaleFor(view_.y.mode);
    ConvertX = sx.Convert;
    ConvertBackX = sx.ConvertBack;
    ConvertY = sy.Convert;
    ConvertBackY = sy.ConvertBack;
}

void ScatterPlotWindow::DrawData()
{
    ++drawCount_;
    ScatterMode = Control->pages->currentIndex() == PlotControlPanel::ScatterPage;
    // The contours are drawn anew (or not at all in a histogram): so are their statistics.
    chart_->setAnnotationVisible(false);
    BuildAxisVectors();
    const AxisControls ax = axisControls();
    TData* d = data_.get();
    if (!d) return;
    datamodified = d->Modified();
    // Component mode: events pass through the page's projection filter first.
    const TDataFilter* pf = view_.components ? pageFilter(viewPage_) : nullptr;

    gateTool_->DeleteContours();
    contours_.clear();
    chart_->clearSeries();
    serdat = Chart::NoSeries;
    if (sumSquares(xvector) < 1e-16) {
        chart_->redraw();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TMultiThread* pool = pool_ ? pool_ : &gatePool();
    auto projectX = [&](const TData& s, const TVector& direction, std::vector<double>& out) {
        if (pf)
            projectThroughFilter(blockOf(s), FilterPass(*pf), direction, ConvertX, out, nullptr, nullptr, nullptr,
                                 pool);
        else
            projectEvents(blockOf(s), direction, ConvertX, out, pool);
    };
    auto joined = [](const QListWidget* list, const QString& sep) {
        QStringList parts;
        for (int i : PlotControlPanel::ticked(list)) parts << list->item(i)->text();
        return parts.join(sep);
    };
    chart_->setAxisAutomatic(ChartAxis::Bottom, true);
    chart_->setAxisAutomatic(ChartAxis::Left, true);
    const bool histogram = sumSquares(yvector) < 1e-16;
    const bool multi = ax.multi && ax.multi->isChecked();
    // Scaled axes read in data units at decades; the plotted values stay the scale's.
    chart_->setAxisTickScale(ChartAxis::Bottom, AxisModeFor(ax.xlin->isChecked(), ax.xlog->isChecked()));
    chart_->setAxisTickScale(ChartAxis::Left,
                             histogram ? AxisMode::Linear : AxisModeFor(ax.ylin->isChecked(), ax.ylog->isChecked()));
    if (histogram) {
        const bool several = multi && PlotControlPanel::ticked(ax.xlist).size() > 1;
        chart_->setLegendVisible(several);
        chart_->setAxisTitle(ChartAxis::Bottom, joined(ax.xlist, several ? QStringLiteral(",") : QStringLiteral("+")));
        chart_->setAxisTitle(ChartAxis::Left, QStringLiteral("Freq"));
    }
    std::vector<double> v;
    if (histogram && multi) {
        // One histogram per ticked entry, each in the next colour of a fixed cycle.
        static const QColor cycle[] = {Qt::red, Qt::darkGreen, Qt::blue, Qt::darkYellow, Qt::magenta, Qt::darkCyan};
        int k = 0;
        for (int i : PlotControlPanel::ticked(ax.xlist)) {
            TVector direction;
            if (pf) {
                if (i >= pf->Count()) continue;
                direction = pf->Fevects[size_t(i)];
            } else {
                if (i >= d->CaseSize()) continue;
                direction.assign(size_t(d->CaseSize()), 0.0);
                direction[size_t(i)] = 1;
            }
            projectX(*d, direction, v);
            if (v.empty()) continue;
            Thistogram h(v, 1024);
            const Chart::SeriesId id = chart_->addLineSeries(ax.xlist->item(i)->text(), cycle[k++ % 6]);
            chart_->setPoints(id, h.Xvalue, h.Yvalue);
        }
    } else if (histogram) {
        // The data set's histogram, then one per child over the child's own events.
        std::vector<TData*> sets{d};
        for (int i = 0; i < d->KidCount(); ++i) sets.push_back(d->GetKid(i));
        for (TData* s : sets) {
            projectX(*s, xvector, v);
            if (v.empty()) continue;
            Thistogram h(v, 1024);
            const Chart::SeriesId id =
                chart_->addLineSeries(QString::fromStdString(s->ShortName()), toQColor(s->NativeColor()));
            chart_->setPoints(id, h.Xvalue, h.Yvalue);
        }
    } else {
        chart_->setLegendVisible(false);
        chart_->setAxisTitle(ChartAxis::Bottom, joined(ax.xlist, QStringLiteral("+")));
        chart_->setAxisTitle(ChartAxis::Left, joined(ax.ylist, QStringLiteral("+")));
        // One read of the events for both directions, into px_ and py_
        // themselves: they keep the pages of the last redraw.
        ProjectionRanges ranges;
        if (pf) {
            projectThroughFilter(blockOf(*d), FilterPass(*pf), xvector, ConvertX, px_, &yvector, ConvertY, &py_,
                                 pool);
            ranges = {finiteRange(px_, pool), finiteRange(py_, pool)};
        } else {
            ranges = projectEventsXY(blockOf(*d), xvector, ConvertX, px_, yvector, ConvertY, py_, pool);
        }
        serdat = chart_->addPointSeries(Control->pointsize->value());
        // The chart takes the points over and hands back the arrays of the
        // last redraw, which the next projection overwrites in place.
        chart_->swapPoints(serdat, px_, py_);
        // Fixed ranges, set as fixRange sets them but from the ranges at hand:
        // contours drawn or edited later must not rescale the view, and the
        // chart need not scan millions of points on every paint.
        auto fix = [this](ChartAxis axis, const ProjectionRange& range) {
            const ProjectionRange view = viewRange(range);
            if (view.found)
                chart_->setAxisRange(axis, view.minimum, view.maximum);
            else
                chart_->setAxisAutomatic(axis, true);
        };
        fix(ChartAxis::Bottom, ranges.x);
        fix(ChartAxis::Left, ranges.y);
        // Hidden while the contours are drawn: their redraw would rasterise
        // every event once more, before the events have their colours.
        chart_->setSeriesActive(serdat, false);
        DrawGateContours();
        chart_->setSeriesActive(serdat, true);
    }
    QApplication::restoreOverrideCursor();
    SetColors();
    applyLabels();
    chart_->redraw();
}

void ScatterPlotWindow::fixRange(ChartAxis axis, const std::vector<double>& v)
{
    // A margin keeps the dots on the edges whole; a single value gets a unit range.
    const ProjectionRange view = viewRange(finiteRange(v, pool_ ? pool_ : &gatePool()));
    if (view.found)
        chart_->setAxisRange(axis, view.minimum, view.maximum);
    else
        chart_->setAxisAutomatic(axis, true);
}

void ScatterPlotWindow::SetColors()
{
    if (serdat == Chart::NoSeries || !data_) return;
    TData* d = data_.get();
    const std::vector<double>& px = chart_->pointsX(serdat);
    const std::vector<double>& py = chart_->pointsY(serdat);
    const int n = int(px.size());
    // The (cached) event colours go to the chart in its one copy instead of
    // a parent walk per event; density colouring recolours a copy of its own.
    const TColors& events = d->Colors();
    const bool density = Control->density->isChecked();
    if (!density && events.size() >= size_t(n)) {
        chart_->setPointColors(serdat, events.data(), n);
        return;
    }
    std::vector<uint32_t> colors(static_cast<size_t>(n), 0u);
    std::copy_n(events.begin(), std::min(events.size(), colors.size()), colors.begin());
    if (density) DensityColoring(px.data(), py.data(), n, colors.data());
    chart_->setPointColors(serdat, std::move(colors));
}

void ScatterPlotWindow::DrawGateContours()
{
    TData* d = data_.get();
    if (!d) return;
    gateTool_->DeleteContours();
    contours_.clear();
    // Drawn in the view the chart shows; a gate the view cannot show exactly is left out.
    for (TData* kid : d->Kids()) {
        const TGate* g = kid->gate.get();
        if (!g) continue;
        const std::optional<Outline> contour = view_.contourOf(shapeOf(*g));
        if (!contour) continue;
        const Chart::SeriesId s = gateTool_->CreateContour();
        chart_->setSeriesTag(s, qint64(reinterpret_cast<qintptr>(kid)));
        chart_->setPoints(s, contour->x, contour->y);
        chart_->setSeriesColor(s, toQColor(g->color));
        contours_[s] = ContourLink{kid, *contour};
    }
    gateTool_->EndContourDrawing();
}

void ScatterPlotWindow::addGatedChild(const TGate& gate)
{
    // The new child joins the data list and is announced; with no workspace
    // (no main window) nothing would own it.
    TData* kid = TData::Gated(data_.get(), &gate);
    if (!kid) return;
    if (TData::Workspace) {
        TData::Workspace->Add(kid);
        kid->Announce();
    } else {
        TData::Free(kid);
    }
}

void ScatterPlotWindow::SubData(Chart::SeriesId contour)
{
    TData* d = data_.get();
    if (serdat == Chart::NoSeries || !d || !chart_->hasSeries(contour)) return;
    const Outline drawn{chart_->xValues(contour), chart_->yValues(contour)};
    const std::optional<PlotView::NewGate> gate = view_.polygonGate(drawn);
    if (!gate) {
        // Too few vertices for a region: the drawing leaves nothing behind.
        chart_->removeSeries(contour);
        chart_->redraw();
        return;
    }
    addGate(*gate, fromQColor(chart_->seriesColor(contour)));
}

void ScatterPlotWindow::addGate(const PlotView::NewGate& ng, TColor color)
{
    // In component mode a PCA gate with its own copy of the filter of the page the chart shows.
    const TDataFilter* f = view_.components ? pageFilter(viewPage_) : nullptr;
    if (view_.components && !f) return;
    TGate gate = f ? TGate(ng.x, ng.y, ng.cx, ng.cy, *f) : TGate(ng.x, ng.y, ng.cx, ng.cy);
    gate.loglinx = ng.sx.loglin;
    gate.linlogx = ng.sx.linlog;
    gate.logliny = ng.sy.loglin;
    gate.linlogy = ng.sy.linlog;
    gate.color = color;
    gate.Inverse = Control->Reverse->isChecked();
    addGatedChild(gate);
}

TData* ScatterPlotWindow::childOfContour(Chart::SeriesId contour) const
{
    const auto it = contours_.find(contour);
    if (it == contours_.end() || !data_) return nullptr;
    // A child removed since the drawing is no longer among the children.
    for (TData* kid : data_->Kids())
        if (kid == it->second.kid && kid->gate) return kid;
    return nullptr;
}

void ScatterPlotWindow::regate(Chart::SeriesId contour)
{
    TData* kid = childOfContour(contour);
    if (!kid || !chart_->hasSeries(contour)) return;
    ContourLink& link = contours_[contour];
    TGate& g = *kid->gate;
    const Outline now{chart_->xValues(contour), chart_->yValues(contour)};
    const GateEdit edit = view_.edit(shapeOf(g), link.drawn, now);
    if (edit.kind == GateEdit::Unchanged) return;
    // An imported gate's outline only shows its rule, which an edit cannot change.
    if (edit.kind == GateEdit::Refused || g.kind == TGateType::gtRule) {
        // The gate keeps its region; the contour goes back to showing it.
        chart_->setPoints(contour, link.drawn.x, link.drawn.y);
        chart_->redraw();
        return;
    }
    // The edit, mapped into the gate's own space; its scale flags stay.
    g.cx = edit.cx;
    g.cy = edit.cy;
    link.drawn = now;
    kid->Relink(data_->CreateLink(g));
}

void ScatterPlotWindow::markersClick()
{
    if (mark1_ >= 0) {
        chart_->removeCursorLine(mark1_);
        chart_->removeCursorLine(mark2_);
        mark1_ = mark2_ = -1;
        if (markerCursor_) chart_->setCanvasCursor(Qt::ArrowCursor);
        markerCursor_ = false;
    } else {
        const double lo = chart_->axisMinimum(ChartAxis::Bottom), hi = chart_->axisMaximum(ChartAxis::Bottom);
        mark1_ = chart_->addCursorLine(lo + (hi - lo) / 4, Qt::SolidLine, Qt::red);
        mark2_ = chart_->addCursorLine(lo + 3 * (hi - lo) / 4, Qt::SolidLine, Qt::red);
    }
    chart_->redraw();
}

void ScatterPlotWindow::setMarkerPositions(double x1, double x2)
{
    if (mark1_ < 0) return;
    chart_->setCursorLinePosition(mark1_, x1);
    chart_->setCursorLinePosition(mark2_, x2);
}

std::pair<double, double> ScatterPlotWindow::markerPositions() const
{
    if (mark1_ < 0) return {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    return {chart_->cursorLinePosition(mark1_), chart_->cursorLinePosition(mark2_)};
}

void ScatterPlotWindow::markerPress(QMouseEvent* e)
{
    if (mark1_ < 0 || e->button() != Qt::LeftButton || (gateTool_ && gateTool_->Genesis())) return;
    const auto [p0, p1] = markerPositions();
    const double positions[2] = {p0, p1};
    const double px = e->position().x();
    if (!markerDrag_.press(px, chart_->valueToPixel(ChartAxis::Bottom, p0), chart_->valueToPixel(ChartAxis::Bottom, p1),
                           chart_->pixelToValue(ChartAxis::Bottom, px), positions))
        return;
    // The drag moves the marker only: no zoom rectangle, no contour edit.
    zoomBeforeDrag_ = chart_->zoomEnabled();
    chart_->setZoomEnabled(false);
    if (gateTool_) gateTool_->Disable = true;
}

void ScatterPlotWindow::markerMove(QMouseEvent* e)
{
    if (mark1_ < 0) return;
    const double px = e->position().x();
    if (markerDrag_.grabbed >= 0) {
        chart_->setCursorLinePosition(markerDrag_.grabbed == 0 ? mark1_ : mark2_,
                                      markerDrag_.moveTo(chart_->pixelToValue(ChartAxis::Bottom, px)));
        return;
    }
    if (gateTool_ && gateTool_->Genesis()) return;
    const auto [p0, p1] = markerPositions();
    const bool over = MarkerDrag::markerAt(px, chart_->valueToPixel(ChartAxis::Bottom, p0),
                                           chart_->valueToPixel(ChartAxis::Bottom, p1)) >= 0;
    if (over == markerCursor_) return;
    markerCursor_ = over;
    chart_->setCanvasCursor(over ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

void ScatterPlotWindow::markerRelease()
{
    if (markerDrag_.grabbed < 0) return;
    markerDrag_.release();
    chart_->setZoomEnabled(zoomBeforeDrag_);
    if (gateTool_) gateTool_->Disable = false;
}

void ScatterPlotWindow::OneDGateClick()
{
    TData* d = data_.get();
    if (!d || mark1_ < 0) return;
    auto* rng = QRandomGenerator::global();
    const QColor color =
        QColor::fromHsvF(float(rng->generateDouble()), float(0.5 + 0.5 * rng->generateDouble()), 1.0f);
    const auto [m1, m2] = markerPositions();
    // Exactly the events seen between the markers, on the x direction the chart shows.
    if (const std::optional<PlotView::NewGate> gate = view_.rangeGate(m1, m2)) addGate(*gate, fromQColor(color));
}

namespace {

int parseInteger(const QString& text)
{
    const QByteArray b = text.trimmed().toLatin1();
    int v = 0;
    const auto [end, ec] = std::from_chars(b.data(), b.data() + b.size(), v);
    if (b.isEmpty() || ec != std::errc() || end != b.data() + b.size())
        throw OrvalaError("'" + text.toStdString() + "' is not a valid integer value");
    return v;
}

}  // namespace

void ScatterPlotWindow::PaintPoints(const QString& from, const QString& to, TColor color)
{
    TData* d = data_.get();
    if (!d) return;
    const int a = parseInteger(from), b = parseInteger(to);
    if (1 <= a && a <= b && b <= d->events())
        for (int k = a - 1; k < b; ++k) d->SetColor(k, color);
    d->Announce();
}

void ScatterPlotWindow::ColorPointsClick()
{
    PaintPointsDialog dlg(this);
    if (dlg.exec() != QDialog::Accepted) return;
    try {
        PaintPoints(dlg.p1->text(), dlg.p2->text(), fromQColor(dlg.color()));
    } catch (const std::exception& ex) {
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(ex.what()));
    }
}

QString ScatterPlotWindow::gateStatistics(Chart::SeriesId contour) const
{
    TData* kid = childOfContour(contour);
    TData* d = data_.get();
    if (!kid || !d) return {};
    const QString head = QString::fromStdString(kid->ShortName()) + QStringLiteral("\rEvents : ");
    if (kid->events() == 0 || d->events() == 0 || serdat == Chart::NoSeries)
        return head + QString::number(kid->events());
    const std::vector<double>& px = chart_->pointsX(serdat);
    const std::vector<double>& py = chart_->pointsY(serdat);
    double sx = 0, sy = 0;
    int n = 0;
    for (int32_t l : kid->link)
        if (l >= 0 && size_t(l) < px.size() && size_t(l) < py.size()) {
            sx += px[size_t(l)];
            sy += py[size_t(l)];
            ++n;
        }
    if (n > 0) sx /= n, sy /= n;
    const double pct = 100.0 * kid->events() / d->events();
    return head + QString::number(kid->events()) + QStringLiteral(" ( ") + QString::asprintf("%4.1f", pct) +
           QStringLiteral("% )\r") + QString::asprintf("X = %.1f, Y = %.1f", sx, sy);
}

void ScatterPlotWindow::showPointer(bool on)
{
    chart_->setCrossHairVisible(on);
    chart_->setCrossHairFollowsMouse(on);
}

void ScatterPlotWindow::mouseOver(TData* d)
{
    if (d != data_.get() || !d || serdat == Chart::NoSeries || !Control->ShowPointer->isChecked()) return;
    if (d->ActivEvent < 0 || d->ActivEvent >= chart_->pointCount(serdat)) return;
    const QPointF p = chart_->point(serdat, d->ActivEvent);
    chart_->setCrossHairPosition(p.x(), p.y());
}

void ScatterPlotWindow::closeWindow()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

bool ScatterPlotWindow::event(QEvent* e)
{
    if (e->type() == DataEvent::mouseOverType()) {
        mouseOver(static_cast<DataEvent*>(e)->data());
        return true;
    }
    if (e->type() != DataEvent::changedType()) return QWidget::event(e);
    // A burst of announcements costs one redraw.
    QCoreApplication::removePostedEvents(this, DataEvent::changedType());
    try {
        TData* d = data_.get();
        if (!d) {
            closeWindow();
        } else if (d->Deleted()) {
            data_.reset();
            closeWindow();
        } else if (d->Modified() != datamodified) {
            DrawData();
        }
    } catch (const std::exception& ex) {
        // Exceptions never cross the event loop: the previous picture stays.
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(ex.what()));
    }
    return true;
}

}  // namespace orvala
