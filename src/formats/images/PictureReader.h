#pragma once
// Decodes ordinary picture files into 32-bit bitmaps (0x00BBGGRR). JPEG goes
// through libjpeg, uncompressed BMP through the saved-record reader, and every
// other format Qt's image readers know (BMP variants, ICO, PNG, GIF ...)
// through QImageReader. Windows metafiles (EMF, WMF) are refused.
#include <cstdint>
#include <string>
#include <vector>

#include "core/TData.h"

namespace orvala {

// Throws OrvalaError with a message naming the file and the fault when the
// file cannot be read, is not a picture, is damaged or is too large.
TBitmap LoadPicture(const std::string& filename);

// The same from the bytes of a file (name for the extension and messages).
TBitmap DecodePicture(const std::vector<uint8_t>& bytes, const std::string& name);

// The fields of a BMP file header that the readers need. Parse fails on
// anything shorter than the file and info headers or without the "BM" tag.
struct BmpHeader {
    int32_t width = 0;
    int32_t height = 0;  // without the sign that marks top-down rows
    int bitsPerPixel = 0;
    uint32_t compression = 0;
    uint32_t dataOffset = 0;  // where the pixel rows start
};
bool ParseBmpHeader(const std::vector<uint8_t>& bytes, BmpHeader& header);

// Decodes a JPEG held in memory (name only for messages).
TBitmap DecodeJpeg(const uint8_t* bytes, size_t size, const std::string& name);

// "Open Picture": the picture data set of a file (see CreatePictureData).
TData* OpenPicture(const std::string& filename);

// True when this build can decode pictures other than JPEG and plain BMP.
bool HasQtPictureReaders();

}  // namespace orvala
