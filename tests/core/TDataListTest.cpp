#include <gtest/gtest.h>

#include "CoreFixtures.h"
#include "core/TGate.h"

using namespace orvala;
using orvala::test::Workspace;

TEST(TDataList, AddIgnoresNilAndDuplicates)
{
    TDataList list;
    TData* a = TData::Create("A", 1, 1);
    list.Add(nullptr);
    list.Add(a);
    list.Add(a);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(a->RefCount(), 1);
    EXPECT_EQ(list.maxcasesize(), 1);
    EXPECT_EQ(list.TotalNumberOfEvents(), 1);
    TDataList empty;
    EXPECT_EQ(empty.maxcasesize(), 0);
}

TEST(TDataList, JoinWithLinkToParent)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 10);
    TData* b = ws.root("B", 2, 20);
    a->SetColors(0x0000FF);
    b->SetColor(3, 0x00FF00);
    b->Eventnames.assign(20, "ev");
    TDataList sel;
    sel.Add(a);
    sel.Add(b);
    TData* j = TData::Join(sel, true);
    ASSERT_NE(j, nullptr);
    ws.list.Add(j);
    EXPECT_EQ(j->events(), 30);
    EXPECT_EQ(j->ShortName(), "A+B");
    EXPECT_EQ(a->Parent(), j);
    EXPECT_EQ(b->Parent(), j);
    EXPECT_EQ(b->link[0], 10);
    EXPECT_EQ(b->data[19][1], j->data[29][1]);
    EXPECT_EQ(j->GetColor(0), 0x0000FFu);
    EXPECT_EQ(j->GetColor(13), 0x00FF00u);
    EXPECT_EQ(b->GetColor(3), 0x00FF00u);  // colour now read through the link
    EXPECT_EQ(j->Eventnames.size(), 30u);
    EXPECT_EQ(j->Eventnames[0], "");
    EXPECT_EQ(j->Eventnames[10], "ev");
    EXPECT_EQ(j->KidCount(), 2);
    EXPECT_EQ(a->FullName(), "A+B_A");
}

TEST(TDataList, JoinWithoutLinkAndItsRefusals)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 3);
    TData* b = ws.root("B", 2, 4);
    b->Desc()[0].name = "Ch2";
    b->Desc()[1].name = "Ch1";
    TDataList sel;
    sel.Add(a);
    EXPECT_EQ(TData::Join(sel, false), nullptr);  // one data set
    sel.Add(b);
    DataRef j(TData::Join(sel, false));
    ASSERT_TRUE(j);
    EXPECT_EQ(j->ShortName(), "NewName");
    EXPECT_EQ(a->Parent(), nullptr);
    // Same names in another order: b's values are brought to a's column order.
    EXPECT_EQ(j->data[3][0], 1);
    EXPECT_EQ(j->data[3][1], 0);

    TData* c = ws.root("C", 3, 2);
    TDataList mismatched;
    mismatched.Add(a);
    mismatched.Add(c);
    EXPECT_EQ(TData::Join(mismatched, true), nullptr);
    EXPECT_EQ(c->Parent(), nullptr);
}

TEST(TDataList, JoinLeavesItsSourcesAndTheirGatesAlone)
{
    Workspace ws;
    TData* a = ws.root("A", 2, 3);
    TData* b = ws.root("B", 2, 4);
    a->Desc()[0].name = "FSC";
    a->Desc()[1].name = "SSC";
    b->Desc()[0].name = "SSC";  // the same parameters in the other order
    b->Desc()[1].name = "FSC";
    for (int e = 0; e < 4; ++e) {
        b->data[e][0] = 1000 + e;  // SSC
        b->data[e][1] = e;         // FSC
    }
    // A range gate on B's FSC column holding FSC 2 and 3.
    TGate fsc({0, 1}, {0, 0}, {1.5, 3.5, 1.5}, {0, 0, 0});
    TData* kid = TData::Gated(b, &fsc);
    ASSERT_NE(kid, nullptr);
    ws.list.Add(kid);
    ASSERT_EQ(kid->events(), 2);

    TDataList sel;
    sel.Add(a);
    sel.Add(b);
    TData* j = TData::Join(sel, true);
    ASSERT_NE(j, nullptr);
    ws.list.Add(j);
    // The sources keep their columns; the joined rows follow the first's order.
    EXPECT_EQ(b->Desc()[0].name, "SSC");
    EXPECT_EQ(b->data[3][0], 1003);
    EXPECT_EQ(j->data[3 + 3][0], 3);     // FSC of B's event 3
    EXPECT_EQ(j->data[3 + 3][1], 1003);  // its SSC
    EXPECT_EQ(j->data[1][0], a->data[1][0]);
    // The kid's gate still selects on FSC when it is recomputed.
    kid->Relink(b->CreateLink(*kid->gate));
    EXPECT_EQ(kid->events(), 2);
    EXPECT_EQ(kid->data[0][1], 2);
}

TEST(TDataList, DeleteAnnouncesTheRemovedDataSetAndTheKidsThatMoved)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 6);
    TData* g = ws.kid(a, "G", {1, 2, 3});
    TData* k = ws.kid(g, "K", {0, 2});
    TData* other = ws.root("B", 1, 1);
    DataRef window(g);  // a plot still showing it
    ws.notifier.posts.clear();
    ws.list.Delete(g);
    auto announced = [&](TData* d) {
        for (const auto& [message, data] : ws.notifier.posts)
            if (message == WMDataChanged && data == d) return true;
        return false;
    };
    EXPECT_TRUE(g->Deleted());
    EXPECT_TRUE(announced(g));
    EXPECT_TRUE(announced(k));
    EXPECT_FALSE(announced(other));
    // Drawing a gate on the removed data set's plot makes no orphan.
    TGate all({1}, {0}, {-1, 100, -1}, {0, 0, 0});
    EXPECT_EQ(TData::Gated(g, &all), nullptr);
    TData* fromKid = TData::Gated(k, &all);
    ASSERT_NE(fromKid, nullptr);
    EXPECT_EQ(fromKid->events(), 2);
    TData::Free(fromKid);
}

TEST(TDataList, DeletingAMiddleNodeReattachesItsKids)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 10);
    TData* g = ws.kid(a, "G", {2, 4, 6, 8});
    TData* k1 = ws.kid(g, "K1", {0, 3});  // root events 2, 8
    TData* k2 = ws.kid(g, "K2", {1});     // root event 4
    a->setNativeColor(1);
    g->setNativeColor(2);
    k1->setNativeColor(3);
    k2->setNativeColor(4);
    a->UpdateColors();
    DataRef holder(g);  // a window still showing it
    ws.list.Delete(g);
    EXPECT_TRUE(g->Deleted());
    EXPECT_EQ(ws.list.Count(), 3);
    EXPECT_EQ(k1->Parent(), a);
    EXPECT_EQ(k2->Parent(), a);
    EXPECT_EQ(k1->link, (TIntVector{2, 8}));
    EXPECT_EQ(k2->link, (TIntVector{4}));
    EXPECT_EQ(k1->data[1][0], a->data[8][0]);
    // The family is repainted in list order: root first, then the kids.
    EXPECT_EQ(a->GetColor(6), 1u);
    EXPECT_EQ(a->GetColor(8), 3u);
    EXPECT_EQ(a->GetColor(4), 4u);
    EXPECT_EQ(a->KidCount(), 2);
    EXPECT_EQ(a->RefCount(), 3);  // the list and two kids
}

TEST(TDataList, DeletingARootMakesItsKidsRoots)
{
    Workspace ws;
    TData* a = ws.root("A", 1, 5);
    TData* k = ws.kid(a, "K", {1, 4});
    TData* gk = ws.kid(k, "GK", {1});
    a->SetColor(4, 0xABCDEF);
    ws.list.Delete(0);
    EXPECT_EQ(k->Parent(), nullptr);
    EXPECT_EQ(k->ShortName(), "A_K");
    EXPECT_EQ(k->fcolor, (TColors{0, 0xABCDEF}));
    EXPECT_TRUE(k->link.empty());
    EXPECT_EQ(gk->Parent(), k);
    EXPECT_EQ(gk->GetColor(0), 0xABCDEFu);
    EXPECT_EQ(gk->FullName(), "A_K_GK");
}

TEST(TDataList, ClearReleasesWholeFamilies)
{
    // Run under the sanitizer build: a leak or double free shows here.
    TDataList list;
    TDataList* prev = TData::Workspace;
    TData::Workspace = &list;
    TData* a = TData::Create("A", 2, 3);
    list.Add(a);
    TData* k = TData::Create("K", a);
    k->AddEvent(a->data[0], 2, 0);
    list.Add(k);
    TDataList sel;
    sel.Add(a);
    sel.Add(k);
    EXPECT_EQ(a->RefCount(), 3);  // list, selection, kid
    sel.Clear();
    EXPECT_EQ(a->RefCount(), 2);
    EXPECT_EQ(k->RefCount(), 1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    TData::Workspace = prev;
}
