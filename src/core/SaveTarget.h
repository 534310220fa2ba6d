#pragma once
// Saves are written to "<file>.part" and renamed over the file, so a failed
// save never destroys the previous one. Renaming over a symbolic link would
// replace the link itself (and over /dev/stdout, as root, the device node),
// so the rename goes to what the link names.
#include <string>

namespace orvala {

// The file a save should replace: the final target when path is a symbolic
// link (relative links resolved from the link's folder, chains followed),
// otherwise path itself, existing or not. Throws OrvalaError "Cannot write
// file <path>: not a regular file" for a folder, device or pipe.
std::string SaveTarget(const std::string& path);

}  // namespace orvala
