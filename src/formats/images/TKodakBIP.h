#pragma once
// One Kodak BIP image: a chunked big-endian file whose "GBiH" chunk gives the
// size and whose "BSfD" chunk holds the pixels as 32-bit IEEE floats.
#include <cstdint>
#include <string>
#include <vector>

namespace orvala {

class TKodakBIP {
public:
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    // Both resize bitmap (new pixels 0).
    void setWidth(int32_t w);
    void setHeight(int32_t h);
    float GetPixels(int x, int y) const { return bitmap[size_t(x) + size_t(y) * size_t(FWidth)]; }

    // Reads a BIP file. A missing file leaves the object unchanged; a file
    // that is not a complete BIP image throws OrvalaError naming the fault.
    void LoadFromFile(const std::string& filename);
    // The same from the bytes of a file (name only for messages).
    void LoadFromBytes(const std::vector<uint8_t>& bytes, const std::string& name);

    std::vector<float> bitmap;  // FWidth x FHeight, row by row
    int32_t FHeight = 0;
    int32_t FWidth = 0;
    float immax = 0;
    float immin = 0;
};

}  // namespace orvala
