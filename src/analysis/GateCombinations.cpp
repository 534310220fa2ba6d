#include "GateCombinations.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>

#include "core/Messages.h"
#include "core/TData.h"
#include "core/TGate.h"
#include "parallel/CompleteChunks.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Events per counting chunk (a multiple of 64): enough work to be worth a
// worker, few enough chunks that their private histograms stay cheap.
constexpr int kChunkWords = 1 << 14;  // 1,048,576 events

// Byte j of kSpread[v] is bit j of v: eight events' bits of one gate
// spread into eight byte lanes at once.
constexpr auto kSpread = [] {
    std::array<uint64_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        for (int j = 0; j < 8; ++j)
            if (v >> j & 1) t[size_t(v)] |= uint64_t(1) << (8 * j);
    return t;
}();

void refuseTooManyGates(int g)
{
    if (g > MaxCombinedGates)
        throw OrvalaError("Too many gates to combine: " + std::to_string(g) + " gates would need " +
                          "a table of 2^" + std::to_string(g) + " rows; at most " +
                          std::to_string(MaxCombinedGates) + " gates can be combined.");
}

}  // namespace

std::vector<int64_t> CountCombinations(const TData& data, const std::vector<const TData*>& kids, TMultiThread* pool)
{
    const int g = int(kids.size());
    refuseTooManyGates(g);
    std::vector<int64_t> counts(size_t(1) << g, 0);
    const int n = data.events();
    if (n <= 0) return counts;
    const size_t words = (size_t(n) + 63) / 64;

    // One bitmap per gate: a kid's link need not be ascending (subsets,
    // picture regions), and a bit per event is a twentieth of the links.
    std::vector<uint64_t> bits(words * size_t(g), 0);
    forAllChunks(pool, g, 1, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) {
            uint64_t* map = bits.data() + size_t(i) * words;
            for (int32_t l : kids[size_t(i)]->link)
                if (l >= 0 && l < n) map[size_t(l) >> 6] |= uint64_t(1) << (l & 63);
        }
    });

    // Each chunk of 64-event words counts into its own histogram; integer
    // sums in any order equal the sequential ones.
    const int wordCount = int(words);
    const int chunks = (wordCount + kChunkWords - 1) / kChunkWords;
    const int lowGates = g > 8 ? g - 8 : 0;
    std::vector<std::vector<uint32_t>> partial(static_cast<size_t>(chunks));
    forAllChunks(pool, wordCount, kChunkWords, [&](int begin, int end) {
        for (int first = begin; first < end; first += kChunkWords) {
            std::vector<uint32_t>& hist = partial[size_t(first / kChunkWords)];
            hist.assign(counts.size(), 0);
            const int last = std::min(end, first + kChunkWords);
            for (int w = first; w < last; ++w) {
                // Byte lane j of acc[part][k] collects the gate bits of event
                // 8k + j: gates 0..7 in part 0, gates 8..15 in part 1, the
                // first gate ending up as the most significant bit.
                uint64_t acc[2][8] = {};
                for (int i = 0; i < g; ++i) {
                    const uint64_t word = bits[size_t(i) * words + size_t(w)];
                    uint64_t* a = acc[i < 8 ? 0 : 1];
                    for (int k = 0; k < 8; ++k) a[k] = (a[k] << 1) | kSpread[(word >> (8 * k)) & 0xFF];
                }
                const int valid = std::min(64, n - w * 64);
                for (int b = 0; b < valid; ++b) {
                    const int k = b >> 3, j = (b & 7) * 8;
                    const uint32_t hi = uint32_t((acc[0][k] >> j) & 0xFF), lo = uint32_t((acc[1][k] >> j) & 0xFF);
                    ++hist[(hi << lowGates) | lo];
                }
            }
        }
    });
    for (const auto& hist : partial)
        for (size_t c = 0; c < hist.size(); ++c) counts[c] += hist[c];
    return counts;
}

std::vector<double> CombinationPercentages(const std::vector<int64_t>& counts)
{
    int64_t sum = 0;
    for (int64_t c : counts) sum += c;
    std::vector<double> out(counts.size(), 0.0);
    if (sum == 0) return out;
    for (size_t i = 0; i < counts.size(); ++i) out[i] = double(counts[i]) * 100.0 / double(sum);
    return out;
}

std::string CombinationSigns(int g, int row)
{
    const unsigned c = unsigned(row - 1);
    std::string s;
    for (int i = 0; i < g; ++i) s += (c >> (g - 1 - i)) & 1u ? '+' : '-';
    return s;
}

std::string FormatPercentage(double value)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 5);
    if (ec != std::errc()) return std::string();
    return std::string(buf, end);
}

std::vector<TData*> GatedKids(const TData& data)
{
    std::vector<TData*> out;
    for (TData* kid : data.Kids())
        if (kid->gate) out.push_back(kid);
    return out;
}

CombinationTable::CombinationTable(const TData& first, TMultiThread* pool) : pool_(pool)
{
    const std::vector<TData*> kids = GatedKids(first);
    if (kids.empty())
        throw OrvalaError("The data set \"" + first.FullName() + "\" has no gates to combine.");
    refuseTooManyGates(int(kids.size()));
    for (const TData* kid : kids) gates_.push_back(kid->gate->name);
    Add(first);
}

void CombinationTable::Add(const TData& data)
{
    const std::vector<TData*> kids = GatedKids(data);
    if (kids.size() != gates_.size()) throw OrvalaError("Number of gates differs");
    // The columns follow the table's gate order, whatever the data set's is.
    std::vector<const TData*> ordered;
    for (const std::string& name : gates_) {
        auto it = std::find_if(kids.begin(), kids.end(), [&](const TData* k) { return k->gate->name == name; });
        if (it == kids.end()) throw OrvalaError("Names of the gates must be the same");
        ordered.push_back(*it);
    }
    Column col;
    col.header = data.FullName();
    col.percent = CombinationPercentages(CountCombinations(data, ordered, pool_));
    columns_.push_back(std::move(col));
}

std::string CombinationTable::Cell(int row, int column) const
{
    if (column < 0 || column >= int(columns_.size()) || row < 1 || row > GetComCount()) return std::string();
    return FormatPercentage(columns_[size_t(column)].percent[size_t(row - 1)]);
}

TData* CombinationTable::CreateDataSet(const std::string& name) const
{
    if (columns_.empty()) return nullptr;
    const int g = GetGateCount();
    const int combos = GetComCount();
    TData* d = TData::Create(name, combos, int(columns_.size()));
    for (int c = 0; c < combos; ++c) d->Desc()[size_t(c)].name = CombinationSigns(g, c + 1);
    for (int k = 0; k < int(columns_.size()); ++k) {
        std::copy(columns_[size_t(k)].percent.begin(), columns_[size_t(k)].percent.end(), d->data[k]);
        d->Eventnames.push_back(columns_[size_t(k)].header);
    }
    return d;
}

}  // namespace orvala
