#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/TempDir.h"
#include "core/CoreFixtures.h"
#include "core/Messages.h"
#include "core/Records.h"
#include "core/TGate.h"
#include "protocol/Protocol.h"

using namespace orvala;
using orvala::test::Workspace;
namespace fs = std::filesystem;

namespace {

using orvala::test::TempDir;

// Applies gate to parent the way the plot window does: named, coloured, added.
TData* addGated(Workspace& ws, TData* parent, std::unique_ptr<TGate> gate, const std::string& name, TColor color)
{
    gate->name = name;
    gate->color = color;
    TData* d = TData::Gated(parent, gate.get());
    EXPECT_NE(d, nullptr);
    ws.list.Add(d);
    return d;
}

// A projection gate on x = column 0, y = column 1 of a casesize-column data set,
// the square [lo, hi]^2.
std::unique_ptr<TGate> squareGate(int casesize, double lo, double hi)
{
    TVector x(size_t(casesize), 0.0), y(size_t(casesize), 0.0);
    x[0] = 1;
    y[1] = 1;
    return std::make_unique<TGate>(x, y, TVector{lo, hi, hi, lo, lo}, TVector{lo, lo, hi, hi, lo});
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The version 2 protocol in file rewritten as version 1: the same records
// without the name list, so they replay by position.
std::string asVersion1(const TempDir& tmp, const std::string& file)
{
    const std::string bytes = orvala::test::slurp(file);
    MemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    s.skip(8);
    const int32_t count = ReadInt(s);
    for (int32_t i = 0; i < count; ++i) ReadString(s);
    return tmp.write("v1-" + fs::path(file).filename().string(),
                     bytes.substr(0, 4) + std::string("\x01\0\0\0", 4) + bytes.substr(size_t(s.position())));
}

}  // namespace

TEST(Protocol, SavedTreeReplaysOnAnotherDataSet)
{
    Workspace ws;
    TempDir tmp;
    TData* a = ws.root("First", 3, 100);  // values e*10 + c
    TData* A = addGated(ws, a, squareGate(3, -1, 500), "A", 0x0000FF);
    addGated(ws, A, squareGate(3, -1, 200), "A1", 0x00FF00);
    addGated(ws, a, std::make_unique<TGate>(TGateType::gtSubset, TIntVector{1, 2, 3}), "B", 0xFF0000);
    const std::string file = tmp.file("strategy.orp");
    SaveProtocol(*a, file);

    TData* b = ws.root("Second", 3, 60);
    const auto made = LoadProtocol(*b, file, ws.list);
    ASSERT_EQ(made.size(), 3u);
    ASSERT_EQ(b->KidCount(), 2);
    TData* rA = b->GetKid(0);
    EXPECT_EQ(rA->ShortName(), "A");
    EXPECT_EQ(rA->NativeColor(), 0x0000FFu);
    EXPECT_EQ(rA->events(), 50);  // events 0..49 have x = e*10 <= 500
    ASSERT_EQ(rA->KidCount(), 1);
    EXPECT_EQ(rA->GetKid(0)->ShortName(), "A1");
    EXPECT_EQ(rA->GetKid(0)->events(), 20);
    EXPECT_EQ(b->GetKid(1)->ShortName(), "B");
    EXPECT_EQ(b->GetKid(1)->events(), 3);

    // Replaying twice makes a second set of kids with the same names.
    LoadProtocol(*b, file, ws.list);
    EXPECT_EQ(b->KidCount(), 4);
    EXPECT_EQ(b->GetKid(2)->ShortName(), "A");
}

TEST(Protocol, GateThatDoesNotFitYieldsNothingBelowIt)
{
    Workspace ws;
    TempDir tmp;
    TData* ten = ws.root("Ten", 10, 50);
    TData* A = addGated(ws, ten, squareGate(10, -1, 1000), "A", 1);
    addGated(ws, A, std::make_unique<TGate>(TGateType::gtSubset, TIntVector{0}), "A1", 2);
    addGated(ws, ten, std::make_unique<TGate>(TGateType::gtSubset, TIntVector{4, 5}), "B", 3);
    const std::string file = tmp.file("p.orp");
    SaveProtocol(*ten, file);

    // By position the 10-column projection cannot be laid on 12 columns...
    TData* twelve = ws.root("Twelve", 12, 50);
    const auto made = LoadProtocol(*twelve, asVersion1(tmp, file), ws.list);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->ShortName(), "B");
    EXPECT_EQ(twelve->KidCount(), 1);
    // ...by name its two columns are found among the twelve.
    TData* other = ws.root("Other", 12, 50);
    EXPECT_EQ(LoadProtocol(*other, file, ws.list).size(), 3u);
    EXPECT_EQ(other->GetKidByName("A")->events(), ten->GetKidByName("A")->events());
}

TEST(Protocol, BadFilesAreReported)
{
    Workspace ws;
    TempDir tmp;
    TData* b = ws.root("B", 2, 5);
    struct Case {
        std::string bytes;
        std::string error;    // thrown before anything is made
        std::string message;  // given to the sink; both empty: replays as nothing, silently
    };
    const std::string v1 = std::string(" ORP") + std::string("\x01\0\0\0", 4);
    const std::string v2 = std::string(" ORP") + std::string("\x02\0\0\0", 4);
    const Case cases[] = {
        {v1, "", ""},
        {v2 + std::string("\0\0\0\0", 4), "", ""},
        {"XORP\x01\0\0\0", "is not protocol file", ""},
        {" ORP", "Stream Read Error", ""},
        {" OR", "Stream Read Error", ""},
        {v1 + std::string("\x01\0\0\0", 4), "Error in protocol file", ""},
        {v1 + std::string("\0\0\0\0\x02", 5), "", "is damaged; 0 gates were applied"},
        // Two names announced, the second cut short.
        {v2 + std::string("\x02\0\0\0\x01\0\0\0X\x09\0\0\0Y", 14), "is damaged: its parameter names are cut", ""},
        {v2 + std::string("\x05\0\0\0", 4), "is damaged: its parameter names are cut", ""},
    };
    for (const Case& c : cases) {
        const std::string file = tmp.write("bad.orp", c.bytes);
        RecordingSink sink;
        try {
            const auto made = LoadProtocol(*b, file, ws.list, sink);
            EXPECT_TRUE(c.error.empty()) << "no error for " << c.error;
            EXPECT_TRUE(made.empty());
        } catch (const OrvalaError& e) {
            EXPECT_FALSE(c.error.empty()) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
        if (c.message.empty()) {
            EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
        } else {
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0], "Protocol file " + file + " " + c.message);
        }
    }
    EXPECT_EQ(b->KidCount(), 0);
}

TEST(Protocol, DamagedRecordKeepsTheGatesBeforeItAndSaysHowMany)
{
    Workspace ws;
    TempDir tmp;
    TData* a = ws.root("A", 3, 100);
    TData* A = addGated(ws, a, squareGate(3, -1, 500), "A", 1);
    addGated(ws, A, squareGate(3, -1, 200), "A1", 2);
    addGated(ws, a, squareGate(3, 300, 700), "B", 3);
    const std::string file = tmp.file("p.orp");
    SaveProtocol(*a, file);
    std::string bytes = orvala::test::slurp(file);
    // Cut inside the third record: the first two were complete.
    const std::string cut = tmp.write("cut.orp", bytes.substr(0, bytes.size() - 20));

    TData* b = ws.root("B", 3, 100);
    RecordingSink sink;
    const auto made = LoadProtocol(*b, cut, ws.list, sink);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0]->ShortName(), "A");
    EXPECT_EQ(made[1]->ShortName(), "A1");
    EXPECT_EQ(made[1]->Parent(), made[0]);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "Protocol file " + cut + " is damaged; 2 gates were applied");

    // A depth that jumps two levels is damage too, not a quiet end.
    MemoryStream s;
    s.write(" ORP", 4);
    WriteInt(s, 1);
    WriteInt(s, 0);
    SaveGateToStream(s, *A->gate);
    WriteInt(s, 2);
    SaveGateToStream(s, *A->gate);
    const std::string jump =
        tmp.write("jump.orp", std::string(reinterpret_cast<const char*>(s.bytes().data()), s.bytes().size()));
    RecordingSink sink2;
    EXPECT_EQ(LoadProtocol(*b, jump, ws.list, sink2).size(), 1u);
    ASSERT_EQ(sink2.messages.size(), 1u);
    EXPECT_EQ(sink2.messages[0], "Protocol file " + jump + " is damaged; 1 gates were applied");
}

TEST(Protocol, FailedSaveKeepsThePreviousFile)
{
    Workspace ws;
    TempDir tmp;
    TData* a = ws.root("A", 2, 5);
    try {
        SaveProtocol(*a, tmp.file("missing-dir/p.orp"));
        FAIL();
    } catch (const OrvalaError& e) {
        EXPECT_EQ(std::string(e.what()), "Can not create file: " + tmp.file("missing-dir/p.orp"));
    }
    const std::string file = tmp.file("p.orp");
    writeBytes(file, "previous");
    fs::create_directories(file + ".part");  // the temporary name is taken: the save fails
    EXPECT_THROW(SaveProtocol(*a, file), OrvalaError);
    std::ifstream in(file, std::ios::binary);
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, "previous");
}

namespace {

// Four parameters of unrelated values, so that gating the wrong column gives
// other counts.
const std::vector<std::string> kNames = {"FSC-A", "SSC-A", "FL1-A", "FL2-A"};

double valueOf(int event, int parameter) { return double((event * (parameter + 3) * 7919 + parameter * 131) % 1000); }

// A root whose column j holds parameter columns[j] of the pattern above, named names[j].
TData* patterned(Workspace& ws, const std::string& name, const std::vector<int>& columns,
                 const std::vector<std::string>& names, int events = 400)
{
    TData* d = TData::Create(name, int(columns.size()), events);
    for (int e = 0; e < events; ++e)
        for (size_t j = 0; j < columns.size(); ++j) d->data[e][int(j)] = valueOf(e, columns[j]);
    for (size_t j = 0; j < names.size(); ++j) d->Desc()[j].name = names[j];
    ws.list.Add(d);
    return d;
}

// A projection gate: x on column cx, y on column cy of an n-column data set, square [lo, hi]^2.
std::unique_ptr<TGate> squareOn(int n, int cx, int cy, double lo, double hi)
{
    TVector x(size_t(n), 0.0), y(size_t(n), 0.0);
    x[size_t(cx)] = 1;
    y[size_t(cy)] = 1;
    return std::make_unique<TGate>(x, y, TVector{lo, hi, hi, lo, lo}, TVector{lo, lo, hi, hi, lo});
}

// The gate tree of the tests: A on FL1 x SSC with kid A1, a channel selection
// S of FSC and FL2 with a gate S1 on its columns, and a PCA gate P reading FL2 and SSC.
void buildTree(Workspace& ws, TData* a)
{
    TData* A = addGated(ws, a, squareOn(4, 2, 1, 100, 700), "A", 1);
    addGated(ws, A, squareOn(4, 0, 2, 200, 900), "A1", 2);
    TData* S = addGated(ws, a, std::make_unique<TGate>(TGateType::gtSubChannel, TIntVector{0, 3}), "S", 3);
    addGated(ws, S, squareOn(2, 1, 0, 0, 500), "S1", 4);
    auto filter = TDataFilter::Create();
    filter->setIndices({3, 1});
    addGated(ws, a,
             std::make_unique<TGate>(TVector{1, 0}, TVector{0, 1}, TVector{300, 800, 800, 300, 300},
                                     TVector{0, 0, 600, 600, 0}, *filter),
             "P", 5);
}

// Name and event count of every data set under d, depth-first.
std::vector<std::pair<std::string, int>> counts(const TData* d)
{
    std::vector<std::pair<std::string, int>> out;
    for (const TData* o : d->Offspring()) out.emplace_back(o->ShortName(), o->events());
    return out;
}

}  // namespace

TEST(Protocol, ByNameGatesTheSameChannelsWhateverTheirOrder)
{
    Workspace ws;
    TempDir tmp;
    TData* a = patterned(ws, "a", {0, 1, 2, 3}, kNames);
    buildTree(ws, a);
    const auto expected = counts(a);
    ASSERT_EQ(expected.size(), 5u);
    for (const auto& [name, n] : expected) EXPECT_GT(n, 0) << name;
    const std::string file = tmp.file("p.orp");
    SaveProtocol(*a, file);

    // The same events with the parameters in another order, names in other case and blanks.
    TData* b = patterned(ws, "b", {3, 0, 2, 1}, {" fl2-a", "FSC-A ", "Fl1-A", "ssc-a"});
    RecordingSink sink;
    EXPECT_EQ(LoadProtocol(*b, file, ws.list, sink).size(), 5u);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(counts(b), expected);
    // Below the channel selection the columns keep the saved order.
    const TData* S = b->GetKidByName("S");
    ASSERT_NE(S, nullptr);
    ASSERT_EQ(S->CaseSize(), 2);
    EXPECT_EQ(S->Desc()[0].name, "FSC-A ");
    EXPECT_EQ(S->Desc()[1].name, " fl2-a");

    // The same file read by position (a version 1 protocol) gates other channels.
    const std::string v1 = asVersion1(tmp, file);
    TData* c = patterned(ws, "c", {3, 0, 2, 1}, kNames);
    LoadProtocol(*c, v1, ws.list, sink);
    EXPECT_NE(counts(c), expected);
    // ...and on the data set it came from, exactly as the original.
    TData* same = patterned(ws, "same", {0, 1, 2, 3}, kNames);
    LoadProtocol(*same, v1, ws.list, sink);
    EXPECT_EQ(counts(same), expected);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(Protocol, MissingNameRefusesTheGatesThatUseItInOneMessage)
{
    Workspace ws;
    TempDir tmp;
    TData* a = patterned(ws, "a", {0, 1, 2, 3}, kNames);
    buildTree(ws, a);
    const std::string file = tmp.file("p.orp");
    SaveProtocol(*a, file);

    // No FL2-A: S (and S1 below it) and P read it; A and A1 do not and still apply.
    TData* b = patterned(ws, "b", {2, 1, 0}, {"FL1-A", "SSC-A", "FSC-A"});
    RecordingSink sink;
    const auto made = LoadProtocol(*b, file, ws.list, sink);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(counts(b), (std::vector<std::pair<std::string, int>>{counts(a)[0], counts(a)[1]}));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0],
              "Protocol file " + file + ": b has no parameter FL2-A; the gates S, P and the gates below were not applied");
}
