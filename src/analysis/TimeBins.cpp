#include "TimeBins.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "analysis/RowPasses.h"
#include "core/Messages.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

std::string withThousands(int64_t n)
{
    std::string digits = std::to_string(n);
    std::string out;
    const int len = int(digits.size());
    for (int i = 0; i < len; ++i) {
        if (i > 0 && (len - i) % 3 == 0) out += ',';
        out += digits[size_t(i)];
    }
    return out;
}

// Runs work(k) for k = 0..count-1, one item per chunk on the pool when there
// is more than one item and a pool with more than one worker.
template <class Work>
void forEachItem(TMultiThread* pool, int count, const Work& work)
{
    if (count <= 0) return;
    if (!pool || pool->NumberOfThreads() < 2 || count == 1) {
        for (int k = 0; k < count; ++k) work(k);
        return;
    }
    pool->Process(
        [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
            for (int k = index; k < index + size && !aborted; ++k) work(k);
        },
        {}, count, 1);
}

}  // namespace

TimeBins binByTime(const double* data, int rows, int cols, int xcol, const std::vector<int>& ycols,
                   const std::string& name, TMultiThread* pool)
{
    if (xcol < 0 || xcol >= cols) throw OrvalaError("\"" + name + "\" has no parameter " + std::to_string(xcol + 1) + ".");
    for (int y : ycols)
        if (y < 0 || y >= cols) throw OrvalaError("\"" + name + "\" has no parameter " + std::to_string(y + 1) + ".");
    if (rows <= 0 || !data)
        throw OrvalaError("\"" + name + "\" has no events to plot against time.");

    // Finite extremes of X, split over the pool (min and max do not depend on the split).
    double xmin = INFINITY, xmax = -INFINITY;
    std::mutex lock;
    ForRows(pool, rows, 1, [&](int from, int to) {
        double lo = INFINITY, hi = -INFINITY;
        for (int e = from; e < to; ++e) {
            const double x = data[size_t(e) * size_t(cols) + size_t(xcol)];
            if (!std::isfinite(x)) continue;
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        std::lock_guard<std::mutex> g(lock);
        xmin = std::min(xmin, lo);
        xmax = std::max(xmax, hi);
    });
    if (!(xmin <= xmax))
        throw OrvalaError("\"" + name + "\" has no events with a finite value of the X parameter.");

    // The bin count is judged in doubles first: rounding 1e300 to an integer
    // type would be undefined.
    const double lod = std::nearbyint(xmin), hid = std::nearbyint(xmax);
    const double span = hid - lod + 1;
    if (!(span <= double(TimePlotMaxBins)))
        throw OrvalaError("The time plot of \"" + name + "\" would need " +
                          (span < 1e15 ? withThousands(int64_t(span)) : std::string("more than a million billion")) +
                          " bins, one per unit of the X parameter; at most " + withThousands(TimePlotMaxBins) +
                          " are possible. Choose an X parameter with a smaller range.");
    TimeBins result;
    result.lo = int64_t(lod);
    const int64_t bins = int64_t(hid) - result.lo + 1;
    result.means.assign(ycols.size(), {});

    // One curve per item: each is summed in event order, as the plain loop does.
    forEachItem(pool, int(ycols.size()), [&](int k) {
        const size_t ycol = size_t(ycols[size_t(k)]);
        std::vector<double> sum(size_t(bins), 0.0);
        std::vector<uint32_t> count(size_t(bins), 0);
        const double* row = data;
        const int64_t lo = result.lo;
        for (int e = 0; e < rows; ++e, row += cols) {
            const double x = row[xcol];
            const double y = row[ycol];
            if (!std::isfinite(x) || !std::isfinite(y)) continue;
            const size_t b = size_t(int64_t(std::nearbyint(x)) - lo);
            sum[b] += y;
            ++count[b];
        }
        for (size_t b = 0; b < sum.size(); ++b)
            if (count[b] != 0) sum[b] /= double(count[b]);
        result.means[size_t(k)] = std::move(sum);
    });
    return result;
}

std::string timeSeriesTitle(int pages, const std::string& shortName, const std::string& parameter)
{
    if (pages <= 1) return parameter;
    return shortName + ":" + parameter;
}

int timePlotSigmaMaximum(int64_t maxpoints)
{
    const int64_t points = std::clamp<int64_t>(maxpoints, 0, TimePlotMaxPoints);
    return std::max(int(points / 3 - 1), 1);
}

std::vector<double> gaussianKernel(double sigma)
{
    if (!(sigma > 0) || !std::isfinite(sigma)) throw OrvalaError("The smoothing width must be positive.");
    const int h = int(std::nearbyint(3 * sigma));
    std::vector<double> w(size_t(2 * h + 1));
    double total = 0;
    for (int k = -h; k <= h; ++k) {
        w[size_t(k + h)] = std::exp(-double(k) * double(k) / (2 * sigma * sigma));
        total += w[size_t(k + h)];
    }
    for (double& v : w) v /= total;
    return w;
}

bool canSmooth(int64_t n, int sigma) { return sigma >= 1 && n >= 3 * int64_t(sigma) + 1; }

std::string smoothingRefusal(int64_t n) { return "The Sigma should be less then " + std::to_string(n / 3); }

std::vector<double> gaussianSmooth(const std::vector<double>& y, int sigma, TMultiThread* pool)
{
    const int64_t n = int64_t(y.size());
    if (!canSmooth(n, sigma)) throw OrvalaError(smoothingRefusal(n));
    const std::vector<double> w = gaussianKernel(sigma);
    const int64_t h = int64_t(w.size() / 2);
    // Mirrored without the end points: y[-i] = y[i], y[n-1+i] = y[n-1-i];
    // h <= n - 1 holds because n >= 3 sigma + 1.
    std::vector<double> ext(size_t(n + 2 * h));
    for (int64_t i = 1; i <= h; ++i) {
        ext[size_t(h - i)] = y[size_t(i)];
        ext[size_t(h + n - 1 + i)] = y[size_t(n - 1 - i)];
    }
    std::copy(y.begin(), y.end(), ext.begin() + h);
    std::vector<double> out(static_cast<size_t>(n));
    const size_t taps = w.size();
    ForRows(pool, int(n), taps, [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const double* src = ext.data() + i;  // ext[i + h + k] for k = -h..h
            double s = 0;
            for (size_t k = 0; k < taps; ++k) s += w[k] * src[k];
            out[size_t(i)] = s;
        }
    });
    return out;
}

std::string smoothCurves(std::vector<std::vector<double>*> curves, int sigma, TMultiThread* pool)
{
    for (std::vector<double>* c : curves) {
        if (!canSmooth(int64_t(c->size()), sigma)) return smoothingRefusal(int64_t(c->size()));
        *c = gaussianSmooth(*c, sigma, pool);
    }
    return {};
}

}  // namespace orvala
