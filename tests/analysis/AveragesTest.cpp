// Means and deviations over event ranges, the normalised average, the
// value distribution, the mean-spectrum text format and the data calculator.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "analysis/Averages.h"
#include "analysis/DataCalculator.h"
#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

DataRef makeData(const std::vector<std::vector<double>>& rows, const std::string& name = "A")
{
    const int p = rows.empty() ? 0 : int(rows[0].size());
    DataRef d(TData::Create(name, p, int(rows.size())));
    for (size_t e = 0; e < rows.size(); ++e) std::copy(rows[e].begin(), rows[e].end(), d->data[int(e)]);
    return d;
}

// events x params values: channel-like positive numbers with a few zeros,
// negatives, NaN and infinities when asked.
DataRef randomData(int events, int params, bool withNonFinite)
{
    TRandom random;
    DataRef d(TData::Create("R", params, events));
    for (int e = 0; e < events; ++e)
        for (int c = 0; c < params; ++c) {
            double v = random.Uniform() * 5000 - 50;
            const int pick = (e * 7 + c * 3) % 101;
            if (withNonFinite && pick == 1) v = NaN;
            if (withNonFinite && pick == 2) v = e % 2 ? Inf : -Inf;
            d->data[e][c] = v;
        }
    return d;
}

bool sameBits(const TVector& a, const TVector& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Reference mean and sample deviation of the finite values of one column.
void reference(const TData& d, int col, int first, int last, double factor, double& mean, double& dev)
{
    double sum = 0;
    int n = 0;
    for (int e = first; e <= last; ++e)
        if (std::isfinite(d.data[e][col])) {
            sum += d.data[e][col];
            ++n;
        }
    mean = n ? sum / n * factor : 0;
    double sq = 0;
    for (int e = first; e <= last; ++e)
        if (std::isfinite(d.data[e][col])) sq += (d.data[e][col] * factor - mean) * (d.data[e][col] * factor - mean);
    dev = n > 1 ? std::sqrt(sq / (n - 1)) : 0;
}

}  // namespace

// ------------------------------------------------------------------ Average

TEST(AverageTest, ZeroZeroMeansAllEventsAndOneEventRangeHasNoDeviation)
{
    // Event 0 differs from the mean, so "first event only" cannot pass.
    DataRef d = makeData({{2, 10}, {4, 20}, {4, 30}, {4, 40}, {5, 50}, {5, 60}, {7, 70}, {9, 80}});
    EXPECT_EQ(Average(*d, 0, 0), (TVector{5, 45}));

    TVector dev;
    TVector mean = Average(*d, dev, 0, 7);
    EXPECT_EQ(mean, (TVector{5, 45}));
    EXPECT_DOUBLE_EQ(dev[0], std::sqrt(32.0 / 7.0));
    EXPECT_DOUBLE_EQ(dev[1], std::sqrt(4200.0 / 7.0));

    for (int e : {0, 3, 7}) {
        mean = Average(*d, dev, e, e);
        EXPECT_EQ(mean, (TVector{d->data[e][0], d->data[e][1]})) << "event " << e;
        EXPECT_EQ(dev, (TVector{0, 0})) << "event " << e;
    }
}

TEST(AverageTest, RangesAreClamped)
{
    DataRef d = makeData({{1}, {2}, {3}, {4}, {5}});
    struct Case {
        int start, stop;
        double mean;
    };
    const Case cases[] = {
        {1, 3, 3},     // plain
        {-5, 100, 3},  // both ends clamped: all events
        {3, 1, 4},     // stop below start becomes start
        {9, 12, 5},    // past the end: the last event
        {-3, -1, 1},   // before the start: the first event
    };
    for (const Case& c : cases) {
        TVector dev;
        EXPECT_EQ(Average(*d, dev, c.start, c.stop), TVector{c.mean}) << c.start << ".." << c.stop;
        EXPECT_EQ(Average(*d, c.start, c.stop), TVector{c.mean}) << c.start << ".." << c.stop;
    }
}

TEST(AverageTest, EmptyDataSetsGiveZeros)
{
    DataRef noEvents(TData::Create("E", 3, 0));
    TVector dev{7, 7};
    EXPECT_EQ(Average(*noEvents, 0, 0), (TVector{0, 0, 0}));
    EXPECT_EQ(Average(*noEvents, dev, 0, 0), (TVector{0, 0, 0}));
    EXPECT_EQ(dev, (TVector{0, 0, 0}));

    DataRef noParams(TData::Create("P", 0, 4));
    EXPECT_TRUE(Average(*noParams, dev, 0, 3).empty());
    EXPECT_TRUE(dev.empty());
}

TEST(AverageTest, NonFiniteValuesAreLeftOut)
{
    DataRef d = makeData({{1, NaN, NaN, 2}, {Inf, 4, NaN, 2}, {3, 6, NaN, -Inf}, {5, NaN, NaN, 2}});
    TVector dev;
    const TVector mean = Average(*d, dev, 0, 3);
    EXPECT_EQ(mean, (TVector{3, 5, 0, 2}));
    EXPECT_DOUBLE_EQ(dev[0], 2.0);             // 1, 3, 5
    EXPECT_DOUBLE_EQ(dev[1], std::sqrt(2.0));  // 4, 6
    EXPECT_EQ(dev[2], 0.0);                    // no finite value at all
    EXPECT_EQ(dev[3], 0.0);
}

TEST(AverageTest, NormalizedAverageCorrectsEachDetector)
{
    // 40 parameters: the table covers the first 32, the rest keep factor 1.
    const int p = 40;
    std::vector<std::vector<double>> rows;
    for (int e = 0; e < 5; ++e) {
        std::vector<double> r(static_cast<size_t>(p));
        for (int j = 0; j < p; ++j) r[size_t(j)] = 100.0 + 10.0 * j + e * (j + 1);
        rows.push_back(r);
    }
    DataRef d = makeData(rows);
    TVector rawDev;
    const TVector raw = Average(*d, rawDev, 0, 4);
    d->Compensate = true;
    TVector dev;
    const TVector mean = Average(*d, dev, 0, 4);
    EXPECT_EQ(Average(*d, 0, 0), mean);

    EXPECT_EQ(mean[9], raw[9]);
    EXPECT_EQ(dev[9], rawDev[9]);
    EXPECT_DOUBLE_EQ(mean[31], raw[31] * 3.027427);
    EXPECT_DOUBLE_EQ(mean[0], raw[0] * 1.201897);
    // The deviation is that of the corrected values about the corrected mean.
    EXPECT_NEAR(dev[31], rawDev[31] * 3.027427, 1e-9 * dev[31]);
    for (int j = 32; j < p; ++j) {
        EXPECT_EQ(mean[size_t(j)], raw[size_t(j)]) << j;
        EXPECT_EQ(dev[size_t(j)], rawDev[size_t(j)]) << j;
    }
    for (int j = 0; j < p; ++j) {
        double m, s;
        reference(*d, j, 0, 4, CorrectionFactor(j), m, s);
        EXPECT_DOUBLE_EQ(mean[size_t(j)], m) << j;
        EXPECT_NEAR(dev[size_t(j)], s, 1e-12 * s) << j;
    }

    // "Average" after "Normalized Average" shows the uncorrected mean again.
    d->Compensate = false;
    EXPECT_EQ(Average(*d, 0, 0), raw);
}

TEST(AverageTest, PoolGivesTheSequentialResultBitForBit)
{
    // 13 parameters: blocks do not fall on whole cache lines; 70 and 3 too.
    TMultiThread pool(4);
    for (int p : {13, 70, 3}) {
        DataRef d = randomData(60000, p, true);
        for (bool compensate : {false, true}) {
            d->Compensate = compensate;
            for (auto [first, last] : {std::pair{0, 59999}, std::pair{123, 45678}, std::pair{5, 5}}) {
                TVector devSeq, devPar;
                const TVector seq = Average(*d, devSeq, first, last, nullptr);
                const TVector par = Average(*d, devPar, first, last, &pool);
                EXPECT_TRUE(sameBits(seq, par)) << p << " " << first;
                EXPECT_TRUE(sameBits(devSeq, devPar)) << p << " " << first;
                for (int j = 0; j < p; j += 5) {
                    double m, s;
                    reference(*d, j, first, last, compensate ? CorrectionFactor(j) : 1.0, m, s);
                    EXPECT_NEAR(seq[size_t(j)], m, 1e-9 * std::abs(m));
                    EXPECT_NEAR(devSeq[size_t(j)], s, 1e-9 * s + 1e-12);
                }
            }
        }
    }
}

TEST(AverageTest, KeptBlockSumsGiveTheSameBitsForEveryRangeAndFollowChanges)
{
    constexpr int B = AverageBlockRows;
    const int n = 5 * B + 123;
    DataRef d = randomData(n, 13, true);
    d->Compensate = true;
    TMultiThread pool(3);
    const AverageSums sums(*d, &pool);
    ASSERT_TRUE(sums.fits(*d));

    std::vector<std::pair<int, int>> ranges = {{0, n - 1}, {B, 2 * B - 1}, {B - 1, 2 * B}, {5, 5},   {2 * B, 2 * B},
                                               {100, 3 * B + 7}, {n - 1, n - 1}, {n - 200, n - 1}, {0, B - 1}};
    TRandom random;
    for (int i = 0; i < 20; ++i) {
        const int a = int(random.Uniform() * n), b = int(random.Uniform() * n);
        ranges.push_back({std::min(a, b), std::max(a, b)});
    }
    for (auto [first, last] : ranges) {
        TVector devPlain, devKept, devKeptPool;
        const TVector plain = Average(*d, devPlain, first, last, nullptr);
        const TVector kept = Average(*d, devKept, first, last, nullptr, &sums);
        const TVector keptPool = Average(*d, devKeptPool, first, last, &pool, &sums);
        EXPECT_TRUE(sameBits(plain, kept) && sameBits(devPlain, devKept)) << first << ".." << last;
        EXPECT_TRUE(sameBits(plain, keptPool) && sameBits(devPlain, devKeptPool)) << first << ".." << last;
        for (int j : {0, 7, 12}) {
            double m, sd;
            reference(*d, j, first, last, CorrectionFactor(j), m, sd);
            EXPECT_NEAR(kept[size_t(j)], m, 1e-9 * std::abs(m) + 1e-12) << first << ".." << last;
            EXPECT_NEAR(devKept[size_t(j)], sd, 1e-9 * sd + 1e-12) << first << ".." << last;
        }
    }

    // A change of values (announced through the modification count) or of
    // the event count makes the kept sums stale: they are no longer used.
    TVector before, after, dev;
    before = Average(*d, dev, B, 2 * B - 1, nullptr, &sums);
    d->data[B + 10][0] = 1e9;
    d->setModified(d->Modified() + 1);
    EXPECT_FALSE(sums.fits(*d));
    after = Average(*d, dev, B, 2 * B - 1, nullptr, &sums);
    EXPECT_GT(after[0], before[0] + 1e9 / B);
    const AverageSums rebuilt(*d, nullptr);
    EXPECT_TRUE(sameBits(after, Average(*d, dev, B, 2 * B - 1, nullptr, &rebuilt)));
    d->setEvents(n - 1);
    EXPECT_FALSE(rebuilt.fits(*d));
}

TEST(AverageTest, CurveUsesWavelengthsOnlyForThirtyTwoChannels)
{
    DataRef wide = randomData(20, 33, false);
    const AverageCurve phq = AverageCurveOf(*wide, 0, 19, true);
    ASSERT_EQ(phq.x.size(), 32u);
    EXPECT_EQ(phq.x.front(), 408);
    EXPECT_EQ(phq.x.back(), 830);
    TVector dev;
    const TVector mean = Average(*wide, dev, 0, 19);
    EXPECT_EQ(phq.y, TVector(mean.begin(), mean.begin() + 32));
    EXPECT_EQ(phq.err, TVector(dev.begin(), dev.begin() + 32));

    const AverageCurve plain = AverageCurveOf(*wide, 0, 19, false);
    ASSERT_EQ(plain.x.size(), 33u);
    EXPECT_EQ(plain.x[32], 32);
    EXPECT_EQ(plain.y, mean);

    DataRef narrow = randomData(20, 31, false);  // too few channels: the box is ignored
    const AverageCurve ignored = AverageCurveOf(*narrow, 2, 9, true);
    ASSERT_EQ(ignored.x.size(), 31u);
    EXPECT_EQ(ignored.x[30], 30);
}

// ------------------------------------------------------------------ Distribution

TEST(DistributionTest, HistogramOfEveryFiniteValue)
{
    // 0..1023 spread over 4 events x 256 parameters: one value per bin.
    DataRef d(TData::Create("D", 256, 4));
    for (int e = 0; e < 4; ++e)
        for (int c = 0; c < 256; ++c) d->data[e][c] = e * 256 + c;
    Thistogram h = Distribution(*d);
    ASSERT_EQ(h.Count(), 1024);
    for (int k = 0; k < 1024; ++k) ASSERT_EQ(h.Yvalue[size_t(k)], 1.0) << k;

    d->data[0][0] = NaN;
    d->data[1][5] = Inf;
    d->data[2][9] = -Inf;
    h = Distribution(*d);
    double total = 0;
    for (double y : h.Yvalue) total += y;
    EXPECT_EQ(total, 1021.0);
    EXPECT_EQ(h.MinValue(), 1.0);
    EXPECT_EQ(h.MaxValue(), 1023.0);

    DataRef empty(TData::Create("E", 3, 0));
    h = Distribution(*empty);
    ASSERT_EQ(h.Count(), 1);
    EXPECT_EQ(h.Yvalue[0], 0.0);
}

// ------------------------------------------------------------------ text

TEST(AverageTextTest, NumbersTakeTwentyThreeCharacters)
{
    struct Case {
        double v;
        const char* text;
    };
    const Case cases[] = {
        {3.14159265358979323846, " 3.14159265358979E+0000"},
        {-3.14159265358979323846, "-3.14159265358979E+0000"},
        {0.0, " 0.00000000000000E+0000"},
        {-0.0, " 0.00000000000000E+0000"},
        {1.0, " 1.00000000000000E+0000"},
        {408.0, " 4.08000000000000E+0002"},
        {-0.00123, "-1.23000000000000E-0003"},
        {1e-300, " 1.00000000000000E-0300"},
        {1.7976931348623157e308, " 1.79769313486232E+0308"},
        {4.9406564584124654e-324, " 4.94065645841247E-0324"},
        // 16 significant digits ending in 5 are exact in binary: halves go to even.
        {1000000000000005.0, " 1.00000000000000E+0015"},
        {1000000000000015.0, " 1.00000000000002E+0015"},
        {9.999999999999999e22, " 1.00000000000000E+0023"},
        {NaN, "                    NAN"},
        {Inf, "                    INF"},
        {-Inf, "                   -INF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatSci23(c.v), c.text) << c.v;
        EXPECT_EQ(FormatSci23(c.v).size(), 23u);
    }
}

TEST(AverageTextTest, FileListsEachSeriesWithItsPoints)
{
    const std::vector<TextSeries> series = {{"sample.fcs", {0, 1}, {2.5, -1}}, {"sample.fcs", {0, 1}, {2.5, -1}}};
    const std::string expected =
        "sample.fcs\r\n"
        " 0.00000000000000E+0000 2.50000000000000E+0000\r\n"
        " 1.00000000000000E+0000-1.00000000000000E+0000\r\n"
        "sample.fcs\r\n"
        " 0.00000000000000E+0000 2.50000000000000E+0000\r\n"
        " 1.00000000000000E+0000-1.00000000000000E+0000\r\n";
    EXPECT_EQ(AverageText(series), expected);

    // The same bytes under a comma-decimal locale.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE.utf8");
    test::TempDir dir;
    const std::string path = dir.file("mean.txt");
    SaveAverageText(path, series);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(test::slurp(path), expected) << (german ? "under de_DE" : "locale de_DE not installed");

    try {
        SaveAverageText(dir.file("missing/folder/mean.txt"), series);
        FAIL() << "no error for a folder that does not exist";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("missing/folder/mean.txt"), std::string::npos) << e.what();
    }
}

// ------------------------------------------------------------------ calculator

class CalculatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = TData::Workspace;
        TData::Workspace = &workspace;
    }
    void TearDown() override
    {
        workspace.Clear();
        TData::Workspace = previous_;
    }
    TDataList workspace;

private:
    TDataList* previous_ = nullptr;
};

TEST_F(CalculatorTest, SubtractingADataSetFromItselfGivesZeroMeans)
{
    DataRef a = randomData(500, 6, false);
    a->setNativeColor(0x0000ff);
    a->SetColor(3, 0x00ff00);
    TMultiThread pool(3);
    DataRef diff(DataCalculate(*a, *a, CalcOperator::Subtract, "R-R", &pool));
    ASSERT_TRUE(diff);
    EXPECT_EQ(diff->ShortName(), "R-R");
    EXPECT_EQ(diff->Parent(), nullptr);
    EXPECT_EQ(diff->events(), 500);
    EXPECT_EQ(diff->GetColor(3), 0x00ff00u);
    EXPECT_EQ(diff->Desc()[2].name, a->Desc()[2].name);
    EXPECT_FALSE(diff->SharesDescriptorsWith(a.get()));
    for (double m : Average(*diff, 0, 0)) EXPECT_NEAR(m, 0.0, 1e-9);

    DataRef sum(DataCalculate(*a, *a, CalcOperator::Add, "R+R"));
    const TVector ma = Average(*a, 0, 0);
    const TVector ms = Average(*sum, 0, 0);
    for (size_t j = 0; j < ma.size(); ++j) EXPECT_NEAR(ms[j], 2 * ma[j], 1e-9 * ma[j]);
    // The source is untouched.
    EXPECT_EQ(Average(*a, 0, 0), ma);
}

TEST_F(CalculatorTest, FewerParametersInBChangeOnlyTheFirstOnes)
{
    DataRef a = makeData({{10, 20, 30, 40}, {11, 21, NaN, 41}}, "A");
    DataRef b = makeData({{1, 2}, {3, 4}}, "B");  // mean 2, 3
    DataRef r(DataCalculate(*a, *b, CalcOperator::Subtract, "A-B"));
    ASSERT_EQ(r->CaseSize(), 4);
    EXPECT_EQ((std::vector<double>(r->data[0], r->data[0] + 4)), (std::vector<double>{8, 17, 30, 40}));
    EXPECT_EQ(r->data[1][0], 9);
    EXPECT_TRUE(std::isnan(r->data[1][2]));
    EXPECT_EQ(r->data[1][3], 41);

    // A with fewer parameters than B: all of A's change, nothing is added.
    DataRef r2(DataCalculate(*b, *a, CalcOperator::Add, "B+A"));
    ASSERT_EQ(r2->CaseSize(), 2);
    EXPECT_EQ(r2->data[0][0], 1 + 10.5);
    EXPECT_EQ(r2->data[1][1], 4 + 20.5);

    // B's Compensate flag corrects its mean first.
    b->Compensate = true;
    DataRef r3(DataCalculate(*a, *b, CalcOperator::Subtract, "A-B"));
    EXPECT_DOUBLE_EQ(r3->data[0][0], 10 - 2 * 1.201897);
}

TEST_F(CalculatorTest, RefusesAnEmptyBAndUnknownOperators)
{
    DataRef a = makeData({{1, 2}}, "A");
    DataRef empty(TData::Create("Blank", 2, 0));
    try {
        DataRef r(DataCalculate(*a, *empty, CalcOperator::Subtract, "x"));
        FAIL() << "a result from an empty B";
    } catch (const OrvalaError& e) {
        EXPECT_NE(std::string(e.what()).find("Blank"), std::string::npos) << e.what();
    }
    EXPECT_EQ(CalcOperatorOf("-"), CalcOperator::Subtract);
    EXPECT_EQ(CalcOperatorOf("+"), CalcOperator::Add);
    for (const char* bad : {"*", "", " -"}) EXPECT_THROW(CalcOperatorOf(bad), OrvalaError) << bad;
}

TEST_F(CalculatorTest, CopyOfAGatedDataSetIsTopLevel)
{
    DataRef root = makeData({{1, 5}, {2, 6}, {3, 7}, {4, 8}}, "root");
    workspace.Add(root.get());
    TGate gate(TGateType::gtSubset, {1, 3});
    gate.name = "g";
    TData* kid = TData::Gated(root.get(), &gate);
    ASSERT_NE(kid, nullptr);
    workspace.Add(kid);
    DataRef r(DataCalculate(*kid, *root, CalcOperator::Subtract, "kid-root"));
    EXPECT_EQ(r->Parent(), nullptr);
    EXPECT_EQ(r->gate, nullptr);
    EXPECT_EQ(r->ShortName(), "kid-root");
    ASSERT_EQ(r->events(), 2);
    EXPECT_EQ(r->data[0][0], 2 - 2.5);
    EXPECT_EQ(r->data[1][1], 8 - 6.5);
}
