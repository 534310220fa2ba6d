// Freed large blocks come back for requests of about their size, so work that
// drops and remakes big matrices does not fault fresh pages in every time.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "parallel/HugePages.h"

using namespace orvala;

TEST(LargeBlocks, FreedBlocksServeRequestsOfTheirSizeClass)
{
    struct Case {
        size_t first, second;
        bool same;
    };
    constexpr size_t MiB = size_t(1) << 20;
    const Case cases[] = {
        {8 * MiB, 8 * MiB, true},           // kept as it is
        {8 * MiB, 7 * MiB + 1, true},       // same 2 MiB multiple
        {8 * MiB, 12 * MiB, false},
        {300 * MiB, 300 * MiB, true},       // a value matrix
        {300 * MiB, 303 * MiB, true},       // both in the 304 MiB class (16 MiB steps above 256 MiB)
        {300 * MiB, 340 * MiB, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first / MiB) + " MiB then " + std::to_string(c.second) + " bytes");
        auto* a = static_cast<unsigned char*>(allocateLargeBlock(c.first));
        ASSERT_EQ(reinterpret_cast<uintptr_t>(a) % (2 * MiB), 0u);
        std::memset(a, 0xA5, c.first);  // every page touched, as a matrix would be
        freeLargeBlock(a, c.first);
        auto* b = static_cast<unsigned char*>(allocateLargeBlock(c.second));
        EXPECT_EQ(a == b, c.same);
        // The whole request is usable whichever block it got.
        std::memset(b, 0x5A, c.second);
        EXPECT_EQ(b[c.second - 1], 0x5A);
        freeLargeBlock(b, c.second);
        // Leave nothing kept for the next case to pick up by accident.
        std::free(allocateLargeBlock(c.first));
        std::free(allocateLargeBlock(c.second));
    }
}
