#pragma once
// Where Window > Tile and Window > Cascade put the child windows of the main
// window: every window keeps at least a usable size; when the area cannot
// hold them all at that size, the layout grows beyond the area (downwards
// for tiling) and the area scrolls, instead of shrinking charts to slivers.
#include <vector>

namespace orvala {

struct WinRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WinRect&) const = default;
};

// count windows tiled in a grid over width x height. The grid is the one
// whose cells come closest to the minimum's proportions while filling the
// area; cells are never smaller than minWidth x minHeight. Row by row,
// left to right. Empty for count <= 0.
std::vector<WinRect> tileLayout(int count, int width, int height, int minWidth, int minHeight);

// count windows cascaded from the top left, each `step` further right and
// down, of two thirds of the area but at least the minimum; the cascade
// starts again at the top when the next window would leave the area.
std::vector<WinRect> cascadeLayout(int count, int width, int height, int minWidth, int minHeight, int step);

}  // namespace orvala
