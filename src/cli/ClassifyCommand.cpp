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
#include "formats/images/ImageSequence.h"
#include "formats/images/MultiPage.h"
#include "formats/images/PictureReader.h"
#include "formats/ReaderPool.h"

namespace orvala::cli {

namespace {

namespace fs = std::filesystem;

std::string lowerExtension(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

// A directory is a stack of BMP frames, or of Kodak BIP frames when it holds
// those and no BMP; a file is a picture.
DataRef loadImage(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return DataRef(OpenPicture(path));
    bool bmp = false, bip = false;
    for (const auto& e : fs::directory_iterator(path, ec)) {
        const std::string ext = lowerExtension(e.path().string());
        bmp |= ext == ".bmp";
        bip |= ext == ".bip";
    }
    DataRef d(bip && !bmp ? KodakLoadMultiPage(path) : LoadMultiPage(path));
    if (!d) throw CliError(path + " holds no image frames (BMP files named after their wavelength)");
    return d;
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

// The PNG writer module that `render` uses, loaded from the executable's folder.
OrvalaRenderPngFn pngWriter()
{
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = ORVALA_PNG_MODULE;
    if (n > 0) {
        const std::string self(exe, size_t(n));
        const size_t slash = self.rfind('/');
        if (slash != std::string::npos) path = self.substr(0, slash + 1) + ORVALA_PNG_MODULE;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        throw CliError("cannot load the PNG writer " + path + (why ? std::string(": ") + why : std::string()));
    }
    auto fn = reinterpret_cast<OrvalaRenderPngFn>(::dlsym(module, "orvala_render_png"));
    if (!fn) throw CliError("the PNG writer " + path + " has no entry point");
    return fn;
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
    const int status = pngWriter()(&picture, error, int(sizeof error));
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
