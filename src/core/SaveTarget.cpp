#include "core/SaveTarget.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/Messages.h"

namespace orvala {

namespace fs = std::filesystem;

std::string SaveTarget(const std::string& path)
{
    fs::path target = path;
    std::error_code ec;
    // Follow the chain by hand: the last link may name a file that does not exist yet.
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    const fs::file_status status = fs::symlink_status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw OrvalaError("Cannot write file " + path + ": not a regular file");
    return target.string();
}

void WriteAndReplace(const std::string& target, const std::function<void(const std::string& temp)>& write)
{
    const std::string temp = target + ".part";
    try {
        write(temp);
        fs::rename(temp, target);
    } catch (...) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw;
    }
}

void WriteAndReplace(const std::string& target, std::string_view bytes)
{
    WriteAndReplace(target, [&](const std::string& temp) {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.close();
        if (!out) throw std::runtime_error("cannot write " + temp);
    });
}

}  // namespace orvala
