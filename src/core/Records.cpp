#include "Records.h"

#include <algorithm>
#include <cstring>

#include "TDataFilter.h"
#include "TGate.h"

namespace orvala {

// ---------------------------------------------------------------- pictures

namespace {

template <typename T>
T le(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <typename T>
void put(std::vector<uint8_t>& out, size_t at, T v)
{
    std::memcpy(out.data() + at, &v, sizeof(T));
}

}  // namespace

void WriteBitmap(ByteStream& s, const TBitmap& bmp)
{
    const uint32_t w = uint32_t(std::max(bmp.width, 0)), h = uint32_t(std::max(bmp.height, 0));
    const uint32_t pixelBytes = w * h * 4;
    std::vector<uint8_t> out(54 + size_t(pixelBytes), 0);
    out[0] = 'B';
    out[1] = 'M';
    put<uint32_t>(out, 2, uint32_t(out.size()));
    put<uint32_t>(out, 10, 54);
    put<uint32_t>(out, 14, 40);
    put<int32_t>(out, 18, int32_t(w));
    put<int32_t>(out, 22, int32_t(h));  // bottom-up
    put<uint16_t>(out, 26, 1);
    put<uint16_t>(out, 28, 32);
    put<uint32_t>(out, 34, pixelBytes);
    for (uint32_t row = 0; row < h; ++row) {
        const uint32_t* src = bmp.pixels.data() + size_t(h - 1 - row) * w;
        uint8_t* dst = out.data() + 54 + size_t(row) * w * 4;
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t c = src[x];  // 0x00BBGGRR
            dst[4 * x + 0] = uint8_t(c >> 16);
            dst[4 * x + 1] = uint8_t(c >> 8);
            dst[4 * x + 2] = uint8_t(c);
            dst[4 * x + 3] = 0;
        }
    }
    s.write(out.data(), out.size());
}

TBitmap ReadBitmap(ByteStream& s)
{
    uint8_t fh[14];
    s.readExact(fh, 14);
    if (fh[0] != 'B' || fh[1] != 'M') throw StreamReadError();
    const uint32_t fileSize = le<uint32_t>(fh + 2);
    if (fileSize < 54 || int64_t(fileSize) - 14 > s.bytesLeft()) throw StreamReadError();
    std::vector<uint8_t> rest(fileSize - 14);
    s.readExact(rest.data(), rest.size());
    const uint8_t* ih = rest.data();
    const uint32_t offBits = le<uint32_t>(fh + 10);
    const uint32_t headerSize = le<uint32_t>(ih);
    const int32_t w = le<int32_t>(ih + 4);
    const int32_t hRaw = le<int32_t>(ih + 8);
    const uint16_t bpp = le<uint16_t>(ih + 14);
    const uint32_t compression = le<uint32_t>(ih + 16);
    uint32_t colorsUsed = le<uint32_t>(ih + 32);
    if (w <= 0 || hRaw == 0 || hRaw == INT32_MIN || compression != 0 || (bpp != 8 && bpp != 24 && bpp != 32))
        throw StreamReadError();
    const bool topDown = hRaw < 0;
    const int64_t h = topDown ? -int64_t(hRaw) : hRaw;
    const int64_t stride = ((int64_t(w) * bpp + 31) / 32) * 4;
    // Each factor is bounded by the bytes at hand first, so the product cannot overflow.
    if (offBits < 14 || stride > int64_t(rest.size()) || h > int64_t(rest.size()) ||
        int64_t(offBits) - 14 + stride * h > int64_t(rest.size()))
        throw StreamReadError();

    std::vector<uint32_t> palette;
    if (bpp == 8) {
        if (colorsUsed == 0 || colorsUsed > 256) colorsUsed = 256;
        const size_t palAt = size_t(headerSize);
        if (palAt + colorsUsed * 4 > offBits - 14) throw StreamReadError();
        for (uint32_t i = 0; i < colorsUsed; ++i) {
            const uint8_t* q = rest.data() + palAt + i * 4;
            palette.push_back(uint32_t(q[2]) | uint32_t(q[1]) << 8 | uint32_t(q[0]) << 16);
        }
    }
    TBitmap bmp;
    bmp.width = w;
    bmp.height = int(h);
    bmp.pixels.resize(size_t(w) * size_t(h));
    for (int64_t row = 0; row < h; ++row) {
        const uint8_t* src = rest.data() + (offBits - 14) + stride * row;
        uint32_t* dst = bmp.pixels.data() + size_t(topDown ? row : h - 1 - row) * size_t(w);
        for (int32_t x = 0; x < w; ++x) {
            if (bpp == 8) {
                const uint8_t i = src[x];
                dst[x] = i < palette.size() ? palette[i] : 0;
            } else {
                const uint8_t* p = src + x * (bpp / 8);
                dst[x] = uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
            }
        }
    }
    return bmp;
}

// ---------------------------------------------------------------- frames

void WriteFrames(ByteStream& s, const std::vector<QCam_Frame>& frames)
{
    WriteInt(s, int32_t(frames.size()));
    for (const QCam_Frame& f : frames) {
        uint8_t rec[QCam_Frame::RecordSize] = {};
        const uint32_t words1[] = {0, uint32_t(f.buffer.size()), f.format, f.width, f.height, f.size};
        std::memcpy(rec, words1, 24);
        std::memcpy(rec + 24, &f.bits, 2);
        std::memcpy(rec + 26, &f.frameNumber, 2);
        const uint32_t words2[] = {f.bayerPattern, f.errorCode, f.timeStamp, f.wavelength, f.exposure, f.gain,
                                   f.intmin, f.intmax};
        std::memcpy(rec + 28, words2, 32);
        std::memcpy(rec + 60, f.reserved, 12);
        s.write(rec, sizeof rec);
        s.write(f.buffer.data(), f.buffer.size());
    }
}

std::vector<QCam_Frame> ReadFrames(ByteStream& s)
{
    std::vector<QCam_Frame> frames;
    try {
        const int32_t n = ReadCount(s, QCam_Frame::RecordSize);
        frames.resize(size_t(n));
        for (QCam_Frame& f : frames) {
            uint8_t rec[QCam_Frame::RecordSize];
            s.readExact(rec, sizeof rec);
            uint32_t words1[6], words2[8];
            std::memcpy(words1, rec, 24);
            std::memcpy(&f.bits, rec + 24, 2);
            std::memcpy(&f.frameNumber, rec + 26, 2);
            std::memcpy(words2, rec + 28, 32);
            std::memcpy(f.reserved, rec + 60, 12);
            f.bufferSize = words1[1];
            f.format = words1[2];
            f.width = words1[3];
            f.height = words1[4];
            f.size = words1[5];
            f.bayerPattern = words2[0];
            f.errorCode = words2[1];
            f.timeStamp = words2[2];
            f.wavelength = words2[3];
            f.exposure = words2[4];
            f.gain = words2[5];
            f.intmin = words2[6];
            f.intmax = words2[7];
            if (int64_t(f.bufferSize) > s.bytesLeft()) throw StreamReadError();
            f.buffer.resize(f.bufferSize);
            s.readExact(f.buffer.data(), f.buffer.size());
        }
    } catch (const StreamReadError&) {
        frames.clear();  // a damaged sequence is dropped; reading goes on with the next field
    }
    return frames;
}

// ---------------------------------------------------------------- filters

void SaveFilterToStream(ByteStream& s, const TDataFilter& f)
{
    WriteInt(s, FilterRecordVersion);
    WriteVector(s, f.FOutput);
    WriteIntVector(s, f.FIndices);
    WriteVector(s, f.FDeviation);
    WriteVector(s, f.FMean);
    WriteInt(s, f.PCAType);
    WriteBool(s, f.Normalized);
    WriteBool(s, f.Hyper);
    WriteBool(s, f.Includer);
    WriteMatrix(s, f.Fevects);
}

std::unique_ptr<TDataFilter> LoadFilterFromStream(ByteStream& s)
{
    try {
        auto f = std::make_unique<TDataFilter>();
        const int32_t version = ReadInt(s);
        f->FOutput = ReadVector(s);
        f->FIndices = ReadIntVector(s);
        f->FDeviation = ReadVector(s);
        f->FMean = ReadVector(s);
        f->PCAType = ReadInt(s);
        f->Normalized = ReadBool(s);
        f->Hyper = ReadBool(s);
        f->Includer = ReadBool(s);
        if (version > 1) f->Fevects = ReadMatrix(s);
        return f;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// ---------------------------------------------------------------- gates

void SaveGateToStream(ByteStream& s, const TGate& g)
{
    // Its rule lives outside the record; a record without it would select nothing.
    if (g.kind == TGateType::gtRule)
        throw OrvalaError("The gate \"" + g.name + "\" was imported from Gating-ML; gate records cannot hold it");
    WriteInt(s, GateRecordVersion);
    WriteBool(s, g.filter != nullptr);
    if (g.filter) SaveFilterToStream(s, *g.filter);
    const uint8_t kind = uint8_t(g.kind);
    s.write(&kind, 1);
    WriteInt(s, g.Id);
    WriteString(s, g.name);
    WriteInt(s, int32_t(g.color));
    WriteBool(s, g.Inverse);
    WriteBool(s, g.Normalized);
    WriteBool(s, g.loglinx);
    WriteBool(s, g.linlogx);
    WriteBool(s, g.logliny);
    WriteBool(s, g.linlogy);
    WriteIntVector(s, g.ChannelList);
    WriteVector(s, g.x);
    WriteVector(s, g.y);
    WriteVector(s, g.cx);
    WriteVector(s, g.cy);
    const int32_t rect[] = {g.Rect.left, g.Rect.top, g.Rect.right, g.Rect.bottom};
    s.write(rect, 16);
}

std::unique_ptr<TGate> LoadGateFromStream(ByteStream& s)
{
    try {
        auto g = std::make_unique<TGate>();
        const int32_t version = ReadInt(s);
        if (ReadBool(s)) g->filter = LoadFilterFromStream(s);
        uint8_t kind;
        s.readExact(&kind, 1);
        g->kind = TGateType(kind);
        g->Id = ReadInt(s);
        g->name = ReadString(s);
        g->color = uint32_t(ReadInt(s));
        g->Inverse = ReadBool(s);
        g->Normalized = ReadBool(s);
        if (version > 1) {
            g->loglinx = ReadBool(s);
            g->linlogx = ReadBool(s);
            g->logliny = ReadBool(s);
            g->linlogy = ReadBool(s);
        }
        g->ChannelList = ReadIntVector(s);
        g->x = ReadVector(s);
        g->y = ReadVector(s);
        g->cx = ReadVector(s);
        g->cy = ReadVector(s);
        int32_t rect[4];
        s.readExact(rect, 16);
        g->Rect = {rect[0], rect[1], rect[2], rect[3]};
        return g;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// ---------------------------------------------------------------- data sets

void SaveDataToStream(ByteStream& s, TData& d)
{
    WriteInt(s, DataRecordVersion);
    WriteInt(s, d.ftipchannel);
    WriteBool(s, !d.img.empty());
    if (!d.img.empty()) WriteBitmap(s, d.img);
    WriteFrames(s, d.seq);
    WriteDouble(s, d.seqmax);
    WriteDouble(s, d.seqmin);
    WriteDouble(s, d.seqnorm);
    // A data record keeps its events; an imported gate's rule cannot be
    // stored, so such a record is written as one without a gate.
    const bool withGate = d.gate && d.gate->kind != TGateType::gtRule;
    WriteBool(s, withGate);
    if (withGate) SaveGateToStream(s, *d.gate);
    WriteString(s, d.fPath);
    WriteString(s, d.f1Name);
    WriteString(s, d.fExtension);
    WriteVector(s, d.summa);
    WriteInt(s, d.fcasesize);
    WriteInt(s, d.fevents);
    WriteVector(s, d.asVector);
    WriteIntVector(s, d.Tip);
    WriteBool(s, d.logscale);
    WriteBool(s, d.disablecolor);
    WriteInt(s, d.cellsize);
    WriteBool(s, d.Compensate);
    WriteInt(s, int32_t(d.Eventnames.size()));
    for (const auto& n : d.Eventnames) WriteString(s, n);
    WriteInt(s, int32_t(d.Desc().size()));
    for (const auto& desc : d.Desc()) {
        WriteString(s, desc.name);
        WriteBool(s, desc.log);
        WriteDouble(s, desc.decade);
        WriteDouble(s, desc.base);
        WriteDouble(s, desc.resolution);
    }
    // Matrix of doubles, one row per event, written straight from the contiguous block.
    WriteInt(s, d.fevents);
    for (int e = 0; e < d.fevents; ++e) {
        WriteInt(s, d.fcasesize);
        s.write(d.data[e], size_t(d.fcasesize) * 8);
    }
    WriteBool(s, d.filter != nullptr);
    if (d.filter) SaveFilterToStream(s, *d.filter);
    WriteIntVector(s, d.TubeSize);
    WriteIntVector(s, d.Selected);
    WriteInt(s, d.pcamode);
    WriteInt(s, int32_t(d.RGBTab.size()));
    for (const auto& c : d.RGBTab) {
        WriteDouble(s, c.r);
        WriteDouble(s, c.g);
        WriteDouble(s, c.b);
    }
    WriteInt(s, d.fevents);
    for (int e = 0; e < d.fevents; ++e) WriteInt(s, int32_t(d.GetColor(e)));
    WriteColorVector(s, d.ImageColor);
    WriteInt(s, int32_t(d.NativeColor()));
}

TData* LoadDataFromStream(ByteStream& s)
{
    std::unique_ptr<TData> d(new TData);
    try {
        const int32_t version = ReadInt(s);
        d->ftipchannel = ReadInt(s);
        if (ReadBool(s)) d->img = ReadBitmap(s);
        d->seq = ReadFrames(s);
        d->seqmax = ReadDouble(s);
        d->seqmin = ReadDouble(s);
        d->seqnorm = ReadDouble(s);
        if (ReadBool(s)) d->gate = LoadGateFromStream(s);
        d->fPath = ReadString(s);
        d->f1Name = ReadString(s);
        d->fExtension = ReadString(s);
        TVector summa = ReadVector(s);
        const int32_t casesize = ReadInt(s);
        const int32_t events = ReadInt(s);
        // Each event row costs at least its 4-byte count in the stream, and a
        // real row about 8 bytes per value: refuse sizes no stream could back.
        // Every column has its descriptor further on (at least 25 bytes), so a
        // column count no stream could back is refused before anything is sized by it.
        if (casesize < 0 || events < 0 || int64_t(events) * 4 > s.bytesLeft() || int64_t(casesize) * 25 > s.bytesLeft() ||
            double(casesize) * std::max(events, 1) * 8 > 16.0 * double(s.bytesLeft()) + double(1 << 26))
            throw StreamReadError();
        d->asVector = ReadVector(s);
        d->Tip = ReadIntVector(s);
        d->logscale = ReadBool(s);
        d->disablecolor = ReadBool(s);
        d->cellsize = ReadInt(s);
        if (version == 1) s.skip(8);
        d->Compensate = ReadBool(s);
        const int32_t names = ReadCount(s, 4);
        d->Eventnames.resize(size_t(names));
        for (auto& n : d->Eventnames) n = ReadString(s);

        d->setCaseSize(casesize);
        const int32_t descCount = ReadCount(s, 4 + 1 + 8 + 8 + 4);
        for (int32_t i = 0; i < descCount; ++i) {
            TParDescriptor desc;
            desc.name = ReadString(s);
            desc.log = ReadBool(s);
            desc.decade = ReadDouble(s);
            desc.base = ReadDouble(s);
            desc.resolution = version >= 3 ? ReadDouble(s) : double(ReadInt(s));
            if (i < casesize) d->Desc()[size_t(i)] = desc;
        }
        summa.resize(size_t(casesize), 0.0);
        d->summa = std::move(summa);

        const int32_t rows = ReadCount(s, 4);
        d->data.resize(0, casesize);
        d->data.reserveRows(rows);
        std::vector<double> row;
        for (int32_t r = 0; r < rows; ++r) {
            const int32_t n = ReadCount(s, 8);
            row.resize(size_t(n));
            s.readExact(row.data(), size_t(n) * 8);
            d->data.appendRow(row.data(), n);
        }
        d->fevents = rows;  // the matrix holds the events; a mismatching count is not trusted
        (void)events;

        if (ReadBool(s)) d->filter = LoadFilterFromStream(s);
        d->TubeSize = ReadIntVector(s);
        d->Selected = ReadIntVector(s);
        d->pcamode = ReadInt(s);
        const int32_t rgbCount = ReadCount(s, 24);
        d->RGBTab.resize(size_t(rgbCount));
        for (auto& c : d->RGBTab) {
            c.r = ReadDouble(s);
            c.g = ReadDouble(s);
            c.b = ReadDouble(s);
        }
        const int32_t colorCount = ReadCount(s, 4);
        d->fcolor.resize(size_t(colorCount));
        s.readExact(d->fcolor.data(), d->fcolor.size() * 4);
        d->fcolor.resize(size_t(d->fevents), 0);
        d->ImageColor = ReadColorVector(s);
        d->fNativeColor = uint32_t(ReadInt(s));
        return d.release();
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace orvala
