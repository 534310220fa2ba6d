#pragma once
// The File menu's acquisition commands.
namespace orvala {

class MainWindow;

namespace AcquisitionCommands {

// "Acquisition": the acquisition window, or the open one brought to the front.
void ShowAcquisition(MainWindow& w);
// "Hypercyt": the HyperCyt acquisition window likewise.
void ShowHypercyt(MainWindow& w);

}  // namespace AcquisitionCommands

}  // namespace orvala
