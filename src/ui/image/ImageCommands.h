#pragma once
// Opening the image window: after "Open Picture" and "Open Multipage Image",
// and when an image data set is activated in the data list.
#include <QString>

class QWidget;

namespace orvala {

class Workbench;
class TData;

namespace ImageCommands {

// A picture or image stack just read from path: its file path is kept (the
// data list's "File Path"), and its image window opens. Nothing for nil.
void Opened(Workbench& w, TData* data, const QString& path);
// The image window of data in the workbench's child-window area, shown.
QWidget* OpenImageWindow(Workbench& w, TData* data);

}  // namespace ImageCommands

}  // namespace orvala
