#pragma once
// What a window family's windows and menu commands may use of the workbench
// around them: the data list, the worker pool, the message sink, the
// settings, the child-window area, the progress window and the dialogs the
// commands share. The main window implements it; a command or window gets it
// passed in and so never needs to know the main window.
class QMdiArea;
class QWidget;

namespace orvala {

class DataListWindow;
class DiscriminationDialog;
class IniFile;
class MessageSink;
class ProgressWindow;
class TMultiThread;

class Workbench {
public:
    virtual ~Workbench() = default;

    // The data list: the workspace's data sets and the user's selection.
    virtual DataListWindow* dataList() const = 0;
    // The worker pool for loops over events; may be null.
    virtual TMultiThread* pool() const = 0;
    // Where readers and computations report non-fatal anomalies.
    virtual MessageSink& messages() = 0;
    virtual IniFile& settings() = 0;
    // The area that holds the child windows.
    virtual QMdiArea* mdiArea() const = 0;
    // The one progress window of long loads ("Stop" cancels).
    virtual ProgressWindow* progress() const = 0;
    // "Discrimination Level", kept so the level stays from one command to the next.
    virtual DiscriminationDialog* discrimination() const = 0;
    // The window the commands' dialogs belong to.
    virtual QWidget* dialogParent() = 0;
};

}  // namespace orvala
