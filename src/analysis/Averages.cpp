#include "Averages.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string_view>

#include "core/Messages.h"
#include "core/TData.h"
#include "parallel/TMultiThread.h"

namespace orvala {

const std::array<double, 32> DetectorCorrection = {
    1.201897, 1.121905, 1.15936,  1.210272, 1.114387, 1.085159, 1.128569, 1.079593, 1.047987, 1.0,      1.00426,
    1.088311, 1.187351, 1.282888, 1.269438, 1.395331, 1.47509,  1.539705, 1.5893,   1.768951, 1.643021, 1.786608,
    1.841446, 2.046135, 2.104705, 2.267481, 2.304812, 2.359388, 2.677841, 2.743711, 2.817631, 3.027427};

const std::array<double, 32> ChannelWavelengths = {408, 422, 435, 449, 463, 476, 490, 503, 517, 531, 544,
                                                   558, 571, 585, 599, 612, 626, 640, 653, 667, 680, 694,
                                                   708, 721, 735, 748, 762, 776, 789, 803, 816, 830};

double CorrectionFactor(int j)
{
    return j >= 0 && j < int(DetectorCorrection.size()) ? DetectorCorrection[size_t(j)] : 1.0;
}

namespace {

// Below this many values handing blocks to the workers costs more than it saves.
constexpr size_t MinParallelValues = size_t(1) << 17;

// v - v is 0 for finite v and NaN for NaN and infinities: one subtraction
// and a compare in the hot loop.
inline bool finite(double v) { return v - v == 0.0; }
// The same test on the bits (all exponent bits set: NaN or infinity), which
// the compiler vectorises where the floating-point compare stays a branch.
constexpr uint64_t ExponentBits = 0x7ff0000000000000ull;

// Calls work(c0, c1) over blocks of parameters that cover 0..p-1 once, on the
// pool's workers when the range is large enough. Block boundaries fall on
// whole cache lines where possible; the split never changes a result because
// each parameter is handled whole by one call.
template <class Work>
void forParameterBlocks(TMultiThread* pool, int p, int rows, const Work& work)
{
    if (p <= 0) return;
    int blocks = 1;
    if (pool && pool->NumberOfThreads() > 1 && size_t(rows) * size_t(p) >= MinParallelValues)
        blocks = std::min(p, pool->NumberOfThreads());
    if (blocks <= 1) {
        work(0, p);
        return;
    }
    const int lines = (p + 7) / 8;  // 8 doubles per 64-byte line
    auto bound = [&](int k) {
        if (lines >= blocks) return std::min(p, int(int64_t(lines) * k / blocks) * 8);
        return int(int64_t(p) * k / blocks);
    };
    pool->Process(
        [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
            for (int k = index; k < index + size && !aborted; ++k) {
                const int c0 = bound(k), c1 = bound(k + 1);
                if (c0 < c1) work(c0, c1);
            }
        },
        {}, blocks, 1);
}

struct Moments {
    TVector mean;
    TVector dev;
};

// Column sums of one block of parameters over rows, in event order: count,
// sum and (with Dev) sum of squares of the finite values, each taken about
// the shift k of its column. One pass over memory serves mean and deviation.
template <bool Dev>
void blockSums(const double* __restrict base, size_t stride, int rows, int w, const double* __restrict shift,
               double* __restrict s1, double* __restrict s2, int64_t* __restrict cnt)
{
    for (int e = 0; e < rows; ++e) {
        const double* __restrict r = base + size_t(e) * stride;
        for (int k = 0; k < w; ++k) {
            const double v = r[k];
            const bool ok = (std::bit_cast<uint64_t>(v) & ExponentBits) != ExponentBits;
            // Subtracted unconditionally so that the choice is a plain select
            // the compiler can vectorise (a conditional subtraction could trap).
            const double d = v - shift[k];
            const double t = std::bit_cast<double>(std::bit_cast<uint64_t>(d) & (uint64_t(0) - uint64_t(ok)));
            s1[k] += t;
            if constexpr (Dev) s2[k] += t * t;
            cnt[k] += ok;
        }
    }
}

// Means (and deviations when wanted) over events first..last inclusive, a
// valid non-empty range. Sums are taken about a value of each column (its
// first finite one among the first rows), so the single-pass variance keeps
// its precision when the spread is small against the values, as it is for
// bright channels.
Moments moments(const TData& d, int first, int last, bool wantDev, TMultiThread* pool)
{
    constexpr int ShiftRows = 16;
    const int p = d.CaseSize();
    const int rows = last - first + 1;
    Moments m;
    m.mean.assign(size_t(p), 0.0);
    m.dev.assign(size_t(p), 0.0);
    TVector shift(size_t(p), 0.0);
    std::vector<int64_t> count(size_t(p), 0);
    const double* base = d.data.data() + size_t(first) * size_t(p);

    forParameterBlocks(pool, p, rows, [&](int c0, int c1) {
        const int w = c1 - c0;
        double* k = shift.data() + c0;
        for (int c = 0; c < w; ++c)
            for (int e = 0; e < std::min(rows, ShiftRows); ++e) {
                const double v = base[size_t(e) * size_t(p) + size_t(c0 + c)];
                if (finite(v)) {
                    k[c] = v;
                    break;
                }
            }
        // Each worker sums into its own arrays: sums kept in the shared result
        // vectors would put both workers' accumulators on one cache line at the
        // block boundary, and that line would bounce between cores on every row.
        std::vector<double> a1(size_t(w), 0.0), a2(size_t(w), 0.0);
        std::vector<int64_t> ac(size_t(w), 0);
        double* s1 = a1.data();
        double* s2 = a2.data();
        int64_t* cnt = ac.data();
        if (wantDev)
            blockSums<true>(base + c0, size_t(p), rows, w, k, s1, s2, cnt);
        else
            blockSums<false>(base + c0, size_t(p), rows, w, k, s1, s2, cnt);
        for (int c = 0; c < w; ++c) {
            const int j = c0 + c;
            const double f = d.Compensate ? CorrectionFactor(j) : 1.0;
            const double n = double(cnt[c]);
            const double sum = s1[c];
            s1[c] = cnt[c] > 0 ? (k[c] + sum / n) * f : 0.0;
            // Rounding can leave a tiny negative sum of squares for a constant column.
            s2[c] = cnt[c] > 1 ? std::sqrt(std::max(0.0, (s2[c] - sum * sum / n) / (n - 1))) * f : 0.0;
        }
        std::copy_n(s1, w, m.mean.data() + c0);
        std::copy_n(s2, w, m.dev.data() + c0);
        std::copy_n(cnt, w, count.data() + c0);
    });
    return m;
}

}  // namespace

TVector Average(const TData& d, int start, int stop, TMultiThread* pool)
{
    const int n = d.events();
    if (n <= 0) return TVector(size_t(std::max(d.CaseSize(), 0)), 0.0);
    if (start == 0 && stop == 0) stop = n - 1;
    start = std::clamp(start, 0, n - 1);
    stop = std::clamp(stop, start, n - 1);
    return moments(d, start, stop, false, pool).mean;
}

TVector Average(const TData& d, TVector& dev, int start, int stop, TMultiThread* pool)
{
    const int n = d.events();
    const size_t p = size_t(std::max(d.CaseSize(), 0));
    if (n <= 0) {
        dev.assign(p, 0.0);
        return TVector(p, 0.0);
    }
    start = std::clamp(start, 0, n - 1);
    stop = std::clamp(stop, start, n - 1);
    Moments m = moments(d, start, stop, true, pool);
    dev = std::move(m.dev);
    return std::move(m.mean);
}

AverageCurve AverageCurveOf(const TData& d, int start, int stop, bool phq, TMultiThread* pool)
{
    AverageCurve c;
    TVector dev;
    TVector mean = Average(d, dev, start, stop, pool);
    const int channels = int(ChannelWavelengths.size());
    if (phq && d.CaseSize() >= channels) {
        c.x.assign(ChannelWavelengths.begin(), ChannelWavelengths.end());
        c.y.assign(mean.begin(), mean.begin() + channels);
        c.err.assign(dev.begin(), dev.begin() + channels);
        return c;
    }
    c.x.resize(mean.size());
    for (size_t j = 0; j < c.x.size(); ++j) c.x[j] = double(j);
    c.y = std::move(mean);
    c.err = std::move(dev);
    return c;
}

Thistogram Distribution(const TData& d)
{
    const size_t total = size_t(std::max(d.events(), 0)) * size_t(std::max(d.CaseSize(), 0));
    const double* v = d.data.data();
    TVector values;
    values.reserve(total);
    for (size_t i = 0; i < total; ++i)
        if (finite(v[i])) values.push_back(v[i]);
    return Thistogram(values, 1024);
}

std::string FormatSci23(double v)
{
    constexpr size_t Width = 23;
    if (!std::isfinite(v)) {
        const std::string word = std::isnan(v) ? "NAN" : v > 0 ? "INF" : "-INF";
        return std::string(Width - word.size(), ' ') + word;
    }
    // "d.ddddddddddddddde+XX" (or e+XXX): to_chars rounds the exact binary
    // value to 15 significant digits, ties to even, with no locale involved.
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
    const std::string_view s(buf, size_t(r.ptr - buf));
    const size_t e = s.find('e');
    int exponent = 0;
    for (size_t i = e + 2; i < s.size(); ++i) exponent = exponent * 10 + (s[i] - '0');
    if (s[e + 1] == '-') exponent = -exponent;
    std::string out;
    out.reserve(Width);
    out += std::signbit(v) && v != 0.0 ? '-' : ' ';
    out.append(s.substr(0, e));
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    char digits[8];
    const auto d = std::to_chars(digits, digits + sizeof digits, std::abs(exponent));
    out.append(size_t(4 - (d.ptr - digits)), '0');
    out.append(digits, d.ptr);
    return out;
}

std::string AverageText(const std::vector<TextSeries>& series)
{
    std::string text;
    for (const TextSeries& s : series) {
        text += s.title;
        text += "\r\n";
        const size_t n = std::min(s.x.size(), s.y.size());
        for (size_t i = 0; i < n; ++i) {
            text += FormatSci23(s.x[i]);
            text += FormatSci23(s.y[i]);
            text += "\r\n";
        }
    }
    return text;
}

void SaveAverageText(const std::string& path, const std::vector<TextSeries>& series)
{
    const std::string text = AverageText(series);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(text.data(), std::streamsize(text.size()));
    if (out) out.close();
    if (!out) throw OrvalaError("Cannot write the averages to " + path);
}

}  // namespace orvala
