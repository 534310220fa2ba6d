#pragma once
// Dense linear solves with full pivoting. Status 0 on success, -1 when a pivot's
// magnitude falls below machine epsilon (the outputs are then unusable).
#include "Matrices.h"

namespace orvala {

constexpr double MachEp = 2.220446049250313e-16;  // 2^-52, the singularity threshold
constexpr int MatOk = 0;
constexpr int MatSingul = -1;
constexpr int MatNonConv = -2;

// Solves A.X = B on rows and columns Lb..Ub. A_inv, X and Det are outputs;
// A and B are not changed. Elements outside Lb..Ub of the outputs are copies of the inputs.
int GaussJordan(const TMatrix& A, const TVector& B, int Lb, int Ub, TMatrix& A_inv, TVector& X, double& Det);
// Inverse of A on Lb..Ub.
int InvMat(const TMatrix& A, int Lb, int Ub, TMatrix& A_inv);

}  // namespace orvala
