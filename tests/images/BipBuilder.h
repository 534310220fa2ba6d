#pragma once
// Builds Kodak BIP files in memory: 52 leading bytes, then chunks with a
// 24-byte header (tag at 0, big-endian length including the header at 20).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace orvala::test {

inline void putBe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

inline std::vector<uint8_t> bipChunk(const char* tag, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> c(tag, tag + 4);
    c.resize(20, 0);
    putBe32(c, uint32_t(24 + body.size()));
    c.insert(c.end(), body.begin(), body.end());
    return c;
}

inline std::vector<uint8_t> bipHeaderBody(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> b;
    putBe32(b, w);
    putBe32(b, h);
    b.resize(36, 0);
    return b;
}

inline std::vector<uint8_t> bipPixelBody(const std::vector<float>& pixels)
{
    std::vector<uint8_t> b;
    for (float f : pixels) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        putBe32(b, bits);
    }
    return b;
}

// A complete file: an unknown chunk first, then the header and the pixels
// inside a "DLDd" container (entered by skipping its 4-byte prefix).
inline std::vector<uint8_t> bipFile(uint32_t w, uint32_t h, const std::vector<float>& pixels)
{
    std::vector<uint8_t> f(52, 0xAB);
    const auto skip = bipChunk("XtrA", std::vector<uint8_t>(10, 0x55));
    f.insert(f.end(), skip.begin(), skip.end());
    std::vector<uint8_t> inner;
    const auto hdr = bipChunk("GBiH", bipHeaderBody(w, h));
    const auto px = bipChunk("BSfD", bipPixelBody(pixels));
    inner.insert(inner.end(), hdr.begin(), hdr.end());
    inner.insert(inner.end(), px.begin(), px.end());
    std::vector<uint8_t> container = {'D', 'L', 'D', 'd'};
    container.resize(20, 0);
    putBe32(container, uint32_t(24 + 4 + inner.size()));
    container.resize(container.size() + 4, 0);
    container.insert(container.end(), inner.begin(), inner.end());
    f.insert(f.end(), container.begin(), container.end());
    return f;
}

}  // namespace orvala::test
