#include "PictureReader.h"

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ImageSequence.h"
#include "core/Messages.h"
#include "core/Records.h"

#ifdef ORVALA_HAVE_LIBJPEG
#include <jpeglib.h>
#include <jerror.h>
#endif

#ifdef ORVALA_HAVE_QTGUI
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#endif

namespace orvala {

namespace {

std::string lowerExtension(const std::string& filename)
{
    std::string ext = std::filesystem::path(filename).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

std::vector<uint8_t> readWholeFile(const std::string& filename)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(filename, ec)) throw OrvalaError("Cannot open picture " + filename + ": no such file");
    const auto size = std::filesystem::file_size(filename, ec);
    std::ifstream in(filename, std::ios::binary);
    if (ec || !in) throw OrvalaError("Cannot open picture " + filename);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        throw OrvalaError("Cannot read picture " + filename);
    return bytes;
}

bool startsWith(const std::vector<uint8_t>& b, std::initializer_list<uint8_t> magic)
{
    if (b.size() < magic.size()) return false;
    return std::equal(magic.begin(), magic.end(), b.begin());
}

// EMF: record type 1 followed by " EMF" at byte 40; WMF: the placeable
// header key or a plain memory/disk metafile header.
bool isMetafile(const std::vector<uint8_t>& b)
{
    if (b.size() >= 44 && b[0] == 1 && b[1] == 0 && b[2] == 0 && b[3] == 0 && b[40] == ' ' && b[41] == 'E' &&
        b[42] == 'M' && b[43] == 'F')
        return true;
    return startsWith(b, {0xD7, 0xCD, 0xC6, 0x9A}) || startsWith(b, {0x01, 0x00, 0x09, 0x00}) ||
           startsWith(b, {0x02, 0x00, 0x09, 0x00});
}

void checkPictureSize(long long w, long long h, const std::string& name)
{
    if (w <= 0 || h <= 0) throw OrvalaError(name + " is not a valid picture: its size is " + std::to_string(w) + " x " + std::to_string(h));
    if (w * h > MaxImagePixels)
        throw OrvalaError(name + " is too large: " + std::to_string(w) + " x " + std::to_string(h) + " pixels (at most " +
                          std::to_string(MaxImagePixels) + " can be opened)");
}

#ifdef ORVALA_HAVE_LIBJPEG

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// A truncated file would otherwise decode as grey padding (libjpeg inserts a
// fake end marker): treat premature end of data as an error, stop at once.
void jpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
        (*cinfo->err->format_message)(cinfo, err->message);
        std::longjmp(err->jump, 1);
    }
}

// Everything libjpeg may jump over lives outside this function or is plain
// data, so longjmp never skips a destructor.
bool decodeJpegInto(const uint8_t* bytes, size_t size, TBitmap* out, std::vector<uint8_t>* row, char* message,
                    long long* tooLargeW, long long* tooLargeH)
{
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    err.pub.emit_message = jpegEmitMessage;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // Progressive files keep every coefficient in memory; a hostile header
    // must not make libjpeg allocate more than a real picture would need.
    cinfo.mem->max_memory_to_use = 1024L * 1024L * 1024L;
    jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    const long long w = cinfo.image_width, h = cinfo.image_height;
    if (w <= 0 || h <= 0 || w * h > MaxImagePixels) {
        *tooLargeW = w;
        *tooLargeH = h;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cinfo.out_color_space = cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int comps = cinfo.output_components;
    out->width = int(cinfo.output_width);
    out->height = int(cinfo.output_height);
    // The picture grows row by row as rows decode: a small file that claims a
    // large size fails at its premature end before much is allocated.
    const size_t total = size_t(out->width) * size_t(out->height);
    out->pixels.reserve(std::min(total, size * 64 + size_t(out->width)));
    row->resize(size_t(out->width) * size_t(comps));
    while (cinfo.output_scanline < cinfo.output_height) {
        const size_t y = cinfo.output_scanline;
        JSAMPROW rowp = row->data();
        jpeg_read_scanlines(&cinfo, &rowp, 1);
        out->pixels.resize((y + 1) * size_t(out->width));
        uint32_t* dst = out->pixels.data() + y * size_t(out->width);
        const uint8_t* src = row->data();
        for (int x = 0; x < out->width; ++x, src += comps) {
            uint32_t r, g, b;
            if (comps == 1) {
                r = g = b = src[0];
            } else if (comps == 4) {
                // Adobe writes CMYK inverted: the stored values are 255 - ink.
                r = uint32_t(src[0]) * src[3] / 255;
                g = uint32_t(src[1]) * src[3] / 255;
                b = uint32_t(src[2]) * src[3] / 255;
            } else {
                r = src[0];
                g = src[1];
                b = src[2];
            }
            dst[x] = r | g << 8 | b << 16;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

#endif

#ifdef ORVALA_HAVE_QTGUI

TBitmap decodeWithQt(const std::vector<uint8_t>& bytes, const std::string& name)
{
    QByteArray array = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&array);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) throw OrvalaError("Cannot open picture " + name + ": the file is not a picture format this program reads");
    const QSize size = reader.size();
    if (size.isValid()) {
        checkPictureSize(size.width(), size.height(), name);
        // Qt refuses pictures above its own allocation limit (256 MB by
        // default); ours is the pixel limit just checked, so make room for it.
        const int needMb = int((int64_t(size.width()) * size.height() * 8 >> 20) + 1);
        if (QImageReader::allocationLimit() != 0 && QImageReader::allocationLimit() < needMb)
            QImageReader::setAllocationLimit(needMb);
    }
    QImage image = reader.read();
    if (image.isNull())
        throw OrvalaError("Cannot open picture " + name + ": " + reader.errorString().toStdString());
    checkPictureSize(image.width(), image.height(), name);
    image = image.convertToFormat(QImage::Format_RGB32);
    TBitmap bmp;
    bmp.width = image.width();
    bmp.height = image.height();
    bmp.pixels.resize(size_t(bmp.width) * size_t(bmp.height));
    for (int y = 0; y < bmp.height; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint32_t* dst = bmp.pixels.data() + size_t(y) * size_t(bmp.width);
        for (int x = 0; x < bmp.width; ++x)
            dst[x] = uint32_t(qRed(src[x])) | uint32_t(qGreen(src[x])) << 8 | uint32_t(qBlue(src[x])) << 16;
    }
    return bmp;
}

#endif

TBitmap decodeOther(const std::vector<uint8_t>& bytes, const std::string& name)
{
#ifdef ORVALA_HAVE_QTGUI
    return decodeWithQt(bytes, name);
#else
    (void)bytes;
    throw OrvalaError("Cannot open picture " + name + ": this build reads only JPEG and uncompressed BMP pictures");
#endif
}

}  // namespace

bool HasQtPictureReaders()
{
#ifdef ORVALA_HAVE_QTGUI
    return true;
#else
    return false;
#endif
}

TBitmap DecodeJpeg(const uint8_t* bytes, size_t size, const std::string& name)
{
#ifdef ORVALA_HAVE_LIBJPEG
    TBitmap bmp;
    std::vector<uint8_t> row;
    char message[JMSG_LENGTH_MAX] = {};
    long long w = 0, h = 0;
    if (!decodeJpegInto(bytes, size, &bmp, &row, message, &w, &h)) {
        if (message[0] == 0) checkPictureSize(w, h, name);
        throw OrvalaError("Cannot open JPEG picture " + name + ": " + message);
    }
    return bmp;
#else
    return decodeOther(std::vector<uint8_t>(bytes, bytes + size), name);
#endif
}

bool ParseBmpHeader(const std::vector<uint8_t>& b, BmpHeader& header)
{
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return false;
    auto u32 = [&](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24; };
    auto u16 = [&](size_t at) { return uint16_t(b[at] | b[at + 1] << 8); };
    const uint32_t infoSize = u32(14);
    header.dataOffset = u32(10);
    if (infoSize == 12) {  // OS/2 core header: 16-bit sizes
        header.width = u16(18);
        header.height = u16(20);
        header.bitsPerPixel = u16(24);
        header.compression = 0;
        return true;
    }
    if (infoSize < 40 || b.size() < 54) return false;
    header.width = int32_t(u32(18));
    const int32_t h = int32_t(u32(22));
    header.height = h == INT32_MIN ? 0 : (h < 0 ? -h : h);
    header.bitsPerPixel = u16(28);
    header.compression = u32(30);
    return true;
}

namespace {

bool isPlainBmp(const BmpHeader& h)
{
    return h.width > 0 && h.height > 0 && h.compression == 0 &&
           (h.bitsPerPixel == 8 || h.bitsPerPixel == 24 || h.bitsPerPixel == 32);
}

// Uncompressed rows have a known size: a file too short for them is cut
// (decoders would otherwise show the missing rows as black).
bool plainBmpFits(const std::vector<uint8_t>& bytes, const BmpHeader& h)
{
    const uint64_t stride = ((uint64_t(h.width) * uint64_t(h.bitsPerPixel) + 31) / 32) * 4;
    return h.dataOffset <= bytes.size() && uint64_t(h.height) <= (bytes.size() - h.dataOffset) / stride;
}

}  // namespace

TBitmap DecodePicture(const std::vector<uint8_t>& bytes, const std::string& name)
{
    const std::string ext = lowerExtension(name);
    if (isMetafile(bytes) || ext == ".emf" || ext == ".wmf")
        throw OrvalaError("Cannot open picture " + name +
                          ": Windows metafiles (*.emf, *.wmf) are not supported; convert the drawing to BMP or JPEG first");
    if (startsWith(bytes, {0xFF, 0xD8, 0xFF})) return DecodeJpeg(bytes.data(), bytes.size(), name);
    BmpHeader header;
    if (ParseBmpHeader(bytes, header)) {
        if (header.width > 0 && header.height > 0) checkPictureSize(header.width, header.height, name);
        // Uncompressed 8-, 24- and 32-bit files through the saved-record
        // reader; RLE, 1/4/16-bit, OS/2 headers and files whose header gives
        // a zero file size through Qt.
        if (isPlainBmp(header)) {
            if (!plainBmpFits(bytes, header))
                throw OrvalaError("Cannot open picture " + name + ": the file is truncated (" + std::to_string(header.width) +
                                  " x " + std::to_string(header.height) + " pixels need more than its " +
                                  std::to_string(bytes.size()) + " bytes)");
            // The saved-record reader trusts the header's row count: it only
            // gets files whose rows the bytes hold.
            try {
                MemoryStream s(bytes);
                return ReadBitmap(s);
            } catch (const StreamReadError&) {
            }
        }
        if (!HasQtPictureReaders()) throw OrvalaError("Cannot open picture " + name + ": damaged or unsupported BMP file");
    }
    return decodeOther(bytes, name);
}

TBitmap LoadPicture(const std::string& filename) { return DecodePicture(readWholeFile(filename), filename); }

TData* OpenPicture(const std::string& filename) { return CreatePictureData(LoadPicture(filename)); }

}  // namespace orvala
