#pragma once
// The pixel-map renderer's chart-free half: events are counted per pixel of the
// plotting area on the worker pool (one private map per worker, merged after),
// and the merged map becomes at most (W+1)*(H+1) coloured points. Also the
// density colouring of a point series. The chart side lives in the UI.
#include <array>
#include <cstdint>
#include <vector>

#include "parallel/TMultiThread.h"

namespace orvala {

// 1148 colours from dark blue through blue, cyan, green and yellow to red (0x00BBGGRR).
const std::array<uint32_t, 1148>& DensityPalette();
// Nine fixed colours of density colouring, sparsest first.
extern const std::array<uint32_t, 9> DensityLevels;

// Event colours whose most significant byte is 1 are hidden: never drawn, not counted.
constexpr uint32_t HiddenColorFlag = 0x01000000;

// Per-pixel counts and colours; matrices are (Height) rows x (Width) columns, row-major.
struct TMapData {
    int width = 0, height = 0;
    std::vector<int32_t> Map;
    std::vector<std::vector<int32_t>> Maps;
    std::vector<uint32_t> Colors;
    std::vector<std::vector<uint32_t>> Colorss;
    double minx = 0, miny = 0, maxx = 0, maxy = 0;      // full data range
    double cminx = 0, cminy = 0, cmaxx = 0, cmaxy = 0;  // range shown by the chart
    double scalex = 0, scaley = 0;                      // pixels per data unit

    void Clear();
    void SetSize(int ThreadCount, int Width, int Height);
    // Map += every worker's counts; Colors = the largest (unsigned) colour per pixel.
    void SumMap();
};

// Where the mapper reads each event's colour at mapping time, so recoloured
// events show their new colour at the next remap: colour of event k is
// base[index ? index[k] : k]. No base: plain counting.
struct ColorSource {
    const uint32_t* base = nullptr;
    const int32_t* index = nullptr;
};

class TMapper : public TCustomMulti {
public:
    explicit TMapper(TMultiThread* pool) : TCustomMulti(pool) {}
    void ProcessItem(int ThreadNum, int Index, int Size, int& Count, std::atomic<bool>& Aborted) override;

    TMapData MapInfo;
    const double* xx = nullptr;  // shared with the caller, not copied
    const double* yy = nullptr;
    int DataSize = 0;
    ColorSource DataColor;
};

// One point of the plotted map.
struct MapPoint {
    double x, y;
    uint32_t color;
};

// Maps events onto a W x H plotting area showing [cminx,cmaxx] x [cminy,cmaxy]
// (W+1 columns and H+1 rows: the right and top edges are counted) and returns
// the coloured points. Empty when the area or the range is empty.
// The mapper's MapInfo keeps the merged map for inspection.
std::vector<MapPoint> RenderPixelMap(TMapper& mapper, int W, int H, double cminx, double cmaxx, double cminy,
                                     double cmaxy);
// The points of a merged map (count scale, palette or brightness-scaled event colours).
std::vector<MapPoint> MapToPoints(const TMapData& map, bool withColors);

// Density colouring: each point gets one of the nine levels by how crowded its
// 5x5 neighbourhood on a 500x500 grid is. Leaves colors alone when either
// range or the count range is 0. Events with a non-finite coordinate are not
// counted and keep their colour. Returns whether it recoloured.
bool DensityColoring(const double* x, const double* y, int n, uint32_t* colors);

// Rounds to the nearest integer, ties to even, for |v| < 2^51 (the caller range-checks).
inline int64_t roundHalfEven(double v)
{
    constexpr double magic = 6755399441055744.0;  // 1.5 * 2^52
    // Exact under IEEE arithmetic in the default rounding mode, and much cheaper
    // than a nearbyint call in the per-event loop.
    const double t = v + magic;
    return int64_t(t - magic);
}

}  // namespace orvala
