// Instrument logs written here from their layouts: the iQSP-480 log (table,
// packet length, names, block order) and the 32-channel log (header length,
// skip count, scale), their short and damaged forms, and the event limit.
#include <gtest/gtest.h>

#include <memory>

#include "common/TempDir.h"
#include "core/TData.h"
#include "formats/ByteSource.h"
#include "formats/FcsOpen.h"
#include "formats/TextLogOpen.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

using orvala::test::TempDir;
constexpr double Unit = 560.0 / 16384.0;

void putBE(std::string& s, uint16_t w)
{
    s += char(w >> 8);
    s += char(w & 0xFF);
}

struct IqspConfig {
    uint16_t counts[4] = {};
    bool T = false;
    uint32_t resolution = 0;
    bool X = false;
    uint16_t E = 0;
    bool R = false;
    bool W = false;
};

// Signature, 52 unread bytes, then the 2000-word table, big-endian.
std::string iqspHead(const IqspConfig& c)
{
    std::string s = "Vtech iQSP-480";
    s.resize(66, '#');
    std::vector<uint16_t> table(2000, 0);
    for (int g = 0; g < 4; ++g) table[size_t(3 + g)] = c.counts[g];
    table[72] = c.T;
    table[74] = uint16_t(c.resolution & 0xFFFF);
    table[75] = uint16_t(c.resolution >> 16);
    table[76] = c.X;
    table[77] = c.E;
    table[82] = c.R;
    table[91] = c.W;
    for (uint16_t w : table) putBE(s, w);
    return s;
}

// One packet: channel values per group (signed magnitudes), laid out in blocks
// of eight group after group, then time, boxcar and extra words.
std::string iqspPacket(const IqspConfig& c, const std::vector<std::vector<int>>& groups, uint32_t time = 0,
                       uint32_t box = 0)
{
    std::string s;
    putBE(s, 0x8000);
    size_t at[4] = {};
    for (bool any = true; any;) {
        any = false;
        for (int g = 0; g < 4; ++g) {
            const size_t n = g < int(groups.size()) ? groups[size_t(g)].size() : 0;
            const size_t k = std::min<size_t>(8, n - at[g]);
            if (k == 0) continue;
            any = true;
            uint16_t sign = 0;
            for (size_t i = 0; i < k; ++i) {
                const int v = groups[size_t(g)][at[g] + i];
                putBE(s, uint16_t(std::abs(v)));
                if (v < 0) sign |= uint16_t(1u << i);
            }
            putBE(s, sign);
            if (c.R) putBE(s, 0xFFFF);
            at[g] += k;
        }
    }
    if (c.T) {
        putBE(s, uint16_t(time & 0xFFFF));
        putBE(s, uint16_t(time >> 16));
    }
    if (c.W) {
        putBE(s, uint16_t(box & 0xFFFF));
        putBE(s, uint16_t(box >> 16));
    }
    if (c.X)
        for (int i = 0; i < c.E; ++i) putBE(s, 0x7777);
    return s;
}

std::unique_ptr<TData> openLog(const std::string& path, int limit = 0, TMultiThread* pool = nullptr)
{
    ReadOptions o;
    o.EventLimit = limit;
    return std::unique_ptr<TData>(CreateFromTextOrLog(path, o, pool));
}

std::vector<int> ramp(int n, int from, int step = 1)
{
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(from + i * step);
    return v;
}

TEST(IqspLog, ThirtyTwoChannelsMake74BytePacketsNamedCh0ToCh31)
{
    TempDir dir;
    IqspConfig c;
    c.counts[0] = 32;
    std::string file = iqspHead(c);
    for (int e = 0; e < 3; ++e) {
        const std::string p = iqspPacket(c, {ramp(32, e * 100 + 1)});
        ASSERT_EQ(p.size(), 74u);
        file += p;
    }
    file += std::string(73, '\0');  // a partial last packet
    // The event limit does not apply to this format.
    auto d = openLog(dir.write("run.log", file), 2);
    ASSERT_EQ(d->CaseSize(), 32);
    ASSERT_EQ(d->events(), 3);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(d->Desc()[size_t(i)].name, "Ch" + std::to_string(i));
    EXPECT_DOUBLE_EQ(d->data[2][31], 232 * Unit);
    EXPECT_DOUBLE_EQ(d->data[0][0], 1 * Unit);
}

TEST(IqspLog, CountsThirtyTwoAndSixGiveTheBlockOrder)
{
    TempDir dir;
    IqspConfig c;
    c.counts[0] = 32;
    c.counts[1] = 6;
    std::vector<int> g0 = ramp(32, 1), g1 = ramp(6, 101);
    g0[2] = -3;
    auto d = openLog(dir.write("order.log", iqspHead(c) + iqspPacket(c, {g0, g1})));
    ASSERT_EQ(d->events(), 1);
    ASSERT_EQ(d->CaseSize(), 38);
    std::vector<double> expected;
    for (int i = 0; i < 8; ++i) expected.push_back(g0[size_t(i)]);
    for (int i = 0; i < 6; ++i) expected.push_back(g1[size_t(i)]);
    for (int i = 8; i < 32; ++i) expected.push_back(g0[size_t(i)]);
    for (int i = 0; i < 38; ++i) EXPECT_DOUBLE_EQ(d->data[0][i], expected[size_t(i)] * Unit) << i;
    // 38 parameters: the ring names from parameter 32 on.
    EXPECT_EQ(d->Desc()[31].name, "Ch31");
    EXPECT_EQ(d->Desc()[32].name, "Ring B");
    EXPECT_EQ(d->Desc()[37].name, "SS");
}

TEST(IqspLog, TimeBoxcarAndExtraWords)
{
    struct Case {
        const char* label;
        uint16_t channels;
        bool R;
        const char* timeName;  // name at CaseSize - 2
        const char* boxName;   // name at CaseSize - 1
    };
    // With 38 parameters the ring names replace "Time" and "BW".
    const Case cases[] = {{"30 channels", 30, false, "Time", "BW"},
                          {"36 channels", 36, false, "All Blue", "SS"},
                          {"R layout", 12, true, "Time", "BW"}};
    for (const Case& k : cases) {
        TempDir dir;
        IqspConfig c;
        c.counts[0] = uint16_t(k.channels / 2);
        c.counts[2] = uint16_t(k.channels - k.channels / 2);
        c.T = c.W = c.X = true;
        c.E = 3;
        c.R = k.R;
        c.resolution = 70000;  // both halves of the 32-bit resolution in use
        const std::vector<std::vector<int>> groups = {ramp(c.counts[0], 1), {}, ramp(c.counts[2], 50, -1)};
        std::string file = iqspHead(c) + iqspPacket(c, groups, 0x00030002u, 250) + iqspPacket(c, groups, 5, 7);
        auto d = openLog(dir.write("t.log", file));
        const int n = k.channels + 2;
        ASSERT_EQ(d->CaseSize(), n) << k.label;
        ASSERT_EQ(d->events(), 2) << k.label;
        EXPECT_EQ(d->Desc()[size_t(n - 2)].name, k.timeName) << k.label;
        EXPECT_EQ(d->Desc()[size_t(n - 1)].name, k.boxName) << k.label;
        EXPECT_DOUBLE_EQ(d->data[0][n - 2], double(0x00030002u) * 70000 * 1e-8) << k.label;
        EXPECT_DOUBLE_EQ(d->data[0][n - 1], 2.5) << k.label;
        EXPECT_DOUBLE_EQ(d->data[1][n - 1], 0.07) << k.label;
        EXPECT_DOUBLE_EQ(d->data[1][0], 1 * Unit) << k.label;
    }
}

TEST(IqspLog, LargeLogReadsTheSameOnThePool)
{
    TempDir dir;
    IqspConfig c;
    c.counts[0] = 20;
    c.counts[1] = 9;
    c.T = true;
    c.resolution = 3;
    std::string file = iqspHead(c);
    for (int e = 0; e < 40000; ++e)
        file += iqspPacket(c, {ramp(20, e % 1000, (e % 3) - 1), ramp(9, -(e % 77))}, uint32_t(e) * 7919u);
    const std::string path = dir.write("big.log", file);
    TMultiThread pool(4);
    auto serial = openLog(path);
    auto parallel = openLog(path, 0, &pool);
    ASSERT_EQ(serial->events(), 40000);
    ASSERT_EQ(parallel->events(), 40000);
    for (int e = 0; e < 40000; ++e)
        ASSERT_EQ(0, std::memcmp(serial->data[e], parallel->data[e], sizeof(double) * 30)) << "event " << e;
    EXPECT_DOUBLE_EQ(parallel->data[39999][29], 39999.0 * 7919 * 3e-8);
}

// 32-channel log: header of H bytes, skip count n at H, n words, then records.
std::string channelLog(bool crlf, int16_t n, const std::vector<std::vector<int16_t>>& records)
{
    std::string s = "32 channel log header";
    s.resize(64, ' ');
    if (crlf) {
        s[34] = '\r';
        s[35] = '\n';
        s.resize(62);
    }
    putBE(s, uint16_t(n));
    for (int i = 0; i < n; ++i) putBE(s, 0x5555);
    for (const auto& r : records) {
        putBE(s, 0xABCD);  // the unused word
        for (int16_t v : r) putBE(s, uint16_t(v));
    }
    return s;
}

std::vector<int16_t> record(int16_t from)
{
    std::vector<int16_t> r;
    for (int i = 0; i < 32; ++i) r.push_back(int16_t(from - i));
    return r;
}

TEST(ChannelLog, HeaderLengthFollowsTheLineEndAtBytes34And35)
{
    for (bool crlf : {false, true}) {
        TempDir dir;
        std::string file = channelLog(crlf, 3, {record(5), record(-100)});
        file += std::string(65, '\0');  // a partial record
        auto d = openLog(dir.write("c.log", file));
        ASSERT_EQ(d->CaseSize(), 32) << crlf;
        ASSERT_EQ(d->events(), 2) << crlf;
        EXPECT_EQ(d->Desc()[0].name, "Ch1");
        EXPECT_EQ(d->Desc()[31].name, "Ch32");
        EXPECT_DOUBLE_EQ(d->data[0][0], 5 * 0.016785) << crlf;
        EXPECT_DOUBLE_EQ(d->data[0][31], -26 * 0.016785) << crlf;
        EXPECT_DOUBLE_EQ(d->data[1][3], -103 * 0.016785) << crlf;
    }
}

TEST(ChannelLog, EventLimitCapsTheRecords)
{
    TempDir dir;
    std::vector<std::vector<int16_t>> records;
    for (int e = 0; e < 40000; ++e) records.push_back(record(int16_t(e % 30000)));
    const std::string path = dir.write("c.log", channelLog(false, 0, records));
    TMultiThread pool(3);
    struct Case {
        int limit;
        int events;
    };
    for (const Case k : {Case{0, 40000}, Case{25, 25}, Case{39999, 39999}, Case{50000, 40000}}) {
        auto d = openLog(path, k.limit, &pool);
        ASSERT_EQ(d->events(), k.events) << k.limit;
        EXPECT_DOUBLE_EQ(d->data[k.events - 1][1], ((k.events - 1) % 30000 - 1) * 0.016785) << k.limit;
    }
}

TEST(LogReaders, ShortAndDamagedFilesGiveNoEvents)
{
    IqspConfig c;
    c.counts[0] = 32;
    const std::string head = iqspHead(c);
    std::string beyond = channelLog(false, 0, {record(1)});
    beyond[64] = char(0x07);  // 2000 words to skip, but one record follows
    beyond[65] = char(0xD0);
    struct Case {
        const char* label;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"signature only", "Vtech iQSP-480"},
        {"table cut short", head.substr(0, 4000)},
        {"table, no packet", head},
        {"table and 73 bytes", head + std::string(73, '\x01')},
        {"no channels", iqspHead(IqspConfig{}) + std::string(500, '\x01')},
        {"32-channel header cut", channelLog(false, 0, {}).substr(0, 40)},
        {"32-channel header, no record", channelLog(false, 0, {})},
        {"skip count beyond the file", beyond},
        // A negative skip count would put the data start inside the header.
        {"negative skip count", channelLog(false, -20, {record(1), record(2)})},
    };
    for (const Case& k : cases) {
        TempDir dir;
        const std::string path = dir.write("short.log", k.bytes);
        auto d = openLog(path);
        EXPECT_EQ(d->events(), 0) << k.label;
        RecordingSink sink;
        EXPECT_EQ(TryOpenFile(path, 0, sink, nullptr), nullptr) << k.label;
    }
}

TEST(LogReaders, UnreadableFileRaises)
{
    TempDir dir;
    EXPECT_THROW(openLog(dir.file("absent.log")), OrvalaError);
}

}  // namespace
