#pragma once
// Entry point of the 2-D plot window for the main window.
#include <QWidget>

class QMdiArea;

namespace orvala {

class TData;
class TMultiThread;

// Opens a plot window of data as a child of area and draws it; returns the
// MDI child window. The window holds one reference to data until it closes
// or data is deleted from the workspace. pool renders the point maps (may be null).
QWidget* openScatterPlot(QMdiArea* area, orvala::TData* data, orvala::TMultiThread* pool);

}  // namespace orvala
