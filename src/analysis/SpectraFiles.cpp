#include "SpectraFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "core/Messages.h"

namespace orvala {

namespace {

std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n\f\v";
    const size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(ws) - a + 1);
}

// Lines without their CR or LF endings.
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

// Comma-separated fields; a field in double quotes may hold commas and "" for a quote.
std::vector<std::string> splitCsv(const std::string& line)
{
    std::vector<std::string> fields;
    std::string f;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                f += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                f += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(f));
            f.clear();
        } else {
            f += c;
        }
    }
    fields.push_back(std::move(f));
    return fields;
}

// The whole trimmed field as a number with "." decimals, whatever the locale.
std::optional<double> number(const std::string& field)
{
    const std::string t = trim(field);
    if (t.empty()) return std::nullopt;
    const char* first = t.data();
    if (*first == '+') ++first;
    double v = 0;
    const auto [end, ec] = std::from_chars(first, t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return v;
}

std::string readText(const std::string& path, const char* what)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw OrvalaError(std::string("Can not open ") + what + " " + path + ": " + std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) throw OrvalaError(std::string("Can not read ") + what + " " + path);
    return text;
}

}  // namespace

SpectraTable ReadSpectraCsv(const std::string& path)
{
    const std::vector<std::string> lines = splitLines(readText(path, "the spectra file"));
    SpectraTable t;
    size_t row = 0;
    while (row < lines.size() && trim(lines[row]).empty()) ++row;
    if (row >= lines.size()) throw OrvalaError(path + ": no header row of detector names");
    const std::vector<std::string> header = splitCsv(lines[row]);
    if (header.size() < 2) throw OrvalaError(path + ": the header names no detector");
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> lineOf;
    for (++row; row < lines.size(); ++row) {
        if (trim(lines[row]).empty()) continue;
        std::vector<std::string> fields = splitCsv(lines[row]);
        if (fields.size() != header.size())
            throw OrvalaError(path + ", line " + std::to_string(row + 1) + ": " + std::to_string(fields.size()) +
                              " fields where the header has " + std::to_string(header.size()));
        rows.push_back(std::move(fields));
        lineOf.push_back(row + 1);
    }
    // Columns of text in every row (a file name, a peak detector) are notes
    // beside the spectrum, not detectors.
    std::vector<size_t> valueColumns;
    for (size_t j = 1; j < header.size(); ++j) {
        bool anyNumber = rows.empty();
        for (const auto& r : rows)
            if (number(r[j])) anyNumber = true;
        if (anyNumber) valueColumns.push_back(j);
    }
    if (valueColumns.empty()) throw OrvalaError(path + ": the header names no detector");
    for (size_t j : valueColumns) t.detectors.push_back(trim(header[j]));
    for (size_t i = 0; i < rows.size(); ++i) {
        TVector values;
        values.reserve(valueColumns.size());
        for (size_t j : valueColumns) {
            const auto v = number(rows[i][j]);
            if (!v)
                throw OrvalaError(path + ", line " + std::to_string(lineOf[i]) + ": not a number: \"" + rows[i][j] +
                                  "\"");
            values.push_back(*v);
        }
        t.names.push_back(trim(rows[i][0]));
        t.spectra.push_back(std::move(values));
    }
    return t;
}

SpectraIndex ParseSpectraNames(const std::string& text)
{
    std::vector<std::string> lines = splitLines(text);
    SpectraIndex index;
    // Pairs only: a display name without its file name is dropped.
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
        std::string file = lines[i + 1];
        std::replace(file.begin(), file.end(), '\\', '/');
        index.display.push_back(lines[i]);
        index.files.push_back(file);
    }
    return index;
}

SpectraIndex ReadSpectraNames(const std::string& namesPath)
{
    std::error_code ec;
    if (!std::filesystem::exists(namesPath, ec)) return {};
    return ParseSpectraNames(readText(namesPath, "the spectra index"));
}

std::vector<int> SearchSpectra(const TStrVector& display, const std::string& search)
{
    const std::string s = trim(search);
    std::vector<int> hits;
    for (size_t i = 0; i < display.size(); ++i)
        if (s.empty() || display[i].find(s) != std::string::npos) hits.push_back(int(i));
    return hits;
}

SpectrumCurves ParseSpectrumText(const std::string& text)
{
    SpectrumCurves c;
    const std::vector<std::string> lines = splitLines(text);
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = splitCsv(lines[i]);
        if (f.size() >= 2 && !f[0].empty()) {
            const auto x = number(f[0]), y = number(f[1]);
            if (!x || !y) return c;
            c.x1.push_back(*x);
            c.y1.push_back(*y);
        }
        if (f.size() >= 4 && !f[2].empty()) {
            const auto x = number(f[2]), y = number(f[3]);
            if (!x || !y) return c;
            c.x2.push_back(*x);
            c.y2.push_back(*y);
        }
    }
    return c;
}

SpectrumCurves ReadSpectrumFile(const std::string& path)
{
    return ParseSpectrumText(readText(path, "the spectrum file"));
}

}  // namespace orvala
