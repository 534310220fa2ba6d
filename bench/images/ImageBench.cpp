// Sequence building and pseudo colours on camera-sized stacks.
#include <benchmark/benchmark.h>

#include <cstring>

#include "formats/images/ImageSequence.h"

namespace {

using namespace orvala;

std::vector<QCam_Frame> byteStack(uint32_t side, int frames)
{
    std::vector<QCam_Frame> stack(static_cast<size_t>(frames));
    for (int j = 0; j < frames; ++j) {
        QCam_Frame& f = stack[size_t(j)];
        f.format = FrameFormatByte;
        f.bits = 8;
        f.width = f.height = side;
        f.wavelength = uint32_t(400 + 20 * j);
        f.buffer.resize(size_t(side) * side);
        for (size_t k = 0; k < f.buffer.size(); ++k) f.buffer[k] = uint8_t(k * 7 + size_t(j) * 13);
        f.bufferSize = f.size = uint32_t(f.buffer.size());
    }
    return stack;
}

// Loading a stack: values, extremes, colour map, pseudo colours and image.
void BM_CreateSequenceData(benchmark::State& state)
{
    const uint32_t side = uint32_t(state.range(0));
    const int frames = int(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<QCam_Frame> stack = byteStack(side, frames);
        state.ResumeTiming();
        TData* d = CreateSequenceData(stack);
        benchmark::DoNotOptimize(d->img.pixels.data());
        state.PauseTiming();
        delete d;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(side) * side);
}
BENCHMARK(BM_CreateSequenceData)->Args({1024, 16})->Args({2048, 16})->Unit(benchmark::kMillisecond);

// Transform results turned back into images.
void BM_CreateSeqFromData(benchmark::State& state)
{
    const int side = int(state.range(0));
    const int pars = int(state.range(1));
    TData* d = TData::Create("d", pars, side * side);
    for (int k = 0; k < d->events(); ++k)
        for (int p = 0; p < pars; ++p) d->data[k][p] = double((k * 31 + p * 17) % 1000);
    for (auto _ : state) {
        CreateSeqFromData(*d, side, side);
        benchmark::DoNotOptimize(d->img.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(side) * side);
    delete d;
}
BENCHMARK(BM_CreateSeqFromData)->Args({1024, 16})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
