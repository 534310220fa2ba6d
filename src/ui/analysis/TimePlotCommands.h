#pragma once
// The time-plot and scatter-plot matrix commands of the Analyze menu.
namespace orvala {

class Workbench;

namespace TimePlotCommands {

// "Time Plot": the one time-plot window (created when needed) gets a page
// for each selected data set.
void TimePlot(Workbench& w);
// "Tabloid": a scatter-plot matrix window for each selected data set.
void Tabloid(Workbench& w);

}  // namespace TimePlotCommands

}  // namespace orvala
