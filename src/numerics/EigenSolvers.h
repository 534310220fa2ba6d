#pragma once
// Eigen-decomposition of symmetric matrices: the Jacobi method, and Householder
// tridiagonalisation followed by QL with implicit shifts. Status 0 on success,
// -2 (MatNonConv) when the iteration limit was reached; the results are then unusable.
#include <functional>
#include <string>

#include "GaussJordan.h"
#include "Matrices.h"

namespace orvala {

// Receives a message meant for the user (the caller decides how to show it).
using NumericsReport = std::function<void(const std::string&)>;

// Shown when QL needs more than 30 iterations for one eigenvalue.
inline constexpr const char* NoConvergenceTLQI = "No convergence in TLQI.";

// Jacobi method on rows and columns Lb..Ub of the symmetric matrix A; only its
// upper triangle is read, and A is destroyed. Lambda gets the eigenvalues in
// descending order and the columns of V the eigenvectors, each with a
// non-negative first component (row Lb). Both are sized to Ub + 1; elements
// outside Lb..Ub are left as they were (0 for new ones).
// Stops when |1 - Total/Diag| < Tol (the share of the squares still off the
// diagonal), or when the largest off-diagonal element is 0 or lost in the
// rounding of the largest diagonal element: an already diagonal matrix thus
// needs no rotation, and Tol = 0 iterates to full precision.
// Status -2 when more than MaxIter rotations were needed.
int Jacobi(TMatrix& A, int Lb, int Ub, int MaxIter, double Tol, TVector& Lambda, TMatrix& V);

// Reduces the n x n symmetric matrix A to tridiagonal form; A is replaced by
// the orthogonal transform, d gets the diagonal and e the off-diagonal
// (e[i] couples i - 1 and i, e[0] = 0).
void Householder(TMatrix& A, int n, TVector& d, TVector& e);

// QL with implicit shifts on the tridiagonal matrix (d, e) from Householder.
// d becomes the eigenvalues (unsorted) and the columns of Z, the transform
// from Householder, the eigenvectors. e is destroyed. After 30 iterations on
// one eigenvalue, report gets NoConvergenceTLQI and the routine returns -2 at
// once, leaving d and Z as they are.
int TLQI(TVector& d, TVector& e, int n, TMatrix& Z, const NumericsReport& report = {});

}  // namespace orvala
