#include "VectorMath.h"

namespace orvala::vmath {

double Log10Positive(double x) { return Log10Positive<double>(x); }
double ArcTan(double x) { return ArcTan<double>(x); }

}  // namespace orvala::vmath
