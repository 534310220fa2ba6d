#include "transforms/FastScales.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "numerics/VectorMath.h"
#include "transforms/ClosedFormScales.h"

namespace orvala {

namespace {

using vmath::broadcast;
using vmath::select;
using vmath::V8;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEpsilon = 0x1p-52;

ORVALA_VMATH_INLINE double root(double v) { return std::sqrt(v); }
ORVALA_VMATH_INLINE V8 root(V8 v)
{
    V8 r;
    for (int l = 0; l < 8; ++l) r[l] = std::sqrt(v[l]);
    return r;
}

// The values go in and out by reference: an 8-lane vector passed by value
// between a vector clone and code compiled without that unit is refused.
template <class D>
ORVALA_VMATH_INLINE void logOf(const D& x, double T, double M, D& out)
{
    // Flog's operations with the vector logarithm, which needs a normal
    // positive finite argument; the others are settled by selection.
    const D q = x / T;
    const D y = vmath::Log10Positive(q) / M + 1.0;
    const D clamped = select(y > 0.0, y, broadcast<D>(0.0));
    const D other = select(q == kInf, q, select(q != q, q, broadcast<D>(0.0)));
    out = select((q >= std::numeric_limits<double>::min()) & (q < kInf), clamped, other);
}

template <class D>
ORVALA_VMATH_INLINE void asinhOf(const D& x, double scale, D& out)
{
    const double ln2 = 0x1.62e42fefa39efp-1;
    const D u = x * scale;
    const auto sign = vmath::bits(u) & 0x8000000000000000u;
    const D a = vmath::fromBits(vmath::bits(u) ^ sign);
    // ln(a + sqrt(a^2 + 1)); from 2^28 on the root is a to the last bit and the
    // square may overflow, so ln(2a) = ln a + ln 2; below 2^-26 asinh a is a.
    const auto big = a >= 0x1p28;
    const D t = select(big, a, a + root(a * a + 1.0));
    const D l = vmath::Log10Positive(t) * kLn10 + select(big, broadcast<D>(ln2), broadcast<D>(0.0));
    // NaN fails every comparison and stays itself, as do infinities.
    const D r = select((a >= 0x1p-26) & (a < kInf), l, a);
    out = vmath::fromBits(vmath::bits(r) | sign);
}

}  // namespace

__attribute__((target_clones("avx512f", "avx2", "default"))) void LogFastValues(const double* x, double* y, size_t n,
                                                                                  double T, double M)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        V8 v, r;
        std::memcpy(&v, x + i, sizeof v);
        logOf(v, T, M, r);
        std::memcpy(y + i, &r, sizeof r);
    }
    for (; i < n; ++i) logOf(x[i], T, M, y[i]);
}

double LogFastError(double M)
{
    // std::log10 within 2 ulps, the vector one within 1, of logarithms below
    // 310 in magnitude; the division by M and the sum add their roundings.
    return kEpsilon * (8 * 310 / M + 2);
}

__attribute__((target_clones("avx512f", "avx2", "default"))) void AsinhFastValues(const double* x, double* y,
                                                                                    size_t n, double scale)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        V8 v, r;
        std::memcpy(&v, x + i, sizeof v);
        asinhOf(v, scale, r);
        std::memcpy(y + i, &r, sizeof r);
    }
    for (; i < n; ++i) asinhOf(x[i], scale, y[i]);
}

double AsinhFastError()
{
    // A few ulps of a result below 711 in magnitude (asinh of the largest
    // double), and the rounding of a + sqrt(a^2 + 1) near 1.
    return kEpsilon * (8 * 711 + 2);
}

}  // namespace orvala
