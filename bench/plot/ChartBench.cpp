// Figures for the chart layer: a full redraw of a point series with one
// colour per point, offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <random>
#include <vector>

#include "ui/chart/Chart.h"

using namespace orvala;

namespace {

void BM_RedrawColouredPoints(benchmark::State& state)
{
    const int n = int(state.range(0));
    Chart chart;
    chart.resize(800, 600);
    chart.setAxisRange(ChartAxis::Bottom, 0, 1024);
    chart.setAxisRange(ChartAxis::Left, 0, 1024);
    chart.show();
    const Chart::SeriesId s = chart.addPointSeries(2);
    std::vector<double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
    std::vector<uint32_t> c(static_cast<size_t>(n));
    std::mt19937 rng(1);
    std::normal_distribution<double> d(512, 150);
    for (int i = 0; i < n; ++i) {
        x[size_t(i)] = d(rng);
        y[size_t(i)] = d(rng);
        c[size_t(i)] = rng() & 0xFFFFFF;
    }
    chart.setPoints(s, x, y);
    chart.setPointColors(s, c.data(), n);
    for (auto _ : state)
        chart.redraw();
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RedrawColouredPoints)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
