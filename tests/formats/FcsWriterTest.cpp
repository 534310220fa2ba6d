// The writer is checked against a small independent FCS 3.0 reader written
// here from the file layout (HEADER fields, delimited TEXT with doubled
// delimiters, little-endian float DATA), not against our own reader.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "formats/TFCSWrite.h"

using namespace orvala;
namespace fs = std::filesystem;

namespace {

using orvala::test::slurp;
using orvala::test::TempDir;

struct Parsed {
    long long textStart, textEnd, dataStart, dataEnd;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::map<std::string, std::string> kw;
    std::vector<float> values;
};

Parsed parse(const std::string& bytes)
{
    Parsed p;
    auto field = [&](int at) { return std::stoll(bytes.substr(size_t(at), 8)); };
    EXPECT_EQ(bytes.substr(0, 10), "FCS3.0    ");
    p.textStart = field(10);
    p.textEnd = field(18);
    p.dataStart = field(26);
    p.dataEnd = field(34);
    const char delim = bytes[size_t(p.textStart)];
    std::string token;
    std::vector<std::string> tokens;
    for (long long i = p.textStart + 1; i <= p.textEnd; ++i) {
        const char c = bytes[size_t(i)];
        if (c == delim && i + 1 <= p.textEnd && bytes[size_t(i + 1)] == delim) {
            token += c;
            ++i;
        } else if (c == delim) {
            tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    for (size_t i = 0; i + 1 < tokens.size(); i += 2) {
        p.pairs.emplace_back(tokens[i], tokens[i + 1]);
        p.kw[tokens[i]] = tokens[i + 1];
    }
    const long long begin = std::stoll(p.kw["$BEGINDATA"]), end = std::stoll(p.kw["$ENDDATA"]);
    if (p.dataStart == 0) p.dataStart = begin;  // offsets beyond the HEADER's 8 digits
    if (p.dataEnd == 0) p.dataEnd = end;
    EXPECT_EQ(begin, p.dataStart);
    EXPECT_EQ(end, p.dataEnd);
    const long long n = (p.dataEnd - p.dataStart + 1) / 4;
    p.values.resize(size_t(n));
    std::memcpy(p.values.data(), bytes.data() + p.dataStart, size_t(n) * 4);
    return p;
}

}  // namespace

TEST(FcsWriter, SmallDataSetLayout)
{
    TempDir tmp;
    DataRef d(TData::Create("A", 3, 10));
    for (int e = 0; e < 10; ++e)
        for (int c = 0; c < 3; ++c) d->data[e][c] = e * 1.25 - c * 0.1;
    d->Desc()[0].name = "FSC";
    d->Desc()[1].name = "SSC/A";
    d->Desc()[2].resolution = 1024;
    const std::string file = tmp.file("out.fcs");
    SaveAsFCS(*d, file);
    const std::string bytes = slurp(file);
    const Parsed p = parse(bytes);

    EXPECT_EQ(p.textStart, 256);
    EXPECT_EQ(p.dataStart % 256, 0);
    EXPECT_GT(p.dataStart, p.textEnd);
    EXPECT_EQ(p.dataEnd - p.dataStart + 1, 120);
    EXPECT_EQ(long(bytes.size()), p.dataEnd + 1);
    // The HEADER's TEXT end is the actual end of the TEXT segment: the last
    // delimiter, followed only by blanks up to DATA.
    EXPECT_EQ(bytes[size_t(p.textEnd)], '/');
    for (long long i = p.textEnd + 1; i < p.dataStart; ++i) ASSERT_EQ(bytes[size_t(i)], ' ');
    EXPECT_NE(bytes.find("SSC//A"), std::string::npos);

    EXPECT_EQ(p.kw.at("$DATATYPE"), "F");
    EXPECT_EQ(p.kw.at("$BYTEORD"), "1,2,3,4");
    EXPECT_EQ(p.kw.at("$TOT"), "10");
    EXPECT_EQ(p.kw.at("$PAR"), "3");
    EXPECT_EQ(p.kw.at("$P2N"), "SSC/A");
    EXPECT_EQ(p.kw.at("$P1R"), "2240");
    EXPECT_EQ(p.kw.at("$P3R"), "1024");
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(p.kw.at("$P" + std::to_string(n) + "E"), "0,0");
    EXPECT_EQ(p.pairs[0].first, "$DATATYPE");
    ASSERT_EQ(p.values.size(), 30u);
    for (int e = 0; e < 10; ++e)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(p.values[size_t(e * 3 + c)], float(d->data[e][c]));
}

TEST(FcsWriter, EmptyKeysAndValuesAreOneBlank)
{
    TPreText t;
    t.keys = {"A", ""};
    t.Values = {"", "x/y"};
    EXPECT_EQ(TFCSWrite::TextSegment(t), "/A/ / /x//y/");
}

TEST(FcsWriter, ChannelConversion)
{
    struct Case {
        int bits;
        bool log;
        double full, v;
        uint32_t expected;
    };
    const Case cases[] = {
        {10, false, 1000, 500, 512},   // 511.5 rounds to even
        {10, false, 1000, -3, 0},      {10, false, 1000, 2000, 1023}, {10, false, 0, 5, 0},
        {10, true, 1000, 1000, 1023},  // full scale maps to the top
        {10, true, 1000, 0, 0},        {10, true, 1000, -1, 0},
        {10, true, 1000, 1000.0 / 9999 * 9, 256},  // one decade of four: round(1023/4)
        {16, false, 65535, 65535, 65535},
    };
    for (const Case& c : cases) EXPECT_EQ(ChannelValue(c.bits, c.log, c.full, c.v), c.expected) << c.v;
}

TEST(FcsWriter, FailedSaveKeepsThePreviousFile)
{
    TempDir tmp;
    const std::string file = tmp.file("keep.fcs");
    std::ofstream(file) << "previous";
    {
        TFCSWrite w(file);
        w.Text.Add("$PAR", "1");
        w.BeginData();
        w.WriteData(int32_t(1));
        // destroyed without EndData: as if the save failed half-way
    }
    EXPECT_EQ(slurp(file), "previous");
    EXPECT_FALSE(fs::exists(file + ".part"));
    EXPECT_THROW(TFCSWrite(tmp.file("no/such/dir/x.fcs")), OrvalaError);
}

TEST(FcsWriter, OffsetsBeyondTheHeaderFieldsGoToTextKeywords)
{
    // 105 MB of DATA: the DATA end no longer fits 8 digits.
    TempDir tmp;
    const int events = 1'650'000, params = 16;
    DataRef d(TData::Create("Big", params, events));
    for (int e = 0; e < events; e += 1000) d->data[e][e % params] = e;
    d->data[events - 1][params - 1] = 42.5;
    const std::string file = tmp.file("big.fcs");
    SaveAsFCS(*d, file);
    const std::string bytes = slurp(file);
    const Parsed p = parse(bytes);
    EXPECT_EQ(bytes.substr(34, 8), "       0");  // DATA end in the HEADER
    EXPECT_EQ(p.dataEnd - p.dataStart + 1, int64_t(events) * params * 4);
    EXPECT_GT(p.dataEnd, 99'999'999);
    EXPECT_EQ(p.values.back(), 42.5f);
    EXPECT_EQ(p.values[size_t(999'000) * params + (999'000 % params)], 999000.0f);
}

TEST(TextExport, AsIsAndScaled)
{
    TempDir tmp;
    DataRef d(TData::Create("A", 3, 2));
    d->Desc()[0].name = "FSC";
    d->Desc()[1].name = "SSC";
    d->Desc()[2].name = "FL1";
    const double values[2][3] = {{-5, 0, 0.1}, {5, 1e20, 1.0 / 3}};
    for (int e = 0; e < 2; ++e)
        for (int c = 0; c < 3; ++c) d->data[e][c] = values[e][c];
    d->data[1][1] = 5;
    const std::string asIs = tmp.file("a.txt");
    SaveAsTXT(*d, asIs, false);
    EXPECT_EQ(slurp(asIs), "FSC\tSSC\tFL1\r\n-5\t0\t0.1\r\n5\t5\t0.333333333333333\r\n");
    const std::string scaled = tmp.file("s.txt");
    SaveAsTXT(*d, scaled, true);
    // -5 -> 0, 0 -> 512 (511.5 to even), 5 -> 1023
    EXPECT_EQ(slurp(scaled), "FSC\tSSC\tFL1\r\n0\t512\t522\r\n1023\t1023\t546\r\n");

    d->data[0][0] = 1e20;
    SaveAsTXT(*d, asIs, false);
    EXPECT_NE(slurp(asIs).find("1e+20\t0\t0.1"), std::string::npos);

    DataRef flat(TData::Create("F", 2, 2));
    SaveAsTXT(*flat, scaled, true);
    EXPECT_EQ(slurp(scaled), "Ch1\tCh2\r\n0\t0\r\n0\t0\r\n");
}

TEST(TextExport, ScaledKeepsNonFiniteValuesAndTakesTheRangeOfTheFiniteOnes)
{
    // A NaN used to be cast to an integer, and could also end up as the range's
    // minimum or maximum depending on where it stood.
    TempDir tmp;
    DataRef d(TData::Create("A", 2, 3));
    const double nan = std::nan(""), inf = HUGE_VAL;
    const double values[3][2] = {{nan, -10}, {10, inf}, {-inf, 0}};
    for (int e = 0; e < 3; ++e)
        for (int c = 0; c < 2; ++c) d->data[e][c] = values[e][c];
    EXPECT_EQ(d->Absmin(), -10);
    EXPECT_EQ(d->Absmax(), 10);
    const std::string scaled = tmp.file("s.txt");
    SaveAsTXT(*d, scaled, true);
    // -10 -> 0, 0 -> 512 (511.5 to even), 10 -> 1023
    EXPECT_EQ(slurp(scaled), "Ch1\tCh2\r\nnan\t0\r\n1023\tinf\r\n-inf\t512\r\n");
}

TEST(TextExport, DecimalPointUnderACommaLocale)
{
    // QApplication adopts the user's locale; numbers must still be written with ".".
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    TempDir tmp;
    DataRef d(TData::Create("A", 2, 1));
    d->data[0][0] = 0.5;
    d->data[0][1] = -1234.25;
    const std::string file = tmp.file("l.txt");
    SaveAsTXT(*d, file, false);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(slurp(file), "Ch1\tCh2\r\n0.5\t-1234.25\r\n");
}

TEST(FcsWriter, ReadBackByOurReader)
{
    TempDir tmp;
    DataRef d(TData::Create("A", 3, 10));
    for (int e = 0; e < 10; ++e)
        for (int c = 0; c < 3; ++c) d->data[e][c] = e * 0.1 - c * 1000.5;
    d->Desc()[1].name = "SSC/A";
    const std::string file = tmp.file("round.fcs");
    SaveAsFCS(*d, file);
    DataRef back(TData::TryOpen(file, 0));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->events(), 10);
    ASSERT_EQ(back->CaseSize(), 3);
    EXPECT_EQ(back->Desc()[1].name, "SSC/A");
    EXPECT_EQ(back->Desc()[0].resolution, 2240);
    for (int e = 0; e < 10; ++e)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(back->data[e][c], double(float(d->data[e][c])));
}
