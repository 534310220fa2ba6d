#pragma once
// A gate: the region, subset or channel selection that produced a derived data set.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TData.h"
#include "TDataFilter.h"

namespace orvala {

class TMultiThread;

enum class TGateType : uint8_t {
    gtNone = 0,
    gtGate = 1,
    gtPCAGate = 2,
    gtLog = 3,
    gtHyper = 4,
    gtSubset = 5,
    gtImage = 6,
    gtAffine = 7,
    gtSubChannel = 8,
    // Membership decided by a TGateRule (gates imported from Gating-ML). Gate
    // records cannot hold the rule, so such gates are never written to them.
    gtRule = 9,
};

// What decides an event gate's membership when no stored region does.
class TGateRule {
public:
    virtual ~TGateRule() = default;
    // The parent's event indices that pass, ascending. Throws OrvalaError
    // with the reason when the parent's events cannot be tested.
    virtual TIntVector Select(const TData& parent) const = 0;
};

struct TGateRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // inclusive on all four sides
};

class TGate {
public:
    // A gate of no kind (gtNone); records loaded from a stream start here.
    TGate() = default;
    // Projection gate (gtGate): an event is projected with x and y and tested
    // against the closed outline cx, cy.
    TGate(TVector x, TVector y, TVector cx, TVector cy);
    // PCA gate (gtPCAGate): as a projection gate, but every event first passes
    // through a private copy of filter.
    TGate(TVector x, TVector y, TVector cx, TVector cy, const TDataFilter& filter);
    // Image gate (gtImage): the picture pixels of rect.
    explicit TGate(const TGateRect& rect);
    // List gate (gtSubset: parent event indices; gtSubChannel: kept parent
    // columns, ascending) or, with an empty list, a gate of any other kind that
    // stores nothing (gtAffine: the grid tool keeps its own geometry).
    explicit TGate(TGateType kind, TIntVector list = {});

    TGate(TGate&&) = default;
    TGate& operator=(TGate&&) = default;
    TGate(const TGate&) = delete;
    TGate& operator=(const TGate&) = delete;

    // A new gate of the same kind with the same stored data (its own copy of
    // the filter) and the same Inverse, Normalized, conversion flags, name,
    // colour and Id. The chart series (anobject) stays with the original.
    static std::unique_ptr<TGate> Copy(const TGate& gate);

    std::unique_ptr<TDataFilter> filter;  // gtPCAGate: events pass through it before projection
    // gtRule: decides membership; shared by copies. x, y, cx, cy may hold an
    // outline for drawing only (empty when the rule has none to show).
    std::shared_ptr<const TGateRule> rule;
    TGateType kind = TGateType::gtNone;
    void* anobject = nullptr;  // the chart series drawing this gate; not owned
    int32_t Id = 0;
    std::string name;
    TColor color = 0;
    bool Inverse = false;
    bool Normalized = false;
    TIntVector ChannelList;
    TVector x, y;    // projection coefficients
    TVector cx, cy;  // closed vertex list in plot coordinates
    bool loglinx = false, linlogx = false, logliny = false, linlogy = false;
    TGateRect Rect;

    int Count() const { return int(cx.size()); }
    void setCount(int n)
    {
        cx.resize(size_t(n < 0 ? 0 : n), 0.0);
        cy.resize(size_t(n < 0 ? 0 : n), 0.0);
    }
    int Dimention() const { return int(x.size()); }
};

// Membership of a data set's events in its offspring: one row per event, one
// column per offspring in depth-first order, 1 when the event is in it.
// Stored as one block, row after row.
struct GateTable {
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> cells;
    int at(int event, int offspring) const { return cells[size_t(event) * size_t(cols) + size_t(offspring)]; }
};

// The worker pool CreateLink splits large event loops over. The program
// installs its own pool at start-up and removes it (nullptr) before freeing
// it; without one, a pool with one worker per processor is made on first use.
// The pool runs one job at a time: CreateLink waits for its own job and stops
// an asynchronous run still going on the same pool (as every RunAndWait does).
void setGatePool(TMultiThread* pool);
TMultiThread& gatePool();

// Called with true before and false after each CreateLink, so the program can
// show the hourglass cursor; nullptr (the default) shows nothing.
void setGateBusyHook(void (*hook)(bool busy));

// The gate of "Delete channels": keeps the columns whose entry of deleted is
// false. Nil unless at least one and fewer than all columns are deleted.
std::unique_ptr<TGate> DeleteChannelsGate(const std::vector<bool>& deleted);

// "Breed gates": copies the gate tree under source onto every other root of
// the workspace, in workspace order. Returns how many roots were bred.
int BreedGates(TData* source);

}  // namespace orvala
