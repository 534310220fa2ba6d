// The spectra library file, its safety on damaged bytes and failed saves, and
// the text files of spectra: CSV libraries, the browser's index and curves.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "analysis/SpectraFiles.h"
#include "analysis/TDBSpec.h"
#include "common/TempDir.h"
#include "core/Messages.h"

using namespace orvala;

namespace {

std::string le32(int32_t v)
{
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(char((uint32_t(v) >> (8 * i)) & 0xFF));
    return s;
}

// 1.0 and -2.5 as little-endian doubles.
const std::string One = std::string("\0\0\0\0\0\0\xf0\x3f", 8);
const std::string MinusTwoAndHalf = std::string("\0\0\0\0\0\0\x04\xc0", 8);

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST(SpecLibrary, FileBytesAreLengthNameCountValues)
{
    const std::vector<TSpecEntry> entries = {{"PE", {{1.0, -2.5}}}, {"", {{}}}};
    const std::string bytes = le32(2) + "PE" + le32(2) + One + MinusTwoAndHalf + le32(0) + le32(0);
    EXPECT_EQ(TDBSpec::Serialize(entries), bytes);
    const std::vector<TSpecEntry> back = TDBSpec::Parse(bytes);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].name, "PE");
    EXPECT_EQ(back[0].spdata.data, (TVector{1.0, -2.5}));
    EXPECT_EQ(back[1].name, "");
    EXPECT_TRUE(back[1].spdata.data.empty());
    EXPECT_TRUE(TDBSpec::Parse("").empty());
}

TEST(SpecLibrary, DamagedBytesFailWithStreamReadError)
{
    const std::string good = le32(2) + "PE" + le32(1) + One;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"name longer than the bytes left is cut, then the count starts at the end", le32(10) + "PE"},
        {"name cut inside the count", good + le32(50) + "ab"},
        {"count missing after the name", le32(2) + "PE"},
        {"count cut", le32(2) + "PE" + std::string("\x01\x00", 2)},
        {"count larger than the values left", le32(2) + "PE" + le32(2) + One},
        {"huge count: refused before allocating", le32(0) + le32(0x7fffffff)},
        {"negative count", le32(0) + le32(-1)},
        {"negative name length", le32(-3) + le32(0)},
        {"one stray byte after a good record", good + "\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(errorOf([&] { TDBSpec::Parse(c.bytes); }), "Stream Read Error");
    }
}

TEST(SpecLibrary, DamagedFileIsNeverSavedOver)
{
    test::TempDir dir;
    const std::string damaged = le32(2) + "PE" + le32(3) + One;
    const std::string path = dir.write("specs.dat", damaged);
    EXPECT_EQ(errorOf([&] { TDBSpec lib(path); }), "Stream Read Error");
    EXPECT_EQ(test::slurp(path), damaged);
}

TEST(SpecLibrary, AdditionsAndDeletionsPersistThroughSaves)
{
    test::TempDir dir;
    const std::string path = dir.file("spdb/specs.dat");  // the folder does not exist yet
    {
        TDBSpec lib(path);
        EXPECT_EQ(lib.Count(), 0);
        lib.Add("a", {1});
        lib.Add("b", {2, 3});
        lib.Add("b", {4});  // names may repeat
        lib.Add("c", {5});
    }  // closing saves
    {
        TDBSpec lib(path);
        ASSERT_EQ(lib.Count(), 4);
        EXPECT_EQ(lib.Name(2), "b");
        EXPECT_EQ(lib.GetItem(1), (TVector{2, 3}));
        // "Delete checked" goes from the last ticked entry to the first.
        lib.Delete(3);
        lib.Delete(1);
        lib.Delete(7);  // out of range: nothing
        lib.Save();
        EXPECT_TRUE(lib.saved);
    }
    TDBSpec lib(path);
    ASSERT_EQ(lib.Count(), 2);
    EXPECT_EQ(lib.Name(0), "a");
    EXPECT_EQ(lib.Name(1), "b");
    EXPECT_EQ(lib.GetItem(1), (TVector{4}));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

TEST(SpecLibrary, DefaultLibraryIsReadButNeverWritten)
{
    test::TempDir dir;
    const std::string fallbackBytes = le32(1) + "D" + le32(1) + One;
    const std::string fallback = dir.write("default.dat", fallbackBytes);
    const std::string path = dir.file("user/specs.dat");
    {
        TDBSpec lib(path, fallback);
        ASSERT_EQ(lib.Count(), 1);
        EXPECT_EQ(lib.Name(0), "D");
        lib.Add("mine", {2});
    }
    EXPECT_EQ(test::slurp(fallback), fallbackBytes);
    TDBSpec lib(path, fallback);
    ASSERT_EQ(lib.Count(), 2);
    EXPECT_EQ(lib.Name(1), "mine");
}

TEST(SpecLibrary, FailedSaveLeavesTheOldFileAndSaysWhich)
{
    test::TempDir dir;
    const std::string path = dir.file("specs.dat");
    {
        TDBSpec lib(path);
        lib.Add("a", {1});
    }
    const std::string before = test::slurp(path);
    TDBSpec lib(path);
    lib.Add("b", {2});
    // The temporary file's place is taken by a folder: writing it fails.
    std::filesystem::create_directory(path + ".part");
    const std::string error = errorOf([&] { lib.Save(); });
    EXPECT_NE(error.find("Can not save the spectra library " + path), std::string::npos) << error;
    EXPECT_EQ(test::slurp(path), before);
    EXPECT_FALSE(lib.saved);
    std::filesystem::remove(path + ".part");
    lib.Save();
    EXPECT_EQ(TDBSpec::Parse(test::slurp(path)).size(), 2u);
}

TEST(SpecLibrary, SavedSpectrumNameAndNormalisation)
{
    test::TempDir dir;
    const std::string path = dir.file("specs.dat");
    SaveSpectrumToLibrary(path, "", "   ", {1, 4, 2}, true);
    SaveSpectrumToLibrary(path, "", "  FITC ", {1, 4, 2}, false);
    SaveSpectrumToLibrary(path, "", "", {0, 0}, true);  // a zero maximum leaves the values
    TDBSpec lib(path);
    ASSERT_EQ(lib.Count(), 3);
    EXPECT_EQ(lib.Name(0), "Default");
    EXPECT_EQ(lib.GetItem(0), (TVector{0.25, 1, 0.5}));
    EXPECT_EQ(lib.Name(1), "FITC");
    EXPECT_EQ(lib.GetItem(1), (TVector{1, 4, 2}));
    EXPECT_EQ(lib.Name(2), "Default");
    EXPECT_EQ(lib.GetItem(2), (TVector{0, 0}));

    TVector withNaN = {std::numeric_limits<double>::quiet_NaN(), 2, 8, -1};
    NormalizeToMax(withNaN);
    EXPECT_EQ(withNaN[2], 1.0);
    EXPECT_EQ(withNaN[1], 0.25);
}

TEST(SpectraFiles, CsvLibraryReadsNamesDetectorsAndSkipsNoteColumns)
{
    test::TempDir dir;
    const std::string path = dir.write("lib.csv",
                                       "fluor,control_file,UV1-A,\"V1-A\"\r\n"
                                       "PE,\"PE, beads.fcs\",0.5,1\r\n"
                                       "\r\n"
                                       "APC,APC.fcs,1e-3,-0.25\r\n");
    const SpectraTable t = ReadSpectraCsv(path);
    EXPECT_EQ(t.detectors, (TStrVector{"UV1-A", "V1-A"}));
    EXPECT_EQ(t.names, (TStrVector{"PE", "APC"}));
    EXPECT_EQ(t.spectra, (TMatrix{{0.5, 1}, {1e-3, -0.25}}));

    const struct {
        const char* what;
        std::string text;
        std::string error;
    } bad[] = {
        {"row too short", "f,a,b\nX,1\n", ", line 2: 2 fields where the header has 3"},
        {"not a number in a value column", "f,a,b\nX,1,2\nY,1,x\n", ", line 3: not a number: \"x\""},
        {"no detectors", "f\nX\n", ": the header names no detector"},
        {"empty", "", ": no header row of detector names"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        const std::string p = dir.write("bad.csv", c.text);
        EXPECT_EQ(errorOf([&] { ReadSpectraCsv(p); }), p + c.error);
    }
    EXPECT_NE(errorOf([&] { ReadSpectraCsv(dir.file("missing.csv")); }).find(dir.file("missing.csv")), std::string::npos);
}

TEST(SpectraFiles, NamesIndexPairsLinesAndSearchKeepsTheRightFile)
{
    const SpectraIndex odd = ParseSpectraNames("Alexa 488\r\nalexa\\488.csv\r\nPE\r\ndyes\\pe.csv\r\nLonely\r\n");
    EXPECT_EQ(odd.display, (TStrVector{"Alexa 488", "PE"}));
    EXPECT_EQ(odd.files, (TStrVector{"alexa/488.csv", "dyes/pe.csv"}));

    const TStrVector names = {"Alexa 488", "PE", "PE-Cy5", "pe lower"};
    EXPECT_EQ(SearchSpectra(names, "  PE "), (std::vector<int>{1, 2}));  // case-sensitive, trimmed
    EXPECT_EQ(SearchSpectra(names, " "), (std::vector<int>{0, 1, 2, 3}));
    // The first hit of a narrowed list is the entry's own position in the full list.
    EXPECT_EQ(SearchSpectra(names, "Cy5").front(), 2);
    EXPECT_TRUE(ReadSpectraNames(test::TempDir().file("names")).display.empty());
}

TEST(SpectraFiles, SpectrumCurvesStopAtTheFirstFieldThatIsNotANumber)
{
    const SpectrumCurves c = ParseSpectrumText(
        "wavelength,ex,wavelength,em\n"
        "400,0.1,450,0.2\n"
        "410,0.3,,\n"    // second curve has no point here
        ",,460,0.5\n"    // first curve has none here
        "420,0.4\n"
        "430,oops,470,0.9\n"
        "440,0.8,480,1\n");
    EXPECT_EQ(c.x1, (std::vector<double>{400, 410, 420}));
    EXPECT_EQ(c.y1, (std::vector<double>{0.1, 0.3, 0.4}));
    EXPECT_EQ(c.x2, (std::vector<double>{450, 460}));
    EXPECT_EQ(c.y2, (std::vector<double>{0.2, 0.5}));
    test::TempDir dir;
    const std::string error = errorOf([&] { ReadSpectrumFile(dir.file("none.csv")); });
    EXPECT_NE(error.find(dir.file("none.csv")), std::string::npos) << error;
}
