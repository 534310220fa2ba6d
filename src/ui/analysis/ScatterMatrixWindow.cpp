#include "ScatterMatrixWindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "ui/chart/Chart.h"
#include "ui/chart/ChartCommandBar.h"
#include "ui/common/DataEvents.h"
#include "ui/common/UiMessages.h"
#include "ui/plot/PlotWindow.h"
#include "ui/plot/ScatterPlotWindow.h"

namespace orvala {

ScatterMatrixWindow::ScatterMatrixWindow(TData* dat, TMultiThread* pool, QMdiArea* area, QWidget* parent)
    : ChartWindow(parent), data_(dat), pool_(pool), area_(area)
{
    setWindowTitle(QStringLiteral("Tabloid"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The matrix is pictures, not a chart: the base window's chart and its
    // chart commands have nothing to act on here.
    chart()->hide();
    commandBar()->hide();

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    grid_ = new ScatterMatrixGrid(this);
    grid_->setObjectName(QStringLiteral("grid"));
    Diagonal = new QScrollBar(Qt::Vertical, this);
    Diagonal->setObjectName(QStringLiteral("Diagonal"));
    Diagonal->setToolTip(QStringLiteral("Move along the diagonal"));
    row->addWidget(grid_, 1);
    row->addWidget(Diagonal);
    contentLayout()->addLayout(row, 1);
    connect(Diagonal, &QScrollBar::valueChanged, grid_, qOverload<>(&QWidget::update));

    reload(true);
    const int shown = std::clamp(parameters(), 1, 5);
    resize(HeaderSize + shown * CellSize + Diagonal->sizeHint().width() + 24,
           HeaderSize + shown * CellSize + 24);
}

ScatterMatrixWindow::~ScatterMatrixWindow()
{
    // The pair plot belongs to this window, hidden or not.
    if (scat_) delete scat_.data();
}

int ScatterMatrixWindow::first() const { return Diagonal->value(); }

void ScatterMatrixWindow::setFirst(int parameter) { Diagonal->setValue(parameter); }

void ScatterMatrixWindow::reload(bool newRanges)
{
    TData* d = data_.get();
    const int rows = d ? d->events() : 0;
    const int cols = d ? d->CaseSize() : 0;
    const double* values = d && rows > 0 ? d->data.data() : nullptr;
    // The ranges are those of the data set when the window opened; only a
    // change of the parameter count (channels deleted) takes them anew.
    if (newRanges || int(ranges_.mins.size()) != cols) ranges_ = tabloidRanges(values, rows, cols, pool_);
    pictures_.setData(values, rows, cols, ranges_, pool_);
    loaded_ = values;
    loadedRows_ = rows;
    loadedCols_ = cols;
    datamodified = d ? d->Modified() : 0;
    updateScrollRange();
}

void ScatterMatrixWindow::updateScrollRange()
{
    const int maximum = std::max(parameters() - grid_->visibleCount(), 0);
    Diagonal->setRange(0, maximum);
    Diagonal->setPageStep(std::max(grid_->visibleCount(), 1));
}

std::vector<std::pair<int, int>> ScatterMatrixWindow::visibleCells() const
{
    std::vector<std::pair<int, int>> cells;
    const int P = parameters();
    const int across = (std::max(grid_->width() - HeaderSize, 0) + CellSize - 1) / CellSize;
    const int down = (std::max(grid_->height() - HeaderSize, 0) + CellSize - 1) / CellSize;
    const int f = first();
    for (int r = 0; r < down && f + r < P; ++r)
        for (int c = 0; c < across && f + c < P; ++c) cells.push_back({f + c, f + r});
    return cells;
}

std::pair<int, int> ScatterMatrixWindow::cellAt(QPoint pos) const
{
    if (pos.x() < HeaderSize || pos.y() < HeaderSize) return {-1, -1};
    const int i = first() + (pos.x() - HeaderSize) / CellSize;
    const int j = first() + (pos.y() - HeaderSize) / CellSize;
    if (i >= parameters() || j >= parameters()) return {-1, -1};
    return {i, j};
}

void ScatterMatrixWindow::prepare(const std::vector<std::pair<int, int>>& cells)
{
    error_.clear();
    TData* d = data_.get();
    if (!d || d->Deleted()) return;
    // A change the notice has not reached yet (or a block that moved) must
    // not be read through the old pointer.
    if (d->Modified() != datamodified || d->events() != loadedRows_ || d->CaseSize() != loadedCols_ ||
        (loadedRows_ > 0 && d->data.data() != loaded_))
        reload(false);
    try {
        pictures_.ensure(cells, pool_);
    } catch (const std::exception& ex) {
        error_ = QString::fromUtf8(ex.what());
    }
    pictures_.keepOnly(cells);
}

QWidget* ScatterMatrixWindow::openPair(int i, int j)
{
    if (!data_ || i < 0 || j < 0 || i >= parameters() || j >= parameters()) return nullptr;
    if (!scat_) {
        QWidget* w = openScatterPlot(area_, data_.get(), pool_);
        auto* sub = qobject_cast<QMdiSubWindow*>(w);
        auto* form = sub ? qobject_cast<ScatterPlotWindow*>(sub->widget()) : qobject_cast<ScatterPlotWindow*>(w);
        if (!form) return nullptr;
        // Closing the plot hides it; it is freed with this window.
        form->KeepOnClose = true;
        if (sub) sub->setAttribute(Qt::WA_DeleteOnClose, false);
        scat_ = w;
    }
    auto* sub = qobject_cast<QMdiSubWindow*>(scat_.data());
    auto* form = sub ? qobject_cast<ScatterPlotWindow*>(sub->widget()) : qobject_cast<ScatterPlotWindow*>(scat_.data());
    form->SetXY(i, j);
    scat_->show();
    form->show();
    form->DrawData();
    scat_->raise();
    return scat_;
}

bool ScatterMatrixWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return ChartWindow::event(e);
    QCoreApplication::removePostedEvents(this, DataEvent::changedType());
    TData* d = data_.get();
    if (!d || d->Deleted()) {
        if (scat_) delete scat_.data();
        data_.reset();
        // The MDI frame goes with the window.
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
        return true;
    }
    if (d->Modified() != datamodified) {
        runCommand([this] { reload(false); });
        grid_->update();
    }
    return true;
}

void ScatterMatrixWindow::resizeEvent(QResizeEvent* e)
{
    ChartWindow::resizeEvent(e);
    updateScrollRange();
}

// --- the grid ---

ScatterMatrixGrid::ScatterMatrixGrid(ScatterMatrixWindow* owner) : QWidget(owner), owner_(owner)
{
    setMinimumSize(ScatterMatrixWindow::HeaderSize + 64, ScatterMatrixWindow::HeaderSize + 64);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int ScatterMatrixGrid::visibleCount() const
{
    const int side = std::min(width(), height()) - ScatterMatrixWindow::HeaderSize;
    return std::max(side / ScatterMatrixWindow::CellSize, 1);
}

void ScatterMatrixGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const auto cells = owner_->visibleCells();
    owner_->prepare(cells);
    const int H = ScatterMatrixWindow::HeaderSize, C = ScatterMatrixWindow::CellSize, f = owner_->first();
    TData* d = owner_->data();
    const int P = owner_->parameters();
    auto name = [d](int k) {
        return d && k < d->CaseSize() ? fromEightBit(d->Desc()[size_t(k)].name) : QString();
    };
    p.setPen(palette().color(QPalette::WindowText));
    // Row 0: names centred; column 0: names written upwards, centred.
    for (int c = 0; f + c < P && H + c * C < width(); ++c)
        p.drawText(QRect(H + c * C, 0, C, H), Qt::AlignCenter, name(f + c));
    for (int r = 0; f + r < P && H + r * C < height(); ++r) {
        p.save();
        p.translate(0, H + (r + 1) * C);
        p.rotate(-90);
        p.drawText(QRect(0, 0, C, H), Qt::AlignCenter, name(f + r));
        p.restore();
    }
    for (auto [i, j] : cells) {
        const QRect cell(H + (i - f) * C, H + (j - f) * C, C, C);
        if (const TabloidPicture* pic = owner_->pictures().picture(i, j)) {
            const QImage image(reinterpret_cast<const uchar*>(pic->data()), C, C, C * 4, QImage::Format_RGB32);
            p.drawImage(cell.topLeft(), image);
        }
        p.setPen(QColor(160, 160, 160));
        p.drawRect(cell.adjusted(0, 0, -1, -1));
    }
    if (!owner_->lastError().isEmpty()) {
        p.setPen(Qt::red);
        p.drawText(rect().adjusted(H + 8, H + 8, -8, -8), Qt::AlignTop | Qt::TextWordWrap, owner_->lastError());
    }
}

void ScatterMatrixGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    const auto [i, j] = owner_->cellAt(e->position().toPoint());
    if (i < 0) return;
    runCommand([&] { owner_->openPair(i, j); });
}

void ScatterMatrixGrid::wheelEvent(QWheelEvent* e)
{
    const int steps = e->angleDelta().y() / 120;
    if (steps != 0) owner_->setFirst(owner_->first() - steps);
    e->accept();
}

}  // namespace orvala
