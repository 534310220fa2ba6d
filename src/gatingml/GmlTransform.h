#pragma once
// The scale transformations a Gating-ML document can put on a gate dimension.
// Each maps values on the FCS scale to the display space in which the gate's
// coordinates are written; they are all strictly increasing (fratio aside,
// which combines two dimensions), which the evaluator uses to test intervals.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvala {

enum class GmlTransformKind { Flin, Flog, Fasinh, Logicle, Hyperlog, Fratio };

class GmlTransform {
public:
    // Checks the parameters against the ranges the transforms are defined on and
    // prepares the constants; throws GmlError naming id when they are out of range.
    static GmlTransform Flin(const std::string& id, double T, double A);
    static GmlTransform Flog(const std::string& id, double T, double M);
    static GmlTransform Fasinh(const std::string& id, double T, double M, double A);
    static GmlTransform Logicle(const std::string& id, double T, double W, double M, double A);
    static GmlTransform Hyperlog(const std::string& id, double T, double W, double M, double A);
    // A * (x1 - B) / (x2 - C) of the two named dimensions.
    static GmlTransform Fratio(const std::string& id, double A, double B, double C, std::string dim1, std::string dim2);

    const std::string& Id() const { return id_; }
    GmlTransformKind Kind() const { return kind_; }
    double T() const { return T_; }
    double W() const { return W_; }
    double M() const { return M_; }
    double A() const { return A_; }
    double B() const { return B_; }
    double C() const { return C_; }
    // The two dimension names of a ratio.
    const std::vector<std::string>& RatioDimensions() const { return ratioDims_; }

    // The transformed value; NaN where the transform is undefined (flog of x <= 0,
    // a ratio over 0) or x is NaN, so that such an event falls in no gate.
    double Apply(double x) const;
    // A * (x1 - B) / (x2 - C); NaN when the divisor is 0.
    double Ratio(double x1, double x2) const;
    // The value x with Apply(x) == y, for the single-dimension transforms.
    double Inverse(double y) const;
    // Apply over n values, for logicle and hyperlog through a cubic on a table
    // indexed by the bits of |x| (a root solve per value is what makes them
    // slow); values the table does not cover go through Apply. Each result lies
    // within ApproxError() of Apply's, so a caller that needs Apply's exact
    // result can tell which values are far enough from its decision points.
    void ApplyApprox(const double* x, double* y, size_t n) const;
    // 0 when ApplyApprox gives exactly Apply's values.
    double ApproxError() const { return approxError_; }

private:
    GmlTransform() = default;
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

    std::string id_;
    GmlTransformKind kind_ = GmlTransformKind::Flin;
    double T_ = 0, W_ = 0, M_ = 0, A_ = 0, B_ = 0, C_ = 0;
    std::vector<std::string> ratioDims_;
    // Prepared constants: logicle a e^(b y) - c e^(-d y) - f, hyperlog a e^(b y) + c y - f.
    double a_ = 0, b_ = 0, c_ = 0, d_ = 0, f_ = 0, x1_ = 0;
    double scale_ = 0, offset_ = 0;  // fasinh: sinh(M ln10) / T and A ln10; flin: T + A
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
