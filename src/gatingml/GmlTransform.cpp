#include "GmlTransform.h"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "GmlError.h"
#include "transforms/TransformError.h"

namespace orvala {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Builds a scale, naming the transformation in the message when its
// parameters are out of range.
template <class Make>
auto checked(const std::string& id, Make make)
{
    try {
        return make();
    } catch (const TransformError& e) {
        throw GmlError("Gating-ML transformation \"" + id + "\": " + e.what());
    }
}

}  // namespace

GmlTransform GmlTransform::Flin(const std::string& id, double T, double A)
{
    GmlTransform t;
    t.flin_ = checked(id, [&] { return orvala::Flin::Make(T, A); });
    t.id_ = id;
    t.kind_ = GmlTransformKind::Flin;
    t.T_ = T;
    t.A_ = A;
    return t;
}

GmlTransform GmlTransform::Flog(const std::string& id, double T, double M)
{
    GmlTransform t;
    t.flog_ = checked(id, [&] { return orvala::Flog::Make(T, M); });
    t.id_ = id;
    t.kind_ = GmlTransformKind::Flog;
    t.T_ = T;
    t.M_ = M;
    return t;
}

GmlTransform GmlTransform::Fasinh(const std::string& id, double T, double M, double A)
{
    GmlTransform t;
    t.fasinh_ = checked(id, [&] { return orvala::Fasinh::Make(T, M, A); });
    t.id_ = id;
    t.kind_ = GmlTransformKind::Fasinh;
    t.T_ = T;
    t.M_ = M;
    t.A_ = A;
    return t;
}

GmlTransform GmlTransform::Logicle(const std::string& id, double T, double W, double M, double A)
{
    GmlTransform t;
    t.biex_ = checked(id, [&] { return std::make_shared<const Biexponential>(Biexponential::Logicle(T, W, M, A)); });
    t.id_ = id;
    t.kind_ = GmlTransformKind::Logicle;
    t.T_ = T;
    t.W_ = W;
    t.M_ = M;
    t.A_ = A;
    return t;
}

GmlTransform GmlTransform::Hyperlog(const std::string& id, double T, double W, double M, double A)
{
    GmlTransform t;
    t.biex_ = checked(id, [&] { return std::make_shared<const Biexponential>(Biexponential::Hyperlog(T, W, M, A)); });
    t.id_ = id;
    t.kind_ = GmlTransformKind::Hyperlog;
    t.T_ = T;
    t.W_ = W;
    t.M_ = M;
    t.A_ = A;
    return t;
}

GmlTransform GmlTransform::Fratio(const std::string& id, double A, double B, double C, std::string dim1,
                                  std::string dim2)
{
    for (double v : {A, B, C})
        if (!std::isfinite(v)) throw GmlError("Gating-ML transformation \"" + id + "\": A, B and C must be finite numbers");
    GmlTransform t;
    t.id_ = id;
    t.kind_ = GmlTransformKind::Fratio;
    t.A_ = A;
    t.B_ = B;
    t.C_ = C;
    t.ratioDims_ = {std::move(dim1), std::move(dim2)};
    return t;
}

void GmlTransform::ApplyApprox(const double* x, double* y, size_t n) const
{
    if (biex_) {
        biex_->ForwardApprox(x, y, n);
        return;
    }
    for (size_t i = 0; i < n; ++i) y[i] = Apply(x[i]);
}

double GmlTransform::Apply(double x) const
{
    switch (kind_) {
    case GmlTransformKind::Flin:
        return flin_.Forward(x);
    case GmlTransformKind::Flog:
        return flog_.Forward(x);
    case GmlTransformKind::Fasinh:
        return fasinh_.Forward(x);
    case GmlTransformKind::Logicle:
    case GmlTransformKind::Hyperlog:
        return biex_->Forward(x);
    case GmlTransformKind::Fratio:
        break;
    }
    return kNaN;
}

double GmlTransform::Ratio(double x1, double x2) const
{
    const double divisor = x2 - C_;
    if (divisor == 0) return kNaN;
    return A_ * (x1 - B_) / divisor;
}

double GmlTransform::Inverse(double y) const
{
    switch (kind_) {
    case GmlTransformKind::Flin:
        return flin_.Inverse(y);
    case GmlTransformKind::Flog:
        return flog_.Inverse(y);
    case GmlTransformKind::Fasinh:
        return fasinh_.Inverse(y);
    case GmlTransformKind::Logicle:
    case GmlTransformKind::Hyperlog:
        return biex_->Inverse(y);
    case GmlTransformKind::Fratio:
        break;
    }
    return kNaN;
}

}  // namespace orvala
