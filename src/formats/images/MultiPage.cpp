#include "MultiPage.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "ImageSequence.h"
#include "PictureReader.h"
#include "TKodakBIP.h"
#include "core/Messages.h"

namespace orvala {

namespace fs = std::filesystem;

namespace {

struct StackFile {
    std::string name;  // file name inside the directory
    uint32_t wavelength = 0;
};

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

// The directory's files in name order, compared as text ignoring case (so
// 1000.bmp comes before 450.bmp). Mac resource forks ("._x") are passed over.
template <typename Keep>
std::vector<StackFile> listStack(const std::string& dir, Keep keep)
{
    std::vector<StackFile> files;
    std::error_code ec;
    fs::directory_iterator it(fs::path(dir), ec);
    if (ec) throw OrvalaError("Cannot read directory " + dir + ": " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) throw OrvalaError("Cannot read directory " + dir + ": " + ec.message());
        const std::string name = it->path().filename().string();
        if (name.rfind("._", 0) == 0) continue;
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc)) continue;
        StackFile f;
        f.name = name;
        if (keep(f)) files.push_back(std::move(f));
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const StackFile& a, const StackFile& b) { return upper(a.name) < upper(b.name); });
    return files;
}

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) throw OrvalaError("Cannot open file " + path.string());
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        throw OrvalaError("Cannot read file " + path.string());
    return bytes;
}

// The last name component, also for a path given with a trailing separator.
std::string lastComponent(const std::string& dir)
{
    fs::path p(dir);
    if (!p.has_filename()) p = p.parent_path();
    return p.filename().string();
}

bool advance(const ImageProgress& progress, int position, int count)
{
    return !progress || progress(position, count);
}

TData* finishSequence(std::vector<QCam_Frame>& frames, const std::string& dir)
{
    TData* d = CreateSequenceData(frames);
    d->setShortName(lastComponent(dir));
    return d;
}

}  // namespace

TData* LoadMultiPage(const std::string& dir, const ImageProgress& progress)
{
    std::vector<StackFile> files = listStack(dir, [](StackFile& f) {
        const fs::path p(f.name);
        const std::string stem = p.stem().string();
        if (upper(p.extension().string()) != ".BMP" || stem.empty()) return false;
        return std::all_of(stem.begin(), stem.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
    });
    if (files.empty()) return nullptr;
    // The wavelength is the file name read as a 32-bit integer; a name too
    // large for one ends the load, as a conversion error.
    for (StackFile& f : files) {
        const std::string stem = fs::path(f.name).stem().string();
        int32_t value = 0;
        const auto [end, ec] = std::from_chars(stem.data(), stem.data() + stem.size(), value);
        if (ec != std::errc() || end != stem.data() + stem.size())
            throw OrvalaError("'" + stem + "' is not a valid integer value");
        f.wavelength = uint32_t(value);
    }

    const int count = int(files.size());
    std::vector<QCam_Frame> frames(files.size());
    uint32_t width = 0, height = 0;
    for (int i = 0; i < count; ++i) {
        const fs::path path = fs::path(dir) / files[size_t(i)].name;
        const std::vector<uint8_t> bytes = readFile(path);
        BmpHeader header;
        if (!ParseBmpHeader(bytes, header)) throw OrvalaError(path.string() + " is not a valid BMP picture");
        TBitmap picture;
        // Only 8-bit files of the first file's size are decoded; the first
        // file of any depth fixes the size.
        const bool wanted = header.bitsPerPixel == 8 &&
                            (i == 0 || (uint32_t(header.width) == width && uint32_t(header.height) == height));
        if (wanted || i == 0) picture = DecodePicture(bytes, path.string());
        if (i == 0) {
            width = uint32_t(picture.width);
            height = uint32_t(picture.height);
        }
        QCam_Frame& f = frames[size_t(i)];
        f.format = FrameFormatByte;
        f.bits = 8;
        f.frameNumber = uint16_t(i);
        f.wavelength = files[size_t(i)].wavelength;
        f.width = width;
        f.height = height;
        f.buffer.assign(size_t(width) * size_t(height), 0);
        f.bufferSize = f.size = uint32_t(f.buffer.size());
        if (wanted && uint32_t(picture.width) == width && uint32_t(picture.height) == height) {
            // A grey frame: the palette's red component of each pixel.
            for (size_t k = 0; k < f.buffer.size(); ++k) f.buffer[k] = uint8_t(picture.pixels[k] & 0xFF);
        }
        if (!advance(progress, i + 1, count)) return nullptr;
    }
    return finishSequence(frames, dir);
}

TData* KodakLoadMultiPage(const std::string& dir, const ImageProgress& progress)
{
    static const std::regex wavelengthTag("[Ww]\\d{6}");
    std::vector<StackFile> files = listStack(dir, [](StackFile& f) {
        if (upper(fs::path(f.name).extension().string()) != ".BIP") return false;
        std::smatch m;
        if (!std::regex_search(f.name, m, wavelengthTag)) return false;
        f.wavelength = uint32_t(std::stoul(m.str().substr(1)) / 1000);
        return true;
    });
    if (files.empty()) return nullptr;

    const int count = int(files.size());
    std::vector<QCam_Frame> frames(files.size());
    int32_t width = 0, height = 0;
    for (int i = 0; i < count; ++i) {
        const fs::path path = fs::path(dir) / files[size_t(i)].name;
        TKodakBIP bip;
        bip.LoadFromBytes(readFile(path), path.string());
        if (i == 0) {
            width = bip.FWidth;
            height = bip.FHeight;
        }
        QCam_Frame& f = frames[size_t(i)];
        f.format = FrameFormatFloat;
        f.bits = 32;
        f.frameNumber = uint16_t(i);
        f.wavelength = files[size_t(i)].wavelength;
        f.width = uint32_t(width);
        f.height = uint32_t(height);
        f.setSinglemin(bip.immin);
        f.setSinglemax(bip.immax);
        f.buffer.assign(size_t(width) * size_t(height) * 4, 0);
        f.bufferSize = f.size = uint32_t(f.buffer.size());
        if (bip.FWidth == width && bip.FHeight == height)
            std::memcpy(f.buffer.data(), bip.bitmap.data(), f.buffer.size());
        if (!advance(progress, i + 1, count)) return nullptr;
    }
    return finishSequence(frames, dir);
}

std::vector<uint8_t> GreyBmpBytes(int width, int height, const uint8_t* pixels)
{
    const uint32_t w = uint32_t(std::max(width, 0)), h = uint32_t(std::max(height, 0));
    const uint32_t stride = (w + 3) & ~3u;
    const uint32_t offBits = 14 + 40 + 256 * 4;
    const uint32_t imageSize = stride * h;
    std::vector<uint8_t> out(size_t(offBits) + imageSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    auto put16 = [&](size_t at, uint16_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, uint32_t(out.size()));
    put32(10, offBits);
    put32(14, 40);
    put32(18, w);
    put32(22, h);  // positive: rows stored bottom-up
    put16(26, 1);
    put16(28, 8);
    put32(34, imageSize);
    put32(46, 256);  // colours used
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t* q = out.data() + 54 + 4 * i;
        q[0] = q[1] = q[2] = uint8_t(i);
    }
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(out.data() + offBits + size_t(h - 1 - y) * stride, pixels + size_t(y) * w, w);
    return out;
}

void SaveMultiImg(const TData& data, const std::string& FileName)
{
    if (data.seq.empty()) return;
    const fs::path dir(FileName);
    std::error_code ec;
    fs::create_directory(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) throw OrvalaError("Cannot create directory " + FileName);
    for (const QCam_Frame& f : data.seq) {
        const size_t n = size_t(f.width) * size_t(f.height);
        if (n > size_t(MaxImagePixels))
            throw OrvalaError("Cannot save frame " + std::to_string(f.frameNumber) + ": " + std::to_string(f.width) + " x " +
                              std::to_string(f.height) + " pixels is too large");
        std::vector<uint8_t> pixels(n, 0);
        if (f.format == FrameFormatFloat) {
            // Raw float bytes would make a meaningless picture: stretch the
            // values to 0..255 the way the pseudo colours see them.
            for (size_t k = 0; k < n; ++k) {
                const double v = std::nearbyint((FramePixel(f, k) - data.seqmin) * data.seqnorm);
                pixels[k] = std::isfinite(v) ? uint8_t(std::clamp(v, 0.0, 255.0)) : 0;
            }
        } else {
            std::memcpy(pixels.data(), f.buffer.data(), std::min(n, f.buffer.size()));
        }
        const std::vector<uint8_t> bytes = GreyBmpBytes(int(f.width), int(f.height), pixels.data());
        const fs::path path = dir / (std::to_string(f.wavelength) + ".bmp");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) throw OrvalaError("Cannot write file " + path.string());
    }
}

}  // namespace orvala
