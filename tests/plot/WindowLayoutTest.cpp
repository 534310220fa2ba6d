#include <gtest/gtest.h>

#include "plot/WindowLayout.h"

using namespace orvala;

namespace {

bool overlap(const WinRect& a, const WinRect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

}  // namespace

TEST(WindowLayout, TilingKeepsEveryWindowUsable)
{
    struct Case {
        int count, width, height;
        int columns;           // expected grid columns
        bool fits;             // the grid lies inside the area
    };
    const Case cases[] = {
        {1, 1600, 900, 1, true},
        {4, 1600, 900, 2, true},
        {6, 1600, 900, 3, true},
        // Eighteen windows on a laptop screen: three columns of usable charts, scrolled.
        {18, 1600, 900, 3, false},
        {18, 1280, 700, 2, false},
        // An area narrower than one window: one column, as wide as the minimum.
        {3, 300, 200, 1, false},
    };
    const int minW = 480, minH = 360;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const std::vector<WinRect> r = tileLayout(c.count, c.width, c.height, minW, minH);
        ASSERT_EQ(int(r.size()), c.count);
        int right = 0, bottom = 0, columns = 0;
        for (size_t i = 0; i < r.size(); ++i) {
            EXPECT_GE(r[i].width, minW);
            EXPECT_GE(r[i].height, minH);
            if (r[i].y == 0) ++columns;
            right = std::max(right, r[i].x + r[i].width);
            bottom = std::max(bottom, r[i].y + r[i].height);
            for (size_t j = 0; j < i; ++j) EXPECT_FALSE(overlap(r[i], r[j])) << i << " " << j;
        }
        EXPECT_EQ(columns, c.columns);
        EXPECT_LE(right, std::max(c.width, minW)) << "never wider than the area: only vertical scrolling";
        EXPECT_EQ(bottom <= c.height, c.fits);
    }
    EXPECT_TRUE(tileLayout(0, 800, 600, 480, 360).empty());
    // Few windows share the whole area.
    EXPECT_EQ(tileLayout(1, 1600, 900, 480, 360), (std::vector<WinRect>{{0, 0, 1600, 900}}));
}

TEST(WindowLayout, CascadeStaysUsableAndStartsAgainAtTheTop)
{
    const std::vector<WinRect> r = cascadeLayout(18, 1600, 900, 480, 360, 30);
    ASSERT_EQ(r.size(), 18u);
    for (size_t i = 0; i < r.size(); ++i) {
        EXPECT_GE(r[i].width, 480);
        EXPECT_GE(r[i].height, 360);
        EXPECT_LE(r[i].x + r[i].width, 1600) << i;
        EXPECT_LE(r[i].y + r[i].height, 900) << i;
        // No two windows share a top left corner, so every title bar shows.
        for (size_t j = 0; j < i; ++j) EXPECT_FALSE(r[i].x == r[j].x && r[i].y == r[j].y) << i << " " << j;
    }
    // A tiny area: windows keep the minimum and stack at the corner.
    for (const WinRect& w : cascadeLayout(3, 200, 100, 480, 360, 30)) EXPECT_EQ(w.width, 480);
    EXPECT_TRUE(cascadeLayout(0, 800, 600, 480, 360, 30).empty());
}
