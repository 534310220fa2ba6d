#pragma once
// The averages commands: "Average", "Normalized Average" and "Distribution"
// of the Analyze menu, and the data calculator of the Tools menu.
#include <vector>

namespace orvala {

class Workbench;
class TData;
class AverageWindow;

namespace AverageCommands {

// "Average" (normalized false) and "Normalized Average": sets each selected
// data set's Compensate flag accordingly and opens an Average window on it.
// A data set without events is refused with a message; the others still open.
std::vector<AverageWindow*> Average(Workbench& w, bool normalized);
// "Distribution": a distribution window per selected data set.
void Distribution(Workbench& w);
// "Calculator": the data calculator over the selected data sets; the result
// is added to the data list.
void Calculator(Workbench& w);

}  // namespace AverageCommands

}  // namespace orvala
