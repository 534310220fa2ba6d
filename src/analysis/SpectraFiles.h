#pragma once
// Text files of reference spectra: the comma-separated libraries (one
// spectrum a row, detectors in the header) and the browser's folder of
// spectrum files with its "names" index.
#include <string>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

// A library in the wide layout: a header row whose first field is ignored and
// whose other fields name detectors, then one spectrum a row, its name first.
struct SpectraTable {
    TStrVector detectors;
    TStrVector names;
    TMatrix spectra;  // names.size() rows of detectors.size() values
};

// Reads path; throws OrvalaError naming the file (and the line) when it cannot
// be read, has no header, a row of the wrong length or a value that is not a
// number. Accepts CR LF or LF and double-quoted fields. A column that holds
// text in every row (a note such as a control file's name) is skipped.
SpectraTable ReadSpectraCsv(const std::string& path);

// The browser's index: lines in pairs, a display name and then a file name
// relative to the folder. An unmatched last name is dropped; "\" in a file
// name reads as "/".
struct SpectraIndex {
    TStrVector display;
    TStrVector files;
};
// Empty when the file does not exist.
SpectraIndex ReadSpectraNames(const std::string& namesPath);
SpectraIndex ParseSpectraNames(const std::string& text);

// Indices into display of the names that contain the trimmed search text
// (case-sensitive); every index when it is empty.
std::vector<int> SearchSpectra(const TStrVector& display, const std::string& search);

// A spectrum file of the browser: first line skipped, then comma-separated
// lines; fields 1, 2 give a point of the first curve (when there are at least
// two fields and the first is not empty), fields 3, 4 a point of the second
// (at least four fields, the third not empty). A field that is not a number
// ends the reading, keeping the points so far.
struct SpectrumCurves {
    std::vector<double> x1, y1, x2, y2;
};
// Throws OrvalaError naming the file with the system's reason when it cannot be opened.
SpectrumCurves ReadSpectrumFile(const std::string& path);
SpectrumCurves ParseSpectrumText(const std::string& text);

}  // namespace orvala
