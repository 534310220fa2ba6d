#pragma once
// "Times": the time plot. One page per data set (its ordering parameter X
// and the plotted parameters Y); the chart shows, per ticked Y, the mean per
// bin of the rounded X. At most one window exists; the command adds pages.
#include <QWidget>
#include <vector>

#include "core/TData.h"
#include "ui/chart/ChartWindow.h"

class QComboBox;
class QListWidget;
class QSpinBox;
class QTabWidget;

namespace orvala {

class TMultiThread;

// One data set of the time plot. Holds a use reference on it while shown.
class TimePlotPage : public QWidget {
    Q_OBJECT
public:
    explicit TimePlotPage(TData* adata, QWidget* parent = nullptr);

    TData* data() const { return data_.get(); }
    // Gives the reference back (the data set was deleted).
    void release() { data_.reset(); }
    QComboBox* xlist = nullptr;
    QListWidget* ylist = nullptr;
    // The ticked Y entries in list order.
    std::vector<int> tickedY() const;
    // The data set's change counter when the page was last plotted.
    int datamodified = -1;

signals:
    void selectionChanged();

private:
    DataRef data_;
};

class TimePlotWindow : public ChartWindow {
    Q_OBJECT
public:
    explicit TimePlotWindow(TMultiThread* pool = nullptr, QWidget* parent = nullptr);
    ~TimePlotWindow() override;

    // The window while it exists; null after it closed.
    static TimePlotWindow* instance();

    // Adds a page for adata (named after its short name) and re-plots; a
    // refusal of the plot is shown as a message, not raised.
    void Adopt(TData* adata);
    // Rebuilds the chart from the pages, without smoothing.
    void Plot();
    // Smooths every curve with the width in `sigma`; a curve too short for
    // it stops the smoothing with a message (the ones before stay smoothed).
    void Smooth();

    QTabWidget* xpanel = nullptr;
    QSpinBox* sigma = nullptr;
    std::vector<TimePlotPage*> plist;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void removePage(TimePlotPage* page);
    TMultiThread* pool_ = nullptr;
};

}  // namespace orvala
