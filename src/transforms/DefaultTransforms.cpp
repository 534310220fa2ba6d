#include "transforms/DefaultTransforms.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "parallel/CompleteChunks.h"
#include "transforms/TransformError.h"

namespace orvala {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kQuantile = 0.05;
// The largest double below 0: "v <= kBelowZero" is "v < 0" for -0 as well.
constexpr double kBelowZero = -std::numeric_limits<double>::denorm_min();

// Rows per block of the pass: the candidates of a block collect in a small
// scratch that stays in the core's cache.
constexpr size_t kBlockRows = 512;

// How the pass reads the columns asked for: runs of 8 neighbouring columns in
// vector lanes where the processor has AVX-512, the others one at a time.
struct ColumnPlan {
    std::vector<size_t> groups;   // first column of each run of 8
    std::vector<size_t> singles;  // columns read one at a time
};

#if defined(__x86_64__) && defined(__GNUC__)
bool haveAvx512()
{
    static const bool have = __builtin_cpu_supports("avx512f");
    return have;
}
#else
bool haveAvx512() { return false; }
#endif

ColumnPlan planColumns(const std::vector<bool>& wanted)
{
    ColumnPlan plan;
    const bool lanes = haveAvx512();
    for (size_t p = 0; p < wanted.size();) {
        size_t run = 0;
        while (lanes && run < 8 && p + run < wanted.size() && wanted[p + run]) ++run;
        if (run == 8) {
            plan.groups.push_back(p);
            p += 8;
            continue;
        }
        if (wanted[p]) plan.singles.push_back(p);
        ++p;
    }
    return plan;
}

// Per column of one stretch of rows: counts, maximum and the finite values at
// or below the column's cut, which are all the pass keeps.
struct Partial {
    std::vector<int64_t> negatives;
    std::vector<double> maximum;
    std::vector<std::vector<double>> kept;
};

// One column over `rows` rows from `v` (stride apart): the counts and maximum
// added to, the values at or below `cut` written to `out`; returns how many.
size_t scanColumn(const double* v, size_t stride, size_t rows, double cut, int64_t& negatives, double& maximum,
                  double* out)
{
    int64_t n = 0;
    double m = maximum;
    size_t fill = 0;
    for (size_t r = 0; r < rows; ++r) {
        const double x = v[r * stride];
        const bool finite = x > -kInf && x < kInf;
        n += finite && x < 0;
        m = finite && x > m ? x : m;
        // Written always, counted only when kept: no branch to mispredict.
        out[fill] = x;
        fill += x > -kInf && x <= cut;
    }
    negatives += n;
    maximum = m;
    return fill;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Runs of eight neighbouring columns (Runs of them, starting at first[g]) over
// `rows` rows from `v` (stride apart), one register per run, row by row so
// that the reads stream: the same counts, maximum and kept values as
// scanColumn gives for each column. The kept values of run g go to
// out + g * room in row order, with their lane in lane + g * room; fill[g]
// says how many. Runs is a constant so that every accumulator stays in a
// register.
template <size_t Runs>
__attribute__((target("avx512f"))) void scanEights(const double* v, size_t stride, size_t rows, const size_t* first,
                                                  const double* cut, int64_t* negatives, double* maximum, double* out,
                                                  int64_t* lane, size_t room, size_t* fill)
{
    const __m512d lowest = _mm512_set1_pd(-kInf), highest = _mm512_set1_pd(kInf), zero = _mm512_setzero_pd();
    const __m512i one = _mm512_set1_epi64(1), lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
    __m512d cuts[Runs], m[Runs];
    __m512i n[Runs];
    size_t f[Runs];
    for (size_t g = 0; g < Runs; ++g) {
        cuts[g] = _mm512_loadu_pd(cut + first[g]);
        n[g] = _mm512_loadu_si512(negatives + first[g]);
        m[g] = _mm512_loadu_pd(maximum + first[g]);
        f[g] = 0;
    }
    for (size_t r = 0; r < rows; ++r) {
        const double* row = v + r * stride;
#pragma GCC unroll 4
        for (size_t g = 0; g < Runs; ++g) {
            const __m512d x = _mm512_loadu_pd(row + first[g]);
            const __mmask8 above = _mm512_cmp_pd_mask(x, lowest, _CMP_GT_OQ);
            const __mmask8 finite = above & _mm512_cmp_pd_mask(x, highest, _CMP_LT_OQ);
            n[g] = _mm512_mask_add_epi64(n[g], finite & _mm512_cmp_pd_mask(x, zero, _CMP_LT_OQ), n[g], one);
            // Only where x > m, as the scalar form: max keeps m when both are zeros.
            m[g] = _mm512_mask_mov_pd(m[g], finite & _mm512_cmp_pd_mask(x, m[g], _CMP_GT_OQ), x);
            const __mmask8 keep = above & _mm512_cmp_pd_mask(x, cuts[g], _CMP_LE_OQ);
            _mm512_storeu_pd(out + g * room + f[g], _mm512_maskz_compress_pd(keep, x));
            _mm512_storeu_si512(lane + g * room + f[g], _mm512_maskz_compress_epi64(keep, lanes));
            f[g] += size_t(__builtin_popcount(keep));
        }
    }
    for (size_t g = 0; g < Runs; ++g) {
        _mm512_storeu_si512(negatives + first[g], n[g]);
        _mm512_storeu_pd(maximum + first[g], m[g]);
        fill[g] = f[g];
    }
}

// Up to four runs at a time through the matching instance of scanEights.
void scanRuns(size_t runs, const double* v, size_t stride, size_t rows, const size_t* first, const double* cut,
              int64_t* negatives, double* maximum, double* out, int64_t* lane, size_t room, size_t* fill)
{
    switch (runs) {
    case 1:
        return scanEights<1>(v, stride, rows, first, cut, negatives, maximum, out, lane, room, fill);
    case 2:
        return scanEights<2>(v, stride, rows, first, cut, negatives, maximum, out, lane, room, fill);
    case 3:
        return scanEights<3>(v, stride, rows, first, cut, negatives, maximum, out, lane, room, fill);
    default:
        return scanEights<4>(v, stride, rows, first, cut, negatives, maximum, out, lane, room, fill);
    }
}
#endif

// The pass over rows [first, last) of the plan's columns, keeping the finite
// values v <= cut[p] of column p, about share[p] of the rows (0: unknown).
void scanRows(const double* values, size_t parameters, const ColumnPlan& plan, const std::vector<double>& cut,
              const std::vector<double>& share, size_t first, size_t last, Partial& out)
{
    out.negatives.assign(parameters, 0);
    out.maximum.assign(parameters, -kInf);
    out.kept.assign(parameters, {});
    // Room for every value of a block in each of 4 runs, and the 8 a vector
    // store writes at the end.
    constexpr size_t room = 8 * kBlockRows + 8;
    std::vector<double> scratch(4 * room), perLane(8 * kBlockRows);
    std::vector<int64_t> lane(4 * room);
    size_t fill[4];
    for (size_t p = 0; p < parameters; ++p)
        if (share[p] > 0) out.kept[p].reserve(size_t(double(last - first) * share[p] * 1.25) + 64);
    for (size_t r0 = first; r0 < last; r0 += kBlockRows) {
        const size_t rows = std::min(last, r0 + kBlockRows) - r0;
        const double* block = values + r0 * parameters;
#if defined(__x86_64__) && defined(__GNUC__)
        for (size_t g0 = 0; g0 < plan.groups.size(); g0 += 4) {
            const size_t runs = std::min<size_t>(4, plan.groups.size() - g0);
            scanRuns(runs, block, parameters, rows, plan.groups.data() + g0, cut.data(), out.negatives.data(),
                     out.maximum.data(), scratch.data(), lane.data(), room, fill);
            // Each run's values to its columns: through a scratch row per lane, so
            // the column vectors grow by whole copies instead of value by value.
            for (size_t g = 0; g < runs; ++g) {
                size_t count[8] = {0, 0, 0, 0, 0, 0, 0, 0};
                for (size_t i = 0; i < fill[g]; ++i) {
                    const size_t l = size_t(lane[g * room + i]);
                    perLane[l * kBlockRows + count[l]++] = scratch[g * room + i];
                }
                for (size_t l = 0; l < 8; ++l) {
                    std::vector<double>& kept = out.kept[plan.groups[g0 + g] + l];
                    kept.insert(kept.end(), perLane.data() + l * kBlockRows, perLane.data() + l * kBlockRows + count[l]);
                }
            }
        }
#endif
        for (size_t c : plan.singles) {
            const size_t n = scanColumn(block + c, parameters, rows, cut[c], out.negatives[c], out.maximum[c], scratch.data());
            out.kept[c].insert(out.kept[c].end(), scratch.data(), scratch.data() + n);
        }
    }
}

// The pass over all rows, split over the pool; partials in row order.
std::vector<Partial> scanAll(const double* values, size_t events, size_t parameters, const ColumnPlan& plan,
                             const std::vector<double>& cut, const std::vector<double>& share, TMultiThread* pool)
{
    const int workers = pool ? std::max(1, pool->NumberOfThreads()) : 1;
    // A few stretches per worker, so that one slow worker does not hold up the end.
    const size_t stretches = std::max<size_t>(1, std::min<size_t>(events / kBlockRows, size_t(workers) * 4));
    const size_t per = (events + stretches - 1) / stretches;
    std::vector<Partial> parts(stretches);
    forAllChunks(pool, int(stretches), 1, [&](int a, int b) {
        for (int s = a; s < b; ++s)
            scanRows(values, parameters, plan, cut, share, std::min(events, size_t(s) * per),
                     std::min(events, size_t(s + 1) * per), parts[size_t(s)]);
    });
    return parts;
}

// For each column asked for, a cut below which a little more than the 5 % most
// negative values lie, from a sample of rows spread evenly over the matrix
// (so a drift over the acquisition does not bias it): keeping only values at
// or below it keeps the pass from writing out every negative value. Checked
// afterwards: a column whose cut turns out too low is scanned again keeping
// every negative value. share is the part of the sampled rows at or below the
// cut, for reserving room.
struct Cuts {
    std::vector<double> cut, share;
};

Cuts sampledCuts(const double* values, size_t events, size_t parameters, const std::vector<size_t>& cols)
{
    constexpr size_t kSampleRows = 32768;
    Cuts c{std::vector<double>(parameters, kBelowZero), std::vector<double>(parameters, 0.0)};
    if (events < 8 * kSampleRows) return c;
    const size_t step = events / kSampleRows;
    std::vector<std::vector<double>> negative(cols.size());
    size_t taken = 0;
    for (size_t r = 0; r < events; r += step, ++taken)
        for (size_t k = 0; k < cols.size(); ++k) {
            const double v = values[r * parameters + cols[k]];
            if (v < 0 && v > -kInf) negative[k].push_back(v);
        }
    for (size_t k = 0; k < cols.size(); ++k) {
        std::vector<double>& n = negative[k];
        const size_t m = n.size();
        c.share[cols[k]] = double(m) / double(taken);
        if (m < 200) continue;
        // The quantile plus six standard errors of a sample quantile, and a
        // little for the few values at the very bottom.
        const double q = kQuantile + 6 * std::sqrt(kQuantile * (1 - kQuantile) / double(m)) + 16.0 / double(m);
        if (q >= 0.5) continue;
        const size_t j = std::min(m - 1, size_t(std::ceil(q * double(m))));
        std::nth_element(n.begin(), n.begin() + std::ptrdiff_t(j), n.end());
        c.cut[cols[k]] = n[j];
        c.share[cols[k]] = double(j + 1) / double(taken);
    }
    return c;
}

// numpy's linear interpolation, which takes the nearer end for t >= 0.5.
double lerp(double a, double b, double t)
{
    const double d = b - a;
    return t >= 0.5 ? b - d * (1 - t) : a + d * t;
}

// The percentile of the n negatives of a column from the `kept` smallest of
// them; NaN when the ranks it needs lie beyond those kept.
double percentileFromKept(std::vector<double>& kept, int64_t n)
{
    if (n <= 0) return std::numeric_limits<double>::quiet_NaN();
    const double h = kQuantile * double(n - 1);
    const size_t lo = size_t(std::floor(h));
    const size_t hi = std::min(lo + 1, size_t(n - 1));
    if (hi >= kept.size()) return std::numeric_limits<double>::quiet_NaN();
    std::nth_element(kept.begin(), kept.begin() + std::ptrdiff_t(lo), kept.end());
    const double a = kept[lo];
    const double b = hi == lo ? a : *std::min_element(kept.begin() + std::ptrdiff_t(lo) + 1, kept.end());
    return lerp(a, b, h - double(lo));
}

}  // namespace

std::vector<NegativeTail> NegativeTails(const double* values, size_t events, size_t parameters,
                                        const std::vector<bool>& columns, TMultiThread* pool)
{
    std::vector<NegativeTail> tails(parameters);
    std::vector<bool> wanted(parameters);
    std::vector<size_t> cols;
    for (size_t p = 0; p < parameters; ++p) {
        wanted[p] = columns.empty() || (p < columns.size() && columns[p]);
        if (wanted[p]) cols.push_back(p);
    }
    if (events == 0 || cols.empty()) return tails;

    const Cuts cuts = sampledCuts(values, events, parameters, cols);
    std::vector<Partial> parts = scanAll(values, events, parameters, planColumns(wanted), cuts.cut, cuts.share, pool);
    // Per column: counts, then the percentile by selection among the kept
    // values, the columns split over the pool.
    std::vector<bool> again(parameters, false);
    forAllChunks(pool, int(cols.size()), 1, [&](int a, int b) {
        for (int k = a; k < b; ++k) {
            const size_t p = cols[size_t(k)];
            NegativeTail& t = tails[p];
            size_t total = 0;
            for (const Partial& part : parts) {
                t.negatives += part.negatives[p];
                t.maximum = std::max(t.maximum, part.maximum[p]);
                total += part.kept[p].size();
            }
            std::vector<double> kept;
            kept.reserve(total);
            for (Partial& part : parts) {
                kept.insert(kept.end(), part.kept[p].begin(), part.kept[p].end());
                std::vector<double>().swap(part.kept[p]);
            }
            t.fifthPercentile = percentileFromKept(kept, t.negatives);
        }
    });
    bool retry = false;
    for (size_t p : cols)
        if (tails[p].negatives > 0 && std::isnan(tails[p].fifthPercentile)) retry = again[p] = true;
    if (!retry) return tails;

    // Data whose sample misled the cut (sorted or drifting events): the columns
    // concerned again, keeping every negative value.
    parts = scanAll(values, events, parameters, planColumns(again), std::vector<double>(parameters, kBelowZero),
                    std::vector<double>(parameters, 0.0), pool);
    for (size_t p = 0; p < parameters; ++p) {
        if (!again[p]) continue;
        std::vector<double> all;
        for (Partial& part : parts) all.insert(all.end(), part.kept[p].begin(), part.kept[p].end());
        tails[p].fifthPercentile = percentileFromKept(all, tails[p].negatives);
    }
    return tails;
}

double LogicleWidthFromTail(double T, double M, double fifthPercentile)
{
    if (!(fifthPercentile < 0)) return 0;
    const double w = (M - std::log10(T / -fifthPercentile)) / 2;
    if (!(w > 0)) return 0;
    return std::min(w, M / 2);
}

DisplayTransform DefaultDisplayTransform(const ParameterScaleHint& hint, const NegativeTail& tail)
{
    if (!hint.logarithmic) return DisplayTransform::Linear();
    const double T = hint.range > 0 && std::isfinite(hint.range) ? hint.range : tail.maximum;
    if (!(T > 0) || !std::isfinite(T)) return DisplayTransform::Linear();
    const double M = kDefaultLogicleM;
    try {
        return DisplayTransform::Logicle(T, LogicleWidthFromTail(T, M, tail.fifthPercentile), M, 0);
    } catch (const TransformError&) {
        // A T at the edge of the double range (a denormal maximum): no usable scale.
        return DisplayTransform::Linear();
    }
}

std::vector<DisplayTransform> DefaultDisplayTransforms(const double* values, size_t events, size_t parameters,
                                                       const std::vector<ParameterScaleHint>& hints,
                                                       TMultiThread* pool)
{
    std::vector<bool> scan(parameters, false);
    bool any = false;
    for (size_t p = 0; p < parameters && p < hints.size(); ++p) any |= scan[p] = hints[p].logarithmic;
    std::vector<DisplayTransform> out(parameters);
    if (!any) return out;
    const std::vector<NegativeTail> tails = NegativeTails(values, events, parameters, scan, pool);
    for (size_t p = 0; p < parameters && p < hints.size(); ++p) out[p] = DefaultDisplayTransform(hints[p], tails[p]);
    return out;
}

DisplayTransform DefaultDisplayTransform(const ParameterScaleHint& hint, const double* column, size_t events,
                                         size_t stride, TMultiThread* pool)
{
    if (!hint.logarithmic) return DisplayTransform::Linear();
    std::vector<bool> first(std::max<size_t>(stride, 1), false);
    first[0] = true;
    const std::vector<NegativeTail> tails = NegativeTails(column, events, std::max<size_t>(stride, 1), first, pool);
    return DefaultDisplayTransform(hint, tails[0]);
}

}  // namespace orvala
