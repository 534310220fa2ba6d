// orvala-cli apply over a file list split into shards, and merge: the merged
// table must be the one table a single run writes, byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <sys/wait.h>

#include "cli/CliRun.h"
#include "common/TempDir.h"
#include "FcsFixtureWriter.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "protocol/Protocol.h"

using namespace orvala;
namespace fs = std::filesystem;

namespace {

using orvala::test::slurp;
using orvala::test::TempDir;

const std::string headerStart = "file\tgate\tevents\tpct_parent\tpct_root\terror";

using orvala::test::CliRun;
using orvala::test::quoted;
using orvala::test::runCli;

using orvala::test::lineCount;

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
        if (!line.empty() && line.back() == '\t') cells.emplace_back();
        rows.push_back(std::move(cells));
    }
    return rows;
}

// An FCS file of `events` events on the named parameters, scattered over
// [0, 100) by a multiplicative hash so each file gets its own gate counts.
void writeFile(const std::string& path, const std::vector<std::string>& names, int events, uint32_t seed)
{
    fixtures::FcsDataSet s;
    for (const auto& n : names) s.parameters.push_back({n, "", 1024});
    for (int e = 0; e < events; ++e)
        for (size_t c = 0; c < names.size(); ++c) {
            const uint32_t h = (uint32_t(e) * 2654435761u) ^ (uint32_t(c * 40503 + seed * 977) * 2246822519u);
            s.values.push_back(float((h >> 8) % 10000) / 100.0f);
        }
    ASSERT_TRUE(fixtures::writeFcs30(path, {s}));
}

std::unique_ptr<TGate> squareGate(double lo, double hi, const std::string& name)
{
    auto g = std::make_unique<TGate>(TVector{1, 0, 0}, TVector{0, 1, 0}, TVector{lo, hi, hi, lo, lo},
                                     TVector{lo, lo, hi, hi, lo});
    g->name = name;
    return g;
}

// Gates on X and Y of an X, Y, Z data set: A, A/Inner under it, and B.
void writeProtocol(const std::string& path)
{
    TDataList list;
    TDataList* previous = TData::Workspace;
    TData::Workspace = &list;
    TData* root = TData::Create("template", 3, 1);
    root->Desc()[0].name = "X";
    root->Desc()[1].name = "Y";
    root->Desc()[2].name = "Z";
    list.Add(root);
    TData* a = TData::Gated(root, squareGate(10, 60, "A").get());
    list.Add(a);
    list.Add(TData::Gated(a, squareGate(20, 40, "Inner").get()));
    list.Add(TData::Gated(root, squareGate(50, 90, "B").get()));
    SaveProtocol(*root, path);
    list.Clear();
    TData::Workspace = previous;
}

// Runs apply for every shard of n and returns the tables' paths (shard order).
std::vector<std::string> runShards(const TempDir& tmp, const std::string& protocol, const std::string& list, size_t n)
{
    std::vector<std::string> tables;
    for (size_t i = 0; i < n; ++i) {
        tables.push_back(tmp.file("shard-" + std::to_string(n) + "-" + std::to_string(i) + ".tsv"));
        const std::string shard = std::to_string(i) + "/" + std::to_string(n);
        const CliRun r = runCli(tmp, {"apply", protocol, "--files-from", list, "--shard", shard, "--stats",
                                      tables.back()});
        EXPECT_LE(r.code, 1) << shard << ": " << r.err;
    }
    return tables;
}

}  // namespace

// The list starts with a corrupt file, so the parameter columns come from a
// later file; a second file with an extra parameter leads a shard of its own
// for N = 2, whose header then differs from that of the single run.
TEST(OrvalaCliShards, MergedShardsEqualTheSingleRunByteForByte)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    const std::string bad = tmp.file("bad.fcs"), xyz1 = tmp.file("xyz1.fcs"), wide = tmp.file("wide.fcs"),
                      pqr = tmp.file("pqr.fcs"), xyz2 = tmp.file("xyz2.fcs"), missing = tmp.file("missing.fcs"),
                      xyz3 = tmp.file("xyz3.fcs");
    writeFile(xyz1, {"X", "Y", "Z"}, 300, 1);
    writeFile(wide, {"X", "Y", "Z", "W"}, 200, 2);
    writeFile(pqr, {"P", "Q", "R"}, 100, 3);
    writeFile(xyz2, {"X", "Y", "Z"}, 500, 4);
    writeFile(xyz3, {"X", "Y", "Z"}, 50, 5);
    std::ofstream(bad, std::ios::binary) << slurp(xyz1).substr(0, 70);  // header, then TEXT cut off

    // CR LF and LF lines, blank lines, blanks around a path, and a file named
    // twice (once through "/./"), last line without a line end.
    const std::string list = tmp.write(
        "list.txt", bad + "\r\n\r\n" + xyz1 + "\n   \n" + wide + "  \n" + pqr + "\n" + tmp.path().string() +
                        "/./xyz1.fcs\n" + xyz2 + "\n" + missing + "\n\t" + xyz3 + "\n" + xyz2);
    const std::vector<std::string> expectedFiles = {bad, xyz1, wide, pqr, xyz2, missing, xyz3};

    const std::string single = tmp.file("single.tsv");
    const CliRun one = runCli(tmp, {"apply", protocol, "--files-from", list, "--stats", single});
    EXPECT_EQ(one.code, 1) << one.err;
    EXPECT_NE(one.err.find("named more than once"), std::string::npos) << one.err;
    EXPECT_NE(one.err.find("3 of 7 files failed"), std::string::npos) << one.err;
    // Each failed file is named once on its line, not once by us and once by the reader.
    for (const std::string& failed : {bad, missing}) {
        const size_t at = one.err.find(failed);
        ASSERT_NE(at, std::string::npos) << one.err;
        const size_t lineEnd = one.err.find('\n', at);
        EXPECT_EQ(one.err.substr(at + failed.size(), lineEnd - at - failed.size()).find(failed), std::string::npos)
            << one.err;
    }
    const std::string singleBytes = slurp(single);
    const auto rows = readTsv(singleBytes);
    ASSERT_FALSE(rows.empty());
    std::vector<std::string> header = {"file", "gate", "events", "pct_parent", "pct_root", "error"};
    for (const std::string n : {"X", "Y", "Z"}) header.insert(header.end(), {"mean_" + n, "median_" + n});
    EXPECT_EQ(rows[0], header);

    // Every distinct file once, in list order: a failed file as one row with
    // its message, a gated one as its three gates.
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::vector<std::string>>> byFile;
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_GE(rows[i].size(), 6u) << i;
        if (order.empty() || order.back() != rows[i][0]) order.push_back(rows[i][0]);
        byFile[rows[i][0]].push_back(rows[i]);
    }
    EXPECT_EQ(order, expectedFiles);
    for (const std::string& failed : {bad, missing}) {
        ASSERT_EQ(byFile[failed].size(), 1u) << failed;
        const auto& row = byFile[failed][0];
        EXPECT_EQ(row[1], "") << failed;
        EXPECT_EQ(row[2], "") << failed;
        EXPECT_NE(row[5], "") << failed;
    }
    EXPECT_NE(byFile[missing][0][5].find("cannot open file"), std::string::npos) << byFile[missing][0][5];
    // The gates need X and Y, which pqr.fcs lacks: its row counts its events
    // and says why nothing was gated.
    ASSERT_EQ(byFile[pqr].size(), 1u);
    EXPECT_EQ(byFile[pqr][0][2], "100");
    EXPECT_NE(byFile[pqr][0][5].find('X'), std::string::npos) << byFile[pqr][0][5];
    for (const std::string& good : {xyz1, wide, xyz2, xyz3}) {
        ASSERT_EQ(byFile[good].size(), 3u) << good;
        for (const auto& row : byFile[good]) EXPECT_EQ(row[5], "") << good << " " << row[1];
        EXPECT_EQ(byFile[good][0][1], "A");
        EXPECT_EQ(byFile[good][1][1], "A/Inner");
    }

    for (const size_t n : {1u, 2u, 3u, 7u, 9u}) {
        SCOPED_TRACE("N = " + std::to_string(n));
        std::vector<std::string> tables = runShards(tmp, protocol, list, n);
        for (size_t i = 7; i < n; ++i) EXPECT_EQ(slurp(tables[i]), headerStart + "\r\n") << "shard " << i;
        if (n == 2) {
            EXPECT_NE(readTsv(slurp(tables[0]))[0], header);
        }
        // The order of the tables on the command line does not matter.
        std::vector<std::string> args = {"merge"};
        args.insert(args.end(), tables.rbegin(), tables.rend());
        const std::string merged = tmp.file("merged-" + std::to_string(n) + ".tsv");
        args.insert(args.end(), {"--files-from", list, "--to", merged});
        const CliRun m = runCli(tmp, args);
        EXPECT_EQ(m.code, 1) << m.err;
        EXPECT_NE(m.err.find("3 of 7 files failed"), std::string::npos) << m.err;
        EXPECT_EQ(slurp(merged), singleBytes);
    }
}

TEST(OrvalaCliShards, ShardStatusAndEmptyShards)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    std::string listText;
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        files.push_back(tmp.file("f" + std::to_string(k) + ".fcs"));
        writeFile(files.back(), {"X", "Y", "Z"}, 100 + k, uint32_t(k));
        listText += files.back() + "\n";
    }
    std::ofstream(files[1], std::ios::binary | std::ios::trunc) << "not an FCS file";
    const std::string list = tmp.write("list.txt", listText);
    const std::string stats = tmp.file("s.tsv");

    struct Case {
        std::string shard;
        int code;
        std::vector<std::string> files;  // in the table, in order
    };
    const std::vector<Case> cases = {
        {"0/2", 0, {files[0], files[2]}},
        {"1/2", 1, {files[1]}},  // the status is that of the shard's own files
        {"2/3", 0, {files[2]}},
        {"3/4", 0, {}},  // more shards than files: a table with only its header
        {"1/18446744073709551615", 1, {files[1]}},
    };
    for (const auto& c : cases) {
        fs::remove(stats);
        const CliRun r = runCli(tmp, {"apply", protocol, "--files-from", list, "--shard", c.shard, "--stats", stats});
        EXPECT_EQ(r.code, c.code) << c.shard << ": " << r.err;
        const auto rows = readTsv(slurp(stats));
        ASSERT_FALSE(rows.empty()) << c.shard;
        std::vector<std::string> seen;
        for (size_t i = 1; i < rows.size(); ++i)
            if (seen.empty() || seen.back() != rows[i][0]) seen.push_back(rows[i][0]);
        EXPECT_EQ(seen, c.files) << c.shard;
        if (c.files.empty()) {
            EXPECT_EQ(slurp(stats), headerStart + "\r\n");
            EXPECT_NE(r.err.find("holds none of the 3 files"), std::string::npos) << r.err;
        }
    }
}

TEST(OrvalaCliShards, MalformedShardsAndListsAreRefused)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    const std::string file = tmp.file("f.fcs");
    writeFile(file, {"X", "Y", "Z"}, 100, 7);
    const std::string list = tmp.write("list.txt", file + "\n");
    const std::string stats = tmp.file("s.tsv");

    for (const std::string shard : {"4", "1/0", "4/4", "5/4", "-1/4", "+1/4", "1/4x", "a/b", "1//4", " 1/4", "/4", "1/",
                                    "99999999999999999999/3", "0/4/8"}) {
        const CliRun r = runCli(tmp, {"apply", protocol, "--files-from", list, "--shard", shard, "--stats", stats});
        EXPECT_EQ(r.code, 2) << "'" << shard << "'";
        EXPECT_NE(r.err.find("I/N with 0 <= I < N"), std::string::npos) << "'" << shard << "': " << r.err;
        EXPECT_FALSE(fs::exists(stats)) << shard;
    }

    struct Case {
        std::string why;
        std::vector<std::string> args;
        std::string message;
    };
    const std::string blank = tmp.write("blank.txt", "\r\n  \n\t\n");
    const std::string absent = tmp.file("absent.txt");
    const std::vector<Case> cases = {
        {"missing list", {"apply", protocol, "--files-from", absent, "--stats", stats},
         "cannot open file list " + absent},
        {"list is a folder", {"apply", protocol, "--files-from", tmp.path().string(), "--stats", stats},
         "cannot open file list"},
        {"blank list", {"apply", protocol, "--files-from", blank, "--stats", stats}, "names no files"},
        {"no files at all", {"apply", protocol, "--stats", stats}, "no files to apply"},
        {"merge, missing list", {"merge", stats, "--files-from", absent, "--to", stats},
         "cannot open file list " + absent},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(tmp, c.args);
        EXPECT_EQ(r.code, 1) << c.why;
        EXPECT_EQ(lineCount(r.err), 1) << c.why << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.why << ": " << r.err;
        EXPECT_FALSE(fs::exists(stats)) << c.why;
    }
}

TEST(OrvalaCliShards, MergeRefusesIncompleteAndForeignTables)
{
    TempDir tmp;
    const std::string protocol = tmp.file("p.orp");
    writeProtocol(protocol);
    std::vector<std::string> files;
    std::string listText;
    for (int k = 0; k < 3; ++k) {
        files.push_back(tmp.file("f" + std::to_string(k) + ".fcs"));
        writeFile(files.back(), {"X", "Y", "Z"}, 100 + k, uint32_t(k));
        listText += files.back() + "\n";
    }
    const std::string list = tmp.write("list.txt", listText);
    const std::string shorter = tmp.write("shorter.txt", files[0] + "\n" + files[1] + "\n");
    const std::vector<std::string> tables = runShards(tmp, protocol, list, 2);
    const std::string cut = tmp.write("cut.tsv", slurp(tables[1]).substr(0, slurp(tables[1]).size() - 2));
    const std::string out = tmp.file("merged.tsv");

    // Both shards merge; the same with the table's line ends changed to LF.
    ASSERT_EQ(runCli(tmp, {"merge", tables[0], tables[1], "--files-from", list, "--to", out}).code, 0);
    std::string lf = slurp(tables[1]);
    for (size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
    const std::string lfTable = tmp.write("lf.tsv", lf);
    const std::string merged = slurp(out);
    fs::remove(out);
    ASSERT_EQ(runCli(tmp, {"merge", tables[0], lfTable, "--files-from", list, "--to", out}).code, 0);
    EXPECT_EQ(slurp(out), merged);
    fs::remove(out);

    struct Case {
        std::string why;
        std::vector<std::string> tables;
        std::string list;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a shard left out", {tables[0]}, list, "no table has rows of 1 of the 3 files: " + files[1]},
        {"a shard given twice", {tables[0], tables[1], tables[0]}, list, "has rows in both"},
        {"a file the list does not name", {tables[0], tables[1]}, shorter, files[2] + ", which"},
        {"a table cut short", {tables[0], cut}, list, "cut short"},
        {"not a table", {tables[0], list}, list, "is not a statistics table"},
        {"no such table", {tables[0], tmp.file("none.tsv")}, list, "cannot open table"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"merge"};
        args.insert(args.end(), c.tables.begin(), c.tables.end());
        args.insert(args.end(), {"--files-from", c.list, "--to", out});
        const CliRun r = runCli(tmp, args);
        EXPECT_EQ(r.code, 1) << c.why;
        EXPECT_EQ(lineCount(r.err), 1) << c.why << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.why << ": " << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.why;
    }
}
