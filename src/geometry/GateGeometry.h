#pragma once
// Geometry and hit-testing of the gate drawing tools, free of any toolkit:
// the widgets in ui/chart feed mouse positions in and draw what these
// report. Paint-box tools work in integer paint-box pixels; chart contours
// hold their vertices in plotted values and reach pixels through an
// AxisMapper.
#include <array>
#include <vector>

#include "geometry/PointInPolygon.h"

namespace orvala {

struct IPoint {
    int x = 0, y = 0;
    bool operator==(const IPoint&) const = default;
};

// Grip tolerance of rectangles and vertex markers, in pixels.
constexpr int kGripTolerance = 4;

// The grip under the mouse of a selection rectangle.
enum class TMousePos { _nowhere, _lefttop, _top, _righttop, _left, _center, _right, _leftbottom, _bottom, _rightbottom };

// Which grip of the rectangle (left, top, right, bottom) lies under (mx, my);
// "within 4" means a distance of at most 4 pixels.
TMousePos RectangleGrip(int mx, int my, int left, int top, int right, int bottom);

// A vertex marker: a 9 x 9 pixel square centred on (x, y).
struct TNode {
    int x = 0, y = 0;
    void MoveTo(int ax, int ay) { x = ax, y = ay; }
    void Moveby(int dx, int dy) { x += dx, y += dy; }
    // |ax - x| <= 4 and |ay - y| <= 4.
    bool IsIn(int ax, int ay) const;
    DPoint AsDoublePoint(double sx, double sy) const { return {x * sx, y * sy}; }
    bool operator==(const TNode&) const = default;
};

// Edges of a selection rectangle, clamped into the paint box.
class RectangleShape {
public:
    RectangleShape(int boxWidth, int boxHeight) : width_(boxWidth), height_(boxHeight) {}
    void setBoxSize(int w, int h) { width_ = w, height_ = h; }
    // Setters clamp into [0, width - 1] and [0, height - 1].
    void setLeft(int v);
    void setRight(int v);
    void setTop(int v);
    void setBottom(int v);
    int FLeft = 0, FTop = 0, FRight = 0, FBottom = 0;
    // Adds the mouse movement to the edges the grip holds.
    void drag(TMousePos grip, int dmx, int dmy);
    // After the release: swaps edges so that left <= right and top <= bottom;
    // false when the rectangle has no width or no height (it is then hidden).
    bool normalise();

private:
    int width_, height_;
};

// A free polygon of paint-box vertices, drawn vertex by vertex and then
// edited. The last vertex follows the mouse while the polygon is open.
class PolygonShape {
public:
    PolygonShape();  // one floating vertex at (0, 0)
    std::vector<TNode> Vertices;
    int VertexIndex = 0;
    bool accomplished = false;
    bool movevertex = true;
    bool movepolygon = false;

    int Count() const { return int(Vertices.size()); }
    // Half-open even-odd test over the integer vertices.
    bool IsIn(int x, int y) const;
    // Index of the first vertex within 4 pixels, or -1.
    int IsInVertex(int x, int y) const;
    void MoveBy(int dx, int dy);

    // What the owner must do after a press.
    enum class Press { Handled, PassOn };
    Press mouseDown(bool rightButton, int x, int y);
    // Movement (dmx, dmy) to (x, y); true when the shape changed and needs a
    // redraw. `overShape` reports whether the hand cursor belongs there.
    bool mouseMove(int x, int y, int dmx, int dmy, bool& overShape);
    void mouseUp();
    // The polyline to draw: from the first vertex when fewer than 3, else
    // from the last one, then through all vertices in order.
    std::vector<IPoint> outline() const;
};

// Mapping of a point to proportional coordinates (u, v) in a quadrilateral
// p0 (0, 0), p1 (1, 0), p2 (1, 1), p3 (0, 1).
class TTransform {
public:
    TTransform(DPoint p0, DPoint p1, DPoint p2, DPoint p3) : p0(p0), p1(p1), p2(p2), p3(p3) {}
    // t of p = (1-t)(1-s) p0 + t(1-s) p1 + t s p2 + (1-t) s p3; -1 when there
    // is no real solution.
    static double ProportionalProjection(DPoint p, DPoint p0, DPoint p1, DPoint p2, DPoint p3);
    DPoint GetProjection(double x, double y) const;
    DPoint p0, p1, p2, p3;
};

// A quadrilateral split into xdiv x ydiv cells with a round spot in each.
class GridShape {
public:
    GridShape();
    bool Creation = true;
    bool dragging = false;
    std::array<TNode, 4> Nodes;
    std::array<TNode, 4> Side;
    std::vector<DPoint> Pins;
    int movingnode = -1, movingside = -1;
    double radius = 0.2;

    int xdiv() const { return xtick_; }
    int ydiv() const { return ytick_; }
    void setDivisions(int xdiv, int ydiv);  // rebuilds Pins

    // True when the press started a drag (or placed the grid while creating).
    bool mouseDown(int x, int y);
    // True when the shape changed.
    bool mouseMove(int dmx, int dmy);
    void mouseUp();
    // Side nodes to the mid-points of their corners (integer halves).
    void placeSides();
    // Division lines, as pixel end points.
    std::vector<std::array<IPoint, 2>> divisionLines() const;

    void BeginTransform(double sx, double sy);
    bool IsInGate(double x, double y) const;  // needs BeginTransform
    void EndTransform();

private:
    void rebuildPins();
    int xtick_ = 6, ytick_ = 6;
    std::vector<TTransform> trans_;  // zero or one
};

// Value <-> pixel conversion of a chart's two axes.
class AxisMapper {
public:
    virtual ~AxisMapper() = default;
    virtual double xToPixel(double value) const = 0;
    virtual double yToPixel(double value) const = 0;
    virtual double pixelToX(double pixel) const = 0;
    virtual double pixelToY(double pixel) const = 0;
};

// Pixel tolerance of contour hits and vertex grabs.
constexpr int kContourTolerance = 6;

// Mouse pixel (x, y) over a contour whose points (the last one a closing
// copy of the first) are in plotted values: inside it, or within the
// 6-pixel tolerance (converted to values per axis) of a vertex.
bool ContourHit(double x, double y, const std::vector<DPoint>& pts, const AxisMapper& map);

// Edits one contour's points in plotted values by pixel movements.
class TeePoly {
public:
    struct TeeVertex {
        long double R = 0, Theta = 0;
    };
    TeePoly(std::vector<DPoint>& points, const AxisMapper& map);
    int Count() const { return int(pts_.size()); }
    // Inside the contour or within 6 pixels of a point.
    bool IsIn(double x, double y) const;
    // First point closer than 6 pixels, or -1.
    int VertexUnderMouse(double x, double y) const;
    void Moveby(double dx, double dy);
    // Moves point n; point 0 and the last (closing) point move together.
    void MoveVertexby(int n, double dx, double dy);
    void MoveVertexTo(int n, double x, double y);
    void StartRotation(double x, double y);
    void Rotate(double x, double y);

    double CenterX = 0, CenterY = 0;
    long double R = 0, Theta = 0;
    std::vector<TeeVertex> vertices;

private:
    void setPixel(int n, double px, double py);
    std::vector<DPoint>& pts_;
    const AxisMapper& map_;
};

// The contour being drawn with the mouse: the first point, the placed
// vertices, the vertex that follows the mouse, and a closing copy of the
// first point.
class ContourBuilder {
public:
    // A left click at the value position (x, y).
    static void addVertex(std::vector<DPoint>& pts, double x, double y);
    // The mouse moved to (x, y): the vertex that follows it moves there.
    static void follow(std::vector<DPoint>& pts, double x, double y);
};

}  // namespace orvala
