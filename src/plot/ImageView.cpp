#include "ImageView.h"

#include <algorithm>
#include <cmath>

namespace orvala {

GammaTable MakeGammaTable(double gamma)
{
    if (!(gamma >= MinGamma)) gamma = MinGamma;  // NaN too
    GammaTable t{};
    for (int v = 0; v < 256; ++v) {
        const double g = gamma == 1.0 ? double(v) : 255.0 * std::pow(double(v) / 255.0, gamma);
        t[size_t(v)] = uint8_t(std::clamp(std::nearbyint(g), 0.0, 255.0));
    }
    return t;
}

void ApplyGamma(const GammaTable& table, uint32_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        pixels[i] = uint32_t(table[p & 0xFF]) | uint32_t(table[(p >> 8) & 0xFF]) << 8 |
                    uint32_t(table[(p >> 16) & 0xFF]) << 16;
    }
}

void FrameGrey(const double* values, size_t count, size_t stride, double lo, double hi, const GammaTable& table,
               uint32_t* pixels)
{
    const double s = hi == lo ? 1.0 : 255.0 / (hi - lo);
    for (size_t i = 0; i < count; ++i) {
        const double v = (values[i * stride] - lo) * s;
        // A NaN fails both comparisons and stays black.
        const double c = v > 0 ? std::min(v, 255.0) : 0.0;
        const uint32_t g = table[size_t(std::nearbyint(c))];
        pixels[i] = g | g << 8 | g << 16;
    }
}

int BoxToImage(int pos, int boxSize, int imageSize)
{
    if (imageSize <= 1 || boxSize <= 1) return 0;
    const double p = std::nearbyint(double(imageSize - 1) * double(pos) / double(boxSize - 1));
    return int(std::clamp(p, 0.0, double(imageSize - 1)));
}

double ImageToBox(int i, int imageSize, int boxSize)
{
    if (imageSize <= 1 || boxSize <= 1) return 0;
    return double(i) * double(boxSize - 1) / double(imageSize - 1);
}

bool BoxRectToImage(int x1, int y1, int x2, int y2, int boxWidth, int boxHeight, int imageWidth, int imageHeight,
                    PixelRect& rect)
{
    if (imageWidth <= 0 || imageHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) return false;
    const int a = BoxToImage(x1, boxWidth, imageWidth), b = BoxToImage(x2, boxWidth, imageWidth);
    const int c = BoxToImage(y1, boxHeight, imageHeight), d = BoxToImage(y2, boxHeight, imageHeight);
    rect.left = std::min(a, b);
    rect.right = std::max(a, b);
    rect.top = std::min(c, d);
    rect.bottom = std::max(c, d);
    return true;
}

int EventAtBoxPoint(int x, int y, int boxWidth, int boxHeight, int imageWidth, int imageHeight)
{
    if (imageWidth <= 0 || imageHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) return -1;
    return BoxToImage(y, boxHeight, imageHeight) * imageWidth + BoxToImage(x, boxWidth, imageWidth);
}

std::vector<int32_t> PixelsInBoxPolygon(const std::vector<DPoint>& polygon, int boxWidth, int boxHeight,
                                        int imageWidth, int imageHeight)
{
    std::vector<int32_t> events;
    if (polygon.size() < 3 || imageWidth <= 0 || imageHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) return events;
    for (int col = 0; col < imageWidth; ++col) {
        const double bx = ImageToBox(col, imageWidth, boxWidth);
        for (int row = 0; row < imageHeight; ++row)
            if (PointInPolygon(bx, ImageToBox(row, imageHeight, boxHeight), polygon))
                events.push_back(int32_t(row * imageWidth + col));
    }
    return events;
}

void OverlayColours(uint32_t* picture, const uint32_t* overlay, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (overlay[i] & 0xFFFFFF) picture[i] = overlay[i] & 0xFFFFFF;
}

double WellRadius(int position)
{
    return std::clamp(position, WellRadiusMinPosition, WellRadiusMaxPosition) / 20.0;
}

int NearerMarker(double x, double marker1, double marker2)
{
    return std::abs(x - marker2) < std::abs(x - marker1) ? 1 : 0;
}

bool MarkerRange(double marker1, double marker2, double& lo, double& hi)
{
    if (!std::isfinite(marker1) || !std::isfinite(marker2) || marker1 == marker2) return false;
    lo = std::min(marker1, marker2);
    hi = std::max(marker1, marker2);
    return true;
}

}  // namespace orvala
