// The packet decoder: packet length, block order of the groups, sign words,
// time stamp and boxcar width, the R layout, the flip, and the file reader.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "common/TempDir.h"
#include "core/Messages.h"
#include "formats/TiQSPDecoder.h"

using namespace orvala;

namespace {

constexpr double Unit = 560.0 / 16384.0;

struct LengthCase {
    const char* label;
    uint16_t n[4];
    uint16_t R, ts, bw;
    int packetLength, paramCount;
};

TEST(TiQSPDecoder, PacketLengthAndValueCount)
{
    const LengthCase cases[] = {
        {"32 channels", {32, 0, 0, 0}, 0, 0, 0, 74, 32},
        {"32 + 6 channels", {32, 6, 0, 0}, 0, 0, 0, 88, 38},
        {"R layout", {32, 0, 0, 0}, 1, 0, 0, 82, 32},
        {"time and boxcar", {30, 6, 0, 0}, 0, 1, 1, 92, 38},
        {"all four groups, 9 each", {9, 9, 9, 9}, 1, 1, 0, 2 * (1 + 36 + 8 * 2 + 2), 37},
        {"no channels", {0, 0, 0, 0}, 0, 0, 0, 2, 0},
    };
    for (const LengthCase& c : cases) {
        const TiQSPDecoder dec(c.n[0], c.n[1], c.n[2], c.n[3], c.R, c.ts, c.bw, 100, false);
        EXPECT_EQ(dec.PacketLength, c.packetLength) << c.label;
        EXPECT_EQ(dec.ParamCount, c.paramCount) << c.label;
        EXPECT_EQ(int(dec.tmpdbl.size()), c.paramCount) << c.label;
    }
}

TEST(TiQSPDecoder, SignWordNegatesTheFlaggedValuesOfItsBlock)
{
    // Eight magnitudes 1..8, sign word 0x0005: values 0 and 2 are negative.
    const uint16_t packet[] = {0x8001, 1, 2, 3, 4, 5, 6, 7, 8, 0x0005};
    const TiQSPDecoder dec(8, 0, 0, 0, 0, 0, 0, 0, false);
    double out[8];
    uint16_t header = 0;
    dec.Convert(packet, out, header);
    EXPECT_EQ(header, 0x8001);
    const double expected[8] = {-1, 2, -3, 4, 5, 6, 7, 8};
    for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(out[i], expected[i] * Unit) << i;
}

TEST(TiQSPDecoder, GroupsInterleaveInBlocksOfEight)
{
    // Counts (32, 6, 0, 0), laid out by hand: g0 1-8, sign, g1 1-6, sign,
    // g0 9-16, sign, g0 17-24, sign, g0 25-32, sign. Magnitudes say where they come from.
    std::vector<uint16_t> p = {0x8000};
    auto block = [&](int group, int from, int count, uint16_t sign) {
        for (int i = 0; i < count; ++i) p.push_back(uint16_t(100 * group + from + i));
        p.push_back(sign);
    };
    block(0, 1, 8, 0);
    block(1, 1, 6, 0x0001);  // group 1 channel 1 negative
    block(0, 9, 8, 0);
    block(0, 17, 8, 0x0080);  // group 0 channel 24 negative
    block(0, 25, 8, 0);
    const TiQSPDecoder dec(32, 6, 0, 0, 0, 0, 0, 0, false);
    ASSERT_EQ(int(p.size()) * 2, dec.PacketLength);
    std::vector<double> out(38);
    uint16_t header = 0;
    dec.Convert(p.data(), out.data(), header);
    std::vector<double> expected;
    for (int c = 1; c <= 8; ++c) expected.push_back(c);
    for (int c = 1; c <= 6; ++c) expected.push_back(c == 1 ? -101 : 100 + c);
    for (int c = 9; c <= 32; ++c) expected.push_back(c == 24 ? -24 : c);
    for (int i = 0; i < 38; ++i) EXPECT_DOUBLE_EQ(out[size_t(i)], expected[size_t(i)] * Unit) << "value " << i;
}

TEST(TiQSPDecoder, TimeStampBoxcarRLayoutAndFlip)
{
    // 30 channels in the R layout (a junk word after every sign word), time
    // stamp and boxcar width: 32 values, so the flip reverses all of them.
    std::vector<uint16_t> p = {0x8000};
    for (int from = 0; from < 30; from += 8) {
        const int k = std::min(8, 30 - from);
        for (int i = 0; i < k; ++i) p.push_back(uint16_t(from + i + 1));
        p.push_back(0);
        p.push_back(0xFFFF);  // the R word: never a value or a sign
    }
    p.insert(p.end(), {0x0002, 0x0001});  // time stamp 65538 ticks
    p.insert(p.end(), {0x0010, 0x0000});  // boxcar width 16
    for (bool flip : {false, true}) {
        const TiQSPDecoder dec(30, 0, 0, 0, 1, 1, 1, 250, flip);
        ASSERT_EQ(int(p.size()) * 2, dec.PacketLength);
        std::vector<double> out(32);
        uint16_t header = 0;
        dec.Convert(p.data(), out.data(), header);
        std::vector<double> expected;
        for (int c = 1; c <= 30; ++c) expected.push_back(c * Unit);
        expected.push_back(65538.0 * 250e-8);
        expected.push_back(16 * 0.01);
        if (flip) std::reverse(expected.begin(), expected.end());
        for (int i = 0; i < 32; ++i) EXPECT_DOUBLE_EQ(out[size_t(i)], expected[size_t(i)]) << "flip " << flip << " value " << i;
    }
}

TEST(TiQSPDecoder, FlipNeedsThirtyTwoValues)
{
    const uint16_t packet[] = {0, 1, 2, 3, 0};
    const TiQSPDecoder dec(3, 0, 0, 0, 0, 0, 0, 0, true);
    double out[3];
    uint16_t header = 0;
    dec.Convert(packet, out, header);
    EXPECT_DOUBLE_EQ(out[0], 1 * Unit);
    EXPECT_DOUBLE_EQ(out[2], 3 * Unit);
}

TEST(TiQSPDecoder, BigEndianAndSinglePrecisionAgreeWithConvert)
{
    TiQSPDecoder dec(20, 13, 0, 7, 1, 1, 1, 12345, true);
    std::mt19937 rng(7);
    std::vector<uint16_t> words(size_t(dec.PacketLength / 2));
    for (auto& w : words) w = uint16_t(rng());
    std::vector<uint8_t> be;
    for (uint16_t w : words) be.insert(be.end(), {uint8_t(w >> 8), uint8_t(w & 0xFF)});
    std::vector<double> a(size_t(dec.ParamCount)), b(size_t(dec.ParamCount));
    std::vector<float> f(size_t(dec.ParamCount));
    uint16_t header = 0;
    dec.Convert(words.data(), a.data(), header);
    dec.ConvertBigEndian(be.data(), b.data());
    dec.Convert(words.data(), f.data(), header);
    for (int i = 0; i < dec.ParamCount; ++i) {
        EXPECT_EQ(a[size_t(i)], b[size_t(i)]) << i;
        EXPECT_EQ(f[size_t(i)], float(a[size_t(i)])) << i;
    }
}

TEST(TiQSPDecoder, AsMatrixTakesSelectedValuesOfEventPackets)
{
    orvala::test::TempDir dir;
    // Two channels; headers 0x8000 and 0x9FFF are events, 0xA000 and 0x0001 are not;
    // a partial packet at the end is ignored.
    const std::vector<std::vector<uint16_t>> packets = {
        {0x8000, 10, 20, 0}, {0xA000, 11, 21, 0}, {0x9FFF, 12, 22, 2}, {0x0001, 13, 23, 0}};
    std::string bytes;
    for (const auto& p : packets) bytes.append(reinterpret_cast<const char*>(p.data()), p.size() * 2);
    bytes.append(3, '\x80');
    const std::string path = dir.write("buffer.log", bytes);

    TiQSPDecoder dec(2, 0, 0, 0, 0, 0, 0, 0, false);
    TSingleMatrix m;
    int events = -1;
    dec.AsMatrix(path, TBoolVector{0, 1}, m, events);
    EXPECT_EQ(events, 2);
    ASSERT_EQ(m.size(), 1u);
    ASSERT_EQ(m[0].size(), 2u);
    EXPECT_FLOAT_EQ(m[0][0], float(20 * Unit));
    EXPECT_FLOAT_EQ(m[0][1], float(-22 * Unit));

    dec.AsMatrix(path, TBoolVector{1, 1}, m, events);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_FLOAT_EQ(m[0][1], float(12 * Unit));

    // A selection that does not match the packet is refused, not read past.
    for (const TBoolVector& bad : {TBoolVector{1}, TBoolVector{1, 1, 1}})
        EXPECT_THROW(dec.AsMatrix(path, bad, m, events), OrvalaError);
    EXPECT_THROW(dec.AsMatrix(dir.file("missing.log"), TBoolVector{1, 1}, m, events), OrvalaError);
}

}  // namespace
