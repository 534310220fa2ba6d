// Pixel classification of a 1000 x 1000 image of 156 bands against 5 classes:
// the spectral angle on the worker pool and on one thread, and non-negative
// unmixing per pixel (the SD classification) on the pool.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "analysis/PixelClassify.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr int Pixels = 1000 * 1000;
constexpr int Bands = 156;
constexpr int Classes = 5;

// Smooth reflectance curves of five materials, unit length.
const TMatrix& spectra()
{
    static TMatrix s = [] {
        TMatrix m(Classes, TVector(Bands));
        for (int j = 0; j < Classes; ++j) {
            for (int b = 0; b < Bands; ++b)
                m[size_t(j)][size_t(b)] = 0.2 + std::exp(-0.5 * std::pow((b - 30.0 * j - 10) / 25.0, 2));
            m[size_t(j)] = UnitLength(m[size_t(j)]);
        }
        return m;
    }();
    return s;
}

// Every pixel a noisy mixture dominated by one material, as 8-bit frames give.
const std::vector<double>& image()
{
    static std::vector<double> v = [] {
        std::vector<double> d(size_t(Pixels) * Bands);
        TRandom r;
        const TMatrix& s = spectra();
        for (int p = 0; p < Pixels; ++p) {
            const int main = p % Classes, other = (p / Classes) % Classes;
            for (int b = 0; b < Bands; ++b)
                d[size_t(p) * Bands + size_t(b)] = std::nearbyint(
                    std::max(0.0, 900 * s[size_t(main)][size_t(b)] + 200 * s[size_t(other)][size_t(b)] + 3 * r.Normal()));
        }
        return d;
    }();
    return v;
}

void run(benchmark::State& state, TMultiThread* pool)
{
    const std::vector<double>& v = image();
    std::vector<int32_t> cls(Pixels);
    std::vector<double> angle(Pixels);
    const TVector limits(Classes, 0.2);
    for (auto _ : state) {
        SamClassify(v.data(), Pixels, Bands, Bands, spectra(), limits, cls.data(), angle.data(), pool);
        benchmark::DoNotOptimize(cls.data());
    }
    state.counters["pixels/s"] = benchmark::Counter(double(Pixels), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SamPool(benchmark::State& state)
{
    TMultiThread pool(0);
    run(state, &pool);
}

void BM_SamOneThread(benchmark::State& state) { run(state, nullptr); }

void BM_SdPool(benchmark::State& state)
{
    TMultiThread pool(0);
    const std::vector<double>& v = image();
    std::vector<int32_t> cls(Pixels);
    for (auto _ : state) {
        SdClassify(v.data(), Pixels, Bands, Bands, spectra(), cls.data(), &pool);
        benchmark::DoNotOptimize(cls.data());
    }
    state.counters["pixels/s"] = benchmark::Counter(double(Pixels), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_SamPool)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SamOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SdPool)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
