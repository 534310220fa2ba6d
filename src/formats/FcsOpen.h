#pragma once
// Data sets from FCS files: the FCS branch of TData::Create(filename, datasetnum),
// with the message sink and worker pool passed in.
#include <string>

#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

class TMultiThread;
class TFCStream;

// Data set datasetnum of the file as a TData (reference count 0): 0 events when
// it cannot be read, after the reader's message. The data sets after it in the
// file hang on NextData (each opened as TryOpen would). pool may be null.
TData* CreateFromFile(const std::string& filename, int datasetnum, MessageSink& sink, TMultiThread* pool);
// As above, but nil (nothing allocated) when the data set has no events.
TData* TryOpenFile(const std::string& filename, int datasetnum, MessageSink& sink, TMultiThread* pool);
// The same from a stream already parsed (the fuzzer reads from memory); name
// stands for the file name in messages.
TData* CreateFromStream(TFCStream& stream, const std::string& name, int datasetnum, MessageSink& sink,
                        TMultiThread* pool);

}  // namespace orvala
