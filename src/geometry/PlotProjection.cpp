#include "geometry/PlotProjection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Below this many events per worker the hand-over costs more than it saves.
constexpr size_t MinEventsPerChunk = 65536;

int chunksFor(size_t n, TMultiThread* pool)
{
    if (!pool) return 1;
    return int(std::clamp<size_t>(n / MinEventsPerChunk, 1, size_t(pool->NumberOfThreads())));
}

// Runs work(from, to, k) over `chunks` contiguous chunks of n items.
template <class Work>
void forChunks(size_t n, int chunks, TMultiThread* pool, const Work& work)
{
    auto run = [&](int k) { work(n * size_t(k) / size_t(chunks), n * size_t(k + 1) / size_t(chunks), k); };
    if (chunks <= 1) {
        run(0);
        return;
    }
    pool->Process([&run](int, int index, int size, int&, std::atomic<bool>&) {
        for (int k = index; k < index + size; ++k) run(k);
    }, {}, chunks, 1);
}

// Running extremes without a branch per value on the comparisons; the
// finiteness test is a branch that is almost always taken the same way.
struct Extremes {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double e)
    {
        if (!std::isfinite(e)) return;
        // Written as std::min(lo, e) and std::max(hi, e): on ties the earlier value stays.
        lo = e < lo ? e : lo;
        hi = hi < e ? e : hi;
    }
    ProjectionRange range() const { return lo <= hi ? ProjectionRange{true, lo, hi} : ProjectionRange{}; }
};

// Chunk ranges in event order: the same extremes the serial loop keeps.
ProjectionRange merged(const std::vector<Extremes>& parts)
{
    Extremes all;
    for (const Extremes& p : parts) {
        if (p.lo > p.hi) continue;
        all.lo = p.lo < all.lo ? p.lo : all.lo;
        all.hi = all.hi < p.hi ? p.hi : all.hi;
    }
    return all.range();
}

using Terms = std::vector<std::pair<int, double>>;

Terms termsOf(const EventBlock& d, const TVector& v)
{
    Terms terms;
    for (size_t i = 0; i < v.size() && i < d.cols; ++i)
        if (v[i] != 0) terms.emplace_back(int(i), v[i]);
    return terms;
}

// One direction's coefficients, copied out of the vector so they stay in
// registers across the calls through convert.
template <int Count>
struct Dot {
    std::pair<int, double> t[Count > 0 ? Count : 1];
    const Terms* all;
    explicit Dot(const Terms& terms) : all(&terms)
    {
        for (int k = 0; k < Count; ++k) t[k] = terms[size_t(k)];
    }
    // Count > 0: the coefficient count known at compile time (one ticked
    // parameter is the common case), so the loop over them unrolls.
    double operator()(const double* row) const
    {
        double s = 0;
        if constexpr (Count > 0) {
            for (int k = 0; k < Count; ++k) s += row[t[k].first] * t[k].second;
        } else {
            for (const auto& [i, c] : *all) s += row[i] * c;
        }
        return s;
    }
};

struct Axis {
    Terms terms;
    double (*convert)(double);
    double* out;
};

template <int CountX, int CountY, bool Both>
void projectRange(const double* rows, size_t cols, const Axis& x, const Axis* y, size_t from, size_t to,
                  Extremes& ex, Extremes& ey)
{
    const Dot<CountX> dx(x.terms);
    const Dot<CountY> dy(Both ? y->terms : x.terms);
    double (*const cx)(double) = x.convert;
    double (*const cy)(double) = Both ? y->convert : nullptr;
    double* const ox = x.out;
    double* const oy = Both ? y->out : nullptr;
    // Local extremes: through the references they would go to memory on every call.
    Extremes lx, ly;
    for (size_t e = from; e < to; ++e) {
        const double* row = rows + e * cols;
        const double px = cx(dx(row));
        ox[e] = px;
        lx.add(px);
        if constexpr (Both) {
            const double py = cy(dy(row));
            oy[e] = py;
            ly.add(py);
        }
    }
    ex = lx;
    ey = ly;
}

void projectChunk(const double* rows, size_t cols, const Axis& x, const Axis* y, size_t from, size_t to,
                  Extremes& ex, Extremes& ey)
{
    const size_t nx = x.terms.size(), ny = y ? y->terms.size() : 0;
    if (!y) {
        if (nx == 1)
            projectRange<1, 0, false>(rows, cols, x, y, from, to, ex, ey);
        else
            projectRange<0, 0, false>(rows, cols, x, y, from, to, ex, ey);
    } else if (nx == 1 && ny == 1) {
        projectRange<1, 1, true>(rows, cols, x, y, from, to, ex, ey);
    } else {
        projectRange<0, 0, true>(rows, cols, x, y, from, to, ex, ey);
    }
}

ProjectionRanges project(const EventBlock& d, const Axis& x, const Axis* y, TMultiThread* pool)
{
    const size_t n = d.events;
    if (n == 0) return {};
    const double* rows = d.rows;
    const size_t cols = d.cols;
    const int chunks = chunksFor(n, pool);
    std::vector<Extremes> rx(static_cast<size_t>(chunks)), ry(static_cast<size_t>(chunks));
    forChunks(n, chunks, pool, [&](size_t from, size_t to, int k) {
        projectChunk(rows, cols, x, y, from, to, rx[size_t(k)], ry[size_t(k)]);
    });
    return {merged(rx), y ? merged(ry) : ProjectionRange{}};
}

}  // namespace

ProjectionRange projectEvents(const EventBlock& d, const TVector& v, double (*convert)(double),
                              std::vector<double>& out, TMultiThread* pool)
{
    out.resize(d.events);
    const Axis x{termsOf(d, v), convert, out.data()};
    return project(d, x, nullptr, pool).x;
}

ProjectionRanges projectEventsXY(const EventBlock& d, const TVector& vx, double (*convertX)(double),
                                 std::vector<double>& outX, const TVector& vy, double (*convertY)(double),
                                 std::vector<double>& outY, TMultiThread* pool)
{
    const size_t n = d.events;
    outX.resize(n);
    outY.resize(n);
    const Axis x{termsOf(d, vx), convertX, outX.data()};
    const Axis y{termsOf(d, vy), convertY, outY.data()};
    return project(d, x, &y, pool);
}

ProjectionRange finiteRange(const std::vector<double>& v, TMultiThread* pool)
{
    if (v.empty()) return {};
    const int chunks = chunksFor(v.size(), pool);
    std::vector<Extremes> parts(static_cast<size_t>(chunks));
    forChunks(v.size(), chunks, pool, [&](size_t from, size_t to, int k) {
        Extremes& p = parts[size_t(k)];
        for (size_t i = from; i < to; ++i) p.add(v[i]);
    });
    return merged(parts);
}

ProjectionRange viewRange(const ProjectionRange& data)
{
    if (!data.found) return {};
    const double lo = data.minimum, hi = data.maximum;
    const double pad = hi > lo ? (hi - lo) * 0.02 : 0.5;
    return {true, lo - pad, hi + pad};
}

void projectThroughFilter(const EventBlock& s, const EventPass& f, const TVector& xv, double (*convertX)(double),
                          std::vector<double>& px, const TVector* yv, double (*convertY)(double),
                          std::vector<double>* py, TMultiThread* pool)
{
    const size_t events = s.events;
    const int cols = int(s.cols);
    px.resize(events);
    if (py) py->resize(events);
    // pass keeps no state, so the chunks share the filter; each chunk has its own buffer.
    forChunks(events, chunksFor(events, pool), pool, [&](size_t from, size_t to, int) {
        TVector buf(size_t(std::max(f.workLength(cols), 1)));
        for (size_t e = from; e < to; ++e) {
            const int n = f.pass(s.rows + e * s.cols, cols, buf.data());
            double x = 0;
            const int nx = std::min(n, int(xv.size()));
            for (int i = 0; i < nx; ++i) x += buf[size_t(i)] * xv[size_t(i)];
            px[e] = convertX(x);
            if (py) {
                double y = 0;
                const int ny = std::min(n, int(yv->size()));
                for (int i = 0; i < ny; ++i) y += buf[size_t(i)] * (*yv)[size_t(i)];
                (*py)[e] = convertY(y);
            }
        }
    });
}

}  // namespace orvala
