#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLinearGradient>
#include <QMdiArea>
#include <QMenuBar>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <clocale>

#include "ClusterTable.h"
#include "DiscriminationDialog.h"
#include "FileOpener.h"
#include "OptionsDialog.h"
#include "SaveTextOptionsDialog.h"
#include "SingleInstance.h"
#include "TDataBox.h"
#include "TSeqProg.h"
#include "TSubChannelDlg.h"
#include "Tsee.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "formats/ReaderPool.h"
#include "plot/TMultiThread.h"

namespace orvala {

namespace {

const QString OpenFilter = QStringLiteral(
    "All Formats|*.log;*.txt;*.fcs;*.lmd;*.hst;*.l01;*.fcs.a|PhotoniQ Files|*.log|Text Files|*.txt|"
    "Flow Cyto Files|*.fcs;*.lmd;*.hst;*l01;*.fcs.a|All Files|*.*");

// "Description|pattern;pattern|..." as Qt file dialogs want it: "Description (pattern pattern)".
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
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

MainWindow* MainWindow::instance_ = nullptr;

MainWindow* MainWindow::instance() { return instance_; }

MainWindow::MainWindow(const QString& settingsFile, QWidget* parent) : QMainWindow(parent), settings_(settingsFile)
{
    instance_ = this;
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
    setReaderPool(pool_.get());

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("ClientArea"));
    mdi_->viewport()->installEventFilter(this);
    setCentralWidget(mdi_);
    updateBackground();

    dataBox_ = new TDataBox(this);
    addDockWidget(Qt::LeftDockWidgetArea, dataBox_);
    resizeDocks({dataBox_}, {200}, Qt::Horizontal);
    // Docking again after floating gives the panel its 200 pixels back.
    connect(dataBox_, &QDockWidget::topLevelChanged, this, [this](bool floating) {
        if (!floating) resizeDocks({dataBox_}, {200}, Qt::Horizontal);
    });

    saveTextOptions_ = new SaveTextOptionsDialog(this);
    discrimination_ = new DiscriminationDialog(this);
    fileInfo_ = new Tsee(this);
    options_ = new OptionsDialog(&settings_, this);
    progress_ = new TSeqProg(this);

    dataBox_->setFileInfoAvailable(true);
    connect(dataBox_, &TDataBox::fileInfoRequested, this, [this](const QString& file, int datasetnum) {
        runCommand([&] { fileInfo_->ShowFile(file, datasetnum); });
    });

    previousSink_ = setDefaultSink(&sink_);
    TData::Notifier = &notifier_;
    buildMenu();
}

MainWindow::~MainWindow()
{
    if (TData::Notifier == &notifier_) TData::Notifier = nullptr;
    setDefaultSink(previousSink_);
    // The data list owns the workspace; it goes before the pool its data sets may use.
    delete dataBox_;
    dataBox_ = nullptr;
    freePool();
    if (instance_ == this) instance_ = nullptr;
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
            if (ask && !dataBox_->AskSelect()) return;
            work();
        });
    });
    return a;
}

void MainWindow::buildMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("Hypercyt"), nullptr, Hidden);
    addCommand(file, QStringLiteral("Acquisition"), nullptr);
    addCommand(file, QStringLiteral("Open"), [this] { openDialog(); }, NoAskSelect);
    addCommand(file, QStringLiteral("Open Plate"), nullptr, Hidden);
    addCommand(file, QStringLiteral("Open Picture"), nullptr);
    addCommand(file, QStringLiteral("Open Multipage Image"), nullptr);
    addCommand(file, QStringLiteral("Open Kodak Multipage"), nullptr, Hidden);
    addCommand(file, QStringLiteral("Load Protocol"), nullptr);
    addCommand(file, QStringLiteral("Remove"), [this] { dataBox_->RemoveSelected(); }, NoAskSelect);
    addCommand(file, QStringLiteral("Save As FCS"), nullptr);
    addCommand(file, QStringLiteral("Save Gate Table"), nullptr);
    addCommand(file, QStringLiteral("Save As TXT"), nullptr);
    addCommand(file, QStringLiteral("Save For Cluster"), [this] { saveForCluster(); });
    addCommand(file, QStringLiteral("Save Protocol"), nullptr);
    addCommand(file, QStringLiteral("Save as Multipage Image"), nullptr);
    file->addSeparator();
    addCommand(file, QStringLiteral("Exit"), [this] { close(); }, NoAskSelect);

    QMenu* analyze = menuBar()->addMenu(QStringLiteral("&Analyze"));
    addCommand(analyze, QStringLiteral("2D Plot"), nullptr);
    addCommand(analyze, QStringLiteral("Gate Projection"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Average"), nullptr);
    addCommand(analyze, QStringLiteral("Normalized Average"), nullptr);
    addCommand(analyze, QStringLiteral("Distribution"), nullptr);
    addCommand(analyze, QStringLiteral("Time Plot"), nullptr);
    addCommand(analyze, QStringLiteral("Tabloid"), nullptr);
    addCommand(analyze, QStringLiteral("Phenotyping"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Experiment I"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Experiment II"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("Test"), nullptr, Hidden);
    addCommand(analyze, QStringLiteral("SVM"), nullptr, Hidden);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("Add Gate Table To Data Table"), nullptr);
    addCommand(tools, QStringLiteral("/BoxcarWidth"), nullptr);
    addCommand(tools, QStringLiteral("*BoxcarWidth"), nullptr);
    addCommand(tools, QStringLiteral("Discriminate"), nullptr);
    addCommand(tools, QStringLiteral("Join"), [this] { joinSelected(); });
    addCommand(tools, QStringLiteral("Decomposition"), nullptr);
    addCommand(tools, QStringLiteral("Convert To Log Scale"), nullptr);
    addCommand(tools, QStringLiteral("Centered Logratio Transform"), nullptr);
    addCommand(tools, QStringLiteral("Convert to Hyperspherical Coordinates"), nullptr);
    addCommand(tools, QStringLiteral("Spectra"), nullptr);
    addCommand(tools, QStringLiteral("Delete channels"), [this] { deleteChannels(); });
    addCommand(tools, QStringLiteral("Swap Channels order"), [this] { swapChannelsOrder(); });
    addCommand(tools, QStringLiteral("Cut Noise"), nullptr);
    addCommand(tools, QStringLiteral("Add noise"), nullptr);
    addCommand(tools, QStringLiteral("Transpose"), nullptr);
    addCommand(tools, QStringLiteral("Breed gates"), nullptr);
    addCommand(tools, QStringLiteral("Combine"), nullptr);
    addCommand(tools, QStringLiteral("Find Signal"), nullptr);
    addCommand(tools, QStringLiteral("Scale 0..1023"), nullptr);
    addCommand(tools, QStringLiteral("Convert Form Cyan To Normal"), nullptr, Hidden);
    addCommand(tools, QStringLiteral("Properties"), [this] { options_->exec(); }, NoAskSelect);

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    addCommand(window, QStringLiteral("&New Window"), nullptr, Hidden);
    addCommand(window, QStringLiteral("&Tile"), [this] { mdi_->tileSubWindows(); }, NoAskSelect);
    addCommand(window, QStringLiteral("&Cascade"), [this] { mdi_->cascadeSubWindows(); }, NoAskSelect);
    addCommand(window, QStringLiteral("&Arrange All"), nullptr, Hidden);
    addCommand(window, QStringLiteral("&Hide"), nullptr, Hidden);
    addCommand(window, QStringLiteral("&Show..."), nullptr, Hidden);

    // Commands that need the file readers wait until they are linked in.
    const bool canOpen = bool(fileOpenFunction());
    action(QStringLiteral("Open"))->setEnabled(canOpen);
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
            TData* first = openWithProgress(name, this, fileOpenFunction());
            std::vector<TData*> chain;
            for (TData* d = first; d; d = d->NextData) chain.push_back(d);
            for (TData* d : chain) dataBox_->Add(d);
        });
    }
    opening_ = false;
    if (!pendingOpens_.isEmpty()) openFirstDataSet(pendingOpens_.takeFirst());
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
        dataBox_->Add(first);
        // The file the program was started with (or handed) is what the user
        // wants to see: it becomes the current data set.
        dataBox_->MakeCurrent(first);
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

void MainWindow::joinSelected()
{
    TDataList list;
    for (TData* d : dataBox_->Selected()) list.Add(d);
    TData* joined = TData::Join(list, true);
    dataBox_->Add(joined);
}

void MainWindow::swapChannelsOrder()
{
    for (TData* d : dataBox_->Selected()) {
        const int p = d->CaseSize();
        for (int e = 0; e < d->events(); ++e) std::reverse(d->data[e], d->data[e] + p);
    }
}

void MainWindow::saveForCluster()
{
    for (TData* d : dataBox_->Selected()) writeClusterTable(*d, d->Path() + d->FullName() + ".txt");
}

void MainWindow::deleteChannels()
{
    for (TData* d : dataBox_->Selected()) {
        TSubChannelDlg dlg(d, &settings_, this);
        if (dlg.exec() != QDialog::Accepted || dlg.KeptChannels().empty()) continue;
        TGate gate(TGateType::gtSubChannel, TIntVector(dlg.KeptChannels().begin(), dlg.KeptChannels().end()));
        dataBox_->Add(TData::Gated(d, &gate));
    }
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
        setGatePool(nullptr);
        setReaderPool(nullptr);
    }
    pool_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    settings_.WriteInteger(QStringLiteral("Main"), QStringLiteral("Top"), y());
    settings_.WriteInteger(QStringLiteral("Main"), QStringLiteral("Left"), x());
    mdi_->closeAllSubWindows();
    freePool();
    event->accept();
}

}  // namespace orvala
