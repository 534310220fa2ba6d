#pragma once
// Principal component analysis of a matrix of events x columns.
#include <memory>

#include "CrossProducts.h"
#include "core/DataMatrix.h"
#include "numerics/Matrices.h"

namespace orvala {

class MessageSink;
class TMultiThread;

class TPca {
public:
    // The analysed matrix (the items of the plot panel's "MatrixType" group).
    enum Option { Correlation = 0, Covariation = 1, CrossProducts = 2 };
    // The eigen-solver (the "Algorithm" group of the options dialog).
    enum Algorithm { QL = 0, Jacobi = 1 };

    // Tolerance and rotation limit handed to the Jacobi method.
    static constexpr double JacobiTolerance = 1.4901161193847656e-08;  // sqrt(machine epsilon)
    static constexpr int JacobiMaxIter = 100000;

    // Analyses data (n rows, m columns) with the matrix of option and the
    // solver of algorithm. Fewer than 2 rows: nothing is computed and Count()
    // is 0. The data are read, never changed: centring and scaling are folded
    // into the matrix. The matrix is built on pool when one is given (the
    // result does not depend on the number of workers).
    // Messages through sink: "No convergence in TLQI." and "Too many
    // iterations!" when the eigen-solver fails (then evals, evects and inv stay
    // empty and Count() is 0; cormat, mean and StdDev are kept), "Mat not OK"
    // when the eigenvector matrix cannot be inverted (inv stays empty).
    static std::unique_ptr<TPca> Create(const DataMatrix& data, int option, int algorithm, MessageSink& sink,
                                        TMultiThread* pool = nullptr);
    static std::unique_ptr<TPca> Create(const MatrixView& data, int option, int algorithm, MessageSink& sink,
                                        TMultiThread* pool = nullptr);

    // The analysed matrix of option for data, with mean and StdDev as TPca keeps them.
    // Exposed for tests and for callers that need only the matrix.
    static TMatrix BuildMatrix(const MatrixView& data, int option, TMultiThread* pool, TVector& mean, TVector& StdDev);

    int Count() const { return int(evects.size()); }

    // Each eigenvalue's share of their sum in percent, and the running total
    // of the shares (the "Pecent" and "Cum Percent" rows of the result
    // table). Both empty when the eigenvalues sum to 0.
    void EigenvalueShares(TVector& percent, TVector& cumulative) const;

    TVector evals;      // eigenvalues, largest first
    TVector mean;       // column means (empty for "Cross-Products")
    TVector StdDev;     // scaling deviations ("Correlation" only)
    TMatrix evects;     // row i: unit eigenvector i, components summing to >= 0
    TMatrix cormat;     // the analysed matrix
    TMatrix inv;        // inverse of evects
    TStrVector Parnames;  // names of the input columns, filled by the caller
    int option = Covariation;
    int algorithm = QL;
    int status = 0;  // 0, or -2 when the eigen-solver failed
};

}  // namespace orvala
