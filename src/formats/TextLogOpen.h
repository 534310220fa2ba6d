#pragma once
// Data sets from instrument logs (".log") and text tables (".txt"): the
// branches of TData::Create(filename, datasetnum) besides the FCS reader.
#include <string>

#include "ReadOptions.h"
#include "core/TData.h"

namespace orvala {

class ByteSource;
class TMultiThread;

// The extension that chooses the reader, in lower case; mail systems append
// ".a" to attachments, so x.fcs.a counts as ".fcs".
std::string ReaderExtension(const std::string& filename);

// True when filename is a generic text table, whose layout the user gives in
// the "File Format" dialog before it is read (not for the converter's text).
bool NeedsTextFormat(const std::string& filename);

// Fills d from source, read as a ".log" or ".txt" file (ext as ReaderExtension
// gives it). A file no reader accepts leaves 0 events. Throws OrvalaError when
// the file cannot be read or a value of a text table is not a number.
void ReadTextOrLog(const ByteSource& source, const std::string& ext, const std::string& name,
                   const ReadOptions& options, TData& d, TMultiThread* pool);

// Opens filename (a ".log" or ".txt" file) as a data set with reference count
// 0; 0 events when it holds none. Throws OrvalaError as ReadTextOrLog, and when
// the file cannot be opened.
TData* CreateFromTextOrLog(const std::string& filename, const ReadOptions& options, TMultiThread* pool);

}  // namespace orvala
