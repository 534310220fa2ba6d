// The transforms that change a data set in place, and the recomputation of
// its kids that every one of them ends with.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "RowPasses.h"
#include "Transforms.h"
#include "core/TData.h"
#include "core/TGate.h"
#include "numerics/TRandom.h"

namespace orvala {

namespace {

using LinkSnapshot = std::unordered_map<const TData*, TIntVector>;

int mapped(const TIntVector* map, int32_t i)
{
    if (!map) return i;
    return i >= 0 && i < int(map->size()) ? (*map)[size_t(i)] : -1;
}

// Kids of P after P's events changed (map: P's old index -> new index or -1;
// null when the events kept their places). `before` holds every offspring's
// link as it was before the change began.
void relinkBelow(TData& P, const TIntVector* map, const LinkSnapshot& before)
{
    for (TData* kid : P.Kids()) {
        const auto was = before.find(kid);
        const TIntVector& oldLink = was != before.end() ? was->second : kid->link;
        TIntVector kidMap(oldLink.size(), -1);

        if (!kid->gate) {
            // A transform result: its values cannot be recomputed, but its rows
            // must keep naming the same parent events, and rows whose event
            // is gone go with it.
            if (!map) continue;
            int k = 0;
            for (int i = 0; i < kid->events(); ++i) {
                const int to = mapped(map, oldLink[size_t(i)]);
                if (to < 0) continue;
                if (k != i) std::copy_n(kid->data[i], kid->data.cols(), kid->data[k]);
                kid->link[size_t(k)] = to;
                kidMap[size_t(i)] = k++;
            }
            kid->setEvents(k);
            relinkBelow(*kid, &kidMap, before);
            continue;
        }

        if (kid->gate->kind == TGateType::gtSubset && map) {
            // A subset names events by index: follow them to their new places.
            TIntVector list;
            list.reserve(kid->gate->ChannelList.size());
            for (int32_t e : kid->gate->ChannelList)
                if (const int to = mapped(map, e); to >= 0) list.push_back(to);
            kid->gate->ChannelList = std::move(list);
        }
        TIntVector newLink = P.CreateLink(*kid->gate);
        TIntVector where(size_t(P.events()), -1);
        for (size_t j = 0; j < newLink.size(); ++j) where[size_t(newLink[j])] = int32_t(j);
        for (size_t i = 0; i < oldLink.size(); ++i)
            if (const int to = mapped(map, oldLink[i]); to >= 0 && to < int(where.size())) kidMap[i] = where[size_t(to)];
        kid->Relink(std::move(newLink));
        relinkBelow(*kid, &kidMap, before);
    }
}

// Finishes every in-place change: kids follow, windows redraw.
void changed(TData& dat, const TIntVector* oldToNew = nullptr)
{
    RelinkKids(dat, oldToNew);
    dat.Announce();
}

template <class Row>
void forEachRow(TData& dat, TMultiThread* pool, const Row& row)
{
    const int p = dat.CaseSize();
    double* base = dat.data.data();
    ForRows(pool, dat.events(), size_t(p), [&](int from, int to) {
        for (int e = from; e < to; ++e) row(base + size_t(e) * size_t(p), p);
    });
}

template <class T>
void compact(std::vector<T>& v, const std::vector<uint8_t>& keep)
{
    if (v.size() != keep.size()) return;
    size_t k = 0;
    for (size_t i = 0; i < v.size(); ++i)
        if (keep[i]) {
            if (k != i) v[k] = std::move(v[i]);
            ++k;
        }
    v.resize(k);
}

void boxCar(TData& dat, TMultiThread* pool, bool divide)
{
    const int b = dat.ParIndexByName("BW");
    if (b < 0) return;
    // The mean over the events with a finite width: one unreadable width
    // must not turn the whole correction off.
    double sum = 0;
    int count = 0;
    for (int e = 0; e < dat.events(); ++e)
        if (const double w = dat.data[e][b]; std::isfinite(w)) {
            sum += w;
            ++count;
        }
    const double a = count > 0 ? sum / count : 0;
    if (a == 0 || !std::isfinite(a)) return;
    forEachRow(dat, pool, [&](double* row, int p) {
        const double w = row[b];
        if (w == 0 || !std::isfinite(w)) return;
        for (int c = 0; c < p; ++c)
            if (c != b) row[c] = divide ? a * row[c] / w : row[c] * w / a;
    });
    changed(dat);
}

}  // namespace

void RelinkKids(TData& dat, const TIntVector* oldToNew)
{
    LinkSnapshot before;
    for (TData* o : dat.Offspring()) before.emplace(o, o->link);
    relinkBelow(dat, oldToNew, before);
}

bool Discriminate(TData& dat, double level, MessageSink& sink, TMultiThread* pool)
{
    const int n = dat.events();
    std::vector<uint8_t> keep(size_t(n), 0);
    ForRows(pool, n, size_t(dat.CaseSize()), [&](int from, int to) {
        for (int e = from; e < to; ++e) keep[size_t(e)] = dat.maxinrow(e) >= level;
    });
    const int kept = int(std::count(keep.begin(), keep.end(), uint8_t(1)));
    if (kept == 0) {
        sink.message("There is no cases above this level. Try to get level down.");
        return false;
    }
    if (kept == n) return true;

    TIntVector map(size_t(n), -1);
    const int p = dat.data.cols();
    for (int e = 0, k = 0; e < n; ++e) {
        if (!keep[size_t(e)]) continue;
        if (k != e) std::copy_n(dat.data[e], p, dat.data[k]);
        map[size_t(e)] = k++;
    }
    compact(dat.link, keep);
    compact(dat.fcolor, keep);
    compact(dat.Eventnames, keep);
    compact(dat.ImageColor, keep);
    if (dat.Tip.size() == keep.size()) {
        compact(dat.Tip, keep);
        std::fill(dat.TubeSize.begin(), dat.TubeSize.end(), 0);
        for (int32_t t : dat.Tip)
            if (t >= 1 && t <= int(dat.TubeSize.size())) ++dat.TubeSize[size_t(t - 1)];
    }
    dat.setEvents(kept);
    changed(dat, &map);
    return true;
}

void CutNoise(TData& dat, double level, TMultiThread* pool)
{
    forEachRow(dat, pool, [level](double* row, int p) {
        if (p == 0 || !(*std::max_element(row, row + p) >= level)) return;
        for (int c = 0; c < p; ++c) row[c] = row[c] - level > 0 ? row[c] - level : 0;
    });
    changed(dat);
}

void AddNoise(TData& dat, TRandom& random)
{
    const int n = dat.events(), p = dat.CaseSize();
    const FiniteRange range = FindFiniteRange(dat.data.data(), n, p, nullptr);
    if (!range.any) return;
    const double sigma = range.hi / 50;
    // One generator, drawn in row order: the noise is the same on every run.
    double* v = dat.data.data();
    for (size_t i = 0, end = size_t(n) * size_t(p); i < end; ++i) v[i] += random.Gaussian(sigma, 0);
    changed(dat);
}

void Scale1023(TData& dat, TMultiThread* pool)
{
    const FiniteRange range = FindFiniteRange(dat.data.data(), dat.events(), dat.CaseSize(), pool);
    const double min = range.lo, max = range.hi;
    if (!(max > min)) return;
    forEachRow(dat, pool, [min, max](double* row, int p) {
        for (int c = 0; c < p; ++c)
            if (std::isfinite(row[c])) row[c] = (row[c] - min) * 1023 / (max - min);
    });
    changed(dat);
}

void SwapChannels(TData& dat, TMultiThread* pool)
{
    forEachRow(dat, pool, [](double* row, int p) { std::reverse(row, row + p); });
    changed(dat);
}

void BoxCarDiv(TData& dat, TMultiThread* pool) { boxCar(dat, pool, true); }

void BoxCarMul(TData& dat, TMultiThread* pool) { boxCar(dat, pool, false); }

}  // namespace orvala
