#include "PhenoTowers.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "WellPlateView.h"

namespace orvala {

PhenoTowers::PhenoTowers(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 150);
    setToolTip(QStringLiteral("Drag left or right to turn the towers"));
}

void PhenoTowers::setCounts(std::vector<TIntVector> counts, TIntVector colors)
{
    counts_ = std::move(counts);
    colors_ = std::move(colors);
    tooMany_ = 0;
    update();
}

void PhenoTowers::setTooMany(int n)
{
    counts_.clear();
    colors_.clear();
    tooMany_ = n;
    update();
}

int PhenoTowers::towerCount() const
{
    int64_t n = 0;
    for (const auto& c : counts_) n += int64_t(c.size());
    return int(std::min<int64_t>(n, INT32_MAX));
}

void PhenoTowers::setQuarterTurns(int n)
{
    turns_ = ((n % 4) + 4) % 4;
    update();
}

void PhenoTowers::mousePressEvent(QMouseEvent* e) { pressX_ = int(e->position().x()); }

void PhenoTowers::mouseReleaseEvent(QMouseEvent* e)
{
    const int dx = int(e->position().x()) - pressX_;
    if (std::abs(dx) > 20) setQuarterTurns(turns_ + (dx > 0 ? 1 : -1));
}

void PhenoTowers::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int tubes = int(counts_.size());
    const int codes = tubes ? int(counts_[0].size()) : 0;
    if (tooMany_ > 0) {
        p.drawText(rect(), Qt::AlignCenter,
                   QStringLiteral("%1 towers are too many to draw; see the \"Table\" page").arg(tooMany_));
        return;
    }
    if (tubes == 0 || codes == 0) {
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No counts: check parameters and press \"Fill Tubes\""));
        return;
    }
    int32_t maxCount = 0;
    for (const auto& c : counts_)
        for (int32_t v : c) maxCount = std::max(maxCount, v);

    // Grid cell (i along x, j along z) after the turn; the far cells are drawn first.
    const bool swap = turns_ % 2 == 1;
    const int nx = swap ? codes : tubes, nz = swap ? tubes : codes;
    auto source = [&](int i, int j, int& t, int& c) {
        switch (turns_) {
        case 0: t = i, c = j; break;
        case 1: t = nz - 1 - j, c = i; break;
        case 2: t = nx - 1 - i, c = nz - 1 - j; break;
        default: t = j, c = nx - 1 - i; break;
        }
    };
    // Isometric axes: x to the lower right, z to the upper right.
    const double margin = 20;
    const double span = nx + nz;
    const double unit = std::max(1.0, std::min((width() - 2 * margin) / (span * std::cos(M_PI / 6)),
                                               (height() - 2 * margin) / (span * 0.5 + 4.0)));
    const double towerHeight = std::max(10.0, height() - 2 * margin - span * 0.5 * unit);
    const double ox = margin, oy = margin + towerHeight + nz * 0.5 * unit;
    auto project = [&](double x, double z, double h) {
        return QPointF(ox + (x + z) * std::cos(M_PI / 6) * unit, oy + (x - z) * 0.5 * unit - h);
    };
    // Floor.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QColor(200, 200, 200));
    p.setBrush(QColor(245, 245, 245));
    p.drawPolygon(QPolygonF{project(0, 0, 0), project(nx, 0, 0), project(nx, nz, 0), project(0, nz, 0)});
    const double gap = 0.15;
    for (int j = nz - 1; j >= 0; --j)
        for (int i = 0; i < nx; ++i) {
            int t = 0, c = 0;
            source(i, j, t, c);
            const int32_t v = counts_[size_t(t)][size_t(c)];
            if (v <= 0 || maxCount <= 0) continue;
            const double h = towerHeight * double(v) / double(maxCount);
            const double x0 = i + gap, x1 = i + 1 - gap, z0 = j + gap, z1 = j + 1 - gap;
            const TColor tc = t < int(colors_.size()) && colors_[size_t(t)] ? TColor(colors_[size_t(t)]) : 0x0000C0;
            const QColor base = colorOf(tc);
            p.setPen(QPen(base.darker(160), 0.5));
            p.setBrush(base.darker(130));  // front face (x = x1 side)
            p.drawPolygon(QPolygonF{project(x1, z0, 0), project(x1, z1, 0), project(x1, z1, h), project(x1, z0, h)});
            p.setBrush(base.darker(110));  // face towards the viewer (z = z0)
            p.drawPolygon(QPolygonF{project(x0, z0, 0), project(x1, z0, 0), project(x1, z0, h), project(x0, z0, h)});
            p.setBrush(base.lighter(120));  // top
            p.drawPolygon(QPolygonF{project(x0, z0, h), project(x1, z0, h), project(x1, z1, h), project(x0, z1, h)});
        }
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 2, width() - 4, 16), Qt::AlignRight,
               QStringLiteral("x: %1, depth: %2, height: count (largest %3)")
                   .arg(swap ? QStringLiteral("code") : QStringLiteral("tube"),
                        swap ? QStringLiteral("tube") : QStringLiteral("code"))
                   .arg(maxCount));
}

}  // namespace orvala
