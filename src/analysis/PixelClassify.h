#pragma once
// Classification of the pixels of an image data set against training classes:
// by the spectral angle to each class's mean spectrum (SAM), or by
// non-negative unmixing against those spectra (SD). Every pixel is handled on
// its own, so the pixels are split over the worker pool; each pixel's sums run
// over the bands in order, so the result equals the sequential loop.
#include <cstdint>
#include <string>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class TData;
class TMultiThread;

// Class index of a pixel no class took.
constexpr int32_t Unclassified = -1;

// Colour of class i (0x00BBGGRR), cycling: strong colours that stand out on a
// grey picture first, never black, white or red (black is "no class" in the
// pseudo view, red marks gates).
uint32_t ClassColour(int i);

// Mean of every parameter over the events of data, each over its finite values
// (0 for a parameter with none).
TVector MeanSpectrum(const TData& data);

// v scaled to unit Euclidean length; left as it is when its length is 0 or not finite.
TVector UnitLength(TVector v);

// Throws OrvalaError naming the class when it has no events or another number
// of parameters than length (a class file saved from another image).
void CheckClass(const TData& cls, int length);

// The unit-length mean spectra of classes, one row each, after CheckClass.
TMatrix ClassSpectra(const std::vector<TData*>& classes, int length);

// Spectral angle of every pixel (rows pixels of cols values, pixel p at
// values + p * stride) to every unit spectrum (k rows of cols values):
// arccos(m . x / |x|) with the cosine clamped to [-1, 1]. A pixel takes the
// class of the smallest angle among the candidates (angle <= limits[j]; pass
// infinity for no threshold), the first class on ties; classOf gets
// Unclassified and angle NaN when there is none, and for pixels whose length
// is 0 or not finite. Either output may be null.
void SamClassify(const double* values, int rows, int stride, int cols, const TMatrix& spectra, const TVector& limits,
                 int32_t* classOf, double* angle, TMultiThread* pool);

// The angles of each pixel to one unit spectrum (NaN where the pixel has no direction).
TVector SpectralAngles(const double* values, int rows, int stride, int cols, const TVector& unit);

// Spread of angles around 0: sqrt(sum a^2 / (n - 1)) over the n angles that
// are numbers; with a single one (where n - 1 would be 0) the sum of squares
// itself; 0 with none.
double AngleDeviation(const double* angles, size_t count);

// Each pixel to the class with the largest non-negative unmixing amount
// against spectra (the first class on ties). A pixel with no positive amount
// (nothing of any class in it) or with values that are not numbers stays
// Unclassified. Throws OrvalaError("Mat not OK") when the spectra cannot be
// told apart.
void SdClassify(const double* values, int rows, int stride, int cols, const TMatrix& spectra, int32_t* classOf,
                TMultiThread* pool);

// The class of every pixel of an image and, for SAM, its angle to that class.
struct ClassMap {
    std::vector<int32_t> classOf;
    std::vector<double> angle;  // empty for SD
    int classes = 0;
    // Pixels of class c.
    std::vector<int32_t> pixelsOf(int c) const;
};

// "SAM Classification" of image against classes: sets every class's Deviation
// to the spread of its training events' angles, then classifies every pixel;
// with sigma >= 0 a class takes a pixel only within sigma times its Deviation.
// Throws OrvalaError naming a class without events or of another length.
// Nothing is classified without classes.
ClassMap SamClassification(TData& image, const std::vector<TData*>& classes, double sigma, TMultiThread* pool);

// "SD Classification" of image against the classes' unit mean spectra.
ClassMap SdClassification(TData& image, const std::vector<TData*>& classes, TMultiThread* pool);

// One child of image per class (reference count 0, not yet in a list), named
// and coloured like the class and holding exactly its pixels; for SAM maps
// the child's Deviation is AngleDeviation of its pixels' angles.
std::vector<TData*> MakeClassResults(TData& image, const std::vector<TData*>& classes, const ClassMap& map);

}  // namespace orvala
