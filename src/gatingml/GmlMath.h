#pragma once
// Small dense linear algebra for gate and compensation matrices.
#include <vector>

namespace orvala {

struct GmlSpectrumMatrix;

// The inverse of the row-major n x n matrix m; empty when m is singular or the
// result is not finite.
std::vector<double> InverseOf(const std::vector<double>& m, int n);

// The row-major detectors x fluorochromes matrix P with fluorochrome values = detector
// values . P. A square spectrum is inverted; with more detectors than fluorochromes
// this is the least-squares solution S'(S S')^-1; an inverted-already matrix is
// taken as it is. Empty when the matrix cannot be solved.
std::vector<double> ProjectionOf(const GmlSpectrumMatrix& m);

}  // namespace orvala
