// Plate data sets from folders of per-well FCS files, the plate picture's
// geometry and its mouse selection.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "common/TempDir.h"
#include "core/TData.h"
#include "formats/FcsOpen.h"
#include "formats/TFCSWrite.h"
#include "plates/Plate.h"

using namespace orvala;
using orvala::test::TempDir;

namespace {

struct DataDeleter {
    void operator()(TData* d) const { delete d; }
};
using DataPtr = std::unique_ptr<TData, DataDeleter>;

// A well file whose values say where they came from: column c of event e is
// tag * 1000 + e * 10 + c.
void writeWell(const TempDir& dir, const std::string& name, int events, int cols, int tag)
{
    DataPtr d(TData::Create("w", cols, events));
    for (int e = 0; e < events; ++e)
        for (int c = 0; c < cols; ++c) d->data[e][c] = tag * 1000 + e * 10 + c;
    SaveAsFCS(*d, dir.file(name));
}

DataPtr load(const TempDir& dir, RecordingSink& sink)
{
    return DataPtr(LoadPlate(dir.path().string(), sink, nullptr));
}

bool mentions(const RecordingSink& sink, const std::string& a, const std::string& b = {})
{
    for (const std::string& m : sink.messages)
        if (m.find(a) != std::string::npos && m.find(b) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(WellName, LayoutsAndRejects)
{
    struct Case {
        const char* name;
        bool ok;
        int row, column;
    };
    const Case cases[] = {
        {"12345B07", true, 1, 6},      // the instrument layout
        {"12345A01x_rep2", true, 0, 0},  // characters after the well do not matter there
        {"12345P24", true, 15, 23},
        {"Yeast_B1_B01", true, 1, 0},  // well at the end
        {"Yeast_C12_C12", true, 2, 11},
        {"CFP_Well_A4", true, 0, 3},
        {"H9", true, 7, 8},
        {"1234", false, 0, 0},       // short, no well
        {"12B", false, 0, 0},        // the letter must be followed by the column
        {"12345b07", false, 0, 0},   // row letter outside A-Z
        {"12345_07", false, 0, 0},
        {"12345[07", false, 0, 0},
        {"12345B00", false, 0, 0},   // column 00
        {"Sample_B0", false, 0, 0},
        {"Well7", false, 0, 0},      // a word ending in a digit is no well
        {"Sample_A123", false, 0, 0},  // three digits
        {"Tube_A123", true, 0, 11},     // but the instrument layout reads A12 there
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        WellPosition w{-1, -1};
        EXPECT_EQ(ParseWellName(c.name, w), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(w, (WellPosition{c.row, c.column})) << c.name;
        }
    }
    EXPECT_EQ(WellLabel({1, 6}), "B07");
    EXPECT_EQ(WellLabel({15, 23}), "P24");
}

TEST(LoadPlate, SparseWellsGiveTheGridOfTheLargestRowAndColumn)
{
    TempDir dir;
    writeWell(dir, "12345A01.fcs", 3, 2, 1);
    writeWell(dir, "12345C12.fcs", 5, 2, 2);
    RecordingSink sink;
    DataPtr plate = load(dir, sink);
    ASSERT_TRUE(plate);
    ASSERT_EQ(plate->Wells.size(), 3u);
    for (const auto& row : plate->Wells) EXPECT_EQ(row.size(), 12u);
    EXPECT_EQ(plate->NonEmptyWellCount, 2);
    EXPECT_EQ(plate->MaxWellY(), 2);
    EXPECT_EQ(plate->MaxWellX(), 11);
    EXPECT_EQ(plate->events(), 8);
    EXPECT_EQ(plate->CaseSize(), 2);
    EXPECT_EQ(plate->ShortName(), dir.path().filename().string());
    int empty = 0;
    for (const auto& row : plate->Wells)
        for (const TWellCell& c : row)
            if (c.first == 0 && c.count == 0) ++empty;
    EXPECT_EQ(empty, 34);
    const TWellCell a01 = plate->Wells[0][0], c12 = plate->Wells[2][11];
    EXPECT_EQ(a01.count, 3);
    EXPECT_EQ(c12.count, 5);
    // Each well's cell points at its own file's events.
    EXPECT_EQ(plate->data[a01.first][1], 1000 + 1);
    EXPECT_EQ(plate->data[c12.first + 4][0], 2000 + 40);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(LoadPlate, FilesAreTakenInWellOrderWhateverTheirNames)
{
    TempDir dir;
    writeWell(dir, "Yeast_B10_B10.fcs", 2, 1, 10);  // sorts before B1 by name
    writeWell(dir, "Yeast_B1_B01.fcs", 2, 1, 1);
    writeWell(dir, "Yeast_A2_A02.FCS", 2, 1, 2);  // upper-case extension
    writeWell(dir, "._Yeast_A1_A01.fcs", 2, 1, 99);  // resource fork: passed over
    dir.write("notes.txt", "not a well");
    std::filesystem::create_directory(dir.path() / "sub.fcs");
    RecordingSink sink;
    DataPtr plate = load(dir, sink);
    ASSERT_TRUE(plate);
    EXPECT_EQ(plate->NonEmptyWellCount, 3);
    EXPECT_EQ(plate->events(), 6);
    EXPECT_EQ(plate->data[0][0], 2000);   // A02 first
    EXPECT_EQ(plate->data[2][0], 1000);   // then B01
    EXPECT_EQ(plate->data[4][0], 10000);  // then B10
    EXPECT_EQ(plate->Wells[1][9].first, 4);
    EXPECT_EQ(plate->Wells[0][0].count, 0);
}

TEST(LoadPlate, MisnamedFileEndsTheLoadNamingIt)
{
    for (const char* bad : {"B7x.fcs", "12345b07.fcs", "12345B00.fcs", "sample.fcs"}) {
        TempDir dir;
        writeWell(dir, "12345A01.fcs", 2, 1, 1);
        writeWell(dir, bad, 2, 1, 2);
        RecordingSink sink;
        try {
            load(dir, sink);
            ADD_FAILURE() << bad << " loaded";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
        }
    }
}

TEST(LoadPlate, FileWithOtherParameterCountIsLeftOutWithAMessage)
{
    TempDir dir;
    writeWell(dir, "12345A01.fcs", 2, 3, 1);
    writeWell(dir, "12345A02.fcs", 4, 2, 2);
    writeWell(dir, "12345A03.fcs", 1, 3, 3);
    RecordingSink sink;
    DataPtr plate = load(dir, sink);
    ASSERT_TRUE(plate);
    EXPECT_EQ(plate->events(), 3);
    EXPECT_EQ(plate->NonEmptyWellCount, 2);
    EXPECT_EQ(plate->Wells[0][1].count, 0);
    EXPECT_EQ(plate->Wells[0][2].first, 2);
    EXPECT_TRUE(mentions(sink, "12345A02.fcs", "left out"));
}

TEST(LoadPlate, TwoFilesOnOneWellAreKeptTogetherWithAWarning)
{
    TempDir dir;
    writeWell(dir, "x_B07.fcs", 2, 1, 1);
    writeWell(dir, "12345A01.fcs", 1, 1, 3);
    writeWell(dir, "y_B7.fcs", 3, 1, 2);
    RecordingSink sink;
    DataPtr plate = load(dir, sink);
    ASSERT_TRUE(plate);
    EXPECT_TRUE(mentions(sink, "x_B07.fcs", "y_B7.fcs"));
    EXPECT_TRUE(mentions(sink, "B07"));
    const TWellCell b07 = plate->Wells[1][6];
    EXPECT_EQ(b07.first, 1);
    EXPECT_EQ(b07.count, 5);
    EXPECT_EQ(plate->NonEmptyWellCount, 2);
    EXPECT_EQ(plate->data[1][0], 1000);
    EXPECT_EQ(plate->data[3][0], 2000);
}

TEST(LoadPlate, UnreadableFilesArePassedOverAndEmptyFoldersGiveNil)
{
    TempDir dir;
    dir.write("12345A01.fcs", "this is no FCS file");
    writeWell(dir, "12345B02.fcs", 2, 1, 5);
    RecordingSink sink;
    DataPtr plate = load(dir, sink);
    ASSERT_TRUE(plate);
    EXPECT_EQ(plate->Wells[1][1].count, 2);
    EXPECT_EQ(plate->Wells[1][1].first, 0);
    EXPECT_EQ(plate->NonEmptyWellCount, 1);

    TempDir none;
    none.write("readme.txt", "x");
    EXPECT_EQ(load(none, sink), nullptr);
    TempDir broken;
    broken.write("12345A01.fcs", "junk");
    EXPECT_EQ(load(broken, sink), nullptr);
    EXPECT_THROW(LoadPlate((none.path() / "missing").string(), sink, nullptr), OrvalaError);
}

TEST(LoadPlate, OnlyTheFirstDataSetOfAFileIsUsed)
{
    // A file of two data sets: the first one's $NEXTDATA points at the second.
    TempDir dir;
    auto dataSetBytes = [&](const std::string& name, int events, float value, const std::string& next) {
        {
            TFCSWrite w(dir.file(name));
            for (auto [k, v] : {std::pair{"$DATATYPE", "F"}, {"$PAR", "1"}, {"$MODE", "L"}, {"$BYTEORD", "1,2,3,4"},
                                {"$TOT", "0"}, {"$P1B", "32"}, {"$P1R", "1024"}, {"$P1N", "FL1"}, {"$P1E", "0,0"}})
                w.Text.Add(k, v);
            w.Text.Add("$NEXTDATA", next);
            w.BeginData();
            std::vector<float> rows(size_t(events), value);
            w.WriteRows(rows.data(), events, 1);
            w.EndData(0);
        }
        return orvala::test::slurp(dir.file(name));
    };
    std::string first = dataSetBytes("part1", 3, 1.0f, "00000000");
    const std::string second = dataSetBytes("part2", 5, 2.0f, "0");
    const size_t at = first.find("00000000", first.find("$NEXTDATA"));
    ASSERT_NE(at, std::string::npos);
    const std::string offset = std::to_string(first.size());
    first.replace(at + 8 - offset.size(), offset.size(), offset);
    dir.write("12345A01.fcs", first + second);
    std::filesystem::remove(dir.file("part1"));
    std::filesystem::remove(dir.file("part2"));

    RecordingSink sink;
    DataPtr whole(TryOpenFile(dir.file("12345A01.fcs"), 0, sink, nullptr));
    ASSERT_TRUE(whole);
    ASSERT_TRUE(whole->NextData) << "the fixture must hold two data sets";
    delete whole->NextData;
    whole->NextData = nullptr;

    DataPtr plate = load(dir, sink);
    ASSERT_TRUE(plate);
    EXPECT_EQ(plate->events(), 3);
    EXPECT_EQ(plate->Wells[0][0].count, 3);
    EXPECT_EQ(plate->data[2][0], 1.0);
    EXPECT_TRUE(mentions(sink, "12345A01.fcs", "first"));
}

TEST(LoadPlate, CancelledProgressGivesNil)
{
    TempDir dir;
    writeWell(dir, "12345A01.fcs", 2, 1, 1);
    writeWell(dir, "12345A02.fcs", 2, 1, 2);
    RecordingSink sink;
    int calls = 0;
    EXPECT_EQ(LoadPlate(dir.path().string(), sink, nullptr, [&](int done, int total) {
                  EXPECT_EQ(total, 2);
                  EXPECT_EQ(done, ++calls);
                  return false;
              }),
              nullptr);
    EXPECT_EQ(calls, 1);
}

TEST(LoadPlate, YeastPlateFromTheSharedSamples)
{
    const std::string dir = ORVALA_SHARED_DIR "/plate-samples/yeast-96-rows-B-C";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "shared plate samples not found at " << dir;
    RecordingSink sink;
    DataPtr plate(LoadPlate(dir, sink, nullptr));
    ASSERT_TRUE(plate);
    EXPECT_EQ(plate->ShortName(), "yeast-96-rows-B-C");
    EXPECT_EQ(plate->NonEmptyWellCount, 24);
    ASSERT_EQ(plate->Wells.size(), 3u);  // A (empty), B, C
    ASSERT_EQ(plate->Wells[0].size(), 12u);
    int64_t total = 0;
    for (int r = 1; r <= 2; ++r)
        for (int c = 0; c < 12; ++c) {
            const std::string name = std::string("Yeast_") + char('A' + r) + std::to_string(c + 1) + "_" +
                                     WellLabel({r, c}) + ".fcs";
            DataPtr file(TryOpenFile(dir + "/" + name, 0, sink, nullptr));
            ASSERT_TRUE(file) << name;
            const TWellCell cell = plate->Wells[size_t(r)][size_t(c)];
            EXPECT_EQ(cell.count, file->events()) << name;
            EXPECT_EQ(cell.count, 1000) << name;
            ASSERT_EQ(file->CaseSize(), plate->CaseSize());
            // The well's first and last events are the file's.
            for (int col = 0; col < file->CaseSize(); ++col) {
                EXPECT_EQ(plate->data[cell.first][col], file->data[0][col]);
                EXPECT_EQ(plate->data[cell.first + cell.count - 1][col], file->data[file->events() - 1][col]);
            }
            total += cell.count;
        }
    EXPECT_EQ(total, plate->events());
    for (const TWellCell& c : plate->Wells[0]) EXPECT_EQ(c.count, 0);
}

TEST(LoadPlate, SparsePlateFromTheSharedSamples)
{
    const std::string dir = ORVALA_SHARED_DIR "/plate-samples/sparse-7-wells";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "shared plate samples not found at " << dir;
    RecordingSink sink;
    DataPtr plate(LoadPlate(dir, sink, nullptr));
    ASSERT_TRUE(plate);
    EXPECT_EQ(plate->NonEmptyWellCount, 7);
    EXPECT_EQ(plate->MaxWellY(), 2);
    EXPECT_EQ(plate->MaxWellX(), 6);
    for (WellPosition w : {WellPosition{0, 2}, {0, 3}, {0, 5}, {0, 6}, {1, 2}, {1, 3}, {2, 6}})
        EXPECT_EQ(plate->Wells[size_t(w.row)][size_t(w.column)].count, 10000) << WellLabel(w);
}

// ---------------------------------------------------------------- geometry

TEST(PlateLayout, WellRectanglesOf96And384)
{
    struct Case {
        int boxW, boxH, lw, lh, cols, rows;
        int b, c;
    };
    const Case cases[] = {
        // wide box: height limits (H' = 400 -> b = min(583, 600) = 583, c = min(400, 388) = 388)
        {600, 416, 16, 15, 12, 8, 583, 388},
        // tall box: width limits (W' = 383 -> b = 383, c = min(784, 255) = 255)
        {400, 800, 16, 15, 24, 16, 383, 255},
    };
    for (const Case& k : cases) {
        const PlateLayout L = PlateLayout::Compute(k.boxW, k.boxH, k.lw, k.lh, k.cols, k.rows);
        ASSERT_TRUE(L.drawn);
        EXPECT_EQ(L.plateWidth, k.b);
        EXPECT_EQ(L.plateHeight, k.c);
        EXPECT_EQ(L.pictureWidth, k.lw + k.b + 1);
        EXPECT_EQ(L.pictureHeight, k.lh + k.c + 1);
        EXPECT_EQ(L.corner, (PlateRect{0, 0, k.lw, k.lh}));
        const double d = double(k.b) / k.cols, e = double(k.c) / k.rows;
        for (int r = 0; r < k.rows; ++r)
            for (int col = 0; col < k.cols; ++col) {
                const PlateRect w = L.wells[size_t(r)][size_t(col)];
                EXPECT_EQ(w.left, k.lw + int(std::nearbyint(d * col)));
                EXPECT_EQ(w.top, k.lh + int(std::nearbyint(e * r)));
                EXPECT_EQ(w.width, k.b / k.cols);
                EXPECT_EQ(w.height, k.c / k.rows);
            }
        EXPECT_EQ(L.rowLabels[3], (PlateRect{1, int(std::nearbyint(k.lh + e * 3)), k.lw, k.c / k.rows}));
        EXPECT_EQ(L.columnLabels[5].left, k.lw + int(std::nearbyint(d * 5)));
        EXPECT_EQ(L.columnLabels[5].top, 1);
    }
    // A concrete well: 96 plate, b = 583 -> d = 48.583..., well (1, 6) at 16 + round(291.5) = 16 + 292 (half to even).
    const PlateLayout L = PlateLayout::Compute(600, 416, 16, 15, 12, 8);
    EXPECT_EQ(L.wells[1][6].left, 16 + 292);
    WellPosition hit;
    ASSERT_TRUE(L.HitWell(16 + 292, 15 + 49, hit));  // top-left corner belongs to the well
    EXPECT_EQ(hit, (WellPosition{1, 6}));
    EXPECT_FALSE(L.HitWell(2, 2, hit));  // the corner cell is no well
}

TEST(PlateLayout, UnderThreePixelsNothingIsDrawn)
{
    // 96 wells: 12 columns need b >= 36 and 8 rows c >= 24.
    struct Case {
        int boxW, boxH;
        bool drawn;
    };
    const Case cases[] = {
        {16 + 1 + 36, 15 + 1 + 24, true},   // exactly 3 x 3
        {16 + 1 + 35, 15 + 1 + 100, false},  // 35 / 12 < 3
        {16 + 1 + 100, 15 + 1 + 23, false},  // 23 rows of pixels -> c = 23 -> e < 3
        {0, 0, false},
        {-5, 10, false},
    };
    for (const Case& c : cases) {
        const PlateLayout L = PlateLayout::Compute(c.boxW, c.boxH, 16, 15, 12, 8);
        EXPECT_EQ(L.drawn, c.drawn) << c.boxW << " x " << c.boxH;
        if (!L.drawn) {
            EXPECT_TRUE(L.wells.empty());
        }
    }
    EXPECT_FALSE(PlateLayout::Compute(600, 400, 16, 15, 0, 0).drawn);
}

TEST(WellLook, SwitchesAndFilter)
{
    struct Case {
        bool on, admin, filtered;
        bool enabled, user, adminStroke;
    };
    const Case cases[] = {
        {true, true, false, true, false, false},
        {true, true, true, false, false, false},  // filtered out: grey, no strokes
        {false, true, false, false, true, false},
        {true, false, false, false, false, true},
        {false, false, true, false, true, true},
    };
    for (const Case& c : cases) {
        const WellLook l = LookOfWell(c.on, c.admin, c.filtered);
        EXPECT_EQ(l.enabled, c.enabled);
        EXPECT_EQ(l.userStroke, c.user);
        EXPECT_EQ(l.adminStroke, c.adminStroke);
    }
}

// ---------------------------------------------------------------- selection

TEST(PlateSelection, ClickCtrlAndShift)
{
    PlateSelection s(8, 12);
    EXPECT_FALSE(s.MouseDown({1, 1}, false, false));
    EXPECT_TRUE(s.MouseUp());
    EXPECT_EQ(s.Selected(), (std::vector<WellPosition>{{1, 1}}));

    // Ctrl adds wells one by one and moves the anchor.
    s.MouseDown({2, 3}, false, true);
    s.MouseUp();
    s.MouseDown({0, 5}, false, true);
    s.MouseMove({0, 5}, true);  // jitter inside the clicked well
    s.MouseUp();
    EXPECT_EQ(s.Selected(), (std::vector<WellPosition>{{0, 5}, {1, 1}, {2, 3}}));
    EXPECT_EQ(s.Anchor(), (WellPosition{0, 5}));

    // Ctrl-click on a selected well deselects only that well, even when the
    // mouse trembles inside it before the button comes up.
    s.MouseDown({2, 3}, false, true);
    s.MouseMove({2, 3}, true);
    s.MouseUp();
    EXPECT_EQ(s.Selected(), (std::vector<WellPosition>{{0, 5}, {1, 1}}));

    // Shift selects the rectangle from the anchor ((2, 3) now) alone.
    EXPECT_TRUE(s.MouseDown({3, 1}, true, false));
    EXPECT_EQ(s.Mode(), TSelectionMode::smNone);
    EXPECT_EQ(s.Selected(), (std::vector<WellPosition>{{2, 1}, {2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}));
}

TEST(PlateSelection, DragSelectsTheRectangle)
{
    PlateSelection s(8, 12);
    s.MouseDown({0, 0}, false, true);  // an earlier Ctrl pick
    s.MouseUp();
    s.MouseDown({4, 4}, false, false);
    s.MouseMove({5, 6}, false);
    s.MouseMove({5, 5}, false);  // dragging back shrinks the rectangle
    EXPECT_TRUE(s.MouseUp());
    EXPECT_EQ(s.Selected(), (std::vector<WellPosition>{{4, 4}, {4, 5}, {5, 4}, {5, 5}}));

    // With Ctrl held, the dragged rectangle adds to what was selected.
    s.MouseDown({0, 11}, false, true);
    s.MouseMove({1, 11}, true);
    s.MouseUp();
    EXPECT_EQ(s.Selected().size(), 6u);
    EXPECT_TRUE(s.IsSelected({1, 11}));
    EXPECT_TRUE(s.IsSelected({4, 4}));

    // Moves without a button pressed select nothing; outside wells are ignored.
    s.MouseMove({7, 7}, false);
    EXPECT_FALSE(s.IsSelected({7, 7}));
    EXPECT_FALSE(s.MouseDown({8, 0}, false, false));
    EXPECT_FALSE(s.IsSelected({8, 0}));
}
