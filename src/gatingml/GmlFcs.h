#pragma once
// FCS values on the scale Gating-ML gates refer to: $PnE decoded, $PnG gain
// divided out of linear parameters, time as stored. This is not the reader's
// display mapping, which is what the workbench plots.
#include <string>
#include <vector>

#include "GmlEvaluator.h"
#include "core/DataMatrix.h"
#include "core/Messages.h"

namespace orvala {

class TPreText;
class TMultiThread;

struct GmlFcsData {
    std::vector<std::string> names;  // $PnN
    DataMatrix values;               // events x parameters, FCS scale
    std::vector<std::string> spillNames;
    std::vector<double> spillover;
    std::string spillProblem;
    // A view of these values for EvaluateGatingMl; valid while this object lives.
    GmlEvents Events() const;
};

// Converts raw values (as TDataSet::ReadValues leaves them: one column per
// parameter of keywords) to the FCS scale in place and reads the spillover
// keyword. Throws GmlError when a logarithmic parameter has no usable $PnR.
GmlFcsData FcsScaleValues(const TPreText& keywords, DataMatrix raw);

// Reads data set datasetnum (0-based) of an FCS file onto the FCS scale;
// throws an OrvalaError naming the file when it cannot be read.
GmlFcsData ReadFcsScaleValues(const std::string& path, TMultiThread* pool = nullptr,
                              MessageSink& sink = defaultSink(), int datasetnum = 0);

}  // namespace orvala
