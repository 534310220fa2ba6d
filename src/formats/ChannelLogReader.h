#pragma once
// The log of the 32-channel electronics: a short text header, a count of words
// to skip, then records of one unused word and 32 big-endian signed values.
#include <string>

namespace orvala {

class ByteSource;
class TData;
class TMultiThread;

class ChannelLogReader {
public:
    // Fills d with 32 parameters Ch1..Ch32 and at most eventLimit events (0 or
    // less: no limit). A file too short for its header, or whose skip count is
    // negative, gives 0 events. Throws OrvalaError when the file cannot be read.
    static void Read(const ByteSource& source, const std::string& name, int eventLimit, TData& d,
                     TMultiThread* pool);
};

}  // namespace orvala
