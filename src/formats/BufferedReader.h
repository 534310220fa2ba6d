#pragma once
// Sequential reads with a 64 KiB read-ahead buffer, and the MSB-first bit reader
// of bit-packed FCS integers. Serves HEADER and TEXT, and the DATA segments that
// cannot be converted in bulk (bit-packed and ASCII values).
#include <cstdint>
#include <vector>

#include "ByteSource.h"

namespace orvala {

class BufferedReader {
public:
    static constexpr size_t BufferSize = 65536;

    explicit BufferedReader(const ByteSource& source) : src_(source) {}

    int64_t Position() const { return fposition; }
    void setPosition(int64_t position);
    int64_t Size() const { return src_.size(); }
    // Up to n bytes from the position; fewer at the end of the source.
    size_t Read(void* dst, size_t n);
    // The next `bits` bits (at most 64), most significant first; throws EFCSBadFile
    // "File size is smaller then it is supposed to be" past the end.
    uint64_t ReadUB(int bits);

private:
    bool fill();  // buffer from fposition; false at the end

    const ByteSource& src_;
    std::vector<uint8_t> buf;
    int64_t bufposition = 0;
    int64_t fposition = 0;
    int bitnum = 0;  // next bit inside the byte at fposition, counted from bit 7
};

}  // namespace orvala
