#include "plot/Histogrm.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

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

// Sorted keys of the finite values; NaN and infinities have no place on a
// linear scale and are left out. The first radix level runs over chunks on
// all threads (per-chunk counts, scatter at per-chunk offsets, so the bucket
// contents keep the sequential order), then the buckets are sorted in
// parallel.
template <class T>
std::vector<uint64_t> sortedFiniteKeys(const T* v, int64_t n64)
{
    const size_t n = size_t(std::max<int64_t>(n64, 0));
    constexpr uint64_t kDropped = UINT64_MAX;  // a NaN's key; no finite value maps there
    std::vector<uint64_t> keys(n);
    const int threads = threadsFor(n);
    std::vector<uint64_t> los(size_t(threads), UINT64_MAX), his(size_t(threads), 0);
    std::vector<size_t> dropped(size_t(threads), 0);
    parallelChunks(n, threads, [&](int t, size_t b, size_t e) {
        uint64_t lo = UINT64_MAX, hi = 0;
        size_t drop = 0;
        for (size_t i = b; i < e; ++i) {
            const double d = double(v[i]);
            uint64_t k = toKey(d);
            if (std::isfinite(d)) {
                lo = std::min(lo, k);
                hi = std::max(hi, k);
            } else {
                k = kDropped;
                ++drop;
            }
            keys[i] = k;
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
    if (kept < 2 || lo == hi) {
        // Nothing to order: drop the non-finite keys and keep the rest.
        keys.erase(std::remove(keys.begin(), keys.end(), kDropped), keys.end());
        return keys;
    }
    std::unique_ptr<uint64_t[]> tmp(new uint64_t[n]);
    if (threads == 1) {
        if (kept < n)
            keys.erase(std::remove(keys.begin(), keys.end(), kDropped), keys.end());
        radixSort(keys.data(), kept, tmp.get(), lo, hi);
        return keys;
    }
    // First level by hand, with one extra bucket for the dropped keys. Two
    // ways to bucket: by the top bits of the key (even for log-normal data)
    // or linearly by value (even for data within an octave or two, where the
    // key's exponent bits barely vary). A sample decides which spreads this
    // data better.
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
            const uint64_t k = keys[i];
            if (k > hi)
                continue;
            worstKey = std::max(worstKey, ++byKey[size_t((k - lo) >> shift)]);
            const double t = (fromKey(k) - dlo) * scale;
            worstValue = std::max(worstValue, ++byValue[t >= double(linBuckets - 1) ? linBuckets - 1 : size_t(t)]);
        }
        linear = worstValue < worstKey;
    }
    const size_t buckets = linear ? linBuckets : keyBuckets;
    auto bucketOf = [&](uint64_t k) -> size_t {
        if (k > hi)
            return buckets;
        if (!linear)
            return size_t((k - lo) >> shift);
        // Monotone in the value, hence in the key.
        const double t = (fromKey(k) - dlo) * scale;
        return t >= double(buckets - 1) ? buckets - 1 : size_t(t);
    };
    std::vector<std::vector<uint32_t>> counts(size_t(threads), std::vector<uint32_t>(buckets + 1, 0));
    parallelChunks(n, threads, [&](int t, size_t b, size_t e) {
        uint32_t* c = counts[size_t(t)].data();
        for (size_t i = b; i < e; ++i)
            ++c[bucketOf(keys[i])];
    });
    std::vector<size_t> start(buckets + 2, 0);
    for (size_t b = 0; b <= buckets; ++b) {
        size_t sum = 0;
        for (int t = 0; t < threads; ++t)
            sum += counts[size_t(t)][b];
        start[b + 1] = start[b] + sum;
    }
    // Turn the counts into each chunk's write position within each bucket.
    for (size_t b = 0; b <= buckets; ++b) {
        size_t pos = start[b];
        for (int t = 0; t < threads; ++t) {
            const uint32_t c = counts[size_t(t)][b];
            counts[size_t(t)][b] = uint32_t(pos - start[b]);
            pos += c;
        }
    }
    parallelChunks(n, threads, [&](int t, size_t b, size_t e) {
        uint32_t* fill = counts[size_t(t)].data();
        for (size_t i = b; i < e; ++i) {
            const uint64_t k = keys[i];
            const size_t bucket = bucketOf(k);
            tmp[start[bucket] + fill[bucket]++] = k;
        }
    });
    // Each bucket is sorted in tmp with its slice of keys as scratch, then
    // copied home while still in cache.
    std::atomic<size_t> next{0};
    parallelChunks(size_t(threads), threads, [&](int, size_t, size_t) {
        for (size_t b; (b = next.fetch_add(1)) < buckets;) {
            const size_t off = start[b], size = start[b + 1] - off;
            if (size == 0)
                continue;
            uint64_t* slice = tmp.get() + off;
            if (size > 1 && linear) {
                const auto [mn, mx] = std::minmax_element(slice, slice + size);
                radixSort(slice, size, keys.data() + off, *mn, *mx);
            } else if (size > 1 && shift > 0) {
                const uint64_t blo = lo + (uint64_t(b) << shift);
                const uint64_t bhi = std::min(hi, blo + ((uint64_t(1) << shift) - 1));
                radixSort(slice, size, keys.data() + off, blo, bhi);
            }
            std::copy(tmp.get() + off, tmp.get() + off + size, keys.data() + off);
        }
    });
    keys.resize(kept);
    return keys;
}

// Smallest gap between neighbours of the sorted keys that is above noise,
// starting from `q`; the minimum of chunk minima is the sequential minimum.
double smallestGap(const std::vector<uint64_t>& s, double noise, double q)
{
    const size_t count = s.size();
    const int threads = threadsFor(count);
    std::vector<double> qs(size_t(threads), q);
    parallelChunks(count > 0 ? count - 1 : 0, threads, [&](int t, size_t b, size_t e) {
        double best = q;
        double prev = b < e ? fromKey(s[b]) : 0;
        for (size_t k = b; k < e; ++k) {
            const double cur = fromKey(s[k + 1]);
            const double d = cur - prev;
            if (d > noise && d < best)
                best = d;
            prev = cur;
        }
        qs[size_t(t)] = best;
    });
    return *std::min_element(qs.begin(), qs.end());
}

}  // namespace

template <class T>
void Thistogram::createXScale(const T* v, int64_t n, int maxpoints)
{
    assert(maxpoints >= 2);
    fpoints = maxpoints;
    const std::vector<uint64_t> s = sortedFiniteKeys(v, n);
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
        return;
    }
    // Smallest gap between distinct values, ignoring gaps of up to 1e-10 of
    // the range (rounding noise of converted channel values).
    const double noise = range * 1e-10;
    const double q = smallestGap(s, noise, range);
    const double m = std::ceil(range / (q * double(fpoints - 1)));
    step = m * q;
    const size_t bins = size_t(std::trunc(range / step)) + 1;
    Xvalue.resize(bins);
    for (size_t j = 0; j < bins; ++j)
        Xvalue[j] = xmin + double(j) * step;
    Yvalue.assign(bins, 0.0);
}

template <class T>
void Thistogram::createHisto(const T* v, int64_t n)
{
    std::fill(Yvalue.begin(), Yvalue.end(), 0.0);
    mean = 0;
    const int64_t bins = int64_t(Yvalue.size());
    if (bins == 0)
        return;
    const double last = double(bins - 1);
    const int threads = threadsFor(size_t(std::max<int64_t>(n, 0)));
    // Per-chunk integer counts, summed afterwards: exact, so identical to one
    // pass.
    std::vector<std::vector<int64_t>> partial(size_t(threads), std::vector<int64_t>(size_t(bins), 0));
    parallelChunks(size_t(std::max<int64_t>(n, 0)), threads, [&](int t, size_t b, size_t e) {
        int64_t* y = partial[size_t(t)].data();
        for (size_t i = b; i < e; ++i) {
            const double d = double(v[i]);
            if (!std::isfinite(d))
                continue;
            int64_t k = 0;
            if (step != 0) {
                const double r = (d - xmin) / step;
                k = r >= last ? bins - 1 : (r > 0 ? int64_t(r) : 0);
            }
            ++y[k];
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
    if (counted > 0) {
        double sum = 0;
        for (int64_t j = 0; j < bins; ++j)
            sum += Xvalue[size_t(j)] * Yvalue[size_t(j)];
        mean = sum / double(counted);
    }
}

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
    CreateXScale(V, maxpoints, size);
    CreateHisto(V, size);
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
    CreateXScale(all, maxpoints);
    CreateHisto(all);
}

Thistogram::Thistogram(const uint8_t* s, int size, int maxpoints)
{
    const int64_t n = s ? std::max(size, 0) : 0;
    createXScale(s, n, maxpoints);
    createHisto(s, n);
}

Thistogram::Thistogram(const float* s, int size, int maxpoints)
{
    const int64_t n = s ? std::max(size, 0) : 0;
    createXScale(s, n, maxpoints);
    createHisto(s, n);
}

void Thistogram::CreateXScale(const TVector& V, int maxpoints, int size)
{
    createXScale(V.data(), clampSize(V.size(), size), maxpoints);
}

void Thistogram::CreateHisto(const TVector& V, int size)
{
    createHisto(V.data(), clampSize(V.size(), size));
}

void Thistogram::Destroy()
{
    TVector().swap(Xvalue);
    TVector().swap(Yvalue);
}

}  // namespace orvala
