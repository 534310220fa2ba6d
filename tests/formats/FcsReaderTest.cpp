// The FCS reader on small files written by the tests: data types, byte orders,
// masks, bit packing, time words, spillover, chains and damaged input.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "FcsBuilder.h"
#include "core/Messages.h"
#include "formats/ByteSource.h"
#include "formats/FcsOpen.h"
#include "formats/ReaderPool.h"
#include "formats/TFCStream.h"
#include "parallel/TMultiThread.h"

using namespace orvala;
using namespace orvala::test;

namespace {

std::unique_ptr<TFCStream> parse(const std::string& bytes, RecordingSink& sink, bool values = true)
{
    auto src = std::make_shared<MemorySource>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return std::make_unique<TFCStream>(src, "test.fcs", values, sink, nullptr);
}

// Data set 0 of the bytes, written to a file and opened as the program opens
// files (nil when it does not open), with the rest of its chain.
struct Opened {
    TempDir dir;
    std::string path;
    RecordingSink sink;
    TData* data = nullptr;
    explicit Opened(const std::string& bytes, TMultiThread* pool = nullptr)
    {
        path = dir.write("test.fcs", bytes);
        data = TryOpenFile(path, 0, sink, pool);
    }
    ~Opened()
    {
        while (data) {
            TData* next = data->NextData;
            delete data;
            data = next;
        }
    }
    // "*" at the end of text matches any rest; "FILE" stands for the file's path.
    bool said(std::string text) const
    {
        const size_t f = text.find("FILE");
        if (f != std::string::npos) text.replace(f, 4, path);
        for (const std::string& m : sink.messages) {
            if (!text.empty() && text.back() == '*' ? m.compare(0, text.size() - 1, text, 0, text.size() - 1) == 0
                                                     : m == text)
                return true;
        }
        return false;
    }
};

FcsSet listMode(char type, const std::string& byteord, int events)
{
    FcsSet s;
    s.keywords = {{"$DATATYPE", std::string(1, type)}, {"$MODE", "L"}, {"$BYTEORD", byteord},
                  {"$TOT", std::to_string(events)}};
    return s;
}

void setPar(FcsSet& s, int pars)
{
    s.keywords.push_back({"$PAR", std::to_string(pars)});
}

}  // namespace

TEST(FcsReader, AcsMagicReadsLikeFcsAndOtherMagicIsRefused)
{
    FcsSet s = listMode('F', "1,2,3,4", 2);
    setPar(s, 1);
    addParameters(s, {32});
    putLE(s.data, 1.5f);
    putLE(s.data, -2.0f);
    s.magic = "ACS1.0";
    RecordingSink sink;
    auto acs = parse(fcsBytes({s}), sink);
    ASSERT_FALSE(acs->badfile);
    EXPECT_EQ(acs->DataSet(0)->values[1][0], -2.0);

    s.magic = "XCS3.0";
    RecordingSink refused;
    auto other = parse(fcsBytes({s}), refused);
    EXPECT_TRUE(other->badfile);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_EQ(refused.messages[0], "File test.fcs does not look like FCS file!");
}

TEST(FcsReader, EveryByteOrderAndWidth)
{
    struct Case {
        const char* what;
        char type;
        int bits;
        const char* byteord;
        std::string stored;
        double expected;
    };
    auto bytes = [](std::initializer_list<int> b) {
        std::string s;
        for (int x : b) s += char(x);
        return s;
    };
    std::string f32be, d64be, d64le;
    putBE(f32be, 1.5f);
    putBE(d64be, 2.25);
    putLE(d64le, -3.5);
    const Case cases[] = {
        {"I32 little-endian", 'I', 32, "1,2,3,4", bytes({4, 3, 2, 1}), 0x01020304},
        {"I32 big-endian", 'I', 32, "4,3,2,1", bytes({1, 2, 3, 4}), 0x01020304},
        {"I32 word-swapped", 'I', 32, "3,4,1,2", bytes({2, 1, 4, 3}), 0x01020304},
        {"I16 2,1 swaps", 'I', 16, "2,1", bytes({0x12, 0x34}), 0x1234},
        {"I16 1,2 little-endian", 'I', 16, "1,2", bytes({0x34, 0x12}), 0x1234},
        {"I16 with a 4-byte order", 'I', 16, "4,3,2,1", bytes({0x12, 0x34}), 0x1234},
        {"I8", 'I', 8, "1,2,3,4", bytes({200}), 200},
        {"I24 big-endian", 'I', 24, "4,3,2,1", bytes({0x0A, 0x0B, 0x0C}), 0x0A0B0C},
        {"I24 little-endian", 'I', 24, "1,2,3,4", bytes({0x0C, 0x0B, 0x0A}), 0x0A0B0C},
        {"I48 big-endian", 'I', 48, "4,3,2,1", bytes({0, 0, 0, 1, 0, 2}), 0x10002},
        {"F32 big-endian", 'F', 32, "4,3,2,1", f32be, 1.5},
        {"D64 big-endian", 'D', 64, "4,3,2,1", d64be, 2.25},
        {"D64 little-endian", 'D', 64, "1,2,3,4,5,6,7,8", d64le, -3.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FcsSet s = listMode(c.type, c.byteord, 1);
        setPar(s, 1);
        addParameters(s, {c.bits}, {}, "281474976710656");  // 2^48: no mask
        s.data = c.stored;
        RecordingSink sink;
        auto f = parse(fcsBytes({s}), sink);
        ASSERT_FALSE(f->badfile);
        ASSERT_EQ(f->DataSet(0)->values.rows(), 1);
        EXPECT_EQ(f->DataSet(0)->values[0][0], c.expected);
        EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    }
}

TEST(FcsReader, TenBitDataAreBitPackedOnlyWhenTheSegmentIsThatShort)
{
    const int events = 4, pars = 3;
    auto value = [](int e, int p) { return uint32_t(e * 200 + p * 3 + 1); };
    FcsSet packed = listMode('I', "1,2", events);
    setPar(packed, pars);
    addParameters(packed, {10, 10, 10});
    // MSB first, events back to back: 4 x 30 bits = 15 bytes.
    std::vector<int> bits;
    for (int e = 0; e < events; ++e)
        for (int p = 0; p < pars; ++p)
            for (int b = 9; b >= 0; --b) bits.push_back((value(e, p) >> b) & 1);
    for (size_t i = 0; i < bits.size(); i += 8) {
        int byte = 0;
        for (size_t k = 0; k < 8; ++k) byte = byte << 1 | (i + k < bits.size() ? bits[i + k] : 0);
        packed.data += char(byte);
    }
    ASSERT_EQ(packed.data.size(), 15u);

    FcsSet aligned = packed;
    aligned.data.clear();
    for (int e = 0; e < events; ++e)
        for (int p = 0; p < pars; ++p) putLE(aligned.data, uint16_t(value(e, p)));

    for (const FcsSet* s : {&packed, &aligned}) {
        RecordingSink sink;
        auto f = parse(fcsBytes({*s}), sink);
        TDataSet& ds = *f->DataSet(0);
        EXPECT_EQ(ds.compressed, s == &packed);
        ASSERT_EQ(ds.values.rows(), events);
        for (int e = 0; e < events; ++e)
            for (int p = 0; p < pars; ++p) EXPECT_EQ(ds.values[e][p], value(e, p)) << e << "," << p;
    }

    // Packed bits have no byte order: whatever $BYTEORD says, a stored 1000 reads 1000.
    for (const char* order : {"4,3,2,1", "2,1", "1,2,3,4"}) {
        SCOPED_TRACE(order);
        FcsSet s = listMode('I', order, 4);
        setPar(s, 1);
        addParameters(s, {10});
        // 1000, 3, 1023 and 512, MSB first: 40 bits in 5 bytes.
        s.data = std::string("\xFA\x00\x3F\xFE\x00", 5);
        RecordingSink sink;
        auto f = parse(fcsBytes({s}), sink);
        TDataSet& ds = *f->DataSet(0);
        ASSERT_TRUE(ds.compressed);
        ASSERT_EQ(ds.values.rows(), 4);
        EXPECT_EQ(ds.values[0][0], 1000);
        EXPECT_EQ(ds.values[1][0], 3);
        EXPECT_EQ(ds.values[2][0], 1023);
        EXPECT_EQ(ds.values[3][0], 512);
    }
}

TEST(FcsReader, IntegerMaskCoversResolutionMinusOne)
{
    struct Case {
        const char* range;
        int bits;
        uint32_t stored;
        double expected;
    };
    const Case cases[] = {
        {"1024", 16, 0xFFFF, 1023},                // flag bits above the range (Beckman Navios)
        {"1000", 16, 1000, 1000},                  // not a power of two: $PnR-1 = 999 would give 992
        {"11209599", 32, 8265081, 8265081},        // Stratedigm: $PnR-1 would clear bits of real values
        {"11209599", 32, 0xFFFFFFFF, 0xFFFFFF},
        {"65536", 16, 0xFFFF, 65535},              // $PnR = 2^$PnB: nothing to mask
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.range) + " " + std::to_string(c.stored));
        FcsSet s = listMode('I', "1,2,3,4", 1);
        setPar(s, 3);
        addParameters(s, {16, 16, c.bits}, {}, "65536");
        setKey(s, "$P3R", c.range);
        putLE(s.data, uint16_t(0xFFFF));
        putLE(s.data, uint16_t(0xFFFF));
        putLE(s.data, c.stored, c.bits / 8);
        RecordingSink sink;
        auto f = parse(fcsBytes({s}), sink);
        EXPECT_EQ(f->DataSet(0)->values[0][2], c.expected);
        EXPECT_EQ(f->DataSet(0)->values[0][0], 65535);
    }
}

TEST(FcsReader, PnEDecadesConvertBeforeTheLogDisplayMapping)
{
    FcsSet s = listMode('I', "1,2", 3);
    setPar(s, 1);
    addParameters(s, {16}, {"FL1-H"});
    setKey(s, "$P1E", "4,0");
    for (uint16_t v : {512, 256, 384}) putLE(s.data, v);
    Opened o(fcsBytes({s}));
    ASSERT_NE(o.data, nullptr);
    auto* ds = static_cast<TDataSet*>(o.data->dataset.get());
    // 512 of 1024 channels over 4 decades is 10^2.
    // 512 and 256 of 1024 channels over 4 decades are 10^2 and 10^1.
    EXPECT_FLOAT_EQ(ds->Scales[0].minval, 10);
    EXPECT_FLOAT_EQ(ds->Scales[0].maxval, 100);
    EXPECT_FLOAT_EQ(ds->Scales[0].decade, 4);
    // 10..100 mapped onto 0..4 decades.
    EXPECT_NEAR(o.data->data[0][0], 4, 1e-6);
    EXPECT_NEAR(o.data->data[1][0], 0, 1e-6);
    EXPECT_NEAR(o.data->data[2][0], std::log10(1 + (std::pow(10, 1.5) - 10) * 9999 / 90), 1e-5);
    EXPECT_TRUE(o.data->Desc()[0].log);
    EXPECT_EQ(o.data->Desc()[0].decade, 4);
    EXPECT_EQ(o.data->Desc()[0].base, 0);
    EXPECT_EQ(o.data->Desc()[0].resolution, 1024);
}

TEST(FcsReader, LogDisplayFlagsButSideScatterStaysLinear)
{
    FcsSet s = listMode('F', "1,2,3,4", 1);
    setPar(s, 4);
    addParameters(s, {32, 32, 32, 32}, {"SS-A", "FL1-A", "FSC-A", "FL2-A"});
    s.keywords.push_back({"$P1DISPLAY", "LOG"});
    s.keywords.push_back({"$P2DISPLAY", "log"});
    s.keywords.push_back({"P3D", "LOG"});
    for (int i = 0; i < 4; ++i) putLE(s.data, 10.0f);
    RecordingSink sink;
    auto f = parse(fcsBytes({s}), sink);
    const TBoolVector expected = {0, 1, 1, 0};
    EXPECT_EQ(f->DataSet(0)->logpar, expected);
}

TEST(FcsReader, TwoTimeWordsBecomeOneTimeColumnAndTheEventCounterGoes)
{
    FcsSet s = listMode('I', "1,2", 1);
    setPar(s, 5);
    addParameters(s, {16, 16, 16, 16, 16}, {"FSC", "Time LSW", "Time MSW", "FL1", "Event Count"}, "65536");
    s.keywords.push_back({"$TIMESTEP", "0.5"});
    s.keywords.push_back({"$P4S", "CD4"});
    for (uint16_t v : {10, 2, 1, 7, 99}) putLE(s.data, v);
    RecordingSink sink;
    auto f = parse(fcsBytes({s}), sink);
    TDataSet& ds = *f->DataSet(0);
    const TText& t = *ds.Text;
    EXPECT_EQ(t.GetValue("$PAR"), "3");
    EXPECT_EQ(t.par_Count, 3);
    EXPECT_EQ(t.DeletedPars, (TIntVector{5, 3}));
    EXPECT_EQ(t.GetValue("$P2N"), "TIME");
    EXPECT_EQ(t.GetValue("$P2S"), "TIME");
    EXPECT_EQ(t.GetValue("$P3N"), "FL1");
    EXPECT_EQ(t.GetValue("$P3S"), "CD4");
    EXPECT_EQ(t.KeyIndex("$P4N"), -1);
    EXPECT_EQ(t.pars[1].name, "TIME");
    ASSERT_EQ(ds.values.cols(), 3);
    EXPECT_EQ(ds.values[0][0], 10);
    EXPECT_EQ(ds.values[0][1], double((1 << 16) | 2) * 0.5);
    EXPECT_EQ(ds.values[0][2], 7);
}

TEST(FcsReader, SingleTimeParameterIsScaledByTimestep)
{
    FcsSet s = listMode('I', "1,2", 1);
    setPar(s, 2);
    addParameters(s, {16, 16}, {"FSC", "Time"}, "65536");
    s.keywords.push_back({"$TIMESTEP", "0.01"});
    for (uint16_t v : {10, 300}) putLE(s.data, v);
    RecordingSink sink;
    auto f = parse(fcsBytes({s}), sink);
    EXPECT_EQ(f->DataSet(0)->values[0][1], double(float(300 * 0.01)));
    EXPECT_EQ(f->DataSet(0)->Text->TimePar, 2);
}

TEST(FcsReader, SpilloverTables)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;
        const char* message;  // "" when none
        double fl1, fl2;      // compensated values of the event (100, 50)
    };
    const Case cases[] = {
        // Rows are normalised: [1, .25] / 1.25 = [.8, .2]; its inverse gives (125, 25).
        {"names differ in case", {{"$SPILLOVER", "2,fl1-a,FL2-a,1,0.25,0,1"}}, "", 125, 25},
        {"numbered", {{"SPILL", "2,1,2,1,0.25,0,1"}}, "", 125, 25},
        {"$COMP, short", {{"$COMP", "2,1,0.25"}}, "", 125, 25},
        {"unknown name", {{"$SPILLOVER", "2,FL1-A,FL9-A,1,0.25,0,1"}}, "Error reading SPILLOVER table", 100, 50},
        {"bad number", {{"$SPILLOVER", "2,FL1-A,FL2-A,1,x,0,1"}}, "Error reading SPILLOVER table", 100, 50},
        {"matrix cut short", {{"$SPILLOVER", "2,FL1-A,FL2-A,1,0.25"}}, "Error reading SPILLOVER table", 100, 50},
        {"singular", {{"$SPILLOVER", "2,FL1-A,FL2-A,1,1,1,1"}},
         "The spillover matrix cannot be inverted; the data are not compensated", 100, 50},
        // Row 0 sums to 0 and stays as written: inverse [[1,1],[0,1]].
        {"row summing to zero", {{"$SPILLOVER", "2,FL1-A,FL2-A,1,-1,0,1"}}, "", 100, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FcsSet s = listMode('F', "1,2,3,4", 1);
        setPar(s, 2);
        addParameters(s, {32, 32}, {"FL1-A", "FL2-A"});
        for (const auto& kv : c.keys) s.keywords.push_back(kv);
        putLE(s.data, 100.0f);
        putLE(s.data, 50.0f);
        Opened o(fcsBytes({s}));
        ASSERT_NE(o.data, nullptr);
        if (*c.message)
            EXPECT_TRUE(o.said(c.message));
        else
            EXPECT_TRUE(o.sink.messages.empty()) << o.sink.messages[0];
        EXPECT_NEAR(o.data->data[0][0], c.fl1, 1e-4);
        EXPECT_NEAR(o.data->data[0][1], c.fl2, 1e-4);
    }
}

TEST(FcsReader, SpilloverTablesBeyondAnyInstrumentAreRefused)
{
    // 1100 parameters and a $COMP of that size with no entries: the matrix would be
    // 1100 x 1100 of zeros, with a cubic inversion to follow.
    const int pars = 1100;
    FcsSet s = listMode('I', "1,2", 1);
    setPar(s, pars);
    addParameters(s, std::vector<int>(size_t(pars), 8), {}, "256");
    s.keywords.push_back({"$COMP", std::to_string(pars)});
    s.data.assign(size_t(pars), char(9));
    Opened o(fcsBytes({s}));
    ASSERT_NE(o.data, nullptr);
    EXPECT_TRUE(o.said("Error reading SPILLOVER table"));
    EXPECT_EQ(o.data->data[0][pars - 1], 9);
}

TEST(FcsReader, NumberedSpilloverFollowsDeletedParameters)
{
    // The event counter (parameter 1) goes; the table's parameters 2 and 3 become columns 0 and 1.
    FcsSet s = listMode('I', "1,2", 1);
    setPar(s, 3);
    addParameters(s, {16, 16, 16}, {"Event Count", "FL1", "FL2"}, "65536");
    s.keywords.push_back({"$SPILLOVER", "2,2,3,1,0.25,0,1"});
    for (uint16_t v : {5, 100, 50}) putLE(s.data, v);
    Opened o(fcsBytes({s}));
    ASSERT_NE(o.data, nullptr);
    ASSERT_EQ(o.data->CaseSize(), 2);
    EXPECT_NEAR(o.data->data[0][0], 125, 1e-4);
    EXPECT_NEAR(o.data->data[0][1], 25, 1e-4);
}

TEST(FcsOpen, NextDataChainOpensAsNameAndName_1)
{
    FcsSet a = listMode('F', "1,2,3,4", 2), b = listMode('I', "1,2", 3);
    setPar(a, 1);
    addParameters(a, {32}, {"FSC"});
    putLE(a.data, 1.0f);
    putLE(a.data, 2.0f);
    setPar(b, 2);
    addParameters(b, {16, 16}, {"FS", "SS"});
    for (uint16_t v : {1, 2, 3, 4, 5, 6}) putLE(b.data, v);
    TempDir dir;
    const std::string path = dir.write("chain.fcs", fcsBytes({a, b}));
    RecordingSink sink;
    TData* d = TryOpenFile(path, 0, sink, nullptr);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->NextData, nullptr);
    EXPECT_EQ(d->ScreenName(), "chain");
    EXPECT_EQ(d->NextData->ScreenName(), "chain_1");
    EXPECT_EQ(d->events(), 2);
    EXPECT_EQ(d->NextData->events(), 3);
    EXPECT_EQ(d->NextData->data[2][1], 6);
    EXPECT_EQ(d->NextData->NextData, nullptr);
    delete d->NextData;
    delete d;

    TData* second = TryOpenFile(path, 1, sink, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->NextData, nullptr);
    EXPECT_EQ(second->Desc()[1].name, "SS");
    delete second;
    EXPECT_EQ(TryOpenFile(path, 2, sink, nullptr), nullptr);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(FcsReader, ValuesStopAtTheNextDataSet)
{
    // The first data set claims 100 events but holds 2: the bytes after them are
    // the second data set, not events.
    FcsSet a = listMode('I', "1,2", 100), b = listMode('I', "1,2", 1);
    setPar(a, 1);
    addParameters(a, {16});
    putLE(a.data, uint16_t(1));
    putLE(a.data, uint16_t(2));
    setPar(b, 1);
    addParameters(b, {16});
    putLE(b.data, uint16_t(3));
    Opened o(fcsBytes({a, b}));
    ASSERT_NE(o.data, nullptr);
    EXPECT_TRUE(o.said("Bad FCS File"));
    EXPECT_EQ(o.data->events(), 2);
    ASSERT_NE(o.data->NextData, nullptr);
    EXPECT_EQ(o.data->NextData->data[0][0], 3);
}

TEST(FcsOpen, TotZeroWithEmptyDataIsNotOpened)
{
    FcsSet s = listMode('F', "1,2,3,4", 0);
    setPar(s, 1);
    addParameters(s, {32});
    Opened o(fcsBytes({s}));
    EXPECT_EQ(o.data, nullptr);
}

TEST(FcsReader, ShortDataSegmentKeepsOnlyCompleteEvents)
{
    FcsSet s = listMode('I', "1,2", 5);
    setPar(s, 2);
    addParameters(s, {16, 16});
    for (uint16_t v : {1, 2, 3, 4, 5}) putLE(s.data, v);  // two and a half events
    Opened o(fcsBytes({s}));
    ASSERT_NE(o.data, nullptr);
    EXPECT_TRUE(o.said("Bad FCS File"));
    ASSERT_EQ(o.data->events(), 2);
    EXPECT_EQ(o.data->data[1][1], 4);
    auto* ds = static_cast<TDataSet*>(o.data->dataset.get());
    EXPECT_EQ(ds->EventCount(), 2);
    EXPECT_EQ(ds->Text->OriginalTotal, 5);
}

TEST(FcsReader, DoubledDelimitersAndOtherDelimiters)
{
    for (char delim : {'/', '\\', '\f', '|'}) {
        FcsSet s = listMode('F', "1,2,3,4", 1);
        s.delim = delim;
        setPar(s, 1);
        addParameters(s, {32}, {"FL1-A"});
        s.keywords.push_back({"$P1S", std::string("CD4") + delim + "FITC"});
        putLE(s.data, 3.0f);
        Opened o(fcsBytes({s}));
        ASSERT_NE(o.data, nullptr) << int(delim);
        EXPECT_EQ(o.data->Desc()[0].name, std::string("FL1-A/CD4") + delim + "FITC");
        EXPECT_EQ(o.data->data[0][0], 3);
    }
}

TEST(FcsReader, DataOffsetsFromBeginDataWhenTheHeaderHasNone)
{
    FcsSet s = listMode('F', "1,2,3,4", 2);
    setPar(s, 1);
    addParameters(s, {32});
    putLE(s.data, 7.0f);
    putLE(s.data, 8.0f);
    s.headerDataZero = true;
    Opened good(fcsBytes({s}));
    ASSERT_NE(good.data, nullptr);
    EXPECT_EQ(good.data->data[1][0], 8);

    std::string bytes = fcsBytes({s});
    const size_t at = bytes.find("$BEGINDATA/") + 11;
    bytes[at] = 'x';
    Opened bad(bytes);
    EXPECT_EQ(bad.data, nullptr);
    EXPECT_TRUE(bad.said("Error reading file FILE"));
}

TEST(FcsReader, DamagedFilesGiveMessagesNotCrashes)
{
    auto base = [] {
        FcsSet s = listMode('I', "1,2", 2);
        setPar(s, 2);
        addParameters(s, {16, 16});
        for (uint16_t v : {1, 2, 3, 4}) putLE(s.data, v);
        return s;
    };
    struct Case {
        const char* what;
        std::function<std::string()> bytes;
        const char* message;
        int events;
    };
    const Case cases[] = {
        {"$PAR far beyond its keywords", [&] { auto s = base(); setKey(s, "$PAR", "2000000000"); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"$TOT far beyond the file", [&] { auto s = base(); setKey(s, "$TOT", "9000000000000000"); return fcsBytes({s}); },
         "Bad FCS File", 2},
        {"negative $TOT counts from the segment", [&] { auto s = base(); setKey(s, "$TOT", "-5"); return fcsBytes({s}); },
         "", 2},
        {"$TOT not a number", [&] { auto s = base(); setKey(s, "$TOT", "many"); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"$MODE missing", [&] { auto s = base(); s.keywords.erase(s.keywords.begin() + 1); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"$DATATYPE missing", [&] { auto s = base(); s.keywords.erase(s.keywords.begin()); return fcsBytes({s}); },
         "File FILE has no readable TEXT segment ($DATATYPE is missing)", 0},
        {"$PnE not a number", [&] { auto s = base(); setKey(s, "$P1E", "four,0"); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"$PnB absurd", [&] { auto s = base(); setKey(s, "$P1B", "4000"); setKey(s, "$P2B", "4000"); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"no parameters", [&] { auto s = base(); setKey(s, "$PAR", "0"); s.keywords.resize(5); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"TEXT offsets outside the file",
         [&] { auto b = fcsBytes({base()}); b.replace(10, 16, "  900000  999999"); return b; },
         "File FILE has no readable TEXT segment ($DATATYPE is missing)", 0},
        {"DATA beyond the end", [&] { auto b = fcsBytes({base()}); b.replace(26, 16, " 9000000 9000099"); return b; },
         "Bad FCS File", 0},
        {"HEADER garbage", [&] { auto b = fcsBytes({base()}); b.replace(10, 8, "12ab34cd"); return b; },
         "Error reading file FILE", 0},
        {"HEADER only", [&] { return fcsBytes({base()}).substr(0, 30); },
         "File FILE has no readable TEXT segment ($DATATYPE is missing)", 0},
        {"TEXT without its last delimiter", [&] { auto b = fcsBytes({base()}); return b.substr(0, b.find("$NEXTDATA")); },
         "", 0},
        // Numbers at the int64 limits: refused, never an overflow on the way to an offset.
        {"$PAR at the int64 limit", [&] { auto s = base(); setKey(s, "$PAR", "9223372036854775807"); return fcsBytes({s}); },
         "Error reading file FILE", 0},
        {"$PAR at the negative int64 limit, with an event counter to delete",
         [&] {
             auto s = base();
             setKey(s, "$PAR", "-9223372036854775808");
             setKey(s, "$P2N", "Event Count");
             return fcsBytes({s});
         },
         "Error reading file FILE", 0},
        {"$ENDDATA at the int64 limit",
         [&] {
             auto s = base();
             s.headerDataZero = true;
             s.keywords.insert(s.keywords.begin(), {"$BEGINDATA", "0"});
             s.keywords.insert(s.keywords.begin(), {"$ENDDATA", "9223372036854775807"});
             return fcsBytes({s});
         },
         "Error reading file FILE", 0},
        {"$BEGINDATA at the negative int64 limit",
         [&] {
             auto s = base();
             s.headerDataZero = true;
             s.keywords.insert(s.keywords.begin(), {"$BEGINDATA", "-9223372036854775808"});
             return fcsBytes({s});
         },
         "Error reading file FILE", 0},
        {"$BEGINDATA at the int64 limit in a second data set",
         [&] {
             auto second = base();
             second.headerDataZero = true;
             second.keywords.insert(second.keywords.begin(), {"$BEGINDATA", "9223372036854775807"});
             return fcsBytes({base(), second});
         },
         "Error reading file FILE", 2},
        {"$TOT at the int64 limit", [&] { auto s = base(); setKey(s, "$TOT", "9223372036854775807"); return fcsBytes({s}); },
         "Bad FCS File", 2},
        {"$NEXTDATA pointing into the same data set",
         [&] {
             auto b = fcsBytes({base()});
             const size_t at = b.find("$NEXTDATA/") + 10;
             b.replace(at, 12, "000000000001");
             return b;
         },
         "File FILE: $NEXTDATA points inside its own data set; the data sets after it are not read", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened o(c.bytes());
        EXPECT_EQ(o.data ? o.data->events() : 0, c.events);
        if (*c.message) {
            EXPECT_TRUE(o.said(c.message)) << (o.sink.messages.empty() ? "" : o.sink.messages[0]);
        }
    }
}

TEST(FcsReader, AsciiFixedWidthAndFreeFormat)
{
    FcsSet s = listMode('A', "1,2,3,4", 2);
    setPar(s, 2);
    addParameters(s, {4, 3});
    s.data = "  12  7   5 x9";  // the last field is not a number: 0
    Opened fixed(fcsBytes({s}));
    ASSERT_NE(fixed.data, nullptr);
    EXPECT_EQ(fixed.data->data[0][0], 12);
    EXPECT_EQ(fixed.data->data[0][1], 7);
    EXPECT_EQ(fixed.data->data[1][0], 5);
    EXPECT_EQ(fixed.data->data[1][1], 0);

    // "*" widths: values of any width, separated by runs of blanks, tabs,
    // commas and line ends; a field that is no number reads 0.
    setKey(s, "$P1B", "*");
    setKey(s, "$P2B", "*");
    s.data = "12,7\r\n  1024\t2.5e1 ";
    Opened free(fcsBytes({s}));
    EXPECT_TRUE(free.sink.messages.empty());
    ASSERT_NE(free.data, nullptr);
    ASSERT_EQ(free.data->events(), 2);
    EXPECT_EQ(free.data->data[0][0], 12);
    EXPECT_EQ(free.data->data[0][1], 7);
    EXPECT_EQ(free.data->data[1][0], 1024);
    EXPECT_EQ(free.data->data[1][1], 25);

    // Three values for two events of two: the complete event is kept.
    s.data = "3 4 x";
    Opened cut(fcsBytes({s}));
    ASSERT_NE(cut.data, nullptr);
    EXPECT_TRUE(cut.said("Bad FCS File"));
    ASSERT_EQ(cut.data->events(), 1);
    EXPECT_EQ(cut.data->data[0][0], 3);
    EXPECT_EQ(cut.data->data[0][1], 4);
}

TEST(FcsReader, PrismParameterKeepsItsLowSixBits)
{
    FcsSet s = listMode('I', "1,2", 1);
    setPar(s, 2);
    addParameters(s, {16, 16}, {"FSC", "PRISM"}, "65536");
    for (uint16_t v : {0x1234, 0x1234}) putLE(s.data, v);
    Opened o(fcsBytes({s}));
    ASSERT_NE(o.data, nullptr);
    EXPECT_EQ(o.data->PrizmIndex, 1);
    EXPECT_EQ(o.data->data[0][0], 0x1234);
    EXPECT_EQ(o.data->data[0][1], 0x34);
}

namespace {

// Holds the first read of the DATA segment until the pool was stopped from
// outside, as when another user of the pool starts a run meanwhile.
class StallingSource : public ByteSource {
public:
    StallingSource(std::vector<uint8_t> bytes, int64_t dataStart, const TMultiThread& pool)
        : inner_(std::move(bytes)), dataStart_(dataStart), pool_(pool)
    {
    }
    int64_t size() const override { return inner_.size(); }
    size_t readAt(int64_t offset, void* dst, size_t n) const override
    {
        if (offset >= dataStart_ && !started.exchange(true))
            while (!pool_.Aborted()) std::this_thread::yield();
        return inner_.readAt(offset, dst, n);
    }
    mutable std::atomic<bool> started{false};

private:
    MemorySource inner_;
    int64_t dataStart_;
    const TMultiThread& pool_;
};

}  // namespace

TEST(FcsReader, AStoppedDecodeFailsTheDataSetInsteadOfPassingForRead)
{
    const int events = 1 << 21;  // enough for the bulk read to split over the pool
    FcsSet s = listMode('F', "1,2,3,4", events);
    setPar(s, 1);
    addParameters(s, {32});
    s.data.assign(size_t(events) * 4, '\0');
    const std::string bytes = fcsBytes({s});
    const int64_t dataStart = int64_t(bytes.size() - s.data.size());

    TMultiThread pool(2);
    auto source = std::make_shared<StallingSource>(std::vector<uint8_t>(bytes.begin(), bytes.end()), dataStart, pool);
    std::thread other([&] {
        while (!source->started) std::this_thread::yield();
        pool.Stop();
    });
    RecordingSink sink;
    TData* d = nullptr;
    {
        TFCStream stream(source, "test.fcs", false, sink, &pool);
        ASSERT_FALSE(stream.badfile);
        d = CreateFromStream(stream, "test.fcs", 0, sink, &pool);
    }
    other.join();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(source->started);
    EXPECT_EQ(d->events(), 0);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back(), "Error reading file test.fcs");
    delete d;
}

TEST(ReaderPool, EveryReadingThreadHasAPoolOfItsOwn)
{
    TMultiThread* here = readerPool();
    ASSERT_NE(here, nullptr);
    EXPECT_EQ(readerPool(), here);
    bool own = false;
    std::thread([&] { own = readerPool() != nullptr && readerPool() != here; }).join();
    EXPECT_TRUE(own);
}

TEST(FcsReader, ParallelResultEqualsSequential)
{
    // Large enough that both the bulk read and the result passes split over the pool;
    // covers the float fast path with spillover and log channels, the 16-bit
    // integer fast path, and the general path (time words, 24-bit values).
    const int events = 600'000;
    std::vector<std::string> files;
    {
        // 8 columns of 600,000 doubles: large enough for the pages to be mapped on the workers.
        FcsSet s = listMode('F', "4,3,2,1", events);
        setPar(s, 8);
        addParameters(s, {32, 32, 32, 32, 32, 32, 32, 32},
                      {"FSC-A", "SSC-A", "FL1-A", "FL2-A", "FL3-A", "FL4-A", "FL5-A", "Time"});
        s.keywords.push_back({"$SPILLOVER", "3,FL1-A,FL2-A,FL3-A,1,0.1,0.02,0.05,1,0.1,0,0.2,1"});
        s.keywords.push_back({"$P3DISPLAY", "LOG"});
        setKey(s, "$P4E", "4,1");
        uint32_t x = 12345;
        for (int i = 0; i < events * 8; ++i) {
            x = x * 1103515245u + 12345u;
            putBE(s.data, float(x >> 8) / 64.0f);
        }
        files.push_back(fcsBytes({s}));
    }
    {
        FcsSet s = listMode('I', "2,1", events);
        setPar(s, 4);
        addParameters(s, {16, 16, 16, 16}, {"FS", "SS", "FL1", "FL2"});
        s.keywords.push_back({"$SPILLOVER", "2,FL1,FL2,1,0.3,0.1,1"});
        for (int i = 0; i < events * 4; ++i) putBE(s.data, uint16_t(i * 7919u));
        files.push_back(fcsBytes({s}));
    }
    {
        FcsSet s = listMode('I', "4,3,2,1", events);
        setPar(s, 4);
        addParameters(s, {24, 16, 16, 8}, {"FSC", "Time LSW", "Time MSW", "Event Count"}, "16777216");
        s.keywords.push_back({"$TIMESTEP", "0.001"});
        for (int i = 0; i < events; ++i) {
            putBE(s.data, uint32_t(i * 31u), 3);
            putBE(s.data, uint16_t(i));
            putBE(s.data, uint16_t(i >> 16));
            s.data += char(i);
        }
        files.push_back(fcsBytes({s}));
    }
    TMultiThread pool(3);
    for (size_t k = 0; k < files.size(); ++k) {
        SCOPED_TRACE(k);
        Opened sequential(files[k]), parallel(files[k], &pool);
        ASSERT_NE(sequential.data, nullptr);
        ASSERT_NE(parallel.data, nullptr);
        ASSERT_EQ(sequential.data->events(), events);
        ASSERT_EQ(parallel.data->data.rows(), sequential.data->data.rows());
        ASSERT_EQ(parallel.data->data.cols(), sequential.data->data.cols());
        EXPECT_EQ(std::memcmp(parallel.data->data.data(), sequential.data->data.data(),
                              sizeof(double) * size_t(events) * size_t(sequential.data->CaseSize())),
                  0);
        auto* a = static_cast<TDataSet*>(sequential.data->dataset.get());
        auto* b = static_cast<TDataSet*>(parallel.data->dataset.get());
        EXPECT_EQ(a->mins, b->mins);
        EXPECT_EQ(a->maxs, b->maxs);
        // The value ranges the reader keeps are those of the finished matrix.
        for (int c = 0; c < sequential.data->CaseSize(); ++c) {
            EXPECT_EQ(a->mins[size_t(c)], float(sequential.data->minincol(c)));
            EXPECT_EQ(a->maxs[size_t(c)], float(sequential.data->maxincol(c)));
        }
    }
}

TEST(FcsReader, NumbersReadTheSameUnderACommaDecimalLocale)
{
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"};
    std::string old = std::setlocale(LC_ALL, nullptr);
    bool set = false;
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n)) {
            set = true;
            break;
        }
    if (!set) GTEST_SKIP() << "no comma-decimal locale installed";
    FcsSet s = listMode('I', "1,2", 1);
    setPar(s, 2);
    addParameters(s, {16, 16}, {"FL1", "Time"});
    setKey(s, "$P1E", "2.5,0.5");
    s.keywords.push_back({"$TIMESTEP", "0.25"});
    putLE(s.data, uint16_t(512));
    putLE(s.data, uint16_t(8));
    RecordingSink sink;
    auto f = parse(fcsBytes({s}), sink);
    std::setlocale(LC_ALL, old.c_str());
    const TText& t = *f->DataSet(0)->Text;
    EXPECT_EQ(t.pars[0].decade, 2.5);
    EXPECT_EQ(t.pars[0].intersect, 0.5);
    EXPECT_EQ(f->DataSet(0)->values[0][1], 2);
}

TEST(FcsOpen, ExtensionChoosesTheReader)
{
    FcsSet s = listMode('F', "1,2,3,4", 1);
    setPar(s, 1);
    addParameters(s, {32});
    putLE(s.data, 1.0f);
    TempDir dir;
    const std::string bytes = fcsBytes({s});
    // .log and .txt go to the log and text readers whatever the bytes hold:
    // as a 32-channel log this file skips past its end, as a table it is no number.
    {
        RecordingSink sink;
        EXPECT_EQ(TryOpenFile(dir.write("run.log", bytes), 0, sink, nullptr), nullptr);
        EXPECT_TRUE(sink.messages.empty());
    }
    for (const char* name : {"table.TXT", "x.txt.a"}) {
        RecordingSink sink;
        EXPECT_THROW(TryOpenFile(dir.write(name, bytes), 0, sink, nullptr), OrvalaError) << name;
    }
    for (const char* name : {"x.fcs.a", "tube.LMD", "noextension"}) {
        RecordingSink sink;
        TData* d = TryOpenFile(dir.write(name, bytes), 0, sink, nullptr);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_EQ(d->RefCount(), 0);
        EXPECT_EQ(d->fcolor, TColors(1, 0));
        delete d;
    }
    RecordingSink sink;
    EXPECT_EQ(TryOpenFile((dir.path() / "missing.fcs").string(), 0, sink, nullptr), nullptr);
}
