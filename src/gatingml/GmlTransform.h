#pragma once
// The scale transformations a Gating-ML document can put on a gate dimension.
// Each maps values on the FCS scale to the display space in which the gate's
// coordinates are written; they are all strictly increasing (fratio aside,
// which combines two dimensions), which the evaluator uses to test intervals.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "transforms/Biexponential.h"
#include "transforms/ClosedFormScales.h"

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
    // Apply over n values, for logicle and hyperlog through the cubic table of
    // Biexponential::ForwardApprox (a root solve per value is what makes them
    // slow). Each result lies within ApproxError() of Apply's, so a caller that
    // needs Apply's exact result can tell which values are far enough from its
    // decision points.
    void ApplyApprox(const double* x, double* y, size_t n) const;
    // 0 when ApplyApprox gives exactly Apply's values.
    double ApproxError() const { return biex_ ? biex_->ApproxError() : 0; }

private:
    GmlTransform() = default;

    std::string id_;
    GmlTransformKind kind_ = GmlTransformKind::Flin;
    double T_ = 0, W_ = 0, M_ = 0, A_ = 0, B_ = 0, C_ = 0;
    std::vector<std::string> ratioDims_;
    // The scale itself, for the kind in use; the biexponential tables are
    // shared by copies of the document.
    orvala::Flin flin_;
    orvala::Flog flog_;
    orvala::Fasinh fasinh_;
    std::shared_ptr<const Biexponential> biex_;
};

}  // namespace orvala
