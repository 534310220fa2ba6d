#include "transforms/ClosedFormScales.h"

#include <cmath>
#include <limits>

#include "transforms/TransformError.h"

namespace orvala {

namespace {

bool allFinite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

Flin Flin::Make(double T, double A)
{
    if (!allFinite({T, A})) throw TransformError("T and A must be finite numbers");
    if (T <= 0) throw TransformError("T must be greater than 0");
    if (A < 0) throw TransformError("A must not be negative");
    Flin f;
    f.T_ = T;
    f.A_ = A;
    f.scale_ = T + A;
    return f;
}

Flog Flog::Make(double T, double M)
{
    if (!allFinite({T, M})) throw TransformError("T and M must be finite numbers");
    if (T <= 0) throw TransformError("T must be greater than 0");
    if (M <= 0) throw TransformError("M must be greater than 0");
    Flog f;
    f.T_ = T;
    f.M_ = M;
    return f;
}

double Flog::Forward(double x) const
{
    return x > 0 ? std::log10(x / T_) / M_ + 1 : std::numeric_limits<double>::quiet_NaN();
}

double Flog::Inverse(double y) const { return T_ * std::pow(10.0, (y - 1) * M_); }

Fasinh Fasinh::Make(double T, double M, double A)
{
    if (!allFinite({T, M, A})) throw TransformError("T, M and A must be finite numbers");
    if (T <= 0) throw TransformError("T must be greater than 0");
    if (M <= 0) throw TransformError("M must be greater than 0");
    if (A < 0 || A > M) throw TransformError("A must lie between 0 and M");
    Fasinh f;
    f.T_ = T;
    f.M_ = M;
    f.A_ = A;
    f.scale_ = std::sinh(M * kLn10) / T;
    f.offset_ = A * kLn10;
    if (!std::isfinite(f.scale_)) throw TransformError("M is too large");
    return f;
}

double Fasinh::Forward(double x) const { return (std::asinh(x * scale_) + offset_) / ((M_ + A_) * kLn10); }

double Fasinh::Inverse(double y) const { return std::sinh(y * (M_ + A_) * kLn10 - offset_) / scale_; }

}  // namespace orvala
