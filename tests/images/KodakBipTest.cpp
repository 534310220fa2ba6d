// Kodak BIP files: chunk scanning, big-endian floats, range tracking, and
// files that are damaged or lie about their size.
#include <gtest/gtest.h>

#include "BipBuilder.h"
#include "ImageFixtures.h"
#include "formats/images/TKodakBIP.h"
#include "core/Messages.h"

namespace orvala {
namespace {

using test::bipChunk;
using test::bipFile;
using test::bipHeaderBody;
using test::bipPixelBody;

TEST(TKodakBIP, ReadsSizeAndPixelsThroughContainersAndUnknownChunks)
{
    TKodakBIP bip;
    bip.LoadFromBytes(bipFile(3, 2, {1.5f, -2.0f, 7.25f, 0.0f, 3.0f, 6.0f}), "a.bip");
    EXPECT_EQ(bip.FWidth, 3);
    EXPECT_EQ(bip.FHeight, 2);
    ASSERT_EQ(bip.bitmap.size(), 6u);
    EXPECT_EQ(bip.GetPixels(0, 0), 1.5f);
    EXPECT_EQ(bip.GetPixels(2, 0), 7.25f);
    EXPECT_EQ(bip.GetPixels(1, 1), 3.0f);
    EXPECT_EQ(bip.immax, 7.25f);
    EXPECT_EQ(bip.immin, -2.0f);
}

TEST(TKodakBIP, RangeTrackingLowersTheMinimumOnlyWhenNotRaisingTheMaximum)
{
    // Every pixel is a new maximum, so the minimum stays at the first pixel:
    // the scan checks the minimum only when the maximum did not move.
    TKodakBIP bip;
    bip.LoadFromBytes(bipFile(3, 1, {5.0f, 6.0f, 7.0f}), "up.bip");
    EXPECT_EQ(bip.immax, 7.0f);
    EXPECT_EQ(bip.immin, 5.0f);
}

TEST(TKodakBIP, MissingFileLeavesTheObjectUnchanged)
{
    test::TempDir dir;
    TKodakBIP bip;
    bip.setWidth(2);
    bip.setHeight(2);
    bip.immax = 9;
    bip.LoadFromFile(dir.file("nothing.bip"));
    EXPECT_EQ(bip.FWidth, 2);
    EXPECT_EQ(bip.bitmap.size(), 4u);
    EXPECT_EQ(bip.immax, 9.0f);

    test::writeFile(dir.file("W500000.bip"), bipFile(1, 1, {4.0f}));
    bip.LoadFromFile(dir.file("W500000.bip"));
    EXPECT_EQ(bip.FWidth, 1);
    EXPECT_EQ(bip.immax, 4.0f);
}

std::vector<uint8_t> withChunks(const std::vector<std::vector<uint8_t>>& chunks)
{
    std::vector<uint8_t> f(52, 0);
    for (const auto& c : chunks) f.insert(f.end(), c.begin(), c.end());
    return f;
}

TEST(TKodakBIP, DamagedFilesFailWithAClearMessage)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> zeroLength = withChunks({bipChunk("XtrA", {})});
    zeroLength[52 + 23] = 0;  // a length of 0 would never move on
    std::vector<uint8_t> truncated = bipFile(4, 4, std::vector<float>(16, 1.0f));
    truncated.resize(truncated.size() - 10);
    const Case cases[] = {
        {"empty file", {}, "no image header"},
        {"only the leading bytes", std::vector<uint8_t>(52, 0), "no image header"},
        {"zero chunk length", zeroLength, "impossible length"},
        {"no pixel data", withChunks({bipChunk("GBiH", bipHeaderBody(2, 2))}), "no pixel data"},
        {"no header", withChunks({bipChunk("BSfD", bipPixelBody({1, 2, 3, 4}))}), "no image header"},
        {"truncated pixels", truncated, "truncated"},
        {"huge size in a small file",
         withChunks({bipChunk("GBiH", bipHeaderBody(60000, 60000)), bipChunk("BSfD", bipPixelBody({1}))}),
         "too large"},
        {"size claims more than the file",
         withChunks({bipChunk("GBiH", bipHeaderBody(5000, 5000)), bipChunk("BSfD", bipPixelBody({1}))}),
         "truncated"},
        {"negative width",
         withChunks({bipChunk("GBiH", bipHeaderBody(0xFFFFFFFFu, 2)), bipChunk("BSfD", bipPixelBody({1}))}),
         "impossible size"},
        {"header chunk cut", withChunks({bipChunk("GBiH", {})}), "no image header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TKodakBIP bip;
        try {
            bip.LoadFromBytes(c.bytes, "bad.bip");
            ADD_FAILURE() << "no error";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("bad.bip"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(bip.bitmap.empty());
    }
}

}  // namespace
}  // namespace orvala
