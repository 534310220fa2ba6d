#pragma once
// ".pca" files: one projection filter record, nothing else, so a PCA made on
// one data set can be applied to others.
#include <memory>
#include <string>

namespace orvala {

class TDataFilter;

// Writes filter to path. The record goes to a temporary file beside path that
// then replaces it, so a failed save (full disk, lost network share) leaves an
// existing file untouched. Throws OrvalaError naming the file on failure.
void SavePcaFile(const std::string& path, const TDataFilter& filter);

// Reads the filter of path. Null when the file is damaged: a cut or unknown
// record, bytes after the record, or sizes that do not fit together (a filter
// whose eigenvectors, means or deviations disagree on their length). Throws
// OrvalaError when the file cannot be opened.
std::unique_ptr<TDataFilter> LoadPcaFile(const std::string& path);

}  // namespace orvala
