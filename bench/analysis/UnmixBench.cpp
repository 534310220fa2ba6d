// Spectral unmixing of 1,000,000 events x 64 detectors x 20 reference spectra:
// least squares on the worker pool and on one thread, and the non-negative
// fit per event (events whose plain fit has negative amounts included).
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "analysis/Unmixing.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr int Events = 1'000'000;
constexpr int Channels = 64;
constexpr int Spectra = 20;

// Bell-shaped emission spectra peaking across the detectors, each with a
// second smaller peak, so neighbours overlap as real dyes do.
const TMatrix& spectra()
{
    static TMatrix s = [] {
        TMatrix m(Spectra, TVector(Channels));
        for (int j = 0; j < Spectra; ++j) {
            const double peak = 1.5 + 3.1 * j, second = std::fmod(peak + 23.0, 64.0);
            for (int p = 0; p < Channels; ++p)
                m[size_t(j)][size_t(p)] =
                    std::exp(-0.5 * std::pow((p - peak) / 2.5, 2)) + 0.2 * std::exp(-0.5 * std::pow((p - second) / 4.0, 2));
        }
        return m;
    }();
    return s;
}

// Most events carry a few dyes; every amount is noisy, so the plain fit gives
// small negative amounts that the non-negative fit must remove.
const std::vector<double>& events()
{
    static std::vector<double> v = [] {
        std::vector<double> d(size_t(Events) * Channels);
        TRandom r;
        const TMatrix& s = spectra();
        std::vector<double> amounts(Spectra);
        for (int e = 0; e < Events; ++e) {
            for (int j = 0; j < Spectra; ++j) amounts[size_t(j)] = (j % 4 == e % 4) ? 1000 + 300 * r.Normal() : 0.0;
            for (int p = 0; p < Channels; ++p) {
                double y = 20 * r.Normal();
                for (int j = 0; j < Spectra; ++j) y += amounts[size_t(j)] * s[size_t(j)][size_t(p)];
                d[size_t(e) * Channels + size_t(p)] = y;
            }
        }
        return d;
    }();
    return v;
}

const std::vector<int>& columns()
{
    static std::vector<int> c = [] {
        std::vector<int> v(Channels);
        for (int p = 0; p < Channels; ++p) v[size_t(p)] = p;
        return v;
    }();
    return c;
}

TMultiThread& pool()
{
    static TMultiThread p(0);
    return p;
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void run(benchmark::State& state, int rows, bool nonNegative, TMultiThread* p)
{
    const std::vector<double>& src = events();
    std::vector<double> out(size_t(rows) * Spectra);
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        UnmixRows(src.data(), rows, Channels, columns().data(), spectra(), nonNegative, out.data(), Spectra, p);
        benchmark::DoNotOptimize(out.data());
    }
    const double iterations = double(state.iterations());
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / iterations;
    state.counters["us_per_event"] =
        benchmark::Counter(double(rows) * iterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["workers"] = p ? p->NumberOfThreads() : 1;
}

}  // namespace

static void BM_LeastSquares1Mx64x20(benchmark::State& state)
{
    run(state, Events, false, &pool());
}
BENCHMARK(BM_LeastSquares1Mx64x20)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_LeastSquares1Mx64x20SingleThread(benchmark::State& state)
{
    run(state, Events, false, nullptr);
}
BENCHMARK(BM_LeastSquares1Mx64x20SingleThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first 200,000 events keep a run short; the counter is per event.
static void BM_NonNegative200kx64x20(benchmark::State& state)
{
    run(state, 200'000, true, &pool());
}
BENCHMARK(BM_NonNegative200kx64x20)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_NonNegative200kx64x20SingleThread(benchmark::State& state)
{
    run(state, 200'000, true, nullptr);
}
BENCHMARK(BM_NonNegative200kx64x20SingleThread)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
