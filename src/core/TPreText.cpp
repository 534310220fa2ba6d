#include "TPreText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "Messages.h"

namespace orvala {

bool sameTextIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string trimmed(const std::string& s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

int TPreText::KeyIndex(const std::string& key) const
{
    for (size_t i = 0; i < keys.size(); ++i)
        if (sameTextIgnoringCase(keys[i], key)) return int(i);
    return -1;
}

std::string TPreText::GetValue(const std::string& key) const
{
    const int i = KeyIndex(key);
    return i < 0 ? std::string() : Values[size_t(i)];
}

void TPreText::SetValue(const std::string& key, const std::string& value)
{
    const int i = KeyIndex(key);
    if (i >= 0) {
        Values[size_t(i)] = value;
    } else {
        keys.push_back(key);
        Values.push_back(value);
    }
}

void TPreText::Add(const std::string& key, const std::string& value) { SetValue(key, value); }

void TPreText::Insert(int index, const std::string& key, const std::string& value)
{
    const int i = KeyIndex(key);
    if (i >= 0) {
        Values[size_t(i)] = value;
        return;
    }
    if (index < 0) index = 0;
    if (index > count()) index = count();
    keys.insert(keys.begin() + index, key);
    Values.insert(Values.begin() + index, value);
}

// ---------------------------------------------------------------- parameter keywords

namespace {

std::string lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithIgnoringCase(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && sameTextIgnoringCase(s.substr(0, prefix.size()), prefix);
}

// Whole trimmed text as an integer; false when it is not one.
bool parseInt(const std::string& text, long long& out)
{
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

// The number of a run of digits, saturated so that absurd keys cannot overflow.
long long digitRun(const std::string& s, size_t& pos)
{
    long long n = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        if (n < std::numeric_limits<int>::max()) n = n * 10 + (s[pos] - '0');
        ++pos;
    }
    return std::min<long long>(n, std::numeric_limits<int>::max());
}

// Parameter number of a key "$P" + digits + ..., with the position after the digits; 0 when none.
long long keyParNumber(const std::string& key, size_t& after)
{
    if (key.size() < 3 || !startsWithIgnoringCase(key, "$P") || !isDigit(key[2])) return 0;
    after = 2;
    return digitRun(key, after);
}

}  // namespace

int TPreText::ParCount() const
{
    long long n = 0;
    if (parseInt(GetValue("$PAR"), n) && n > 0) return int(std::min<long long>(n, std::numeric_limits<int>::max()));
    long long largest = 0;
    for (const std::string& k : keys) {
        size_t after = 0;
        largest = std::max(largest, keyParNumber(k, after));
    }
    return int(largest);
}

std::string TPreText::ParOfParValue(int n, const std::string& suffix) const
{
    const std::string key = "P" + std::to_string(n) + suffix;
    std::string v = GetValue("$" + key);
    if (v.empty()) v = GetValue(key);
    return v;
}

std::string TPreText::ParShortName(int i) const { return trimmed(ParOfParValue(i + 1, "N")); }

std::string TPreText::ParLongName(int i) const { return trimmed(ParOfParValue(i + 1, "S")); }

std::string TPreText::SomeName(const std::string& shortName, const std::string& longName)
{
    if (longName == shortName || longName.empty()) return shortName;
    const std::string l = lower(shortName);
    if (l.find("lin") != std::string::npos) return "Lin " + longName;
    if (l.find("log") != std::string::npos) return "Log " + longName;
    return longName;
}

std::string TPreText::ParSomeName(int i) const { return SomeName(ParShortName(i), ParLongName(i)); }

int TPreText::IndByName(const std::string& name, const std::vector<std::string>& shortNames,
                        const std::vector<std::string>& longNames, bool emptyIsPrefix)
{
    const int n = int(std::min(shortNames.size(), longNames.size()));
    for (int i = 0; i < n; ++i)
        if (sameTextIgnoringCase(shortNames[size_t(i)], name)) return i;
    for (int i = 0; i < n; ++i)
        if (sameTextIgnoringCase(longNames[size_t(i)], name)) return i;
    for (int i = 0; i < n; ++i)
        if ((emptyIsPrefix || !shortNames[size_t(i)].empty()) && startsWithIgnoringCase(name, shortNames[size_t(i)]))
            return i;
    for (int i = 0; i < n; ++i)
        if ((emptyIsPrefix || !longNames[size_t(i)].empty()) && startsWithIgnoringCase(name, longNames[size_t(i)]))
            return i;
    return -1;
}

int TPreText::ParIndByName(const std::string& name, bool emptyIsPrefix) const
{
    const int n = ParCount();
    std::vector<std::string> shortNames, longNames;
    for (int i = 0; i < n; ++i) {
        shortNames.push_back(ParShortName(i));
        longNames.push_back(ParLongName(i));
    }
    return IndByName(name, shortNames, longNames, emptyIsPrefix);
}

std::vector<std::string> TPreText::ParOfParNames() const
{
    std::vector<std::string> result;
    for (const std::string& k : keys) {
        std::vector<std::string> pieces(1);
        for (size_t i = 0; i < k.size();) {
            if (isDigit(k[i])) {
                while (i < k.size() && isDigit(k[i])) ++i;
                pieces.emplace_back();
            } else {
                pieces.back() += k[i++];
            }
        }
        if (pieces.size() >= 2 && (pieces[0] == "$P" || pieces[0] == "P") &&
            std::find(result.begin(), result.end(), pieces[1]) == result.end())
            result.push_back(pieces[1]);
    }
    return result;
}

void TPreText::DeleteParam(int n)
{
    long long total = 0;
    if (!parseInt(GetValue("$PAR"), total)) throw OrvalaError("Cannot delete parameter " + std::to_string(n) + ": $PAR is missing or not a number");
    // A $PAR of 0 or less counts nothing that could lose a parameter (and at the
    // int64 limit would overflow): the count the keywords describe stands in.
    if (total < 1) total = std::max(par_Count, 1);
    std::vector<std::string> newKeys, newValues;
    for (size_t i = 0; i < keys.size(); ++i) {
        size_t after = 0;
        const long long m = keyParNumber(keys[i], after);
        if (m == n) continue;
        if (m > n)
            newKeys.push_back(keys[i].substr(0, 2) + std::to_string(m - 1) + keys[i].substr(after));
        else
            newKeys.push_back(keys[i]);
        newValues.push_back(Values[i]);
    }
    keys.swap(newKeys);
    Values.swap(newValues);
    DeletedPars.push_back(n);
    if (n >= 1 && n <= int(pars.size())) pars.erase(pars.begin() + (n - 1));
    --par_Count;
    SetValue("$PAR", std::to_string(total - 1));
}

void TPreText::DeleteUselessParams()
{
    // Renumbers a remembered parameter number after parameter d went away.
    auto follow = [](int& number, int d) {
        if (number > d) --number;
    };
    std::vector<int> doomed;
    if (TimeLSW > 0 && TimeMSW > 0 && TimeLSW != TimeMSW) {
        // Two 16-bit time words (older Beckman and Partec writers) become one TIME column.
        if (TimeLSW <= int(pars.size())) pars[size_t(TimeLSW - 1)].name = "TIME";
        SetValue("$P" + std::to_string(TimeLSW) + "S", "TIME");
        SetValue("$P" + std::to_string(TimeLSW) + "N", "TIME");
        doomed.push_back(TimeMSW);
        TimeMSW = 0;
    }
    if (EventCountPar > 0) doomed.push_back(EventCountPar);
    EventCountPar = 0;
    std::sort(doomed.begin(), doomed.end(), std::greater<int>());
    for (int d : doomed) {
        DeleteParam(d);
        follow(TimeLSW, d);
        follow(TimePar, d);
    }
}

void TPreText::Assign(const TPreText& other) { *this = other; }

}  // namespace orvala
