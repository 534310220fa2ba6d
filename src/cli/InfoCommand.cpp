// orvala-cli info: name, version, data type, events and parameters of every
// data set of every file, as text or JSON.
#include <algorithm>
#include <atomic>
#include <cassert>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

#include <nlohmann/json.hpp>

#include "CliCommon.h"
#include "Commands.h"
#include "core/TPreText.h"
#include "formats/FcsOpen.h"
#include "formats/ReaderPool.h"
#include "formats/TDataSet.h"
#include "formats/TFCStream.h"
#include "formats/TText.h"
#include "parallel/TMultiThread.h"

namespace orvala::cli {

namespace {

// What info prints of one data set, from the finished matrix or from the
// column ranges alone.
struct SetSummary {
    std::string name;                     // the file name without folder and extension
    const TDataSet* dataset = nullptr;    // null for data sets not read from FCS
    TPreText* text = nullptr;
    int events = 0;
    std::vector<std::string> parNames;
    std::vector<bool> parLog;
    std::vector<double> mins, maxs;       // +inf/-inf for a column with no value but NaN
};

// "FCS3.1": the six version bytes of the data set's HEADER. The reader keeps only
// the major number, so they are read again from the file at the data set's offset.
std::string versionText(const std::string& filename, const TDataSet* ds)
{
    if (!ds) return "";
    std::ifstream in(filename, std::ios::binary);
    in.seekg(ds->Offset);
    char magic[6] = {};
    if (!in.read(magic, 6)) return "FCS" + std::to_string(ds->version);
    return trimmed(std::string(magic, 6));
}

// Smallest and largest value of every column, NaN left out. One pass over the
// event-major rows, split into chunks over the reader pool; chunks are merged
// in order, so even the sign of a zero extreme is the sequential loop's.
void columnRanges(const TData& d, std::vector<double>& mins, std::vector<double>& maxs)
{
    const int cols = d.CaseSize(), events = d.events();
    constexpr double inf = std::numeric_limits<double>::infinity();
    mins.assign(size_t(cols), inf);
    maxs.assign(size_t(cols), -inf);
    if (cols == 0 || events == 0) return;
    // About 256 KB of rows a chunk: small enough to share between workers.
    const int chunk = std::max(64, int((size_t(256) << 10) / (size_t(cols) * sizeof(double))));
    const int chunks = int((int64_t(events) + chunk - 1) / chunk);
    std::vector<double> lo(size_t(chunks) * size_t(cols), inf), hi(size_t(chunks) * size_t(cols), -inf);
    auto scan = [&](int c0) {
        double* l = lo.data() + size_t(c0) * size_t(cols);
        double* h = hi.data() + size_t(c0) * size_t(cols);
        const int end = int(std::min<int64_t>(events, int64_t(c0 + 1) * chunk));
        for (int e = c0 * chunk; e < end; ++e) {
            const double* row = d.data[e];
            for (int c = 0; c < cols; ++c) {
                l[c] = std::min(l[c], row[c]);
                h[c] = std::max(h[c], row[c]);
            }
        }
    };
    std::vector<std::atomic<bool>> done(static_cast<size_t>(chunks));
    TMultiThread* pool = readerPool();
    if (chunks > 1 && pool->NumberOfThreads() > 1)
        pool->Process(
            [&](int, int index, int size, int& count, std::atomic<bool>& aborted) {
                for (int k = index; k < index + size && !aborted; ++k) {
                    scan(k);
                    done[size_t(k)] = true;
                }
                count += size;
            },
            nullptr, chunks, 1);
    for (int k = 0; k < chunks; ++k) {
        if (!done[size_t(k)]) scan(k);
        for (int c = 0; c < cols; ++c) {
            mins[size_t(c)] = std::min(mins[size_t(c)], lo[size_t(k) * size_t(cols) + size_t(c)]);
            maxs[size_t(c)] = std::max(maxs[size_t(c)], hi[size_t(k) * size_t(cols) + size_t(c)]);
        }
    }
}

nlohmann::ordered_json describe(const std::string& filename, int index, const SetSummary& d, bool withKeywords)
{
    nlohmann::ordered_json j;
    TPreText* text = d.text;
    j["dataset"] = index;
    j["name"] = utf8(d.name);
    j["version"] = versionText(filename, d.dataset);
    j["datatype"] = text ? std::string(1, text->DataType) : std::string();
    j["events"] = d.events;

    const int cols = int(d.parNames.size());
    nlohmann::ordered_json pars = nlohmann::ordered_json::array();
    for (int c = 0; c < cols; ++c) {
        nlohmann::ordered_json jp;
        jp["name"] = utf8(d.parNames[size_t(c)]);
        jp["PnR"] = text ? utf8(trimmed(text->ParOfParValue(c + 1, "R"))) : std::string();
        jp["PnE"] = text ? utf8(trimmed(text->ParOfParValue(c + 1, "E"))) : std::string();
        jp["log"] = bool(d.parLog[size_t(c)]);
        // A column without a finite value has no range: shown as "-" rather
        // than the empty range's inf and -inf.
        if (d.events > 0 && d.mins[size_t(c)] <= d.maxs[size_t(c)]) {
            jp["min"] = d.mins[size_t(c)];
            jp["max"] = d.maxs[size_t(c)];
        } else {
            jp["min"] = nullptr;
            jp["max"] = nullptr;
        }
        pars.push_back(std::move(jp));
    }
    j["parameters"] = std::move(pars);

    if (withKeywords && text) {
        // Pairs, not an object: the TEXT order and duplicate keys are kept.
        nlohmann::ordered_json kw = nlohmann::ordered_json::array();
        for (size_t k = 0; k < text->keys.size() && k < text->Values.size(); ++k)
            kw.push_back({utf8(text->keys[k]), utf8(text->Values[k])});
        j["keywords"] = std::move(kw);
    }
    return j;
}

// A data set read whole, as every other command reads it.
SetSummary summaryOf(const TData& d)
{
    SetSummary s;
    s.name = d.ShortName();
    s.dataset = dynamic_cast<const TDataSet*>(d.dataset.get());
    s.text = d.dataset ? d.dataset->keywords() : nullptr;
    s.events = d.events();
    for (const TParDescriptor& p : d.Desc()) {
        s.parNames.push_back(p.name);
        s.parLog.push_back(p.log);
    }
    columnRanges(d, s.mins, s.maxs);
    return s;
}

// Set (to anything) to make info read every data set whole: for tests that
// compare the two ways of finding the ranges.
bool fullReadForced() { return std::getenv("ORVALA_CLI_INFO_FULL_READ") != nullptr; }

// The files the FCS reader does not take: instrument logs and text tables, and
// mail attachments (".a") whose name must be looked at again.
bool otherReader(const std::string& file)
{
    std::string lower = file;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* ext : {".log", ".txt", ".a"}) {
        const std::string e(ext);
        if (lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0) return true;
    }
    return false;
}

// The data sets of one file, in chain order; the stream (when the file is FCS)
// and the chain own what the summaries point at.
struct FileSummary {
    std::unique_ptr<TFCStream> stream;
    FileChain chain;
    std::vector<SetSummary> sets;
};

// Reads the file as openChain does, with the same messages, failures and
// data sets. When every data set's finished values are its stored values
// (nothing compensated, converted or mapped), only the column ranges are
// taken, block by block, and the events x parameters matrix is never built:
// for a large file, allocating it costs more than everything else info does.
FileSummary summarise(const std::string& file, MessageSink& sink)
{
    FileSummary out;
    TMultiThread* pool = readerPool();
    std::error_code ec;
    if (fullReadForced() || otherReader(file) || !std::filesystem::is_regular_file(file, ec)) {
        out.chain = openChain(file, sink, pool);
        for (const DataRef& d : out.chain.sets) out.sets.push_back(summaryOf(*d));
        return out;
    }
    const CliError unreadable(file + ": no readable data set");
    try {
        out.stream = std::make_unique<TFCStream>(file, false, sink, pool);
    } catch (const std::exception&) {
        sink.message("Error reading file " + file);
        throw unreadable;
    }
    TFCStream& stream = *out.stream;

    // Decided before anything is read, so that the full read below starts from
    // the stream as it was parsed and says what openChain would.
    bool fast = !stream.badfile && stream.Count() > 0;
    for (int k = 0; fast && k < stream.Count(); ++k) {
        const TDataSet* ds = stream.DataSet(k);
        if (k == 0 && (!ds->Text || ds->Text->KeyIndex("$DATATYPE") < 0)) fast = false;
        // A data set without parameters ends the chain; the rest is never read.
        if (!ds->Text || ds->ParCount() <= 0) {
            fast = fast && k > 0;
            break;
        }
        fast = fast && ds->rangesWithoutMatrix();
        // The reader turns a column named "PRISM" into sort bits after decoding.
        for (int c = 0; fast && c < ds->ParCount(); ++c) fast = ColumnName(*ds->Text, c) != "PRISM";
    }
    if (!fast) {
        TData* first = CreateFromStream(stream, file, 0, sink, pool);
        if (first->events() == 0) {
            delete first;
            throw unreadable;
        }
        for (TData* d = first; d; d = d->NextData) out.chain.sets.emplace_back(d);
        for (const DataRef& d : out.chain.sets) out.sets.push_back(summaryOf(*d));
        return out;
    }

    TData probe;
    probe.setFileName(file);
    for (int k = 0; k < stream.Count(); ++k) {
        TDataSet* ds = stream.DataSet(k);
        if (!ds->Text || ds->ParCount() <= 0) break;
        SetSummary s;
        try {
            [[maybe_unused]] const bool taken = ds->valueRanges(s.mins, s.maxs, pool);
            assert(taken && "rangesWithoutMatrix() held above");
        } catch (const std::exception&) {
            // As a data set that fails its full read: the first one fails the file,
            // a later one ends the chain.
            sink.message("Error reading file " + file);
            if (k == 0) throw unreadable;
            break;
        }
        s.events = int(ds->EventCount());
        if (s.events == 0) {
            if (k == 0) throw unreadable;
            break;
        }
        s.name = probe.ShortName();
        s.dataset = ds;
        s.text = ds->keywords();
        for (int c = 0; c < ds->ParCount(); ++c) {
            s.parNames.push_back(ColumnName(*ds->Text, c));
            s.parLog.push_back(ds->LogScale(c));
        }
        out.sets.push_back(std::move(s));
    }
    return out;
}

void printText(const nlohmann::ordered_json& file)
{
    std::printf("%s\n", file["file"].get<std::string>().c_str());
    for (const auto& ds : file["datasets"]) {
        std::printf("  data set %d: %s\n", ds["dataset"].get<int>(), ds["name"].get<std::string>().c_str());
        std::printf("    version    %s\n", ds["version"].get<std::string>().c_str());
        std::printf("    data type  %s\n", ds["datatype"].get<std::string>().c_str());
        std::printf("    events     %d\n", ds["events"].get<int>());
        std::printf("    %-4s %-24s %-12s %-10s %-4s %-14s %-14s\n", "#", "name", "$PnR", "$PnE", "log", "min", "max");
        int n = 1;
        for (const auto& p : ds["parameters"]) {
            const std::string mn = p["min"].is_null() ? "-" : formatNumber(p["min"].get<double>());
            const std::string mx = p["max"].is_null() ? "-" : formatNumber(p["max"].get<double>());
            std::printf("    %-4d %-24s %-12s %-10s %-4s %-14s %-14s\n", n++, p["name"].get<std::string>().c_str(),
                        p["PnR"].get<std::string>().c_str(), p["PnE"].get<std::string>().c_str(),
                        p["log"].get<bool>() ? "yes" : "no", mn.c_str(), mx.c_str());
        }
        if (ds.contains("keywords")) {
            std::printf("    keywords:\n");
            for (const auto& kv : ds["keywords"])
                std::printf("      %s = %s\n", kv[0].get<std::string>().c_str(), kv[1].get<std::string>().c_str());
        }
    }
}

}  // namespace

int runInfo(const InfoOptions& options)
{
    FileMessageSink sink("");
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    int failures = 0;
    for (const std::string& file : options.files) {
        sink.setFile(file);
        try {
            const FileSummary summary = summarise(file, sink);
            nlohmann::ordered_json j;
            j["file"] = utf8(file);
            j["datasets"] = nlohmann::ordered_json::array();
            for (size_t k = 0; k < summary.sets.size(); ++k)
                j["datasets"].push_back(describe(file, int(k), summary.sets[k], options.keywords));
            if (options.json)
                all.push_back(std::move(j));
            else
                printText(j);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "orvala-cli: %s\n", e.what());
            ++failures;
        }
    }
    if (options.json) std::printf("%s\n", all.dump(2).c_str());
    std::fflush(stdout);
    return failures ? 1 : 0;
}

}  // namespace orvala::cli
