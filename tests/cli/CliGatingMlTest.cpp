// orvala-cli gatingml and export-gatingml on files the test writes: a
// protocol exported and evaluated gates the same events as apply replays, and
// the compliance documents give their truth tables through --membership.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <sys/wait.h>

#include "FcsFixtureWriter.h"
#include "cli/CliRun.h"
#include "common/TempDir.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "geometry/Scales.h"
#include "protocol/Protocol.h"

using namespace orvala;
namespace fs = std::filesystem;

namespace {

using orvala::test::slurp;
using orvala::test::TempDir;

using orvala::test::CliRun;
using orvala::test::quoted;
using orvala::test::runCli;

std::vector<std::vector<std::string>> readTsv(const std::string& bytes)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> cells;
        std::istringstream cellsIn(line);
        std::string c;
        while (std::getline(cellsIn, c, '\t')) cells.push_back(c);
        rows.push_back(std::move(cells));
    }
    return rows;
}

// X, Y, Z over [0, 100); Y carries $P2G = 2, so its FCS scale is half the
// channel the workbench shows and exported coordinates must follow.
void writeFile(const std::string& path, int events)
{
    fixtures::FcsDataSet s;
    for (const char* n : {"X", "Y", "Z"}) s.parameters.push_back({n, "", 1024});
    s.keywords.push_back({"$P2G", "2"});
    for (int e = 0; e < events; ++e)
        for (uint32_t c = 0; c < 3; ++c) {
            const uint32_t h = (uint32_t(e) * 2654435761u) ^ ((c * 40503u + 977u) * 2246822519u);
            s.values.push_back(float((h >> 8) % 10000) / 100.0f);
        }
    ASSERT_TRUE(fixtures::writeFcs30(path, {s}));
}

std::unique_ptr<TGate> squareGate(double lo, double hi, const std::string& name)
{
    auto g = std::make_unique<TGate>(TVector{1, 0, 0}, TVector{0, 1, 0}, TVector{lo, hi, hi, lo, lo},
                                     TVector{lo, lo, hi + 7, hi, lo});
    g->name = name;
    return g;
}

// A, A/Inner (lin->log on both axes), and B inverse.
void writeProtocol(const std::string& path)
{
    TDataList list;
    TDataList* previous = TData::Workspace;
    TData::Workspace = &list;
    TData* root = TData::Create("template", 3, 1);
    const char* names[] = {"X", "Y", "Z"};
    for (int c = 0; c < 3; ++c) root->Desc()[size_t(c)].name = names[c];
    list.Add(root);
    TData* a = TData::Gated(root, squareGate(10, 60, "A").get());
    list.Add(a);
    auto inner = squareGate(LinToLog(20), LinToLog(45), "Inner");
    inner->linlogx = inner->linlogy = true;
    list.Add(TData::Gated(a, inner.get()));
    auto b = squareGate(50, 90, "B");
    b->Inverse = true;
    list.Add(TData::Gated(root, b.get()));
    SaveProtocol(*root, path);
    list.Clear();
    TData::Workspace = previous;
}

std::map<std::string, std::string> eventsByGate(const std::string& table)
{
    std::map<std::string, std::string> out;
    const auto rows = readTsv(table);
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i].size() > 2) out[rows[i][1]] = rows[i][2];
    return out;
}

TEST(CliGatingMl, ExportedProtocolGatesTheSameEventsAsApply)
{
    TempDir tmp;
    const std::string fcs = tmp.file("sample.fcs"), protocol = tmp.file("p.orp"), xml = tmp.file("gates.xml");
    writeFile(fcs, 3000);
    writeProtocol(protocol);
    const CliRun exported = runCli(tmp, {"export-gatingml", fcs, "--protocol", protocol, "--to", xml});
    ASSERT_EQ(exported.code, 0) << exported.err;
    const std::string doc = slurp(xml);
    EXPECT_NE(doc.find("gating:PolygonGate"), std::string::npos);
    EXPECT_NE(doc.find("transforms:fasinh"), std::string::npos);
    EXPECT_NE(doc.find("gating:not"), std::string::npos);

    const std::string applyStats = tmp.file("apply.tsv"), gmlStats = tmp.file("gml.tsv");
    ASSERT_EQ(runCli(tmp, {"apply", protocol, fcs, "--stats", applyStats}).code, 0);
    const CliRun evaluated = runCli(tmp, {"gatingml", xml, fcs, "--stats", gmlStats});
    ASSERT_EQ(evaluated.code, 0) << evaluated.err;
    const auto want = eventsByGate(slurp(applyStats));
    const auto got = eventsByGate(slurp(gmlStats));
    ASSERT_EQ(want.size(), 3u);
    for (const auto& [gate, events] : want) {
        ASSERT_TRUE(got.count(gate)) << gate;
        EXPECT_EQ(got.at(gate), events) << gate;
        EXPECT_NE(events, "0") << gate;
    }
    // Same leading columns as apply.
    EXPECT_EQ(readTsv(slurp(gmlStats))[0][5], "error");
}

TEST(CliGatingMl, MembershipOfTheComplianceCasesMatchesTheirTruth)
{
    const fs::path dir = fs::path(ORVALA_SHARED_DIR) / "gatingml-compliance";
    if (!fs::exists(dir / "data1.fcs")) GTEST_SKIP() << "the shared compliance cases are not at " << dir;
    TempDir tmp;
    const std::string out = tmp.file("m.tsv");
    const CliRun r = runCli(tmp, {"gatingml", (dir / "gml" / "gml_parent_quadrant_rect_gate.xml").string(),
                                  (dir / "data1.fcs").string(), "--membership", out});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = readTsv(slurp(out));
    ASSERT_EQ(rows.size(), 13368u);
    const auto& header = rows[0];
    for (const char* gate : {"FL2P-FL4P", "ParRectangle1"}) {
        SCOPED_TRACE(gate);
        const size_t col = size_t(std::find(header.begin(), header.end(), gate) - header.begin());
        ASSERT_LT(col, header.size());
        const std::string truthName = std::string(gate) == "ParRectangle1" ? "Results_ParQuadRect.txt"
                                                                           : "Results_" + std::string(gate) + ".txt";
        std::istringstream truth(slurp((dir / "truth" / truthName).string()));
        std::string line;
        size_t row = 1, wrong = 0;
        while (std::getline(truth, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            wrong += rows[row++][col] != line;
        }
        EXPECT_EQ(row, rows.size());
        EXPECT_EQ(wrong, 0u);
    }
}

TEST(CliGatingMl, ErrorsNameWhatIsWrong)
{
    TempDir tmp;
    const std::string fcs = tmp.file("s.fcs"), bad = tmp.file("bad.xml"), out = tmp.file("o.tsv");
    writeFile(fcs, 10);
    std::ofstream(bad) << "<Gating-ML><RectangleGate id=\"R\"/></Gating-ML>";
    const std::string good = tmp.file("good.xml");
    std::ofstream(good) << "<Gating-ML><RectangleGate id=\"R\"><dimension compensation-ref=\"uncompensated\" min=\"1\">"
                           "<fcs-dimension name=\"Nope\"/></dimension></RectangleGate></Gating-ML>";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"bad document", {"gatingml", bad, fcs, "--stats", out}, "<RectangleGate> \"R\": has no dimension"},
        {"membership of two files", {"gatingml", good, fcs, fcs, "--membership", out}, "exactly one FILE"},
        {"missing parameter", {"gatingml", good, fcs, "--stats", out}, "the parameter \"Nope\" is not in the data"},
        {"no tree source", {"export-gatingml", fcs, "--to", out}, "exactly one of --protocol"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = runCli(tmp, c.args);
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

}  // namespace
