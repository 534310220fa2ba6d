#include "ui/chart/PaintBoxTools.h"

#include <QMouseEvent>
#include <QPainter>

namespace orvala {

// --- PaintBox ---

PaintBox::PaintBox(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
}

void PaintBox::setPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

void PaintBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!picture_.isNull())
        p.drawImage(0, 0, picture_);
    if (OnPaint)
        OnPaint(p);
}

void PaintBox::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(event);
}

void PaintBox::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(event);
}

void PaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(event);
}

// --- TTool ---

TTool::TTool(PaintBox* img) : Parent(img)
{
    OnPaint = Parent->OnPaint;
    OnMouseMove = Parent->OnMouseMove;
    OnMouseDown = Parent->OnMouseDown;
    OnMouseUp = Parent->OnMouseUp;
    // Virtual dispatch happens at event time, after construction is complete.
    Parent->OnPaint = [this](QPainter& p) { Paint(p); };
    Parent->OnMouseMove = [this](QMouseEvent* e) { MouseMove(e); };
    Parent->OnMouseDown = [this](QMouseEvent* e) { MouseDown(e); };
    Parent->OnMouseUp = [this](QMouseEvent* e) { MouseUp(e); };
}

TTool::~TTool()
{
    Parent->OnPaint = OnPaint;
    Parent->OnMouseMove = OnMouseMove;
    Parent->OnMouseDown = OnMouseDown;
    Parent->OnMouseUp = OnMouseUp;
    Parent->update();  // erases the tool
}

void TTool::setVisible(bool v)
{
    if (v == FVisible)
        return;
    FVisible = v;
    Redraw();
}

void TTool::Redraw()
{
    Parent->update();
}

void TTool::Paint(QPainter& p)
{
    if (OnPaint)
        OnPaint(p);
    p.save();
    // Exclusive-or white: inverts the picture under the outline, so the
    // outline shows on any picture and drawing twice would erase.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, false);
    Draw(p);
    p.restore();
}

void TTool::MouseMove(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    dmx = pos.x() - mx;
    mx = pos.x();
    dmy = pos.y() - my;
    my = pos.y();
}

void TTool::paintNode(QPainter& p, const TNode& n)
{
    // An aliased 1-pixel outline of an 8 x 8 rectangle covers x - 4 .. x + 4.
    p.drawRect(QRect(n.x - 4, n.y - 4, 8, 8));
}

// --- TSelectRectangle ---

TSelectRectangle::TSelectRectangle(PaintBox* img) : TTool(img), shape_(img->width(), img->height()) {}

void TSelectRectangle::fitBox()
{
    shape_.setBoxSize(Parent->width(), Parent->height());
}

void TSelectRectangle::setLeft(int v)
{
    fitBox();
    shape_.setLeft(v);
    Redraw();
}

void TSelectRectangle::setTop(int v)
{
    fitBox();
    shape_.setTop(v);
    Redraw();
}

void TSelectRectangle::setRight(int v)
{
    fitBox();
    shape_.setRight(v);
    Redraw();
}

void TSelectRectangle::setBottom(int v)
{
    fitBox();
    shape_.setBottom(v);
    Redraw();
}

QRect TSelectRectangle::Rect() const
{
    return QRect(QPoint(Left(), Top()), QPoint(Right(), Bottom()));
}

void TSelectRectangle::setRect(const QRect& r)
{
    setLeft(r.left());
    setTop(r.top());
    setBottom(r.bottom());
    setRight(r.right());
}

void TSelectRectangle::MouseDown(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint pos = e->position().toPoint();
    mx = pos.x();
    my = pos.y();
    MousePlace = FVisible ? RectangleGrip(mx, my, Left(), Top(), Right(), Bottom()) : TMousePos::_nowhere;
    if (MousePlace == TMousePos::_nowhere) {
        setVisible(false);
        setLeft(mx);
        setTop(my);
        setRight(mx);
        setBottom(my);
        MousePlace = TMousePos::_rightbottom;
        setVisible(true);
    }
    dragging = true;
}

void TSelectRectangle::MouseMove(QMouseEvent* e)
{
    TTool::MouseMove(e);
    if (dragging) {
        fitBox();
        shape_.drag(MousePlace, dmx, dmy);
        Redraw();
        return;
    }
    using P = TMousePos;
    const P grip = FVisible ? RectangleGrip(mx, my, Left(), Top(), Right(), Bottom()) : P::_nowhere;
    Qt::CursorShape shape = Qt::ArrowCursor;
    switch (grip) {
    case P::_lefttop:
    case P::_rightbottom: shape = Qt::SizeFDiagCursor; break;
    case P::_righttop:
    case P::_leftbottom: shape = Qt::SizeBDiagCursor; break;
    case P::_top:
    case P::_bottom: shape = Qt::SizeVerCursor; break;
    case P::_left:
    case P::_right: shape = Qt::SizeHorCursor; break;
    case P::_center: shape = Qt::SizeAllCursor; break;
    case P::_nowhere: break;
    }
    Parent->setCursor(shape);
}

void TSelectRectangle::MouseUp(QMouseEvent*)
{
    dragging = false;
    if (!shape_.normalise())
        setVisible(false);
    Redraw();
}

void TSelectRectangle::Draw(QPainter& p)
{
    if (!FVisible)
        return;
    const QPoint corners[] = {{Left(), Top()}, {Right(), Top()}, {Right(), Bottom()}, {Left(), Bottom()}};
    p.drawPolygon(corners, 4);
}

// --- TSelectPolygon ---

TSelectPolygon::TSelectPolygon(PaintBox* img) : TTool(img)
{
    FVisible = true;
}

void TSelectPolygon::MoveBy(int dx, int dy)
{
    shape_.MoveBy(dx, dy);
    Redraw();
}

void TSelectPolygon::MouseDown(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    if (shape_.mouseDown(e->button() == Qt::RightButton, pos.x(), pos.y()) == PolygonShape::Press::PassOn) {
        if (OnMouseDown)
            OnMouseDown(e);
        return;
    }
    Redraw();
}

void TSelectPolygon::MouseMove(QMouseEvent* e)
{
    TTool::MouseMove(e);
    bool over = false;
    const bool editing = shape_.movevertex || shape_.movepolygon;
    if (shape_.mouseMove(mx, my, dmx, dmy, over))
        Redraw();
    if (!editing) {
        Parent->setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
        if (OnMouseMove)
            OnMouseMove(e);
    }
}

void TSelectPolygon::MouseUp(QMouseEvent*)
{
    shape_.mouseUp();
}

void TSelectPolygon::Draw(QPainter& p)
{
    const std::vector<IPoint> line = shape_.outline();
    for (size_t i = 1; i < line.size(); ++i)
        p.drawLine(line[i - 1].x, line[i - 1].y, line[i].x, line[i].y);
    if (shape_.VertexIndex >= 0 && shape_.VertexIndex < shape_.Count())
        paintNode(p, shape_.Vertices[size_t(shape_.VertexIndex)]);
}

// --- TGrid ---

TGrid::TGrid(PaintBox* img) : TTool(img) {}

void TGrid::setXdiv(int v)
{
    shape_.setDivisions(v, shape_.ydiv());
    Redraw();
}

void TGrid::setYdiv(int v)
{
    shape_.setDivisions(shape_.xdiv(), v);
    Redraw();
}

void TGrid::setRadius(double r)
{
    shape_.radius = r;
    Redraw();
}

void TGrid::MouseDown(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    mx = pos.x();
    my = pos.y();
    const bool creating = shape_.Creation;
    shape_.mouseDown(pos.x(), pos.y());
    if (creating)
        setVisible(true);
    Redraw();
}

void TGrid::MouseMove(QMouseEvent* e)
{
    TTool::MouseMove(e);
    // Before the first press there is nothing to drag out yet.
    if (shape_.Creation && !FVisible)
        return;
    if (shape_.mouseMove(dmx, dmy))
        Redraw();
}

void TGrid::MouseUp(QMouseEvent*)
{
    shape_.mouseUp();
}

void TGrid::Draw(QPainter& p)
{
    if (!FVisible)
        return;
    const auto& c = shape_.Nodes;
    for (size_t i = 0; i < 4; ++i) {
        paintNode(p, c[i]);
        paintNode(p, shape_.Side[i]);
    }
    const QPoint outline[] = {{c[3].x, c[3].y}, {c[0].x, c[0].y}, {c[1].x, c[1].y}, {c[2].x, c[2].y}, {c[3].x, c[3].y}};
    p.drawPolyline(outline, 5);
    for (const auto& l : shape_.divisionLines())
        p.drawLine(l[0].x, l[0].y, l[1].x, l[1].y);
}

}  // namespace orvala
