#include "ImageWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

#include "analysis/ClassFiles.h"
#include "analysis/PixelClassify.h"
#include "analysis/Transforms.h"
#include "analysis/Unmixing.h"
#include "core/TGate.h"
#include "plot/Histogrm.h"
#include "plot/ImageView.h"
#include "ui/analysis/DataCalculatorDialog.h"
#include "ui/analysis/TransformCommands.h"
#include "ui/chart/Chart.h"
#include "ui/chart/PaintBoxTools.h"
#include "ui/common/DataEvents.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/DataSetDrag.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

QColor qcolor(TColor c) { return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)); }

QRgb qrgb(uint32_t bgr) { return qRgb(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF)); }

// Largest side of the paint box; smaller pictures are enlarged by a whole factor.
constexpr int BoxSide = 600;

QString number(double v) { return QString::asprintf("%8.5f", v); }

}  // namespace

ImageWindow::ImageWindow(TData* data, DataListWindow* box, TMultiThread* pool, QWidget* parent)
    : QWidget(parent), data_(data), box_(box), pool_(pool)
{
    setWindowTitle(fromEightBit(data->ShortName()));
    if (!data->seq.empty() && int64_t(data->seq[0].width) * data->seq[0].height == data->events()) {
        width_ = int(data->seq[0].width);
        height_ = int(data->seq[0].height);
    } else if (!data->img.empty() && int64_t(data->img.width) * data->img.height == data->events()) {
        width_ = data->img.width;
        height_ = data->img.height;
    } else {
        width_ = data->events();
        height_ = data->events() > 0 ? 1 : 0;
    }
    const int n = data->CaseSize();
    WaveTable.resize(size_t(n));
    for (int p = 0; p < n; ++p)
        WaveTable[size_t(p)] = data->IsSequence() && p < int(data->seq.size()) ? double(data->seq[size_t(p)].wavelength)
                                                                               : double(p);
    MinMarker.assign(size_t(n), 0.0);
    MaxMarker.assign(size_t(n), 0.0);
    buildControls();
    Redraw();
}

ImageWindow::~ImageWindow()
{
    // The tools hand the paint box's handlers back before the box goes.
    SelRec.reset();
    grid.reset();
    SelPolygon.reset();
}

QWidget* ImageWindow::host() const
{
    QWidget* p = parentWidget();
    return qobject_cast<QMdiSubWindow*>(p) ? p : const_cast<ImageWindow*>(this);
}

void ImageWindow::buildControls()
{
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    top->addLayout(left, 3);
    top->addLayout(right, 2);

    auto* tools = new QHBoxLayout;
    auto toolButton = [&](const QString& text, const QString& tip, Tool tool) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        b->setCheckable(true);
        connect(b, &QToolButton::toggled, this, [this, tool](bool on) {
            runCommand([&] { setTool(on ? tool : Tool::None); });
        });
        tools->addWidget(b);
        return b;
    };
    rectButton_ = toolButton(QStringLiteral("Rectangle"), QStringLiteral("Select a rectangle"), Tool::Rectangle);
    gridButton_ = toolButton(QStringLiteral("Grid"), QStringLiteral("Select the wells of a grid"), Tool::Grid);
    polyButton_ = toolButton(QStringLiteral("Polygon"), QStringLiteral("Select a polygon"), Tool::Polygon);
    auto* create = new QToolButton(this);
    create->setText(QStringLiteral("Cut"));
    create->setToolTip(QStringLiteral("Create a data set from selected region"));
    connect(create, &QToolButton::clicked, this, [this] { runCommand([&] { CreateFromSelection(); }); });
    tools->addWidget(create);

    auto* menuButton = new QToolButton(this);
    menuButton->setText(QStringLiteral("MENU"));
    menuButton->setPopupMode(QToolButton::InstantPopup);
    menu = new QMenu(menuButton);
    auto add = [&](const QString& caption, std::function<void()> work) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(caption);
        if (!work) {
            a->setEnabled(false);
            return;
        }
        connect(a, &QAction::triggered, this, [work = std::move(work)] { runCommand(work); });
    };
    add(QStringLiteral("Save Classes"), [this] {
        QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save Classes"), QString(),
                                                    QStringLiteral("Set of class (*.soc);;All (*)"));
        if (name.isEmpty()) return;
        if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".soc");
        SaveClasses(name);
    });
    add(QStringLiteral("Load Classes"), [this] {
        const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Load Classes"), QString(),
                                                          QStringLiteral("Set of class (*.soc);;All (*)"));
        if (!name.isEmpty()) LoadClasses(name);
    });
    add(QStringLiteral("Create Class"), [this] {
        if (!SelRec && !SelPolygon) return;
        bool ok = false;
        const QString name =
            QInputDialog::getText(this, QStringLiteral("Class Name"), QStringLiteral("Name it!"), QLineEdit::Normal,
                                  QStringLiteral("Class ") + QString::number(trainset_.Count() + 1), &ok);
        if (ok) CreateClass(name);
    });
    add(QStringLiteral("Calculator"), [this] { Calculator(); });
    add(QStringLiteral("Decomposition"), [this] { Decomposition(); });
    add(QStringLiteral("Hyperspherical"), [this] { Hyperspherical(); });
    add(QStringLiteral("SAM Classification"), [this] { SAMClassification(); });
    add(QStringLiteral("SD Classification"), [this] { SDClassification(); });
    add(QStringLiteral("Delete CLass"), [this] { DeleteClass(Trainsetgrid->currentRow()); });
    add(QStringLiteral("Start Over"), [this] { StartOver(); });
    menuButton->setMenu(menu);
    tools->addWidget(menuButton);

    Pseudo = new QComboBox(this);
    if (data_->IsSequence())
        Pseudo->addItems({QStringLiteral("Single"), QStringLiteral("Pseudo"), QStringLiteral("Multi")});
    else
        Pseudo->addItems({QStringLiteral("Original"), QStringLiteral("Pseudo")});
    Pseudo->setCurrentIndex(data_->IsSequence() ? 2 : 0);
    tools->addWidget(Pseudo);
    tools->addWidget(new QLabel(QStringLiteral("Gamma"), this));
    Gamma = new QDoubleSpinBox(this);
    Gamma->setRange(MinGamma, 10.0);
    Gamma->setSingleStep(0.1);
    Gamma->setDecimals(1);
    Gamma->setValue(1.0);
    tools->addWidget(Gamma);
    rds = new QSpinBox(this);
    rds->setObjectName(QStringLiteral("rds"));
    rds->setRange(WellRadiusMinPosition, WellRadiusMaxPosition);
    rds->setValue(WellRadiusStartPosition);
    rds->setToolTip(QStringLiteral("Radius of the well in the grid"));
    rad = new QLabel(this);
    rad->setObjectName(QStringLiteral("rad"));
    rad->setToolTip(rds->toolTip());
    rad->setText(QString::number(WellRadius(rds->value())));
    tools->addWidget(rad);
    tools->addWidget(rds);
    tools->addStretch(1);
    left->addLayout(tools);

    image = new PaintBox(this);
    double scale = 1;
    if (width_ > 0 && height_ > 0) {
        scale = std::min(double(BoxSide) / width_, double(BoxSide) / height_);
        if (scale > 1) scale = std::floor(scale);
    }
    image->setFixedSize(std::max(1, int(std::nearbyint(width_ * scale))), std::max(1, int(std::nearbyint(height_ * scale))));
    image->OnMouseMove = [this](QMouseEvent* e) { runCommand([&] { MouseOverImage(e->position().toPoint()); }); };
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(image);
    scroll->setAlignment(Qt::AlignCenter);
    left->addWidget(scroll, 1);

    auto* frameRow = new QHBoxLayout;
    Frame = new QSlider(Qt::Horizontal, this);
    Frame->setRange(0, std::max(0, data_->CaseSize() - 1));
    Frame->setEnabled(data_->IsSequence());
    FrameNum = new QLabel(this);
    FrameNum->setMinimumWidth(60);
    frameRow->addWidget(Frame, 1);
    frameRow->addWidget(FrameNum);
    left->addLayout(frameRow);

    Spectrum = new QCheckBox(QStringLiteral("Spectrum"), this);
    right->addWidget(Spectrum);
    Trainsetgrid = new QTableWidget(0, 5, this);
    Trainsetgrid->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Name"), QStringLiteral("SD"), QStringLiteral("Test SD"), QStringLiteral("%")});
    Trainsetgrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Trainsetgrid->setSelectionMode(QAbstractItemView::SingleSelection);
    Trainsetgrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Trainsetgrid->setColumnWidth(0, 16);
    Trainsetgrid->verticalHeader()->setVisible(false);
    right->addWidget(Trainsetgrid, 1);
    auto* sigmaRow = new QHBoxLayout;
    UseSigma = new QCheckBox(QStringLiteral("Use Sigma"), this);
    sigma = new QDoubleSpinBox(this);
    sigma->setRange(0.0, 100.0);
    sigma->setDecimals(1);
    sigma->setValue(3.0);
    sigmaRow->addWidget(UseSigma);
    sigmaRow->addWidget(sigma);
    sigmaRow->addStretch(1);
    right->addLayout(sigmaRow);
    ImageInfo = new QTableWidget(4, 2, this);
    ImageInfo->horizontalHeader()->setVisible(false);
    ImageInfo->verticalHeader()->setVisible(false);
    ImageInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ImageInfo->setMaximumHeight(4 * 24 + 4);
    const QString rows[] = {QStringLiteral("Width"), QStringLiteral("Height"), QStringLiteral("Name"),
                            QStringLiteral("Wavelength")};
    for (int r = 0; r < 4; ++r) ImageInfo->setItem(r, 0, new QTableWidgetItem(rows[r]));
    ImageInfo->setItem(0, 1, new QTableWidgetItem(QString::number(width_)));
    ImageInfo->setItem(1, 1, new QTableWidgetItem(QString::number(height_)));
    right->addWidget(ImageInfo);
    auto* pages = new QTabWidget(this);
    quickview = new Chart(pages);
    quickview->setMinimumHeight(220);
    quickview->setAxisTitle(ChartAxis::Bottom, data_->IsSequence() ? QStringLiteral("Wavelength") : QStringLiteral("Channel"));
    pages->addTab(quickview, QStringLiteral("Spectra"));
    histogram = new Chart(pages);
    histogram->setObjectName(QStringLiteral("Histogram"));
    histogram->setZoomEnabled(false);
    histogram->setPanEnabled(false);
    histogram->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Value"));
    histogram->setAxisTitle(ChartAxis::Left, QStringLiteral("Count"));
    Marker1 = histogram->addCursorLine(0, Qt::SolidLine, Qt::blue);
    Marker2 = histogram->addCursorLine(0, Qt::SolidLine, Qt::red);
    pages->addTab(histogram, QStringLiteral("Histogram"));
    right->addWidget(pages, 1);

    connect(Pseudo, &QComboBox::currentIndexChanged, this, [this] { runCommand([&] { Redraw(); }); });
    connect(Gamma, &QDoubleSpinBox::valueChanged, this, [this] { runCommand([&] { Redraw(); }); });
    connect(Frame, &QSlider::valueChanged, this, [this] { runCommand([&] { Redraw(); }); });
    connect(Spectrum, &QCheckBox::toggled, this, [this](bool on) {
        runCommand([&] {
            if (on)
                quickview->clearSeries();
            else
                showClassAverages();
        });
    });
    connect(Trainsetgrid, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == 0) runCommand([&] { ToggleClass(row); });
    });
    // Data sets dragged from the data list onto the class grid.
    Trainsetgrid->viewport()->setAcceptDrops(true);
    Trainsetgrid->viewport()->installEventFilter(this);
    connect(rds, &QSpinBox::valueChanged, this, [this](int position) {
        rad->setText(QString::number(WellRadius(position)));
        if (grid) grid->setRadius(WellRadius(position));
    });
    // The markers of the histogram page: a press takes the nearer one, a drag
    // moves it, the release makes them the frame's grey range ("Multi" view).
    connect(histogram, &Chart::mouseDown, this, [this](QMouseEvent* e) {
        if (e->button() != Qt::LeftButton) return;
        const double x = histogram->pixelToValue(ChartAxis::Bottom, e->position().x());
        movingMarker_ = NearerMarker(x, histogram->cursorLinePosition(Marker1), histogram->cursorLinePosition(Marker2)) == 0
                            ? Marker1
                            : Marker2;
        histogram->setCursorLinePosition(movingMarker_, x);
    });
    connect(histogram, &Chart::mouseMoved, this, [this](QMouseEvent* e) {
        if (movingMarker_ < 0 || !(e->buttons() & Qt::LeftButton)) return;
        histogram->setCursorLinePosition(movingMarker_, histogram->pixelToValue(ChartAxis::Bottom, e->position().x()));
    });
    connect(histogram, &Chart::mouseUp, this, [this](QMouseEvent*) {
        if (movingMarker_ < 0) return;
        movingMarker_ = -1;
        if (Pseudo->currentIndex() != 2 || data_->CaseSize() <= 0) return;
        const size_t f = size_t(std::clamp(Frame->value(), 0, data_->CaseSize() - 1));
        if (MarkerRange(histogram->cursorLinePosition(Marker1), histogram->cursorLinePosition(Marker2), MinMarker[f],
                        MaxMarker[f]))
            runCommand([&] { Redraw(); });
    });
}

void ImageWindow::ShowHistogram()
{
    histogram->clearSeries();
    const int p = data_->CaseSize(), n = data_->events();
    if (p <= 0 || n <= 0) return;
    const int f = std::clamp(Frame->value(), 0, p - 1);
    std::vector<double> values(static_cast<size_t>(n));
    for (int e = 0; e < n; ++e) values[size_t(e)] = data_->data[e][f];
    const Thistogram h(values.data(), n, 1024);
    const Chart::SeriesId line = histogram->addLineSeries(QStringLiteral("Frame %1").arg(f), Qt::black);
    histogram->setPoints(line, h.Xvalue, h.Yvalue);
    histogram->setCursorLinePosition(Marker1, MinMarker[size_t(f)]);
    histogram->setCursorLinePosition(Marker2, MaxMarker[size_t(f)]);
    histogram->redraw();
}

void ImageWindow::Calculator()
{
    DataCalculatorDialog dialog(pool_, this);
    if (TData* made = dialog.Execute(classes())) AddClass(made);
}

void ImageWindow::AddDroppedClasses(const std::vector<TData*>& dropped)
{
    QStringList refused;
    for (TData* d : dropped) {
        if (!d || d == data_.get() || trainset_.Contains(d)) continue;
        if (d->CaseSize() != data_->CaseSize() || d->events() == 0) {
            refused << fromEightBit(d->ShortName());
            continue;
        }
        AddClass(d);
    }
    if (!refused.isEmpty())
        throw OrvalaError(QStringLiteral("Not added as classes (no events, or not %1 values per event like the picture): %2")
                              .arg(data_->CaseSize())
                              .arg(refused.join(QStringLiteral(", ")))
                              .toStdString());
}

bool ImageWindow::eventFilter(QObject* watched, QEvent* e)
{
    std::vector<TData*> dropped;
    if (watched == Trainsetgrid->viewport() && TakeDataSetDrop(e, box_->datas, dropped)) {
        if (!dropped.empty()) runCommand([&] { AddDroppedClasses(dropped); });
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void ImageWindow::setTool(Tool tool)
{
    SelRec.reset();
    grid.reset();
    SelPolygon.reset();
    const QSignalBlocker b1(rectButton_), b2(gridButton_), b3(polyButton_);
    rectButton_->setChecked(tool == Tool::Rectangle);
    gridButton_->setChecked(tool == Tool::Grid);
    polyButton_->setChecked(tool == Tool::Polygon);
    switch (tool) {
    case Tool::Rectangle: SelRec = std::make_unique<TSelectRectangle>(image); break;
    case Tool::Grid:
        grid = std::make_unique<TGrid>(image);
        grid->setRadius(WellRadius(rds->value()));
        break;
    case Tool::Polygon: SelPolygon = std::make_unique<TSelectPolygon>(image); break;
    case Tool::None: break;
    }
    image->update();
}

void ImageWindow::Redraw()
{
    const size_t pixels = size_t(width_) * size_t(height_);
    std::vector<uint32_t> px(pixels, 0);
    const GammaTable table = MakeGammaTable(Gamma->value());
    const int view = Pseudo->currentIndex();
    if (view == 2 && data_->CaseSize() > 0 && pixels == size_t(data_->events())) {
        const int f = std::clamp(Frame->value(), 0, data_->CaseSize() - 1);
        FrameGrey(data_->data.data() + f, pixels, size_t(data_->CaseSize()), MinMarker[size_t(f)],
                  MaxMarker[size_t(f)], table, px.data());
        FrameNum->setText(QString::number(WaveTable[size_t(f)]));
        ShowHistogram();
        ImageInfo->setItem(2, 1, new QTableWidgetItem(fromEightBit(data_->Desc()[size_t(f)].name)));
        ImageInfo->setItem(3, 1, new QTableWidgetItem(QString::number(WaveTable[size_t(f)])));
    } else {
        const TColors& source = data_->ImageColor;
        std::copy_n(source.begin(), std::min(pixels, source.size()), px.begin());
        ApplyGamma(table, px.data(), px.size());
        if (view == 1) {
            const TColors& events = data_->Colors();
            OverlayColours(px.data(), events.data(), std::min(pixels, events.size()));
        }
        FrameNum->clear();
    }
    picture_ = QImage(std::max(width_, 1), std::max(height_, 1), QImage::Format_RGB32);
    picture_.fill(Qt::black);
    for (int y = 0; y < height_; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
        for (int x = 0; x < width_; ++x) line[x] = qrgb(px[size_t(y) * size_t(width_) + size_t(x)]);
    }
    image->setPicture(picture_.scaled(image->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
    datamodified = data_->Modified();
}

void ImageWindow::MouseOverImage(QPoint p)
{
    int e = EventAtBoxPoint(p.x(), p.y(), image->width(), image->height(), width_, height_);
    if (e < 0 || data_->events() == 0) return;
    e = std::min(e, data_->events() - 1);
    data_->ActivEvent = e;
    postToAllForms(WMMouseOver, data_.get());
    if (!Spectrum->isChecked()) return;
    quickview->clearSeries();
    const Chart::SeriesId s = quickview->addLineSeries(QString(), Qt::black);
    const double* v = data_->data[e];
    quickview->setPoints(s, WaveTable, std::vector<double>(v, v + data_->CaseSize()));
    quickview->setTitle(QString::number(p.x()) + QStringLiteral("x") + QString::number(p.y()));
}

TData* ImageWindow::SelectionData()
{
    if (SelRec && SelRec->Visible()) {
        PixelRect r;
        if (!BoxRectToImage(SelRec->Left(), SelRec->Top(), SelRec->Right(), SelRec->Bottom(), image->width(),
                            image->height(), width_, height_, r))
            return nullptr;
        TGate gate(TGateRect{r.left, r.top, r.right, r.bottom});
        return TData::Gated(data_.get(), &gate);
    }
    if (SelPolygon && SelPolygon->Count() >= 3) {
        std::vector<DPoint> outline;
        for (const TNode& n : SelPolygon->shape().Vertices) outline.push_back(DPoint{double(n.x), double(n.y)});
        TGate gate(TGateType::gtSubset,
                   PixelsInBoxPolygon(outline, image->width(), image->height(), width_, height_));
        return TData::Gated(data_.get(), &gate);
    }
    return nullptr;
}

TData* ImageWindow::CreateFromSelection()
{
    TData* d = SelectionData();
    addToWorkspace(d);
    if (grid && grid->Visible() && width_ > 0 && height_ > 0) {
        const double sx = image->width() > 1 ? double(width_ - 1) / (image->width() - 1) : 1.0;
        const double sy = image->height() > 1 ? double(height_ - 1) / (image->height() - 1) : 1.0;
        TIntVector wells;
        grid->BeginTransform(sx, sy);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (grid->IsInGate(x, y)) wells.push_back(y * width_ + x);
        grid->EndTransform();
        TGate gate(TGateType::gtSubset, std::move(wells));
        gate.name = "Grid";
        addToWorkspace(TData::Gated(data_.get(), &gate));
    }
    return d;
}

void ImageWindow::addToWorkspace(TData* d)
{
    if (d) box_->Add(d);
}

void ImageWindow::removeFromWorkspace(TData* d)
{
    if (d && box_->datas.Contains(d)) box_->Remove(d);
}

TData* ImageWindow::CreateClass(const QString& name)
{
    TData* cls = SelectionData();
    if (!cls) return nullptr;
    cls->setShortName(toEightBit(name));
    const TColor colour = ClassColour(colorindex++);
    cls->disablecolor = true;
    cls->SetColors(colour);
    cls->Compensate = false;
    AddClass(cls);
    data_->Announce();
    return cls;
}

void ImageWindow::AddClass(TData* cls)
{
    if (!cls) return;
    addToWorkspace(cls);
    trainset_.Add(cls);
    refreshGrid();  // a new row starts ticked
    showClassAverages();
}

std::vector<TData*> ImageWindow::classes() const { return trainset_.items(); }

void ImageWindow::dropResults()
{
    const std::vector<TData*> results = testset_.items();
    for (TData* r : results) removeFromWorkspace(r);
    testset_.Clear();
}

void ImageWindow::finishClassification(const ClassMap& map)
{
    dropResults();
    const std::vector<TData*> made = MakeClassResults(*data_, classes(), map);
    for (TData* d : made) {
        addToWorkspace(d);
        testset_.Add(d);
    }
    data_->UpdateColors();
    refreshGrid();
    Pseudo->setCurrentIndex(1);
    Redraw();
}

void ImageWindow::SAMClassification()
{
    if (trainset_.Count() == 0) return;
    const double t = UseSigma->isChecked() ? sigma->value() : -1.0;
    finishClassification(SamClassification(*data_, classes(), t, pool_));
}

void ImageWindow::SDClassification()
{
    if (trainset_.Count() == 0) return;
    finishClassification(SdClassification(*data_, classes(), pool_));
}

TData* ImageWindow::Decomposition()
{
    std::vector<TData*> ticked;
    for (int r = 0; r < trainset_.Count(); ++r)
        if (Trainsetgrid->item(r, 0)->data(Qt::UserRole).toBool()) ticked.push_back(trainset_.GetData(r));
    if (ticked.empty()) return nullptr;
    for (TData* c : ticked) c->Compensate = false;
    const TMatrix spectra = ClassSpectra(ticked, data_->CaseSize());
    DataRef result(GaussDecomposition(*data_, spectra, TBoolVector(size_t(data_->CaseSize()), 1), true, pool_,
                                      box_->CreateName(data_.get(), "Decomposition")));
    for (size_t j = 0; j < ticked.size() && j < result->Desc().size(); ++j)
        result->Desc()[j].name = ticked[j]->ShortName();
    TransformCommands::FinishResult(*data_, *result);
    result->disablecolor = true;
    TData* d = result.get();
    addToWorkspace(d);
    return d;
}

TData* ImageWindow::Hyperspherical()
{
    DataRef result(Spherical(*data_, pool_, &box_->datas));
    TransformCommands::FinishResult(*data_, *result);
    result->disablecolor = true;
    TData* d = result.get();
    addToWorkspace(d);
    return d;
}

void ImageWindow::SaveClasses(const QString& fileName) { SaveClassFile(toEightBit(fileName), classes()); }

void ImageWindow::LoadClasses(const QString& fileName)
{
    MessageBoxSink sink;
    std::vector<DataRef> loaded;
    for (TData* d : LoadClassFile(toEightBit(fileName), sink)) loaded.emplace_back(d);
    QStringList refused;
    for (DataRef& d : loaded) {
        try {
            CheckClass(*d, data_->CaseSize());
        } catch (const OrvalaError& e) {
            refused << QString::fromUtf8(e.what());
            continue;
        }
        d->disablecolor = true;
        AddClass(d.get());
    }
    if (!refused.isEmpty()) showUserMessage(refused.join(QLatin1Char('\n')));
}

void ImageWindow::DeleteClass(int row)
{
    if (row < 0 || row >= trainset_.Count()) return;
    TData* cls = trainset_.GetData(row);
    dropResults();
    removeFromWorkspace(cls);
    trainset_.Remove(cls);
    data_->UpdateColors();
    refreshGrid();
    showClassAverages();
    Redraw();
}

void ImageWindow::StartOver()
{
    dropResults();
    const std::vector<TData*> all = trainset_.items();
    for (TData* c : all) removeFromWorkspace(c);
    trainset_.Clear();
    data_->UpdateColors();
    refreshGrid();
    showClassAverages();
    Redraw();
}

void ImageWindow::ToggleClass(int row)
{
    if (row < 0 || row >= trainset_.Count()) return;
    QTableWidgetItem* tick = Trainsetgrid->item(row, 0);
    const bool on = !tick->data(Qt::UserRole).toBool();
    tick->setData(Qt::UserRole, on);
    if (row < testset_.Count()) {
        testset_.GetData(row)->disablecolor = !on;
        data_->UpdateColors();
        Redraw();
    }
    refreshGrid();
    showClassAverages();
}

void ImageWindow::refreshGrid()
{
    const int n = trainset_.Count();
    std::vector<bool> ticks(size_t(n), true);
    for (int r = 0; r < n && r < Trainsetgrid->rowCount(); ++r)
        if (QTableWidgetItem* t = Trainsetgrid->item(r, 0)) ticks[size_t(r)] = t->data(Qt::UserRole).toBool();
    for (int r = 0; r < n && r < testset_.Count(); ++r) ticks[size_t(r)] = !testset_.GetData(r)->disablecolor;
    Trainsetgrid->clearContents();
    Trainsetgrid->setRowCount(n);
    const int events = std::max(data_->events(), 1);
    for (int r = 0; r < n; ++r) {
        const TData* c = trainset_.GetData(r);
        auto* tick = new QTableWidgetItem(ticks[size_t(r)] ? QStringLiteral("\u2713") : QString());
        tick->setData(Qt::UserRole, bool(ticks[size_t(r)]));
        tick->setBackground(qcolor(c->NativeColor()));
        tick->setTextAlignment(Qt::AlignCenter);
        Trainsetgrid->setItem(r, 0, tick);
        Trainsetgrid->setItem(r, 1, new QTableWidgetItem(fromEightBit(c->ShortName())));
        Trainsetgrid->setItem(r, 2, new QTableWidgetItem(number(c->Deviation)));
        if (r < testset_.Count()) {
            const TData* t = testset_.GetData(r);
            Trainsetgrid->setItem(r, 3, new QTableWidgetItem(number(t->Deviation)));
            Trainsetgrid->setItem(r, 4, new QTableWidgetItem(QString::number(100.0 * t->events() / events, 'f', 1)));
        }
    }
}

void ImageWindow::showClassAverages()
{
    if (Spectrum->isChecked()) return;
    quickview->clearSeries();
    quickview->setTitle(QString());
    for (int r = 0; r < trainset_.Count(); ++r) {
        if (!Trainsetgrid->item(r, 0)->data(Qt::UserRole).toBool()) continue;
        const TData* c = trainset_.GetData(r);
        const Chart::SeriesId s = quickview->addLineSeries(fromEightBit(c->ShortName()), qcolor(c->NativeColor()), 2);
        quickview->setPoints(s, WaveTable, MeanSpectrum(*c));
    }
}

bool ImageWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return QWidget::event(e);
    dropQueuedDataEvents(this, WMDataChanged);
    if (data_->Deleted()) {
        host()->close();
        return true;
    }
    if (data_->Modified() != datamodified) runCommand([&] { Redraw(); });
    return true;
}

}  // namespace orvala
