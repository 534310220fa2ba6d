#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "geometry/Scales.h"
#include "plot/PlotView.h"

using namespace orvala;

namespace {

const double Nan = std::numeric_limits<double>::quiet_NaN();
const double R2 = 1 / std::sqrt(2.0);

// Crossing-number (even-odd) test, written apart from the program's own.
bool evenOdd(double x, double y, const std::vector<double>& vx, const std::vector<double>& vy)
{
    bool in = false;
    const size_t n = vx.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++)
        if ((vy[i] > y) != (vy[j] > y)) {
            const double xc = vx[j] + (y - vy[j]) * (vx[i] - vx[j]) / (vy[i] - vy[j]);
            if (x < xc) in = !in;
        }
    return in;
}

double dot(const std::vector<double>& row, const TVector& v)
{
    double s = 0;
    for (size_t i = 0; i < v.size(); ++i) s += row[i] * v[i];
    return s;
}

double scaled(GateAxisScale s, double v)
{
    if (s.loglin) v = LogToLin(v);
    if (s.linlog) v = LinToLog(v);
    return v;
}

// Three parameters in [1, 1000), with a few events that are not finite.
std::vector<std::vector<double>> events()
{
    std::vector<std::vector<double>> rows;
    uint32_t s = 2024;
    for (int e = 0; e < 4000; ++e) {
        std::vector<double> row(3);
        for (double& v : row) {
            s = s * 1664525u + 1013904223u;
            v = 1 + double(s >> 8) / double(1u << 24) * 999.0;
        }
        if (e % 500 == 7) row[size_t(e % 2)] = Nan;
        rows.push_back(row);
    }
    return rows;
}

// Events the gate holds: projected on its directions, scaled by its flags, inside its outline.
std::vector<int> inGate(const GateShape& g, const std::vector<std::vector<double>>& rows)
{
    std::vector<int> in;
    for (size_t e = 0; e < rows.size(); ++e) {
        const double u = scaled(g.sx, dot(rows[e], g.x)), v = scaled(g.sy, dot(rows[e], g.y));
        if (std::isfinite(u) && std::isfinite(v) && evenOdd(u, v, g.cx, g.cy)) in.push_back(int(e));
    }
    return in;
}

// Events a user sees inside a contour: at their plotted coordinates.
std::vector<int> inContour(const PlotView& view, const Outline& c, const std::vector<std::vector<double>>& rows)
{
    const ScaleFunction sx = AxisScaleFor(view.x.mode).Convert, sy = AxisScaleFor(view.y.mode).Convert;
    std::vector<int> in;
    for (size_t e = 0; e < rows.size(); ++e) {
        const double X = sx(dot(rows[e], view.x.direction)), Y = sy(dot(rows[e], view.y.direction));
        if (std::isfinite(X) && std::isfinite(Y) && evenOdd(X, Y, c.x, c.y)) in.push_back(int(e));
    }
    return in;
}

void expectNear(const std::vector<double>& got, const std::vector<double>& want, const std::string& what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9 * std::max(1.0, std::fabs(want[i]))) << what << " vertex " << i;
}

const TVector P0{1, 0, 0}, P1{0, 1, 0}, P2{0, 0, 1}, P01{R2, R2, 0};
const GateAxisScale Lin{}, LinLog{false, true}, LogLin{true, false};

// A concave polygon and an axis-parallel rectangle, closed, in linear units.
const Outline Arrow{{150, 850, 500, 800, 200, 150}, {150, 250, 450, 800, 700, 150}};
const Outline Box{{200, 700, 700, 200, 200}, {150, 150, 800, 800, 150}};

Outline scaledOutline(const Outline& o, GateAxisScale sx, GateAxisScale sy)
{
    Outline out = o;
    for (double& v : out.x) v = scaled(sx, v);
    for (double& v : out.y) v = scaled(sy, v);
    return out;
}

struct Case {
    const char* name;
    TVector gx, gy;
    GateAxisScale gsx, gsy;
    Outline outline;  // linear units; stored through the gate's flags
    TVector vx, vy;
    AxisMode mx, my;
    bool drawn;
};

GateShape gateOf(const Case& c)
{
    const Outline stored = scaledOutline(c.outline, c.gsx, c.gsy);
    return GateShape{c.gx, c.gy, stored.x, stored.y, c.gsx, c.gsy, false, false};
}

PlotView viewOf(const Case& c)
{
    PlotView v;
    v.x = {c.vx, c.mx};
    v.y = {c.vy, c.my};
    return v;
}

const AxisMode L = AxisMode::Linear, A = AxisMode::LinLog, G = AxisMode::LogLin;

const Case cases[] = {
    {"same axes", P0, P1, Lin, Lin, Arrow, P0, P1, L, L, true},
    {"exchanged axes", P0, P1, Lin, Lin, Arrow, P1, P0, L, L, true},
    {"rotated x (P0+P1)/sqrt2 against P1", P0, P1, Lin, Lin, Arrow, P01, P1, L, L, true},
    {"gate on a rotated direction seen on P0, P1", P01, P1, Lin, Lin, Arrow, P0, P1, L, L, true},
    {"gate on directions that are not orthogonal, own view", P0, P01, Lin, Lin, Arrow, P0, P01, L, L, true},
    {"same log boxes", P0, P1, LinLog, LinLog, Arrow, P0, P1, A, A, true},
    {"exchanged axes, log boxes follow", P0, P1, LinLog, Lin, Arrow, P1, P0, L, A, true},
    {"log box on a linear gate bends a polygon", P0, P1, Lin, Lin, Arrow, P0, P1, A, L, false},
    {"log box on a linear gate keeps a rectangle", P0, P1, Lin, Lin, Box, P0, P1, A, L, true},
    {"linear view of a lin->log gate", P0, P1, LinLog, Lin, Box, P0, P1, L, L, true},
    {"linear view of a log->lin gate", P0, P1, Lin, LogLin, Box, P0, P1, L, L, true},
    {"log->lin view of a lin->log gate, exchanged", P0, P1, LinLog, LinLog, Box, P1, P0, G, L, true},
    {"rotated view of a log gate", P0, P1, LinLog, LinLog, Box, P01, P1, A, A, false},
    {"axis outside the gate's plane", P0, P1, Lin, Lin, Arrow, P0, P2, L, L, false},
    {"both view axes on one line", P0, P1, Lin, Lin, Arrow, P0, P0, L, L, false},
};

}  // namespace

TEST(PlotView, ContourShowsTheGateRegionWhereDrawnAndEditsMapBack)
{
    const auto rows = events();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GateShape g = gateOf(c);
        const PlotView view = viewOf(c);
        const std::optional<Outline> contour = view.contourOf(g);
        ASSERT_EQ(contour.has_value(), c.drawn);
        if (!contour) continue;

        // What the user sees inside the contour is what the gate holds; the
        // events with a NaN are in neither.
        const std::vector<int> held = inGate(g, rows);
        EXPECT_GT(held.size(), 200u);
        EXPECT_EQ(inContour(view, *contour, rows), held);

        // Contour -> gate -> contour.
        const std::optional<Outline> back = view.gateOutlineOf(g, *contour);
        ASSERT_TRUE(back);
        expectNear(back->x, g.cx, "round trip x");
        expectNear(back->y, g.cy, "round trip y");

        // A click changes nothing.
        EXPECT_EQ(view.edit(g, *contour, *contour).kind, GateEdit::Unchanged);

        // Dragging the whole contour: the new gate holds what the moved contour shows.
        Outline moved = *contour;
        const double dx = 0.05 * (contour->x[1] - contour->x[0]) + 3, dy = 4;
        for (double& v : moved.x) v += dx;
        for (double& v : moved.y) v += dy;
        const GateEdit e = view.edit(g, *contour, moved);
        ASSERT_EQ(e.kind, GateEdit::Regate);
        GateShape edited = g;
        edited.cx = e.cx;
        edited.cy = e.cy;
        EXPECT_EQ(inGate(edited, rows), inContour(view, moved, rows));
        EXPECT_NE(inGate(edited, rows), held);
        const std::optional<Outline> redrawn = view.contourOf(edited);
        ASSERT_TRUE(redrawn);
        expectNear(redrawn->x, moved.x, "redrawn x");
        expectNear(redrawn->y, moved.y, "redrawn y");
    }
}

TEST(PlotView, ContourOfTheGatesOwnOrExchangedAxesIsItsOutlineBitForBit)
{
    const GateShape g{P0, P1, Arrow.x, Arrow.y, Lin, Lin, false, false};
    PlotView view;
    view.x = {P0, L};
    view.y = {P1, L};
    EXPECT_EQ(view.contourOf(g), Arrow);
    view.x = {P1, L};
    view.y = {P0, L};
    EXPECT_EQ(view.contourOf(g), (Outline{Arrow.y, Arrow.x}));
}

TEST(PlotView, ScaleInversesAreExact)
{
    // LogToLin undoes LinToLog only roughly (about twice 1000 for 1000).
    for (double v : {-1000.0, -0.5, 0.0, 3.0, 200.0, 1e6}) {
        EXPECT_NEAR(LinToLogInverse(LinToLog(v)), v, 1e-12 * std::max(1.0, std::fabs(v))) << v;
        EXPECT_NEAR(LogToLinInverse(LogToLin(v / 1000)), v / 1000, 1e-12 * std::max(1.0, std::fabs(v))) << v;
    }
    EXPECT_TRUE(std::isnan(LogToLinInverse(0)));
    EXPECT_TRUE(std::isnan(LogToLinInverse(-5)));
    // A linear gate on a log->lin axis: a contour moved below 0 there has no
    // counterpart in the gate's space.
    const GateShape g{P0, P1, Box.x, Box.y, Lin, Lin, false, false};
    PlotView view;
    view.x = {P0, L};
    view.y = {P1, G};
    const std::optional<Outline> c = view.contourOf(g);
    ASSERT_TRUE(c);
    expectNear(c->y, scaledOutline(Box, Lin, LogLin).y, "linear gate on a log->lin axis");
    Outline below = *c;
    for (double& v : below.y) v -= 2000;
    EXPECT_EQ(view.edit(g, *c, below).kind, GateEdit::Refused);
}

TEST(PlotView, EditsKeepUnmovedVerticesAndRefuseBentEdges)
{
    // A vertex dragged in an exchanged view: the other vertices keep their stored values exactly.
    const GateShape g{P0, P1, Arrow.x, Arrow.y, Lin, Lin, false, false};
    PlotView view;
    view.x = {P1, L};
    view.y = {P0, L};
    const Outline drawn = *view.contourOf(g);
    Outline moved = drawn;
    moved.x[2] += 50;
    GateEdit e = view.edit(g, drawn, moved);
    ASSERT_EQ(e.kind, GateEdit::Regate);
    for (size_t i = 0; i < g.cx.size(); ++i) {
        EXPECT_EQ(e.cx[i], g.cx[i]) << i;
        EXPECT_EQ(e.cy[i], i == 2 ? g.cy[i] + 50 : g.cy[i]) << i;
    }
    // Under 0.1 % of every stored coordinate: no re-gate.
    Outline nudged = drawn;
    nudged.y[2] *= 1.0009;
    EXPECT_EQ(view.edit(g, drawn, nudged).kind, GateEdit::Unchanged);

    // In a lin->log view of a linear rectangle a corner dragged off the
    // axes would bend two edges in the gate's space.
    const GateShape box{P0, P1, Box.x, Box.y, Lin, Lin, false, false};
    PlotView logView;
    logView.x = {P0, A};
    logView.y = {P1, L};
    const Outline c = *logView.contourOf(box);
    Outline corner = c;
    corner.x[2] += 10;
    corner.y[2] += 10;
    EXPECT_EQ(logView.edit(box, c, corner).kind, GateEdit::Refused);
}

TEST(PlotView, GatesOfAnotherSpaceOrOneDimensionAreNotDrawn)
{
    PlotView view;
    view.x = {P0, L};
    view.y = {P1, L};
    GateShape g{P0, P1, Arrow.x, Arrow.y, Lin, Lin, true, true};
    EXPECT_FALSE(view.contourOf(g)) << "component gate on the parameter page";
    view.components = true;
    EXPECT_TRUE(view.contourOf(g)) << "component gate in its own space";
    g.sameFilter = false;
    EXPECT_FALSE(view.contourOf(g)) << "component gate of another filter";
    g.components = false;
    EXPECT_FALSE(view.contourOf(g)) << "projection gate on a component page";
    view.components = false;
    const GateShape range{P0, TVector{0, 0, 0}, {200, 400, 200}, {0, 0, 0}, Lin, Lin, false, false};
    EXPECT_FALSE(view.contourOf(range));
}

TEST(PlotView, RangeGateHoldsExactlyTheEventsBetweenTheMarkersAsSeen)
{
    // Events on and just beside the ends, seen on a lin->log axis.
    const std::vector<double> xs{199.99999999, 200, 200.0000001, 300, 399.9999999, 400, 400.00000001, -300, Nan};
    PlotView view;
    view.x = {TVector{0, 1}, A};
    const auto gate = view.rangeGate(LinToLog(400), LinToLog(200));
    ASSERT_TRUE(gate);
    EXPECT_EQ(gate->y, (TVector{0, 0}));
    EXPECT_EQ(gate->cy, (TVector{0, 0, 0}));
    EXPECT_TRUE(gate->sx.linlog);
    // The gate test of a range: the projection through the gate's flags, ends included.
    std::vector<double> held;
    for (double x : xs) {
        const double dx = scaled(gate->sx, dot({-1.0, x}, gate->x));
        if (dx >= std::min(gate->cx[0], gate->cx[1]) && dx <= std::max(gate->cx[0], gate->cx[1])) held.push_back(x);
    }
    EXPECT_EQ(held, (std::vector<double>{200, 200.0000001, 300, 399.9999999, 400}));

    view.x.direction = {0, 0};
    EXPECT_FALSE(view.rangeGate(1, 2)) << "no x axis";
}

TEST(PlotView, PolygonGateNeedsThreeDistinctVertices)
{
    PlotView view;
    view.x = {P0, A};
    view.y = {P2, G};
    struct Row {
        const char* name;
        Outline drawn;
        bool gate;
    };
    const Row rows[] = {
        {"one click, then the right button elsewhere", {{1, 5, 1}, {1, 5, 1}}, false},
        {"one click and the right button in place", {{1, 1, 1}, {2, 2, 2}}, false},
        {"two clicks, the right button on the second", {{1, 5, 5, 1}, {1, 5, 5, 1}}, false},
        {"two clicks, the right button back on the first", {{1, 5, 1, 1}, {1, 5, 1, 1}}, false},
        {"triangle", {{1, 5, 3, 1}, {1, 1, 4, 1}}, true},
    };
    for (const Row& r : rows) {
        const auto gate = view.polygonGate(r.drawn);
        EXPECT_EQ(gate.has_value(), r.gate) << r.name;
        if (!gate) continue;
        EXPECT_EQ(gate->cx, r.drawn.x);
        EXPECT_EQ(gate->x, P0);
        EXPECT_EQ(gate->y, P2);
        EXPECT_TRUE(gate->sx.linlog && !gate->sx.loglin);
        EXPECT_TRUE(gate->sy.loglin && !gate->sy.linlog);
    }
    view.y.direction = {0, 0, 0};
    EXPECT_FALSE(view.polygonGate(rows[4].drawn)) << "histogram";
}

TEST(PlotView, MarkerUnderTheMouseAndDragOffset)
{
    struct Row {
        double px, m0, m1;
        int want;
    };
    for (const Row& r : {Row{100, 100, 300, 0}, Row{96, 100, 300, 0}, Row{95, 100, 300, -1}, Row{304, 100, 300, 1},
                         Row{201, 200, 203, 0}, Row{202, 200, 203, 1}, Row{150, 100, 300, -1}})
        EXPECT_EQ(MarkerDrag::markerAt(r.px, r.m0, r.m1), r.want) << r.px << " " << r.m0 << " " << r.m1;
    MarkerDrag drag;
    const double positions[2] = {10.0, 30.0};
    ASSERT_TRUE(drag.press(302, 100, 300, 30.2, positions));
    EXPECT_EQ(drag.grabbed, 1);
    EXPECT_NEAR(drag.moveTo(50.2), 50.0, 1e-12);
    drag.release();
    EXPECT_EQ(drag.grabbed, -1);
    EXPECT_FALSE(drag.press(200, 100, 300, 20, positions));
}

TEST(PlotView, AxisDirections)
{
    // Two ticked parameters: their sum over sqrt 2; a component entry adds
    // its eigenvector into the parameters the filter reads.
    EXPECT_EQ(PlotView::parameterDirection(3, {0, 1}, nullptr, nullptr), P01);
    const TMatrix evects{{0.6, 0.8}, {-0.8, 0.6}};
    const TIntVector indices{0, 2};
    EXPECT_EQ(PlotView::parameterDirection(3, {3}, &evects, &indices), (TVector{0.6, 0, 0.8}));
    EXPECT_EQ(PlotView::parameterDirection(3, {3}, nullptr, nullptr), (TVector{0, 0, 0}));
    EXPECT_EQ(PlotView::componentDirection(evects, {1}), (TVector{-0.8, 0.6}));
    EXPECT_EQ(PlotView::parameterDirection(0, {0}, nullptr, nullptr), TVector{});
}
