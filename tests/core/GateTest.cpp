// Gates and gated data sets: the gate record, the event test of every kind,
// recomputation of subtrees, copying gate trees and the gate table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "CoreFixtures.h"
#include "core/Messages.h"
#include "core/TGate.h"
#include "geometry/PointInPolygon.h"
#include "geometry/Scales.h"
#include "parallel/TMultiThread.h"

using namespace orvala;
using orvala::test::Workspace;

namespace {

// A root whose events are the given rows, added to the workspace.
TData* rootWithRows(Workspace& ws, const std::string& name, const std::vector<std::vector<double>>& rows)
{
    const int cols = rows.empty() ? 0 : int(rows[0].size());
    TData* d = ws.root(name, cols, int(rows.size()));
    for (size_t e = 0; e < rows.size(); ++e)
        for (int c = 0; c < cols; ++c) d->data[int(e)][c] = rows[e][size_t(c)];
    return d;
}

// Axis-parallel rectangle gate on the first two columns of an n-column data set.
TGate rectangleGate(int n, double x0, double y0, double x1, double y1)
{
    TVector x(size_t(n), 0.0), y(size_t(n), 0.0);
    x[0] = 1;
    y[1] = 1;
    return TGate(x, y, {x0, x1, x1, x0, x0}, {y0, y0, y1, y1, y0});
}

// Gated and added to the workspace, as the plot window does.
TData* gate(Workspace& ws, TData* parent, const TGate& g)
{
    TData* kid = TData::Gated(parent, &g);
    if (kid) ws.list.Add(kid);
    return kid;
}

// The root's event indices of every event of d.
TIntVector rootEvents(const TData* d)
{
    TIntVector out;
    for (int e = 0; e < d->events(); ++e) out.push_back(d->Absoluteindex(e));
    return out;
}

// The pool used for a test, with more workers than this machine may have, so
// the split path runs everywhere.
struct PoolForTest {
    TMultiThread pool{3};
    PoolForTest() { setGatePool(&pool); }
    ~PoolForTest() { setGatePool(nullptr); }
};

// Plain even-odd crossing test over the first n vertices, written apart from
// the program's own test so that it can check it.
bool evenOdd(double px, double py, const TVector& cx, const TVector& cy, int n)
{
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        if ((cy[size_t(i)] > py) != (cy[size_t(j)] > py)) {
            const double xc =
                cx[size_t(i)] + (py - cy[size_t(i)]) * (cx[size_t(j)] - cx[size_t(i)]) / (cy[size_t(j)] - cy[size_t(i)]);
            if (px < xc) inside = !inside;
        }
    }
    return inside;
}

}  // namespace

// ------------------------------------------------------------------ the record

TEST(TGate, ConstructorsSetTheKindAndStoreTheirData)
{
    const TGate none;
    EXPECT_EQ(none.kind, TGateType::gtNone);

    const TGate projection({1, 0}, {0, 1}, {0, 1, 1, 0}, {0, 0, 1, 0});
    EXPECT_EQ(projection.kind, TGateType::gtGate);
    EXPECT_EQ(projection.Dimention(), 2);
    EXPECT_EQ(projection.Count(), 4);
    EXPECT_FALSE(projection.filter);

    TDataFilter f;
    f.FIndices = {0, 2};
    f.PCAType = 1;
    const TGate pca({1, 0}, {0, 1}, {0, 1, 0}, {0, 1, 0}, f);
    EXPECT_EQ(pca.kind, TGateType::gtPCAGate);
    ASSERT_TRUE(pca.filter);
    EXPECT_EQ(pca.filter->FIndices, f.FIndices);
    EXPECT_EQ(pca.filter->PCAType, 1);

    const TGate image(TGateRect{1, 2, 3, 4});
    EXPECT_EQ(image.kind, TGateType::gtImage);
    EXPECT_EQ(image.Rect.right, 3);
    EXPECT_EQ(image.Rect.bottom, 4);

    EXPECT_EQ(TGate(TGateType::gtAffine).kind, TGateType::gtAffine);
    const TGate subset(TGateType::gtSubset, {4, 1});
    EXPECT_EQ(subset.kind, TGateType::gtSubset);
    EXPECT_EQ(subset.ChannelList, (TIntVector{4, 1}));

    TGate sized;
    sized.cx = {1};
    sized.setCount(3);
    EXPECT_EQ(sized.cx, (TVector{1, 0, 0}));
    EXPECT_EQ(sized.cy, (TVector{0, 0, 0}));
}

TEST(TGate, CopyIsDeepAndKeepsFlagsButNotTheChartSeries)
{
    TDataFilter f;
    f.FMean = {1, 2};
    TGate g({1, 2}, {3, 4}, {0, 5, 0}, {0, 6, 0}, f);
    g.Inverse = true;
    g.Normalized = true;
    g.loglinx = g.linlogy = true;
    g.name = "G";
    g.color = 0x00FF00;
    g.Id = 7;
    int series = 0;
    g.anobject = &series;

    auto c = TGate::Copy(g);
    EXPECT_EQ(c->kind, TGateType::gtPCAGate);
    EXPECT_EQ(c->x, g.x);
    EXPECT_EQ(c->y, g.y);
    EXPECT_EQ(c->cx, g.cx);
    EXPECT_EQ(c->cy, g.cy);
    EXPECT_TRUE(c->Inverse);
    EXPECT_TRUE(c->Normalized);
    EXPECT_TRUE(c->loglinx);
    EXPECT_FALSE(c->linlogx);
    EXPECT_FALSE(c->logliny);
    EXPECT_TRUE(c->linlogy);
    EXPECT_EQ(c->name, "G");
    EXPECT_EQ(c->color, 0x00FF00u);
    EXPECT_EQ(c->Id, 7);
    EXPECT_EQ(c->anobject, nullptr);
    ASSERT_TRUE(c->filter);
    EXPECT_NE(c->filter.get(), g.filter.get());
    EXPECT_EQ(c->filter->FMean, f.FMean);

    // The copy is independent of the original.
    g.cx[1] = 99;
    g.filter->FMean[0] = 42;
    EXPECT_EQ(c->cx[1], 5);
    EXPECT_EQ(c->filter->FMean[0], 1);

    const TGate list(TGateType::gtSubChannel, {0, 2});
    EXPECT_EQ(TGate::Copy(list)->ChannelList, (TIntVector{0, 2}));
    EXPECT_EQ(TGate::Copy(TGate(TGateRect{1, 2, 3, 4}))->Rect.bottom, 4);
}

// ------------------------------------------------------------------ Gated

TEST(Gated, RefusesUnusableCombinations)
{
    Workspace ws;
    TData* a = ws.root("A", 3, 4);
    const TGate rect3 = rectangleGate(3, 0, 0, 100, 100);
    const TGate rect2 = rectangleGate(2, 0, 0, 100, 100);
    TGate pcaWithoutFilter({1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0});
    pcaWithoutFilter.kind = TGateType::gtPCAGate;
    struct Case {
        const char* what;
        TData* parent;
        const TGate* gate;
    };
    const TGate subChannelTooFar(TGateType::gtSubChannel, {0, 3});
    const TGate subChannelEmpty(TGateType::gtSubChannel, {});
    const TGate subChannelUnsortedTooFar(TGateType::gtSubChannel, {50, 0});  // as a damaged protocol holds it
    const TGate subsetTooFar(TGateType::gtSubset, {0, 4});
    const TGate imageWithoutPicture(TGateRect{0, 0, 0, 0});
    const TGate none, log(TGateType::gtLog), hyper(TGateType::gtHyper), affine(TGateType::gtAffine);
    const Case cases[] = {
        {"no parent", nullptr, &rect3},
        {"no gate", a, nullptr},
        {"projection of another dimension", a, &rect2},
        {"PCA gate without filter", a, &pcaWithoutFilter},
        {"sub-channel past the last column", a, &subChannelTooFar},
        {"sub-channel keeping nothing", a, &subChannelEmpty},
        {"sub-channel out of order past the last column", a, &subChannelUnsortedTooFar},
        {"subset past the last event", a, &subsetTooFar},
        {"image gate on a list-mode data set", a, &imageWithoutPicture},
        {"gtNone", a, &none},
        {"gtLog", a, &log},
        {"gtHyper", a, &hyper},
        {"gtAffine", a, &affine},
    };
    for (const Case& c : cases) EXPECT_EQ(TData::Gated(c.parent, c.gate), nullptr) << c.what;
    EXPECT_EQ(a->RefCount(), 1) << "a refused gate must leave no reference behind";
}

TEST(Gated, NamesColoursLinksAndSharedColumns)
{
    Workspace ws;
    // value = event * 10 + column: events 0..4 have x = 0, 10, ... 40.
    TData* a = ws.root("A", 2, 5);
    TGate g = rectangleGate(2, 5, 0, 35, 100);
    g.color = 0x0000FF;

    TData* k1 = gate(ws, a, g);
    ASSERT_NE(k1, nullptr);
    EXPECT_EQ(k1->ShortName(), "Gate_1");
    EXPECT_EQ(k1->gate->name, "Gate_1");
    EXPECT_EQ(k1->Parent(), a);
    EXPECT_EQ(k1->link, (TIntVector{1, 2, 3}));
    EXPECT_EQ(k1->data[0][0], 10);
    EXPECT_EQ(k1->data[2][1], 31);
    EXPECT_TRUE(k1->SharesDescriptorsWith(a));
    EXPECT_EQ(k1->NativeColor(), 0x0000FFu);
    EXPECT_EQ(a->GetColor(0), 0u);
    EXPECT_EQ(a->GetColor(2), 0x0000FFu);
    EXPECT_EQ(k1->GetColor(0), 0x0000FFu);
    EXPECT_NE(k1->gate.get(), &g) << "the kid keeps its own copy";

    TData* k2 = gate(ws, a, g);
    EXPECT_EQ(k2->ShortName(), "Gate_2");

    g.name = "  ";  // blank counts as no name
    EXPECT_EQ(gate(ws, a, g)->ShortName(), "Gate_3");

    g.name = "Lymphocytes";
    TData* named = gate(ws, a, g);
    EXPECT_EQ(named->ShortName(), "Lymphocytes");
    EXPECT_EQ(named->FullName(), "A_Lymphocytes");
    named->setShortName("L");
    EXPECT_EQ(named->gate->name, "L");
}

// ------------------------------------------------------------------ event test

TEST(CreateLink, InverseIsTheComplement)
{
    Workspace ws;
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 12; ++j) rows.push_back({double(i), double(j), 1.0});
    TData* a = rootWithRows(ws, "A", rows);
    TGate g = rectangleGate(3, 2, 3, 7, 9);
    const TIntVector in = a->CreateLink(g);
    g.Inverse = true;
    const TIntVector out = a->CreateLink(g);

    EXPECT_FALSE(in.empty());
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end()));
    std::vector<int> seen(rows.size(), 0);
    for (int e : in) ++seen[size_t(e)];
    for (int e : out) ++seen[size_t(e)];
    for (size_t e = 0; e < seen.size(); ++e) EXPECT_EQ(seen[e], 1) << "event " << e;
}

TEST(CreateLink, RectangleFollowsTheHalfOpenRuleOnItsBoundingBox)
{
    Workspace ws;
    // Points on the edges of the rectangle [0, 10] x [0, 10]: the box lets them
    // all through to the polygon test, which keeps left and bottom edges only.
    struct Case {
        double x, y;
        bool inside;
    };
    const Case cases[] = {
        {5, 5, true},   {0, 5, true},     {10, 5, false}, {5, 0, true},  {5, 10, false},
        {0, 0, true},   {10, 10, false},  {-1e-9, 5, false}, {5, 10.0000001, false}, {9.999999, 9.999999, true},
    };
    std::vector<std::vector<double>> rows;
    for (const Case& c : cases) rows.push_back({c.x, c.y});
    TData* a = rootWithRows(ws, "A", rows);
    const TIntVector link = a->CreateLink(rectangleGate(2, 0, 0, 10, 10));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const bool in = std::find(link.begin(), link.end(), int(i)) != link.end();
        EXPECT_EQ(in, cases[i].inside) << "(" << cases[i].x << ", " << cases[i].y << ")";
    }
}

TEST(CreateLink, OneDimensionalRangeIncludesItsEnds)
{
    Workspace ws;
    TData* a = rootWithRows(ws, "A", {{1.999}, {2}, {3.5}, {5}, {5.001}, {-4}});
    // A histogram range stores its vertices on y = 0.
    TGate g({1}, {0}, {2, 5, 2}, {0, 0, 0});
    EXPECT_EQ(a->CreateLink(g), (TIntVector{1, 2, 3}));
    g.Inverse = true;
    EXPECT_EQ(a->CreateLink(g), (TIntVector{0, 4, 5}));
}

TEST(CreateLink, TooFewVerticesPassNothingEvenInverted)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 4);
    for (int count : {0, 1}) {
        TGate g({1, 0}, {0, 1}, TVector(size_t(count), 0.0), TVector(size_t(count), 0.0));
        g.Inverse = true;
        EXPECT_TRUE(a->CreateLink(g).empty()) << count << " vertices";
    }
}

TEST(CreateLink, AxisConversionsApplyBetweenProjectionAndRegion)
{
    Workspace ws;
    // x is drawn on a lin->log axis (111 asinh v), y on a log->lin axis (10^(v/256)).
    TData* a = rootWithRows(ws, "A", {{100, 256}, {1000, 256}, {100, 512}, {1, 256}});
    TGate g = rectangleGate(2, LinToLog(50), LogToLin(200), LinToLog(500), LogToLin(300));
    g.linlogx = true;
    g.logliny = true;
    EXPECT_EQ(a->CreateLink(g), (TIntVector{0}));

    // In the one-dimensional case only x is converted.
    TGate range({1, 0}, {0, 1}, {LogToLin(90), LogToLin(110), LogToLin(90)}, {0, 0, 0});
    range.loglinx = true;
    EXPECT_EQ(a->CreateLink(range), (TIntVector{0, 2}));
}

TEST(CreateLink, NonFiniteValuesInColumnsTheGateIgnoresDoNotDecide)
{
    // Column 2 is not on the gate's axes; its NaN and infinities must not move
    // an event out of the gate, nor into its inverse. Enough events that the
    // four-row path and the tail both run.
    Workspace ws;
    const double nan = std::nan(""), inf = HUGE_VAL;
    std::vector<std::vector<double>> rows;
    for (int e = 0; e < 11; ++e) {
        const double other = e % 3 == 0 ? nan : e % 3 == 1 ? inf : -inf;
        rows.push_back({e % 2 ? 5.0 : 50.0, 5.0, other});
    }
    TData* a = rootWithRows(ws, "A", rows);
    TGate g = rectangleGate(3, 0, 0, 10, 10);
    TIntVector odd;
    for (int e = 1; e < 11; e += 2) odd.push_back(e);
    EXPECT_EQ(a->CreateLink(g), odd);
    g.Inverse = true;
    EXPECT_EQ(a->CreateLink(g), (TIntVector{0, 2, 4, 6, 8, 10}));

    // A NaN on an axis the gate does look at still keeps the event out.
    a->data[1][0] = nan;
    g.Inverse = false;
    EXPECT_EQ(a->CreateLink(g), (TIntVector{3, 5, 7, 9}));
}

TEST(ProjectToGate, PlainAndNormalized)
{
    TGate g({1, 2, 0}, {0, 1, 1}, {}, {});
    const double v[] = {3, 4, 12};
    double dx, dy;
    TData::ProjectToGate(v, 3, g, dx, dy);
    EXPECT_DOUBLE_EQ(dx, 3 + 8);
    EXPECT_DOUBLE_EQ(dy, 4 + 12);

    // Normalized: only entries where x is not 0 count, scaled to length 1.
    g.Normalized = true;
    TData::ProjectToGate(v, 3, g, dx, dy);
    EXPECT_DOUBLE_EQ(dx, 3.0 / 5 + 2 * 4.0 / 5);
    EXPECT_DOUBLE_EQ(dy, 4.0 / 5);

    // A vector shorter than the projection uses what it has.
    g.Normalized = false;
    TData::ProjectToGate(v, 1, g, dx, dy);
    EXPECT_DOUBLE_EQ(dx, 3);
    EXPECT_DOUBLE_EQ(dy, 0);

    // A zero vector stays zero when normalised.
    g.Normalized = true;
    const double zero[] = {0, 0, 0};
    TData::ProjectToGate(zero, 3, g, dx, dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

TEST(CreateLink, SubsetSubChannelAndImageKinds)
{
    Workspace ws;
    TData* a = ws.root("A", 3, 12);
    EXPECT_EQ(a->CreateLink(TGate(TGateType::gtSubset, {7, 2, 9})), (TIntVector{7, 2, 9}));
    EXPECT_EQ(a->CreateLink(TGate(TGateType::gtSubChannel, {1})).size(), 12u);

    // A 4 x 3 picture: event = row * 4 + column.
    a->img.width = 4;
    a->img.height = 3;
    a->img.pixels.assign(12, 0);
    EXPECT_EQ(a->CreateLink(TGate(TGateRect{1, 1, 3, 2})), (TIntVector{5, 6, 7, 9, 10, 11}));
    EXPECT_EQ(a->CreateLink(TGate(TGateRect{2, 0, 2, 0})), (TIntVector{2}));
}

int busyDepth = 0, busyCalls = 0;
TEST(CreateLink, ShowsTheBusyCursorWhileItRuns)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 3);
    setGateBusyHook([](bool busy) {
        busyDepth += busy ? 1 : -1;
        ++busyCalls;
    });
    a->CreateLink(rectangleGate(2, 0, 0, 100, 100));
    setGateBusyHook(nullptr);
    EXPECT_EQ(busyCalls, 2);
    EXPECT_EQ(busyDepth, 0);
}

// Random polygons (self-intersecting ones included) and random events, some
// with non-finite values: the events CreateLink keeps are exactly those a plain
// even-odd crossing test keeps on the projected coordinates. Large enough to be
// split over the pool.
TEST(CreateLink, MatchesAnEvenOddReferenceOnRandomPolygons)
{
    PoolForTest pool;
    Workspace ws;
    std::mt19937_64 rng(20240611);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(-1.5, 1.5);

    for (const int events : {1000, 300000}) {
        const int cols = 5;
        TData* a = ws.root("R" + std::to_string(events), cols, events);
        for (int e = 0; e < events; ++e)
            for (int c = 0; c < cols; ++c) a->data[e][c] = normal(rng);
        // Some events carry a NaN, an infinity or a huge value on an axis:
        // they project outside every polygon, and into every inverse.
        const double odd[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300};
        for (int e = 3; e < events; e += 97) a->data[e][e % cols] = odd[(e / 97) % 4];
        for (int trial = 0; trial < 4; ++trial) {
            TVector x(cols), y(cols);
            for (int c = 0; c < cols; ++c) {
                x[size_t(c)] = uniform(rng);
                y[size_t(c)] = uniform(rng);
            }
            const int vertices = 3 + trial * 3;
            TVector cx, cy;
            for (int i = 0; i < vertices; ++i) {
                cx.push_back(uniform(rng) * 2);
                cy.push_back(uniform(rng) * 2);
            }
            cx.push_back(cx[0]);
            cy.push_back(cy[0]);
            TGate g(x, y, cx, cy);
            for (const bool inverse : {false, true}) {
                g.Inverse = inverse;
                TIntVector expected;
                for (int e = 0; e < events; ++e) {
                    double dx = 0, dy = 0;
                    for (int c = 0; c < cols; ++c) {
                        dx += a->data[e][c] * x[size_t(c)];
                        dy += a->data[e][c] * y[size_t(c)];
                    }
                    if (evenOdd(dx, dy, cx, cy, vertices) != inverse) expected.push_back(e);
                }
                const TIntVector got = a->CreateLink(g);
                ASSERT_EQ(got.size(), expected.size()) << events << " events, trial " << trial;
                EXPECT_EQ(got, expected) << events << " events, trial " << trial << ", inverse " << inverse;
                EXPECT_GT(expected.size(), 0u);
            }
        }
    }
}

// Events on and right beside the edges of random polygons: what CreateLink
// keeps equals the exact polygon test of every single point, so no shortcut
// taken for points far from the outline can change an answer.
TEST(CreateLink, AgreesWithTheExactPolygonTestOnAndBesideEdges)
{
    Workspace ws;
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 6; ++trial) {
        const int vertices = 4 + trial * 2;
        const double scale = trial % 2 ? 1e-3 : 5e4, offset = trial % 3 ? 0 : 1e6;
        TVector cx, cy;
        for (int i = 0; i < vertices; ++i) {
            cx.push_back(offset + scale * unit(rng));
            cy.push_back(scale * unit(rng));
        }
        cx.push_back(cx[0]);
        cy.push_back(cy[0]);
        std::vector<std::vector<double>> rows;
        for (int i = 0; i < vertices; ++i) {
            const int j = (i + 1) % vertices;
            rows.push_back({cx[size_t(i)], cy[size_t(i)]});
            for (int k = 0; k < 400; ++k) {
                const double t = unit(rng);
                const double px = cx[size_t(i)] + t * (cx[size_t(j)] - cx[size_t(i)]);
                const double py = cy[size_t(i)] + t * (cy[size_t(j)] - cy[size_t(i)]);
                rows.push_back({px, py});
                for (const double d : {1e-13, 1e-9, 1e-4})
                    rows.push_back({px + (unit(rng) - 0.5) * d * scale, py + (unit(rng) - 0.5) * d * scale});
            }
        }
        for (int k = 0; k < 20000; ++k) rows.push_back({offset + scale * unit(rng), scale * unit(rng)});
        TData* a = rootWithRows(ws, "P" + std::to_string(trial), rows);
        const TGate g({1, 0}, {0, 1}, cx, cy);
        const double xmin = *std::min_element(cx.begin(), cx.end()), xmax = *std::max_element(cx.begin(), cx.end());
        const double ymin = *std::min_element(cy.begin(), cy.end()), ymax = *std::max_element(cy.begin(), cy.end());
        TIntVector expected;
        for (size_t e = 0; e < rows.size(); ++e) {
            const double px = rows[e][0], py = rows[e][1];
            if (px >= xmin && px <= xmax && py >= ymin && py <= ymax &&
                PointInPolygon(px, py, cx.data(), cy.data(), vertices))
                expected.push_back(int(e));
        }
        EXPECT_EQ(a->CreateLink(g), expected) << "trial " << trial;
    }
}

TEST(CreateLink, PolygonOnlySubnormalsWideStillTestsExactly)
{
    // A box a few subnormals wide has infinitely many shortcut cells per unit;
    // a point on its corner once gave a NaN cell index and a wild read.
    Workspace ws;
    const double t = 1e-320;
    const TVector cx{0, t, t, 0, 0}, cy{0, 0, t, t, 0};
    const std::vector<std::vector<double>> rows{{0, 0}, {t / 2, t / 2}, {t, t}, {0, t}, {2 * t, 0}};
    TData* a = rootWithRows(ws, "tiny", rows);
    TIntVector expected;
    for (size_t e = 0; e < rows.size(); ++e)
        if (rows[e][0] <= t && rows[e][1] <= t && PointInPolygon(rows[e][0], rows[e][1], cx.data(), cy.data(), 4))
            expected.push_back(int(e));
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(a->CreateLink(TGate({1, 0}, {0, 1}, cx, cy)), expected);
}

TEST(CreateLink, PcaGateTestsTheFilterOutput)
{
    PoolForTest pool;
    Workspace ws;
    // Filter output = (v2 - 100, v0 - 10); the gate is the square [0, 5) x [0, 5) of it.
    TDataFilter f;
    f.setIndices({2, 0});
    f.PCAType = 1;
    f.FMean = {100, 10};
    TGate g({1, 0}, {0, 1}, {0, 5, 5, 0, 0}, {0, 0, 5, 5, 0}, f);
    TData* a = rootWithRows(ws, "A", {{11, 0, 101}, {11, 0, 99}, {14.9, 7, 104.9}, {15, 7, 101}, {0, 0, 0}});
    EXPECT_EQ(a->CreateLink(g), (TIntVector{0, 2}));

    TData* k = gate(ws, a, g);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->CaseSize(), 3) << "the kid keeps the parent's columns, not the filter's";
    EXPECT_EQ(k->link, (TIntVector{0, 2}));
    EXPECT_NE(k->gate->filter.get(), g.filter.get());

    // Large enough to run on the pool, which shares the one filter.
    std::mt19937_64 rng(5);
    std::normal_distribution<double> normal(0.0, 1.0);
    const int events = 200000, cols = 4;
    TData* b = ws.root("B", cols, events);
    for (int e = 0; e < events; ++e)
        for (int c = 0; c < cols; ++c) b->data[e][c] = 50 + 10 * normal(rng);
    TDataFilter z;
    z.setIndices({0, 1, 3});
    z.Normalized = true;
    z.PCAType = 0;
    z.FMean = {0.5, 0.6, 0.5};
    z.FDeviation = {0.1, 0.2, 0.1};
    TGate big({0.6, -0.8, 0.1}, {0.3, 0.3, -0.9}, {-2, 3, 2, -1, -2}, {-3, -1, 2, 1, -3}, z);
    TIntVector expected;
    for (int e = 0; e < events; ++e) {
        const TVector out = z.Pass(b->data[e], cols);
        double dx = 0, dy = 0;
        for (size_t i = 0; i < 3; ++i) {
            dx += out[i] * big.x[i];
            dy += out[i] * big.y[i];
        }
        if (evenOdd(dx, dy, big.cx, big.cy, 4)) expected.push_back(e);
    }
    ASSERT_GT(expected.size(), 1000u);
    EXPECT_EQ(b->CreateLink(big), expected);
}

// ------------------------------------------------------------------ Relink

TEST(Relink, MovingAParentGateRecomputesGrandchildren)
{
    Workspace ws;
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < 10; ++i) rows.push_back({double(i), double(i % 3)});
    TData* a = rootWithRows(ws, "A", rows);
    TData* k = gate(ws, a, rectangleGate(2, 0, 0, 5, 10));  // x in [0, 5)
    TGate inner = rectangleGate(2, -100, 1, 100, 2);          // y == 1
    inner.name = "Inner";
    TData* g = gate(ws, k, inner);
    EXPECT_EQ(rootEvents(k), (TIntVector{0, 1, 2, 3, 4}));
    EXPECT_EQ(rootEvents(g), (TIntVector{1, 4}));

    // Move the parent gate to x in [3, 9): the grandchild follows through its own gate.
    k->gate->cx = {3, 9, 9, 3, 3};
    ws.notifier.posts.clear();
    k->Relink(a->CreateLink(*k->gate));
    EXPECT_EQ(rootEvents(k), (TIntVector{3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(rootEvents(g), (TIntVector{4, 7}));
    EXPECT_EQ(g->link, (TIntVector{1, 4})) << "links index the kid, not the root";
    EXPECT_EQ(g->data[1][0], 7);
    EXPECT_EQ(g->gate->cy, inner.cy) << "recomputation never changes a gate";
    EXPECT_FALSE(ws.notifier.posts.empty()) << "the family is repainted and announced";

    // The parent's values change: Relink on the kid picks them up.
    a->data[5][0] = 100;
    k->Relink(a->CreateLink(*k->gate));
    EXPECT_EQ(rootEvents(k), (TIntVector{3, 4, 6, 7, 8}));
}

TEST(Relink, FollowsAParentThatGrewColumns)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 4);
    TData* k = gate(ws, a, TGate(TGateType::gtSubset, {1, 3}));
    a->setCaseSize(3);
    a->Desc()[2].name = "Extra";
    a->data[3][2] = 7;
    k->Relink(a->CreateLink(*k->gate));
    EXPECT_EQ(k->CaseSize(), 3);
    EXPECT_EQ(k->data[1][2], 7);
    EXPECT_EQ(k->Desc()[2].name, "Extra");
}

TEST(Relink, SubsetEntriesThatNoLongerExistAreDropped)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 10);
    TData* mid = gate(ws, a, TGate(TGateType::gtSubset, {2, 4, 6, 8}));
    TData* sub = gate(ws, mid, TGate(TGateType::gtSubset, {0, 3}));
    EXPECT_EQ(rootEvents(sub), (TIntVector{2, 8}));
    mid->gate->ChannelList = {2, 4};
    mid->Relink(a->CreateLink(*mid->gate));
    EXPECT_EQ(rootEvents(sub), (TIntVector{2}));
}

// Large enough that the rows of every kid are copied in many chunks over the
// pool: each kid row must be bit for bit its parent's row (NaN and infinities
// included), and the same as on one thread, also after a relink that shrinks
// and one that grows the kid.
TEST(Gated, ParallelRowCopyEqualsTheParentsRows)
{
    Workspace ws;
    constexpr int events = 200000, cols = 6;
    auto makeRoot = [&ws] {
        std::mt19937_64 rng(77);
        std::normal_distribution<double> normal(0.0, 1.0);
        TData* a = ws.root("A", cols, events);
        for (int e = 0; e < events; ++e)
            for (int c = 0; c < cols; ++c) a->data[e][c] = normal(rng);
        a->data[5][2] = std::nan("");
        a->data[7][3] = INFINITY;
        a->data[11][4] = -INFINITY;
        return a;
    };

    // The kid's row i is its parent's row link[i], in the kid's column order.
    auto expectRowsOfParent = [](const TData* kid, const TIntVector& columns, const char* what) {
        const TData* p = kid->Parent();
        ASSERT_EQ(kid->CaseSize(), int(columns.size())) << what;
        ASSERT_EQ(int(kid->link.size()), kid->events()) << what;
        for (int e = 0; e < kid->events(); ++e)
            for (size_t j = 0; j < columns.size(); ++j) {
                const double want = p->data[kid->link[size_t(e)]][columns[j]];
                const double got = kid->data[e][int(j)];
                ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << what << ", event " << e << ", column " << j;
            }
    };
    const TIntVector all{0, 1, 2, 3, 4, 5}, picked{5, 0, 3};

    // About half the events, a child of that kid, and columns in another order.
    const TGate half = rectangleGate(cols, -10, -0.1, 10, 10);
    TGate nested = rectangleGate(cols, -0.5, -10, 10, 10);
    nested.name = "Nested";
    TGate columns(TGateType::gtSubChannel, picked);
    columns.name = "Columns";

    TIntVector serialLink, serialNested;
    std::vector<double> serialRows, serialPicked;
    for (const int workers : {1, 3}) {
        TMultiThread threads(workers);
        setGatePool(&threads);
        TData* a = makeRoot();
        TData* k = gate(ws, a, half);
        ASSERT_NE(k, nullptr);
        EXPECT_GT(k->events(), events / 3);
        EXPECT_LT(k->events(), events * 2 / 3);
        expectRowsOfParent(k, all, "half");
        TData* n = gate(ws, k, nested);
        ASSERT_NE(n, nullptr);
        expectRowsOfParent(n, all, "nested");
        TData* sub = gate(ws, k, columns);
        ASSERT_NE(sub, nullptr);
        expectRowsOfParent(sub, picked, "sub-channel");

        const std::vector<double> rows(k->data.data(), k->data.data() + size_t(k->events()) * cols);
        const std::vector<double> part(sub->data.data(), sub->data.data() + size_t(sub->events()) * picked.size());
        if (workers == 1) {
            serialLink = k->link;
            serialNested = n->link;
            serialRows = rows;
            serialPicked = part;
        } else {
            EXPECT_EQ(k->link, serialLink);
            EXPECT_EQ(n->link, serialNested);
            ASSERT_EQ(rows.size(), serialRows.size());
            EXPECT_EQ(std::memcmp(rows.data(), serialRows.data(), rows.size() * sizeof(double)), 0);
            ASSERT_EQ(part.size(), serialPicked.size());
            EXPECT_EQ(std::memcmp(part.data(), serialPicked.data(), part.size() * sizeof(double)), 0);
        }

        // Shrink the kid, then grow it past its first size: no row is stale.
        const int first = k->events();
        std::vector<int> sizes;
        for (const double top : {-1.0, 1e300}) {
            k->gate->cy = {-1e300, -1e300, top, top, -1e300};
            k->Relink(a->CreateLink(*k->gate));
            sizes.push_back(k->events());
            expectRowsOfParent(k, all, "relinked");
            expectRowsOfParent(n, all, "relinked grandchild");
            expectRowsOfParent(sub, picked, "relinked sub-channel");
        }
        EXPECT_LT(sizes[0], first);
        EXPECT_GT(sizes[1], first);
        ws.list.Clear();
        setGatePool(nullptr);
    }
}

// ------------------------------------------------------------------ sub-channel gates

TEST(SubChannel, DeletingTheMiddleColumnKeepsNamesAndEvents)
{
    Workspace ws;
    TData* a = ws.root("A", 3, 5);
    a->Desc()[0].name = "FSC";
    a->Desc()[1].name = "SSC";
    a->Desc()[2].name = "FL1";
    a->Desc()[2].resolution = 1024;

    EXPECT_EQ(DeleteChannelsGate({false, false, false}), nullptr) << "nothing deleted";
    EXPECT_EQ(DeleteChannelsGate({true, true, true}), nullptr) << "everything deleted";
    const auto g = DeleteChannelsGate({false, true, false});
    ASSERT_TRUE(g);
    EXPECT_EQ(g->kind, TGateType::gtSubChannel);
    EXPECT_EQ(g->ChannelList, (TIntVector{0, 2}));

    TData* k = gate(ws, a, *g);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->CaseSize(), 2);
    EXPECT_EQ(k->events(), 5);
    EXPECT_EQ(k->Desc()[0].name, "FSC");
    EXPECT_EQ(k->Desc()[1].name, "FL1");
    EXPECT_EQ(k->Desc()[1].resolution, 1024);
    EXPECT_EQ(k->summa.size(), 2u);
    for (int e = 0; e < 5; ++e) {
        EXPECT_EQ(k->data[e][0], e * 10 + 0);
        EXPECT_EQ(k->data[e][1], e * 10 + 2);
    }
    // Copied descriptors: renaming in the kid leaves the parent alone.
    k->Desc()[0].name = "Size";
    EXPECT_EQ(a->Desc()[0].name, "FSC");

    // A later change of the parent's values reaches the kid through Relink.
    a->data[4][2] = -1;
    k->Relink(a->CreateLink(*k->gate));
    EXPECT_EQ(k->data[4][1], -1);
    EXPECT_EQ(k->CaseSize(), 2);
}

// ------------------------------------------------------------------ pictures

TEST(ImageGate, CutsThePictureAndTheFrames)
{
    Workspace ws;
    // A 4 x 3 sequence of a byte frame and a float frame; event k = pixel k.
    TData* a = ws.root("Img", 2, 12);
    a->img.width = 4;
    a->img.height = 3;
    a->img.pixels.resize(12);
    for (int k = 0; k < 12; ++k) a->img.pixels[size_t(k)] = uint32_t(0x010000 * k);
    a->seq.resize(2);
    for (int f = 0; f < 2; ++f) {
        QCam_Frame& frame = a->seq[size_t(f)];
        frame.width = 4;
        frame.height = 3;
        frame.format = f == 0 ? 2 : 13;
        frame.bits = f == 0 ? 8 : 32;
        frame.buffer.resize(f == 0 ? 12 : 48);
        for (int k = 0; k < 12; ++k) {
            const float v = float(k + 100 * f);
            if (f == 0)
                frame.buffer[size_t(k)] = uint8_t(v);
            else
                std::memcpy(frame.buffer.data() + 4 * k, &v, 4);
            a->data[k][f] = v;
        }
        frame.bufferSize = frame.size = uint32_t(frame.buffer.size());
    }
    a->RGBTab = {{1, 0, 0}, {0, 0, 1}};
    ASSERT_TRUE(a->IsSequence());

    const TGate outside(TGateRect{2, 1, 4, 2});
    EXPECT_EQ(TData::Gated(a, &outside), nullptr) << "rectangle outside the picture";
    TData* k = gate(ws, a, TGate(TGateRect{1, 1, 2, 2}));
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->link, (TIntVector{5, 6, 9, 10}));
    EXPECT_EQ(k->img.width, 2);
    EXPECT_EQ(k->img.height, 2);
    EXPECT_EQ(k->img.pixels, (std::vector<uint32_t>{0x050000, 0x060000, 0x090000, 0x0A0000}));
    ASSERT_EQ(k->seq.size(), 2u);
    EXPECT_EQ(k->seq[0].width, 2u);
    EXPECT_EQ(k->seq[0].height, 2u);
    EXPECT_EQ(k->seq[0].buffer, (std::vector<uint8_t>{5, 6, 9, 10}));
    EXPECT_EQ(k->seq[0].bufferSize, 4u);
    ASSERT_EQ(k->seq[1].buffer.size(), 16u);
    EXPECT_EQ(k->seq[1].bufferSize, 16u);
    EXPECT_EQ(k->seq[1].format, 13u);
    float cut[4];
    std::memcpy(cut, k->seq[1].buffer.data(), 16);
    EXPECT_EQ(std::vector<float>(cut, cut + 4), (std::vector<float>{105, 106, 109, 110}));
    EXPECT_EQ(k->RGBTab.size(), 2u);
    EXPECT_EQ(k->seqmin, 5);
    EXPECT_EQ(k->seqmax, 110);
    EXPECT_DOUBLE_EQ(k->seqnorm, 255.0 / 105);
}

// ------------------------------------------------------------------ CopyGates

TEST(CopyGates, CopiesTheWholeTreeOntoANewDataSet)
{
    Workspace ws;
    TData* s = ws.root("S", 2, 10);
    TGate outer = rectangleGate(2, 10, 0, 70, 100);
    outer.name = "Outer";
    outer.color = 0x00FF00;
    TData* so = gate(ws, s, outer);
    TGate inner = rectangleGate(2, 30, 0, 90, 100);
    inner.name = "Inner";
    gate(ws, so, inner);

    TData* t = ws.root("T", 2, 10);
    for (int e = 0; e < 10; ++e) t->data[e][0] = 95 - e * 10;  // reversed order of x
    t->CopyGates(s);

    TData* to = t->GetKidByName("Outer");
    ASSERT_NE(to, nullptr);
    EXPECT_EQ(rootEvents(to), (TIntVector{3, 4, 5, 6, 7, 8}));  // x = 65 .. 15
    EXPECT_EQ(to->NativeColor(), 0x00FF00u);
    TData* ti = to->GetKidByName("Inner");
    ASSERT_NE(ti, nullptr);
    EXPECT_EQ(rootEvents(ti), (TIntVector{3, 4, 5, 6}));  // x = 65 .. 35
    EXPECT_EQ(ti->FullName(), "T_Inner");
    EXPECT_TRUE(ws.list.Contains(ti));
}

TEST(CopyGates, RelativeToleranceDecidesWhetherAnExistingKidMoves)
{
    struct Case {
        const char* what;
        double scale;  // the source's vertices against the target kid's
        bool recomputed;
    };
    const Case cases[] = {
        {"equal", 1.0, false},
        {"0.09 % off", 1.0009, false},
        {"0.2 % off", 1.002, true},
    };
    for (const Case& c : cases) {
        Workspace ws;
        TData* s = ws.root("S", 2, 0);
        TData* t = ws.root("T", 2, 0);
        for (const double x : {500.0, 1000.05, 1500.0}) {
            const double row[] = {x, 50};
            s->AddEvent(row, 2, 0);
            t->AddEvent(row, 2, 0);
        }
        TGate mine = rectangleGate(2, 400, 0, 1000, 100);
        mine.name = "G";
        TData* d = gate(ws, t, mine);
        TGate theirs = rectangleGate(2, 400 * c.scale, 0, 1000 * c.scale, 100 * c.scale);
        theirs.name = "G";
        gate(ws, s, theirs);
        ASSERT_EQ(d->link, (TIntVector{0})) << c.what;

        t->CopyGates(s);
        EXPECT_EQ(t->KidCount(), 1) << c.what;
        EXPECT_EQ(t->GetKidByName("G"), d) << c.what;
        if (c.recomputed) {
            EXPECT_EQ(d->gate->cx, theirs.cx) << c.what;
            EXPECT_EQ(d->link, (TIntVector{0, 1})) << c.what;
        } else {
            EXPECT_EQ(d->gate->cx, mine.cx) << c.what;
            EXPECT_EQ(d->link, (TIntVector{0})) << c.what;
        }
    }
}

TEST(CopyGates, BreedGatesReachesEveryOtherRootOnly)
{
    Workspace ws;
    TData* s = ws.root("S", 2, 6);
    TGate g = rectangleGate(2, 0, 0, 25, 100);
    g.name = "Low";
    TData* sk = gate(ws, s, g);
    TData* t1 = ws.root("T1", 2, 6);
    TData* t2 = ws.root("T2", 2, 3);

    EXPECT_EQ(BreedGates(s), 2);
    ASSERT_NE(t1->GetKidByName("Low"), nullptr);
    ASSERT_NE(t2->GetKidByName("Low"), nullptr);
    EXPECT_EQ(t2->GetKidByName("Low")->events(), 3);
    EXPECT_EQ(sk->KidCount(), 0) << "the source's own kids receive nothing";
    EXPECT_EQ(s->KidCount(), 1);

    // Breeding again finds the kids by name and adds nothing.
    const int before = ws.list.Count();
    BreedGates(s);
    EXPECT_EQ(ws.list.Count(), before);

    // Copying a tree into its own subtree is refused.
    sk->CopyGates(s);
    EXPECT_EQ(sk->KidCount(), 0);
}

// ------------------------------------------------------------------ gate table

TEST(GateTable, NestedGatesOfARoot)
{
    Workspace ws;
    TData* r = ws.root("R", 2, 6);
    TGate g1(TGateType::gtSubset, {1, 2, 3, 4});
    g1.name = "G1";
    TData* k1 = gate(ws, r, g1);
    TGate g2(TGateType::gtSubset, {1, 3});  // events 2 and 4 of R
    g2.name = "G2";
    gate(ws, k1, g2);

    const GateTable t = r->CreateGateTable();
    ASSERT_EQ(t.rows, 6);
    ASSERT_EQ(t.cols, 2);
    const int expected[6][2] = {{0, 0}, {1, 0}, {1, 1}, {1, 0}, {1, 1}, {0, 0}};
    for (int e = 0; e < 6; ++e)
        for (int k = 0; k < 2; ++k) EXPECT_EQ(t.at(e, k), expected[e][k]) << e << "," << k;

    // A table of an intermediate data set maps through its own links.
    const GateTable sub = k1->CreateGateTable();
    ASSERT_EQ(sub.cols, 1);
    EXPECT_EQ(sub.at(0, 0), 0);
    EXPECT_EQ(sub.at(1, 0), 1);
    EXPECT_EQ(sub.at(3, 0), 1);

    const auto dir = std::filesystem::temp_directory_path() /
                     ("orvala-gatetable-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "table.txt";
    r->SaveGateTable(file.string());
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "Event_N\tR_G1\tR_G2\r\n0\t0\t0\r\n1\t1\t0\r\n2\t1\t1\r\n3\t1\t0\r\n4\t1\t1\r\n5\t0\t0\r\n");

    r->AddGateTable();
    ASSERT_EQ(r->CaseSize(), 4);
    EXPECT_EQ(r->Desc()[2].name, "R_G1");
    EXPECT_EQ(r->Desc()[3].name, "R_G2");
    for (int e = 0; e < 6; ++e) {
        EXPECT_EQ(r->data[e][0], e * 10) << "existing columns stay";
        EXPECT_EQ(r->data[e][2], expected[e][0]);
        EXPECT_EQ(r->data[e][3], expected[e][1]);
    }
    EXPECT_EQ(k1->CaseSize(), 2) << "kids are not touched";
    EXPECT_EQ(k1->Desc().size(), 2u);

    EXPECT_THROW(r->SaveGateTable((dir / "missing" / "t.txt").string()), OrvalaError);
    std::filesystem::remove_all(dir);
}

TEST(GateTable, NothingHappensWithoutEvents)
{
    Workspace ws;
    TData* r = ws.root("R", 2, 0);
    const auto file = std::filesystem::temp_directory_path() / "orvala-gatetable-empty.txt";
    std::filesystem::remove(file);
    r->SaveGateTable(file.string());
    EXPECT_FALSE(std::filesystem::exists(file));
    r->AddGateTable();
    EXPECT_EQ(r->CaseSize(), 2);
    EXPECT_EQ(r->CreateGateTable().cols, 0);
}
