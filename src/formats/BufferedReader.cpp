#include "BufferedReader.h"

#include <algorithm>
#include <cstring>

#include "FcsErrors.h"

namespace orvala {

void BufferedReader::setPosition(int64_t position)
{
    fposition = std::max<int64_t>(position, 0);
    bitnum = 0;
}

bool BufferedReader::fill()
{
    if (fposition >= bufposition && fposition < bufposition + int64_t(buf.size())) return true;
    if (fposition >= src_.size()) return false;
    const size_t want = size_t(std::min<int64_t>(src_.size() - fposition, int64_t(BufferSize)));
    buf.resize(want);
    buf.resize(src_.readAt(fposition, buf.data(), want));
    bufposition = fposition;
    return !buf.empty();
}

size_t BufferedReader::Read(void* dst, size_t n)
{
    bitnum = 0;
    auto* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        if (n - done >= BufferSize && !(fposition >= bufposition && fposition < bufposition + int64_t(buf.size()))) {
            // Large reads bypass the buffer.
            const size_t got = src_.readAt(fposition, out + done, n - done);
            done += got;
            fposition += int64_t(got);
            break;
        }
        if (!fill()) break;
        const size_t at = size_t(fposition - bufposition);
        const size_t count = std::min(n - done, buf.size() - at);
        std::memcpy(out + done, buf.data() + at, count);
        done += count;
        fposition += int64_t(count);
    }
    return done;
}

uint64_t BufferedReader::ReadUB(int bits)
{
    uint64_t value = 0;
    for (int i = 0; i < bits; ++i) {
        if (!fill()) throw EFCSBadFile("File size is smaller then it is supposed to be");
        const uint8_t byte = buf[size_t(fposition - bufposition)];
        value = (value << 1) | ((byte >> (7 - bitnum)) & 1u);
        if (++bitnum == 8) {
            bitnum = 0;
            ++fposition;
        }
    }
    return value;
}

}  // namespace orvala
