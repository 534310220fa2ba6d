#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

#include "core/Messages.h"
#include "formats/TDataSet.h"
#include "formats/TFCStream.h"
#include "instruments/Acquisition.h"
#include "instruments/AcquisitionSettings.h"
#include "instruments/LmdWriter.h"
#include "instruments/SimTransport.h"

using namespace orvala;
namespace fs = std::filesystem;

namespace {

uint32_t get32(const ConfigTable& t, size_t w) { return uint32_t(t[w]) | (uint32_t(t[w + 1]) << 16); }

struct TempDir {
    fs::path path;
    TempDir()
    {
        path = fs::temp_directory_path() /
               ("orvala-acq-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

// An acquisition over a simulated instrument the test can still reach.
struct SimAcquisition {
    SimTransport* sim;
    Acquisition acq;
    SimAcquisition(const std::string& buffer, uint32_t seed = 11)
        : sim(new SimTransport(seed)), acq(std::unique_ptr<HidTransport>(sim), buffer)
    {
        sim->recordEvents = true;
        acq.Open();
    }
};

void WaitFor(const std::function<bool()>& done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// The simulator's packets decoded as the instrument's order, one row per event.
std::vector<std::vector<float>> Decoded(const std::vector<uint16_t>& packets, const PacketLayout& layout)
{
    TiQSPDecoder d = layout.Decoder();
    const size_t E = size_t(d.PacketLength / 2);
    std::vector<std::vector<float>> rows;
    std::vector<float> row(size_t(d.ParamCount));
    for (size_t at = 0; at + E <= packets.size(); at += E) {
        uint16_t h;
        d.Convert(packets.data() + at, row.data(), h);
        rows.push_back(row);
    }
    return rows;
}

struct Reopened {
    std::unique_ptr<TFCStream> stream;
    TDataSet* set = nullptr;
    std::string key(const std::string& k) const { return set->keywords()->GetValue(k); }
    int events() const { return set->values.rows(); }
    double at(int e, int p) const { return set->values.at(e, p); }
};

Reopened Reopen(const std::string& file)
{
    Reopened r;
    RecordingSink sink;
    r.stream = std::make_unique<TFCStream>(file, true, sink);
    EXPECT_FALSE(r.stream->badfile) << file;
    EXPECT_GE(r.stream->Count(), 1);
    r.set = r.stream->DataSet(0);
    return r;
}

// Packets of a hand-made layout: every channel magnitude m, positive, and the
// given time-stamp ticks and boxcar ticks.
std::vector<uint16_t> MakePacket(const PacketLayout& l, uint16_t m, uint32_t stamp, uint32_t width, bool event = true)
{
    std::vector<uint16_t> p;
    p.push_back(event ? 0x8000 : 0x0001);
    int left[4] = {l.groups[0], l.groups[1], l.groups[2], l.groups[3]};
    while (left[0] + left[1] + left[2] + left[3] > 0)
        for (int& n : left) {
            const int k = std::min(n, 8);
            if (!k)
                continue;
            n -= k;
            p.insert(p.end(), size_t(k), m);
            p.push_back(0);
            if (l.sign2)
                p.push_back(0);
        }
    if (l.timeStamp) {
        p.push_back(uint16_t(stamp & 0xFFFF));
        p.push_back(uint16_t(stamp >> 16));
    }
    if (l.boxcar) {
        p.push_back(uint16_t(width & 0xFFFF));
        p.push_back(uint16_t(width >> 16));
    }
    return p;
}

void WriteBuffer(const std::string& file, const std::vector<std::vector<uint16_t>>& packets)
{
    std::ofstream o(file, std::ios::binary);
    for (const auto& p : packets)
        o.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size() * 2));
}

}  // namespace

TEST(AcquisitionSettings, ControlsBecomeTableWords)
{
    struct Case {
        const char* what;
        AcquisitionSettings s;
        std::vector<std::pair<size_t, uint16_t>> words;
    };
    AcquisitionSettings base;
    auto with = [&](auto change) {
        AcquisitionSettings s = base;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"rate 1000 Hz: period 100000 in four copies", base,
         {{104, 34464}, {105, 1}, {106, 34464}, {107, 1}, {108, 34464}, {109, 1}, {110, 34464}, {111, 1}}},
        {"15 us", base, {{112, 1500}, {113, 0}}},
        {"15 ns rounds 1.5 to even", with([](auto& s) { s.unit = TimeUnit::ns; }), {{112, 2}, {113, 0}}},
        {"2.5 ns rounds to even", with([](auto& s) { s.unit = TimeUnit::ns, s.integTime = 25; }), {{112, 2}}},
        {"15 ms", with([](auto& s) { s.unit = TimeUnit::ms; }), {{112, 0xE360}, {113, 0x16}}},
        {"HV scroll 100", with([](auto& s) { s.hvOn = true; }), {{7, 1}, {8, 7500}}},
        {"HV off", base, {{7, 0}}},
        {"internal trigger: no boxcar", with([](auto& s) { s.trigger = TriggerMode::Internal; }),
         {{100, 1}, {90, 0}, {91, 0}}},
        {"edge with boxcar", base, {{100, 0}, {90, 1}, {91, 1}}},
        {"edge without boxcar", with([](auto& s) { s.boxCar = false; }), {{90, 0}, {91, 0}}},
        {"background", base, {{71, 4}}},
        {"no background", with([](auto& s) { s.background = false; }), {{71, 0}}},
        {"ditto + 6 ch", with([](auto& s) { s.adc = AdcMode::Ditto6; }), {{3, 16}, {4, 12}, {5, 8}, {6, 8}}},
        {"all 64", with([](auto& s) { s.adc = AdcMode::All64; }), {{3, 16}, {4, 16}, {5, 16}, {6, 16}}},
    };
    for (const Case& c : cases) {
        ConfigTable t{};
        WriteSettings(c.s, t);
        for (const auto& [w, v] : c.words)
            EXPECT_EQ(t[w], v) << c.what << ", word " << w;
    }
    EXPECT_EQ(HighVoltageText(100), "750");
    EXPECT_EQ(HighVoltageScroll(HighVoltageWord(100)), 100);
}

TEST(AcquisitionSettings, BadNumbersAreRefusedBeforeTheTableChanges)
{
    const double bad[] = {0, -1000, std::nan(""), std::numeric_limits<double>::infinity(), 1e-3 /* period > 32 bits */,
                          1e9 /* period rounds to 0 */};
    for (double r : bad) {
        AcquisitionSettings s;
        s.rateHz = r;
        s.hvOn = true;
        ConfigTable t{};
        EXPECT_THROW(WriteSettings(s, t), OrvalaError) << r;
        EXPECT_THROW(WriteHyperCytSettings(s, t), OrvalaError) << r;
        EXPECT_EQ(t, ConfigTable{}) << "nothing written for rate " << r;
    }
    AcquisitionSettings s;
    s.integTime = -1;
    ConfigTable t{};
    EXPECT_THROW(WriteSettings(s, t), OrvalaError);
    EXPECT_EQ(t, ConfigTable{});
}

TEST(AcquisitionSettings, TheDefaultTableShowsItsSettings)
{
    AcquisitionSettings current;
    current.rateHz = 5;
    current.unit = TimeUnit::ns;
    const AcquisitionSettings s = ShowSettings(iqsp::DefaultConfigTable(), current);
    EXPECT_DOUBLE_EQ(s.rateHz, 1000);
    EXPECT_DOUBLE_EQ(s.integTime, 15000) << "1500 ticks shown in ns";
    EXPECT_EQ(s.trigger, TriggerMode::Edge);
    EXPECT_TRUE(s.boxCar);
    EXPECT_TRUE(s.background);
    EXPECT_FALSE(s.hvOn);
    EXPECT_EQ(s.hvScroll, 50) << "word 8 = 8000";
    // A period of 0 divides nothing: the rate shown stays.
    ConfigTable zero{};
    EXPECT_DOUBLE_EQ(ShowSettings(zero, current).rateHz, 5);
}

TEST(AcquisitionSettings, HyperCytWritesTimeStampAndBoxcarByTrigger)
{
    for (TriggerMode m : {TriggerMode::Edge, TriggerMode::Internal}) {
        AcquisitionSettings s;
        s.trigger = m;
        s.hvOn = true;
        s.adc = AdcMode::All64;
        ConfigTable t = iqsp::DefaultConfigTable();
        t[7] = 1;
        WriteHyperCytSettings(s, t);
        EXPECT_EQ(t[7], 0);
        EXPECT_EQ(t[72], 1);
        EXPECT_EQ(t[90], m == TriggerMode::Edge ? 1 : 0);
        EXPECT_EQ(t[91], m == TriggerMode::Edge ? 1 : 0);
        EXPECT_EQ(t[3], 14) << "the channel groups stay";
        EXPECT_EQ(get32(t, 104), 100000u);
    }
}

TEST(AcquisitionSettings, HyperCytChannels)
{
    struct Case {
        double v;
        uint16_t log, width;
    };
    const Case cases[] = {
        {2240, 1023, 1023}, {0, 0, 0}, {224, 767, 1023}, {-5, 0, 0}, {1e9, 1023, 1023},
        {std::nan(""), 0, 0}, {50, 601, 512 /* 511.5 to even */}, {10, 424, 102},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HyperCytLogChannel(c.v), c.log) << c.v;
        EXPECT_EQ(HyperCytWidthChannel(c.v), c.width) << c.v;
    }
    EXPECT_EQ(HyperCytTime(12.34 + 3, 3, 0.1), 123);
    EXPECT_EQ(HyperCytTime(12.34, 0, 0), 123) << "resolution 0 counts as 0.1";
    EXPECT_EQ(HyperCytTime(12.34, 0, -1), 123);
    EXPECT_EQ(HyperCytTime(0.25, 0, 0.1), 2) << "2.5 rounds to even";
    EXPECT_EQ(HyperCytTime(std::nan(""), 0, 0.1), 0);
}

TEST(AcquisitionSettings, DisplayRangeAndBars)
{
    DisplayRange r;
    for (double v : {5.0, -350.0, std::nan(""), 900.0})
        r.take(v);
    EXPECT_EQ(r.min, -200);
    EXPECT_EQ(r.max, 900);
    r.reset();
    EXPECT_EQ(r.min, 0);
    EXPECT_EQ(r.max, 1);

    std::vector<double> v(46);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = double(i);
    std::vector<double> bars, scatter;
    BarValues(AdcMode::Ditto6, v.data(), int(v.size()), bars, scatter);
    ASSERT_EQ(bars.size(), 38u);
    EXPECT_EQ(bars[31], 31);
    EXPECT_EQ(bars[32], 38);
    EXPECT_EQ(bars[37], 43);
    EXPECT_EQ(scatter, (std::vector<double>{32, 33, 34, 35, 36, 37}));
    BarValues(AdcMode::Asahi6, v.data(), int(v.size()), bars, scatter);
    EXPECT_EQ(bars, (std::vector<double>{38, 39, 40, 41, 42, 43}));
    EXPECT_EQ(scatter[0], 32);
    // Fewer values than the mode shows: the missing bars are 0, nothing is read beyond.
    BarValues(AdcMode::All64, v.data(), 40, bars, scatter);
    ASSERT_EQ(bars.size(), 64u);
    EXPECT_EQ(bars[39], 39);
    EXPECT_EQ(bars[40], 0);
    BarValues(AdcMode::Pmt32Foa6, nullptr, 0, bars, scatter);
    EXPECT_EQ(bars, std::vector<double>(32, 0.0));
}

TEST(AcquisitionSettings, TextsUnderACommaLocale)
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    EXPECT_DOUBLE_EQ(ParseNumber(" 12.5 "), 12.5);
    EXPECT_THROW(ParseNumber("12,5"), OrvalaError);
    EXPECT_THROW(ParseNumber(""), OrvalaError);
    EXPECT_EQ(TimeStampText(12.5), "12.5");
    std::setlocale(LC_ALL, saved.c_str());
    if (!german)
        GTEST_LOG_(INFO) << "de_DE.UTF-8 is not installed; checked under the C locale only";
    EXPECT_EQ(TimeStampText(0), "") << "no time stamp shows blank";
    EXPECT_EQ(TimeStampText(std::nan("")), "");
    EXPECT_EQ(ParseLimit("5000"), 5000);
    EXPECT_EQ(ParseLimit(""), 0);
    EXPECT_EQ(ParseLimit("many"), 0);
    EXPECT_EQ(ParseLimit("-3"), 0);
    EXPECT_EQ(ChannelName({"FSC", "SSC"}, 1), "SSC");
    EXPECT_EQ(ChannelName({"FSC", "SSC"}, 2), "ch3");
}

TEST(AcquisitionSettings, TimeStampUnwrapsAcrossTheCounterWrap)
{
    const double tick = 1e-7;  // the default 100-ns tick: the counter wraps after 429.5 s
    const double span = 4294967296.0 * tick;
    TimeUnwrapper u(tick);
    EXPECT_DOUBLE_EQ(u(400), 400);
    EXPECT_DOUBLE_EQ(u(429), 429);
    EXPECT_DOUBLE_EQ(u(1), 1 + span);
    EXPECT_DOUBLE_EQ(u(0.5), 0.5 + span) << "jitter back by less than half a span is no wrap";
    EXPECT_DOUBLE_EQ(u(300), 300 + span);
    EXPECT_DOUBLE_EQ(u(2), 2 + 2 * span);
}

TEST(Acquisition, HundredThousandEventsSavedAndReopenedAreTheSimulatorsEvents)
{
    TempDir dir;
    SimAcquisition s(dir.file("Buffer.log"), 2026);
    s.sim->eventLimit = 100000;
    ASSERT_FALSE(s.acq.DataNotSaved);
    s.acq.Start(AdcMode::Pmt32Foa6, true);
    WaitFor([&] { return s.acq.Counter() >= 100000; });
    s.acq.Stop();
    ASSERT_EQ(s.acq.Counter(), 100000);
    EXPECT_TRUE(s.acq.DataNotSaved);
    EXPECT_EQ(int64_t(fs::file_size(dir.file("Buffer.log"))), int64_t(s.sim->sentPackets.size()) * 2);

    const std::string out = dir.file("run.LMD");
    EXPECT_EQ(SaveAcquisitionLmd(out, s.acq.LastRecording(), {"FS", "SS"}), 100000);
    const auto expected = Decoded(s.sim->sentPackets, s.acq.LastRecording().layout);
    Reopened r = Reopen(out);
    const int P = int(expected[0].size());
    EXPECT_EQ(P, 39) << "38 channels and the boxcar width";
    EXPECT_EQ(r.key("$PAR"), std::to_string(P));
    EXPECT_EQ(r.key("$TOT"), "100000");
    EXPECT_EQ(r.key("$DATATYPE"), "F");
    EXPECT_EQ(r.key("$P1N"), "ch1");
    EXPECT_EQ(r.key("$P32N"), "ch32");
    EXPECT_EQ(r.key("$P33N"), "FS");
    EXPECT_EQ(r.key("$P34N"), "SS");
    EXPECT_EQ(r.key("$P35N"), "ch3");
    EXPECT_EQ(r.key("$P1R"), "2240");
    ASSERT_EQ(r.events(), 100000);
    int mismatches = 0;
    for (int e = 0; e < r.events(); ++e)
        for (int p = 0; p < P; ++p)
            mismatches += r.at(e, p) != double(expected[size_t(e)][size_t(p)]);
    EXPECT_EQ(mismatches, 0);
}

TEST(Acquisition, StopWithReportsInFlightLosesAndReordersNothing)
{
    // Small buffers that split reports, and only two of them, so the link
    // often waits for one when Stop comes.
    for (int round = 0; round < 3; ++round) {
        TempDir dir;
        SimAcquisition s(dir.file("Buffer.log"), 5 + uint32_t(round));
        const int E = SimTransport::PacketWords(s.sim->table(0));
        s.acq.BufferBytes = size_t(E) * 2 * 97 + 5;
        s.acq.BufferCount = 2;
        s.acq.Start(AdcMode::Pmt32Foa6, true);
        WaitFor([&] { return s.acq.Counter() >= 20000 + 7919 * round; });
        s.acq.Stop();
        const int64_t n = s.acq.Counter();
        EXPECT_EQ(n, s.sim->sentEvents()) << "every event the instrument sent is counted";
        const std::string out = dir.file("stop.LMD");
        ASSERT_EQ(SaveAcquisitionLmd(out, s.acq.LastRecording(), {}), n);
        const auto expected = Decoded(s.sim->sentPackets, s.acq.LastRecording().layout);
        Reopened r = Reopen(out);
        ASSERT_EQ(int64_t(r.events()), n);
        int mismatches = 0;
        for (int e = 0; e < r.events(); ++e)
            for (int p = 0; p < int(expected[0].size()); ++p)
                mismatches += r.at(e, p) != double(expected[size_t(e)][size_t(p)]);
        EXPECT_EQ(mismatches, 0) << "round " << round;
    }
}

TEST(Acquisition, ATransferErrorHandsBackTheEventsRecordedSoFar)
{
    TempDir dir;
    SimAcquisition s(dir.file("Buffer.log"));
    s.sim->faults.data = SimTransport::DataFault::BadChecksum;
    s.sim->faults.dataFaultAt = 7;
    s.acq.Start(AdcMode::Pmt32Foa6, true);
    int error = 0;
    WaitFor([&] { return s.acq.TransferEnded(error); });
    EXPECT_EQ(error, iqsp::DataChecksum);
    EXPECT_FALSE(s.acq.TransferEnded(error)) << "reported once";
    s.acq.Stop();
    const int64_t n = s.acq.Counter();
    EXPECT_GT(n, 0);
    EXPECT_TRUE(s.acq.DataNotSaved);
    // The bad report is not recorded; everything before it is.
    const int E = SimTransport::PacketWords(s.sim->table(0));
    ASSERT_EQ(int64_t(fs::file_size(dir.file("Buffer.log"))), n * E * 2);
    std::ifstream in(dir.file("Buffer.log"), std::ios::binary);
    std::vector<uint16_t> got(size_t(n * E));
    in.read(reinterpret_cast<char*>(got.data()), std::streamsize(got.size() * 2));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), s.sim->sentPackets.begin()));
    // The device was closed by the error and is found again by the next start.
    s.sim->recordEvents = false;
    EXPECT_NO_THROW(s.acq.Start(AdcMode::Pmt32Foa6, false));
    s.acq.Stop();
}

TEST(Acquisition, SavingUsesTheRecordingsOwnLayout)
{
    TempDir dir;
    SimAcquisition s(dir.file("Buffer.log"));
    s.sim->eventLimit = 3000;
    AcquisitionSettings set;
    set.adc = AdcMode::Ditto6;
    WriteSettings(set, s.acq.Table);
    s.acq.Start(AdcMode::Ditto6, true);
    WaitFor([&] { return s.acq.Counter() >= 3000; });
    s.acq.Stop();
    const PacketLayout recorded = s.acq.LastRecording().layout;
    // The user changes the ADC mode and watches without logging.
    set.adc = AdcMode::Pmt32Foa6;
    WriteSettings(set, s.acq.Table);
    s.acq.Start(AdcMode::Pmt32Foa6, false);
    s.acq.Stop();
    EXPECT_EQ(s.acq.Layout().adc, AdcMode::Pmt32Foa6);
    EXPECT_EQ(s.acq.LastRecording().layout.adc, AdcMode::Ditto6);

    const std::string out = dir.file("ditto.LMD");
    ASSERT_EQ(SaveAcquisitionLmd(out, s.acq.LastRecording(), {"FS", "SS", "FL1", "FL2", "FL3", "FL4", "W"}), 3000);
    Reopened r = Reopen(out);
    // The display run since has replaced the simulator's record: the buffer file is the reference.
    std::vector<uint16_t> words(fs::file_size(dir.file("Buffer.log")) / 2);
    std::ifstream in(dir.file("Buffer.log"), std::ios::binary);
    in.read(reinterpret_cast<char*>(words.data()), std::streamsize(words.size() * 2));
    const auto rows = Decoded(words, recorded);
    ASSERT_EQ(rows.size(), 3000u);
    const int D = int(rows[0].size());
    EXPECT_EQ(D, 45) << "44 channels and the boxcar width";
    EXPECT_EQ(r.key("$PAR"), std::to_string(D));
    EXPECT_EQ(r.key("$P38N"), "ch38");
    EXPECT_EQ(r.key("$P39N"), "FS");
    EXPECT_EQ(r.key("$P45N"), "W");
    // Fluorescence block (values 38-43) before the scatter block (32-37).
    for (int e : {0, 1234, 2999}) {
        const auto& v = rows[size_t(e)];
        EXPECT_EQ(r.at(e, 31), v[31]);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(r.at(e, 32 + i), v[size_t(38 + i)]);
            EXPECT_EQ(r.at(e, 38 + i), v[size_t(32 + i)]);
        }
        EXPECT_EQ(r.at(e, 44), v[44]);
    }
}

TEST(Acquisition, EventLimitShowsAndSavesAtMostTheLimit)
{
    TempDir dir;
    SimAcquisition s(dir.file("Buffer.log"));
    s.acq.Start(AdcMode::Pmt32Foa6, true, 5000);
    WaitFor([&] { return s.acq.Counter() >= 6000; });
    s.acq.Stop();
    ASSERT_GE(s.acq.Counter(), 6000);
    EXPECT_EQ(s.acq.ShownCounter(), 5000);
    const std::string out = dir.file("limit.LMD");
    EXPECT_EQ(SaveAcquisitionLmd(out, s.acq.LastRecording(), {}), 5000);
    EXPECT_EQ(Reopen(out).key("$TOT"), "5000");
}

TEST(Acquisition, SavingNeedsAStoppedUnsavedRecording)
{
    TempDir dir;
    SimAcquisition s(dir.file("Buffer.log"));
    try {
        s.acq.CheckCanSave("Stop Acquisition before saving");
        ADD_FAILURE() << "saving before any recording";
    } catch (const OrvalaError& e) {
        EXPECT_STREQ(e.what(), "Nothing to save");
    }
    s.acq.Start(AdcMode::Pmt32Foa6, false);
    s.acq.Stop();
    try {
        s.acq.CheckCanSave("Stop Acquisition before saving");
        ADD_FAILURE() << "a display run records nothing";
    } catch (const OrvalaError& e) {
        EXPECT_STREQ(e.what(), "Nothing to save");
    }
    EXPECT_FALSE(fs::exists(dir.file("Buffer.log"))) << "display mode writes no buffer file";
    s.acq.Start(AdcMode::Pmt32Foa6, true);
    try {
        s.acq.CheckCanSave("Stop Acquisition before saving");
        ADD_FAILURE() << "saving while running";
    } catch (const OrvalaError& e) {
        EXPECT_STREQ(e.what(), "Stop Acquisition before saving");
    }
    s.acq.Stop();
    EXPECT_NO_THROW(s.acq.CheckCanSave("Stop Acquisition before saving"));
}

TEST(Acquisition, DisplayModeShowsTheNewestEvent)
{
    TempDir dir;
    SimAcquisition s(dir.file("Buffer.log"));
    s.acq.Start(AdcMode::Pmt32Foa6, false);
    std::vector<double> v;
    WaitFor([&] { return s.acq.Counter() >= 2000; });
    ASSERT_TRUE(s.acq.LatestEvent(v));
    s.acq.Stop();
    ASSERT_EQ(v.size(), 39u);
    // The simulator's events are Gaussian peaks above a 100-count floor.
    // The simulator sends no negative value: a sign word read as a magnitude
    // (packet layout and decoder apart) would show as one.
    double sum = 0;
    for (int i = 0; i < 38; ++i) {
        EXPECT_GE(v[size_t(i)], 0) << i;
        sum += v[size_t(i)];
    }
    EXPECT_GT(sum, 38 * 50 * 560.0 / 16384.0);
    EXPECT_DOUBLE_EQ(v[38], 15.0) << "boxcar width: 1500 ticks of 10 ns";
}

TEST(HyperCytSave, FloatAndCompatibleLayouts)
{
    TempDir dir;
    PacketLayout l;  // 38 channels, time stamp, no boxcar: "Internal" trigger
    l.timeStamp = 1;
    l.boxcar = 0;
    // Magnitude 65535 is 2240 after scaling; stamps cross the 32-bit wrap.
    const uint32_t start = 0xFFFFFFFFu - 1000000;  // 0.1 s before the wrap
    std::vector<std::vector<uint16_t>> packets = {
        MakePacket(l, 65535, start, 0),
        MakePacket(l, 0, 0, 0, false),  // a status packet, not an event
        MakePacket(l, 6554, start + 123400000u, 0),  // 12.34 s later, after the wrap
        MakePacket(l, 0, start + 200000000u, 0),
    };
    WriteBuffer(dir.file("Buffer.log"), packets);
    Recording rec{dir.file("Buffer.log"), l, 0};

    const std::string fl = dir.file("float.LMD");
    EXPECT_EQ(SaveHyperCytLmd(fl, rec, false, 0.1), 3);
    Reopened f = Reopen(fl);
    EXPECT_EQ(f.key("$PAR"), "7");
    const char* names[] = {"FS", "SS", "FL1", "FL2", "FL3", "FL4", "Time"};
    for (int j = 0; j < 7; ++j)
        EXPECT_EQ(f.key("$P" + std::to_string(j + 1) + "N"), names[j]);
    EXPECT_EQ(f.key("$P7E"), "0,0");
    ASSERT_EQ(f.events(), 3);
    EXPECT_FLOAT_EQ(float(f.at(0, 0)), 2240.0f - 560.0f / 16384.0f);
    EXPECT_NEAR(f.at(1, 6) - f.at(0, 6), 12.34, 1e-4) << "the wrap is unwrapped";

    const std::string cp = dir.file("compat.LMD");
    EXPECT_EQ(SaveHyperCytLmd(cp, rec, true, 0.1), 3);
    Reopened c = Reopen(cp);
    EXPECT_EQ(c.key("$DATATYPE"), "I");
    EXPECT_EQ(c.key("$PAR"), "7") << "no boxcar width in internal trigger mode";
    EXPECT_EQ(c.key("$P1N"), "FS Log");
    EXPECT_EQ(c.key("$P1B"), "16");
    EXPECT_EQ(c.key("$P1R"), "1024");
    EXPECT_EQ(c.key("$P1E"), "4.0,0.01");
    EXPECT_EQ(c.key("$P7B"), "32");
    EXPECT_EQ(c.key("$P7R"), "2147483647");
    EXPECT_EQ(c.key("$TOT"), "3");
    ASSERT_EQ(c.events(), 3);
    // 65535 * 560/16384 is just below 2240.
    EXPECT_EQ(c.at(0, 0), HyperCytLogChannel(65535 * 560.0 / 16384.0));
    EXPECT_EQ(c.at(0, 0), 1023);
    EXPECT_EQ(c.at(1, 0), HyperCytLogChannel(6554 * 560.0 / 16384.0));
    EXPECT_EQ(c.at(2, 0), 0);
    EXPECT_EQ(c.at(0, 6), 0) << "time counts from the first event";
    EXPECT_EQ(c.at(1, 6), 123);
    EXPECT_EQ(c.at(2, 6), 200);

    // An event limit keeps the first events.
    rec.maxEvents = 2;
    EXPECT_EQ(SaveHyperCytLmd(cp, rec, true, 0.1), 2);
    EXPECT_EQ(Reopen(cp).key("$TOT"), "2");
}

TEST(HyperCytSave, WideLayoutsAndTooFewChannels)
{
    TempDir dir;
    PacketLayout wide;
    wide.groups[0] = wide.groups[1] = wide.groups[2] = wide.groups[3] = 16;
    wide.timeStamp = 1;
    wide.boxcar = 1;
    WriteBuffer(dir.file("Buffer.log"), {MakePacket(wide, 100, 50, 250), MakePacket(wide, 200, 60, 5000)});
    Recording rec{dir.file("Buffer.log"), wide, 0};

    const std::string fl = dir.file("wide.LMD");
    EXPECT_EQ(SaveHyperCytLmd(fl, rec, false, 0.1), 2);
    Reopened f = Reopen(fl);
    EXPECT_EQ(f.key("$PAR"), "34") << "64 channels, time and width, from value 33 on";
    EXPECT_EQ(f.key("$P7N"), "ch6") << "value 38 is a channel here";
    EXPECT_EQ(f.key("$P33N"), "Time");
    EXPECT_EQ(f.key("$P34N"), "BW");

    const std::string cp = dir.file("wide-compat.LMD");
    EXPECT_EQ(SaveHyperCytLmd(cp, rec, true, 0.1), 2);
    Reopened c = Reopen(cp);
    EXPECT_EQ(c.key("$PAR"), "8") << "the compatible layout has eight parameters";
    EXPECT_EQ(c.key("$P7N"), "Time");
    EXPECT_EQ(c.key("$P8N"), "BW");
    EXPECT_EQ(c.key("$P9N"), "");
    ASSERT_EQ(c.events(), 2);
    EXPECT_EQ(c.at(1, 6), 0) << "10 ticks of 100 ns is 1 us: 0 in units of 0.1 s";
    EXPECT_EQ(c.at(0, 7), HyperCytWidthChannel(2.5));
    EXPECT_EQ(c.at(1, 7), 512) << "50 us of width is 511.5, to even";

    PacketLayout narrow;
    narrow.groups[0] = 6;
    narrow.groups[1] = narrow.groups[2] = narrow.groups[3] = 0;
    narrow.timeStamp = 1;
    WriteBuffer(dir.file("narrow.log"), {MakePacket(narrow, 1, 1, 0)});
    Recording small{dir.file("narrow.log"), narrow, 0};
    EXPECT_THROW(SaveHyperCytLmd(dir.file("n.LMD"), small, true, 0.1), OrvalaError);
    EXPECT_FALSE(fs::exists(dir.file("n.LMD")));
    small.layout.adc = AdcMode::Ditto6;
    EXPECT_THROW(SaveAcquisitionLmd(dir.file("n.LMD"), small, {}), OrvalaError);
}

TEST(Acquisition, OpeningWithoutAnInstrumentSaysSo)
{
    TempDir dir;
    auto* sim = new SimTransport(1);
    sim->faults.open = SimTransport::OpenFault::NoDevice;
    Acquisition acq(std::unique_ptr<HidTransport>(sim), dir.file("Buffer.log"));
    try {
        acq.Open();
        ADD_FAILURE();
    } catch (const OrvalaError& e) {
        EXPECT_STREQ(e.what(), "iQSP Initialization Failed, iQSP Not Detected");
    }
    EXPECT_THROW(acq.Start(AdcMode::Pmt32Foa6, true), OrvalaError);
    EXPECT_FALSE(acq.Running());
    EXPECT_FALSE(acq.DataNotSaved) << "no recording was started";
}
