#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "parallel/TMultiThread.h"
#include "plot/Scatter3D.h"

using namespace orvala;

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(Scatter3D, ProjectsOntoTheDirectionsAndGroupsByColour)
{
    // 3 parameters; x = p0, y = p1 + p2 (a sum direction), z = p2 (given short: p2 only).
    const std::vector<double> data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::vector<uint32_t> colors = {0x0000FF, 0x00FF00, 0x0000FF, 0x00FF00};
    const Scatter3DPoints p =
        prepareScatter3D(data.data(), 4, 3, {1, 0, 0}, {0, 1, 1}, {0, 0, 1}, colors.data());
    EXPECT_EQ(p.step, 1);
    EXPECT_EQ(p.points, 4);
    ASSERT_EQ(p.groups.size(), 2u);
    EXPECT_EQ(p.groups[0].color, 0x0000FFu);  // first appearance first
    EXPECT_EQ(p.groups[0].xyz, (std::vector<float>{1, 5, 3, 7, 17, 9}));
    EXPECT_EQ(p.groups[1].color, 0x00FF00u);
    EXPECT_EQ(p.groups[1].xyz, (std::vector<float>{4, 11, 6, 10, 23, 12}));
    EXPECT_EQ(p.lo[0], 1);
    EXPECT_EQ(p.hi[1], 23);
    EXPECT_EQ(p.lo[2], 3);

    // No colours: one black group; a short direction weighs 0 beyond its end.
    const Scatter3DPoints q = prepareScatter3D(data.data(), 4, 3, {1}, {0, 1}, {}, nullptr);
    ASSERT_EQ(q.groups.size(), 1u);
    EXPECT_EQ(q.groups[0].color, 0u);
    EXPECT_EQ(q.groups[0].xyz, (std::vector<float>{1, 2, 0, 4, 5, 0, 7, 8, 0, 10, 11, 0}));
}

TEST(Scatter3D, LeavesOutNonFiniteCoordinates)
{
    const std::vector<double> data = {1, 1, NaN, 1, 1, Inf, 2, 1e300, 2, 3, 3, 3};
    const Scatter3DPoints p = prepareScatter3D(data.data(), 4, 3, parameterAxis(3, 0), parameterAxis(3, 1),
                                               parameterAxis(3, 2), nullptr);
    EXPECT_EQ(p.points, 1);
    EXPECT_EQ(p.skipped, 3);  // NaN, an infinity, a value beyond single precision
    EXPECT_EQ(p.groups[0].xyz, (std::vector<float>{3, 3, 3}));
    // A zero weight does not turn a NaN of an unused parameter into a NaN point.
    const Scatter3DPoints q = prepareScatter3D(data.data(), 4, 3, parameterAxis(3, 0), parameterAxis(3, 0),
                                               parameterAxis(3, 0), nullptr);
    EXPECT_EQ(q.points, 4);
}

TEST(Scatter3D, ThinsEvenlyToTheBudget)
{
    struct Case {
        int rows, budget, step;
        std::vector<float> xs;
    } cases[] = {
        {10, 3, 4, {0, 4, 8}},
        {9, 3, 3, {0, 3, 6}},
        {5, 5, 1, {0, 1, 2, 3, 4}},
        {5, 100, 1, {0, 1, 2, 3, 4}},
        {7, 1, 7, {0}},
    };
    for (const Case& c : cases) {
        std::vector<double> data(size_t(c.rows));
        for (int e = 0; e < c.rows; ++e) data[size_t(e)] = e;
        const Scatter3DPoints p = prepareScatter3D(data.data(), c.rows, 1, {1}, {1}, {1}, nullptr, c.budget);
        EXPECT_EQ(p.step, c.step) << c.rows << "/" << c.budget;
        std::vector<float> xs;
        for (int k = 0; k < p.groups[0].count(); ++k) xs.push_back(p.groups[0].xyz[size_t(k) * 3]);
        EXPECT_EQ(xs, c.xs) << c.rows << "/" << c.budget;
    }
}

TEST(Scatter3D, TooManyColoursAreReduced)
{
    struct Case {
        uint32_t in, out;
    } cases[] = {{0x000000, 0x000000}, {0x2A2A2A, 0x000000}, {0x2B2B2B, 0x555555}, {0x7F7F7F, 0x555555},
                 {0x808080, 0xAAAAAA}, {0xFFFFFF, 0xFFFFFF}, {0x0000FF, 0x0000FF}, {0x12D4FF, 0x00AAFF}};
    for (const Case& c : cases) EXPECT_EQ(reducedColor(c.in), c.out) << std::hex << c.in;

    const int n = 500;
    std::vector<double> data(size_t(n), 1.0);
    std::vector<uint32_t> colors(static_cast<size_t>(n));
    for (int e = 0; e < n; ++e) colors[size_t(e)] = uint32_t(e) * 0x010203u;
    const Scatter3DPoints p = prepareScatter3D(data.data(), n, 1, {1}, {1}, {1}, colors.data());
    EXPECT_LE(int(p.groups.size()), Scatter3DMaxGroups);
    EXPECT_EQ(p.points, n);
    for (const Scatter3DGroup& g : p.groups) EXPECT_EQ(reducedColor(g.color), g.color);
    // Up to the limit the colours stay exact.
    for (int e = 0; e < n; ++e) colors[size_t(e)] = uint32_t(e % Scatter3DMaxGroups) * 0x010101u;
    EXPECT_EQ(int(prepareScatter3D(data.data(), n, 1, {1}, {1}, {1}, colors.data()).groups.size()), Scatter3DMaxGroups);
}

TEST(Scatter3D, PoolGivesThePlainLoopsPoints)
{
    const int rows = 300'000, cols = 4;
    std::vector<double> data(size_t(rows) * cols);
    std::vector<uint32_t> colors(static_cast<size_t>(rows));
    uint64_t s = 99;
    for (double& v : data) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        v = double(s >> 11) / double(1ull << 53) - 0.5;
    }
    for (int e = 0; e < rows; ++e) colors[size_t(e)] = (e % 3) * 0x404040u;
    data[12345] = NaN;
    TMultiThread pool(3);
    const TVector dx = {1, 0.5, 0, 0}, dy = {0, 0, 1, 0}, dz = {0.2, 0, 0, 1};
    const Scatter3DPoints a = prepareScatter3D(data.data(), rows, cols, dx, dy, dz, colors.data(), 200'000, nullptr);
    const Scatter3DPoints b = prepareScatter3D(data.data(), rows, cols, dx, dy, dz, colors.data(), 200'000, &pool);
    ASSERT_EQ(a.groups.size(), 3u);
    ASSERT_EQ(b.groups.size(), 3u);
    EXPECT_EQ(a.step, 2);
    EXPECT_EQ(a.points + a.skipped, 150'000);
    for (size_t g = 0; g < 3; ++g) {
        EXPECT_EQ(a.groups[g].color, b.groups[g].color);
        EXPECT_EQ(a.groups[g].xyz, b.groups[g].xyz);
    }
}

TEST(Scatter3D, AxesFromThePlotDirections)
{
    EXPECT_EQ(dominantParameter({0, 0.6, -0.8}), 2);
    EXPECT_EQ(dominantParameter({0.5, 0.5}), 0);
    EXPECT_EQ(dominantParameter({0, 0}), -1);
    EXPECT_EQ(dominantParameter({}), -1);
    EXPECT_EQ(parameterAxis(3, 1), (TVector{0, 1, 0}));
    EXPECT_EQ(parameterAxis(2, 5), (TVector{0, 0}));
    // Empty input gives no points and no division.
    const Scatter3DPoints p = prepareScatter3D(nullptr, 0, 3, {}, {}, {}, nullptr);
    EXPECT_EQ(p.points, 0);
    EXPECT_TRUE(p.groups.empty());
}
