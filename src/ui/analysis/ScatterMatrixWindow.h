#pragma once
// "Tabloid": the scatter-plot matrix of one data set. Cell (column c, row r)
// of the grid shows x = parameter c - 1 against y = parameter r - 1 as a
// 128 x 128 density picture, the diagonal each parameter's histogram; row 0
// and column 0 hold the names. Only the cells on screen are computed (on the
// worker pool) and kept; a double click opens the pair's 2-D plot.
#include <QPointer>
#include <QString>
#include <utility>
#include <vector>

#include "core/TData.h"
#include "plot/Tabloid.h"
#include "ui/chart/ChartWindow.h"

class QMdiArea;
class QScrollBar;

namespace orvala {

class TMultiThread;
class ScatterMatrixGrid;

class ScatterMatrixWindow : public ChartWindow {
    Q_OBJECT
public:
    // Takes a use reference on dat. area receives the pair plot (may be null:
    // the plot then opens as a window of its own); pool may be null.
    ScatterMatrixWindow(TData* dat, TMultiThread* pool = nullptr, QMdiArea* area = nullptr, QWidget* parent = nullptr);
    ~ScatterMatrixWindow() override;

    static constexpr int CellSize = TabloidSide;
    static constexpr int HeaderSize = 24;  // height of row 0 and width of column 0

    TData* data() const { return data_.get(); }
    int parameters() const { return pictures_.parameters(); }
    // Index of the first parameter shown in both directions (the scroll bar's value).
    int first() const;
    void setFirst(int parameter);
    // The (x, y) parameter pairs of the cells at least partly on screen.
    std::vector<std::pair<int, int>> visibleCells() const;
    // The pair under a point of the grid widget; (-1, -1) on a name or outside.
    std::pair<int, int> cellAt(QPoint pos) const;
    // Shows the 2-D plot of x = parameter i, y = parameter j; returns its window.
    QWidget* openPair(int i, int j);
    // The 2-D plot window of the pairs, null until the first double click.
    QWidget* pairPlot() const { return scat_; }
    const TabloidPictures& pictures() const { return pictures_; }
    ScatterMatrixGrid* grid() const { return grid_; }
    QScrollBar* Diagonal = nullptr;

    // Quantises the data set again when it changed (or moved in memory) and
    // makes the pictures of cells; called by the grid before it paints.
    void prepare(const std::vector<std::pair<int, int>>& cells);
    // The error of the last prepare, shown in the grid; empty when none.
    QString lastError() const { return error_; }

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void reload(bool newRanges);
    void updateScrollRange();

    DataRef data_;
    TMultiThread* pool_ = nullptr;
    QMdiArea* area_ = nullptr;
    ScatterMatrixGrid* grid_ = nullptr;
    QPointer<QWidget> scat_;
    TabloidRanges ranges_;  // mins and dels, taken at creation
    TabloidPictures pictures_;
    int datamodified = 0;
    const double* loaded_ = nullptr;  // the value block the pictures were made from
    int loadedRows_ = 0, loadedCols_ = 0;
    QString error_;
};

// The grid of names and pictures, drawn from the visible cells only.
class ScatterMatrixGrid : public QWidget {
    Q_OBJECT
public:
    explicit ScatterMatrixGrid(ScatterMatrixWindow* owner);
    // Whole data cells that fit across the smaller side.
    int visibleCount() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    ScatterMatrixWindow* owner_;
};

}  // namespace orvala
