// Least-squares and non-negative unmixing: exact mixtures, the KKT conditions
// on random problems, ill-posed references, whole data sets, and the oracle of
// a real spectral cytometer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>

#include "analysis/DecompositionRun.h"
#include "analysis/SpectraFiles.h"
#include "analysis/TDBSpec.h"
#include "analysis/Unmixing.h"
#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

// Two overlapping bell-shaped spectra over 8 channels and a third further out.
const TVector A = {0.1, 0.5, 1.0, 0.6, 0.2, 0.05, 0.0, 0.0};
const TVector B = {0.0, 0.1, 0.4, 1.0, 0.7, 0.3, 0.1, 0.0};
const TVector C = {0.0, 0.0, 0.0, 0.1, 0.3, 0.8, 1.0, 0.4};

TVector mix(const TMatrix& spectra, const TVector& amounts)
{
    TVector y(spectra[0].size(), 0.0);
    for (size_t j = 0; j < spectra.size(); ++j)
        for (size_t p = 0; p < y.size(); ++p) y[p] += amounts[j] * spectra[j][p];
    return y;
}

// Unmixes the given events (rows of m values) with every column chosen.
TMatrix unmix(const TMatrix& events, const TMatrix& spectra, bool nonNegative, TMultiThread* pool = nullptr)
{
    const int m = int(spectra[0].size()), k = int(spectra.size()), n = int(events.size());
    std::vector<double> src;
    for (const TVector& e : events) src.insert(src.end(), e.begin(), e.end());
    std::vector<int> columns(static_cast<size_t>(m));
    for (int p = 0; p < m; ++p) columns[size_t(p)] = p;
    std::vector<double> out(size_t(n) * size_t(k), -1.0);
    UnmixRows(src.data(), n, m, columns.data(), spectra, nonNegative, out.data(), k, pool);
    TMatrix rows(static_cast<size_t>(n));
    for (int e = 0; e < n; ++e) rows[size_t(e)].assign(out.begin() + e * k, out.begin() + (e + 1) * k);
    return rows;
}

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TMultiThread& pool()
{
    static TMultiThread p(4);
    return p;
}

}  // namespace

TEST(Unmix, ExactMixturesGiveTheirAmountsWithBothMethods)
{
    for (bool nonNegative : {false, true}) {
        SCOPED_TRACE(nonNegative ? "non-negative" : "least squares");
        const TMatrix r = unmix({mix({A, B}, {2, 3}), mix({A, B, C}, {0, 1.5, 7})}, {A, B}, nonNegative);
        EXPECT_NEAR(r[0][0], 2, 1e-12);
        EXPECT_NEAR(r[0][1], 3, 1e-12);
        const TMatrix r3 = unmix({mix({A, B, C}, {2, 3, 4}), mix({A, B, C}, {0, 1.5, 7})}, {A, B, C}, nonNegative);
        EXPECT_NEAR(r3[0][0], 2, 1e-12);
        EXPECT_NEAR(r3[0][1], 3, 1e-12);
        EXPECT_NEAR(r3[0][2], 4, 1e-12);
        EXPECT_NEAR(r3[1][0], 0, 1e-12);
        EXPECT_NEAR(r3[1][2], 7, 1e-12);
    }
}

TEST(Unmix, NonNegativeDropsASmallNegativeAmountToExactlyZero)
{
    const double eps = 1e-3;
    const TVector y = mix({A, B}, {1, -eps});
    const TMatrix ls = unmix({y}, {A, B}, false);
    EXPECT_NEAR(ls[0][1], -eps, 1e-12);
    const TMatrix nn = unmix({y}, {A, B}, true);
    EXPECT_GT(nn[0][0], 0.9);
    EXPECT_EQ(nn[0][1], 0.0);  // exactly, not a rounding residue

    // Every amount negative: all zero.
    const TMatrix none = unmix({mix({A, B}, {-1, -2})}, {A, B}, true);
    EXPECT_EQ(none[0][0], 0.0);
    EXPECT_EQ(none[0][1], 0.0);
}

TEST(Unmix, NonNegativeMeetsTheKktConditionsOnRandomProblems)
{
    std::mt19937 gen(17);
    std::normal_distribution<double> normal(0, 1);
    std::uniform_real_distribution<double> uniform(0, 1);
    int negativeLs = 0, nonNegativeLs = 0;
    for (int problem = 0; problem < 40; ++problem) {
        const int m = 6 + problem % 30;
        const int k = 2 + problem % std::min(m - 1, 12);
        TMatrix spectra(static_cast<size_t>(k), TVector(static_cast<size_t>(m)));
        for (auto& s : spectra)
            for (double& v : s) v = uniform(gen);
        TMatrix events(50, TVector(static_cast<size_t>(m)));
        for (auto& e : events) {
            TVector amounts(static_cast<size_t>(k));
            for (double& a : amounts) a = 100 * normal(gen);
            e = mix(spectra, amounts);
            for (double& v : e) v += 5 * normal(gen);
        }
        const TMatrix nn = unmix(events, spectra, true);
        const TMatrix ls = unmix(events, spectra, false);
        EXPECT_EQ(unmix(events, spectra, true, &pool()), nn) << "split over the pool, the same bits";
        for (size_t e = 0; e < events.size(); ++e) {
            // Gradient of the squared residual: w = S (y - S'x).
            TVector resid = events[e];
            for (int j = 0; j < k; ++j)
                for (int p = 0; p < m; ++p) resid[size_t(p)] -= nn[e][size_t(j)] * spectra[size_t(j)][size_t(p)];
            double scale = 0;
            for (int j = 0; j < k; ++j)
                for (int p = 0; p < m; ++p) scale = std::max(scale, std::fabs(spectra[size_t(j)][size_t(p)] * events[e][size_t(p)]));
            for (int j = 0; j < k; ++j) {
                const double x = nn[e][size_t(j)];
                double w = 0;
                for (int p = 0; p < m; ++p) w += spectra[size_t(j)][size_t(p)] * resid[size_t(p)];
                ASSERT_GE(x, 0.0);
                if (x > 0) {
                    EXPECT_NEAR(w / scale, 0.0, 1e-9) << "problem " << problem << " event " << e;
                } else {
                    EXPECT_LE(w / scale, 1e-9) << "problem " << problem << " event " << e;
                }
            }
            bool lsNonNegative = true;
            for (double v : ls[e]) lsNonNegative = lsNonNegative && v >= 0;
            (lsNonNegative ? nonNegativeLs : negativeLs)++;
            if (lsNonNegative) {
                for (int j = 0; j < k; ++j)
                    EXPECT_NEAR(nn[e][size_t(j)], ls[e][size_t(j)], 1e-9 * (1 + std::fabs(ls[e][size_t(j)])));
            }
        }
    }
    // Both kinds of event were met, so both branches above were checked.
    EXPECT_GT(negativeLs, 100);
    EXPECT_GT(nonNegativeLs, 50);
}

TEST(Unmix, IllPosedReferencesAreRefusedBeforeAnythingIsWritten)
{
    const TVector zero(8, 0.0);
    const TVector twiceA = mix({A}, {2});
    const TVector sumAB = mix({A, B}, {1, 1});
    const struct {
        const char* what;
        TMatrix spectra;
    } cases[] = {
        {"dependent pair", {A, twiceA}},
        {"one a sum of two others", {A, B, sumAB}},
        {"a zero spectrum", {A, zero}},
        {"more spectra than channels", {{1, 0}, {0, 1}, {1, 1}}},
        {"no channels", {TVector{}, TVector{}}},
        {"unequal lengths", {A, {1, 2, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool nonNegative : {false, true}) {
            const std::vector<double> src(16, 1.0);
            const int columns[8] = {0, 1, 2, 3, 4, 5, 6, 7};
            std::vector<double> out(6, 42.0);
            EXPECT_EQ(errorOf([&] {
                          UnmixRows(src.data(), 2, 8, columns, c.spectra, nonNegative, out.data(), 3, nullptr);
                      }),
                      MatNotOkText);
            EXPECT_EQ(out, std::vector<double>(6, 42.0));
        }
        EXPECT_EQ(errorOf([&] { TProjectionDecomposition d(c.spectra); }), MatNotOkText);
    }
}

TEST(Unmix, NonFiniteValuesGiveNaNAmountsForThatEventOnly)
{
    TVector bad = mix({A, B}, {2, 3});
    bad[2] = std::numeric_limits<double>::quiet_NaN();
    for (bool nonNegative : {false, true}) {
        const TMatrix r = unmix({bad, mix({A, B}, {2, 3})}, {A, B}, nonNegative);
        EXPECT_TRUE(std::isnan(r[0][0]) && std::isnan(r[0][1]));
        EXPECT_NEAR(r[1][0], 2, 1e-12);
    }
}

TEST(Unmix, ProjectionFitEqualsTheNormalEquations)
{
    TProjectionDecomposition d({A, B, C});
    EXPECT_EQ(d.Rangedim, 3);
    EXPECT_EQ(d.spacedim, 8);
    TVector y = mix({A, B, C}, {1, -2, 3});
    y[0] += 0.3;  // not in the span: a real fit
    TVector c(3);
    d.Project(y.data(), c.data());
    const TMatrix ls = unmix({y}, {A, B, C}, false);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(c[size_t(j)], ls[0][size_t(j)], 1e-12);
    // The orthonormal basis really is one.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int p = 0; p < 8; ++p) s += d.V[size_t(i)][size_t(p)] * d.V[size_t(j)][size_t(p)];
            EXPECT_NEAR(s, i == j ? 1 : 0, 1e-14);
        }
}

TEST(Unmix, GaussDecompositionBuildsAChildWithOneParameterPerSpectrum)
{
    DataRef src(TData::Create("S", 10, 3));
    // Channel 0 and 9 are not detectors; 1..8 carry A and B.
    const TVector amounts[3] = {{2, 3}, {0, 1}, {5, 0.5}};
    for (int e = 0; e < 3; ++e) {
        const TVector y = mix({A, B}, amounts[e]);
        src->data[e][0] = 1000;
        for (int p = 0; p < 8; ++p) src->data[e][p + 1] = y[size_t(p)];
        src->data[e][9] = -7;
    }
    TBoolVector checked = {0, 1, 1, 1, 1, 1, 1, 1, 1, 0};
    for (bool nonNegative : {false, true}) {
        DataRef r(GaussDecomposition(*src, {A, B}, checked, nonNegative, &pool()));
        EXPECT_EQ(r->Parent(), src.get());
        ASSERT_EQ(r->CaseSize(), 2);
        ASSERT_EQ(r->events(), 3);
        EXPECT_EQ(r->Desc()[0].name, "Par 1");
        EXPECT_EQ(r->Desc()[1].name, "Par 2");
        EXPECT_EQ(r->link, (TIntVector{0, 1, 2}));
        for (int e = 0; e < 3; ++e)
            for (int j = 0; j < 2; ++j) EXPECT_NEAR(r->data[e][j], amounts[e][size_t(j)], 1e-12);
    }
    // A flag list of the wrong length: the result exists, all zeros.
    DataRef zeros(GaussDecomposition(*src, {A, B}, TBoolVector(4, 1), false, nullptr));
    EXPECT_EQ(zeros->events(), 3);
    for (int e = 0; e < 3; ++e) EXPECT_EQ(zeros->data[e][0], 0.0);
    // No events: an empty result, no division or indexing on the way.
    DataRef empty(TData::Create("E", 10, 0));
    DataRef none(GaussDecomposition(*empty, {A, B}, checked, true, &pool()));
    EXPECT_EQ(none->events(), 0);
    EXPECT_EQ(none->CaseSize(), 2);
}

TEST(Unmix, DialogChoiceIsCheckedAndNamesTheResultAfterTheSpectra)
{
    test::TempDir dir;
    TDBSpec lib(dir.file("specs.dat"));
    // Library spectra cover 9 channels: channel 0 is scatter, 1..8 detectors.
    auto withScatter = [](const TVector& s) {
        TVector v{0.0};
        v.insert(v.end(), s.begin(), s.end());
        return v;
    };
    lib.Add("A dye", withScatter(A));
    lib.Add("B dye", withScatter(B));
    lib.Add("short", TVector(9 - 1, 1.0));  // 8 values: not longer than index 8
    DataRef src(TData::Create("S", 9, 2));
    for (int e = 0; e < 2; ++e) {
        const TVector y = mix({A, B}, {double(e + 1), 4});
        for (int p = 0; p < 8; ++p) src->data[e][p + 1] = y[size_t(p)];
    }
    TBoolVector channels = {0, 1, 1, 1, 1, 1, 1, 1, 1};
    const struct {
        const char* what;
        TBoolVector channels;
        std::vector<int> entries;
        const char* error;
    } refused[] = {
        {"no channel", TBoolVector(9, 0), {0, 1}, NoChannelsText},
        {"no spectrum", channels, {}, NoSpectraText},
        {"spectrum as long as the last index", channels, {0, 2}, LengthMismatchText},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(errorOf([&] {
                      DataRef r(RunDecomposition(*src, lib, {c.channels, c.entries, false}, nullptr, "x"));
                  }),
                  c.error);
    }
    // Channels 1..7 only: the short spectrum (8 values, one longer than index 7) is accepted.
    TBoolVector upTo7 = channels;
    upTo7[8] = 0;
    DataRef shortOk(RunDecomposition(*src, lib, {upTo7, {0, 2}, false}, nullptr, "ok"));
    EXPECT_EQ(shortOk->CaseSize(), 2);

    DataRef r(RunDecomposition(*src, lib, {channels, {1, 0}, false}, &pool(), "S_SD_1"));
    EXPECT_EQ(r->ShortName(), "S_SD_1");
    EXPECT_EQ(r->Desc()[0].name, "B dye");
    EXPECT_EQ(r->Desc()[1].name, "A dye");
    EXPECT_NEAR(r->data[1][0], 4, 1e-12);
    EXPECT_NEAR(r->data[1][1], 2, 1e-12);
}

TEST(Unmix, TableUnmixingKeepsTheOtherParametersAndMatchesDetectorsByName)
{
    DataRef src(TData::Create("S", 4, 1));
    src->Desc()[0].name = "FSC-A";
    src->Desc()[1].name = "D2";
    src->Desc()[2].name = "Time";
    src->Desc()[3].name = "D1";
    src->data[0][0] = 500;
    src->data[0][1] = 2 * 0.5 + 3 * 1.0;  // D2
    src->data[0][2] = 9;
    src->data[0][3] = 2 * 1.0 + 3 * 0.25;  // D1
    // Detectors listed in another order than the file's columns.
    DataRef r(UnmixWithTable(*src, {"D1", "D2"}, {"X", "Y"}, {{1.0, 0.5}, {0.25, 1.0}}, false, nullptr, "S_unmixed"));
    ASSERT_EQ(r->CaseSize(), 4);
    EXPECT_EQ(r->Desc()[0].name, "FSC-A");
    EXPECT_EQ(r->Desc()[1].name, "Time");
    EXPECT_EQ(r->Desc()[2].name, "X");
    EXPECT_EQ(r->Desc()[3].name, "Y");
    EXPECT_EQ(r->data[0][0], 500);
    EXPECT_EQ(r->data[0][1], 9);
    EXPECT_NEAR(r->data[0][2], 2, 1e-12);
    EXPECT_NEAR(r->data[0][3], 3, 1e-12);
    EXPECT_EQ(errorOf([&] { DataRef x(UnmixWithTable(*src, {"D1", "D9"}, {"X", "Y"}, {{1, 0}, {0, 1}}, false, nullptr, "n")); }),
              "the data set S has no detector D9");
}

// The instrument's own unmixed values of 190 real events are ordinary least
// squares against the spectra its unmixing matrix implies.
TEST(Unmix, OracleOfARealSpectralCytometerToRelative1e5)
{
    const std::string dir = std::string(ORVALA_SHARED_DIR) + "/spectral-samples/oracle";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no spectral samples at " << dir;
    const SpectraTable spectra = ReadSpectraCsv(dir + "/vendor_implied_spectra.csv");
    ASSERT_EQ(spectra.spectra.size(), 30u);
    ASSERT_EQ(spectra.detectors.size(), 64u);
    // The raw and unmixed tables have no name column: read them with a dummy first field.
    auto readPlain = [](const std::string& path) {
        const std::string text = test::slurp(path);
        test::TempDir tmp;
        std::string withNames;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            if (end > pos) withNames += "e," + text.substr(pos, end - pos) + "\n";
            pos = end + 1;
        }
        return ReadSpectraCsv(tmp.write("t.csv", withNames));
    };
    const SpectraTable events = readPlain(dir + "/matched_events_raw64.csv");
    const SpectraTable expected = readPlain(dir + "/matched_events_spectroflo_unmixed.csv");
    ASSERT_EQ(events.detectors, spectra.detectors);
    ASSERT_EQ(events.spectra.size(), 190u);
    ASSERT_EQ(expected.spectra.size(), 190u);
    for (size_t j = 0; j < 30; ++j) EXPECT_EQ(expected.detectors[j], spectra.names[j] + "-A");

    for (bool withPool : {false, true}) {
        const TMatrix ours = unmix(events.spectra, spectra.spectra, false, withPool ? &pool() : nullptr);
        double worst = 0;
        for (size_t e = 0; e < 190; ++e) {
            // Relative to the event's largest amount: the instrument's values
            // are float32, so a near-zero amount carries only absolute digits.
            double scale = 0;
            for (double v : expected.spectra[e]) scale = std::max(scale, std::fabs(v));
            for (size_t j = 0; j < 30; ++j) {
                const double rel = std::fabs(ours[e][j] - expected.spectra[e][j]) / scale;
                worst = std::max(worst, rel);
                EXPECT_LE(rel, 1e-5) << "event " << e << " " << spectra.names[j] << ": " << ours[e][j] << " vs "
                                     << expected.spectra[e][j];
            }
        }
        RecordProperty(withPool ? "worst_relative_pool" : "worst_relative", std::to_string(worst));
    }
}

// The same oracle from the instrument's raw FCS files: the reader's display
// mapping undone, the matched events unmix to the instrument's values.
TEST(Unmix, RawSpecimenFilesUnmixToTheInstrumentsValues)
{
    const std::string dir = std::string(ORVALA_SHARED_DIR) + "/spectral-samples";
    if (!std::filesystem::exists(dir + "/raw")) GTEST_SKIP() << "no spectral samples at " << dir;
    auto readPlain = [](const std::string& path) {
        const std::string text = test::slurp(path);
        test::TempDir tmp;
        std::string withNames;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            if (end > pos) withNames += "e," + text.substr(pos, end - pos) + "\n";
            pos = end + 1;
        }
        return ReadSpectraCsv(tmp.write("t.csv", withNames));
    };
    const SpectraTable spectra = ReadSpectraCsv(dir + "/oracle/vendor_implied_spectra.csv");
    const SpectraTable raw = readPlain(dir + "/oracle/matched_events_raw64.csv");
    const SpectraTable expected = readPlain(dir + "/oracle/matched_events_spectroflo_unmixed.csv");

    RecordingSink sink;
    MessageSink* previous = setDefaultSink(&sink);
    int matched = 0;
    for (const char* name : {"INF071_Ctrl_Tetramer.fcs", "INF149_Ctrl_Tetramer.fcs", "INF179_Ctrl_Tetramer.fcs",
                             "ND050_15_Ctrl_Tetramer.fcs"}) {
        DataRef d(TData::TryOpen(dir + "/raw/" + name, 0));
        ASSERT_TRUE(d) << name;
        const DataMatrix linear = LinearValues(*d);
        const std::vector<int> cols = MatchDetectors(*d, raw.detectors);
        DataRef r(UnmixWithTable(*d, spectra.detectors, spectra.names, spectra.spectra, false, &pool(), "u"));
        const int first = r->CaseSize() - 30;
        ASSERT_EQ(r->Desc()[size_t(first)].name, "BUV395");
        for (size_t o = 0; o < raw.spectra.size(); ++o) {
            // The table prints six digits: values agree to a share of the event's largest one.
            double rowScale = 0;
            for (double v : raw.spectra[o]) rowScale = std::max(rowScale, std::fabs(v));
            for (int e = 0; e < linear.rows(); ++e) {
                bool same = true;
                for (size_t p = 0; p < 64 && same; ++p) {
                    const double a = linear[e][cols[p]], b = raw.spectra[o][p];
                    same = std::fabs(a - b) <= 1e-5 * rowScale;
                }
                if (!same) continue;
                ++matched;
                double scale = 0;
                for (double v : expected.spectra[o]) scale = std::max(scale, std::fabs(v));
                for (int j = 0; j < 30; ++j)
                    EXPECT_LE(std::fabs(r->data[e][first + j] - expected.spectra[o][size_t(j)]) / scale, 1e-5)
                        << name << " event " << e << " " << spectra.names[size_t(j)];
                break;
            }
        }
    }
    setDefaultSink(previous);
    // Every oracle event was found in the raw files as the reader gives them back.
    EXPECT_EQ(matched, 190);
}
