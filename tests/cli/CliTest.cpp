// Runs the orvala-cli executable on files written here and checks its output
// against what the libraries compute directly.
#include <gtest/gtest.h>

#include <QImage>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "cli/CliRun.h"
#include "common/TempDir.h"
#include "FcsFixtureWriter.h"
#include "cli/RenderLayout.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "formats/TFCSWrite.h"
#include "formats/TextLogOpen.h"
#include "plot/PixelMap.h"
#include "parallel/TMultiThread.h"
#include "protocol/Protocol.h"
#include "protocol/Workspace.h"

using namespace orvala;
namespace fs = std::filesystem;

namespace {

using orvala::test::slurp;
using orvala::test::TempDir;

using orvala::test::CliRun;
using orvala::test::quoted;
using orvala::test::runCli;

using orvala::test::lineCount;

// A data set whose column c of event e is f(e, c), written with SaveAsFCS.
template <class F>
void writeData(const std::string& path, const std::vector<std::string>& names, int events, F f)
{
    std::unique_ptr<TData> d(TData::Create("fixture", int(names.size()), events));
    for (size_t c = 0; c < names.size(); ++c) d->Desc()[c].name = names[c];
    for (int e = 0; e < events; ++e)
        for (int c = 0; c < int(names.size()); ++c) d->data[e][c] = f(e, c);
    SaveAsFCS(*d, path);
}

struct Opened {
    RecordingSink sink;
    std::vector<DataRef> chain;
    explicit Opened(const std::string& path)
    {
        MessageSink* previous = setDefaultSink(&sink);
        TData* d = TData::TryOpen(path, 0);
        setDefaultSink(previous);
        for (; d; d = d->NextData) chain.emplace_back(d);
    }
};

std::vector<std::vector<std::string>> readTsv(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> cells;
        size_t start = 0;
        while (true) {
            const size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

fixtures::FcsDataSet smallSet(int events, float base, const std::string& extraKey)
{
    fixtures::FcsDataSet s;
    s.parameters = {{"FSC", "", 1024}, {"SSC", "Side", 4096}};
    for (int e = 0; e < events; ++e) {
        s.values.push_back(base + float(e));
        s.values.push_back(2 * base - float(e) * 0.5f);
    }
    s.keywords = {{extraKey, "value of " + extraKey}, {"$CYT", "Bench"}};
    return s;
}

}  // namespace

TEST(OrvalaCli, EverySubcommandHasHelp)
{
    TempDir tmp;
    for (const std::string sub : {"info", "export", "apply", "render"}) {
        const CliRun r = runCli(tmp, {sub, "--help"});
        EXPECT_EQ(r.code, 0) << sub;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << sub;
    }
    EXPECT_NE(runCli(tmp, {}).code, 0);
}

TEST(OrvalaCli, InfoDescribesBothDataSetsOfAFile)
{
    TempDir tmp;
    const std::string file = tmp.file("two.fcs");
    ASSERT_TRUE(fixtures::writeFcs30(file, {smallSet(7, 100, "FIRSTKEY"), smallSet(5, 300, "SECONDKEY")}));

    const CliRun text = runCli(tmp, {"info", file});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("data set 0"), std::string::npos);
    EXPECT_NE(text.out.find("data set 1"), std::string::npos);

    const CliRun r = runCli(tmp, {"info", "--json", "--keywords", file});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 1u);
    const auto& sets = j[0]["datasets"];
    ASSERT_EQ(sets.size(), 2u);
    const int events[2] = {7, 5};
    const float base[2] = {100, 300};
    const char* key[2] = {"FIRSTKEY", "SECONDKEY"};
    for (int k = 0; k < 2; ++k) {
        const auto& s = sets[size_t(k)];
        EXPECT_EQ(s["version"], "FCS3.0");
        EXPECT_EQ(s["datatype"], "F");
        EXPECT_EQ(s["events"], events[k]);
        ASSERT_EQ(s["parameters"].size(), 2u);
        EXPECT_EQ(s["parameters"][0]["name"], "FSC");
        EXPECT_EQ(s["parameters"][0]["PnR"], "1024");
        EXPECT_EQ(s["parameters"][1]["PnR"], "4096");
        EXPECT_EQ(s["parameters"][0]["log"], false);
        EXPECT_DOUBLE_EQ(s["parameters"][0]["min"].get<double>(), base[k]);
        EXPECT_DOUBLE_EQ(s["parameters"][0]["max"].get<double>(), base[k] + events[k] - 1);
        EXPECT_DOUBLE_EQ(s["parameters"][1]["min"].get<double>(), 2 * base[k] - (events[k] - 1) * 0.5);
        // The whole TEXT in file order: $CYT follows this data set's own keyword.
        std::vector<std::string> keys;
        for (const auto& kv : s["keywords"]) keys.push_back(kv[0]);
        const auto own = std::find(keys.begin(), keys.end(), key[k]);
        ASSERT_NE(own, keys.end());
        ASSERT_NE(own + 1, keys.end());
        EXPECT_EQ(*(own + 1), "$CYT");
        EXPECT_EQ(std::find(keys.begin(), keys.end(), key[1 - k]), keys.end());
    }
}

// Ranges of a file large enough to be scanned in many chunks at once: NaN is
// left out, infinities count, and of two zero extremes the first one read is
// the one reported, whichever sign it has, as a plain loop over the events.
TEST(OrvalaCli, InfoRangesOfALargeFileAreThoseOfOnePassInOrder)
{
    TempDir tmp;
    const std::string file = tmp.file("large.fcs");
    constexpr int events = 200000;
    fixtures::FcsDataSet s;
    s.parameters = {{"A", "", 1024}, {"B", "", 1024}, {"C", "", 1024}};
    for (int e = 0; e < events; ++e) {
        s.values.push_back(5.0f + float(e % 1000));
        s.values.push_back(5.0f + float(e % 777));
        s.values.push_back(float(e % 5000) - 3.0f);
    }
    auto at = [&](int e, int c) -> float& { return s.values[size_t(e) * 3 + size_t(c)]; };
    at(3000, 0) = -0.0f;
    at(150000, 0) = 0.0f;
    at(4000, 1) = 0.0f;
    at(160000, 1) = -0.0f;
    at(0, 2) = std::nanf("");
    at(100000, 2) = std::nanf("");
    at(123456, 2) = -7.0f;
    at(199999, 2) = 1e6f;
    ASSERT_TRUE(fixtures::writeFcs30(file, {s}));

    const CliRun r = runCli(tmp, {"info", "--json", file});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    const auto& pars = j[0]["datasets"][0]["parameters"];
    ASSERT_EQ(pars.size(), 3u);
    const double min0 = pars[0]["min"].get<double>(), min1 = pars[1]["min"].get<double>();
    EXPECT_EQ(min0, 0.0);
    EXPECT_TRUE(std::signbit(min0)) << "the -0 read first";
    EXPECT_EQ(min1, 0.0);
    EXPECT_FALSE(std::signbit(min1)) << "the +0 read first";
    EXPECT_EQ(pars[0]["max"].get<double>(), 1004.0);
    EXPECT_EQ(pars[1]["max"].get<double>(), 781.0);
    EXPECT_EQ(pars[2]["min"].get<double>(), -7.0);
    EXPECT_EQ(pars[2]["max"].get<double>(), 1e6);

    // Infinities are values like any other (JSON has no word for them: text output).
    at(50, 2) = -INFINITY;
    at(190000, 2) = INFINITY;
    ASSERT_TRUE(fixtures::writeFcs30(file, {s}));
    const CliRun t = runCli(tmp, {"info", file});
    ASSERT_EQ(t.code, 0) << t.err;
    EXPECT_NE(t.out.find(" -inf "), std::string::npos) << t.out;
    EXPECT_NE(t.out.find(" inf"), std::string::npos) << t.out;
}

TEST(OrvalaCli, InfoOnAMissingFileFailsWithOneLine)
{
    TempDir tmp;
    const CliRun r = runCli(tmp, {"info", tmp.file("absent.fcs")});
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("absent.fcs"), std::string::npos);
}

TEST(OrvalaCli, ExportToFcsReadsBackEqual)
{
    TempDir tmp;
    const std::string file = tmp.file("two.fcs");
    ASSERT_TRUE(fixtures::writeFcs30(file, {smallSet(7, 100, "A"), smallSet(5, 300, "B")}));
    const std::string out = tmp.file("second.fcs");
    const CliRun r = runCli(tmp, {"export", file, "--to", out, "--dataset", "1"});
    ASSERT_EQ(r.code, 0) << r.err;

    Opened source(file), copy(out);
    ASSERT_EQ(source.chain.size(), 2u);
    ASSERT_EQ(copy.chain.size(), 1u);
    const TData& a = *source.chain[1];
    const TData& b = *copy.chain[0];
    ASSERT_EQ(b.events(), a.events());
    ASSERT_EQ(b.CaseSize(), a.CaseSize());
    for (int c = 0; c < a.CaseSize(); ++c) EXPECT_EQ(b.Desc()[size_t(c)].name, a.Desc()[size_t(c)].name);
    for (int e = 0; e < a.events(); ++e)
        for (int c = 0; c < a.CaseSize(); ++c) EXPECT_EQ(b.data[e][c], a.data[e][c]) << e << "," << c;
}

TEST(OrvalaCli, ExportToTextIsTheSaveAsTxtLayout)
{
    TempDir tmp;
    const std::string file = tmp.file("d.fcs");
    writeData(file, {"FSC-A", "SSC-A", "FL1"}, 50, [](int e, int c) { return e * 1.25 - c * 3; });
    Opened source(file);
    ASSERT_EQ(source.chain.size(), 1u);
    for (const bool scaled : {false, true}) {
        const std::string expected = tmp.file("expected.txt"), out = tmp.file("out.txt");
        SaveAsTXT(*source.chain[0], expected, scaled);
        std::vector<std::string> args = {"export", file, "--to", out};
        if (scaled) args.push_back("--scale");
        const CliRun r = runCli(tmp, args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(slurp(out), slurp(expected)) << "scaled " << scaled;
        EXPECT_EQ(slurp(out).rfind("FSC-A\tSSC-A\tFL1\r\n", 0), 0u);
    }
}

TEST(OrvalaCli, ExportRefusesADataSetTheFileDoesNotHave)
{
    TempDir tmp;
    const std::string file = tmp.file("d.fcs");
    writeData(file, {"A", "B"}, 10, [](int e, int c) { return e + c; });
    for (const std::string n : {"1", "-1"}) {
        const CliRun r = runCli(tmp, {"export", file, "--to", tmp.file("o.fcs"), "--dataset", n});
        EXPECT_NE(r.code, 0) << n;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_FALSE(fs::exists(tmp.file("o.fcs")));
    }
    const CliRun r = runCli(tmp, {"export", file, "--to", tmp.file("o.csv")});
    EXPECT_NE(r.code, 0);
}

namespace {

// Gate A: the square [lo, hi]^2 on columns 0 and 1 of a casesize-column data set.
std::unique_ptr<TGate> squareGate(int casesize, double lo, double hi, const std::string& name)
{
    TVector x(size_t(casesize), 0.0), y(size_t(casesize), 0.0);
    x[0] = 1;
    y[1] = 1;
    auto g = std::make_unique<TGate>(x, y, TVector{lo, hi, hi, lo, lo}, TVector{lo, lo, hi, hi, lo});
    g->name = name;
    return g;
}

double cellValue(const std::string& s)
{
    return std::strtod(s.c_str(), nullptr);
}

// The protocol: A = [10, 60]^2, A/Inner = [20, 40]^2 under A, B = [50, 90]^2.
void writeProtocol(const std::string& path)
{
    TDataList list;
    TDataList* previous = TData::Workspace;
    TData::Workspace = &list;
    TData* root = TData::Create("template", 3, 1);
    // Protocols match parameters by name: the template is named like the files.
    root->Desc()[0].name = "X";
    root->Desc()[1].name = "Y";
    root->Desc()[2].name = "Z";
    list.Add(root);
    TData* a = TData::Gated(root, squareGate(3, 10, 60, "A").get());
    list.Add(a);
    list.Add(TData::Gated(a, squareGate(3, 20, 40, "Inner").get()));
    list.Add(TData::Gated(root, squareGate(3, 50, 90, "B").get()));
    SaveProtocol(*root, path);
    list.Clear();
    TData::Workspace = previous;
}

// What the library gives for file: gate path -> the gated data set's events and column 2 mean.
std::map<std::string, std::pair<int, double>> expectedGates(const std::string& file, const std::string& protocol)
{
    std::map<std::string, std::pair<int, double>> result;
    Opened opened(file);
    TDataList list;
    TDataList* previous = TData::Workspace;
    TData::Workspace = &list;
    TData* root = opened.chain.at(0).get();
    list.Add(root);
    for (TData* d : LoadProtocol(*root, protocol, list)) {
        std::string path = d->ShortName();
        if (d->Parent() != root) path = d->Parent()->ShortName() + "/" + path;
        double sum = 0;
        for (int e = 0; e < d->events(); ++e) sum += d->data[e][2];
        result[path] = {d->events(), d->events() ? sum / d->events() : 0};
    }
    list.Clear();
    TData::Workspace = previous;
    opened.chain.clear();
    return result;
}

}  // namespace

TEST(OrvalaCli, ApplyGivesTheCountsOfTheLibrary)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        files.push_back(tmp.file("f" + std::to_string(k) + ".fcs"));
        // Spread differently per file so each gets its own counts.
        writeData(files.back(), {"X", "Y", "Z"}, 400 + 100 * k, [k](int e, int c) {
            // Scattered over [0, 100)^2 by a multiplicative hash.
            const uint32_t h = uint32_t(e) * 2654435761u ^ uint32_t(c * 40503 + k * 977) * 2246822519u;
            return c == 2 ? double(e % 7) : double((h >> 8) % 10000) / 100.0;
        });
    }
    const std::string stats = tmp.file("stats.tsv");
    std::vector<std::string> args = {"apply", protocol};
    args.insert(args.end(), files.begin(), files.end());
    args.insert(args.end(), {"--stats", stats, "--save-gated", tmp.file("gated")});
    const CliRun r = runCli(tmp, args);
    ASSERT_EQ(r.code, 0) << r.err;

    EXPECT_NE(slurp(stats).find("\r\n"), std::string::npos);
    const auto rows = readTsv(stats);
    ASSERT_FALSE(rows.empty());
    const std::vector<std::string> header = {"file",   "gate",     "events", "pct_parent", "pct_root", "error",
                                             "mean_X", "median_X", "mean_Y", "median_Y",   "mean_Z", "median_Z"};
    EXPECT_EQ(rows[0], header);
    ASSERT_EQ(rows.size(), 1u + 3 * 3);
    int checked = 0;
    for (const auto& file : files) {
        const auto expected = expectedGates(file, protocol);
        ASSERT_EQ(expected.size(), 3u);
        Opened whole(file);
        const int rootEvents = whole.chain.at(0)->events();
        for (const auto& row : rows) {
            if (row[0] != file) continue;
            ASSERT_EQ(row.size(), header.size());
            const auto it = expected.find(row[1]);
            ASSERT_NE(it, expected.end()) << row[1];
            EXPECT_EQ(std::stoi(row[2]), it->second.first) << file << " " << row[1];
            EXPECT_NEAR(cellValue(row[4]), 100.0 * it->second.first / rootEvents, 1e-9);
            if (row[1] == "A/Inner") {
                const int parent = expected.at("A").first;
                EXPECT_NEAR(cellValue(row[3]), 100.0 * it->second.first / parent, 1e-9);
            }
            if (it->second.first > 0) {
                EXPECT_NEAR(cellValue(row[10]), it->second.second, 1e-9);
            }
            ++checked;
        }
        EXPECT_GT(expected.at("A").first, expected.at("A/Inner").first);
        EXPECT_GT(expected.at("A/Inner").first, 0);
    }
    EXPECT_EQ(checked, 9);
    // Every non-empty gate of every file saved as FCS.
    EXPECT_TRUE(fs::exists(tmp.file("gated/f0_A_Inner.fcs")));
    Opened saved(tmp.file("gated/f1_A.fcs"));
    ASSERT_EQ(saved.chain.size(), 1u);
    EXPECT_EQ(saved.chain[0]->events(), expectedGates(files[1], protocol).at("A").first);
}

TEST(OrvalaCli, ApplyGoesOnPastACorruptFile)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    const std::string good1 = tmp.file("good1.fcs"), bad = tmp.file("bad.fcs"), good2 = tmp.file("good2.fcs");
    auto values = [](int e, int c) { return std::fmod(e * 0.61 + c * 7.0, 100.0); };
    writeData(good1, {"X", "Y", "Z"}, 300, values);
    writeData(good2, {"X", "Y", "Z"}, 500, values);
    // A real header followed by a cut-off TEXT segment.
    std::ofstream(bad, std::ios::binary) << slurp(good1).substr(0, 70);

    const std::string stats = tmp.file("stats.tsv");
    const CliRun r = runCli(tmp, {"apply", protocol, good1, bad, good2, "--stats", stats});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("bad.fcs"), std::string::npos) << r.err;
    const auto rows = readTsv(stats);
    int good1Rows = 0, good2Rows = 0, badRows = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        good1Rows += rows[i][0] == good1;
        good2Rows += rows[i][0] == good2;
        if (rows[i][0] == bad) {
            // The corrupt file is one row: no gate, no events, its message.
            ++badRows;
            ASSERT_EQ(rows[i].size(), 6u);
            EXPECT_EQ(rows[i][1], "");
            EXPECT_EQ(rows[i][2], "");
            EXPECT_NE(rows[i][5], "");
            EXPECT_NE(r.err.find(rows[i][5]), std::string::npos) << rows[i][5];
        }
    }
    EXPECT_EQ(good1Rows, 3);
    EXPECT_EQ(good2Rows, 3);
    EXPECT_EQ(badRows, 1);

    // The table goes through a temporary file: nothing is left beside it. A
    // symbolic link stays a link; the file it names gets the table.
    for (const auto& entry : fs::directory_iterator(tmp.path()))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
    const std::string linked = tmp.file("linked.tsv"), link = tmp.file("link.tsv");
    std::ofstream(linked) << "old";
    fs::create_symlink(linked, link);
    const CliRun throughLink = runCli(tmp, {"apply", protocol, good1, bad, good2, "--stats", link});
    EXPECT_EQ(throughLink.code, r.code);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(linked), slurp(stats));
    const CliRun noFolder = runCli(tmp, {"apply", protocol, good1, "--stats", tmp.file("no/such/folder.tsv")});
    EXPECT_NE(noFolder.code, 0);
    EXPECT_NE(noFolder.err.find("cannot create file"), std::string::npos) << noFolder.err;

    const CliRun noProtocol = runCli(tmp, {"apply", tmp.file("none.orp"), good1, "--stats", stats});
    EXPECT_NE(noProtocol.code, 0);
    EXPECT_EQ(lineCount(noProtocol.err), 1) << noProtocol.err;
}

TEST(OrvalaCli, ApplyTakesTheGatesOfAWorkspace)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    auto values = [](int e, int c) { return std::fmod(e * 0.61 + c * 7.0, 100.0); };
    const std::string file = tmp.file("f.fcs"), shuffled = tmp.file("template.fcs");
    writeData(file, {"X", "Y", "Z"}, 400, values);
    // The workspace was gated on a file whose parameters come as Y, Z, X.
    writeData(shuffled, {"Y", "Z", "X"}, 50, [&](int e, int c) { return values(e, (c + 1) % 3); });
    const std::string workspace = tmp.file("w.orw");
    {
        Opened opened(shuffled);
        TDataList list;
        TDataList* previous = TData::Workspace;
        TData::Workspace = &list;
        TData* root = opened.chain.at(0).get();
        list.Add(root);
        auto square = [](double lo, double hi, const std::string& name) {
            auto g = std::make_unique<TGate>(TVector{0, 0, 1}, TVector{1, 0, 0}, TVector{lo, hi, hi, lo, lo},
                                             TVector{lo, lo, hi, hi, lo});
            g->name = name;
            return g;
        };
        TData* a = TData::Gated(root, square(10, 60, "A").get());
        list.Add(a);
        list.Add(TData::Gated(a, square(20, 40, "Inner").get()));
        list.Add(TData::Gated(root, square(50, 90, "B").get()));
        SaveWorkspace(workspace, list, {});
        list.Clear();
        TData::Workspace = previous;
    }
    const std::string stats = tmp.file("stats.tsv");
    const CliRun r = runCli(tmp, {"apply", workspace, file, "--stats", stats});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto expected = expectedGates(file, protocol);
    const auto rows = readTsv(stats);
    ASSERT_EQ(rows.size(), 1u + expected.size());
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto it = expected.find(rows[i][1]);
        ASSERT_NE(it, expected.end()) << rows[i][1];
        EXPECT_EQ(std::stoi(rows[i][2]), it->second.first) << rows[i][1];
    }
    EXPECT_GT(expected.at("A/Inner").first, 0);

    // A workspace cut short is refused before any file is read.
    std::ofstream(tmp.file("cut.orw"), std::ios::binary) << slurp(workspace).substr(0, 100);
    const CliRun cut = runCli(tmp, {"apply", tmp.file("cut.orw"), file, "--stats", stats});
    EXPECT_NE(cut.code, 0);
    EXPECT_NE(cut.err.find("is damaged"), std::string::npos) << cut.err;
}

TEST(OrvalaCli, RenderDrawsTheRenderersMap)
{
    TempDir tmp;
    const std::string file = tmp.file("d.fcs");
    writeData(file, {"FSC", "SSC", "FL1"}, 5000, [](int e, int c) {
        return c == 0 ? std::fmod(e * 7.3, 1000.0) : c == 1 ? std::fmod(e * e * 0.013, 500.0) + 20 : e % 11;
    });
    const int W = 320, H = 240;
    const std::string png = tmp.file("map.png");
    const CliRun r = runCli(tmp, {"render", file, "--x", "FSC", "--y", "SSC+FL1", "--size", "320x240", "--png", png});
    ASSERT_EQ(r.code, 0) << r.err;
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    ASSERT_EQ(img.width(), W);
    ASSERT_EQ(img.height(), H);

    // The same map straight from the renderer.
    Opened opened(file);
    const TData& d = *opened.chain.at(0);
    std::vector<double> xs, ys;
    for (int e = 0; e < d.events(); ++e) {
        xs.push_back(d.data[e][0]);
        ys.push_back(d.data[e][1] + d.data[e][2]);
    }
    const auto [x0, x1] = std::minmax_element(xs.begin(), xs.end());
    const auto [y0, y1] = std::minmax_element(ys.begin(), ys.end());
    const cli::PlotArea area = cli::plotArea(W, H);
    TMultiThread pool(2);
    TMapper mapper(&pool);
    mapper.xx = xs.data();
    mapper.yy = ys.data();
    mapper.DataSize = int(xs.size());
    const auto points = RenderPixelMap(mapper, area.width - 1, area.height - 1, *x0, *x1, *y0, *y1);
    ASSERT_FALSE(points.empty());
    std::vector<QRgb> expected(size_t(area.width) * size_t(area.height), qRgb(255, 255, 255));
    const TMapData& mi = mapper.MapInfo;
    for (const auto& p : points) {
        const int col = int(std::lrint((p.x - mi.cminx) * mi.scalex));
        const int row = int(std::lrint((p.y - mi.cminy) * mi.scaley));
        ASSERT_TRUE(col >= 0 && col < area.width && row >= 0 && row < area.height);
        expected[size_t(area.height - 1 - row) * size_t(area.width) + size_t(col)] =
            qRgb(int(p.color & 0xFF), int((p.color >> 8) & 0xFF), int((p.color >> 16) & 0xFF));
    }
    int mismatches = 0, coloured = 0;
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x) {
            const QRgb got = img.pixel(area.left + x, area.top + y) & 0xFFFFFF;
            const QRgb want = expected[size_t(y) * size_t(area.width) + size_t(x)] & 0xFFFFFF;
            mismatches += got != want;
            coloured += got != 0xFFFFFF;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(coloured, int(points.size()));
    // Axes and labels live in the margins.
    int marks = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < area.left; ++x) marks += (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(marks, 100);
}

TEST(OrvalaCli, RenderHistogramAndRefusals)
{
    TempDir tmp;
    const std::string file = tmp.file("d.fcs");
    writeData(file, {"FSC", "SSC"}, 2000, [](int e, int c) { return c == 0 ? (e % 50) * 10.0 : e; });
    const std::string png = tmp.file("h.png");
    const CliRun r = runCli(tmp, {"render", file, "--x", "FSC", "--xscale", "linlog", "--size", "300x200", "--png", png});
    ASSERT_EQ(r.code, 0) << r.err;
    QImage img(QString::fromStdString(png));
    ASSERT_EQ(img.size(), QSize(300, 200));
    const cli::PlotArea area = cli::plotArea(300, 200);
    int bars = 0;
    for (int x = 0; x < area.width; ++x) bars += (img.pixel(area.left + x, area.top + area.height - 1) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(bars, 0);

    struct Case {
        std::vector<std::string> args;
        const char* why;
    };
    const std::vector<Case> cases = {
        {{"--x", "Nope", "--y", "SSC"}, "unknown parameter"},
        {{"--x", "FSC+Nope"}, "unknown parameter"},
        {{"--x", "FSC", "--size", "20x20"}, "no room"},
        {{"--x", "FSC", "--size", "wide"}, "WxH"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"render", file, "--png", tmp.file("x.png")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun bad = runCli(tmp, args);
        EXPECT_NE(bad.code, 0) << c.why;
        EXPECT_EQ(lineCount(bad.err), 1) << bad.err;
        EXPECT_NE(bad.err.find(c.why), std::string::npos) << bad.err;
        EXPECT_FALSE(fs::exists(tmp.file("x.png")));
    }
}

TEST(OrvalaCli, NumbersKeepTheDecimalPointUnderACommaLocale)
{
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) {
            comma = name;
            break;
        }
    std::setlocale(LC_ALL, "C");
    if (!comma) GTEST_SKIP() << "no comma-decimal locale installed";
    const std::string env = std::string("LC_ALL=") + comma;

    TempDir tmp;
    const std::string file = tmp.file("d.fcs"), protocol = tmp.file("p.orp"), stats = tmp.file("s.tsv");
    writeProtocol(protocol);
    writeData(file, {"X", "Y", "Z"}, 7, [](int e, int c) { return 12.5 + e * 7.25 + c; });
    const CliRun info = runCli(tmp, {"info", "--json", file}, env);
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_DOUBLE_EQ(nlohmann::json::parse(info.out)[0]["datasets"][0]["parameters"][0]["max"].get<double>(),
                     12.5 + 6 * 7.25);
    const CliRun apply = runCli(tmp, {"apply", protocol, file, "--stats", stats}, env);
    ASSERT_EQ(apply.code, 0) << apply.err;
    const auto rows = readTsv(stats);
    ASSERT_GE(rows.size(), 2u);
    // Means such as 34.25 and the medians are fractional.
    for (size_t i = 1; i < rows.size(); ++i)
        for (size_t c = 2; c < rows[i].size(); ++c) EXPECT_EQ(rows[i][c].find(','), std::string::npos) << rows[i][c];
    EXPECT_EQ(rows[1][1], "A");
    EXPECT_EQ(rows[1][6], "34.25");
    const std::string render = tmp.file("r.png");
    const CliRun r = runCli(tmp, {"render", file, "--x", "X", "--png", render}, env);
    EXPECT_EQ(r.code, 0) << r.err;
}

namespace {

void putBigEndian(std::string& s, uint16_t w)
{
    s += char(w >> 8);
    s += char(w & 0xFF);
}

// An iQSP-480 log of 32 channels (74-byte packets) and a 32-channel log, from their layouts.
std::string iqsp480Log(int packets)
{
    std::string s = "Vtech iQSP-480";
    s.resize(66, ' ');
    for (int k = 0; k < 2000; ++k) putBigEndian(s, k == 3 ? 32 : 0);
    for (int p = 0; p < packets; ++p) {
        putBigEndian(s, 0x8000);
        for (int block = 0; block < 4; ++block) {
            for (int i = 0; i < 8; ++i) putBigEndian(s, uint16_t(p * 100 + block * 8 + i));
            putBigEndian(s, 0x0001);
        }
    }
    return s;
}

std::string channelLog(int records)
{
    std::string s(64, ' ');
    putBigEndian(s, 0);
    for (int r = 0; r < records; ++r) {
        putBigEndian(s, 0);
        for (int i = 0; i < 32; ++i) putBigEndian(s, uint16_t(int16_t(r - i)));
    }
    return s;
}

}  // namespace

// info and export read instrument logs and text tables; the text layout comes
// from options that stand for the workbench's "File Format" dialog.
TEST(OrvalaCli, InfoAndExportReadLogsAndTextTables)
{
    TempDir tmp;
    std::string converter = "iQSP Logfile to Textfile Converter\r\n";
    for (int line = 2; line < 20; ++line) converter += "-\r\n";
    converter += "a\tb\tc\td\te\tV1\tV2\r\n0\t0\t0\t0\t0\t1.5\t2\r\n0\t0\t0\t0\t0\tERR\t3\r\n0\t0\t0\t0\t0\t4\t-5\r\n";
    struct Case {
        const char* label;
        std::string name, bytes;
        std::vector<std::string> options;
        int events, parameters;
        std::string firstName;
        TextFormat format;
        int limit;
    };
    TextFormat commaNamed;
    commaNamed.Tab = false;
    commaNamed.Comma = true;
    commaNamed.evetnam = true;
    const Case cases[] = {
        {"iQSP-480 log", "a.log", iqsp480Log(3), {}, 3, 32, "Ch0", {}, 0},
        {"32-channel log under a limit", "b.log", channelLog(5), {"--limit", "4"}, 4, 32, "Ch1", {}, 4},
        {"converter text", "c.txt", converter, {}, 2, 2, "V1", {}, 0},
        {"comma table with event names", "d.txt", "x,1,2\ny,,3,4\nz,5,6\n",
         {"--delimiters", "comma", "--event-names"}, 3, 2, "Ch1", commaNamed, 0},
    };
    for (const Case& k : cases) {
        const std::string file = tmp.write(k.name, k.bytes);
        std::vector<std::string> args = {"info", "--json", file};
        args.insert(args.end(), k.options.begin(), k.options.end());
        const CliRun info = runCli(tmp, args);
        ASSERT_EQ(info.code, 0) << k.label << ": " << info.err;
        const auto set = nlohmann::json::parse(info.out)[0]["datasets"][0];
        EXPECT_EQ(set["events"], k.events) << k.label;
        ASSERT_EQ(set["parameters"].size(), size_t(k.parameters)) << k.label;
        EXPECT_EQ(set["parameters"][0]["name"], k.firstName) << k.label;

        // export writes what the library reads and "Save As TXT" writes.
        const std::string out = tmp.file("out.txt"), expected = tmp.file("expected.txt");
        args = {"export", file, "--to", out};
        args.insert(args.end(), k.options.begin(), k.options.end());
        const CliRun exp = runCli(tmp, args);
        ASSERT_EQ(exp.code, 0) << k.label << ": " << exp.err;
        ReadOptions o;
        o.Text = k.format;
        o.EventLimit = k.limit;
        std::unique_ptr<TData> d(CreateFromTextOrLog(file, o, nullptr));
        ASSERT_EQ(d->events(), k.events) << k.label;
        SaveAsTXT(*d, expected, false);
        EXPECT_EQ(slurp(out), slurp(expected)) << k.label;
    }

    // "Save As TXT" output reads back through --names.
    const std::string back = tmp.file("back.txt");
    ASSERT_EQ(runCli(tmp, {"export", tmp.file("a.log"), "--to", back}).code, 0);
    const CliRun again = runCli(tmp, {"info", "--json", "--names", back});
    ASSERT_EQ(again.code, 0) << again.err;
    const auto set = nlohmann::json::parse(again.out)[0]["datasets"][0];
    EXPECT_EQ(set["events"], 3);
    EXPECT_EQ(set["parameters"][31]["name"], "Ch31");
    EXPECT_DOUBLE_EQ(set["parameters"][1]["max"].get<double>(), 201 * 560.0 / 16384);

    // A value that is not a number names its line; an unknown delimiter is refused.
    const CliRun bad = runCli(tmp, {"info", tmp.write("bad.txt", "1\t2\n3\tx\n")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
    EXPECT_NE(runCli(tmp, {"info", "--delimiters", "semicolon", back}).code, 0);
}
