#pragma once
// Mean spectra and value distributions of data sets: the numbers behind the
// "Average", "Normalized Average" and "Distribution" windows, the data
// calculator and the image window's quick view.
//
// Means and deviations are taken per parameter over the finite values of an
// event range (NaN and infinities, which real instruments do produce, are
// left out instead of turning the whole channel into NaN). A parameter with
// no finite value in the range, and every parameter of a data set without
// events, gets mean 0 and deviation 0. Sums run over fixed blocks of events in
// order, and the block sums are added in block order; the worker pool takes
// whole blocks, so the result equals the sequential loop bit for bit.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "numerics/Matrices.h"
#include "plot/Histogrm.h"

namespace orvala {

class TData;
class TMultiThread;

// Gain correction of the 32 detector channels of the spectral instrument,
// applied per parameter index while a data set's Compensate flag is set.
extern const std::array<double, 32> DetectorCorrection;
// Centre wavelength (nm) of each of the 32 detector channels.
extern const std::array<double, 32> ChannelWavelengths;

// The correction of parameter j: the table's entry for the first 32
// parameters, 1.0 beyond them (the table knows only 32 detectors).
double CorrectionFactor(int j);

// Mean of every parameter over events start..stop inclusive; start = stop = 0
// means all events. The range is clamped to the data set as in the form with
// deviations. Corrected when the data set's Compensate flag is set.
TVector Average(const TData& d, int start, int stop, TMultiThread* pool = nullptr);

// Mean and standard deviation (divisor n - 1) of every parameter over events
// start..stop inclusive, after clamping start to 0..N-1 and stop to
// start..N-1. With Compensate set both are those of the corrected values
// (the deviation is taken about the corrected mean). A one-event range has
// deviation 0. Both vectors have one entry per parameter.
// With sums that fit d, the kept block sums are used (the result is the same).
class AverageSums;
TVector Average(const TData& d, TVector& dev, int start, int stop, TMultiThread* pool = nullptr,
                const AverageSums* sums = nullptr);

// Column sums of a data set over fixed blocks of AverageBlockRows events,
// kept for repeated averages over changing ranges (the Average window's range
// slider): after one pass to build them, a range costs its two partial end
// blocks plus one addition per block and parameter instead of a pass over
// every event in it. Every average, with or without these sums, adds its
// events block by block in event order and then the block sums in block
// order, so the results with and without them are the same bit for bit.
inline constexpr int AverageBlockRows = 4096;
class AverageSums {
public:
    AverageSums() = default;
    AverageSums(const TData& d, TMultiThread* pool = nullptr);
    // True while d is the data set these sums were built from, with the same
    // events, parameters and modification count.
    bool fits(const TData& d) const;

private:
    friend struct AverageSumsAccess;
    const TData* data_ = nullptr;
    const double* values_ = nullptr;
    int rows_ = -1, cols_ = -1, modified_ = 0;
    TVector shift_;                 // per parameter
    std::vector<double> s1_, s2_;   // [block * cols + parameter], whole blocks only
    std::vector<int64_t> count_;
};

// The curve of the Average window: one point per parameter (x = index), or,
// with phq on a data set of at least 32 parameters, one point per detector
// channel at its wavelength.
struct AverageCurve {
    TVector x;
    TVector y;    // means
    TVector err;  // deviations
};
AverageCurve AverageCurveOf(const TData& d, int start, int stop, bool phq, TMultiThread* pool = nullptr,
                            const AverageSums* sums = nullptr);

// Histogram (at most 1024 bins) of every finite value of the data set, all
// events and parameters together.
Thistogram Distribution(const TData& d);

// A number as the mean-spectrum text files hold it: 23 characters, a sign
// position (blank or '-'), one digit, '.', 14 digits, 'E', the exponent's
// sign and four exponent digits: pi is " 3.14159265358979E+0000". Rounded to
// nearest, halves to even; "." whatever the locale. NaN and infinities are
// written as "NAN", "INF" and "-INF", right-aligned in the same width.
std::string FormatSci23(double v);

// One series of the Average window's chart, as the text file lists it.
struct TextSeries {
    std::string title;
    TVector x;
    TVector y;
};
// The text file's contents: per series its title on a line, then one line
// per point with x and y in FormatSci23, lines ended with CR LF.
std::string AverageText(const std::vector<TextSeries>& series);
// Writes AverageText to path, replacing the file; throws OrvalaError naming
// the file when it cannot be written.
void SaveAverageText(const std::string& path, const std::vector<TextSeries>& series);

}  // namespace orvala
