#pragma once
// Size arithmetic of chart pictures and the zoom history of a chart, kept
// apart from the widgets so the rules can be tested on their own.
#include <cstddef>
#include <string>
#include <vector>

namespace orvala {

// Screen pixels per inch that a chart's layout is measured in: fonts, line
// widths and margins look as on screen when a picture is written at this
// resolution.
constexpr double ChartLayoutDpi = 96.0;

enum class ExportUnit { Pixels, Millimetres, Inches };

// What the user asks for: a width and height in a unit and a resolution.
struct ExportRequest {
    double width = 0, height = 0;
    ExportUnit unit = ExportUnit::Pixels;
    double dpi = ChartLayoutDpi;
};

// What the chart is drawn with: the chart is laid out at logicalWidth x
// logicalHeight screen pixels and scaled by `scale` onto a picture of
// pixelWidth x pixelHeight device pixels (scale = dpi / ChartLayoutDpi).
// A size given in pixels is exact; millimetres and inches are converted at
// the resolution and rounded half to even.
struct ExportGeometry {
    int pixelWidth = 0, pixelHeight = 0;
    double logicalWidth = 0, logicalHeight = 0;
    double scale = 1;
};

// Limits that keep a picture within memory: a side of at most MaxExportSide
// pixels and at most MaxExportPixels pixels in all.
constexpr int MaxExportSide = 16384;
constexpr double MaxExportPixels = 1e8;
constexpr double MinExportDpi = 36, MaxExportDpi = 2400;

// The geometry of a request; throws std::invalid_argument, whose what() is a
// message for the user, for a size or resolution that is not a positive
// finite number, a resolution outside MinExportDpi..MaxExportDpi, or a
// picture beyond the limits.
ExportGeometry exportGeometry(const ExportRequest& request);

// value in `from` expressed in `to` at dpi (pixels <-> mm <-> inches).
double convertExportLength(double value, ExportUnit from, ExportUnit to, double dpi);

// The visible ranges of a chart's bottom and left axes.
struct ViewRange {
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    bool operator==(const ViewRange&) const = default;
};

// A usable view: finite bounds and a non-empty range on both axes.
bool isUsableView(const ViewRange& v);

// v shrunk (factor < 1) or grown (factor > 1) about its centre.
ViewRange scaledView(const ViewRange& v, double factor);

// Views before each zoom step. Undo goes back one step at a time; a zoom to
// the view already shown or to an unusable view is not recorded, and the
// oldest step is dropped beyond MaxDepth so the history never grows without
// bound.
class ZoomHistory {
public:
    static constexpr size_t MaxDepth = 100;

    // Records `before` as the view to return to, when `after` (the view the
    // zoom goes to) is usable and differs from it. Returns whether it did.
    bool push(const ViewRange& before, const ViewRange& after);
    bool canUndo() const { return !steps_.empty(); }
    // The view before the last recorded zoom; the history must not be empty.
    ViewRange undo();
    // The view before the first recorded zoom; the history must not be empty.
    // Empties the history.
    ViewRange undoAll();
    void clear() { steps_.clear(); }
    size_t depth() const { return steps_.size(); }

private:
    std::vector<ViewRange> steps_;
};

}  // namespace orvala
