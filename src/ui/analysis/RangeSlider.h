#pragma once
// A horizontal slider with two thumbs that choose a range low..high of whole
// numbers (low <= high). Dragging a thumb moves it up to the other one;
// holding Shift while dragging (or with the arrow keys) moves both thumbs
// together, keeping the width of the range, and stops at either end.
#include <QWidget>

namespace orvala {

class RangeSlider : public QWidget {
    Q_OBJECT
public:
    explicit RangeSlider(QWidget* parent = nullptr);

    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int low() const { return low_; }
    int high() const { return high_; }

    // The thumbs are clamped into the new range.
    void setRange(int minimum, int maximum);
    // Sets both thumbs (clamped, and high raised to low) and emits
    // valuesChanged when they moved.
    void setValues(int low, int high);
    void setLow(int low) { setValues(low, high_); }
    void setHigh(int high) { setValues(low_, high); }

    // Centre of a thumb at value v, in pixels of this widget.
    int pixelOf(int v) const;
    // The value a pixel position stands for (nearest, halves to even).
    int valueAt(int x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // One notice per move, after both thumbs have their new values.
    void valuesChanged(int low, int high);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    enum class Thumb { None, Low, High };
    // Moves the dragged thumb (or both, with Shift) by delta values.
    void moveBy(Thumb thumb, int delta, bool both);
    QRect grooveRect() const;

    int min_ = 0, max_ = 99;
    int low_ = 0, high_ = 99;
    Thumb dragged_ = Thumb::None;
    Thumb active_ = Thumb::Low;   // the thumb the keys move
    int pressValue_ = 0;          // value under the mouse at the last press or move
    int pressLow_ = 0, pressHigh_ = 0;
};

}  // namespace orvala
