#pragma once
// The computation behind the plot window's "PCA" button: a new projection
// filter for the data set, every event through it, the analysis, and the
// results stored back into the filter.
#include <memory>

#include "TPca.h"
#include "numerics/Matrices.h"

namespace orvala {

class TData;
class MessageSink;
class TMultiThread;

struct PcaRequest {
    TIntVector params;       // checked parameter indices (0-based); used in ascending order
    bool hyper = false;      // "HyperSpherical"
    bool normalize = false;  // "Normalize "
    int matrixType = TPca::Covariation;
    int algorithm = TPca::QL;
};

// Runs the analysis on data. Shows "PCA needs at least two parameters",
// "PCA in Hyperspherical coordinates needs at least 3 parameters" or "Void
// data file" through sink and returns null, changing nothing, when the request
// cannot run. Otherwise replaces data.filter (PCAType = matrixType, means,
// deviations and eigenvectors of the analysis) and returns the analysis with
// Parnames filled: "PHI0", "PHI1", ... in hyperspherical mode, else the names
// of the parameters. A failed eigen-decomposition still replaces the filter
// (with no eigenvectors); its message went through sink.
std::unique_ptr<TPca> DoPCA(TData& data, const PcaRequest& request, MessageSink& sink, TMultiThread* pool);

}  // namespace orvala
