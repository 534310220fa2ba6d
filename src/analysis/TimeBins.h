#pragma once
// The time plot below the window: events binned by the rounded value of an
// ordering parameter (usually acquisition time), the mean of each plotted
// parameter per bin, and the Gaussian smoothing of the resulting curves.
// Works on a row-major events x parameters block; no data model, no Qt.
#include <cstdint>
#include <string>
#include <vector>

namespace orvala {

class TMultiThread;

// Bins beyond this many are refused: an ordering parameter in raw clock
// ticks would otherwise exhaust memory.
constexpr int64_t TimePlotMaxBins = 10'000'000;
// The smoothing limit follows the longest curve, up to this many points.
constexpr int TimePlotMaxPoints = 90000;

struct TimeBins {
    int64_t lo = 0;  // rounded smallest X: the value of bin 0
    // One curve per requested Y column, in request order: bins() values each,
    // the mean of the Y values that fell in the bin, 0 for an empty bin.
    std::vector<std::vector<double>> means;
    int64_t bins() const { return means.empty() ? 0 : int64_t(means.front().size()); }
};

// Bins the events of a rows x cols block by round(x) (halves to even) of
// column xcol and averages the columns ycols per bin. Events with a
// non-finite X are left out of every curve, a non-finite Y only out of its
// own. Throws OrvalaError naming `name` when no event has a finite X or when
// the range would need more than TimePlotMaxBins bins. The curves are
// computed one per worker of pool (may be null); each is the sequential sum.
TimeBins binByTime(const double* data, int rows, int cols, int xcol, const std::vector<int>& ycols,
                   const std::string& name, TMultiThread* pool = nullptr);

// The title of a curve: the parameter name alone while the window has one
// page, prefixed with the data set's short name and ":" otherwise.
std::string timeSeriesTitle(int pages, const std::string& shortName, const std::string& parameter);

// The largest sigma the smoothing offers for curves of up to maxpoints
// points (at most TimePlotMaxPoints): maxpoints / 3 - 1, and at least 1 so
// that the kernel never degenerates when nothing is plotted.
int timePlotSigmaMaximum(int64_t maxpoints);

// The Gaussian kernel of width sigma (> 0): 2h + 1 taps for k = -h..h with
// h = round(3 sigma), summing to 1.
std::vector<double> gaussianKernel(double sigma);

// True when a curve of n points can be smoothed with sigma: n >= 3 sigma + 1,
// so that the mirrored ends exist.
bool canSmooth(int64_t n, int sigma);
// "The Sigma should be less then " followed by n / 3.
std::string smoothingRefusal(int64_t n);

// The curve convolved with gaussianKernel(sigma), extended at both ends by
// mirroring without repeating the end points. Throws OrvalaError with
// smoothingRefusal when the curve is too short. Long curves are split over
// pool (may be null); every point is computed as the sequential loop does.
std::vector<double> gaussianSmooth(const std::vector<double>& y, int sigma, TMultiThread* pool = nullptr);

// Smooths the curves in order; at the first one that is too short, stops
// and returns its refusal text (the ones before it stay smoothed). An empty
// text when all were smoothed.
std::string smoothCurves(std::vector<std::vector<double>*> curves, int sigma, TMultiThread* pool = nullptr);

}  // namespace orvala
