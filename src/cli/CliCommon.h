#pragma once
// Pieces shared by the subcommands of orvala-cli.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/TData.h"
#include "RenderPng.h"

namespace orvala {
class TMultiThread;
}

namespace orvala::cli {

// A failure of one command: main prints what() on one line and exits 1.
class CliError : public OrvalaError {
public:
    using OrvalaError::OrvalaError;
};

// The data sets of one file in chain order, owning a reference to each.
struct FileChain {
    std::vector<DataRef> sets;
};

// Opens every data set of filename (the chain hangs on NextData). Reader
// messages go to sink. Throws CliError when the file yields no data set.
// pool may be null (read on the calling thread).
FileChain openChain(const std::string& filename, MessageSink& sink, TMultiThread* pool);

// Shortest text that reads back to the same double, with "." under any locale.
std::string formatNumber(double v);

// The bytes as UTF-8 (Latin-1 when they are not valid UTF-8).
std::string utf8(const std::string& bytes);

// The paths named by a file list, one a line, in list order. A trailing CR
// (lists written on Windows) and blanks around a path are dropped; lines that
// are empty or blank are skipped. Throws CliError "cannot open file list
// <list>" when the list cannot be read.
std::vector<std::string> readFileList(const std::string& listPath);

// files without repeats: a path that names the same file as an earlier one
// (compared in lexically normal form, so "./a.fcs" repeats "a.fcs") is
// dropped and appended to repeats when that is not null. The first spelling
// is kept, so apply and merge see the same paths.
std::vector<std::string> withoutRepeats(const std::vector<std::string>& files, std::vector<std::string>* repeats);

// One part of a file list split over N processes: every count-th file
// starting at index (0-based).
struct Shard {
    size_t index = 0;
    size_t count = 1;
};

// Parses "I/N" (decimal digits only, 0 <= I < N); throws CliError naming the
// expected form otherwise.
Shard parseShard(const std::string& text);

// The files of shard s, in list order.
std::vector<std::string> shardFiles(const std::vector<std::string>& files, Shard s);

// The first columns of every statistics table that apply writes; merge checks
// them to know a table when it sees one.
inline constexpr const char* StatsHeaderStart = "file\tgate\tevents\tpct_parent\tpct_root\terror";

// Column index of a parameter by its name as the data set shows it, or by its
// short $PnN name; throws CliError "unknown parameter: <name>".
int parameterIndex(const TData& data, const std::string& name);

// The PNG writer's entry point (the module that holds Qt), loaded from the
// executable's folder; never unloaded, as Qt's statics inside it live until
// the process ends. Throws CliError when the module cannot be loaded.
OrvalaRenderPngFn LoadPngWriter();

// A table written beside its target and renamed over it by commit(), so a
// run that fails half-way never leaves a cut table where a whole one was
// (a pipe or device is written directly).
// Without commit() the temporary file is removed and the target untouched.
class ReplacingOutput {
public:
    explicit ReplacingOutput(std::string target);  // CliError "cannot create file <target>"
    ~ReplacingOutput();
    ReplacingOutput(const ReplacingOutput&) = delete;
    ReplacingOutput& operator=(const ReplacingOutput&) = delete;
    std::ofstream& stream() { return out_; }
    void commit();  // CliError "cannot write file <target>"

private:
    std::string target_, replaced_, temp_;  // replaced_: the file behind target_ when it is a link
    std::ofstream out_;
    bool committed_ = false;
};

// "orvala-cli: <file>: <message>" on standard error, or "orvala-cli: <message>"
// when the message names the file already.
void reportFileError(const std::string& file, const std::string& message);

// Reader messages about one file, written as reportFileError writes errors,
// so "Bad FCS File" says which file it was.
class FileMessageSink : public MessageSink {
public:
    explicit FileMessageSink(std::string file) : file_(std::move(file)) {}
    void message(const std::string& text) override { reportFileError(file_, text); }
    void setFile(std::string file) { file_ = std::move(file); }

private:
    std::string file_;
};

}  // namespace orvala::cli
