#pragma once
// Opening a file without freezing the window: the reader runs on a thread of
// its own while the user-interface thread keeps painting; after half a second
// a progress window shows which file is being read. User input waits until
// the reader is done, so no command can change the workspace meanwhile.
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace orvala {

class TData;

// Reads data set datasetnum of a file; nil when the file gave no events.
using FileOpenFunction = std::function<TData*(const std::string& fileName, int datasetnum)>;

// The reader the workbench opens files with: TData::TryOpen unless replaced
// (tests stand in for it); unset means opening is not available.
FileOpenFunction& fileOpenFunction();

// Runs open(fileName, 0) on a worker thread and returns its result on this
// thread; an exception of the reader is raised here. Shows a progress window
// over parent when the reading takes longer than showAfterMs.
TData* openWithProgress(const QString& fileName, QWidget* parent, const FileOpenFunction& open, int showAfterMs = 500);

}  // namespace orvala
