#pragma once
// The reconciliation dialog: data sets against their parameter names, so
// that several data sets can be joined. Each missing parameter is a red
// cell; a double click on a column header renames that column (the name of
// another column merges the two), and dragging a header sets the column
// order of the joined data set. The dialog edits a plan; "OK" hands it back
// and the library applies it.
#include <QDialog>
#include <optional>

#include "core/Reconcile.h"

class QTableWidget;
class QPushButton;

namespace orvala {

class TDataList;

class ReconcileDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReconcileDialog(QWidget* parent = nullptr);

    // The plan the join may go ahead with (renames applied to every data set
    // of list), or nullopt when the user cancelled. Asks only when the
    // parameters differ in names or number. Throws OrvalaError when a data
    // set has two parameters of one name.
    std::optional<ReconcilePlan> Check(TDataList& list);

    // The plan being edited while the dialog is shown (null otherwise).
    const ReconcilePlan* plan() const { return plan_; }

    QTableWidget* Grid = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

private:
    bool ask(ReconcilePlan& plan);
    // Header, signs and red gaps from the plan, columns in the plan's order.
    void fill();
    void renameColumn(int logical);
    // The header texts in their on-screen order.
    std::vector<std::string> visualOrder() const;
    ReconcilePlan* plan_ = nullptr;
};

}  // namespace orvala
