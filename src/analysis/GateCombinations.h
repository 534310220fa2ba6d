#pragma once
// Gate combinations: for data sets gated the same way, the share of events
// in every inside/outside combination of the gates, one column per data set.
// Row r (1-based) is combination c = r - 1; gate i (0-based) is inside when
// bit g - 1 - i of c is set, so the first gate is the most significant bit.
#include <cstdint>
#include <string>
#include <vector>

namespace orvala {

class TData;
class TMultiThread;

// The table has 2^g rows: more gates than this are refused.
constexpr int MaxCombinedGates = 16;

// Events of data in every combination of the given kids' memberships (each
// kid's link lists data's events inside its gate, in any order; entries
// outside data are ignored). One bitmap per gate, then one pass over blocks
// of events on the pool; the counts equal those of the sequential loop.
// Throws OrvalaError for more than MaxCombinedGates kids.
std::vector<int64_t> CountCombinations(const TData& data, const std::vector<const TData*>& kids,
                                       TMultiThread* pool = nullptr);

// Counts as percentages of their sum (x 100 / sum); all 0 when the sum is 0.
std::vector<double> CombinationPercentages(const std::vector<int64_t>& counts);

// The signs of combination row r (1-based) for g gates: g = 3, row 6 -> "+-+".
std::string CombinationSigns(int g, int row);

// A percentage as the table writes it: general format, 5 significant digits,
// "." as decimal separator.
std::string FormatPercentage(double value);

// The kids of data that take part: those with a gate, in kid order.
std::vector<TData*> GatedKids(const TData& data);

// The table of a combination window, without the window.
class CombinationTable {
public:
    struct Column {
        std::string header;            // the data set's full name
        std::vector<double> percent;   // 2^g values
    };

    // Gates named after first's gated kids, then first added as column 1.
    // Throws OrvalaError when first has no gate or more than MaxCombinedGates.
    explicit CombinationTable(const TData& first, TMultiThread* pool = nullptr);

    // Adds a column for data. Throws OrvalaError "Number of gates differs" or
    // "Names of the gates must be the same", leaving the table as it was.
    void Add(const TData& data);

    int GetGateCount() const { return int(gates_.size()); }
    int GetComCount() const { return 1 << GetGateCount(); }
    const std::vector<std::string>& gates() const { return gates_; }
    const std::vector<Column>& columns() const { return columns_; }
    // The text of a cell: combination row r (1-based), column k (0-based).
    std::string Cell(int row, int column) const;

    // The table as a new top-level data set named name: one event per column
    // (named after its header), one parameter per combination (named after
    // its signs). Nil when the table has no column.
    TData* CreateDataSet(const std::string& name) const;

private:
    std::vector<std::string> gates_;
    std::vector<Column> columns_;
    TMultiThread* pool_;
};

}  // namespace orvala
