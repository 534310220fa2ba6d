// Display transforms on 10,000,000 values over a pool of 2 workers: the
// drawing path of logicle (cubic table), arcsinh and log, the exact logicle
// for comparison, and the default transforms (W fitted from the negative tail)
// of 32 logarithmic parameters of 10,000,000 events.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "parallel/HugePages.h"
#include "parallel/TMultiThread.h"
#include "transforms/DefaultTransforms.h"
#include "transforms/DisplayTransform.h"

using namespace orvala;

namespace {

constexpr size_t kValues = 10'000'000;
constexpr size_t kEvents = 10'000'000;
constexpr size_t kParams = 32;

using Values = std::vector<double, DefaultInitAllocator<double>>;

struct XorShift {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    uint64_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

// Compensated values: log-uniform over 5.4 decades, and in columns with
// `negativeShare` > 0 that share of values spread below 0 as compensation noise
// is (most within a few hundred, a tail to a few thousand). Drawn from tables:
// hundreds of millions of pow() calls would take longer than what is measured.
void fill(double* v, size_t n, size_t stride, const std::vector<double>& negativeShare)
{
    std::vector<double> levels(65536), noise(65536);
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = std::pow(10.0, 5.4 * double(i) / double(levels.size()));
        const double u = (double(i) + 0.5) / double(noise.size());
        noise[i] = -30 * std::pow(u, -0.9) + 30;  // a heavy tail towards -10^4
    }
    XorShift r;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t b = r.next();
        const double share = negativeShare[i % stride];
        v[i] = double(b >> 40) < share * double(1 << 24) ? noise[b & 0xFFFF] - 1e-3 : levels[(b >> 16) & 0xFFFF];
    }
}

// CPU time of all threads: under a loaded machine the wall time says little.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

TMultiThread& pool()
{
    static TMultiThread p(2);
    return p;
}

const Values& values()
{
    static const Values v = [] {
        Values x(kValues);
        fill(x.data(), x.size(), 1, {0.2});
        return x;
    }();
    return v;
}

void forward(benchmark::State& state, const DisplayTransform& t, bool fast)
{
    const Values& x = values();
    Values y(x.size());
    t.ForwardFast(x.data(), y.data(), y.size(), &pool());  // fault in the result once
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        if (fast)
            t.ForwardFast(x.data(), y.data(), y.size(), &pool());
        else
            t.ForwardMany(x.data(), y.data(), y.size(), &pool());
        benchmark::DoNotOptimize(y.data());
    }
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
    state.counters["workers"] = pool().NumberOfThreads();
    state.counters["fast_error"] = t.FastError();
    state.counters["ns_per_value"] = benchmark::Counter(double(x.size()) * double(state.iterations()),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

static void BM_LogicleFast10M(benchmark::State& state)
{
    forward(state, DisplayTransform::Logicle(262144, 0.5, 4.5, 0), true);
}
BENCHMARK(BM_LogicleFast10M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

static void BM_LogicleExact10M(benchmark::State& state)
{
    forward(state, DisplayTransform::Logicle(262144, 0.5, 4.5, 0), false);
}
BENCHMARK(BM_LogicleExact10M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

static void BM_ArcsinhFast10M(benchmark::State& state) { forward(state, DisplayTransform::Arcsinh(150), true); }
BENCHMARK(BM_ArcsinhFast10M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

static void BM_LogFast10M(benchmark::State& state) { forward(state, DisplayTransform::Log(262144, 4.5), true); }
BENCHMARK(BM_LogFast10M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// 32 parameters of 10,000,000 events (2.56 GB): a quarter without negative
// values (scatter-like), the rest with 5 % to 40 % below 0.
static void BM_DefaultTransforms32x10M(benchmark::State& state)
{
    static const Values matrix = [] {
        Values m(kEvents * kParams);
        std::vector<double> share(kParams);
        for (size_t p = 0; p < kParams; ++p) share[p] = p % 4 == 0 ? 0.0 : 0.05 + 0.35 * double(p % 8) / 7;
        fill(m.data(), m.size(), kParams, share);
        return m;
    }();
    const std::vector<ParameterScaleHint> hints(kParams, ParameterScaleHint{true, 262144});
    double w = 0;
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        const std::vector<DisplayTransform> t = DefaultDisplayTransforms(matrix.data(), kEvents, kParams, hints, &pool());
        w = t[1].W();
        benchmark::DoNotOptimize(t.data());
    }
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
    state.counters["workers"] = pool().NumberOfThreads();
    state.counters["W_of_P2"] = w;
}
BENCHMARK(BM_DefaultTransforms32x10M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

BENCHMARK_MAIN();
