#include "PixelMap.h"

#include <algorithm>
#include <cmath>

namespace orvala {

namespace {
constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

std::array<uint32_t, 1148> buildPalette()
{
    std::array<uint32_t, 1148> p{};
    for (int k = 0; k < 128; ++k) p[size_t(k)] = rgb(0, 0, uint32_t(128 + k));
    for (int k = 128; k <= 382; ++k) p[size_t(k)] = rgb(0, uint32_t(k - 127), 255);
    for (int k = 383; k <= 637; ++k) p[size_t(k)] = rgb(0, 255, uint32_t(254 - (k - 383)));
    for (int k = 638; k <= 892; ++k) p[size_t(k)] = rgb(uint32_t(k - 637), 255, 0);
    for (int k = 893; k <= 1147; ++k) p[size_t(k)] = rgb(255, uint32_t(254 - (k - 893)), 0);
    return p;
}
}  // namespace

const std::array<uint32_t, 1148>& DensityPalette()
{
    static const std::array<uint32_t, 1148> palette = buildPalette();
    return palette;
}

const std::array<uint32_t, 9> DensityLevels = {0xFF0000, 0xFF8000, 0xFFFF00, 0x80FF00, 0x00FF00,
                                               0x00FF80, 0x00FFFF, 0x0080FF, 0x0000FF};

void TMapData::Clear()
{
    Map.clear();
    Maps.clear();
    Colors.clear();
    Colorss.clear();
    width = height = 0;
}

void TMapData::SetSize(int ThreadCount, int Width, int Height)
{
    width = std::max(Width, 0);
    height = std::max(Height, 0);
    const size_t cells = size_t(width) * size_t(height);
    // assign on vectors kept from the last map reuses their pages: a remap on
    // every zoom or scroll must not fault in fresh megabytes each time.
    Map.assign(cells, 0);
    Colors.assign(cells, 0);
    const size_t threads = size_t(std::max(ThreadCount, 0));
    Maps.resize(threads);
    Colorss.resize(threads);
    for (auto& m : Maps) m.assign(cells, 0);
    for (auto& c : Colorss) c.assign(cells, 0);
}

void TMapData::SumMap()
{
    for (size_t t = 0; t < Maps.size(); ++t) {
        const auto& m = Maps[t];
        const auto& c = Colorss[t];
        for (size_t i = 0; i < Map.size(); ++i) {
            Map[i] += m[i];
            Colors[i] = std::max(Colors[i], c[i]);
        }
    }
}

void TMapper::ProcessItem(int ThreadNum, int Index, int Size, int&, std::atomic<bool>& Aborted)
{
    TMapData& mi = MapInfo;
    int32_t* map = mi.Maps[size_t(ThreadNum)].data();
    uint32_t* colors = mi.Colorss[size_t(ThreadNum)].data();
    const int W = mi.width - 1, H = mi.height - 1;
    const double cminx = mi.cminx, cminy = mi.cminy, sx = mi.scalex, sy = mi.scaley;
    // Only values that can round into 0..W (0..H) pass; NaN fails both tests.
    const double hiX = W + 0.5, hiY = H + 0.5;
    const uint32_t* base = DataColor.base;
    const int32_t* index = DataColor.index;
    constexpr int abortStride = 1 << 16;

    for (int start = Index; start < Index + Size; start += abortStride) {
        if (Aborted.load(std::memory_order_relaxed)) return;
        const int end = std::min(Index + Size, start + abortStride);
        for (int k = start; k < end; ++k) {
            const double fx = (xx[k] - cminx) * sx;
            const double fy = (yy[k] - cminy) * sy;
            if (!(fx >= -0.5 && fx <= hiX && fy >= -0.5 && fy <= hiY)) continue;
            const int64_t col = roundHalfEven(fx), row = roundHalfEven(fy);
            if (col < 0 || col > W || row < 0 || row > H) continue;
            const size_t cell = size_t(row) * size_t(mi.width) + size_t(col);
            if (!base) {
                ++map[cell];
                continue;
            }
            const uint32_t c = base[index ? index[k] : k];
            if ((c >> 24) == 1) continue;
            ++map[cell];
            if (c > colors[cell]) colors[cell] = c;
        }
    }
}

std::vector<MapPoint> RenderPixelMap(TMapper& mapper, int W, int H, double cminx, double cmaxx, double cminy,
                                     double cmaxy)
{
    TMapData& mi = mapper.MapInfo;
    if (W <= 0 || H <= 0 || !(cmaxx - cminx != 0) || !(cmaxy - cminy != 0)) {
        mi.Clear();
        return {};
    }
    mi.cminx = cminx;
    mi.cmaxx = cmaxx;
    mi.cminy = cminy;
    mi.cmaxy = cmaxy;
    mi.SetSize(mapper.MT->NumberOfThreads(), W + 1, H + 1);
    mi.scalex = W / (cmaxx - cminx);
    mi.scaley = H / (cmaxy - cminy);
    if (mi.scalex == 0 || mi.scaley == 0 || !std::isfinite(mi.scalex) || !std::isfinite(mi.scaley)) {
        mi.Clear();
        return {};
    }
    if (mapper.DataSize > 0) mapper.RunAndWait(mapper.DataSize, 0);
    mi.SumMap();
    return MapToPoints(mi, mapper.DataColor.base != nullptr);
}

std::vector<MapPoint> MapToPoints(const TMapData& map, bool withColors)
{
    std::vector<MapPoint> points;
    if (map.Map.empty()) return points;

    // Count scale: smallest non-zero count to the 90th percentile of the non-zero counts.
    std::vector<int32_t> counts;
    counts.reserve(map.Map.size());
    for (int32_t c : map.Map)
        if (c > 0) counts.push_back(c);
    double cmin = 0, cmax = 0;
    int32_t largest = 0;
    if (!counts.empty()) {
        largest = *std::max_element(counts.begin(), counts.end());
        const size_t z = counts.size();
        const size_t p = size_t(std::nearbyint(double(z - 1) * 0.9));
        std::nth_element(counts.begin(), counts.begin() + long(p), counts.end());
        cmax = counts[p];
        cmin = *std::min_element(counts.begin(), counts.end());
    }
    const double range = cmax == cmin ? 1.0 : cmax - cmin;
    const auto& palette = DensityPalette();
    // Many pixels share a count: when the counts are small next to the number
    // of pixels, each level is computed once per count, by the same formula.
    std::vector<double> levels;
    if (largest > 0 && size_t(largest) <= std::max<size_t>(counts.size(), 4096)) {
        levels.resize(size_t(largest) + 1);
        for (int32_t c = 1; c <= largest; ++c) levels[size_t(c)] = std::log2(1.0 + (c - cmin) / range);
    }
    auto levelOf = [&](int32_t c) { return levels.empty() ? std::log2(1.0 + (c - cmin) / range) : levels[size_t(c)]; };

    points.reserve(counts.size());
    for (int i = 0; i < map.height; ++i) {
        const double y = i / map.scaley + map.cminy;
        for (int j = 0; j < map.width; ++j) {
            const size_t cell = size_t(i) * size_t(map.width) + size_t(j);
            const int32_t c = map.Map[cell];
            if (c <= 0) continue;
            const double x = j / map.scalex + map.cminx;
            const double level = levelOf(c);
            uint32_t colour;
            const uint32_t K = withColors ? map.Colors[cell] : 0;
            if (withColors && K >= 0x0A000000u) {
                const double t = std::min(std::max(0.5 * level, 0.0), 0.5) + 0.5;
                const uint32_t r = K & 0xFF, g = (K >> 8) & 0xFF, b = (K >> 16) & 0xFF;
                const uint32_t m = std::max({r, g, b});
                auto scale = [&](uint32_t v) { return m == 0 ? 0u : uint32_t(std::nearbyint(v * t * 255.0 / m)); };
                colour = m == 0 ? 0u : rgb(scale(r), scale(g), scale(b));
            } else {
                const double u = std::clamp(std::nearbyint(1147.0 * level), 0.0, 1147.0);
                colour = palette[size_t(u)];
            }
            points.push_back({x, y, colour});
        }
    }
    return points;
}

bool DensityColoring(const double* x, const double* y, int n, uint32_t* colors)
{
    if (n <= 0) return false;
    // Events with a NaN or infinite coordinate have no place on the grid:
    // they neither widen the ranges nor count, and keep their colour.
    auto placed = [&](int p) { return std::isfinite(x[p]) && std::isfinite(y[p]); };
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    bool any = false;
    for (int p = 0; p < n; ++p) {
        if (!placed(p)) continue;
        if (!any) {
            xmin = xmax = x[p];
            ymin = ymax = y[p];
            any = true;
            continue;
        }
        xmin = std::min(xmin, x[p]);
        xmax = std::max(xmax, x[p]);
        ymin = std::min(ymin, y[p]);
        ymax = std::max(ymax, y[p]);
    }
    const double rx = xmax - xmin, ry = ymax - ymin;
    if (!any || rx == 0 || ry == 0 || !std::isfinite(rx) || !std::isfinite(ry)) return false;

    constexpr int N = 500, radius = 2;
    std::vector<int32_t> grid(size_t(N) * N, 0);
    std::vector<int32_t> cellOf(static_cast<size_t>(n), -1);
    for (int p = 0; p < n; ++p) {
        if (!placed(p)) continue;
        const int a = int((x[p] - xmin) * (N - 1) / rx);  // truncation, as the grid is defined
        const int b = int((y[p] - ymin) * (N - 1) / ry);
        cellOf[size_t(p)] = a * N + b;
        for (int j = std::max(a - radius, 0); j <= std::min(a + radius, N - 1); ++j)
            for (int k = std::max(b - radius, 0); k <= std::min(b + radius, N - 1); ++k) ++grid[size_t(j) * N + size_t(k)];
    }
    int32_t cmin = 0, cmax = 0;
    for (int32_t c : grid) {
        if (c > 0 && (cmin == 0 || c < cmin)) cmin = c;
        cmax = std::max(cmax, c);
    }
    const double range = double(cmax) - cmin;
    if (range <= 0) return false;
    constexpr double K = 10;
    std::vector<uint32_t> levelOf(grid.size(), 0);
    for (size_t i = 0; i < grid.size(); ++i)
        if (grid[i] > 0) {
            const double l = std::nearbyint(std::log((grid[i] - cmin) * K / range + 1) * 8 / std::log(K + 1));
            levelOf[i] = DensityLevels[size_t(std::clamp(l, 0.0, 8.0))];
        }
    for (int p = 0; p < n; ++p)
        if (cellOf[size_t(p)] >= 0) colors[p] = levelOf[size_t(cellOf[size_t(p)])];
    return true;
}

}  // namespace orvala
