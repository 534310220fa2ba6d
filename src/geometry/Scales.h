#pragma once
// Per-axis display scales. Plot windows never hand raw event values to the
// chart: every plotted value and every stored gate vertex goes through one of
// these, and gate evaluation uses the same functions so that an event is
// tested in exactly the space in which the gate was drawn.

namespace orvala {

// 111 * asinh(v): compresses linear instrument values into a log-like channel
// scale. Odd, defined for every v, 0 -> 0. Evaluated in extended precision.
double LinToLog(double v);

// 10^(v / 256): expands log-amplifier channels (256 per decade) to linear.
// 0 -> 1. Evaluated in extended precision.
double LogToLin(double v);

// v -> v, for axes without a scale.
double Identity(double v);

using ScaleFunction = double (*)(double);

// Which check box of an axis is ticked.
enum class AxisMode { Linear, LinLog, LogLin };

// The forward conversion (data -> plotted) and the back conversion
// (plotted -> data) of one axis mode. The back conversion is deliberately the
// other function, not the mathematical inverse of the forward one: stored
// 1-D gate bounds depend on that pairing.
struct AxisScale {
    ScaleFunction Convert;
    ScaleFunction ConvertBack;
    bool linlog;  // gate flag linlogx / linlogy for this axis
    bool loglin;  // gate flag loglinx / logliny for this axis
};

AxisScale AxisScaleFor(AxisMode mode);

// The mode chosen by the two check boxes "lin->log" and "log->lin"; at most
// one is ticked, and "lin->log" wins should a caller pass both.
AxisMode AxisModeFor(bool linToLogChecked, bool logToLinChecked);

}  // namespace orvala
