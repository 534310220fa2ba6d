#pragma once
// The File menu's acquisition commands.
namespace orvala {

class Workbench;

namespace AcquisitionCommands {

// "Acquisition": the acquisition window, or the open one brought to the front.
void ShowAcquisition(Workbench& w);
// "Hypercyt": the HyperCyt acquisition window likewise.
void ShowHypercyt(Workbench& w);

}  // namespace AcquisitionCommands

}  // namespace orvala
