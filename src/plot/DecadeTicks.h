#pragma once
// Tick marks of an axis whose plotted coordinate is a display scale of the
// data: labels read in linear data units at decades (0, 100, 1000, 10⁴, ...)
// placed where those values are plotted, with minor ticks between them.
#include <string>
#include <vector>

#include "geometry/Scales.h"
#include "transforms/DisplayTransform.h"

namespace orvala {

struct AxisTicks {
    std::vector<double> major;        // plotted positions, ascending
    std::vector<double> values;       // data value of each major tick
    std::vector<std::string> labels;  // one per major tick, UTF-8 (decadeLabel of its value)
    std::vector<double> minor;        // plotted positions, ascending
};

// Linear value v where `mode` plots it: LinLog 111·asinh(v); LogLin plots
// the linear value itself (10^(channel/256)), so v. Linear: v.
double decadePosition(AxisMode mode, double v);
// The exact inverse of decadePosition.
double decadeValue(AxisMode mode, double position);

// Label of a linear value: plain decimals from 0.001 to 1000 ("0", "100",
// "-1000", "0.01"), powers of ten beyond ("10⁴", "-10⁵", "10⁻⁴"); other
// values (the fall-back steps) in their shortest decimal form with ".".
std::string decadeLabel(double v);

// Ticks for the plotted range [lo, hi] of an axis in `mode`. minSpacing is
// the least distance, in plotted units, between two labelled ticks (the
// caller derives it from the axis' length in pixels and the label size).
// Decades (0 and ±10^k) are labelled, larger magnitudes first, skipping any
// closer than minSpacing to one already labelled; with only two decades in
// view, 2·10^k and 5·10^k are labelled as well. Minor ticks mark 2..9·10^k
// and the unlabelled decades. When fewer than two decades fit (a zoomed-in
// axis), labels fall back to 1-2-5 steps in data units. Linear mode, an
// empty or non-finite range: no ticks (the caller keeps its own).
AxisTicks decadeTicks(AxisMode mode, double lo, double hi, double minSpacing);

// The same for an axis drawn through a display transform: lo and hi are
// transformed coordinates, positions are transform.Forward of the data values
// labelled, decades on both sides of 0 where the transform shows negative
// values (-10³, -10², 0, 10², 10³ on a logicle axis). A log transform labels
// nothing below its lower bound; a linear one gives no ticks.
AxisTicks decadeTicks(const DisplayTransform& transform, double lo, double hi, double minSpacing);

}  // namespace orvala
