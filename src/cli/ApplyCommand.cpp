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
    int rootEvents = -1;  // events of the file's first data set once it opened
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
        result.rootEvents = root->events();
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
                              percent(d->events(), root->events()) + "\t";
            appendColumnStats(*d, row);
            result.rows.push_back(std::move(row));
            if (!options.saveGated.empty() && d->events() > 0)
                SaveAsFCS(*d, (std::filesystem::path(options.saveGated) / (stem + "_" + safeFileName(path) + ".fcs"))
                                  .string());
        }
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    if (!result.error.empty() && !sink.messages.empty()) {
        // The reader's own message is the precise one; when it names the file it says all.
        const std::string& said = sink.messages.front();
        result.error = said.find(file) != std::string::npos ? said : result.error + " (" + said + ")";
    }
    {
        std::lock_guard<std::mutex> lock(replayMutex);
        TDataList* previous = TData::Workspace;
        TData::Workspace = &workspace;
        workspace.Clear();
        TData::Workspace = previous;
    }
    return result;
}

// A message in one table cell: tabs and line ends would split the row.
std::string cellText(std::string s)
{
    for (char& c : s)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return s;
}

// The row of the file itself, written before its gate rows when the gates
// alone would not show what happened: a file that could not be read (events
// empty, the message in the error cell), a replay that refused gates (the
// file's events and the messages), a replay that made nothing. So every file
// of the list has at least one row, and a row with an empty events cell
// marks a file that was not read.
std::string fileRow(const std::string& file, const FileResult& r)
{
    if (!r.error.empty()) return file + "\t\t\t\t\t" + cellText(r.error);
    std::string message;
    for (const auto& w : r.warnings) message += (message.empty() ? "" : "; ") + cellText(w);
    if (message.empty() && !r.rows.empty()) return {};
    return file + "\t\t" + std::to_string(r.rootEvents) + "\t\t\t" + message;
}

// The files of the command line, then those of the list, once each, and of
// them the shard's part.
std::vector<std::string> applyFiles(const ApplyOptions& options)
{
    std::vector<std::string> all = options.files;
    if (!options.filesFrom.empty()) {
        const std::vector<std::string> listed = readFileList(options.filesFrom);
        if (listed.empty()) throw CliError("file list " + options.filesFrom + " names no files");
        all.insert(all.end(), listed.begin(), listed.end());
    }
    if (all.empty()) throw CliError("no files to apply: name them or give --files-from LIST");
    std::vector<std::string> repeats;
    all = withoutRepeats(all, &repeats);
    for (const auto& f : repeats)
        std::fprintf(stderr, "orvala-cli: %s is named more than once; it is read once\n", f.c_str());
    if (options.shard.empty()) return all;
    const Shard shard = parseShard(options.shard);
    std::vector<std::string> part = shardFiles(all, shard);
    if (part.empty())
        std::fprintf(stderr, "orvala-cli: shard %s holds none of the %zu files; the table has only its header\n",
                     options.shard.c_str(), all.size());
    return part;
}

}  // namespace

int runApply(const ApplyOptions& options)
{
    if (!std::ifstream(options.protocol, std::ios::binary)) throw CliError("cannot open protocol " + options.protocol);
    const std::vector<std::string> files = applyFiles(options);
    const SavedGateTree tree = readGateTree(options.protocol);
    if (!options.saveGated.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.saveGated, ec);
        if (!std::filesystem::is_directory(options.saveGated))
            throw CliError("cannot create folder " + options.saveGated);
    }
    ReplacingOutput table(options.stats);
    std::ofstream& out = table.stream();

    // The parameter columns are named after the first file that opens; a file
    // with other parameters still gets its own values, one pair per column.
    std::vector<FileResult> results(files.size());
    std::atomic<size_t> next{0}, done{0};
    const bool progress = ::isatty(2);
    std::mutex progressMutex;
    auto worker = [&] {
        for (size_t i = next++; i < files.size(); i = next++) {
            results[i] = processFile(options, tree, files[i]);
            const size_t d = ++done;
            if (progress) {
                std::lock_guard<std::mutex> lock(progressMutex);
                std::fprintf(stderr, "\rapply: %zu/%zu files", d, files.size());
            }
        }
    };
    const int wanted = options.threads > 0 ? options.threads : int(std::max(2u, std::thread::hardware_concurrency()));
    const int threads = std::max(1, std::min<int>(wanted, int(files.size())));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (auto& t : pool) t.join();
    if (progress) std::fprintf(stderr, "\n");

    // Header: parameter names of the first file with a row that counts events
    // (merge finds the same file by its rows, so a split list gets the same
    // header).
    std::vector<std::string> parNames;
    for (const auto& r : results)
        if (r.error.empty() || !r.rows.empty()) {
            parNames = r.parNames;
            break;
        }
    std::string header = StatsHeaderStart;
    for (const auto& n : parNames) header += "\tmean_" + n + "\tmedian_" + n;
    out << header << "\r\n";
    int failures = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const std::string own = fileRow(files[i], results[i]);
        if (!own.empty()) out << own << "\r\n";
        for (const auto& row : results[i].rows) out << row << "\r\n";
        if (!results[i].error.empty()) {
            reportFileError(files[i], results[i].error);
            ++failures;
        } else if (!results[i].warnings.empty()) {
            // Rows of the gates that were applied are written; the run still
            // fails, so a batch never takes a partial gating for a whole one.
            for (const auto& w : results[i].warnings)
                reportFileError(files[i], w);
            ++failures;
        }
    }
    table.commit();
    if (failures) {
        std::fprintf(stderr, "orvala-cli: %d of %zu files failed\n", failures, files.size());
        return 1;
    }
    return 0;
}

}  // namespace orvala::cli
