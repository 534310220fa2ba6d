// Phenotyping counts on a 384-well plate of 50,000 events x 6 dyes per well:
// a mark move with "Lock" checked (every tube follows and is counted again),
// and a full recount of all dyes, over the program's worker pool and on one
// thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "parallel/TMultiThread.h"
#include "plates/Phenotyping.h"

using namespace orvala;

namespace {

constexpr int kTubes = 384;
constexpr int kEvents = 50'000;
constexpr int kDyes = 6;

struct XorShift {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    double next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return double(s >> 11) * (1024.0 / 9007199254740992.0);
    }
};

PhenoCounter& counter()
{
    static PhenoCounter* c = [] {
        std::vector<PhenoTube> tubes(kTubes);
        XorShift rng;
        for (PhenoTube& t : tubes) {
            t.values.assign(kDyes, TVector(kEvents));
            for (TVector& dye : t.values)
                for (double& v : dye) v = rng.next();
        }
        auto* pc = new PhenoCounter;
        pc->SetTubes(std::move(tubes), nullptr);
        return pc;
    }();
    return *c;
}

TMultiThread& pool()
{
    static TMultiThread p(0);
    return p;
}

void MarkMoveLocked(benchmark::State& state)
{
    PhenoCounter& c = counter();
    TMultiThread* p = state.range(0) ? &pool() : nullptr;
    int step = 0;
    for (auto _ : state) {
        const int k = step % kDyes;
        c.MoveMark(step % kTubes, k, 100.0 + (step % 800), true, p);
        benchmark::DoNotOptimize(c.MaxCount());
        ++step;
    }
    state.counters["tubes"] = kTubes;
    state.counters["events/tube"] = kEvents;
    state.counters["dyes"] = kDyes;
    state.SetLabel(p ? "worker pool" : "one thread");
}

void FullRecount(benchmark::State& state)
{
    PhenoCounter& c = counter();
    TMultiThread* p = state.range(0) ? &pool() : nullptr;
    for (auto _ : state) {
        c.Recount(p);
        benchmark::DoNotOptimize(c.MaxCount());
    }
    state.SetLabel(p ? "worker pool" : "one thread");
}

}  // namespace

BENCHMARK(MarkMoveLocked)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(FullRecount)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv)
{
    std::printf("Phenotyping: %d tubes x %d events x %d dyes, %d worker threads\n", kTubes, kEvents, kDyes,
                pool().NumberOfThreads());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
