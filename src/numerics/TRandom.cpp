#include "TRandom.h"

#include <cmath>
#include <numbers>

namespace orvala {

int32_t TRandom::NextInt32()
{
    const uint32_t tx = 18000u * x_ + carryX_;
    x_ = tx & 0xFFFFu;
    carryX_ = tx >> 16;
    const uint32_t ty = 30903u * y_ + carryY_;
    y_ = ty & 0xFFFFu;
    carryY_ = ty >> 16;
    return static_cast<int32_t>((x_ << 16) | y_);
}

double TRandom::Uniform() { return (double(NextInt32()) + 2147483648.0) / 4294967296.0; }

double TRandom::Normal()
{
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    double u1 = 0;
    do u1 = Uniform();
    while (u1 <= 0);
    const double u2 = Uniform();
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double theta = 2.0 * std::numbers::pi * u2;
    spare_ = r * std::sin(theta);
    haveSpare_ = true;
    return r * std::cos(theta);
}

TRandom& programRandom()
{
    static TRandom generator;
    return generator;
}

double Gaussian(double sigma, double mu) { return programRandom().Gaussian(sigma, mu); }

}  // namespace orvala
