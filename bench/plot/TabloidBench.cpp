// The scatter-plot matrix of 32 parameters x 1,000,000 events: quantising
// every value once, then all 32 x 32 pictures (each pair counted once, its
// mirror reflected) on the worker pool, as when every cell is on screen.
#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <vector>

#include "parallel/TMultiThread.h"
#include "plot/Tabloid.h"

using namespace orvala;

namespace {
constexpr int Events = 1'000'000, Params = 32;

const std::vector<double>& data()
{
    static const std::vector<double> v = [] {
        std::vector<double> d(size_t(Events) * Params);
        std::mt19937_64 rng(1);
        std::normal_distribution<double> g(0, 1);
        for (size_t k = 0; k < d.size(); ++k) d[k] = std::exp(g(rng) + double(k % Params) * 0.1) * 100.0;
        return d;
    }();
    return v;
}

// CPU time of every thread of the process, so that a figure taken on a
// loaded machine still says how much work a picture set costs.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

std::vector<std::pair<int, int>> allCells()
{
    std::vector<std::pair<int, int>> cells;
    for (int i = 0; i < Params; ++i)
        for (int j = 0; j < Params; ++j) cells.push_back({i, j});
    return cells;
}
}  // namespace

static void BM_Tabloid32x1M_AllCells(benchmark::State& state)
{
    const std::vector<double>& d = data();
    TMultiThread pool(0);
    const TabloidRanges ranges = tabloidRanges(d.data(), Events, Params, &pool);
    const auto cells = allCells();
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        TabloidPictures pics;
        pics.setData(d.data(), Events, Params, ranges, &pool);
        pics.ensure(cells, &pool);
        benchmark::DoNotOptimize(pics.picture(Params - 1, 0));
    }
    state.counters["threads"] = pool.NumberOfThreads();
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
}
BENCHMARK(BM_Tabloid32x1M_AllCells)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a window of 6 x 6 visible cells costs after a data change.
static void BM_Tabloid32x1M_VisibleCells(benchmark::State& state)
{
    const std::vector<double>& d = data();
    TMultiThread pool(0);
    const TabloidRanges ranges = tabloidRanges(d.data(), Events, Params, &pool);
    std::vector<std::pair<int, int>> cells;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) cells.push_back({i, j});
    for (auto _ : state) {
        TabloidPictures pics;
        pics.setData(d.data(), Events, Params, ranges, &pool);
        pics.ensure(cells, &pool);
        benchmark::DoNotOptimize(pics.picture(5, 0));
    }
}
BENCHMARK(BM_Tabloid32x1M_VisibleCells)->Unit(benchmark::kMillisecond)->UseRealTime();
// The 32 diagonal pictures alone (each the histogram of one parameter's raw values).
static void BM_Tabloid32x1M_Diagonal(benchmark::State& state)
{
    const std::vector<double>& d = data();
    TabloidPicture pic;
    for (auto _ : state)
        for (int i = 0; i < Params; ++i) tabloidDiagonal(d.data() + i, Events, Params, pic);
}
BENCHMARK(BM_Tabloid32x1M_Diagonal)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
