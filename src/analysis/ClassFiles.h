#pragma once
// Class files (".soc") of the image window: the training classes with their
// names, colours and events, so a classification can be repeated later.
// Layout: int32 1, int32 number of classes, then every class data set as a
// saved data-set record.
#include <string>
#include <vector>

#include "core/Messages.h"

namespace orvala {

class TData;

// Writes classes to filename, replacing it. Throws OrvalaError naming the
// file when it cannot be written.
void SaveClassFile(const std::string& filename, const std::vector<TData*>& classes);

// The classes of filename (new root data sets, reference count 0). The first
// integer is not checked. Reading stops at the first damaged record and says
// so through sink, naming the file and how many classes were read; the
// classes before it are kept. Throws OrvalaError naming the file when it
// cannot be opened or its header is cut or holds an impossible count.
std::vector<TData*> LoadClassFile(const std::string& filename, MessageSink& sink = defaultSink());

}  // namespace orvala
