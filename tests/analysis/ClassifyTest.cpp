// Pixel classification: the spectral angle with and without a threshold, the
// spread of angles, non-negative unmixing per pixel, the class children, class
// files, and the Samson scene against an independent class map.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "analysis/ClassFiles.h"
#include "analysis/PixelClassify.h"
#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/Records.h"
#include "core/Stream.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "formats/images/MultiPage.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
const double Pi = std::acos(-1.0);

const TVector A = {1.0, 2.0, 3.0, 4.0};
const TVector B = {4.0, 3.0, 2.0, 1.0};
const TVector C = {0.0, 1.0, 0.0, 1.0};

struct Sam {
    std::vector<int32_t> cls;
    std::vector<double> angle;
};

Sam sam(const TMatrix& pixels, const TMatrix& spectra, const TVector& limits = {}, TMultiThread* pool = nullptr)
{
    const int cols = int(spectra[0].size());
    std::vector<double> v;
    for (const TVector& p : pixels) v.insert(v.end(), p.begin(), p.end());
    TMatrix unit;
    for (const TVector& s : spectra) unit.push_back(UnitLength(s));
    Sam r{std::vector<int32_t>(pixels.size(), 99), std::vector<double>(pixels.size(), -7)};
    SamClassify(v.data(), int(pixels.size()), cols, cols, unit, limits, r.cls.data(), r.angle.data(), pool);
    return r;
}

double angleBetween(const TVector& x, const TVector& m)
{
    double d = 0, xx = 0, mm = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        d += x[i] * m[i];
        xx += x[i] * x[i];
        mm += m[i] * m[i];
    }
    return std::acos(d / std::sqrt(xx * mm));
}

// A root data set of the given rows.
TData* dataOf(const std::string& name, const TMatrix& rows, int cols)
{
    TData* d = TData::Create(name, cols, 0);
    for (const TVector& r : rows) d->AddEvent(r, 0);
    return d;
}

}  // namespace

TEST(SamClassify, AngleRulesForSinglePixels)
{
    struct Case {
        const char* what;
        TVector pixel;
        TMatrix spectra;
        TVector limits;
        int32_t cls;
    };
    const TVector tooFar = {0.0, 0.0, 0.0, 1.0};
    const Case cases[] = {
        {"along A, no threshold", {2, 4, 6, 8}, {B, A, C}, {}, 1},
        {"along A, threshold 0 everywhere", {0.5, 1, 1.5, 2}, {B, A, C}, {0, 0, 0}, 1},
        {"along A, scaled by an awkward factor, threshold 0", {0.1, 0.2, 0.3, 0.4}, {A}, {0}, 0},
        {"nearest of three", {3.9, 3.1, 2.0, 1.1}, {A, C, B}, {}, 2},
        {"identical spectra: the first", {1, 1, 1, 1}, {C, A, A}, {}, 1},
        {"identical spectra at any scale: the first", {1, 1, 1, 1}, {A, TVector{2, 4, 6, 8}}, {}, 0},
        {"all-zero pixel", {0, 0, 0, 0}, {A, B}, {}, Unclassified},
        {"a NaN band", {1, NaN, 3, 4}, {A, B}, {}, Unclassified},
        {"an infinite band", {1, Inf, 3, 4}, {A, B}, {}, Unclassified},
        {"beyond every class's limit", tooFar, {A, B}, {0.1, 0.1}, Unclassified},
        {"beyond the nearer class only", tooFar, {A, C}, {0.1, 1.0}, 1},
        {"opposite of the only class", {-1, -2, -3, -4}, {A}, {}, 0},
    };
    for (const Case& c : cases) {
        const Sam r = sam({c.pixel}, c.spectra, c.limits);
        EXPECT_EQ(r.cls[0], c.cls) << c.what;
        if (c.cls == Unclassified)
            EXPECT_TRUE(std::isnan(r.angle[0])) << c.what;
        else
            EXPECT_NEAR(r.angle[0], angleBetween(c.pixel, c.spectra[size_t(c.cls)]), 1e-7) << c.what;
    }
    // Along a class spectrum means exactly 0, so a 0 threshold still takes it;
    // the opposite direction is pi, not a NaN from a cosine a hair below -1.
    EXPECT_EQ(sam({{2, 4, 6, 8}}, {A}, {0}).angle[0], 0.0);
    EXPECT_DOUBLE_EQ(sam({{-1, -2, -3, -4}}, {A}).angle[0], Pi);
}

TEST(SamClassify, PoolGivesTheSequentialResultForFixedAndWideClassCounts)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0, 100);
    const int cols = 37;
    for (int k : {3, 8, 11}) {
        TMatrix spectra(static_cast<size_t>(k), TVector(static_cast<size_t>(cols)));
        for (auto& s : spectra)
            for (double& x : s) x = u(rng);
        TMatrix pixels(20000, TVector(size_t(cols)));
        for (auto& p : pixels)
            for (double& x : p) x = u(rng);
        pixels[5].assign(size_t(cols), 0.0);
        pixels[6][3] = NaN;
        TVector limits(size_t(k), 0.25);
        TMultiThread pool(4);
        const Sam seq = sam(pixels, spectra, limits), par = sam(pixels, spectra, limits, &pool);
        EXPECT_EQ(seq.cls, par.cls) << k << " classes";
        EXPECT_EQ(0, std::memcmp(seq.angle.data(), par.angle.data(), seq.angle.size() * sizeof(double)))
            << k << " classes";
        EXPECT_EQ(seq.cls[5], Unclassified);
        EXPECT_EQ(seq.cls[6], Unclassified);
        // Every classified pixel took its smallest angle within the limit.
        for (size_t p = 0; p < pixels.size(); p += 997) {
            if (seq.cls[p] == Unclassified) continue;
            for (int j = 0; j < k; ++j) {
                const double a = angleBetween(pixels[p], spectra[size_t(j)]);
                if (a <= 0.25) {
                    EXPECT_GE(a + 1e-12, seq.angle[p]) << "pixel " << p << " class " << j;
                }
            }
        }
    }
}

TEST(AngleDeviation, DividesByNMinusOneExceptForASingleAngle)
{
    struct Case {
        TVector angles;
        double deviation;
    };
    const Case cases[] = {
        {{}, 0.0},
        {{NaN}, 0.0},
        {{0.3}, 0.09},                             // the sum of squares, no division by 0
        {{0.3, 0.4}, 0.5},                         // sqrt(0.25 / 1)
        {{0.1, 0.2, 0.2}, std::sqrt(0.09 / 2)},    // sqrt(sum / (n - 1))
        {{0.3, NaN, 0.4}, 0.5},                    // pixels without a direction do not count
    };
    for (const Case& c : cases) EXPECT_NEAR(AngleDeviation(c.angles.data(), c.angles.size()), c.deviation, 1e-15);
}

TEST(SamClassification, TrainingDeviationsAndTheSigmaThreshold)
{
    // Image: pixels along A and B, one far off A, one all-zero pixel, and one
    // exactly along the mean of class 1's training pixels.
    const TVector offA = {1.0, 2.0, 3.0, 6.0};
    const TVector alongMean1 = {2.1, 4.0, 6.1, 8.0};
    DataRef image(dataOf("img", {A, B, offA, {0, 0, 0, 0}, alongMean1}, 4));
    // Class 1 from two training pixels close to A, class 2 from a single pixel near B.
    DataRef c1(dataOf("Class 1", {{1.0, 2.0, 3.1, 4.0}, {1.1, 2.0, 3.0, 4.0}}, 4));
    DataRef c2(dataOf("Class 2", {{4.0, 3.0, 2.0, 1.2}}, 4));
    std::vector<TData*> classes{c1.get(), c2.get()};

    const ClassMap free = SamClassification(*image, classes, -1, nullptr);
    EXPECT_EQ(free.classOf, (std::vector<int32_t>{0, 1, 0, Unclassified, 0}));
    EXPECT_EQ(free.angle[4], 0.0);

    const TVector m1 = UnitLength(MeanSpectrum(*c1));
    const double a1 = angleBetween(TVector{1.0, 2.0, 3.1, 4.0}, m1), a2 = angleBetween(TVector{1.1, 2.0, 3.0, 4.0}, m1);
    EXPECT_NEAR(c1->Deviation, std::sqrt((a1 * a1 + a2 * a2) / 1), 1e-9);
    // A single training event is its own mean: angle 0, deviation 0 (no 0 / 0).
    EXPECT_EQ(c2->Deviation, 0.0);

    // Sigma 3: the pixel off A lies beyond three deviations of class 1, and
    // class 2 (deviation 0) takes only its own direction.
    ASSERT_LT(3 * c1->Deviation, angleBetween(offA, m1));
    const ClassMap three = SamClassification(*image, classes, 3.0, nullptr);
    EXPECT_EQ(three.classOf, (std::vector<int32_t>{0, Unclassified, Unclassified, Unclassified, 0}));
    // Angle 0 wins under any threshold, 0 deviations included.
    const ClassMap zero = SamClassification(*image, classes, 0.0, nullptr);
    EXPECT_EQ(zero.classOf[4], 0);
    EXPECT_EQ(zero.classOf[0], Unclassified);

    EXPECT_EQ(SamClassification(*image, {}, -1, nullptr).classes, 0);
}

TEST(SamClassification, RefusesEmptyClassesAndSpectraOfAnotherLength)
{
    DataRef image(dataOf("img", {A, B}, 4));
    DataRef empty(TData::Create("Empty one", 4, 0));
    DataRef other(dataOf("From elsewhere", {{1, 2, 3}}, 3));
    DataRef good(dataOf("Good", {A}, 4));
    struct Case {
        TData* cls;
        std::string message;
    };
    const Case cases[] = {
        {empty.get(), "The class \"Empty one\" has no events."},
        {other.get(), "The class \"From elsewhere\" has 3 parameters, the image 4: its spectrum belongs to another image."},
    };
    for (const Case& c : cases) {
        for (bool sd : {false, true}) {
            try {
                std::vector<TData*> classes{good.get(), c.cls};
                if (sd)
                    SdClassification(*image, classes, nullptr);
                else
                    SamClassification(*image, classes, -1, nullptr);
                ADD_FAILURE() << "no error for " << c.message;
            } catch (const OrvalaError& e) {
                EXPECT_EQ(e.what(), c.message);
            }
        }
    }
}

TEST(SdClassify, LargestNonNegativeAmountWins)
{
    const TMatrix spectra = {UnitLength(A), UnitLength(B), UnitLength(C)};
    auto mix = [&](double a, double b, double c) {
        TVector y(4);
        for (size_t p = 0; p < 4; ++p) y[p] = a * spectra[0][p] + b * spectra[1][p] + c * spectra[2][p];
        return y;
    };
    const TMatrix pixels = {mix(5, 1, 0), mix(1, 5, 2), mix(0, 1, 3), mix(2, 2, 0), {0, 0, 0, 0}, {1, NaN, 1, 1}};
    std::vector<double> v;
    for (const TVector& p : pixels) v.insert(v.end(), p.begin(), p.end());
    std::vector<int32_t> seq(pixels.size(), 99), par(pixels.size(), 99);
    SdClassify(v.data(), int(pixels.size()), 4, 4, spectra, seq.data(), nullptr);
    TMultiThread pool(3);
    SdClassify(v.data(), int(pixels.size()), 4, 4, spectra, par.data(), &pool);
    EXPECT_EQ(seq, (std::vector<int32_t>{0, 1, 2, 0, Unclassified, Unclassified}));
    EXPECT_EQ(seq, par);

    // Identical class spectra cannot be told apart by unmixing.
    EXPECT_THROW(SdClassify(v.data(), 1, 4, 4, {spectra[0], spectra[0]}, seq.data(), nullptr), OrvalaError);
}

TEST(MakeClassResults, ChildrenHoldTheirPixelsWithNameColourAndDeviation)
{
    TDataList list;
    TData::Workspace = &list;
    TData* image = dataOf("img", {A, B, {1.0, 2.0, 3.0, 5.0}, {0, 0, 0, 0}, B}, 4);
    list.Add(image);
    TData* c1 = dataOf("Soil", {A}, 4);
    TData* c2 = dataOf("Tree", {B}, 4);
    c1->setNativeColor(0x0000FF00);
    c2->setNativeColor(0x00FF0000);
    list.Add(c1);
    list.Add(c2);
    std::vector<TData*> classes{c1, c2};

    const ClassMap map = SamClassification(*image, classes, -1, nullptr);
    const std::vector<TData*> kids = MakeClassResults(*image, classes, map);
    ASSERT_EQ(kids.size(), 2u);
    for (TData* k : kids) list.Add(k);
    EXPECT_EQ(kids[0]->ShortName(), "Soil");
    EXPECT_EQ(kids[1]->ShortName(), "Tree");
    EXPECT_EQ(kids[0]->Parent(), image);
    EXPECT_EQ(kids[0]->link, (TIntVector{0, 2}));
    EXPECT_EQ(kids[1]->link, (TIntVector{1, 4}));
    EXPECT_EQ(kids[0]->NativeColor(), 0x0000FF00u);
    const double a = angleBetween(TVector{1.0, 2.0, 3.0, 5.0}, A);
    EXPECT_NEAR(kids[0]->Deviation, std::sqrt(a * a / 1), 1e-9);
    EXPECT_NEAR(kids[1]->Deviation, 0.0, 1e-12);
    image->UpdateColors();
    EXPECT_EQ(image->GetColor(2), 0x0000FF00u);
    EXPECT_EQ(image->GetColor(4), 0x00FF0000u);
    EXPECT_EQ(image->GetColor(3), image->NativeColor());  // unclassified keeps the image's colour

    // A class that took a single pixel: the deviation is its squared angle.
    DataRef small(dataOf("small", {{1.0, 2.0, 3.0, 5.0}, B}, 4));
    const ClassMap one = SamClassification(*small, classes, -1, nullptr);
    const std::vector<TData*> single = MakeClassResults(*small, classes, one);
    EXPECT_NEAR(single[0]->Deviation, a * a, 1e-12);
    for (TData* k : single) delete k;

    list.Clear();
    TData::Workspace = nullptr;
}

TEST(ClassFile, RoundTripKeepsNamesColoursAndEventsInTheDocumentedLayout)
{
    test::TempDir dir;
    DataRef c1(dataOf("Soil", {A, B}, 4));
    DataRef c2(dataOf("Water", {C}, 4));
    c1->setNativeColor(0x00123456);
    c2->setNativeColor(0x00ABCDEF);
    const std::string path = dir.file("set.soc");
    SaveClassFile(path, {c1.get(), c2.get()});

    const std::string bytes = test::slurp(path);
    int32_t head[2];
    ASSERT_GE(bytes.size(), sizeof head);
    std::memcpy(head, bytes.data(), sizeof head);
    EXPECT_EQ(head[0], 1);
    EXPECT_EQ(head[1], 2);

    RecordingSink sink;
    std::vector<TData*> loaded = LoadClassFile(path, sink);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(loaded[0]->ShortName(), "Soil");
    EXPECT_EQ(loaded[1]->ShortName(), "Water");
    EXPECT_EQ(loaded[0]->NativeColor(), 0x00123456u);
    EXPECT_EQ(loaded[1]->NativeColor(), 0x00ABCDEFu);
    ASSERT_EQ(loaded[0]->events(), 2);
    EXPECT_EQ(TVector(loaded[0]->data[1], loaded[0]->data[1] + 4), B);
    for (TData* d : loaded) delete d;
}

TEST(ClassFile, DamagedFilesStopAtTheFirstBadRecordOrAreRefused)
{
    test::TempDir dir;
    DataRef c1(dataOf("First", {A}, 4));
    DataRef c2(dataOf("Second", {B}, 4));
    // A class carrying a frame, as one cut from an image sequence does.
    DataRef framed(dataOf("Framed", {C}, 4));
    QCam_Frame f;
    f.format = 2;
    f.width = 1;
    f.height = 1;
    f.bufferSize = f.size = 1;
    f.buffer.assign(1, 7);
    framed->seq.push_back(f);
    const std::string good = dir.file("good.soc");
    SaveClassFile(good, {c1.get(), framed.get(), c2.get()});
    const std::string bytes = test::slurp(good);

    MemoryStream one;
    SaveDataToStream(one, *c1);
    const size_t firstEnd = 8 + one.bytes().size();
    // The frame record of the second class starts after its version, tip channel and image flag.
    const size_t frameSizeAt = firstEnd + 4 + 4 + 1 + 4 + 4;

    struct Case {
        const char* what;
        std::string bytes;
        size_t loaded;
        bool message;
    };
    std::string cutInSecond = bytes.substr(0, firstEnd + 20);
    std::string hugeFrame = bytes;
    const uint32_t huge = 0x7FFFFFF0;
    std::memcpy(hugeFrame.data() + frameSizeAt, &huge, 4);
    std::string moreThanThere = bytes;
    const int32_t many = 5;
    std::memcpy(moreThanThere.data() + 4, &many, 4);
    const Case cases[] = {
        {"cut in the second record", cutInSecond, 1, true},
        {"a frame larger than the bytes left", hugeFrame, 1, true},
        {"a count beyond the records present", moreThanThere, 3, true},
        {"complete", bytes, 3, false},
    };
    for (const Case& c : cases) {
        const std::string path = dir.write("damaged.soc", c.bytes);
        RecordingSink sink;
        std::vector<TData*> loaded = LoadClassFile(path, sink);
        EXPECT_EQ(loaded.size(), c.loaded) << c.what;
        EXPECT_EQ(!sink.messages.empty(), c.message) << c.what;
        if (c.message && !sink.messages.empty()) {
            EXPECT_NE(sink.messages[0].find(path), std::string::npos) << c.what;
        }
        if (!loaded.empty()) {
            EXPECT_EQ(loaded[0]->ShortName(), "First") << c.what;
        }
        for (TData* d : loaded) delete d;
    }

    // Headers that cannot be a class file at all.
    for (const std::string& head : {std::string("\x01\0\0", 3), std::string("\x01\0\0\0\xff\xff\xff\x7f", 8)}) {
        const std::string path = dir.write("head.soc", head);
        EXPECT_THROW(LoadClassFile(path), OrvalaError);
    }
    EXPECT_THROW(LoadClassFile(dir.file("missing.soc")), OrvalaError);
}

namespace {

std::filesystem::path samsonDir() { return std::filesystem::path(ORVALA_SHARED_DIR) / "hyperspectral-samples"; }

std::vector<std::string> splitCsv(const std::string& line)
{
    std::vector<std::string> cells;
    std::stringstream s(line);
    std::string c;
    while (std::getline(s, c, ',')) {
        if (!c.empty() && c.back() == '\r') c.pop_back();
        cells.push_back(c);
    }
    return cells;
}

double number(const std::string& text)
{
    double v = NaN;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

}  // namespace

TEST(SamsonScene, SamAgreesWithTheIndependentClassMap)
{
    const auto base = samsonDir();
    if (!std::filesystem::exists(base / "samson-frames"))
        GTEST_SKIP() << "the shared hyperspectral samples are absent (" << base.string() << ")";

    DataRef image(LoadMultiPage((base / "samson-frames").string()));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->events(), 95 * 95);
    ASSERT_EQ(image->CaseSize(), 156);

    std::ifstream lib(base / "library_mean_spectra.csv");
    std::string line;
    std::getline(lib, line);  // wavelengths
    TMatrix spectra;
    while (std::getline(lib, line)) {
        const auto cells = splitCsv(line);
        if (cells.size() < 2) continue;
        TVector s;
        for (size_t i = 1; i < cells.size(); ++i) s.push_back(number(cells[i]));
        ASSERT_EQ(s.size(), 156u);
        spectra.push_back(UnitLength(s));
    }
    ASSERT_EQ(spectra.size(), 3u);

    std::vector<int32_t> expected;
    std::ifstream check(base / "check_sam_class_map_95x95.csv");
    while (std::getline(check, line))
        for (const std::string& c : splitCsv(line)) expected.push_back(int32_t(number(c)));
    ASSERT_EQ(expected.size(), size_t(95 * 95));

    TMultiThread pool(0);
    std::vector<int32_t> cls(expected.size());
    SamClassify(image->data.data(), image->events(), 156, 156, spectra, {}, cls.data(), nullptr, &pool);
    size_t agree = 0;
    for (size_t p = 0; p < cls.size(); ++p) agree += cls[p] == expected[p];
    EXPECT_GE(double(agree) / double(cls.size()), 0.99) << agree << " of " << cls.size() << " pixels agree";
}
