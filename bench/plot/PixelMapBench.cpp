// The pixel map of 10,000,000 events on an 800 x 600 plotting area: counting
// on the worker pool, merging, and turning the map into coloured points.
#include <benchmark/benchmark.h>

#include <random>

#include "plot/PixelMap.h"

using namespace orvala;

namespace {
struct Events {
    std::vector<double> x, y;
    std::vector<uint32_t> colors;
    Events()
    {
        const int n = 10'000'000;
        std::mt19937_64 rng(1);
        std::normal_distribution<double> g(0, 1);
        x.resize(n);
        y.resize(n);
        colors.assign(n, 0);
        for (int i = 0; i < n; ++i) {
            x[size_t(i)] = g(rng) + (i % 3);
            y[size_t(i)] = g(rng) * 0.5 + (i % 5);
        }
    }
};
const Events& events()
{
    static const Events e;
    return e;
}
}  // namespace

static void BM_PixelMap10M_800x600(benchmark::State& state)
{
    const Events& e = events();
    TMultiThread pool(0);
    TMapper mapper(&pool);
    mapper.xx = e.x.data();
    mapper.yy = e.y.data();
    mapper.DataSize = int(e.x.size());
    if (state.range(0)) mapper.DataColor = {e.colors.data(), nullptr};
    size_t points = 0;
    for (auto _ : state) {
        auto p = RenderPixelMap(mapper, 800, 600, -4, 6, -2, 6);
        points = p.size();
        benchmark::DoNotOptimize(p.data());
    }
    state.counters["points"] = double(points);
    state.counters["events/s"] = benchmark::Counter(double(e.x.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PixelMap10M_800x600)->Arg(0)->Arg(1)->ArgName("colours")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
