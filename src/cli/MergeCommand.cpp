// orvala-cli merge: joins the statistics tables of `apply --shard I/N` runs
// over one file list into the table that a single apply over the list writes,
// byte for byte.
#include <cstdio>
#include <fstream>
#include <map>
#include <string_view>

#include "CliCommon.h"
#include "Commands.h"

namespace orvala::cli {

namespace {

struct Table {
    std::string path;
    std::string header;
    std::vector<std::string> rows;
};

// Cell `column` of a tab-separated row ("" past its end).
std::string_view cell(std::string_view row, size_t column)
{
    for (; column > 0; --column) {
        const size_t tab = row.find('\t');
        if (tab == std::string_view::npos) return {};
        row.remove_prefix(tab + 1);
    }
    return row.substr(0, row.find('\t'));
}

// Reads a table apply wrote: its header and its rows without line ends.
// Throws CliError when the file is no such table or was cut short.
Table readTable(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CliError("cannot open table " + path);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string_view start = StatsHeaderStart;
    if (bytes.compare(0, start.size(), start) != 0 ||
        (bytes.size() > start.size() && bytes[start.size()] != '\t' && bytes[start.size()] != '\r' &&
         bytes[start.size()] != '\n'))
        throw CliError(path + " is not a statistics table of orvala-cli apply");
    // apply writes the whole table at its end: a table without its last line
    // end is one whose writer was stopped, and the rows of its last file may
    // be missing.
    if (bytes.back() != '\n') throw CliError(path + " is cut short: its last line has no line end");
    Table t;
    t.path = path;
    size_t pos = 0;
    bool first = true;
    while (pos < bytes.size()) {
        // Lines end with CR LF; one that went through an editor may end with LF.
        const size_t end = bytes.find('\n', pos);
        std::string line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = end + 1;
        if (first)
            t.header = std::move(line);
        else
            t.rows.push_back(std::move(line));
        first = false;
    }
    return t;
}

// Up to ten names and how many more there are, for one error line.
std::string someNames(const std::vector<std::string>& names)
{
    std::string s;
    for (size_t i = 0; i < names.size() && i < 10; ++i) s += (i ? ", " : "") + names[i];
    if (names.size() > 10) s += " and " + std::to_string(names.size() - 10) + " more";
    return s;
}

}  // namespace

int runMerge(const MergeOptions& options)
{
    const std::vector<std::string> files = withoutRepeats(readFileList(options.filesFrom), nullptr);
    if (files.empty()) throw CliError("file list " + options.filesFrom + " names no files");
    std::map<std::string, size_t> position;
    for (size_t i = 0; i < files.size(); ++i) position.emplace(files[i], i);

    std::vector<Table> tables;
    for (const auto& path : options.tables) tables.push_back(readTable(path));

    // Rows of each file, with the table they came from; a file's rows stay
    // together and in the order its shard wrote them.
    constexpr size_t none = size_t(-1);
    std::vector<std::vector<const std::string*>> rowsOf(files.size());
    std::vector<size_t> tableOf(files.size(), none);
    for (size_t t = 0; t < tables.size(); ++t)
        for (const std::string& row : tables[t].rows) {
            const std::string file(cell(row, 0));
            const auto it = position.find(file);
            if (it == position.end())
                throw CliError(tables[t].path + " has rows of " + file + ", which " + options.filesFrom +
                               " does not name");
            const size_t i = it->second;
            if (tableOf[i] != none && tableOf[i] != t)
                throw CliError(file + " has rows in both " + tables[tableOf[i]].path + " and " + tables[t].path);
            tableOf[i] = t;
            rowsOf[i].push_back(&row);
        }
    std::vector<std::string> missing;
    for (size_t i = 0; i < files.size(); ++i)
        if (tableOf[i] == none) missing.push_back(files[i]);
    if (!missing.empty())
        throw CliError("no table has rows of " + std::to_string(missing.size()) + " of the " +
                       std::to_string(files.size()) + " files: " + someNames(missing));

    // A single run names the parameter columns after the first file in list
    // order that was read (its rows count events); that file's shard took
    // them from the same file, as it was the first read there too.
    const std::string* header = &tables.front().header;
    for (size_t i = 0; i < files.size(); ++i) {
        bool read = false;
        for (const std::string* row : rowsOf[i]) read = read || !cell(*row, 2).empty();
        if (read) {
            header = &tables[tableOf[i]].header;
            break;
        }
    }

    ReplacingOutput table(options.to);
    std::ofstream& out = table.stream();
    out << *header << "\r\n";
    int failures = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        bool failed = false;
        for (const std::string* row : rowsOf[i]) {
            out << *row << "\r\n";
            const std::string_view error = cell(*row, 5);
            if (!error.empty()) {
                reportFileError(files[i], std::string(error));
                failed = true;
            }
        }
        failures += failed;
    }
    table.commit();
    // The same status as one apply over the whole list.
    if (failures) {
        std::fprintf(stderr, "orvala-cli: %d of %zu files failed\n", failures, files.size());
        return 1;
    }
    return 0;
}

}  // namespace orvala::cli
