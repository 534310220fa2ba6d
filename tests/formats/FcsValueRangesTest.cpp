// Column ranges taken from the DATA segment without the value matrix: equal,
// bit for bit, to those of the matrix the full read finishes, for every layout
// the block decoder reads, and refused where the finished values differ from
// the stored ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "FcsBuilder.h"
#include "core/Messages.h"
#include "formats/ByteSource.h"
#include "formats/FcsOpen.h"
#include "formats/TFCStream.h"
#include "parallel/TMultiThread.h"

using namespace orvala;
using namespace orvala::test;

namespace {

constexpr float nanF = std::numeric_limits<float>::quiet_NaN();
constexpr float infF = std::numeric_limits<float>::infinity();

// What the full read gives: event count, messages, and the ranges of one pass
// over the finished matrix in event order (NaN left out, the first of two
// equal extremes kept).
struct FullRead {
    int events = 0;
    std::vector<double> lo, hi;
    std::vector<std::string> messages;
};

FullRead fullRead(std::shared_ptr<const ByteSource> source, TMultiThread* pool)
{
    FullRead r;
    RecordingSink sink;
    TData* d = nullptr;
    {
        TFCStream stream(source, "test.fcs", false, sink, pool);
        d = CreateFromStream(stream, "test.fcs", 0, sink, pool);
    }
    r.events = d->events();
    r.lo.assign(size_t(d->CaseSize()), std::numeric_limits<double>::infinity());
    r.hi.assign(size_t(d->CaseSize()), -std::numeric_limits<double>::infinity());
    for (int e = 0; e < d->events(); ++e)
        for (int c = 0; c < d->CaseSize(); ++c) {
            const double x = d->data[e][c];
            r.lo[size_t(c)] = x < r.lo[size_t(c)] ? x : r.lo[size_t(c)];
            r.hi[size_t(c)] = r.hi[size_t(c)] < x ? x : r.hi[size_t(c)];
        }
    r.messages = sink.messages;
    while (d) {
        TData* next = d->NextData;
        delete d;
        d = next;
    }
    return r;
}

std::shared_ptr<const ByteSource> memory(const std::string& bytes)
{
    return std::make_shared<MemorySource>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

// Bit patterns, so that -0 and +0 differ.
void expectSameBits(const std::vector<double>& a, const std::vector<double>& b, const char* what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t c = 0; c < a.size(); ++c)
        EXPECT_EQ(std::memcmp(&a[c], &b[c], sizeof(double)), 0) << what << " of column " << c << ": " << a[c] << " vs " << b[c];
}

// Values of column c of event e for the float fixtures: positive, with NaN,
// infinities and zeros of both signs where the order of reading decides.
float floatValue(int64_t e, int c, int64_t events)
{
    const int64_t last = events - 1;
    switch (c) {
    case 0:  // -0 first, +0 next to it and in the last block: the minimum is -0
        if (e == 5) return -0.0f;
        if (e == 9 || e == last - 3) return 0.0f;
        return 1.0f + float(e % 977);
    case 1:  // +0 first, -0 next to it, in a later part of the same block and in the last block
        if (e == 10) return 0.0f;
        if (e == 12 || e == 20000 || e == last) return -0.0f;
        return 2.0f + float(e % 501);
    case 2:  // NaN first and here and there; infinities in the middle
        if (e == 0 || e % 4099 == 0) return nanF;
        if (e == events / 2) return -infF;
        if (e == events / 3) return infF;
        return float(e % 3001) - 1500.5f;
    case 3:  // nothing but NaN: +inf and -inf
        return nanF;
    default:  // +0 as the maximum, before -0
        if (e == 7) return 0.0f;
        if (e == 8 || e == events - 10) return -0.0f;
        return -1.0f - float(e % 13);
    }
}

struct Fixture {
    const char* name;
    std::string bytes;
};

std::vector<Fixture> decodableFixtures()
{
    std::vector<Fixture> out;
    // Enough events for several read blocks of 1 MB, split over the pool (at
    // least four blocks), and for parts of 256 KB inside each block.
    auto eventsFor = [](int64_t eventBytes) { return std::max<int64_t>(300'000, (int64_t(9) << 19) / eventBytes); };
    int64_t events = eventsFor(20);
    for (const char* order : {"1,2,3,4", "4,3,2,1"}) {
        FcsSet s = listMode('F', order, events, 5);
        addParameters(s, {32, 32, 32, 32, 32});
        const bool big = order[0] == '4';
        for (int64_t e = 0; e < events; ++e)
            for (int c = 0; c < 5; ++c) big ? putBE(s.data, floatValue(e, c, events)) : putLE(s.data, floatValue(e, c, events));
        out.push_back({big ? "float big-endian" : "float little-endian", fcsBytes({s})});
    }
    {
        // Doubles are kept as floats: 1e300 becomes infinity.
        events = eventsFor(24);
        FcsSet s = listMode('D', "8,7,6,5,4,3,2,1", events, 3);
        addParameters(s, {64, 64, 64});
        for (int64_t e = 0; e < events; ++e) {
            putBE(s.data, e == 1000 ? 1e300 : double(floatValue(e, 0, events)) * 1.000001);
            putBE(s.data, double(floatValue(e, 2, events)));
            putBE(s.data, e == 3 ? -1e300 : double(e) / 7.0);
        }
        out.push_back({"double", fcsBytes({s})});
    }
    {
        // 16-bit integers with flag bits above $PnR 1024, and one without a mask.
        events = eventsFor(6);
        FcsSet s = listMode('I', "2,1", events, 3);
        addParameters(s, {16, 16, 16});
        setKey(s, "$P3R", "65536");
        for (int64_t e = 0; e < events; ++e) {
            putBE(s.data, uint16_t(0xFC00u | uint16_t(e * 7 % 1021)));
            putBE(s.data, uint16_t(e % 1024));
            putBE(s.data, uint16_t(e * 40503u));
        }
        out.push_back({"16-bit integers", fcsBytes({s})});
    }
    {
        // The general path: 32-, 24- and 8-bit integers, two time words and an event counter.
        events = eventsFor(16);
        FcsSet s = listMode('I', "1,2,3,4", events, 6);
        addParameters(s, {32, 24, 8, 16, 16, 32}, {"FSC", "SSC", "FL1", "Time LSW", "Time MSW", "Event Count"},
                      "4294967296");
        s.keywords.push_back({"$TIMESTEP", "0.01"});
        for (int64_t e = 0; e < events; ++e) {
            putLE(s.data, uint32_t(e * 2654435761u));
            putLE(s.data, uint32_t(e * 31u), 3);
            s.data += char(e * 3);
            putLE(s.data, uint16_t(e));
            putLE(s.data, uint16_t(e >> 16));
            putLE(s.data, uint32_t(e));
        }
        out.push_back({"integers with time words", fcsBytes({s})});
    }
    {
        // A data set of a few events: one block, read on the calling thread.
        FcsSet s = listMode('F', "1,2,3,4", 3, 2);
        addParameters(s, {32, 32});
        for (float v : {nanF, 0.0f, 1.5f, -0.0f, -2.0f, nanF}) putLE(s.data, v);
        out.push_back({"three events", fcsBytes({s})});
    }
    return out;
}

}  // namespace

TEST(FcsValueRanges, EqualToThoseOfTheFinishedMatrix)
{
    TMultiThread pool(3);
    for (const Fixture& f : decodableFixtures()) {
        for (TMultiThread* p : {static_cast<TMultiThread*>(nullptr), &pool}) {
            SCOPED_TRACE(std::string(f.name) + (p ? ", on the pool" : ", on one thread"));
            const FullRead full = fullRead(memory(f.bytes), p);
            ASSERT_GT(full.events, 0);

            RecordingSink sink;
            TFCStream stream(memory(f.bytes), "test.fcs", false, sink, p);
            TDataSet* ds = stream.DataSet(0);
            ASSERT_TRUE(ds->rangesWithoutMatrix());
            std::vector<double> lo, hi;
            ASSERT_TRUE(ds->valueRanges(lo, hi, p));
            EXPECT_EQ(ds->EventCount(), full.events);
            expectSameBits(lo, full.lo, "minimum");
            expectSameBits(hi, full.hi, "maximum");
            EXPECT_EQ(sink.messages, full.messages);
        }
    }
}

TEST(FcsValueRanges, TheFloatFixtureHasTheExtremesItWasMadeFor)
{
    // Guards the fixture above: the cases it is meant to hold are really in it.
    const std::string bytes = decodableFixtures()[1].bytes;  // big-endian floats
    RecordingSink sink;
    TFCStream stream(memory(bytes), "test.fcs", false, sink, nullptr);
    std::vector<double> lo, hi;
    ASSERT_TRUE(stream.DataSet(0)->valueRanges(lo, hi, nullptr));
    ASSERT_EQ(lo.size(), 5u);
    EXPECT_TRUE(lo[0] == 0 && std::signbit(lo[0]));
    EXPECT_TRUE(lo[1] == 0 && !std::signbit(lo[1]));
    EXPECT_EQ(lo[2], -INFINITY);
    EXPECT_EQ(hi[2], INFINITY);
    EXPECT_EQ(lo[3], INFINITY);
    EXPECT_EQ(hi[3], -INFINITY);
    EXPECT_TRUE(hi[4] == 0 && !std::signbit(hi[4]));
}

namespace {

// A file that shrinks after its size was taken: reads past `limit` come up short.
class ShrinkingSource : public ByteSource {
public:
    ShrinkingSource(const std::string& bytes, int64_t limit)
        : inner_(std::vector<uint8_t>(bytes.begin(), bytes.end())), limit_(limit)
    {
    }
    int64_t size() const override { return inner_.size(); }
    size_t readAt(int64_t offset, void* dst, size_t n) const override
    {
        if (offset >= limit_) return 0;
        return inner_.readAt(offset, dst, size_t(std::min<int64_t>(int64_t(n), limit_ - offset)));
    }

private:
    MemorySource inner_;
    int64_t limit_;
};

}  // namespace

TEST(FcsValueRanges, ADataSegmentCutShortGivesTheFullReadsEventsAndMessage)
{
    constexpr int64_t events = 800'000;  // 6.4 MB: split over the pool
    FcsSet s = listMode('F', "1,2,3,4", events, 2);
    addParameters(s, {32, 32});
    for (int64_t e = 0; e < events; ++e) {
        putLE(s.data, float(e));
        putLE(s.data, -float(e));
    }
    const std::string whole = fcsBytes({s});
    const int64_t dataStart = int64_t(whole.size() - s.data.size());
    TMultiThread pool(3);
    struct Case {
        const char* name;
        std::function<std::shared_ptr<const ByteSource>()> source;
    };
    const std::vector<Case> cases = {
        // $TOT promises more than the file holds: cut before anything is read.
        {"file cut short", [&] { return memory(whole.substr(0, size_t(dataStart + 8 * 523457 + 5))); }},
        // The file shrinks while it is read: the first block that cannot be read ends the events.
        {"file shrinking while read", [&] { return std::make_shared<ShrinkingSource>(whole, dataStart + 8 * 600001); }},
    };
    for (const Case& c : cases)
        for (TMultiThread* p : {static_cast<TMultiThread*>(nullptr), &pool}) {
            SCOPED_TRACE(std::string(c.name) + (p ? ", on the pool" : ", on one thread"));
            const FullRead full = fullRead(c.source(), p);
            ASSERT_GT(full.events, 0);
            ASSERT_LT(full.events, events);
            ASSERT_FALSE(full.messages.empty());
            EXPECT_EQ(full.messages.front(), "Bad FCS File");

            RecordingSink sink;
            TFCStream stream(c.source(), "test.fcs", false, sink, p);
            std::vector<double> lo, hi;
            ASSERT_TRUE(stream.DataSet(0)->valueRanges(lo, hi, p));
            EXPECT_EQ(stream.DataSet(0)->EventCount(), full.events);
            EXPECT_EQ(sink.messages, std::vector<std::string>{"Bad FCS File"});
            expectSameBits(lo, full.lo, "minimum");
            expectSameBits(hi, full.hi, "maximum");
            EXPECT_EQ(hi[0], double(full.events - 1));
        }
}

TEST(FcsValueRanges, RefusedWhereTheFinishedValuesAreNotTheStoredOnes)
{
    auto floats = [](int pars) {
        FcsSet s = listMode('F', "1,2,3,4", 4, pars);
        std::vector<int> bits(size_t(pars), 32);
        addParameters(s, bits, {"FSC", "SSC", "FL1", "FL2"});
        for (int i = 0; i < 4 * pars; ++i) putLE(s.data, float(i + 1));
        return s;
    };
    struct Case {
        const char* name;
        FcsSet set;
        bool expected;
        bool noCompensation = false;  // ApplySpillover switched off after reading
    };
    std::vector<Case> cases;
    cases.push_back({"plain floats", floats(4), true});
    {
        FcsSet s = floats(4);
        setKey(s, "$P3E", "4,1");
        cases.push_back({"$PnE conversion", s, false});
    }
    {
        FcsSet s = floats(4);
        s.keywords.push_back({"$P3DISPLAY", "LOG"});
        cases.push_back({"logarithmic display", s, false});
    }
    {
        // Side scatter stays linear whatever the file says.
        FcsSet s = floats(4);
        s.keywords.push_back({"$P2DISPLAY", "LOG"});
        cases.push_back({"side scatter marked LOG", s, true});
    }
    {
        // Converted, though shown linear.
        FcsSet s = floats(4);
        setKey(s, "$P2E", "4,1");
        cases.push_back({"$PnE conversion of side scatter", s, false});
    }
    {
        FcsSet s = floats(4);
        s.keywords.push_back({"$SPILLOVER", "2,FL1,FL2,1,0.1,0.2,1"});
        cases.push_back({"compensation", s, false});
        cases.push_back({"compensation switched off", s, true, true});
    }
    {
        FcsSet s = listMode('A', "1,2,3,4", 2, 2);
        addParameters(s, {4, 4});
        s.data = "00010002" "00030004";
        cases.push_back({"fixed-width ASCII", s, false});
    }
    {
        FcsSet s = listMode('A', "1,2,3,4", 2, 2);
        s.keywords.push_back({"$P1B", "*"});
        s.keywords.push_back({"$P2B", "*"});
        s.keywords.push_back({"$P1N", "A"});
        s.keywords.push_back({"$P2N", "B"});
        s.data = "1,2,3,4";
        cases.push_back({"free-format ASCII", s, false});
    }
    {
        // Ten bits a value, packed: 2 events x 2 values in 5 bytes.
        FcsSet s = listMode('I', "1,2", 2, 2);
        addParameters(s, {10, 10});
        s.data = std::string(5, '\x55');
        cases.push_back({"bit-packed integers", s, false});
    }
    {
        // 8,192 floats an event: blocks of a few events only.
        constexpr int wide = 8192;
        FcsSet s = listMode('F', "1,2,3,4", 2, wide);
        addParameters(s, std::vector<int>(wide, 32));
        s.data.assign(size_t(2) * wide * 4, '\0');
        cases.push_back({"events wider than 16 KB", s, false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        TFCStream stream(memory(fcsBytes({c.set})), "test.fcs", false, sink, nullptr);
        TDataSet* ds = stream.DataSet(0);
        if (c.noCompensation) ds->ApplySpillover = false;
        EXPECT_EQ(ds->rangesWithoutMatrix(), c.expected);
        const int64_t events = ds->EventCount();
        std::vector<double> lo, hi;
        EXPECT_EQ(ds->valueRanges(lo, hi, nullptr), c.expected);
        if (!c.expected) {
            // Nothing read: the full read still starts from the data set as parsed.
            EXPECT_EQ(ds->EventCount(), events);
            EXPECT_TRUE(lo.empty());
        }
        EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
    }
}
