// Full redraw of the 2-D plot window (projection, bulk load, colours, chart
// paint) on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "core/TData.h"
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

}  // namespace

BENCHMARK_MAIN();
