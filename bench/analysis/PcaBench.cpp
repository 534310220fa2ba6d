// PCA of 1,000,000 events x 32 parameters: the "Covariation" analysis of a
// matrix, the products step alone, and the whole PCA button's computation on
// a data set, each on the worker pool (one worker per logical processor).
#include <benchmark/benchmark.h>

#include <ctime>

#include "analysis/DoPca.h"
#include "analysis/TPca.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr int Events = 1'000'000;
constexpr int Params = 32;

void fill(double* values, int rows, int cols)
{
    TRandom r;
    for (int k = 0; k < rows; ++k) {
        const double common = r.Normal();
        for (int j = 0; j < cols; ++j) values[size_t(k) * size_t(cols) + size_t(j)] = 1000.0 * (j + 1) + 50 * common + (j + 1) * r.Normal();
    }
}

const DataMatrix& matrix()
{
    static DataMatrix m = [] {
        DataMatrix d(Events, Params);
        fill(d.data(), Events, Params);
        return d;
    }();
    return m;
}

// CPU time of the whole process (all workers): the work done, whatever else
// competes for the processors while the benchmark runs.
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

}  // namespace

static void BM_PcaCovariation1Mx32(benchmark::State& state)
{
    const DataMatrix& d = matrix();
    RecordingSink sink;
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        auto pca = TPca::Create(d, TPca::Covariation, int(state.range(0)), sink, &pool());
        benchmark::DoNotOptimize(pca->evals.data());
    }
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
    state.counters["workers"] = pool().NumberOfThreads();
}
BENCHMARK(BM_PcaCovariation1Mx32)->Arg(TPca::QL)->Arg(TPca::Jacobi)->ArgName("algorithm")->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_PcaCovariation1Mx32SingleThread(benchmark::State& state)
{
    const DataMatrix& d = matrix();
    RecordingSink sink;
    for (auto _ : state) {
        auto pca = TPca::Create(d, TPca::Covariation, TPca::QL, sink, nullptr);
        benchmark::DoNotOptimize(pca->evals.data());
    }
}
BENCHMARK(BM_PcaCovariation1Mx32SingleThread)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_DoPcaOnDataSet1Mx32(benchmark::State& state)
{
    DataRef data(TData::Create("bench", Params, Events));
    fill(data->data.data(), Events, Params);
    PcaRequest request;
    for (int j = 0; j < Params; ++j) request.params.push_back(j);
    request.matrixType = TPca::Covariation;
    request.normalize = state.range(0) != 0;
    RecordingSink sink;
    const double cpu0 = processCpuMs();
    for (auto _ : state) {
        auto pca = DoPCA(*data, request, sink, &pool());
        benchmark::DoNotOptimize(pca->evals.data());
    }
    state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu0) / double(state.iterations());
}
BENCHMARK(BM_DoPcaOnDataSet1Mx32)->Arg(0)->Arg(1)->ArgName("normalize")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
