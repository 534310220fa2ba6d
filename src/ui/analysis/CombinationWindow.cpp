#include "CombinationWindow.h"

#include <QAction>
#include <QFont>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "analysis/GateCombinations.h"
#include "core/TData.h"
#include "ui/chart/Chart.h"
#include "ui/common/UiMessages.h"

namespace orvala {

// ---------------------------------------------------------------- model

void CombinationModel::setTable(const CombinationTable* table)
{
    beginResetModel();
    table_ = table;
    endResetModel();
}

void CombinationModel::columnAdded()
{
    // The table has already grown: views re-read it whole.
    beginResetModel();
    endResetModel();
}

int CombinationModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !table_ ? 0 : table_->GetComCount();
}

int CombinationModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !table_ ? 0 : table_->GetGateCount() + int(table_->columns().size());
}

QVariant CombinationModel::data(const QModelIndex& index, int role) const
{
    if (!table_ || !index.isValid()) return {};
    const int g = table_->GetGateCount();
    const bool sign = index.column() < g;
    if (role == Qt::DisplayRole) {
        if (sign) return QString(QChar(CombinationSigns(g, index.row() + 1)[size_t(index.column())]));
        return QString::fromStdString(table_->Cell(index.row() + 1, index.column() - g));
    }
    if (sign && role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (sign && role == Qt::FontRole) {
        QFont f;
        f.setPointSize(16);
        return f;
    }
    if (!sign && role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant CombinationModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!table_ || role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    const int g = table_->GetGateCount();
    if (section < g) return QString::fromStdString(table_->gates()[size_t(section)]);
    return fromEightBit(table_->columns()[size_t(section - g)].header);
}

// ---------------------------------------------------------------- window

CombinationWindow::CombinationWindow(TData* dat, TMultiThread* pool, std::function<void(TData*)> addData,
                                     QWidget* parent)
    : ChartWindow(parent), table_(std::make_unique<CombinationTable>(*dat, pool)), addData_(std::move(addData))
{
    setWindowTitle(QStringLiteral("Table"));
    setObjectName(QStringLiteral("Combination"));
    model_ = new CombinationModel(this);
    model_->setTable(table_.get());
    Grid = new QTableView(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setModel(model_);
    Grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    Grid->horizontalHeader()->setDefaultSectionSize(80);
    for (int i = 0; i < table_->GetGateCount(); ++i) Grid->horizontalHeader()->resizeSection(i, 44);
    Grid->verticalHeader()->setDefaultSectionSize(24);
    contentLayout()->addWidget(Grid, 3);

    chart()->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Combination"));
    chart()->setAxisTitle(ChartAxis::Left, QStringLiteral("%"));
    chart()->setLegendVisible(true);
    chart()->setMinimumHeight(160);

    CreateDataSetAction = addCommand(QStringLiteral("Create new data set from the table"),
                                     QStringLiteral("A data set with one event per column and one parameter per combination"));
    connect(CreateDataSetAction, &QAction::triggered, this, [this] { runCommand([this] { askAndCreate(); }); });
    plotColumns();
}

CombinationWindow::~CombinationWindow() = default;

int CombinationWindow::GetGateCount() const { return table_->GetGateCount(); }
int CombinationWindow::GetComCount() const { return table_->GetComCount(); }

void CombinationWindow::Add(TData* dat)
{
    table_->Add(*dat);
    model_->columnAdded();
    plotColumns();
}

void CombinationWindow::plotColumns()
{
    static const QColor colors[] = {Qt::darkBlue, Qt::darkRed, Qt::darkGreen, Qt::darkMagenta, Qt::darkCyan, Qt::darkYellow};
    chart()->clearSeries();
    const int k = int(table_->columns().size());
    const int rows = table_->GetComCount();
    // Columns side by side within each combination's unit.
    for (int c = 0; c < k; ++c) {
        const auto& col = table_->columns()[size_t(c)];
        const Chart::SeriesId s = chart()->addBarSeries(fromEightBit(col.header), colors[c % 6]);
        std::vector<double> x(static_cast<size_t>(rows));
        std::vector<double> y = col.percent;
        for (int r = 0; r < rows; ++r) x[size_t(r)] = r + 1 + (c + 1.0) / (k + 1.0) - 0.5;
        chart()->setPoints(s, std::move(x), std::move(y));
    }
    chart()->redraw();
}

void CombinationWindow::CreateDataSet(const QString& name)
{
    TData* d = table_->CreateDataSet(toEightBit(name));
    if (d && addData_) addData_(d);
}

void CombinationWindow::askAndCreate()
{
    if (table_->columns().empty()) return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("Data Set Name"), QStringLiteral("Enter data name"),
                                               QLineEdit::Normal, QStringLiteral("noname"), &ok);
    if (!ok) return;
    CreateDataSet(name);
}

}  // namespace orvala
