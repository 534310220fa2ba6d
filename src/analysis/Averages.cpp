#include "Averages.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "core/Messages.h"
#include "core/SaveTarget.h"
#include "core/TData.h"
#include "parallel/CompleteChunks.h"
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

struct Moments {
    TVector mean;
    TVector dev;
};

// Column sums of rows over all w columns, in event order: count, sum and
// (with Dev) sum of squares of the finite values, each taken about the shift
// of its column. One pass over memory serves mean and deviation. The sums
// must start at zero.
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

// The value each column's sums are taken about: its first finite value among
// the data set's first rows. Sums about a typical value keep the single-pass
// variance precise when the spread is small against the values, as it is for
// bright channels. Fixed per data set, so block sums can be kept.
TVector columnShifts(const TData& d)
{
    constexpr int ShiftRows = 16;
    const int p = std::max(d.CaseSize(), 0);
    const int rows = std::min(std::max(d.events(), 0), ShiftRows);
    TVector shift(size_t(p), 0.0);
    for (int c = 0; c < p; ++c)
        for (int e = 0; e < rows; ++e) {
            const double v = d.data.data()[size_t(e) * size_t(p) + size_t(c)];
            if (finite(v)) {
                shift[size_t(c)] = v;
                break;
            }
        }
    return shift;
}

// Sums of the events of block b that lie in [first, last], into the block's
// slots of s1/s2/cnt. The sums run in arrays of this call's own and are
// copied out at the end: neighbouring blocks' slots, summed by the other
// worker, can share a cache line, which would bounce between the cores on
// every event.
template <bool Dev>
void sumBlockPart(const TData& d, const double* shift, int b, int first, int last, double* s1, double* s2,
                  int64_t* cnt)
{
    const int p = d.CaseSize();
    const int lo = int(std::max<int64_t>(first, int64_t(b) * AverageBlockRows));
    const int hi = int(std::min<int64_t>(int64_t(last) + 1, (int64_t(b) + 1) * AverageBlockRows));
    std::vector<double> a1(size_t(p), 0.0), a2(Dev ? size_t(p) : 0, 0.0);
    std::vector<int64_t> ac(size_t(p), 0);
    if (hi > lo)
        blockSums<Dev>(d.data.data() + size_t(lo) * size_t(p), size_t(p), hi - lo, p, shift, a1.data(), a2.data(),
                       ac.data());
    std::copy(a1.begin(), a1.end(), s1);
    if constexpr (Dev) std::copy(a2.begin(), a2.end(), s2);
    std::copy(ac.begin(), ac.end(), cnt);
}

}  // namespace

struct AverageSumsAccess {
    // Means (and deviations when wanted) over events first..last inclusive, a
    // valid non-empty range: each block's sums (kept ones where sums fit and
    // the block lies whole in the range), then the blocks added in order.
    static Moments moments(const TData& d, int first, int last, bool wantDev, TMultiThread* pool,
                           const AverageSums* sums)
    {
        const int p = d.CaseSize();
        const bool kept = sums && sums->fits(d);
        const TVector ownShift = kept ? TVector() : columnShifts(d);
        const double* shift = kept ? sums->shift_.data() : ownShift.data();
        const int b0 = first / AverageBlockRows, b1 = last / AverageBlockRows;
        const int blocks = b1 - b0 + 1;
        std::vector<double> t1(size_t(blocks) * size_t(p), 0.0), t2(wantDev ? t1.size() : 0, 0.0);
        std::vector<int64_t> tc(t1.size(), 0);
        auto whole = [&](int b) {
            return int64_t(b) * AverageBlockRows >= first && (int64_t(b) + 1) * AverageBlockRows - 1 <= last;
        };
        auto work = [&](int i0, int i1) {
            for (int i = i0; i < i1; ++i) {
                const int b = b0 + i;
                const size_t at = size_t(i) * size_t(p);
                if (kept && whole(b)) {
                    const size_t from = size_t(b) * size_t(p);
                    std::copy_n(sums->s1_.data() + from, p, t1.data() + at);
                    if (wantDev) std::copy_n(sums->s2_.data() + from, p, t2.data() + at);
                    std::copy_n(sums->count_.data() + from, p, tc.data() + at);
                } else if (wantDev) {
                    sumBlockPart<true>(d, shift, b, first, last, t1.data() + at, t2.data() + at, tc.data() + at);
                } else {
                    sumBlockPart<false>(d, shift, b, first, last, t1.data() + at, nullptr, tc.data() + at);
                }
            }
        };
        const size_t values = size_t(last - first + 1) * size_t(p);
        forAllChunks(values >= MinParallelValues ? pool : nullptr, blocks, 1, work);

        Moments m;
        m.mean.assign(size_t(p), 0.0);
        m.dev.assign(size_t(p), 0.0);
        TVector s1(size_t(p), 0.0), s2(size_t(p), 0.0);
        std::vector<int64_t> cnt(size_t(p), 0);
        for (int i = 0; i < blocks; ++i) {
            const size_t at = size_t(i) * size_t(p);
            for (int c = 0; c < p; ++c) {
                s1[size_t(c)] += t1[at + size_t(c)];
                if (wantDev) s2[size_t(c)] += t2[at + size_t(c)];
                cnt[size_t(c)] += tc[at + size_t(c)];
            }
        }
        for (int j = 0; j < p; ++j) {
            const double f = d.Compensate ? CorrectionFactor(j) : 1.0;
            const double n = double(cnt[size_t(j)]);
            const double sum = s1[size_t(j)];
            m.mean[size_t(j)] = cnt[size_t(j)] > 0 ? (shift[j] + sum / n) * f : 0.0;
            // Rounding can leave a tiny negative sum of squares for a constant column.
            m.dev[size_t(j)] =
                wantDev && cnt[size_t(j)] > 1 ? std::sqrt(std::max(0.0, (s2[size_t(j)] - sum * sum / n) / (n - 1))) * f
                                              : 0.0;
        }
        return m;
    }

    static void build(AverageSums& s, const TData& d, TMultiThread* pool)
    {
        const int p = std::max(d.CaseSize(), 0), n = std::max(d.events(), 0);
        s.data_ = &d;
        s.values_ = d.data.data();
        s.rows_ = n;
        s.cols_ = p;
        s.modified_ = d.Modified();
        s.shift_ = columnShifts(d);
        const int blocks = n / AverageBlockRows;  // whole blocks only
        s.s1_.assign(size_t(blocks) * size_t(p), 0.0);
        s.s2_.assign(s.s1_.size(), 0.0);
        s.count_.assign(s.s1_.size(), 0);
        forAllChunks(pool, blocks, 1, [&](int b0, int b1) {
            for (int b = b0; b < b1; ++b) {
                const size_t at = size_t(b) * size_t(p);
                sumBlockPart<true>(d, s.shift_.data(), b, 0, n - 1, s.s1_.data() + at, s.s2_.data() + at,
                                   s.count_.data() + at);
            }
        });
    }
};

AverageSums::AverageSums(const TData& d, TMultiThread* pool) { AverageSumsAccess::build(*this, d, pool); }

bool AverageSums::fits(const TData& d) const
{
    return data_ == &d && values_ == d.data.data() && rows_ == d.events() && cols_ == d.CaseSize() &&
           modified_ == d.Modified();
}

namespace {

Moments moments(const TData& d, int first, int last, bool wantDev, TMultiThread* pool,
                const AverageSums* sums = nullptr)
{
    return AverageSumsAccess::moments(d, first, last, wantDev, pool, sums);
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

TVector Average(const TData& d, TVector& dev, int start, int stop, TMultiThread* pool, const AverageSums* sums)
{
    const int n = d.events();
    const size_t p = size_t(std::max(d.CaseSize(), 0));
    if (n <= 0) {
        dev.assign(p, 0.0);
        return TVector(p, 0.0);
    }
    start = std::clamp(start, 0, n - 1);
    stop = std::clamp(stop, start, n - 1);
    Moments m = moments(d, start, stop, true, pool, sums);
    dev = std::move(m.dev);
    return std::move(m.mean);
}

AverageCurve AverageCurveOf(const TData& d, int start, int stop, bool phq, TMultiThread* pool,
                            const AverageSums* sums)
{
    AverageCurve c;
    TVector dev;
    TVector mean = Average(d, dev, start, stop, pool, sums);
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
    // Through a temporary file, so a failed save keeps the previous one.
    const std::string target = SaveTarget(path);
    try {
        WriteAndReplace(target, text);
    } catch (const std::exception&) {
        throw OrvalaError("Cannot write the averages to " + path);
    }
}

}  // namespace orvala
