#pragma once
// Hyperspherical coordinates of an event: the radius, then P - 1 angles.
#include <cstddef>

#include "Matrices.h"

namespace orvala {

// atan2 with the program's own conventions at x = 0: 0 for y = 0, -pi/2 for
// y < 0, +pi/2 for y > 0. Otherwise in (-pi, pi]; a negative zero y counts as 0,
// so (-0, -1) gives +pi, not -pi as the C library would.
double ArcTan2(double y, double x);

// Converts x[0..P-1] in place. Position P-1 becomes ArcTan2(x[P-1], x[P-2]);
// position k (P-2 down to 1) becomes ArcTan2(sqrt(x[k]^2 + ... + x[P-1]^2), x[k-1]),
// the sums taken over the values before conversion; position 0 becomes the radius.
// A vector of radius 0 or of one element is left unchanged.
void HyperSpherical(double* x, int P);
// The same on a copy.
TVector HyperSpherical(const TVector& x);
// The same for count rows of P values each, from src into dst (which may be
// src itself); vectorised across rows, with the bits of the call above.
void HyperSphericalRows(const double* src, double* dst, size_t count, int P);

}  // namespace orvala
