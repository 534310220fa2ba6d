#pragma once
// The drawing paths of the closed-form display transforms: eight values at a
// time through the project's own decimal logarithm, whose lanes give exactly
// the bits of its scalar form, so a value's result never depends on where it
// lies in a run or on how the run was split over workers.
#include <cstddef>

namespace orvala {

// log10(x / T) / M + 1 where that is above 0, else 0 (x <= 0 included); NaN
// for NaN, infinity for infinity. For M <= 300 only: beyond, a quotient below
// the normal doubles can still lie above 0 on the scale.
void LogFastValues(const double* x, double* y, size_t n, double T, double M);
// Bound on |LogFastValues - the same through std::log10|.
double LogFastError(double M);

// asinh(x scale), odd, for every x (+-infinity and NaN included).
void AsinhFastValues(const double* x, double* y, size_t n, double scale);
// Bound on |AsinhFastValues - std::asinh(x scale)|.
double AsinhFastError();

}  // namespace orvala
