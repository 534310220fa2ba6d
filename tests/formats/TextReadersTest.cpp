// Text tables written here: the generic delimited reader under the "File
// Format" choices, the converter's text, rejected rows, the event limit,
// errors that name the line, the parallel split, "." decimals under a
// comma-decimal locale, the choice of reader by extension and the round trip
// of "Save As TXT".
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <memory>
#include <random>

#include "common/TempDir.h"
#include "core/TData.h"
#include "formats/FcsOpen.h"
#include "formats/ReadOptions.h"
#include "formats/TFCSWrite.h"
#include "formats/TextLogOpen.h"
#include "formats/TextTable.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

using orvala::test::TempDir;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

std::unique_ptr<TData> openText(const std::string& path, const TextFormat& format, int limit = 0,
                                TMultiThread* pool = nullptr)
{
    ReadOptions o;
    o.Text = format;
    o.EventLimit = limit;
    return std::unique_ptr<TData>(CreateFromTextOrLog(path, o, pool));
}

TextFormat format(const char* delimiters, bool parnam = false, bool evetnam = false, int line = 1)
{
    TextFormat f;
    f.Tab = false;
    for (const char* p = delimiters; *p; ++p) {
        f.Space |= *p == ' ';
        f.Tab |= *p == '\t';
        f.Comma |= *p == ',';
        f.Colon |= *p == ':';
    }
    f.parnam = parnam;
    f.evetnam = evetnam;
    f.Line = line;
    return f;
}

bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void expectData(const TData& d, const std::vector<std::vector<double>>& rows, const std::string& label)
{
    ASSERT_EQ(d.events(), int(rows.size())) << label;
    for (int e = 0; e < d.events(); ++e) {
        ASSERT_EQ(int(rows[size_t(e)].size()), d.CaseSize()) << label;
        for (int c = 0; c < d.CaseSize(); ++c)
            EXPECT_TRUE(same(d.data[e][c], rows[size_t(e)][size_t(c)]))
                << label << ": event " << e << " parameter " << c << " is " << d.data[e][c];
    }
}

std::vector<std::string> parameterNames(const TData& d)
{
    std::vector<std::string> names;
    for (const auto& p : d.Desc()) names.push_back(p.name);
    return names;
}

struct TextCase {
    const char* label;
    std::string text;
    TextFormat format;
    int limit;
    std::vector<std::string> names;
    std::vector<std::vector<double>> rows;
    std::vector<std::string> eventNames;
};

TEST(DelimitedText, FormatChoicesAndLineRules)
{
    const TextCase cases[] = {
        {"comma only: 1,,2 has two fields", "1,,2\r\n3,4\r\n", format(","), 0, {"Ch1", "Ch2"}, {{1, 2}, {3, 4}}, {}},
        {"delimiter runs and ends", "  1 \t 2  \n\t3\t\t4\t\n", format(" \t"), 0, {"Ch1", "Ch2"}, {{1, 2}, {3, 4}}, {}},
        {"colon", "1:2.5\n", format(":"), 0, {"Ch1", "Ch2"}, {{1, 2.5}}, {}},
        {"lines of another length are passed over", "1\t2\n1\t2\t3\n\n4\n5\t6", format("\t"), 0, {"Ch1", "Ch2"},
         {{1, 2}, {5, 6}}, {}},
        {"blank lines before the first data line", "\n\t\t\n7\t8\n", format("\t"), 0, {"Ch1", "Ch2"}, {{7, 8}}, {}},
        {"MAX, MIN and ERR drop the line", "1\t2\nMAX\t3\n4\tERR\nMIN\tMIN\n5\t6\n", format("\t"), 0,
         {"Ch1", "Ch2"}, {{1, 2}, {5, 6}}, {}},
        {"names row", "FSC-A\tSSC A\n1\t2\n", format("\t", true), 0, {"FSC-A", "SSC A"}, {{1, 2}}, {}},
        {"event names without a names row", "a\t1\t2\nb\t3\t4\nc\t5\n", format("\t", false, true), 0,
         {"Ch1", "Ch2"}, {{1, 2}, {3, 4}}, {"a", "b"}},
        {"names row heads the event-name column", "Cell\tFSC\tSSC\nx\t1\t2\ny\tERR\t0\nz\t3\t4\n",
         format("\t", true, true), 0, {"FSC", "SSC"}, {{1, 2}, {3, 4}}, {"x", "z"}},
        {"start from line 3", "junk\nmore junk here\nA B\n1 2\n", format(" ", true, false, 3), 0, {"A", "B"},
         {{1, 2}}, {}},
        {"limit counts accepted lines", "n1\t1\nn2\tMAX\nn3\t3\nn4\t4\n", format("\t", false, true), 2, {"Ch1"},
         {{1}, {3}}, {"n1", "n3"}},
        {"limit above the count", "1\n2\n", format("\t"), 10, {"Ch1"}, {{1}, {2}}, {}},
        {"numbers: sign, exponent, non-finite, beyond range", "+1.5\t-2e-3\t.5\nnan\tinf\t-inf\n1e400\t-1e400\t1e-400\n",
         format("\t"), 0, {"Ch1", "Ch2", "Ch3"}, {{1.5, -0.002, 0.5}, {NaN, Inf, -Inf}, {Inf, -Inf, 0}}, {}},
        {"no line with fields", "\n\t\t\n\n", format("\t"), 0, {}, {}, {}},
        {"empty file", "", format("\t"), 0, {}, {}, {}},
        {"event names and no parameters", "a\nb\n", format("\t", false, true), 0, {}, {}, {}},
        {"names row without fields", "\n1\t2\n", format("\t", true), 0, {}, {}, {}},
        {"start line beyond the end", "1\t2\n", format("\t", false, false, 5), 0, {}, {}, {}},
        // Where the quick line path hands over to the general one.
        {"CR inside a line and CR runs at its end", "1\r\t2\r\n3\t4\r\r\n\r\n5\t6\r", format("\t"), 0, {"Ch1", "Ch2"},
         {{1, 2}, {3, 4}, {5, 6}}, {}},
        {"blanks around values that are not delimiters", "1, 2\n 3 ,4\t\n", format(","), 0, {"Ch1", "Ch2"},
         {{1, 2}, {3, 4}}, {}},
        {"event name holding a CR", "a\rb\t1\n", format("\t", false, true), 0, {"Ch1"}, {{1}}, {"a\rb"}},
        {"event name last before CR LF", "v\t1\r\nw\t2\t\r\n", format("\t", false, true), 0, {"Ch1"}, {{1}, {2}},
         {"v", "w"}},
    };
    for (const TextCase& k : cases) {
        TempDir dir;
        auto d = openText(dir.write("t.txt", k.text), k.format, k.limit);
        expectData(*d, k.rows, k.label);
        if (!k.rows.empty()) {
            EXPECT_EQ(parameterNames(*d), k.names) << k.label;
        }
        EXPECT_EQ(d->Eventnames, k.eventNames) << k.label;
    }
}

TEST(DelimitedText, ValueThatIsNoNumberNamesFileAndLine)
{
    TempDir dir;
    const std::string path = dir.write("bad.txt", "A\tB\n1\t2\n3\t2,5\n");
    try {
        openText(path, format("\t", true));
        FAIL() << "no error";
    } catch (const OrvalaError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(path), std::string::npos) << what;
        EXPECT_NE(what.find("line 3"), std::string::npos) << what;
        EXPECT_NE(what.find("\"2,5\""), std::string::npos) << what;
    }
    // The limit is reached before the bad line: nothing wrong was read.
    EXPECT_EQ(openText(path, format("\t", true), 1)->events(), 1);
}

// A table of many blocks read on the pool gives what the calling thread alone
// gives; the line of a bad value far down is still named exactly.
TEST(DelimitedText, ParallelReadEqualsSequentialRead)
{
    TempDir dir;
    std::string text = "name\tA\tB\tC\n";
    int accepted = 0;
    for (int e = 0; e < 120000; ++e) {
        if (e % 997 == 5) {
            text += "r" + std::to_string(e) + "\t1\tERR\t3\r\n";
            continue;
        }
        if (e % 1009 == 7) {
            text += "r\t1\t2\n";  // too short: passed over
            continue;
        }
        text += "r" + std::to_string(e) + "\t" + std::to_string(e) + ".25\t-" + std::to_string(e % 1000) + "e-3\t" +
                std::to_string(e * 3) + "\r\n";
        ++accepted;
    }
    const std::string path = dir.write("big.txt", text);
    TMultiThread pool(4);
    const TextFormat f = format("\t", true, true);
    for (int limit : {0, 100000}) {
        auto serial = openText(path, f, limit);
        auto parallel = openText(path, f, limit, &pool);
        const int expected = limit ? std::min(limit, accepted) : accepted;
        ASSERT_EQ(serial->events(), expected);
        ASSERT_EQ(parallel->events(), expected);
        ASSERT_EQ(parallel->Eventnames, serial->Eventnames);
        ASSERT_EQ(int(parallel->Eventnames.size()), expected);
        for (int e = 0; e < expected; ++e)
            ASSERT_EQ(0, std::memcmp(serial->data[e], parallel->data[e], 3 * sizeof(double))) << e;
        EXPECT_EQ(parallel->Eventnames.back(), "r" + std::to_string(int(parallel->data[expected - 1][0])));
    }
    const std::string bad = text + "r\t1\t2\tx3\n";
    const int badLine = 1 + 120000 + 1;
    try {
        openText(dir.write("bad.txt", bad), f, 0, &pool);
        FAIL() << "no error";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("line " + std::to_string(badLine) + ":"), std::string::npos) << e.what();
    }
}

// Lines 1-19 of the converter's text, then the headings on line 20.
std::string converterHead(const std::string& headings)
{
    std::string s = "iQSP Logfile to Textfile Converter\r\n";
    for (int line = 2; line < 20; ++line) s += "info " + std::to_string(line) + "\r\n";
    return s + headings + "\r\n";
}

TEST(ConverterText, ColumnsFromTheSixthAndRejectedRowsZeroed)
{
    const std::string text = converterHead("t\tx\ty\tz\tw\tP1\tP2\tP3") +
                             "1\t2\t3\t4\t5\t10\t20\t30\r\n"
                             "1\t2\t3\t4\t5\t11\t21\tERR\r\n"  // fills two values, then is dropped
                             "1\t2\t3\t4\t5\t12\r\n"           // must not keep the 21
                             "\r\n"
                             "1\t2\t3\r\n"                     // fields, but no values: a row of zeros
                             "1\t2\t3\t4\t5\t13\t23\t33\t99\r\n";
    struct Case {
        int limit;
        std::vector<std::vector<double>> rows;
    };
    const Case cases[] = {{0, {{10, 20, 30}, {12, 0, 0}, {0, 0, 0}, {13, 23, 33}}}, {2, {{10, 20, 30}, {12, 0, 0}}}};
    for (const Case& k : cases) {
        TempDir dir;
        // The "File Format" choices play no part in this format.
        auto d = openText(dir.write("conv.txt", text), format(",", true, true), k.limit);
        expectData(*d, k.rows, "limit " + std::to_string(k.limit));
        EXPECT_EQ(parameterNames(*d), (std::vector<std::string>{"P1", "P2", "P3"}));
        EXPECT_TRUE(d->Eventnames.empty());
    }
}

TEST(ConverterText, HeadingsDecideTheParameters)
{
    std::string many = "a\tb\tc\td\te";
    for (int i = 0; i < 38; ++i) many += "\tp" + std::to_string(i);
    struct Case {
        const char* label;
        std::string text;
        int cases, events;
    };
    const Case cases[] = {
        {"fewer than five headings", converterHead("a\tb\tc") + "1\t2\t3\t4\t5\t6\n", 0, 0},
        {"exactly five headings", converterHead("a\tb\tc\td\te") + "1\t2\t3\t4\t5\t6\n", 0, 0},
        {"file ends before line 20", "iQSP Logfile to Textfile Converter\r\nx\r\n", 0, 0},
        {"38 parameters", converterHead(many) + "1\t2\t3\t4\t5\t6\n", 38, 1},
    };
    for (const Case& k : cases) {
        TempDir dir;
        auto d = openText(dir.write("conv.txt", k.text), format("\t"));
        EXPECT_EQ(d->CaseSize(), k.cases) << k.label;
        EXPECT_EQ(d->events(), k.events) << k.label;
        if (k.cases == 38) {
            EXPECT_EQ(d->Desc()[31].name, "p31");
            EXPECT_EQ(d->Desc()[32].name, "Ring B");
            EXPECT_EQ(d->Desc()[36].name, "All Blue");
            EXPECT_EQ(d->Desc()[37].name, "SS");
            EXPECT_DOUBLE_EQ(d->data[0][0], 6);
        }
    }
}

TEST(TextReaders, ReadWithPointUnderCommaDecimalLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    TempDir dir;
    auto generic = openText(dir.write("g.txt", "1.25\t-0.5e1\n"), format("\t"));
    auto conv = openText(dir.write("c.txt", converterHead("a\tb\tc\td\te\tV") + "0\t0\t0\t0\t0\t3.75\n"), format("\t"));
    std::setlocale(LC_ALL, previous.c_str());
    expectData(*generic, {{1.25, -5}}, "generic");
    expectData(*conv, {{3.75}}, "converter");
}

TEST(TextReaders, ExtensionChoosesTheReaderAndTheFormatIsAskedOnlyForGenericText)
{
    TempDir dir;
    const std::string generic = dir.write("plain.TXT", "A;B\n1;2\n");
    const std::string attached = dir.write("mail.txt.a", "1 2 3\n");
    const std::string conv = dir.write("conv.txt", converterHead("a\tb\tc\td\te\tV") + "0\t0\t0\t0\t0\t1\n");
    const std::string log = dir.write("short.log", "too short");
    EXPECT_TRUE(NeedsTextFormat(generic));
    EXPECT_TRUE(NeedsTextFormat(attached));
    EXPECT_FALSE(NeedsTextFormat(conv));
    EXPECT_FALSE(NeedsTextFormat(log));
    EXPECT_FALSE(NeedsTextFormat(dir.write("x.fcs", "FCS3.0")));

    const ReadOptions saved = readOptions();
    ReadOptions o;
    o.Text = format(" ");
    setReadOptions(o);
    RecordingSink sink;
    std::unique_ptr<TData> a(TryOpenFile(attached, 0, sink, nullptr));
    std::unique_ptr<TData> c(TryOpenFile(conv, 0, sink, nullptr));
    TData* none = TryOpenFile(log, 0, sink, nullptr);
    setReadOptions(saved);
    ASSERT_TRUE(a);
    expectData(*a, {{1, 2, 3}}, "mail.txt.a");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Desc()[0].name, "V");
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(TextReaders, SaveAsTxtReadsBackTheSameValues)
{
    TempDir dir;
    std::unique_ptr<TData> d(TData::Create("table", 4, 5));
    const std::vector<std::string> names = {"FSC-A", "SSC A", "FL1/CD4", "Time"};
    for (int c = 0; c < 4; ++c) d->Desc()[size_t(c)].name = names[size_t(c)];
    const double values[5][4] = {{0, -1.5, 1e-7, 123456789012345},
                                 {0.1, 2.25e300, -3.5e-300, 7},
                                 {NaN, Inf, -Inf, -0.0},
                                 {1.0 / 3, 2.0 / 3, 0.5, -1},
                                 {99999.5, 1e15, 1e16, 12.75}};
    for (int e = 0; e < 5; ++e)
        for (int c = 0; c < 4; ++c) d->data[e][c] = values[e][c];
    const std::string path = dir.file("table.txt");
    SaveAsTXT(*d, path, false);
    auto back = openText(path, format("\t", true));
    ASSERT_EQ(back->events(), 5);
    EXPECT_EQ(parameterNames(*back), names);
    for (int e = 0; e < 5; ++e)
        for (int c = 0; c < 4; ++c) {
            // The text keeps 15 significant digits.
            const double v = values[e][c];
            const double tolerance = std::isfinite(v) ? std::fabs(v) * 1e-14 : 0;
            if (std::isfinite(v))
                EXPECT_NEAR(back->data[e][c], v, tolerance) << e << "," << c;
            else
                EXPECT_TRUE(same(back->data[e][c], v)) << e << "," << c;
        }
    EXPECT_EQ(back->data[0][0], 0.0);
    EXPECT_EQ(back->data[4][3], 12.75);

    // The scaled form reads back as the integers it holds.
    std::unique_ptr<TData> small(TData::Create("small", 1, 3));
    small->data[0][0] = -5;
    small->data[1][0] = 0;
    small->data[2][0] = 5;
    SaveAsTXT(*small, path, true);
    expectData(*openText(path, format("\t", true)), {{0}, {512}, {1023}}, "scaled");
}

// The short-decimal path of the number parser must give exactly what the
// general parser gives, on both sides of its digit limit.
TEST(TextReaders, NumberParserAgreesWithFromChars)
{
    std::mt19937_64 rng(3);
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text.clear();
        if (rng() % 3 == 0) text += '-';
        const int digits = 1 + int(rng() % 18);
        const int point = int(rng() % (digits + 2)) - 1;  // -1: no point
        for (int k = 0; k < digits; ++k) {
            if (k == point) text += '.';
            text += char('0' + rng() % 10);
        }
        if (point == digits) text += '.';
        double expected = 0, got = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_EQ(r.ptr, text.data() + text.size()) << text;
        ASSERT_TRUE(TextTable::ParseNumber(text, got)) << text;
        ASSERT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(expected)) << text;
    }
    double v = 0;
    for (const char* bad : {"", "-", ".", "+", "1.2.3", "1e", "--1", "+-1", "0x10", "1,5", "12a"})
        EXPECT_FALSE(TextTable::ParseNumber(bad, v)) << bad;
}

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

// The quick path for plain decimals gives the very double the compiler makes
// of the same literal (correctly rounded), and leaves to the exact parser
// whatever it cannot do in one exact step; ParseNumber gives that double
// either way.
TEST(TextReaders, PlainDecimalPathGivesTheCorrectlyRoundedDouble)
{
    struct Case {
        const char* text;
        double value;
        bool plain;  // the quick path takes the whole text
    };
#define NUMBER(literal, plain) {#literal, double(literal), plain}
    const Case cases[] = {
        NUMBER(0, true), NUMBER(-0.0, true), NUMBER(+7, true), NUMBER(.5, true), NUMBER(5., true), NUMBER(-.5, true),
        NUMBER(007.250, true), NUMBER(0.1, true), NUMBER(-262143.99, true), NUMBER(123456789012345, true),
        // 2^53 is the last mantissa that is exact; the next one needs rounding.
        NUMBER(9007199254740992, true), NUMBER(9007199254740993, false), NUMBER(1234567890123456789, false),
        NUMBER(0.000000000000000001, true), NUMBER(0.0000000000000000001, false), NUMBER(1e22, true),
        NUMBER(1e23, false), NUMBER(1E+05, true), NUMBER(1.5e-3, true), NUMBER(-2e-3, true), NUMBER(1.e5, true),
        NUMBER(1e-22, true), NUMBER(2.5e-22, false), NUMBER(123.456e20, true), NUMBER(1e0000, true),
        NUMBER(1e00005, false), NUMBER(-0e5, true), NUMBER(1.7976931348623157e308, false), NUMBER(4.9e-324, false),
        NUMBER(1e-320, false), NUMBER(0.30000000000000004, false),
        {"1e400", Inf, false}, {"-1e400", -Inf, false}, {"1e-400", 0.0, false}, {"-1e-400", -0.0, false},
        {"nan", NaN, false}, {"inf", Inf, false}, {"-inf", -Inf, false}, {"infinity", Inf, false},
    };
#undef NUMBER
    for (const Case& k : cases) {
        const std::string_view text = k.text;
        const char* end = text.data() + text.size();
        double quick = 0;
        const char* stop = TextTable::ParsePlainDecimal(text.data(), end, quick);
        EXPECT_EQ(stop == end, k.plain) << k.text;
        if (stop == end) {
            EXPECT_EQ(bits(quick), bits(k.value)) << k.text << " gave " << quick;
        }
        double value = 1;
        ASSERT_TRUE(TextTable::ParseNumber(text, value)) << k.text;
        EXPECT_TRUE(bits(value) == bits(k.value) || (std::isnan(value) && std::isnan(k.value)))
            << k.text << " gave " << value;
    }

    // Random plain decimals with exponents against from_chars: what the quick
    // path takes is exact, and it takes every short one.
    std::mt19937_64 rng(11);
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text.clear();
        const int sign = int(rng() % 3);
        if (sign) text += sign == 1 ? '-' : '+';
        const int digits = 1 + int(rng() % 20);
        const int point = int(rng() % uint64_t(digits + 2)) - 1;  // -1: no point
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += '.';
            text += char('0' + rng() % 10);
        }
        if (point == digits) text += '.';
        int exponent = 0;
        if (rng() % 2) {
            exponent = int(rng() % 61) - 30;
            text += (rng() % 2 ? "e" : "E") + std::to_string(exponent);
        }
        const char* b = text.data() + (text[0] == '+' ? 1 : 0);  // from_chars takes no "+"
        const char* e = text.data() + text.size();
        double expected = 0, quick = 0;
        const auto r = std::from_chars(b, e, expected);
        ASSERT_TRUE(r.ptr == e && r.ec == std::errc()) << text;
        const char* stop = TextTable::ParsePlainDecimal(text.data(), e, quick);
        const int fraction = point < 0 ? 0 : digits - point;
        if (digits <= 15 && std::abs(exponent - fraction) <= 22) {
            ASSERT_EQ(stop, e) << text;
        }
        if (stop == e) {
            ASSERT_EQ(bits(quick), bits(expected)) << text;
        } else {
            ASSERT_EQ(stop, nullptr) << text;
        }
    }
}

// A table of more than one 32 MiB read block, so that pieces and blocks end
// inside lines: a line ending right at the block's end and one reaching one
// byte past it, CR LF and LF ends, blank and rejected lines, and a last line
// without an end. Serial and pooled reads give the values the test wrote.
TEST(DelimitedText, LinesAcrossPieceAndBlockEdges)
{
    constexpr size_t Block = size_t(32) << 20;
    const std::string head = "A\tB\tC\n";
    std::string body;
    body.reserve(Block + (size_t(2) << 20));
    std::vector<double> expected;
    expected.reserve(size_t(3) << 20);
    char num[40];
    auto append = [&](double v, std::chars_format f) {
        const auto r = std::to_chars(num, num + sizeof num, v, f);
        body.append(num, r.ptr);
    };
    int64_t i = 0;
    auto addLine = [&] {
        ++i;
        if (i % 997 == 0) {
            body += std::to_string(i) + "\tERR\t1\r\n";
            return;
        }
        if (i % 1013 == 0) {
            body += i % 2 ? "\r\n" : "\n";
            return;
        }
        const double a = double(i), b = double(i) + 0.5, c = -double(i % 4096) / 64;
        body += std::string(size_t(i % 5), '0');  // leading zeros vary the line length
        append(a, std::chars_format::fixed);
        body += '\t';
        append(b, std::chars_format::general);
        body += i % 7 ? "\t" : "\t\t";
        append(c, std::chars_format::scientific);
        body += i % 3 ? "\r\n" : "\n";
        expected.insert(expected.end(), {a, b, c});
    };
    // The first block starts after the names row.
    while (body.size() < Block - 64) addLine();
    const size_t startBytes = body.size(), startValues = expected.size();
    const int64_t iStart = i;
    TMultiThread pool(3);
    for (size_t past : {0, 1}) {
        body.resize(startBytes);
        expected.resize(startValues);
        i = iStart;
        // A line of zeros and a number that ends `past` bytes after the block.
        const size_t room = Block - body.size() + past;
        const std::string last = "7\t8\t9\n";
        body += std::string(room - last.size(), '0') + last;
        expected.insert(expected.end(), {7, 8, 9});
        for (int n = 0; n < 40000; ++n) addLine();
        body += "1\t2\t3";
        expected.insert(expected.end(), {1, 2, 3});

        TempDir dir;
        const std::string path = dir.write("edges.txt", head + body);
        for (TMultiThread* p : {static_cast<TMultiThread*>(nullptr), &pool}) {
            const std::string label = std::string(p ? "pool" : "serial") + ", " + std::to_string(past) + " past";
            auto d = openText(path, format("\t", true), 0, p);
            ASSERT_EQ(size_t(d->events()) * 3, expected.size()) << label;
            for (size_t k = 0; k < expected.size(); ++k)
                ASSERT_EQ(bits(d->data.data()[k]), bits(expected[k])) << label << ", value " << k;
        }
    }
}

}  // namespace
