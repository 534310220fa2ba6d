// orvala-cli info: name, version, data type, events and parameters of every
// data set of every file, as text or JSON.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <limits>

#include <nlohmann/json.hpp>

#include "CliCommon.h"
#include "Commands.h"
#include "core/TPreText.h"
#include "formats/ReaderPool.h"
#include "formats/TDataSet.h"
#include "parallel/TMultiThread.h"

namespace orvala::cli {

namespace {

// "FCS3.1": the six version bytes of the data set's HEADER. The reader keeps only
// the major number, so they are read again from the file at the data set's offset.
std::string versionText(const std::string& filename, const TData& d)
{
    const auto* ds = dynamic_cast<const TDataSet*>(d.dataset.get());
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

nlohmann::ordered_json describe(const std::string& filename, int index, const TData& d, bool withKeywords)
{
    nlohmann::ordered_json j;
    TPreText* text = d.dataset ? d.dataset->keywords() : nullptr;
    j["dataset"] = index;
    j["name"] = utf8(d.ShortName());
    j["version"] = versionText(filename, d);
    j["datatype"] = text ? std::string(1, text->DataType) : std::string();
    j["events"] = d.events();

    const int cols = d.CaseSize();
    std::vector<double> mins, maxs;
    columnRanges(d, mins, maxs);

    nlohmann::ordered_json pars = nlohmann::ordered_json::array();
    for (int c = 0; c < cols; ++c) {
        const TParDescriptor& p = d.Desc()[size_t(c)];
        nlohmann::ordered_json jp;
        jp["name"] = utf8(p.name);
        jp["PnR"] = text ? utf8(trimmed(text->ParOfParValue(c + 1, "R"))) : std::string();
        jp["PnE"] = text ? utf8(trimmed(text->ParOfParValue(c + 1, "E"))) : std::string();
        jp["log"] = p.log;
        if (d.events() > 0) {
            jp["min"] = mins[size_t(c)];
            jp["max"] = maxs[size_t(c)];
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
    StderrSink sink;
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    int failures = 0;
    for (const std::string& file : options.files) {
        try {
            FileChain chain = openChain(file, sink, readerPool());
            nlohmann::ordered_json j;
            j["file"] = utf8(file);
            j["datasets"] = nlohmann::ordered_json::array();
            for (size_t k = 0; k < chain.sets.size(); ++k)
                j["datasets"].push_back(describe(file, int(k), *chain.sets[k], options.keywords));
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
