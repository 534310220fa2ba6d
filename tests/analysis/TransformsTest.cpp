#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/TransformOps.h"
#include "analysis/Transforms.h"
#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "numerics/Hyperspherical.h"
#include "numerics/TRandom.h"
#include "numerics/VectorMath.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// A top-level data set holding rows (all of one length).
DataRef makeData(const std::vector<std::vector<double>>& rows, const std::string& name = "A")
{
    const int p = rows.empty() ? 0 : int(rows[0].size());
    DataRef d(TData::Create(name, p, int(rows.size())));
    for (size_t e = 0; e < rows.size(); ++e) std::copy(rows[e].begin(), rows[e].end(), d->data[int(e)]);
    return d;
}

std::vector<double> row(const TData& d, int e) { return {d.data[e], d.data[e] + d.CaseSize()}; }

// Pseudo-random values with a sprinkling of zeros, negatives, NaN and infinities.
DataRef randomData(int events, int params, bool withNonFinite)
{
    TRandom random;
    DataRef d(TData::Create("R", params, events));
    for (int e = 0; e < events; ++e)
        for (int c = 0; c < params; ++c) {
            double v = random.Uniform() * 1000 - 100;
            const int pick = (e * 7 + c * 3) % 97;
            if (pick == 0) v = 0;
            if (withNonFinite && pick == 1) v = NaN;
            if (withNonFinite && pick == 2 && e % 5 == 0) v = -Inf;
            d->data[e][c] = v;
        }
    return d;
}

bool sameBits(const TData& a, const TData& b)
{
    if (a.events() != b.events() || a.CaseSize() != b.CaseSize()) return false;
    return std::memcmp(a.data.data(), b.data.data(), sizeof(double) * size_t(a.events()) * size_t(a.CaseSize())) == 0;
}

// The workspace the tree and the result names come from, for one test.
class TransformsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = TData::Workspace;
        TData::Workspace = &workspace;
    }
    void TearDown() override
    {
        workspace.Clear();
        TData::Workspace = previous_;
    }
    // Adds d to the workspace and returns it.
    TData* add(TData* d)
    {
        workspace.Add(d);
        return d;
    }
    TData* add(const DataRef& d) { return add(d.get()); }

    TDataList workspace;

private:
    TDataList* previous_ = nullptr;
};

// A one-dimensional range gate on parameter `param` of a data set with p parameters.
TGate rangeGate(int p, int param, double lo, double hi)
{
    TVector x(static_cast<size_t>(p), 0.0), y(static_cast<size_t>(p), 0.0);
    x[size_t(param)] = 1;
    return TGate(x, y, {lo, hi, lo}, {0, 0, 0});
}

}  // namespace

// ------------------------------------------------------------------ log scale

TEST_F(TransformsTest, LogScaleMapsMinimumToZeroAndMaximumTo1024)
{
    DataRef src = makeData({{10, 20}, {30, 110}});
    add(src);
    DataRef log(Logarithm(*src));
    EXPECT_EQ(log->ShortName(), "Log_1");
    EXPECT_EQ(log->Parent(), src.get());
    EXPECT_EQ(log->link, (TIntVector{0, 1}));
    EXPECT_TRUE(log->logscale);
    EXPECT_TRUE(log->SharesDescriptorsWith(src.get()));
    EXPECT_EQ(log->data[0][0], 0.0);
    EXPECT_DOUBLE_EQ(log->data[1][1], 1024.0);
    EXPECT_DOUBLE_EQ(log->data[0][1], 256 * std::log10(10.0 * 9999 / 100 + 1));
    // Names come from the workspace: the second one is Log_2.
    add(log);
    DataRef again(Logarithm(*src));
    EXPECT_EQ(again->ShortName(), "Log_2");
}

// The pass runs eight values at a time at the machine's vector width: every
// value must be the scalar formula's, and the formula the C library's within
// the last bits.
TEST_F(TransformsTest, LogScaleAndSphericalGiveEveryValueTheScalarFormulasBits)
{
    DataRef src = randomData(1003, 7, true);
    DataRef log(Logarithm(*src)), sph(Spherical(*src));
    const double min = src->Absmin(), max = src->Absmax();
    for (int e = 0; e < src->events(); ++e) {
        std::vector<double> sphere(src->data[e], src->data[e] + 7);
        HyperSpherical(sphere.data(), 7);
        for (int p = 0; p < 7; ++p) {
            const double v = src->data[e][p];
            const double scalar = std::isfinite(v) ? 256 * vmath::Log10Positive((v - min) * 9999 / (max - min) + 1) : v;
            ASSERT_EQ(std::memcmp(&log->data[e][p], &scalar, sizeof scalar), 0) << e << ", " << p;
            if (std::isfinite(v)) EXPECT_DOUBLE_EQ(log->data[e][p], 256 * std::log10((v - min) * 9999 / (max - min) + 1));
            ASSERT_EQ(std::memcmp(&sph->data[e][p], &sphere[size_t(p)], sizeof(double)), 0) << e << ", " << p;
        }
    }
}

TEST_F(TransformsTest, LogScaleOfDegenerateDataGivesNoNaN)
{
    struct Case {
        const char* what;
        std::vector<std::vector<double>> rows;
        std::vector<std::vector<double>> expected;
    };
    const Case cases[] = {
        {"all values equal", {{5, 5}, {5, 5}}, {{0, 0}, {0, 0}}},
        {"one value", {{-3}}, {{0}}},
        {"non-finite values kept, left out of the range", {{NaN, 0}, {Inf, 1}}, {{NaN, 0}, {Inf, 1024}}},
        {"nothing finite", {{NaN, -Inf}}, {{NaN, -Inf}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataRef src = makeData(c.rows);
        DataRef log(Logarithm(*src));
        ASSERT_EQ(log->events(), int(c.expected.size()));
        for (int e = 0; e < log->events(); ++e)
            for (int p = 0; p < log->CaseSize(); ++p) {
                const double want = c.expected[size_t(e)][size_t(p)];
                const double got = log->data[e][p];
                if (std::isnan(want))
                    EXPECT_TRUE(std::isnan(got));
                else
                    EXPECT_DOUBLE_EQ(got, want) << "event " << e << " parameter " << p;
            }
    }
}

TEST_F(TransformsTest, EveryTransformAcceptsNoEventsAndNoParameters)
{
    for (auto [events, params] : {std::pair{0, 3}, std::pair{4, 0}, std::pair{0, 0}}) {
        SCOPED_TRACE(std::to_string(events) + " events, " + std::to_string(params) + " parameters");
        DataRef src(TData::Create("E", params, events));
        add(src);
        DataRef log(Logarithm(*src)), ratio(Logratio(*src, {})), sph(Spherical(*src)), trp(Transpose(*src));
        DataRef sig(Findsignal(*src, 1, ""));
        EXPECT_EQ(log->events(), events);
        EXPECT_EQ(sph->events(), events);
        EXPECT_EQ(ratio->events(), events);
        EXPECT_EQ(trp->events(), params);
        EXPECT_EQ(trp->CaseSize(), events);
        EXPECT_EQ(sig->events(), 0);
        RecordingSink sink;
        EXPECT_FALSE(Discriminate(*src, 1, sink));
        CutNoise(*src, 1);
        Scale1023(*src);
        SwapChannels(*src);
        BoxCarDiv(*src);
        TRandom random;
        AddNoise(*src, random);
        EXPECT_EQ(src->events(), events);
        EXPECT_EQ(src->CaseSize(), params);
    }
}

// --------------------------------------------------------- parallel = sequential

TEST_F(TransformsTest, PoolGivesTheSequentialLoopsBits)
{
    TMultiThread pool(4);
    DataRef src = randomData(120000, 7, true);
    src->Desc()[3].name = "BW";
    using Make = std::function<TData*(TData&, TMultiThread*)>;
    const std::pair<const char*, Make> constructing[] = {
        {"log", [](TData& d, TMultiThread* p) { return Logarithm(d, p); }},
        {"logratio", [](TData& d, TMultiThread* p) { return Logratio(d, {4, 0, 2}, p); }},
        {"spherical", [](TData& d, TMultiThread* p) { return Spherical(d, p); }},
        {"transpose", [](TData& d, TMultiThread* p) { return Transpose(d, p); }},
        {"findsignal", [](TData& d, TMultiThread* p) { return Findsignal(d, 850, "", p); }},
    };
    for (const auto& [name, make] : constructing) {
        SCOPED_TRACE(name);
        DataRef one(make(*src, nullptr)), many(make(*src, &pool));
        EXPECT_GT(one->events(), 0);
        EXPECT_TRUE(sameBits(*one, *many));
    }
    using Change = std::function<void(TData&, TMultiThread*)>;
    const std::pair<const char*, Change> inPlace[] = {
        {"discriminate", [](TData& d, TMultiThread* p) { Discriminate(d, 700, defaultSink(), p); }},
        {"cutnoise", [](TData& d, TMultiThread* p) { CutNoise(d, 300, p); }},
        {"scale", [](TData& d, TMultiThread* p) { Scale1023(d, p); }},
        {"swap", [](TData& d, TMultiThread* p) { SwapChannels(d, p); }},
        {"bwdiv", [](TData& d, TMultiThread* p) { BoxCarDiv(d, p); }},
        {"bwmul", [](TData& d, TMultiThread* p) { BoxCarMul(d, p); }},
    };
    for (const auto& [name, change] : inPlace) {
        SCOPED_TRACE(name);
        DataRef one = randomData(120000, 7, true), many = randomData(120000, 7, true);
        one->Desc()[3].name = many->Desc()[3].name = "BW";
        change(*one, nullptr);
        change(*many, &pool);
        EXPECT_FALSE(sameBits(*one, *randomData(120000, 7, true)));
        EXPECT_TRUE(sameBits(*one, *many));
    }
}

// ------------------------------------------------------------------ logratio

TEST_F(TransformsTest, LogratioCases)
{
    const double third = std::log(1.0 / 3), twoThirds = std::log(2.0 / 3);
    const double quarter = std::log(0.25), threeQuarters = std::log(0.75);
    struct Case {
        const char* what;
        std::vector<double> in;
        TIntVector pars;
        std::vector<double> out;
    };
    const Case cases[] = {
        {"subset: L divided by all parameters, the rest copied",
         {1, 3, 7},
         {0, 1},
         {quarter - (quarter + threeQuarters) / 3, threeQuarters - (quarter + threeQuarters) / 3, 7}},
        {"negative values shifted so that the minimum is 0",
         {-1, 1, 3},
         {0, 1, 2},
         {0, third - (third + twoThirds) / 3, twoThirds - (third + twoThirds) / 3}},
        {"zeros stay 0 and stay out of L", {0, 1, 3}, {0, 1, 2}, {0, quarter - (quarter + threeQuarters) / 3, threeQuarters - (quarter + threeQuarters) / 3}},
        {"all zero", {0, 0, 0}, {0, 1, 2}, {0, 0, 0}},
        {"equal negative values give 0", {-2, -2, 5}, {0, 1}, {0, 0, 5}},
        {"order of Pars", {3, 1, 7}, {1, 0}, {threeQuarters - (quarter + threeQuarters) / 3, quarter - (quarter + threeQuarters) / 3, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataRef src = makeData({c.in});
        DataRef r(Logratio(*src, c.pars));
        EXPECT_EQ(r->link, TIntVector{0});
        const std::vector<double> got = row(*r, 0);
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.out[i], 1e-12) << "parameter " << i;
    }
}

TEST_F(TransformsTest, LogratioRefusesAParameterOutsideTheDataSet)
{
    DataRef src = makeData({{1, 2}});
    for (int bad : {-1, 2}) {
        try {
            DataRef r(Logratio(*src, {0, bad}));
            ADD_FAILURE() << "accepted parameter " << bad;
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find("not a parameter"), std::string::npos) << e.what();
        }
    }
}

// ------------------------------------------------------------- hyperspherical

TEST_F(TransformsTest, SphericalConvertsEveryEventAndNamesTheAngles)
{
    DataRef src = makeData({{3, 4, 0}, {0, 0, 0}, {1, 1, 1}});
    src->Desc()[0].name = "FSC";
    DataRef s(Spherical(*src));
    EXPECT_EQ(s->ShortName(), "Spheral_1");
    EXPECT_EQ(s->Desc()[0].name, "R");
    EXPECT_EQ(s->Desc()[1].name, "Phi1");
    EXPECT_EQ(s->Desc()[2].name, "Phi2");
    EXPECT_EQ(src->Desc()[0].name, "FSC");  // the source keeps its names
    EXPECT_DOUBLE_EQ(s->data[0][0], 5);
    EXPECT_DOUBLE_EQ(s->data[0][1], std::atan2(4.0, 3.0));
    EXPECT_EQ(row(*s, 1), (std::vector<double>{0, 0, 0}));
    EXPECT_DOUBLE_EQ(s->data[2][0], std::sqrt(3.0));

    DataRef single = makeData({{-2}});
    DataRef one(Spherical(*single));
    EXPECT_EQ(one->data[0][0], -2);
    EXPECT_EQ(one->Desc()[0].name, "R");
}

// ------------------------------------------------------------------ cut

TEST_F(TransformsTest, CutPartCopiesAndLinksTheRange)
{
    DataRef src = makeData({{0}, {1}, {2}, {3}, {4}});
    DataRef bit(CutPart(*src, 1, 3));
    EXPECT_EQ(bit->ShortName(), "bit_1");
    EXPECT_EQ(bit->Parent(), src.get());
    EXPECT_EQ(bit->link, (TIntVector{1, 2, 3}));
    EXPECT_EQ(bit->data[0][0], 1);
    EXPECT_EQ(bit->data[2][0], 3);
    DataRef whole(CutPart(*src, 0, 4));
    EXPECT_EQ(whole->events(), 5);
}

TEST_F(TransformsTest, CutPartRefusesRangesOutsideTheEvents)
{
    DataRef src = makeData({{0}, {1}, {2}});
    DataRef empty(TData::Create("E", 1, 0));
    const std::tuple<TData*, int, int> bad[] = {
        {src.get(), -1, 1}, {src.get(), 2, 1}, {src.get(), 0, 3}, {src.get(), 3, 3}, {empty.get(), 0, 0}};
    for (const auto& [d, first, last] : bad) {
        SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(last));
        try {
            DataRef r(CutPart(*d, first, last));
            ADD_FAILURE() << "accepted";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot cut events"), std::string::npos) << e.what();
        }
    }
}

// ------------------------------------------------------------------ transpose

TEST_F(TransformsTest, TransposeSwapsEventsAndParametersAndTheirNames)
{
    DataRef src = makeData({{1, 2, 3}, {4, 5, 6}});
    src->fPath = "/data/";
    src->fExtension = ".fcs";
    DataRef t(Transpose(*src));
    EXPECT_EQ(t->ShortName(), "Trp_1");
    EXPECT_EQ(t->Parent(), nullptr);
    EXPECT_EQ(t->FileName(), "/data/Trp_1.fcs");
    ASSERT_EQ(t->events(), 3);
    ASSERT_EQ(t->CaseSize(), 2);
    EXPECT_EQ(row(*t, 2), (std::vector<double>{3, 6}));
    EXPECT_EQ(t->Desc()[1].name, "Ch2");
    EXPECT_EQ(t->Eventnames, (TStrVector{"", "", ""}));
    EXPECT_EQ(t->fcolor, (TColors{0, 0, 0}));

    src->Eventnames = {"first", "second"};
    DataRef named(Transpose(*src));
    EXPECT_EQ(named->Desc()[0].name, "first");
    EXPECT_EQ(named->Eventnames, (TStrVector{"Ch1", "Ch2", "Ch3"}));
    DataRef back(Transpose(*named));
    EXPECT_TRUE(sameBits(*back, *src));
    EXPECT_EQ(back->Eventnames, src->Eventnames);
}

// ------------------------------------------------------------------ find signal

TEST_F(TransformsTest, SignalRuns)
{
    using Runs = std::vector<std::pair<int, int>>;
    struct Case {
        const char* what;
        TVector triggers;
        Runs runs;
    };
    const Case cases[] = {
        {"every event above: no rising edge after event 0", {5, 5, 5, 5}, {}},
        {"a run from event 0 does not count", {5, 5, 0, 5, 0}, {{3, 3}}},
        {"a run from event 1 counts", {0, 5, 5, 0}, {{1, 2}}},
        {"a run that reaches the last event counts", {0, 0, 5, 5}, {{2, 3}}},
        {"the last event alone", {0, 0, 0, 5}, {{3, 3}}},
        {"equal to the threshold is above", {0, 2, 1}, {{1, 1}}},
        {"two runs one event apart", {0, 5, 0, 5, 0}, {{1, 1}, {3, 3}}},
        {"nothing above", {0, 1, 0}, {}},
        {"no events", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Runs got;
        for (const SignalRun& r : FindSignalRuns(c.triggers, 2)) got.emplace_back(r.first, r.last);
        EXPECT_EQ(got, c.runs);
    }
}

TEST_F(TransformsTest, FindSignalSumsRunsAndWritesTheTable)
{
    test::TempDir dir;
    const std::string table = dir.file("TestSignal.csv");
    // Triggers 9 | 0 | 4 5 | 1 | 0.5 | 6 (runs 2..3 and 6..6; 2.5 rounds to 2)
    DataRef src = makeData({{9, 1}, {0, 0}, {4, 2.5}, {1, 5}, {1, 0.5}, {0.5, -0.4}, {6, 3.5}});
    src->fPath = "/data/";
    DataRef sig(Findsignal(*src, 3.5, table));
    EXPECT_EQ(sig->Parent(), nullptr);
    EXPECT_EQ(sig->ShortName(), "Trp_1");
    EXPECT_EQ(sig->Path(), "/data/");
    ASSERT_EQ(sig->events(), 2);
    EXPECT_EQ(row(*sig, 0), (std::vector<double>{5, 7.5}));
    EXPECT_EQ(row(*sig, 1), (std::vector<double>{6, 3.5}));
    EXPECT_EQ(sig->Desc()[1].name, "Ch2");
    EXPECT_TRUE(sig->Eventnames.empty());
    EXPECT_EQ(test::slurp(table),
              "Raw events = 7\r\n"
              "Events = 2\r\n"
              "Threshold = 4\r\n"
              "(1)0,0\r\n"
              "(2)4,2 +\r\n"
              "(3)1,5 = 5,8\r\n"
              "(4)1,0\r\n"
              "(5)0,0\r\n"
              "(6)6,4 = 6,4\r\n");
}

TEST_F(TransformsTest, FindSignalFileFailures)
{
    test::TempDir dir;
    DataRef empty(TData::Create("E", 2, 0));
    const std::string table = dir.file("TestSignal.csv");
    DataRef none(Findsignal(*empty, 1, table));
    EXPECT_EQ(none->events(), 0);
    EXPECT_FALSE(std::filesystem::exists(table));

    DataRef src = makeData({{0}, {5}});
    const std::string unwritable = dir.file("missing-folder/TestSignal.csv");
    try {
        DataRef r(Findsignal(*src, 1, unwritable));
        ADD_FAILURE() << "no error";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find(unwritable), std::string::npos) << e.what();
    }
}

// ------------------------------------------------------------------ discriminate

TEST_F(TransformsTest, DiscriminateKeepsColoursNamesAndLinksOfKeptEvents)
{
    DataRef src = makeData({{1, 2}, {5, 0}, {0, 0.5}, {3, 3}});
    src->fcolor = {11, 22, 33, 44};
    src->Eventnames = {"a", "b", "c", "d"};
    ASSERT_TRUE(Discriminate(*src, 2));
    ASSERT_EQ(src->events(), 3);
    EXPECT_EQ(row(*src, 1), (std::vector<double>{5, 0}));
    EXPECT_EQ(src->fcolor, (TColors{11, 22, 44}));
    EXPECT_EQ(src->Eventnames, (TStrVector{"a", "b", "d"}));

    // A derived data set keeps its links to the parent's events.
    DataRef part(CutPart(*src, 0, 2));
    add(src);
    add(part);
    ASSERT_TRUE(Discriminate(*part, 4));
    EXPECT_EQ(part->link, TIntVector{1});
    EXPECT_EQ(part->GetColor(0), 22u);
}

TEST_F(TransformsTest, DiscriminateAboveEveryEventSaysSoAndChangesNothing)
{
    DataRef src = makeData({{1, 2}, {3, 0}});
    RecordingSink sink;
    EXPECT_FALSE(Discriminate(*src, 3.5, sink));
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"There is no cases above this level. Try to get level down."}));
    EXPECT_EQ(src->events(), 2);
    EXPECT_EQ(row(*src, 1), (std::vector<double>{3, 0}));
}

TEST_F(TransformsTest, DiscriminateRecomputesKidsAndKeepsSubsetsOnTheirEvents)
{
    // Event e holds (5 or 1, -10 e): the even ones are below the level.
    std::vector<std::vector<double>> rows;
    for (int e = 0; e < 8; ++e) rows.push_back({e % 2 ? 5.0 : 1.0, -10.0 * e});
    DataRef root = makeData(rows, "Root");
    add(root);
    TGate range = rangeGate(2, 1, -65, -15);  // events 2..6
    TData* gated = add(TData::Gated(root.get(), &range));
    TGate subset(TGateType::gtSubset, {6, 1, 3, 4});
    TData* sub = add(TData::Gated(root.get(), &subset));
    TGate subOfSub(TGateType::gtSubset, {0, 3});  // root events 6 and 4
    TData* subsub = add(TData::Gated(sub, &subOfSub));
    DataRef logOfSub(Logarithm(*sub));
    add(logOfSub);
    ASSERT_EQ(gated->events(), 5);
    ASSERT_EQ(sub->events(), 4);

    ASSERT_TRUE(Discriminate(*root, 2));  // keeps 1, 3, 5, 7 -> new 0, 1, 2, 3

    ASSERT_EQ(root->events(), 4);
    EXPECT_EQ(gated->link, (TIntVector{1, 2}));  // old events 3 and 5
    EXPECT_EQ(row(*gated, 0), (std::vector<double>{5, -30}));
    EXPECT_EQ(sub->gate->ChannelList, (TIntVector{0, 1}));  // old 1 and 3; 6 and 4 are gone
    EXPECT_EQ(row(*sub, 0), (std::vector<double>{5, -10}));
    EXPECT_EQ(row(*sub, 1), (std::vector<double>{5, -30}));
    EXPECT_EQ(subsub->events(), 0);
    // The log result of the subset keeps the rows of the events still there.
    EXPECT_EQ(logOfSub->link, (TIntVector{0, 1}));
    for (TData* d : {gated, sub, logOfSub.get()})
        for (int32_t l : d->link) EXPECT_LT(l, d->Parent()->events());
}

TEST_F(TransformsTest, ValueChangesRecomputeGatedKids)
{
    DataRef root = makeData({{0, 100}, {0, 200}, {0, 300}});
    add(root);
    TGate range = rangeGate(2, 1, 150, 1000);
    range.color = 0x0000ff;
    TData* gated = add(TData::Gated(root.get(), &range));
    ASSERT_EQ(gated->link, (TIntVector{1, 2}));
    const int before = root->Modified();
    Scale1023(*root);  // 0..300 -> 0..1023: 100, 200, 300 become 341, 682, 1023
    EXPECT_EQ(gated->link, (TIntVector{0, 1}));
    EXPECT_EQ(row(*gated, 1), row(*root, 1));
    EXPECT_EQ(gated->GetColor(0), 0x0000ffu);
    EXPECT_EQ(root->GetColor(2), 0u);
    SwapChannels(*root);  // the gated parameter is now 0 everywhere
    EXPECT_EQ(gated->events(), 0);
    EXPECT_GT(root->Modified(), before);
}

// ------------------------------------------------------------------ the others

TEST_F(TransformsTest, CutNoiseCases)
{
    DataRef src = makeData({{5, 1, 2}, {1, 0, 1.5}, {-1, 2, 7}});
    CutNoise(*src, 2);
    EXPECT_EQ(row(*src, 0), (std::vector<double>{3, 0, 0}));
    EXPECT_EQ(row(*src, 1), (std::vector<double>{1, 0, 1.5}));  // below the level: unchanged
    EXPECT_EQ(row(*src, 2), (std::vector<double>{0, 0, 5}));
}

TEST_F(TransformsTest, ScaleTo1023)
{
    DataRef src = makeData({{-10, 0}, {10, NaN}});
    Scale1023(*src);
    EXPECT_EQ(src->data[0][0], 0);
    EXPECT_EQ(src->data[0][1], 511.5);
    EXPECT_EQ(src->data[1][0], 1023);
    EXPECT_TRUE(std::isnan(src->data[1][1]));

    DataRef flat = makeData({{4, 4}, {4, 4}});
    Scale1023(*flat);
    EXPECT_EQ(row(*flat, 1), (std::vector<double>{4, 4}));
}

TEST_F(TransformsTest, SwapReversesEveryEventAndKeepsTheNames)
{
    DataRef src = makeData({{1, 2, 3}, {4, 5, 6}});
    src->Desc()[0].name = "FSC";
    SwapChannels(*src);
    EXPECT_EQ(row(*src, 0), (std::vector<double>{3, 2, 1}));
    EXPECT_EQ(row(*src, 1), (std::vector<double>{6, 5, 4}));
    EXPECT_EQ(src->Desc()[0].name, "FSC");
}

TEST_F(TransformsTest, BoxcarDivisionThenMultiplicationRestoresTheValues)
{
    DataRef src = makeData({{10, 2, 7}, {3, 4, 9}, {5, 0, 1}, {8, 6, -2}});
    src->Desc()[1].name = " bw ";
    const DataRef original = makeData({{10, 2, 7}, {3, 4, 9}, {5, 0, 1}, {8, 6, -2}});
    BoxCarDiv(*src);
    // a = mean BW = 3: event 0 becomes 3 * v / 2.
    EXPECT_DOUBLE_EQ(src->data[0][0], 15);
    EXPECT_EQ(src->data[0][1], 2);                                  // BW itself unchanged
    EXPECT_EQ(row(*src, 2), (std::vector<double>{5, 0, 1}));  // w = 0: unchanged
    BoxCarMul(*src);
    for (int e = 0; e < 4; ++e)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(src->data[e][c], original->data[e][c], 1e-12);
}

TEST_F(TransformsTest, BoxcarDoesNothingWithoutUsableBW)
{
    DataRef noBW = makeData({{1, 2}, {3, 4}});
    BoxCarDiv(*noBW);
    EXPECT_EQ(row(*noBW, 1), (std::vector<double>{3, 4}));
    DataRef zeroMean = makeData({{1, 2}, {3, -2}});
    zeroMean->Desc()[1].name = "BW";
    BoxCarMul(*zeroMean);
    EXPECT_EQ(row(*zeroMean, 0), (std::vector<double>{1, 2}));
}

TEST_F(TransformsTest, AddNoiseIsReproducibleAndScaledByTheMaximum)
{
    DataRef a = makeData({{0, 50}, {100, 20}}), b = makeData({{0, 50}, {100, 20}});
    TRandom ra, rb;
    AddNoise(*a, ra);
    AddNoise(*b, rb);
    EXPECT_TRUE(sameBits(*a, *b));
    TRandom expected;
    EXPECT_EQ(a->data[0][0], expected.Gaussian(2, 0));  // sigma = 100 / 50
    EXPECT_EQ(a->data[0][1], 50 + expected.Gaussian(2, 0));

    DataRef zeros = makeData({{0, 0}});
    TRandom rz;
    AddNoise(*zeros, rz);
    EXPECT_EQ(row(*zeros, 0), (std::vector<double>{0, 0}));
}

// ------------------------------------------------------------------ by name

TEST_F(TransformsTest, RunTransformByName)
{
    DataRef src = makeData({{1, 2}, {3, 4}});
    src->Desc()[1].name = "FL1";
    DataRef log(RunTransform(*src, "log", {}, "", nullptr));
    EXPECT_EQ(log->ShortName(), "Log_1");
    DataRef ratio(RunTransform(*src, "logratio", {"1", "fl1"}, "", nullptr));
    DataRef direct(Logratio(*src, {0, 1}));
    EXPECT_TRUE(sameBits(*ratio, *direct));
    DataRef cut(RunTransform(*src, "cut", {"1", "1"}, "", nullptr));
    EXPECT_EQ(cut->link, TIntVector{1});
    EXPECT_EQ(RunTransform(*src, "swap", {}, "", nullptr), src.get());
    EXPECT_EQ(row(*src, 0), (std::vector<double>{2, 1}));

    struct Bad {
        const char* op;
        std::vector<std::string> args;
        const char* message;
    };
    const Bad bad[] = {
        {"nosuch", {}, "unknown transform 'nosuch'"},
        {"discriminate", {}, "takes 1 argument"},
        {"discriminate", {"1,5"}, "'1,5' is not a valid floating point value"},
        {"discriminate", {"99"}, "There is no cases above this level."},
        {"logratio", {"FL9"}, "'FL9' is neither a parameter name"},
        {"log", {"3"}, "takes 0 arguments"},
        {"cut", {"0", "x"}, "'x' is not a valid integer value"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.op);
        try {
            DataRef r(RunTransform(*src, b.op, b.args, "", nullptr));
            ADD_FAILURE() << "no error";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find(b.message), std::string::npos) << e.what();
        }
    }
}
