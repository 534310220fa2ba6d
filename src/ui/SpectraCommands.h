#pragma once
// The unmixing commands of the Tools menu.
namespace orvala {

class MainWindow;

namespace SpectraCommands {

// "Decomposition": the decomposition dialog, modally, for each selected data
// set in turn, with the user's spectra library.
void Decomposition(MainWindow& w);
// "Spectra": a spectra browser window on the folder beside the program.
void ShowSpectra(MainWindow& w);

}  // namespace SpectraCommands

}  // namespace orvala
