#pragma once
// The closed-form scales of the Gating-ML 2.0 transforms: flin, flog and
// fasinh, as the standard defines them. Each maps values on the FCS scale to
// a coordinate that is 1 at the top of scale T. The Gating-ML evaluator and
// the display transforms both compute through these, so a gate written to a
// document selects what the workbench selected.
namespace orvala {

// flin: (x + A) / (T + A).
class Flin {
public:
    // Throws TransformError with the reason when T <= 0, A < 0 or either is
    // not finite.
    static Flin Make(double T, double A);
    double T() const { return T_; }
    double A() const { return A_; }
    double Forward(double x) const { return (x + A_) / scale_; }
    double Inverse(double y) const { return y * scale_ - A_; }

private:
    double T_ = 1, A_ = 0, scale_ = 1;
};

// flog: log10(x / T) / M + 1; NaN for x <= 0, where it is undefined.
class Flog {
public:
    // Throws TransformError when T <= 0, M <= 0 or either is not finite.
    static Flog Make(double T, double M);
    double T() const { return T_; }
    double M() const { return M_; }
    double Forward(double x) const;
    double Inverse(double y) const;

private:
    double T_ = 1, M_ = 1;
};

// fasinh: (asinh(x sinh(M ln 10) / T) + A ln 10) / ((M + A) ln 10). Odd about
// the image of 0, A / (M + A).
class Fasinh {
public:
    // Throws TransformError when T <= 0, M <= 0, A outside [0, M], any of them
    // not finite, or sinh(M ln 10) overflows.
    static Fasinh Make(double T, double M, double A);
    double T() const { return T_; }
    double M() const { return M_; }
    double A() const { return A_; }
    // sinh(M ln 10) / T, the factor of x inside the asinh.
    double Scale() const { return scale_; }
    double Forward(double x) const;
    double Inverse(double y) const;

private:
    double T_ = 1, M_ = 1, A_ = 0;
    double scale_ = 1, offset_ = 0;  // sinh(M ln10) / T and A ln10
};

// ln 10, correctly rounded: every scale here uses this one value, which the
// exact relations between display transforms and Gating-ML rely on.
inline constexpr double kLn10 = 0x1.26bb1bbb55516p+1;

}  // namespace orvala
