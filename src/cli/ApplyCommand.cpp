// orvala-cli apply: replays a protocol (or the gate tree of a workspace) on
// many files and tabulates every gate.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "CliCommon.h"
#include "Commands.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "formats/TFCSWrite.h"
#include "protocol/Protocol.h"
#include "protocol/Workspace.h"

namespace orvala::cli {

namespace {

// TData::Workspace is one static pointer and the gate pool runs one job at a
// time, so the protocol replay (and the freeing of its tree) is serialized;
// reading files and computing statistics run on both threads.
std::mutex replayMutex;

struct FileResult {
    std::vector<std::string> rows;
    std::string error;  // empty when the file went through
    std::vector<std::string> warnings;  // gates the replay refused or could not read
    std::vector<std::string> parNames;
};

// A workspace is JSON: its first non-blank byte is "{", never a protocol's " ORP".
bool isWorkspace(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char c = 0;
    while (in.get(c))
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return c == '{';
    return false;
}

// The gate tree to replay: a protocol's, or that of the workspace's first data
// set with gates. Read once for all files.
SavedGateTree readGateTree(const std::string& path)
{
    if (!isWorkspace(path)) return ReadProtocol(path);
    const WorkspaceDocument doc = ReadWorkspace(path);
    SavedGateTree tree;
    if (!FirstGateTree(doc, tree)) throw CliError("workspace " + path + " holds no gates");
    return tree;
}

std::string gatePath(const TData* d)
{
    std::vector<std::string> names;
    for (const TData* p = d; p && p->Parent(); p = p->Parent())
        names.push_back(p->gate && !p->gate->name.empty() ? p->gate->name : p->ShortName());
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += (path.empty() ? "" : "/") + *it;
    return path;
}

std::string percent(int part, int whole)
{
    return whole > 0 ? formatNumber(100.0 * part / whole) : "";
}

// Mean and median of every column; empty cells for a gate without events.
void appendColumnStats(const TData& d, std::string& row)
{
    const int n = d.events(), cols = d.CaseSize();
    std::vector<double> column(static_cast<size_t>(n));
    for (int c = 0; c < cols; ++c) {
        if (n == 0) {
            row += "\t\t";
            continue;
        }
        double sum = 0;
        for (int e = 0; e < n; ++e) {
            column[size_t(e)] = d.data[e][c];
            sum += column[size_t(e)];
        }
        const size_t mid = size_t(n) / 2;
        std::nth_element(column.begin(), column.begin() + long(mid), column.end());
        double median = column[mid];
        if (n % 2 == 0) median = (median + *std::max_element(column.begin(), column.begin() + long(mid))) / 2;
        row += "\t" + formatNumber(sum / n) + "\t" + formatNumber(median);
    }
}

std::string safeFileName(std::string s)
{
    for (char& c : s)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            c = '_';
    return s;
}

FileResult processFile(const ApplyOptions& options, const SavedGateTree& tree, const std::string& file)
{
    FileResult result;
    RecordingSink sink;
    TDataList workspace;
    try {
        FileChain chain = openChain(file, sink, nullptr);
        TData* root = chain.sets.front().get();
        for (const auto& p : root->Desc()) result.parNames.push_back(p.name);
        std::vector<TData*> made;
        {
            std::lock_guard<std::mutex> lock(replayMutex);
            TDataList* previous = TData::Workspace;
            TData::Workspace = &workspace;
            try {
                workspace.Add(root);
                ReplayResult replay = ReplayGateTree(*root, tree, workspace);
                made = std::move(replay.made);
                if (!replay.missingNames.empty())
                    result.warnings.push_back(MissingNamesMessage(options.protocol, *root, replay));
                if (tree.damaged) result.warnings.push_back(DamagedProtocolMessage(options.protocol, int(made.size())));
            } catch (...) {
                TData::Workspace = previous;
                throw;
            }
            TData::Workspace = previous;
        }
        const std::string stem = std::filesystem::path(file).stem().string();
        for (TData* d : made) {
            const std::string path = gatePath(d);
            std::string row = file + "\t" + path + "\t" + std::to_string(d->events()) + "\t" +
                              percent(d->events(), d->Parent() ? d->Parent()->events() : 0) + "\t" +
                              percent(d->events(), root->events());
            appendColumnStats(*d, row);
            result.rows.push_back(std::move(row));
            if (!options.saveGated.empty() && d->events() > 0)
                SaveAsFCS(*d, (std::filesystem::path(options.saveGated) / (stem + "_" + safeFileName(path) + ".fcs"))
                                  .string());
        }
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    if (!result.error.empty() && !sink.messages.empty()) result.error += " (" + sink.messages.front() + ")";
    {
        std::lock_guard<std::mutex> lock(replayMutex);
        TDataList* previous = TData::Workspace;
        TData::Workspace = &workspace;
        workspace.Clear();
        TData::Workspace = previous;
    }
    return result;
}

}  // namespace

int runApply(const ApplyOptions& options)
{
    if (!std::ifstream(options.protocol, std::ios::binary)) throw CliError("cannot open protocol " + options.protocol);
    const SavedGateTree tree = readGateTree(options.protocol);
    if (!options.saveGated.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.saveGated, ec);
        if (!std::filesystem::is_directory(options.saveGated))
            throw CliError("cannot create folder " + options.saveGated);
    }
    std::ofstream out(options.stats, std::ios::binary);
    if (!out) throw CliError("cannot create file " + options.stats);

    // The parameter columns are named after the first file that opens; a file
    // with other parameters still gets its own values, one pair per column.
    std::vector<FileResult> results(options.files.size());
    std::atomic<size_t> next{0}, done{0};
    const bool progress = ::isatty(2);
    std::mutex progressMutex;
    auto worker = [&] {
        for (size_t i = next++; i < options.files.size(); i = next++) {
            results[i] = processFile(options, tree, options.files[i]);
            const size_t d = ++done;
            if (progress) {
                std::lock_guard<std::mutex> lock(progressMutex);
                std::fprintf(stderr, "\rapply: %zu/%zu files", d, options.files.size());
            }
        }
    };
    const int wanted = options.threads > 0 ? options.threads : int(std::max(2u, std::thread::hardware_concurrency()));
    const int threads = std::max(1, std::min<int>(wanted, int(options.files.size())));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (auto& t : pool) t.join();
    if (progress) std::fprintf(stderr, "\n");

    // Header: parameter names of the first file that opened.
    std::vector<std::string> parNames;
    for (const auto& r : results)
        if (r.error.empty() && !r.parNames.empty()) {
            parNames = r.parNames;
            break;
        }
    std::string header = "file\tgate\tevents\tpct_parent\tpct_root";
    for (const auto& n : parNames) header += "\tmean_" + n + "\tmedian_" + n;
    out << header << "\r\n";
    int failures = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        for (const auto& row : results[i].rows) out << row << "\r\n";
        if (!results[i].error.empty()) {
            std::fprintf(stderr, "orvala-cli: %s: %s\n", options.files[i].c_str(), results[i].error.c_str());
            ++failures;
        } else if (!results[i].warnings.empty()) {
            // Rows of the gates that were applied are written; the run still
            // fails, so a batch never takes a partial gating for a whole one.
            for (const auto& w : results[i].warnings)
                std::fprintf(stderr, "orvala-cli: %s: %s\n", options.files[i].c_str(), w.c_str());
            ++failures;
        }
    }
    out.close();
    if (!out) throw CliError("cannot write file " + options.stats);
    if (failures) {
        std::fprintf(stderr, "orvala-cli: %d of %zu files failed\n", failures, options.files.size());
        return 1;
    }
    return 0;
}

}  // namespace orvala::cli
