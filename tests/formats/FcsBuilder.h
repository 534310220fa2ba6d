#pragma once
// Builds FCS files byte by byte for reader tests: any keywords, any delimiter,
// any DATA bytes, several data sets chained with $NEXTDATA.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/TempDir.h"

namespace orvala::test {

struct FcsSet {
    std::string magic = "FCS3.0";
    char delim = '/';
    std::vector<std::pair<std::string, std::string>> keywords;  // written in this order
    std::string data;      // DATA bytes as stored
    std::string analysis;  // ANALYSIS bytes as stored (empty: none)
    bool headerDataZero = false;  // leave the HEADER's DATA pair 0 (offsets only in $BEGINDATA)
};

// A list-mode data set with its type, byte order, event and parameter counts;
// the rest of the keywords and the DATA bytes are up to the test.
inline FcsSet listMode(char type, const std::string& byteord, int64_t events, int pars)
{
    FcsSet s;
    s.keywords = {{"$DATATYPE", std::string(1, type)}, {"$MODE", "L"}, {"$BYTEORD", byteord},
                  {"$TOT", std::to_string(events)}, {"$PAR", std::to_string(pars)}};
    return s;
}

// Sets key to value where the set has it, else appends it.
inline void setKey(FcsSet& s, const std::string& key, const std::string& value)
{
    for (auto& kv : s.keywords)
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    s.keywords.push_back({key, value});
}

inline std::string pad8(long long v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%8lld", v);
    return b;
}

// TEXT with every delimiter inside keys and values doubled.
inline std::string textSegment(const FcsSet& s, const std::vector<std::pair<std::string, std::string>>& extra)
{
    auto esc = [&](const std::string& v) {
        std::string o;
        for (char c : v) {
            o += c;
            if (c == s.delim) o += c;
        }
        return o;
    };
    std::string t(1, s.delim);
    for (const auto& kv : s.keywords) t += esc(kv.first) + s.delim + esc(kv.second) + s.delim;
    for (const auto& kv : extra) t += esc(kv.first) + s.delim + esc(kv.second) + s.delim;
    return t;
}

inline std::string fcsBytes(const std::vector<FcsSet>& sets)
{
    std::string file;
    for (size_t k = 0; k < sets.size(); ++k) {
        const FcsSet& s = sets[k];
        // Fixed-width numbers keep the TEXT length independent of their values.
        auto num = [](long long v) {
            char b[24];
            std::snprintf(b, sizeof b, "%012lld", v);
            return std::string(b);
        };
        const std::vector<std::pair<std::string, std::string>> placeholder = {
            {"$BEGINDATA", num(0)}, {"$ENDDATA", num(0)}, {"$NEXTDATA", num(0)}};
        const long long textLen = (long long)textSegment(s, placeholder).size();
        const long long textStart = 58, dataStart = textStart + textLen;
        const long long dataEnd = dataStart + (long long)s.data.size() - 1;
        const long long anaStart = s.analysis.empty() ? 0 : dataEnd + 1;
        const long long anaEnd = s.analysis.empty() ? 0 : anaStart + (long long)s.analysis.size() - 1;
        const long long setLen = 58 + textLen + (long long)s.data.size() + (long long)s.analysis.size();
        const long long next = k + 1 < sets.size() ? setLen : 0;
        const std::string text = textSegment(
            s, {{"$BEGINDATA", num(dataStart)}, {"$ENDDATA", num(dataEnd)}, {"$NEXTDATA", num(next)}});
        std::string header = s.magic;
        header.resize(10, ' ');
        header += pad8(textStart) + pad8(textStart + textLen - 1);
        header += s.headerDataZero ? pad8(0) + pad8(0) : pad8(dataStart) + pad8(dataEnd);
        header += pad8(anaStart) + pad8(anaEnd);
        file += header + text + s.data + s.analysis;
    }
    return file;
}

// Parameter keywords of n parameters with the given bits, names P1..Pn unless given.
inline void addParameters(FcsSet& s, const std::vector<int>& bits, const std::vector<std::string>& names = {},
                          const std::string& range = "1024")
{
    for (size_t i = 0; i < bits.size(); ++i) {
        const std::string p = "$P" + std::to_string(i + 1);
        s.keywords.push_back({p + "B", std::to_string(bits[i])});
        s.keywords.push_back({p + "E", "0,0"});
        s.keywords.push_back({p + "N", i < names.size() ? names[i] : "P" + std::to_string(i + 1)});
        s.keywords.push_back({p + "R", range});
    }
}

template <class T>
void putLE(std::string& out, T v, int width = int(sizeof(T)))
{
    uint64_t u = 0;
    static_assert(sizeof(T) <= 8);
    std::memcpy(&u, &v, sizeof(T));
    for (int i = 0; i < width; ++i) out += char((u >> (8 * i)) & 0xFF);
}

template <class T>
void putBE(std::string& out, T v, int width = int(sizeof(T)))
{
    uint64_t u = 0;
    std::memcpy(&u, &v, sizeof(T));
    for (int i = width - 1; i >= 0; --i) out += char((u >> (8 * i)) & 0xFF);
}

// A temporary directory removed with the object.
}  // namespace orvala::test
