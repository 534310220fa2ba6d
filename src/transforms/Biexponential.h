#pragma once
// The logicle and hyperlog scales of the Gating-ML 2.0 transforms: both are
// the inverse of a function that is exponential for large values and linear
// (logicle: a difference of exponentials; hyperlog: exponential plus linear
// term) around 0, so that compensated data with negative values keep their
// spread instead of piling up at the bottom of a log axis.
//
// Coordinates: T maps to 1, 0 to A / (M + A) + W / (M + A); M decades span the
// scale above the linear zone, W sets the width of that zone in decades, A
// adds decades below 0. Both scales are odd about the image of 0 and strictly
// increasing, so intervals map to intervals.
//
// Forward has no closed form: each value is a root solve (a table start and
// Halley steps, about 85 ns). ForwardApprox reads a cubic table instead
// (about 3 ns) within a stated error.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvala {

class Biexponential {
public:
    // Checks T > 0, M > 0, 0 <= W <= M/2 (hyperlog: 0 < W), -W <= A <= M - 2W,
    // all finite, and prepares the constants and tables (about a millisecond);
    // throws TransformError with the reason otherwise.
    static Biexponential Logicle(double T, double W, double M, double A);
    static Biexponential Hyperlog(double T, double W, double M, double A);

    bool IsLogicle() const { return logicle_; }
    double T() const { return T_; }
    double W() const { return W_; }
    double M() const { return M_; }
    double A() const { return A_; }

    // The scale value of x: NaN for NaN, +-infinity for +-infinity. Exact to
    // the last bits or so: Inverse(Forward(x)) gives x back to within the
    // rounding of the coordinate.
    double Forward(double x) const;
    // The x with Forward(x) == y, in closed form; +-infinity where the
    // exponential overflows, NaN for NaN.
    double Inverse(double y) const;
    // Forward over n values (y may be x) through a cubic on a table indexed by
    // the bits of |x|, four values at a time where the processor has AVX2;
    // values the table does not cover (below 2^-30 T, far above T, not finite)
    // go through Forward. Each result lies within ApproxError() of Forward's
    // and has the same bits whether it came alone or in a run.
    void ForwardApprox(const double* x, double* y, size_t n) const;
    // 0 when ForwardApprox gives exactly Forward's values (no usable table).
    double ApproxError() const { return approxError_; }

private:
    Biexponential() = default;
    static Biexponential make(bool logicle, double T, double W, double M, double A);
    // Logicle's biexponential B(y) or hyperlog's EH(y) for y >= x1_.
    double upperBranch(double y) const;
    double upperSlope(double y) const;
    // The y >= x1_ with upperBranch(y) == x, for x >= 0.
    double solveUpper(double x) const;
    // The same from a table start and Halley steps; falls back on solveUpper.
    double fastUpper(double x) const;
    void buildTable();
    void buildApprox();
    double approxUpper(double ax, uint64_t bin) const;

    bool logicle_ = true;
    double T_ = 0, W_ = 0, M_ = 0, A_ = 0;
    // Prepared constants: logicle a e^(b y) - c e^(-d y) - f, hyperlog a e^(b y) + c y - f.
    double a_ = 0, b_ = 0, c_ = 0, d_ = 0, f_ = 0, x1_ = 0;
    // Branch values on an even grid of y from x1_: where a root solve starts.
    std::vector<double> tableX_;
    double tableStep_ = 0;
    // Cubic Hermite pieces on 2^kApproxBits bins per octave of |x|, from the bin
    // whose key (the top bits of the double) is approxFirst_: per bin the value
    // at its start, the rise to its end and both end slopes times its width.
    std::vector<double> approx_;
    uint64_t approxFirst_ = 0, approxBins_ = 0;
    double approxError_ = 0;
};

}  // namespace orvala
