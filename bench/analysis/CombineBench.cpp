// Combine: the 2^16 combination counts of 16 gates over 10,000,000 events,
// over the worker pool and, for comparison, on one thread. Each gate holds
// about a quarter of the events; half of the gates list them out of order,
// as subset and picture-region kids do.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "analysis/GateCombinations.h"
#include "core/TData.h"
#include "core/TGate.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr int kEvents = 10'000'000;
constexpr int kGates = 16;

struct Fixture {
    TData* data = nullptr;
    std::vector<TData*> kids;
    std::vector<const TData*> gates;

    Fixture()
    {
        data = TData::Create("bench", 1, kEvents);
        data->UseIt();
        uint64_t s = 0x9E3779B97F4A7C15ull;
        for (int i = 0; i < kGates; ++i) {
            // Only the links take part in the count: the kids carry no rows.
            TData* kid = TData::Create("G" + std::to_string(i), 0, 0);
            kid->UseIt();
            kid->gate = std::make_unique<TGate>(TGateType::gtSubset);
            kid->gate->name = kid->ShortName();
            kid->link.reserve(kEvents / 4 + 1024);
            for (int e = 0; e < kEvents; ++e) {
                s ^= s << 13;
                s ^= s >> 7;
                s ^= s << 17;
                if ((s & 3) == 0) kid->link.push_back(e);
            }
            if (i % 2) std::reverse(kid->link.begin(), kid->link.end());
            kids.push_back(kid);
            gates.push_back(kid);
        }
    }
    ~Fixture()
    {
        for (TData* k : kids) TData::Free(k);
        TData::Free(data);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void runCombine(benchmark::State& state, TMultiThread* pool, const char* label)
{
    Fixture& f = fixture();
    double best = 1e300;
    int64_t allInside = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<int64_t> counts = CountCombinations(*f.data, f.gates, pool);
        std::vector<double> percent = CombinationPercentages(counts);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        allInside = counts.back();
        benchmark::DoNotOptimize(percent.data());
    }
    state.counters["workers"] = pool->NumberOfThreads();
    std::printf("Combine, 16 gates over 10,000,000 events, %s (%d workers): best %.3f s, %lld events in all gates%s\n",
                label, pool->NumberOfThreads(), best, (long long)allInside,
                pool->NumberOfThreads() > 1 ? (best < 0.3 ? " (target 0.3 s: met)" : " (target 0.3 s: missed)") : "");
}

}  // namespace

static void BM_Combine16Gates10M(benchmark::State& state)
{
    TMultiThread pool(0);
    runCombine(state, &pool, "worker pool");
}
BENCHMARK(BM_Combine16Gates10M)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

static void BM_Combine16Gates10MOneThread(benchmark::State& state)
{
    TMultiThread single(1);
    runCombine(state, &single, "one thread");
}
BENCHMARK(BM_Combine16Gates10MOneThread)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
