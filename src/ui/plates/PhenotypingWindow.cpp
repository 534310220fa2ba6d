#include "PhenotypingWindow.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "PhenoTowers.h"
#include "WellPlateView.h"
#include "formats/FcsOpen.h"
#include "plates/Plate.h"
#include "plot/Histogrm.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataEvents.h"
#include "ui/common/UiMessages.h"

namespace orvala {

// The combination counts for the "Table" and "Graph" pages: a model over the
// counter, so 2^16 codes x hundreds of tubes cost no item objects.
class PhenoCountsModel : public QAbstractTableModel {
public:
    PhenoCountsModel(const PhenoCounter& c, QObject* parent) : QAbstractTableModel(parent), c_(c) {}
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void changed()
    {
        if (rowCount() > 0 && columnCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : c_.TubeCount(); }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || c_.TubeCount() == 0 ? 0 : c_.CodeCount();
    }
    QVariant data(const QModelIndex& i, int role) const override
    {
        if (!i.isValid()) return {};
        const TIntVector& g = c_.Counts(i.row());
        const int32_t n = g[size_t(i.column())];
        if (role == Qt::DisplayRole) return n;
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::UserRole) {
            // Bar length: the count against the largest count of its tube.
            const int32_t tubeMax = *std::max_element(g.begin(), g.end());
            return c_.MaxCount() == 0 || tubeMax == 0 ? 0.0 : std::min(1.0, double(n) / double(tubeMax));
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (role != Qt::DisplayRole) return {};
        if (o == Qt::Horizontal) return QString::fromStdString(CodeHeader(section, c_.DieCount()));
        return QString::number(section + 1);
    }

private:
    const PhenoCounter& c_;
};

namespace {

// Red bars for the "Graph" page.
class BarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const double f = index.data(Qt::UserRole).toDouble();
        p->fillRect(option.rect, Qt::white);
        if (f > 0) {
            QRect bar = option.rect.adjusted(0, 2, 0, -2);
            bar.setWidth(std::max(1, int(option.rect.width() * f)));
            p->fillRect(bar, Qt::red);
        }
    }
};

// Named colours for groups, in the platform's order, without black, white
// and red (red is the colour of tubes without a group). 0x00BBGGRR.
const std::vector<TColor> GroupColors = {0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
                                         0xC0C0C0, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00};
constexpr TColor NoGroupColor = 0x0000FF;  // red

// The first data set of a file, or the plate of a folder; nil when nothing opened.
TData* openSource(const std::string& name, TMultiThread* pool)
{
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) return LoadPlate(name, defaultSink(), pool);
    TData* d = TryOpenFile(name, 0, defaultSink(), pool);
    if (!d) return nullptr;
    for (TData* next = d->NextData; next;) {
        TData* after = next->NextData;
        delete next;
        next = after;
    }
    d->NextData = nullptr;
    return d;
}

}  // namespace

PhenotypingWindow::PhenotypingWindow(TMultiThread* pool, QWidget* parent)
    : QWidget(parent), pool_(pool), colors(GroupColors)
{
    setWindowTitle(QStringLiteral("Phenotyping"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
}

PhenotypingWindow::~PhenotypingWindow() = default;

void PhenotypingWindow::buildUi()
{
    auto* top = new QHBoxLayout;
    auto button = [&](const QString& text, const QString& tip, auto&& slot) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(text);
        b->setToolTip(tip);
        connect(b, &QPushButton::clicked, this, [this, slot] { runCommand(slot); });
        top->addWidget(b);
        return b;
    };
    auto eachChart = [this](auto&& f) {
        for (auto& [cell, ch] : charts_) f(ch);
    };
    button(QStringLiteral("Count / 2"), QStringLiteral("Halve the count axis of the histograms"), [this, eachChart] {
        eachChart([](Chart* ch) {
            ch->setAxisRange(ChartAxis::Left, ch->axisMinimum(ChartAxis::Left), ch->axisMaximum(ChartAxis::Left) / 2);
        });
    });
    button(QStringLiteral("Auto"), QStringLiteral("Automatic count axis"),
           [eachChart] { eachChart([](Chart* ch) { ch->setAxisAutomatic(ChartAxis::Left, true); }); });
    button(QStringLiteral("Count * 2"), QStringLiteral("Double the count axis of the histograms"), [eachChart] {
        eachChart([](Chart* ch) {
            ch->setAxisRange(ChartAxis::Left, ch->axisMinimum(ChartAxis::Left), ch->axisMaximum(ChartAxis::Left) * 2);
        });
    });
    button(QStringLiteral("Recount"), QStringLiteral("Count the combinations again"), [this] {
        counter_.Recount(pool_);
        refreshCounts();
    });
    button(QStringLiteral("Load Project"), QStringLiteral("Open a phenotyping project"), [this] {
        const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Load Project"), {},
                                                          QStringLiteral("Phenotyping project (*.phe)"));
        if (!name.isEmpty()) LoadProject(name);
    });
    button(QStringLiteral("Save Project"), QStringLiteral("Save this set-up as a phenotyping project"), [this] {
        QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save Project"), {},
                                                    QStringLiteral("Phenotyping project (*.phe)"));
        if (name.isEmpty()) return;
        if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".phe");
        SaveProject(name);
    });
    top->addStretch(1);

    // Main grid: one histogram per tube (row) and dye (column).
    grid_ = new QTableWidget(this);
    grid_->setObjectName(QStringLiteral("Grid"));
    grid_->horizontalHeader()->setDefaultSectionSize(128);
    grid_->verticalHeader()->setDefaultSectionSize(64);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->viewport()->installEventFilter(this);
    connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeCharts(); });
    connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeCharts(); });

    model_ = new PhenoCountsModel(counter_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("Pict"));
    table_->setModel(model_);
    graph_ = new QTableView(this);
    graph_->setObjectName(QStringLiteral("graph"));
    graph_->setModel(model_);
    graph_->setItemDelegate(new BarDelegate(graph_));

    auto* mabPage = new QWidget(this);
    mabGrid_ = new QTableWidget(mabPage);
    mabGrid_->setObjectName(QStringLiteral("mabs"));
    auto* mabButtons = new QHBoxLayout;
    auto mabButton = [&](const QString& text, auto&& slot) {
        auto* b = new QPushButton(text, mabPage);
        b->setObjectName(text);
        connect(b, &QPushButton::clicked, this, [this, slot] { runCommand(slot); });
        mabButtons->addWidget(b);
        return b;
    };
    mabButton(QStringLiteral("Load Table"), [this] {
        const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Load Table"), {},
                                                          QStringLiteral("Antibody table (*.mab)"));
        if (!name.isEmpty()) LoadMabs(name);
    });
    mabButton(QStringLiteral("Save Table"), [this] {
        QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save Table"), {},
                                                    QStringLiteral("Antibody table (*.mab)"));
        if (name.isEmpty()) return;
        if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".mab");
        SaveMabs(name);
    });
    mabButton(QStringLiteral("Add Row"), [this] {
        MabTable t = mabs_;
        t.Resize(t.rows + 1, t.cols);
        setMabs(t);
    });
    mabButton(QStringLiteral("Add Col"), [this] {
        MabTable t = mabs_;
        t.Resize(t.rows, t.cols + 1);
        setMabs(t);
    });
    mabButton(QStringLiteral("Remove Last Row"), [this] {
        if (mabs_.rows <= 1) return;
        if (QMessageBox::question(this, QStringLiteral("Confirm"), QStringLiteral("Are you sure?")) != QMessageBox::Yes)
            return;
        MabTable t = mabs_;
        t.Resize(t.rows - 1, t.cols);
        setMabs(t);
    });
    mabButton(QStringLiteral("Remove Last Col"), [this] {
        if (mabs_.cols <= 2) return;
        if (QMessageBox::question(this, QStringLiteral("Confirm"), QStringLiteral("Are you sure?")) != QMessageBox::Yes)
            return;
        MabTable t = mabs_;
        t.Resize(t.rows, t.cols - 1);
        setMabs(t);
    });
    createGroup_ = new QPushButton(QStringLiteral("Create Group"), mabPage);
    createGroup_->setObjectName(QStringLiteral("Create Group"));
    createGroup_->setCheckable(true);
    mabButtons->addWidget(createGroup_);
    mabButtons->addStretch(1);
    connect(createGroup_, &QPushButton::toggled, this, [this](bool down) {
        if (down) {
            colorindex = (colorindex + 1) % int(colors.size());
            createGroup_->setStyleSheet(QStringLiteral("background-color: %1").arg(colorOf(colors[size_t(colorindex)]).name()));
        } else {
            createGroup_->setStyleSheet({});
        }
    });
    connect(mabGrid_, &QTableWidget::cellChanged, this, [this](int r, int c) {
        if (syncing_) return;
        mabs_.SetCell(r, c + 1, toEightBit(mabGrid_->item(r, c) ? mabGrid_->item(r, c)->text() : QString()));
        retitle();
    });
    connect(mabGrid_, &QTableWidget::cellClicked, this, [this](int r, int) {
        if (!createGroup_->isChecked() || r < 1 || r - 1 >= counter_.TubeCount()) return;
        setGroup(r - 1, colors[size_t(colorindex)]);
    });
    auto* mabLayout = new QVBoxLayout(mabPage);
    mabLayout->addLayout(mabButtons);
    mabLayout->addWidget(mabGrid_, 1);

    towers_ = new PhenoTowers(this);
    heatMap_ = new WellPlateView(this);
    heatMap_->setObjectName(QStringLiteral("PlateImage"));

    pages_ = new QTabWidget(this);
    pages_->addTab(table_, QStringLiteral("Table"));
    pages_->addTab(graph_, QStringLiteral("Graph"));
    pages_->addTab(mabPage, QStringLiteral("MABs"));
    pages_->addTab(towers_, QStringLiteral("3-D"));
    pages_->addTab(heatMap_, QStringLiteral("Heat Map"));

    // Side panel.
    sidePlot_ = new Chart(this);
    sidePlot_->setObjectName(QStringLiteral("Chart"));
    sidePlot_->setLegendVisible(false);
    sidePlot_->setMinimumHeight(180);
    connect(sidePlot_, &Chart::axisClicked, this, [this](ChartAxis a, QMouseEvent* e) {
        if (a == ChartAxis::Bottom || a == ChartAxis::Left)
            axisMenu(a == ChartAxis::Left, e->globalPosition().toPoint());
    });
    fileBox_ = new QComboBox(this);
    fileBox_->setObjectName(QStringLiteral("FileBox"));
    connect(fileBox_, &QComboBox::currentIndexChanged, this, [this] {
        listParameters();
        runCommand([this] { drawSidePlot(); });
    });
    paramsbox_ = new QListWidget(this);
    paramsbox_->setObjectName(QStringLiteral("paramsbox"));
    connect(paramsbox_, &QListWidget::itemChanged, this, [this] {
        if (!syncing_) applySelection();
    });
    connect(paramsbox_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (syncing_ || row < 0) return;
        TData* d = chosen();
        runCommand([&] { setPopup(row, d ? d->CaseSize() : 0); });
    });
    tipButton_ = new QPushButton(QStringLiteral("Set/Unset As Tip"), this);
    tipButton_->setObjectName(QStringLiteral("Set/Unset As Tip"));
    tipButton_->setEnabled(false);
    connect(tipButton_, &QPushButton::clicked, this, [this] { runCommand([this] { toggleTip(); }); });
    auto* fill = new QPushButton(QStringLiteral("Fill Tubes"), this);
    fill->setObjectName(QStringLiteral("Fill Tubes"));
    connect(fill, &QPushButton::clicked, this, [this] { runCommand([this] { FillTubes(); }); });
    tubec_ = new QLineEdit(this);
    tubec_->setObjectName(QStringLiteral("tubec"));
    tubec_->setReadOnly(true);
    together_ = new QCheckBox(QStringLiteral("together"), this);
    together_->setObjectName(QStringLiteral("together"));
    connect(together_, &QCheckBox::toggled, this, [this] { runCommand([this] { drawSidePlot(); }); });
    lockMarks_ = new QCheckBox(QStringLiteral("Lock"), this);
    lockMarks_->setObjectName(QStringLiteral("LockMarks"));
    connect(lockMarks_, &QCheckBox::toggled, this, [this](bool on) { lock_ = on; });

    auto* side = new QWidget(this);
    auto* sideLayout = new QGridLayout(side);
    sideLayout->addWidget(sidePlot_, 0, 0, 1, 2);
    sideLayout->addWidget(fileBox_, 1, 0, 1, 2);
    sideLayout->addWidget(paramsbox_, 2, 0, 1, 2);
    sideLayout->addWidget(tipButton_, 3, 0);
    sideLayout->addWidget(fill, 3, 1);
    sideLayout->addWidget(new QLabel(QStringLiteral("Tubes:"), side), 4, 0);
    sideLayout->addWidget(tubec_, 4, 1);
    sideLayout->addWidget(together_, 5, 0);
    sideLayout->addWidget(lockMarks_, 5, 1);
    sideLayout->setRowStretch(2, 1);
    side->setMinimumWidth(240);

    auto* centre = new QSplitter(Qt::Vertical, this);
    centre->addWidget(grid_);
    centre->addWidget(pages_);
    centre->setStretchFactor(0, 3);
    centre->setStretchFactor(1, 2);
    auto* body = new QSplitter(Qt::Horizontal, this);
    body->addWidget(centre);
    body->addWidget(side);
    body->setStretchFactor(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(body, 1);

    throttle_ = new QTimer(this);
    throttle_->setSingleShot(true);
    throttle_->setInterval(40);
    connect(throttle_, &QTimer::timeout, this, [this] { flushPendingMove(); });
    showMabs();
}

// ------------------------------------------------------------------ data sets

void PhenotypingWindow::Add(TData* data)
{
    if (!data) return;
    datas.emplace_back(data);
    // The side plot starts on the histogram: "Count" is the y past the last
    // parameter of the data set, whatever the number of data sets.
    popupY_ = data->CaseSize();
    syncing_ = true;
    fileBox_->addItem(fromEightBit(data->FullName()));
    syncing_ = false;
    fileBox_->setCurrentIndex(fileBox_->count() - 1);
    tipButton_->setEnabled(datas.size() == 1);
    listParameters();
}

void PhenotypingWindow::Add(const QString& filename)
{
    TData* d = openSource(toEightBit(filename), pool_);
    if (!d) throw OrvalaError("Cannot open " + toEightBit(filename));
    Add(d);
}

TData* PhenotypingWindow::chosen() const
{
    const int i = fileBox_->currentIndex();
    return i >= 0 && i < int(datas.size()) ? datas[size_t(i)].get() : nullptr;
}

void PhenotypingWindow::listParameters()
{
    syncing_ = true;
    paramsbox_->clear();
    if (TData* d = chosen()) {
        for (int i = 0; i < d->CaseSize(); ++i) {
            auto* item = new QListWidgetItem(fromEightBit(d->Desc()[size_t(i)].name), paramsbox_);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            const bool on = std::find(d->Selected.begin(), d->Selected.end(), i) != d->Selected.end();
            item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            if (i == d->tipchannel()) item->setText(item->text() + QStringLiteral("  (tip)"));
        }
    }
    syncing_ = false;
}

void PhenotypingWindow::applySelection()
{
    std::vector<int> checked;
    for (int i = 0; i < paramsbox_->count(); ++i)
        if (paramsbox_->item(i)->checkState() == Qt::Checked) checked.push_back(i);
    for (DataRef& d : datas) {
        d->Select(-1);
        for (int i : checked)
            if (i != d->tipchannel() && i < d->CaseSize()) d->Select(i);
    }
}

void PhenotypingWindow::setParameterChecked(int index, bool checked)
{
    if (index < 0 || index >= paramsbox_->count()) return;
    paramsbox_->item(index)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void PhenotypingWindow::setCurrentParameter(int index) { paramsbox_->setCurrentRow(index); }

void PhenotypingWindow::toggleTip()
{
    TData* d = chosen();
    if (!d) return;
    const int row = paramsbox_->currentRow();
    if (row < 0) {
        d->settipchannel(-1);
        listParameters();
        return;
    }
    d->settipchannel(d->tipchannel() == row ? -1 : row);
    setParameterChecked(row, false);
    applySelection();
    listParameters();
    paramsbox_->setCurrentRow(row);
    FillTubes();
}

// ---------------------------------------------------------------------- tubes

void PhenotypingWindow::FillTubes()
{
    std::vector<TData*> raw;
    for (const DataRef& d : datas) raw.push_back(d.get());
    std::vector<PhenoTube> tubes = orvala::FillTubes(raw);  // refusals leave everything as it was
    if (raw.size() > 1 && !tubes.empty()) {
        const int dyes = tubes[0].dyes();
        MabTable t = mabs_;
        t.Resize(int(tubes.size()) + 1, dyes + 1);
        for (size_t r = 0; r < raw.size(); ++r)
            for (int k = 0; k < dyes; ++k) {
                const int col = raw[r]->Selected[size_t(k)];
                t.SetCell(int(r) + 1, k + 1, raw[r]->Desc()[size_t(col)].name);
            }
        mabs_ = t;
    }
    counter_.SetTubes(std::move(tubes), pool_);
    tubec_->setText(QString::number(counter_.TubeCount()));
    rebuildDisplay();
}

void PhenotypingWindow::rebuildDisplay()
{
    for (auto& [cell, ch] : charts_) grid_->removeCellWidget(cell.first, cell.second);
    charts_.clear();
    cursorOf_.clear();
    pending_ = {};
    dragTube_ = dragDye_ = -1;
    grid_->setRowCount(counter_.TubeCount());
    grid_->setColumnCount(counter_.DieCount());
    QStringList rows;
    for (int t = 0; t < counter_.TubeCount(); ++t) {
        const QString label = QString::fromStdString(counter_.Tube(t).label);
        rows << (label == QString::number(t + 1) ? label : QStringLiteral("%1  %2").arg(t + 1).arg(label));
    }
    grid_->setVerticalHeaderLabels(rows);
    model_->reset();
    refreshCounts();
    showMabs();
    retitle();
    placeCharts();
}

QString PhenotypingWindow::chartTitle(int t, int k) const
{
    const std::string mab = mabs_.Cell(t + 1, k + 1);
    if (t + 1 < mabs_.rows && k + 1 < mabs_.cols && !mab.empty()) return fromEightBit(mab);
    return QStringLiteral("%1, %2").arg(t).arg(k);
}

Chart* PhenotypingWindow::chartAt(int tube, int dye) const
{
    const auto it = charts_.find({tube, dye});
    return it == charts_.end() ? nullptr : it->second;
}

void PhenotypingWindow::placeCharts()
{
    const int tubes = counter_.TubeCount(), dyes = counter_.DieCount();
    int r0 = 0, r1 = -1, c0 = 0, c1 = -1;
    if (tubes > 0 && dyes > 0) {
        const QWidget* vp = grid_->viewport();
        r0 = std::max(grid_->rowAt(0), 0);
        r1 = grid_->rowAt(vp->height() - 1);
        if (r1 < 0) r1 = tubes - 1;
        c0 = std::max(grid_->columnAt(0), 0);
        c1 = grid_->columnAt(vp->width() - 1);
        if (c1 < 0) c1 = dyes - 1;
    }
    // Charts out of view go: a plate of 384 wells x 6 dyes would otherwise
    // keep 2304 chart widgets alive.
    for (auto it = charts_.begin(); it != charts_.end();) {
        const auto [t, k] = it->first;
        if (t >= r0 && t <= r1 && k >= c0 && k <= c1) {
            ++it;
            continue;
        }
        cursorOf_.erase(it->second);
        if (dragTube_ == t && dragDye_ == k) dragTube_ = dragDye_ = -1;
        grid_->removeCellWidget(t, k);
        it = charts_.erase(it);
    }
    for (int t = r0; t <= r1; ++t)
        for (int k = c0; k <= c1; ++k)
            if (!charts_.count({t, k})) {
                Chart* ch = makeChart(t, k);
                charts_[{t, k}] = ch;
                grid_->setCellWidget(t, k, ch);
            }
}

Chart* PhenotypingWindow::makeChart(int t, int k)
{
    auto* ch = new Chart;
    ch->setLegendVisible(false);
    ch->setAxesVisible(false);
    ch->setBackgroundColor(Qt::white);
    ch->setZoomEnabled(false);
    ch->setPanEnabled(false);
    ch->setTitle(chartTitle(t, k));
    const TVector& v = counter_.Tube(t).values[size_t(k)];
    const TColor group = counter_.Group[size_t(t)];
    // The histogram as a line: bars of the chart layer have a fixed width in
    // data units and vanish on a 0..G axis of large channel values.
    const auto s = ch->addLineSeries({}, colorOf(group ? group : NoGroupColor));
    if (!v.empty()) {
        // A cell is about 128 pixels wide: finer bins would be narrower than a
        // pixel and vanish.
        Thistogram h(v, 128);
        const size_t n = std::min(h.Xvalue.size(), h.Yvalue.size());
        ch->setPoints(s, h.Xvalue.data(), h.Yvalue.data(), int(n));
    }
    const double G = counter_.MaxValue();
    ch->setAxisRange(ChartAxis::Bottom, 0, G > 0 ? G : 1);
    cursorOf_[ch] = ch->addCursorLine(counter_.Mark(t, k), Qt::SolidLine, QColor(0, 0, 160));
    ch->setToolTip(QStringLiteral("Drag to move the mark"));
    auto markAt = [this, ch, t, k](QMouseEvent* e) {
        const double x = ch->pixelToValue(ChartAxis::Bottom, e->position().x());
        ch->setCursorLinePosition(cursorOf_[ch], x);
        pending_ = {t, k, x};
        if (!throttle_->isActive()) throttle_->start();
    };
    connect(ch, &Chart::mouseDown, this, [this, markAt, t, k](QMouseEvent* e) {
        if (e->button() != Qt::LeftButton) return;
        dragTube_ = t;
        dragDye_ = k;
        markAt(e);
    });
    connect(ch, &Chart::mouseMoved, this, [this, markAt, t, k](QMouseEvent* e) {
        if (dragTube_ == t && dragDye_ == k && (e->buttons() & Qt::LeftButton)) markAt(e);
    });
    connect(ch, &Chart::mouseUp, this, [this, t, k](QMouseEvent*) {
        if (dragTube_ != t || dragDye_ != k) return;
        dragTube_ = dragDye_ = -1;
        throttle_->stop();
        flushPendingMove();
    });
    return ch;
}

void PhenotypingWindow::flushPendingMove()
{
    if (pending_.t < 0) return;
    const Pending p = pending_;
    pending_ = {};
    runCommand([&] { moveMark(p.t, p.k, p.x); });
}

void PhenotypingWindow::moveMark(int t, int k, double x)
{
    const std::vector<int> moved = counter_.MoveMark(t, k, x, lock_, pool_);
    refreshMarks(moved, k);
    refreshCounts();
}

void PhenotypingWindow::setLock(bool on) { lockMarks_->setChecked(on); }

void PhenotypingWindow::refreshMarks(const std::vector<int>& tubes, int dye)
{
    for (int t : tubes)
        if (Chart* ch = chartAt(t, dye)) ch->setCursorLinePosition(cursorOf_[ch], counter_.Mark(t, dye));
}

void PhenotypingWindow::refreshCounts()
{
    model_->changed();
    const int64_t towers = int64_t(counter_.TubeCount()) * counter_.CodeCount();
    if (counter_.TubeCount() == 0 || towers > PhenoTowers::MaxTowers) {
        towers_->setCounts({}, {});
        if (counter_.TubeCount() > 0) towers_->setTooMany(int(std::min<int64_t>(towers, INT32_MAX)));
        return;
    }
    std::vector<TIntVector> counts;
    for (int t = 0; t < counter_.TubeCount(); ++t) counts.push_back(counter_.Counts(t));
    towers_->setCounts(std::move(counts), counter_.Group);
}

void PhenotypingWindow::setGroup(int tube, TColor color)
{
    if (tube < 0 || tube >= counter_.TubeCount()) return;
    TIntVector& g = counter_.Group;
    g[size_t(tube)] = g[size_t(tube)] == int32_t(color) ? 0 : int32_t(color);
    const TColor now = g[size_t(tube)] ? TColor(g[size_t(tube)]) : NoGroupColor;
    for (int k = 0; k < counter_.DieCount(); ++k)
        if (Chart* ch = chartAt(tube, k)) ch->setSeriesColor(ch->seriesAt(0), colorOf(now));
    showMabs();
    refreshCounts();
}

// ----------------------------------------------------------------------- MABs

void PhenotypingWindow::setMabs(const MabTable& table)
{
    mabs_ = table;
    showMabs();
    retitle();
}

void PhenotypingWindow::showMabs()
{
    syncing_ = true;
    mabGrid_->clear();
    mabGrid_->setRowCount(mabs_.rows);
    mabGrid_->setColumnCount(std::max(mabs_.cols - 1, 0));
    QStringList rowNumbers;
    for (int r = 0; r < mabs_.rows; ++r) rowNumbers << (r == 0 ? QString() : QString::number(r));
    mabGrid_->setVerticalHeaderLabels(rowNumbers);
    for (int r = 0; r < mabs_.rows; ++r) {
        const int t = r - 1;
        const TColor group = t >= 0 && t < counter_.TubeCount() ? TColor(counter_.Group[size_t(t)]) : 0;
        for (int c = 1; c < mabs_.cols; ++c) {
            auto* item = new QTableWidgetItem(fromEightBit(mabs_.Cell(r, c)));
            if (r == 0) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            if (group) {
                item->setBackground(colorOf(group));
                item->setForeground(colorOf(~group & 0xFFFFFF));
            }
            mabGrid_->setItem(r, c - 1, item);
        }
    }
    syncing_ = false;
}

void PhenotypingWindow::retitle()
{
    for (auto& [cell, ch] : charts_) ch->setTitle(chartTitle(cell.first, cell.second));
    QStringList headers;
    for (int k = 0; k < counter_.DieCount(); ++k) {
        const std::string h = mabs_.Cell(0, k + 1);
        headers << (h.empty() ? QStringLiteral("Dye %1").arg(k + 1) : fromEightBit(h));
    }
    grid_->setHorizontalHeaderLabels(headers);
}

void PhenotypingWindow::LoadMabs(const QString& fileName) { setMabs(ReadMab(toEightBit(fileName))); }

void PhenotypingWindow::SaveMabs(const QString& fileName) const { WriteMab(toEightBit(fileName), mabs_); }

// ------------------------------------------------------------------ side plot

void PhenotypingWindow::setPopup(int x, int y)
{
    popupX_ = x;
    popupY_ = y;
    drawSidePlot();
}

void PhenotypingWindow::drawSidePlot()
{
    sidePlot_->clearSeries();
    std::vector<TData*> sources;
    if (together_->isChecked())
        for (const DataRef& d : datas) sources.push_back(d.get());
    else if (TData* d = chosen())
        sources.push_back(d);
    if (sources.empty()) return;
    const TData& first = *sources[0];
    if (popupX_ < 0 || popupX_ >= first.CaseSize()) return;
    const QString xName = fromEightBit(first.Desc()[size_t(popupX_)].name);
    sidePlot_->setAxisTitle(ChartAxis::Bottom, xName);
    if (popupY_ < 0 || popupY_ >= first.CaseSize()) {
        TVector v;
        for (const TData* d : sources)
            if (popupX_ < d->CaseSize())
                for (int e = 0; e < d->events(); ++e) v.push_back(d->data[e][popupX_]);
        if (v.empty()) return;
        Thistogram h(v, 1024);
        const auto s = sidePlot_->addLineSeries({}, QColor(0, 0, 160));
        const size_t n = std::min(h.Xvalue.size(), h.Yvalue.size());
        sidePlot_->setPoints(s, h.Xvalue.data(), h.Yvalue.data(), int(n));
        sidePlot_->setAxisTitle(ChartAxis::Left, QStringLiteral("Count"));
        return;
    }
    std::vector<double> x, y;
    std::vector<uint32_t> colours;
    for (TData* d : sources) {
        if (popupX_ >= d->CaseSize() || popupY_ >= d->CaseSize()) continue;
        const TColors& c = d->Colors();
        for (int e = 0; e < d->events(); ++e) {
            x.push_back(d->data[e][popupX_]);
            y.push_back(d->data[e][popupY_]);
            colours.push_back(e < int(c.size()) ? c[size_t(e)] : 0);
        }
    }
    const auto s = sidePlot_->addPointSeries(1);
    sidePlot_->setPoints(s, std::move(x), std::move(y));
    sidePlot_->setPointColors(s, std::move(colours));
    sidePlot_->setAxisTitle(ChartAxis::Left, fromEightBit(first.Desc()[size_t(popupY_)].name));
}

void PhenotypingWindow::axisMenu(bool left, QPoint globalPos)
{
    TData* d = chosen();
    if (!d) return;
    QMenu menu(this);
    for (int i = 0; i < d->CaseSize(); ++i) {
        QAction* a = menu.addAction(fromEightBit(d->Desc()[size_t(i)].name));
        a->setCheckable(true);
        a->setChecked(i == (left ? popupY_ : popupX_));
        a->setData(i);
    }
    if (left) {
        QAction* a = menu.addAction(QStringLiteral("Count"));
        a->setCheckable(true);
        a->setChecked(popupY_ < 0 || popupY_ >= d->CaseSize());
        a->setData(d->CaseSize());
    }
    QAction* picked = menu.exec(globalPos);
    if (!picked) return;
    runCommand([&] {
        if (left)
            setPopup(popupX_, picked->data().toInt());
        else
            setPopup(picked->data().toInt(), popupY_);
    });
}

// -------------------------------------------------------------------- project

void PhenotypingWindow::SaveProject(const QString& fileName) const
{
    PhenoProject p;
    for (const DataRef& d : datas) {
        const std::string file = d->FileName();
        std::error_code ec;
        // A gated or computed data set has no file to reopen it from.
        if (d->Parent() || !std::filesystem::exists(file, ec))
            throw OrvalaError("Cannot save the project: " + d->FullName() +
                              " was not read from a file, so the project could not open it again.");
        p.sources.push_back({file, d->tipchannel(), std::vector<int>(d->Selected.begin(), d->Selected.end())});
    }
    p.TubeCount = counter_.TubeCount();
    p.DieCount = counter_.DieCount();
    p.groups = counter_.Group;
    p.marks.assign(size_t(p.TubeCount), TVector(size_t(p.DieCount)));
    for (int t = 0; t < p.TubeCount; ++t)
        for (int k = 0; k < p.DieCount; ++k) p.marks[size_t(t)][size_t(k)] = counter_.Mark(t, k);
    p.mabs = mabs_;
    WritePhenoProject(toEightBit(fileName), p);
}

void PhenotypingWindow::LoadProject(const QString& fileName)
{
    const PhenoProject p = ReadPhenoProject(toEightBit(fileName));
    // Every file opens before anything of the window changes.
    std::vector<TData*> opened = OpenPhenoSources(p, toEightBit(fileName), defaultSink(), pool_);
    std::vector<DataRef> refs(opened.begin(), opened.end());
    datas.clear();
    syncing_ = true;
    fileBox_->clear();
    syncing_ = false;
    counter_.SetTubes({}, pool_);
    for (DataRef& d : refs) Add(d.get());
    mabs_ = p.mabs;
    std::vector<TData*> raw;
    for (const DataRef& d : datas) raw.push_back(d.get());
    counter_.SetTubes(orvala::FillTubes(raw), pool_);
    for (size_t i = 0; i < p.groups.size() && i < counter_.Group.size(); ++i) counter_.Group[i] = p.groups[i];
    if (p.TubeCount == counter_.TubeCount() && p.DieCount == counter_.DieCount()) counter_.SetMarks(p.marks, pool_);
    tubec_->setText(QString::number(counter_.TubeCount()));
    rebuildDisplay();
}

// --------------------------------------------------------------------- events

bool PhenotypingWindow::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == grid_->viewport() && e->type() == QEvent::Resize) placeCharts();
    return QWidget::eventFilter(watched, e);
}

bool PhenotypingWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return QWidget::event(e);
    dropQueuedDataEvents(this, WMDataChanged);
    // A removed data set takes the window with it: its tubes would describe nothing.
    for (const DataRef& d : datas)
        if (d->Deleted()) {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
                sub->close();
            else
                close();
            break;
        }
    return true;
}

}  // namespace orvala
