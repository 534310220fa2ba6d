// Figures for the display-scale hot loops: the adaptive histogram over ten
// million events, and point-in-polygon tests per second for a 10-vertex gate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "geometry/PointInPolygon.h"
#include "plot/Histogrm.h"

using namespace orvala;

namespace {

constexpr int kEvents = 10000000;

const TVector& values(int shape)
{
    static TVector cache[3];
    TVector& v = cache[shape];
    if (v.empty()) {
        v.resize(kEvents);
        std::mt19937_64 rng(5);
        std::normal_distribution<double> normal(0, 1);
        std::uniform_int_distribution<int> chan(0, 262143);
        for (double& x : v) {
            if (shape == 0)
                x = 1000 + 200 * normal(rng);        // continuous scatter signal
            else if (shape == 1)
                x = std::exp(6 + 1.5 * normal(rng));  // log-normal fluorescence
            else
                x = chan(rng);                        // 18-bit integer channels
        }
    }
    return v;
}

void BM_Histogram10M(benchmark::State& state)
{
    const TVector& v = values(int(state.range(0)));
    for (auto _ : state) {
        Thistogram h(v, 1024);
        benchmark::DoNotOptimize(h.Yvalue.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(v.size()));
    state.SetLabel(state.range(0) == 0 ? "normal" : state.range(0) == 1 ? "log-normal" : "integer channels");
}
BENCHMARK(BM_Histogram10M)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_PointInPolygon10(benchmark::State& state)
{
    // A 10-vertex star-ish gate and points scattered over its bounding box.
    double px[10], py[10];
    for (int k = 0; k < 10; ++k) {
        const double a = 2 * M_PI * k / 10, r = k % 2 ? 40 : 100;
        px[k] = 500 + r * std::cos(a);
        py[k] = 500 + r * std::sin(a);
    }
    constexpr int kPoints = 1 << 16;
    std::vector<double> x(kPoints), y(kPoints);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(390, 610);
    for (int i = 0; i < kPoints; ++i) {
        x[size_t(i)] = u(rng);
        y[size_t(i)] = u(rng);
    }
    int64_t inside = 0;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i)
            inside += PointInPolygon(x[size_t(i)], y[size_t(i)], px, py, 10);
        benchmark::DoNotOptimize(inside);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.counters["Mtests/s"] =
        benchmark::Counter(double(state.iterations()) * kPoints / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PointInPolygon10);

}  // namespace

BENCHMARK_MAIN();
