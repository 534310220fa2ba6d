#pragma once
// Projection filter: turns one event into the vector a plot projects onto
// principal components. Owned by a data set, a PCA gate or a plot template;
// copied, never shared.
#include <memory>

#include "numerics/Matrices.h"

namespace orvala {

class TDataFilter {
public:
    TIntVector FIndices;  // parameter indices taken from an event; empty = all
    TVector FOutput;      // working buffer, length of FIndices; stored with the filter
    bool Normalized = false;
    bool Hyper = false;
    bool Includer = false;
    int32_t PCAType = -1;  // -1/2 none, 0 subtract mean and divide by deviation, 1 subtract mean
    TVector FMean;
    TVector FDeviation;
    TMatrix Fevects;  // eigenvectors as rows
};

}  // namespace orvala
