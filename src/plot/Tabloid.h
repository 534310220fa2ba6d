#pragma once
// The scatter-plot matrix below the window: every value quantised once to a
// 7-bit pixel index, each off-diagonal picture a byte-pair histogram coloured
// by density, the diagonal the histogram of one parameter, and a cache that
// keeps only the pictures on screen. Plain arrays; no data model, no Qt.
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "parallel/HugePages.h"

namespace orvala {

class TMultiThread;

constexpr int TabloidSide = 128;          // pixels per picture side
constexpr uint8_t TabloidSkipped = 0xFF;  // quantised value that is drawn nowhere

// Pixels of a picture, row-major from the top left, 0xFFRRGGBB.
using TabloidPicture = std::array<uint32_t, TabloidSide * TabloidSide>;

constexpr uint32_t tabloidRgb(int r, int g, int b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }
constexpr uint32_t TabloidWhite = tabloidRgb(255, 255, 255);
constexpr uint32_t TabloidDiagonalBack = tabloidRgb(136, 238, 255);
constexpr uint32_t TabloidHistogramLine = tabloidRgb(0, 0, 128);
// Density palette from the sparsest (0, blue) to the densest (8, red).
constexpr std::array<uint32_t, 9> TabloidPalette = {
    tabloidRgb(0, 0, 255),   tabloidRgb(0, 128, 255), tabloidRgb(0, 255, 255),
    tabloidRgb(0, 255, 128), tabloidRgb(0, 255, 0),   tabloidRgb(128, 255, 0),
    tabloidRgb(255, 255, 0), tabloidRgb(255, 128, 0), tabloidRgb(255, 0, 0)};

// Palette entry of a pixel counted c times when the occupied pixels of its
// picture hold lo..hi events: round((1 - f^2) 8), f = (c - hi) / (hi - lo),
// halves to even. When hi = lo every occupied pixel is the densest.
int tabloidDensityEntry(uint32_t c, uint32_t lo, uint32_t hi);

// Per parameter, the smallest finite value and the range (largest minus
// smallest; 0 when the parameter is constant or has no finite value).
struct TabloidRanges {
    std::vector<double> mins, dels;
};
TabloidRanges tabloidRanges(const double* data, int rows, int cols, TMultiThread* pool = nullptr);

// The events quantised to pixel indices round((v - min) 127 / del), one
// column of bytes per parameter. A value that is not finite or falls outside
// 0..127 (after an in-place change of the data the ranges were taken from)
// and every value of a parameter of range 0 becomes TabloidSkipped.
class TabloidIndex {
public:
    TabloidIndex() = default;
    void build(const double* data, int rows, int cols, const TabloidRanges& ranges, TMultiThread* pool = nullptr);
    int events() const { return events_; }
    int parameters() const { return parameters_; }
    const uint8_t* column(int p) const { return q_.data() + size_t(p) * size_t(events_); }

private:
    std::vector<uint8_t, DefaultInitAllocator<uint8_t>> q_;  // filled whole by build's workers
    int events_ = 0;
    int parameters_ = 0;
};

// The density picture of x = parameter i, y = parameter j (i != j): pixel
// column index_i, row 127 - index_j; white where no event falls.
void tabloidDensity(const TabloidIndex& index, int i, int j, TabloidPicture& out);
// The picture (j, i) drawn from (i, j): source pixel (a, b) goes to (127 - b, 127 - a).
void tabloidMirror(const TabloidPicture& source, TabloidPicture& out);
// The diagonal picture of n values: the histogram (at most 128 points) as
// vertical lines at column round(position 127 / X) from the bottom up to
// 127 - round(count 127 / Y), X and Y the largest position and count; drawn
// only when both are positive. Lines outside the picture are left out.
void tabloidDiagonal(const double* values, int n, int stride, TabloidPicture& out);

// The pictures of one data set, made on demand and kept while on screen.
class TabloidPictures {
public:
    // Quantises data (rows x cols, row-major) against ranges; drops every picture.
    void setData(const double* data, int rows, int cols, const TabloidRanges& ranges, TMultiThread* pool = nullptr);
    int parameters() const { return index_.parameters(); }

    // Makes the pictures of cells (x parameter, y parameter) that are not up
    // to date, on the pool (may be null): a pair whose mirror is ready or
    // requested too is reflected rather than counted again.
    void ensure(const std::vector<std::pair<int, int>>& cells, TMultiThread* pool = nullptr);
    // Frees every picture not in cells: a matrix of a thousand parameters
    // must not keep a million pictures.
    void keepOnly(const std::vector<std::pair<int, int>>& cells);
    // The picture of (i, j), null unless up to date.
    const TabloidPicture* picture(int i, int j) const;
    // How many pictures are held.
    int held() const;
    // Counts of the pictures computed by counting events and by reflection
    // since setData, to show what the cache saved.
    int counted() const { return counted_; }
    int mirrored() const { return mirrored_; }

private:
    const double* data_ = nullptr;
    int rows_ = 0, cols_ = 0;
    TabloidIndex index_;
    std::vector<std::unique_ptr<TabloidPicture>> cells_;  // P x P, null when not made
    int counted_ = 0, mirrored_ = 0;
};

}  // namespace orvala
