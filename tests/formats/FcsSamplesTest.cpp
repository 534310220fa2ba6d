// Every real instrument file of the shared sample folder against the values
// independent projects assert for it (expected.tsv).
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/Messages.h"
#include "formats/FcsOpen.h"
#include "formats/TFCStream.h"

using namespace orvala;

namespace {

const std::string samples = ORVALA_SHARED_DIR "/fcs-samples";

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    std::string cur;
    std::istringstream in(s);
    while (std::getline(in, cur, sep)) out.push_back(cur);
    if (!s.empty() && s.back() == sep) out.emplace_back();
    return out;
}

struct Row {
    std::string file;
    int dataset = 0;
    long long events = 0;
    int parameters = 0;
    std::string names;
    long long event = 0;
    std::string values;
};

std::vector<Row> expectedRows()
{
    std::vector<Row> rows;
    std::ifstream in(samples + "/expected.tsv");
    std::string line;
    std::getline(in, line);  // column titles
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto f = split(line, '\t');
        if (f.size() < 7) continue;
        Row r;
        r.file = f[0];
        r.dataset = std::stoi(f[1]);
        r.events = std::stoll(f[2]);
        r.parameters = std::stoi(f[3]);
        r.names = f[4];
        r.event = f[5].empty() ? 0 : std::stoll(f[5]);
        r.values = f[6];
        rows.push_back(r);
    }
    return rows;
}

double number(const std::string& s)
{
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

}  // namespace

TEST(FcsSamples, EveryListedFileMatchesExpectedValues)
{
    if (!std::filesystem::exists(samples + "/expected.tsv"))
        GTEST_SKIP() << "sample folder " << samples << " is absent";
    const auto rows = expectedRows();
    ASSERT_FALSE(rows.empty());

    // One read per file and data set.
    struct Loaded {
        std::unique_ptr<TFCStream> stream;
        RecordingSink sink;
    };
    std::map<std::string, std::unique_ptr<Loaded>> cache;
    int checkedValues = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file + " data set " + std::to_string(r.dataset) + " event " + std::to_string(r.event));
        const std::string path = samples + "/" + r.file;
        if (r.values == "refused-or-empty") {
            RecordingSink sink;
            TData* d = TryOpenFile(path, r.dataset, sink, nullptr);
            EXPECT_EQ(d, nullptr);
            delete d;
            // Refused files say why; nothing opens silently wrong.
            EXPECT_FALSE(sink.messages.empty());
            continue;
        }
        auto& slot = cache[r.file];
        if (!slot) {
            slot = std::make_unique<Loaded>();
            slot->stream = std::make_unique<TFCStream>(path, true, slot->sink, nullptr);
        }
        TFCStream& s = *slot->stream;
        ASSERT_FALSE(s.badfile);
        ASSERT_GT(s.Count(), r.dataset);
        TDataSet& ds = *s.DataSet(r.dataset);
        EXPECT_EQ(ds.EventCount(), r.events);
        EXPECT_EQ(ds.ParCount() + int(ds.Text->DeletedPars.size()), r.parameters);
        std::string names;
        for (int i = 0; i < ds.ParCount(); ++i) names += (i ? "|" : "") + ds.ParShortName(i);
        EXPECT_EQ(names, r.names);

        const auto expected = split(r.values, ',');
        ASSERT_EQ(int(expected.size()), ds.values.cols());
        ASSERT_LT(r.event, ds.values.rows());
        const auto& L = ds.layout();
        for (int c = 0; c < ds.values.cols(); ++c) {
            // Expected values are as stored; the reader multiplies a single integer
            // time parameter by $TIMESTEP while reading.
            double want = number(expected[size_t(c)]);
            if (L.type == 'I' && c + 1 == L.timePar && L.timestep != 0) want *= L.timestep;
            EXPECT_EQ(float(ds.values[int(r.event)][c]), float(want)) << "column " << c << " " << ds.ParShortName(c);
            ++checkedValues;
        }
    }
    EXPECT_GT(checkedValues, 0);
}

// Every sample opens through the TData path (compensation, conversion,
// descriptors) without a crash, and every data set of a chain comes along.
TEST(FcsSamples, EveryFileOpensAsDataSetChain)
{
    if (!std::filesystem::exists(samples + "/expected.tsv"))
        GTEST_SKIP() << "sample folder " << samples << " is absent";
    std::map<std::string, int> expectedSets;
    std::map<std::string, long long> expectedEvents;
    for (const Row& r : expectedRows()) {
        expectedSets[r.file] = std::max(expectedSets[r.file], r.dataset + 1);
        if (r.dataset == 0) expectedEvents[r.file] = r.events;
    }
    for (const auto& [file, sets] : expectedSets) {
        SCOPED_TRACE(file);
        RecordingSink sink;
        TData* d = TryOpenFile(samples + "/" + file, 0, sink, nullptr);
        if (expectedEvents[file] == 0) {
            EXPECT_EQ(d, nullptr);
            continue;
        }
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->events(), expectedEvents[file]);
        int count = 0;
        for (TData* x = d; x; x = x->NextData) {
            ++count;
            EXPECT_EQ(x->data.rows(), x->events());
            EXPECT_EQ(int(x->Desc().size()), x->CaseSize());
            ASSERT_NE(x->dataset, nullptr);
        }
        EXPECT_EQ(count, sets);
        while (d) {
            TData* next = d->NextData;
            delete d;
            d = next;
        }
    }
}
