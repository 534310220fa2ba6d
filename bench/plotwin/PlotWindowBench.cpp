// Full redraw of the 2-D plot window (projection, bulk load, colours, chart
// paint) on the offscreen platform, the chart's point raster on its own, and
// the pixel-map renderer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSpinBox>

#include "core/TData.h"
#include "parallel/TMultiThread.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/ScatterPlotWindow.h"
#include "ui/plot/ScatterPlotter.h"

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

// n events in a window with the given "Dot Size".
void fullRedraw(benchmark::State& state, int n, int dot)
{
    app();
    TData* d = TData::Create("bench", 2, n);
    d->UseIt();  // the bench keeps the data set past the window
    uint32_t s = 1;
    for (int e = 0; e < n; ++e)
        for (int p = 0; p < 2; ++p) {
            s = s * 1664525u + 1013904223u;
            d->data[e][p] = double(s >> 8) / double(1u << 24) * 1000.0;
        }
    {
        ScatterPlotWindow w(d);
        w.resize(1000, 600);  // a plotting area of about 800 x 600
        w.Control->pointsize->setValue(dot);
        w.show();
        // Two redraws first: from the third on, the window and the chart hand
        // their coordinate arrays back and forth instead of faulting in new ones.
        w.DrawData();
        w.DrawData();
        for (auto _ : state) {
            w.DrawData();
            w.chart()->grab();  // the paint itself, offscreen
        }
    }
    TData::Free(d);
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_PlotWindowFullRedraw(benchmark::State& state)
{
    fullRedraw(state, int(state.range(0)), 1);
}
BENCHMARK(BM_PlotWindowFullRedraw)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with dots of 3 x 3 pixels: nine pixels written per event.
void BM_PlotWindowFullRedrawDot3(benchmark::State& state)
{
    fullRedraw(state, int(state.range(0)), 3);
}
BENCHMARK(BM_PlotWindowFullRedrawDot3)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The paint alone: n coloured points already in a point series of the chart,
// rasterised and drawn on every replot.
void BM_ChartPointRaster(benchmark::State& state)
{
    app();
    const int n = int(state.range(0));
    std::vector<double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
    std::vector<uint32_t> colors(static_cast<size_t>(n));
    uint32_t s = 3;
    for (size_t e = 0; e < x.size(); ++e) {
        s = s * 1664525u + 1013904223u;
        x[e] = double(s >> 8) / double(1u << 24);
        s = s * 1664525u + 1013904223u;
        y[e] = double(s >> 8) / double(1u << 24);
        colors[e] = s & 0xFFFFFF;
    }
    Chart chart;
    chart.resize(880, 660);
    chart.setAxisRange(ChartAxis::Bottom, 0, 1);
    chart.setAxisRange(ChartAxis::Left, 0, 1);
    const Chart::SeriesId ser = chart.addPointSeries(int(state.range(1)));
    chart.setPoints(ser, std::move(x), std::move(y));
    chart.setPointColors(ser, std::move(colors));
    chart.show();
    chart.redraw();
    for (auto _ : state) chart.redraw();
    state.counters["width"] = chart.plotArea().width();
    state.counters["height"] = chart.plotArea().height();
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ChartPointRaster)
    ->ArgNames({"points", "mark"})
    ->Args({10'000'000, 1})
    ->Args({10'000'000, 3})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
    ScatterPlotter plotter(&chart, &pool);
    plotter.NewData(x.data(), y.data(), {}, n, 0, 1, 0, 1, true);
    for (auto _ : state) plotter.Remap();
    state.counters["width"] = chart.plotArea().width();
    state.counters["height"] = chart.plotArea().height();
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ScatterPlotterRemap)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
