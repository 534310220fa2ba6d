// Gating-ML gates built on the workbench: each gate a data set of exactly the
// events the standard selects, following its parent when that changes; errors
// add nothing, and the gates stay out of records that cannot hold them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "GmlTestSupport.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlExport.h"
#include "gatingml/GmlImport.h"
#include "protocol/Protocol.h"
#include "protocol/Workspace.h"

namespace orvala {
namespace {

namespace fs = std::filesystem;

using gmltest::Workspace;

// Root events as indices of the root.
std::vector<int32_t> rootEvents(const TData& d)
{
    std::vector<int32_t> idx(size_t(d.events()));
    for (int32_t i = 0; i < d.events(); ++i) idx[size_t(i)] = i;
    for (const TData* level = &d; level->Parent(); level = level->Parent())
        for (int32_t& i : idx) i = level->link[size_t(i)];
    return idx;
}

TData* kidNamed(const TData& parent, const std::string& name)
{
    for (TData* k : parent.Kids())
        if (k->ShortName() == name) return k;
    return nullptr;
}

TEST(GmlImport, EveryComplianceGateBecomesADataSetOfItsTruthEvents)
{
    const fs::path dir = gmltest::complianceDir();
    if (!fs::exists(dir / "index.tsv")) GTEST_SKIP() << "the shared compliance cases are not at " << dir;
    Workspace w;
    TData* root = TData::Create((dir / "data1.fcs").string(), 0);
    ASSERT_TRUE(root);
    w.list.Add(root);
    ASSERT_EQ(root->events(), 13367);

    std::map<std::string, std::map<std::string, TData*>> built;  // document -> gate id -> data set
    int checked = 0;
    for (const auto& [file, gate, truthFile] : gmltest::complianceCases()) {
        SCOPED_TRACE(file + " / " + gate);
        if (!built.count(file)) {
            // Each document under a root of its own, so equal gate ids do not meet.
            TData* base = TData::Create((dir / "data1.fcs").string(), 0);
            ASSERT_TRUE(base);
            w.list.Add(base);
            auto doc = std::make_shared<GmlDocument>(ReadGatingMlFile((dir / "gml" / file).string()));
            const GmlImportResult r = ImportGatingMl(*base, doc);
            ASSERT_EQ(r.added.size(), doc->gates.size());
            for (TData* d : r.added) built[file][d->ShortName()] = d;
        }
        TData* d = built[file][gate];
        ASSERT_TRUE(d) << "no data set for the gate";
        std::vector<char> in(13367, 0);
        for (int32_t e : rootEvents(*d)) in[size_t(e)] = 1;
        EXPECT_TRUE(in == gmltest::truthOf(dir / "truth" / truthFile)) << "the events differ from the truth file";
        ++checked;
    }
    EXPECT_GT(checked, 0);

    // Outlines in the workbench's units: FSC-H and SSC-H are linear with $PnG
    // 3.67 and 8, so the ellipse is drawn around its mean times the gains; FL1-H
    // is on the reader's logarithmic display scale, so a rectangle on it has none.
    {
        auto doc = std::make_shared<GmlDocument>(ReadGatingMlFile((dir / "gml" / "gml_ellipse2_gate.xml").string()));
        const GmlImportResult r = ImportGatingMl(*root, doc);
        ASSERT_EQ(r.added.size(), 1u);
        EXPECT_TRUE(r.notDrawn.empty());
        const TGate& g = *r.added[0]->gate;
        ASSERT_EQ(g.cx.size(), 73u);
        double mx = 0, my = 0;
        for (size_t i = 0; i < 72; ++i) mx += g.cx[i] / 72, my += g.cy[i] / 72;
        EXPECT_NEAR(mx, 40 * 3.67, 1e-9);
        EXPECT_NEAR(my, 40 * 8.0, 1e-9);
        EXPECT_EQ(g.x[0], 1.0);
        EXPECT_EQ(g.y[1], 1.0);
        TData* rect = built["gml_rect1_gate.xml"]["Rectangle1"];
        ASSERT_TRUE(rect);
        EXPECT_TRUE(rect->gate->cx.empty());
    }

    // A workspace keeps the files but leaves the imported gates out, by name.
    const fs::path out = fs::temp_directory_path() / ("gml-import-" + std::to_string(::getpid()) + ".orw");
    const std::vector<std::string> skipped = SaveWorkspace(out.string(), w.list, {});
    fs::remove(out);
    TData* polygon = built["gml_boolean_and1_gate.xml"]["Polygon1"];
    ASSERT_TRUE(polygon);
    EXPECT_NE(std::find(skipped.begin(), skipped.end(), polygon->FullName()), skipped.end());
}

// FSC linear, FL1 over decades.
TData* makeRoot(Workspace& w, int events)
{
    TData* root = TData::Create("cells", 2, events);
    root->Desc()[0].name = "FSC";
    root->Desc()[1].name = "FL1";
    for (int e = 0; e < events; ++e) {
        root->data[e][0] = (e * 37) % 1000;
        root->data[e][1] = (e * 53) % 997;
    }
    root->data[7][0] = std::nan("");  // a NaN is in no region
    w.list.Add(root);
    return root;
}

std::shared_ptr<GmlDocument> parse(const std::string& body)
{
    const std::string xml =
        "<?xml version=\"1.0\"?><gating:Gating-ML xmlns:gating=\"http://www.isac-net.org/std/Gating-ML/v2.0/gating\" "
        "xmlns:data-type=\"http://www.isac-net.org/std/Gating-ML/v2.0/datatypes\">" +
        body + "</gating:Gating-ML>";
    return std::make_shared<GmlDocument>(ParseGatingMl(xml, "test.xml"));
}

std::string rect(const std::string& id, const std::string& parent, const std::string& dim, double lo, double hi)
{
    std::string s = "<gating:RectangleGate gating:id=\"" + id + "\"";
    if (!parent.empty()) s += " gating:parent_id=\"" + parent + "\"";
    return s + "><gating:dimension gating:compensation-ref=\"uncompensated\" gating:min=\"" + std::to_string(lo) +
           "\" gating:max=\"" + std::to_string(hi) + "\"><data-type:fcs-dimension data-type:name=\"" + dim +
           "\"/></gating:dimension></gating:RectangleGate>";
}

std::vector<int32_t> expected(const TData& parent, int column, double lo, double hi)
{
    std::vector<int32_t> out;
    for (int e = 0; e < parent.events(); ++e)
        if (parent.data[e][column] >= lo && parent.data[e][column] < hi) out.push_back(e);
    return out;
}

TEST(GmlImport, NestedGatesFollowTheirWorkbenchParentWhenItMoves)
{
    Workspace w;
    TData* root = makeRoot(w, 5000);
    // A workbench range gate on FSC 100..600, the import hangs under it.
    TGate range(TVector{1, 0}, TVector{0, 0}, TVector{100, 600, 100}, TVector{0, 0, 0});
    range.name = "Middle";
    TData* middle = TData::Gated(root, &range);
    ASSERT_TRUE(middle);
    w.list.Add(middle);

    const auto doc = parse(rect("High", "", "FL1", 500, 1e9) + rect("HighFsc", "High", "FSC", 300, 400));
    const GmlImportResult r = ImportGatingMl(*middle, doc);
    ASSERT_EQ(r.added.size(), 2u);
    TData* high = kidNamed(*middle, "High");
    ASSERT_TRUE(high);
    TData* highFsc = kidNamed(*high, "HighFsc");
    ASSERT_TRUE(highFsc);
    EXPECT_EQ(high->link, expected(*middle, 1, 500, 1e9));
    EXPECT_EQ(highFsc->link, expected(*high, 0, 300, 400));
    EXPECT_GT(highFsc->events(), 0);

    // The parent's range moves: both imported gates follow.
    middle->gate->cx = {350, 900, 350};
    middle->Relink(root->CreateLink(*middle->gate));
    EXPECT_EQ(high->link, expected(*middle, 1, 500, 1e9));
    EXPECT_EQ(highFsc->link, expected(*high, 0, 350, 400));
    for (int32_t e : rootEvents(*highFsc)) {
        EXPECT_GE(root->data[e][0], 350);
        EXPECT_LT(root->data[e][0], 400);
        EXPECT_GE(root->data[e][1], 500);
    }

    // Bred onto another root, the gates select that root's events.
    TData* other = makeRoot(w, 300);
    other->CopyGates(root);
    TData* otherHigh = kidNamed(*kidNamed(*other, "Middle"), "High");
    ASSERT_TRUE(otherHigh);
    EXPECT_EQ(otherHigh->link, expected(*otherHigh->Parent(), 1, 500, 1e9));
}

// A workbench tree exported and imported again selects the same events.
TEST(GmlImport, ExportedTreeImportedAgainSelectsTheSameEvents)
{
    Workspace w;
    TData* root = makeRoot(w, 3000);
    TGate poly(TVector{1, 0}, TVector{0, 1}, TVector{100, 800, 500, 100}, TVector{50, 200, 900, 50});
    poly.name = "Tri";
    TData* tri = TData::Gated(root, &poly);
    w.list.Add(tri);
    TGate range(TVector{0, 1}, TVector{0, 0}, TVector{300, 600, 300}, TVector{0, 0, 0});
    range.name = "Mid";
    range.Inverse = true;
    TData* notMid = TData::Gated(tri, &range);
    w.list.Add(notMid);

    const fs::path file = fs::temp_directory_path() / ("gml-roundtrip-" + std::to_string(::getpid()) + ".xml");
    ExportGatingMlFile(*root, file.string());
    auto doc = std::make_shared<GmlDocument>(ReadGatingMlFile(file.string()));
    fs::remove(file);
    TData* copy = makeRoot(w, 3000);
    ImportGatingMl(*copy, doc);
    TData* tri2 = kidNamed(*copy, "Tri");
    ASSERT_TRUE(tri2);
    EXPECT_EQ(tri2->link, tri->link);
    TData* mid2 = kidNamed(*tri2, "Mid");
    ASSERT_TRUE(mid2);
    EXPECT_EQ(mid2->link, notMid->link);
    EXPECT_GT(notMid->events(), 0);
    EXPECT_LT(notMid->events(), tri->events());
}

TEST(GmlImport, AnErrorAddsNothing)
{
    Workspace w;
    TData* root = makeRoot(w, 100);
    // The second gate names a parameter the data set lacks.
    const auto doc = parse(rect("Ok", "", "FSC", 0, 10) + rect("Bad", "Ok", "SSC", 0, 10));
    try {
        ImportGatingMl(*root, doc);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("SSC"), std::string::npos) << e.what();
    }
    EXPECT_EQ(w.list.Count(), 1);
    EXPECT_TRUE(root->Kids().empty());
}

TEST(GmlImport, OutlinesInWorkbenchCoordinatesAndRecordsThatCannotHoldTheRule)
{
    Workspace w;
    TData* root = makeRoot(w, 400);
    const auto doc = parse(
        rect("Fsc", "", "FSC", 200, 700) +
        "<gating:PolygonGate gating:id=\"Tri\">"
        "<gating:dimension gating:compensation-ref=\"uncompensated\"><data-type:fcs-dimension data-type:name=\"FL1\"/></gating:dimension>"
        "<gating:dimension gating:compensation-ref=\"uncompensated\"><data-type:fcs-dimension data-type:name=\"FSC\"/></gating:dimension>"
        "<gating:vertex><gating:coordinate data-type:value=\"0\"/><gating:coordinate data-type:value=\"0\"/></gating:vertex>"
        "<gating:vertex><gating:coordinate data-type:value=\"900\"/><gating:coordinate data-type:value=\"0\"/></gating:vertex>"
        "<gating:vertex><gating:coordinate data-type:value=\"0\"/><gating:coordinate data-type:value=\"900\"/></gating:vertex>"
        "</gating:PolygonGate>");
    ImportGatingMl(*root, doc);
    const TData* fsc = kidNamed(*root, "Fsc");
    const TData* tri = kidNamed(*root, "Tri");
    ASSERT_TRUE(fsc && tri);
    EXPECT_EQ(fsc->gate->kind, TGateType::gtRule);
    // A range on FSC, and the triangle with FL1 across and FSC up.
    EXPECT_EQ(fsc->gate->x, (TVector{1, 0}));
    EXPECT_EQ(fsc->gate->cx, (TVector{200, 700, 200}));
    EXPECT_EQ(fsc->gate->cy, (TVector{0, 0, 0}));
    EXPECT_EQ(tri->gate->x, (TVector{0, 1}));
    EXPECT_EQ(tri->gate->y, (TVector{1, 0}));
    EXPECT_EQ(tri->gate->cx, (TVector{0, 900, 0, 0}));
    EXPECT_EQ(tri->gate->cy, (TVector{0, 0, 900, 0}));
    for (int32_t e : tri->link) EXPECT_LE(root->data[e][0] + root->data[e][1], 900);

    // A protocol cannot hold the rule: refused by name, nothing written.
    const fs::path dir = fs::temp_directory_path() / ("gml-import-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string protocol = (dir / "p.orp").string();
    try {
        SaveProtocol(*root, protocol);
        FAIL() << "saved";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Fsc\""), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(protocol));
    // Nor is it written back as Gating-ML: the export names it and why.
    try {
        ExportGatingMlFile(*root, (dir / "g.xml").string());
        FAIL() << "exported";
    } catch (const GmlError& e) {
        EXPECT_NE(std::string(e.what()).find("imported"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / "g.xml"));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace orvala
