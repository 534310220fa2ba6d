#pragma once
// Ordered FCS keyword store shared by the FCS reader, the FCS writer and the
// acquisition windows. Keys and values are kept as the bytes the file holds;
// duplicates are kept and lookups find the first (keys compare ignoring ASCII case).
#include <cstdint>
#include <string>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

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
};

// ASCII case-insensitive comparison; FCS keywords are ASCII.
bool sameTextIgnoringCase(const std::string& a, const std::string& b);
// Copy without leading and trailing blanks (spaces, tabs, CR, LF).
std::string trimmed(const std::string& s);

}  // namespace orvala
