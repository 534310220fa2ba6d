#pragma once
// Protocol files (".orp"): the gate tree under one data set, saved so that the
// same gating strategy can be replayed on other data sets.
//
// Version 2 files hold, after the version, the parameter names of the data set
// the tree was saved from; replaying maps every gate onto the target's columns
// by those names, so a file whose parameters come in another order is gated
// on the same channels. Version 1 files (no names) replay by position.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvala {

class MessageSink;
class TData;
class TDataList;
class TGate;

constexpr int32_t ProtocolVersionByPosition = 1;
constexpr int32_t ProtocolVersionByName = 2;

// One gate of a saved tree: depth 0 is applied to the base data set, depth
// d + 1 to the data set the nearest earlier gate of depth d made.
struct SavedGate {
    int depth = 0;
    std::unique_ptr<TGate> gate;
};

// A gate tree as read from a protocol (or a workspace): depth-first records
// and, when they are to be matched by name, the base's parameter names.
struct SavedGateTree {
    bool byName = false;
    std::vector<std::string> names;  // parameter names of the base it was saved from (byName only)
    std::vector<SavedGate> gates;
    bool damaged = false;  // reading stopped at a damaged record; gates holds those before it
};

// The outcome of replaying a tree on one data set.
struct ReplayResult {
    std::vector<TData*> made;       // new data sets, in record order
    std::vector<TData*> perRecord;  // one entry per record: its data set, or null when none was made
    std::vector<std::string> missingNames;  // saved names the target lacks, each once, in saved order
    std::vector<std::string> refusedGates;  // names of the gates refused for missing names
};

// Writes the gates of base's offspring, depth-first, to filename as a
// version 2 protocol. The file is written beside the target and renamed over
// it only when complete, so a failed save never destroys an earlier protocol.
// Kids without a gate (results of transforms) and their subtrees are left
// out: there is nothing to replay.
// Throws OrvalaError "Can not create file: <name>" on failure.
void SaveProtocol(TData& base, const std::string& filename);

// The records of the gate tree under base (as SaveProtocol writes them), with
// base's parameter names.
SavedGateTree CollectGateTree(const TData& base);

// Reads a protocol file. A file that is not a protocol throws "File <name> is
// not protocol file", a wrong first depth "Error in protocol file", a file too
// short for its version "Stream Read Error", a version 2 file whose names are
// cut "Protocol file <name> is damaged: its parameter names are cut". A
// damaged record after the names ends the reading: damaged is set and the
// records before it are kept.
SavedGateTree ReadProtocol(const std::string& filename);

// Applies tree to base: every gate is applied with Gated under the data set
// its depth names, and each new data set is added to workspace. With byName,
// every gate's parameter vectors, channel list and filter indices are mapped
// from the saved names to base's columns (trimmed, case-insensitive); a gate
// that uses a name the target lacks is refused with its subtree.
ReplayResult ReplayGateTree(TData& base, const SavedGateTree& tree, TDataList& workspace);

// Reads and replays the protocol in filename on base; returns the new data
// sets in file order. Errors of ReadProtocol are thrown before anything is
// made. What was made stays in any case; sink gets one message when the file
// is damaged ("Protocol file <name> is damaged; <k> gates were applied") and
// one listing the parameter names base lacks.
std::vector<TData*> LoadProtocol(TData& base, const std::string& filename, TDataList& workspace);
std::vector<TData*> LoadProtocol(TData& base, const std::string& filename, TDataList& workspace, MessageSink& sink);

// The texts LoadProtocol gives the sink.
std::string DamagedProtocolMessage(const std::string& filename, int applied);
std::string MissingNamesMessage(const std::string& source, const TData& target, const ReplayResult& result);

}  // namespace orvala
