#pragma once
// Where orvala-cli render puts the plotting area inside a W x H picture: the
// margins hold the axes and their labels, the area holds only the map.
namespace orvala::cli {

struct PlotArea {
    int left = 0, top = 0, width = 0, height = 0;  // pixels; the map has width x height cells
};

constexpr int MarginLeft = 70, MarginRight = 20, MarginTop = 15, MarginBottom = 50;

// Empty (width or height 0 or less) when the picture is too small for axes.
constexpr PlotArea plotArea(int W, int H)
{
    return {MarginLeft, MarginTop, W - MarginLeft - MarginRight, H - MarginTop - MarginBottom};
}

}  // namespace orvala::cli
