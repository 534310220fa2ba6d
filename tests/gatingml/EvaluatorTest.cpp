// Gate semantics on small hand-made event tables: edges, open ends, NaN,
// booleans with complements, parents, compensation, and FCS-scale decoding.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/TPreText.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlEvaluator.h"
#include "gatingml/GmlFcs.h"
#include "gatingml/GmlTransform.h"

namespace orvala {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Row-major events over the named parameters.
struct Table {
    std::vector<std::string> names;
    std::vector<double> values;
    GmlEvents events() const
    {
        GmlEvents e;
        e.names = names;
        e.values = values.data();
        e.eventStride = names.size();
        e.events = int64_t(values.size() / names.size());
        return e;
    }
};

std::string members(const GmlMembership& m, const std::string& id)
{
    std::string s;
    const int g = m.IndexOf(id);
    for (int64_t e = 0; e < m.EventCount(); ++e) s += m.Contains(g, e) ? '1' : '0';
    return s;
}

GmlMembership run(const std::string& body, const GmlEvents& events)
{
    return EvaluateGatingMl(ParseGatingMl("<Gating-ML>" + body + "</Gating-ML>", "t"), events);
}

TEST(GmlEvaluator, RectangleIsClosedBelowOpenAboveAndNaNIsOutside)
{
    const Table t{{"A", "B"}, {1, 0, 2, 0, 3, 0, 5, 0, kNaN, 0, 2.5, 9, 2.5, 10}};
    const auto m = run(R"(<RectangleGate id="R">
        <dimension compensation-ref="uncompensated" min="2" max="5"><fcs-dimension name="A"/></dimension>
        <dimension compensation-ref="uncompensated" max="10"><fcs-dimension name="B"/></dimension></RectangleGate>
        <RectangleGate id="Open"><dimension compensation-ref="uncompensated" min="3"><fcs-dimension name="A"/></dimension>
        </RectangleGate>)",
                       t.events());
    EXPECT_EQ(members(m, "R"), "0110010");
    EXPECT_EQ(members(m, "Open"), "0011000");
}

TEST(GmlEvaluator, PolygonCrossingRuleWithAConcaveOutline)
{
    // A U-shaped outline: the notch (2..3, 2..4) is outside.
    const Table t{{"X", "Y"}, {1, 1, 2.5, 3, 2.5, 1, 4.5, 3, 6, 1, kNaN, 1}};
    const auto m = run(R"(<PolygonGate id="U">
        <dimension compensation-ref="uncompensated"><fcs-dimension name="X"/></dimension>
        <dimension compensation-ref="uncompensated"><fcs-dimension name="Y"/></dimension>
        <vertex><coordinate value="0"/><coordinate value="0"/></vertex>
        <vertex><coordinate value="5"/><coordinate value="0"/></vertex>
        <vertex><coordinate value="5"/><coordinate value="4"/></vertex>
        <vertex><coordinate value="3"/><coordinate value="4"/></vertex>
        <vertex><coordinate value="3"/><coordinate value="2"/></vertex>
        <vertex><coordinate value="2"/><coordinate value="2"/></vertex>
        <vertex><coordinate value="2"/><coordinate value="4"/></vertex>
        <vertex><coordinate value="0"/><coordinate value="4"/></vertex></PolygonGate>)",
                       t.events());
    EXPECT_EQ(members(m, "U"), "101100");
}

TEST(GmlEvaluator, EllipseBooleansComplementsAndParents)
{
    // Ellipse: half-axes 2 (along X) and 1 (along Y) around (0, 0).
    const Table t{{"X", "Y"}, {0, 0, 1.9, 0, 2.1, 0, 0, 0.9, 0, 1.1, 5, 5}};
    const auto m = run(R"(<EllipsoidGate id="E">
        <dimension compensation-ref="uncompensated"><fcs-dimension name="X"/></dimension>
        <dimension compensation-ref="uncompensated"><fcs-dimension name="Y"/></dimension>
        <mean><coordinate value="0"/><coordinate value="0"/></mean>
        <covarianceMatrix><row><entry value="4"/><entry value="0"/></row><row><entry value="0"/><entry value="1"/></row>
        </covarianceMatrix><distanceSquare value="1"/></EllipsoidGate>
      <RectangleGate id="Right"><dimension compensation-ref="uncompensated" min="1"><fcs-dimension name="X"/></dimension>
      </RectangleGate>
      <BooleanGate id="NotE"><not><gateReference ref="E"/></not></BooleanGate>
      <BooleanGate id="RightOutsideE"><and><gateReference ref="Right"/><gateReference ref="E" use-as-complement="true"/>
      </and></BooleanGate>
      <BooleanGate id="EOrRight"><or><gateReference ref="E"/><gateReference ref="Right"/></or></BooleanGate>
      <RectangleGate id="UpInE" parent_id="E"><dimension compensation-ref="uncompensated" min="0.5">
        <fcs-dimension name="Y"/></dimension></RectangleGate>)",
                       t.events());
    EXPECT_EQ(members(m, "E"), "110100");
    EXPECT_EQ(members(m, "NotE"), "001011");
    EXPECT_EQ(members(m, "RightOutsideE"), "001001");
    EXPECT_EQ(members(m, "EOrRight"), "111101");
    EXPECT_EQ(members(m, "UpInE"), "000100");
}

TEST(GmlEvaluator, CompensationFromTheFileAndFromANonSquareSpectrum)
{
    // Two dyes with spectra (1, 0.5, 0.25) and (0.2, 1, 0.5) over three detectors;
    // each event is an exact mixture, so least squares recovers the amounts.
    const double amounts[][2] = {{100, 0}, {0, 100}, {50, 50}, {10, 300}};
    Table t{{"D1", "D2", "D3"}, {}};
    for (const auto& a : amounts)
        t.values.insert(t.values.end(), {a[0] * 1 + a[1] * 0.2, a[0] * 0.5 + a[1] * 1, a[0] * 0.25 + a[1] * 0.5});
    const std::string body = R"(<spectrumMatrix id="S"><fluorochromes><fcs-dimension name="Dye1"/>
        <fcs-dimension name="Dye2"/></fluorochromes><detectors><fcs-dimension name="D1"/><fcs-dimension name="D2"/>
        <fcs-dimension name="D3"/></detectors>
        <spectrum><coefficient value="1"/><coefficient value="0.5"/><coefficient value="0.25"/></spectrum>
        <spectrum><coefficient value="0.2"/><coefficient value="1"/><coefficient value="0.5"/></spectrum></spectrumMatrix>
      <RectangleGate id="Dye1High"><dimension compensation-ref="S" min="49.999" max="100.001">
        <fcs-dimension name="Dye1"/></dimension></RectangleGate>
      <RectangleGate id="Dye2Low"><dimension compensation-ref="S" min="-0.001" max="0.001">
        <fcs-dimension name="Dye2"/></dimension></RectangleGate>
      <RectangleGate id="D1Fcs"><dimension compensation-ref="FCS" min="99.99" max="100.01">
        <fcs-dimension name="D1"/></dimension></RectangleGate>
      <RectangleGate id="D2Raw"><dimension compensation-ref="uncompensated" min="100"><fcs-dimension name="D2"/>
        </dimension></RectangleGate>)";
    GmlEvents e = t.events();
    // The file's spillover: D1 spills 0.5 into D2 (and nothing else); D1 compensated = D1.
    e.spillNames = {"D1", "D2"};
    e.spillover = {1, 0.5, 0, 1};
    const auto m = run(body, e);
    EXPECT_EQ(members(m, "Dye1High"), "1010");
    EXPECT_EQ(members(m, "Dye2Low"), "1000");
    EXPECT_EQ(members(m, "D1Fcs"), "1000");
    EXPECT_EQ(members(m, "D2Raw"), "0101");

    // FCS compensation of D2: D2 - 0.5 D1.
    const std::string d2 = R"(<RectangleGate id="D2Comp"><dimension compensation-ref="FCS" min="-0.001" max="0.001">
        <fcs-dimension name="D2"/></dimension></RectangleGate>)";
    EXPECT_EQ(members(run(d2, e), "D2Comp"), "1000");
    // Without a spillover matrix "FCS" leaves the values as they are; an unreadable one is an error.
    e.spillNames.clear();
    e.spillover.clear();
    EXPECT_EQ(members(run(d2, e), "D2Comp"), "0000");
    e.spillProblem = "the spillover keyword is not a readable matrix";
    EXPECT_THROW(run(d2, e), GmlError);
}

TEST(GmlEvaluator, AParameterMissingFromTheDataIsAnErrorNamingTheGate)
{
    const Table t{{"A"}, {1, 2}};
    try {
        run(R"(<RectangleGate id="R"><dimension compensation-ref="uncompensated" min="1"><fcs-dimension name="Zeta"/>
            </dimension></RectangleGate>)",
            t.events());
        ADD_FAILURE() << "accepted";
    } catch (const GmlError& e) {
        EXPECT_STREQ(e.what(), "gate \"R\": the parameter \"Zeta\" is not in the data");
    }
}

TEST(GmlEvaluator, NoEventsGiveEmptyBitmaps)
{
    const Table t{{"A"}, {}};
    const auto m = run(R"(<RectangleGate id="R"><dimension compensation-ref="uncompensated" min="1">
        <fcs-dimension name="A"/></dimension></RectangleGate>)",
                       t.events());
    EXPECT_EQ(m.EventCount(), 0);
    EXPECT_EQ(m.Count(0), 0);
}

TEST(GmlFcs, DecodesLogParametersAndDividesGainsOutOfLinearOnes)
{
    TPreText k;
    k.pars.resize(3);
    k.pars[0].name = "FSC";
    k.pars[0].gain = 4;
    k.pars[1].name = "FL1";
    k.pars[1].decade = 4;
    k.pars[1].intersect = 0;  // "4,0" as old files write it: read as 4,1
    k.pars[1].resolution = 1024;
    k.pars[1].gain = 8;  // not applied to a log parameter
    k.pars[2].name = "Time";
    k.pars[2].gain = 2;  // time is used as stored
    k.Add("$SPILLOVER", "2,FSC,FL1,1,0.1,0,1");
    DataMatrix raw(2, 3);
    raw.at(0, 0) = 400;
    raw.at(0, 1) = 512;
    raw.at(0, 2) = 7;
    raw.at(1, 0) = 0;
    raw.at(1, 1) = 1024;
    raw.at(1, 2) = 9;
    const GmlFcsData d = FcsScaleValues(k, raw);
    EXPECT_EQ(d.names, (std::vector<std::string>{"FSC", "FL1", "Time"}));
    EXPECT_DOUBLE_EQ(d.values.at(0, 0), 100);
    EXPECT_NEAR(d.values.at(0, 1), 100, 1e-9);
    EXPECT_NEAR(d.values.at(1, 1), 10000, 1e-7);
    EXPECT_EQ(d.values.at(1, 2), 9);
    EXPECT_EQ(d.spillNames, (std::vector<std::string>{"FSC", "FL1"}));
    EXPECT_EQ(d.spillover, (std::vector<double>{1, 0.1, 0, 1}));
    EXPECT_TRUE(d.spillProblem.empty());

    // A count larger than the fields that follow is refused before anything is sized from it.
    k.SetValue("$SPILLOVER", "99999999,FSC,FL1,1,0,0,1");
    EXPECT_FALSE(FcsScaleValues(k, raw).spillProblem.empty());
}

// Logicle axes are evaluated from a fast approximation first; events whose
// decision it could change are decided again on the transform's own values.
// Events a few ulps either side of every decision point must therefore get
// exactly the decisions the transform's own values give.
TEST(GmlEvaluator, EventsAtDecisionPointsOnLogicleAxesGetTheExactDecision)
{
    const GmlTransform L = GmlTransform::Logicle("L", 262144, 0.5, 4.5, 0);
    const auto near = [](double x, int ulps) {
        for (; ulps > 0; --ulps) x = std::nextafter(x, HUGE_VAL);
        for (; ulps < 0; ++ulps) x = std::nextafter(x, -HUGE_VAL);
        return x;
    };
    // Points in logicle space on the rectangle's bounds, the triangle's edges and
    // the ellipse's outline; each becomes raw events at -3..3 ulps of its inverse.
    const double tri[3][2] = {{0.2, 0.1}, {0.8, 0.3}, {0.4, 0.9}};
    std::vector<std::pair<double, double>> points;
    for (double v : {0.3, 0.7}) points.emplace_back(v, 0.5);
    for (int i = 0; i < 3; ++i)
        for (double f : {0.0, 0.13, 0.5, 0.77})
            points.emplace_back(tri[i][0] + f * (tri[(i + 1) % 3][0] - tri[i][0]), tri[i][1] + f * (tri[(i + 1) % 3][1] - tri[i][1]));
    for (int k = 0; k < 16; ++k) {
        const double a = k * M_PI / 8;
        points.emplace_back(0.5 + 0.25 * std::cos(a), 0.4 + 0.5 * std::sin(a));
    }
    Table t{{"A", "B"}, {}};
    for (const auto& [x, y] : points)
        for (int dx = -3; dx <= 3; ++dx)
            for (int dy = -3; dy <= 3; ++dy) {
                t.values.push_back(near(L.Inverse(x), dx));
                t.values.push_back(near(L.Inverse(y), dy));
            }
    // Negative values and values far from every gate, in a count that leaves a
    // short last block.
    for (int i = 0; i < 301; ++i) {
        t.values.push_back(-37.0 * i);
        t.values.push_back(1.5 * i * i);
    }
    const std::string dim = R"(compensation-ref="uncompensated" transformation-ref="L")";
    const auto m = run(R"(<transformation id="L"><logicle T="262144" W="0.5" M="4.5" A="0"/></transformation>
        <RectangleGate id="R"><dimension )" + dim + R"( min="0.3" max="0.7"><fcs-dimension name="A"/></dimension></RectangleGate>
        <PolygonGate id="P"><dimension )" + dim + R"(><fcs-dimension name="A"/></dimension><dimension )" + dim +
                           R"(><fcs-dimension name="B"/></dimension>
          <vertex><coordinate value="0.2"/><coordinate value="0.1"/></vertex>
          <vertex><coordinate value="0.8"/><coordinate value="0.3"/></vertex>
          <vertex><coordinate value="0.4"/><coordinate value="0.9"/></vertex></PolygonGate>
        <EllipsoidGate id="E"><dimension )" + dim + R"(><fcs-dimension name="A"/></dimension><dimension )" + dim +
                           R"(><fcs-dimension name="B"/></dimension>
          <mean><coordinate value="0.5"/><coordinate value="0.4"/></mean>
          <covarianceMatrix><row><entry value="0.0625"/><entry value="0"/></row><row><entry value="0"/><entry value="0.25"/></row></covarianceMatrix>
          <distanceSquare value="1"/></EllipsoidGate>)",
                       t.events());
    const int64_t n = int64_t(t.values.size() / 2);
    ASSERT_EQ(m.EventCount(), n);
    int64_t inR = 0, inP = 0, inE = 0;
    for (int64_t e = 0; e < n; ++e) {
        const double x = L.Apply(t.values[size_t(2 * e)]), y = L.Apply(t.values[size_t(2 * e + 1)]);
        const bool r = x >= 0.3 && x < 0.7;
        bool p = false;
        for (int i = 0, j = 2; i < 3; j = i++) {
            const double xi = tri[i][0], yi = tri[i][1], xj = tri[j][0], yj = tri[j][1];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) p = !p;
        }
        // The inverse covariance is 16 and 4 exactly, summed as the evaluator sums.
        const double d0 = x - 0.5, d1 = y - 0.4;
        const bool el = d0 * (16 * d0) + d1 * (4 * d1) <= 1;
        SCOPED_TRACE("event " + std::to_string(e));
        EXPECT_EQ(m.Contains(m.IndexOf("R"), e), r);
        EXPECT_EQ(m.Contains(m.IndexOf("P"), e), p);
        EXPECT_EQ(m.Contains(m.IndexOf("E"), e), el);
        inR += r;
        inP += p;
        inE += el;
    }
    // Both decisions occur around every kind of outline.
    EXPECT_GT(inR, 0);
    EXPECT_LT(inR, n);
    EXPECT_GT(inP, 0);
    EXPECT_LT(inP, n);
    EXPECT_GT(inE, 0);
    EXPECT_LT(inE, n);
}

}  // namespace
}  // namespace orvala
