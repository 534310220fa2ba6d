// Display transforms: values at published or hand-worked points, exact
// inverses, the bulk paths against the scalar one, the text form and the
// Gating-ML relations.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "parallel/TMultiThread.h"
#include "transforms/ClosedFormScales.h"
#include "transforms/DisplayTransform.h"
#include "transforms/TransformError.h"

namespace orvala {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool sameBits(double a, double b)
{
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Values over the whole double range, both signs, with the awkward ones.
std::vector<double> awkwardValues()
{
    std::vector<double> xs = {0.0, -0.0, kNaN, kInf, -kInf, 5e-324, -5e-324, 1e-300, -1e-300, 1e300, -1e300};
    for (int k = -60; k <= 60; ++k) {
        const double m = std::pow(10.0, k / 8.0);
        xs.insert(xs.end(), {m, -m, m * 1.37, -m * 2.9});
    }
    return xs;
}

TEST(DisplayTransform, ValuesAtPublishedAndHandWorkedPoints)
{
    struct Case {
        const char* transform;
        double x, y, tolerance;
    };
    const Case cases[] = {
        // The logicle table of the Gating-ML 2.0 transforms document (T=1000, W=1, M=4, A=0),
        // and its W = 0 and A = 1 variants.
        {"logicle T=1000 W=1 M=4 A=0", -10, 0.067574, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", -5, 0.147986, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", -1, 0.228752, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 0, 0.25, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 0.3, 0.256384, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 1, 0.271248, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 3, 0.312897, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 10, 0.432426, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 100, 0.739548, 5e-7},
        {"logicle T=1000 W=1 M=4 A=0", 1000, 1.0, 5e-7},
        {"logicle T=1000 W=0 M=4 A=0", -10, -0.500011, 5e-7},
        {"logicle T=1000 W=0 M=4 A=0", 10, 0.500011, 5e-7},
        {"logicle T=1000 W=1 M=4 A=1", -10, 0.254059, 5e-7},
        {"logicle T=1000 W=1 M=4 A=1", 0, 0.4, 5e-7},
        {"logicle T=1000 W=1 M=4 A=1", 10, 0.545941, 5e-7},
        // log: T at 1, each decade 1/M, the bound T 10^-M and everything below it at 0.
        {"log T=10000 M=4", 10000, 1, 1e-15},
        {"log T=10000 M=4", 1000, 0.75, 1e-15},
        {"log T=10000 M=4", 10, 0.25, 1e-15},
        {"log T=10000 M=4", 1e5, 1.25, 1e-15},
        {"log T=10000 M=4", 1, 0, 1e-15},
        {"log T=10000 M=4", 0.5, 0, 0},
        {"log T=10000 M=4", 0, 0, 0},
        {"log T=10000 M=4", -250, 0, 0},
        {"log T=10000 M=4", -kInf, 0, 0},
        // arcsinh: asinh(x / c) = ln(x/c + sqrt((x/c)^2 + 1)); asinh 1 = ln(1 + sqrt 2),
        // asinh 2 = ln(2 + sqrt 5); odd, and x / c near 0.
        {"arcsinh cofactor=150", 150, 0.88137358701954302, 4e-16},
        {"arcsinh cofactor=150", -300, -1.4436354751788103, 4e-16},
        {"arcsinh cofactor=150", 0, 0, 0},
        {"arcsinh cofactor=5", 1e-9, 2e-10, 1e-25},
        {"linear", -3.5, -3.5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.transform) + " at " + std::to_string(c.x));
        const DisplayTransform t = DisplayTransform::FromText(c.transform);
        EXPECT_NEAR(t.Forward(c.x), c.y, c.tolerance);
    }
}

TEST(DisplayTransform, NonFiniteValues)
{
    for (const char* text : {"linear", "log T=262144 M=4.5", "arcsinh cofactor=150", "logicle T=262144 W=0.5 M=4.5 A=0"}) {
        SCOPED_TRACE(text);
        const DisplayTransform t = DisplayTransform::FromText(text);
        EXPECT_TRUE(std::isnan(t.Forward(kNaN)));
        EXPECT_TRUE(std::isnan(t.Inverse(kNaN)));
        EXPECT_EQ(t.Forward(kInf), kInf);
        EXPECT_EQ(t.Inverse(kInf), kInf);
        EXPECT_EQ(t.Forward(-kInf), t.Kind() == TransformKind::Log ? 0.0 : -kInf);
    }
}

// Inverse(Forward(x)) gives x back to 1e-12 relative, or to what a few
// roundings of the coordinate allow where the coordinate carries fewer digits
// than x: on logicle, values near 0 have coordinates of order 1 (its 0 lies
// inside the axis, and the closed form cancels terms of that size), so they
// come back to a few ulps of 1 in coordinate units.
TEST(DisplayTransform, InverseUndoesForward)
{
    const char* transforms[] = {"log T=262144 M=4.5", "log T=1 M=300", "arcsinh cofactor=150", "arcsinh cofactor=1e-6",
                                "logicle T=262144 W=0.5 M=4.5 A=0", "logicle T=262144 W=0 M=4.5 A=0",
                                "logicle T=10000 W=1 M=4 A=0.5", "logicle T=1e9 W=2.25 M=4.5 A=-1"};
    for (const char* text : transforms) {
        const DisplayTransform t = DisplayTransform::FromText(text);
        for (double x : awkwardValues()) {
            if (!std::isfinite(x) || (t.Kind() == TransformKind::Log && x < t.LowerBound())) continue;
            const double y = t.Forward(x);
            if (!std::isfinite(y)) continue;
            // How far a rounding of y moves the value that comes back.
            const double h = 1e-6 * std::max(1.0, std::abs(y));
            const double slope = std::abs(t.Inverse(y + h) - t.Inverse(y - h)) / (2 * h);
            const double grain = t.Kind() == TransformKind::Logicle ? std::max(std::abs(y), 1.0) : std::abs(y);
            const double ulp = std::nextafter(grain, kInf) - grain;
            const double back = t.Inverse(y);
            ASSERT_NEAR(back, x, 1e-12 * std::abs(x) + 8 * ulp * slope) << text << " at " << x;
        }
    }
    // Away from the linear zone logicle keeps 12 digits on both sides of 0.
    const DisplayTransform L = DisplayTransform::Logicle(262144, 0.5, 4.5, 0);
    for (double x : {-5e4, -2000.0, 300.0, 262144.0, 1e7, 1e200})
        EXPECT_NEAR(L.Inverse(L.Forward(x)), x, 1e-12 * std::abs(x)) << x;
}

TEST(DisplayTransform, BulkPathsMatchTheScalarPathForAnyPool)
{
    // More values than one work item holds, so the pool splits them.
    std::vector<double> xs;
    const std::vector<double> awkward = awkwardValues();
    while (xs.size() < 300000) xs.insert(xs.end(), awkward.begin(), awkward.end());
    for (size_t i = 0; i < xs.size(); i += 7) xs[i] *= 1 + double(i % 1000) * 1e-4;
    TMultiThread one(1), two(2);
    for (const char* text : {"linear", "log T=262144 M=4.5", "arcsinh cofactor=150", "logicle T=262144 W=0.5 M=4.5 A=0",
                             "logicle T=1000 W=0 M=4 A=0"}) {
        SCOPED_TRACE(text);
        const DisplayTransform t = DisplayTransform::FromText(text);
        std::vector<double> exact(xs.size()), fast(xs.size());
        t.ForwardMany(xs.data(), exact.data(), xs.size());
        t.ForwardFast(xs.data(), fast.data(), xs.size());
        size_t exactMismatches = 0;
        double worst = 0;
        for (size_t i = 0; i < xs.size(); ++i) {
            const double y = t.Forward(xs[i]);
            exactMismatches += !sameBits(exact[i], y);
            if (std::isfinite(y))
                worst = std::max(worst, std::abs(fast[i] - y));
            else
                EXPECT_TRUE(sameBits(fast[i], y)) << xs[i];
        }
        EXPECT_EQ(exactMismatches, 0u);
        EXPECT_LE(worst, t.FastError());
        // Logicle reads a table; log and arcsinh take a vector logarithm that
        // differs from the C library's by a few ulps at most.
        EXPECT_LT(t.FastError(), t.Kind() == TransformKind::Logicle ? 1e-7 : 1e-11);
        // A value alone (the scalar form) gives the bits it got in a run (vector lanes).
        size_t aloneDiffers = 0;
        for (size_t i = 0; i < awkward.size() + 50; ++i) {
            double alone;
            t.ForwardFast(&xs[i], &alone, 1);
            aloneDiffers += !sameBits(alone, fast[i]);
        }
        EXPECT_EQ(aloneDiffers, 0u);
        for (TMultiThread* pool : {&one, &two}) {
            std::vector<double> pooledExact(xs.size()), pooledFast = xs;
            t.ForwardMany(xs.data(), pooledExact.data(), xs.size(), pool);
            t.ForwardFast(pooledFast.data(), pooledFast.data(), xs.size(), pool);  // in place
            size_t differ = 0;
            for (size_t i = 0; i < xs.size(); ++i)
                differ += !sameBits(pooledExact[i], exact[i]) + !sameBits(pooledFast[i], fast[i]);
            EXPECT_EQ(differ, 0u) << pool->NumberOfThreads() << " workers";
        }
    }
}

TEST(DisplayTransform, TextFormRoundTripsExactly)
{
    const DisplayTransform transforms[] = {
        DisplayTransform::Linear(),
        DisplayTransform::Log(262144, 4.5),
        DisplayTransform::Log(0.1 + 0.2, 1.0 / 3),
        DisplayTransform::Arcsinh(150),
        DisplayTransform::Arcsinh(1e-300),
        DisplayTransform::Logicle(262144, 0.5, 4.5, 0),
        DisplayTransform::Logicle(1.0 / 7, 0.1, 2.0 / 3, -0.05),
    };
    const auto roundTrips = [&] {
        for (const DisplayTransform& t : transforms) {
            const DisplayTransform back = DisplayTransform::FromText(t.Text());
            EXPECT_TRUE(back == t) << t.Text();
            for (double x : {-1234.5, 0.0, 7.25, 1e5})
                EXPECT_TRUE(sameBits(back.Forward(x), t.Forward(x))) << t.Text() << " at " << x;
        }
    };
    EXPECT_EQ(transforms[0].Text(), "linear");
    EXPECT_EQ(transforms[1].Text(), "log T=262144 M=4.5");
    EXPECT_EQ(transforms[2].Text(), "log T=0.30000000000000004 M=0.3333333333333333");
    EXPECT_EQ(transforms[3].Text(), "arcsinh cofactor=150");
    EXPECT_EQ(transforms[5].Text(), "logicle T=262144 W=0.5 M=4.5 A=0");
    roundTrips();
    // Written and read the same under a locale whose decimal separator is a comma.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
        if (std::setlocale(LC_ALL, name)) {
            comma = true;
            break;
        }
    if (comma) {
        EXPECT_EQ(transforms[1].Text(), "log T=262144 M=4.5");
        roundTrips();
    }
    std::setlocale(LC_ALL, saved.c_str());
    if (!comma) GTEST_SKIP() << "no comma-decimal locale installed; the text form was checked in the C locale only";
}

TEST(DisplayTransform, TextFormAcceptsAnyOrderCaseAndBlanks)
{
    const DisplayTransform t = DisplayTransform::Logicle(262144, 0.5, 4.5, 0);
    for (const char* text : {"  LOGICLE  a=0 m=4.5\tw=0.5 T=262144 \r\n", "logicle T=2.62144e5 W=.5 M=4.50 A=-0"})
        EXPECT_TRUE(DisplayTransform::FromText(text) == t) << text;
}

TEST(DisplayTransform, BadTextIsRefusedSayingWhy)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "empty"},
        {"   ", "empty"},
        {"logarithmic T=1 M=2", "\"logarithmic\" is no display transform"},
        {"log T=1000", "M is missing"},
        {"log T=1000 M=3 M=4", "M is given twice"},
        {"log T=1000 M=3 W=1", "log takes T and M, not \"W\""},
        {"linear T=1", "linear takes no parameters"},
        {"log T=1000 M", "\"M\" is not of the form name=value"},
        {"log T=1,5 M=3", "\"1,5\" is not a number for T"},
        {"log T= M=3", "\"\" is not a number for T"},
        {"log T=+1000 M=3", "\"+1000\" is not a number for T"},
        {"log T=1000 M=0", "M must be greater than 0"},
        {"log T=1000 M=400", "bottom of the scale"},
        {"log T=nan M=3", "finite"},
        {"arcsinh cofactor=0", "cofactor must lie between"},
        {"arcsinh cofactor=inf", "cofactor must lie between"},
        {"logicle T=1000 W=3 M=4 A=0", "W must not be greater than M/2"},
        {"logicle T=1000 W=1 M=4 A=-2", "A must lie between -W and M - 2W"},
        {"logicle T=-1 W=1 M=4 A=0", "T must be greater than 0"},
    };
    for (const auto& [text, why] : cases) {
        try {
            DisplayTransform::FromText(text);
            ADD_FAILURE() << "accepted \"" << text << "\"";
        } catch (const TransformError& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
    // The factories refuse the same parameters, naming the transform.
    try {
        DisplayTransform::Logicle(1000, 3, 4, 0);
        ADD_FAILURE() << "accepted W > M/2";
    } catch (const TransformError& e) {
        EXPECT_STREQ(e.what(), "Display transform \"logicle T=1000 W=3 M=4 A=0\": W must not be greater than M/2.");
    }
}

TEST(DisplayTransform, EqualityIsKindAndParameters)
{
    EXPECT_TRUE(DisplayTransform() == DisplayTransform::Linear());
    EXPECT_TRUE(DisplayTransform::Logicle(262144, 0.5, 4.5, 0) == DisplayTransform::Logicle(262144, 0.5, 4.5, 0));
    EXPECT_FALSE(DisplayTransform::Logicle(262144, 0.5, 4.5, 0) == DisplayTransform::Logicle(262144, 0.5, 4.5, 0.1));
    EXPECT_FALSE(DisplayTransform::Log(1000, 3) == DisplayTransform::Logicle(1000, 0, 3, 0));
    EXPECT_FALSE(DisplayTransform::Arcsinh(150) == DisplayTransform::Arcsinh(151));
    EXPECT_FALSE(DisplayTransform::Arcsinh(150) == DisplayTransform::Linear());
}

// Each display transform is a Gating-ML transformation with the same
// coordinates: computing that transformation from the parameters GatingMl()
// gives (as a document would carry them) yields the display's values.
TEST(DisplayTransform, GatingMlEquivalents)
{
    const DisplayTransform logicle = DisplayTransform::Logicle(262144, 0.75, 4.5, 0.25);
    const GatingMlScale g = logicle.GatingMl();
    EXPECT_EQ(g.kind, GatingMlScaleKind::Logicle);
    EXPECT_EQ(g.T, 262144);
    EXPECT_EQ(g.W, 0.75);
    EXPECT_EQ(g.M, 4.5);
    EXPECT_EQ(g.A, 0.25);
    EXPECT_EQ(DisplayTransform::Linear().GatingMl().kind, GatingMlScaleKind::None);

    for (double c : {1.0, 5.0, 150.0, 1e-6, 3.7e4}) {
        const DisplayTransform a = DisplayTransform::Arcsinh(c);
        const GatingMlScale f = a.GatingMl();
        ASSERT_EQ(f.kind, GatingMlScaleKind::Fasinh);
        EXPECT_EQ(f.A, 0);
        EXPECT_EQ(f.M * kLn10, 1.0);  // so fasinh's divisor (M + A) ln 10 is exactly 1
        EXPECT_NEAR(f.T, c * std::sinh(1.0), 1e-15 * f.T);
        const Fasinh fasinh = Fasinh::Make(f.T, f.M, f.A);
        for (double x : awkwardValues()) {
            ASSERT_TRUE(sameBits(fasinh.Forward(x), a.Forward(x))) << c << " at " << x;
            if (std::isfinite(x)) {
                EXPECT_NEAR(a.Forward(x), std::asinh(x / c), 4e-16 * std::abs(a.Forward(x))) << c << " at " << x;
            }
        }
    }

    const DisplayTransform log = DisplayTransform::Log(262144, 4.5);
    const GatingMlScale l = log.GatingMl();
    ASSERT_EQ(l.kind, GatingMlScaleKind::Flog);
    const Flog flog = Flog::Make(l.T, l.M);
    for (double x : awkwardValues()) {
        const double y = log.Forward(x);
        if (y > 0) {
            ASSERT_TRUE(sameBits(flog.Forward(x), y)) << x;
        } else if (!std::isnan(x)) {
            EXPECT_FALSE(flog.Forward(x) > 0) << x;  // flog is negative or undefined where the display shows 0
        }
    }
}

}  // namespace
}  // namespace orvala
