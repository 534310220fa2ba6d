#pragma once
// Opening the image window: after "Open Picture" and "Open Multipage Image",
// and when an image data set is activated in the data list.
#include <QString>

class QWidget;

namespace orvala {

class MainWindow;
class TData;

namespace ImageCommands {

// A picture or image stack just read from path: its file path is kept (the
// data list's "File Path"), and its image window opens. Nothing for nil.
void Opened(MainWindow& w, TData* data, const QString& path);
// The image window of data in the main window's client area, shown.
QWidget* OpenImageWindow(MainWindow& w, TData* data);

}  // namespace ImageCommands

}  // namespace orvala
