// Wavelength colours, the colour map, pseudo colours and data-to-sequence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "formats/images/ImageSequence.h"

namespace orvala {
namespace {

QCam_Frame floatFrame(uint32_t wavelength, uint32_t w, uint32_t h, const std::vector<float>& values)
{
    QCam_Frame f;
    f.format = FrameFormatFloat;
    f.bits = 32;
    f.width = w;
    f.height = h;
    f.wavelength = wavelength;
    f.buffer.resize(values.size() * 4);
    std::memcpy(f.buffer.data(), values.data(), f.buffer.size());
    f.bufferSize = f.size = uint32_t(f.buffer.size());
    return f;
}

QCam_Frame byteFrame(uint32_t wavelength, uint32_t w, uint32_t h, const std::vector<uint8_t>& values)
{
    QCam_Frame f;
    f.format = FrameFormatByte;
    f.bits = 8;
    f.width = w;
    f.height = h;
    f.wavelength = wavelength;
    f.buffer = values;
    f.bufferSize = f.size = uint32_t(f.buffer.size());
    return f;
}

struct WavelengthCase {
    double nm;
    double r, g, b;
};

TEST(WavelengthColor, FollowsTheVisibleSpectrumWithDimmedEnds)
{
    const double dim400 = 0.3 + 0.7 * 20.0 / 40.0;  // 0.65
    const double dim750 = 0.3 + 0.7 * 30.0 / 80.0;
    const WavelengthCase cases[] = {
        {700, 1, 0, 0},
        {400, std::pow(0.65 * (40.0 / 60.0), 0.8), 0, std::pow(0.65, 0.8)},
        {450, 0, std::pow(0.2, 0.8), 1},
        {500, 0, 1, std::pow(0.5, 0.8)},
        {550, std::pow(40.0 / 70.0, 0.8), 1, 0},
        {600, 1, std::pow(45.0 / 65.0, 0.8), 0},
        {750, std::pow(dim750, 0.8), 0, 0},
        {379, 0, 0, 0},
        {781, 0, 0, 0},
        {0, 0, 0, 0},
    };
    EXPECT_DOUBLE_EQ(dim400, 0.65);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nm);
        const TRGBDouble rgb = WavelengthColor(c.nm);
        EXPECT_NEAR(rgb.r, c.r, 1e-12);
        EXPECT_NEAR(rgb.g, c.g, 1e-12);
        EXPECT_NEAR(rgb.b, c.b, 1e-12);
        EXPECT_FALSE(std::isnan(rgb.r) || std::isnan(rgb.g) || std::isnan(rgb.b));
    }
}

TEST(CreateColorMap, EveryNonZeroColumnSumsToOne)
{
    TData* d = TData::Create("s", 0, 0);
    for (uint32_t nm : {400u, 450u, 520u, 600u, 700u, 900u}) d->seq.push_back(byteFrame(nm, 1, 1, {0}));
    CreateColorMap(*d);
    ASSERT_EQ(d->RGBTab.size(), 6u);
    double r = 0, g = 0, b = 0;
    for (const auto& c : d->RGBTab) {
        r += c.r;
        g += c.g;
        b += c.b;
    }
    EXPECT_NEAR(r, 1, 1e-12);
    EXPECT_NEAR(g, 1, 1e-12);
    EXPECT_NEAR(b, 1, 1e-12);
    EXPECT_EQ(d->RGBTab[5].r + d->RGBTab[5].g + d->RGBTab[5].b, 0.0);  // 900 nm is invisible

    // A stack with no blue at all keeps its blue column at 0 instead of dividing by it.
    TData* red = TData::Create("r", 0, 0);
    red->seq.push_back(byteFrame(700, 1, 1, {0}));
    red->seq.push_back(byteFrame(650, 1, 1, {0}));
    CreateColorMap(*red);
    EXPECT_NEAR(red->RGBTab[0].r + red->RGBTab[1].r, 1, 1e-12);
    EXPECT_EQ(red->RGBTab[0].b + red->RGBTab[1].b, 0.0);
    delete red;
    delete d;
}

TEST(CreateSequenceData, BuildsValuesRangesNamesAndPseudoColours)
{
    // 700 nm weighs only red, 450 nm only green and blue after normalisation.
    // seqmin 0, seqmax 255: d equals the value, and the stretch factor is 1, so
    // red 0.5 and 2.5 show that halves round to even (0 and 2).
    std::vector<QCam_Frame> frames;
    frames.push_back(floatFrame(700, 3, 1, {0.5f, 2.5f, 0.0f}));
    frames.push_back(floatFrame(450, 3, 1, {0.0f, 0.0f, 255.0f}));
    TData* d = CreateSequenceData(frames);
    EXPECT_TRUE(frames.empty());
    ASSERT_EQ(d->events(), 3);
    ASSERT_EQ(d->CaseSize(), 2);
    EXPECT_EQ(d->ShortName(), "ImageSequence");
    EXPECT_EQ(d->Desc()[0].name, "700");
    EXPECT_EQ(d->Desc()[1].name, "450");
    EXPECT_EQ(d->data[1][0], 2.5);
    EXPECT_EQ(d->data[2][1], 255.0);
    EXPECT_EQ(d->seqmin, 0.0);
    EXPECT_EQ(d->seqmax, 255.0);
    EXPECT_EQ(d->seqnorm, 1.0);
    EXPECT_TRUE(d->IsSequence());
    ASSERT_EQ(d->ImageColor.size(), 3u);
    EXPECT_EQ(d->ImageColor[0], 0x000000u);
    EXPECT_EQ(d->ImageColor[1], 0x000002u);
    EXPECT_EQ(d->ImageColor[2], 0xFFFF00u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(d->GetColor(k), 0u);
    ASSERT_EQ(d->img.width, 3);
    ASSERT_EQ(d->img.height, 1);
    EXPECT_EQ(d->img.pixels, d->ImageColor);
    delete d;
}

TEST(CreateSequenceData, ExtremesStartAtTheSmallestPositiveDoubleAndFlatStacksStayFinite)
{
    std::vector<QCam_Frame> negative;
    negative.push_back(floatFrame(500, 2, 1, {-3.0f, -1.0f}));
    TData* d = CreateSequenceData(negative);
    EXPECT_EQ(d->seqmax, std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(d->seqmin, -3.0);
    delete d;

    // All zeros: the maximum stays at 5e-324 and 255 / 5e-324 overflows.
    // The stack counts as flat: factor 1, no colours, nothing undefined.
    std::vector<QCam_Frame> zeros;
    zeros.push_back(byteFrame(500, 2, 2, {0, 0, 0, 0}));
    d = CreateSequenceData(zeros);
    EXPECT_EQ(d->seqnorm, 1.0);
    EXPECT_TRUE(std::isfinite(d->seqnorm));
    for (TColor c : d->img.pixels) EXPECT_EQ(c, 0u);
    delete d;

    // A constant non-zero stack: max == min gives factor 1.
    std::vector<QCam_Frame> flat;
    flat.push_back(byteFrame(500, 2, 1, {7, 7}));
    d = CreateSequenceData(flat);
    EXPECT_EQ(d->seqmax, 7.0);
    EXPECT_EQ(d->seqmin, 7.0);
    EXPECT_EQ(d->seqnorm, 1.0);
    delete d;
}

TEST(CreateSequenceData, RefusesEmptyAndOversizedStacksAndSurvivesShortBuffers)
{
    std::vector<QCam_Frame> none;
    EXPECT_THROW(CreateSequenceData(none), OrvalaError);

    std::vector<QCam_Frame> huge;
    huge.push_back(byteFrame(500, 100000, 100000, {1, 2}));
    EXPECT_THROW(CreateSequenceData(huge), OrvalaError);

    // A frame whose buffer is shorter than its size reads 0 past its end.
    std::vector<QCam_Frame> shortBuffer;
    shortBuffer.push_back(byteFrame(500, 2, 2, {9, 8, 7, 6}));
    shortBuffer.push_back(floatFrame(600, 2, 2, {1.5f}));
    TData* d = CreateSequenceData(shortBuffer);
    EXPECT_EQ(d->data[0][1], 1.5);
    EXPECT_EQ(d->data[3][1], 0.0);
    delete d;
}

TEST(CreateSeqFromData, RefusesAWrongSizeWithItsMessageAndLeavesTheDataSet)
{
    TData* d = TData::Create("d", 2, 99);
    RecordingSink sink;
    EXPECT_FALSE(CreateSeqFromData(*d, 10, 10, sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "Cannot create image from data! widht*height <> Lehgth of data.");
    EXPECT_TRUE(d->seq.empty());
    EXPECT_TRUE(d->img.empty());
    EXPECT_TRUE(d->RGBTab.empty());

    // Negative sizes whose product matches are refused too.
    EXPECT_FALSE(CreateSeqFromData(*d, -9, -11, sink));
    EXPECT_EQ(sink.messages.size(), 2u);
    delete d;
}

TEST(CreateSeqFromData, OneFloatFramePerParameter)
{
    TData* d = TData::Create("d", 2, 6);
    for (int k = 0; k < 6; ++k) {
        d->data[k][0] = 0.1 * k;  // narrowed to float in the frame
        d->data[k][1] = 100 - k;
    }
    RecordingSink sink;
    ASSERT_TRUE(CreateSeqFromData(*d, 3, 2, sink));
    EXPECT_TRUE(sink.messages.empty());
    ASSERT_EQ(d->seq.size(), 2u);
    for (uint32_t p = 0; p < 2; ++p) {
        const QCam_Frame& f = d->seq[p];
        EXPECT_EQ(f.format, FrameFormatFloat);
        EXPECT_EQ(f.bits, 32);
        EXPECT_EQ(f.width, 3u);
        EXPECT_EQ(f.height, 2u);
        EXPECT_EQ(f.frameNumber, p);
        EXPECT_EQ(f.wavelength, p);
        EXPECT_EQ(f.bufferSize, 24u);
        EXPECT_EQ(f.size, 24u);
    }
    EXPECT_FLOAT_EQ(float(FramePixel(d->seq[0], 3)), 0.3f);
    EXPECT_EQ(d->seq[0].singlemin(), 0.0f);
    EXPECT_EQ(d->seq[0].singlemax(), float(0.5));
    EXPECT_EQ(d->seq[1].singlemin(), 95.0f);
    EXPECT_EQ(d->seq[1].singlemax(), 100.0f);
    EXPECT_EQ(d->seqmin, 0.0);
    EXPECT_EQ(d->seqmax, 100.0);
    EXPECT_DOUBLE_EQ(d->seqnorm, 2.55);
    EXPECT_EQ(d->RGBTab.size(), 2u);
    EXPECT_EQ(d->img.width, 3);
    EXPECT_EQ(d->img.height, 2);
    EXPECT_EQ(d->ImageColor.size(), 6u);
    delete d;
}

}  // namespace
}  // namespace orvala
