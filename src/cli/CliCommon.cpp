#include "CliCommon.h"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "core/TPreText.h"
#include "formats/DisplayText.h"
#include "formats/FcsOpen.h"

namespace orvala::cli {

FileChain openChain(const std::string& filename, MessageSink& sink, TMultiThread* pool)
{
    FileChain chain;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(filename, ec)) throw CliError("cannot open file " + filename);
    TData* first = TryOpenFile(filename, 0, sink, pool);
    if (!first) throw CliError(filename + ": no readable data set");
    // Take the references before anything can throw, so the chain is freed.
    for (TData* d = first; d; d = d->NextData) chain.sets.emplace_back(d);
    return chain;
}

std::string formatNumber(double v)
{
    if (std::isnan(v)) return "nan";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string utf8(const std::string& bytes)
{
    return displayText(bytes);
}

int parameterIndex(const TData& data, const std::string& name)
{
    const auto& desc = data.Desc();
    for (size_t i = 0; i < desc.size(); ++i)
        if (desc[i].name == name) return int(i);
    for (size_t i = 0; i < desc.size(); ++i)
        if (sameTextIgnoringCase(trimmed(desc[i].name), trimmed(name))) return int(i);
    // "FSC-A/Forward scatter" answers to "FSC-A" as well.
    for (size_t i = 0; i < desc.size(); ++i) {
        const std::string& n = desc[i].name;
        const size_t slash = n.find('/');
        if (slash != std::string::npos && sameTextIgnoringCase(n.substr(0, slash), name)) return int(i);
    }
    throw CliError("unknown parameter: " + name);
}

}  // namespace orvala::cli
