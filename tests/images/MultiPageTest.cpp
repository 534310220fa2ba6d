// Multipage BMP and Kodak BIP directories, and "Save as Multipage Image".
#include <gtest/gtest.h>

#include "BipBuilder.h"
#include "ImageFixtures.h"
#include "core/Records.h"
#include "formats/images/ImageSequence.h"
#include "formats/images/MultiPage.h"

namespace orvala {
namespace {

using test::TempDir;
using test::writeFile;

std::vector<uint8_t> greyBmp(int w, int h, uint8_t start)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(start + i);
    return GreyBmpBytes(w, h, px.data());
}

std::vector<uint8_t> rgbBmp(int w, int h)
{
    TBitmap bmp;
    bmp.width = w;
    bmp.height = h;
    bmp.pixels.assign(size_t(w) * size_t(h), 0x00112233);
    MemoryStream s;
    WriteBitmap(s, bmp);
    return s.bytes();
}

TEST(LoadMultiPage, KeepsOnlyDigitNamedBmpFilesAsFramesNamedByWavelength)
{
    TempDir dir;
    writeFile(dir.file("450.bmp"), greyBmp(3, 2, 10));
    writeFile(dir.file("500.BMP"), greyBmp(3, 2, 100));
    writeFile(dir.file("notes.txt"), {'h', 'i'});
    writeFile(dir.file("a450.bmp"), greyBmp(3, 2, 0));
    writeFile(dir.file("._600.bmp"), {0, 0, 0});  // resource fork of a Mac copy
    std::filesystem::create_directory(dir.path() / "700.bmp");

    TData* d = LoadMultiPage(dir.path().string());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->CaseSize(), 2);
    EXPECT_EQ(d->Desc()[0].name, "450");
    EXPECT_EQ(d->Desc()[1].name, "500");
    EXPECT_EQ(d->ShortName(), dir.path().filename().string());
    ASSERT_EQ(d->events(), 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(d->data[k][0], 10 + k);  // top row first, left to right
        EXPECT_EQ(d->data[k][1], 100 + k);
    }
    ASSERT_EQ(d->seq.size(), 2u);
    const QCam_Frame& f = d->seq[1];
    EXPECT_EQ(f.format, FrameFormatByte);
    EXPECT_EQ(f.bits, 8);
    EXPECT_EQ(f.frameNumber, 1);
    EXPECT_EQ(f.wavelength, 500u);
    EXPECT_EQ(f.width, 3u);
    EXPECT_EQ(f.height, 2u);
    EXPECT_EQ(f.bufferSize, 6u);
    EXPECT_EQ(d->seqmin, 10.0);
    EXPECT_EQ(d->seqmax, 105.0);
    EXPECT_EQ(d->img.width, 3);
    EXPECT_EQ(d->RGBTab.size(), 2u);
    delete d;

    // A trailing separator names the same directory.
    d = LoadMultiPage(dir.path().string() + "/");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ShortName(), dir.path().filename().string());
    delete d;
}

TEST(LoadMultiPage, SortsAsTextAndLeavesOtherDepthsAndSizesAtZero)
{
    TempDir dir;
    writeFile(dir.file("450.bmp"), greyBmp(2, 2, 1));
    writeFile(dir.file("1000.bmp"), greyBmp(2, 2, 50));
    writeFile(dir.file("520.bmp"), greyBmp(3, 2, 7));  // other size
    writeFile(dir.file("600.bmp"), rgbBmp(2, 2));      // 24 bits
    TData* d = LoadMultiPage(dir.path().string());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->CaseSize(), 4);
    const char* names[] = {"1000", "450", "520", "600"};
    for (int j = 0; j < 4; ++j) EXPECT_EQ(d->Desc()[size_t(j)].name, names[j]);
    EXPECT_EQ(d->events(), 4);
    EXPECT_EQ(d->data[3][0], 53);
    EXPECT_EQ(d->data[3][1], 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(d->data[k][2], 0);
        EXPECT_EQ(d->data[k][3], 0);
    }
    delete d;
}

TEST(LoadMultiPage, NothingToLoadCancelAndBadNames)
{
    TempDir dir;
    EXPECT_EQ(LoadMultiPage(dir.path().string()), nullptr);
    writeFile(dir.file("notes.txt"), {'x'});
    EXPECT_EQ(LoadMultiPage(dir.path().string()), nullptr);
    EXPECT_THROW(LoadMultiPage(dir.file("missing")), OrvalaError);

    writeFile(dir.file("450.bmp"), greyBmp(2, 2, 1));
    writeFile(dir.file("500.bmp"), greyBmp(2, 2, 1));
    writeFile(dir.file("550.bmp"), greyBmp(2, 2, 1));
    std::vector<std::pair<int, int>> calls;
    auto cancelAtTwo = [&](int position, int count) {
        calls.emplace_back(position, count);
        return position < 2;
    };
    EXPECT_EQ(LoadMultiPage(dir.path().string(), cancelAtTwo), nullptr);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}}));

    // A digits-only name beyond 32 bits ends the load as a conversion error.
    writeFile(dir.file("99999999999.bmp"), greyBmp(2, 2, 1));
    try {
        LoadMultiPage(dir.path().string());
        ADD_FAILURE() << "no error";
    } catch (const OrvalaError& e) {
        EXPECT_STREQ(e.what(), "'99999999999' is not a valid integer value");
    }
}

TEST(LoadMultiPage, DamagedFirstFramesEndTheLoadWithAMessage)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> first;
        const char* message;
    };
    std::vector<uint8_t> cut = greyBmp(40, 40, 0);
    cut.resize(cut.size() / 2);
    std::vector<uint8_t> hugeRows = greyBmp(2, 2, 0);
    hugeRows[22] = 0xFF;  // height 0x7FFFFFFF in a tiny file
    hugeRows[23] = 0xFF;
    hugeRows[24] = 0xFF;
    hugeRows[25] = 0x7F;
    std::vector<uint8_t> wideRows = greyBmp(2, 2, 0);
    wideRows[18] = 0xFF;  // width 0x7FFFFFFF, height 2: rows the file cannot hold
    wideRows[19] = 0xFF;
    wideRows[20] = 0xFF;
    wideRows[21] = 0x7F;
    const Case cases[] = {
        {"not a bmp", {'G', 'I', 'F', '8'}, "is not a valid BMP picture"},
        {"empty", {}, "is not a valid BMP picture"},
        {"huge height", hugeRows, "too large"},
        {"huge width", wideRows, "too large"},
        {"cut in half", cut, "truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir.file("300.bmp"), c.first);
        writeFile(dir.file("400.bmp"), greyBmp(40, 40, 0));
        try {
            TData* d = LoadMultiPage(dir.path().string());
            delete d;
            ADD_FAILURE() << "no error";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find("300.bmp"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(KodakLoadMultiPage, TakesWavelengthsFromTheSixDigitTag)
{
    TempDir dir;
    writeFile(dir.file("W550000.bip"), test::bipFile(2, 1, {1.0f, -4.0f}));
    writeFile(dir.file("scan_w650500_x.BIP"), test::bipFile(2, 1, {3.0f, 8.0f}));
    writeFile(dir.file("W70000.bip"), test::bipFile(2, 1, {1, 1}));      // five digits only
    writeFile(dir.file("W700000.bmp"), test::bipFile(2, 1, {1, 1}));     // wrong extension
    writeFile(dir.file("zz_W800000.bip"), test::bipFile(3, 1, {9, 9, 9}));  // other size
    TData* d = KodakLoadMultiPage(dir.path().string());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->CaseSize(), 3);
    EXPECT_EQ(d->Desc()[0].name, "650");  // "scan..." sorts before "W5..." ignoring case
    EXPECT_EQ(d->Desc()[1].name, "550");
    EXPECT_EQ(d->Desc()[2].name, "800");
    EXPECT_EQ(d->seq[1].wavelength, 550u);
    EXPECT_EQ(d->seq[1].format, FrameFormatFloat);
    EXPECT_EQ(d->seq[1].bits, 32);
    EXPECT_EQ(d->seq[1].singlemin(), -4.0f);
    EXPECT_EQ(d->seq[1].singlemax(), 1.0f);
    EXPECT_EQ(d->data[1][0], 8.0);
    EXPECT_EQ(d->data[1][1], -4.0);
    EXPECT_EQ(d->data[0][2], 0.0);
    EXPECT_EQ(d->seqmin, -4.0);
    EXPECT_EQ(d->seqmax, 8.0);
    delete d;

    int calls = 0;
    EXPECT_EQ(KodakLoadMultiPage(dir.path().string(), [&](int, int) { return ++calls < 1; }), nullptr);
    EXPECT_EQ(calls, 1);

    TempDir empty;
    EXPECT_EQ(KodakLoadMultiPage(empty.path().string()), nullptr);
    writeFile(empty.file("W500000.bip"), {1, 2, 3});
    EXPECT_THROW(KodakLoadMultiPage(empty.path().string()), OrvalaError);
}

TEST(SaveMultiImg, WritesEightBitGreyBmpsWithTheExactLayout)
{
    std::vector<QCam_Frame> frames(1);
    QCam_Frame& f = frames[0];
    f.format = FrameFormatByte;
    f.bits = 8;
    f.width = 3;
    f.height = 2;
    f.wavelength = 532;
    f.buffer = {1, 2, 3, 4, 5, 6};  // top row 1 2 3, bottom row 4 5 6
    f.bufferSize = f.size = 6;
    TData* d = CreateSequenceData(frames);

    TempDir dir;
    const std::string out = dir.file("stack");
    SaveMultiImg(*d, out);
    SaveMultiImg(*d, out);  // an existing directory is used
    const std::vector<uint8_t> bytes = test::readFile(out + "/532.bmp");

    std::vector<uint8_t> expected = {
        'B', 'M', 0x3E, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0,  // file header: size 1086, pixels at 1078
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,            // info header: 3 x 2 bottom-up, 8 bits
        0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,             // no compression, 8 image bytes
        0, 1, 0, 0, 0, 0, 0, 0,                                     // 256 colours used
    };
    for (int i = 0; i < 256; ++i) expected.insert(expected.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    expected.insert(expected.end(), {4, 5, 6, 0, 1, 2, 3, 0});  // bottom row first, rows padded to 4 bytes
    EXPECT_EQ(bytes, expected);

    // And the directory reads back as the same stack.
    TData* back = LoadMultiPage(out);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Desc()[0].name, "532");
    EXPECT_EQ(back->seq[0].buffer, d->seq[0].buffer);
    delete back;

    // Data sets without frames write nothing.
    TData* plain = TData::Create("p", 2, 2);
    SaveMultiImg(*plain, dir.file("plain"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("plain")));
    delete plain;
    delete d;
}

TEST(SaveMultiImg, ScalesFloatFramesToBytesAndReportsUnwritableTargets)
{
    TData* d = TData::Create("d", 2, 4);
    for (int k = 0; k < 4; ++k) {
        d->data[k][0] = 10.0 * k;  // 0 .. 30
        d->data[k][1] = 60.0;
    }
    ASSERT_TRUE(CreateSeqFromData(*d, 2, 2));
    ASSERT_DOUBLE_EQ(d->seqnorm, 255.0 / 60.0);
    TempDir dir;
    SaveMultiImg(*d, dir.file("out"));
    TData* back = LoadMultiPage(dir.file("out"));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->CaseSize(), 2);
    // 10 * 4.25 = 42.5 rounds to even: 42; 30 * 4.25 = 127.5 rounds to 128.
    const double expect0[] = {0, 42, 85, 128};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(back->data[k][0], expect0[k]);
        EXPECT_EQ(back->data[k][1], 255);
    }
    delete back;

    writeFile(dir.file("afile"), {1});
    EXPECT_THROW(SaveMultiImg(*d, dir.file("afile")), OrvalaError);
    delete d;
}

}  // namespace
}  // namespace orvala
