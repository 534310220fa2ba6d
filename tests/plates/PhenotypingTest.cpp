// Tubes, marks and the combination counts of the phenotyping workbench.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/Messages.h"
#include "core/TData.h"
#include "parallel/TMultiThread.h"
#include "plates/Phenotyping.h"

using namespace orvala;

namespace {

struct DataDeleter {
    void operator()(TData* d) const { delete d; }
};
using DataPtr = std::unique_ptr<TData, DataDeleter>;

DataPtr dataOf(const std::string& name, const std::vector<std::vector<double>>& rows, std::vector<int> selected)
{
    DataPtr d(TData::Create(name, rows.empty() ? 0 : int(rows[0].size()), int(rows.size())));
    for (size_t e = 0; e < rows.size(); ++e)
        for (size_t c = 0; c < rows[e].size(); ++c) d->data[int(e)][int(c)] = rows[e][c];
    for (int c : selected) d->Select(c);
    return d;
}

PhenoTube tubeOf(const TMatrix& values)
{
    PhenoTube t;
    t.values = values;
    return t;
}

}  // namespace

TEST(CodeHeader, ThreeDyesSpellEightCodes)
{
    const char* expected[] = {"---", "--+", "-+-", "-++", "+--", "+-+", "++-", "+++"};
    for (int code = 0; code < 8; ++code) EXPECT_EQ(CodeHeader(code, 3), expected[code]);
    EXPECT_EQ(CodeHeader(0, 0), "");
    EXPECT_EQ(CodeHeader(1 << 15, 16), "+" + std::string(15, '-'));
}

TEST(PhenoCounter, EventAtOrAboveMarksOfDyes0And2IsCode5)
{
    // Marks at 10 for every dye; values exactly at a mark count as positive.
    PhenoCounter c;
    c.SetTubes({tubeOf({{10, 9, 20, 0, NAN}, {0, 10, 0, 0, 0}, {10, 50, 11, 9.999, INFINITY}})}, nullptr);
    ASSERT_EQ(c.CodeCount(), 8);
    c.SetMarks({{10, 10, 10}}, nullptr);
    const TIntVector& g = c.Counts(0);
    EXPECT_EQ(g[5], 2);  // events 0 (10, 0, 10) and 2 (20, 0, 11): plus, minus, plus
    EXPECT_EQ(g[3], 1);  // event 1 (9, 10, 50): minus, plus, plus
    EXPECT_EQ(g[0], 1);  // event 3
    EXPECT_EQ(g[1], 1);  // event 4: NaN is never at or above a mark, +inf is
    EXPECT_EQ(c.MaxCount(), 2);
    EXPECT_EQ(c.MaxValue(), 50);  // finite values only
}

TEST(PhenoCounter, NewTubesHaveMarksAtHalfTheLargestValue)
{
    PhenoCounter c;
    c.SetTubes({tubeOf({{1, 2}, {3, 4}}), tubeOf({{-5, 200}, {0, 7}})}, nullptr);
    EXPECT_EQ(c.MaxValue(), 200);
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 2; ++k) EXPECT_EQ(c.Mark(t, k), 100);
    EXPECT_EQ(c.Counts(1)[2], 1);  // 200 >= 100, 7 < 100 -> "+-"
    EXPECT_EQ(c.Group, (TIntVector{0, 0}));

    PhenoCounter none;
    none.SetTubes({}, nullptr);
    EXPECT_EQ(none.TubeCount(), 0);
    EXPECT_EQ(none.DieCount(), 0);
    EXPECT_EQ(none.MaxCount(), 0);
    EXPECT_TRUE(none.MoveMark(0, 0, 1, true, nullptr).empty());
}

TEST(MarkTargets, GroupsAndLock)
{
    const TIntVector groups{0, 7, 0, 7, 9};
    struct Case {
        int t;
        bool lock;
        std::vector<int> targets;
    };
    const Case cases[] = {
        {0, false, {0}},        // no group, no lock: the tube alone
        {0, true, {0, 2}},      // lock: every tube without a group
        {1, false, {1, 3}},     // a group always moves together
        {3, true, {1, 3}},      // whatever lock says
        {4, false, {4}},
        {5, true, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(MarkTargets(groups, c.t, c.lock), c.targets) << c.t << " " << c.lock;
}

TEST(PhenoCounter, MovingAMarkPropagatesAndRecounts)
{
    // Three tubes of one dye, values 0..9 each.
    TMatrix v{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    PhenoCounter c;
    c.SetTubes({tubeOf(v), tubeOf(v), tubeOf(v)}, nullptr);
    c.SetMarks({{5}, {5}, {5}}, nullptr);

    // Lock off, no groups: the other tubes keep their marks.
    EXPECT_EQ(c.MoveMark(0, 0, 8, false, nullptr), (std::vector<int>{0}));
    EXPECT_EQ(c.Mark(1, 0), 5);
    EXPECT_EQ(c.Counts(0)[1], 2);
    EXPECT_EQ(c.Counts(1)[1], 5);

    // Lock on: every tube without a group follows.
    c.MoveMark(1, 0, 3, true, nullptr);
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(c.Mark(t, 0), 3);
        EXPECT_EQ(c.Counts(t)[1], 7);
    }

    // A group shares its marks whatever Lock says; tubes outside stay.
    c.Group = {4, 0, 4};
    c.MoveMark(2, 0, 9, false, nullptr);
    EXPECT_EQ(c.Mark(0, 0), 9);
    EXPECT_EQ(c.Mark(1, 0), 3);
    EXPECT_EQ(c.Counts(0)[1], 1);
    c.MoveMark(1, 0, 0, true, nullptr);  // lock moves only the ungrouped tube
    EXPECT_EQ(c.Mark(0, 0), 9);
    EXPECT_EQ(c.Counts(1)[1], 10);
}

TEST(PhenoCounter, IncrementalAndParallelCountsEqualTheFullSequentialCount)
{
    // Many tubes of pseudo-random values; marks moved dye by dye must give
    // the counts of a fresh sequential count with the final marks.
    std::vector<PhenoTube> tubes;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1 << 24) * 1000.0;
    };
    for (int t = 0; t < 37; ++t) {
        TMatrix m(4, TVector(size_t(500 + t * 13)));
        for (auto& dye : m)
            for (double& x : dye) x = next();
        tubes.push_back(tubeOf(m));
    }
    TMultiThread pool(4);
    PhenoCounter moved;
    moved.SetTubes(tubes, &pool);
    for (int step = 0; step < 20; ++step) moved.MoveMark(step % 37, step % 4, next(), step % 3 == 0, &pool);

    TMatrix finalMarks;
    for (int t = 0; t < 37; ++t) {
        TVector row;
        for (int k = 0; k < 4; ++k) row.push_back(moved.Mark(t, k));
        finalMarks.push_back(row);
    }
    PhenoCounter fresh;
    fresh.SetTubes(tubes, nullptr);
    fresh.SetMarks(finalMarks, nullptr);
    for (int t = 0; t < 37; ++t) {
        EXPECT_EQ(moved.Counts(t), fresh.Counts(t)) << t;
        int sum = 0;
        for (int n : moved.Counts(t)) sum += n;
        EXPECT_EQ(sum, tubes[size_t(t)].events());
    }
    EXPECT_EQ(moved.MaxCount(), fresh.MaxCount());
}

TEST(FillTubes, SeveralDataSetsAreOneTubeEach)
{
    DataPtr a = dataOf("A", {{1, 2, 3}, {4, 5, 6}}, {2, 0});
    DataPtr b = dataOf("B", {{7, 8, 9}}, {1, 2, 0});  // more selected: the first two are used
    const auto tubes = FillTubes({a.get(), b.get()});
    ASSERT_EQ(tubes.size(), 2u);
    EXPECT_EQ(tubes[0].dyes(), 2);
    EXPECT_EQ(tubes[0].values, (TMatrix{{3, 6}, {1, 4}}));
    EXPECT_EQ(tubes[1].values, (TMatrix{{8}, {9}}));
    EXPECT_EQ(tubes[1].label, "B");
}

TEST(FillTubes, RefusedWhenADataSetHasFewerDyesThanTheFirst)
{
    DataPtr a = dataOf("A", {{1, 2, 3}}, {0, 1, 2});
    DataPtr b = dataOf("B", {{4, 5, 6}}, {0, 1});
    try {
        FillTubes({a.get(), b.get()});
        FAIL() << "filled";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("B"), std::string::npos) << e.what();
    }
    // Fewer in the first is fine: the first sets the dye count.
    EXPECT_EQ(FillTubes({b.get(), a.get()})[1].dyes(), 2);
}

TEST(FillTubes, AtMostSixteenDyes)
{
    std::vector<double> row(17, 1.0);
    for (int n : {16, 17}) {
        std::vector<int> sel;
        for (int c = 0; c < n; ++c) sel.push_back(c);
        DataPtr d = dataOf("D", {row}, sel);
        if (n <= MaxPhenoDyes) {
            const auto tubes = FillTubes({d.get()});
            PhenoCounter c;
            c.SetTubes(tubes, nullptr);
            EXPECT_EQ(c.CodeCount(), 1 << 16);
            EXPECT_EQ(c.Counts(0)[(1 << 16) - 1], 1);  // all at or above 0.5
        } else {
            EXPECT_THROW(FillTubes({d.get()}), OrvalaError);
        }
    }
}

TEST(FillTubes, PlateWellsInRowThenColumnOrder)
{
    DataPtr p = dataOf("P", {{0, 1}, {1, 11}, {2, 12}, {3, 21}, {4, 22}, {5, 23}}, {1});
    // Events of the files were stored C02 first, then A01, then B03.
    p->Wells.assign(3, std::vector<TWellCell>(3));
    p->Wells[2][1] = {0, 1};
    p->Wells[0][0] = {1, 2};
    p->Wells[1][2] = {3, 3};
    p->Wells[0][2] = {4, 9};  // does not fit the events: left out, not read
    p->NonEmptyWellCount = 4;
    const auto tubes = FillTubes({p.get()});
    ASSERT_EQ(tubes.size(), 3u);
    EXPECT_EQ(tubes[0].label, "A01");
    EXPECT_EQ(tubes[0].values, (TMatrix{{11, 12}}));
    EXPECT_EQ(tubes[1].label, "B03");
    EXPECT_EQ(tubes[1].values, (TMatrix{{21, 22, 23}}));
    EXPECT_EQ(tubes[2].label, "C02");
}

TEST(FillTubes, DetectedTubesOfOneDataSetFollowTheirTubeNumbers)
{
    // Tip column 0 holds codes near 100 and 300, interleaved: a tube holds
    // its own events wherever they are.
    std::vector<std::vector<double>> rows;
    for (int e = 0; e < 400; ++e) rows.push_back({e % 2 ? 300.0 + e % 3 : 100.0 - e % 3, double(e)});
    DataPtr d = dataOf("T", rows, {1});
    d->settipchannel(0);
    ASSERT_EQ(d->TubeCount(), 2);
    const auto tubes = FillTubes({d.get()});
    ASSERT_EQ(tubes.size(), 2u);
    EXPECT_EQ(tubes[0].events(), 200);
    EXPECT_EQ(tubes[0].values[0][1], 2);  // even events in tube 1
    EXPECT_EQ(tubes[1].values[0][0], 1);

    // Negative and huge tip values give one tube, not a crash or a huge table.
    for (double bad : {-50.0, 1e300, double(NAN)}) {
        DataPtr w = dataOf("W", {{bad, 1}, {bad, 2}, {5, 3}}, {1});
        w->settipchannel(0);
        const auto t = FillTubes({w.get()});
        int events = 0;
        for (const auto& tube : t) events += tube.events();
        EXPECT_EQ(events, 3) << bad;
        EXPECT_GE(t.size(), 1u) << bad;
    }

    // No tube channel: the data set is one tube.
    DataPtr one = dataOf("O", {{1, 2}}, {0});
    EXPECT_EQ(FillTubes({one.get()}).size(), 1u);
    EXPECT_TRUE(FillTubes({}).empty());
}
