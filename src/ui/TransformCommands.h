#pragma once
// The transforms of the Tools menu: each command asks for what it needs
// (level, channels, threshold) and hands every selected data set to the
// analysis library; new data sets go to the data list.
#include <QString>

namespace orvala {

class MainWindow;
class TData;

namespace TransformCommands {

// "Convert To Log Scale", "Centered Logratio Transform",
// "Convert to Hyperspherical Coordinates", "Transpose": one new data set per
// selected data set, added to the data list.
void LogScale(MainWindow& w);
void Logratio(MainWindow& w);
void Hyperspherical(MainWindow& w);
void Transpose(MainWindow& w);
// "Find Signal": the triggers' histogram in the quick view, the threshold
// asked for, the signal data set added and its table written to
// SignalTablePath().
void FindSignal(MainWindow& w);
// "Discriminate" and "Cut Noise": the "Discrimination Level" dialog, then
// the level on every selected data set.
void Discriminate(MainWindow& w);
void CutNoise(MainWindow& w);
// In place, on every selected data set.
void AddNoise(MainWindow& w);
void Scale(MainWindow& w);
void SwapChannels(MainWindow& w);
void BoxCarDiv(MainWindow& w);
void BoxCarMul(MainWindow& w);

// "TestSignal.csv" in the user's data directory (created when missing).
QString SignalTablePath();
// The new data set of a transform of source, as the data list shows it: an
// image sequence when the source is one (frames of the source's size).
void FinishResult(const TData& source, TData& result);

}  // namespace TransformCommands

}  // namespace orvala
