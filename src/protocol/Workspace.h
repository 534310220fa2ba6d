#pragma once
// Workspace files (".orw"): the data sets opened from files, their whole gate
// trees, names and colours, and the open plot windows, so that a session can
// be saved and taken up again, also after the files and the workspace were
// moved together to another folder. The layout is described in docs/workspace.md.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PlotWindowState.h"

namespace orvala {

class TData;
class TDataList;

// A plot window of the workspace: the data set it shows and its state.
struct WorkspaceWindow {
    TData* data = nullptr;
    PlotWindowState state;
};

// Writes the workspace to filename through a temporary file renamed over it,
// so a failed save never destroys an earlier workspace. Roots opened from a
// list-mode file are saved with their gate trees; every other data set
// (transforms, joins, pictures, kids without a gate or with a gate imported
// from Gating-ML, and everything under them) is left out and its screen name
// returned; windows showing such a data set are left out too. Throws OrvalaError "Can not create file: <name>".
std::vector<std::string> SaveWorkspace(const std::string& filename, const TDataList& workspace,
                                       const std::vector<WorkspaceWindow>& windows);

// A workspace file as read, checked and not yet applied to anything.
struct WorkspaceDocument {
    struct Gate {
        int id = -1;
        std::string name;
        int64_t events = -1;  // as saved; -1 unknown
        std::string record;   // the binary gate record
        std::string filter;   // the data set's own projection filter record; empty when none
        std::vector<Gate> kids;
    };
    struct Root {
        int id = -1;
        std::string path;      // absolute path when saved
        std::string relative;  // relative to the workspace's folder; empty when there is none
        int dataSet = 0;
        std::string name;
        uint32_t color = 0;
        int64_t events = -1;
        std::vector<std::string> parameters;
        std::string filter;
        std::vector<uint32_t> eventColors;  // empty when not saved
        std::vector<Gate> gates;
    };
    struct Window {
        int data = -1;  // id of a root or gate
        PlotWindowState state;
    };
    std::string fileName;  // the workspace file read
    std::vector<Root> roots;
    std::vector<Window> windows;
    std::vector<std::string> skipped;
};

// Reads and checks a workspace file without touching any data. Throws
// OrvalaError "Workspace file <name> is damaged: <what>" for a file that is
// cut, not JSON or not laid out as a workspace, and "Can not open file <name>".
WorkspaceDocument ReadWorkspace(const std::string& filename);

// Reads data set datasetnum of a file (the rest of the file's chain may hang
// on NextData; it is released); nil when the file gave nothing. May throw.
using WorkspaceFileOpener = std::function<TData*(const std::string& path, int datasetnum)>;

// What opening a workspace did and what it could not do.
struct WorkspaceOpenResult {
    std::vector<TData*> added;  // every data set added to the workspace, roots before their kids
    std::vector<WorkspaceWindow> windows;  // windows whose data set was rebuilt
    std::vector<std::string> missingFiles;     // files found neither by relative nor by absolute path
    std::vector<std::string> unreadableFiles;  // "<path>: <reason>"
    std::vector<std::string> missingDataSets;  // data sets a file no longer holds
    std::vector<std::string> failedGates;      // gates that could not be rebuilt (with everything below)
    std::vector<std::string> missingParameters;  // "<data set>: <name>, <name>" for gates refused by name
    std::vector<std::string> changedCounts;    // data sets whose event count differs from the saved one
    std::vector<std::string> skipped;          // data sets the saved workspace had left out
    // Nothing is missing, failed or changed (skipped data sets do not count).
    bool complete() const;
    // The text for the user: every problem, each list named; empty when
    // complete and nothing was skipped.
    std::string report(const std::string& workspaceName) const;
};

// Opens the files of doc, rebuilds every gate tree and adds all of it to
// workspace. A file is looked for by its path relative to the workspace
// first, so files moved together with the workspace are found, then by its
// absolute path. Whatever cannot be found or rebuilt is named in the result;
// the rest is opened.
WorkspaceOpenResult BuildWorkspace(const WorkspaceDocument& doc, TDataList& workspace, const WorkspaceFileOpener& open);

// Where a saved file is looked for: the relative path against the folder of
// workspaceFile, then the absolute path; empty when neither exists.
std::string ResolveWorkspacePath(const std::string& workspaceFile, const std::string& absolute,
                                 const std::string& relative);

// A digest of every gate in workspace (parent, record, name, colour), for
// telling whether gates changed since the workspace was saved or opened.
uint64_t GateFingerprint(const TDataList& workspace);
// Whether any data set of workspace was made by a gate.
bool HasGates(const TDataList& workspace);

// The saved gate tree of a root of doc, as a tree the protocol replay takes,
// for the data set with gates that comes first; false when no root has gates.
struct SavedGateTree;
bool FirstGateTree(const WorkspaceDocument& doc, SavedGateTree& tree);

}  // namespace orvala
