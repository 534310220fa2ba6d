#pragma once
// The library of reference spectra, "specs.dat": named spectra in the order
// they were added. The file is a sequence of records until its end: name
// length (int32), name bytes, value count (int32), the values (doubles), all
// little-endian. The caller decides where the file lives (the user's data
// folder); a read-only default library may stand in until the first save.
#include <string>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

struct Tspdata {
    TVector data;  // one value per channel
};

struct TSpecEntry {
    std::string name;  // 8-bit text, kept as bytes
    Tspdata spdata;
};

class TDBSpec {
public:
    // Opens the library at path. When path does not exist, the entries come
    // from fallback (when given and present) and the first save creates path.
    // A damaged file throws OrvalaError("Stream Read Error") and no library
    // exists, so nothing can ever save over the damaged file.
    explicit TDBSpec(std::string path, std::string fallback = std::string());
    // Saves when changed; a failure goes to the default message sink (a
    // destructor cannot throw). Call Save first to handle the error yourself.
    ~TDBSpec();
    TDBSpec(const TDBSpec&) = delete;
    TDBSpec& operator=(const TDBSpec&) = delete;

    // Appends an entry holding a copy of spe.
    void Add(const std::string& desc, const TVector& spe);
    // Removes entry i; out of range does nothing.
    void Delete(int i);
    const TVector& GetItem(int i) const { return specs.at(size_t(i)).spdata.data; }
    const std::string& Name(int i) const { return specs.at(size_t(i)).name; }
    int Count() const { return int(specs.size()); }
    // Writes the whole file when changed, through a temporary file renamed
    // over it (the folder is created when missing). Throws OrvalaError naming
    // the file on failure; the old file is then untouched.
    void Save();

    // The entries of a file's bytes; throws OrvalaError("Stream Read Error")
    // when a count or a value would start at the end or does not fit in the
    // bytes left. A name longer than the bytes left is cut to them.
    static std::vector<TSpecEntry> Parse(const std::string& bytes);
    static std::string Serialize(const std::vector<TSpecEntry>& entries);

    std::string fname;
    std::vector<TSpecEntry> specs;
    bool saved = true;
};

// The name a spectrum is stored under: the trimmed text, or "Default" when
// that is empty.
std::string SpectrumEntryName(const std::string& text);
// Divides every value by the largest one when that is non-zero (and finite),
// so the largest stored value becomes 1.
void NormalizeToMax(TVector& values);
// "Save as Spectrum": opens the library, adds values under name (normalised
// on request), saves and closes it.
void SaveSpectrumToLibrary(const std::string& path, const std::string& fallback, const std::string& name, TVector values,
                           bool normalize);

}  // namespace orvala
