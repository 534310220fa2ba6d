// Full redraw of the 2-D plot window (projection, bulk load, colours, chart
// paint) on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "core/TData.h"
#include "plot/TMultiThread.h"
#include "ui/plot/TScatterPlotter.h"
#include "ui/plot/TScatterProform.h"

using namespace orvala;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "bench_plotwin";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

void BM_PlotWindowFullRedraw(benchmark::State& state)
{
    app();
    const int n = int(state.range(0));
    TData* d = TData::Create("bench", 2, n);
    d->UseIt();  // the bench keeps the data set past the window
    uint32_t s = 1;
    for (int e = 0; e < n; ++e)
        for (int p = 0; p < 2; ++p) {
            s = s * 1664525u + 1013904223u;
            d->data[e][p] = double(s >> 8) / double(1u << 24) * 1000.0;
        }
    {
        TScatterProform w(d);
        w.resize(1000, 600);  // a plotting area of about 800 x 600
        w.show();
        w.DrawData();
        for (auto _ : state) {
            w.DrawData();
            w.chart()->grab();  // the paint itself, offscreen
        }
    }
    TData::Free(d);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PlotWindowFullRedraw)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Pixel map of n events onto an 800 x 600 plotting area, plotted on the chart.
void BM_ScatterPlotterRemap(benchmark::State& state)
{
    app();
    const int n = int(state.range(0));
    std::vector<double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
    uint32_t s = 7;
    for (int e = 0; e < n; ++e) {
        s = s * 1664525u + 1013904223u;
        x[size_t(e)] = double(s >> 8) / double(1u << 24);
        s = s * 1664525u + 1013904223u;
        y[size_t(e)] = double(s >> 8) / double(1u << 24);
    }
    TMultiThread pool(0);
    Chart chart;
    chart.resize(800, 600);
    chart.show();
    chart.redraw();
    const QRect area = chart.plotArea();
    chart.resize(800 + (800 - area.width()), 600 + (600 - area.height()));
    chart.redraw();
    TScatterPlotter plotter(&chart, &pool);
    plotter.NewData(x.data(), y.data(), {}, n, 0, 1, 0, 1, true);
    for (auto _ : state) plotter.Remap();
    state.counters["width"] = chart.plotArea().width();
    state.counters["height"] = chart.plotArea().height();
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ScatterPlotterRemap)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
