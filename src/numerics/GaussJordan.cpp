#include "GaussJordan.h"

#include <cmath>
#include <utility>
#include <vector>

namespace orvala {

namespace {

// One routine for both entry points; X and Det are skipped when withRhs is false.
int gaussJordanCore(const TMatrix& A, int Lb, int Ub, TMatrix& Ai, TVector* X, double* Det)
{
    Ai = A;
    if (Det) *Det = 1.0;
    if (Ub < Lb) return MatOk;
    const int n = Ub - Lb + 1;
    std::vector<int> pivRow(static_cast<size_t>(n)), pivCol(static_cast<size_t>(n));
    std::vector<long double> mult(size_t(Ub) + 1);

    for (int k = Lb; k <= Ub; ++k) {
        int r = k, c = k;
        double pivot = Ai[size_t(k)][size_t(k)];
        for (int i = k; i <= Ub; ++i)
            for (int j = k; j <= Ub; ++j)
                if (std::fabs(Ai[size_t(i)][size_t(j)]) > std::fabs(pivot)) {
                    pivot = Ai[size_t(i)][size_t(j)];
                    r = i;
                    c = j;
                }
        pivRow[size_t(k - Lb)] = r;
        pivCol[size_t(k - Lb)] = c;
        if (std::fabs(pivot) < MachEp) return MatSingul;
        if (Det) {
            *Det *= pivot;
            if (r != k) *Det = -*Det;
            if (c != k) *Det = -*Det;
        }
        if (r != k) {
            for (int j = Lb; j <= Ub; ++j) std::swap(Ai[size_t(r)][size_t(j)], Ai[size_t(k)][size_t(j)]);
            if (X) std::swap((*X)[size_t(r)], (*X)[size_t(k)]);
        }
        if (c != k)
            for (int i = Lb; i <= Ub; ++i) std::swap(Ai[size_t(i)][size_t(c)], Ai[size_t(i)][size_t(k)]);

        for (int i = Lb; i <= Ub; ++i) {
            mult[size_t(i)] = Ai[size_t(i)][size_t(k)];
            Ai[size_t(i)][size_t(k)] = (i == k) ? 1.0 : 0.0;
        }
        const long double p = pivot;
        for (int j = Lb; j <= Ub; ++j) Ai[size_t(k)][size_t(j)] = double(Ai[size_t(k)][size_t(j)] / p);
        if (X) (*X)[size_t(k)] = double((*X)[size_t(k)] / p);
        for (int i = Lb; i <= Ub; ++i) {
            if (i == k) continue;
            const long double m = mult[size_t(i)];
            if (m == 0) continue;
            for (int j = Lb; j <= Ub; ++j)
                Ai[size_t(i)][size_t(j)] = double(Ai[size_t(i)][size_t(j)] - m * Ai[size_t(k)][size_t(j)]);
            if (X) (*X)[size_t(i)] = double((*X)[size_t(i)] - m * (*X)[size_t(k)]);
        }
    }
    for (int k = Ub; k >= Lb; --k) {
        const int c = pivCol[size_t(k - Lb)];
        if (c != k) {
            for (int j = Lb; j <= Ub; ++j) std::swap(Ai[size_t(c)][size_t(j)], Ai[size_t(k)][size_t(j)]);
            if (X) std::swap((*X)[size_t(c)], (*X)[size_t(k)]);
        }
    }
    for (int k = Ub; k >= Lb; --k) {
        const int r = pivRow[size_t(k - Lb)];
        if (r != k)
            for (int i = Lb; i <= Ub; ++i) std::swap(Ai[size_t(i)][size_t(r)], Ai[size_t(i)][size_t(k)]);
    }
    return MatOk;
}

}  // namespace

int GaussJordan(const TMatrix& A, const TVector& B, int Lb, int Ub, TMatrix& A_inv, TVector& X, double& Det)
{
    X = B;
    return gaussJordanCore(A, Lb, Ub, A_inv, &X, &Det);
}

int InvMat(const TMatrix& A, int Lb, int Ub, TMatrix& A_inv) { return gaussJordanCore(A, Lb, Ub, A_inv, nullptr, nullptr); }

}  // namespace orvala
