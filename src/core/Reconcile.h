#pragma once
// Parameter reconciliation before a join: which distinct names the data sets
// have, what each is renamed to, and the column order of the joined result.
// The plan is a plain value: a dialog edits it, the library applies it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvala {

class TData;
class TDataList;

struct ReconcilePlan {
    // The distinct original names (trimmed, compared ignoring case), data
    // sets in list order and columns in column order; first spelling kept.
    std::vector<std::string> oldNames;
    // The new name of each entry of oldNames, at the same position.
    std::vector<std::string> newNames;
    // Columns of the joined data set: the distinct new names in the order
    // the user chose (first appearance until then).
    std::vector<std::string> order;
    // Per data set of the list: its short name, and for each of its columns
    // the index of that column's original name in oldNames.
    std::vector<std::string> dataNames;
    std::vector<std::vector<int>> columns;

    // The plan for list, every name kept. Throws OrvalaError when one data
    // set has two parameters of the same name: the second would be lost.
    static ReconcilePlan Make(const TDataList& list);

    // True when the join needs no question: every data set has as many
    // parameters as the largest one, and together they have that many names.
    bool Agrees() const;

    // The distinct new names in first-appearance order (merged ones once).
    std::vector<std::string> Columns() const;

    // Renames the column named current (ignoring case) to answer; a column of
    // that name already there takes the renamed one in. Nothing happens when
    // answer equals current ignoring case. Throws OrvalaError, changing
    // nothing, when a data set would get two parameters of one name.
    void Rename(const std::string& current, const std::string& answer);

    // Sets the column order; false (nothing changed) unless names is a
    // reordering of Columns() (compared ignoring case).
    bool SetOrder(const std::vector<std::string>& names);

    // Index in order of column `column` of data set `dataIndex`, or -1.
    int ResultColumn(int dataIndex, int column) const;
    // Whether data set `dataIndex` has a parameter that ends in result column c.
    bool Covers(int dataIndex, int c) const;

    // Renames the parameters of the data sets of list (the list the plan was
    // made of) to their new names. Each descriptor array is renamed once,
    // from its original names, even when a parent and its kids share it.
    void ApplyRenames(const TDataList& list) const;
};

// Check before a join: the plan when the join may go ahead (renames applied),
// nullopt when it may not. Asks through ask (which may edit the plan and
// returns false for cancel) only when the parameters do not agree; without
// ask such a list is refused. Throws OrvalaError on duplicate names.
std::optional<ReconcilePlan> Reconcile(const TDataList& list, const std::function<bool(ReconcilePlan&)>& ask);

}  // namespace orvala
