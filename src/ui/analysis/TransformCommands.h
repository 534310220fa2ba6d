#pragma once
// The transforms of the Tools menu: each command asks for what it needs
// (level, channels, threshold) and hands every selected data set to the
// analysis library; new data sets go to the data list.
#include <QString>

namespace orvala {

class Workbench;
class TData;

namespace TransformCommands {

// "Convert To Log Scale", "Centered Logratio Transform",
// "Convert to Hyperspherical Coordinates", "Transpose": one new data set per
// selected data set, added to the data list.
void LogScale(Workbench& w);
void Logratio(Workbench& w);
void Hyperspherical(Workbench& w);
void Transpose(Workbench& w);
// "Find Signal": the triggers' histogram in the quick view, the threshold
// asked for, the signal data set added and its table written to
// SignalTablePath().
void FindSignal(Workbench& w);
// "Discriminate" and "Cut Noise": the "Discrimination Level" dialog, then
// the level on every selected data set.
void Discriminate(Workbench& w);
void CutNoise(Workbench& w);
// In place, on every selected data set.
void AddNoise(Workbench& w);
void Scale(Workbench& w);
void SwapChannels(Workbench& w);
void BoxCarDiv(Workbench& w);
void BoxCarMul(Workbench& w);

// "TestSignal.csv" in the user's data directory (created when missing).
QString SignalTablePath();
// The new data set of a transform of source, as the data list shows it: an
// image sequence when the source is one (frames of the source's size).
void FinishResult(const TData& source, TData& result);

}  // namespace TransformCommands

}  // namespace orvala
