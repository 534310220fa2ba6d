#include <gtest/gtest.h>

#include <climits>

#include "plot/DockDrop.h"

using namespace orvala;

TEST(DockDrop, RightSeventhOfTheClientAreaFullHeight)
{
    struct Case {
        int width, height;
        DropRect expected;
    };
    const Case cases[] = {
        {700, 500, {600, 0, 100, 500}},
        // Integer division: 699 div 7 = 99, so the rectangle starts at 600.
        {699, 500, {600, 0, 99, 500}},
        {706, 10, {606, 0, 100, 10}},
        {7, 1, {6, 0, 1, 1}},
        // Too narrow or flat for a single pixel: nothing accepts a drop.
        {6, 500, {}},
        {0, 500, {}},
        {700, 0, {}},
        {-70, 500, {}},
    };
    for (const Case& c : cases) {
        const DropRect r = dockDropRect(c.width, c.height);
        EXPECT_EQ(r, c.expected) << c.width << " x " << c.height;
        EXPECT_EQ(r.empty(), c.expected.width == 0) << c.width << " x " << c.height;
    }
}

TEST(DockDrop, PointsOnTheEdges)
{
    const DropRect r = dockDropRect(700, 500);  // x 600..699, y 0..499
    struct Case {
        int x, y;
        bool in;
    };
    const Case cases[] = {
        {600, 0, true},    {699, 499, true},  {650, 250, true},
        {599, 250, false},  // one pixel left of the rectangle
        {700, 250, false},  // beyond the right edge
        {650, -1, false},  {650, 500, false},
        {INT_MAX, 250, false}, {INT_MIN, 250, false}, {650, INT_MIN, false},
    };
    for (const Case& c : cases) EXPECT_EQ(dropsInto(r, c.x, c.y), c.in) << c.x << ", " << c.y;
    // An empty rectangle takes nothing, not even its own corner.
    EXPECT_FALSE(dropsInto(dockDropRect(6, 500), 0, 0));
    EXPECT_FALSE(dropsInto(DropRect{}, 0, 0));
}
