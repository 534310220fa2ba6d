// orvala-cli unmix: one data set of a file unmixed against a table of
// reference spectra, written through the program's own writers.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "CliCommon.h"
#include "Commands.h"
#include "analysis/DecompositionRun.h"
#include "analysis/SpectraFiles.h"
#include "formats/ReaderPool.h"
#include "formats/TFCSWrite.h"

namespace orvala::cli {

int runUnmix(const UnmixOptions& options)
{
    std::string ext = std::filesystem::path(options.to).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != ".fcs" && ext != ".txt")
        throw CliError("cannot tell the output format of " + options.to + ": use .fcs or .txt");
    // The spectra are read first: a bad table fails before a large file is.
    const SpectraTable spectra = ReadSpectraCsv(options.spectra);
    if (spectra.names.empty()) throw CliError(options.spectra + " holds no spectrum");

    FileMessageSink sink(options.file);
    FileChain chain = openChain(options.file, sink, readerPool());
    if (options.dataset < 0 || options.dataset >= int(chain.sets.size()))
        throw CliError(options.file + " has no data set " + std::to_string(options.dataset) + " (it has " +
                       std::to_string(chain.sets.size()) + ")");
    TData& d = *chain.sets[size_t(options.dataset)];
    DataRef result(UnmixWithTable(d, spectra.detectors, spectra.names, spectra.spectra, options.method == "nnls",
                                  readerPool(), d.ShortName() + "_unmixed"));
    if (ext == ".txt")
        SaveAsTXT(*result, options.to, false);
    else
        SaveAsFCS(*result, options.to);
    return 0;
}

}  // namespace orvala::cli
