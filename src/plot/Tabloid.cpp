#include "Tabloid.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

#include "parallel/CompleteChunks.h"
#include "parallel/HugePages.h"
#include "parallel/TMultiThread.h"
#include "plot/Histogrm.h"

namespace orvala {

namespace {

constexpr int S = TabloidSide;
constexpr int Last = TabloidSide - 1;

// Calls work(k) for k in 0..count-1, `chunk` items per chunk on the pool;
// every item is done even when the run is stopped from elsewhere.
template <class Work>
void forItems(TMultiThread* pool, int count, int chunk, const Work& work)
{
    forAllChunks(pool, count, chunk, [&](int begin, int end) {
        for (int k = begin; k < end; ++k) work(k);
    });
}

// Contiguous event ranges for splitting one pass over the events.
constexpr int EventBlock = 1 << 16;

}  // namespace

int tabloidDensityEntry(uint32_t c, uint32_t lo, uint32_t hi)
{
    if (hi <= lo) return 8;
    const double f = (double(c) - double(hi)) / (double(hi) - double(lo));
    const int e = int(std::nearbyint((1 - f * f) * 8));
    return std::clamp(e, 0, 8);
}

TabloidRanges tabloidRanges(const double* data, int rows, int cols, TMultiThread* pool)
{
    TabloidRanges r;
    r.mins.assign(size_t(std::max(cols, 0)), 0.0);
    r.dels.assign(size_t(std::max(cols, 0)), 0.0);
    if (rows <= 0 || cols <= 0 || !data) return r;
    std::vector<double> lo(size_t(cols), INFINITY), hi(size_t(cols), -INFINITY);
    std::mutex lock;
    const int blocks = (rows + EventBlock - 1) / EventBlock;
    forItems(pool, blocks, 1, [&](int b) {
        const int from = b * EventBlock, to = std::min(rows, from + EventBlock);
        std::vector<double> l(size_t(cols), INFINITY), h(size_t(cols), -INFINITY);
        for (int e = from; e < to; ++e) {
            const double* row = data + size_t(e) * size_t(cols);
            for (int p = 0; p < cols; ++p) {
                const double v = row[p];
                if (!std::isfinite(v)) continue;
                l[size_t(p)] = std::min(l[size_t(p)], v);
                h[size_t(p)] = std::max(h[size_t(p)], v);
            }
        }
        std::lock_guard<std::mutex> g(lock);
        for (int p = 0; p < cols; ++p) {
            lo[size_t(p)] = std::min(lo[size_t(p)], l[size_t(p)]);
            hi[size_t(p)] = std::max(hi[size_t(p)], h[size_t(p)]);
        }
    });
    for (int p = 0; p < cols; ++p) {
        if (lo[size_t(p)] > hi[size_t(p)]) continue;  // no finite value: range 0
        r.mins[size_t(p)] = lo[size_t(p)];
        const double del = hi[size_t(p)] - lo[size_t(p)];
        r.dels[size_t(p)] = std::isfinite(del) ? del : 0.0;
    }
    return r;
}

void TabloidIndex::build(const double* data, int rows, int cols, const TabloidRanges& ranges, TMultiThread* pool)
{
    events_ = std::max(rows, 0);
    parameters_ = std::max(cols, 0);
    // Every byte is written below, on the workers: no serial fill first.
    q_.resize(size_t(events_) * size_t(parameters_));
    if (events_ == 0 || parameters_ == 0) return;
    if (!data) {
        std::fill(q_.begin(), q_.end(), TabloidSkipped);
        return;
    }
    const int blocks = (events_ + EventBlock - 1) / EventBlock;
    forItems(pool, blocks, 1, [&](int b) {
        const int from = b * EventBlock, to = std::min(events_, from + EventBlock);
        for (int p = 0; p < parameters_; ++p) {
            const double mn = p < int(ranges.mins.size()) ? ranges.mins[size_t(p)] : 0.0;
            const double del = p < int(ranges.dels.size()) ? ranges.dels[size_t(p)] : 0.0;
            uint8_t* out = q_.data() + size_t(p) * size_t(events_);
            if (!(del > 0)) {  // constant parameter: drawn nowhere
                std::fill(out + from, out + to, TabloidSkipped);
                continue;
            }
            const double scale = Last / del;
            const double* v = data + size_t(from) * size_t(parameters_) + size_t(p);
            for (int e = from; e < to; ++e, v += parameters_) {
                const double k = std::nearbyint((*v - mn) * scale);
                // NaN fails both comparisons and is skipped with the rest.
                out[e] = k >= 0 && k <= Last ? uint8_t(k) : TabloidSkipped;
            }
        }
    });
}

void tabloidDensity(const TabloidIndex& index, int i, int j, TabloidPicture& out)
{
    out.fill(TabloidWhite);
    const int n = index.events();
    if (n == 0 || i < 0 || j < 0 || i >= index.parameters() || j >= index.parameters()) return;
    std::vector<uint32_t> count(size_t(S * S), 0);
    const uint8_t* qx = index.column(i);
    const uint8_t* qy = index.column(j);
    for (int e = 0; e < n; ++e) {
        const uint8_t a = qx[e], b = qy[e];
        if ((a | b) & 0x80) continue;  // TabloidSkipped in either
        ++count[size_t((Last - b) * S + a)];
    }
    uint32_t lo = UINT32_MAX, hi = 0;
    for (uint32_t c : count) {
        if (c == 0) continue;
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    if (hi == 0) return;
    for (size_t k = 0; k < count.size(); ++k)
        if (count[k] != 0) out[k] = TabloidPalette[size_t(tabloidDensityEntry(count[k], lo, hi))];
}

void tabloidMirror(const TabloidPicture& source, TabloidPicture& out)
{
    for (int b = 0; b < S; ++b)
        for (int a = 0; a < S; ++a) out[size_t((Last - a) * S + (Last - b))] = source[size_t(b * S + a)];
}

void tabloidDiagonal(const double* values, int n, int stride, TabloidPicture& out)
{
    out.fill(TabloidDiagonalBack);
    if (n <= 0 || !values) return;
    // The column gathered into a block on huge pages: fresh 4 KiB pages for
    // it cost more than the histogram itself on our machines.
    std::vector<double, DefaultInitAllocator<double>> v(static_cast<size_t>(n));
    size_t kept = 0;
    for (int e = 0; e < n; ++e) {
        const double x = values[size_t(e) * size_t(stride)];
        v[kept] = x;
        kept += std::isfinite(x);
    }
    if (kept == 0) return;
    const Thistogram h(v.data(), int(kept), S);
    double X = 0, Y = 0;
    for (int k = 0; k < h.Count(); ++k) {
        X = std::max(X, h.Xvalue[size_t(k)]);
        Y = std::max(Y, h.Yvalue[size_t(k)]);
    }
    if (!(X > 0) || !(Y > 0)) return;
    for (int k = 0; k < h.Count(); ++k) {
        const double col = std::nearbyint(h.Xvalue[size_t(k)] * Last / X);
        // Negative positions would land left of the picture: clipped.
        if (!(col >= 0 && col <= Last)) continue;
        const int top = Last - int(std::nearbyint(std::clamp(h.Yvalue[size_t(k)], 0.0, Y) * Last / Y));
        for (int r = Last; r >= top; --r) out[size_t(r * S + int(col))] = TabloidHistogramLine;
    }
}

void TabloidPictures::setData(const double* data, int rows, int cols, const TabloidRanges& ranges,
                              TMultiThread* pool)
{
    data_ = data;
    rows_ = std::max(rows, 0);
    cols_ = std::max(cols, 0);
    index_.build(data, rows_, cols_, ranges, pool);
    cells_.clear();
    cells_.resize(size_t(cols_) * size_t(cols_));
    counted_ = mirrored_ = 0;
}

void TabloidPictures::ensure(const std::vector<std::pair<int, int>>& cells, TMultiThread* pool)
{
    const int P = cols_;
    auto slot = [P](int i, int j) { return size_t(j) * size_t(P) + size_t(i); };
    std::set<std::pair<int, int>> wanted;
    for (auto [i, j] : cells)
        if (i >= 0 && j >= 0 && i < P && j < P && !cells_[slot(i, j)]) wanted.insert({i, j});
    // Count one of each mirror pair; the other is reflected afterwards.
    std::vector<std::pair<int, int>> count, reflect;
    for (auto [i, j] : wanted) {
        if (i != j && cells_[slot(j, i)]) {
            reflect.push_back({i, j});
        } else if (i > j && wanted.count({j, i})) {
            reflect.push_back({i, j});
        } else {
            count.push_back({i, j});
        }
    }
    std::vector<std::unique_ptr<TabloidPicture>> made(count.size());
    forItems(pool, int(count.size()), 1, [&](int k) {
        auto pic = std::make_unique<TabloidPicture>();
        const auto [i, j] = count[size_t(k)];
        if (i == j)
            tabloidDiagonal(data_ ? data_ + i : nullptr, rows_, cols_, *pic);
        else
            tabloidDensity(index_, i, j, *pic);
        made[size_t(k)] = std::move(pic);
    });
    for (size_t k = 0; k < count.size(); ++k) cells_[slot(count[k].first, count[k].second)] = std::move(made[k]);
    counted_ += int(count.size());
    for (auto [i, j] : reflect) {
        auto pic = std::make_unique<TabloidPicture>();
        tabloidMirror(*cells_[slot(j, i)], *pic);
        cells_[slot(i, j)] = std::move(pic);
    }
    mirrored_ += int(reflect.size());
}

void TabloidPictures::keepOnly(const std::vector<std::pair<int, int>>& cells)
{
    const int P = cols_;
    std::vector<char> keep(cells_.size(), 0);
    for (auto [i, j] : cells)
        if (i >= 0 && j >= 0 && i < P && j < P) keep[size_t(j) * size_t(P) + size_t(i)] = 1;
    for (size_t k = 0; k < cells_.size(); ++k)
        if (!keep[k]) cells_[k].reset();
}

const TabloidPicture* TabloidPictures::picture(int i, int j) const
{
    if (i < 0 || j < 0 || i >= cols_ || j >= cols_) return nullptr;
    return cells_[size_t(j) * size_t(cols_) + size_t(i)].get();
}

int TabloidPictures::held() const
{
    return int(std::count_if(cells_.begin(), cells_.end(), [](const auto& p) { return p != nullptr; }));
}

}  // namespace orvala
