#pragma once
// One frame of an image-sequence data set: the camera's 72-byte frame record
// (kept byte-compatible for saved records) plus the pixel buffer it describes.
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvala {

struct QCam_Frame {
    uint32_t pBuffer = 0;  // meaningless on disk; the buffer lives in `buffer`
    uint32_t bufferSize = 0;
    uint32_t format = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t size = 0;
    uint16_t bits = 0;
    uint16_t frameNumber = 0;
    uint32_t bayerPattern = 0;
    uint32_t errorCode = 0;
    uint32_t timeStamp = 0;
    uint32_t wavelength = 0;
    uint32_t exposure = 0;
    uint32_t gain = 0;
    uint32_t intmin = 0;  // the same bytes read as float: singlemin()
    uint32_t intmax = 0;  // the same bytes read as float: singlemax()
    uint8_t reserved[12] = {};

    std::vector<uint8_t> buffer;

    float singlemin() const { return bitsAsFloat(intmin); }
    float singlemax() const { return bitsAsFloat(intmax); }
    void setSinglemin(float v) { std::memcpy(&intmin, &v, 4); }
    void setSinglemax(float v) { std::memcpy(&intmax, &v, 4); }

    static constexpr int RecordSize = 72;

private:
    static float bitsAsFloat(uint32_t bits)
    {
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
};

}  // namespace orvala
