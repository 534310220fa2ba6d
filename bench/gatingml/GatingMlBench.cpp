// A Gating-ML document of 20 gates (polygons, rectangles, ellipses and two
// booleans) on logicle axes with the file's spillover compensation, evaluated on
// 10,000,000 events x 16 parameters over the worker pool and on one thread.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gatingml/GmlDocument.h"
#include "gatingml/GmlEvaluator.h"
#include "gatingml/GmlTransform.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr int64_t kEvents = 10'000'000;
constexpr int kParams = 16;

struct XorShift {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    double next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return double(s >> 11) * (1.0 / 9007199254740992.0);
    }
};

std::string par(int p) { return "P" + std::to_string(p + 1); }

std::string dim(int p)
{
    return "<dimension compensation-ref=\"FCS\" transformation-ref=\"L\"><fcs-dimension name=\"" + par(p) +
           "\"/></dimension>";
}

std::string documentText()
{
    std::string x = "<Gating-ML><transformation id=\"L\"><logicle T=\"262144\" W=\"0.5\" M=\"4.5\" A=\"0\"/></transformation>";
    int id = 0;
    // 8 polygons on parameter pairs, each a hexagon in logicle space.
    for (int i = 0; i < 8; ++i, ++id) {
        x += "<PolygonGate id=\"G" + std::to_string(id) + "\">" + dim(2 * i) + dim(2 * i + 1);
        const double c = 0.45 + 0.02 * i;
        for (const auto& [dx, dy] : std::vector<std::pair<double, double>>{{-.2, 0}, {-.1, .18}, {.1, .18}, {.2, 0}, {.1, -.18}, {-.1, -.18}})
            x += "<vertex><coordinate value=\"" + std::to_string(c + dx) + "\"/><coordinate value=\"" +
                 std::to_string(c + dy) + "\"/></vertex>";
        x += "</PolygonGate>";
    }
    // 6 rectangles, each with a polygon as parent.
    for (int i = 0; i < 6; ++i, ++id)
        x += "<RectangleGate id=\"G" + std::to_string(id) + "\" parent_id=\"G" + std::to_string(i) +
             "\"><dimension compensation-ref=\"FCS\" transformation-ref=\"L\" min=\"0.3\" max=\"0.7\"><fcs-dimension name=\"" +
             par((3 * i + 5) % kParams) + "\"/></dimension></RectangleGate>";
    // 4 ellipses.
    for (int i = 0; i < 4; ++i, ++id)
        x += "<EllipsoidGate id=\"G" + std::to_string(id) + "\">" + dim(i) + dim(15 - i) +
             "<mean><coordinate value=\"0.5\"/><coordinate value=\"0.5\"/></mean><covarianceMatrix><row><entry value=\"0.02\"/>"
             "<entry value=\"0.005\"/></row><row><entry value=\"0.005\"/><entry value=\"0.01\"/></row></covarianceMatrix>"
             "<distanceSquare value=\"1\"/></EllipsoidGate>";
    x += "<BooleanGate id=\"G18\"><and><gateReference ref=\"G0\"/><gateReference ref=\"G14\" use-as-complement=\"true\"/>"
         "</and></BooleanGate>";
    x += "<BooleanGate id=\"G19\"><or><gateReference ref=\"G1\"/><gateReference ref=\"G15\"/><gateReference ref=\"G7\"/>"
         "</or></BooleanGate></Gating-ML>";
    return x;
}

struct Fixture {
    std::vector<double> values;
    GmlEvents events;
    GmlDocument doc;
    Fixture() : doc(ParseGatingMl(documentText(), "bench"))
    {
        values.resize(size_t(kEvents) * kParams);
        XorShift r;
        // Values spread log-uniformly over the logicle range, a tenth negative, as
        // compensated data are; drawn from a table because 160 million pow() calls
        // would take longer than everything measured here.
        std::vector<double> levels(65536);
        for (size_t i = 0; i < levels.size(); ++i) levels[i] = std::pow(10.0, 5.4 * double(i) / double(levels.size()));
        for (double& v : values) {
            const uint64_t bits = r.s;
            r.next();
            v = (bits >> 60) < 2 ? -200 * double((bits >> 20) & 0xFFFF) / 65536.0 : levels[(bits >> 4) & 0xFFFF];
        }
        for (int p = 0; p < kParams; ++p) events.names.push_back(par(p));
        events.values = values.data();
        events.events = kEvents;
        events.eventStride = kParams;
        events.spillNames = events.names;
        events.spillover.assign(size_t(kParams) * kParams, 0.0);
        for (int i = 0; i < kParams; ++i)
            for (int j = 0; j < kParams; ++j)
                events.spillover[size_t(i) * kParams + size_t(j)] = i == j ? 1.0 : (j == i + 1 || j == i - 1) ? 0.08 : 0.01;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void reportCounts(benchmark::State& state, const GmlMembership& m)
{
    int64_t in = 0;
    for (int g = 0; g < m.GateCount(); ++g) in += m.Count(g);
    state.counters["events_in_gates"] = double(in);
    state.counters["gates"] = double(m.GateCount());
}

// The first range(0) events of the fixture.
GmlEvents firstEvents(const Fixture& f, int64_t count)
{
    GmlEvents e = f.events;
    e.events = std::min(count, e.events);
    return e;
}

// CPU seconds of every thread of the process, the workers' included.
double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

void BM_GatingMl20GatesLogicleFcs_Pool(benchmark::State& state)
{
    Fixture& f = fixture();
    TMultiThread pool(0);
    GmlMembership m;
    const GmlEvents events = firstEvents(f, state.range(0));
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        m = EvaluateGatingMl(f.doc, events, &pool);
        benchmark::DoNotOptimize(m);
    }
    // On a loaded machine the wall time says little; the CPU time of all
    // workers over the thread count is what an idle machine would take.
    state.counters["cpu_s_all_threads"] = (processCpuSeconds() - cpu0) / double(state.iterations());
    reportCounts(state, m);
    state.counters["threads"] = pool.NumberOfThreads();
}

void BM_GatingMl20GatesLogicleFcs_OneThread(benchmark::State& state)
{
    Fixture& f = fixture();
    GmlMembership m;
    const GmlEvents events = firstEvents(f, state.range(0));
    for (auto _ : state) {
        m = EvaluateGatingMl(f.doc, events, nullptr);
        benchmark::DoNotOptimize(m);
    }
    reportCounts(state, m);
}

}  // namespace

// One logicle value on one thread: the transform most documents put on every axis.
void BM_LogicleApply(benchmark::State& state)
{
    const GmlTransform t = GmlTransform::Logicle("L", 262144, 0.5, 4.5, 0);
    const size_t n = 1'000'000;
    std::vector<double> values(n);
    XorShift r;
    for (double& v : values) v = r.next() < 0.1 ? -200 * r.next() : std::pow(10.0, 5.4 * r.next());
    double sum = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) sum += t.Apply(values[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}

// The same values through the table the evaluator starts from.
void BM_LogicleApplyApprox(benchmark::State& state)
{
    const GmlTransform t = GmlTransform::Logicle("L", 262144, 0.5, 4.5, 0);
    const size_t n = 1'000'000;
    std::vector<double> values(n), out(n);
    XorShift r;
    for (double& v : values) v = r.next() < 0.1 ? -200 * r.next() : std::pow(10.0, 5.4 * r.next());
    for (auto _ : state) {
        t.ApplyApprox(values.data(), out.data(), n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}

BENCHMARK(BM_LogicleApply)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LogicleApplyApprox)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GatingMl20GatesLogicleFcs_Pool)->Arg(1'000'000)->Arg(kEvents)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_GatingMl20GatesLogicleFcs_OneThread)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
