// Gate combinations and parameter reconciliation: the table of every
// inside/outside combination of a data set's gates, and the plan that makes
// the parameters of several data sets agree before a join.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

#include "analysis/GateCombinations.h"
#include "core/CoreFixtures.h"
#include "core/Messages.h"
#include "core/Reconcile.h"
#include "core/TGate.h"
#include "core/TUniqueList.h"
#include "parallel/TMultiThread.h"

using namespace orvala;
using orvala::test::Workspace;

namespace {

// A kid of parent holding the listed events (in the order given) through a
// subset gate named name.
TData* subsetKid(Workspace& ws, TData* parent, const std::string& name, std::vector<int> events)
{
    TGate g(TGateType::gtSubset, TIntVector(events.begin(), events.end()));
    g.name = name;
    TData* kid = TData::Gated(parent, &g);
    ws.list.Add(kid);
    return kid;
}

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const OrvalaError& e) {
        return e.what();
    }
    return "(no error)";
}

TData* named(Workspace& ws, const std::string& name, std::vector<std::string> pars, int events)
{
    TData* d = ws.root(name, int(pars.size()), events);
    for (size_t c = 0; c < pars.size(); ++c) d->Desc()[c].name = pars[c];
    return d;
}

std::vector<std::string> names(const TData& d)
{
    std::vector<std::string> out;
    for (const auto& p : d.Desc()) out.push_back(p.name);
    return out;
}

}  // namespace

// ---------------------------------------------------------------- combinations

TEST(Combine, SignsOfRows)
{
    struct Case {
        int g, row;
        const char* signs;
    } cases[] = {{2, 1, "--"}, {2, 2, "-+"}, {2, 3, "+-"}, {2, 4, "++"}, {3, 6, "+-+"},
                 {3, 1, "---"}, {1, 2, "+"},  {16, 65536, "++++++++++++++++"}, {16, 2, "---------------+"}};
    for (const auto& c : cases) EXPECT_EQ(CombinationSigns(c.g, c.row), c.signs) << c.g << " " << c.row;
}

TEST(Combine, FivesignificantDigitText)
{
    struct Case {
        double v;
        const char* text;
    } cases[] = {{100, "100"}, {0, "0"}, {12.5, "12.5"}, {100.0 / 3, "33.333"}, {200.0 / 3, "66.667"},
                 {1e-5 * 1.2345678, "1.2346e-05"}, {99.999999, "100"}, {4.56789, "4.5679"}};
    for (const auto& c : cases) EXPECT_EQ(FormatPercentage(c.v), c.text) << c.v;
}

// Ten events: 4 in no gate, 1 only in A, 2 only in B, 3 in both. The links
// are given out of order, as subset kids have them.
TEST(Combine, RowsPartitionTheEventsWithTheSecondGateFastest)
{
    Workspace ws;
    TData* root = ws.root("S", 1, 10);
    subsetKid(ws, root, "A", {9, 1, 8, 3});
    subsetKid(ws, root, "B", {7, 2, 3, 9, 8});
    CombinationTable t(*root);
    ASSERT_EQ(t.GetGateCount(), 2);
    EXPECT_EQ(t.GetComCount(), 4);
    EXPECT_EQ(t.gates(), (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(t.columns().size(), 1u);
    EXPECT_EQ(t.columns()[0].header, "S");
    EXPECT_EQ(t.columns()[0].percent, (std::vector<double>{40, 20, 10, 30}));  // --, -+, +-, ++
    EXPECT_EQ(t.Cell(1, 0), "40");
    EXPECT_EQ(t.Cell(4, 0), "30");
}

// A kid without a gate (made by a command with AddEvent) takes no part.
TEST(Combine, OnlyKidsWithAGateAreGates)
{
    Workspace ws;
    TData* root = ws.root("S", 1, 4);
    subsetKid(ws, root, "A", {0, 1});
    ws.kid(root, "loose", {0, 1, 2});
    CombinationTable t(*root);
    EXPECT_EQ(t.GetGateCount(), 1);
    EXPECT_EQ(t.columns()[0].percent, (std::vector<double>{50, 50}));
}

// Another data set gated the same way, its gates made in another order: its
// column follows the table's gate order. Extra, missing and renamed gates are
// refused and leave the table as it was.
TEST(Combine, LaterDataSetsFollowTheTableGateOrderOrAreRefused)
{
    Workspace ws;
    TData* first = ws.root("S1", 1, 4);
    subsetKid(ws, first, "A", {0});
    subsetKid(ws, first, "B", {0, 1, 2});
    TData* second = ws.root("S2", 1, 4);
    subsetKid(ws, second, "B", {3});
    subsetKid(ws, second, "A", {0, 1, 2});
    CombinationTable t(*first);
    t.Add(*second);
    ASSERT_EQ(t.columns().size(), 2u);
    EXPECT_EQ(t.columns()[0].percent, (std::vector<double>{25, 50, 0, 25}));
    EXPECT_EQ(t.columns()[1].percent, (std::vector<double>{0, 25, 75, 0}));

    TData* extra = ws.root("S3", 1, 4);
    subsetKid(ws, extra, "A", {0});
    subsetKid(ws, extra, "B", {0});
    subsetKid(ws, extra, "C", {0});
    EXPECT_EQ(errorOf([&] { t.Add(*extra); }), "Number of gates differs");
    TData* missing = ws.root("S4", 1, 4);
    subsetKid(ws, missing, "A", {0});
    EXPECT_EQ(errorOf([&] { t.Add(*missing); }), "Number of gates differs");
    TData* renamed = ws.root("S5", 1, 4);
    subsetKid(ws, renamed, "A", {0});
    subsetKid(ws, renamed, "b", {0});  // names compare exactly
    EXPECT_EQ(errorOf([&] { t.Add(*renamed); }), "Names of the gates must be the same");
    EXPECT_EQ(t.columns().size(), 2u);
}

TEST(Combine, RefusesNoGatesAndMoreThanSixteen)
{
    Workspace ws;
    TData* bare = ws.root("Bare", 1, 3);
    EXPECT_NE(errorOf([&] { CombinationTable t(*bare); }).find("no gates"), std::string::npos);
    TData* many = ws.root("Many", 1, 3);
    for (int i = 0; i < 17; ++i) subsetKid(ws, many, "G" + std::to_string(i), {i % 3});
    const std::string msg = errorOf([&] { CombinationTable t(*many); });
    EXPECT_NE(msg.find("at most 16"), std::string::npos) << msg;
    std::vector<const TData*> kids;
    for (TData* k : GatedKids(*many)) kids.push_back(k);
    EXPECT_NE(errorOf([&] { CountCombinations(*many, kids); }).find("at most 16"), std::string::npos);
}

// Without events every percentage is 0 (no division by zero).
TEST(Combine, EmptyDataSetGivesZeros)
{
    Workspace ws;
    TData* root = ws.root("E", 2, 0);
    subsetKid(ws, root, "A", {});
    CombinationTable t(*root);
    EXPECT_EQ(t.columns()[0].percent, (std::vector<double>{0, 0}));
}

// Three overlapping gates over enough events to be split over the pool:
// the counts equal a per-event reference, the columns sum to 100, and the
// pool gives exactly what one thread gives.
TEST(Combine, PoolCountsEqualAPerEventReference)
{
    Workspace ws;
    const int n = 1'500'000;  // more than one counting chunk
    TData* root = TData::Create("Big", 1, n);
    ws.list.Add(root);
    std::vector<std::vector<int>> lists(3);
    for (int e = 0; e < n; ++e) {
        if (e % 2 == 0) lists[0].push_back(e);
        if (e % 3 == 0) lists[1].push_back(e);
        if ((e * 7) % 11 < 4) lists[2].push_back(e);
    }
    std::reverse(lists[2].begin(), lists[2].end());
    std::vector<const TData*> kids;
    for (int i = 0; i < 3; ++i) kids.push_back(subsetKid(ws, root, "G" + std::to_string(i), lists[i]));

    std::vector<int64_t> expected(8, 0);
    for (int e = 0; e < n; ++e)
        ++expected[size_t((e % 2 == 0) * 4 + (e % 3 == 0) * 2 + ((e * 7) % 11 < 4))];
    TMultiThread pool(4);
    EXPECT_EQ(CountCombinations(*root, kids, &pool), expected);
    EXPECT_EQ(CountCombinations(*root, kids, nullptr), expected);
    const std::vector<double> pc = CombinationPercentages(expected);
    EXPECT_NEAR(std::accumulate(pc.begin(), pc.end(), 0.0), 100.0, 1e-9);
}

// Gate counts on both sides of the eight-gate lanes of the counting kernel:
// every event's combination code equals the one built gate by gate.
TEST(Combine, CountsMatchAReferenceForOneToSixteenGates)
{
    for (int g : {1, 7, 8, 9, 15, 16}) {
        Workspace ws;
        const int n = 1000 + g;  // not a multiple of 64
        TData* root = ws.root("R", 1, n);
        std::vector<int64_t> expected(size_t(1) << g, 0);
        std::vector<std::vector<int>> lists(static_cast<size_t>(g));
        uint32_t s = 12345u + uint32_t(g);
        for (int e = 0; e < n; ++e) {
            uint32_t code = 0;
            for (int i = 0; i < g; ++i) {
                s = s * 1664525u + 1013904223u;
                const bool in = (s >> 16) & 1u;
                code = code * 2 + in;
                if (in) lists[size_t(i)].push_back(e);
            }
            ++expected[code];
        }
        std::vector<const TData*> kids;
        for (int i = 0; i < g; ++i) kids.push_back(subsetKid(ws, root, "G" + std::to_string(i), lists[size_t(i)]));
        EXPECT_EQ(CountCombinations(*root, kids), expected) << g << " gates";
    }
}

TEST(Combine, TableBecomesADataSet)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 8);
    for (const char* g : {"X", "Y", "Z"}) subsetKid(ws, a, g, {});
    TData* b = ws.root("B", 1, 8);
    subsetKid(ws, b, "X", {0, 1, 2, 3});
    subsetKid(ws, b, "Y", {0, 1});
    subsetKid(ws, b, "Z", {0});
    CombinationTable t(*a);
    t.Add(*b);
    DataRef d(t.CreateDataSet("noname"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->ShortName(), "noname");
    EXPECT_EQ(d->Parent(), nullptr);
    ASSERT_EQ(d->CaseSize(), 8);
    ASSERT_EQ(d->events(), 2);
    EXPECT_EQ(d->Desc()[5].name, "+-+");  // row 6
    EXPECT_EQ(d->Desc()[0].name, "---");
    EXPECT_EQ(d->Eventnames, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(d->data[0][0], 100);
    // B: 4 outside all, 2 only in X, 1 in X and Y, 1 in all three.
    EXPECT_EQ(d->data[1][0], 50);
    EXPECT_EQ(d->data[1][4], 25);  // +--
    EXPECT_EQ(d->data[1][6], 12.5);
    EXPECT_EQ(d->data[1][7], 12.5);
}

// ---------------------------------------------------------------- reconciliation

TEST(Reconcile, UniqueListRefusesDuplicates)
{
    TUniqueList exact;
    EXPECT_EQ(exact.Add("FL1"), 0);
    EXPECT_EQ(exact.Add("fl1"), 1);
    EXPECT_EQ(exact.Add("FL1"), -1);
    exact.setCaseIndifferent(true);  // fl1 is now a duplicate of FL1
    EXPECT_EQ(exact.Strings(), (std::vector<std::string>{"FL1"}));
    TUniqueList loose(true);
    loose.AddStrings({"SSC", "FSC", "ssc", "Fsc", "FL1"});
    EXPECT_EQ(loose.Strings(), (std::vector<std::string>{"SSC", "FSC", "FL1"}));
    EXPECT_EQ(loose.IndexOf("fl1"), 2);
    EXPECT_EQ(loose.IndexOf("FL2"), -1);
}

// Names that differ only in case and blanks agree: no question, no change;
// the same names in another order put every value under its own name.
TEST(Reconcile, AgreeingNamesJoinWithoutAskingAndByName)
{
    Workspace ws;
    TData* a = named(ws, "A", {"FSC", "SSC"}, 2);
    TData* b = named(ws, "B", {" ssc", "fsc "}, 3);
    TDataList sel;
    sel.Add(a);
    sel.Add(b);
    auto plan = Reconcile(sel, [](ReconcilePlan&) {
        ADD_FAILURE() << "asked";
        return false;
    });
    ASSERT_TRUE(plan);
    EXPECT_EQ(names(*b), (std::vector<std::string>{" ssc", "fsc "}));
    TData* j = TData::Join(sel, true);
    ASSERT_NE(j, nullptr);
    ws.list.Add(j);
    EXPECT_EQ(names(*j), (std::vector<std::string>{"FSC", "SSC"}));
    // B's event 1 is (ssc 10, fsc 11): fsc under FSC, ssc under SSC.
    EXPECT_EQ(j->data[2 + 1][0], 11);
    EXPECT_EQ(j->data[2 + 1][1], 10);
    EXPECT_EQ(b->data[1][0], 10);  // the source keeps its order
}

// (FL1, FL2) and (FL1, FL3): three columns with one gap each; renaming FL3
// to FL2 merges them, and the join puts FL3's values under FL2.
TEST(Reconcile, RenameMergesColumns)
{
    Workspace ws;
    TData* a = named(ws, "A", {"FL1", "FL2"}, 2);
    TData* b = named(ws, "B", {"FL1", "FL3"}, 2);
    TDataList sel;
    sel.Add(a);
    sel.Add(b);
    ReconcilePlan plan = ReconcilePlan::Make(sel);
    EXPECT_FALSE(plan.Agrees());
    EXPECT_EQ(plan.Columns(), (std::vector<std::string>{"FL1", "FL2", "FL3"}));
    const bool covered[2][3] = {{true, true, false}, {true, false, true}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(plan.Covers(r, c), covered[r][c]) << r << c;

    plan.Rename("fl2", "Fl2");  // the same name in other letter case: nothing
    EXPECT_EQ(plan.Columns(), (std::vector<std::string>{"FL1", "FL2", "FL3"}));
    plan.Rename("FL3", "FL2");
    EXPECT_EQ(plan.Columns(), (std::vector<std::string>{"FL1", "FL2"}));
    EXPECT_EQ(plan.order, plan.Columns());
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) EXPECT_TRUE(plan.Covers(r, c));

    TData::ReconcileCheck = [&](TDataList& list) { return Reconcile(list, [&](ReconcilePlan& p) { p = plan; return true; }); };
    TData* j = TData::Join(sel, true);
    TData::ReconcileCheck = [](TDataList& list) { return Reconcile(list, nullptr); };
    ASSERT_NE(j, nullptr);
    ws.list.Add(j);
    EXPECT_EQ(names(*b), (std::vector<std::string>{"FL1", "FL2"}));
    EXPECT_EQ(names(*j), (std::vector<std::string>{"FL1", "FL2"}));
    EXPECT_EQ(j->data[3][1], b->data[1][1]);
}

// (FL1, FL2) and (FL1): asked although every name is shared; the joined
// second data set has 0 under FL2, and the user's column order is kept.
// Cancel refuses the join and changes nothing.
TEST(Reconcile, MissingColumnIsZeroAndCancelChangesNothing)
{
    Workspace ws;
    TData* a = named(ws, "A", {"FL1", "FL2"}, 2);
    TData* b = named(ws, "B", {"fl1"}, 3);
    TDataList sel;
    sel.Add(a);
    sel.Add(b);
    bool asked = false;
    auto cancel = Reconcile(sel, [&](ReconcilePlan&) { return !(asked = true); });
    EXPECT_TRUE(asked);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(names(*b), (std::vector<std::string>{"fl1"}));
    EXPECT_EQ(TData::Join(sel, true), nullptr);  // the default asks nobody and refuses
    EXPECT_EQ(b->Parent(), nullptr);

    TData::ReconcileCheck = [](TDataList& list) {
        return Reconcile(list, [](ReconcilePlan& p) { return p.SetOrder({"fl2", "FL1"}) && !p.SetOrder({"FL1"}); });
    };
    TData* j = TData::Join(sel, true);
    TData::ReconcileCheck = [](TDataList& list) { return Reconcile(list, nullptr); };
    ASSERT_NE(j, nullptr);
    ws.list.Add(j);
    EXPECT_EQ(names(*j), (std::vector<std::string>{"FL2", "FL1"}));
    EXPECT_EQ(j->data[1][0], a->data[1][1]);
    EXPECT_EQ(j->data[1][1], a->data[1][0]);
    for (int e = 2; e < 5; ++e) {
        EXPECT_EQ(j->data[e][0], 0);
        EXPECT_EQ(j->data[e][1], b->data[e - 2][0]);
    }
    EXPECT_EQ(b->CaseSize(), 1);  // the source is not extended
}

// Renaming B to C and then A to B: every new name comes from the original
// one, so A's values end under B and B's under C (one rename after the
// other would give A's values the name C).
TEST(Reconcile, ChainedRenamesStartFromTheOriginalNames)
{
    Workspace ws;
    TData* x = named(ws, "X", {"A", "B", "Z"}, 2);
    TData* y = named(ws, "Y", {"A", "B"}, 2);
    TDataList sel;
    sel.Add(x);
    sel.Add(y);
    auto plan = Reconcile(sel, [](ReconcilePlan& p) {
        p.Rename("B", "C");
        p.Rename("A", "B");
        return true;
    });
    ASSERT_TRUE(plan);
    EXPECT_EQ(names(*x), (std::vector<std::string>{"B", "C", "Z"}));
    EXPECT_EQ(names(*y), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(plan->order, (std::vector<std::string>{"B", "C", "Z"}));
    EXPECT_EQ(plan->ResultColumn(1, 0), 0);
    EXPECT_EQ(plan->ResultColumn(1, 1), 1);
}

// A parent and its kid share one descriptor array; both are in the list.
// Swapping two names (A -> D, B -> A) renames that array once.
TEST(Reconcile, SharedDescriptorsAreRenamedOnce)
{
    Workspace ws;
    TData* p = named(ws, "P", {"A", "B"}, 4);
    TData* k = ws.kid(p, "K", {1, 3});
    ASSERT_TRUE(k->SharesDescriptorsWith(p));
    TData* q = named(ws, "Q", {"A", "B", "C"}, 1);
    TDataList sel;
    sel.Add(p);
    sel.Add(k);
    sel.Add(q);
    auto plan = Reconcile(sel, [](ReconcilePlan& pl) {
        pl.Rename("A", "D");
        pl.Rename("B", "A");
        return true;
    });
    ASSERT_TRUE(plan);
    EXPECT_EQ(names(*p), (std::vector<std::string>{"D", "A"}));
    EXPECT_EQ(names(*k), (std::vector<std::string>{"D", "A"}));
    EXPECT_EQ(names(*q), (std::vector<std::string>{"D", "A", "C"}));
}

// Two parameters of one name in one data set: refused with a message before
// anything changes, by the plan, by Join and by RearrangePar. A rename that
// would make such a pair is refused too.
TEST(Reconcile, DuplicateNamesWithinADataSetAreRefused)
{
    Workspace ws;
    TData* a = named(ws, "A", {"FL1", " fl1"}, 2);
    TData* b = named(ws, "B", {"FL1", "FL2"}, 2);
    TDataList sel;
    sel.Add(b);
    sel.Add(a);
    const std::string msg = errorOf([&] { ReconcilePlan::Make(sel); });
    EXPECT_NE(msg.find("\"A\" has two parameters named \"fl1\""), std::string::npos) << msg;
    EXPECT_EQ(errorOf([&] { TData::Join(sel, true); }), msg);
    EXPECT_EQ(b->Parent(), nullptr);
    EXPECT_EQ(errorOf([&] { a->RearrangePar({"FL1", "FL2"}); }), msg);
    EXPECT_EQ(a->CaseSize(), 2);
    EXPECT_EQ(a->data[1][1], 11);

    TData* c = named(ws, "C", {"FL1", "FL3"}, 1);
    TDataList two;
    two.Add(b);
    two.Add(c);
    ReconcilePlan plan = ReconcilePlan::Make(two);
    const ReconcilePlan before = plan;
    EXPECT_NE(errorOf([&] { plan.Rename("FL3", "fl1"); }).find("\"C\" would have two parameters named"),
              std::string::npos);
    EXPECT_EQ(plan.newNames, before.newNames);
    EXPECT_EQ(plan.order, before.order);
}

// RearrangePar on a gated parent: the kids' gates follow their columns and
// the kids are rebuilt, so every kid column keeps its name and values; a
// sub-channel kid keeps its own columns, minus one that is gone.
TEST(Reconcile, RearrangeParRelinksKidsUnderTheirNames)
{
    Workspace ws;
    TData* r = named(ws, "R", {"FSC", "SSC", "FL1"}, 6);  // value = event * 10 + column
    // A range gate on FSC holding events 2..4.
    TGate range({1, 0, 0}, {0, 0, 0}, {15, 45, 15}, {0, 0, 0});
    TData* g = TData::Gated(r, &range);
    ws.list.Add(g);
    ASSERT_EQ(g->events(), 3);
    TGate sub(TGateType::gtSubChannel, {1, 2});  // SSC, FL1
    TData* s = TData::Gated(r, &sub);
    ws.list.Add(s);

    r->RearrangePar({"FL1", "FSC", "SSC"});
    EXPECT_EQ(names(*r), (std::vector<std::string>{"FL1", "FSC", "SSC"}));
    EXPECT_EQ(names(*g), names(*r));
    EXPECT_EQ(g->data[0][1], 20);  // FSC of event 2
    EXPECT_EQ(g->data[0][0], 22);  // its FL1
    // Moving the gate later recomputes it on FSC, not on the new first column.
    g->Relink(r->CreateLink(*g->gate));
    EXPECT_EQ(g->link, (TIntVector{2, 3, 4}));
    EXPECT_EQ(names(*s), (std::vector<std::string>{"SSC", "FL1"}));
    EXPECT_EQ(s->data[5][0], 51);
    EXPECT_EQ(s->data[5][1], 52);

    r->RearrangePar({"FL1", "FSC"});  // SSC is gone
    EXPECT_EQ(names(*s), (std::vector<std::string>{"FL1"}));
    EXPECT_EQ(s->data[5][0], 52);
}
