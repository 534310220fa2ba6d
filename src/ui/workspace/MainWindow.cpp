#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTableWidget>
#include <QThread>
#include <QLinearGradient>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <clocale>

#include "DataSetCommands.h"
#include "FileDialogs.h"
#include "FileFormatDialog.h"
#include "FileInfoWindow.h"
#include "FileOpener.h"
#include "MdiLayout.h"
#include "OptionsDialog.h"
#include "SaveTextOptionsDialog.h"
#include "SingleInstance.h"
#include "analysis/TPca.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "formats/TextLogOpen.h"
#include "parallel/TMultiThread.h"
#include "ui/acquisition/AcquisitionCommands.h"
#include "ui/analysis/AverageCommands.h"
#include "ui/analysis/CombineCommands.h"
#include "ui/analysis/TimePlotCommands.h"
#include "ui/analysis/TransformCommands.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/DiscriminationDialog.h"
#include "ui/common/ProgressWindow.h"
#include "ui/gatingml/GatingMlCommands.h"
#include "ui/image/ImageCommands.h"
#include "ui/plates/PlateCommands.h"
#include "ui/plot/PlotWindow.h"
#include "ui/plot/ScatterPlotWindow.h"
#include "ui/spectra/SpectraCommands.h"

namespace orvala {

namespace {

const QString OpenFilter = QStringLiteral(
    "All Formats|*.log;*.txt;*.fcs;*.lmd;*.hst;*.l01;*.fcs.a|PhotoniQ Files|*.log|Text Files|*.txt|"
    "Flow Cyto Files|*.fcs;*.lmd;*.hst;*l01;*.fcs.a|All Files|*.*");

const QString WorkspaceFilter = QStringLiteral("Workspace (*.orw)|*.orw");

// Hourglass while gates sort events. Gates may also be made off the UI
// thread (readers, workers); the cursor belongs to the UI thread only.
void gateBusy(bool busy)
{
    if (!qApp || QThread::currentThread() != qApp->thread()) return;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// The background of the child-window area: a dim dot plot of two populations,
// drawn once; it is stretched over the area.
QImage backgroundPicture()
{
    QImage img(800, 600, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, 600);
    g.setColorAt(0, QColor(0x24, 0x2c, 0x3c));
    g.setColorAt(1, QColor(0x12, 0x16, 0x20));
    p.fillRect(img.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(20240601);
    struct Cloud {
        double x, y, sx, sy;
        QColor c;
    };
    const Cloud clouds[] = {{260, 380, 70, 45, QColor(0x4f, 0xa3, 0xd1, 70)},
                            {520, 220, 55, 60, QColor(0xe0, 0x8a, 0x3c, 70)},
                            {560, 430, 40, 30, QColor(0x7c, 0xc4, 0x6c, 70)}};
    p.setPen(Qt::NoPen);
    for (const Cloud& c : clouds) {
        p.setBrush(c.c);
        for (int i = 0; i < 1500; ++i) {
            // Sum of uniforms: a cheap bell shape, good enough for a picture.
            double u = 0, v = 0;
            for (int k = 0; k < 4; ++k) {
                u += rng.generateDouble() - 0.5;
                v += rng.generateDouble() - 0.5;
            }
            p.drawEllipse(QPointF(c.x + u * c.sx, c.y + v * c.sy), 1.6, 1.6);
        }
    }
    p.setPen(QColor(0xff, 0xff, 0xff, 40));
    QFont f = p.font();
    f.setPixelSize(64);
    f.setBold(true);
    p.setFont(f);
    p.drawText(img.rect().adjusted(0, 0, -30, -20), Qt::AlignRight | Qt::AlignBottom, QStringLiteral("Orvala"));
    return img;
}

}  // namespace

MainWindow::MainWindow(const QString& settingsFile, QWidget* parent) : QMainWindow(parent), settings_(settingsFile)
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Orvala") + QStringLiteral(" ") + QStringLiteral("9.0"));
    resize(1100, 720);
    move(settings_.ReadInteger(QStringLiteral("Main"), QStringLiteral("Left"), 0),
         settings_.ReadInteger(QStringLiteral("Main"), QStringLiteral("Top"), 0));
    // QApplication switched the C library to the user's locale; numbers in
    // files and on screen use "." everywhere in this program.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    pool_ = std::make_unique<TMultiThread>(0);
    pool_->PostToUi = [](std::function<void()> f) {
        QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection);
    };
    setGatePool(pool_.get());
    setGateBusyHook(&gateBusy);
    // The FCS reader keeps a pool of its own: a redraw that starts on this pool
    // while a file is read (on the opener's thread) would stop the reader's run.

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("ClientArea"));
    mdi_->viewport()->installEventFilter(this);
    setCentralWidget(mdi_);
    updateBackground();

    dataList_ = new DataListWindow(this);
    addDockWidget(Qt::LeftDockWidgetArea, dataList_);
    resizeDocks({dataList_}, {200}, Qt::Horizontal);
    // Docking again after floating gives the panel its 200 pixels back.
    connect(dataList_, &QDockWidget::topLevelChanged, this, [this](bool floating) {
        if (!floating) resizeDocks({dataList_}, {200}, Qt::Horizontal);
    });

    saveTextOptions_ = new SaveTextOptionsDialog(this);
    discrimination_ = new DiscriminationDialog(this);
    fileInfo_ = new FileInfoWindow(this);
    options_ = new OptionsDialog(&settings_, this);
    fileFormat_ = new FileFormatDialog(this);
    // The plot windows' PCA runs with the eigen-solver chosen in the options.
    ScatterPlotWindow::setPcaAlgorithmSource([this] {
        return options_ && options_->Algorithm() == OptionsDialog::PcaAlgorithm::Jacobi ? int(TPca::Jacobi) : int(TPca::QL);
    });
    progress_ = new ProgressWindow(this);

    connect(dataList_, &DataListWindow::dataActivated, this, [this](TData* d) {
        // Pictures and frame stacks open in the image window, everything else in a plot.
        if (d) runCommand([&] { d->IsPicture() ? void(ImageCommands::OpenImageWindow(*this, d)) : void(openPlot(d)); });
    });

    dataList_->setFileInfoAvailable(true);
    connect(dataList_, &DataListWindow::fileInfoRequested, this, [this](const QString& file, int datasetnum) {
        runCommand([&] { fileInfo_->ShowFile(file, datasetnum); });
    });

    previousSink_ = setDefaultSink(&sink_);
    TData::Notifier = &notifier_;
    buildMenu();
    savedGates_ = GateFingerprint(dataList_->datas);
}

MainWindow::~MainWindow()
{
    if (TData::Notifier == &notifier_) TData::Notifier = nullptr;
    ScatterPlotWindow::setPcaAlgorithmSource({});
    setDefaultSink(previousSink_);
    // The data list owns the workspace; it goes before the pool its data sets may use.
    delete dataList_;
    dataList_ = nullptr;
    freePool();
}

QAction* MainWindow::action(const QString& caption) const { return actions_.value(caption, nullptr); }

QList<QMenu*> MainWindow::menus() const { return menuBar()->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly); }

QAction* MainWindow::addCommand(QMenu* menu, const QString& caption, std::function<void()> work, int flags)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(caption);
    actions_.insert(caption, a);
    a->setVisible(!(flags & Hidden));
    if (!work) {
        a->setEnabled(false);
        return a;
    }
    const bool ask = !(flags & NoAskSelect);
    connect(a, &QAction::triggered, this, [this, work = std::move(work), ask] {
        runCommand([&] {
            if (ask && !dataList_->AskSelect()) return;
            work();
        });
    });
    return a;
}

void MainWindow::buildMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("Hypercyt"), [this] { AcquisitionCommands::ShowHypercyt(*this); }, NoAskSelect);
    addCommand(file, QStringLiteral("Acquisition"), [this] { AcquisitionCommands::ShowAcquisition(*this); }, NoAskSelect);
    addCommand(file, QStringLiteral("Open"), [this] { openDialog(); }, NoAskSelect);
    addCommand(file, QStringLiteral("Open Plate"), [this] { PlateCommands::OpenPlate(*this); }, NoAskSelect);
    // Opening a picture or a frame directory needs no selection: asking for
    // one would make them unusable on an empty workspace.
    addCommand(file, QStringLiteral("Open Picture"), [this] { DataSetCommands::OpenPictureDialog(*this); },
               NoAskSelect);
    addCommand(file, QStringLiteral("Open Multipage Image"),
               [this] { DataSetCommands::OpenMultipageDialog(*this, false); }, NoAskSelect);
    addCommand(file, QStringLiteral("Open Kodak Multipage"),
               [this] { DataSetCommands::OpenMultipageDialog(*this, true); }, Hidden | NoAskSelect);
    addCommand(file, QStringLiteral("Load Protocol"), [this] { DataSetCommands::LoadProtocolDialog(*this); },
               NoAskSelect);
    addCommand(file, QStringLiteral("Import Gating-ML"), [this] { GatingMlCommands::ImportDialog(*this); });
    addCommand(file, QStringLiteral("Remove"), [this] { dataList_->RemoveSelected(); }, NoAskSelect);
    addCommand(file, QStringLiteral("Save As FCS"), [this] { DataSetCommands::SaveAsFcsDialog(*this); });
    addCommand(file, QStringLiteral("Save Gate Table"), [this] { DataSetCommands::SaveGateTableDialog(*this); });
    addCommand(file, QStringLiteral("Save As TXT"),
               [this] { DataSetCommands::SaveAsTxtDialog(*this, *saveTextOptions_); });
    addCommand(file, QStringLiteral("Save For Cluster"), [this] { DataSetCommands::SaveForCluster(*this); });
    addCommand(file, QStringLiteral("Save Protocol"), [this] { DataSetCommands::SaveProtocolDialog(*this); },
               NoAskSelect);
    addCommand(file, QStringLiteral("Export Gating-ML"), [this] { GatingMlCommands::ExportDialog(*this); });
    addCommand(file, QStringLiteral("Save as Multipage Image"),
               [this] { DataSetCommands::SaveMultipageDialog(*this); });
    file->addSeparator();
    addCommand(file, QStringLiteral("Open Workspace"), [this] { openWorkspaceDialog(); }, NoAskSelect);
    addCommand(file, QStringLiteral("Save Workspace"), [this] { saveWorkspaceDialog(); }, NoAskSelect);
    addCommand(file, QStringLiteral("Close Workspace"), [this] { closeWorkspace(); }, NoAskSelect);
    file->addSeparator();
    addCommand(file, QStringLiteral("Exit"), [this] { close(); }, NoAskSelect);

    QMenu* analyze = menuBar()->addMenu(QStringLiteral("&Analyze"));
    addCommand(analyze, QStringLiteral("2D Plot"), [this] { plotSelected(); }, NoAskSelect);
    addCommand(analyze, QStringLiteral("Gate Projection"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Average"), [this] { AverageCommands::Average(*this, false); });
    addCommand(analyze, QStringLiteral("Normalized Average"), [this] { AverageCommands::Average(*this, true); });
    addCommand(analyze, QStringLiteral("Distribution"), [this] { AverageCommands::Distribution(*this); });
    addCommand(analyze, QStringLiteral("Time Plot"), [this] { TimePlotCommands::TimePlot(*this); });
    addCommand(analyze, QStringLiteral("Tabloid"), [this] { TimePlotCommands::Tabloid(*this); });
    addCommand(analyze, QStringLiteral("Phenotyping"), [this] { PlateCommands::Phenotyping(*this); });
    addCommand(analyze, QStringLiteral("Experiment I"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Experiment II"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Test"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("SVM"), nullptr, Hidden);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("Add Gate Table To Data Table"),
               [this] { DataSetCommands::AddGateTables(*this, dataList_->Selected()); });
    addCommand(tools, QStringLiteral("/BoxcarWidth"), [this] { TransformCommands::BoxCarDiv(*this); });
    addCommand(tools, QStringLiteral("*BoxcarWidth"), [this] { TransformCommands::BoxCarMul(*this); });
    addCommand(tools, QStringLiteral("Discriminate"), [this] { TransformCommands::Discriminate(*this); });
    addCommand(tools, QStringLiteral("Join"), [this] { CombineCommands::Join(*this); });
    addCommand(tools, QStringLiteral("Decomposition"), [this] { SpectraCommands::Decomposition(*this); });
    addCommand(tools, QStringLiteral("Convert To Log Scale"), [this] { TransformCommands::LogScale(*this); });
    addCommand(tools, QStringLiteral("Centered Logratio Transform"), [this] { TransformCommands::Logratio(*this); });
    addCommand(tools, QStringLiteral("Convert to Hyperspherical Coordinates"),
               [this] { TransformCommands::Hyperspherical(*this); });
    addCommand(tools, QStringLiteral("Spectra"), [this] { SpectraCommands::ShowSpectra(*this); }, NoAskSelect);
    addCommand(tools, QStringLiteral("Delete channels"), [this] { DataSetCommands::DeleteChannels(*this); });
    addCommand(tools, QStringLiteral("Swap Channels order"), [this] { TransformCommands::SwapChannels(*this); });
    addCommand(tools, QStringLiteral("Cut Noise"), [this] { TransformCommands::CutNoise(*this); });
    addCommand(tools, QStringLiteral("Add noise"), [this] { TransformCommands::AddNoise(*this); });
    addCommand(tools, QStringLiteral("Transpose"), [this] { TransformCommands::Transpose(*this); });
    addCommand(tools, QStringLiteral("Breed gates"),
               [this] { DataSetCommands::BreedGates(*this, dataList_->GetSelected(0)); });
    addCommand(tools, QStringLiteral("Combine"), [this] { CombineCommands::Combine(*this); });
    addCommand(tools, QStringLiteral("Calculator"), [this] { AverageCommands::Calculator(*this); });
    addCommand(tools, QStringLiteral("Find Signal"), [this] { TransformCommands::FindSignal(*this); });
    addCommand(tools, QStringLiteral("Scale 0..1023"), [this] { TransformCommands::Scale(*this); });
    addCommand(tools, QStringLiteral("Convert Form Cyan To Normal"), nullptr, Hidden);
    addCommand(tools, QStringLiteral("Properties"), [this] { options_->exec(); }, NoAskSelect);

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    addCommand(window, QStringLiteral("&New Window"), nullptr, Hidden);
    addCommand(window, QStringLiteral("&Tile"), [this] { tileChildren(mdi_); }, NoAskSelect);
    addCommand(window, QStringLiteral("&Cascade"), [this] { cascadeChildren(mdi_); }, NoAskSelect);
    addCommand(window, QStringLiteral("&Arrange All"), nullptr, Hidden);
    addCommand(window, QStringLiteral("&Hide"), nullptr, Hidden);
    addCommand(window, QStringLiteral("&Show..."), nullptr, Hidden);

    // Commands that need the file readers wait until they are linked in.
    const bool canOpen = bool(fileOpenFunction());
    action(QStringLiteral("Open"))->setEnabled(canOpen);
    action(QStringLiteral("Open Workspace"))->setEnabled(canOpen);
}

void MainWindow::openDialog()
{
    const QString start = settings_.ReadString(QStringLiteral("Main"), QStringLiteral("OpenPath"), QString());
    const QStringList names = QFileDialog::getOpenFileNames(this, QStringLiteral("Open"), start, qtFilter(OpenFilter));
    if (names.isEmpty()) return;
    settings_.WriteString(QStringLiteral("Main"), QStringLiteral("OpenPath"), QFileInfo(names.first()).absolutePath());
    openFiles(names);
}

void MainWindow::openFiles(QStringList names)
{
    names.sort();
    opening_ = true;
    for (const QString& name : names) {
        runCommand([&] {
            if (!prepareReading(name)) return;
            TData* first = openWithProgress(name, this, fileOpenFunction());
            std::vector<TData*> chain;
            for (TData* d = first; d; d = d->NextData) chain.push_back(d);
            for (TData* d : chain) dataList_->Add(d);
        });
    }
    opening_ = false;
    if (!pendingOpens_.isEmpty()) openFirstDataSet(pendingOpens_.takeFirst());
}

bool MainWindow::prepareReading(const QString& name)
{
    ReadOptions read;
    read.EventLimit = options_->EventLimit().value_or(0);
    // The dialog runs here, on this thread, before the reader's thread starts.
    if (NeedsTextFormat(toEightBit(name))) {
        if (fileFormat_->exec() != QDialog::Accepted) return false;
        read.Text = fileFormat_->Format();
    }
    setReadOptions(read);
    return true;
}

void MainWindow::openFirstDataSet(const QString& name)
{
    if (opening_) {
        // A hand-over arrived while a reader runs: it waits its turn.
        pendingOpens_ << name;
        return;
    }
    opening_ = true;
    runCommand([&] {
        if (!prepareReading(name)) return;
        TData* first = openWithProgress(name, this, fileOpenFunction());
        if (!first) return;
        // Only the first data set is added; the rest of the chain is released.
        TData* rest = first->NextData;
        first->NextData = nullptr;
        while (rest) {
            TData* next = rest->NextData;
            rest->NextData = nullptr;
            rest->UseIt();
            TData::Free(rest);
            rest = next;
        }
        dataList_->Add(first);
        // The file the program was started with (or handed) is what the user
        // wants to see: it becomes the current data set.
        dataList_->MakeCurrent(first);
    });
    opening_ = false;
    if (!pendingOpens_.isEmpty()) openFirstDataSet(pendingOpens_.takeFirst());
}

void MainWindow::attachInstanceServer(InstanceServer* server)
{
    connect(server, &InstanceServer::raiseRequested, this, &MainWindow::bringToFront);
    connect(server, &InstanceServer::openRequested, this, &MainWindow::openFirstDataSet);
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

QWidget* MainWindow::openPlot(TData* data) { return openScatterPlot(mdi_, data, pool_.get()); }

std::vector<WorkspaceWindow> MainWindow::plotWindows() const
{
    std::vector<WorkspaceWindow> windows;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (TData* d = plotWindowData(sub)) windows.push_back({d, plotWindowState(sub)});
    return windows;
}

std::vector<std::string> MainWindow::saveWorkspace(const QString& fileName)
{
    std::vector<std::string> skipped = SaveWorkspace(nativeName(fileName), dataList_->datas, plotWindows());
    workspaceFile_ = fileName;
    savedGates_ = GateFingerprint(dataList_->datas);
    return skipped;
}

void MainWindow::clearWorkspace()
{
    mdi_->closeAllSubWindows();
    // The data list forgets its current node and the values it shows before
    // the data sets behind them go.
    dataList_->Currentnode = nullptr;
    dataList_->Values->setRowCount(0);
    // Leaves first, so that no kid is re-attached to a parent about to go.
    while (dataList_->datas.Count() > 0) {
        bool removed = false;
        for (int i = dataList_->datas.Count() - 1; i >= 0; --i)
            if (dataList_->datas.GetData(i)->KidCount() == 0) {
                dataList_->datas.Delete(i);
                removed = true;
            }
        if (!removed) dataList_->datas.Delete(dataList_->datas.Count() - 1);
    }
    dataList_->Rebuild();
    workspaceFile_.clear();
    savedGates_ = GateFingerprint(dataList_->datas);
}

bool MainWindow::openWorkspace(const QString& fileName)
{
    // Read and checked completely before the current workspace is touched.
    const WorkspaceDocument doc = ReadWorkspace(nativeName(fileName));
    if (!confirmDiscardGates()) return false;
    clearWorkspace();
    const FileOpenFunction read = fileOpenFunction();
    if (!read) throw OrvalaError("No reader is available to open " + nativeName(fileName));
    const WorkspaceFileOpener open = [this, &read](const std::string& path, int datasetnum) {
        return openWithProgress(fromEightBit(path), this,
                                [&read, datasetnum](const std::string& name, int) { return read(name, datasetnum); });
    };
    WorkspaceOpenResult result;
    try {
        result = BuildWorkspace(doc, dataList_->datas, open);
    } catch (...) {
        dataList_->Rebuild();
        throw;
    }
    dataList_->Rebuild();
    if (!result.added.empty()) dataList_->MakeCurrent(result.added.front());
    for (const WorkspaceWindow& w : result.windows) applyPlotWindowState(openPlot(w.data), w.state);
    // A workspace opened in part is not the file: saving it must not quietly
    // replace the complete one, so the next save asks for a name.
    workspaceFile_ = result.complete() ? fileName : QString();
    savedGates_ = GateFingerprint(dataList_->datas);
    const std::string report = result.report(QFileInfo(fileName).fileName().toStdString());
    if (!report.empty()) showUserMessage(fromEightBit(report));
    return true;
}

bool MainWindow::closeWorkspace()
{
    if (!confirmDiscardGates()) return false;
    clearWorkspace();
    return true;
}

bool MainWindow::hasUnsavedGates() const
{
    return HasGates(dataList_->datas) && GateFingerprint(dataList_->datas) != savedGates_;
}

bool MainWindow::confirmDiscardGates()
{
    if (!hasUnsavedGates()) return true;
    int answer = QMessageBox::Cancel;
    if (unsavedGatesQuestion) {
        answer = unsavedGatesQuestion();
    } else {
        answer = QMessageBox::question(
            this, QStringLiteral("Unsaved gates"),
            QStringLiteral("The gates of this workspace are not saved. Save the workspace before closing it?"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    }
    if (answer == QMessageBox::Discard) return true;
    if (answer != QMessageBox::Save) return false;
    QString name = workspaceFile_;
    if (name.isEmpty()) name = askSaveName(this, QStringLiteral("Workspace.orw"), WorkspaceFilter, QStringLiteral("orw"));
    if (name.isEmpty()) return false;
    saveWorkspace(name);
    return true;
}

void MainWindow::saveWorkspaceDialog()
{
    const QString start = workspaceFile_.isEmpty()
                              ? QDir(settings_.ReadString(QStringLiteral("Main"), QStringLiteral("OpenPath"), QString()))
                                    .filePath(QStringLiteral("Workspace.orw"))
                              : workspaceFile_;
    const QString name = askSaveName(this, start, WorkspaceFilter, QStringLiteral("orw"));
    if (name.isEmpty()) return;
    const std::vector<std::string> skipped = saveWorkspace(name);
    if (skipped.empty()) return;
    std::string list;
    for (const std::string& s : skipped) list += (list.empty() ? "" : ", ") + s;
    showUserMessage(QStringLiteral("These data sets were not saved in the workspace because they were not opened "
                                   "from a file: ") +
                    fromEightBit(list));
}

void MainWindow::openWorkspaceDialog()
{
    const QString start = workspaceFile_.isEmpty()
                              ? settings_.ReadString(QStringLiteral("Main"), QStringLiteral("OpenPath"), QString())
                              : QFileInfo(workspaceFile_).absolutePath();
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open Workspace"), start, qtFilter(WorkspaceFilter));
    if (!name.isEmpty()) openWorkspace(name);
}

void MainWindow::plotSelected()
{
    // Without a selection the user still gets an empty plot to drop data on.
    if (!dataList_->AskSelect()) {
        openPlot(nullptr);
        return;
    }
    for (TData* d : dataList_->Selected()) openPlot(d);
}

void MainWindow::setBackgroundVisible(bool visible)
{
    backgroundVisible_ = visible;
    updateBackground();
}

void MainWindow::updateBackground()
{
    if (!backgroundVisible_) {
        mdi_->setBackground(palette().brush(QPalette::Dark));
        return;
    }
    static const QImage picture = backgroundPicture();
    const QSize size = mdi_->viewport()->size().expandedTo(QSize(1, 1));
    mdi_->setBackground(QPixmap::fromImage(picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mdi_->viewport()) {
        if (event->type() == QEvent::Resize && backgroundVisible_)
            updateBackground();
        else if (event->type() == QEvent::MouseButtonPress)
            setBackgroundVisible(options_->BackgroundPicture());
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::freePool()
{
    if (pool_) {
        setGateBusyHook(nullptr);
        setGatePool(nullptr);
    }
    pool_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    bool goOn = false;
    runCommand([&] { goOn = confirmDiscardGates(); });
    if (!goOn) {
        event->ignore();
        return;
    }
    settings_.WriteInteger(QStringLiteral("Main"), QStringLiteral("Top"), y());
    settings_.WriteInteger(QStringLiteral("Main"), QStringLiteral("Left"), x());
    mdi_->closeAllSubWindows();
    freePool();
    event->accept();
}

}  // namespace orvala
