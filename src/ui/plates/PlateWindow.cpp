#include "PlateWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QVBoxLayout>

#include "WellPlateView.h"
#include "ui/common/DataEvents.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

constexpr TColor FilledWell = 0x0040B040;  // green, 0x00BBGGRR

const TWellCell* cellOf(const TData& d, int row, int column)
{
    if (row < 0 || row >= int(d.Wells.size()) || column < 0 || column >= int(d.Wells[size_t(row)].size()))
        return nullptr;
    return &d.Wells[size_t(row)][size_t(column)];
}

}  // namespace

PlateWindow::PlateWindow(TData* plate, QWidget* parent) : QWidget(parent), plate_(plate)
{
    setWindowTitle(QStringLiteral("Plate ") + fromEightBit(plate->ShortName()));
    view_ = new WellPlateView(this);
    type_ = new QComboBox(this);
    type_->addItem(QStringLiteral("96 wells"));
    type_->addItem(QStringLiteral("384 wells"));
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("summary"));
    info_->setWordWrap(true);
    info_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    hover_ = new QLabel(this);
    auto* side = new QVBoxLayout;
    side->addWidget(type_);
    side->addWidget(info_, 1);
    side->addWidget(hover_);
    auto* box = new QHBoxLayout(this);
    box->addWidget(view_, 1);
    box->addLayout(side);
    info_->setMinimumWidth(170);

    // A plate that fits 8 x 12 is shown as a 96-well plate.
    const bool small = plate->Wells.size() <= 8 && (plate->Wells.empty() || plate->MaxWellX() < 12);
    type_->setCurrentIndex(small ? 0 : 1);
    view_->SetPlateType(small ? TPlateType::pt96 : TPlateType::pt384);
    showWells();
    connect(type_, &QComboBox::currentIndexChanged, this, [this](int i) {
        view_->SetPlateType(i == 0 ? TPlateType::pt96 : TPlateType::pt384);
        showWells();
    });
    connect(view_, &WellPlateView::selectionChanged, this, [this] { updateSummary(); });
    connect(view_, &WellPlateView::wellHovered, this, [this](int row, int column) {
        const TWellCell* c = cellOf(*plate_, row, column);
        hover_->setText(QString::fromStdString(WellLabel({row, column})) + QStringLiteral(": ") +
                        (c && c->count > 0 ? QString::number(c->count) + QStringLiteral(" events")
                                           : QStringLiteral("empty")));
    });
    updateSummary();
}

void PlateWindow::showWells()
{
    for (int r = 0; r < view_->GetRowCount(); ++r)
        for (int c = 0; c < view_->GetColCount(); ++c) {
            WellPlateView::Well& w = view_->well(r, c);
            const TWellCell* cell = cellOf(*plate_, r, c);
            w.TotalCount = cell ? cell->count : 0;
            w.fColor = w.TotalCount > 0 ? FilledWell : 0x808080;
        }
    view_->Repaint();
    updateSummary();
}

int PlateWindow::selectedEvents() const
{
    int64_t n = 0;
    for (WellPosition w : view_->selection().Selected())
        if (const TWellCell* c = cellOf(*plate_, w.row, w.column)) n += c->count;
    return int(n);
}

QString PlateWindow::summary() const { return info_->text(); }

void PlateWindow::updateSummary()
{
    const auto selected = view_->selection().Selected();
    int filled = 0;
    for (WellPosition w : selected)
        if (const TWellCell* c = cellOf(*plate_, w.row, w.column); c && c->count > 0) ++filled;
    QString text = QStringLiteral("%1\n%2 events in %3 wells\n\nSelected: %4 wells, %5 with data, %6 events")
                       .arg(fromEightBit(plate_->ShortName()))
                       .arg(plate_->events())
                       .arg(plate_->NonEmptyWellCount)
                       .arg(selected.size())
                       .arg(filled)
                       .arg(selectedEvents());
    // Wells beyond the view's plate type are still counted, but cannot be seen.
    if (plate_->MaxWellY() >= view_->GetRowCount() || plate_->MaxWellX() >= view_->GetColCount())
        text += QStringLiteral("\n\nSome wells lie outside this plate type.");
    info_->setText(text);
}

bool PlateWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return QWidget::event(e);
    dropQueuedDataEvents(this, WMDataChanged);
    if (plate_->Deleted()) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
    }
    return true;
}

}  // namespace orvala
