#pragma once
// The 2-D plot window: one data set as a scatter plot (one dot per event in
// the event's colour) or, with no y direction, as histograms; polygon gates
// drawn on it create gated children, whose gates are drawn back as contours.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "analysis/TPca.h"
#include "core/TData.h"
#include "numerics/Matrices.h"
#include "plot/PlotView.h"
#include "ui/chart/Chart.h"

class QCheckBox;
class QDockWidget;
class QListWidget;
class QMainWindow;
class QRubberBand;

namespace orvala {

class GateTool;
class TDataFilter;
class TGate;
class TMultiThread;
class PcaTablesWindow;
class PlotControlPanel;
class ProjectionPage;

class ScatterPlotWindow : public QWidget {
    Q_OBJECT
public:
    using ScaleFn = double (*)(double);

    // Takes one reference to adata (may be null). Nothing is drawn until DrawData.
    explicit ScatterPlotWindow(TData* adata, TMultiThread* pool = nullptr, QWidget* parent = nullptr);
    ~ScatterPlotWindow() override;

    // Reads the axis controls of the active page into the view (directions
    // from the ticked entries, each normalised to length 1, and the scales).
    virtual void BuildAxisVectors();
    // The view the chart shows, as read by the last BuildAxisVectors.
    const PlotView& view() const { return view_; }
    // Rebuilds the whole chart from the data set and the panel.
    virtual void DrawData();
    // Makes a polygon gate from a contour and derives the gated child.
    void SubData(Chart::SeriesId contour);
    // Ticks x entry nx only and, when ny differs, y entry ny (equal indices: histogram).
    void SetXY(int nx, int ny);
    // Density colouring while the density button is down, else the event colours.
    void SetColors();
    // Draws the gates of the children that lie in the plane of the current axes.
    void DrawGateContours();
    // Shows or hides the two range markers; shown at a quarter and three
    // quarters of the visible bottom range.
    void markersClick();
    bool markersVisible() const { return mark1_ >= 0; }
    void setMarkerPositions(double x1, double x2);
    // Plotted x positions of the two markers (NaN without markers).
    std::pair<double, double> markerPositions() const;
    // Range gate between the markers on the shown x direction: exactly the
    // events seen between them, ends included. Nothing without markers.
    void OneDGateClick();
    // "Paint Points": runs the dialog; on OK paints and announces.
    void ColorPointsClick();
    // Paints events from..to (1-based, inclusive) when 1 <= from <= to <= events,
    // then announces even when the range was refused. Throws OrvalaError for
    // text that is not an integer (nothing painted, nothing announced).
    void PaintPoints(const QString& from, const QString& to, TColor color);
    // Annotation text of the child gated by contour; empty when none.
    QString gateStatistics(Chart::SeriesId contour) const;
    // The child whose gate this window drew as contour; null when none.
    TData* childOfContour(Chart::SeriesId contour) const;

    // --- Principal components ---
    // The "PCA" button: analyses the parameters ticked in the panel on the
    // worker pool, replaces the data set's projection filter and fills the
    // component lists. Refusals and solver failures are shown as messages;
    // true only when usable eigenvectors resulted.
    bool DoPCA();
    // Opens a new tables window of the last analysis; null when none ran here.
    PcaTablesWindow* ShowTables();
    // "Save PC": asks for a ".pca" file and writes the data set's filter to
    // it; nothing when the data set has no filter.
    void SavePCA();
    // Writes the data set's filter to path; false (after a message) on failure.
    bool SavePCAFile(const QString& path);
    // "Load PC": asks for ".pca" files and adds a page for each one read.
    void LoadPCA();
    // One page per readable file, holding its own copy of the filter; a file
    // that cannot be read gives a message and no page. Returns the pages added.
    int LoadPCAFiles(const QStringList& paths);
    // Adds a page for every descendant of adata gated in component space, depth first.
    void PagesAdd(TData* adata);
    // "Show Labels": shows or hides the point labels of the scatter series.
    void LabelsClick();
    // The filter the axes use: the active page's in component mode, null on
    // the "Scatter" page or when the page has no filter.
    const TDataFilter* componentFilter() const;

    // Messages of the window's commands; the default shows a message box.
    // Returns the previous handler (an empty one means message boxes).
    using MessageHandler = std::function<void(const QString&)>;
    static MessageHandler setMessageHandler(MessageHandler handler);
    // Where DoPCA reads the eigen-solver (TPca::Algorithm) from; the main
    // window installs its options dialog here. Unset: QL.
    static void setPcaAlgorithmSource(std::function<int()> source);

    Chart* chart() const { return chart_; }
    // The dock that holds the control panel at the window's right edge.
    QDockWidget* DockSite = nullptr;
    // Width the panel takes from the window: 0 while it floats.
    int dockSiteWidth() const;
    // Docks the panel back (true) or lets it float as a tool window (false).
    void setPanelDocked(bool docked);
    // Whether the panel released at the global point docks here: the point
    // lies in the right seventh of this window's client area (dockDropRect).
    bool acceptsPanelAt(QPoint global) const;
    // Shown over the drop rectangle while the dragged panel would dock.
    const QRubberBand* dropPreview() const { return dropPreview_; }
    // Closing hides the window (and its sub-window) instead of freeing it.
    bool KeepOnClose = false;
    PlotControlPanel* Control = nullptr;
    // True exactly while the panel's "Scatter" page is active.
    bool ScatterMode = true;
    std::unique_ptr<TPca> fpca;  // the last analysis run in this window
    GateTool* gateTool() const { return gateTool_.get(); }
    TData* data() const { return data_.get(); }
    Chart::SeriesId serdat = Chart::NoSeries;
    TVector xvector, yvector;
    ScaleFn ConvertX, ConvertY, ConvertBackX, ConvertBackY;
    int datamodified = 0;
    // How many times DrawData rebuilt the chart (for the coalescing of notices).
    int drawCount() const { return drawCount_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // The axis controls of the active page: the "Scatter" page's, the
    // "P. Components" page's (no multi box) or an added page's own.
    struct AxisControls {
        QCheckBox *xlog, *xlin, *ylog, *ylin;
        QListWidget *xlist, *ylist;
        QCheckBox* multi;  // may be null
    };
    AxisControls axisControls() const;
    void setUpPca();
    // A gate of the shown view: projection gate on the "Scatter" page, PCA
    // gate with a copy of the page's filter in component mode; then derives
    // and adds the child.
    void addGate(const PlotView::NewGate& gate, TColor color);
    // Derives the child that gate selects from the window's data set and adds it.
    void addGatedChild(const TGate& gate);
    // A child's gate as the view model sees it, with whether its filter
    // describes the space of the page the chart shows.
    GateShape shapeOf(const TGate& g) const;
    // The filter of a panel page: the data set's on the component pages, an
    // added page's own; null on the "Scatter" page.
    const TDataFilter* pageFilter(int page) const;
    void fillComponentLists(int count);
    void refillAxisEntries();
    void showMessage(const QString& text);
    // Runs a panel command; an exception is shown, never passed to the event loop.
    void guarded(const std::function<void()>& command);
    // Labels of the scatter series as "Show Labels" says: set once per
    // series (event names, else event numbers from 0), then shown or hidden.
    void applyLabels();
    void regate(Chart::SeriesId contour);
    void showPointer(bool on);
    void fixRange(ChartAxis axis, const std::vector<double>& v);
    void mouseOver(TData* d);
    void closeWindow();
    // Range markers: grabbed and dragged with the left button; the cursor
    // shows where one can be grabbed.
    void markerPress(QMouseEvent* e);
    void markerMove(QMouseEvent* e);
    void markerRelease();

    // The panel is dragged by its own title bar, not by Qt's dock machinery,
    // whose drop zones differ between window managers: press, move and
    // release in global coordinates; a move beyond the drag distance
    // floats a docked panel, a release over the drop rectangle docks it.
    void panelPress(QPoint global);
    void panelMove(QPoint global);
    void panelRelease(QPoint global);
    struct PanelDrag {
        bool pressed = false;
        bool moving = false;
        QPoint pressGlobal;
        QPoint grip;  // the press relative to the panel's top left
    };

    Chart* chart_ = nullptr;
    QMainWindow* dockHost_ = nullptr;
    QRubberBand* dropPreview_ = nullptr;
    PanelDrag panelDrag_;
    std::unique_ptr<GateTool> gateTool_;
    DataRef data_;
    TMultiThread* pool_ = nullptr;
    // Where the next scatter is projected: the arrays the chart handed back
    // (the shown coordinates are the chart's, pointsX/pointsY of serdat).
    // They keep their size, so the projection overwrites them without a fill.
    std::vector<double> px_, py_;
    int drawCount_ = 0;
    int mark1_ = -1, mark2_ = -1;
    MarkerDrag markerDrag_;
    bool markerCursor_ = false;  // the canvas shows the marker cursor
    bool zoomBeforeDrag_ = true;
    // The view the chart shows and the page it was read from.
    PlotView view_;
    int viewPage_ = -1;
    // The contours this window drew: each one's child and its outline as
    // drawn. Per window: other windows on the same data set draw their own.
    struct ContourLink {
        TData* kid;  // compared with the current children before use, never dereferenced stale
        Outline drawn;
    };
    std::map<Chart::SeriesId, ContourLink> contours_;
    Chart::SeriesId labelled_ = Chart::NoSeries;  // the series whose labels are set
};

// 0x00BBGGRR of the data model <-> Qt colours.
QColor toQColor(TColor c);
TColor fromQColor(const QColor& c);

}  // namespace orvala
