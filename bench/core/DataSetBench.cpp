// Creates a data set of 10,000,000 events x 16 parameters and reports the time
// and the memory it takes (peak resident set growth against the matrix size).
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "core/TData.h"

using namespace orvala;

namespace {
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}
}  // namespace

static void BM_Create10Mx16(benchmark::State& state)
{
    const int events = 10'000'000, params = 16;
    double ratio = 0;
    for (auto _ : state) {
        const long before = residentKiB();
        TData* d = TData::Create("bench", params, events);
        benchmark::DoNotOptimize(d->data.data());
        const long after = residentKiB();
        const double expected = double(events) * params * 8 + double(events) * sizeof(TColor);
        ratio = double(after - before) * 1024.0 / expected;
        state.counters["MiB"] = double(after - before) / 1024.0;
        TData::Free(d);
    }
    state.counters["mem/expected"] = ratio;
}
BENCHMARK(BM_Create10Mx16)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
