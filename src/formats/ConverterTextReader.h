#pragma once
// The text the instrument's log converter writes: a fixed first line, column
// headings on line 20, five leading columns per line, tab-separated.
#include <string>

namespace orvala {

class ByteSource;
class TData;
class TMultiThread;

class ConverterTextReader {
public:
    // True when the first line is exactly the converter's title.
    static bool Recognizes(const ByteSource& source);
    // Fills d from the file: parameters named after the headings from the sixth
    // on, at most eventLimit events (0 or less: no limit). Headings with five
    // fields or fewer give 0 parameters and 0 events. Throws OrvalaError naming
    // the line when a value is not a number.
    static void Read(const ByteSource& source, const std::string& name, int eventLimit, TData& d,
                     TMultiThread* pool);
};

}  // namespace orvala
