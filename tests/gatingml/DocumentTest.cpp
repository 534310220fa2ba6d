// Malformed documents: one clear message naming the element, and no document.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gatingml/GmlDocument.h"

namespace orvala {
namespace {

std::string document(const std::string& body)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<gating:Gating-ML xmlns:gating="http://www.isac-net.org/std/Gating-ML/v2.0/gating"
    xmlns:transforms="http://www.isac-net.org/std/Gating-ML/v2.0/transformations"
    xmlns:data-type="http://www.isac-net.org/std/Gating-ML/v2.0/datatypes">)" +
           body + "</gating:Gating-ML>";
}

std::string range(const std::string& id, const std::string& extra = "", const std::string& dimAttrs = "gating:min=\"1\"")
{
    return "<gating:RectangleGate gating:id=\"" + id + "\" " + extra +
           "><gating:dimension gating:compensation-ref=\"uncompensated\" " + dimAttrs +
           "><data-type:fcs-dimension data-type:name=\"FL1\"/></gating:dimension></gating:RectangleGate>";
}

const std::string kPolygon1D = R"(<gating:PolygonGate gating:id="P"><gating:dimension gating:compensation-ref="uncompensated">
  <data-type:fcs-dimension data-type:name="FL1"/></gating:dimension>
  <gating:vertex><gating:coordinate data-type:value="1"/></gating:vertex></gating:PolygonGate>)";

const std::string kSingularEllipse = R"(<gating:EllipsoidGate gating:id="E">
  <gating:dimension gating:compensation-ref="uncompensated"><data-type:fcs-dimension data-type:name="A"/></gating:dimension>
  <gating:dimension gating:compensation-ref="uncompensated"><data-type:fcs-dimension data-type:name="B"/></gating:dimension>
  <gating:mean><gating:coordinate data-type:value="0"/><gating:coordinate data-type:value="0"/></gating:mean>
  <gating:covarianceMatrix><gating:row><gating:entry data-type:value="1"/><gating:entry data-type:value="2"/></gating:row>
  <gating:row><gating:entry data-type:value="2"/><gating:entry data-type:value="4"/></gating:row></gating:covarianceMatrix>
  <gating:distanceSquare data-type:value="1"/></gating:EllipsoidGate>)";

const std::string kQuadrantBadRef = R"(<gating:QuadrantGate gating:id="Q">
  <gating:divider gating:id="D1" gating:compensation-ref="uncompensated"><data-type:fcs-dimension data-type:name="A"/>
  <gating:value>5</gating:value></gating:divider>
  <gating:Quadrant gating:id="Q1"><gating:position gating:divider_ref="D2" gating:location="1"/></gating:Quadrant>
  </gating:QuadrantGate>)";

struct Malformed {
    const char* name;
    std::string xml;
    const char* message;  // must appear in what()
};

TEST(GmlDocument, MalformedDocumentsGiveOneMessageNamingTheElement)
{
    const std::vector<Malformed> cases = {
        {"not XML", "<gating:Gating-ML><unclosed>", "not a readable XML document"},
        {"wrong root", "<?xml version=\"1.0\"?><svg/>", "not a Gating-ML document"},
        {"no gates", document(""), "holds no gate"},
        {"unknown parent", document(range("R", "gating:parent_id=\"Nope\"")), "gate \"R\" refers to the unknown parent \"Nope\""},
        {"parent cycle", document(range("A", "gating:parent_id=\"B\"") + range("B", "gating:parent_id=\"A\"")),
         "depends on itself"},
        {"boolean cycle",
         document(range("A", "gating:parent_id=\"Or\"") +
                  "<gating:BooleanGate gating:id=\"Or\"><gating:or><gating:gateReference gating:ref=\"A\"/>"
                  "<gating:gateReference gating:ref=\"A\"/></gating:or></gating:BooleanGate>"),
         "depends on itself"},
        {"unknown operand",
         document(range("A") + "<gating:BooleanGate gating:id=\"N\"><gating:not><gating:gateReference gating:ref=\"Zz\"/>"
                               "</gating:not></gating:BooleanGate>"),
         "gate \"N\" refers to the unknown gate \"Zz\""},
        {"and of one",
         document(range("A") + "<gating:BooleanGate gating:id=\"N\"><gating:and><gating:gateReference gating:ref=\"A\"/>"
                               "</gating:and></gating:BooleanGate>"),
         "<BooleanGate> \"N\": an and or an or needs at least two"},
        {"no dimension", document("<gating:RectangleGate gating:id=\"R\"/>"), "<RectangleGate> \"R\": has no dimension"},
        {"dimension without name",
         document("<gating:RectangleGate gating:id=\"R\"><gating:dimension gating:min=\"1\"/></gating:RectangleGate>"),
         "names no fcs-dimension"},
        {"bad number", document(range("R", "", "gating:min=\"1,5\"")), "min \"1,5\" is not a number"},
        {"nan number", document(range("R", "", "gating:max=\"nan\"")), "max \"nan\" is not a number"},
        {"min above max", document(range("R", "", "gating:min=\"5\" gating:max=\"2\"")), "min is greater than max"},
        {"no bounds", document(range("R", "", "")), "has neither min nor max"},
        {"duplicate id", document(range("R") + range("R")), "the gate id \"R\" is used twice"},
        {"unknown transformation",
         document(range("R", "", "gating:min=\"1\" gating:transformation-ref=\"T9\"")),
         "gate \"R\" refers to the unknown transformation \"T9\""},
        {"unknown compensation",
         document("<gating:RectangleGate gating:id=\"R\"><gating:dimension gating:compensation-ref=\"M9\" "
                  "gating:min=\"1\"><data-type:fcs-dimension data-type:name=\"FL1\"/></gating:dimension>"
                  "</gating:RectangleGate>"),
         "unknown compensation \"M9\""},
        {"polygon of one dimension", document(kPolygon1D), "<PolygonGate> \"P\": a polygon needs exactly two dimensions"},
        {"singular covariance", document(kSingularEllipse), "gate \"E\": the covariance matrix cannot be inverted"},
        {"unknown divider", document(kQuadrantBadRef), "<Quadrant> \"Q1\": refers to the unknown divider \"D2\""},
        {"bad logicle",
         document("<transforms:transformation transforms:id=\"L\"><transforms:logicle transforms:T=\"1000\" "
                  "transforms:W=\"3\" transforms:M=\"4\" transforms:A=\"0\"/></transforms:transformation>" +
                  range("R")),
         "transformation \"L\": W must not be greater than M/2"},
        {"transform missing parameter",
         document("<transforms:transformation transforms:id=\"L\"><transforms:flog transforms:T=\"1000\"/>"
                  "</transforms:transformation>" + range("R")),
         "the attribute M is missing"},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ParseGatingMl(c.xml, "test.xml");
            ADD_FAILURE() << "accepted";
        } catch (const GmlError& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find(c.message), std::string::npos) << text;
            EXPECT_EQ(text.rfind("test.xml", 0), 0u) << text;
        }
    }
}

TEST(GmlDocument, ReadsPrefixesAnyWayAndLooksThroughWrappers)
{
    // No prefixes at all, a custom wrapper element, and a quadrant whose
    // divider values are written out of order.
    const std::string xml = R"(<Gating-ML><wrapper>
      <QuadrantGate id="Q" parent_id="R"><divider id="D" compensation-ref="uncompensated">
        <fcs-dimension name="A"/><value>10</value><value>2</value></divider>
        <Quadrant id="Mid"><position divider_ref="D" location="5"/></Quadrant>
        <Quadrant id="Low"><position divider_ref="D" location="-1"/></Quadrant>
        <Quadrant id="High"><position divider_ref="D" location="10"/></Quadrant>
      </QuadrantGate></wrapper>
      <RectangleGate id="R"><dimension compensation-ref="uncompensated" max="100"><fcs-dimension name="A"/></dimension>
      </RectangleGate></Gating-ML>)";
    const GmlDocument doc = ParseGatingMl(xml, "x");
    ASSERT_EQ(doc.gates.size(), 4u);
    const GmlGate* mid = doc.FindGate("Mid");
    ASSERT_NE(mid, nullptr);
    EXPECT_EQ(mid->kind, GmlGateKind::Quadrant);
    EXPECT_EQ(mid->parentId, "R");
    EXPECT_EQ(mid->min, std::vector<double>{2});
    EXPECT_EQ(mid->max, std::vector<double>{10});
    EXPECT_TRUE(std::isinf(doc.FindGate("Low")->min[0]));
    EXPECT_EQ(doc.FindGate("High")->min, std::vector<double>{10});  // a location on a divider value lies above it
    // The parent comes before its quadrants in the evaluation order.
    const auto& order = doc.EvaluationOrder();
    EXPECT_EQ(doc.gates[size_t(order.front())].id, "R");
}

}  // namespace
}  // namespace orvala
