#pragma once
// The log of the iQSP-480 electronics: a signature, the instrument's
// configuration table, then packets back to back, every word big-endian.
#include <string>

namespace orvala {

class ByteSource;
class TData;
class TMultiThread;

class IqspLogReader {
public:
    // True when the file begins with the iQSP-480 signature.
    static bool HasSignature(const ByteSource& source);
    // Fills d (CaseSize, names, events, values) from the log. Every complete
    // packet is read: the event limit does not apply to this format. A file
    // too short for the table or a packet gives 0 events. name stands for the
    // file in messages; throws OrvalaError when the file cannot be read.
    static void Read(const ByteSource& source, const std::string& name, TData& d, TMultiThread* pool);
};

}  // namespace orvala
