#pragma once
// The unmixing commands of the Tools menu.
namespace orvala {

class Workbench;

namespace SpectraCommands {

// "Decomposition": the decomposition dialog, modally, for each selected data
// set in turn, with the user's spectra library.
void Decomposition(Workbench& w);
// "Spectra": a spectra browser window on the folder beside the program.
void ShowSpectra(Workbench& w);

}  // namespace SpectraCommands

}  // namespace orvala
