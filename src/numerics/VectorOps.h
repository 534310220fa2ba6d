#pragma once
// Small vector helpers shared by the analyses.
#include <cstddef>

#include "Matrices.h"

namespace orvala {

// +1 for positive numbers and for 0, -1 for negative ones.
inline double Sgn(double x) { return x < 0 ? -1.0 : 1.0; }
// sqrt(a^2 + b^2) without overflow or destructive underflow of the squares.
double Pythag(double a, double b);

// Dot product over the shorter of the two lengths.
double DotProduct(const TVector& a, const TVector& b);
// Euclidean norm.
double Norm(const TVector& v);
// Divides every element by the Euclidean norm; a vector of norm 0 stays as it is.
void Normalize(TVector& v);
// Same on n values in place.
void Normalize(double* v, int n);
double SumVector(const TVector& v);
// a - b element-wise over a's length (missing elements of b count as 0).
TVector SubtractVector(const TVector& a, const TVector& b);
// factor * v as a new vector.
TVector ScaleVector(const TVector& v, double factor);
// Index of the largest element of v[Lb..Ub] (the first one among equals); -1 when the range is empty.
int MaxIndex(const TVector& v, int Lb, int Ub);
// Value of the largest element of v[Lb..Ub]; the range must not be empty.
double MaxElement(const TVector& v, int Lb, int Ub);
// Number of true elements.
int CountTrue(const TBoolVector& v);
// Transpose of a rectangular matrix (rows of equal length).
TMatrix Transpose(const TMatrix& a);
// Smallest and largest finite value of v[0..n); false (lo, hi untouched) when none.
bool FiniteRange(const double* v, size_t n, double& lo, double& hi);

}  // namespace orvala
