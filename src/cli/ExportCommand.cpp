// orvala-cli export: one data set of a file through the program's own writers.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "CliCommon.h"
#include "Commands.h"
#include "formats/ReaderPool.h"
#include "formats/TFCSWrite.h"

namespace orvala::cli {

int runExport(const ExportOptions& options)
{
    std::string ext = std::filesystem::path(options.to).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != ".fcs" && ext != ".txt")
        throw CliError("cannot tell the output format of " + options.to + ": use .fcs or .txt");
    if (options.scale && ext != ".txt") throw CliError("--scale applies to .txt output only");

    FileMessageSink sink(options.file);
    FileChain chain = openChain(options.file, sink, readerPool());
    if (options.dataset < 0 || options.dataset >= int(chain.sets.size()))
        throw CliError(options.file + " has no data set " + std::to_string(options.dataset) + " (it has " +
                       std::to_string(chain.sets.size()) + ")");
    const TData& d = *chain.sets[size_t(options.dataset)];
    if (ext == ".txt")
        SaveAsTXT(d, options.to, options.scale);
    else
        SaveAsFCS(d, options.to);
    return 0;
}

}  // namespace orvala::cli
