#include <gtest/gtest.h>

#include "CoreFixtures.h"
#include "core/Messages.h"
#include "core/TGate.h"
#include "core/TPreText.h"

using namespace orvala;
using orvala::test::Workspace;

TEST(TData, CreateGivesNamedColumnsAndZeroRows)
{
    DataRef d(TData::Create("A", 3, 4));
    EXPECT_EQ(d->CaseSize(), 3);
    EXPECT_EQ(d->events(), 4);
    EXPECT_EQ(d->Desc()[0].name, "Ch1");
    EXPECT_EQ(d->Desc()[2].name, "Ch3");
    EXPECT_EQ(d->summa.size(), 3u);
    EXPECT_EQ(d->fcolor.size(), 4u);
    EXPECT_EQ(d->data[3][2], 0.0);
    EXPECT_EQ(d->RefCount(), 1);
}

TEST(TData, ResizingKeepsValuesAndPadsWithZeros)
{
    DataRef d(TData::Create("A", 2, 2));
    d->data[1][1] = 7;
    d->setCaseSize(4);
    EXPECT_EQ(d->data[1][1], 7);
    EXPECT_EQ(d->data[1][3], 0);
    EXPECT_EQ(d->Desc()[3].name, "Ch4");
    d->setEvents(3);
    EXPECT_EQ(d->data[1][1], 7);
    EXPECT_EQ(d->fcolor.size(), 3u);
    d->setCaseSize(1);
    EXPECT_EQ(d->Desc().size(), 1u);
    EXPECT_EQ(d->summa.size(), 1u);
}

TEST(TData, AddEventGrowsOrPadsTheRow)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 0);
    const double longRow[] = {1, 2, 3};
    const double shortRow[] = {4};
    a->AddEvent(longRow, 3, 0);
    EXPECT_EQ(a->CaseSize(), 3);
    a->AddEvent(shortRow, 1, 0);
    EXPECT_EQ(a->events(), 2);
    EXPECT_EQ(a->data[1][0], 4);
    EXPECT_EQ(a->data[1][2], 0);
    EXPECT_EQ(a->fcolor.size(), 2u);

    TData* k = ws.kid(a, "K", {1, 0});
    EXPECT_EQ(k->link, (TIntVector{1, 0}));
    EXPECT_EQ(k->data[0][0], 4);
    EXPECT_TRUE(k->fcolor.empty());
}

TEST(TData, Names)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 4);
    a->setFileName("/data/run7/sample.fcs");
    EXPECT_EQ(a->Path(), "/data/run7/");
    EXPECT_EQ(a->ShortName(), "sample");
    EXPECT_EQ(a->Extension(), ".fcs");
    EXPECT_EQ(a->FileName(), "/data/run7/sample.fcs");

    TData* g1 = ws.kid(a, "Gate_1", {0, 1, 2});
    TData* g = ws.kid(g1, "G", {0});
    EXPECT_EQ(g->FullName(), "sample_G");  // intermediate levels do not appear
    EXPECT_EQ(g1->FullName(), "sample_Gate_1");
    EXPECT_EQ(g->FileName(), "/data/run7/sample_G.fcs");
    a->datasetnum = 2;
    EXPECT_EQ(a->ScreenName(), "sample_2");
    a->datasetnum = 0;
    EXPECT_EQ(a->ScreenName(), "sample");

    // An existing directory is named by its whole last component, with or
    // without the separator a directory dialog leaves at the end.
    for (const char* dir : {"/tmp", "/tmp/", "/tmp//"}) {
        SCOPED_TRACE(dir);
        a->setFileName(dir);
        EXPECT_EQ(a->ShortName(), "tmp");
        EXPECT_EQ(a->Path(), "/");
        EXPECT_EQ(a->FileName(), "/tmp");
    }
}

TEST(TData, ShortNameRenamesTheGate)
{
    DataRef d(TData::Create("A", 1, 1));
    d->gate = std::make_unique<TGate>();
    d->setShortName("B");
    EXPECT_EQ(d->gate->name, "B");
    d->setNativeColor(0x0000FF);
    EXPECT_EQ(d->gate->color, 0x0000FFu);
}

TEST(TDataList, CreateName)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 3);
    EXPECT_EQ(ws.list.CreateName(a, "Gate"), "Gate_1");
    ws.kid(a, "Gate_1", {0});
    EXPECT_EQ(ws.list.CreateName(a, "Gate"), "Gate_2");
    TData* g1 = a->GetKid(0);
    EXPECT_EQ(ws.list.CreateName(g1, "Gate"), "Gate_1_1");
    // Another family may reuse the name.
    TData* b = ws.root("B", 1, 3);
    EXPECT_EQ(ws.list.CreateName(b, "Gate"), "Gate_1");
}

TEST(TData, Parameters)
{
    DataRef d(TData::Create("A", 3, 2));
    d->Desc()[0].name = "FSC";
    d->Desc()[1].name = "SSC-A ";
    d->Desc()[2].name = "FL1";
    EXPECT_EQ(d->ParIndexByName("  fsc "), 0);
    EXPECT_EQ(d->ParIndexByName("ssc-a"), 1);
    EXPECT_EQ(d->ParIndexByName("FL2"), -1);
    d->RenamePar("fl1", "CD4");
    EXPECT_EQ(d->Desc()[2].name, "CD4");
    d->RenamePar("nothing", "X");

    d->Select(1);
    d->Select(2);
    EXPECT_EQ(d->Selected, (TIntVector{1, 2}));
    d->Select(-1);
    EXPECT_TRUE(d->Selected.empty());
    d->Select(0);
    d->Select(3);  // CaseSize
    EXPECT_TRUE(d->Selected.empty());
}

TEST(TData, RearrangeParReordersFillsAndKeepsOtherDescriptorFields)
{
    DataRef d(TData::Create("A", 3, 2));
    for (int e = 0; e < 2; ++e)
        for (int c = 0; c < 3; ++c) d->data[e][c] = e * 10 + c;
    d->Desc()[0] = {"FSC", false, 0, 0, 1024};
    d->Desc()[1] = {"SSC", true, 4, 1, 256};
    d->Desc()[2].name = "FL1";
    d->RearrangePar({"FSC", "SSC", "FL1"});  // identity: nothing changes
    EXPECT_EQ(d->data[1][2], 12);

    d->RearrangePar({"fl1", "FSC", "missing", "SSC"});
    ASSERT_EQ(d->CaseSize(), 4);
    EXPECT_EQ(d->data[1][0], 12);
    EXPECT_EQ(d->data[1][1], 10);
    EXPECT_EQ(d->data[1][2], 0);
    EXPECT_EQ(d->data[1][3], 11);
    EXPECT_EQ(d->Desc()[0].name, "fl1");
    EXPECT_EQ(d->Desc()[1].resolution, 256);  // fields of the old column at that position
    EXPECT_EQ(d->Desc()[3].name, "SSC");
}

TEST(TData, DescriptorsSharedUntilColumnCountChanges)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 3);
    TData* k = ws.kid(a, "K", {0, 2});
    EXPECT_TRUE(k->SharesDescriptorsWith(a));
    k->RenamePar("Ch1", "FSC");
    EXPECT_EQ(a->Desc()[0].name, "FSC");
    k->setCaseSize(3);
    EXPECT_FALSE(k->SharesDescriptorsWith(a));
    k->RenamePar("FSC", "X");
    EXPECT_EQ(a->Desc()[0].name, "FSC");
    // Reordering a kid's columns never reorders its parent's names.
    TData* k2 = ws.kid(a, "K2", {1});
    k2->RearrangePar({"Ch2", "FSC"});
    EXPECT_EQ(a->Desc()[0].name, "FSC");
    EXPECT_EQ(k2->Desc()[0].name, "Ch2");
}

TEST(TData, ColoursLiveOnTheRoot)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 5);
    TData* k = ws.kid(a, "K", {1, 3, 4});
    TData* gk = ws.kid(k, "GK", {2});  // root event 4
    gk->SetColor(0, 0x00FF00);
    EXPECT_EQ(a->GetColor(4), 0x00FF00u);
    EXPECT_EQ(k->GetColor(2), 0x00FF00u);
    EXPECT_EQ(gk->Absoluteindex(0), 4);
    a->SetColor(99, 1);  // ignored
    k->SetColors(0x0000FF);
    EXPECT_EQ(a->Colors(), (TColors{0, 0x0000FF, 0, 0x0000FF, 0x0000FF}));
    EXPECT_EQ(k->NativeColor(), 0x0000FFu);
    EXPECT_EQ(gk->Colors(), (TColors{0x0000FF}));
    // Two links up: only the grandkid's root event is repainted.
    gk->SetColors(0xFF0000);
    EXPECT_EQ(a->Colors(), (TColors{0, 0x0000FF, 0, 0x0000FF, 0xFF0000}));
}

TEST(TData, ColorsOfADerivedDataSetFollowRepaintsOfSharedEvents)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 4);
    TData* k = ws.kid(a, "K", {0, 1, 2});
    TData* gk = ws.kid(k, "GK", {1, 2});  // root events 1, 2
    TData* sibling = ws.kid(a, "S", {2, 3});
    k->SetColors(0x0000FF);
    EXPECT_EQ(gk->Colors(), (TColors{0x0000FF, 0x0000FF}));  // asked once: a plot drew it
    sibling->SetColors(0x00FF00);                             // repaints root event 2
    EXPECT_EQ(gk->Colors(), (TColors{0x0000FF, 0x00FF00}));
    EXPECT_EQ(k->Colors(), (TColors{0x0000FF, 0x0000FF, 0x00FF00}));
    a->SetColor(1, 0xABCDEF);
    EXPECT_EQ(gk->Colors()[0], 0xABCDEFu);
}

TEST(TData, UpdateColorsPaintsParentsBeforeKidsAndSkipsDisabled)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 4);
    TData* k = ws.kid(a, "K", {0, 1});
    TData* off = ws.kid(a, "Off", {2});
    a->setNativeColor(1);
    k->setNativeColor(2);
    off->setNativeColor(3);
    off->disablecolor = true;
    a->UpdateColors();
    EXPECT_EQ(a->Colors(), (TColors{2, 2, 1, 1}));
    ASSERT_FALSE(ws.notifier.posts.empty());
    EXPECT_EQ(ws.notifier.posts.back().first, WMDataChanged);
    EXPECT_EQ(ws.notifier.posts.back().second, a);
}

TEST(TData, ModifiedSpreadsThroughTheFamilyAndAnnounces)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 4);
    TData* k = ws.kid(a, "K", {0, 1});
    TData* gk = ws.kid(k, "GK", {0});
    TData* other = ws.root("B", 1, 1);
    gk->Announce();
    EXPECT_EQ(a->Modified(), 1);
    EXPECT_EQ(k->FModified, 1);
    EXPECT_EQ(gk->FModified, 1);
    EXPECT_EQ(other->FModified, 0);
    ASSERT_EQ(ws.notifier.posts.size(), 1u);
    EXPECT_EQ(ws.notifier.posts[0].second, gk);
    // Writing the value already held does nothing: the family stays put even
    // where a member was changed behind its back.
    k->FModified = 5;
    k->setModified(5);
    EXPECT_EQ(a->FModified, 1);
    k->Announce();
    EXPECT_EQ(a->Modified(), 2);
    EXPECT_EQ(k->FModified, 2);
}

TEST(TData, TreeQueries)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 6);
    TData* k1 = ws.kid(a, "K1", {0, 1, 2});
    TData* k2 = ws.kid(a, "K2", {3});
    TData* k11 = ws.kid(k1, "K11", {1});
    k1->gate = std::make_unique<TGate>();
    k1->gate->name = "K1";
    EXPECT_EQ(a->KidCount(), 2);
    EXPECT_EQ(a->GetKid(1), k2);
    EXPECT_EQ(a->GetKid(2), nullptr);
    EXPECT_EQ(a->OffspringCount(), 3);
    EXPECT_EQ(a->GetOffspring(0), k1);
    EXPECT_EQ(a->GetOffspring(1), k11);  // depth-first
    EXPECT_EQ(a->GetOffspring(2), k2);
    EXPECT_EQ(a->GetKidByName("K1"), k1);
    EXPECT_EQ(a->GetKidByName("K2"), nullptr);  // no gate
    EXPECT_EQ(k11->Grandpa(), a);
    EXPECT_EQ(k11->GrandpaIndex(0), 1);
}

TEST(TData, Statistics)
{
    DataRef d(TData::Create("A", 3, 2));
    d->data[0][0] = -1;
    d->data[0][1] = 5;
    d->data[1][2] = 9;
    EXPECT_EQ(d->maxinrow(0), 5);
    EXPECT_EQ(d->mininrow(0), -1);
    EXPECT_EQ(d->maxincol(2), 9);
    EXPECT_EQ(d->minincol(0), -1);
    EXPECT_EQ(d->Absmax(), 9);
    EXPECT_EQ(d->Absmin(), -1);
    EXPECT_DOUBLE_EQ(d->ParAverage(2), 4.5);
    DataRef empty(TData::Create("E", 3, 0));
    EXPECT_EQ(empty->ParAverage(0), 0);
    EXPECT_EQ(empty->Absmax(), 0);
}

TEST(TData, FreeOnNilShowsTheMessage)
{
    RecordingSink sink;
    MessageSink* previous = setDefaultSink(&sink);
    TData::Free(nullptr);
    setDefaultSink(previous);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "Data structure destructor error");
}

TEST(TData, ReparentingMovesColourOwnership)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 3);
    DataRef b(TData::Create("B", 1, 2));
    b->setParent(a);
    EXPECT_EQ(a->RefCount(), 2);
    EXPECT_TRUE(b->fcolor.empty());
    EXPECT_EQ(b->link.size(), 2u);
    b->setParent(a);  // same parent: nothing
    EXPECT_EQ(a->RefCount(), 2);
    b->setParent(nullptr);
    EXPECT_EQ(a->RefCount(), 1);
    EXPECT_EQ(b->fcolor.size(), 2u);
    EXPECT_TRUE(b->link.empty());
}

TEST(TData, TubeDetectionOnThreeRuns)
{
    // Tip values in runs around 100, 200 and 300, plus one event at 240 (< 1 %).
    DataRef d(TData::Create("A", 2, 0));
    std::vector<double> values;
    for (int v = 95; v <= 105; ++v)
        for (int i = 0; i < 30; ++i) values.push_back(v);
    for (int v = 195; v <= 205; ++v)
        for (int i = 0; i < 30; ++i) values.push_back(v + 0.4);  // rounds down
    for (int v = 295; v <= 305; ++v)
        for (int i = 0; i < 30; ++i) values.push_back(v);
    values.push_back(240);
    for (double v : values) {
        const double row[] = {1, v};
        d->AddEvent(row, 2, 0);
    }
    d->settipchannel(1);
    ASSERT_EQ(d->TubeCount(), 3);
    EXPECT_TRUE(d->Multitube());
    EXPECT_EQ(d->TubeSize[0], 330);
    EXPECT_EQ(d->TubeSize[1], 331);  // the lone 240 is merged into tube 2 by the boundaries
    EXPECT_EQ(d->TubeSize[2], 330);
    EXPECT_EQ(d->Tip.front(), 1);
    EXPECT_EQ(d->Tip.back(), 2);

    // A second detection (as after loading a saved data set, which brings its
    // tube table along) numbers the tips again against a table rebuilt with them.
    d->TubeSize = {7};
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        d->settipchannel(1);
        ASSERT_EQ(d->TubeSize, (TIntVector{330, 331, 330}));
        TIntVector counted(3, 0);
        for (int32_t t : d->Tip) {
            ASSERT_GE(t, 1);
            ASSERT_LE(t, 3);
            ++counted[size_t(t - 1)];
        }
        EXPECT_EQ(counted, d->TubeSize);
    }

    d->settipchannel(5);  // outside the columns: no tips and no tubes
    EXPECT_TRUE(d->Tip.empty());
    EXPECT_FALSE(d->Multitube());
}

TEST(TData, TubeDetectionWithoutEventsGivesNoTubes)
{
    DataRef d(TData::Create("A", 2, 0));
    d->settipchannel(1);
    EXPECT_TRUE(d->Tip.empty());
    EXPECT_EQ(d->TubeCount(), 0);
    EXPECT_FALSE(d->Multitube());
}

TEST(TData, TubeDetectionWithoutGroupsGivesOneTube)
{
    DataRef d(TData::Create("A", 1, 10));  // all zeros: one group whose centre 0 is dropped
    d->settipchannel(0);
    ASSERT_EQ(d->TubeCount(), 1);
    EXPECT_EQ(d->TubeSize[0], 10);
}

namespace {
struct FakeDataSet : TDataSetBase {
    TPreText text;
    TPreText* keywords() override { return &text; }
};
}  // namespace

TEST(TData, SetPRIZMAddsTheColumnAndKeywords)
{
    DataRef d(TData::Create("A", 2, 3));
    auto ds = std::make_unique<FakeDataSet>();
    for (auto [k, v] : std::vector<std::pair<std::string, std::string>>{
             {"$PAR", "2"}, {"$P1N", "FSC"}, {"$P2N", "SSC"}, {"$P2R", "1024"}, {"$P20X", "x"}, {"$TOT", "3"}})
        ds->text.keys.push_back(k), ds->text.Values.push_back(v);
    d->dataset = std::move(ds);
    for (int e = 0; e < 3; ++e) {
        d->data[e][0] = e;
        d->data[e][1] = 10 * e;
    }
    d->SetPRIZM({0, 1}, {1, 15});
    ASSERT_EQ(d->PrizmIndex, 2);
    EXPECT_EQ(d->CaseSize(), 3);
    EXPECT_EQ(d->Desc()[2].name, "PRIZM");
    EXPECT_EQ(d->data[0][2], 0);
    EXPECT_EQ(d->data[1][2], 1);
    EXPECT_EQ(d->data[2][2], 3);
    TPreText& t = *d->dataset->keywords();
    EXPECT_EQ(t.GetValue("$PAR"), "3");
    // Inserted right after $P2R ("$P20X" is parameter 20, not 2).
    EXPECT_EQ(t.keys[4], "$P3B");
    EXPECT_EQ(t.keys[8], "$P3S");
    EXPECT_EQ(t.GetValue("$P3R"), "65536");
    EXPECT_EQ(t.GetValue("$P3E"), "0,0");
    // A second call recomputes the column only.
    d->SetPRIZM({1}, {0});
    EXPECT_EQ(d->CaseSize(), 3);
    EXPECT_EQ(d->data[0][2], 1);
    EXPECT_EQ(t.GetValue("$PAR"), "3");
}

TEST(TData, SetPRIZMReplacesADamagedParameterCount)
{
    for (const char* par : {"9223372036854775807", "-9223372036854775808"}) {
        SCOPED_TRACE(par);
        DataRef d(TData::Create("A", 2, 1));
        auto ds = std::make_unique<FakeDataSet>();
        ds->text.keys = {"$PAR", "$P1N", "$P2N"};
        ds->text.Values = {par, "FSC", "SSC"};
        d->dataset = std::move(ds);
        d->SetPRIZM({0}, {0});
        EXPECT_EQ(d->dataset->keywords()->GetValue("$PAR"), "3");
        EXPECT_EQ(d->CaseSize(), 3);
    }
}
