#include "CliCommon.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "core/SaveTarget.h"
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

std::vector<std::string> readFileList(const std::string& listPath)
{
    std::ifstream in(listPath, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(listPath, ec)) throw CliError("cannot open file list " + listPath);
    std::vector<std::string> files;
    std::string line;
    while (std::getline(in, line)) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t\r");
        files.push_back(line.substr(first, last - first + 1));
    }
    if (in.bad()) throw CliError("cannot read file list " + listPath);
    return files;
}

std::vector<std::string> withoutRepeats(const std::vector<std::string>& files, std::vector<std::string>* repeats)
{
    std::vector<std::string> kept;
    std::set<std::string> seen;
    for (const std::string& f : files) {
        if (seen.insert(std::filesystem::path(f).lexically_normal().string()).second)
            kept.push_back(f);
        else if (repeats)
            repeats->push_back(f);
    }
    return kept;
}

Shard parseShard(const std::string& text)
{
    const CliError bad("--shard " + text + ": expected I/N with 0 <= I < N, e.g. 0/4");
    const size_t slash = text.find('/');
    if (slash == std::string::npos) throw bad;
    auto number = [&](const char* begin, const char* end) {
        unsigned long long v = 0;
        const auto res = std::from_chars(begin, end, v);
        // from_chars takes no sign and no blanks, but would stop early at "1x".
        if (begin == end || res.ec != std::errc() || res.ptr != end) throw bad;
        return v;
    };
    const unsigned long long index = number(text.data(), text.data() + slash);
    const unsigned long long count = number(text.data() + slash + 1, text.data() + text.size());
    if (count == 0 || index >= count) throw bad;
    return Shard{size_t(index), size_t(count)};
}

std::vector<std::string> shardFiles(const std::vector<std::string>& files, Shard s)
{
    std::vector<std::string> part;
    for (size_t i = s.index; i < files.size(); i += s.count) {
        part.push_back(files[i]);
        if (files.size() - i <= s.count) break;  // no wrap-around for a huge N
    }
    return part;
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

OrvalaRenderPngFn LoadPngWriter()
{
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = ORVALA_PNG_MODULE;
    if (n > 0) {
        const std::string self(exe, size_t(n));
        const size_t slash = self.rfind('/');
        if (slash != std::string::npos) path = self.substr(0, slash + 1) + ORVALA_PNG_MODULE;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        throw CliError("cannot load the PNG writer " + path + (why ? std::string(": ") + why : std::string()));
    }
    auto fn = reinterpret_cast<OrvalaRenderPngFn>(::dlsym(module, "orvala_render_png"));
    if (!fn) throw CliError("the PNG writer " + path + " has no entry point");
    return fn;
}

ReplacingOutput::ReplacingOutput(std::string target) : target_(std::move(target))
{
    // A pipe or device, and anything under /dev or /proc (--stats /dev/stdout
    // means our standard output, whatever it is), is written through as it is;
    // a plain file, or the file behind a link, is replaced.
    std::error_code ec;
    const auto status = std::filesystem::status(target_, ec);
    const bool special = (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) ||
                         target_.rfind("/dev/", 0) == 0 || target_.rfind("/proc/", 0) == 0;
    if (!special) {
        replaced_ = SaveTarget(target_);
        temp_ = replaced_ + ".part" + std::to_string(::getpid());
    }
    out_.open(special ? target_ : temp_, std::ios::binary | std::ios::trunc);
    if (!out_) throw CliError("cannot create file " + target_);
}

ReplacingOutput::~ReplacingOutput()
{
    if (committed_ || temp_.empty()) return;
    out_.close();
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
}

void ReplacingOutput::commit()
{
    out_.close();
    std::error_code ec;
    if (out_ && !temp_.empty()) std::filesystem::rename(temp_, replaced_, ec);
    if (!out_ || ec) {
        if (!temp_.empty()) std::filesystem::remove(temp_, ec);
        throw CliError("cannot write file " + target_);
    }
    committed_ = true;
}

void reportFileError(const std::string& file, const std::string& message)
{
    if (message.find(file) != std::string::npos)
        std::fprintf(stderr, "orvala-cli: %s\n", message.c_str());
    else
        std::fprintf(stderr, "orvala-cli: %s: %s\n", file.c_str(), message.c_str());
}

}  // namespace orvala::cli
