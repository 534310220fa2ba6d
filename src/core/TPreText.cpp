#include "TPreText.h"

#include <cctype>

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

}  // namespace orvala
