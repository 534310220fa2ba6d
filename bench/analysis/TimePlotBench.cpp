// The time plot of 10,000,000 events: one curve binned by the rounded time
// parameter (one bin per unit), and its Gaussian smoothing.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "analysis/TimeBins.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {
constexpr int Events = 10'000'000, Params = 4;

// Time in ticks increasing with noise over 20,000 units, as acquisitions write it.
const std::vector<double>& data()
{
    static const std::vector<double> v = [] {
        std::vector<double> d(size_t(Events) * Params);
        std::mt19937_64 rng(1);
        std::normal_distribution<double> g(0, 1);
        for (int e = 0; e < Events; ++e) {
            double* row = d.data() + size_t(e) * Params;
            row[0] = double(e) * 20000.0 / Events + g(rng) * 0.3;
            for (int p = 1; p < Params; ++p) row[p] = std::exp(g(rng)) * 100.0 * p;
        }
        return d;
    }();
    return v;
}
}  // namespace

static void BM_TimePlot10M_OneCurve(benchmark::State& state)
{
    const std::vector<double>& d = data();
    TMultiThread pool(0);
    int64_t bins = 0;
    for (auto _ : state) {
        TimeBins b = binByTime(d.data(), Events, Params, 0, {1}, "bench", &pool);
        bins = b.bins();
        benchmark::DoNotOptimize(b.means.data());
    }
    state.counters["bins"] = double(bins);
}
BENCHMARK(BM_TimePlot10M_OneCurve)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_TimePlot10M_ThreeCurves(benchmark::State& state)
{
    const std::vector<double>& d = data();
    TMultiThread pool(0);
    for (auto _ : state) {
        TimeBins b = binByTime(d.data(), Events, Params, 0, {1, 2, 3}, "bench", &pool);
        benchmark::DoNotOptimize(b.means.data());
    }
}
BENCHMARK(BM_TimePlot10M_ThreeCurves)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_TimePlotSmooth20kSigma10(benchmark::State& state)
{
    const std::vector<double>& d = data();
    TMultiThread pool(0);
    const TimeBins b = binByTime(d.data(), Events, Params, 0, {1}, "bench", &pool);
    for (auto _ : state) {
        auto s = gaussianSmooth(b.means[0], 10, &pool);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_TimePlotSmooth20kSigma10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
