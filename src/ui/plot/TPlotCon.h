#pragma once
// The control panel of a plot window: axis lists, scale boxes, gate and
// display controls. It holds controls only; the plot window reads them.
#include <QWidget>

class QCheckBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace orvala {

class TPlotCon : public QWidget {
    Q_OBJECT
public:
    explicit TPlotCon(QWidget* parent = nullptr);

    // Page indices of `pages`.
    static constexpr int PcaPage = 0, ScatterPage = 1, ComponentsPage = 2;

    // Replaces the entries of both axis lists, all unticked.
    void setAxisEntries(const QStringList& names);
    // Ticked rows of a list, ascending.
    static std::vector<int> ticked(const QListWidget* list);

    int OriginalWidth = 0;
    QTabWidget* pages = nullptr;
    QPushButton* ColorPoints = nullptr;  // "Paint Points"
    QPushButton* density = nullptr;      // toggle
    QPushButton* bquickview = nullptr;   // toggle: a click on a point shows the event
    QPushButton* poly = nullptr;      // toggle: draw a polygon gate
    QPushButton* markers = nullptr;   // "Show Markers"
    QPushButton* OneDGate = nullptr;  // range gate between the markers
    QCheckBox* Reverse = nullptr;     // "Inverse gate"
    QCheckBox* ShowPointer = nullptr;  // "Show Pointer"
    QSpinBox* pointsize = nullptr;    // "Dot Size"
    QCheckBox *xlog = nullptr, *xlin = nullptr, *ylog = nullptr, *ylin = nullptr;
    QListWidget *xlist = nullptr, *ylist = nullptr;
    QCheckBox* multi = nullptr;  // one histogram per ticked x entry
    QPushButton* Redrawbutt = nullptr;

private:
    static void exclusive(QCheckBox* a, QCheckBox* b);
};

}  // namespace orvala
