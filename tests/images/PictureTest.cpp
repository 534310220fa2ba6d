// "Open Picture": decoding JPEG, BMP and Qt-read formats into picture data
// sets, and refusing metafiles, damaged files and hostile sizes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "ImageFixtures.h"
#include "JpegFixture.h"
#include "core/Records.h"
#include "formats/images/ImageSequence.h"
#include "formats/images/MultiPage.h"
#include "formats/images/PictureReader.h"

#ifdef ORVALA_HAVE_QTGUI
#include <QImage>
#include <QImageWriter>
#endif

namespace orvala {
namespace {

using test::encodeJpeg;
using test::TempDir;
using test::writeFile;

constexpr TColor Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, White = 0xFFFFFF;

// 16 x 16 picture of four flat quadrants, so a lossy codec keeps the colours.
TBitmap quadrants()
{
    TBitmap b;
    b.width = 16;
    b.height = 16;
    b.pixels.resize(256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) b.pixels[size_t(y * 16 + x)] = y < 8 ? (x < 8 ? Red : Green) : (x < 8 ? Blue : White);
    return b;
}

void expectNear(TColor got, TColor want, int tolerance)
{
    for (int shift : {0, 8, 16}) {
        const int g = int((got >> shift) & 0xFF), w = int((want >> shift) & 0xFF);
        EXPECT_LE(std::abs(g - w), tolerance) << std::hex << got << " vs " << want;
    }
}

#ifdef ORVALA_HAVE_LIBJPEG
// Offset of the SOF0 marker's height field.
size_t sofSizeAt(const std::vector<uint8_t>& jpeg)
{
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return i + 5;
    return 0;
}

TEST(OpenPicture, JpegBecomesAPictureDataSetOfRedGreenBlue)
{
    TempDir dir;
    writeFile(dir.file("q.JPG"), encodeJpeg(quadrants()));
    TData* d = OpenPicture(dir.file("q.JPG"));
    ASSERT_EQ(d->events(), 256);
    ASSERT_EQ(d->CaseSize(), 3);
    EXPECT_EQ(d->ShortName(), "picture");
    EXPECT_EQ(d->Desc()[0].name, "Ch1");
    EXPECT_EQ(d->Desc()[2].name, "Ch3");
    EXPECT_EQ(d->cellsize, 0);
    EXPECT_TRUE(d->IsSingle());
    EXPECT_EQ(d->img.width, 16);
    const TBitmap want = quadrants();
    for (int k : {0, 15, 3 * 16 + 12, 12 * 16 + 2, 255}) {
        SCOPED_TRACE(k);
        expectNear(d->img.pixels[size_t(k)], want.pixels[size_t(k)], 6);
        EXPECT_EQ(d->GetColor(k), d->img.pixels[size_t(k)]);
        EXPECT_EQ(d->ImageColor[size_t(k)], d->img.pixels[size_t(k)]);
        const TColor c = d->img.pixels[size_t(k)];
        EXPECT_EQ(d->data[k][0], double(c & 0xFF));
        EXPECT_EQ(d->data[k][1], double((c >> 8) & 0xFF));
        EXPECT_EQ(d->data[k][2], double(c >> 16));
    }
    delete d;

    // Grey JPEGs give equal red, green and blue.
    TBitmap grey = quadrants();
    for (auto& p : grey.pixels) p = 0x808080;
    writeFile(dir.file("g.jpeg"), encodeJpeg(grey, true));
    const TBitmap g = LoadPicture(dir.file("g.jpeg"));
    for (TColor c : g.pixels) expectNear(c, 0x808080, 2);
}

TEST(OpenPicture, DamagedAndHostileJpegsFailCleanly)
{
    const std::vector<uint8_t> good = encodeJpeg(quadrants());
    const size_t sof = sofSizeAt(good);
    ASSERT_NE(sof, 0u);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2));
    std::vector<uint8_t> huge = good;  // 65500 x 65500 declared in a file of a few hundred bytes
    huge[sof] = huge[sof + 2] = 0xFF;
    huge[sof + 1] = huge[sof + 3] = 0xDC;
    std::vector<uint8_t> largeTruncated = truncated;  // 9000 x 9000 fits the limit, the data does not
    largeTruncated[sof] = largeTruncated[sof + 2] = 0x23;
    largeTruncated[sof + 1] = largeTruncated[sof + 3] = 0x28;
    std::vector<uint8_t> zeroWidth = good;
    zeroWidth[sof + 2] = zeroWidth[sof + 3] = 0;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {"truncated", truncated, "Cannot open JPEG picture"},
        {"huge size", huge, "too large"},
        {"large size, little data", largeTruncated, "Cannot open JPEG picture"},
        {"zero width", zeroWidth, "bad.jpg"},
        {"only the start marker", {0xFF, 0xD8, 0xFF}, "Cannot open JPEG picture"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir.file("bad.jpg"), c.bytes);
        try {
            LoadPicture(dir.file("bad.jpg"));
            ADD_FAILURE() << "no error";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}
#endif

TEST(OpenPicture, PlainBmpsOfEveryDepthTheRecordReaderKnows)
{
    TempDir dir;
    MemoryStream s;
    WriteBitmap(s, quadrants());
    writeFile(dir.file("q.bmp"), s.bytes());
    const TBitmap b = LoadPicture(dir.file("q.bmp"));
    EXPECT_EQ(b.pixels, quadrants().pixels);

    // 8-bit grey BMPs as the multipage writer makes them.
    std::vector<uint8_t> grey(6);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(40 * i);
    writeFile(dir.file("g.bmp"), GreyBmpBytes(3, 2, grey.data()));
    TData* d = OpenPicture(dir.file("g.bmp"));
    ASSERT_EQ(d->events(), 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(d->data[k][0], 40.0 * k);
        EXPECT_EQ(d->data[k][2], 40.0 * k);
    }
    delete d;
}

TEST(OpenPicture, RefusesMetafilesMissingFilesAndGarbage)
{
    TempDir dir;
    std::vector<uint8_t> emf(88, 0);
    emf[0] = 1;
    emf[40] = ' ';
    emf[41] = 'E';
    emf[42] = 'M';
    emf[43] = 'F';
    writeFile(dir.file("drawing.dat"), emf);
    writeFile(dir.file("empty.wmf"), {});
    writeFile(dir.file("placeable.x"), {0xD7, 0xCD, 0xC6, 0x9A, 0, 0});
    for (const char* name : {"drawing.dat", "empty.wmf", "placeable.x"}) {
        SCOPED_TRACE(name);
        try {
            LoadPicture(dir.file(name));
            ADD_FAILURE() << "no error";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find("metafiles"), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(LoadPicture(dir.file("missing.jpg")), OrvalaError);
    EXPECT_THROW(LoadPicture(dir.path().string()), OrvalaError);

    std::vector<uint8_t> garbage(1000);
    uint32_t x = 12345;
    for (auto& b : garbage) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 24);
    }
    garbage[0] = 'Q';
    writeFile(dir.file("noise.bmp"), garbage);
    EXPECT_THROW(LoadPicture(dir.file("noise.bmp")), OrvalaError);
    garbage[0] = 'B';  // a "BM" tag on noise
    garbage[1] = 'M';
    writeFile(dir.file("noise2.bmp"), garbage);
    EXPECT_THROW(LoadPicture(dir.file("noise2.bmp")), OrvalaError);
}

TEST(CreatePictureData, RefusesEmptyAndOversizedPictures)
{
    EXPECT_THROW(CreatePictureData(TBitmap{}), OrvalaError);
    TBitmap lying;
    lying.width = 20000;
    lying.height = 20000;  // 400 million pixels
    EXPECT_THROW(CreatePictureData(lying), OrvalaError);
    TBitmap shortPixels;
    shortPixels.width = 4;
    shortPixels.height = 4;
    shortPixels.pixels.resize(3);
    EXPECT_THROW(CreatePictureData(shortPixels), OrvalaError);
}

#ifdef ORVALA_HAVE_QTGUI
TEST(OpenPicture, IconsAndOtherFormatsThroughQt)
{
    TempDir dir;
    QImage image(16, 16, QImage::Format_RGB32);
    const TBitmap want = quadrants();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const TColor c = want.pixels[size_t(y * 16 + x)];
            image.setPixel(x, y, qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int(c >> 16)));
        }
    struct Case {
        const char* file;
        const char* format;
    };
    for (const Case& c : {Case{"q.ico", "ico"}, Case{"q.png", "png"}, Case{"q16.bmp", "bmp"}}) {
        SCOPED_TRACE(c.file);
        if (!QImageWriter::supportedImageFormats().contains(c.format)) {
            GTEST_SKIP() << "Qt has no " << c.format << " writer here";
        }
        QImage source = image;
        if (std::string(c.format) == "bmp") source = image.convertToFormat(QImage::Format_RGB16);
        ASSERT_TRUE(source.save(QString::fromStdString(dir.file(c.file)), c.format));
        TData* d = OpenPicture(dir.file(c.file));
        ASSERT_EQ(d->events(), 256);
        for (int k = 0; k < 256; ++k) expectNear(d->img.pixels[size_t(k)], want.pixels[size_t(k)], 8);
        delete d;
    }
}

// BMP variants the record reader does not take go through Qt: a 4-bit
// palette file, and a 24-bit file whose header leaves the file size at 0
// (some writers do).
TEST(OpenPicture, BmpVariantsThroughQt)
{
    TempDir dir;
    std::vector<uint8_t> b4 = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54 + 64, 0, 0, 0,
                               40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 4, 0};
    b4.resize(54, 0);
    for (int i = 0; i < 16; ++i) b4.insert(b4.end(), {uint8_t(i * 16), uint8_t(i), 0, 0});  // B, G, R, 0
    b4.insert(b4.end(), {0x23, 0, 0, 0, 0x01, 0, 0, 0});  // bottom row: 2 3; top row: 0 1
    b4[2] = uint8_t(b4.size());
    writeFile(dir.file("four.bmp"), b4);
    const TBitmap four = LoadPicture(dir.file("four.bmp"));
    ASSERT_EQ(four.width, 2);
    ASSERT_EQ(four.height, 2);
    EXPECT_EQ(four.pixels, (std::vector<uint32_t>{0x000000, 0x100100, 0x200200, 0x300300}));

    MemoryStream s;
    WriteBitmap(s, quadrants());
    std::vector<uint8_t> noSize = s.bytes();
    noSize[2] = noSize[3] = noSize[4] = noSize[5] = 0;
    writeFile(dir.file("nosize.bmp"), noSize);
    EXPECT_EQ(LoadPicture(dir.file("nosize.bmp")).pixels, quadrants().pixels);
}
#endif

}  // namespace
}  // namespace orvala
