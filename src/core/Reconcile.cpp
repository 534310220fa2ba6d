#include "Reconcile.h"

#include <algorithm>
#include <cassert>
#include <map>

#include "Messages.h"
#include "TData.h"
#include "TDataList.h"
#include "TPreText.h"
#include "TUniqueList.h"

namespace orvala {

ReconcilePlan ReconcilePlan::Make(const TDataList& list)
{
    ReconcilePlan plan;
    TUniqueList usl(true);
    for (const TData* d : list.items()) {
        TUniqueList own(true);
        std::vector<int> cols;
        cols.reserve(d->Desc().size());
        for (const TParDescriptor& desc : d->Desc()) {
            const std::string name = trimmed(desc.name);
            // Matched by name, the second column would silently take the
            // first one's place and its values would be lost.
            if (own.Add(name) < 0)
                throw OrvalaError("The data set \"" + d->ShortName() + "\" has two parameters named \"" + name +
                                  "\": their values cannot be matched by name.");
            int i = usl.IndexOf(name);
            if (i < 0) i = usl.Add(name);
            cols.push_back(i);
        }
        plan.dataNames.push_back(d->ShortName());
        plan.columns.push_back(std::move(cols));
    }
    plan.oldNames = usl.Strings();
    plan.newNames = plan.oldNames;
    plan.order = plan.oldNames;
    return plan;
}

bool ReconcilePlan::Agrees() const
{
    size_t m = 0;
    for (const auto& cols : columns) m = std::max(m, cols.size());
    for (const auto& cols : columns)
        if (cols.size() != m) return false;
    return oldNames.size() == m;
}

std::vector<std::string> ReconcilePlan::Columns() const
{
    TUniqueList n(true);
    n.AddStrings(newNames);
    return n.Strings();
}

void ReconcilePlan::Rename(const std::string& current, const std::string& answer)
{
    const std::string wanted = trimmed(answer);
    if (sameTextIgnoringCase(wanted, trimmed(current))) return;
    if (wanted.empty()) throw OrvalaError("A parameter needs a name.");

    std::vector<std::string> next = newNames;
    for (std::string& s : next)
        if (sameTextIgnoringCase(s, trimmed(current))) s = wanted;
    // Merging two columns of one data set would leave it two parameters of
    // one name, and a join would keep only one of them.
    for (size_t k = 0; k < columns.size(); ++k) {
        TUniqueList own(true);
        for (int i : columns[k])
            if (own.Add(next[size_t(i)]) < 0)
                throw OrvalaError("\"" + dataNames[k] + "\" would have two parameters named \"" + next[size_t(i)] +
                                  "\".");
    }
    newNames = std::move(next);

    // The renamed column keeps its place; a column it merges into is dropped
    // from its own place.
    std::vector<std::string> moved;
    for (const std::string& s : order) moved.push_back(sameTextIgnoringCase(s, trimmed(current)) ? wanted : s);
    TUniqueList placed(true);
    placed.AddStrings(moved);
    SetOrder(placed.Strings());
}

bool ReconcilePlan::SetOrder(const std::vector<std::string>& names)
{
    const std::vector<std::string> cols = Columns();
    if (names.size() != cols.size()) return false;
    std::vector<std::string> next;
    std::vector<char> used(cols.size(), 0);
    for (const std::string& s : names) {
        size_t i = 0;
        while (i < cols.size() && !sameTextIgnoringCase(cols[i], trimmed(s))) ++i;
        if (i == cols.size() || used[i]) return false;
        used[i] = 1;
        next.push_back(cols[i]);
    }
    order = std::move(next);
    return true;
}

int ReconcilePlan::ResultColumn(int dataIndex, int column) const
{
    if (dataIndex < 0 || size_t(dataIndex) >= columns.size()) return -1;
    const auto& cols = columns[size_t(dataIndex)];
    if (column < 0 || size_t(column) >= cols.size()) return -1;
    const std::string& name = newNames[size_t(cols[size_t(column)])];
    for (size_t j = 0; j < order.size(); ++j)
        if (sameTextIgnoringCase(order[j], name)) return int(j);
    return -1;
}

bool ReconcilePlan::Covers(int dataIndex, int c) const
{
    if (dataIndex < 0 || size_t(dataIndex) >= columns.size()) return false;
    for (int j = 0; j < int(columns[size_t(dataIndex)].size()); ++j)
        if (ResultColumn(dataIndex, j) == c) return true;
    return false;
}

void ReconcilePlan::ApplyRenames(const TDataList& list) const
{
    assert(size_t(list.Count()) == columns.size());
    if (size_t(list.Count()) != columns.size()) return;
    // All new names are worked out from the original ones before any is
    // written: renaming B to C and then A to B one after the other would
    // rename the former A to C. A parent and its kids share one array, which
    // is therefore renamed only once.
    std::map<const TDescriptorVector*, std::vector<std::string>> renamed;
    for (int k = 0; k < list.Count(); ++k) {
        const TData* d = list.GetData(k);
        const TDescriptorVector* desc = &d->Desc();
        if (renamed.count(desc)) continue;
        std::vector<std::string> names;
        const auto& cols = columns[size_t(k)];
        if (cols.size() != desc->size()) continue;  // changed since the plan was made
        for (size_t j = 0; j < cols.size(); ++j) names.push_back(newNames[size_t(cols[j])]);
        renamed.emplace(desc, std::move(names));
    }
    for (int k = 0; k < list.Count(); ++k) {
        TData* d = list.GetData(k);
        auto it = renamed.find(&d->Desc());
        if (it == renamed.end()) continue;
        TDescriptorVector& desc = d->Desc();
        for (size_t j = 0; j < desc.size(); ++j)
            if (trimmed(desc[j].name) != it->second[j]) desc[j].name = it->second[j];
        renamed.erase(it);
    }
}

std::optional<ReconcilePlan> Reconcile(const TDataList& list, const std::function<bool(ReconcilePlan&)>& ask)
{
    ReconcilePlan plan = ReconcilePlan::Make(list);
    if (plan.Agrees()) return plan;
    if (!ask || !ask(plan)) return std::nullopt;
    plan.ApplyRenames(list);
    return plan;
}

}  // namespace orvala
