#include "geometry/GateGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvala {

namespace {

bool within(int a, int b)
{
    return std::abs(a - b) <= kGripTolerance;
}

int clampTo(int v, int extent)
{
    return std::clamp(v, 0, std::max(extent - 1, 0));
}

}  // namespace

TMousePos RectangleGrip(int mx, int my, int left, int top, int right, int bottom)
{
    // Three vertical bands (near the top edge, strictly between, near the
    // bottom edge) within each of three horizontal ones.
    auto band = [&](TMousePos atTop, TMousePos between, TMousePos atBottom) {
        if (within(my, top))
            return atTop;
        if (top + kGripTolerance < my && my < bottom - kGripTolerance)
            return between;
        if (within(my, bottom))
            return atBottom;
        return TMousePos::_nowhere;
    };
    if (within(mx, left))
        return band(TMousePos::_lefttop, TMousePos::_left, TMousePos::_leftbottom);
    if (left + kGripTolerance < mx && mx < right - kGripTolerance)
        return band(TMousePos::_top, TMousePos::_center, TMousePos::_bottom);
    if (within(mx, right))
        return band(TMousePos::_righttop, TMousePos::_right, TMousePos::_rightbottom);
    return TMousePos::_nowhere;
}

bool TNode::IsIn(int ax, int ay) const
{
    return within(ax, x) && within(ay, y);
}

void RectangleShape::setLeft(int v)
{
    FLeft = clampTo(v, width_);
}

void RectangleShape::setRight(int v)
{
    FRight = clampTo(v, width_);
}

void RectangleShape::setTop(int v)
{
    FTop = clampTo(v, height_);
}

void RectangleShape::setBottom(int v)
{
    FBottom = clampTo(v, height_);
}

void RectangleShape::drag(TMousePos grip, int dmx, int dmy)
{
    using P = TMousePos;
    if (grip == P::_lefttop || grip == P::_left || grip == P::_leftbottom || grip == P::_center)
        setLeft(FLeft + dmx);
    if (grip == P::_righttop || grip == P::_right || grip == P::_rightbottom || grip == P::_center)
        setRight(FRight + dmx);
    if (grip == P::_lefttop || grip == P::_top || grip == P::_righttop || grip == P::_center)
        setTop(FTop + dmy);
    if (grip == P::_leftbottom || grip == P::_bottom || grip == P::_rightbottom || grip == P::_center)
        setBottom(FBottom + dmy);
}

bool RectangleShape::normalise()
{
    const bool visible = FLeft != FRight && FTop != FBottom;
    if (FTop > FBottom)
        std::swap(FTop, FBottom);
    if (FLeft > FRight)
        std::swap(FLeft, FRight);
    return visible;
}

PolygonShape::PolygonShape() : Vertices(1) {}

bool PolygonShape::IsIn(int x, int y) const
{
    std::vector<DPoint> v(Vertices.size());
    for (size_t i = 0; i < Vertices.size(); ++i)
        v[i] = {double(Vertices[i].x), double(Vertices[i].y)};
    return PointInPolygon(double(x), double(y), v);
}

int PolygonShape::IsInVertex(int x, int y) const
{
    for (int i = 0; i < Count(); ++i)
        if (Vertices[size_t(i)].IsIn(x, y))
            return i;
    return -1;
}

void PolygonShape::MoveBy(int dx, int dy)
{
    for (TNode& n : Vertices)
        n.Moveby(dx, dy);
}

PolygonShape::Press PolygonShape::mouseDown(bool rightButton, int x, int y)
{
    if (!accomplished) {
        if (rightButton) {
            accomplished = true;
        } else {
            Vertices.push_back(TNode{x, y});
            VertexIndex = Count() - 1;
        }
        return Press::Handled;
    }
    const int v = IsInVertex(x, y);
    if (v >= 0) {
        VertexIndex = v;
        movevertex = true;
        return Press::Handled;
    }
    if (IsIn(x, y)) {
        movepolygon = true;
        return Press::Handled;
    }
    return Press::PassOn;
}

bool PolygonShape::mouseMove(int x, int y, int dmx, int dmy, bool& overShape)
{
    overShape = false;
    if (movevertex && VertexIndex >= 0 && VertexIndex < Count()) {
        Vertices[size_t(VertexIndex)].Moveby(dmx, dmy);
        return true;
    }
    if (movepolygon) {
        MoveBy(dmx, dmy);
        return true;
    }
    const int v = IsInVertex(x, y);
    overShape = v >= 0 || IsIn(x, y);
    if (v != VertexIndex) {
        VertexIndex = v;
        return true;
    }
    return false;
}

void PolygonShape::mouseUp()
{
    if (accomplished) {
        movevertex = false;
        movepolygon = false;
    }
}

std::vector<IPoint> PolygonShape::outline() const
{
    std::vector<IPoint> line;
    if (Vertices.empty())
        return line;
    const TNode& first = Count() < 3 ? Vertices.front() : Vertices.back();
    line.push_back({first.x, first.y});
    for (const TNode& n : Vertices)
        line.push_back({n.x, n.y});
    return line;
}

double TTransform::ProportionalProjection(DPoint p, DPoint p0, DPoint p1, DPoint p2, DPoint p3)
{
    const double a = p0.x, g = p0.y, c = p1.x, h = p1.y, d = p2.x, l = p2.y, e = p3.x, m = p3.y, f = p.x, b = p.y;
    const double o = a * b - b * c + b * d - b * e - f * g - d * g + 2 * e * g + f * h - e * h - f * l + a * l +
                     f * m - 2 * a * m + c * m;
    const double q2 = d * (g - h) + e * (h - g) - (a - c) * (l - m);
    const double q0 = -(e * (g - b) + a * (b - m) + f * (m - g));
    const double r = o * o - 4 * q2 * q0;
    if (r < 0)
        return -1;
    if (std::fabs(q2) >= 1e-9)
        return (std::sqrt(r) - o) / (2 * q2);
    if (o != 0)
        return -q0 / o;
    return -1;
}

DPoint TTransform::GetProjection(double x, double y) const
{
    auto swap = [](DPoint q) { return DPoint{q.y, q.x}; };
    return {ProportionalProjection({x, y}, p0, p1, p2, p3),
            ProportionalProjection({y, x}, swap(p0), swap(p3), swap(p2), swap(p1))};
}

GridShape::GridShape()
{
    rebuildPins();
}

void GridShape::setDivisions(int xdiv, int ydiv)
{
    xtick_ = std::max(xdiv, 1);
    ytick_ = std::max(ydiv, 1);
    rebuildPins();
}

void GridShape::rebuildPins()
{
    Pins.assign(size_t(xtick_) * size_t(ytick_), DPoint{});
    for (int j = 0; j < ytick_; ++j)
        for (int i = 0; i < xtick_; ++i)
            Pins[size_t(i + j * xtick_)] = {i + 0.5, j + 0.5};
}

bool GridShape::mouseDown(int x, int y)
{
    if (Creation) {
        for (TNode& n : Nodes)
            n.MoveTo(x, y);
        for (TNode& n : Side)
            n.MoveTo(x, y);
        return true;
    }
    double cx[4], cy[4];
    int corner = -1, side = -1;
    for (int i = 0; i < 4; ++i) {
        cx[i] = Nodes[size_t(i)].x;
        cy[i] = Nodes[size_t(i)].y;
        if (Nodes[size_t(i)].IsIn(x, y))
            corner = i;
        if (Side[size_t(i)].IsIn(x, y))
            side = i;
    }
    if (PointInPolygon(x, y, cx, cy, 4) || corner >= 0 || side >= 0) {
        dragging = true;
        movingnode = corner;
        movingside = side;
    }
    return dragging;
}

bool GridShape::mouseMove(int dmx, int dmy)
{
    if (Creation) {
        // Dragging out an axis-parallel rectangle from corner 0.
        Nodes[1].Moveby(dmx, 0);
        Nodes[2].Moveby(dmx, dmy);
        Nodes[3].Moveby(0, dmy);
        placeSides();
        return true;
    }
    if (!dragging)
        return false;
    if (movingnode >= 0) {
        Nodes[size_t(movingnode)].Moveby(dmx, dmy);
    } else if (movingside >= 0) {
        Nodes[size_t(movingside)].Moveby(dmx, dmy);
        Nodes[size_t((movingside + 1) % 4)].Moveby(dmx, dmy);
    } else {
        for (TNode& n : Nodes)
            n.Moveby(dmx, dmy);
    }
    placeSides();
    return true;
}

void GridShape::mouseUp()
{
    Creation = false;
    dragging = false;
    movingnode = movingside = -1;
}

void GridShape::placeSides()
{
    for (size_t i = 0; i < 4; ++i) {
        const TNode& a = Nodes[i];
        const TNode& b = Nodes[(i + 1) % 4];
        Side[i].MoveTo((a.x + b.x) / 2, (a.y + b.y) / 2);
    }
}

std::vector<std::array<IPoint, 2>> GridShape::divisionLines() const
{
    auto along = [](const TNode& from, const TNode& to, int m, int ticks) {
        return IPoint{from.x + int(std::nearbyint(double(to.x - from.x) * m / ticks)),
                      from.y + int(std::nearbyint(double(to.y - from.y) * m / ticks))};
    };
    std::vector<std::array<IPoint, 2>> lines;
    for (int m = 1; m < xtick_; ++m)
        lines.push_back({along(Nodes[0], Nodes[1], m, xtick_), along(Nodes[3], Nodes[2], m, xtick_)});
    for (int m = 1; m < ytick_; ++m)
        lines.push_back({along(Nodes[0], Nodes[3], m, ytick_), along(Nodes[1], Nodes[2], m, ytick_)});
    return lines;
}

void GridShape::BeginTransform(double sx, double sy)
{
    trans_.clear();
    trans_.emplace_back(Nodes[0].AsDoublePoint(sx, sy), Nodes[1].AsDoublePoint(sx, sy),
                        Nodes[2].AsDoublePoint(sx, sy), Nodes[3].AsDoublePoint(sx, sy));
}

bool GridShape::IsInGate(double x, double y) const
{
    if (trans_.empty())
        return false;
    const DPoint uv = trans_.front().GetProjection(x, y);
    // A degenerate quadrilateral yields infinities or NaN: outside.
    if (!std::isfinite(uv.x) || !std::isfinite(uv.y))
        return false;
    const double u = uv.x * xtick_, v = uv.y * ytick_;
    for (const DPoint& pin : Pins)
        if (std::hypot(u - pin.x, v - pin.y) <= radius)
            return true;
    return false;
}

void GridShape::EndTransform()
{
    trans_.clear();
}

bool ContourHit(double x, double y, const std::vector<DPoint>& pts, const AxisMapper& map)
{
    const double vx = map.pixelToX(x), vy = map.pixelToY(y);
    if (PointInPolygon(vx, vy, pts))
        return true;
    const double tx = std::fabs(map.pixelToX(kContourTolerance) - map.pixelToX(0));
    const double ty = std::fabs(map.pixelToY(kContourTolerance) - map.pixelToY(0));
    for (size_t k = 0; k + 1 < pts.size(); ++k)
        if (std::fabs(vx - pts[k].x) <= tx && std::fabs(vy - pts[k].y) <= ty)
            return true;
    return false;
}

TeePoly::TeePoly(std::vector<DPoint>& points, const AxisMapper& map) : vertices(points.size()), pts_(points), map_(map)
{
}

bool TeePoly::IsIn(double x, double y) const
{
    return PointInPolygon(map_.pixelToX(x), map_.pixelToY(y), pts_) || VertexUnderMouse(x, y) >= 0;
}

int TeePoly::VertexUnderMouse(double x, double y) const
{
    for (int i = 0; i < Count(); ++i) {
        const DPoint& p = pts_[size_t(i)];
        if (std::hypot(map_.xToPixel(p.x) - x, map_.yToPixel(p.y) - y) < kContourTolerance)
            return i;
    }
    return -1;
}

void TeePoly::setPixel(int n, double px, double py)
{
    pts_[size_t(n)] = {map_.pixelToX(px), map_.pixelToY(py)};
}

void TeePoly::Moveby(double dx, double dy)
{
    for (int i = 0; i < Count(); ++i) {
        const DPoint p = pts_[size_t(i)];
        setPixel(i, map_.xToPixel(p.x) + dx, map_.yToPixel(p.y) + dy);
    }
}

void TeePoly::MoveVertexby(int n, double dx, double dy)
{
    if (n < 0 || n >= Count())
        return;
    const DPoint p = pts_[size_t(n)];
    MoveVertexTo(n, map_.xToPixel(p.x) + dx, map_.yToPixel(p.y) + dy);
}

void TeePoly::MoveVertexTo(int n, double x, double y)
{
    if (n < 0 || n >= Count())
        return;
    setPixel(n, x, y);
    // The closing copy and the first point stay together.
    const int last = Count() - 1;
    if (n == 0 && last > 0)
        pts_[size_t(last)] = pts_[0];
    else if (n == last && last > 0)
        pts_[0] = pts_[size_t(last)];
}

namespace {
TeePoly::TeeVertex polar(long double dx, long double dy)
{
    return {std::sqrt(dx * dx + dy * dy), std::atan2(dy, dx)};
}
}  // namespace

void TeePoly::StartRotation(double x, double y)
{
    const int n = Count();
    vertices.assign(size_t(n), TeeVertex{});
    if (n == 0)
        return;
    std::vector<DPoint> pix(static_cast<size_t>(n));
    double sx = 0, sy = 0;
    for (int i = 0; i < n; ++i) {
        pix[size_t(i)] = {map_.xToPixel(pts_[size_t(i)].x), map_.yToPixel(pts_[size_t(i)].y)};
        sx += pix[size_t(i)].x;
        sy += pix[size_t(i)].y;
    }
    CenterX = sx / n;
    CenterY = sy / n;
    const TeeVertex mouse = polar(x - CenterX, y - CenterY);
    R = mouse.R;
    Theta = mouse.Theta;
    for (int i = 0; i < n; ++i)
        vertices[size_t(i)] = polar(pix[size_t(i)].x - CenterX, pix[size_t(i)].y - CenterY);
}

void TeePoly::Rotate(double x, double y)
{
    const TeeVertex mouse = polar(x - CenterX, y - CenterY);
    const long double s = R == 0 ? 1.0L : mouse.R / R;
    const long double delta = mouse.Theta - Theta;
    const int n = std::min(Count(), int(vertices.size()));
    for (int i = 0; i < n; ++i) {
        const TeeVertex& v = vertices[size_t(i)];
        const double px = std::nearbyint(double(CenterX + s * v.R * std::cos(v.Theta + delta)));
        const double py = std::nearbyint(double(CenterY + s * v.R * std::sin(v.Theta + delta)));
        setPixel(i, px, py);
    }
}

void ContourBuilder::addVertex(std::vector<DPoint>& pts, double x, double y)
{
    if (pts.empty()) {
        pts.assign(3, DPoint{x, y});  // first vertex, moving vertex, closing copy
        return;
    }
    pts.insert(pts.end() - 1, DPoint{x, y});
}

void ContourBuilder::follow(std::vector<DPoint>& pts, double x, double y)
{
    if (pts.size() > 1)
        pts[pts.size() - 2] = {x, y};
}

}  // namespace orvala
