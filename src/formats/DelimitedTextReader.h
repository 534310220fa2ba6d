#pragma once
// Generic delimited text tables, read in the layout the user gave in the
// "File Format" dialog.
#include <string>

#include "ReadOptions.h"

namespace orvala {

class ByteSource;
class TData;
class TMultiThread;

class DelimitedTextReader {
public:
    // Fills d from the table. The row length is that of the names row, or else
    // of the first line with fields; only lines of that length are events, at
    // most eventLimit of them (0 or less: no limit). With both names row and
    // event names, the names row's first field heads the name column and the
    // rest name the parameters. No parameters or no line with fields give 0
    // events. Throws OrvalaError naming the line when a value is not a number.
    static void Read(const ByteSource& source, const std::string& name, const TextFormat& format, int eventLimit,
                     TData& d, TMultiThread* pool);
};

}  // namespace orvala
