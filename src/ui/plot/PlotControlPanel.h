#pragma once
// The control panel of a plot window: axis lists, scale boxes, gate and
// display controls. It holds controls only; the plot window reads them.
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace orvala {

class ChartCommandBar;

class PlotControlPanel : public QWidget {
    Q_OBJECT
public:
    explicit PlotControlPanel(QWidget* parent = nullptr);

    // Page indices of `pages`.
    static constexpr int PcaPage = 0, ScatterPage = 1, ComponentsPage = 2;

    // Replaces the entries of both axis lists, all unticked.
    void setAxisEntries(const QStringList& names);
    // Replaces the entries of the "P. Components" lists, all unticked.
    void setComponentEntries(const QStringList& names);
    // Replaces the entries of the PCA parameter list, all unticked.
    void setParams(const QStringList& names);
    // Adds a page after the built-in ones (it takes ownership); returns its index.
    int addPage(QWidget* page, const QString& caption);
    // The checked item of "MatrixType": 0 "Correlation", 1 "Covariation", 2 "Cross-Products".
    int matrixType() const;
    // Ticked rows of a list, ascending.
    static std::vector<int> ticked(const QListWidget* list);
    // Fills list with checkable entries, all unticked.
    static void setEntries(QListWidget* list, const QStringList& names);
    // Checking one scale box of an axis unchecks its partner; unchecking changes nothing else.
    static void exclusive(QCheckBox* a, QCheckBox* b);
    // Where addAxisControls puts the controls it makes; multi may be null (no box).
    struct AxisSlots {
        QCheckBox** xlog;
        QCheckBox** xlin;
        QListWidget** xlist;
        QCheckBox** ylog;
        QCheckBox** ylin;
        QListWidget** ylist;
        QCheckBox** multi;
    };
    // Lays out one page's axis controls ("X": "log->lin", "lin->log", list and
    // "multi"; "Y" beside it) with exclusive scale boxes.
    static void addAxisControls(QWidget* page, const AxisSlots& out);

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
    QCheckBox* Labels = nullptr;       // "Show Labels"
    QSpinBox* pointsize = nullptr;    // "Dot Size"
    QCheckBox *xlog = nullptr, *xlin = nullptr, *ylog = nullptr, *ylin = nullptr;
    QListWidget *xlist = nullptr, *ylist = nullptr;
    QCheckBox* multi = nullptr;  // one histogram per ticked x entry
    QPushButton* Redrawbutt = nullptr;
    // The chart commands of the plot this panel serves (bound by the plot window).
    ChartCommandBar* TeeCommander = nullptr;

    // Page "PCA".
    QListWidget* params = nullptr;       // parameters of the analysis
    QButtonGroup* MatrixType = nullptr;  // ids 0..2, see matrixType()
    QCheckBox* normal = nullptr;         // "Normalize "
    QCheckBox* Hyper = nullptr;          // "HyperSpherical"
    QPushButton* SelectAll = nullptr;    // "Select All"
    QPushButton* Button1 = nullptr;      // "Unselect All"
    QPushButton* PCAbtn = nullptr;       // "PCA"
    QPushButton* ShowTables = nullptr;   // "Show Tables"
    QPushButton* SavePC = nullptr;       // "Save PC"
    QPushButton* LoadPC = nullptr;       // "Load PC"

    // Page "P. Components".
    QCheckBox *pxlog = nullptr, *pxlin = nullptr, *pylog = nullptr, *pylin = nullptr;
    QListWidget *pxlist = nullptr, *pylist = nullptr;
};

}  // namespace orvala
