#pragma once
// What the decomposition dialog and the command-line tool do with the user's
// choice: check it, cut the reference spectra to the chosen channels, unmix,
// and name the result's parameters after the spectra.
#include <string>
#include <vector>

#include "core/DataMatrix.h"
#include "numerics/Matrices.h"

namespace orvala {

class TData;
class TDBSpec;
class TMultiThread;

// Texts shown when the choice cannot run.
inline const char* const NoChannelsText = "Select 2 or more parameters, pls";
inline const char* const NoSpectraText = "Select 2 or more spectrums, pls";
inline const char* const LengthMismatchText = "Data length and spectrum length do not match. You lost. Try again";

struct DecompositionChoice {
    TBoolVector channels;      // one flag per parameter of the data set
    std::vector<int> entries;  // ticked library entries, in list order
    bool nonNegative = false;
};

// The data set's values as measured: columns the file reader mapped onto its
// logarithmic display scale (0..decades) are mapped back to their linear
// values, which unmixing needs; other columns are copied. Data sets not read
// from an FCS file (or derived from one) are copied as they are.
DataMatrix LinearValues(const TData& data);

// Unmixes data with the ticked library entries at the ticked channels. Throws
// OrvalaError with NoChannelsText, NoSpectraText, LengthMismatchText (a
// spectrum not longer than the last ticked channel's index) or MatNotOkText;
// nothing is built then. The result (reference count 0, child of data) is
// named name and its parameters after the entries. The fit reads
// LinearValues(data).
TData* RunDecomposition(TData& data, const TDBSpec& library, const DecompositionChoice& choice, TMultiThread* pool,
                        const std::string& name);

// Detector columns of data for a table of spectra: for each detector name,
// the column of data whose name (or short $PnN name) equals it. Throws
// OrvalaError naming the first detector the data set lacks.
std::vector<int> MatchDetectors(const TData& data, const TStrVector& detectors);

// Unmixes data with spectra given over named detectors (rows of spectra
// follow detectors). The result keeps data's other parameters first (scatter,
// time...), then one parameter per spectrum named after it. Throws like
// RunDecomposition, or when a detector is missing.
TData* UnmixWithTable(TData& data, const TStrVector& detectors, const TStrVector& names, const TMatrix& spectra,
                      bool nonNegative, TMultiThread* pool, const std::string& name);

}  // namespace orvala
