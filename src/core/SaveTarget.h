#pragma once
// Saves are written to "<file>.part" and renamed over the file, so a failed
// save never destroys the previous one. Renaming over a symbolic link would
// replace the link itself (and over /dev/stdout, as root, the device node),
// so the rename goes to what the link names.
#include <functional>
#include <string>
#include <string_view>

namespace orvala {

// The file a save should replace: the final target when path is a symbolic
// link (relative links resolved from the link's folder, chains followed),
// otherwise path itself, existing or not. Throws OrvalaError "Cannot write
// file <path>: not a regular file" for a folder, device or pipe.
std::string SaveTarget(const std::string& path);

// Fills "<target>.part" through write(temporary path), then renames it over
// target (a path SaveTarget gave). When write or the rename throws, the
// temporary file is removed and the exception passes on unchanged.
void WriteAndReplace(const std::string& target, const std::function<void(const std::string& temp)>& write);
// The same for bytes already in memory.
void WriteAndReplace(const std::string& target, std::string_view bytes);

}  // namespace orvala
