// The Average window's recomputation after a thumb move: mean and deviation
// of every parameter of 1,000,000 events x 64 parameters over a new range,
// with the window's kept block sums (the thumb move) and without them (a
// full pass: also what building the kept sums costs), on the worker pool
// (one worker per logical processor) and on the calling thread alone for
// comparison; also the mean alone, as the data calculator takes it.
#include <benchmark/benchmark.h>

#include <ctime>
#include <random>

#include "analysis/Averages.h"
#include "core/TData.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr int Events = 1'000'000;
constexpr int Params = 64;

// Channel values as instruments give them: mostly low, a long tail, a few zeros.
TData& source()
{
    static DataRef d = [] {
        DataRef data(TData::Create("bench", Params, Events));
        TRandom r;
        double* v = data->data.data();
        for (size_t i = 0, n = size_t(Events) * Params; i < n; ++i) {
            const double x = r.Uniform();
            v[i] = x < 0.01 ? 0.0 : 262143.0 * x * x * x;
        }
        return data;
    }();
    return *d;
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

TMultiThread& pool()
{
    static TMultiThread p(0);
    return p;
}

template <class Compute>
void run(benchmark::State& state, const Compute& compute)
{
    TData& src = source();
    TMultiThread* p = state.range(0) ? &pool() : nullptr;
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        TVector mean = compute(src, p);
        benchmark::DoNotOptimize(mean.data());
    }
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
    state.counters["workers"] = p ? p->NumberOfThreads() : 1;
}

}  // namespace

static void BM_AverageWithDeviation1Mx64(benchmark::State& state)
{
    run(state, [](TData& s, TMultiThread* p) {
        TVector dev;
        TVector mean = Average(s, dev, 0, Events - 1, p);
        benchmark::DoNotOptimize(dev.data());
        return mean;
    });
}
BENCHMARK(BM_AverageWithDeviation1Mx64)->Arg(1)->Arg(0)->ArgName("pool")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// A thumb move: both ends land anywhere, so both partial end blocks are summed.
static void BM_ThumbMoveWithKeptSums1Mx64(benchmark::State& state)
{
    TData& src = source();
    TMultiThread* p = state.range(0) ? &pool() : nullptr;
    const AverageSums sums(src, p);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> at(0, Events - 1);
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        const int a = at(random), b = at(random);
        TVector dev;
        TVector mean = Average(src, dev, std::min(a, b), std::max(a, b), p, &sums);
        benchmark::DoNotOptimize(mean.data());
        benchmark::DoNotOptimize(dev.data());
    }
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
    state.counters["workers"] = p ? p->NumberOfThreads() : 1;
}
BENCHMARK(BM_ThumbMoveWithKeptSums1Mx64)->Arg(1)->Arg(0)->ArgName("pool")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

static void BM_BuildKeptSums1Mx64(benchmark::State& state)
{
    TData& src = source();
    TMultiThread* p = state.range(0) ? &pool() : nullptr;
    for (auto _ : state) {
        AverageSums sums(src, p);
        benchmark::DoNotOptimize(&sums);
    }
}
BENCHMARK(BM_BuildKeptSums1Mx64)->Arg(1)->Arg(0)->ArgName("pool")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

static void BM_AverageMeanOnly1Mx64(benchmark::State& state)
{
    run(state, [](TData& s, TMultiThread* p) { return Average(s, 0, 0, p); });
}
BENCHMARK(BM_AverageMeanOnly1Mx64)->Arg(1)->Arg(0)->ArgName("pool")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

BENCHMARK_MAIN();
