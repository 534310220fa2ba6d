#pragma once
// The image window: a picture or image-sequence data set shown as an image,
// with selections cut out as new data sets, training classes drawn from
// selections, and every pixel classified against them by spectral angle
// ("SAM Classification") or non-negative unmixing ("SD Classification").
// The window holds one reference on its data set and closes when the data
// set leaves the workspace.
#include <QWidget>
#include <memory>
#include <vector>

#include "core/TData.h"
#include "core/TDataList.h"
#include "numerics/Matrices.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QSlider;
class QSpinBox;
class QTableWidget;
class QToolButton;

namespace orvala {

struct ClassMap;
class Chart;
class PaintBox;
class DataListWindow;
class TGrid;
class TMultiThread;
class TSelectPolygon;
class TSelectRectangle;

class ImageWindow : public QWidget {
    Q_OBJECT
public:
    // box: the workspace's data list (new data sets go there); pool: the worker pool.
    ImageWindow(TData* data, DataListWindow* box, TMultiThread* pool, QWidget* parent = nullptr);
    ~ImageWindow() override;

    enum class Tool { None, Rectangle, Grid, Polygon };
    // Creates that selection tool on the paint box (freeing the other); None frees it.
    void setTool(Tool tool);
    TSelectRectangle* rectangleTool() const { return SelRec.get(); }
    TSelectPolygon* polygonTool() const { return SelPolygon.get(); }
    TGrid* gridTool() const { return grid.get(); }

    // The data set of the current selection (reference count 0, not yet in the
    // workspace), or nil without a selection.
    TData* SelectionData();
    // "Create a data set from selected region": the selection (and the grid's
    // wells, as "Grid") added to the workspace. Returns the selection's data set.
    TData* CreateFromSelection();
    // "Create Class" with this name: nothing without a selection.
    TData* CreateClass(const QString& name);
    // Adds an existing data set as a class (workspace, classes, grid row).
    void AddClass(TData* cls);
    void SAMClassification();
    void SDClassification();
    // "Decomposition" against the ticked classes; "Hyperspherical". Return the new data set.
    TData* Decomposition();
    TData* Hyperspherical();
    void SaveClasses(const QString& fileName);
    // Adds the classes of the file; classes of another length are refused with a message.
    void LoadClasses(const QString& fileName);
    void DeleteClass(int row);
    void StartOver();
    // Clicking column 0 of a class row.
    void ToggleClass(int row);

    // The pixel under box point p: ActivEvent, message 1026, and the spectrum.
    void MouseOverImage(QPoint p);
    // Redraws the picture from the data set in the chosen view.
    void Redraw();

    TData* data() const { return data_.get(); }
    const TDataList& trainset() const { return trainset_; }
    const TDataList& testset() const { return testset_; }
    int imageWidth() const { return width_; }
    int imageHeight() const { return height_; }
    // The picture as drawn, one pixel per image pixel (before stretching).
    const QImage& picture() const { return picture_; }

    PaintBox* image = nullptr;
    QSlider* Frame = nullptr;
    QLabel* FrameNum = nullptr;
    QComboBox* Pseudo = nullptr;
    QDoubleSpinBox* Gamma = nullptr;
    QCheckBox* Spectrum = nullptr;
    QCheckBox* UseSigma = nullptr;
    QDoubleSpinBox* sigma = nullptr;
    QTableWidget* Trainsetgrid = nullptr;
    QTableWidget* ImageInfo = nullptr;
    Chart* quickview = nullptr;
    QMenu* menu = nullptr;
    TVector WaveTable;
    TVector MinMarker, MaxMarker;
    QSpinBox* rds = nullptr;   // grid well radius, position / 20 cells
    QLabel* rad = nullptr;     // shows that radius
    Chart* histogram = nullptr;  // the "Histogram" page: the frame's values and the two markers
    int Marker1 = -1, Marker2 = -1;

    // "Calculator": the data calculator on the classes; its result becomes a class.
    void Calculator();
    // Data sets dropped on the class grid become classes; ones whose length
    // differs from the picture's spectra are refused with a message.
    void AddDroppedClasses(const std::vector<TData*>& dropped);
    // The histogram page for the current frame, markers at its grey range.
    void ShowHistogram();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void refreshGrid();
    void showClassAverages();
    std::vector<TData*> classes() const;
    void dropResults();
    void finishClassification(const ClassMap& map);
    void addToWorkspace(TData* d);
    void removeFromWorkspace(TData* d);
    QWidget* host() const;

    DataRef data_;
    DataListWindow* box_;
    TMultiThread* pool_;
    int width_ = 0, height_ = 0;
    int datamodified = -1;
    int colorindex = 0;
    QImage picture_;
    TDataList trainset_;
    TDataList testset_;  // one result per class, in class order
    std::unique_ptr<TSelectRectangle> SelRec;
    std::unique_ptr<TGrid> grid;
    std::unique_ptr<TSelectPolygon> SelPolygon;
    QToolButton* rectButton_ = nullptr;
    QToolButton* gridButton_ = nullptr;
    QToolButton* polyButton_ = nullptr;
    int movingMarker_ = -1;  // the histogram marker being dragged
};

}  // namespace orvala
