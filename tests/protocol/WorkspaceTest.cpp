// Workspace files without a window: two real FCS files written by the test,
// gated, saved, moved and opened again.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "FcsFixtureWriter.h"
#include "common/TempDir.h"
#include "core/CoreFixtures.h"
#include "core/Messages.h"
#include "core/TGate.h"
#include "protocol/Workspace.h"

using namespace orvala;
namespace fs = std::filesystem;
using orvala::test::TempDir;
using Json = nlohmann::json;

namespace {

fixtures::FcsDataSet dataSet(const std::vector<std::string>& names, int events, int seed)
{
    fixtures::FcsDataSet d;
    for (const auto& n : names) d.parameters.push_back({n, "", 1024});
    for (int e = 0; e < events; ++e)
        for (size_t p = 0; p < names.size(); ++p)
            d.values.push_back(float((e * (int(p) + 3) * 7919 + seed * 31 + int(p) * 131) % 1000));
    return d;
}

std::unique_ptr<TGate> square(int n, int cx, int cy, double lo, double hi, const std::string& name, TColor color)
{
    TVector x(size_t(n), 0.0), y(size_t(n), 0.0);
    x[size_t(cx)] = 1;
    y[size_t(cy)] = 1;
    auto g = std::make_unique<TGate>(x, y, TVector{lo, hi, hi, lo, lo}, TVector{lo, lo, hi, hi, lo});
    g->name = name;
    g->color = color;
    return g;
}

TData* gated(TDataList& list, TData* parent, std::unique_ptr<TGate> gate)
{
    TData* d = TData::Gated(parent, gate.get());
    EXPECT_NE(d, nullptr);
    list.Add(d);
    return d;
}

// Data set datasetnum of path and the rest of its chain, as the program reads them.
TData* openFile(const std::string& path, int datasetnum)
{
    RecordingSink quiet;
    MessageSink* previous = setDefaultSink(&quiet);
    TData* d = TData::TryOpen(path, datasetnum);
    setDefaultSink(previous);
    return d;
}

// Everything a reopened session must show again: every data set's full name,
// events and native colour, depth-first under each root.
std::map<std::string, std::pair<int, TColor>> shape(const TDataList& list)
{
    std::map<std::string, std::pair<int, TColor>> out;
    for (TData* d : list.items()) out[d->FullName() + "#" + std::to_string(d->datasetnum)] = {d->events(), d->NativeColor()};
    return out;
}

// A session in folder/session: a.fcs (three parameters) gated A > A1 and a
// channel selection S, and the second data set of b.fcs gated B; some events
// of a painted by hand; a data set made in the program; a plot window on A1.
struct Session {
    test::Workspace ws;
    fs::path dir;
    std::string a, b, file;
    TData* A1 = nullptr;
    PlotWindowState state;

    explicit Session(const fs::path& folder) : dir(folder / "session")
    {
        fs::create_directories(dir);
        a = (dir / "a.fcs").string();
        b = (dir / "b.fcs").string();
        file = (dir / "w.orw").string();
        // A Latin-1 name (not UTF-8) must come back byte for byte for the gates to find it.
        EXPECT_TRUE(fixtures::writeFcs30(a, {dataSet({"FSC-A", "SSC-A", "FL1-\xB5"}, 300, 1)}));
        EXPECT_TRUE(fixtures::writeFcs30(b, {dataSet({"FSC-A", "SSC-A"}, 100, 2), dataSet({"FSC-A", "SSC-A"}, 200, 3)}));

        TData* ra = openFile(a, 0);
        ws.list.Add(ra);
        TData* A = gated(ws.list, ra, square(3, 0, 1, 100, 700, "A", 0x0000FF));
        A1 = gated(ws.list, A, square(3, 2, 0, 200, 900, "A1", 0x00FF00));
        gated(ws.list, ra, std::make_unique<TGate>(TGateType::gtSubChannel, TIntVector{0, 2}));
        for (int e = 0; e < 10; ++e) ra->SetColor(e, 0x123456);

        TData* first = openFile(b, 0);
        if (!first || !first->NextData) throw std::runtime_error("b.fcs did not open with two data sets");
        TData* second = first->NextData;
        first->NextData = nullptr;
        first->UseIt();
        TData::Free(first);
        ws.list.Add(second);
        gated(ws.list, second, square(2, 1, 0, 0, 400, "B", 0xFF0000));

        ws.list.Add(TData::Create("made here", 2, 5));

        state.page = 1;
        state.scatter.x = {2};
        state.scatter.y = {0};
        state.scatter.yLinToLog = true;
        state.components.multi = true;
        state.left = 10;
        state.top = 20;
        state.width = 640;
        state.height = 480;
    }
};

}  // namespace

TEST(Workspace, MovedTogetherWithItsFilesOpensTheSameSession)
{
    TempDir tmp;
    Session s(tmp.path());
    const auto before = shape(s.ws.list);
    const TColors colors = s.ws.list.GetData(0)->fcolor;
    const std::string a1Name = s.A1->FullName();
    const auto skipped = SaveWorkspace(s.file, s.ws.list, {{s.A1, s.state}});
    EXPECT_EQ(skipped, std::vector<std::string>{"made here"});
    EXPECT_NE(test::slurp(s.file).find("\r\n"), std::string::npos);

    fs::rename(s.dir, tmp.path() / "moved");
    s.ws.list.Clear();
    const std::string moved = (tmp.path() / "moved" / "w.orw").string();
    const WorkspaceDocument doc = ReadWorkspace(moved);
    const WorkspaceOpenResult r = BuildWorkspace(doc, s.ws.list, openFile);

    EXPECT_TRUE(r.complete()) << r.report("w.orw");
    auto expected = before;
    expected.erase("made here#0");
    EXPECT_EQ(shape(s.ws.list), expected);
    EXPECT_EQ(r.added.size(), s.ws.list.items().size());
    TData* ra = r.added.at(0);
    EXPECT_EQ(fs::path(ra->FileName()).parent_path(), tmp.path() / "moved");
    EXPECT_EQ(ra->fcolor, colors);
    ASSERT_EQ(r.windows.size(), 1u);
    EXPECT_EQ(r.windows[0].data->FullName(), a1Name);
    EXPECT_EQ(r.windows[0].state, s.state);
    // Only the data set made in the program is named, as left out.
    EXPECT_EQ(r.report("w.orw"),
              "Workspace w.orw was opened.\nNot in the workspace because they were not opened from a file: made here.");
}

TEST(Workspace, MissingFilesAreNamedAndTheRestIsOpened)
{
    TempDir tmp;
    Session s(tmp.path());
    const auto before = shape(s.ws.list);
    SaveWorkspace(s.file, s.ws.list, {{s.A1, s.state}, {s.ws.list.GetData(5), s.state}});
    s.ws.list.Clear();

    // Only the workspace moves: its files are found by their absolute paths.
    const std::string alone = (tmp.path() / "alone.orw").string();
    fs::rename(s.file, alone);
    {
        test::Workspace ws;
        const WorkspaceOpenResult r = BuildWorkspace(ReadWorkspace(alone), ws.list, openFile);
        EXPECT_TRUE(r.complete()) << r.report("alone.orw");
        EXPECT_EQ(r.windows.size(), 2u);
    }

    fs::remove(s.b);
    test::Workspace ws;
    const WorkspaceOpenResult r = BuildWorkspace(ReadWorkspace(alone), ws.list, openFile);
    EXPECT_FALSE(r.complete());
    EXPECT_EQ(r.missingFiles, std::vector<std::string>{s.b});
    EXPECT_NE(r.report("alone.orw").find("was opened only in part"), std::string::npos);
    EXPECT_NE(r.report("alone.orw").find(s.b), std::string::npos);
    // a.fcs and its whole tree are there; the window on b's gate is not.
    auto expected = before;
    for (auto it = expected.begin(); it != expected.end();)
        it = it->first.rfind("b", 0) == 0 || it->first.rfind("made", 0) == 0 ? expected.erase(it) : std::next(it);
    EXPECT_EQ(shape(ws.list), expected);
    ASSERT_EQ(r.windows.size(), 1u);
    EXPECT_EQ(r.windows[0].data->ShortName(), "A1");
}

TEST(Workspace, ChangedFileIsReportedNotPassedOffAsTheSavedOne)
{
    TempDir tmp;
    Session s(tmp.path());
    SaveWorkspace(s.file, s.ws.list, {});
    s.ws.list.Clear();
    // a.fcs replaced by a file without FL1 and with other events; b.fcs by one data set.
    ASSERT_TRUE(fixtures::writeFcs30(s.a, {dataSet({"SSC-A", "FSC-A"}, 250, 7)}));
    ASSERT_TRUE(fixtures::writeFcs30(s.b, {dataSet({"FSC-A", "SSC-A"}, 100, 2)}));
    test::Workspace ws;
    const WorkspaceOpenResult r = BuildWorkspace(ReadWorkspace(s.file), ws.list, openFile);
    EXPECT_FALSE(r.complete());
    EXPECT_EQ(r.missingDataSets, std::vector<std::string>{"data set 1 of " + s.b});
    EXPECT_EQ(r.missingParameters, std::vector<std::string>{"a: FL1-\xB5"});
    // A is gated on FSC and SSC, found by name; A1 and S need FL1.
    EXPECT_EQ(r.failedGates, (std::vector<std::string>{"a/A/A1", "a/Gate_1"}));
    ASSERT_FALSE(r.changedCounts.empty());
    EXPECT_EQ(r.changedCounts[0], "a has 250 events, 300 when saved");
    ASSERT_EQ(ws.list.Count(), 2);
    EXPECT_EQ(ws.list.GetData(1)->ShortName(), "A");
}

TEST(Workspace, DamagedOrHandEditedFilesAreRefusedBeforeAnythingOpens)
{
    TempDir tmp;
    Session s(tmp.path());
    SaveWorkspace(s.file, s.ws.list, {{s.A1, s.state}});
    const std::string text = test::slurp(s.file);
    const Json good = Json::parse(text);
    auto edited = [&](const std::function<void(Json&)>& edit) {
        Json j = good;
        edit(j);
        return j.dump();
    };
    struct Case {
        std::string name, bytes, message;
    };
    const Case cases[] = {
        {"cut", text.substr(0, text.size() / 2), "is damaged: it is cut"},
        {"empty", "", "is damaged: it is cut"},
        {"protocol", " ORP\x02", "is damaged: it is cut"},
        {"other json", R"({"format": "something else"})", "is damaged: it is not an Orvala workspace"},
        {"newer", edited([](Json& j) { j["version"] = 2; }), "was written by a newer version"},
        {"record edited", edited([](Json& j) { j["dataSets"][0]["gates"][0]["record"] = "AAAA"; }),
         "dataSets[0].gates[0].record is not a readable record"},
        {"record not base64", edited([](Json& j) { j["dataSets"][0]["gates"][0]["record"] = "A*BC"; }),
         "dataSets[0].gates[0].record is not a base64 record"},
        {"no file", edited([](Json& j) { j["dataSets"][1].erase("file"); }), "dataSets[1] has no \"file\""},
        {"id twice", edited([](Json& j) { j["dataSets"][1]["id"] = 0; }), "id 0 is used twice"},
        {"window on nothing", edited([](Json& j) { j["windows"][0]["data"] = 999; }),
         "windows[0].data names no data set"},
        {"colours cut", edited([](Json& j) { j["dataSets"][0]["events"] = 301; }),
         "eventColors.indices does not hold one entry per event"},
        {"count as text", edited([](Json& j) { j["dataSets"][0]["file"]["dataSet"] = "0"; }),
         "dataSet is not a whole number"},
        {"negative axis entry", edited([](Json& j) { j["windows"][0]["scatter"]["x"] = {-1}; }),
         "scatter.x holds something that is not an entry number"},
    };
    for (const Case& c : cases) {
        const std::string path = tmp.write("bad.orw", c.bytes);
        try {
            ReadWorkspace(path);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const OrvalaError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("Workspace file " + path, 0), 0u) << c.name << ": " << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
        }
    }
    EXPECT_THROW(ReadWorkspace(tmp.file("none.orw")), OrvalaError);
}

TEST(Workspace, FailedSaveKeepsThePreviousFile)
{
    TempDir tmp;
    Session s(tmp.path());
    const std::string previous = tmp.write("w.orw", "previous");
    fs::create_directories(previous + ".part");
    EXPECT_THROW(SaveWorkspace(previous, s.ws.list, {}), OrvalaError);
    EXPECT_EQ(test::slurp(previous), "previous");
    try {
        SaveWorkspace(tmp.file("no/such/folder/w.orw"), s.ws.list, {});
        FAIL();
    } catch (const OrvalaError& e) {
        EXPECT_EQ(std::string(e.what()), "Can not create file: " + tmp.file("no/such/folder/w.orw"));
    }
}

TEST(Workspace, FingerprintFollowsTheGates)
{
    test::Workspace ws;
    TData* root = ws.root("r", 2, 50);
    EXPECT_FALSE(HasGates(ws.list));
    const uint64_t empty = GateFingerprint(ws.list);
    TData* g = gated(ws.list, root, square(2, 0, 1, 0, 200, "G", 1));
    EXPECT_TRUE(HasGates(ws.list));
    const uint64_t one = GateFingerprint(ws.list);
    EXPECT_NE(one, empty);
    EXPECT_EQ(GateFingerprint(ws.list), one);
    g->setShortName("H");
    EXPECT_NE(GateFingerprint(ws.list), one);
    g->setShortName("G");
    EXPECT_EQ(GateFingerprint(ws.list), one);
    g->setNativeColor(2);
    EXPECT_NE(GateFingerprint(ws.list), one);
}
