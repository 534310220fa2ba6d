#pragma once
// Pieces shared by the subcommands of orvala-cli.
#include <memory>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/TData.h"

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

// Column index of a parameter by its name as the data set shows it, or by its
// short $PnN name; throws CliError "unknown parameter: <name>".
int parameterIndex(const TData& data, const std::string& name);

}  // namespace orvala::cli
