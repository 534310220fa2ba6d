#pragma once
// Phenotyping: the events of several tubes are classified by one threshold
// ("mark") per dye, and each tube counts its events in each of the 2^d
// positive/negative combinations of its d dyes. A tube is a data set, a
// detected tube of one data set, or a well of a plate data set.
#include <cstdint>
#include <string>
#include <vector>

#include "core/TData.h"
#include "numerics/Matrices.h"

namespace orvala {

class TMultiThread;

// 2^16 counts per tube is the most a table or a chart can show.
constexpr int MaxPhenoDyes = 16;

struct PhenoTube {
    std::string label;  // the row header: tube number, well ("B07") or data set name
    TMatrix values;     // [dye][event], the tube's own copy of the selected parameters
    int events() const { return values.empty() ? 0 : int(values[0].size()); }
    int dyes() const { return int(values.size()); }
};

// "Fill Tubes". Several data sets: one tube each, with as many dyes as the
// first data set has selected parameters. One plate data set: one tube per
// non-empty well, rows then columns. One other data set: one tube per
// detected tube (events by their tube number), else one tube. Throws
// OrvalaError, building nothing, when a data set has fewer selected
// parameters than the first or more than MaxPhenoDyes are selected.
std::vector<PhenoTube> FillTubes(const std::vector<TData*>& datas);

// "+-+" for code 5 of 3 dyes: dye 0 is the most significant bit and comes first.
std::string CodeHeader(int code, int dyes);

// The tubes whose dye marks follow a move of tube t's mark: its whole group
// when it has one (group colour not 0), else every tube without a group when
// lock is set, else t alone.
std::vector<int> MarkTargets(const TIntVector& groups, int t, bool lock);

// The tubes, their marks, groups and combination counts. Counting is split
// over the worker pool by tube; every tube is counted by the same code
// whatever the split, so the counts equal the sequential loop's.
class PhenoCounter {
public:
    // Takes the tubes; every mark goes to G / 2 (G = MaxValue()), groups to 0,
    // and everything is counted.
    void SetTubes(std::vector<PhenoTube> tubes, TMultiThread* pool);
    int TubeCount() const { return int(tubes_.size()); }
    int DieCount() const { return tubes_.empty() ? 0 : tubes_[0].dyes(); }
    int CodeCount() const { return 1 << DieCount(); }
    const PhenoTube& Tube(int t) const { return tubes_[size_t(t)]; }
    // The largest finite value over all tubes and dyes, at least 0.
    double MaxValue() const { return maxValue_; }

    double Mark(int t, int k) const { return marks_[size_t(t)][size_t(k)]; }
    // Sets every mark at once (a loaded project) and counts again.
    void SetMarks(const TMatrix& marks, TMultiThread* pool);
    // Moves tube t's dye-k mark to x, with the tubes MarkTargets names, and
    // counts those tubes again. Returns the tubes whose counts changed.
    std::vector<int> MoveMark(int t, int k, double x, bool lock, TMultiThread* pool);
    // Counts every tube again.
    void Recount(TMultiThread* pool);

    TIntVector Group;  // group colour per tube (0 = none), one per tube
    // Events of tube t per code (gramma[t][code]).
    const TIntVector& Counts(int t) const { return gramma_[size_t(t)]; }
    // The largest count over all tubes and codes.
    int32_t MaxCount() const { return maxval_; }

private:
    void countTubes(const std::vector<int>& which, int changedDye, TMultiThread* pool);
    std::vector<PhenoTube> tubes_;
    TMatrix marks_;
    // Per tube and event the current code, so that a mark move touches one dye only.
    std::vector<std::vector<uint16_t>> codes_;
    std::vector<TIntVector> gramma_;
    int32_t maxval_ = 0;
    double maxValue_ = 0;
};

}  // namespace orvala
