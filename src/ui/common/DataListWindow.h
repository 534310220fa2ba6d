#pragma once
// The data list window: owns the workspace list of every open data set and
// shows it as a tree. Every menu command works on the data sets selected here.
#include <QDockWidget>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/TData.h"
#include "core/TDataList.h"

class QMimeData;
class QSplitter;
class QTableWidget;
class QMenu;
class QAction;
class QTimer;

namespace orvala {

// The tree of the data list. Selection follows the mouse rules of the data
// list (Ctrl and Shift extend it, siblings only) and remembers its order.
class DataTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit DataTree(QWidget* parent = nullptr);

    // The selected nodes in the order they were selected.
    const std::vector<QTreeWidgetItem*>& selectionOrder() const { return order_; }
    // Applies a press on item with the given modifiers (what a mouse press does).
    void pressNode(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers);
    // Removes every node and forgets the selection that pointed at them.
    void clearNodes();
    // What a drag of the selection carries; without it the tree starts no drag.
    void setDragData(std::function<QMimeData*()> make) { dragData_ = std::move(make); }

signals:
    void nodePressed(QTreeWidgetItem* item, Qt::MouseButton button);
    void nodeDoubleClicked(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void syncOrder();
    std::function<QMimeData*()> dragData_;
    QPoint dragStart_;
    bool dragArmed_ = false;  // a left press on a node that a move can turn into a drag
    std::vector<QTreeWidgetItem*> order_;
    // A second click on the only selected node edits its label, unless it
    // turns out to be a double click.
    QTimer* editTimer_ = nullptr;
    QTreeWidgetItem* editCandidate_ = nullptr;
    QTreeWidgetItem* anchor_ = nullptr;
};

class DataListWindow : public QDockWidget {
    Q_OBJECT
public:
    explicit DataListWindow(QWidget* parent = nullptr);
    ~DataListWindow() override;

    // --- workspace operations ---
    // nil is ignored; otherwise added (one reference) and the tree is rebuilt.
    void Add(TData* data);
    void Add(TDataList& list);
    // Removes the data set; its kids move up to its parent or become roots.
    void Remove(TData* data);
    // Removes the selection, leaves first, so that a selected subtree goes whole.
    void RemoveSelected();
    int Count() const { return datas.Count(); }
    TData* GetItem(int i) const { return datas.GetData(i); }
    int SelectionCount() const;
    TData* GetSelected(int i) const;
    std::vector<TData*> Selected() const;
    std::string CreateName(const TData* source, const std::string& suffix) const;
    // True when a command may go on: something is selected, or the workspace
    // holds exactly one data set (which gets selected). Otherwise shows
    // "Please select at least one data file!" and returns false.
    bool AskSelect();

    // Rebuilds the tree from the workspace list.
    void Rebuild();
    // Selects the nodes of these data sets (as a Ctrl-click on each would).
    void SelectData(const std::vector<TData*>& data);
    // Makes data the only selection and the current node, as a click on it would.
    void MakeCurrent(TData* data);
    QTreeWidgetItem* NodeOf(const TData* data) const;
    static TData* DataOf(const QTreeWidgetItem* item);

    // What dragging the selection carries: the selected data sets in the order
    // they were selected (see DataSetDrag.h).
    QMimeData* SelectionMimeData() const;

    // Fills the name/value grid for data ("File Path", "Params", "Events", "Percentage").
    void ShowValues(TData* data);
    // The grid value of a row name ("" when absent).
    QString Value(const QString& name) const;
    // "Percentage" of a data set: its events over its root's, one decimal, then "%".
    static QString Percentage(const TData* data);

    DataTree* List = nullptr;
    QTableWidget* Values = nullptr;
    QSplitter* Splitter1 = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* ChangeColor1 = nullptr;
    QAction* FCSFileInfo1 = nullptr;
    QAction* UpdateColor = nullptr;
    QAction* Remove1 = nullptr;
    QAction* EnableColor = nullptr;
    TDataList datas;
    // The file-information window needs the FCS reader; its popup entry stays
    // disabled until the main window says it can serve it.
    void setFileInfoAvailable(bool available) { fileInfoAvailable_ = available; }
    QTreeWidgetItem* Currentnode = nullptr;

signals:
    // Double click: a plot (or an image window for image sequences) is wanted.
    void dataActivated(TData* data);
    void fileInfoRequested(const QString& fileName, int datasetnum);
    void workspaceChanged();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void onNodePressed(QTreeWidgetItem* item, Qt::MouseButton button);
    void onItemChanged(QTreeWidgetItem* item, int column);
    void showPopup(const QPoint& pos);
    void changeColor();
    void setColorDisabled(bool disabled);
    void refreshNodes();
    // Whether the tree has exactly one node per data set of the workspace list.
    bool nodesMatchWorkspace() const;
    QIcon swatch(const TData* data) const;

    bool rebuilding_ = false;
    bool fileInfoAvailable_ = false;
};

}  // namespace orvala
