#pragma once
// The display transform a parameter gets before anybody chooses one. A
// parameter the file marks as logarithmic gets a logicle whose linear zone is
// just wide enough for the negative spread of its data (compensation and
// unmixing scatter dim populations around 0); every other parameter is shown
// linearly.
//
// The rule, for a logarithmic parameter with range R ($PnR, 0 when absent):
//   T = R when R > 0, else the largest finite data value;
//   M = 4.5, A = 0;
//   W = (M - log10(T / |r|)) / 2 clamped to [0, M/2], with r the 5th
//       percentile of the negative values (W = 0 when there are none).
// Non-finite values are ignored throughout. A parameter without a positive T
// (no range and no positive value) is shown linearly.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "transforms/DisplayTransform.h"

namespace orvala {

class TMultiThread;

inline constexpr double kDefaultLogicleM = 4.5;

// What the file says about one parameter. The reader decides `logarithmic`
// ($PnDISPLAY / $PnD LOG, or $PnE decades > 0; not for scatter parameters).
struct ParameterScaleHint {
    bool logarithmic = false;
    double range = 0;  // $PnR; 0 when absent
};

// The part of a column's distribution the default needs.
struct NegativeTail {
    double maximum = -std::numeric_limits<double>::infinity();  // largest finite value
    int64_t negatives = 0;                                       // finite values below 0
    // The 5th percentile of the negative values, interpolated linearly between
    // order statistics (numpy's default: rank 0.05 (n - 1) from the most
    // negative); NaN when there are none.
    double fifthPercentile = std::numeric_limits<double>::quiet_NaN();
};

// NegativeTail of each column of the row-major events x parameters matrix
// whose flag in `columns` is set (an empty list means every column; the list
// is otherwise one flag per parameter). Columns not asked for are left at
// their defaults. One pass over the matrix, split over pool when given; the
// percentile is found by selection among the most negative values only, so
// the result is the same for any pool and any order of events.
std::vector<NegativeTail> NegativeTails(const double* values, size_t events, size_t parameters,
                                        const std::vector<bool>& columns, TMultiThread* pool = nullptr);

// The W of the rule above for a given T and M; 0 when fifthPercentile is NaN
// or not negative.
double LogicleWidthFromTail(double T, double M, double fifthPercentile);

// The default of one parameter from its hint and its tail (see the rule).
DisplayTransform DefaultDisplayTransform(const ParameterScaleHint& hint, const NegativeTail& tail);

// The defaults of every parameter of a row-major events x parameters matrix
// (hints has one entry per parameter), scanning only the logarithmic ones.
std::vector<DisplayTransform> DefaultDisplayTransforms(const double* values, size_t events, size_t parameters,
                                                       const std::vector<ParameterScaleHint>& hints,
                                                       TMultiThread* pool = nullptr);

// The default of one parameter whose values are column[0], column[stride],
// ... (events of them): one column of a row-major matrix.
DisplayTransform DefaultDisplayTransform(const ParameterScaleHint& hint, const double* column, size_t events,
                                         size_t stride, TMultiThread* pool = nullptr);

}  // namespace orvala
