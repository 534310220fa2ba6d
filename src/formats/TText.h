#pragma once
// A keyword store filled from an FCS TEXT segment, with the per-parameter table,
// the byte order, the event count and the time-word layout it implies.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Messages.h"
#include "core/TPreText.h"

namespace orvala {

class TDataSet;

class TText : public TPreText {
public:
    TText() = default;
    // Parses L bytes of TEXT (the first byte is the delimiter). With keywordsOnly
    // (the ANALYSIS segment) only the key/value pairs are taken; otherwise the
    // parameter table is built and the flags of parent (notimplemented,
    // compressed, freeFormat) are set. Throws FcsFormatError with the reader's messages.
    TText(TDataSet* parent, const uint8_t* bytes, size_t L, bool keywordsOnly);

    // The trimmed value as an integer; 0 when empty; FcsFormatError when not a number.
    int64_t IntValue(const std::string& key) const;

    TDataSet* Parent = nullptr;
    int64_t tot = 0;            // events to read
    int64_t OriginalTotal = 0;  // the file's $TOT
    int32_t ByteOrd[8] = {};    // 1-based position of stored byte i in the little-endian value
    int32_t ByteCount = 0;
    int prizmpar = -1;          // 0-based index of the parameter named "PRISM"
    double timestep = 0;        // $TIMESTEP; 0 when absent or not a number

    bool ReverseByteOrder() const { return ByteCount > 1 && ByteOrd[1] < ByteOrd[0]; }

    // Looks keywords up through a hash index, so that a TEXT of thousands of keys
    // and parameters is read in linear time. refreshIndex() after keys change.
    void refreshIndex();
    std::string value(const std::string& key) const;
    std::string parValue(int n, const std::string& suffix) const;  // as ParOfParValue
    // Trimmed $PnN and $PnS of every parameter, as of the last refreshIndex().
    std::vector<std::string> shortNames, longNames;

private:
    std::unordered_map<std::string, size_t> index_;  // lower-case key -> first position
    void splitKeywords(const uint8_t* bytes, size_t L);
    void readByteOrder();
    void readParameters();
    void detectTime();
};

// Number parsing with "." as decimal separator whatever the locale; the whole
// trimmed text must be the number. A leading "+" is accepted.
bool parseFcsInt(const std::string& text, int64_t& out);
bool parseFcsFloat(const std::string& text, double& out);

// The name a data set gives parameter i (0-based): "short/long" when both
// exist and differ, else whichever exists, else the reader's own "nn" name,
// so a column is never nameless.
std::string ColumnName(const TText& t, int i);

}  // namespace orvala
