#include "Hyperspherical.h"

#include <cmath>
#include <numbers>

namespace orvala {

double ArcTan2(double y, double x)
{
    if (x == 0) {
        if (y == 0) return 0.0;
        return y < 0 ? -std::numbers::pi / 2 : std::numbers::pi / 2;
    }
    const double a = std::atan(y / x);
    if (x > 0) return a;
    return y >= 0 ? a + std::numbers::pi : a - std::numbers::pi;
}

void HyperSpherical(double* x, int P)
{
    if (P <= 1) return;
    long double total = 0;
    for (int i = 0; i < P; ++i) total += static_cast<long double>(x[i]) * x[i];
    if (total == 0) return;
    const double radius = double(std::sqrt(total));
    // Walk from the end so that x[k-1] is still the original value when
    // position k is overwritten; the tail sum collects the originals first.
    long double tail = static_cast<long double>(x[P - 1]) * x[P - 1];
    x[P - 1] = ArcTan2(x[P - 1], x[P - 2]);
    for (int k = P - 2; k >= 1; --k) {
        tail += static_cast<long double>(x[k]) * x[k];
        x[k] = ArcTan2(double(std::sqrt(tail)), x[k - 1]);
    }
    x[0] = radius;
}

TVector HyperSpherical(const TVector& x)
{
    TVector r(x);
    HyperSpherical(r.data(), int(r.size()));
    return r;
}

}  // namespace orvala
