// orvala-cli classify on image stacks written here and on the Samson scene:
// class maps as CSV and PNG, the angle threshold, and refused inputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "cli/CliRun.h"
#include "common/TempDir.h"
#include "analysis/PixelClassify.h"
#include "formats/images/MultiPage.h"
#include "formats/images/PictureReader.h"

using orvala::test::slurp;
using orvala::test::TempDir;

namespace {

using orvala::test::CliRun;
using orvala::test::quoted;
using orvala::test::runCli;

// A 4 x 2 scene of three bands (frames 500, 600 and 700 nm): the left half
// bright in the first band, the right half in the last, one black pixel and
// one greyish pixel a little nearer the first class than the second.
std::string writeStack(const TempDir& dir)
{
    const std::filesystem::path stack = dir.path() / "stack";
    std::filesystem::create_directories(stack);
    const uint8_t bands[3][8] = {
        {200, 190, 20, 10, 180, 0, 15, 100},
        {50, 40, 45, 50, 50, 0, 40, 100},
        {10, 20, 210, 200, 5, 0, 220, 95},
    };
    const char* names[3] = {"500.bmp", "600.bmp", "700.bmp"};
    for (int b = 0; b < 3; ++b) {
        const std::vector<uint8_t> bytes = orvala::GreyBmpBytes(4, 2, bands[b]);
        dir.write("stack/" + std::string(names[b]), std::string(bytes.begin(), bytes.end()));
    }
    return stack.string();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string l;
    while (std::getline(s, l)) out.push_back(l);
    return out;
}

}  // namespace

TEST(CliClassify, WritesClassMapsForBothMethodsAndTheThreshold)
{
    TempDir dir;
    const std::string stack = writeStack(dir);
    const std::string classes = dir.write("classes.csv", "material,500,600,700\nGreen,0.9,0.2,0.05\nRed,0.05,0.2,0.9\n");
    struct Case {
        std::vector<std::string> options;
        std::string map;
    };
    const Case cases[] = {
        // The black pixel has no direction.
        {{"--method", "sam"}, "0,0,1,1\r\n0,-1,1,0\r\n"},
        // 10 degrees: the greyish pixel is about 40 degrees from both.
        {{"--method", "sam", "--threshold", "10"}, "0,0,1,1\r\n0,-1,1,-1\r\n"},
        {{"--method", "sd"}, "0,0,1,1\r\n0,-1,1,0\r\n"},
    };
    for (const Case& c : cases) {
        const std::string out = dir.file("map.csv");
        std::vector<std::string> args = {"classify", stack, "--classes", classes, "--to", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun r = runCli(dir, args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(slurp(out), c.map) << c.options[1];
    }

    // PNG: the picture's size, classes in their colours.
    const std::string png = dir.file("map.png");
    const CliRun r = runCli(dir, {"classify", stack, "--classes", classes, "--to", png});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bytes = slurp(png);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
               uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
    };
    EXPECT_EQ(be32(16), 4u);
    EXPECT_EQ(be32(20), 2u);
    if (!orvala::HasQtPictureReaders()) GTEST_SKIP() << "this build cannot read PNG back";
    const orvala::TBitmap map = orvala::LoadPicture(png);
    const uint32_t expected[8] = {orvala::ClassColour(0), orvala::ClassColour(0), orvala::ClassColour(1),
                                  orvala::ClassColour(1), orvala::ClassColour(0), 0,
                                  orvala::ClassColour(1), orvala::ClassColour(0)};
    ASSERT_EQ(map.pixels.size(), 8u);
    for (int p = 0; p < 8; ++p) EXPECT_EQ(map.pixels[size_t(p)], expected[p]) << "pixel " << p;
}

TEST(CliClassify, RefusesMismatchedSpectraAndUnknownOutputs)
{
    TempDir dir;
    const std::string stack = writeStack(dir);
    const std::string two = dir.write("two.csv", "material,500,600\nGreen,0.9,0.2\n");
    const std::string good = dir.write("good.csv", "material,500,600,700\nGreen,0.9,0.2,0.05\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"classify", stack, "--classes", two, "--to", dir.file("m.csv")}, "has spectra of 2 values, but"},
        {{"classify", stack, "--classes", good, "--to", dir.file("m.txt")}, "use .csv or .png"},
        {{"classify", stack, "--classes", good, "--method", "sd", "--threshold", "5", "--to", dir.file("m.csv")},
         "--threshold applies to --method sam only"},
        {{"classify", dir.file("nothing-here"), "--classes", good, "--to", dir.file("m.csv")}, "nothing-here"},
        {{"classify", stack, "--classes", dir.file("missing.csv"), "--to", dir.file("m.csv")}, "missing.csv"},
    };
    for (const Case& c : cases) {
        const CliRun r = runCli(dir, c.args);
        EXPECT_NE(r.code, 0) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.csv")));
}

TEST(CliClassify, SamsonSceneAgreesWithTheIndependentMap)
{
    const std::filesystem::path base = std::filesystem::path(ORVALA_SHARED_DIR) / "hyperspectral-samples";
    if (!std::filesystem::exists(base / "samson-frames"))
        GTEST_SKIP() << "the shared hyperspectral samples are absent (" << base.string() << ")";
    TempDir dir;
    const std::string out = dir.file("samson.csv");
    const CliRun r = runCli(dir, {"classify", (base / "samson-frames").string(), "--classes",
                                  (base / "library_mean_spectra.csv").string(), "--method", "sam", "--to", out});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> got = lines(slurp(out)), want = lines(slurp((base / "check_sam_class_map_95x95.csv").string()));
    ASSERT_EQ(got.size(), 95u);
    ASSERT_EQ(want.size(), 95u);
    size_t agree = 0, total = 0;
    for (size_t y = 0; y < 95; ++y) {
        std::string g = got[y], w = want[y];
        if (!g.empty() && g.back() == '\r') g.pop_back();
        if (!w.empty() && w.back() == '\r') w.pop_back();
        std::stringstream gs(g), ws(w);
        std::string a, b;
        while (std::getline(gs, a, ',') && std::getline(ws, b, ',')) {
            agree += a == b;
            ++total;
        }
    }
    EXPECT_EQ(total, size_t(95 * 95));
    EXPECT_GE(double(agree) / double(total), 0.99) << agree << " of " << total;
}
