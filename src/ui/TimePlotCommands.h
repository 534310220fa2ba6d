#pragma once
// The time-plot and scatter-plot matrix commands of the Analyze menu.
namespace orvala {

class MainWindow;

namespace TimePlotCommands {

// "Time Plot": the one time-plot window (created when needed) gets a page
// for each selected data set.
void TimePlot(MainWindow& w);
// "Tabloid": a scatter-plot matrix window for each selected data set.
void Tabloid(MainWindow& w);

}  // namespace TimePlotCommands

}  // namespace orvala
