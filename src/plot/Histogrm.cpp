#include "plot/Histogrm.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include "parallel/HugePages.h"

namespace orvala {

namespace {

int64_t clampSize(size_t available, int64_t size)
{
    if (size < 0 || size > int64_t(available))
        return int64_t(available);
    return size;
}

// Splits [0, n) into one contiguous chunk per thread and runs f(chunk, begin,
// end) on each, the last on the calling thread. Small inputs stay on one
// thread. Every use combines per-chunk results in chunk order or by min/max
// and integer sums, so the result equals the sequential loop's.
constexpr size_t kParallelFrom = size_t(1) << 20;

int threadsFor(size_t n)
{
    if (n < kParallelFrom)
        return 1;
    const unsigned hw = std::thread::hardware_concurrency();
    return int(std::clamp(hw, 1u, 8u));
}

template <class F>
void parallelChunks(size_t n, int threads, F&& f)
{
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        const size_t b = n * size_t(t) / size_t(threads), e = n * size_t(t + 1) / size_t(threads);
        if (t + 1 < threads)
            pool.emplace_back([&f, t, b, e] { f(t, b, e); });
        else
            f(t, b, e);
    }
    for (std::thread& th : pool)
        th.join();
}

// Key buffers are written whole before they are read; big ones sit on huge
// pages, which cuts the page faults of two 80 MB buffers from forty thousand
// to a few dozen.
using KeyVector = std::vector<uint64_t, DefaultInitAllocator<uint64_t>>;

// Order-preserving map of a finite double to an unsigned key: flip the sign
// bit of positives, every bit of negatives. Both zeros keep distinct keys,
// which is harmless: their gap of 0 is ignored like any duplicate.
inline uint64_t toKey(double d)
{
    const uint64_t u = std::bit_cast<uint64_t>(d);
    return u & 0x8000000000000000ull ? ~u : u | 0x8000000000000000ull;
}

inline double fromKey(uint64_t k)
{
    return std::bit_cast<double>(k & 0x8000000000000000ull ? k & ~0x8000000000000000ull : ~k);
}

void insertionSort(uint64_t* a, size_t n)
{
    for (size_t i = 1; i < n; ++i) {
        const uint64_t v = a[i];
        size_t j = i;
        for (; j > 0 && a[j - 1] > v; --j)
            a[j] = a[j - 1];
        a[j] = v;
    }
}

// MSD radix sort of keys in [lo, hi], 12 bits per level. Working on the
// bits of the double rather than on its value spreads log-normal
// fluorescence data (most events in the lowest thousandth of the range)
// as evenly as a symmetric distribution, and the scatter into at most 4096
// buckets stays within cache. Any sort gives the same histogram; this one is
// merely fast enough for ten million events.
void radixSort(uint64_t* a, size_t n, uint64_t* tmp, uint64_t lo, uint64_t hi)
{
    if (n < 48) {
        insertionSort(a, n);
        return;
    }
    if (lo == hi)
        return;
    constexpr int kBits = 12;
    if (n < size_t(1) << 20) {
        // Tighten to the keys actually present (the bucket's nominal bounds
        // are wider): integer channels stored as doubles share long runs of
        // zero mantissa bits, which would otherwise cost a pass per level.
        uint64_t mn = a[0], mx = a[0];
        for (size_t i = 1; i < n; ++i) {
            mn = std::min(mn, a[i]);
            mx = std::max(mx, a[i]);
        }
        lo = mn;
        hi = mx;
        if (lo == hi)
            return;
    }
    // About two keys per bucket on the way down, so that small buckets do
    // not pay for thousands of empty ones.
    const int bits = std::min(kBits, std::max(int(std::bit_width(n / 2)), 1));
    const int width = int(std::bit_width(hi - lo));
    const int shift = std::max(width - bits, 0);
    const size_t buckets = size_t((hi - lo) >> shift) + 1;
    uint32_t start[(size_t(1) << kBits) + 1];
    std::fill(start, start + buckets + 1, 0u);
    for (size_t i = 0; i < n; ++i)
        ++start[((a[i] - lo) >> shift) + 1];
    for (size_t b = 0; b < buckets; ++b)
        start[b + 1] += start[b];
    {
        uint32_t fill[size_t(1) << kBits];
        std::copy(start, start + buckets, fill);
        for (size_t i = 0; i < n; ++i) {
            const uint64_t k = a[i];
            tmp[fill[(k - lo) >> shift]++] = k;
        }
    }
    std::copy(tmp, tmp + n, a);
    if (shift == 0)
        return;  // every bucket holds one key
    for (size_t b = 0; b < buckets; ++b) {
        const size_t size = start[b + 1] - start[b];
        if (size > 1) {
            const uint64_t blo = lo + (uint64_t(b) << shift);
            const uint64_t bhi = std::min(hi, blo + ((uint64_t(1) << shift) - 1));
            radixSort(a + start[b], size, tmp + start[b], blo, bhi);
        }
    }
}

// Smallest gap above `noise` between neighbours of sorted keys, or `best`
// when none is smaller.
double smallestGap(const uint64_t* s, size_t count, double noise, double best)
{
    if (count < 2)
        return best;
    double prev = fromKey(s[0]);
    for (size_t k = 1; k < count; ++k) {
        const double cur = fromKey(s[k]);
        const double d = cur - prev;
        if (d > noise && d < best)
            best = d;
        prev = cur;
    }
    return best;
}

struct SortedValues {
    KeyVector keys;       // ascending, finite values only
    double noise = 0;     // gaps up to this are rounding noise
    double gapStart = 0;  // the range: the quantum when no gap counts
    double gap = 0;       // the data quantum
};

// The finite values' keys, unsorted, and their range.
template <class T>
KeyVector finiteKeys(const T* v, size_t n, size_t kept)
{
    KeyVector keys(kept);
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(v[i]);
        if (std::isfinite(d))
            keys[k++] = toKey(d);
    }
    return keys;
}

// Sorted keys of the finite values; NaN and infinities have no place on a
// linear scale and are left out. Large inputs are split over threads: the
// first radix level counts chunks of the input in parallel and scatters the
// keys straight from the input at per-chunk offsets, then the buckets are
// sorted in parallel where they lie. Only one buffer of n keys is written.
template <class T>
SortedValues sortedFiniteKeys(const T* v, int64_t n64)
{
    SortedValues sorted;
    const size_t n = size_t(std::max<int64_t>(n64, 0));
    const int threads = threadsFor(n);
    std::vector<uint64_t> los(size_t(threads), UINT64_MAX), his(size_t(threads), 0);
    std::vector<size_t> dropped(size_t(threads), 0);
    parallelChunks(n, threads, [&](int t, size_t b, size_t e) {
        uint64_t lo = UINT64_MAX, hi = 0;
        size_t drop = 0;
        for (size_t i = b; i < e; ++i) {
            const double d = double(v[i]);
            if (std::isfinite(d)) {
                const uint64_t k = toKey(d);
                lo = std::min(lo, k);
                hi = std::max(hi, k);
            } else {
                ++drop;
            }
        }
        los[size_t(t)] = lo;
        his[size_t(t)] = hi;
        dropped[size_t(t)] = drop;
    });
    size_t kept = n;
    uint64_t lo = UINT64_MAX, hi = 0;
    for (int t = 0; t < threads; ++t) {
        lo = std::min(lo, los[size_t(t)]);
        hi = std::max(hi, his[size_t(t)]);
        kept -= dropped[size_t(t)];
    }
    if (kept > 0) {
        sorted.gapStart = fromKey(hi) - fromKey(lo);
        sorted.noise = sorted.gapStart * 1e-10;
    }
    sorted.gap = sorted.gapStart;
    if (kept < 2 || lo == hi) {
        sorted.keys = finiteKeys(v, n, kept);  // nothing to order
        return sorted;
    }
    if (threads == 1) {
        KeyVector keys = finiteKeys(v, n, kept);
        KeyVector tmp(kept);
        radixSort(keys.data(), kept, tmp.data(), lo, hi);
        sorted.gap = smallestGap(keys.data(), kept, sorted.noise, sorted.gapStart);
        sorted.keys = std::move(keys);
        return sorted;
    }
    // First level by hand. Two ways to bucket: by the top bits of the key
    // (even for log-normal data) or linearly by value (even for data within
    // an octave or two, where the key's exponent bits barely vary). A sample
    // decides which spreads this data better.
    constexpr int kBits = 12;
    const int width = int(std::bit_width(hi - lo));
    const int shift = std::max(width - kBits, 0);
    const size_t keyBuckets = size_t((hi - lo) >> shift) + 1;
    const size_t linBuckets = size_t(1) << kBits;
    const double dlo = fromKey(lo), dhi = fromKey(hi);
    const double scale = double(linBuckets) / (dhi - dlo);
    bool linear = false;
    if (std::isfinite(scale) && dhi - dlo > 0) {
        std::vector<uint32_t> byKey(keyBuckets, 0), byValue(linBuckets, 0);
        uint32_t worstKey = 0, worstValue = 0;
        for (size_t i = 0; i < n; i += std::max<size_t>(n / 8192, 1)) {
            const double d = double(v[i]);
            if (!std::isfinite(d))
                continue;
            worstKey = std::max(worstKey, ++byKey[size_t((toKey(d) - lo) >> shift)]);
            const double t = (d - dlo) * scale;
            worstValue = std::max(worstValue, ++byValue[t >= double(linBuckets - 1) ? linBuckets - 1 : size_t(t)]);
        }
        linear = worstValue < worstKey;
    }
    const size_t buckets = linear ? linBuckets : keyBuckets;
    // Monotone in the value, hence in the key, either way.
    auto bucketOf = [&](double d) -> size_t {
        if (!linear)
            return size_t((toKey(d) - lo) >> shift);
        const double t = (d - dlo) * scale;
        return t >= double(buckets - 1) ? buckets - 1 : size_t(t);
    };
    std::vector<std::vector<uint32_t>> counts(size_t(threads), std::vector<uint32_t>(buckets, 0));
    parallelChunks(n, threads, [&](int t, size_t b, size_t e) {
        uint32_t* c = counts[size_t(t)].data();
        for (size_t i = b; i < e; ++i) {
            const double d = double(v[i]);
            if (std::isfinite(d))
                ++c[bucketOf(d)];
        }
    });
    std::vector<size_t> start(buckets + 1, 0);
    size_t largest = 0;
    for (size_t b = 0; b < buckets; ++b) {
        // Each chunk's write position within the bucket, in chunk order.
        size_t sum = 0;
        for (int t = 0; t < threads; ++t) {
            const uint32_t c = counts[size_t(t)][b];
            counts[size_t(t)][b] = uint32_t(sum);
            sum += c;
        }
        start[b + 1] = start[b] + sum;
        largest = std::max(largest, sum);
    }
    KeyVector out(kept);
    parallelChunks(n, threads, [&](int t, size_t b, size_t e) {
        uint32_t* fill = counts[size_t(t)].data();
        for (size_t i = b; i < e; ++i) {
            const double d = double(v[i]);
            if (std::isfinite(d)) {
                const size_t bucket = bucketOf(d);
                out[start[bucket] + fill[bucket]++] = toKey(d);
            }
        }
    });
    // Each bucket is sorted where it lies, with a scratch buffer per thread;
    // the smallest gap is taken per bucket while the bucket is in cache, and
    // across bucket borders afterwards.
    std::atomic<size_t> next{0};
    std::vector<double> gaps(size_t(threads), sorted.gapStart);
    parallelChunks(size_t(threads), threads, [&](int t, size_t, size_t) {
        KeyVector scratch(largest);
        double best = sorted.gapStart;
        for (size_t b; (b = next.fetch_add(1)) < buckets;) {
            const size_t off = start[b], size = start[b + 1] - off;
            if (size < 2)
                continue;
            uint64_t* slice = out.data() + off;
            if (linear) {
                const auto [mn, mx] = std::minmax_element(slice, slice + size);
                radixSort(slice, size, scratch.data(), *mn, *mx);
            } else if (shift > 0) {
                const uint64_t blo = lo + (uint64_t(b) << shift);
                const uint64_t bhi = std::min(hi, blo + ((uint64_t(1) << shift) - 1));
                radixSort(slice, size, scratch.data(), blo, bhi);
            }
            best = std::min(best, smallestGap(slice, size, sorted.noise, best));
        }
        gaps[size_t(t)] = best;
    });
    double q = *std::min_element(gaps.begin(), gaps.end());
    for (size_t b = 1; b < buckets; ++b) {
        const size_t at = start[b];
        if (at > 0 && at < start[b + 1])
            q = std::min(q, smallestGap(out.data() + at - 1, 2, sorted.noise, q));
    }
    sorted.keys = std::move(out);
    sorted.gap = q;
    return sorted;
}

// Thistogram's scale from n values; returns the sorted finite values as keys
// for counting.
template <class T>
KeyVector createXScale(Thistogram& h, const T* v, int64_t n, int maxpoints)
{
    double &step = h.step, &xmin = h.xmin, &xmax = h.xmax;
    int32_t& fpoints = h.fpoints;
    TVector &Xvalue = h.Xvalue, &Yvalue = h.Yvalue;
    assert(maxpoints >= 2);
    fpoints = maxpoints;
    SortedValues sorted = sortedFiniteKeys(v, n);
    const KeyVector& s = sorted.keys;
    const size_t count = s.size();
    if (count == 0) {
        xmin = xmax = 0;
    } else {
        xmin = fromKey(s.front());
        xmax = fromKey(s.back());
    }
    const double range = xmax - xmin;
    step = range;
    if (range == 0) {
        Xvalue.assign(1, xmin);
        Yvalue.assign(1, double(count));
        step = 0;
        return std::move(sorted.keys);
    }
    // q: the smallest gap between distinct values, ignoring gaps of up to
    // 1e-10 of the range (rounding noise of converted channel values).
    const double q = sorted.gap;
    const double m = std::ceil(range / (q * double(fpoints - 1)));
    step = m * q;
    const size_t bins = size_t(std::trunc(range / step)) + 1;
    Xvalue.resize(bins);
    for (size_t j = 0; j < bins; ++j)
        Xvalue[j] = xmin + double(j) * step;
    Yvalue.assign(bins, 0.0);
    return std::move(sorted.keys);
}

// Bin of a value: left-closed, right-open, clamped to the end bins.
int64_t binOf(const Thistogram& h, double d)
{
    if (h.step == 0)
        return 0;
    const double last = double(h.Yvalue.size() - 1);
    const double r = (d - h.xmin) / h.step;
    return r >= last ? int64_t(h.Yvalue.size()) - 1 : (r > 0 ? int64_t(r) : 0);
}

// Count-weighted mean of the bin left edges.
void finishMean(Thistogram& h, int64_t counted)
{
    h.mean = 0;
    if (counted > 0) {
        double sum = 0;
        for (size_t j = 0; j < h.Yvalue.size(); ++j)
            sum += h.Xvalue[j] * h.Yvalue[j];
        h.mean = sum / double(counted);
    }
}

void countSorted(Thistogram& h, const KeyVector& keys)
{
    TVector& Yvalue = h.Yvalue;
    // The bin of a value is monotone in the value, so on sorted values each
    // bin is one run, found by binary search: the same counts as the pass
    // of CreateHisto, without touching every value again.
    std::fill(Yvalue.begin(), Yvalue.end(), 0.0);
    size_t pos = 0;
    for (int64_t j = 0; j < int64_t(Yvalue.size()) && pos < keys.size(); ++j) {
        const auto end = std::partition_point(keys.begin() + std::ptrdiff_t(pos), keys.end(),
                                              [&](uint64_t k) { return binOf(h, fromKey(k)) <= j; });
        const size_t e = size_t(end - keys.begin());
        Yvalue[size_t(j)] = double(e - pos);
        pos = e;
    }
    finishMean(h, int64_t(keys.size()));
}

template <class T>
void createHisto(Thistogram& h, const T* v, int64_t n)
{
    TVector& Yvalue = h.Yvalue;
    std::fill(Yvalue.begin(), Yvalue.end(), 0.0);
    h.mean = 0;
    const int64_t bins = int64_t(Yvalue.size());
    if (bins == 0)
        return;
    const int threads = threadsFor(size_t(std::max<int64_t>(n, 0)));
    // Per-chunk integer counts, summed afterwards: exact, so identical to one
    // pass.
    std::vector<std::vector<int64_t>> partial(size_t(threads), std::vector<int64_t>(size_t(bins), 0));
    parallelChunks(size_t(std::max<int64_t>(n, 0)), threads, [&](int t, size_t b, size_t e) {
        int64_t* y = partial[size_t(t)].data();
        for (size_t i = b; i < e; ++i) {
            const double d = double(v[i]);
            if (std::isfinite(d))
                ++y[binOf(h, d)];
        }
    });
    int64_t counted = 0;
    for (int64_t j = 0; j < bins; ++j) {
        int64_t c = 0;
        for (const auto& p : partial)
            c += p[size_t(j)];
        Yvalue[size_t(j)] = double(c);
        counted += c;
    }
    finishMean(h, counted);
}

}  // namespace

Thistogram::Thistogram(const TIntVector& V, int resolution)
{
    Xvalue.resize(size_t(std::max(resolution, 0)));
    for (size_t j = 0; j < Xvalue.size(); ++j)
        Xvalue[j] = double(j);
    Yvalue.assign(Xvalue.size(), 0.0);
    for (int32_t k : V) {
        assert(k >= 0 && k < resolution);
        Yvalue[size_t(k)] += 1.0;
    }
}

Thistogram::Thistogram(const TVector& V, int maxpoints, int size)
{
    countSorted(*this, createXScale(*this, V.data(), clampSize(V.size(), size), maxpoints));
}

Thistogram::Thistogram(const TMatrix& M, int maxpoints)
{
    size_t total = 0;
    for (const TVector& row : M)
        total += row.size();
    TVector all;
    all.reserve(total);
    for (const TVector& row : M)
        all.insert(all.end(), row.begin(), row.end());
    countSorted(*this, createXScale(*this, all.data(), int64_t(all.size()), maxpoints));
}

Thistogram::Thistogram(const uint8_t* s, int size, int maxpoints)
{
    const int64_t n = s ? std::max(size, 0) : 0;
    countSorted(*this, createXScale(*this, s, n, maxpoints));
}

Thistogram::Thistogram(const float* s, int size, int maxpoints)
{
    const int64_t n = s ? std::max(size, 0) : 0;
    countSorted(*this, createXScale(*this, s, n, maxpoints));
}

Thistogram::Thistogram(const double* s, int size, int maxpoints)
{
    const int64_t n = s ? std::max(size, 0) : 0;
    countSorted(*this, createXScale(*this, s, n, maxpoints));
}

void Thistogram::CreateXScale(const TVector& V, int maxpoints, int size)
{
    createXScale(*this, V.data(), clampSize(V.size(), size), maxpoints);
}

void Thistogram::CreateHisto(const TVector& V, int size)
{
    createHisto(*this, V.data(), clampSize(V.size(), size));
}

void Thistogram::Destroy()
{
    TVector().swap(Xvalue);
    TVector().swap(Yvalue);
}

}  // namespace orvala
