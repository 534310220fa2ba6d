#pragma once
// Saved records of data sets, gates and projection filters, on any byte stream.
// Writers use the newest record version; readers accept every older one and
// return nil on any damaged record (a caller only sees that nothing loaded).
#include <memory>

#include "Stream.h"
#include "TData.h"

namespace orvala {

class TGate;
class TDataFilter;

constexpr int32_t DataRecordVersion = 3;
constexpr int32_t GateRecordVersion = 2;
constexpr int32_t FilterRecordVersion = 2;

void SaveDataToStream(ByteStream& s, TData& data);
// A new root data set (reference count 0), or nil.
TData* LoadDataFromStream(ByteStream& s);

// Throws OrvalaError naming the gate for a gtRule gate, whose rule a record cannot hold.
void SaveGateToStream(ByteStream& s, const TGate& gate);
std::unique_ptr<TGate> LoadGateFromStream(ByteStream& s);

void SaveFilterToStream(ByteStream& s, const TDataFilter& filter);
std::unique_ptr<TDataFilter> LoadFilterFromStream(ByteStream& s);

// Frame sequences of image data sets: count, then per frame the 72-byte
// record and its pixel bytes. A damaged sequence reads as empty.
void WriteFrames(ByteStream& s, const std::vector<QCam_Frame>& frames);
std::vector<QCam_Frame> ReadFrames(ByteStream& s);

// A picture as a complete BMP file image (32 bits per pixel) and back.
// Reading accepts 8-bit paletted, 24- and 32-bit uncompressed pictures.
void WriteBitmap(ByteStream& s, const TBitmap& bmp);
TBitmap ReadBitmap(ByteStream& s);

}  // namespace orvala
