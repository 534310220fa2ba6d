#pragma once
// Gate tools for pictures shown in a plain paint box (the image window): a
// rectangle with eight grips, a free polygon with movable vertices and a
// grid of round spots. They work in paint-box pixels and paint with an
// exclusive-or pen over the picture, the way the picture's own pixels show
// through the outline whatever their colour.
#include <QImage>
#include <QWidget>
#include <functional>

#include "geometry/GateGeometry.h"

class QPainter;
class QMouseEvent;

namespace orvala {

// A widget showing a picture at its top-left corner, with replaceable
// handlers for painting and the mouse; a tool installs its own and keeps
// the previous ones to call on.
class PaintBox : public QWidget {
    Q_OBJECT
public:
    using PaintHandler = std::function<void(QPainter&)>;
    using MouseHandler = std::function<void(QMouseEvent*)>;

    explicit PaintBox(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    PaintHandler OnPaint;
    MouseHandler OnMouseDown, OnMouseMove, OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

// Base of the paint-box tools: installs itself in the paint box's handlers
// and gives the previous ones back when destroyed.
class TTool {
public:
    explicit TTool(PaintBox* img);
    virtual ~TTool();
    TTool(const TTool&) = delete;
    TTool& operator=(const TTool&) = delete;

    bool Visible() const { return FVisible; }
    void setVisible(bool v);

    bool dragging = false;
    bool FVisible = false;
    int mx = 0, my = 0;    // last mouse position
    int dmx = 0, dmy = 0;  // movement since the previous move event
    PaintBox* Parent;      // not owned

protected:
    virtual void Paint(QPainter& p);
    virtual void MouseMove(QMouseEvent* e);
    virtual void MouseDown(QMouseEvent*) {}
    virtual void MouseUp(QMouseEvent*) {}
    // Paints the tool; the painter already has the exclusive-or white pen.
    virtual void Draw(QPainter&) {}
    void Redraw();
    static void paintNode(QPainter& p, const TNode& n);

    PaintBox::PaintHandler OnPaint;
    PaintBox::MouseHandler OnMouseMove, OnMouseDown, OnMouseUp;
};

class TSelectRectangle : public TTool {
public:
    explicit TSelectRectangle(PaintBox* img);
    int Left() const { return shape_.FLeft; }
    int Top() const { return shape_.FTop; }
    int Right() const { return shape_.FRight; }
    int Bottom() const { return shape_.FBottom; }
    // Each setter clamps into the paint box.
    void setLeft(int v);
    void setTop(int v);
    void setRight(int v);
    void setBottom(int v);
    QRect Rect() const;
    void setRect(const QRect& r);  // left, top, bottom, right in that order

    TMousePos MousePlace = TMousePos::_nowhere;

protected:
    void MouseDown(QMouseEvent* e) override;
    void MouseMove(QMouseEvent* e) override;
    void MouseUp(QMouseEvent* e) override;
    void Draw(QPainter& p) override;

private:
    void fitBox();
    RectangleShape shape_;
};

class TSelectPolygon : public TTool {
public:
    explicit TSelectPolygon(PaintBox* img);
    const PolygonShape& shape() const { return shape_; }
    int Count() const { return shape_.Count(); }
    bool IsIn(int x, int y) const { return shape_.IsIn(x, y); }
    int IsInVertex(int x, int y) const { return shape_.IsInVertex(x, y); }
    void MoveBy(int dx, int dy);

protected:
    void MouseDown(QMouseEvent* e) override;
    void MouseMove(QMouseEvent* e) override;
    void MouseUp(QMouseEvent* e) override;
    void Draw(QPainter& p) override;

private:
    PolygonShape shape_;
};

class TGrid : public TTool {
public:
    explicit TGrid(PaintBox* img);
    const GridShape& shape() const { return shape_; }
    int xdiv() const { return shape_.xdiv(); }
    int ydiv() const { return shape_.ydiv(); }
    void setXdiv(int v);
    void setYdiv(int v);
    // Radius of each well, in cells.
    double radius() const { return shape_.radius; }
    void setRadius(double r);
    // Paint-box pixels times (sx, sy) are picture pixels.
    void BeginTransform(double sx, double sy) { shape_.BeginTransform(sx, sy); }
    bool IsInGate(double x, double y) const { return shape_.IsInGate(x, y); }
    void EndTransform() { shape_.EndTransform(); }

protected:
    void MouseDown(QMouseEvent* e) override;
    void MouseMove(QMouseEvent* e) override;
    void MouseUp(QMouseEvent* e) override;
    void Draw(QPainter& p) override;

private:
    GridShape shape_;
};

}  // namespace orvala
