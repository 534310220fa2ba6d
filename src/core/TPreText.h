#pragma once
// Ordered FCS keyword store shared by the FCS reader, the FCS writer and the
// acquisition windows. Keys and values are kept as the bytes the file holds;
// duplicates are kept and lookups find the first (keys compare ignoring ASCII case).
#include <cstdint>
#include <string>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

// One parameter of an FCS data set as its TEXT describes it.
struct TPar {
    std::string name;         // trimmed $PnN, or "nn" + 0-based index when empty
    int32_t bits = 0;         // $PnB; characters per field for ASCII data
    int32_t bytes = 0;        // bits / 8 rounded up
    int64_t resolution = 0;   // $PnR; 0 when absent or unreadable
    uint64_t mask = ~uint64_t(0);  // applied to list-mode integers; all ones = no masking
    double decade = 0;        // $PnE first value
    double intersect = 1;     // $PnE second value
    double gain = 1;          // $PnG; kept, not applied
    bool ReverseByteOrder = false;
    bool DisplayLog = false;  // $PnDISPLAY is "LOG"
};

class TPreText {
public:
    virtual ~TPreText() = default;

    int Decimate = 0;        // 0 = read every event
    TIntVector DeletedPars;  // 1-based numbers of removed parameters, in removal order
    char DataType = 'F';     // A, I, F or D
    char Mode = 'L';         // L, C or U
    std::vector<std::string> keys;
    std::vector<std::string> Values;
    char Delim = '/';
    int TimeMSW = 0, TimeLSW = 0, TimePar = 0;  // 1-based; 0 = none
    int TimeBitSize = 0;
    int EventCountPar = 0;  // 1-based; 0 = none
    int par_Count = 0;
    int FixedParCount = 0;
    std::vector<TPar> pars;

    // Value of the first key equal to key ignoring case; "" when absent.
    std::string GetValue(const std::string& key) const;
    // Replaces the first match, else appends.
    void SetValue(const std::string& key, const std::string& value);
    // Replaces the value when the key exists (ignoring case), else appends.
    void Add(const std::string& key, const std::string& value);
    // Replaces when the key exists, else inserts both at index.
    void Insert(int index, const std::string& key, const std::string& value);
    // Index of the first key equal to key ignoring case; -1 when absent.
    int KeyIndex(const std::string& key) const;
    int count() const { return int(keys.size()); }

    // --- parameter keywords (n is 1-based where it names $Pn, i is 0-based) ---
    // Trimmed $PAR; when that is 0 or less, the largest n of the keys "$P" + n + suffix;
    // 0 when anything fails.
    int ParCount() const;
    // $P{n}{suffix}, or P{n}{suffix} when that is empty (FCS 2.0 writers drop the "$").
    std::string ParOfParValue(int n, const std::string& suffix) const;
    std::string ParShortName(int i) const;  // trimmed $P{i+1}N
    std::string ParLongName(int i) const;   // trimmed $P{i+1}S
    // The short name, or the long name when it differs and is not blank, prefixed
    // "Lin " or "Log " when the short name says which.
    std::string ParSomeName(int i) const;
    // First parameter whose short, then long name equals name; else whose short, then
    // long name is a prefix of name (ignoring case); -1 when none. An empty name
    // counts as a prefix of every name unless emptyIsPrefix is false.
    int ParIndByName(const std::string& name, bool emptyIsPrefix = true) const;
    // Distinct suffixes of the parameter keywords ("N", "S", "B" ...), in order of first appearance.
    std::vector<std::string> ParOfParNames() const;
    // Removes every $P{n}... key, renumbers the higher ones, records n in DeletedPars,
    // drops pars[n-1] and lowers $PAR. Throws OrvalaError when $PAR is missing or not a number.
    void DeleteParam(int n);
    // Merges two time words into one "TIME" parameter and drops the high word and the
    // event counter (higher number first); otherwise drops only the event counter.
    void DeleteUselessParams();
    // Copies every field of other.
    void Assign(const TPreText& other);

    // The rules of ParSomeName and ParIndByName over name lists already looked up,
    // for readers that resolve many names at once.
    static std::string SomeName(const std::string& shortName, const std::string& longName);
    static int IndByName(const std::string& name, const std::vector<std::string>& shortNames,
                         const std::vector<std::string>& longNames, bool emptyIsPrefix = true);
};

// ASCII case-insensitive comparison; FCS keywords are ASCII.
bool sameTextIgnoringCase(const std::string& a, const std::string& b);
// Copy without leading and trailing blanks (spaces, tabs, CR, LF).
std::string trimmed(const std::string& s);

}  // namespace orvala
