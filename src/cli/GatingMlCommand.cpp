// orvala-cli gatingml: evaluates a Gating-ML document on files (statistics
// table as apply writes it, or one file's membership table); orvala-cli
// export-gatingml: writes a protocol's or workspace's gates as Gating-ML.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "Commands.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlEvaluator.h"
#include "gatingml/GmlExport.h"
#include "gatingml/GmlFcs.h"
#include "parallel/TMultiThread.h"
#include "protocol/Protocol.h"
#include "protocol/Workspace.h"

namespace orvala::cli {

namespace {

std::string percent(int64_t part, int64_t whole) { return whole > 0 ? formatNumber(100.0 * double(part) / double(whole)) : ""; }

// "Parent/Child" along parent references, as apply names nested gates.
std::string gatePath(const GmlDocument& doc, const GmlGate& g)
{
    std::string path = g.id;
    for (const GmlGate* p = doc.FindGate(g.parentId); p; p = doc.FindGate(p->parentId)) path = p->id + "/" + path;
    return path;
}

std::string cellText(std::string s)
{
    for (char& c : s)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return s;
}

// Mean and median of every parameter over the events of gate g; empty cells without events.
void appendColumnStats(const GmlFcsData& data, const GmlMembership& m, int g, std::string& row)
{
    std::vector<double> column;
    column.reserve(size_t(m.Count(g)));
    for (int c = 0; c < data.values.cols(); ++c) {
        column.clear();
        double sum = 0;
        for (int e = 0; e < data.values.rows(); ++e)
            if (m.Contains(g, e)) {
                column.push_back(data.values.at(e, c));
                sum += column.back();
            }
        if (column.empty()) {
            row += "\t\t";
            continue;
        }
        const size_t mid = column.size() / 2;
        std::nth_element(column.begin(), column.begin() + long(mid), column.end());
        double median = column[mid];
        if (column.size() % 2 == 0) median = (median + *std::max_element(column.begin(), column.begin() + long(mid))) / 2;
        row += "\t" + formatNumber(sum / double(column.size())) + "\t" + formatNumber(median);
    }
}

void writeMembership(const std::string& path, const GmlMembership& m)
{
    std::ofstream out(path, std::ios::binary);
    if (!out) throw CliError("cannot create file " + path);
    std::string line;
    for (int g = 0; g < m.GateCount(); ++g) line += (g ? "\t" : "") + cellText(m.Ids()[size_t(g)]);
    out << line << "\r\n";
    for (int64_t e = 0; e < m.EventCount(); ++e) {
        line.clear();
        for (int g = 0; g < m.GateCount(); ++g) {
            if (g) line += '\t';
            line += m.Contains(g, e) ? '1' : '0';
        }
        out << line << "\r\n";
    }
    out.close();
    if (!out) throw CliError("cannot write file " + path);
}

}  // namespace

int runGatingMl(const GatingMlOptions& options)
{
    if (options.files.empty()) throw CliError("no files to gate");
    if (!options.membership.empty() && options.files.size() != 1)
        throw CliError("--membership needs exactly one FILE");
    if (options.stats.empty() && options.membership.empty())
        throw CliError("nothing to write: give --stats OUT.tsv and/or --membership OUT.tsv");
    const GmlDocument doc = ReadGatingMlFile(options.gates);
    TMultiThread pool(0);

    std::ofstream stats;
    if (!options.stats.empty()) {
        stats.open(options.stats, std::ios::binary);
        if (!stats) throw CliError("cannot create file " + options.stats);
    }
    bool headerWritten = false;
    std::vector<std::string> rows;
    int failures = 0;
    for (const std::string& file : options.files) {
        try {
            RecordingSink sink;
            const GmlFcsData data = ReadFcsScaleValues(file, &pool, sink);
            const GmlMembership m = EvaluateGatingMl(doc, data.Events(), &pool);
            if (!options.membership.empty()) writeMembership(options.membership, m);
            if (!stats.is_open()) continue;
            if (!headerWritten) {
                std::string header = StatsHeaderStart;
                for (const std::string& n : data.names) header += "\tmean_" + n + "\tmedian_" + n;
                stats << header << "\r\n";
                headerWritten = true;
            }
            const int64_t root = data.values.rows();
            for (int g = 0; g < m.GateCount(); ++g) {
                const GmlGate& gate = doc.gates[size_t(g)];
                const int parent = gate.parentId.empty() ? -1 : m.IndexOf(gate.parentId);
                const int64_t n = m.Count(g);
                std::string row = file + "\t" + cellText(gatePath(doc, gate)) + "\t" + std::to_string(n) + "\t" +
                                  percent(n, parent >= 0 ? m.Count(parent) : root) + "\t" + percent(n, root) + "\t";
                appendColumnStats(data, m, g, row);
                rows.push_back(std::move(row));
            }
        } catch (const std::exception& e) {
            // The file's row says what went wrong; the run fails at the end.
            std::fprintf(stderr, "orvala-cli: %s: %s\n", file.c_str(), e.what());
            rows.push_back(file + "\t\t\t\t\t" + cellText(e.what()));
            ++failures;
            if (!options.membership.empty()) throw CliError(file + ": " + e.what());
        }
    }
    if (stats.is_open()) {
        if (!headerWritten) stats << StatsHeaderStart << "\r\n";
        for (const std::string& row : rows) stats << row << "\r\n";
        stats.close();
        if (!stats) throw CliError("cannot write file " + options.stats);
    }
    if (failures) {
        std::fprintf(stderr, "orvala-cli: %d of %zu files failed\n", failures, options.files.size());
        return 1;
    }
    return 0;
}

int runExportGatingMl(const ExportGatingMlOptions& options)
{
    if (options.protocol.empty() == options.workspace.empty())
        throw CliError("give exactly one of --protocol P.orp and --workspace W.orw");
    SavedGateTree tree;
    if (!options.protocol.empty()) {
        tree = ReadProtocol(options.protocol);
    } else {
        const WorkspaceDocument ws = ReadWorkspace(options.workspace);
        if (!FirstGateTree(ws, tree)) throw CliError("workspace " + options.workspace + " holds no gates");
    }
    if (tree.damaged) throw CliError("the gate tree of " + (options.protocol.empty() ? options.workspace : options.protocol) +
                                     " is damaged; nothing was written");
    RecordingSink sink;
    TDataList list;
    TDataList* previous = TData::Workspace;
    TData::Workspace = &list;
    std::string xml;
    try {
        FileChain chain = openChain(options.file, sink, nullptr);
        xml = WriteGatingMl(GateTreeToGatingMl(tree, WorkbenchAxes(*chain.sets.front())));
    } catch (...) {
        list.Clear();
        TData::Workspace = previous;
        throw;
    }
    list.Clear();
    TData::Workspace = previous;
    // Written beside the target and renamed over it when complete.
    const std::string temp = options.to + ".part";
    {
        std::ofstream out(temp, std::ios::binary);
        if (!out) throw CliError("cannot create file " + options.to);
        out << xml;
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            throw CliError("cannot write file " + options.to);
        }
    }
    if (std::rename(temp.c_str(), options.to.c_str()) != 0) {
        std::remove(temp.c_str());
        throw CliError("cannot write file " + options.to);
    }
    return 0;
}

}  // namespace orvala::cli
