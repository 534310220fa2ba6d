#pragma once
// Protocol files (".orp"): the gate tree under one data set, saved so that the
// same gating strategy can be replayed on other data sets.
#include <string>
#include <vector>

namespace orvala {

class TData;
class TDataList;

// Writes the gates of base's offspring, depth-first, to filename. The file is
// written beside the target and renamed over it only when complete, so a
// failed save never destroys an earlier protocol. Kids without a gate (results
// of transforms) and their subtrees are left out: there is nothing to replay.
// Throws OrvalaError "Can not create file: <name>" on failure.
void SaveProtocol(TData& base, const std::string& filename);

// Replays the protocol in filename on base: every gate is applied with Gated
// under the data set its depth names, and each new data set is added to
// workspace. Returns the new data sets in file order. A damaged record ends
// the replay quietly, keeping what was made; a file that is not a protocol
// throws "File <name> is not protocol file", a wrong first depth
// "Error in protocol file", a file too short for its version "Stream Read Error".
std::vector<TData*> LoadProtocol(TData& base, const std::string& filename, TDataList& workspace);

}  // namespace orvala
