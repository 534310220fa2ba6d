// Each transform at the points the transforms document publishes (logicle and
// hyperlog at T=1000, W=1, M=4, A=0) or that follow from its definition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "gatingml/GmlError.h"
#include "gatingml/GmlTransform.h"

namespace orvala {
namespace {

struct Point {
    double x, y;
};

void expectPoints(const GmlTransform& t, const std::vector<Point>& points, double tolerance)
{
    for (const Point& p : points) {
        SCOPED_TRACE(t.Id() + " at " + std::to_string(p.x));
        if (std::isnan(p.y))
            EXPECT_TRUE(std::isnan(t.Apply(p.x)));
        else
            EXPECT_NEAR(t.Apply(p.x), p.y, tolerance);
    }
}

TEST(GmlTransform, LogicleAtPublishedPoints)
{
    const GmlTransform t = GmlTransform::Logicle("L", 1000, 1, 4, 0);
    expectPoints(t,
                 {{-10, 0.067574}, {-5, 0.147986}, {-1, 0.228752}, {0, 0.25}, {0.3, 0.256384}, {1, 0.271248},
                  {3, 0.312897}, {10, 0.432426}, {100, 0.739548}, {1000, 1.0}},
                 5e-7);
    // W = 0 is the plain hyperbolic sine; A widens the negative side.
    expectPoints(GmlTransform::Logicle("L0", 1000, 0, 4, 0), {{-10, -0.500011}, {0, 0}, {10, 0.500011}, {1000, 1}}, 5e-7);
    expectPoints(GmlTransform::Logicle("LA", 1000, 1, 4, 1), {{-10, 0.254059}, {0, 0.4}, {10, 0.545941}, {1000, 1}}, 5e-7);
}

TEST(GmlTransform, HyperlogAtPublishedPoints)
{
    const GmlTransform t = GmlTransform::Hyperlog("H", 1000, 1, 4, 0);
    expectPoints(t,
                 {{-10, 0.083554}, {-5, 0.155868}, {-1, 0.229477}, {0, 0.25}, {0.3, 0.256239}, {1, 0.270523},
                  {3, 0.309092}, {10, 0.416446}, {100, 0.731875}, {1000, 1.0}},
                 5e-7);
}

TEST(GmlTransform, ClosedFormsAndUndefinedValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expectPoints(GmlTransform::Flin("lin", 1000, 0), {{-10, -0.01}, {0, 0}, {250, 0.25}, {1000, 1}}, 1e-15);
    expectPoints(GmlTransform::Flin("linA", 1000, 100), {{-100, 0}, {1000, 1}, {450, 0.5}}, 1e-15);
    // flog is undefined at and below 0: such events fall in no gate.
    expectPoints(GmlTransform::Flog("log", 1000, 4), {{1, 0.25}, {10, 0.5}, {1000, 1}, {10000, 1.25}, {0, nan}, {-1, nan}},
                 1e-14);
    // fasinh maps 0 to A / (M + A) and T to 1, and is odd about 0's image.
    expectPoints(GmlTransform::Fasinh("asinh", 1000, 4, 1), {{0, 0.2}, {1000, 1}, {-1000, -0.6}}, 1e-12);
    expectPoints(GmlTransform::Logicle("L", 1000, 1, 4, 0), {{nan, nan}}, 0);
    const GmlTransform r = GmlTransform::Fratio("r", 2.7, -100, -300, "a", "b");
    EXPECT_DOUBLE_EQ(r.Ratio(100, 100), 2.7 * 200 / 400);
    EXPECT_TRUE(std::isnan(r.Ratio(5, -300)));
}

// Inverse(Apply(x)) == x over many decades, on both sides of 0: the interval
// tests of the evaluator and the exporter's coordinates rely on it.
TEST(GmlTransform, InverseUndoesApply)
{
    const std::vector<GmlTransform> transforms = {
        GmlTransform::Flin("lin", 1024, 10),         GmlTransform::Flog("log", 10000, 5),
        GmlTransform::Fasinh("asinh", 262144, 4.5, 0.5), GmlTransform::Logicle("L", 262144, 0.5, 4.5, 0),
        GmlTransform::Logicle("LA", 10000, 1, 4.5, 0.7), GmlTransform::Hyperlog("H", 10000, 1, 4.5, 0)};
    for (const GmlTransform& t : transforms)
        for (double x : {-5000.0, -37.5, -0.25, 0.0, 0.001, 1.0, 12.5, 999.0, 123456.0, 1e7, 3e5, 8e6}) {
            if (t.Kind() == GmlTransformKind::Flog && x <= 0) continue;
            SCOPED_TRACE(t.Id() + " at " + std::to_string(x));
            EXPECT_NEAR(t.Inverse(t.Apply(x)), x, 1e-11 * std::max(1.0, std::abs(x)));
        }
    // The root is exact to the last bits across the whole table range, not only
    // at the points above: a dense sweep on a steep logicle.
    const GmlTransform L = GmlTransform::Logicle("steep", 262144, 0.5, 4.5, 0);
    for (double m = 0.01; m < 4e5; m = m * 1.01 + 0.37)
        for (double x : {m, -m}) {
            const double y = L.Apply(x);
            const double slope = (L.Inverse(y + 1e-7) - L.Inverse(y - 1e-7)) / 2e-7;
            ASSERT_NEAR(L.Inverse(y), x, 1e-13 * std::abs(slope) + 1e-12 * std::abs(x)) << x;
        }
}

TEST(GmlTransform, ParametersOutOfRangeAreRefusedNamingTheTransform)
{
    const auto refuses = [](auto make) {
        try {
            make();
        } catch (const GmlError& e) {
            EXPECT_NE(std::string(e.what()).find("\"bad\""), std::string::npos) << e.what();
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refuses([] { GmlTransform::Logicle("bad", 0, 1, 4, 0); }));
    EXPECT_TRUE(refuses([] { GmlTransform::Logicle("bad", 1000, 3, 4, 0); }));   // W > M/2
    EXPECT_TRUE(refuses([] { GmlTransform::Logicle("bad", 1000, 1, 4, -2); }));  // A < -W
    EXPECT_TRUE(refuses([] { GmlTransform::Hyperlog("bad", 1000, 0, 4, 0); }));  // W must be > 0
    EXPECT_TRUE(refuses([] { GmlTransform::Flog("bad", 1000, 0); }));
    EXPECT_TRUE(refuses([] { GmlTransform::Flin("bad", -1, 0); }));
    EXPECT_TRUE(refuses([] { GmlTransform::Fasinh("bad", 1000, 4, std::nan("")); }));
}

}  // namespace
}  // namespace orvala

namespace orvala {
namespace {

// The table behind ApplyApprox must stay within the error it states, over every
// octave it covers, at bin edges, on both sides of zero, and hand the values it
// does not cover (tiny, huge, infinite, NaN) to Apply unchanged.
TEST(GmlTransform, ApproximationStaysWithinItsStatedError)
{
    const std::vector<GmlTransform> transforms = {
        GmlTransform::Logicle("wide", 262144, 0.5, 4.5, 0),
        GmlTransform::Logicle("published", 1000, 1, 4, 0),
        GmlTransform::Logicle("offset", 10000, 0.5, 4.5, 1),
        GmlTransform::Logicle("zero-width", 1000, 0, 4, 0),
        GmlTransform::Hyperlog("hyperlog", 1000, 1, 4.5, 0.5),
    };
    std::vector<double> xs = {0.0, -0.0, 1e-300, -1e-300, 1e-12, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    for (int k = -400; k <= 300; ++k) {
        const double x = std::pow(2.0, k / 16.0);  // every sixteenth of an octave, bin edges included
        xs.insert(xs.end(), {x, -x, std::nextafter(x, 0.0), -std::nextafter(x, 0.0), x * 1.37, -x * 1.37});
    }
    for (const GmlTransform& t : transforms) {
        SCOPED_TRACE(t.Id());
        EXPECT_GT(t.ApproxError(), 0) << "the table is not in use";
        EXPECT_LT(t.ApproxError(), 1e-7);
        std::vector<double> approx(xs.size());
        t.ApplyApprox(xs.data(), approx.data(), xs.size());
        double worst = 0;
        for (size_t i = 0; i < xs.size(); ++i) {
            const double exact = t.Apply(xs[i]);
            if (!std::isfinite(exact)) {
                EXPECT_TRUE(std::isnan(exact) ? std::isnan(approx[i]) : approx[i] == exact) << xs[i];
                continue;
            }
            worst = std::max(worst, std::abs(approx[i] - exact));
            EXPECT_LE(std::abs(approx[i] - exact), t.ApproxError()) << "at " << xs[i];
        }
        // The bound is not so loose that it sends many events to the exact path.
        EXPECT_GT(worst, t.ApproxError() / 1e4);
        // A value gives the same bits whether it comes in a run (vector lanes,
        // where the processor has them) or alone.
        for (size_t i = 0; i < xs.size(); ++i) {
            double alone;
            t.ApplyApprox(&xs[i], &alone, 1);
            if (std::isnan(alone)) {
                EXPECT_TRUE(std::isnan(approx[i]));
                continue;
            }
            EXPECT_EQ(std::memcmp(&alone, &approx[i], sizeof alone), 0) << "at " << xs[i];
        }
    }
}

TEST(GmlTransform, ClosedFormsApproximateExactly)
{
    const std::vector<GmlTransform> transforms = {GmlTransform::Flin("lin", 1000, 10), GmlTransform::Flog("log", 10000, 5),
                                                  GmlTransform::Fasinh("asinh", 1000, 4, 1)};
    const std::vector<double> xs = {-5000, -1, 0, 0.5, 3, 999, 1e6};
    for (const GmlTransform& t : transforms) {
        EXPECT_EQ(t.ApproxError(), 0) << t.Id();
        std::vector<double> approx(xs.size());
        t.ApplyApprox(xs.data(), approx.data(), xs.size());
        for (size_t i = 0; i < xs.size(); ++i) {
            const double exact = t.Apply(xs[i]);
            if (std::isnan(exact))
                EXPECT_TRUE(std::isnan(approx[i]));
            else
                EXPECT_EQ(approx[i], exact) << t.Id() << " at " << xs[i];
        }
    }
}

}  // namespace
}  // namespace orvala

#include <charconv>

#include "gatingml/GmlDocument.h"
#include "transforms/DisplayTransform.h"

namespace orvala {
namespace {

std::string shortest(double v)
{
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// A display transform written into a document as the Gating-ML transformation
// it names, read back and applied, gives the display's coordinates bit for bit
// (log: wherever the display shows a value above its bottom).
TEST(GmlTransform, DisplayTransformsWrittenAsGatingMlGiveTheirCoordinates)
{
    const DisplayTransform displays[] = {DisplayTransform::Logicle(262144, 0.93, 4.5, 0),
                                         DisplayTransform::Logicle(1000, 1, 4, 0.5), DisplayTransform::Arcsinh(150),
                                         DisplayTransform::Arcsinh(1.0 / 3), DisplayTransform::Log(262144, 4.5)};
    std::vector<double> xs = {0.0, -0.0, 1e-300, -1e300, std::numeric_limits<double>::quiet_NaN()};
    for (int k = -300; k <= 400; ++k) xs.insert(xs.end(), {std::pow(10.0, k / 50.0), -std::pow(10.0, k / 61.0)});
    for (const DisplayTransform& d : displays) {
        SCOPED_TRACE(d.Text());
        const GatingMlScale g = d.GatingMl();
        std::string element;
        switch (g.kind) {
        case GatingMlScaleKind::Logicle:
            element = "<logicle T=\"" + shortest(g.T) + "\" W=\"" + shortest(g.W) + "\" M=\"" + shortest(g.M) + "\" A=\"" +
                      shortest(g.A) + "\"/>";
            break;
        case GatingMlScaleKind::Fasinh:
            element = "<fasinh T=\"" + shortest(g.T) + "\" M=\"" + shortest(g.M) + "\" A=\"" + shortest(g.A) + "\"/>";
            break;
        case GatingMlScaleKind::Flog:
            element = "<flog T=\"" + shortest(g.T) + "\" M=\"" + shortest(g.M) + "\"/>";
            break;
        case GatingMlScaleKind::None:
            FAIL() << "no Gating-ML transformation";
        }
        const GmlDocument doc = ParseGatingMl(
            "<Gating-ML><transformation id=\"t\">" + element +
                "</transformation><RectangleGate id=\"R\"><dimension compensation-ref=\"uncompensated\" "
                "transformation-ref=\"t\" min=\"0.5\"><fcs-dimension name=\"X\"/></dimension></RectangleGate></Gating-ML>",
            "t");
        const GmlTransform* t = doc.FindTransform("t");
        ASSERT_NE(t, nullptr);
        for (double x : xs) {
            const double y = d.Forward(x), a = t->Apply(x);
            if (d.Kind() == TransformKind::Log && !(y > 0)) continue;
            ASSERT_TRUE(std::isnan(y) ? std::isnan(a) : std::memcmp(&y, &a, sizeof y) == 0) << x << ": " << y << " vs " << a;
        }
    }
}

}  // namespace
}  // namespace orvala
