#include "plot/PlotDefaults.h"

#include <cctype>

namespace orvala {

namespace {

std::string upperTrimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    std::string out = s.substr(b, e - b);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The area channel when there is one: instruments list height and width
// channels of the same detector too (FSC-H, FSC-W), often first.
int findScatter(const std::vector<std::string>& names, const std::string& prefix)
{
    int first = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string n = upperTrimmed(names[i]);
        if (n == prefix + "-A") return int(i);
        if (first < 0 && n.compare(0, prefix.size(), prefix) == 0) first = int(i);
    }
    return first;
}

}  // namespace

std::pair<int, int> defaultScatterAxes(const std::vector<std::string>& names)
{
    if (names.empty()) return {-1, -1};
    if (names.size() == 1) return {0, 0};
    const int fsc = findScatter(names, "FSC"), ssc = findScatter(names, "SSC");
    if (fsc >= 0 && ssc >= 0 && fsc != ssc) return {fsc, ssc};
    return {0, 1};
}

}  // namespace orvala
