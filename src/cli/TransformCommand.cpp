// orvala-cli transform: any event transform of the Tools menu on one data set
// of a file, through the same library code as the menu, written as FCS or text.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "CliCommon.h"
#include "Commands.h"
#include "analysis/TransformOps.h"
#include "formats/TFCSWrite.h"
#include "parallel/TMultiThread.h"

namespace orvala::cli {

std::string transformHelp()
{
    std::string text = "Transform to run:";
    for (const TransformOp& op : TransformOps()) {
        text += std::string("\n  ") + op.name;
        if (*op.arguments) text += std::string(" (--arg ") + op.arguments + ")";
        text += std::string(": \"") + op.command + "\"" + (op.inPlace ? ", in place" : ", new data set");
    }
    return text;
}

int runTransform(const TransformOptions& options)
{
    std::string ext = std::filesystem::path(options.to).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != ".fcs" && ext != ".txt")
        throw CliError("cannot tell the output format of " + options.to + ": use .fcs or .txt");

    TMultiThread pool(0);
    FileMessageSink sink(options.file);
    FileChain chain = openChain(options.file, sink, &pool);
    if (options.dataset < 0 || options.dataset >= int(chain.sets.size()))
        throw CliError(options.file + " has no data set " + std::to_string(options.dataset) + " (it has " +
                       std::to_string(chain.sets.size()) + ")");
    TData& source = *chain.sets[size_t(options.dataset)];
    TData* out = RunTransform(source, options.op, options.args, options.table, &pool);
    // A constructing transform's result is ours to free; an in-place one is the source.
    DataRef result(out == &source ? nullptr : out);
    if (ext == ".txt")
        SaveAsTXT(*out, options.to, false);
    else
        SaveAsFCS(*out, options.to);
    std::printf("%s: %d events x %d parameters -> %s\n", out->ShortName().c_str(), out->events(), out->CaseSize(),
                options.to.c_str());
    return 0;
}

}  // namespace orvala::cli
