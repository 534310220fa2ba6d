// The image window's arithmetic: gamma lookup, grey levels between markers,
// paint-box to picture mapping, selections and the pseudo-colour overlay.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plot/ImageView.h"

using namespace orvala;

TEST(GammaTable, PowerCurveRoundedHalvesToEvenWithAFloorOnGamma)
{
    const GammaTable two = MakeGammaTable(2.0);
    EXPECT_EQ(two[128], 64);  // 255 (128/255)^2 = 64.25
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[255], 255);
    const GammaTable id = MakeGammaTable(1.0);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(id[size_t(v)], v);
    const GammaTable half = MakeGammaTable(0.5);
    EXPECT_EQ(half[64], 128);  // sqrt(64/255) * 255 = 127.75
    // Below the floor (and not a number) the floor applies.
    const GammaTable floor = MakeGammaTable(MinGamma);
    for (double g : {0.05, 0.0, -3.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(MakeGammaTable(g), floor) << g;
    EXPECT_EQ(floor[1], std::nearbyint(255 * std::pow(1 / 255.0, 0.1)));

    uint32_t px[2] = {0x00FF8000, 0x00804020};
    ApplyGamma(two, px, 2);
    EXPECT_EQ(px[0], 0x00FF4000u);
    EXPECT_EQ(px[1], uint32_t(two[0x80]) << 16 | uint32_t(two[0x40]) << 8 | two[0x20]);
}

TEST(FrameGrey, StretchesBetweenMarkersClampsAndBlanksNaN)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Every other value belongs to this frame (stride 2).
    const double values[] = {10, -1, 20, -1, 5, -1, 30, -1, 15, -1, nan, -1};
    uint32_t px[6];
    const GammaTable id = MakeGammaTable(1.0);
    FrameGrey(values, 6, 2, 10, 20, id, px);
    const uint32_t grey[] = {0, 255, 0, 255, 128, 0};  // (15-10) * 25.5 = 127.5 -> 128 (even)
    for (int i = 0; i < 6; ++i) EXPECT_EQ(px[i], grey[i] | grey[i] << 8 | grey[i] << 16) << i;
    // Equal markers: scale 1, so the values are shifted only.
    FrameGrey(values, 6, 2, 10, 10, id, px);
    EXPECT_EQ(px[4], 5u | 5u << 8 | 5u << 16);
    // Through the gamma table.
    FrameGrey(values, 6, 2, 0, 255, MakeGammaTable(2.0), px);
    EXPECT_EQ(px[3] & 0xFF, MakeGammaTable(2.0)[30]);
}

TEST(BoxMapping, BoxPositionsLandInsideThePicture)
{
    struct Case {
        int pos, box, image, expected;
    };
    const Case cases[] = {
        {0, 400, 95, 0},     {399, 400, 95, 94},  {200, 400, 95, 47},  // 94 * 200 / 399 = 47.12
        {-30, 400, 95, 0},   {450, 400, 95, 94},  {5, 1, 95, 0},       // a box of one pixel
        {5, 400, 0, 0},      {5, 400, 1, 0},      {3, 7, 4, 2},        // 3 * 3 / 6 = 1.5 -> 2
    };
    for (const Case& c : cases) EXPECT_EQ(BoxToImage(c.pos, c.box, c.image), c.expected) << c.pos << " " << c.box;

    PixelRect r;
    ASSERT_TRUE(BoxRectToImage(399, 500, -20, 100, 400, 400, 95, 95, r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 94);
    EXPECT_EQ(r.top, 24);  // 94 * 100 / 399 = 23.56
    EXPECT_EQ(r.bottom, 94);
    EXPECT_FALSE(BoxRectToImage(0, 0, 10, 10, 400, 400, 0, 95, r));

    EXPECT_EQ(EventAtBoxPoint(399, 399, 400, 400, 95, 95), 95 * 95 - 1);
    EXPECT_EQ(EventAtBoxPoint(1000, -5, 400, 400, 95, 95), 94);
    EXPECT_EQ(EventAtBoxPoint(3, 3, 400, 400, 0, 0), -1);
}

TEST(BoxMapping, PolygonCollectsPixelsColumnByColumn)
{
    // A 4 x 3 picture on a 7 x 5 box: pixel (c, r) sits at (2c, 2r).
    const std::vector<DPoint> square = {{1, -1}, {5, -1}, {5, 3}, {1, 3}};
    EXPECT_EQ(PixelsInBoxPolygon(square, 7, 5, 4, 3), (std::vector<int32_t>{1, 5, 2, 6}));
    EXPECT_TRUE(PixelsInBoxPolygon({{0, 0}, {6, 0}}, 7, 5, 4, 3).empty());
    EXPECT_TRUE(PixelsInBoxPolygon(square, 7, 5, 0, 3).empty());
}

TEST(Overlay, OnlyColouredEventsReplaceThePicture)
{
    uint32_t picture[] = {0x00102030, 0x00405060, 0x00708090};
    const uint32_t overlay[] = {0, 0x000000FF, 0xFF000000};
    OverlayColours(picture, overlay, 3);
    EXPECT_EQ(picture[0], 0x00102030u);
    EXPECT_EQ(picture[1], 0x000000FFu);
    EXPECT_EQ(picture[2], 0x00708090u);  // the byte above the colour is not a colour
}

TEST(HistogramMarkers, PressTakesTheNearerMarkerAndReleaseOrdersTheRange)
{
    EXPECT_EQ(NearerMarker(10, 0, 100), 0);
    EXPECT_EQ(NearerMarker(90, 0, 100), 1);
    EXPECT_EQ(NearerMarker(50, 0, 100), 0);  // a tie takes the first
    EXPECT_EQ(NearerMarker(-5, 0, 0), 0);     // both at the start position

    struct Case {
        double m1, m2;
        bool stored;
        double lo, hi;
    } cases[] = {
        {20, 200, true, 20, 200},
        {200, 20, true, 20, 200},  // dragged past each other
        {7, 7, false, -1, -1},     // equal: the frame keeps its range
        {std::nan(""), 5, false, -1, -1},
    };
    for (const Case& c : cases) {
        double lo = -1, hi = -1;
        EXPECT_EQ(MarkerRange(c.m1, c.m2, lo, hi), c.stored) << c.m1 << " " << c.m2;
        EXPECT_EQ(lo, c.lo);
        EXPECT_EQ(hi, c.hi);
    }
}

TEST(GridWells, RadiusIsTheUpDownPositionOverTwentyWithinItsRange)
{
    EXPECT_DOUBLE_EQ(WellRadius(WellRadiusStartPosition), 0.2);  // the grid's own start radius
    EXPECT_DOUBLE_EQ(WellRadius(1), 0.05);
    EXPECT_DOUBLE_EQ(WellRadius(10), 0.5);
    EXPECT_DOUBLE_EQ(WellRadius(0), 0.05);
    EXPECT_DOUBLE_EQ(WellRadius(11), 0.5);
}
