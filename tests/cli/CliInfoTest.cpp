// orvala-cli info takes the column ranges without building the value matrix
// where it can; its output (text and JSON), messages and exit status must be
// exactly those of the full read, which ORVALA_CLI_INFO_FULL_READ forces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "cli/CliRun.h"
#include "common/TempDir.h"
#include "formats/FcsBuilder.h"

using namespace orvala::test;
namespace fs = std::filesystem;

namespace {

const std::string samples = ORVALA_SHARED_DIR "/fcs-samples";
constexpr float nanF = std::numeric_limits<float>::quiet_NaN();
constexpr float infF = std::numeric_limits<float>::infinity();

// Floats over several read blocks: NaN (a whole column of it too), infinities,
// and zeros of both signs where the order of reading decides which is shown.
FcsSet floatSet(const std::string& byteord, int64_t events)
{
    FcsSet s = listMode('F', byteord, events, 4);
    addParameters(s, {32, 32, 32, 32}, {"FSC-A", "SSC-A", "FL1-A", "Empty"});
    s.keywords.push_back({"$P1S", "Forward scatter"});
    const bool big = byteord[0] == '4';
    for (int64_t e = 0; e < events; ++e) {
        const float v[4] = {
            e == 3 ? -0.0f : e == 4 || e == events - 2 ? 0.0f : 1.0f + float(e % 1013),
            e % 5003 == 0 ? nanF : e == events / 2 ? -infF : e == events / 3 ? infF : float(e % 777) * 0.25f,
            float(e % 65536) - 32768.5f,
            nanF,
        };
        for (float x : v) big ? putBE(s.data, x) : putLE(s.data, x);
    }
    return s;
}

FcsSet int16Set(int64_t events)
{
    FcsSet s = listMode('I', "2,1", events, 2);
    addParameters(s, {16, 16}, {"FS", "SS"});
    for (int64_t e = 0; e < events; ++e) {
        putBE(s.data, uint16_t(0xFC00u | uint16_t(e * 7 % 1021)));  // flag bits above $PnR 1024
        putBE(s.data, uint16_t(e % 1000));
    }
    return s;
}

struct Fixture {
    std::string name;
    std::string bytes;
};

std::vector<Fixture> fixtures()
{
    std::vector<Fixture> out;
    out.push_back({"floats.fcs", fcsBytes({floatSet("1,2,3,4", 200'000)})});
    out.push_back({"floats-big-endian.fcs", fcsBytes({floatSet("4,3,2,1", 200'000)})});
    out.push_back({"int16.fcs", fcsBytes({int16Set(300'000)})});
    {
        FcsSet s = listMode('I', "4,3,2,1", 1000, 3);
        addParameters(s, {32, 24, 8}, {"A", "B", "C"}, "4294967296");
        for (int e = 0; e < 1000; ++e) {
            putBE(s.data, uint32_t(e * 2654435761u));
            putBE(s.data, uint32_t(e * 31u), 3);
            s.data += char(e);
        }
        out.push_back({"int32-24-8.fcs", fcsBytes({s})});
    }
    {
        FcsSet s = listMode('D', "1,2,3,4,5,6,7,8", 1000, 2);
        addParameters(s, {64, 64});
        for (int e = 0; e < 1000; ++e) {
            putLE(s.data, e == 10 ? 1e300 : double(e) / 3.0);
            putLE(s.data, e == 20 ? std::nan("") : -double(e) * 1e-3);
        }
        out.push_back({"doubles.fcs", fcsBytes({s})});
    }
    {
        // $TOT promises 300,000 events; the file holds 123,456 and a half.
        FcsSet s = floatSet("1,2,3,4", 123'457);
        setKey(s, "$TOT", "300000");
        s.data.resize(s.data.size() - 9);
        out.push_back({"cut-short.fcs", fcsBytes({s})});
    }
    {
        // Four data sets; the third has no events, so the chain shown ends there.
        FcsSet empty = listMode('F', "1,2,3,4", 0, 1);
        addParameters(empty, {32});
        FcsSet after = int16Set(10);
        out.push_back({"four-data-sets.fcs",
                       fcsBytes({floatSet("4,3,2,1", 150'000), int16Set(200'000), empty, after})});
    }
    {
        // The second data set's values cannot be found: it ends the chain with a message.
        FcsSet bad = int16Set(100);
        bad.headerDataZero = true;
        bad.keywords.insert(bad.keywords.begin(), {"$BEGINDATA", "nowhere"});
        out.push_back({"second-data-set-unreadable.fcs", fcsBytes({int16Set(100), bad})});
    }
    {
        // Values the full read changes: these must take it.
        FcsSet s = floatSet("1,2,3,4", 100'000);
        setKey(s, "$P3E", "4,1");
        out.push_back({"pne-decades.fcs", fcsBytes({s})});
    }
    {
        FcsSet s = floatSet("1,2,3,4", 100'000);
        s.keywords.push_back({"$P3DISPLAY", "LOG"});
        out.push_back({"log-display.fcs", fcsBytes({s})});
    }
    {
        FcsSet s = floatSet("1,2,3,4", 100'000);
        s.keywords.push_back({"$SPILLOVER", "2,FSC-A,FL1-A,1,0.1,0.05,1"});
        out.push_back({"spillover.fcs", fcsBytes({s})});
    }
    {
        // Named PRISM only by its long name: the sort bits are taken after decoding.
        FcsSet s = listMode('F', "1,2,3,4", 100, 2);
        s.keywords.push_back({"$P1B", "32"});
        s.keywords.push_back({"$P1N", "FSC"});
        s.keywords.push_back({"$P1R", "1024"});
        s.keywords.push_back({"$P2B", "32"});
        s.keywords.push_back({"$P2S", "PRISM"});
        s.keywords.push_back({"$P2R", "1024"});
        for (int e = 0; e < 100; ++e) {
            putLE(s.data, float(e));
            putLE(s.data, float(1000 + e));
        }
        out.push_back({"prism.fcs", fcsBytes({s})});
    }
    {
        FcsSet s = listMode('A', "1,2,3,4", 2, 2);
        addParameters(s, {4, 4});
        s.data = "00010002" "00030004";
        out.push_back({"ascii.fcs", fcsBytes({s})});
    }
    {
        FcsSet s = int16Set(10);
        s.keywords.erase(s.keywords.begin());  // no $DATATYPE
        out.push_back({"no-datatype.fcs", fcsBytes({s})});
    }
    return out;
}

const Fixture& fixture(const std::vector<Fixture>& all, const std::string& name)
{
    const auto f = std::find_if(all.begin(), all.end(), [&](const Fixture& x) { return x.name == name; });
    if (f == all.end()) throw std::logic_error("no fixture " + name);
    return *f;
}

// The line of parameter `name` in text output, blanks at its end dropped.
std::string parameterLine(const std::string& out, const std::string& name)
{
    size_t at = out.find(" " + name + " ");
    if (at == std::string::npos) return "";
    const size_t begin = out.rfind('\n', at) + 1, end = out.find('\n', at);
    std::string line = out.substr(begin, end - begin);
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

// info on args both ways; everything it prints and returns must be the same.
void expectSameBothWays(const TempDir& tmp, const std::vector<std::string>& files)
{
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"info"}, std::vector<std::string>{"info", "--json", "--keywords"}}) {
        std::vector<std::string> args = options;
        args.insert(args.end(), files.begin(), files.end());
        const CliRun fast = runCli(tmp, args);
        const CliRun full = runCli(tmp, args, "ORVALA_CLI_INFO_FULL_READ=1");
        SCOPED_TRACE(options.size() > 1 ? "json" : "text");
        EXPECT_EQ(fast.code, full.code);
        EXPECT_EQ(fast.out, full.out);
        EXPECT_EQ(fast.err, full.err);
    }
}

}  // namespace

TEST(OrvalaCliInfo, FixturesPrintTheSameWithoutTheValueMatrix)
{
    TempDir tmp;
    for (const Fixture& f : fixtures()) {
        SCOPED_TRACE(f.name);
        expectSameBothWays(tmp, {tmp.write(f.name, f.bytes)});
    }
}

// The fixtures show what they were made for (the comparison above would also
// pass if both ways were wrong the same way).
TEST(OrvalaCliInfo, FixturesHoldTheCasesTheyWereMadeFor)
{
    TempDir tmp;
    auto info = [&](const std::string& name, const std::string& bytes) {
        const CliRun r = runCli(tmp, {"info", tmp.write(name, bytes)});
        EXPECT_EQ(r.code, 0) << r.err;
        return r;
    };
    const std::vector<Fixture> all = fixtures();
    const CliRun floats = info("floats.fcs", fixture(all, "floats.fcs").bytes);
    EXPECT_NE(floats.out.find("FSC-A/Forward scatter"), std::string::npos) << floats.out;
    EXPECT_NE(parameterLine(floats.out, "FSC-A/Forward scatter").find(" -0 "), std::string::npos)
        << "the -0 read first: " << floats.out;
    EXPECT_NE(parameterLine(floats.out, "SSC-A").find(" -inf "), std::string::npos) << floats.out;
    // The all-NaN column has no value to take a range of: "-" for both ends.
    const std::string empty = parameterLine(floats.out, "Empty");
    EXPECT_EQ(empty.substr(empty.size() - std::min<size_t>(empty.size(), 16)), "-              -") << floats.out;

    const CliRun cut = info("cut.fcs", fixture(all, "cut-short.fcs").bytes);
    EXPECT_NE(cut.out.find("events     123456\n"), std::string::npos) << cut.out;
    EXPECT_NE(cut.err.find("cut.fcs: Bad FCS File"), std::string::npos) << "the message names the file: " << cut.err;

    const CliRun chain = info("chain.fcs", fixture(all, "four-data-sets.fcs").bytes);
    EXPECT_NE(chain.out.find("data set 1"), std::string::npos);
    EXPECT_EQ(chain.out.find("data set 2"), std::string::npos) << "the chain ends at the data set without events";

    const CliRun unreadable = info("unreadable.fcs", fixture(all, "second-data-set-unreadable.fcs").bytes);
    EXPECT_EQ(unreadable.out.find("data set 1"), std::string::npos);
    EXPECT_NE(unreadable.err.find("Error reading file"), std::string::npos) << unreadable.err;

    const CliRun prism = info("prism.fcs", fixture(all, "prism.fcs").bytes);
    // 1000..1099 keep their low six bits: 0..63, not 1000..1099.
    const std::string prismLine = parameterLine(prism.out, "PRISM");
    EXPECT_EQ(prismLine.substr(prismLine.size() - std::min<size_t>(prismLine.size(), 17)), "0              63") << prism.out;
}

TEST(OrvalaCliInfo, SeveralFilesWithFailuresPrintTheSame)
{
    TempDir tmp;
    const std::string good = tmp.write("good.fcs", fcsBytes({int16Set(1000)}));
    const std::string notFcs = tmp.write("not.fcs", "this is no FCS file at all, only words\n");
    fs::create_directories(tmp.file("folder.fcs"));
    expectSameBothWays(tmp, {good, tmp.file("absent.fcs"), notFcs, tmp.file("folder.fcs"), good});
}

TEST(OrvalaCliInfo, RealSamplesPrintTheSameWithoutTheValueMatrix)
{
    if (!fs::is_directory(samples)) GTEST_SKIP() << "sample folder " << samples << " is absent";
    TempDir tmp;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(samples)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".fcs" || ext == ".lmd") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no .fcs or .lmd file in " << samples;
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        expectSameBothWays(tmp, {f});
    }
}
