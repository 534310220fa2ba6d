#pragma once
// Gating-ML gates on the workbench: every gate of a document becomes a gated
// data set whose membership the evaluator decides on the file's own values,
// so the gates select what the standard says they select whatever the
// workbench shows. Such a data set follows its parent like any other gate's.
#include <memory>
#include <string>
#include <vector>

#include "GmlDocument.h"

namespace orvala {

class TData;
class TMultiThread;

struct GmlImportResult {
    std::vector<TData*> added;          // the new data sets, every parent before its kids
    std::vector<std::string> notDrawn;  // gates without an outline the workbench can show
};

// Builds the gates of doc under base: gates without a parent reference as
// kids of base, the others under their parent's data set. They are added to
// the workspace (TData::Workspace) in that order. The values gates refer to
// are those of the file base's root was read from (FCS scale), or, for a root
// not read from FCS, the root's own values. The whole document is evaluated
// before anything is added, so an error (a parameter the file lacks, a file
// that cannot be read again) throws and adds nothing.
GmlImportResult ImportGatingMl(TData& base, std::shared_ptr<const GmlDocument> doc, TMultiThread* pool = nullptr);

// The gate's outline in the workbench's coordinates of base's columns, when
// it has one: polygons, 2-D rectangles and ellipses, 1-D rectangles (drawn as
// ranges), on fcs-dimensions that are uncompensated and either not
// transformed or transformed with the fasinh that equals a lin->log axis.
// Fills x, y, cx, cy and the scale flags of out; false when there is none.
class TGate;
bool GmlOutline(const GmlDocument& doc, const GmlGate& gate, const TData& base, TGate& out);

}  // namespace orvala
