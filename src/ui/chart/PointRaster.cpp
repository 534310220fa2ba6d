#include "ui/chart/PointRaster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Below this many points per worker the hand-over costs more than it saves.
constexpr size_t MinPointsPerChunk = 65536;
constexpr size_t MinBytesPerCopyChunk = size_t(4) << 20;
// A mark larger than any plotting area; keeps the pixel arithmetic in int.
constexpr int MaxMarkSize = 4096;

// The chunk count for n items: one per worker, none smaller than minimum.
int chunksFor(size_t n, size_t minimum, TMultiThread* pool)
{
    if (!pool) return 1;
    const size_t byLoad = n / minimum;
    return int(std::clamp<size_t>(byLoad, 1, size_t(pool->NumberOfThreads())));
}

// Runs work(chunk) for chunk = 0..chunks-1, on the pool when there is more than one.
template <class Work>
void forEachChunk(int chunks, TMultiThread* pool, const Work& work)
{
    if (chunks <= 1 || !pool) {
        for (int k = 0; k < chunks; ++k) work(k);
        return;
    }
    pool->Process([&work](int, int index, int size, int&, std::atomic<bool>&) {
        for (int k = index; k < index + size; ++k) work(k);
    }, {}, chunks, 1);
}

// First and one-past-last item of chunk k of n items in `chunks` chunks.
std::pair<size_t, size_t> chunkRange(size_t n, int chunks, int k)
{
    return {n * size_t(k) / size_t(chunks), n * size_t(k + 1) / size_t(chunks)};
}

inline uint32_t opaqueFromModel(uint32_t bgr)
{
    return 0xFF000000u | (bgr & 0xFFu) << 16 | (bgr & 0xFF00u) | (bgr >> 16 & 0xFFu);
}

// Paints points [from, to) into buf (width x height, stride pixels per row).
// Mark > 0: the mark size known at compile time, so a mark that lies wholly
// inside is written without bounds and with unrolled loops; 0: in.markSize.
template <int Mark>
void paintRange(const PointRasterInput& in, size_t from, size_t to, uint32_t* buf, int width, int height,
                size_t stride)
{
    const int s = Mark > 0 ? Mark : std::clamp(in.markSize, 1, MaxMarkSize);
    // floor(p - (s-1)/2) by truncation: coordinates let through are above
    // -s-1, so adding bias makes them positive and truncation a floor.
    const double bias = 2.0 * s + 64.0;
    const int ibias = int(bias);
    const double shift = bias - (s - 1) / 2.0;
    // Beyond these no part of a mark can reach the image (a superset bound).
    const double lowest = -s - 1.0, pastX = width + double(s), pastY = height + double(s);
    const double* x = in.x;
    const double* y = in.y;
    const uint32_t* colors = in.colors;
    const uint32_t plain = in.plain;
    const double x0 = in.xPixel0, xl = in.xLower, xs = in.xScale;
    const double y0 = in.yPixel0, yl = in.yLower, ys = in.yScale;
    for (size_t i = from; i < to; ++i) {
        const double px = x0 + (x[i] - xl) * xs;
        const double py = y0 + (y[i] - yl) * ys;
        // Negated so NaN (from NaN or infinite values) fails too.
        if (!(px > lowest && px < pastX && py > lowest && py < pastY)) continue;
        int c0 = int(px + shift) - ibias;
        int r0 = int(py + shift) - ibias;
        const uint32_t color = colors ? opaqueFromModel(colors[i]) : plain;
        if constexpr (Mark == 1) {
            if (unsigned(c0) < unsigned(width) && unsigned(r0) < unsigned(height))
                buf[size_t(r0) * stride + size_t(c0)] = color;
        } else {
            if constexpr (Mark > 1) {
                if (c0 >= 0 && c0 <= width - Mark && r0 >= 0 && r0 <= height - Mark) {
                    uint32_t* row = buf + size_t(r0) * stride + size_t(c0);
                    for (int r = 0; r < Mark; ++r, row += stride)
                        for (int c = 0; c < Mark; ++c) row[c] = color;
                    continue;
                }
            }
            const int c1 = std::min(c0 + s, width), r1 = std::min(r0 + s, height);
            c0 = std::max(c0, 0);
            r0 = std::max(r0, 0);
            for (int r = r0; r < r1; ++r) {
                uint32_t* row = buf + size_t(r) * stride;
                for (int c = c0; c < c1; ++c) row[c] = color;
            }
        }
    }
}

void paintChunk(const PointRasterInput& in, size_t from, size_t to, uint32_t* buf, int width, int height,
                size_t stride)
{
    switch (in.markSize) {
    case 0:
    case 1: paintRange<1>(in, from, to, buf, width, height, stride); break;
    case 2: paintRange<2>(in, from, to, buf, width, height, stride); break;
    case 3: paintRange<3>(in, from, to, buf, width, height, stride); break;
    case 4: paintRange<4>(in, from, to, buf, width, height, stride); break;
    default: paintRange<0>(in, from, to, buf, width, height, stride); break;
    }
}

}  // namespace

TMultiThread& chartPool()
{
    static TMultiThread pool(0);
    return pool;
}

void PointRaster::paint(const PointRasterInput& in, QImage& image, TMultiThread* pool)
{
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied);
    image.fill(0u);
    const int width = image.width(), height = image.height();
    if (width <= 0 || height <= 0 || in.count == 0 || !in.x || !in.y) return;
    // Detach here, on this thread: the workers only write through the pointer.
    uint32_t* pixels = reinterpret_cast<uint32_t*>(image.bits());
    const size_t stride = size_t(image.bytesPerLine()) / sizeof(uint32_t);
    const int chunks = chunksFor(in.count, MinPointsPerChunk, pool);
    const size_t area = size_t(width) * size_t(height);
    layers_.resize(size_t(chunks - 1));
    for (auto& layer : layers_) layer.resize(area);

    // Chunk 0 paints into the image itself, chunk k into layer k-1.
    forEachChunk(chunks, pool, [&](int k) {
        const auto [from, to] = chunkRange(in.count, chunks, k);
        if (k == 0) {
            paintChunk(in, from, to, pixels, width, height, stride);
        } else {
            std::vector<uint32_t>& layer = layers_[size_t(k - 1)];
            std::fill(layer.begin(), layer.end(), 0u);
            paintChunk(in, from, to, layer.data(), width, height, size_t(width));
        }
    });
    if (chunks == 1) return;

    // Later chunks hold later points: the last layer with a mark on a pixel wins.
    const int bands = std::min(chunks, height);
    forEachChunk(bands, pool, [&](int b) {
        const auto [r0, r1] = chunkRange(size_t(height), bands, b);
        for (size_t r = r0; r < r1; ++r) {
            uint32_t* out = pixels + r * stride;
            const size_t base = r * size_t(width);
            for (size_t layer = 0; layer < layers_.size(); ++layer) {
                const uint32_t* from = layers_[layer].data() + base;
                // An opaque mark is never 0; a later layer overwrites an earlier one.
                for (int c = 0; c < width; ++c)
                    if (from[c]) out[c] = from[c];
            }
        }
    });
}

bool finiteRange(const double* v, size_t n, double& minimum, double& maximum, TMultiThread* pool)
{
    // Running extremes from +inf and -inf: the comparisons compile to min
    // and max instructions, and the finiteness branch is nearly always taken.
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Part {
        double lo = inf, hi = -inf;
    };
    const int chunks = chunksFor(n, MinPointsPerChunk, pool);
    std::vector<Part> parts(static_cast<size_t>(chunks));
    forEachChunk(chunks, pool, [&](int k) {
        const auto [from, to] = chunkRange(n, chunks, k);
        Part p;
        for (size_t i = from; i < to; ++i) {
            const double e = v[i];
            if (!std::isfinite(e)) continue;
            p.lo = e < p.lo ? e : p.lo;
            p.hi = p.hi < e ? e : p.hi;
        }
        parts[size_t(k)] = p;
    });
    Part all;
    for (const Part& p : parts) {
        all.lo = p.lo < all.lo ? p.lo : all.lo;
        all.hi = all.hi < p.hi ? p.hi : all.hi;
    }
    if (!(all.lo <= all.hi)) return false;
    minimum = all.lo;
    maximum = all.hi;
    return true;
}

void parallelCopy(void* dst, const void* src, size_t bytes, TMultiThread* pool)
{
    if (bytes == 0) return;
    const int chunks = chunksFor(bytes, MinBytesPerCopyChunk, pool);
    forEachChunk(chunks, pool, [&](int k) {
        const auto [from, to] = chunkRange(bytes, chunks, k);
        std::memcpy(static_cast<char*>(dst) + from, static_cast<const char*>(src) + from, to - from);
    });
}

}  // namespace orvala
