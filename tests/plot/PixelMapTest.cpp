#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "plot/PixelMap.h"

using namespace orvala;

TEST(DensityPalette, Anchors)
{
    const auto& p = DensityPalette();
    EXPECT_EQ(p[0], 0x800000u);
    EXPECT_EQ(p[127], 0xFF0000u);
    EXPECT_EQ(p[382], 0xFFFF00u);
    EXPECT_EQ(p[637], 0x00FF00u);
    EXPECT_EQ(p[892], 0x00FFFFu);
    EXPECT_EQ(p[1147], 0x0000FFu);
}

TEST(RoundHalfEven, MatchesNearbyint)
{
    for (double v : {-2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 799.5, 800.5, 3.49999, 1e9 + 0.5})
        EXPECT_EQ(roundHalfEven(v), int64_t(std::nearbyint(v))) << v;
}

namespace {
struct Mapped {
    TMultiThread pool{2};
    TMapper mapper{&pool};
    std::vector<double> x, y;
    std::vector<uint32_t> colors;
    std::vector<MapPoint> render(int W, int H, double x0, double x1, double y0, double y1, bool withColors = false)
    {
        mapper.xx = x.data();
        mapper.yy = y.data();
        mapper.DataSize = int(x.size());
        mapper.DataColor = withColors ? ColorSource{colors.data(), nullptr} : ColorSource{};
        return RenderPixelMap(mapper, W, H, x0, x1, y0, y1);
    }
    int count(int col, int row) const
    {
        const auto& m = mapper.MapInfo;
        return m.Map[size_t(row) * size_t(m.width) + size_t(col)];
    }
};
}  // namespace

TEST(PixelMap, EdgesAreCountedAndBeyondIsDropped)
{
    Mapped m;
    // 10 x 10 area showing [0,10] x [0,10]: one unit per pixel.
    m.x = {10.0, 10.49, 10.6, 0.0, -0.4, -0.6, 5.0, std::nan("")};
    m.y = {10.0, 0.0, 0.0, 0.0, 0.0, 0.0, 5.0, 1.0};
    m.render(10, 10, 0, 10, 0, 10);
    EXPECT_EQ(m.count(10, 10), 1);  // right and top edge: column W, row H
    EXPECT_EQ(m.count(10, 0), 1);   // 10.49 rounds to W
    EXPECT_EQ(m.count(0, 0), 2);    // 0 and -0.4
    EXPECT_EQ(m.count(5, 5), 1);
    int total = 0;
    for (int32_t c : m.mapper.MapInfo.Map) total += c;
    EXPECT_EQ(total, 5);  // 10.6 (column W + 1), -0.6 and NaN dropped
}

TEST(PixelMap, AllEventsInOnePixelGetTheFirstPaletteEntry)
{
    Mapped m;
    m.x.assign(1000, 3.0);
    m.y.assign(1000, 3.0);
    const auto points = m.render(100, 100, 0, 10, 0, 10);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].color, DensityPalette()[0]);
    EXPECT_DOUBLE_EQ(points[0].x, 3.0);
    EXPECT_DOUBLE_EQ(points[0].y, 3.0);
}

TEST(PixelMap, HiddenEventsAreNeitherDrawnNorCountedAndBrightestColourWins)
{
    Mapped m;
    m.x = {1, 1, 1, 2};
    m.y = {1, 1, 1, 2};
    m.colors = {0x0A0000FF, 0x010000FF | 0x00FF00, 0x0A000080, 0x01000000};
    const auto points = m.render(10, 10, 0, 10, 0, 10, true);
    EXPECT_EQ(m.count(1, 1), 2);
    EXPECT_EQ(m.count(2, 2), 0);
    ASSERT_EQ(points.size(), 1u);
    // Colour K = 0x0A0000FF (the larger), a single count: brightness 0.5, red 255 * 0.5 rounded.
    EXPECT_EQ(points[0].color, 128u);
}

TEST(PixelMap, ParallelMapEqualsSequentialCount)
{
    Mapped m;
    std::mt19937 rng(3);
    std::normal_distribution<double> g(0, 1);
    for (int i = 0; i < 200'000; ++i) {
        m.x.push_back(g(rng));
        m.y.push_back(g(rng));
    }
    m.render(80, 60, -3, 3, -3, 3);
    std::vector<int32_t> expected(81 * 61, 0);
    const double sx = 80 / 6.0, sy = 60 / 6.0;
    for (size_t k = 0; k < m.x.size(); ++k) {
        const double col = std::nearbyint((m.x[k] + 3) * sx), row = std::nearbyint((m.y[k] + 3) * sy);
        if (col >= 0 && col <= 80 && row >= 0 && row <= 60) ++expected[size_t(row) * 81 + size_t(col)];
    }
    EXPECT_EQ(m.mapper.MapInfo.Map, expected);
}

TEST(PixelMap, PointColoursFollowTheCountScale)
{
    // Counts 1..60 over many pixels (levels found once per count) and a few
    // huge counts (levels found per pixel): both give the formula's colours.
    auto expectFormula = [](const std::vector<int32_t>& counts) {
        TMapData map;
        map.width = int(counts.size());
        map.height = 1;
        map.Map = counts;
        map.scalex = map.scaley = 1;
        std::vector<int32_t> nonZero;
        for (int32_t c : counts)
            if (c > 0) nonZero.push_back(c);
        std::vector<int32_t> sorted = nonZero;
        std::sort(sorted.begin(), sorted.end());
        const double cmin = sorted.front();
        const double cmax = sorted[size_t(std::nearbyint(double(sorted.size() - 1) * 0.9))];
        const double range = cmax == cmin ? 1.0 : cmax - cmin;
        const auto points = MapToPoints(map, false);
        ASSERT_EQ(points.size(), nonZero.size());
        for (size_t i = 0; i < points.size(); ++i) {
            const double level = std::log2(1.0 + (nonZero[i] - cmin) / range);
            const double u = std::clamp(std::nearbyint(1147.0 * level), 0.0, 1147.0);
            EXPECT_EQ(points[i].color, DensityPalette()[size_t(u)]) << "count " << nonZero[i];
        }
    };
    std::vector<int32_t> small;
    for (int i = 0; i < 600; ++i) small.push_back(i % 7 == 0 ? 0 : 1 + (i * 37) % 60);
    expectFormula(small);
    expectFormula({0, 100000, 3, 0, 250000, 7});
}

TEST(PixelMap, ARemapCountsOnlyTheNewEvents)
{
    // The maps are kept between remaps; nothing of the last one may remain.
    Mapped m;
    m.x = {1, 2, 3, 3};
    m.y = {1, 2, 3, 3};
    m.render(10, 10, 0, 10, 0, 10);
    m.x = {5};
    m.y = {5};
    const auto points = m.render(10, 10, 0, 10, 0, 10);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(m.count(5, 5), 1);
    EXPECT_EQ(m.count(3, 3), 0);
    int total = 0;
    for (int32_t c : m.mapper.MapInfo.Map) total += c;
    EXPECT_EQ(total, 1);
}

TEST(PixelMap, EmptyAreaOrRangeDrawsNothing)
{
    Mapped m;
    m.x = {1};
    m.y = {1};
    EXPECT_TRUE(m.render(0, 10, 0, 10, 0, 10).empty());
    EXPECT_TRUE(m.render(10, 10, 5, 5, 0, 10).empty());
    m.x.clear();
    m.y.clear();
    EXPECT_TRUE(m.render(10, 10, 0, 10, 0, 10).empty());
}

TEST(DensityColoring, LevelsFollowCrowding)
{
    // A dense clump and one lonely point.
    std::vector<double> x(101, 1.0), y(101, 1.0);
    x[100] = 100;
    y[100] = 100;
    std::vector<uint32_t> colors(101, 7);
    ASSERT_TRUE(DensityColoring(x.data(), y.data(), 101, colors.data()));
    EXPECT_EQ(colors[0], DensityLevels[8]);
    EXPECT_EQ(colors[100], DensityLevels[0]);
}

TEST(DensityColoring, VerticalLineLeavesColoursAlone)
{
    std::vector<double> x(5, 2.0), y{1, 2, 3, 4, 5};
    std::vector<uint32_t> colors(5, 7);
    EXPECT_FALSE(DensityColoring(x.data(), y.data(), 5, colors.data()));
    EXPECT_EQ(colors, std::vector<uint32_t>(5, 7));
}

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
const double NonFinite[] = {std::nan(""), Inf, -Inf};
}  // namespace

TEST(PixelMap, NonFiniteEventsAreNeitherDrawnNorCounted)
{
    for (double bad : NonFinite)
        for (bool inX : {true, false}) {
            SCOPED_TRACE(std::to_string(bad) + (inX ? " in x" : " in y"));
            Mapped m;
            m.x = {1, 2, 3, 4};
            m.y = {1, 2, 3, 4};
            (inX ? m.x : m.y)[2] = bad;
            const auto points = m.render(10, 10, 0, 10, 0, 10);
            int total = 0;
            for (int32_t c : m.mapper.MapInfo.Map) total += c;
            EXPECT_EQ(total, 3);
            EXPECT_EQ(points.size(), 3u);
            for (const MapPoint& p : points) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        }
}

TEST(DensityColoring, NonFiniteEventsKeepTheirColourAndDoNotCount)
{
    // The clump and the lonely point of LevelsFollowCrowding, plus events with
    // NaN or infinite coordinates: the finite ones get the same levels as
    // without them, the others are left as they were.
    for (double bad : NonFinite)
        for (bool inX : {true, false}) {
            SCOPED_TRACE(std::to_string(bad) + (inX ? " in x" : " in y"));
            std::vector<double> x(104, 1.0), y(104, 1.0);
            x[100] = 100;
            y[100] = 100;
            (inX ? x : y)[101] = bad;
            x[102] = bad;
            y[102] = bad;
            (inX ? y : x)[103] = bad;
            std::vector<uint32_t> colors(104, 7);
            ASSERT_TRUE(DensityColoring(x.data(), y.data(), 104, colors.data()));
            EXPECT_EQ(colors[0], DensityLevels[8]);
            EXPECT_EQ(colors[99], DensityLevels[8]);
            EXPECT_EQ(colors[100], DensityLevels[0]);
            for (int p = 101; p < 104; ++p) EXPECT_EQ(colors[size_t(p)], 7u) << p;
        }
    // Only non-finite events: nothing to colour.
    std::vector<double> x(3, std::nan("")), y{1, 2, 3};
    std::vector<uint32_t> colors(3, 7);
    EXPECT_FALSE(DensityColoring(x.data(), y.data(), 3, colors.data()));
    EXPECT_EQ(colors, std::vector<uint32_t>(3, 7));
}
