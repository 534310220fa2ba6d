// The workbench's gates written as Gating-ML and read back select the same
// events as the workbench itself; gates the standard cannot express are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>
#include <unistd.h>

#include "GmlTestSupport.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlEvaluator.h"
#include "gatingml/GmlExport.h"
#include "geometry/Scales.h"
#include "protocol/Protocol.h"

namespace orvala {
namespace {

using gmltest::Workspace;

// Events over FSC (linear, 0..1000) and FL1, FL2 (spread over decades, some negative).
TData* makeRoot(Workspace& w, int events)
{
    TData* root = TData::Create("root", 3, events);
    const char* names[] = {"FSC", "FL1", "FL2"};
    for (int c = 0; c < 3; ++c) root->Desc()[size_t(c)].name = names[c];
    uint64_t s = 88172645463325252ull;
    const auto next = [&] {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return double(s >> 11) / 9007199254740992.0;
    };
    for (int e = 0; e < events; ++e) {
        root->data[e][0] = 1000 * next();
        for (int c = 1; c < 3; ++c) root->data[e][c] = next() < 0.15 ? -300 * next() : std::pow(10.0, 5 * next());
    }
    w.list.Add(root);
    return root;
}

TVector unit(int column, int n = 3)
{
    TVector v(size_t(n), 0.0);
    if (column >= 0) v[size_t(column)] = 1;
    return v;
}

// A closed outline.
TGate* polygonGate(const std::string& name, int xc, int yc, std::vector<std::pair<double, double>> vertices)
{
    vertices.push_back(vertices.front());
    TVector cx, cy;
    for (const auto& [x, y] : vertices) {
        cx.push_back(x);
        cy.push_back(y);
    }
    auto* g = new TGate(unit(xc), unit(yc), cx, cy);
    g->name = name;
    return g;
}

// A histogram range: both y values 0.
TGate* rangeGate(const std::string& name, int xc, double lo, double hi)
{
    auto* g = new TGate(unit(xc), unit(-1), {lo, hi, hi, lo, lo}, {0, 0, 0, 0, 0});
    g->name = name;
    return g;
}

TData* apply(Workspace& w, TData* parent, TGate* gate)
{
    std::unique_ptr<TGate> owned(gate);
    TData* kid = TData::Gated(parent, owned.get());
    EXPECT_NE(kid, nullptr);
    w.list.Add(kid);
    return kid;
}

// The root events of a gated data set: its link composed up to the root.
std::vector<char> rootMembers(const TData* d, int rootEvents)
{
    std::vector<int> idx(size_t(d->events()));
    for (int i = 0; i < d->events(); ++i) idx[size_t(i)] = i;
    for (const TData* p = d; p->Parent(); p = p->Parent())
        for (int& i : idx) i = p->link[size_t(i)];
    std::vector<char> in(size_t(rootEvents), 0);
    for (int i : idx) in[size_t(i)] = 1;
    return in;
}

TEST(GmlExport, CraftedTreeRoundTripsToTheSameEvents)
{
    Workspace w;
    const int n = 20000;
    TData* root = makeRoot(w, n);
    // Cells: FSC (linear) against FL1 on a lin->log axis.
    TGate* cells = polygonGate("Cells", 0, 1, {{100, 200}, {900, 300}, {800, 1200}, {400, 1100}, {150, 700}});
    cells->linlogy = true;
    TData* cellsSet = apply(w, root, cells);
    // Bright: a lin->log range on FL2 inside Cells, then a polygon inside it.
    TGate* bright = rangeGate("Bright", 2, 600, 1150);
    bright->linlogx = true;
    TData* brightSet = apply(w, cellsSet, bright);
    TGate* corner = polygonGate("Corner", 1, 2, {{-50, -80}, {60000, -80}, {60000, 90000}, {-50, 1000}});
    TData* cornerSet = apply(w, brightSet, corner);
    // NotSmall: everything outside an FSC range (an inverse gate), on all events.
    TGate* small = rangeGate("NotSmall", 0, 0, 250);
    small->Inverse = true;
    TData* notSmallSet = apply(w, root, small);

    const SavedGateTree tree = CollectGateTree(*root);
    const GmlDocument doc = GateTreeToGatingMl(tree, WorkbenchAxes(*root));
    const std::string xml = WriteGatingMl(doc);
    const GmlDocument back = ParseGatingMl(xml, "exported");

    GmlEvents events;
    for (const auto& d : root->Desc()) events.names.push_back(d.name);
    events.values = root->data.data();
    events.events = root->events();
    events.eventStride = size_t(root->CaseSize());
    const GmlMembership m = EvaluateGatingMl(back, events);
    for (const auto& [id, set] : std::vector<std::pair<std::string, TData*>>{
             {"Cells", cellsSet}, {"Bright", brightSet}, {"Corner", cornerSet}, {"NotSmall", notSmallSet}}) {
        SCOPED_TRACE(id);
        const int g = m.IndexOf(id);
        ASSERT_GE(g, 0);
        const std::vector<char> want = rootMembers(set, n);
        int64_t wrong = 0;
        for (int e = 0; e < n; ++e) wrong += m.Contains(g, e) != bool(want[size_t(e)]);
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(set->events(), 0);  // the fixture gates something
        EXPECT_LT(set->events(), n);
    }
    // Nesting is carried by parent references, the inverse by a not of its region.
    EXPECT_EQ(back.FindGate("Corner")->parentId, "Bright");
    EXPECT_EQ(back.FindGate("Bright")->parentId, "Cells");
    const GmlGate* inverse = back.FindGate("NotSmall");
    ASSERT_EQ(inverse->kind, GmlGateKind::Boolean);
    EXPECT_EQ(inverse->op, GmlBooleanOp::Not);
}

// The written document has the structure the standard describes: the three
// namespaces, transformations before gates, every gate with an id, every
// dimension naming one fcs-dimension, vertices of two coordinates, CR LF lines.
TEST(GmlExport, WrittenDocumentHasTheStandardStructure)
{
    Workspace w;
    TData* root = makeRoot(w, 50);
    TGate* g = polygonGate("P & <1>", 1, 2, {{1, 1}, {500, 1}, {500, 400}});
    g->linlogx = g->linlogy = true;
    apply(w, root, g);
    const std::string xml = WriteGatingMl(GateTreeToGatingMl(CollectGateTree(*root), WorkbenchAxes(*root)));
    EXPECT_NE(xml.find("\r\n"), std::string::npos);
    pugi::xml_document x;
    ASSERT_TRUE(x.load_string(xml.c_str()));
    const pugi::xml_node r = x.document_element();
    EXPECT_STREQ(r.name(), "gating:Gating-ML");
    EXPECT_STREQ(r.attribute("xmlns:gating").value(), "http://www.isac-net.org/std/Gating-ML/v2.0/gating");
    EXPECT_STREQ(r.attribute("xmlns:transforms").value(), "http://www.isac-net.org/std/Gating-ML/v2.0/transformations");
    EXPECT_STREQ(r.attribute("xmlns:data-type").value(), "http://www.isac-net.org/std/Gating-ML/v2.0/datatypes");
    const pugi::xml_node t = r.first_child();
    EXPECT_STREQ(t.name(), "transforms:transformation");
    const pugi::xml_node asinh = t.child("transforms:fasinh");
    EXPECT_DOUBLE_EQ(asinh.attribute("transforms:T").as_double(), 4.95);
    EXPECT_DOUBLE_EQ(asinh.attribute("transforms:M").as_double(), 1);
    const pugi::xml_node p = r.child("gating:PolygonGate");
    EXPECT_STREQ(p.attribute("gating:id").value(), "P & <1>");
    int dims = 0;
    for (pugi::xml_node d : p.children("gating:dimension")) {
        ++dims;
        EXPECT_STREQ(d.attribute("gating:compensation-ref").value(), "uncompensated");
        EXPECT_STREQ(d.attribute("gating:transformation-ref").value(), t.attribute("transforms:id").value());
        EXPECT_TRUE(d.child("data-type:fcs-dimension").attribute("data-type:name"));
    }
    EXPECT_EQ(dims, 2);
    int vertices = 0;
    for (pugi::xml_node v : p.children("gating:vertex")) {
        ++vertices;
        EXPECT_EQ(std::distance(v.children("gating:coordinate").begin(), v.children("gating:coordinate").end()), 2);
        // A workbench coordinate c on the 111 asinh axis is c / (111 ln 10) in fasinh units.
        if (vertices == 2) {
            EXPECT_DOUBLE_EQ(v.first_child().attribute("data-type:value").as_double(), 500 / (111 * std::log(10.0)));
        }
    }
    EXPECT_EQ(vertices, 3);
}

TEST(GmlExport, GatesTheStandardCannotExpressAreRefusedByName)
{
    struct Case {
        const char* name;
        std::function<void(TGate&)> change;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"Mixed", [](TGate& g) { g.x = {0.5, 0.5, 0}; }, "mixes parameters"},
        {"Weighted", [](TGate& g) { g.y = {0, 2, 0}; }, "mixes parameters or weighs one"},
        {"LogLin", [](TGate& g) { g.loglinx = true; }, "log->lin"},
        {"Normal", [](TGate& g) { g.Normalized = true; }, "normalised"},
        {"Pca", [](TGate& g) { g.kind = TGateType::gtPCAGate; }, "PCA gate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SavedGateTree tree;
        tree.names = {"FSC", "FL1", "FL2"};
        tree.byName = true;
        std::unique_ptr<TGate> g(polygonGate(c.name, 0, 1, {{1, 1}, {5, 1}, {5, 5}}));
        c.change(*g);
        tree.gates.push_back({0, std::move(g)});
        try {
            GateTreeToGatingMl(tree, {{"FSC", 1, ""}, {"FL1", 1, ""}, {"FL2", 1, ""}});
            ADD_FAILURE() << "accepted";
        } catch (const GmlError& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("\"" + std::string(c.name) + "\""), std::string::npos) << text;
            EXPECT_NE(text.find(c.why), std::string::npos) << text;
        }
    }
    // A parameter on the reader's display scale is refused with the reason.
    SavedGateTree tree;
    tree.names = {"FSC", "FL1"};
    tree.byName = true;
    std::unique_ptr<TGate> g(polygonGate("OnLogDisplay", 0, 1, {{1, 1}, {5, 1}, {5, 5}}));
    tree.gates.push_back({0, std::move(g)});
    EXPECT_THROW(GateTreeToGatingMl(tree, {{"FSC", 1, ""}, {"FL1", 1, "shown on the display scale"}}), GmlError);
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The file the workbench writes is the document of the selected data set's
// tree (a gated data set takes its root's axes); a gate the standard cannot
// express leaves an earlier file as it was.
TEST(GmlExport, FileOfASelectedDataSetAndARefusalThatKeepsTheEarlierFile)
{
    Workspace w;
    TData* root = makeRoot(w, 2000);
    TGate* cells = polygonGate("Cells", 0, 1, {{100, 200}, {900, 300}, {800, 1200}});
    cells->linlogy = true;
    TData* cellsSet = apply(w, root, cells);
    apply(w, cellsSet, rangeGate("Bright", 2, 10, 5000));

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orvala-gml-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "gates.xml").string();
    ExportGatingMlFile(*cellsSet, file);
    const std::string written = fileText(file);
    EXPECT_EQ(written, WriteGatingMl(GateTreeToGatingMl(CollectGateTree(*cellsSet), WorkbenchAxes(*root))));
    const GmlDocument back = ParseGatingMl(written, file);
    ASSERT_EQ(back.gates.size(), 1u);
    EXPECT_EQ(back.gates[0].id, "Bright");
    // A folder in place of the file is refused with its name.
    try {
        ExportGatingMlFile(*cellsSet, dir.string());
        ADD_FAILURE() << "wrote over a folder";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.string()), std::string::npos) << e.what();
    }

    TGate* mixed = polygonGate("Mixed", 0, 1, {{1, 1}, {5, 1}, {5, 5}});
    mixed->x = {0.5, 0.5, 0};
    apply(w, cellsSet, mixed);
    try {
        ExportGatingMlFile(*cellsSet, file);
        ADD_FAILURE() << "accepted";
    } catch (const GmlError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Mixed\""), std::string::npos) << e.what();
    }
    EXPECT_EQ(fileText(file), written);
    EXPECT_FALSE(std::filesystem::exists(file + ".part"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvala
