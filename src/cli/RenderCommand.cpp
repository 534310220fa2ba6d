// orvala-cli render: the pixel-map density picture (or a histogram) as PNG,
// through the renderer of the plot window, with labelled axes.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "Commands.h"
#include "RenderLayout.h"
#include "RenderPng.h"
#include "formats/ReaderPool.h"
#include "geometry/Scales.h"
#include "parallel/TMultiThread.h"
#include "plot/Histogrm.h"
#include "plot/PixelMap.h"

namespace orvala::cli {

namespace {

AxisMode axisMode(const std::string& s)
{
    if (s == "linlog") return AxisMode::LinLog;
    if (s == "loglin") return AxisMode::LogLin;
    if (s == "lin") return AxisMode::Linear;
    throw CliError("unknown scale: " + s + " (lin, linlog or loglin)");
}

// "FSC-A+SSC-A": the sum of the named columns, through the axis scale.
std::vector<double> axisValues(const TData& d, const std::string& spec, AxisMode mode)
{
    std::vector<int> cols;
    size_t start = 0;
    while (true) {
        const size_t plus = spec.find('+', start);
        cols.push_back(parameterIndex(d, spec.substr(start, plus == std::string::npos ? std::string::npos : plus - start)));
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    const ScaleFunction convert = AxisScaleFor(mode).Convert;
    std::vector<double> v(size_t(d.events()));
    for (int e = 0; e < d.events(); ++e) {
        double s = 0;
        for (int c : cols) s += d.data[e][c];
        v[size_t(e)] = convert(s);
    }
    return v;
}

// Finite minimum and maximum; a zero range is widened by one on each side.
void valueRange(const std::vector<double>& v, double& lo, double& hi)
{
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    for (double x : v)
        if (std::isfinite(x)) {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    if (!(lo <= hi)) lo = 0, hi = 1;
    if (hi == lo) lo -= 1, hi += 1;
}

// The picture's pixel value (0xffRRGGBB) of a map colour (0x00BBGGRR).
uint32_t rgb32(uint32_t bgr)
{
    return 0xff000000u | (bgr & 0xFFu) << 16 | (bgr & 0xFF00u) | (bgr >> 16 & 0xFFu);
}

}  // namespace

int runRender(const RenderOptions& options)
{
    int W = 0, H = 0;
    {
        const std::string& s = options.size;
        const size_t x = s.find_first_of("xX");
        const char* end = s.data() + s.size();
        if (x == std::string::npos || std::from_chars(s.data(), s.data() + x, W).ptr != s.data() + x ||
            std::from_chars(s.data() + x + 1, end, H).ptr != end)
            throw CliError("--size must be WxH, for example 600x400, not " + s);
    }
    const PlotArea area = plotArea(W, H);
    if (area.width < 2 || area.height < 2 || W > 20000 || H > 20000)
        throw CliError("--size " + options.size + " leaves no room for the plot (at least " +
                       std::to_string(MarginLeft + MarginRight + 2) + "x" + std::to_string(MarginTop + MarginBottom + 2) +
                       ", at most 20000x20000)");
    const AxisMode xmode = axisMode(options.xscale), ymode = axisMode(options.yscale);

    FileMessageSink sink(options.file);
    FileChain chain = openChain(options.file, sink, readerPool());
    if (options.dataset < 0 || options.dataset >= int(chain.sets.size()))
        throw CliError(options.file + " has no data set " + std::to_string(options.dataset));
    const TData& d = *chain.sets[size_t(options.dataset)];
    const std::vector<double> xs = axisValues(d, options.x, xmode);
    std::vector<double> ys;
    if (!options.y.empty()) ys = axisValues(d, options.y, ymode);

    std::vector<uint32_t> img(size_t(W) * size_t(H), 0xffffffffu);
    double xlo, xhi, ylo, yhi;
    valueRange(xs, xlo, xhi);
    if (!ys.empty()) {
        valueRange(ys, ylo, yhi);
        TMultiThread pool(0);
        TMapper mapper(&pool);
        mapper.xx = xs.data();
        mapper.yy = ys.data();
        mapper.DataSize = int(xs.size());
        const std::vector<MapPoint> points =
            RenderPixelMap(mapper, area.width - 1, area.height - 1, xlo, xhi, ylo, yhi);
        const TMapData& mi = mapper.MapInfo;
        for (const MapPoint& pt : points) {
            const long col = std::lrint((pt.x - mi.cminx) * mi.scalex);
            const long row = std::lrint((pt.y - mi.cminy) * mi.scaley);
            if (col < 0 || col >= area.width || row < 0 || row >= area.height) continue;
            img[size_t(area.top + area.height - 1 - int(row)) * size_t(W) + size_t(area.left + int(col))] =
                rgb32(pt.color);
        }
    } else {
        ylo = 0;
        yhi = 1;
        std::vector<double> finite;
        finite.reserve(xs.size());
        for (double v : xs)
            if (std::isfinite(v)) finite.push_back(v);
        if (!finite.empty()) {
            Thistogram h(TVector(finite.begin(), finite.end()), std::max(2, area.width));
            double top = 0;
            for (double c : h.Yvalue) top = std::max(top, c);
            yhi = top > 0 ? top : 1;
            const double span = xhi - xlo;
            const uint32_t bar = 0xff000000u | 40u << 16 | 70u << 8 | 160u;
            for (int b = 0; b < h.Count() && b < int(h.Yvalue.size()); ++b) {
                const double left = (h.Xvalue[size_t(b)] - xlo) / span * (area.width - 1);
                const double right = b + 1 < h.Count() ? (h.Xvalue[size_t(b) + 1] - xlo) / span * (area.width - 1)
                                                        : left + h.step / span * (area.width - 1);
                const int c0 = std::clamp(int(std::lrint(left)), 0, area.width - 1);
                const int c1 = std::clamp(int(std::lrint(right)) - 1, c0, area.width - 1);
                const int hgt = int(std::lrint(h.Yvalue[size_t(b)] / yhi * (area.height - 1)));
                if (hgt <= 0) continue;
                for (int y = area.top + area.height - hgt; y < area.top + area.height; ++y)
                    std::fill_n(img.data() + size_t(y) * size_t(W) + size_t(area.left + c0), c1 - c0 + 1, bar);
            }
        }
    }

    const OrvalaRenderPngFn writePng = LoadPngWriter();
    const std::string xtitle = utf8(options.x), ytitle = ys.empty() ? std::string("Count") : utf8(options.y);
    OrvalaRenderPicture picture;
    picture.width = W;
    picture.height = H;
    picture.pixels = img.data();
    picture.areaLeft = area.left;
    picture.areaTop = area.top;
    picture.areaWidth = area.width;
    picture.areaHeight = area.height;
    picture.xlo = xlo;
    picture.xhi = xhi;
    picture.ylo = ylo;
    picture.yhi = yhi;
    picture.xtitle = xtitle.c_str();
    picture.ytitle = ytitle.c_str();
    picture.png = options.png.c_str();
    char error[256] = {};
    const int status = writePng(&picture, error, int(sizeof error));
    if (status == 1) throw CliError("cannot write " + options.png);
    if (status != 0) throw CliError(error);
    return 0;
}

}  // namespace orvala::cli
