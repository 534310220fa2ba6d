#pragma once
// The phenotyping window's "3-D" page: one tower per tube and code, height
// the count, drawn in an isometric projection with QPainter. A plain
// painter view needs no OpenGL, so it draws the same on every display,
// under the offscreen platform and over remote X, and exports as a picture.
#include <QWidget>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class PhenoTowers : public QWidget {
    Q_OBJECT
public:
    explicit PhenoTowers(QWidget* parent = nullptr);
    // counts[tube][code]; colours per tube (0x00BBGGRR, 0 = the default).
    void setCounts(std::vector<TIntVector> counts, TIntVector colors);
    // Shows that n towers are too many to draw instead of drawing them.
    void setTooMany(int n);
    // Towers beyond this are not drawn; the page says so instead.
    static constexpr int MaxTowers = 200000;
    int towerCount() const;
    // Rotation about the vertical axis in steps of 90 degrees (drag to turn).
    void setQuarterTurns(int n);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    std::vector<TIntVector> counts_;
    TIntVector colors_;
    int turns_ = 0;
    int pressX_ = 0;
    int tooMany_ = 0;
};

}  // namespace orvala
