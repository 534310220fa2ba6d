#include "ImageSequence.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace orvala {

namespace {

// Start values of the running extremes. The maximum starts at the smallest
// positive double, not at -inf: a stack of only negative values keeps it, and
// saved data sets carry that value.
constexpr double RunningMaxStart = 5e-324;
constexpr double RunningMinStart = 1.7e308;

int checkedPixelCount(long long w, long long h, const char* what)
{
    if (w < 0 || h < 0) throw OrvalaError(std::string(what) + " has a negative size");
    const long long n = w * h;
    if (n > MaxImagePixels)
        throw OrvalaError(std::string(what) + " is too large: " + std::to_string(w) + " x " + std::to_string(h) +
                          " pixels (at most " + std::to_string(MaxImagePixels) + " can be opened)");
    return int(n);
}

// 255 / (max - min), or 1 for a flat stack. An all-zero stack keeps the start
// value 5e-324 as maximum, where the quotient overflows: that counts as flat too.
double seqNormOf(double mx, double mn)
{
    const double norm = mx == mn ? 1.0 : 255.0 / (mx - mn);
    return std::isfinite(norm) ? norm : 1.0;
}

// Reads pixel k of one frame without the per-pixel bounds checks of
// FramePixel, for frames whose buffer holds n pixels (others fall back).
struct FrameReader {
    const uint8_t* bytes = nullptr;
    bool isFloat = false;
    const QCam_Frame* frame = nullptr;
    bool complete = false;

    FrameReader(const QCam_Frame& f, size_t n)
        : bytes(f.buffer.data()), isFloat(f.format == FrameFormatFloat), frame(&f),
          complete(f.buffer.size() >= n * (f.format == FrameFormatFloat ? 4 : 1))
    {
    }
    double operator()(size_t k) const
    {
        if (!complete) return FramePixel(*frame, k);
        if (!isFloat) return double(bytes[k]);
        float v;
        std::memcpy(&v, bytes + 4 * k, 4);
        return double(v);
    }
};

std::vector<FrameReader> frameReaders(const std::vector<QCam_Frame>& frames, size_t count, size_t n)
{
    std::vector<FrameReader> readers;
    readers.reserve(count);
    for (size_t j = 0; j < count; ++j) readers.emplace_back(frames[j], n);
    return readers;
}

}  // namespace

TData* CreatePictureData(const TBitmap& picture)
{
    if (picture.empty()) throw OrvalaError("The picture is empty");
    const int n = checkedPixelCount(picture.width, picture.height, "The picture");
    if (picture.pixels.size() < size_t(n)) throw OrvalaError("The picture holds fewer pixels than its size says");
    TData* d = TData::Create("picture", 3, n);
    d->img = picture;
    d->img.pixels.resize(size_t(n));
    d->cellsize = 0;
    d->ImageColor.resize(size_t(n));
    double* v = d->data.data();
    for (int k = 0; k < n; ++k) {
        const TColor c = picture.pixels[size_t(k)] & 0x00FFFFFFu;
        v[3 * size_t(k) + 0] = double(c & 0xFF);
        v[3 * size_t(k) + 1] = double((c >> 8) & 0xFF);
        v[3 * size_t(k) + 2] = double((c >> 16) & 0xFF);
        d->fcolor[size_t(k)] = c;
        d->ImageColor[size_t(k)] = c;
    }
    return d;
}

double FramePixel(const QCam_Frame& frame, size_t k)
{
    if (frame.format == FrameFormatFloat) {
        if ((k + 1) * 4 > frame.buffer.size()) return 0;
        float f;
        std::memcpy(&f, frame.buffer.data() + 4 * k, 4);
        return double(f);
    }
    return k < frame.buffer.size() ? double(frame.buffer[k]) : 0.0;
}

TData* CreateSequenceData(std::vector<QCam_Frame>& frames)
{
    if (frames.empty()) throw OrvalaError("An image sequence needs at least one frame");
    const int n = checkedPixelCount(frames[0].width, frames[0].height, "The image");
    const int nframes = int(frames.size());
    TData* d = TData::Create("ImageSequence", nframes, n);
    try {
        double mx = RunningMaxStart, mn = RunningMinStart;
        double* v = d->data.data();
        for (int j = 0; j < nframes; ++j) d->Desc()[size_t(j)].name = std::to_string(frames[size_t(j)].wavelength);
        // Pixel by pixel, so each row of the matrix is written once, in order.
        const std::vector<FrameReader> readers = frameReaders(frames, frames.size(), size_t(n));
        for (size_t k = 0; k < size_t(n); ++k) {
            double* row = v + k * size_t(nframes);
            for (size_t j = 0; j < readers.size(); ++j) {
                const double x = readers[j](k);
                row[j] = x;
                if (x > mx) mx = x;
                if (x < mn) mn = x;
            }
        }
        d->seq = std::move(frames);
        frames.clear();
        d->seqmax = mx;
        d->seqmin = mn;
        d->seqnorm = seqNormOf(mx, mn);
        CreateColorMap(*d);
        PseudoColors(*d);
        CreatePseudoImage(*d);
    } catch (...) {
        delete d;
        throw;
    }
    return d;
}

TRGBDouble WavelengthColor(double nm)
{
    double r = 0, g = 0, b = 0;
    if (nm >= 380 && nm < 440) {
        r = -(nm - 440) / 60;
        b = 1;
    } else if (nm >= 440 && nm < 490) {
        g = (nm - 440) / 50;
        b = 1;
    } else if (nm >= 490 && nm < 510) {
        g = 1;
        b = -(nm - 510) / 20;
    } else if (nm >= 510 && nm < 580) {
        r = (nm - 510) / 70;
        g = 1;
    } else if (nm >= 580 && nm < 645) {
        r = 1;
        g = -(nm - 645) / 65;
    } else if (nm >= 645 && nm <= 780) {
        r = 1;
    }
    double f;
    if (nm > 700)
        f = 0.3 + 0.7 * (780 - nm) / 80;
    else if (nm >= 420)
        f = 1;
    else
        f = 0.3 + 0.7 * (nm - 380) / 40;
    // Outside the visible range the raw colour is 0 and f may be negative:
    // the product is then a signed zero, which pow maps to +0.
    auto weight = [f](double c) { return std::pow(f * c, 0.8); };
    return {weight(r), weight(g), weight(b)};
}

void CreateColorMap(TData& data)
{
    data.RGBTab.resize(data.seq.size());
    TRGBDouble sum;
    for (size_t j = 0; j < data.seq.size(); ++j) {
        data.RGBTab[j] = WavelengthColor(double(data.seq[j].wavelength));
        sum.r += data.RGBTab[j].r;
        sum.g += data.RGBTab[j].g;
        sum.b += data.RGBTab[j].b;
    }
    for (TRGBDouble& c : data.RGBTab) {
        if (sum.r != 0) c.r /= sum.r;
        if (sum.g != 0) c.g /= sum.g;
        if (sum.b != 0) c.b /= sum.b;
    }
}

void PseudoColors(TData& data)
{
    const int n = data.events();
    const size_t nf = std::min(data.seq.size(), data.RGBTab.size());
    const std::vector<FrameReader> readers = frameReaders(data.seq, nf, size_t(n));
    const double lo = data.seqmin, norm = data.seqnorm;
    std::vector<double> rgb(size_t(n) * 3);
    for (size_t k = 0; k < size_t(n); ++k) {
        double r = 0, g = 0, b = 0;
        for (size_t j = 0; j < nf; ++j) {
            const double dj = (readers[j](k) - lo) * norm;
            const TRGBDouble& w = data.RGBTab[j];
            r += w.r * dj;
            g += w.g * dj;
            b += w.b * dj;
        }
        rgb[3 * k] = r;
        rgb[3 * k + 1] = g;
        rgb[3 * k + 2] = b;
    }
    data.ImageColor.resize(size_t(n), 0);
    double mx = RunningMaxStart, mn = RunningMinStart;
    for (double x : rgb) {
        if (x > mx) mx = x;
        if (x < mn) mn = x;
    }
    if (mx == mn || n == 0) return;
    const double s = 255.0 / (mx - mn);
    // All-zero sums leave the maximum at its start value 5e-324, where s
    // overflows: nothing to stretch, so the picture counts as flat.
    if (!std::isfinite(s)) return;
    // Halves round to even; each channel keeps its low 8 bits. A NaN pixel
    // (a damaged float frame) becomes 0 instead of an undefined conversion.
    auto channel = [&](double x) {
        const double y = std::nearbyint((x - mn) * s);
        return std::isfinite(y) ? uint32_t(int64_t(y)) & 0xFFu : 0u;
    };
    for (int k = 0; k < n; ++k) {
        const double* c = rgb.data() + 3 * size_t(k);
        data.ImageColor[size_t(k)] = channel(c[0]) | channel(c[1]) << 8 | channel(c[2]) << 16;
        data.SetColor(k, 0);
    }
}

void CreatePseudoImage(TData& data)
{
    TBitmap bmp;
    if (!data.seq.empty()) {
        bmp.width = int(data.seq[0].width);
        bmp.height = int(data.seq[0].height);
    }
    const size_t n = size_t(std::max(bmp.width, 0)) * size_t(std::max(bmp.height, 0));
    bmp.pixels.assign(n, 0);
    const size_t have = std::min(n, data.ImageColor.size());
    std::copy(data.ImageColor.begin(), data.ImageColor.begin() + std::ptrdiff_t(have), bmp.pixels.begin());
    data.img = std::move(bmp);
}

bool CreateSeqFromData(TData& data, int w, int h, MessageSink& sink)
{
    if (w < 0 || h < 0 || int64_t(w) * int64_t(h) != int64_t(data.events())) {
        sink.message("Cannot create image from data! widht*height <> Lehgth of data.");
        return false;
    }
    const int n = data.events();
    const int cols = data.CaseSize();
    std::vector<QCam_Frame> frames(static_cast<size_t>(cols));
    std::vector<float> fmin(size_t(cols), n == 0 ? 0.0f : std::numeric_limits<float>::max());
    std::vector<float> fmax(size_t(cols), n == 0 ? 0.0f : std::numeric_limits<float>::lowest());
    for (int p = 0; p < cols; ++p) {
        QCam_Frame& f = frames[size_t(p)];
        f.format = FrameFormatFloat;
        f.bits = 32;
        f.width = uint32_t(w);
        f.height = uint32_t(h);
        f.frameNumber = uint16_t(p);
        f.wavelength = uint32_t(p);
        f.buffer.resize(size_t(n) * 4);
        f.bufferSize = f.size = uint32_t(f.buffer.size());
    }
    double mx = RunningMaxStart, mn = RunningMinStart;
    // Event by event: each matrix row is read once, in order.
    for (int k = 0; k < n; ++k) {
        const double* row = data.data[k];
        for (int p = 0; p < cols; ++p) {
            const float x = float(row[p]);
            std::memcpy(frames[size_t(p)].buffer.data() + 4 * size_t(k), &x, 4);
            fmin[size_t(p)] = std::min(fmin[size_t(p)], x);
            fmax[size_t(p)] = std::max(fmax[size_t(p)], x);
            if (double(x) > mx) mx = double(x);
            if (double(x) < mn) mn = double(x);
        }
    }
    for (int p = 0; p < cols; ++p) {
        frames[size_t(p)].setSinglemin(fmin[size_t(p)]);
        frames[size_t(p)].setSinglemax(fmax[size_t(p)]);
    }
    data.seq = std::move(frames);
    data.seqmax = mx;
    data.seqmin = mn;
    data.seqnorm = seqNormOf(mx, mn);
    CreateColorMap(data);
    PseudoColors(data);
    CreatePseudoImage(data);
    return true;
}

}  // namespace orvala
