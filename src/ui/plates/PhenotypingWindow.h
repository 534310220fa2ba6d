#pragma once
// The phenotyping window ("Phenotyping"): tubes from the chosen data sets,
// one histogram per tube and dye with a draggable mark, the counts of every
// positive/negative combination per tube as a table, as bars and as 3-D
// towers, the antibody table ("MABs") that titles the histograms, a plate
// view and a side plot of any parameter. The counting lives in
// plates/Phenotyping.h; this window reads its controls and draws the result.
#include <QString>
#include <QWidget>
#include <map>
#include <utility>
#include <vector>

#include "core/TData.h"
#include "plates/PhenoFiles.h"
#include "plates/Phenotyping.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTimer;

namespace orvala {

class Chart;
class TMultiThread;
class WellPlateView;
class PhenoTowers;
class PhenoCountsModel;

class PhenotypingWindow : public QWidget {
    Q_OBJECT
public:
    // pool: the worker pool counting runs on (may be null).
    explicit PhenotypingWindow(TMultiThread* pool, QWidget* parent = nullptr);
    ~PhenotypingWindow() override;

    // Appends a data set (the window holds a reference) and lists its parameters.
    void Add(TData* data);
    // Opens a file (its first data set; a folder opens as a plate) and adds it.
    void Add(const QString& filename);
    int DataCount() const { return int(datas.size()); }
    TData* Data(int i) const { return datas[size_t(i)].get(); }

    // The parameter list's check marks become every data set's selection
    // (without each one's tube channel).
    void setParameterChecked(int index, bool checked);
    void setCurrentParameter(int index);
    // "Set/Unset As Tip" on the highlighted parameter (none: no tube channel).
    void toggleTip();
    // "Fill Tubes": throws OrvalaError when refused (the window keeps its tubes).
    void FillTubes();
    // The mark of tube t, dye k moved to x (with groups and "Lock"); the
    // counts follow. While dragging, counting is throttled to the timer.
    void moveMark(int t, int k, double x);
    void setLock(bool on);
    void setGroup(int tube, TColor color);

    const PhenoCounter& counter() const { return counter_; }
    const MabTable& mabs() const { return mabs_; }
    void setMabs(const MabTable& table);
    // Charts that exist now (only cells in view have one).
    int chartCount() const { return int(charts_.size()); }
    Chart* chartAt(int tube, int dye) const;
    Chart* sidePlot() const { return sidePlot_; }
    int popupX() const { return popupX_; }
    int popupY() const { return popupY_; }
    void setPopup(int x, int y);

    // Project files (".phe"); load replaces everything only once every file opened.
    void SaveProject(const QString& fileName) const;
    void LoadProject(const QString& fileName);
    void LoadMabs(const QString& fileName);
    void SaveMabs(const QString& fileName) const;

    QTabWidget* pages() const { return pages_; }
    QTableView* tableView() const { return table_; }
    QTableView* graphView() const { return graph_; }
    QTableWidget* grid() const { return grid_; }
    QTableWidget* mabGrid() const { return mabGrid_; }
    PhenoTowers* towers() const { return towers_; }
    WellPlateView* heatMap() const { return heatMap_; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildUi();
    void listParameters();
    void applySelection();
    void rebuildDisplay();
    void placeCharts();
    Chart* makeChart(int t, int k);
    void refreshMarks(const std::vector<int>& tubes, int dye);
    void refreshCounts();
    void retitle();
    void showMabs();
    void drawSidePlot();
    void axisMenu(bool left, QPoint globalPos);
    void flushPendingMove();
    TData* chosen() const;
    QString chartTitle(int t, int k) const;

    TMultiThread* pool_;
    std::vector<DataRef> datas;
    PhenoCounter counter_;
    MabTable mabs_;
    std::map<std::pair<int, int>, Chart*> charts_;
    std::map<Chart*, int> cursorOf_;
    int popupX_ = 0, popupY_ = 0;
    std::vector<TColor> colors;
    int colorindex = 0;
    bool lock_ = false;
    bool syncing_ = false;
    // A mark being dragged: counted when the throttle timer fires or the button comes up.
    struct Pending {
        int t = -1, k = -1;
        double x = 0;
    } pending_;
    int dragTube_ = -1, dragDye_ = -1;

    QTableWidget* grid_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QTableView* table_ = nullptr;
    QTableView* graph_ = nullptr;
    PhenoCountsModel* model_ = nullptr;
    QTableWidget* mabGrid_ = nullptr;
    QPushButton* createGroup_ = nullptr;
    PhenoTowers* towers_ = nullptr;
    WellPlateView* heatMap_ = nullptr;
    Chart* sidePlot_ = nullptr;
    QComboBox* fileBox_ = nullptr;
    QListWidget* paramsbox_ = nullptr;
    QPushButton* tipButton_ = nullptr;
    QLineEdit* tubec_ = nullptr;
    QCheckBox* together_ = nullptr;
    QCheckBox* lockMarks_ = nullptr;
    QTimer* throttle_ = nullptr;
};

}  // namespace orvala
