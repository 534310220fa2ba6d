// Phenotyping projects (".phe") and antibody tables (".mab").
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <memory>

#include "common/TempDir.h"
#include "core/TData.h"
#include "formats/TFCSWrite.h"
#include "plates/PhenoFiles.h"

using namespace orvala;
using orvala::test::TempDir;
using orvala::test::slurp;

namespace {

struct DataDeleter {
    void operator()(TData* d) const { delete d; }
};
using DataPtr = std::unique_ptr<TData, DataDeleter>;

std::string writeData(const TempDir& dir, const std::string& name, int events, int cols)
{
    DataPtr d(TData::Create("d", cols, events));
    for (int e = 0; e < events; ++e)
        for (int c = 0; c < cols; ++c) d->data[e][c] = e + c;
    SaveAsFCS(*d, dir.file(name));
    return dir.file(name);
}

}  // namespace

TEST(PhenoProject, MissingKeysTakeTheirDefaults)
{
    TempDir dir;
    const std::string path = dir.write("p.phe", "[main]\nFcount=1\nfile_0=x.fcs\n[Marks]\nM_0_0=7.5\n");
    const PhenoProject p = ReadPhenoProject(path);
    ASSERT_EQ(p.sources.size(), 1u);
    EXPECT_EQ(p.sources[0].file, "x.fcs");
    EXPECT_EQ(p.sources[0].tip, -1);
    EXPECT_TRUE(p.sources[0].selected.empty());
    EXPECT_EQ(p.TubeCount, 1);
    EXPECT_EQ(p.DieCount, 1);
    EXPECT_TRUE(p.groups.empty());
    EXPECT_EQ(p.marks, (TMatrix{{7.5}}));
    EXPECT_EQ(p.mabs.rows, 2);
    EXPECT_EQ(p.mabs.cols, 2);
    EXPECT_EQ(p.mabs.Cell(1, 1), "");

    const std::string other = dir.write("q.phe", "[Main]\nTubeCount=2\nDieCount=2\n[Marks]\nM_1_0=3\n");
    EXPECT_EQ(ReadPhenoProject(other).marks, (TMatrix{{512, 512}, {3, 512}}));
    const PhenoProject empty = ReadPhenoProject(dir.write("e.phe", ""));
    EXPECT_TRUE(empty.sources.empty());
    EXPECT_EQ(empty.marks, (TMatrix{{512}}));
}

TEST(PhenoProject, WrittenKeysAndRoundTripUnderACommaLocale)
{
    // Numbers are written and read with "." whatever the locale says.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;

    TempDir dir;
    PhenoProject p;
    p.sources = {{"/data/a.fcs", 3, {0, 2}}, {"/data/b.fcs", -1, {1}}};
    p.TubeCount = 2;
    p.DieCount = 2;
    p.groups = {0, 255};
    p.marks = {{0.1, 512.25}, {-3e-7, 1e300}};
    p.mabs.Resize(3, 3);
    p.mabs.SetCell(0, 1, "CD4");
    p.mabs.SetCell(2, 2, "x y");
    const std::string path = dir.file("p.phe");
    WritePhenoProject(path, p);

    const std::string text = slurp(path);
    for (const char* k : {"[Main]\r\n", "Fcount=2\r\n", "file_0=/data/a.fcs\r\n", "Tip_0=3\r\n", "Sel_0=2\r\n",
                          "dat_0_1=2\r\n", "dat_1_0=1\r\n", "TubeCount=2\r\n", "DieCount=2\r\n", "GroupCount=2\r\n",
                          "[Groups]\r\n", "G_1=255\r\n", "[Marks]\r\n", "M_0_0=0.1\r\n", "M_0_1=512.25\r\n",
                          "[Mabs]\r\n", "RowCount=3\r\n", "ColCount=3\r\n", "Mab_0_1=CD4\r\n", "Mab_2_2=x y\r\n"})
        EXPECT_NE(text.find(k), std::string::npos) << k;

    const PhenoProject q = ReadPhenoProject(path);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!german) std::printf("de_DE.UTF-8 locale not installed; the round trip ran under the C locale\n");
    ASSERT_EQ(q.sources.size(), 2u);
    EXPECT_EQ(q.sources[0].selected, (std::vector<int>{0, 2}));
    EXPECT_EQ(q.sources[0].tip, 3);
    EXPECT_EQ(q.sources[1].file, "/data/b.fcs");
    EXPECT_EQ(q.groups, p.groups);
    EXPECT_EQ(q.marks, p.marks);
    EXPECT_EQ(q.mabs.cells, p.mabs.cells);
}

TEST(PhenoProject, DamagedCountsAreRefusedBeforeAllocating)
{
    TempDir dir;
    for (const char* body : {"[Main]\nFcount=5\n", "[Main]\nFcount=-1\n", "[Main]\nTubeCount=2000000000\nDieCount=16\n",
                             "[Main]\nGroupCount=2147483647\n", "[Mabs]\nRowCount=100000\nColCount=100000\n",
                             "[Main]\nFcount=1\nfile_0=a\nSel_0=2000000000\n"}) {
        const std::string path = dir.write("d.phe", body);
        try {
            ReadPhenoProject(path);
            ADD_FAILURE() << body;
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find("d.phe"), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(ReadPhenoProject(dir.file("absent.phe")), OrvalaError);
}

TEST(PhenoProject, OpeningSourcesSetsSelectionAndTipOrAbortsOnAMissingFile)
{
    TempDir dir;
    PhenoProject p;
    p.sources = {{writeData(dir, "a.fcs", 10, 3), -1, {2, 0}}, {writeData(dir, "b.fcs", 4, 3), 1, {0, 9}}};
    RecordingSink sink;
    std::vector<TData*> opened = OpenPhenoSources(p, "p.phe", sink, nullptr);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0]->Selected, (TIntVector{2, 0}));
    EXPECT_EQ(opened[0]->events(), 10);
    EXPECT_EQ(opened[1]->Selected, (TIntVector{0}));  // column 9 does not exist
    EXPECT_EQ(opened[1]->tipchannel(), 1);
    EXPECT_EQ(int(opened[1]->Tip.size()), 4);  // tube detection ran
    for (TData* d : opened) delete d;

    // A plate is saved under its folder's name and opens as a plate again.
    std::filesystem::create_directory(dir.path() / "plate");
    TData* well = TData::Create("w", 2, 3);
    SaveAsFCS(*well, (dir.path() / "plate" / "12345B02.fcs").string());
    delete well;
    PhenoProject plate;
    plate.sources = {{(dir.path() / "plate").string(), -1, {1}}};
    opened = OpenPhenoSources(plate, "p.phe", sink, nullptr);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->NonEmptyWellCount, 1);
    EXPECT_EQ(opened[0]->Wells[1][1].count, 3);
    EXPECT_EQ(opened[0]->Selected, (TIntVector{1}));
    delete opened[0];

    // A missing file aborts the load: its settings must not land on the next data set.
    for (const std::string& missing : {dir.file("gone.fcs"), std::string()}) {
        PhenoProject q = p;
        q.sources.insert(q.sources.begin() + 1, PhenoSource{missing, 0, {1}});
        try {
            OpenPhenoSources(q, "proj.phe", sink, nullptr);
            ADD_FAILURE() << "opened";
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()).find("proj.phe"), std::string::npos) << e.what();
            if (!missing.empty()) {
                EXPECT_NE(std::string(e.what()).find("gone.fcs"), std::string::npos) << e.what();
            }
        }
    }
}

TEST(MabTable, EveryCommaSplitsAndSavingAndLoadingAgree)
{
    TempDir dir;
    const MabTable t = ReadMab(dir.write("t.mab", "CD3,,CD8\nx,y\r\n\n,last\n"));
    EXPECT_EQ(t.rows, 4);
    EXPECT_EQ(t.cols, 4);  // longest line (3 cells) + 1
    EXPECT_EQ(t.Cell(0, 1), "CD3");
    EXPECT_EQ(t.Cell(0, 2), "");  // runs of commas keep their empty cells
    EXPECT_EQ(t.Cell(0, 3), "CD8");
    EXPECT_EQ(t.Cell(1, 2), "y");
    EXPECT_EQ(t.Cell(2, 1), "");
    EXPECT_EQ(t.Cell(3, 2), "last");

    const std::string path = dir.file("copy.mab");
    WriteMab(path, t);
    EXPECT_EQ(slurp(path), "CD3,,CD8\r\nx,y,\r\n,,\r\n,last,\r\n");
    EXPECT_EQ(ReadMab(path).cells, t.cells);

    // A grid of one empty data column survives too.
    MabTable one;
    WriteMab(path, one);
    const MabTable back = ReadMab(path);
    EXPECT_EQ(back.rows, 2);
    EXPECT_EQ(back.cols, 2);
    EXPECT_EQ(ReadMab(dir.write("empty.mab", "")).rows, 0);
}

TEST(MabTable, CommaInACellIsRefusedAndUnreadableFilesNamed)
{
    TempDir dir;
    MabTable t;
    t.SetCell(1, 1, "CD4,CD8");
    const std::string path = dir.file("t.mab");
    try {
        WriteMab(path, t);
        FAIL() << "written";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("CD4,CD8"), std::string::npos);
    }
    EXPECT_TRUE(slurp(path).empty());
    try {
        ReadMab(dir.file("none.mab"));
        FAIL() << "read";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("none.mab"), std::string::npos);
    }
}
