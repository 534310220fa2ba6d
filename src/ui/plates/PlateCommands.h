#pragma once
// The plate commands of the main menu: "Open Plate" (File) and
// "Phenotyping" (Analyze).
#include <QString>

namespace orvala {

class Workbench;
class PlateWindow;
class PhenotypingWindow;

namespace PlateCommands {

// "Open Plate": asks for a folder (starting at "Main"/"OpenPlatePath").
void OpenPlate(Workbench& w);
// Reads the folder's per-well FCS files with the progress window, adds the
// plate data set to the data list and opens its plate view. Nil when the
// folder holds no FCS file that opens (said in a message) or "Stop" was
// pressed; misnamed files raise OrvalaError naming the file.
PlateWindow* OpenPlateFolder(Workbench& w, const QString& dir);
// "Phenotyping": a phenotyping window on the selected data sets, which must
// all have the same parameter count; nil (after the message) otherwise.
PhenotypingWindow* Phenotyping(Workbench& w);

}  // namespace PlateCommands

}  // namespace orvala
