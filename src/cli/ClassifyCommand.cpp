// orvala-cli classify: every pixel of a picture or an image stack assigned to
// the nearest of a table of class spectra (spectral angle) or to the class of
// the largest non-negative unmixing amount, written as a class map.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "CliCommon.h"
#include "Commands.h"
#include "RenderPng.h"
#include "analysis/ClassFiles.h"
#include "analysis/PixelClassify.h"
#include "analysis/SpectraFiles.h"
#include "core/Records.h"
#include "core/Stream.h"
#include "formats/ReaderPool.h"
#include "formats/images/ImageSequence.h"

namespace orvala::cli {

namespace {

namespace fs = std::filesystem;

std::string lowerExtension(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

// The pictures are read with the saved-record BMP reader of the core library:
// the picture readers of the workbench bring Qt with them, which orvala-cli
// loads only for PNG output.
TBitmap readBmp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CliError("cannot open " + path.string());
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MemoryStream s(std::move(bytes));
    TBitmap bmp;
    try {
        bmp = ReadBitmap(s);
    } catch (const OrvalaError&) {
    }
    if (bmp.empty()) throw CliError(path.string() + " is not an uncompressed BMP picture");
    return bmp;
}

// A directory of 8-bit BMP frames named after their wavelength (digits only),
// in the order of their names as text ignoring case, as the workbench reads it;
// a frame of another size than the first stays 0.
DataRef loadStack(const std::string& dir)
{
    struct Frame {
        std::string name, key;
        uint32_t wavelength = 0;
    };
    std::vector<Frame> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        const std::string stem = e.path().stem().string();
        if (name.rfind("._", 0) == 0 || lowerExtension(name) != ".bmp" || stem.empty() ||
            !std::all_of(stem.begin(), stem.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }))
            continue;
        Frame f{name, name, 0};
        std::transform(f.key.begin(), f.key.end(), f.key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        const auto r = std::from_chars(stem.data(), stem.data() + stem.size(), f.wavelength);
        if (r.ec != std::errc() || f.wavelength > uint32_t(INT32_MAX))
            throw CliError("'" + stem + "' is not a valid integer value");
        files.push_back(std::move(f));
    }
    if (ec) throw CliError("cannot read the directory " + dir);
    if (files.empty()) throw CliError(dir + " holds no image frames (BMP files named after their wavelength)");
    std::sort(files.begin(), files.end(), [](const Frame& a, const Frame& b) { return a.key < b.key; });

    std::vector<QCam_Frame> frames(files.size());
    int width = 0, height = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const TBitmap bmp = readBmp(fs::path(dir) / files[i].name);
        if (i == 0) {
            width = bmp.width;
            height = bmp.height;
        }
        QCam_Frame& f = frames[i];
        f.format = FrameFormatByte;
        f.bits = 8;
        f.frameNumber = uint16_t(i);
        f.wavelength = files[i].wavelength;
        f.width = uint32_t(width);
        f.height = uint32_t(height);
        f.buffer.assign(size_t(width) * size_t(height), 0);
        f.bufferSize = f.size = uint32_t(f.buffer.size());
        if (bmp.width == width && bmp.height == height)
            for (size_t k = 0; k < f.buffer.size(); ++k) f.buffer[k] = uint8_t(bmp.pixels[k] & 0xFF);  // red = grey
    }
    DataRef d(CreateSequenceData(frames));
    d->setShortName(fs::path(dir).filename().string());
    return d;
}

// A directory is a stack of frames; a file is a BMP picture.
DataRef loadImage(const std::string& path)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) return loadStack(path);
    if (lowerExtension(path) != ".bmp")
        throw CliError("cannot classify " + path + ": give a BMP picture or a directory of BMP frames");
    return DataRef(CreatePictureData(readBmp(path)));
}

// Image width and height: the frames' size for a stack, the picture's otherwise.
void imageSize(const TData& d, int& w, int& h)
{
    if (!d.seq.empty()) {
        w = int(d.seq[0].width);
        h = int(d.seq[0].height);
    } else {
        w = d.img.width;
        h = d.img.height;
    }
    if (int64_t(w) * h != d.events()) {
        w = d.events();
        h = 1;
    }
}

void writeCsv(const std::vector<int32_t>& cls, int w, int h, const std::string& to)
{
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out) throw CliError("cannot write " + to);
    std::string line;
    char buf[16];
    for (int y = 0; y < h; ++y) {
        line.clear();
        for (int x = 0; x < w; ++x) {
            if (x) line += ',';
            const auto r = std::to_chars(buf, buf + sizeof buf, cls[size_t(y) * size_t(w) + size_t(x)]);
            line.append(buf, r.ptr);
        }
        line += "\r\n";
        out << line;
    }
    out.close();
    if (!out) throw CliError("cannot write " + to);
}

void writePng(const std::vector<int32_t>& cls, int w, int h, const std::string& to)
{
    std::vector<uint32_t> pixels(cls.size());
    for (size_t p = 0; p < cls.size(); ++p) {
        const uint32_t bgr = cls[p] == Unclassified ? 0u : ClassColour(cls[p]);
        pixels[p] = 0xff000000u | (bgr & 0xFFu) << 16 | (bgr & 0xFF00u) | (bgr >> 16 & 0xFFu);
    }
    OrvalaRenderPicture picture;
    picture.width = w;
    picture.height = h;
    picture.pixels = pixels.data();
    // The area covers the whole picture: no axes are drawn around a class map.
    picture.areaWidth = w;
    picture.areaHeight = h;
    picture.png = to.c_str();
    char error[256] = {};
    const int status = LoadPngWriter()(&picture, error, int(sizeof error));
    if (status == 1) throw CliError("cannot write " + to);
    if (status != 0) throw CliError(to + ": " + error);
}

}  // namespace

int runClassify(const ClassifyOptions& options)
{
    const std::string ext = lowerExtension(options.to);
    if (ext != ".csv" && ext != ".png") throw CliError("cannot tell the format of " + options.to + ": use .csv or .png");
    if (options.method != "sam" && options.method != "sd") throw CliError("unknown method " + options.method);
    if (options.threshold >= 0 && options.method != "sam") throw CliError("--threshold applies to --method sam only");

    // Class spectra: a table of mean spectra, or the classes of a class file.
    TMatrix spectra;
    std::vector<DataRef> classFile;
    if (lowerExtension(options.classes) == ".soc") {
        for (TData* c : LoadClassFile(options.classes)) classFile.emplace_back(c);
        if (classFile.empty()) throw CliError(options.classes + " holds no class");
    } else {
        const SpectraTable table = ReadSpectraCsv(options.classes);
        if (table.names.empty()) throw CliError(options.classes + " holds no class spectrum");
        spectra = table.spectra;
    }

    DataRef image = loadImage(options.image);
    const int bands = image->CaseSize();
    if (!classFile.empty()) {
        std::vector<TData*> classes;
        for (const DataRef& c : classFile) classes.push_back(c.get());
        spectra = ClassSpectra(classes, bands);
    } else {
        for (TVector& s : spectra) {
            if (int(s.size()) != bands)
                throw CliError(options.classes + " has spectra of " + std::to_string(s.size()) + " values, but " +
                               options.image + " has " + std::to_string(bands) + " bands");
            s = UnitLength(std::move(s));
        }
    }

    std::vector<int32_t> cls(size_t(image->events()));
    if (options.method == "sam") {
        const double limit = options.threshold >= 0 ? options.threshold * std::acos(-1.0) / 180.0 : INFINITY;
        SamClassify(image->data.data(), image->events(), bands, bands, spectra, TVector(spectra.size(), limit),
                    cls.data(), nullptr, readerPool());
    } else {
        SdClassify(image->data.data(), image->events(), bands, bands, spectra, cls.data(), readerPool());
    }

    int w = 0, h = 0;
    imageSize(*image, w, h);
    if (ext == ".csv")
        writeCsv(cls, w, h, options.to);
    else
        writePng(cls, w, h, options.to);
    return 0;
}

}  // namespace orvala::cli
