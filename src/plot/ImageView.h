#pragma once
// Arithmetic of the image window: the gamma lookup, the grey levels of one
// frame between two markers, the mapping between the paint box and the
// picture, and selection rectangles in picture pixels. Plain arrays, no Qt.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/PointInPolygon.h"

namespace orvala {

// Smallest gamma the window uses: a gamma near 0 would turn every grey into white.
constexpr double MinGamma = 0.1;

// The gamma correction of one 8-bit channel: entry v = round(255 (v / 255)^gamma),
// halves to even. Gamma below MinGamma (or not finite) is taken as MinGamma;
// gamma 1 is the identity.
using GammaTable = std::array<uint8_t, 256>;
GammaTable MakeGammaTable(double gamma);

// Each of the red, green and blue bytes of the 0x00BBGGRR pixels through table.
void ApplyGamma(const GammaTable& table, uint32_t* pixels, size_t count);

// Grey levels of one frame: with s = 255 / (hi - lo) (1 when hi == lo), every
// value v becomes round(min(max((v - lo) s, 0), 255)) through table, as a
// 0x00GGGGGG pixel. Values that are not numbers are black.
void FrameGrey(const double* values, size_t count, size_t stride, double lo, double hi, const GammaTable& table,
               uint32_t* pixels);

// A paint-box coordinate on a box of boxSize pixels as a picture coordinate
// on imageSize pixels: round((imageSize - 1) pos / (boxSize - 1)), kept
// inside 0 .. imageSize - 1 (0 for an empty picture or a box of one pixel).
int BoxToImage(int pos, int boxSize, int imageSize);
// The paint-box position of picture pixel index i (the inverse scale, unrounded).
double ImageToBox(int i, int imageSize, int boxSize);

// A rectangle of picture pixels, inclusive on all four sides.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// The box rectangle with corners (x1, y1), (x2, y2) in any order as picture
// pixels: normalised (left <= right, top <= bottom) and clamped to the picture.
// False (rect untouched) when the picture or the box is empty.
bool BoxRectToImage(int x1, int y1, int x2, int y2, int boxWidth, int boxHeight, int imageWidth, int imageHeight,
                    PixelRect& rect);

// Event index (row * width + column) of the picture pixel under box point
// (x, y); -1 when the picture or the box is empty.
int EventAtBoxPoint(int x, int y, int boxWidth, int boxHeight, int imageWidth, int imageHeight);

// Event indices of the pixels whose box position lies inside the polygon
// (box coordinates), column by column, each column top to bottom.
std::vector<int32_t> PixelsInBoxPolygon(const std::vector<DPoint>& polygon, int boxWidth, int boxHeight,
                                        int imageWidth, int imageHeight);

// The "Pseudo" view: every overlay colour that is not black replaces the
// picture pixel beneath it (both 0x00BBGGRR, count pixels each).
void OverlayColours(uint32_t* picture, const uint32_t* overlay, size_t count);

// The grid's well radius (in cells) of the up-down "Radius of the well in the
// grid": position / 20, the position kept within 1 .. 10.
constexpr int WellRadiusMinPosition = 1, WellRadiusMaxPosition = 10, WellRadiusStartPosition = 4;
double WellRadius(int position);

// The histogram page's two markers. A press at x takes the nearer marker (the
// first on a tie) ...
int NearerMarker(double x, double marker1, double marker2);
// ... and a release stores the two positions, smaller first, as the frame's
// grey range; false (lo, hi untouched) when they are equal or not finite.
bool MarkerRange(double marker1, double marker2, double& lo, double& hi);

}  // namespace orvala
