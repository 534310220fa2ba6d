#include "plot/PointInPolygon.h"

#include <cmath>
#include <limits>

namespace orvala {

namespace {

// True when the edge (xi, yi)-(xj, yj), already known to straddle py
// half-open, crosses the horizontal through py right of px.
//
// The crossing is computed in double first; only when it lies so close to px
// that double and extended rounding could disagree is it recomputed in long
// double. The bound covers the few roundings of the double expression (the
// parameter t is in [0, 1]), so the answer is always the extended one while
// the common case runs at double speed.
inline bool crossesRight(double px, double py, double xi, double yi, double xj, double yj)
{
    const double t = (py - yi) / (yj - yi);
    const double xc = xi + (xj - xi) * t;
    const double bound = 16.0 * std::numeric_limits<double>::epsilon() * (std::fabs(xi) + std::fabs(xj));
    const double diff = xc - px;
    if (diff > bound)
        return true;
    if (diff < -bound)
        return false;
    const long double lxi = xi;
    const long double lyi = yi;
    const long double xce = lxi + (static_cast<long double>(xj) - lxi) * (static_cast<long double>(py) - lyi) /
                                      (static_cast<long double>(yj) - lyi);
    return xce > static_cast<long double>(px);
}

}  // namespace

bool PointInPolygon(double x, double y, const double* cx, const double* cy, int count)
{
    if (count <= 0)
        return false;
    bool inside = false;
    double xj = cx[count - 1];
    double yj = cy[count - 1];
    for (int i = 0; i < count; ++i) {
        const double xi = cx[i];
        const double yi = cy[i];
        if (((yi <= y) && (y < yj)) || ((yj <= y) && (y < yi))) {
            if (crossesRight(x, y, xi, yi, xj, yj))
                inside = !inside;
        }
        xj = xi;
        yj = yi;
    }
    return inside;
}

bool PointInPolygon(double x, double y, const DPoint* v, int count)
{
    if (count <= 0)
        return false;
    bool inside = false;
    DPoint pj = v[count - 1];
    for (int i = 0; i < count; ++i) {
        const DPoint pi = v[i];
        if (((pi.y <= y) && (y < pj.y)) || ((pj.y <= y) && (y < pi.y))) {
            if (crossesRight(x, y, pi.x, pi.y, pj.x, pj.y))
                inside = !inside;
        }
        pj = pi;
    }
    return inside;
}

}  // namespace orvala
