#include <gtest/gtest.h>

#include <cmath>

#include "geometry/GateGeometry.h"

using namespace orvala;

TEST(GateGeometry, RectangleGripBands)
{
    // Rectangle 100..200 x 50..150.
    using P = TMousePos;
    struct Case {
        int x, y;
        P grip;
    };
    const Case cases[] = {
        {100, 50, P::_lefttop},      {96, 46, P::_lefttop},      {95, 50, P::_nowhere},
        {100, 100, P::_left},        {100, 54, P::_lefttop},     {100, 55, P::_left},
        {100, 145, P::_left},        {100, 146, P::_leftbottom}, {104, 154, P::_leftbottom},
        {100, 155, P::_nowhere},     {150, 50, P::_top},         {105, 100, P::_center},
        {150, 150, P::_bottom},      {195, 100, P::_center},     {196, 100, P::_right},
        {204, 46, P::_righttop},     {200, 150, P::_rightbottom}, {205, 100, P::_nowhere},
        {150, 30, P::_nowhere},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RectangleGrip(c.x, c.y, 100, 50, 200, 150), c.grip) << c.x << "," << c.y;
}

TEST(GateGeometry, NodeToleranceIsFourPixels)
{
    const TNode n{10, 20};
    EXPECT_TRUE(n.IsIn(14, 24));
    EXPECT_TRUE(n.IsIn(6, 16));
    EXPECT_FALSE(n.IsIn(15, 20));
    EXPECT_FALSE(n.IsIn(10, 15));
    const DPoint d = n.AsDoublePoint(0.5, 2);
    EXPECT_EQ(d.x, 5);
    EXPECT_EQ(d.y, 40);
}

TEST(GateGeometry, RectangleDragClampsAndNormalises)
{
    RectangleShape r(300, 200);
    r.setLeft(50), r.setRight(50), r.setTop(60), r.setBottom(60);
    // Dragged from its right-bottom corner past the opposite edges.
    r.drag(TMousePos::_rightbottom, -30, -40);
    EXPECT_EQ(r.FRight, 20);
    EXPECT_EQ(r.FBottom, 20);
    EXPECT_TRUE(r.normalise());
    EXPECT_EQ(r.FLeft, 20);
    EXPECT_EQ(r.FRight, 50);
    EXPECT_EQ(r.FTop, 20);
    EXPECT_EQ(r.FBottom, 60);

    // Moving the whole rectangle clamps each edge into the box.
    r.drag(TMousePos::_center, 1000, -1000);
    EXPECT_EQ(r.FLeft, 299);
    EXPECT_EQ(r.FRight, 299);
    EXPECT_EQ(r.FTop, 0);
    EXPECT_EQ(r.FBottom, 0);
    EXPECT_FALSE(r.normalise());  // no width: hidden

    RectangleShape thin(300, 200);
    thin.setLeft(10), thin.setRight(10), thin.setTop(10), thin.setBottom(90);
    EXPECT_FALSE(thin.normalise());
    thin.drag(TMousePos::_right, 5, 0);
    EXPECT_TRUE(thin.normalise());
}

TEST(GateGeometry, PolygonDrawCloseAndEdit)
{
    PolygonShape p;
    bool over = false;
    // The floating vertex follows the mouse from (0, 0).
    p.mouseMove(10, 10, 10, 10, over);
    EXPECT_EQ(p.Vertices[0], (TNode{10, 10}));
    EXPECT_EQ(p.mouseDown(false, 10, 10), PolygonShape::Press::Handled);
    p.mouseMove(50, 10, 40, 0, over);
    p.mouseDown(false, 50, 10);
    p.mouseMove(50, 60, 0, 50, over);
    p.mouseDown(true, 50, 60);  // right button closes, floating vertex stays
    p.mouseUp();
    ASSERT_TRUE(p.accomplished);
    ASSERT_EQ(p.Count(), 3);
    EXPECT_EQ(p.Vertices[2], (TNode{50, 60}));
    EXPECT_FALSE(p.movevertex);
    // Three vertices: the outline starts at the last one and so closes.
    const std::vector<IPoint> line = p.outline();
    ASSERT_EQ(line.size(), 4u);
    EXPECT_EQ(line.front(), (IPoint{50, 60}));
    EXPECT_EQ(line.back(), (IPoint{50, 60}));

    // Hovering highlights a vertex; grabbing it moves only that vertex.
    EXPECT_TRUE(p.mouseMove(52, 13, 0, 0, over));
    EXPECT_TRUE(over);
    EXPECT_EQ(p.VertexIndex, 1);
    EXPECT_EQ(p.mouseDown(false, 52, 13), PolygonShape::Press::Handled);
    p.mouseMove(62, 13, 10, 0, over);
    p.mouseUp();
    EXPECT_EQ(p.Vertices[1], (TNode{60, 10}));

    // Inside but away from vertices moves the whole polygon.
    EXPECT_TRUE(p.IsIn(45, 20));
    EXPECT_EQ(p.mouseDown(false, 45, 20), PolygonShape::Press::Handled);
    p.mouseMove(46, 22, 1, 2, over);
    p.mouseUp();
    EXPECT_EQ(p.Vertices[0], (TNode{11, 12}));
    EXPECT_EQ(p.Vertices[2], (TNode{51, 62}));
    // Elsewhere the press belongs to the paint box.
    EXPECT_EQ(p.mouseDown(false, 200, 200), PolygonShape::Press::PassOn);
    p.mouseMove(200, 200, 0, 0, over);
    EXPECT_FALSE(over);
    EXPECT_EQ(p.VertexIndex, -1);
}

TEST(GateGeometry, ProjectionOfQuadrilaterals)
{
    const TTransform unit({0, 0}, {1, 0}, {1, 1}, {0, 1});
    for (auto [x, y] : {std::pair{0.25, 0.75}, {0.5, 0.5}, {0.9, 0.1}}) {
        const DPoint uv = unit.GetProjection(x, y);
        EXPECT_NEAR(uv.x, x, 1e-12);
        EXPECT_NEAR(uv.y, y, 1e-12);
    }
    // Corners of convex, non-parallelogram quadrilaterals map to the unit corners.
    const TTransform quads[] = {
        TTransform({10, 10}, {110, 20}, {130, 140}, {5, 100}),
        TTransform({0, 0}, {50, -10}, {60, 70}, {-20, 40}),
    };
    for (const TTransform& t : quads) {
        const DPoint corners[] = {t.p0, t.p1, t.p2, t.p3};
        const DPoint expected[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 4; ++k) {
            const DPoint uv = t.GetProjection(corners[k].x, corners[k].y);
            EXPECT_NEAR(uv.x, expected[k].x, 1e-9) << k;
            EXPECT_NEAR(uv.y, expected[k].y, 1e-9) << k;
        }
    }
    // No real solution gives -1.
    EXPECT_EQ(TTransform::ProportionalProjection({0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}), -1);
}

TEST(GateGeometry, GridCreationDivisionsAndSpots)
{
    GridShape g;
    EXPECT_EQ(g.Pins.size(), 36u);
    g.setDivisions(3, 2);
    ASSERT_EQ(g.Pins.size(), 6u);
    EXPECT_EQ(g.Pins[4].x, 1.5);  // entry i + j * xdiv
    EXPECT_EQ(g.Pins[4].y, 1.5);

    EXPECT_TRUE(g.mouseDown(10, 20));
    g.mouseMove(90, 0);
    g.mouseMove(0, 40);
    g.mouseUp();
    EXPECT_FALSE(g.Creation);
    EXPECT_EQ(g.Nodes[2], (TNode{100, 60}));
    EXPECT_EQ(g.Side[1], (TNode{100, 40}));

    const auto lines = g.divisionLines();
    ASSERT_EQ(lines.size(), 3u);  // 2 across x, 1 across y
    EXPECT_EQ(lines[0][0], (IPoint{40, 20}));
    EXPECT_EQ(lines[0][1], (IPoint{40, 60}));
    EXPECT_EQ(lines[1][0], (IPoint{70, 20}));
    EXPECT_EQ(lines[2][0], (IPoint{10, 40}));
    EXPECT_EQ(lines[2][1], (IPoint{100, 40}));

    // Cells are 30 x 20 paint-box pixels, picture scale 2: spots of radius
    // 0.2 cell around each centre.
    g.BeginTransform(2, 2);
    EXPECT_TRUE(g.IsInGate(2 * 25, 2 * 30));           // centre of cell (0, 0)
    EXPECT_TRUE(g.IsInGate(2 * 25 + 11.9, 2 * 30));    // 0.198 cell away
    EXPECT_FALSE(g.IsInGate(2 * 25 + 12.1, 2 * 30));   // 0.202 cell away
    EXPECT_TRUE(g.IsInGate(2 * 85, 2 * 50));           // cell (2, 1)
    EXPECT_FALSE(g.IsInGate(2 * 40, 2 * 40));          // a cell corner
    g.radius = 0.5;                                     // the widest well: up to the cell's edges
    EXPECT_TRUE(g.IsInGate(2 * 25 + 29.8, 2 * 30));    // 0.497 cell away
    EXPECT_FALSE(g.IsInGate(2 * 40, 2 * 40));          // the corner stays out (0.707)
    g.radius = 0.05;                                    // the narrowest
    EXPECT_TRUE(g.IsInGate(2 * 25 + 2.9, 2 * 30));     // 0.048 cell away
    EXPECT_FALSE(g.IsInGate(2 * 25 + 3.1, 2 * 30));    // 0.052 cell away
    g.radius = 0.2;
    g.EndTransform();
    EXPECT_FALSE(g.IsInGate(50, 60));

    // Dragging a side moves its two corners; a press outside does nothing.
    EXPECT_TRUE(g.mouseDown(100, 40));
    EXPECT_EQ(g.movingside, 1);
    g.mouseMove(10, 0);
    g.mouseUp();
    EXPECT_EQ(g.Nodes[1], (TNode{110, 20}));
    EXPECT_EQ(g.Nodes[2], (TNode{110, 60}));
    EXPECT_EQ(g.Nodes[0], (TNode{10, 20}));
    EXPECT_FALSE(g.mouseDown(300, 300));
    EXPECT_FALSE(g.mouseMove(5, 5));
}

namespace {

// 1 value unit = 10 pixels on x; y grows upwards, 400 pixels high, 4 pixels
// per unit.
class TestMapper : public AxisMapper {
public:
    double xToPixel(double v) const override { return 50 + 10 * v; }
    double yToPixel(double v) const override { return 400 - 4 * v; }
    double pixelToX(double p) const override { return (p - 50) / 10; }
    double pixelToY(double p) const override { return (400 - p) / 4; }
};

}  // namespace

TEST(GateGeometry, ContourHitTolerance)
{
    const TestMapper map;
    // Square 10..20 x 10..20 in values = pixels x 150..250, y 320..360.
    const std::vector<DPoint> sq = {{10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}};
    EXPECT_TRUE(ContourHit(200, 340, sq, map));
    // 6 pixels left of vertex (10, 10) is exactly the tolerance: 0.6 units.
    EXPECT_TRUE(ContourHit(144, 360, sq, map));
    EXPECT_FALSE(ContourHit(143, 360, sq, map));
    // 6 pixels below the vertex: 1.5 units on y.
    EXPECT_TRUE(ContourHit(150, 366, sq, map));
    EXPECT_FALSE(ContourHit(150, 367, sq, map));
    // Outside and far from vertices, though near an edge's middle.
    EXPECT_FALSE(ContourHit(200, 362, sq, map));
}

TEST(GateGeometry, TeePolyEditing)
{
    const TestMapper map;
    std::vector<DPoint> pts = {{10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}};
    TeePoly poly(pts, map);
    EXPECT_EQ(poly.Count(), 5);
    EXPECT_EQ(poly.vertices.size(), 5u);
    // Vertex (20, 10) is at pixel (250, 360); 6 pixels away is not under the mouse.
    EXPECT_EQ(poly.VertexUnderMouse(250, 354), -1);
    EXPECT_EQ(poly.VertexUnderMouse(250, 355), 1);
    EXPECT_EQ(poly.VertexUnderMouse(150, 360), 0);
    EXPECT_TRUE(poly.IsIn(200, 340));
    EXPECT_TRUE(poly.IsIn(146, 362));
    EXPECT_FALSE(poly.IsIn(100, 100));

    poly.Moveby(10, -8);  // +1 on x, +2 on y
    EXPECT_DOUBLE_EQ(pts[2].x, 21);
    EXPECT_DOUBLE_EQ(pts[2].y, 22);

    // Moving the first point drags the closing copy along, and vice versa.
    poly.MoveVertexby(0, -10, 0);
    EXPECT_DOUBLE_EQ(pts[0].x, 10);
    EXPECT_EQ(pts[4].x, pts[0].x);
    poly.MoveVertexTo(4, 50, 400);
    EXPECT_EQ(pts[0].x, 0);
    EXPECT_EQ(pts[0].y, 0);

    // Rotation by a quarter turn and scaling by 2 about the pixel centroid.
    std::vector<DPoint> sq = {{0, 0}, {10, 0}, {10, 25}, {0, 25}};  // pixels 50..150 x 300..400
    TeePoly rot(sq, map);
    rot.StartRotation(150, 350);  // centre (100, 350), mouse at angle 0, radius 50
    EXPECT_DOUBLE_EQ(rot.CenterX, 100);
    EXPECT_DOUBLE_EQ(rot.CenterY, 350);
    rot.Rotate(100, 450);  // angle +90 degrees, radius 100
    // Pixel (50, 400) -> offset (-50, 50) -> rotated (-50, -50) * 2 -> (0, 250).
    EXPECT_NEAR(map.xToPixel(sq[0].x), 0, 1e-9);
    EXPECT_NEAR(map.yToPixel(sq[0].y), 250, 1e-9);
    EXPECT_NEAR(map.xToPixel(sq[2].x), 200, 1e-9);
    EXPECT_NEAR(map.yToPixel(sq[2].y), 450, 1e-9);
}

TEST(GateGeometry, ContourBuilderKeepsClosingCopy)
{
    std::vector<DPoint> pts;
    ContourBuilder::follow(pts, 1, 1);  // nothing yet
    EXPECT_TRUE(pts.empty());
    ContourBuilder::addVertex(pts, 1, 1);
    ASSERT_EQ(pts.size(), 3u);
    ContourBuilder::follow(pts, 5, 1);
    ContourBuilder::addVertex(pts, 5, 1);
    ContourBuilder::follow(pts, 5, 5);
    ContourBuilder::addVertex(pts, 6, 6);  // clicked without a move in between
    ContourBuilder::follow(pts, 1, 5);
    const std::vector<DPoint> expected = {{1, 1}, {5, 1}, {5, 5}, {1, 5}, {1, 1}};
    ASSERT_EQ(pts.size(), expected.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_EQ(pts[i].x, expected[i].x) << i;
        EXPECT_EQ(pts[i].y, expected[i].y) << i;
    }
}
