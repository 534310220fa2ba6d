#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "parallel/TMultiThread.h"
#include "plot/Tabloid.h"

using namespace orvala;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr int S = TabloidSide;

uint32_t px(const TabloidPicture& p, int column, int row) { return p[size_t(row * S + column)]; }

int countOf(const TabloidPicture& p, uint32_t colour)
{
    int n = 0;
    for (uint32_t c : p) n += c == colour;
    return n;
}

// Pseudo-random events in [0, 1000) for every parameter.
std::vector<double> randomEvents(int rows, int cols, uint64_t seed)
{
    std::vector<double> v(size_t(rows) * size_t(cols));
    for (double& x : v) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        x = double(seed >> 11) / double(1ull << 53) * 1000.0;
    }
    return v;
}

// Ranges with min 0 and range 127: the pixel index is the value rounded.
TabloidRanges unitRanges(int cols) { return {std::vector<double>(size_t(cols), 0.0), std::vector<double>(size_t(cols), 127.0)}; }

}  // namespace

TEST(Tabloid, DensityEntryDensestRedSparsestBlue)
{
    struct Case {
        uint32_t c, lo, hi;
        int entry;
    } cases[] = {
        {9, 1, 9, 8},   // densest: red
        {1, 1, 9, 0},   // sparsest: blue
        {5, 1, 9, 6},   // f = -1/2: (1 - 1/4) 8 = 6
        {4, 1, 5, 8},   // f = -1/4: 7.5, halves to even
        {2, 1, 5, 4},   // f = -3/4: 3.5, halves to even
        {3, 1, 5, 6},   // f = -1/2
        {7, 7, 7, 8},   // hi = lo: every occupied pixel is the densest
        {1, 1, 1, 8},
    };
    for (const Case& c : cases) EXPECT_EQ(tabloidDensityEntry(c.c, c.lo, c.hi), c.entry) << c.c << " in " << c.lo << ".." << c.hi;
    EXPECT_EQ(TabloidPalette[0], tabloidRgb(0, 0, 255));
    EXPECT_EQ(TabloidPalette[8], tabloidRgb(255, 0, 0));
}

TEST(Tabloid, QuantisesOnceAndSkipsWhatFallsOutside)
{
    // Ranges as taken when the window opened; the values may since have
    // moved (an in-place transform), so some fall outside 0..127.
    struct Case {
        double v;
        int index;  // -1: skipped
    } cases[] = {{0, 0},     {0.5, 0},    {1.5, 2},      {2.5, 2},   {126.6, 127}, {127.4, 127},
                 {127.6, -1}, {-0.4, 0},  {-0.6, -1},    {NaN, -1},  {Inf, -1},    {-Inf, -1},
                 {1e300, -1}, {-1e300, -1}};
    std::vector<double> data;
    for (const Case& c : cases) data.insert(data.end(), {c.v, 5.0});  // second parameter constant
    const int rows = int(std::size(cases));
    TabloidRanges r = unitRanges(2);
    r.dels[1] = 0;
    TabloidIndex index;
    index.build(data.data(), rows, 2, r);
    for (int e = 0; e < rows; ++e) {
        const int got = index.column(0)[e] == TabloidSkipped ? -1 : index.column(0)[e];
        EXPECT_EQ(got, cases[e].index) << cases[e].v;
        EXPECT_EQ(index.column(1)[e], TabloidSkipped);  // range 0: drawn nowhere
    }
}

TEST(Tabloid, RangesAreTheFiniteExtremes)
{
    const std::vector<double> data = {3, 7, NaN, 7, -2, 7, Inf, 7, 10, 7};  // 5 events x 2
    TMultiThread pool(2);
    for (TMultiThread* p : {static_cast<TMultiThread*>(nullptr), &pool}) {
        const TabloidRanges r = tabloidRanges(data.data(), 5, 2, p);
        EXPECT_EQ(r.mins, (std::vector<double>{-2, 7}));
        EXPECT_EQ(r.dels, (std::vector<double>{12, 0}));
    }
    const std::vector<double> allNaN = {NaN, NaN};
    EXPECT_EQ(tabloidRanges(allNaN.data(), 2, 1).dels, std::vector<double>{0});
}

TEST(Tabloid, DensityPictureColoursCountsAtTheirPixels)
{
    // x index a -> column a, y index b -> row 127 - b.
    const std::vector<double> data = {
        0, 0, 0, 0, 0, 0,  // three events at (0, 0): the densest
        10, 20, 10, 20,    // two at (10, 20)
        127, 127,          // one at (127, 127): the sparsest
        NaN, 3, 200, 3,    // skipped
    };
    TabloidIndex index;
    index.build(data.data(), int(data.size() / 2), 2, unitRanges(2));
    TabloidPicture p;
    tabloidDensity(index, 0, 1, p);
    EXPECT_EQ(px(p, 0, 127), TabloidPalette[8]);
    EXPECT_EQ(px(p, 10, 107), TabloidPalette[6]);  // f = -1/2
    EXPECT_EQ(px(p, 127, 0), TabloidPalette[0]);
    EXPECT_EQ(countOf(p, TabloidWhite), S * S - 3);

    // One event: hi = lo, drawn red rather than dividing by zero.
    TabloidIndex one;
    const std::vector<double> single = {64, 32};
    one.build(single.data(), 1, 2, unitRanges(2));
    tabloidDensity(one, 0, 1, p);
    EXPECT_EQ(px(p, 64, 95), TabloidPalette[8]);
    EXPECT_EQ(countOf(p, TabloidWhite), S * S - 1);
}

TEST(Tabloid, MirrorSwapsTheAxes)
{
    TabloidPicture src, out;
    src.fill(TabloidWhite);
    src[size_t(5 * S + 3)] = TabloidPalette[8];  // (a, b) = (3, 5)
    tabloidMirror(src, out);
    EXPECT_EQ(px(out, 127 - 5, 127 - 3), TabloidPalette[8]);
    EXPECT_EQ(countOf(out, TabloidWhite), S * S - 1);

    // The reflection of (i, j) is exactly the picture (j, i) counted afresh.
    const int rows = 5000, cols = 3;
    const std::vector<double> data = randomEvents(rows, cols, 7);
    TabloidIndex index;
    index.build(data.data(), rows, cols, tabloidRanges(data.data(), rows, cols));
    for (int i = 0; i < cols; ++i)
        for (int j = 0; j < cols; ++j) {
            if (i == j) continue;
            TabloidPicture a, b;
            tabloidDensity(index, i, j, a);
            tabloidDensity(index, j, i, b);
            tabloidMirror(a, out);
            EXPECT_EQ(out, b) << i << "," << j;
        }
}

TEST(Tabloid, ConstantParameterGivesWhitePictures)
{
    const int rows = 2000;
    std::vector<double> data = randomEvents(rows, 3, 3);
    for (int e = 0; e < rows; ++e) data[size_t(e) * 3 + 1] = 42.0;
    TabloidPictures pics;
    pics.setData(data.data(), rows, 3, tabloidRanges(data.data(), rows, 3));
    std::vector<std::pair<int, int>> all;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) all.push_back({i, j});
    pics.ensure(all);
    for (int k = 0; k < 3; ++k) {
        if (k == 1) continue;
        EXPECT_EQ(countOf(*pics.picture(1, k), TabloidWhite), S * S) << "column " << k;
        EXPECT_EQ(countOf(*pics.picture(k, 1), TabloidWhite), S * S) << "row " << k;
    }
    EXPECT_LT(countOf(*pics.picture(0, 2), TabloidWhite), S * S);
}

TEST(Tabloid, DiagonalHistogram)
{
    // A constant positive parameter: its largest position is positive, so
    // a histogram is drawn; a constant negative one leaves the background.
    const std::vector<double> positive(100, 5.0), negative(100, -5.0);
    TabloidPicture p;
    tabloidDiagonal(positive.data(), 100, 1, p);
    EXPECT_GT(countOf(p, TabloidHistogramLine), 0);
    tabloidDiagonal(negative.data(), 100, 1, p);
    EXPECT_EQ(countOf(p, TabloidDiagonalBack), S * S);

    // Values on both sides of 0: lines at negative positions are clipped,
    // the others rise from the bottom row.
    std::vector<double> mixed;
    for (int k = -500; k <= 1000; ++k) mixed.push_back(double(k) + (k % 3 == 0 ? NaN : 0.0));
    tabloidDiagonal(mixed.data(), int(mixed.size()), 1, p);
    int columns = 0;
    for (int c = 0; c < S; ++c) {
        if (px(p, c, 127) != TabloidHistogramLine) continue;
        ++columns;
        // A line is contiguous from the bottom up.
        int r = 127;
        while (r >= 0 && px(p, c, r) == TabloidHistogramLine) --r;
        for (; r >= 0; --r) EXPECT_EQ(px(p, c, r), TabloidDiagonalBack) << c << "," << r;
    }
    EXPECT_GT(columns, 40);
    EXPECT_EQ(countOf(p, TabloidDiagonalBack) + countOf(p, TabloidHistogramLine), S * S);
}

TEST(Tabloid, PicturesCountOncePerPairAndKeepOnlyWhatIsShown)
{
    const int rows = 20000, cols = 4;
    const std::vector<double> data = randomEvents(rows, cols, 11);
    const TabloidRanges r = tabloidRanges(data.data(), rows, cols);
    std::vector<std::pair<int, int>> all;
    for (int i = 0; i < cols; ++i)
        for (int j = 0; j < cols; ++j) all.push_back({i, j});

    TMultiThread pool(3);
    TabloidPictures seq, par;
    seq.setData(data.data(), rows, cols, r);
    par.setData(data.data(), rows, cols, r, &pool);
    seq.ensure(all);
    par.ensure(all, &pool);
    // 4 diagonals and 6 pairs counted, their 6 mirrors reflected.
    EXPECT_EQ(par.counted(), 10);
    EXPECT_EQ(par.mirrored(), 6);
    TabloidIndex index;
    index.build(data.data(), rows, cols, r);
    for (auto [i, j] : all) {
        ASSERT_NE(par.picture(i, j), nullptr);
        EXPECT_EQ(*par.picture(i, j), *seq.picture(i, j)) << i << "," << j;
        TabloidPicture direct;
        if (i == j)
            tabloidDiagonal(data.data() + i, rows, cols, direct);
        else
            tabloidDensity(index, i, j, direct);
        EXPECT_EQ(*par.picture(i, j), direct) << i << "," << j;
    }

    // Scrolled: only the cells on screen stay; a mirror still held is reflected.
    const std::vector<std::pair<int, int>> shown = {{2, 3}, {3, 3}};
    par.keepOnly(shown);
    EXPECT_EQ(par.held(), 2);
    EXPECT_EQ(par.picture(0, 1), nullptr);
    par.ensure({{3, 2}, {2, 3}}, &pool);
    EXPECT_EQ(par.mirrored(), 7);
    EXPECT_EQ(par.counted(), 10);
    EXPECT_EQ(*par.picture(3, 2), *seq.picture(3, 2));
    // Out-of-range cells are ignored, not indexed.
    par.ensure({{-1, 0}, {4, 0}, {0, 99}});
    EXPECT_EQ(par.held(), 3);
}

TEST(Tabloid, EmptyDataGivesBlankPictures)
{
    TabloidPictures pics;
    pics.setData(nullptr, 0, 2, TabloidRanges{{0, 0}, {0, 0}});
    pics.ensure({{0, 0}, {0, 1}, {1, 0}});
    EXPECT_EQ(countOf(*pics.picture(0, 1), TabloidWhite), S * S);
    EXPECT_EQ(countOf(*pics.picture(0, 0), TabloidDiagonalBack), S * S);
    TabloidPictures none;
    none.setData(nullptr, 5, 0, {});
    none.ensure({{0, 0}});
    EXPECT_EQ(none.held(), 0);
}
