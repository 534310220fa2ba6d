#pragma once
// Entry point of the 2-D plot window for the workbench: opening one, and what
// a workspace keeps of it.
#include <QWidget>

#include "protocol/PlotWindowState.h"

class QMdiArea;

namespace orvala {

class TData;
class TMultiThread;

// Opens a plot window of data as a child of area and draws it; returns the
// MDI child window. The window holds one reference to data until it closes
// or data is deleted from the workspace. pool renders the point maps (may be null).
QWidget* openScatterPlot(QMdiArea* area, orvala::TData* data, orvala::TMultiThread* pool);

// The data set a plot window shows (window as openScatterPlot returns it, or
// the plot form itself); null when window is no plot window or shows nothing.
orvala::TData* plotWindowData(QWidget* window);
// What a workspace keeps of a plot window: page, ticked axis entries, scale
// boxes and place. The default state when window is no plot window.
PlotWindowState plotWindowState(QWidget* window);
// Puts a saved state back and redraws. Entries beyond the lists and pages
// that do not exist are left out; a width or height of 0 keeps the size.
void applyPlotWindowState(QWidget* window, const PlotWindowState& state);

}  // namespace orvala
