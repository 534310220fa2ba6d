#pragma once
// Writes FCS 3.0 list-mode files: HEADER, TEXT and DATA, values streamed event
// by event. The file is built under a temporary name beside the target and
// renamed over it only when complete, so a failed save never destroys the
// user's previous file.
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/TPreText.h"

namespace orvala {

class TData;

class TFCSWrite {
public:
    // Creates the temporary file; throws OrvalaError when it cannot be created.
    explicit TFCSWrite(const std::string& filename);
    // Without EndData the temporary file is removed and the target is untouched.
    ~TFCSWrite();
    TFCSWrite(const TFCSWrite&) = delete;
    TFCSWrite& operator=(const TFCSWrite&) = delete;

    TPreText Text;  // callers add keywords before BeginData

    void SetValue(const std::string& key, const std::string& value) { Text.SetValue(key, value); }
    std::string GetValue(const std::string& key) const { return Text.GetValue(key); }

    void BeginData();
    void WriteData(const uint32_t* row, int n);
    void WriteData(const float* row, int n);
    void WriteData(int32_t value);
    void Write16(uint16_t v) { raw(&v, 2); }
    void Write32(uint32_t v) { raw(&v, 4); }
    void Write64(uint64_t v) { raw(&v, 8); }
    // Writes many float rows at once (events x n values); Count + events.
    void WriteRows(const float* values, int events, int n);
    // Completes HEADER and TEXT, closes the file and puts it in place.
    void EndData(int EventCount);

    int64_t textstart = 0, textstop = 0, datastart = 0, datastop = 0;
    int Count = 0;

    // The TEXT segment as written: delimiter, then key/value pairs, "/" doubled
    // inside them, an empty key or value written as one blank.
    static std::string TextSegment(const TPreText& text);

private:
    void raw(const void* p, size_t n);
    std::string target_, replaced_, temp_;  // replaced_: the file behind target_ when it is a link
    std::FILE* fcs_ = nullptr;
};

// Integer channel of value v for a B-bit parameter with full scale F, linear or
// over four decades; 0 when F is 0. Rounds halves to even.
uint32_t ChannelValue(int B, bool logarithmic, double F, double v);

// "Save As FCS": the data set's current values as 32-bit floats, FCS 3.0.
void SaveAsFCS(const TData& data, const std::string& filename);

// "Save As TXT": names row, then one row per event, tab-separated, CR LF.
// scaled: each value as round((v - Absmin) * 1023 / (Absmax - Absmin)); a data
// set whose values are all equal writes 0 everywhere. The range is that of the
// finite values; NaN and infinities are written as "nan", "inf", "-inf".
void SaveAsTXT(const TData& data, const std::string& filename, bool scaled);

}  // namespace orvala
