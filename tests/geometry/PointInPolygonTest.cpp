#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "geometry/PointInPolygon.h"

using namespace orvala;

TEST(PointInPolygon, SquareEdgesAreHalfOpen)
{
    const double x[] = {0, 10, 10, 0};
    const double y[] = {0, 0, 10, 10};
    struct Case {
        double px, py;
        bool inside;
    };
    const Case cases[] = {
        {0, 5, true},    {10, 5, false}, {5, 0, true},    {5, 10, false}, {5, 5, true},
        {0, 0, true},    {10, 0, false}, {10, 10, false}, {0, 10, false}, {-1e-9, 5, false},
        {9.999, 9.999, true}, {5, -0.001, false}, {11, 5, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PointInPolygon(c.px, c.py, x, y, 4), c.inside) << c.px << "," << c.py;
}

TEST(PointInPolygon, ClosingCopySelfIntersectionAndDegenerateInput)
{
    // A repeated closing vertex adds a zero-length edge, which never counts.
    const std::vector<double> x = {0, 10, 10, 0, 0};
    const std::vector<double> y = {0, 0, 10, 10, 0};
    EXPECT_TRUE(PointInPolygon(5, 5, x, y));
    EXPECT_FALSE(PointInPolygon(15, 5, x, y));

    // Bow-tie: the two lobes are inside, the crossing point's left and right
    // neighbourhoods follow even-odd.
    const std::vector<DPoint> bow = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};
    EXPECT_TRUE(PointInPolygon(1, 5, bow));
    EXPECT_TRUE(PointInPolygon(9, 5, bow));
    EXPECT_FALSE(PointInPolygon(5, 1, bow));
    EXPECT_FALSE(PointInPolygon(5, 9, bow));

    // A pentagram's centre is covered twice and so is outside by even-odd.
    const std::vector<double> sx = {0, 4, -4, 4, -4}, sy = {5, -4, 2, 2, -4};
    EXPECT_FALSE(PointInPolygon(0, 0, sx, sy));
    EXPECT_TRUE(PointInPolygon(0, 4, sx, sy));

    EXPECT_FALSE(PointInPolygon(0, 0, static_cast<const double*>(nullptr), nullptr, 0));
    const double one[] = {1}, oneY[] = {1};
    EXPECT_FALSE(PointInPolygon(1, 1, one, oneY, 1));
}

namespace {

// Independent reference: the half-open rule is the plain even-odd rule for
// the point nudged infinitesimally right and (far less) up. With integer
// vertices and quarter-unit points, scaling by 4M and nudging by (1000, 1)
// puts the nudged point strictly off every edge and every vertex height, so
// the classic strict crossing test in exact 64-bit integers decides it.
bool referenceInside(const std::vector<int64_t>& vx4, const std::vector<int64_t>& vy4, int64_t px4, int64_t py4)
{
    constexpr int64_t M = 1000000;
    const int64_t X = px4 * M + 1000;
    const int64_t Y = py4 * M + 1;
    bool inside = false;
    const size_t n = vx4.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const int64_t xi = vx4[i] * M, yi = vy4[i] * M, xj = vx4[j] * M, yj = vy4[j] * M;
        if ((yi > Y) == (yj > Y))
            continue;
        // The crossing lies right of X when (xi - X)(yj - yi) + (xj - xi)(Y - yi)
        // has the sign of (yj - yi).
        const __int128 s = static_cast<__int128>(xi - X) * (yj - yi) + static_cast<__int128>(xj - xi) * (Y - yi);
        if ((s > 0) == (yj > yi))
            inside = !inside;
    }
    return inside;
}

}  // namespace

TEST(PointInPolygon, AgreesWithExactReferenceIncludingEdgesAndVertices)
{
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> coord(-20, 20);
    std::uniform_int_distribution<int> quarter(-88, 88);
    std::uniform_int_distribution<int> nverts(3, 12);
    int onBoundary = 0, insideCount = 0, total = 0;
    for (int poly = 0; poly < 400; ++poly) {
        const int n = nverts(rng);
        std::vector<double> x(n), y(n);
        std::vector<int64_t> x4(n), y4(n);
        for (int k = 0; k < n; ++k) {
            // Some polygons get axis-parallel and repeated vertices.
            const bool snap = k > 0 && (rng() % 4 == 0);
            const int vx = snap && (rng() % 2) ? int(x[k - 1]) : coord(rng);
            const int vy = snap ? int(y[k - 1]) : coord(rng);
            x[k] = vx;
            y[k] = vy;
            x4[k] = 4 * vx;
            y4[k] = 4 * vy;
        }
        std::vector<DPoint> pts2(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k)
            pts2[size_t(k)] = {x[size_t(k)], y[size_t(k)]};
        std::vector<std::pair<int64_t, int64_t>> pts;
        for (int k = 0; k < 30; ++k)
            pts.emplace_back(quarter(rng), quarter(rng));
        // Vertices and points on every edge at quarter steps of its length.
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            for (int t = 0; t <= 4; ++t)
                pts.emplace_back(x4[i] + (x4[j] - x4[i]) * t / 4, y4[i] + (y4[j] - y4[i]) * t / 4);
            onBoundary += 5;
        }
        for (const auto& [px4, py4] : pts) {
            const bool expected = referenceInside(x4, y4, px4, py4);
            const bool got = PointInPolygon(px4 / 4.0, py4 / 4.0, x.data(), y.data(), n);
            ASSERT_EQ(got, expected) << "polygon " << poly << " point (" << px4 / 4.0 << ", " << py4 / 4.0 << ")";
            ASSERT_EQ(PointInPolygon(px4 / 4.0, py4 / 4.0, pts2), expected) << "point array, polygon " << poly;
            insideCount += expected;
            ++total;
        }
    }
    // The table must exercise both answers in earnest.
    EXPECT_GT(insideCount, total / 10);
    EXPECT_LT(insideCount, total - total / 10);
    EXPECT_GT(onBoundary, 1000);
}

TEST(PointInPolygon, NearEdgeDecisionsFollowExtendedArithmetic)
{
    // Points one ulp either side of a slanted edge's crossing: the quick double
    // evaluation must hand these to the extended one and agree with it.
    const double x[] = {0.1, 0.7, 0.3};
    const double y[] = {0.2, 0.9, 0.95};
    // Crossing of the edge from vertex i back to vertex j, in extended precision.
    auto crossing = [&](int i, int j, double py) {
        const long double xi = x[i], yi = y[i];
        return xi + (static_cast<long double>(x[j]) - xi) * (static_cast<long double>(py) - yi) /
                        (static_cast<long double>(y[j]) - yi);
    };
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.2, 0.9);
    int nearHits = 0;
    for (int k = 0; k < 2000; ++k) {
        const double py = u(rng);
        // For 0.2 <= py < 0.9 only the edges 0-1 and 2-0 straddle py.
        const long double right = crossing(1, 0, py), left = crossing(0, 2, py);
        const double px = static_cast<double>(right);
        for (double c : {std::nextafter(px, -1.0), px, std::nextafter(px, 2.0)}) {
            const bool expected = (right > static_cast<long double>(c)) != (left > static_cast<long double>(c));
            ASSERT_EQ(PointInPolygon(c, py, x, y, 3), expected) << py << " " << c;
            nearHits += expected;
        }
    }
    EXPECT_GT(nearHits, 0);
    EXPECT_LT(nearHits, 6000);
}
