// orvala-cli render: the pixel-map density picture (or a histogram) as PNG,
// through the renderer of the plot window, with labelled axes.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "CliCommon.h"
#include "Commands.h"
#include "RenderLayout.h"
#include "formats/ReaderPool.h"
#include "plot/Histogrm.h"
#include "plot/PixelMap.h"
#include "plot/Scales.h"
#include "parallel/TMultiThread.h"

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

QRgb toQRgb(uint32_t bgr)
{
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QString label(double v)
{
    char buf[32];
    // Whole numbers for instrument ranges, four digits for small scaled values.
    const double a = std::fabs(v);
    const double r = a >= 1e6 || (a != 0 && a < 1e-2) ? v : a >= 100 ? std::nearbyint(v) : std::nearbyint(v * 100) / 100;
    auto res = a >= 1e6 || (a != 0 && a < 1e-2) ? std::to_chars(buf, buf + sizeof buf, r, std::chars_format::general, 4)
                                                : std::to_chars(buf, buf + sizeof buf, r);
    return QString::fromLatin1(buf, int(res.ptr - buf));
}

// Axis lines just outside the area, three ticks per axis with values, titles.
void drawAxes(QImage& img, const PlotArea& a, double xlo, double xhi, double ylo, double yhi, const QString& xtitle,
              const QString& ytitle)
{
    QPainter p(&img);
    p.setClipRegion(QRegion(img.rect()).subtracted(QRegion(a.left, a.top, a.width, a.height)));
    p.setPen(Qt::black);
    QFont f = p.font();
    f.setPixelSize(11);
    p.setFont(f);
    const int x0 = a.left - 1, y0 = a.top + a.height;
    p.drawLine(x0, a.top, x0, y0);
    p.drawLine(x0, y0, a.left + a.width, y0);
    for (int k = 0; k <= 2; ++k) {
        const int px = a.left + (a.width - 1) * k / 2;
        p.drawLine(px, y0, px, y0 + 4);
        p.drawText(QRect(px - 40, y0 + 5, 80, 14), Qt::AlignHCenter | Qt::AlignTop, label(xlo + (xhi - xlo) * k / 2));
        const int py = a.top + (a.height - 1) - (a.height - 1) * k / 2;
        p.drawLine(x0 - 4, py, x0, py);
        p.drawText(QRect(0, py - 7, x0 - 6, 14), Qt::AlignRight | Qt::AlignVCenter, label(ylo + (yhi - ylo) * k / 2));
    }
    p.drawText(QRect(a.left, y0 + 22, a.width, 16), Qt::AlignHCenter | Qt::AlignTop, xtitle);
    p.save();
    p.translate(12, a.top + a.height / 2);
    p.rotate(-90);
    p.drawText(QRect(-a.height / 2, -8, a.height, 16), Qt::AlignCenter, ytitle);
    p.restore();
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

    StderrSink sink;
    FileChain chain = openChain(options.file, sink, readerPool());
    if (options.dataset < 0 || options.dataset >= int(chain.sets.size()))
        throw CliError(options.file + " has no data set " + std::to_string(options.dataset));
    const TData& d = *chain.sets[size_t(options.dataset)];
    const std::vector<double> xs = axisValues(d, options.x, xmode);
    std::vector<double> ys;
    if (!options.y.empty()) ys = axisValues(d, options.y, ymode);

    // Text needs a font database, which needs a platform: offscreen unless the user chose one.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char arg0[] = "orvala-cli";
    char* argv[] = {arg0, nullptr};
    // Qt's own chatter (the runtime folder of a headless session) is not a message for the user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    QGuiApplication app(argc, argv);

    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Qt::white);
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
            img.setPixel(area.left + int(col), area.top + area.height - 1 - int(row), toQRgb(pt.color));
        }
        drawAxes(img, area, xlo, xhi, ylo, yhi, QString::fromStdString(utf8(options.x)),
                 QString::fromStdString(utf8(options.y)));
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
            QPainter p(&img);
            const QColor bar(40, 70, 160);
            for (int b = 0; b < h.Count() && b < int(h.Yvalue.size()); ++b) {
                const double left = (h.Xvalue[size_t(b)] - xlo) / span * (area.width - 1);
                const double right = b + 1 < h.Count() ? (h.Xvalue[size_t(b) + 1] - xlo) / span * (area.width - 1)
                                                        : left + h.step / span * (area.width - 1);
                const int c0 = std::clamp(int(std::lrint(left)), 0, area.width - 1);
                const int c1 = std::clamp(int(std::lrint(right)) - 1, c0, area.width - 1);
                const int hgt = int(std::lrint(h.Yvalue[size_t(b)] / yhi * (area.height - 1)));
                if (hgt <= 0) continue;
                p.fillRect(area.left + c0, area.top + area.height - hgt, c1 - c0 + 1, hgt, bar);
            }
        }
        drawAxes(img, area, xlo, xhi, ylo, yhi, QString::fromStdString(utf8(options.x)), QStringLiteral("Count"));
    }
    if (!img.save(QString::fromStdString(options.png), "PNG")) throw CliError("cannot write " + options.png);
    return 0;
}

}  // namespace orvala::cli
