#pragma once
// One-dimensional histogram whose bin width adapts to the resolution of the
// data: the width is a whole multiple of the smallest gap between distinct
// values, so integer channel data never produce alternating empty and
// double-filled bins. Inputs of a million values or more are sorted and
// counted on all processors, with results identical to one thread's.
#include <cstdint>

#include "numerics/Matrices.h"

namespace orvala {

class Thistogram {
public:
    // Counts bin indices: `resolution` bins at positions 0 .. resolution - 1,
    // each element of V adds one to its bin. The caller guarantees
    // 0 <= V[k] < resolution; no other field is set.
    Thistogram(const TIntVector& V, int resolution);
    // The first `size` values of V, or all of them when size is negative or
    // larger than the vector.
    Thistogram(const TVector& V, int maxpoints, int size = -1);
    // Every element of M, row after row.
    Thistogram(const TMatrix& M, int maxpoints);
    // `size` unsigned 8-bit values.
    Thistogram(const uint8_t* s, int size, int maxpoints);
    // `size` single-precision values.
    Thistogram(const float* s, int size, int maxpoints);
    // `size` double values held outside a TVector (the same histogram as of a
    // TVector of them).
    Thistogram(const double* s, int size, int maxpoints);

    // Builds xmin, xmax, step and the bin edges Xvalue (Yvalue resized, not
    // counted) from the first `size` values of V (all when negative).
    // maxpoints is the largest number of bins and must be at least 2.
    void CreateXScale(const TVector& V, int maxpoints, int size = -1);
    // Counts the first `size` values of V (all when negative) into the
    // existing bins, left-closed and right-open, clamped to the end bins, and
    // computes mean.
    void CreateHisto(const TVector& V, int size = -1);
    // Empties both vectors.
    void Destroy();

    double Average() const { return mean; }
    double MaxValue() const { return xmax; }
    double MinValue() const { return xmin; }
    int Count() const { return int(Xvalue.size()); }

    double mean = 0;
    double step = 0;
    double xmax = 0;
    double xmin = 0;
    int32_t fpoints = 0;
    TVector Xvalue;
    TVector Yvalue;

};

}  // namespace orvala
