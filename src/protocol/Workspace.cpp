#include "Workspace.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "Protocol.h"
#include "core/Records.h"
#include "core/SaveTarget.h"
#include "core/TData.h"
#include "core/TDataFilter.h"
#include "core/TDataList.h"
#include "core/TGate.h"

namespace orvala {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr const char* FormatName = "orvala-workspace";
constexpr int FormatVersion = 1;

// ------------------------------------------------------------------ base64

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(const std::vector<uint8_t>& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        for (int s = 18; s >= 0; s -= 6) out += Alphabet[(v >> s) & 63];
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = uint32_t(bytes[i]) << 16;
        out += Alphabet[(v >> 18) & 63];
        out += Alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8;
        out += Alphabet[(v >> 18) & 63];
        out += Alphabet[(v >> 12) & 63];
        out += Alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

// Strict decoding: a hand-edited or cut text must not pass as a shorter record.
bool fromBase64(const std::string& text, std::vector<uint8_t>& out)
{
    out.clear();
    if (text.size() % 4 != 0) return false;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t v = 0;
        int pad = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            const char* p = c ? std::strchr(Alphabet, c) : nullptr;
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++pad;
                v <<= 6;
                continue;
            }
            if (!p || pad) return false;
            v = v << 6 | uint32_t(p - Alphabet);
        }
        out.push_back(uint8_t(v >> 16));
        if (pad < 2) out.push_back(uint8_t(v >> 8));
        if (pad < 1) out.push_back(uint8_t(v));
    }
    return true;
}

std::string bytesToString(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

std::vector<uint8_t> stringToBytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// ------------------------------------------------------------ 8-bit texts

bool validUtf8(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = uint8_t(s[i]);
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || (more == 1 && c < 0xC2) || i + size_t(more) >= s.size()) return false;
        for (int k = 1; k <= more; ++k)
            if ((uint8_t(s[i + size_t(k)]) >> 6) != 2) return false;
        i += size_t(more) + 1;
    }
    return true;
}

// Names and paths are 8-bit text as the files hold them. UTF-8 is stored as
// a JSON text; other bytes (Latin-1 channel names such as "µ") as base64, so
// they read back byte for byte and still match the reopened file.
Json text8(const std::string& s)
{
    if (validUtf8(s)) return s;
    Json j;
    j["bytes"] = toBase64(stringToBytes(s));
    return j;
}

// ------------------------------------------------------------------ saving

std::string gateRecord(const TGate& gate)
{
    MemoryStream s;
    SaveGateToStream(s, gate);
    return toBase64(s.bytes());
}

std::string filterRecord(const TDataFilter* filter)
{
    if (!filter) return {};
    MemoryStream s;
    SaveFilterToStream(s, *filter);
    return toBase64(s.bytes());
}

Json axesJson(const PlotAxesState& a)
{
    Json j;
    j["x"] = a.x;
    j["y"] = a.y;
    j["xLogToLin"] = a.xLogToLin;
    j["xLinToLog"] = a.xLinToLog;
    j["yLogToLin"] = a.yLogToLin;
    j["yLinToLog"] = a.yLinToLog;
    j["multi"] = a.multi;
    return j;
}

// The root's event colours: a palette and one index per event, 1 byte each
// when there are at most 256 colours (the usual case: a colour per gate),
// else 4 bytes, little-endian.
Json eventColorsJson(const TColors& colors)
{
    std::vector<uint32_t> palette;
    std::map<uint32_t, uint32_t> index;
    for (TColor c : colors)
        if (index.emplace(c, uint32_t(palette.size())).second) palette.push_back(c);
    const int width = palette.size() <= 256 ? 1 : 4;
    std::vector<uint8_t> bytes;
    bytes.reserve(colors.size() * size_t(width));
    for (TColor c : colors) {
        const uint32_t k = index[c];
        for (int b = 0; b < width; ++b) bytes.push_back(uint8_t(k >> (8 * b)));
    }
    Json j;
    j["palette"] = palette;
    j["bytesPerEvent"] = width;
    j["indices"] = toBase64(bytes);
    return j;
}

// A root counts as opened from a file when the list-mode reader made it:
// only such a data set can be read again from its path.
bool openedFromFile(const TData& d) { return !d.Parent() && d.dataset && !d.IsPicture(); }

std::string relativePath(const fs::path& file, const fs::path& base)
{
    const fs::path rel = file.lexically_relative(base);
    return rel.empty() ? std::string() : rel.generic_string();
}

// ------------------------------------------------------------------ reading

class Damaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const Json& member(const Json& j, const char* key, const std::string& where)
{
    if (!j.is_object() || !j.contains(key)) throw Damaged(where + " has no \"" + key + "\"");
    return j.at(key);
}

std::string stringAt(const Json& j, const char* key, const std::string& where, bool required = true)
{
    if (!required && (!j.is_object() || !j.contains(key))) return {};
    const Json& v = member(j, key, where);
    if (!v.is_string()) throw Damaged(where + "." + key + " is not a text");
    return v.get<std::string>();
}

// An 8-bit text as text8 stores it.
std::string read8(const Json& v, const std::string& where)
{
    if (v.is_string()) return v.get<std::string>();
    std::vector<uint8_t> bytes;
    if (v.is_object() && v.size() == 1 && v.contains("bytes") && v["bytes"].is_string() &&
        fromBase64(v["bytes"].get<std::string>(), bytes))
        return bytesToString(bytes);
    throw Damaged(where + " is not a text");
}

std::string text8At(const Json& j, const char* key, const std::string& where, bool required)
{
    if (!required && (!j.is_object() || !j.contains(key))) return {};
    return read8(member(j, key, where), where + "." + key);
}

int64_t intAt(const Json& j, const char* key, const std::string& where, int64_t lo, int64_t hi, bool required = true,
              int64_t fallback = 0)
{
    if (!required && (!j.is_object() || !j.contains(key))) return fallback;
    const Json& v = member(j, key, where);
    if (!v.is_number_integer()) throw Damaged(where + "." + key + " is not a whole number");
    const int64_t n = v.is_number_unsigned() ? int64_t(std::min<uint64_t>(v.get<uint64_t>(), uint64_t(INT64_MAX)))
                                             : v.get<int64_t>();
    if (n < lo || n > hi) throw Damaged(where + "." + key + " is out of range");
    return n;
}

bool boolAt(const Json& j, const char* key, const std::string& where)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const Json& v = j.at(key);
    if (!v.is_boolean()) throw Damaged(where + "." + key + " is not true or false");
    return v.get<bool>();
}

std::vector<int> intListAt(const Json& j, const char* key, const std::string& where)
{
    std::vector<int> out;
    if (!j.is_object() || !j.contains(key)) return out;
    const Json& v = j.at(key);
    if (!v.is_array()) throw Damaged(where + "." + key + " is not a list");
    for (const Json& e : v) {
        if (!e.is_number_integer() || e.get<int64_t>() < 0 || e.get<int64_t>() > INT32_MAX)
            throw Damaged(where + "." + key + " holds something that is not an entry number");
        out.push_back(int(e.get<int64_t>()));
    }
    return out;
}

const Json& arrayAt(const Json& j, const char* key, const std::string& where)
{
    static const Json empty = Json::array();
    if (!j.is_object() || !j.contains(key)) return empty;
    const Json& v = j.at(key);
    if (!v.is_array()) throw Damaged(where + "." + key + " is not a list");
    return v;
}

// A record field must decode and read back completely with its reader.
std::string recordAt(const Json& j, const char* key, const std::string& where, bool required,
                     const std::function<bool(MemoryStream&)>& reads)
{
    const std::string text = stringAt(j, key, where, required);
    if (text.empty()) return {};
    std::vector<uint8_t> bytes;
    if (!fromBase64(text, bytes)) throw Damaged(where + "." + key + " is not a base64 record");
    MemoryStream s(bytes);
    if (!reads(s) || s.bytesLeft() != 0) throw Damaged(where + "." + key + " is not a readable record");
    return bytesToString(bytes);
}

bool readsGate(MemoryStream& s) { return LoadGateFromStream(s) != nullptr; }
bool readsFilter(MemoryStream& s) { return LoadFilterFromStream(s) != nullptr; }

PlotAxesState readAxes(const Json& j, const std::string& where)
{
    PlotAxesState a;
    if (!j.is_object()) throw Damaged(where + " is not an object");
    a.x = intListAt(j, "x", where);
    a.y = intListAt(j, "y", where);
    a.xLogToLin = boolAt(j, "xLogToLin", where);
    a.xLinToLog = boolAt(j, "xLinToLog", where);
    a.yLogToLin = boolAt(j, "yLogToLin", where);
    a.yLinToLog = boolAt(j, "yLinToLog", where);
    a.multi = boolAt(j, "multi", where);
    return a;
}

void readGates(const Json& list, const std::string& where, std::vector<WorkspaceDocument::Gate>& out,
               std::set<int>& ids, int depth)
{
    // Nesting deeper than any real gate tree is a hostile file, not a session.
    if (depth > 1000) throw Damaged(where + " is nested too deeply");
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string at = where + "[" + std::to_string(i) + "]";
        const Json& g = list[i];
        if (!g.is_object()) throw Damaged(at + " is not an object");
        WorkspaceDocument::Gate gate;
        gate.id = int(intAt(g, "id", at, 0, INT32_MAX));
        if (!ids.insert(gate.id).second) throw Damaged(at + ".id " + std::to_string(gate.id) + " is used twice");
        gate.name = text8At(g, "name", at, false);
        gate.events = intAt(g, "events", at, -1, INT32_MAX, false, -1);
        gate.record = recordAt(g, "record", at, true, readsGate);
        gate.filter = recordAt(g, "filter", at, false, readsFilter);
        readGates(arrayAt(g, "gates", at), at + ".gates", gate.kids, ids, depth + 1);
        out.push_back(std::move(gate));
    }
}

std::vector<uint32_t> readEventColors(const Json& j, const std::string& where, int64_t events)
{
    std::vector<uint32_t> colors;
    if (!j.is_object() || !j.contains("eventColors")) return colors;
    const Json& c = j.at("eventColors");
    const std::string at = where + ".eventColors";
    const Json& palette = arrayAt(c, "palette", at);
    std::vector<uint32_t> pal;
    for (const Json& p : palette) {
        if (!p.is_number_unsigned() || p.get<uint64_t>() > UINT32_MAX) throw Damaged(at + ".palette holds a bad colour");
        pal.push_back(uint32_t(p.get<uint64_t>()));
    }
    const int width = int(intAt(c, "bytesPerEvent", at, 1, 4));
    if (width != 1 && width != 4) throw Damaged(at + ".bytesPerEvent is neither 1 nor 4");
    std::vector<uint8_t> bytes;
    if (!fromBase64(stringAt(c, "indices", at), bytes)) throw Damaged(at + ".indices is not base64");
    if (events < 0 || bytes.size() != uint64_t(events) * uint64_t(width))
        throw Damaged(at + ".indices does not hold one entry per event");
    colors.reserve(size_t(events));
    for (size_t e = 0; e < bytes.size(); e += size_t(width)) {
        uint32_t k = 0;
        for (int b = 0; b < width; ++b) k |= uint32_t(bytes[e + size_t(b)]) << (8 * b);
        if (k >= pal.size()) throw Damaged(at + ".indices names a colour the palette lacks");
        colors.push_back(pal[k]);
    }
    return colors;
}

// ------------------------------------------------------------------ building

std::string join(const std::vector<std::string>& items, const char* sep)
{
    std::string s;
    for (const std::string& i : items) s += (s.empty() ? "" : sep) + i;
    return s;
}

void releaseChain(TData* first, const std::set<TData*>& kept)
{
    std::vector<TData*> chain;
    for (TData* d = first; d; d = d->NextData) chain.push_back(d);
    for (TData* d : chain) d->NextData = nullptr;
    for (TData* d : chain)
        if (!kept.count(d)) {
            d->UseIt();
            TData::Free(d);
        }
}

uint64_t fnv(uint64_t h, const void* data, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

// ====================================================================== save

std::vector<std::string> SaveWorkspace(const std::string& filename, const TDataList& workspace,
                                       const std::vector<WorkspaceWindow>& windows)
{
    std::vector<std::string> skipped;
    std::map<const TData*, int> ids;
    int nextId = 0;
    std::error_code ec;
    const fs::path workspaceDir = fs::absolute(fs::path(filename), ec).lexically_normal().parent_path();

    std::function<Json(const TData&)> gatesOf = [&](const TData& parent) {
        Json list = Json::array();
        for (TData* kid : parent.Kids()) {
            // An imported Gating-ML gate's rule has no record; it is left out like a kid without a gate.
            if (!kid->gate || kid->gate->kind == TGateType::gtRule) {
                skipped.push_back(kid->FullName());
                continue;
            }
            Json g;
            const int id = nextId++;
            ids[kid] = id;
            g["id"] = id;
            g["name"] = text8(kid->ShortName());
            g["color"] = kid->NativeColor();
            g["events"] = kid->events();
            g["record"] = gateRecord(*kid->gate);
            if (kid->filter) g["filter"] = filterRecord(kid->filter.get());
            g["gates"] = gatesOf(*kid);
            list.push_back(std::move(g));
        }
        return list;
    };

    Json roots = Json::array();
    for (TData* d : workspace.items()) {
        if (d->Parent()) continue;
        if (!openedFromFile(*d)) {
            skipped.push_back(d->ScreenName());
            continue;
        }
        Json r;
        const int id = nextId++;
        ids[d] = id;
        r["id"] = id;
        const fs::path file = fs::absolute(fs::path(d->FileName()), ec).lexically_normal();
        Json f;
        f["path"] = text8(file.string());
        const std::string rel = relativePath(file, workspaceDir);
        if (!rel.empty()) f["relative"] = text8(rel);
        f["dataSet"] = d->datasetnum;
        r["file"] = std::move(f);
        r["name"] = text8(d->ShortName());
        r["color"] = d->NativeColor();
        r["events"] = d->events();
        Json pars = Json::array();
        const int n = std::min(d->CaseSize(), int(d->Desc().size()));
        for (int c = 0; c < n; ++c) pars.push_back(text8(d->Desc()[size_t(c)].name));
        r["parameters"] = std::move(pars);
        if (d->filter) r["filter"] = filterRecord(d->filter.get());
        if (int64_t(d->fcolor.size()) == d->events()) r["eventColors"] = eventColorsJson(d->fcolor);
        r["gates"] = gatesOf(*d);
        roots.push_back(std::move(r));
    }

    Json wins = Json::array();
    for (const WorkspaceWindow& w : windows) {
        const auto it = ids.find(w.data);
        if (it == ids.end()) continue;
        Json j;
        j["data"] = it->second;
        j["page"] = w.state.page;
        j["scatter"] = axesJson(w.state.scatter);
        j["components"] = axesJson(w.state.components);
        j["geometry"] = {w.state.left, w.state.top, w.state.width, w.state.height};
        wins.push_back(std::move(j));
    }

    Json doc;
    doc["format"] = FormatName;
    doc["version"] = FormatVersion;
    doc["dataSets"] = std::move(roots);
    doc["windows"] = std::move(wins);
    Json skippedJson = Json::array();
    for (const std::string& name : skipped) skippedJson.push_back(text8(name));
    doc["skipped"] = std::move(skippedJson);

    // JSON strings hold no raw line breaks, so every "\n" is a line end.
    std::string text = doc.dump(1, ' ', false, Json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    out += "\r\n";

    const std::string target = SaveTarget(filename);
    try {
        WriteAndReplace(target, out);
    } catch (const std::exception&) {
        throw OrvalaError("Can not create file: " + filename);
    }
    return skipped;
}

// ====================================================================== read

WorkspaceDocument ReadWorkspace(const std::string& filename)
{
    std::ifstream in(filename, std::ios::binary);
    if (!in) throw OrvalaError("Can not open file " + filename);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const std::string damaged = "Workspace file " + filename + " is damaged: ";
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::parse_error& e) {
        throw OrvalaError(damaged + "it is cut or not in the workspace layout (" + e.what() + ")");
    }
    WorkspaceDocument doc;
    doc.fileName = filename;
    try {
        if (!j.is_object() || !j.contains("format") || j["format"] != FormatName)
            throw Damaged("it is not an Orvala workspace");
        const int64_t version = intAt(j, "version", "the file", 1, INT32_MAX);
        if (version > FormatVersion)
            throw OrvalaError("Workspace file " + filename + " was written by a newer version of Orvala");
        std::set<int> ids;
        const Json& roots = arrayAt(j, "dataSets", "the file");
        for (size_t i = 0; i < roots.size(); ++i) {
            const std::string at = "dataSets[" + std::to_string(i) + "]";
            const Json& r = roots[i];
            if (!r.is_object()) throw Damaged(at + " is not an object");
            WorkspaceDocument::Root root;
            root.id = int(intAt(r, "id", at, 0, INT32_MAX));
            if (!ids.insert(root.id).second) throw Damaged(at + ".id " + std::to_string(root.id) + " is used twice");
            const Json& f = member(r, "file", at);
            root.path = text8At(f, "path", at + ".file", true);
            root.relative = text8At(f, "relative", at + ".file", false);
            root.dataSet = int(intAt(f, "dataSet", at + ".file", 0, INT32_MAX, false, 0));
            if (root.path.empty() && root.relative.empty()) throw Damaged(at + ".file names no file");
            root.name = text8At(r, "name", at, false);
            root.color = uint32_t(intAt(r, "color", at, 0, UINT32_MAX, false, 0));
            root.events = intAt(r, "events", at, -1, INT32_MAX, false, -1);
            for (const Json& p : arrayAt(r, "parameters", at)) root.parameters.push_back(read8(p, at + ".parameters"));
            root.filter = recordAt(r, "filter", at, false, readsFilter);
            root.eventColors = readEventColors(r, at, root.events);
            readGates(arrayAt(r, "gates", at), at + ".gates", root.gates, ids, 0);
            doc.roots.push_back(std::move(root));
        }
        const Json& windows = arrayAt(j, "windows", "the file");
        for (size_t i = 0; i < windows.size(); ++i) {
            const std::string at = "windows[" + std::to_string(i) + "]";
            const Json& w = windows[i];
            WorkspaceDocument::Window win;
            win.data = int(intAt(w, "data", at, 0, INT32_MAX));
            if (!ids.count(win.data)) throw Damaged(at + ".data names no data set of the workspace");
            win.state.page = int(intAt(w, "page", at, 0, 1000, false, 1));
            if (w.contains("scatter")) win.state.scatter = readAxes(w["scatter"], at + ".scatter");
            if (w.contains("components")) win.state.components = readAxes(w["components"], at + ".components");
            if (w.contains("geometry")) {
                const Json& g = w["geometry"];
                if (!g.is_array() || g.size() != 4) throw Damaged(at + ".geometry is not four numbers");
                int v[4];
                for (size_t k = 0; k < 4; ++k) {
                    if (!g[k].is_number_integer() || std::abs(g[k].get<int64_t>()) > 100000)
                        throw Damaged(at + ".geometry is not four numbers");
                    v[k] = int(g[k].get<int64_t>());
                }
                win.state.left = v[0];
                win.state.top = v[1];
                win.state.width = std::max(0, v[2]);
                win.state.height = std::max(0, v[3]);
            }
            doc.windows.push_back(std::move(win));
        }
        for (const Json& s : arrayAt(j, "skipped", "the file")) doc.skipped.push_back(read8(s, "skipped"));
    } catch (const Damaged& e) {
        throw OrvalaError(damaged + e.what());
    } catch (const Json::exception& e) {
        throw OrvalaError(damaged + e.what());
    }
    return doc;
}

// ===================================================================== build

std::string ResolveWorkspacePath(const std::string& workspaceFile, const std::string& absolute,
                                 const std::string& relative)
{
    std::error_code ec;
    if (!relative.empty()) {
        const fs::path dir = fs::absolute(fs::path(workspaceFile), ec).parent_path();
        const fs::path p = (dir / fs::path(relative)).lexically_normal();
        if (fs::is_regular_file(p, ec)) return p.string();
    }
    if (!absolute.empty() && fs::is_regular_file(fs::path(absolute), ec)) return absolute;
    return {};
}

bool WorkspaceOpenResult::complete() const
{
    return missingFiles.empty() && unreadableFiles.empty() && missingDataSets.empty() && failedGates.empty() &&
           missingParameters.empty() && changedCounts.empty();
}

std::string WorkspaceOpenResult::report(const std::string& workspaceName) const
{
    std::vector<std::string> parts;
    if (!missingFiles.empty()) parts.push_back("These files were not found: " + join(missingFiles, ", ") + ".");
    if (!unreadableFiles.empty()) parts.push_back("These files could not be read: " + join(unreadableFiles, "; ") + ".");
    if (!missingDataSets.empty())
        parts.push_back("These data sets are no longer in their files: " + join(missingDataSets, ", ") + ".");
    if (!missingParameters.empty())
        parts.push_back("These data sets lack parameters the gates use: " + join(missingParameters, "; ") + ".");
    if (!failedGates.empty())
        parts.push_back("These gates could not be rebuilt (nor the gates below them): " + join(failedGates, "; ") + ".");
    if (!changedCounts.empty())
        parts.push_back("These data sets hold other event counts than when saved: " + join(changedCounts, "; ") + ".");
    if (!skipped.empty())
        parts.push_back("Not in the workspace because they were not opened from a file: " + join(skipped, ", ") + ".");
    if (parts.empty()) return {};
    const std::string head = complete() ? "Workspace " + workspaceName + " was opened."
                                        : "Workspace " + workspaceName + " was opened only in part.";
    return head + "\n" + join(parts, "\n");
}

WorkspaceOpenResult BuildWorkspace(const WorkspaceDocument& doc, TDataList& workspace, const WorkspaceFileOpener& open)
{
    WorkspaceOpenResult result;
    result.skipped = doc.skipped;
    std::map<int, TData*> byId;

    // Every file once: its chain is read from the lowest data-set number wanted.
    struct FileSets {
        std::string resolved;
        int first = INT32_MAX;
        TData* chain = nullptr;
        std::string error;
    };
    std::map<std::string, FileSets> files;
    std::vector<std::string> rootFile(doc.roots.size());
    for (size_t i = 0; i < doc.roots.size(); ++i) {
        const WorkspaceDocument::Root& r = doc.roots[i];
        const std::string resolved = ResolveWorkspacePath(doc.fileName, r.path, r.relative);
        const std::string shown = r.path.empty() ? r.relative : r.path;
        if (resolved.empty()) {
            if (std::find(result.missingFiles.begin(), result.missingFiles.end(), shown) == result.missingFiles.end())
                result.missingFiles.push_back(shown);
            continue;
        }
        rootFile[i] = resolved;
        FileSets& f = files[resolved];
        f.resolved = resolved;
        f.first = std::min(f.first, r.dataSet);
    }
    std::set<TData*> kept;
    try {
        for (auto& [path, f] : files) {
            try {
                f.chain = open ? open(path, f.first) : nullptr;
            } catch (const std::exception& e) {
                f.error = e.what();
            }
            // Nothing from a later data set means the file no longer holds it:
            // the data sets are named below, not the file.
            if (!f.chain && f.error.empty() && f.first == 0) f.error = "the file holds no events";
            if (!f.error.empty()) result.unreadableFiles.push_back(path + ": " + f.error);
        }

        for (size_t i = 0; i < doc.roots.size(); ++i) {
            const WorkspaceDocument::Root& r = doc.roots[i];
            if (rootFile[i].empty()) continue;
            const FileSets& f = files[rootFile[i]];
            if (!f.chain && !f.error.empty()) continue;
            TData* root = nullptr;
            for (TData* d = f.chain; d; d = d->NextData)
                if (d->datasetnum == r.dataSet && !kept.count(d)) {
                    root = d;
                    break;
                }
            if (!root) {
                result.missingDataSets.push_back("data set " + std::to_string(r.dataSet) + " of " + rootFile[i]);
                continue;
            }
            kept.insert(root);
            if (!r.name.empty() && r.name != root->ShortName()) root->setShortName(r.name);
            root->setNativeColor(r.color);
            if (!r.filter.empty()) {
                MemoryStream s(stringToBytes(r.filter));
                root->filter = LoadFilterFromStream(s);
            }
            workspace.Add(root);
            result.added.push_back(root);
            byId[r.id] = root;
            if (r.events >= 0 && r.events != root->events())
                result.changedCounts.push_back(root->ScreenName() + " has " + std::to_string(root->events()) +
                                               " events, " + std::to_string(r.events) + " when saved");

            // The tree in the order the protocol replay takes it.
            SavedGateTree tree;
            tree.byName = true;
            tree.names = r.parameters;
            std::vector<const WorkspaceDocument::Gate*> nodes;
            std::function<void(const std::vector<WorkspaceDocument::Gate>&, int)> flatten =
                [&](const std::vector<WorkspaceDocument::Gate>& gates, int depth) {
                    for (const WorkspaceDocument::Gate& g : gates) {
                        MemoryStream s(stringToBytes(g.record));
                        tree.gates.push_back({depth, LoadGateFromStream(s)});
                        nodes.push_back(&g);
                        flatten(g.kids, depth + 1);
                    }
                };
            flatten(r.gates, 0);
            const ReplayResult replay = ReplayGateTree(*root, tree, workspace);
            std::vector<const TData*> parentOf(nodes.size() + 1, nullptr);
            std::vector<std::string> pathTo{root->ScreenName()};
            for (size_t k = 0; k < nodes.size(); ++k) {
                const WorkspaceDocument::Gate& g = *nodes[k];
                const size_t depth = size_t(tree.gates[k].depth);
                pathTo.resize(depth + 1);
                const std::string name = pathTo[depth] + "/" + (g.name.empty() ? "?" : g.name);
                TData* D = replay.perRecord[k];
                // Only the top of a failed subtree is named: the rest goes with it.
                const bool parentMade = depth == 0 || parentOf[depth] != nullptr;
                if (D) {
                    result.added.push_back(D);
                    byId[g.id] = D;
                    if (!g.filter.empty()) {
                        MemoryStream s(stringToBytes(g.filter));
                        D->filter = LoadFilterFromStream(s);
                    }
                    if (g.events >= 0 && g.events != D->events())
                        result.changedCounts.push_back(name + " has " + std::to_string(D->events()) + " events, " +
                                                       std::to_string(g.events) + " when saved");
                } else if (parentMade) {
                    result.failedGates.push_back(name);
                }
                pathTo.push_back(name);
                if (parentOf.size() < depth + 2) parentOf.resize(depth + 2);
                parentOf[depth + 1] = D;
            }
            if (!replay.missingNames.empty())
                result.missingParameters.push_back(root->ScreenName() + ": " + join(replay.missingNames, ", "));
            // The saved colours hold painted events too; they replace what the
            // rebuilt gates painted.
            if (!r.eventColors.empty() && int64_t(r.eventColors.size()) == root->events() &&
                int64_t(root->fcolor.size()) == root->events())
                root->fcolor = r.eventColors;
        }
    } catch (...) {
        for (auto& [path, f] : files) releaseChain(f.chain, kept);
        throw;
    }
    for (auto& [path, f] : files) releaseChain(f.chain, kept);

    for (const WorkspaceDocument::Window& w : doc.windows) {
        const auto it = byId.find(w.data);
        if (it != byId.end()) result.windows.push_back({it->second, w.state});
    }
    return result;
}

// ============================================================== fingerprint

uint64_t GateFingerprint(const TDataList& workspace)
{
    uint64_t h = 1469598103934665603ull;
    for (TData* d : workspace.items()) {
        if (!d->gate) continue;
        MemoryStream s;
        if (d->gate->kind == TGateType::gtRule) {
            // Imported gates cannot be edited: their rule and name identify them.
            const void* rule = d->gate->rule.get();
            s.write(&rule, sizeof rule);
        } else {
            SaveGateToStream(s, *d->gate);
        }
        const int parent = workspace.IndexOf(d->Parent());
        h = fnv(h, &parent, sizeof parent);
        h = fnv(h, s.bytes().data(), s.bytes().size());
        const TColor c = d->NativeColor();
        h = fnv(h, &c, sizeof c);
        h = fnv(h, d->ShortName().data(), d->ShortName().size());
    }
    return h;
}

bool HasGates(const TDataList& workspace)
{
    return std::any_of(workspace.items().begin(), workspace.items().end(), [](const TData* d) { return bool(d->gate); });
}

bool FirstGateTree(const WorkspaceDocument& doc, SavedGateTree& tree)
{
    for (const WorkspaceDocument::Root& r : doc.roots) {
        if (r.gates.empty()) continue;
        tree = SavedGateTree{};
        tree.byName = true;
        tree.names = r.parameters;
        std::function<void(const std::vector<WorkspaceDocument::Gate>&, int)> flatten =
            [&](const std::vector<WorkspaceDocument::Gate>& gates, int depth) {
                for (const WorkspaceDocument::Gate& g : gates) {
                    MemoryStream s(stringToBytes(g.record));
                    tree.gates.push_back({depth, LoadGateFromStream(s)});
                    flatten(g.kids, depth + 1);
                }
            };
        flatten(r.gates, 0);
        return true;
    }
    return false;
}

}  // namespace orvala
