#pragma once
// The subcommands of orvala-cli. Each registers its options on the parser and
// returns the process exit code when run; failures throw CliError.
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace orvala::cli {

struct InfoOptions {
    std::vector<std::string> files;
    bool keywords = false;
    bool json = false;
};
int runInfo(const InfoOptions& options);

struct ExportOptions {
    std::string file;
    std::string to;
    int dataset = 0;
    bool scale = false;
};
int runExport(const ExportOptions& options);

struct ApplyOptions {
    std::string protocol;
    std::vector<std::string> files;
    std::string filesFrom;  // a list of files, one a line, read after files
    std::string shard;      // "I/N": only every N-th file from index I; empty for all
    std::string stats;
    std::string saveGated;
    int threads = 0;  // files processed at once; 0 = one per processor
};
int runApply(const ApplyOptions& options);

// Joins the statistics tables that apply wrote for the shards of one file
// list into the table a single apply over the whole list writes.
struct MergeOptions {
    std::vector<std::string> tables;
    std::string filesFrom;
    std::string to;
};
int runMerge(const MergeOptions& options);

struct RenderOptions {
    std::string file;
    std::string x, y;
    std::string xscale = "lin", yscale = "lin";
    std::string size = "600x600";
    std::string png;
    int dataset = 0;
};
int runRender(const RenderOptions& options);

struct UnmixOptions {
    std::string file;
    std::string spectra;
    std::string method = "ls";
    std::string to;
    int dataset = 0;
};
int runUnmix(const UnmixOptions& options);

struct TransformOptions {
    std::string file;
    std::string op;
    std::vector<std::string> args;
    std::string table;  // where findsignal writes its run table
    std::string to;
    int dataset = 0;
};
int runTransform(const TransformOptions& options);
// The list of transforms for the help text.
std::string transformHelp();

struct ClassifyOptions {
    std::string image;    // a picture file or a directory of frames
    std::string classes;  // CSV of class spectra (one a row) or a class file (.soc)
    std::string method = "sam";
    double threshold = -1;  // degrees; negative: none
    std::string to;         // .csv (class indices, -1 for none) or .png
};
int runClassify(const ClassifyOptions& options);

// Evaluates a Gating-ML document on files.
struct GatingMlOptions {
    std::string gates;
    std::vector<std::string> files;
    std::string stats;       // the columns apply writes
    std::string membership;  // one file: header of gate ids, one row of 1/0 per event
};
int runGatingMl(const GatingMlOptions& options);

// Writes the gates of a protocol or workspace as Gating-ML; file gives the
// parameters' scales.
struct ExportGatingMlOptions {
    std::string file;
    std::string protocol;
    std::string workspace;
    std::string to;
};
int runExportGatingMl(const ExportGatingMlOptions& options);

}  // namespace orvala::cli
