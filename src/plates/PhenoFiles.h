#pragma once
// The phenotyping window's files: the project (".phe", an INI file) and the
// antibody table (".mab", one line of comma-separated cells per grid row).
// Text is kept as bytes; lines are written with CR LF and read with or
// without CR; numbers use "." whatever the locale.
#include <map>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "numerics/Matrices.h"

namespace orvala {

class TData;
class TMultiThread;

// A small INI store: sections and keys compare ignoring letter case, as the
// settings files do; the order of first appearance is kept for writing.
class IniData {
public:
    // Throws OrvalaError naming the file when it cannot be read.
    static IniData Read(const std::string& path);
    // Throws OrvalaError naming the file when it cannot be written.
    void Write(const std::string& path) const;

    bool Has(const std::string& section, const std::string& key) const;
    std::string String(const std::string& section, const std::string& key, const std::string& def = {}) const;
    // def when absent or not a number.
    int Int(const std::string& section, const std::string& key, int def) const;
    double Double(const std::string& section, const std::string& key, double def) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void Set(const std::string& section, const std::string& key, int value);
    void Set(const std::string& section, const std::string& key, double value);
    int KeyCount() const { return keyCount_; }

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    Section* find(const std::string& section);
    const Section* find(const std::string& section) const;
    std::vector<Section> sections_;
    int keyCount_ = 0;
};

// The "MABs" grid: cells[row][column]; column 0 holds the row numbers the
// grid draws itself and is neither saved nor loaded. Row 0 is the header row.
struct MabTable {
    int rows = 2, cols = 2;
    std::vector<std::vector<std::string>> cells = std::vector<std::vector<std::string>>(2, std::vector<std::string>(2));
    void Resize(int rows, int cols);
    std::string Cell(int row, int col) const;
    void SetCell(int row, int col, const std::string& text);
};

// Loads a ".mab" file: every line is split at every comma (empty cells kept,
// so saving and loading agree), line i fills row i from column 1, the column
// count is the longest line + 1 (at least 2), the row count the number of
// lines. Throws OrvalaError naming the file when it cannot be read.
MabTable ReadMab(const std::string& path);
// Writes one line per row, the cells of columns 1 onward joined by ",".
// A cell holding a comma cannot be written without changing the table: that
// throws OrvalaError naming the cell, and nothing is written.
void WriteMab(const std::string& path, const MabTable& table);

// One source data set of a project.
struct PhenoSource {
    std::string file;
    int tip = -1;               // tube channel, -1 = none
    std::vector<int> selected;  // selected parameter columns
};

// What a ".phe" file holds.
struct PhenoProject {
    std::vector<PhenoSource> sources;
    int TubeCount = 1;
    int DieCount = 1;
    TIntVector groups;  // group colour per tube
    TMatrix marks;      // [tube][dye]: TubeCount x DieCount, 512 where the file has none
    MabTable mabs;
};

// Reads a project; missing keys take their defaults (Fcount 0, Tip -1, Sel 0,
// dat 0, GroupCount 0, G 0, TubeCount 1, DieCount 1, M 512, RowCount 2,
// ColCount 2, Mab empty). Counts beyond what the file can describe throw
// OrvalaError naming the file, before anything is allocated.
PhenoProject ReadPhenoProject(const std::string& path);
void WritePhenoProject(const std::string& path, const PhenoProject& project);

// Opens the project's data sets in order (the first data set of each file; a
// folder opens as a plate),
// with their selections and tube channels set (tube detection runs). A file
// that cannot be opened, or an entry without a file name, aborts with an
// OrvalaError naming it: the settings that follow would otherwise land on
// the wrong data set. The data sets have reference count 0; the caller owns them.
std::vector<TData*> OpenPhenoSources(const PhenoProject& project, const std::string& projectPath, MessageSink& sink,
                                     TMultiThread* pool);

}  // namespace orvala
