#pragma once
// Width of the bars of a bar series in axis units. The chart's own default is
// a fixed width, which turns a histogram of wide bins into a row of sticks and
// lets bins narrower than it overlap; bars should fill most of the room their
// neighbours leave.
#include <vector>

namespace orvala {

// A fraction of the smallest gap between neighbouring distinct finite x values;
// with fewer than two of them, the same fraction of one unit.
double BarWidth(const std::vector<double>& x, double fraction = 0.8);

}  // namespace orvala
