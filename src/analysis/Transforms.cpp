// The constructing transforms: each builds a new data set from a source.
#include "Transforms.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <numeric>

#include "RowPasses.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "numerics/Hyperspherical.h"
#include "numerics/VectorMath.h"

namespace orvala {

namespace {

std::string resultName(const TData& source, const std::string& suffix, const TDataList* names)
{
    if (!names) names = TData::Workspace;
    if (names) return names->CreateName(&source, suffix);
    return TDataList().CreateName(&source, suffix);
}

// A derived data set of source with its columns and rows uninitialised rows,
// row j linked to source event j. The caller writes every value.
std::unique_ptr<TData> derivedResult(TData& source, const std::string& name, int rows)
{
    std::unique_ptr<TData> d(TData::Create(name, &source));
    d->data.resizeForOverwrite(rows);
    AdviseHugePages(d->data.data(), d->data.bytes());
    d->fevents = rows;
    d->link.resize(size_t(rows));
    std::iota(d->link.begin(), d->link.end(), 0);
    return d;
}

TData* release(std::unique_ptr<TData> d) { return d.release(); }

// 256 log10((v - min) * 9999 / (max - min) + 1) of every finite value, the
// others copied; eight values at a time with the scalar form's bits. The
// vector goes in and out by reference: clang refuses an 8-lane vector passed
// by value from a vector clone to a function compiled without that unit.
template <class D>
ORVALA_VMATH_INLINE void logScale(const D& v, double min, double max, D& out)
{
    const D y = (v - min) * 9999.0 / (max - min) + 1.0;
    out = vmath::select((v - v) == 0.0, 256.0 * vmath::Log10Positive(y), v);
}

__attribute__((target_clones("avx512f", "avx2", "default"))) void LogScaleValues(const double* src, double* dst,
                                                                                   size_t count, double min, double max)
{
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        vmath::V8 v, r;
        std::memcpy(&v, src + i, sizeof v);
        logScale(v, min, max, r);
        std::memcpy(dst + i, &r, sizeof r);
    }
    for (; i < count; ++i) logScale(src[i], min, max, dst[i]);
}

}  // namespace

TData* Logarithm(TData& dat, TMultiThread* pool, const TDataList* names)
{
    const int n = dat.events(), p = dat.CaseSize();
    auto d = derivedResult(dat, resultName(dat, "Log", names), n);
    const FiniteRange range = FindFiniteRange(dat.data.data(), n, p, pool);
    const double min = range.lo, max = range.hi;
    const bool flat = !(max > min);
    const double* src = dat.data.data();
    double* dst = d->data.data();
    // Every argument of the logarithm lies in [1, 10000] unless the span
    // times 9999 overflows; only then does the C library's log10 take over.
    const bool vectorised = !flat && std::isfinite((max - min) * 9999);
    ForRows(pool, n, size_t(p), [&](int from, int to) {
        const size_t begin = size_t(from) * size_t(p), end = size_t(to) * size_t(p);
        if (vectorised) {
            LogScaleValues(src + begin, dst + begin, end - begin, min, max);
            return;
        }
        for (size_t i = begin; i < end; ++i) {
            const double v = src[i];
            if (!std::isfinite(v))
                dst[i] = v;
            else if (flat)
                dst[i] = 0;  // every finite value is the minimum
            else
                dst[i] = 256 * std::log10((v - min) * 9999 / (max - min) + 1);
        }
    });
    d->logscale = true;
    return release(std::move(d));
}

TData* Logratio(TData& dat, const TIntVector& Pars, TMultiThread* pool, const TDataList* names)
{
    const int n = dat.events(), p = dat.CaseSize();
    for (int32_t c : Pars)
        if (c < 0 || c >= p)
            throw OrvalaError("Parameter " + std::to_string(c + 1) + " is not a parameter of " + dat.ShortName() +
                              " (it has " + std::to_string(p) + ")");
    auto d = derivedResult(dat, resultName(dat, "Logratio", names), n);
    const int k = int(Pars.size());
    const double* src = dat.data.data();
    double* dst = d->data.data();
    ForRows(pool, n, size_t(p), [&](int from, int to) {
        TVector v(static_cast<size_t>(k));
        for (int e = from; e < to; ++e) {
            const double* in = src + size_t(e) * size_t(p);
            double* out = dst + size_t(e) * size_t(p);
            std::copy_n(in, p, out);
            if (k == 0) continue;
            double m = in[Pars[0]], s = 0;
            for (int i = 0; i < k; ++i) {
                v[size_t(i)] = in[Pars[size_t(i)]];
                if (v[size_t(i)] < m) m = v[size_t(i)];
                s += v[size_t(i)];
            }
            double shift = 0, total = s;
            if (m < 0) {
                shift = m;
                total = s - m * k;
            }
            // A zero total means every shifted value is 0 (all equal, or all 0):
            // they stay 0 rather than going to the logarithm as they were.
            for (int i = 0; i < k; ++i)
                v[size_t(i)] = total != 0 ? (v[size_t(i)] - shift) / total : v[size_t(i)] - shift;
            double L = 0;
            for (int i = 0; i < k; ++i)
                if (v[size_t(i)] != 0) L += std::log(v[size_t(i)]);
            for (int i = 0; i < k; ++i)
                if (v[size_t(i)] != 0) v[size_t(i)] = std::log(v[size_t(i)]) - L / p;
            for (int i = 0; i < k; ++i) out[Pars[size_t(i)]] = v[size_t(i)];
        }
    });
    return release(std::move(d));
}

TData* Spherical(TData& dat, TMultiThread* pool, const TDataList* names)
{
    const int n = dat.events(), p = dat.CaseSize();
    auto d = derivedResult(dat, resultName(dat, "Spheral", names), n);
    auto desc = std::make_shared<TDescriptorVector>(dat.Desc());
    for (int c = 0; c < p; ++c) (*desc)[size_t(c)].name = c == 0 ? "R" : "Phi" + std::to_string(c);
    d->fDesc = std::move(desc);
    const double* src = dat.data.data();
    double* dst = d->data.data();
    ForRows(pool, n, size_t(p) * 8, [&](int from, int to) {
        HyperSphericalRows(src + size_t(from) * size_t(p), dst + size_t(from) * size_t(p), size_t(to - from), p);
    });
    return release(std::move(d));
}

TData* CutPart(TData& dat, int astart, int astop, const TDataList* names)
{
    const int n = dat.events();
    if (astart < 0 || astop < astart || astop >= n)
        throw OrvalaError("Cannot cut events " + std::to_string(astart) + " to " + std::to_string(astop) + " of " +
                          dat.ShortName() + ": it has events 0 to " + std::to_string(n - 1));
    const int p = dat.CaseSize();
    const int rows = astop - astart + 1;
    auto d = derivedResult(dat, resultName(dat, "bit", names), rows);
    std::copy_n(dat.data[astart], size_t(rows) * size_t(p), d->data.data());
    std::iota(d->link.begin(), d->link.end(), astart);
    return release(std::move(d));
}

TData* Transpose(TData& dat, TMultiThread* pool, const TDataList* names)
{
    const int n = dat.events(), p = dat.CaseSize();
    std::unique_ptr<TData> d(TData::Create(resultName(dat, "Trp", names), n, p));
    d->fPath = dat.Path();
    d->fExtension = dat.Extension();
    if (int(dat.Eventnames.size()) == n && n > 0) {
        for (int e = 0; e < n; ++e) d->Desc()[size_t(e)].name = dat.Eventnames[size_t(e)];
        d->Eventnames.resize(size_t(p));
        for (int c = 0; c < p; ++c) d->Eventnames[size_t(c)] = dat.Desc()[size_t(c)].name;
    } else if (p > 0) {
        d->Eventnames.assign(size_t(p), std::string());
    }
    const double* src = dat.data.data();
    double* dst = d->data.data();
    ForRows(pool, p, size_t(n), [&](int from, int to) {
        for (int c = from; c < to; ++c)
            for (int e = 0; e < n; ++e) dst[size_t(c) * size_t(n) + size_t(e)] = src[size_t(e) * size_t(p) + size_t(c)];
    });
    d->SetColors(0);
    return release(std::move(d));
}

double Trigger(const TData& dat, int n) { return dat.maxinrow(n); }

TVector Triggers(const TData& dat, TMultiThread* pool)
{
    TVector t(size_t(dat.events()));
    ForRows(pool, dat.events(), size_t(dat.CaseSize()), [&](int from, int to) {
        for (int e = from; e < to; ++e) t[size_t(e)] = dat.maxinrow(e);
    });
    return t;
}

std::vector<SignalRun> FindSignalRuns(const TVector& triggers, double threshold)
{
    std::vector<SignalRun> runs;
    const int n = int(triggers.size());
    int j = 1;
    while (j < n) {
        if (triggers[size_t(j)] >= threshold && triggers[size_t(j - 1)] < threshold) {
            SignalRun run{j, j};
            while (run.last + 1 < n && triggers[size_t(run.last + 1)] >= threshold) ++run.last;
            runs.push_back(run);
            // The event after the run is below the threshold and is the next
            // run's predecessor at the earliest.
            j = run.last + 2;
        } else {
            ++j;
        }
    }
    return runs;
}

namespace {

void appendRounded(std::string& out, double v)
{
    // Halves to even; + 0.0 turns a rounded -0 into 0.
    const double r = std::nearbyint(v) + 0.0;
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 0);
    out.append(buf, res.ptr);
}

void appendRow(std::string& out, const double* row, int p)
{
    for (int c = 0; c < p; ++c) {
        if (c) out += ',';
        appendRounded(out, row[c]);
    }
}

void writeSignalTable(const std::string& path, const TData& dat, const TData& signals,
                      const std::vector<SignalRun>& runs, double threshold)
{
    const int n = dat.events(), p = dat.CaseSize();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) throw OrvalaError("Cannot create file " + path);
    std::string out;
    out += "Raw events = " + std::to_string(n) + "\r\n";
    out += "Events = " + std::to_string(runs.size()) + "\r\n";
    out += "Threshold = ";
    appendRounded(out, threshold);
    out += "\r\n";
    size_t r = 0;
    for (int e = 1; e < n; ++e) {
        out += '(' + std::to_string(e) + ')';
        appendRow(out, dat.data[e], p);
        while (r < runs.size() && runs[r].last < e) ++r;
        if (r < runs.size() && runs[r].first <= e) {
            if (e < runs[r].last) {
                out += " +";
            } else {
                out += " = ";
                appendRow(out, signals.data[int(r)], p);
            }
        }
        out += "\r\n";
        if (out.size() > (size_t(1) << 20)) {
            f.write(out.data(), std::streamsize(out.size()));
            out.clear();
        }
    }
    f.write(out.data(), std::streamsize(out.size()));
    f.close();
    if (!f) throw OrvalaError("Cannot write file " + path);
}

}  // namespace

TData* Findsignal(TData& dat, double threshold, const std::string& tablePath, TMultiThread* pool,
                  const TDataList* names)
{
    const int p = dat.CaseSize();
    const std::vector<SignalRun> runs = FindSignalRuns(Triggers(dat, pool), threshold);
    std::unique_ptr<TData> d(TData::Create(resultName(dat, "Trp", names), p, int(runs.size())));
    d->fPath = dat.Path();
    d->fExtension = dat.Extension();
    ForRows(pool, int(runs.size()), size_t(p) * 4, [&](int from, int to) {
        for (int r = from; r < to; ++r) {
            double* sum = d->data[r];
            for (int e = runs[size_t(r)].first; e <= runs[size_t(r)].last; ++e) {
                const double* row = dat.data[e];
                for (int c = 0; c < p; ++c) sum[c] += row[c];
            }
        }
    });
    d->SetColors(0);
    if (!tablePath.empty() && dat.events() > 0) writeSignalTable(tablePath, dat, *d, runs, threshold);
    return release(std::move(d));
}

}  // namespace orvala
