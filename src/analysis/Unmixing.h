#pragma once
// Spectral unmixing: every event is a measured spectrum (one value per chosen
// detector) fitted by a few reference spectra, by least squares or by
// non-negative least squares. The normal matrix of the references is the same
// for every event, so it is checked and factored once per data set; events are
// then independent and split over the worker pool.
#include <memory>
#include <string>
#include <cstdint>
#include <vector>

#include "core/DataMatrix.h"
#include "numerics/Matrices.h"

namespace orvala {

class TData;
class TMultiThread;

// What the user is told when the references cannot be told apart: dependent
// spectra, more spectra than channels, or a matrix too ill-conditioned to invert.
inline const char* const MatNotOkText = "Mat not OK";

// Inverse of the square matrix A, or false when A is singular or so badly
// conditioned (after scaling rows and columns to a unit diagonal) that the
// inverse carries no digits worth using. Ainv is only written on success.
bool ConditionedInverse(const TMatrix& A, TMatrix& Ainv);

// Least-squares fit of spectra by k reference spectra (Components, k rows of
// spacedim values). Construction throws OrvalaError(MatNotOkText) when the
// components are empty, of unequal lengths, more than spacedim, or dependent.
// Not safe to share between threads (working vectors and the cache of
// sub-problems live in the object); copy it for each worker.
class TProjectionDecomposition {
public:
    explicit TProjectionDecomposition(const TMatrix& aComponents);
    static std::unique_ptr<TProjectionDecomposition> Create(const TMatrix& aComponents)
    {
        return std::make_unique<TProjectionDecomposition>(aComponents);
    }

    // Unconstrained fit: C (Rangedim values) from Y (spacedim values), through
    // the orthonormal basis V and Uinv.
    void Project(const double* Y, double* C);
    // Non-negative fit (Lawson-Hanson from the start the dropping rule gives:
    // the unconstrained fit, then again without the non-positive amounts until
    // none is left). Every amount is >= 0, and the Karush-Kuhn-Tucker
    // conditions hold: the residual's gradient is <= 0 on the zero amounts and
    // 0 on the others. A Y with a non-finite value gives NaN amounts. Status 0,
    // or MatNonConv when the iteration limit ran out (C then holds the last
    // feasible point).
    int Decompose(const double* Y, double* C);
    int Decompose(const TVector& Y, TVector& C);

    // Number of sub-problems in the cache (one per set of kept spectra met so far).
    int CachedSets() const { return cachedSets_; }

    TMatrix Components;
    TMatrix V;     // orthonormal basis of the span, Rangedim rows
    TMatrix Uinv;  // inverse of U[i][j] = <Components[j], V[i]>
    TVector T;     // working projections
    int Rangedim = 0;
    int spacedim = 0;

private:
    // Returns the cache slot holding the factor of the kept set, computing it
    // on a miss. The cache is direct-mapped: a fixed block of slots chosen by
    // a hash of the set, so a miss costs one small factorisation and never an
    // allocation, and memory stays bounded whatever the data.
    int slotFor(const std::vector<uint8_t>& kept);
    // z := least-squares amounts with only the kept spectra (0 elsewhere).
    void solveKept(const std::vector<uint8_t>& kept, double* z);

    std::vector<double> St_;  // Components transposed, spacedim x k row-major
    std::vector<double> M_;   // normal matrix k x k
    std::vector<double> r_;   // S y of the current event
    std::vector<double> x_, z_, w_;
    std::vector<uint8_t> kept_, excluded_;
    std::vector<uint64_t> key_;  // the kept set as bits
    int words_ = 0;              // 64-bit words per key
    int slots_ = 0;              // a power of two
    std::vector<uint64_t> slotKey_;  // slots_ x words_
    std::vector<uint8_t> slotUsed_;
    std::vector<int> slotCount_;     // kept spectra of the slot's set
    std::vector<int> slotIndex_;     // slots_ x k: their indices
    // slots_ x k x k: Cholesky factor of the normal matrix restricted to them
    std::vector<double, DefaultInitAllocator<double>> slotChol_;
    int cachedSets_ = 0;
};

// The pseudo-inverse of the reference spectra DieSpecs (k rows of m values):
// row a holds the weights that turn an event's m chosen values into amount a.
// Throws OrvalaError(MatNotOkText) when the normal matrix is singular or ill-posed.
TMatrix LeastSquaresWeights(const TMatrix& DieSpecs);

// The events of a row-major block (rows x stride values) unmixed into out:
// event e's m chosen values are src[e * stride + columns[p]], p = 0..m-1 (m =
// DieSpecs' row length), and its k amounts go to out[e * outStride + j].
// NonNegative selects the method. Work is split over pool (null: this thread);
// the result is the same whatever the split. Throws OrvalaError(MatNotOkText)
// before writing anything when the references are singular or ill-posed.
void UnmixRows(const double* src, int rows, int stride, const int* columns, const TMatrix& DieSpecs, bool NonNegative,
               double* out, int outStride, TMultiThread* pool);

// The unmixing result of dat: a new data set (reference count 0) with one
// event per source event and one parameter per row of DieSpecs, named "Par 1"
// ... "Par k", child of dat (link[j] = j); checkedlist has one flag per
// parameter of dat, and DieSpecs' rows hold the spectra at the flagged
// channels, in channel order. With no spectra or a checkedlist of the wrong
// length the values stay 0. Throws OrvalaError(MatNotOkText) and builds
// nothing when the spectra cannot be separated.
TData* GaussDecomposition(TData& dat, const TMatrix& DieSpecs, const TBoolVector& checkedlist, bool NonNegative,
                          TMultiThread* pool, const std::string& name = std::string());
// The same with the events' values taken from values (dat's rows and columns)
// instead of dat.data.
TData* GaussDecomposition(TData& dat, const DataMatrix& values, const TMatrix& DieSpecs, const TBoolVector& checkedlist,
                          bool NonNegative, TMultiThread* pool, const std::string& name = std::string());

}  // namespace orvala
