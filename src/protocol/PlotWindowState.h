#pragma once
// What a workspace keeps of one plot window: the panel page, the ticked axis
// entries and scale boxes of the "Scatter" and "P. Components" pages, and the
// window's place. Plain values, so the workspace file needs no window.
#include <vector>

namespace orvala {

struct PlotAxesState {
    std::vector<int> x, y;  // ticked entries of the x and y lists, ascending
    bool xLogToLin = false, xLinToLog = false;
    bool yLogToLin = false, yLinToLog = false;
    bool multi = false;  // one histogram per ticked x entry
    bool operator==(const PlotAxesState&) const = default;
};

struct PlotWindowState {
    int page = 1;  // index of the panel's active page (1: "Scatter")
    PlotAxesState scatter;
    PlotAxesState components;
    // Place in the child-window area; a width or height of 0 keeps the default size.
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PlotWindowState&) const = default;
};

}  // namespace orvala
