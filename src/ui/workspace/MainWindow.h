#pragma once
// The workbench's main window: a multiple-document frame with the menu of
// every command, the data list docked on the left, the settings file, the
// worker pool and the dialogs shared by the commands. The window families'
// commands reach all of that only through the Workbench it implements.
#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "protocol/Workspace.h"
#include "ui/common/DataEvents.h"
#include "ui/common/IniFile.h"
#include "ui/common/UiMessages.h"
#include "ui/common/Workbench.h"

class QMdiArea;
class QMenu;

namespace orvala {

class DataListWindow;
class TMultiThread;
class SaveTextOptionsDialog;
class DiscriminationDialog;
class OptionsDialog;
class FileFormatDialog;
class ProgressWindow;
class InstanceServer;
class FileInfoWindow;
class TData;

class MainWindow : public QMainWindow, public Workbench {
    Q_OBJECT
public:
    // settingsFile: the INI file to use (see prepareSettingsFile); the window
    // moves to "Main"/"Left","Top" from it.
    explicit MainWindow(const QString& settingsFile, QWidget* parent = nullptr);
    ~MainWindow() override;

    DataListWindow* dataList() const override { return dataList_; }
    TMultiThread* pool() const override { return pool_.get(); }
    MessageSink& messages() override { return sink_; }
    IniFile& settings() override { return settings_; }
    QMdiArea* mdiArea() const override { return mdi_; }
    ProgressWindow* progress() const override { return progress_; }
    DiscriminationDialog* discrimination() const override { return discrimination_; }
    QWidget* dialogParent() override { return this; }

    SaveTextOptionsDialog* saveTextOptions() const { return saveTextOptions_; }
    OptionsDialog* options() const { return options_; }
    FileFormatDialog* fileFormat() const { return fileFormat_; }
    FileInfoWindow* fileInfo() const { return fileInfo_; }

    // The menu entry with this caption (as shown, "&" included); null when absent.
    QAction* action(const QString& caption) const;
    QList<QMenu*> menus() const;

    // "Open" without the dialog: the names are sorted, each file is read and
    // every data set of its chain is added. Errors are shown, not raised.
    void openFiles(QStringList names);
    // Opens the first data set of a file (the start-up argument and the file
    // handed over by a second start).
    void openFirstDataSet(const QString& name);
    // Answers second starts: raises this window and opens the files they hand over.
    void attachInstanceServer(InstanceServer* server);
    // Brings the window to the front, restoring it when minimised.
    void bringToFront();
    // Shows or hides the background picture of the child-window area.
    void setBackgroundVisible(bool visible);
    bool backgroundVisible() const { return backgroundVisible_; }

    // A 2-D plot window of data (nil: an empty one) in the child-window area.
    QWidget* openPlot(TData* data);

    // --- workspaces (".orw") ---
    // "Save Workspace": writes the data sets opened from files with their gate
    // trees and the plot windows; returns the screen names of the data sets
    // left out (not opened from a file).
    std::vector<std::string> saveWorkspace(const QString& fileName);
    // "Open Workspace": reads fileName (a damaged file raises before anything
    // changes), asks before unsaved gates are discarded, replaces the
    // workspace and reopens the plot windows. What could not be opened is
    // shown in one message. False when the user kept the current workspace.
    bool openWorkspace(const QString& fileName);
    // "Close Workspace": after asking about unsaved gates, closes every window
    // and removes every data set. False when the user cancelled.
    bool closeWorkspace();
    // Gates were made or changed since the workspace was last saved or opened.
    bool hasUnsavedGates() const;
    // Asks before unsaved gates are discarded: Save (to the current workspace
    // file, or one asked for), Discard or Cancel. True when the caller may go on.
    bool confirmDiscardGates();
    // Stands in for the question of confirmDiscardGates (tests): returns
    // QMessageBox::Save, QMessageBox::Discard or QMessageBox::Cancel.
    std::function<int()> unsavedGatesQuestion;
    // The workspace file last saved or opened; empty when none.
    QString workspaceFile() const { return workspaceFile_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Flag { None = 0, Hidden = 1, NoAskSelect = 2 };
    // A menu entry: work == nullptr makes it a disabled entry (its command is not built).
    QAction* addCommand(QMenu* menu, const QString& caption, std::function<void()> work, int flags = None);
    void buildMenu();
    void openDialog();
    void plotSelected();
    void saveWorkspaceDialog();
    void openWorkspaceDialog();
    // Closes every child window and removes every data set, without asking.
    void clearWorkspace();
    std::vector<WorkspaceWindow> plotWindows() const;
    void freePool();
    void updateBackground();

    IniFile settings_;
    std::unique_ptr<TMultiThread> pool_;
    QMdiArea* mdi_ = nullptr;
    DataListWindow* dataList_ = nullptr;
    SaveTextOptionsDialog* saveTextOptions_ = nullptr;
    DiscriminationDialog* discrimination_ = nullptr;
    OptionsDialog* options_ = nullptr;
    FileFormatDialog* fileFormat_ = nullptr;
    // Sets what the text and log readers read name with: the event limit of
    // the options and, for a generic text table, the "File Format" the user
    // gives. False when the user closed that dialog: the file is not opened.
    bool prepareReading(const QString& name);
    ProgressWindow* progress_ = nullptr;
    FileInfoWindow* fileInfo_ = nullptr;
    QHash<QString, QAction*> actions_;
    UiNotifier notifier_;
    MessageBoxSink sink_;
    MessageSink* previousSink_ = nullptr;
    bool backgroundVisible_ = true;
    bool opening_ = false;
    QStringList pendingOpens_;
    QString workspaceFile_;
    uint64_t savedGates_ = 0;  // GateFingerprint when the workspace was last saved or opened
};

}  // namespace orvala
