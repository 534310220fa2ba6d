#include "Phenotyping.h"

#include <algorithm>
#include <cmath>

#include "core/Messages.h"
#include "parallel/TMultiThread.h"
#include "plates/Plate.h"

namespace orvala {

namespace {

// The selected parameters of d that exist, first `dyes` of them.
std::vector<int> dyeColumns(const TData& d, int dyes)
{
    std::vector<int> cols;
    for (int c : d.Selected)
        if (c >= 0 && c < d.CaseSize() && int(cols.size()) < dyes) cols.push_back(c);
    return cols;
}

PhenoTube tubeOfEvents(const TData& d, const std::vector<int>& cols, int first, int count, std::string label)
{
    PhenoTube t;
    t.label = std::move(label);
    t.values.assign(cols.size(), TVector(size_t(count)));
    for (size_t k = 0; k < cols.size(); ++k) {
        double* out = t.values[k].data();
        for (int e = 0; e < count; ++e) out[e] = d.data[first + e][cols[k]];
    }
    return t;
}

void checkDyeCount(int dyes)
{
    if (dyes > MaxPhenoDyes)
        throw OrvalaError("Phenotyping counts at most " + std::to_string(MaxPhenoDyes) + " dyes (2^" +
                          std::to_string(MaxPhenoDyes) + " combinations per tube); " + std::to_string(dyes) +
                          " parameters are selected. Uncheck some of them.");
}

}  // namespace

std::vector<PhenoTube> FillTubes(const std::vector<TData*>& datas)
{
    std::vector<PhenoTube> tubes;
    if (datas.empty() || !datas[0]) return tubes;
    if (datas.size() > 1) {
        const int dyes = int(dyeColumns(*datas[0], MaxPhenoDyes + 1).size());
        checkDyeCount(dyes);
        for (const TData* d : datas)
            if (int(dyeColumns(*d, dyes).size()) < dyes)
                throw OrvalaError("Cannot fill the tubes: " + d->FullName() + " has " +
                                  std::to_string(dyeColumns(*d, dyes).size()) + " selected parameters, fewer than the " +
                                  std::to_string(dyes) + " of " + datas[0]->FullName() +
                                  ". Select as many parameters in every data set.");
        for (size_t i = 0; i < datas.size(); ++i) {
            const TData& d = *datas[i];
            tubes.push_back(tubeOfEvents(d, dyeColumns(d, dyes), 0, d.events(), d.FullName()));
        }
        return tubes;
    }

    const TData& d = *datas[0];
    const std::vector<int> cols = dyeColumns(d, MaxPhenoDyes + 1);
    checkDyeCount(int(cols.size()));
    if (d.NonEmptyWellCount >= 1) {
        for (int r = 0; r < int(d.Wells.size()); ++r)
            for (int c = 0; c < int(d.Wells[size_t(r)].size()); ++c) {
                const TWellCell cell = d.Wells[size_t(r)][size_t(c)];
                // A cell that does not fit the events (a data set changed after
                // loading) is left out rather than read out of range.
                if (cell.count <= 0 || cell.first < 0 || int64_t(cell.first) + cell.count > d.events()) continue;
                tubes.push_back(tubeOfEvents(d, cols, cell.first, cell.count, WellLabel({r, c})));
            }
        return tubes;
    }
    if (d.TubeCount() > 0 && int(d.Tip.size()) == d.events()) {
        // Events go to the tube detection gave them, wherever they sit: a tip
        // column that is not sorted must not mix tubes.
        std::vector<std::vector<int>> members(size_t(d.TubeCount()));
        for (int e = 0; e < d.events(); ++e) {
            const int t = d.Tip[size_t(e)];
            if (t >= 1 && t <= d.TubeCount()) members[size_t(t - 1)].push_back(e);
        }
        for (size_t t = 0; t < members.size(); ++t) {
            PhenoTube tube;
            tube.label = std::to_string(t + 1);
            tube.values.assign(cols.size(), TVector(members[t].size()));
            for (size_t k = 0; k < cols.size(); ++k)
                for (size_t i = 0; i < members[t].size(); ++i) tube.values[k][i] = d.data[members[t][i]][cols[k]];
            tubes.push_back(std::move(tube));
        }
        return tubes;
    }
    tubes.push_back(tubeOfEvents(d, cols, 0, d.events(), "1"));
    return tubes;
}

std::string CodeHeader(int code, int dyes)
{
    std::string s(size_t(std::max(dyes, 0)), '-');
    for (int k = 0; k < dyes; ++k)
        if (code & (1 << (dyes - 1 - k))) s[size_t(k)] = '+';
    return s;
}

std::vector<int> MarkTargets(const TIntVector& groups, int t, bool lock)
{
    std::vector<int> out;
    if (t < 0 || t >= int(groups.size())) return out;
    const int g = groups[size_t(t)];
    if (g == 0 && !lock) return {t};
    for (int i = 0; i < int(groups.size()); ++i)
        if (groups[size_t(i)] == g) out.push_back(i);
    return out;
}

void PhenoCounter::SetTubes(std::vector<PhenoTube> tubes, TMultiThread* pool)
{
    tubes_ = std::move(tubes);
    maxValue_ = 0;
    for (const PhenoTube& t : tubes_)
        for (const TVector& v : t.values)
            for (double x : v)
                if (std::isfinite(x) && x > maxValue_) maxValue_ = x;
    const int d = DieCount();
    marks_.assign(tubes_.size(), TVector(size_t(d), maxValue_ / 2));
    Group.assign(tubes_.size(), 0);
    codes_.assign(tubes_.size(), {});
    gramma_.assign(tubes_.size(), TIntVector(size_t(CodeCount()), 0));
    Recount(pool);
}

void PhenoCounter::SetMarks(const TMatrix& marks, TMultiThread* pool)
{
    for (size_t t = 0; t < marks_.size() && t < marks.size(); ++t)
        for (size_t k = 0; k < marks_[t].size() && k < marks[t].size(); ++k) marks_[t][k] = marks[t][k];
    Recount(pool);
}

std::vector<int> PhenoCounter::MoveMark(int t, int k, double x, bool lock, TMultiThread* pool)
{
    if (t < 0 || t >= TubeCount() || k < 0 || k >= DieCount()) return {};
    std::vector<int> targets = MarkTargets(Group, t, lock);
    for (int i : targets) marks_[size_t(i)][size_t(k)] = x;
    countTubes(targets, k, pool);
    return targets;
}

void PhenoCounter::Recount(TMultiThread* pool)
{
    std::vector<int> all(tubes_.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
    countTubes(all, -1, pool);
}

void PhenoCounter::countTubes(const std::vector<int>& which, int changedDye, TMultiThread* pool)
{
    const int d = DieCount();
    auto countOne = [&](int t) {
        const PhenoTube& tube = tubes_[size_t(t)];
        const int n = tube.events();
        std::vector<uint16_t>& codes = codes_[size_t(t)];
        const TVector& m = marks_[size_t(t)];
        if (changedDye < 0 || int(codes.size()) != n) {
            codes.assign(size_t(n), 0);
            for (int k = 0; k < d; ++k) {
                const double* v = tube.values[size_t(k)].data();
                const double mk = m[size_t(k)];
                uint16_t* c = codes.data();
                for (int e = 0; e < n; ++e) c[e] = uint16_t((c[e] << 1) | (v[e] >= mk ? 1 : 0));
            }
        } else {
            // One dye moved: only its bit changes.
            const uint16_t bit = uint16_t(1u << (d - 1 - changedDye));
            const uint16_t keep = uint16_t(~bit);
            const double* v = tube.values[size_t(changedDye)].data();
            const double mk = m[size_t(changedDye)];
            uint16_t* c = codes.data();
            for (int e = 0; e < n; ++e) c[e] = uint16_t((c[e] & keep) | (v[e] >= mk ? bit : 0));
        }
        TIntVector& g = gramma_[size_t(t)];
        std::fill(g.begin(), g.end(), 0);
        for (uint16_t c : codes) ++g[c];
    };
    if (pool && pool->NumberOfThreads() > 1 && which.size() > 1) {
        pool->Process(
            [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
                for (int i = index; i < index + size && !aborted; ++i) countOne(which[size_t(i)]);
            },
            {}, int(which.size()), 1);
    } else {
        for (int t : which) countOne(t);
    }
    maxval_ = 0;
    for (const TIntVector& g : gramma_)
        for (int32_t c : g) maxval_ = std::max(maxval_, c);
}

}  // namespace orvala
