#include "TKodakBIP.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "ImageSequence.h"
#include "core/Messages.h"

namespace orvala {

namespace {

constexpr size_t FirstChunk = 52;   // the leading 52 bytes are not read
constexpr size_t ChunkHeader = 24;  // tag at 0..3, big-endian length at 20..23

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool tagIs(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

}  // namespace

void TKodakBIP::setWidth(int32_t w)
{
    FWidth = w < 0 ? 0 : w;
    bitmap.assign(size_t(FWidth) * size_t(FHeight), 0.0f);
}

void TKodakBIP::setHeight(int32_t h)
{
    FHeight = h < 0 ? 0 : h;
    bitmap.assign(size_t(FWidth) * size_t(FHeight), 0.0f);
}

void TKodakBIP::LoadFromFile(const std::string& filename)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(filename, ec)) return;
    std::ifstream in(filename, std::ios::binary);
    if (!in) throw OrvalaError("Cannot open file " + filename);
    const auto size = std::filesystem::file_size(filename, ec);
    if (ec) throw OrvalaError("Cannot read file " + filename);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        throw OrvalaError("Cannot read file " + filename);
    LoadFromBytes(bytes, filename);
}

void TKodakBIP::LoadFromBytes(const std::vector<uint8_t>& bytes, const std::string& name)
{
    const size_t end = bytes.size();
    size_t pos = FirstChunk;
    bool haveHeader = false, haveData = false;
    uint32_t w = 0, h = 0;
    size_t dataAt = 0;
    // Chunks are read in place: containers ("DLDd", "GBIm") are entered by
    // stepping over their 4-byte prefix, everything else is skipped by length.
    while (pos + ChunkHeader <= end && !(haveHeader && haveData)) {
        const uint8_t* c = bytes.data() + pos;
        const uint32_t length = be32(c + 20);
        if (tagIs(c, "DLDd") || tagIs(c, "GBIm")) {
            pos += ChunkHeader + 4;
            continue;
        }
        if (tagIs(c, "GBiH")) {
            if (pos + ChunkHeader + 8 > end) break;
            w = be32(c + ChunkHeader);
            h = be32(c + ChunkHeader + 4);
            haveHeader = true;
        } else if (tagIs(c, "BSfD")) {
            dataAt = pos + ChunkHeader;
            haveData = true;
        }
        // A length shorter than its own header would never move on.
        if (length < ChunkHeader) {
            if (haveHeader && haveData) break;
            throw OrvalaError(name + " is not a valid Kodak BIP image: a chunk at byte " + std::to_string(pos) +
                              " has the impossible length " + std::to_string(length));
        }
        pos += length;
    }
    if (!haveHeader) throw OrvalaError(name + " is not a valid Kodak BIP image: no image header (GBiH) was found");
    if (!haveData) throw OrvalaError(name + " is not a valid Kodak BIP image: no pixel data (BSfD) was found");
    // The size words are signed 32-bit in the file.
    if (int32_t(w) <= 0 || int32_t(h) <= 0)
        throw OrvalaError(name + " is not a valid Kodak BIP image: impossible size " + std::to_string(int32_t(w)) + " x " +
                          std::to_string(int32_t(h)));
    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    if (pixels > uint64_t(MaxImagePixels))
        throw OrvalaError(name + " is too large: " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
    if (dataAt > end || pixels * 4 > end - dataAt)
        throw OrvalaError(name + " is truncated: " + std::to_string(w) + " x " + std::to_string(h) + " pixels need " +
                          std::to_string(pixels * 4) + " bytes, the file holds " +
                          std::to_string(dataAt > end ? 0 : end - dataAt) + " after the pixel-data header");

    FWidth = int32_t(w);
    FHeight = int32_t(h);
    bitmap.resize(size_t(pixels));
    const uint8_t* p = bytes.data() + dataAt;
    for (size_t k = 0; k < size_t(pixels); ++k, p += 4) {
        const uint32_t bits = be32(p);
        float v;
        std::memcpy(&v, &bits, 4);
        bitmap[k] = v;
        if (k == 0) {
            immax = immin = v;
        } else if (v > immax) {
            immax = v;
        } else if (v < immin) {
            immin = v;
        }
    }
}

}  // namespace orvala
