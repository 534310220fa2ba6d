#pragma once
// The command bar of a chart: zoom in and out, undo zoom, zoom and pan
// modes, copy, save as a picture and print. The same commands make up the
// chart's right-click menu. Any window may bind one to its chart.
#include <QToolBar>
#include <functional>

class QMenu;

namespace orvala {

class Chart;

class ChartCommandBar : public QToolBar {
    Q_OBJECT
public:
    explicit ChartCommandBar(Chart* chart = nullptr, QWidget* parent = nullptr);

    // Binds the bar and the right-click menu to chart (null: unbound, all
    // commands disabled).
    void setChart(Chart* chart);
    Chart* chart() const { return chart_; }
    // The right-click menu: the bar's commands, then those added with addCommand.
    QMenu* menu() const { return menu_; }

    // Adds a window's own command after the chart commands, to the bar and
    // (inMenu) to the right-click menu. The bar does not take ownership of
    // an action that already has a parent.
    void addCommand(QAction* action, bool inMenu = true);

    // The commands, also reachable from code.
    void copyToClipboard();
    // The export dialog, then the file; false when cancelled or failed (after a message).
    bool saveAs();
    // The print dialog, then the printer; false when cancelled or failed.
    bool print();

    QAction* zoomInAction = nullptr;
    QAction* zoomOutAction = nullptr;
    QAction* undoZoomAction = nullptr;
    QAction* zoomModeAction = nullptr;  // checked: left drag zooms
    QAction* panModeAction = nullptr;   // checked: right drag pans
    QAction* copyAction = nullptr;
    QAction* saveAction = nullptr;
    QAction* printAction = nullptr;

    // Failures are shown in a message box; tests record them instead.
    // Returns the previous handler (an empty one means message boxes).
    using MessageHandler = std::function<void(const QString&)>;
    static MessageHandler setMessageHandler(MessageHandler handler);

private:
    void updateActions();
    void showMessage(const QString& text);
    void popup(QPoint globalPos);

    Chart* chart_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* menuSeparator_ = nullptr;
    QList<QMetaObject::Connection> connections_;
};

}  // namespace orvala
