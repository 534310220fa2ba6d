#pragma once
// The "Combine" window: for data sets gated the same way, the percentage of
// events in every inside/outside combination of their gates, one column per
// data set, as a table and as bars; the table can become a data set.
#include <QAbstractTableModel>
#include <functional>
#include <memory>

#include "ui/chart/ChartWindow.h"

class QTableView;

namespace orvala {

class CombinationTable;
class TData;
class TMultiThread;

// The grid's model: g sign columns, then one column per data set; one row
// per combination. Texts are made when shown (2^16 rows stay cheap).
class CombinationModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CombinationModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setTable(const CombinationTable* table);
    void columnAdded();
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const CombinationTable* table_ = nullptr;
};

class CombinationWindow : public ChartWindow {
    Q_OBJECT
public:
    // The gates come from dat's gated kids; dat is the first column. Throws
    // OrvalaError (no gate, more than 16) before any window exists.
    // addData receives the data set "Create new data set from the table" makes.
    CombinationWindow(TData* dat, TMultiThread* pool, std::function<void(TData*)> addData, QWidget* parent = nullptr);
    ~CombinationWindow() override;

    // Adds a column for dat; throws OrvalaError "Number of gates differs" or
    // "Names of the gates must be the same", leaving the table as it was.
    void Add(TData* dat);
    int GetGateCount() const;
    int GetComCount() const;
    const CombinationTable& table() const { return *table_; }
    QTableView* Grid = nullptr;
    QAction* CreateDataSetAction = nullptr;

    // "Create new data set from the table" without its input box.
    void CreateDataSet(const QString& name);

private:
    void askAndCreate();
    void plotColumns();
    std::unique_ptr<CombinationTable> table_;
    CombinationModel* model_ = nullptr;
    std::function<void(TData*)> addData_;
};

}  // namespace orvala
