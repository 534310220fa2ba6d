#include "ReconcileDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/TData.h"
#include "core/TDataList.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

// 0x0000FF in the data model's 0x00BBGGRR form: red.
const QColor kMissing(255, 0, 0);

}  // namespace

ReconcileDialog::ReconcileDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    Grid = new QTableWidget(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    Grid->horizontalHeader()->setSectionsMovable(true);
    Grid->horizontalHeader()->setToolTip(QStringLiteral("Drag a column to reorder; double-click its name to rename it"));
    connect(Grid->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int logical) { runCommand([&] { renameColumn(logical); }); });

    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Grid, 1);
    layout->addLayout(buttons);
    resize(640, 320);
}

std::optional<ReconcilePlan> ReconcileDialog::Check(TDataList& list)
{
    return Reconcile(list, [this](ReconcilePlan& p) { return ask(p); });
}

bool ReconcileDialog::ask(ReconcilePlan& plan)
{
    plan_ = &plan;
    fill();
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    const bool ok = exec() == QDialog::Accepted;
    if (ok) plan.SetOrder(visualOrder());
    plan_ = nullptr;
    return ok;
}

void ReconcileDialog::fill()
{
    if (!plan_) return;
    const std::vector<std::string>& cols = plan_->order;
    const int rows = int(plan_->dataNames.size());
    Grid->clear();
    Grid->setColumnCount(int(cols.size()));
    Grid->setRowCount(rows);
    // The plan's order is the order on screen: visual positions start afresh.
    QHeaderView* h = Grid->horizontalHeader();
    for (int v = 0; v < h->count(); ++v)
        if (h->logicalIndex(v) != v) h->moveSection(h->visualIndex(v), v);
    QStringList headers;
    for (const std::string& c : cols) headers << fromEightBit(c);
    Grid->setHorizontalHeaderLabels(headers);
    QStringList names;
    for (const std::string& n : plan_->dataNames) names << fromEightBit(n);
    Grid->setVerticalHeaderLabels(names);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < int(cols.size()); ++c) {
            auto* item = new QTableWidgetItem;
            if (plan_->Covers(r, c)) {
                item->setText(QStringLiteral("+"));
                item->setTextAlignment(Qt::AlignCenter);
            } else {
                item->setBackground(kMissing);
            }
            Grid->setItem(r, c, item);
        }
}

void ReconcileDialog::renameColumn(int logical)
{
    if (!plan_ || logical < 0 || logical >= Grid->columnCount()) return;
    // Keep the order the user has dragged so far across the refill.
    plan_->SetOrder(visualOrder());
    const QString current = Grid->horizontalHeaderItem(logical)->text();
    bool ok = false;
    const QString answer = QInputDialog::getText(this, QStringLiteral("New Name"), QStringLiteral("Enter new name"),
                                                 QLineEdit::Normal, current, &ok);
    if (!ok) {
        fill();
        return;
    }
    plan_->Rename(toEightBit(current), toEightBit(answer));
    fill();
}

std::vector<std::string> ReconcileDialog::visualOrder() const
{
    std::vector<std::string> out;
    const QHeaderView* h = Grid->horizontalHeader();
    for (int v = 0; v < h->count(); ++v) out.push_back(toEightBit(Grid->horizontalHeaderItem(h->logicalIndex(v))->text()));
    return out;
}

}  // namespace orvala
