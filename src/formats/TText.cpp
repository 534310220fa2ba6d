#include "TText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "FcsErrors.h"
#include "TDataSet.h"

namespace orvala {

namespace {

std::string upper(std::string s)
{
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

char upperLetter(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

bool parseFcsInt(const std::string& text, int64_t& out)
{
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    long long v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
    out = v;
    return true;
}

bool parseFcsFloat(const std::string& text, double& out)
{
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
    out = v;
    return true;
}

int64_t TText::IntValue(const std::string& key) const
{
    const std::string v = trimmed(GetValue(key));
    if (v.empty()) return 0;
    int64_t n = 0;
    if (!parseFcsInt(v, n)) throw FcsFormatError("'" + v + "' is not a valid integer value of " + key);
    return n;
}

void TText::refreshIndex()
{
    index_.clear();
    index_.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        std::string k = keys[i];
        for (char& c : k) c = char(std::tolower(static_cast<unsigned char>(c)));
        index_.emplace(std::move(k), i);
    }
    const int n = std::max(par_Count, 0);
    shortNames.assign(size_t(n), std::string());
    longNames.assign(size_t(n), std::string());
    for (int i = 0; i < n; ++i) {
        shortNames[size_t(i)] = trimmed(parValue(i + 1, "N"));
        longNames[size_t(i)] = trimmed(parValue(i + 1, "S"));
    }
}

std::string TText::value(const std::string& key) const
{
    std::string k = key;
    for (char& c : k) c = char(std::tolower(static_cast<unsigned char>(c)));
    const auto it = index_.find(k);
    return it == index_.end() ? std::string() : Values[it->second];
}

std::string TText::parValue(int n, const std::string& suffix) const
{
    const std::string key = "P" + std::to_string(n) + suffix;
    std::string v = value("$" + key);
    if (v.empty()) v = value(key);
    return v;
}

void TText::splitKeywords(const uint8_t* bytes, size_t L)
{
    if (L == 0) return;
    Delim = char(bytes[0]);
    std::vector<std::string> fields(1);
    for (size_t i = 1; i < L; ++i) {
        const char c = char(bytes[i]);
        if (c != Delim) {
            fields.back() += c;
        } else if (i + 1 < L && char(bytes[i + 1]) == Delim) {
            // A doubled delimiter is one delimiter character inside a key or value.
            fields.back() += c;
            ++i;
        } else {
            fields.emplace_back();
        }
    }
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        keys.push_back(trimmed(fields[i]));
        Values.push_back(trimmed(fields[i + 1]));
    }
}

TText::TText(TDataSet* parent, const uint8_t* bytes, size_t L, bool keywordsOnly) : Parent(parent)
{
    splitKeywords(bytes, L);
    if (keywordsOnly || KeyIndex("$DATATYPE") < 0) return;

    const std::string type = trimmed(GetValue("$DATATYPE"));
    const std::string mode = trimmed(GetValue("$MODE"));
    if (type.empty() || mode.empty()) throw FcsFormatError("FCS Error: Cannot get mandatory pars");
    DataType = upperLetter(type[0]);
    Mode = upperLetter(mode[0]);

    par_Count = ParCount();
    // Every parameter needs keywords of its own ($PnB at least): a count beyond the
    // number of keywords is a damaged $PAR, not a reason to allocate millions of entries.
    // So is a $PAR no parameter count can be, however negative.
    int64_t declared = 0;
    const bool farOut = parseFcsInt(GetValue("$PAR"), declared) &&
                        (declared < std::numeric_limits<int32_t>::min() || declared > std::numeric_limits<int32_t>::max());
    if (par_Count > count() || farOut) {
        Parent->notimplemented = true;
        throw FcsFormatError("Error reading a dataset");
    }
    refreshIndex();
    if (!parseFcsFloat(GetValue("$TIMESTEP"), timestep)) timestep = 0;
    readByteOrder();
    readParameters();
    if (par_Count <= 0) {
        Parent->notimplemented = true;
        throw FcsFormatError("Error reading a dataset");
    }

    int maxBits = 0;
    for (const TPar& p : pars) maxBits = std::max(maxBits, p.bits);
    if (maxBits <= 0 && !Parent->notimplemented && !Parent->freeFormat) throw FcsFormatError("Error reading a dataset");
    int64_t eventSize = 0;
    for (TPar& p : pars) {
        if (p.bits == 0) p.bits = maxBits;
        p.bytes = (p.bits + 7) / 8;
        if (p.bits % 8 != 0) Parent->compressed = true;
        if (DataType != 'A' && p.bits > 64) throw FcsFormatError("Error reading a dataset");
        eventSize += p.bytes;
        // Integers carry flag bits above $PnR on some instruments (Beckman Navios
        // writes 16-bit words with $PnR 1024); real files also give ranges that are
        // not powers of two (11209599), so mask with the smallest all-ones value
        // that covers $PnR - 1, and only when $PnR is below 2^$PnB.
        p.mask = ~uint64_t(0);
        if (p.resolution > 1 && (p.bits >= 63 || p.resolution < (int64_t(1) << p.bits))) {
            uint64_t m = 1;
            while (m < uint64_t(p.resolution - 1)) m = (m << 1) | 1;
            p.mask = m;
        }

    }
    Parent->EventSize = eventSize;

    tot = OriginalTotal = IntValue("$TOT");
    // The HEADER's DATA pair is 0,0 in FCS 3 files larger than its 8-digit fields;
    // $BEGINDATA and $ENDDATA hold the 64-bit offsets then.
    int64_t len = Parent->Header.Len(1);
    if (Parent->Header.bounds.size() > 1 && Parent->Header.bounds[1].start == 0 && Parent->Header.bounds[1].stop == 0) {
        int64_t b = 0, e = 0;
        if (parseFcsInt(GetValue("$BEGINDATA"), b) && parseFcsInt(GetValue("$ENDDATA"), e) && e >= b) {
            // Offsets no file can have (negative, or at the int64 limit) are damage.
            if (b < 0 || __builtin_sub_overflow(e, b, &len) || __builtin_add_overflow(len, 1, &len))
                throw FcsFormatError("Bad FCS File");
        }
    }
    Parent->DataLen = len;
    if (Mode == 'L') {
        if (tot < 1) tot = eventSize > 0 ? std::max<int64_t>(len, 0) / eventSize : 0;
        if (eventSize > 0 && tot >= 0 && len / eventSize >= tot) Parent->compressed = false;
    } else {
        Parent->compressed = false;
    }
    if (tot < 0) tot = 0;

    prizmpar = -1;
    for (int i = 0; i < int(pars.size()); ++i)
        if (pars[size_t(i)].name == "PRISM") prizmpar = i;

    detectTime();
}

void TText::readByteOrder()
{
    const std::string order = GetValue("$BYTEORD");
    std::vector<std::string> entries;
    if (order.find(',') == std::string::npos) {
        for (char c : order)
            if (c != ' ') entries.emplace_back(1, c);
    } else {
        size_t start = 0;
        for (;;) {
            const size_t comma = order.find(',', start);
            entries.push_back(order.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    ByteCount = int32_t(std::min<size_t>(entries.size(), 8));
    for (int i = 0; i < 8; ++i) ByteOrd[i] = 0;
    for (int i = 0; i < ByteCount; ++i) {
        int64_t v = 0;
        if (!parseFcsInt(entries[size_t(i)], v) || v < 1 || v > 8)
            throw FcsFormatError("$BYTEORD '" + order + "' is not a byte order");
        ByteOrd[i] = int32_t(v);
    }
    if (ByteCount <= 0) return;
    if (ByteCount == 2) {
        for (int i = 0; i < 6; ++i) ByteOrd[i + 2] = ByteOrd[i] + 2;
    } else if (DataType == 'D') {
        const bool reverse = ByteCount > 1 && ByteOrd[1] < ByteOrd[0];
        for (int i = 0; i < 8; ++i) ByteOrd[i] = reverse ? 8 - i : i + 1;
    } else if (ByteCount == 4) {
        for (int i = 0; i < 4; ++i) ByteOrd[i + 4] = ByteOrd[i] + 4;
    }
    // Entries the file did not give (an order of 1 or 3 bytes) leave their bytes in place.
    for (int i = 0; i < 8; ++i)
        if (ByteOrd[i] == 0) ByteOrd[i] = i + 1;
    // The extensions above can push entries past 8 ("8,7" gives 10): not a byte order.
    bool seen[9] = {};
    for (int i = 0; i < 8; ++i) {
        if (ByteOrd[i] < 1 || ByteOrd[i] > 8 || seen[ByteOrd[i]])
            throw FcsFormatError("$BYTEORD '" + order + "' is not a byte order");
        seen[ByteOrd[i]] = true;
    }
    ByteCount = 8;
}

void TText::readParameters()
{
    pars.assign(size_t(std::max(par_Count, 0)), TPar{});
    bool variableAscii = false;
    for (int n = 1; n <= par_Count; ++n) {
        TPar& p = pars[size_t(n - 1)];
        p.name = shortNames[size_t(n - 1)];
        if (p.name.empty()) p.name = "nn" + std::to_string(n - 1);

        const std::string bits = trimmed(parValue(n, "B"));
        int64_t b = 0;
        if (DataType == 'A' && bits == "*") {
            variableAscii = true;
        } else if (parseFcsInt(bits, b) && b > 0 && b <= 1 << 24) {
            p.bits = int32_t(b);
        }

        int64_t r = 0;
        p.resolution = parseFcsInt(parValue(n, "R"), r) ? r : 0;

        const std::string e = parValue(n, "E");
        p.decade = 0;
        p.intersect = 1;
        if (!e.empty()) {
            const size_t comma = e.find(',');
            if (!parseFcsFloat(e.substr(0, comma), p.decade))
                throw FcsFormatError("Error Converting Floting point string");
            if (comma != std::string::npos && !parseFcsFloat(e.substr(comma + 1), p.intersect))
                throw FcsFormatError("Error Converting Floting point string");
        }

        if (!parseFcsFloat(parValue(n, "G"), p.gain)) p.gain = 1;
        p.ReverseByteOrder = ReverseByteOrder();
        p.DisplayLog = sameTextIgnoringCase(parValue(n, "DISPLAY"), "LOG");
    }
    // "*" widths: the values are written without fixed widths, separated by
    // delimiters, and read as such.
    Parent->freeFormat = variableAscii;
}

void TText::detectTime()
{
    TimeLSW = TimeMSW = TimePar = EventCountPar = TimeBitSize = 0;
    if (DataType == 'I') {
        for (int i = 0; i < par_Count; ++i) {
            const int number = i + 1;
            const TPar& p = pars[size_t(i)];
            const std::string& shortName = shortNames[size_t(i)];
            const std::string& longName = longNames[size_t(i)];
            if (contains(upper(SomeName(shortName, longName)), "TIME")) {
                if (TimeLSW == 0) TimeLSW = number;
                if (TimeMSW == 0) TimeMSW = number;
                if (TimeBitSize == 0) TimeBitSize = p.bits;
                const std::string s = upper(shortName), l = upper(longName);
                if (contains(s, "LSW") || contains(l, "LSW")) {
                    TimeLSW = number;
                    TimeBitSize = p.bits;
                } else if (contains(s, "MSW") || contains(l, "MSW")) {
                    TimeMSW = number;
                }
            } else if (contains(upper(shortName), "EVENT COUNT")) {
                EventCountPar = number;
            }
        }
    }
    if (TimeLSW + TimeMSW < 3 || TimeLSW == TimeMSW) {
        if (TimeLSW != 0) TimePar = TimeLSW;
        TimeLSW = TimeMSW = 0;
    }
    FixedParCount = par_Count - (TimeLSW > 0 ? 1 : 0) - (EventCountPar > 0 ? 1 : 0);
}

std::string ColumnName(const TText& t, int i)
{
    const std::string& shortName = t.shortNames[size_t(i)];
    const std::string& longName = t.longNames[size_t(i)];
    if (!shortName.empty() && !longName.empty() && shortName != longName) return shortName + "/" + longName;
    if (!longName.empty()) return longName;
    if (!shortName.empty()) return shortName;
    return t.pars[size_t(i)].name;
}

}  // namespace orvala
