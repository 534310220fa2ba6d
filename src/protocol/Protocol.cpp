#include "Protocol.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "core/Records.h"
#include "core/SaveTarget.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "core/TPreText.h"

namespace orvala {

namespace {

constexpr char Tag[4] = {' ', 'O', 'R', 'P'};

std::string nameKey(const std::string& name)
{
    std::string k = trimmed(name);
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return k;
}

// A string record that must fit in the stream: a name list cut short shows
// as a length beyond the end, which the clamping reader would hide.
std::string readWholeString(ByteStream& s)
{
    const int32_t n = ReadInt(s);
    if (n < 0 || n > s.bytesLeft()) throw StreamReadError();
    std::string text(size_t(n), '\0');
    if (n > 0) s.readExact(text.data(), size_t(n));
    return text;
}

// The columns of target that the saved names stand for: for saved column i,
// the target column of the same name (trimmed, case-insensitive), or -1. The
// k-th saved occurrence of a name takes the k-th target column of that name.
std::vector<int> mapColumns(const std::vector<std::string>& saved, const TData& target)
{
    const int n = std::min(target.CaseSize(), int(target.Desc().size()));
    std::map<std::string, std::vector<int>> targetColumns;
    for (int c = 0; c < n; ++c) targetColumns[nameKey(target.Desc()[size_t(c)].name)].push_back(c);
    std::map<std::string, size_t> used;
    std::vector<int> map(saved.size(), -1);
    for (size_t i = 0; i < saved.size(); ++i) {
        const std::string key = nameKey(saved[i]);
        const auto it = targetColumns.find(key);
        const size_t k = used[key]++;
        if (it != targetColumns.end() && k < it->second.size()) map[i] = it->second[k];
    }
    return map;
}

// A copy of gate whose column references (saved space, columns named by
// saved) point at target's columns. Null when the gate does not fit the saved
// names at all; missing gets the names it uses that target lacks (and the
// result is then null too). columnsBelow: the saved names of the kid's columns.
std::unique_ptr<TGate> mapGate(const TGate& gate, const std::vector<std::string>& saved, const TData& target,
                               std::vector<std::string>& missing, std::vector<std::string>& columnsBelow)
{
    const std::vector<int> map = mapColumns(saved, target);
    const int n = int(saved.size());
    std::vector<bool> lacking(saved.size(), false);
    bool fits = true;
    auto use = [&](int i) {
        if (i < 0 || i >= n) {
            fits = false;
            return -1;
        }
        if (map[size_t(i)] < 0) lacking[size_t(i)] = true;
        return map[size_t(i)];
    };
    std::unique_ptr<TGate> g = TGate::Copy(gate);
    columnsBelow = saved;
    switch (gate.kind) {
    case TGateType::gtGate: {
        // The coefficient vectors span the saved columns; a column with 0 in
        // both does not take part and need not exist in the target.
        if (gate.Dimention() != n || int(gate.y.size()) > n) return nullptr;
        TVector x(size_t(target.CaseSize()), 0.0), y(gate.y.empty() ? 0 : size_t(target.CaseSize()), 0.0);
        for (int i = 0; i < n; ++i) {
            const double xi = gate.x[size_t(i)], yi = i < int(gate.y.size()) ? gate.y[size_t(i)] : 0.0;
            if (xi == 0 && yi == 0) continue;
            const int c = use(i);
            if (c < 0) continue;
            x[size_t(c)] = xi;
            if (!y.empty()) y[size_t(c)] = yi;
        }
        g->x = std::move(x);
        g->y = std::move(y);
        break;
    }
    case TGateType::gtPCAGate:
        if (gate.filter) {
            // An empty index list reads every column in order: spell it out
            // so the filter still sees the saved order.
            TIntVector indices = gate.filter->FIndices;
            if (indices.empty())
                for (int i = 0; i < n; ++i) indices.push_back(i);
            TIntVector mapped;
            for (int32_t i : indices) mapped.push_back(use(i));
            g->filter->setIndices(mapped);
        }
        break;
    case TGateType::gtSubChannel: {
        // The kid's columns follow the list's order, so the gates below see
        // the same names in the same order as when they were saved.
        TIntVector mapped;
        columnsBelow.clear();
        for (int32_t i : gate.ChannelList) {
            mapped.push_back(use(i));
            if (i >= 0 && i < n) columnsBelow.push_back(saved[size_t(i)]);
        }
        g->ChannelList = std::move(mapped);
        break;
    }
    default:
        // Subsets list events, image gates pixels: no columns to map.
        break;
    }
    if (!fits) return nullptr;
    bool complete = true;
    for (int i = 0; i < n; ++i)
        if (lacking[size_t(i)]) {
            complete = false;
            if (std::find(missing.begin(), missing.end(), saved[size_t(i)]) == missing.end())
                missing.push_back(saved[size_t(i)]);
        }
    return complete ? std::move(g) : nullptr;
}

}  // namespace

SavedGateTree CollectGateTree(const TData& base)
{
    SavedGateTree tree;
    tree.byName = true;
    const int n = std::min(base.CaseSize(), int(base.Desc().size()));
    for (int c = 0; c < n; ++c) tree.names.push_back(base.Desc()[size_t(c)].name);
    std::function<void(const TData&, int)> walk = [&](const TData& parent, int depth) {
        for (TData* kid : parent.Kids()) {
            if (!kid->gate) continue;
            tree.gates.push_back({depth, TGate::Copy(*kid->gate)});
            walk(*kid, depth + 1);
        }
    };
    walk(base, 0);
    return tree;
}

void SaveProtocol(TData& base, const std::string& filename)
{
    const std::string target = SaveTarget(filename);
    const SavedGateTree tree = CollectGateTree(base);
    // Refused before anything is written, with the gate's name rather than
    // the plain "cannot create" every write failure gives.
    for (const SavedGate& g : tree.gates)
        if (g.gate->kind == TGateType::gtRule)
            throw OrvalaError("The gate \"" + g.gate->name +
                              "\" was imported from Gating-ML and cannot be saved in a protocol; "
                              "File > Export Gating-ML writes it");
    try {
        WriteAndReplace(target, [&](const std::string& temp) {
            FileStream s(temp, FileStream::Mode::Write);
            s.write(Tag, 4);
            WriteInt(s, ProtocolVersionByName);
            WriteInt(s, int32_t(tree.names.size()));
            for (const std::string& name : tree.names) WriteString(s, name);
            for (const SavedGate& g : tree.gates) {
                WriteInt(s, g.depth);
                SaveGateToStream(s, *g.gate);
            }
            s.close();
        });
    } catch (const std::exception&) {
        throw OrvalaError("Can not create file: " + filename);
    }
}

SavedGateTree ReadProtocol(const std::string& filename)
{
    FileStream s(filename, FileStream::Mode::Read);
    char tag[4] = {};
    const size_t got = s.read(tag, 4);
    if (got == 4 && !std::equal(tag, tag + 4, Tag)) throw OrvalaError("File " + filename + " is not protocol file");
    if (got < 4) throw StreamReadError();
    SavedGateTree tree;
    // Only version 2 means anything: older files and unknown versions replay by position.
    tree.byName = ReadInt(s) == ProtocolVersionByName;
    if (tree.byName) {
        try {
            const int32_t count = ReadCount(s, 4);
            tree.names.reserve(size_t(count));
            for (int32_t i = 0; i < count; ++i) tree.names.push_back(readWholeString(s));
        } catch (const StreamReadError&) {
            throw OrvalaError("Protocol file " + filename + " is damaged: its parameter names are cut");
        }
    }
    if (s.bytesLeft() == 0) return tree;
    if (ReadInt(s) != 0) throw OrvalaError("Error in protocol file");

    int depth = 0;
    try {
        while (s.bytesLeft() > 0) {
            std::unique_ptr<TGate> gate = LoadGateFromStream(s);
            if (!gate) {
                tree.damaged = true;
                break;
            }
            tree.gates.push_back({depth, std::move(gate)});
            if (s.bytesLeft() == 0) break;
            const int32_t q = ReadInt(s);
            // A depth can only go one level below the record before it.
            if (q < 0 || q > depth + 1) {
                tree.damaged = true;
                break;
            }
            depth = q;
            if (s.bytesLeft() == 0) tree.damaged = true;  // a depth with no record after it
        }
    } catch (const std::exception&) {
        tree.damaged = true;
    }
    return tree;
}

ReplayResult ReplayGateTree(TData& base, const SavedGateTree& tree, TDataList& workspace)
{
    ReplayResult result;
    // parents[d]: the data set gates of depth d are applied under (null when
    // the gate above made nothing: its subtree then yields nothing), and the
    // saved names of its columns.
    std::vector<TData*> parents{&base};
    std::vector<std::vector<std::string>> columns{tree.names};
    for (const SavedGate& record : tree.gates) {
        const size_t d = size_t(std::max(record.depth, 0));
        TData* parent = d < parents.size() ? parents[d] : nullptr;
        TData* D = nullptr;
        std::vector<std::string> below;
        if (parent && record.gate) {
            if (!tree.byName) {
                D = TData::Gated(parent, record.gate.get());
            } else {
                std::vector<std::string> missing;
                const std::unique_ptr<TGate> mapped = mapGate(*record.gate, columns[d], *parent, missing, below);
                if (mapped) {
                    D = TData::Gated(parent, mapped.get());
                } else if (!missing.empty()) {
                    for (const std::string& m : missing)
                        if (std::find(result.missingNames.begin(), result.missingNames.end(), m) ==
                            result.missingNames.end())
                            result.missingNames.push_back(m);
                    result.refusedGates.push_back(record.gate->name);
                }
            }
        }
        if (D) {
            workspace.Add(D);
            result.made.push_back(D);
        }
        result.perRecord.push_back(D);
        parents.resize(d + 2);
        columns.resize(d + 2);
        parents[d + 1] = D;
        columns[d + 1] = std::move(below);
    }
    return result;
}

std::string DamagedProtocolMessage(const std::string& filename, int applied)
{
    return "Protocol file " + filename + " is damaged; " + std::to_string(applied) + " gates were applied";
}

std::string MissingNamesMessage(const std::string& source, const TData& target, const ReplayResult& result)
{
    auto join = [](const std::vector<std::string>& items) {
        std::string s;
        for (const std::string& item : items) s += (s.empty() ? "" : ", ") + item;
        return s;
    };
    return source + ": " + target.ScreenName() + " has no parameter " + join(result.missingNames) + "; the gate" +
           (result.refusedGates.size() == 1 ? " " : "s ") + join(result.refusedGates) +
           " and the gates below were not applied";
}

std::vector<TData*> LoadProtocol(TData& base, const std::string& filename, TDataList& workspace)
{
    return LoadProtocol(base, filename, workspace, defaultSink());
}

std::vector<TData*> LoadProtocol(TData& base, const std::string& filename, TDataList& workspace, MessageSink& sink)
{
    const SavedGateTree tree = ReadProtocol(filename);
    ReplayResult result = ReplayGateTree(base, tree, workspace);
    if (!result.missingNames.empty()) sink.message(MissingNamesMessage("Protocol file " + filename, base, result));
    if (tree.damaged) sink.message(DamagedProtocolMessage(filename, int(result.made.size())));
    return std::move(result.made);
}

}  // namespace orvala
