#pragma once
// How a parameter is shown: the display transform of one axis. Data sets hold
// values in the file's units; a view maps them through a display transform to
// the coordinate it draws, and a gate drawn on that view keeps its vertices in
// that coordinate together with the transform, so it selects the same events
// wherever it is replayed.
//
// Kinds and coordinates (x in data units, y the transformed coordinate):
//   linear               y = x.
//   log T M              y = log10(x / T) / M + 1: T at 1, T 10^-M at 0. Values
//                        whose y would fall below 0 (x below T 10^-M, zero,
//                        negative, -infinity) are shown at 0, the bottom of
//                        the scale, so nothing is lost off the axis.
//   arcsinh cofactor=c   y = asinh(x / c): odd, linear near 0 (slope 1/c),
//                        logarithmic beyond |x| = c (natural-log units).
//   logicle T W M A      the Gating-ML logicle: T at 1, 0 at (W + A) / (M + A),
//                        M decades above a linear zone of width W decades and
//                        A decades of extra negative room.
//
// Relation to Gating-ML 2.0 (GatingMl() gives the parameters); in each case
// the gate coordinates are the same numbers, with no affine map, and the same
// computation gives the same bits:
//   linear  = a dimension without a transformation (data units).
//   log     = flog(T, M), wherever y > 0. Below the bound flog gives negative
//             values or NaN (x <= 0) where the display shows 0, so a gate is
//             written exactly when its extent on that axis lies above 0.
//   arcsinh = fasinh(T = c sinh(1), M = log10(e), A = 0): M ln 10 is exactly
//             1 in doubles, so fasinh's coordinate is asinh(x sinh(1) / T)
//             with nothing added or divided; the display computes exactly
//             that, with the T that GatingMl() returns (write it with all its
//             digits, e.g. shortest round-trip form).
//   logicle = logicle(T, W, M, A).
//
// A DisplayTransform is a small value: copies share the prepared logicle
// tables, equality compares the kind and the parameters, and Text() /
// FromText() give a compact form for files ("logicle T=262144 W=0.5 M=4.5
// A=0") that round-trips exactly under any locale.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "transforms/ClosedFormScales.h"

namespace orvala {

class Biexponential;
class TMultiThread;

enum class TransformKind { Linear, Log, Arcsinh, Logicle };

// The Gating-ML transformation equal to a display transform: None means a
// dimension without transformation. Only the parameters of the kind are set.
enum class GatingMlScaleKind { None, Flog, Fasinh, Logicle };
struct GatingMlScale {
    GatingMlScaleKind kind = GatingMlScaleKind::None;
    double T = 0, W = 0, M = 0, A = 0;
};

// log10(e), the fasinh M of an arcsinh display: M ln 10 rounds to exactly 1.
inline constexpr double kLog10E = 0.4342944819032518;
static_assert(kLog10E * kLn10 == 1.0);

class DisplayTransform {
public:
    // Linear.
    DisplayTransform() = default;

    // Each factory checks its parameters and throws TransformError naming the
    // transform and the reason: log needs T > 0 and M > 0 with T 10^-M a
    // normal positive number; arcsinh a cofactor in [1e-300, 1e300]; logicle
    // the Gating-ML ranges (T > 0, M > 0, 0 <= W <= M/2, -W <= A <= M - 2W).
    // All parameters must be finite. Logicle prepares its tables here (about a
    // millisecond); copies share them.
    static DisplayTransform Linear() { return {}; }
    static DisplayTransform Log(double T, double M);
    static DisplayTransform Arcsinh(double cofactor);
    static DisplayTransform Logicle(double T, double W, double M, double A);

    // The compact text form: "linear", "log T=262144 M=4.5", "arcsinh
    // cofactor=150", "logicle T=262144 W=0.5 M=4.5 A=0". Numbers are written
    // in their shortest form that reads back to the same double, with "."
    // whatever the locale; FromText(t.Text()) == t, bit for bit.
    std::string Text() const;
    // Reads the text form: the kind, then name=value for each of its
    // parameters in any order, separated by blanks; kind and names ignore
    // letter case. Throws TransformError saying what is wrong (unknown kind,
    // unknown, repeated or missing parameter, a value that is not a number,
    // parameters out of range).
    static DisplayTransform FromText(std::string_view text);

    TransformKind Kind() const { return kind_; }
    // Parameters of the kind; 0 for those it does not have.
    double T() const { return kind_ == TransformKind::Log || kind_ == TransformKind::Logicle ? p_[0] : 0; }
    double W() const { return kind_ == TransformKind::Logicle ? p_[1] : 0; }
    double M() const { return kind_ == TransformKind::Log ? p_[1] : kind_ == TransformKind::Logicle ? p_[2] : 0; }
    double A() const { return kind_ == TransformKind::Logicle ? p_[3] : 0; }
    double Cofactor() const { return kind_ == TransformKind::Arcsinh ? p_[0] : 0; }
    // Log: T 10^-M, the value shown at 0 (values below it are shown there too).
    // -infinity for the other kinds, which show every value where it lies.
    double LowerBound() const;

    bool operator==(const DisplayTransform& other) const;

    // The coordinate of x. NaN gives NaN; +-infinity gives +-infinity (log:
    // -infinity gives 0). Strictly increasing (log: above its lower bound).
    double Forward(double x) const;
    // The x whose coordinate is y: Inverse(Forward(x)) == x to within the
    // rounding of the coordinate (relative 1e-12, except where the coordinate
    // of a value near 0 carries fewer digits than the value: around 0 on a
    // logicle scale, whose 0 lies inside the axis). Log: x >= LowerBound()
    // only. NaN gives NaN; coordinates beyond the double range give
    // +-infinity.
    double Inverse(double y) const;

    // Forward of n values, each bit for bit Forward(x[i]); split over pool
    // when given (results identical for any number of workers). y may be x.
    void ForwardMany(const double* x, double* y, size_t n, TMultiThread* pool = nullptr) const;
    // Forward of n values for drawing: each within FastError() of Forward's
    // value, with the same bits whatever the pool and wherever a value lies in
    // the run. Logicle reads a cubic table (about 30 times faster than its root
    // solve); log and arcsinh run eight values at a time through the project's
    // own logarithm. y may be x.
    void ForwardFast(const double* x, double* y, size_t n, TMultiThread* pool = nullptr) const;
    // Bound on |ForwardFast - Forward| in coordinate units; 0 when ForwardFast
    // is Forward. Logicle: below 1e-7 of its scale (T at 1), a thousandth of a
    // pixel on any screen; log and arcsinh: a few ulps of their coordinates.
    double FastError() const;

    // The equal Gating-ML transformation (see the header comment).
    GatingMlScale GatingMl() const;

private:
    TransformKind kind_ = TransformKind::Linear;
    double p_[4] = {0, 0, 0, 0};
    Flog flog_;
    Fasinh fasinh_;
    std::shared_ptr<const Biexponential> logicle_;
};

}  // namespace orvala
