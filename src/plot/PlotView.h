#pragma once
// The plot window's view of a data set, below the widgets: the axis
// directions, each axis' display scale, the space the events are projected
// in, and how a child's gate maps onto the view as a contour and back. The
// window reads its controls into a PlotView once, asks it, and draws what it
// returns; nothing here reads a control or touches the data model.
//
// A gate stores its outline in its own coordinates: (u', v') = (Tx(e . gx),
// Ty(e . gy)) with the gate's directions gx, gy and its scale flags. A view
// plots (X, Y) = (Sx(e . xv), Sy(e . yv)). When xv and yv lie in the gate's
// plane, e . xv = a u + b v and e . yv = c u + d v for the raw projections
// u = e . gx, v = e . gy; the gate maps into the view through that matrix and
// the scales, and an edit maps back through their inverses.
#include <optional>
#include <vector>

#include "geometry/Scales.h"
#include "numerics/Matrices.h"

namespace orvala {

// The exact inverse of LinToLog: sinh(v / 111). (LogToLin is not.)
double LinToLogInverse(double v);
// The exact inverse of LogToLin: 256 log10(v); NaN for v <= 0.
double LogToLinInverse(double v);

// The scale flags of one gate axis; the gate test applies LogToLin first
// when loglin is set, then LinToLog when linlog is set.
struct GateAxisScale {
    bool loglin = false;
    bool linlog = false;
    bool operator==(const GateAxisScale&) const = default;
};

// The flags a view axis in this mode gives the gates drawn on it.
GateAxisScale gateScaleFor(AxisMode mode);

// A child's gate as the view sees it.
struct GateShape {
    TVector x, y;    // projection directions
    TVector cx, cy;  // closed outline in the gate's own coordinates
    GateAxisScale sx, sy;
    bool components = false;  // projected in a filter's component space
    bool sameFilter = false;  // components: its filter describes the view's component space
};

// An outline: vertex coordinates, the last vertex a copy of the first.
struct Outline {
    std::vector<double> x, y;
    bool operator==(const Outline&) const = default;
};

// What a release on a contour does to its gate.
struct GateEdit {
    enum Kind {
        Unchanged,  // no move, or a move under the 0.1 % tolerance: nothing to do
        Refused,    // the edited outline has no exact counterpart in the gate's space
        Regate,     // store cx, cy and recompute the child
    } kind = Unchanged;
    TVector cx, cy;
};

// The two range markers of a 1-D view while one is dragged. Positions are
// plotted x values; the widget converts mouse pixels.
struct MarkerDrag {
    int grabbed = -1;    // 0 or 1 while a marker is held
    double offset = 0;   // marker position minus the mouse value at the press

    // Which marker a press at pixel px grabs: the nearer one within
    // `tolerance` pixels of the markers' pixels m0, m1; -1 for none.
    static int markerAt(double px, double m0, double m1, double tolerance = 4);
    // Grabs the marker at pixel px (see markerAt); mouseValue is the plotted
    // x value under the mouse, positions the markers' values. True when one was grabbed.
    bool press(double px, double m0, double m1, double mouseValue, const double positions[2]);
    // The held marker's new position for the mouse at plotted value mouseValue.
    double moveTo(double mouseValue) const { return mouseValue + offset; }
    void release() { grabbed = -1; }
};

// One axis of the view.
struct ViewAxis {
    TVector direction;  // unit length, or all zeros for no axis
    AxisMode mode = AxisMode::Linear;
};

class PlotView {
public:
    ViewAxis x, y;
    // The events pass through a projection filter (a component page).
    bool components = false;

    // Direction of an axis on the parameter page: 1 for each ticked
    // parameter (entries below `parameters`); a ticked component entry k
    // (entry parameters + k) adds eigenvector k of evects into the
    // parameters `indices` lists (all parameters in order when empty).
    // evects null: component entries are ignored. Normalised to length 1.
    static TVector parameterDirection(int parameters, const std::vector<int>& ticked, const TMatrix* evects,
                                      const TIntVector* indices);
    // Direction on a component page: the sum of the ticked eigenvectors, normalised.
    static TVector componentDirection(const TMatrix& evects, const std::vector<int>& ticked);

    bool hasX() const;
    // No y direction: the view shows histograms.
    bool histogram() const;

    // The gate's outline in plotted coordinates, or nothing when the view
    // cannot show its region exactly: another space, axes outside the
    // gate's plane, a 1-D gate, or scales that would bend its edges.
    std::optional<Outline> contourOf(const GateShape& g) const;
    // The outline in the gate's own coordinates of a contour drawn in this
    // view; nothing when it has no exact counterpart there.
    std::optional<Outline> gateOutlineOf(const GateShape& g, const Outline& contour) const;
    // The decision after a release on the contour `drawn` (what contourOf
    // gave) that now reads `now`. Vertices the user did not move keep their
    // stored values exactly.
    GateEdit edit(const GateShape& g, const Outline& drawn, const Outline& now) const;

    // A polygon gate's outline and flags from a finished drawing (plotted
    // coordinates, closed). Nothing with fewer than three distinct vertices.
    struct NewGate {
        TVector x, y, cx, cy;
        GateAxisScale sx, sy;
    };
    std::optional<NewGate> polygonGate(const Outline& drawn) const;
    // The 1-D gate between two marker positions (plotted x values, either
    // order): exactly the events the user sees between them, ends included.
    // The bounds stay in plotted coordinates with the x axis' scale flags.
    std::optional<NewGate> rangeGate(double marker1, double marker2) const;
};

}  // namespace orvala
