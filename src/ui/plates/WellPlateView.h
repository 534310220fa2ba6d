#pragma once
// The plate view: a clickable picture of a 96- or 384-well plate. The
// geometry and the selection rules live in plates/Plate.h; this widget
// paints them into an off-screen picture and feeds them the mouse.
#include <QImage>
#include <QWidget>
#include <vector>

#include "core/TData.h"
#include "plates/Plate.h"

namespace orvala {

class WellPlateView : public QWidget {
    Q_OBJECT
public:
    // What a well shows (TCustomWell's fields that painting reads).
    struct Well {
        TColor fColor = 0x808080;
        bool FEnabled = true;
        bool FAdminEnabled = true;
        bool fFilteredOut = false;
        int TotalCount = 0;
    };

    explicit WellPlateView(QWidget* parent = nullptr);

    // Recreates every well (grey, switched on, unselected) and repaints.
    void SetPlateType(TPlateType type);
    TPlateType PlateType() const { return FPlateType; }
    int GetRowCount() const { return PlateRows(FPlateType); }
    int GetColCount() const { return PlateColumns(FPlateType); }

    Well& well(int row, int column) { return wells_[size_t(row) * size_t(GetColCount()) + size_t(column)]; }
    const Well& well(int row, int column) const
    {
        return wells_[size_t(row) * size_t(GetColCount()) + size_t(column)];
    }
    // Repaints after changes made through well().
    void Repaint();

    PlateSelection& selection() { return selection_; }
    const PlateSelection& selection() const { return selection_; }
    void DeselectAll();
    void SelectRectangle(WellPosition a, WellPosition b);
    // The whole plate (the corner cell).
    bool Selected() const { return selection_.PlateSelected(); }
    void SetSelected(bool value);

    const PlateLayout& layout() const { return layout_; }
    // The last picture drawn (kept when the box became too small).
    const QImage& picture() const { return Buf; }

    QSize sizeHint() const override { return {520, 360}; }

signals:
    void selectionChanged();  // the wells' or the plate's selection changed
    void plateTypeChanged(orvala::TPlateType type);
    void wellHovered(int row, int column);
    void wellRightClicked(int row, int column);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void relayout();
    void paintBuffer();
    TPlateType FPlateType = TPlateType::pt384;
    std::vector<Well> wells_;
    PlateSelection selection_;
    PlateLayout layout_;
    QImage Buf;
    bool dragging_ = false;
};

// 0x00BBGGRR as a Qt colour.
QColor colorOf(TColor c);

}  // namespace orvala
