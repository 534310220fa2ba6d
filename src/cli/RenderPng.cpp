// orvala-cli's PNG module: axes, labels and the PNG file of `render`, with Qt.
#include "RenderPng.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

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
void drawAxes(QImage& img, const OrvalaRenderPicture& a)
{
    QPainter p(&img);
    p.setClipRegion(QRegion(img.rect()).subtracted(QRegion(a.areaLeft, a.areaTop, a.areaWidth, a.areaHeight)));
    p.setPen(Qt::black);
    QFont f = p.font();
    f.setPixelSize(11);
    p.setFont(f);
    const int x0 = a.areaLeft - 1, y0 = a.areaTop + a.areaHeight;
    p.drawLine(x0, a.areaTop, x0, y0);
    p.drawLine(x0, y0, a.areaLeft + a.areaWidth, y0);
    for (int k = 0; k <= 2; ++k) {
        const int px = a.areaLeft + (a.areaWidth - 1) * k / 2;
        p.drawLine(px, y0, px, y0 + 4);
        p.drawText(QRect(px - 40, y0 + 5, 80, 14), Qt::AlignHCenter | Qt::AlignTop,
                   label(a.xlo + (a.xhi - a.xlo) * k / 2));
        const int py = a.areaTop + (a.areaHeight - 1) - (a.areaHeight - 1) * k / 2;
        p.drawLine(x0 - 4, py, x0, py);
        p.drawText(QRect(0, py - 7, x0 - 6, 14), Qt::AlignRight | Qt::AlignVCenter,
                   label(a.ylo + (a.yhi - a.ylo) * k / 2));
    }
    p.drawText(QRect(a.areaLeft, y0 + 22, a.areaWidth, 16), Qt::AlignHCenter | Qt::AlignTop,
               QString::fromUtf8(a.xtitle));
    p.save();
    p.translate(12, a.areaTop + a.areaHeight / 2);
    p.rotate(-90);
    p.drawText(QRect(-a.areaHeight / 2, -8, a.areaHeight, 16), Qt::AlignCenter, QString::fromUtf8(a.ytitle));
    p.restore();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int orvala_render_png(const OrvalaRenderPicture* picture,
                                                                       char* error, int errorSize)
{
    if (!picture || !picture->pixels || picture->width <= 0 || picture->height <= 0) {
        if (error && errorSize > 0) std::snprintf(error, size_t(errorSize), "%s", "no picture to write");
        return 2;
    }
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
    QImage img(picture->width, picture->height, QImage::Format_RGB32);
    for (int y = 0; y < picture->height; ++y)
        std::memcpy(img.scanLine(y), picture->pixels + size_t(y) * size_t(picture->width),
                    size_t(picture->width) * sizeof(uint32_t));
    drawAxes(img, *picture);
    return img.save(QString::fromUtf8(picture->png), "PNG") ? 0 : 1;
}
