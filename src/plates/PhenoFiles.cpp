#include "PhenoFiles.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "core/TData.h"
#include "core/SaveTarget.h"
#include "formats/FcsOpen.h"
#include "plates/Plate.h"

namespace orvala {

namespace {

std::string lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// The lines of a text file, LF or CR LF; throws naming the file.
std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw OrvalaError("Cannot read " + path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (in.bad()) throw OrvalaError("Error reading " + path);
    return lines;
}

// Writes beside the target and renames over it: a failed save keeps the old file.
void writeFile(const std::string& path, const std::string& bytes)
{
    const std::string target = SaveTarget(path);
    const std::string temp = target + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw OrvalaError("Cannot write " + path);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            throw OrvalaError("Error writing " + path);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::remove(temp.c_str());
        throw OrvalaError("Cannot write " + path + ": " + ec.message());
    }
}

std::string numberText(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string key(const std::string& a, size_t i) { return a + "_" + std::to_string(i); }
std::string key(const std::string& a, size_t i, size_t j) { return key(a, i) + "_" + std::to_string(j); }

}  // namespace

// ------------------------------------------------------------------------ INI

IniData IniData::Read(const std::string& path)
{
    IniData ini;
    Section* current = nullptr;
    for (const std::string& raw : readLines(path)) {
        const std::string line = trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            const std::string name = trim(line.substr(1, line.size() - 2));
            current = ini.find(name);
            if (!current) {
                ini.sections_.push_back({name, {}});
                current = &ini.sections_.back();
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || !current) continue;
        const std::string k = trim(line.substr(0, eq));
        const std::string v = trim(line.substr(eq + 1));
        ini.Set(current->name, k, v);
    }
    return ini;
}

void IniData::Write(const std::string& path) const
{
    std::string out;
    for (const Section& s : sections_) {
        out += "[" + s.name + "]\r\n";
        for (const auto& [k, v] : s.entries) out += k + "=" + v + "\r\n";
        out += "\r\n";
    }
    writeFile(path, out);
}

IniData::Section* IniData::find(const std::string& section)
{
    const std::string l = lower(section);
    for (Section& s : sections_)
        if (lower(s.name) == l) return &s;
    return nullptr;
}

const IniData::Section* IniData::find(const std::string& section) const
{
    return const_cast<IniData*>(this)->find(section);
}

bool IniData::Has(const std::string& section, const std::string& k) const
{
    const Section* s = find(section);
    if (!s) return false;
    const std::string l = lower(k);
    return std::any_of(s->entries.begin(), s->entries.end(), [&](const auto& e) { return lower(e.first) == l; });
}

std::string IniData::String(const std::string& section, const std::string& k, const std::string& def) const
{
    const Section* s = find(section);
    if (!s) return def;
    const std::string l = lower(k);
    for (const auto& e : s->entries)
        if (lower(e.first) == l) return e.second;
    return def;
}

int IniData::Int(const std::string& section, const std::string& k, int def) const
{
    const std::string v = String(section, k);
    int out = 0;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    return r.ec == std::errc() && r.ptr == v.data() + v.size() && !v.empty() ? out : def;
}

double IniData::Double(const std::string& section, const std::string& k, double def) const
{
    const std::string v = String(section, k);
    double out = 0;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    return r.ec == std::errc() && r.ptr == v.data() + v.size() && !v.empty() ? out : def;
}

void IniData::Set(const std::string& section, const std::string& k, const std::string& value)
{
    Section* s = find(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    const std::string l = lower(k);
    for (auto& e : s->entries)
        if (lower(e.first) == l) {
            e.second = value;
            return;
        }
    s->entries.emplace_back(k, value);
    ++keyCount_;
}

void IniData::Set(const std::string& section, const std::string& k, int value)
{
    Set(section, k, std::to_string(value));
}

void IniData::Set(const std::string& section, const std::string& k, double value)
{
    Set(section, k, numberText(value));
}

// ------------------------------------------------------------------ MAB table

void MabTable::Resize(int r, int c)
{
    rows = std::max(r, 0);
    cols = std::max(c, 0);
    cells.resize(size_t(rows));
    for (auto& row : cells) row.resize(size_t(cols));
}

std::string MabTable::Cell(int r, int c) const
{
    if (r < 0 || r >= rows || c < 0 || c >= cols) return {};
    return cells[size_t(r)][size_t(c)];
}

void MabTable::SetCell(int r, int c, const std::string& text)
{
    if (r >= 0 && r < rows && c >= 0 && c < cols) cells[size_t(r)][size_t(c)] = text;
}

MabTable ReadMab(const std::string& path)
{
    std::vector<std::vector<std::string>> lines;
    size_t longest = 0;
    for (const std::string& line : readLines(path)) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            const size_t comma = line.find(',', start);
            parts.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        longest = std::max(longest, parts.size());
        lines.push_back(std::move(parts));
    }
    MabTable t;
    t.Resize(int(lines.size()), std::max(int(longest) + 1, 2));
    for (size_t r = 0; r < lines.size(); ++r)
        for (size_t c = 0; c < lines[r].size(); ++c) t.SetCell(int(r), int(c) + 1, lines[r][c]);
    return t;
}

void WriteMab(const std::string& path, const MabTable& table)
{
    std::string out;
    for (int r = 0; r < table.rows; ++r) {
        for (int c = 1; c < table.cols; ++c) {
            const std::string cell = table.Cell(r, c);
            if (cell.find(',') != std::string::npos)
                throw OrvalaError("Cannot save the table to " + path + ": the cell in row " + std::to_string(r + 1) +
                                  ", column " + std::to_string(c) + " (\"" + cell +
                                  "\") holds a comma, which separates the cells of the file.");
            if (c > 1) out += ",";
            out += cell;
        }
        out += "\r\n";
    }
    writeFile(path, out);
}

// ------------------------------------------------------------------- projects

PhenoProject ReadPhenoProject(const std::string& path)
{
    const IniData ini = IniData::Read(path);
    // A count needs keys to describe what it counts; a bigger one is damage,
    // not a reason to allocate. Defaults fill missing keys, so allow a margin.
    const int64_t limit = std::max<int64_t>(ini.KeyCount(), 1 << 20);
    auto damaged = [&](const std::string& what) {
        return OrvalaError("The phenotyping project " + path + " is damaged: " + what + ".");
    };
    PhenoProject p;
    const int fcount = ini.Int("Main", "Fcount", 0);
    if (fcount < 0 || fcount > ini.KeyCount()) throw damaged("Fcount " + std::to_string(fcount) + " is out of range");
    for (int i = 0; i < fcount; ++i) {
        PhenoSource s;
        s.file = ini.String("Main", key("file", size_t(i)));
        s.tip = ini.Int("Main", key("Tip", size_t(i)), -1);
        const int sel = ini.Int("Main", key("Sel", size_t(i)), 0);
        if (sel < 0 || sel > limit) throw damaged("Sel_" + std::to_string(i) + " is out of range");
        for (int j = 0; j < sel; ++j) s.selected.push_back(ini.Int("Main", key("dat", size_t(i), size_t(j)), 0));
        p.sources.push_back(std::move(s));
    }
    p.TubeCount = ini.Int("Main", "TubeCount", 1);
    p.DieCount = ini.Int("Main", "DieCount", 1);
    const int groupCount = ini.Int("Main", "GroupCount", 0);
    if (p.TubeCount < 0 || p.DieCount < 0 || int64_t(p.TubeCount) * p.DieCount > limit)
        throw damaged("TubeCount and DieCount are out of range");
    if (groupCount < 0 || groupCount > limit) throw damaged("GroupCount is out of range");
    for (int i = 0; i < groupCount; ++i) p.groups.push_back(ini.Int("Groups", key("G", size_t(i)), 0));
    p.marks.assign(size_t(p.TubeCount), TVector(size_t(p.DieCount), 512.0));
    for (int t = 0; t < p.TubeCount; ++t)
        for (int k = 0; k < p.DieCount; ++k)
            p.marks[size_t(t)][size_t(k)] = ini.Double("Marks", key("M", size_t(t), size_t(k)), 512.0);
    const int rows = ini.Int("Mabs", "RowCount", 2), cols = ini.Int("Mabs", "ColCount", 2);
    if (rows < 0 || cols < 0 || int64_t(rows) * cols > limit) throw damaged("RowCount and ColCount are out of range");
    p.mabs.Resize(rows, cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 1; c < cols; ++c) p.mabs.SetCell(r, c, ini.String("Mabs", key("Mab", size_t(r), size_t(c))));
    return p;
}

void WritePhenoProject(const std::string& path, const PhenoProject& p)
{
    IniData ini;
    ini.Set("Main", "Fcount", int(p.sources.size()));
    for (size_t i = 0; i < p.sources.size(); ++i) {
        const PhenoSource& s = p.sources[i];
        ini.Set("Main", key("file", i), s.file);
        ini.Set("Main", key("Tip", i), s.tip);
        ini.Set("Main", key("Sel", i), int(s.selected.size()));
        for (size_t j = 0; j < s.selected.size(); ++j) ini.Set("Main", key("dat", i, j), s.selected[j]);
    }
    ini.Set("Main", "TubeCount", p.TubeCount);
    ini.Set("Main", "DieCount", p.DieCount);
    ini.Set("Main", "GroupCount", int(p.groups.size()));
    for (size_t i = 0; i < p.groups.size(); ++i) ini.Set("Groups", key("G", i), p.groups[i]);
    for (size_t t = 0; t < p.marks.size(); ++t)
        for (size_t k = 0; k < p.marks[t].size(); ++k) ini.Set("Marks", key("M", t, k), p.marks[t][k]);
    ini.Set("Mabs", "RowCount", p.mabs.rows);
    ini.Set("Mabs", "ColCount", p.mabs.cols);
    for (int r = 0; r < p.mabs.rows; ++r)
        for (int c = 1; c < p.mabs.cols; ++c) ini.Set("Mabs", key("Mab", size_t(r), size_t(c)), p.mabs.Cell(r, c));
    ini.Write(path);
}

std::vector<TData*> OpenPhenoSources(const PhenoProject& project, const std::string& projectPath, MessageSink& sink,
                                     TMultiThread* pool)
{
    std::vector<std::unique_ptr<TData>> opened;
    for (size_t i = 0; i < project.sources.size(); ++i) {
        const PhenoSource& s = project.sources[i];
        if (s.file.empty())
            throw OrvalaError("The phenotyping project " + projectPath + " names no file for data set " +
                              std::to_string(i + 1) + "; the project is not loaded.");
        // A plate data set is saved under its folder's name.
        std::error_code ec;
        std::unique_ptr<TData> d(std::filesystem::is_directory(s.file, ec) ? LoadPlate(s.file, sink, pool)
                                                                            : TryOpenFile(s.file, 0, sink, pool));
        if (!d)
            throw OrvalaError("The phenotyping project " + projectPath + " needs " + s.file +
                              ", which cannot be opened; the project is not loaded.");
        for (TData* next = d->NextData; next;) {
            TData* after = next->NextData;
            delete next;
            next = after;
        }
        d->NextData = nullptr;
        d->Select(-1);
        for (int c : s.selected)
            if (c >= 0 && c < d->CaseSize()) d->Select(c);
        d->settipchannel(s.tip);
        opened.push_back(std::move(d));
    }
    std::vector<TData*> out;
    for (auto& d : opened) out.push_back(d.release());
    return out;
}

}  // namespace orvala
