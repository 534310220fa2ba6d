#pragma once
// Projection filter: turns one event into the vector a plot projects onto
// principal components. Owned by a data set, a PCA gate or a plot template;
// copied, never shared.
#include <cstdint>
#include <memory>

#include "numerics/Matrices.h"

namespace orvala {

class TDataFilter {
public:
    TIntVector FIndices;  // parameter indices taken from an event; empty = all
    TVector FOutput;      // working buffer, length of FIndices; stored with the filter
    bool Normalized = false;
    bool Hyper = false;
    bool Includer = false;  // with Hyper: keep the radius as the first output element
    int32_t PCAType = -1;   // 0 subtract mean and divide by deviation, 1 subtract mean, else none
    TVector FMean;
    TVector FDeviation;
    TMatrix Fevects;  // eigenvectors as rows

    // A new filter: PCAType -1, everything else empty or false.
    static std::unique_ptr<TDataFilter> Create();
    // A copy of every field; FOutput is rebuilt from the indices.
    std::unique_ptr<TDataFilter> fCopy() const;

    const TVector& Mean() const { return FMean; }
    void setMean(const TVector& mean) { FMean = mean; }
    const TVector& Deviation() const { return FDeviation; }
    void setDeviation(const TVector& deviation) { FDeviation = deviation; }
    const TMatrix& evects() const { return Fevects; }
    void setEvects(const TMatrix& evects) { Fevects = evects; }
    const TIntVector& Indices() const { return FIndices; }
    // Copies the indices and sizes the working buffer to match.
    void setIndices(const TIntVector& indices);
    // Rows of the eigenvector matrix.
    int Count() const { return int(Fevects.size()); }
    // Length of the indices, less one when Hyper drops the radius (never below 0).
    int OutputLength() const;
    // Output length for an event of eventLength values (differs from
    // OutputLength() only when the indices are empty, i.e. all parameters pass).
    int OutputLength(int eventLength) const;
    // Values selected from an event of eventLength values before conversion:
    // the room Pass(row, length, out) needs in out.
    int WorkLength(int eventLength) const;

    // One event (length values) through selection, normalisation, the
    // hyperspherical conversion and centring. Writes the output into out,
    // which must hold WorkLength(length) values, and returns the output
    // length. Uses no member buffer, so several threads may share one filter.
    // An index beyond the event reads 0: a filter loaded from a file may come
    // from a data set with more parameters.
    int Pass(const double* row, int length, double* out) const;
    // The same through the FOutput buffer, for one caller at a time.
    TVector Pass(const double* row, int length);
    TVector Pass(const TVector& input) { return Pass(input.data(), int(input.size())); }
};

}  // namespace orvala
