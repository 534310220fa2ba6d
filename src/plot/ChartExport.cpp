#include "plot/ChartExport.h"

#include <cassert>
#include <cmath>
#include <stdexcept>

namespace orvala {

namespace {

double inchesPer(ExportUnit unit, double dpi)
{
    switch (unit) {
    case ExportUnit::Pixels: return 1.0 / dpi;
    case ExportUnit::Millimetres: return 1.0 / 25.4;
    case ExportUnit::Inches: return 1.0;
    }
    return 1.0;
}

bool positive(double v) { return std::isfinite(v) && v > 0; }

}  // namespace

double convertExportLength(double value, ExportUnit from, ExportUnit to, double dpi)
{
    if (from == to) return value;  // exact: a size in pixels stays what was typed
    if (from == ExportUnit::Pixels) return value / dpi / inchesPer(to, dpi);
    if (to == ExportUnit::Pixels) return value * inchesPer(from, dpi) * dpi;
    return value * inchesPer(from, dpi) / inchesPer(to, dpi);
}

ExportGeometry exportGeometry(const ExportRequest& r)
{
    if (!positive(r.dpi) || r.dpi < MinExportDpi || r.dpi > MaxExportDpi)
        throw std::invalid_argument("The resolution must lie between 36 and 2400 dots per inch.");
    if (!positive(r.width) || !positive(r.height))
        throw std::invalid_argument("The width and height of the picture must be positive numbers.");
    const double w = std::nearbyint(convertExportLength(r.width, r.unit, ExportUnit::Pixels, r.dpi));
    const double h = std::nearbyint(convertExportLength(r.height, r.unit, ExportUnit::Pixels, r.dpi));
    if (w < 1 || h < 1)
        throw std::invalid_argument("The picture would be smaller than one pixel: choose a larger size or resolution.");
    if (w > MaxExportSide || h > MaxExportSide || w * h > MaxExportPixels)
        throw std::invalid_argument("The picture would be too large (at most 16384 pixels a side and 100 million "
                                    "pixels in all): choose a smaller size or resolution.");
    ExportGeometry g;
    g.pixelWidth = int(w);
    g.pixelHeight = int(h);
    g.scale = r.dpi / ChartLayoutDpi;
    g.logicalWidth = w / g.scale;
    g.logicalHeight = h / g.scale;
    return g;
}

bool isUsableView(const ViewRange& v)
{
    return std::isfinite(v.xmin) && std::isfinite(v.xmax) && std::isfinite(v.ymin) && std::isfinite(v.ymax) &&
           v.xmax > v.xmin && v.ymax > v.ymin && std::isfinite(v.xmax - v.xmin) && std::isfinite(v.ymax - v.ymin);
}

ViewRange scaledView(const ViewRange& v, double factor)
{
    const double cx = v.xmin / 2 + v.xmax / 2, cy = v.ymin / 2 + v.ymax / 2;
    const double hx = (v.xmax - v.xmin) / 2 * factor, hy = (v.ymax - v.ymin) / 2 * factor;
    return {cx - hx, cx + hx, cy - hy, cy + hy};
}

bool ZoomHistory::push(const ViewRange& before, const ViewRange& after)
{
    if (!isUsableView(after) || after == before)
        return false;
    if (steps_.size() >= MaxDepth)
        steps_.erase(steps_.begin());
    steps_.push_back(before);
    return true;
}

ViewRange ZoomHistory::undo()
{
    assert(!steps_.empty());
    const ViewRange v = steps_.back();
    steps_.pop_back();
    return v;
}

ViewRange ZoomHistory::undoAll()
{
    assert(!steps_.empty());
    const ViewRange v = steps_.front();
    steps_.clear();
    return v;
}

}  // namespace orvala
