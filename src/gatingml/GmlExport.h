#pragma once
// The workbench's gate tree written as a Gating-ML document. Only what the
// standard expresses exactly is written: a gate it cannot express (a direction
// mixing parameters, a PCA, list or picture gate, an axis shown on the
// reader's logarithmic display scale) is refused with a message naming it.
#include <string>
#include <vector>

#include "GmlDocument.h"

namespace orvala {

class TData;
struct SavedGateTree;

// How one column of the workbench's values relates to the FCS scale that
// Gating-ML gates refer to: workbench value = factor * FCS value. refusal says
// why no such factor exists (the column is compensated or display-mapped); a
// gate on such a column is refused with it.
struct GmlAxis {
    std::string name;
    double factor = 1;
    std::string refusal;
};

// The axes of a root data set's columns, from the keywords and reader settings
// of the FCS data set it was read from ($PnG, $PnE, spillover, display mapping).
// Columns of a data set not read from FCS are taken as they are.
std::vector<GmlAxis> WorkbenchAxes(const TData& root);

// The gates of tree as a validated document: projection gates on single
// parameters become polygon (2-D) and rectangle (1-D, both ends inclusive)
// gates on fcs-dimensions, lin->log axes the fasinh transform equal to
// 111 asinh, inverse gates a not of their region, nested gates parent
// references. axes describes the base the tree was saved from (matched by name
// when the tree has names, else by position). Throws GmlError naming the gate
// that cannot be written exactly.
GmlDocument GateTreeToGatingMl(const SavedGateTree& tree, const std::vector<GmlAxis>& axes);

// The document as Gating-ML 2.0 XML (UTF-8, CR LF line ends).
std::string WriteGatingMl(const GmlDocument& doc);

// Writes the gate tree under base as a Gating-ML file, with the axes of the
// root it was gated from (base itself when it is not a gate's data set). The
// file is written to "<file>.part" and renamed over the file, so a refusal or
// a failed write leaves an earlier file as it was. Throws GmlError naming the
// gate that cannot be written exactly, OrvalaError "Can not create file:
// <name>" when the file cannot be written.
void ExportGatingMlFile(const TData& base, const std::string& filename);

}  // namespace orvala
