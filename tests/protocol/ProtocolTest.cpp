#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/TempDir.h"
#include "core/CoreFixtures.h"
#include "core/Messages.h"
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

    TData* twelve = ws.root("Twelve", 12, 50);
    const auto made = LoadProtocol(*twelve, file, ws.list);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->ShortName(), "B");
    EXPECT_EQ(twelve->KidCount(), 1);
}

TEST(Protocol, BadFilesAreReported)
{
    Workspace ws;
    TempDir tmp;
    TData* b = ws.root("B", 2, 5);
    struct Case {
        std::string bytes;
        std::string message;  // empty: replays as nothing without a message
    };
    const std::string tagAndVersion = std::string(" ORP") + std::string("\x01\0\0\0", 4);
    const Case cases[] = {
        {tagAndVersion, ""},
        {"XORP\x01\0\0\0", "is not protocol file"},
        {" ORP", "Stream Read Error"},
        {" OR", "Stream Read Error"},
        {tagAndVersion + std::string("\x01\0\0\0", 4), "Error in protocol file"},
        {tagAndVersion + std::string("\0\0\0\0\x02", 5), ""},  // cut record: ends quietly
    };
    for (const Case& c : cases) {
        const std::string file = tmp.file("bad.orp");
        writeBytes(file, c.bytes);
        if (c.message.empty()) {
            EXPECT_TRUE(LoadProtocol(*b, file, ws.list).empty());
        } else {
            try {
                LoadProtocol(*b, file, ws.list);
                ADD_FAILURE() << "no error for " << c.message;
            } catch (const OrvalaError& e) {
                EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            }
        }
    }
    EXPECT_EQ(b->KidCount(), 0);
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
