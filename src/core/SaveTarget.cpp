#include "core/SaveTarget.h"

#include <filesystem>

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

}  // namespace orvala
