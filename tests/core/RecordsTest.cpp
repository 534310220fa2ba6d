#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "CoreFixtures.h"
#include "core/Records.h"
#include "core/TDataFilter.h"
#include "core/TGate.h"

using namespace orvala;
using orvala::test::Workspace;

namespace {
MemoryStream saved(TData& d)
{
    MemoryStream s;
    SaveDataToStream(s, d);
    return MemoryStream(s.bytes());
}
}  // namespace

TEST(Records, PrimitivesRoundTripAndClampStrings)
{
    MemoryStream s;
    WriteInt(s, -7);
    WriteBool(s, true);
    WriteDouble(s, 2.5);
    WriteString(s, "na\xe9me");
    WriteVector(s, {1.5, -2});
    WriteIntVector(s, {3, 4, 5});
    WriteMatrix(s, {{1}, {2, 3}, {}});
    MemoryStream r(s.bytes());
    EXPECT_EQ(ReadInt(r), -7);
    EXPECT_TRUE(ReadBool(r));
    EXPECT_EQ(ReadDouble(r), 2.5);
    EXPECT_EQ(ReadString(r), "na\xe9me");
    EXPECT_EQ(ReadVector(r), (TVector{1.5, -2}));
    EXPECT_EQ(ReadIntVector(r), (TIntVector{3, 4, 5}));
    EXPECT_EQ(ReadMatrix(r), (TMatrix{{1}, {2, 3}, {}}));
    EXPECT_THROW(ReadInt(r), StreamReadError);

    // A string whose length runs past the end yields the bytes that are there.
    MemoryStream cut;
    WriteInt(cut, 100);
    cut.write("abc", 3);
    MemoryStream rc(cut.bytes());
    EXPECT_EQ(ReadString(rc), "abc");

    // Counts larger than the stream could hold fail before allocating.
    for (int32_t n : {-1, 1000000, INT32_MAX}) {
        MemoryStream v;
        WriteInt(v, n);
        WriteDouble(v, 1);
        MemoryStream rv(v.bytes());
        EXPECT_THROW(ReadVector(rv), StreamReadError) << n;
    }
    try {
        MemoryStream empty;
        ReadBool(empty);
        FAIL();
    } catch (const StreamReadError& e) {
        EXPECT_STREQ(e.what(), "Stream Read Error");
    }
}

TEST(Records, GatedDataSetLoadsAsARootWithItsValuesNamesColoursAndGate)
{
    Workspace ws;
    TData* a = ws.root("A", 3, 6);
    a->Desc()[0] = {"FSC", false, 0, 0, 1024};
    a->Desc()[1] = {"FL1", true, 4, 1, 256};
    TData* k = ws.kid(a, "Gate_1", {1, 3, 5});
    auto gate = std::make_unique<TGate>();
    gate->kind = TGateType::gtGate;
    gate->name = "Gate_1";
    gate->x = {1, 0, 0};
    gate->y = {0, 1, 0};
    gate->cx = {0, 10, 10, 0};
    gate->cy = {0, 0, 10, 0};
    gate->linlogy = true;
    gate->filter = std::make_unique<TDataFilter>();
    gate->filter->FIndices = {0, 2};
    gate->filter->Fevects = {{1, 0}, {0, 1}};
    k->gate = std::move(gate);
    k->setNativeColor(0x00FF00);
    a->SetColor(3, 0x0000FF);
    k->Eventnames = {"e1", "e3", "e5"};

    MemoryStream s = saved(*k);
    DataRef loaded(LoadDataFromStream(s));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Parent(), nullptr);
    EXPECT_TRUE(loaded->link.empty());
    EXPECT_EQ(loaded->ShortName(), "Gate_1");
    EXPECT_EQ(loaded->CaseSize(), 3);
    ASSERT_EQ(loaded->events(), 3);
    for (int e = 0; e < 3; ++e)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(loaded->data[e][c], k->data[e][c]);
    EXPECT_EQ(loaded->Desc()[1].name, "FL1");
    EXPECT_TRUE(loaded->Desc()[1].log);
    EXPECT_EQ(loaded->Desc()[0].resolution, 1024);
    EXPECT_EQ(loaded->Colors(), (TColors{0, 0x0000FF, 0}));
    EXPECT_EQ(loaded->NativeColor(), 0x00FF00u);
    EXPECT_EQ(loaded->Eventnames, k->Eventnames);
    ASSERT_TRUE(loaded->gate);
    EXPECT_EQ(loaded->gate->kind, TGateType::gtGate);
    EXPECT_EQ(loaded->gate->cx, k->gate->cx);
    EXPECT_TRUE(loaded->gate->linlogy);
    ASSERT_TRUE(loaded->gate->filter);
    EXPECT_EQ(loaded->gate->filter->FIndices, (TIntVector{0, 2}));
    EXPECT_EQ(loaded->gate->filter->Fevects, (TMatrix{{1, 0}, {0, 1}}));
}

TEST(Records, PlainDataSetWritesSingleZeroFlags)
{
    DataRef d(TData::Create("A", 1, 0));
    MemoryStream s;
    SaveDataToStream(s, *d);
    const auto& b = s.bytes();
    ASSERT_GE(b.size(), 13u);
    EXPECT_EQ(b[8], 0);  // no picture
    int32_t frames;
    std::memcpy(&frames, b.data() + 9, 4);
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(b[13 + 24], 0);  // no gate, after three doubles
}

namespace {

// The start of a hand-written version-2 data-set record, up to the column and event counts.
void writeVersion2Head(MemoryStream& s, int32_t casesize, int32_t events)
{
    WriteInt(s, 2);
    WriteInt(s, -1);
    WriteBool(s, false);
    WriteInt(s, 0);
    for (int i = 0; i < 3; ++i) WriteDouble(s, 0);
    WriteBool(s, false);
    WriteString(s, "/p/");
    WriteString(s, "old");
    WriteString(s, ".fcs");
    WriteVector(s, {0});
    WriteInt(s, casesize);
    WriteInt(s, events);
}

}  // namespace

TEST(Records, ColumnCountBeyondTheStreamIsRefusedBeforeSizingAnything)
{
    // Eight million columns and no events claimed by a record of a few hundred
    // bytes: sizing the descriptors for them would take half a gigabyte.
    MemoryStream s;
    writeVersion2Head(s, 8'000'000, 0);
    for (int i = 0; i < 64; ++i) WriteInt(s, 0);
    MemoryStream r(s.bytes());
    EXPECT_EQ(LoadDataFromStream(r), nullptr);
}

TEST(Records, Version2RecordWithIntegerResolution)
{
    // Hand-written version-2 record: one parameter "FSC" with resolution 1024 as int32, one event.
    MemoryStream s;
    writeVersion2Head(s, 1, 1);
    WriteVector(s, {});
    WriteIntVector(s, {});
    WriteBool(s, false);
    WriteBool(s, false);
    WriteInt(s, 0);
    WriteBool(s, false);
    WriteInt(s, 0);  // event names
    WriteInt(s, 1);
    WriteString(s, "FSC");
    WriteBool(s, false);
    WriteDouble(s, 0);
    WriteDouble(s, 0);
    WriteInt(s, 1024);
    WriteMatrix(s, {{42}});
    WriteBool(s, false);
    WriteIntVector(s, {});
    WriteIntVector(s, {});
    WriteInt(s, 0);
    WriteInt(s, 0);
    WriteInt(s, 1);
    WriteInt(s, 0x123456);
    WriteColorVector(s, {});
    WriteInt(s, 7);
    MemoryStream r(s.bytes());
    DataRef d(LoadDataFromStream(r));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Desc()[0].resolution, 1024.0);
    EXPECT_EQ(d->data[0][0], 42);
    EXPECT_EQ(d->GetColor(0), 0x123456u);
    EXPECT_EQ(d->FileName(), "/p/old.fcs");
}

TEST(Records, EveryCutOfAStreamGivesNilNeverACrash)
{
    Workspace ws;
    TData* a = ws.root("A", 4, 20);
    a->gate = std::make_unique<TGate>();
    a->gate->cx = {1, 2, 3};
    a->filter = std::make_unique<TDataFilter>();
    a->filter->FMean = {1, 2};
    a->img.width = 3;
    a->img.height = 2;
    a->img.pixels = {1, 2, 3, 4, 5, 0xFFFFFF};
    QCam_Frame f;
    f.width = 2;
    f.buffer = {9, 8, 7};
    a->seq.push_back(f);
    MemoryStream whole;
    SaveDataToStream(whole, *a);
    const auto& bytes = whole.bytes();
    {
        MemoryStream r(bytes);
        DataRef back(LoadDataFromStream(r));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->img.pixels, a->img.pixels);
        ASSERT_EQ(back->seq.size(), 1u);
        EXPECT_EQ(back->seq[0].buffer, f.buffer);
        EXPECT_EQ(back->seq[0].width, 2u);
        ASSERT_TRUE(back->filter);
        EXPECT_EQ(back->filter->FMean, a->filter->FMean);
    }
    // A cut anywhere in the matrix (and most other places) gives nil.
    int nils = 0;
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        MemoryStream r(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        TData* d = LoadDataFromStream(r);
        if (!d) ++nils;
        delete d;
    }
    EXPECT_EQ(nils, int((bytes.size() + 6) / 7));
    // Random bytes never crash or allocate without bound.
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> junk(bytes);
        for (int k = 0; k < 8; ++k) junk[rng() % junk.size()] = uint8_t(rng());
        MemoryStream r(junk);
        delete LoadDataFromStream(r);
    }
}

TEST(Records, BitmapWithHugeDimensionsIsRefused)
{
    // A 54-byte BMP whose header claims 2^31-1 x 2^31-1 pixels: the size check
    // must not overflow and let the decoder run past the buffer.
    std::vector<uint8_t> bmp(54, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    const uint32_t size = 54, off = 54, header = 40;
    const int32_t huge = INT32_MAX;
    const uint16_t planes = 1, bpp = 32;
    std::memcpy(&bmp[2], &size, 4);
    std::memcpy(&bmp[10], &off, 4);
    std::memcpy(&bmp[14], &header, 4);
    std::memcpy(&bmp[18], &huge, 4);
    std::memcpy(&bmp[22], &huge, 4);
    std::memcpy(&bmp[26], &planes, 2);
    std::memcpy(&bmp[28], &bpp, 2);
    MemoryStream s(bmp);
    EXPECT_THROW(ReadBitmap(s), StreamReadError);
}
