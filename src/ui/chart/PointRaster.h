#pragma once
// The chart layer's point rasteriser, free of QCustomPlot so it can be driven
// on its own: millions of square marks are written straight into the pixels
// of an image on worker threads, instead of one QPainter call per point.
// Private to the chart layer (and its tests).
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvala {

class TMultiThread;

// The pool the chart layer splits its point loops over. Its own, not the
// program's: a paint must never stop a job the program runs on its pool.
// Used from the user-interface thread only, one job at a time.
TMultiThread& chartPool();

struct PointRasterInput {
    const double* x = nullptr;
    const double* y = nullptr;
    // One 0x00BBGGRR colour per point (the top byte is ignored), or null:
    // every point in `plain`.
    const uint32_t* colors = nullptr;
    size_t count = 0;
    QRgb plain = 0xFF000000;  // premultiplied
    int markSize = 1;
    // Pixel column of value v, counted from the image's left edge:
    // xPixel0 + (v - xLower) * xScale; rows likewise from the top edge.
    double xPixel0 = 0, xLower = 0, xScale = 1;
    double yPixel0 = 0, yLower = 0, yScale = 1;
};

class PointRaster {
public:
    // Clears image (Format_ARGB32_Premultiplied) to transparent and paints
    // every point whose mark touches it as an opaque square of markSize
    // pixels, clipped to the image. A mark covers the pixels floor(p - (s-1)/2)
    // up to s further on each axis (pixel i spans [i, i+1)): the pixels Qt's
    // aliased fillRect gave a square of side s centred on p. Points with a NaN
    // or infinite coordinate are skipped. Where marks overlap, the later point
    // wins, exactly as in one serial loop, whatever the pool.
    // pool null: painted on the calling thread.
    void paint(const PointRasterInput& in, QImage& image, TMultiThread* pool);

private:
    // One transparent layer per chunk of points after the first, kept
    // between paints; merged in chunk order so the result does not depend on
    // which worker finished first.
    std::vector<std::vector<uint32_t>> layers_;
};

// Range of the finite values of v[0..n); false when there is none.
bool finiteRange(const double* v, size_t n, double& minimum, double& maximum, TMultiThread* pool);

// memcpy split over the pool for large blocks.
void parallelCopy(void* dst, const void* src, size_t bytes, TMultiThread* pool);

}  // namespace orvala
