#pragma once
// What a new plot window shows before the user chooses.
#include <string>
#include <utility>
#include <vector>

namespace orvala {

// The x and y parameter of a new scatter plot: forward and side scatter
// when the data set has both (a name "FSC-A", else the first name beginning
// with "FSC"; likewise "SSC"; trimmed, any letter case), otherwise the first
// two parameters. One parameter: (0, 0), a histogram. None: (-1, -1).
std::pair<int, int> defaultScatterAxes(const std::vector<std::string>& names);

}  // namespace orvala
