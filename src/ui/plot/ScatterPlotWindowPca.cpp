// The plot window's principal-component side: the analysis, the component
// axes, the result tables, ".pca" files and the pages of other projection spaces.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <atomic>
#include <cmath>
#include <new>

#include "PcaTablesWindow.h"
#include "PlotControlPanel.h"
#include "ProjectionPage.h"
#include "ScatterPlotWindow.h"
#include "analysis/DoPca.h"
#include "analysis/TPca.h"
#include "core/Messages.h"
#include "core/PcaFile.h"
#include "core/TDataFilter.h"
#include "core/TGate.h"
#include "parallel/TMultiThread.h"
#include "plot/Histogrm.h"
#include "ui/chart/GateTool.h"
#include "ui/common/WaitCursor.h"

namespace orvala {

namespace {

ScatterPlotWindow::MessageHandler& messageHandler()
{
    static ScatterPlotWindow::MessageHandler handler;
    return handler;
}

std::function<int()>& algorithmSource()
{
    static std::function<int()> source;
    return source;
}

// Two filters describe the same projection space: every field that changes
// an event's output, and the eigenvectors, are equal.
bool sameSpace(const TDataFilter& a, const TDataFilter& b)
{
    return a.FIndices == b.FIndices && a.Normalized == b.Normalized && a.Hyper == b.Hyper &&
           a.Includer == b.Includer && a.PCAType == b.PCAType && a.FMean == b.FMean &&
           a.FDeviation == b.FDeviation && a.Fevects == b.Fevects;
}

}  // namespace

ScatterPlotWindow::MessageHandler ScatterPlotWindow::setMessageHandler(MessageHandler handler)
{
    MessageHandler previous = std::move(messageHandler());
    messageHandler() = std::move(handler);
    return previous;
}

void ScatterPlotWindow::setPcaAlgorithmSource(std::function<int()> source) { algorithmSource() = std::move(source); }

void ScatterPlotWindow::showMessage(const QString& text)
{
    if (messageHandler())
        messageHandler()(text);
    else
        QMessageBox::warning(this, windowTitle(), text);
}

void ScatterPlotWindow::guarded(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::bad_alloc&) {
        showMessage(QStringLiteral("Not enough memory"));
    } catch (const std::exception& ex) {
        showMessage(QString::fromUtf8(ex.what()));
    }
}

void ScatterPlotWindow::setUpPca()
{
    if (TData* d = data_.get()) {
        QStringList names;
        for (const TParDescriptor& p : d->Desc()) names << QString::fromStdString(p.name);
        Control->setParams(names);
        // A filter from an earlier analysis is usable at once on the component pages.
        if (d->filter) fillComponentLists(d->filter->Count());
        PagesAdd(d);
    }
    connect(Control->PCAbtn, &QPushButton::clicked, this, [this] {
        guarded([this] {
            DoPCA();
            DrawData();
        });
    });
    connect(Control->ShowTables, &QPushButton::clicked, this, [this] { guarded([this] { ShowTables(); }); });
    Control->ShowTables->setEnabled(false);  // until an analysis ran in this window
    connect(Control->SavePC, &QPushButton::clicked, this, [this] { guarded([this] { SavePCA(); }); });
    connect(Control->LoadPC, &QPushButton::clicked, this, [this] { guarded([this] { LoadPCA(); }); });
    connect(Control->pages, &QTabWidget::currentChanged, this,
            [this](int page) { ScatterMode = page == PlotControlPanel::ScatterPage; });
    connect(Control->Labels, &QCheckBox::toggled, this, [this] { guarded([this] { LabelsClick(); }); });
}

const TDataFilter* ScatterPlotWindow::componentFilter() const { return pageFilter(Control->pages->currentIndex()); }

const TDataFilter* ScatterPlotWindow::pageFilter(int page) const
{
    if (page == PlotControlPanel::ScatterPage || page < 0) return nullptr;
    if (page == PlotControlPanel::PcaPage || page == PlotControlPanel::ComponentsPage)
        return data_ ? data_->filter.get() : nullptr;
    const auto* t = qobject_cast<const ProjectionPage*>(Control->pages->widget(page));
    return t ? t->Filter() : nullptr;
}

ScatterPlotWindow::AxisControls ScatterPlotWindow::axisControls() const
{
    if (componentFilter()) {
        const int page = Control->pages->currentIndex();
        if (const auto* t = qobject_cast<const ProjectionPage*>(Control->pages->widget(page)))
            return {t->xlog, t->xlin, t->ylog, t->ylin, t->xlist, t->ylist, t->multi};
        return {Control->pxlog, Control->pxlin, Control->pylog, Control->pylin, Control->pxlist, Control->pylist,
                nullptr};
    }
    return {Control->xlog, Control->xlin, Control->ylog, Control->ylin, Control->xlist, Control->ylist, Control->multi};
}

GateShape ScatterPlotWindow::shapeOf(const TGate& g) const
{
    GateShape shape;
    // Only projection and PCA gates have a region to draw, and imported gates
    // whose outline the workbench can show.
    const bool drawnRule = g.kind == TGateType::gtRule && !g.cx.empty();
    if (g.kind != TGateType::gtGate && g.kind != TGateType::gtPCAGate && !drawnRule) return shape;
    shape = GateShape{g.x, g.y, g.cx, g.cy, {g.loglinx, g.linlogx}, {g.logliny, g.linlogy},
                      g.kind == TGateType::gtPCAGate, false};
    // A PCA gate is drawn only in its own component space; a projection gate
    // only over the parameters (its directions would otherwise be read as
    // eigenvector weights).
    if (shape.components) {
        const TDataFilter* f = view_.components ? pageFilter(viewPage_) : nullptr;
        shape.sameFilter = f && g.filter && sameSpace(*g.filter, *f);
    }
    return shape;
}

void ScatterPlotWindow::fillComponentLists(int count)
{
    QStringList names;
    for (int k = 0; k < count; ++k) names << QStringLiteral("PC") + QString::number(k);
    Control->setComponentEntries(names);
    if (count > 0) Control->pxlist->item(0)->setCheckState(Qt::Checked);
    if (count > 1) Control->pylist->item(1)->setCheckState(Qt::Checked);
}

void ScatterPlotWindow::refillAxisEntries()
{
    TData* d = data_.get();
    if (!d) return;
    QStringList names;
    for (const TParDescriptor& p : d->Desc()) names << QString::fromStdString(p.name);
    if (d->filter)
        for (int k = 0; k < d->filter->Count(); ++k) names << QStringLiteral("PC") + QString::number(k);
    const std::vector<int> xs = PlotControlPanel::ticked(Control->xlist), ys = PlotControlPanel::ticked(Control->ylist);
    Control->setAxisEntries(names);
    for (int i : xs)
        if (i < Control->xlist->count()) Control->xlist->item(i)->setCheckState(Qt::Checked);
    for (int i : ys)
        if (i < Control->ylist->count()) Control->ylist->item(i)->setCheckState(Qt::Checked);
}

bool ScatterPlotWindow::DoPCA()
{
    TData* d = data_.get();
    if (!d) return false;
    PcaRequest request;
    // The list was filled at creation; a data set changed in place since may have fewer columns.
    for (int i : PlotControlPanel::ticked(Control->params))
        if (i < d->CaseSize()) request.params.push_back(i);
    request.hyper = Control->Hyper->isChecked();
    request.normalize = Control->normal->isChecked();
    request.matrixType = Control->matrixType();
    request.algorithm = algorithmSource() ? algorithmSource()() : int(TPca::QL);
    RecordingSink sink;
    std::unique_ptr<TPca> pca;
    {
        WaitCursor busy;
        try {
            pca = orvala::DoPCA(*d, request, sink, pool_ ? pool_ : &gatePool());
        } catch (const std::bad_alloc&) {
            sink.message("Not enough memory for the PCA of " + d->ShortName());
        } catch (const std::exception& ex) {
            sink.message(ex.what());
        }
    }
    for (const std::string& m : sink.messages) showMessage(QString::fromStdString(m));
    if (!pca) return false;
    fpca = std::move(pca);
    Control->ShowTables->setEnabled(true);
    fillComponentLists(fpca->Count());
    refillAxisEntries();
    return fpca->Count() > 0;
}

PcaTablesWindow* ScatterPlotWindow::ShowTables()
{
    if (!fpca) return nullptr;
    auto* tables = new PcaTablesWindow;
    tables->Fill(*fpca);
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub && sub->mdiArea()) {
        QMdiSubWindow* w = sub->mdiArea()->addSubWindow(tables);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    } else {
        tables->show();
    }
    return tables;
}

void ScatterPlotWindow::SavePCA()
{
    TData* d = data_.get();
    if (!d || !d->filter) return;
    QFileDialog dlg(this);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter(QStringLiteral("PCA Files (*.pca)"));
    dlg.setDefaultSuffix(QStringLiteral("pca"));
    dlg.selectFile(QStringLiteral("noname"));  // the dialog asks before overwriting
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    SavePCAFile(dlg.selectedFiles().first());
}

bool ScatterPlotWindow::SavePCAFile(const QString& path)
{
    TData* d = data_.get();
    if (!d || !d->filter) return false;
    try {
        SavePcaFile(QFile::encodeName(path).toStdString(), *d->filter);
        return true;
    } catch (const std::exception& ex) {
        showMessage(QString::fromLocal8Bit(ex.what()));
        return false;
    }
}

void ScatterPlotWindow::LoadPCA()
{
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QString(), QString(), QStringLiteral("PCA FIles (*.pca)"));
    LoadPCAFiles(files);
}

int ScatterPlotWindow::LoadPCAFiles(const QStringList& paths)
{
    const QString caption = data_ ? QString::fromStdString(data_->ShortName()) : QStringLiteral("PCA");
    int added = 0;
    for (const QString& path : paths) {
        std::unique_ptr<TDataFilter> f;
        try {
            f = LoadPcaFile(QFile::encodeName(path).toStdString());
        } catch (const std::exception& ex) {
            showMessage(QString::fromLocal8Bit(ex.what()));
            continue;
        }
        if (!f) {
            showMessage(QStringLiteral("%1 is damaged or is not a PCA file; no projection was loaded from it.")
                            .arg(QDir::toNativeSeparators(path)));
            continue;
        }
        Control->addPage(ProjectionPage::TryCreate(nullptr, f.get()), caption);
        ++added;
    }
    return added;
}

void ScatterPlotWindow::PagesAdd(TData* adata)
{
    if (!adata) return;
    for (TData* o : adata->Offspring())
        if (o->gate && o->gate->kind == TGateType::gtPCAGate)
            Control->addPage(ProjectionPage::TryCreate(nullptr, o), QString::fromStdString(o->ShortName()));
}

void ScatterPlotWindow::LabelsClick()
{
    applyLabels();
    chart_->redraw();
}

void ScatterPlotWindow::applyLabels()
{
    TData* d = data_.get();
    if (serdat == Chart::NoSeries || !d) return;
    const bool on = Control->Labels->isChecked();
    // Millions of label strings cost memory and time: made only when asked for.
    if (on && labelled_ != serdat) {
        const int n = chart_->pointCount(serdat);
        const bool named = d->Eventnames.size() == size_t(d->events());
        for (int i = 0; i < n; ++i) {
            QString label = QString::number(i);
            if (named && size_t(i) < d->Eventnames.size()) {
                const std::string& name = d->Eventnames[size_t(i)];
                // Names are 8-bit text from the file: UTF-8 when valid, else Latin-1.
                label = QString::fromUtf8(name);
                if (label.contains(QChar::ReplacementCharacter)) label = QString::fromLatin1(name);
            }
            chart_->setPointLabel(serdat, i, label);
        }
        labelled_ = serdat;
    }
    chart_->setLabelsVisible(serdat, on);
}

}  // namespace orvala
