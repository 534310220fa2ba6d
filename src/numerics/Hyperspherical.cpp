#include "Hyperspherical.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "VectorMath.h"

namespace orvala {

namespace {

using vmath::V8;

ORVALA_VMATH_INLINE double root(double v) { return std::sqrt(v); }
ORVALA_VMATH_INLINE V8 root(V8 v)
{
    V8 r;
    for (int l = 0; l < 8; ++l) r[l] = std::sqrt(v[l]);
    return r;
}

template <bool Huge, class D>
ORVALA_VMATH_INLINE D arcTan2(D y, D x)
{
    using vmath::broadcast;
    using vmath::select;
    constexpr double pi = std::numbers::pi;
    // atan(y / x): the quotient's magnitude from the magnitudes, its sign from the signs.
    const auto sy = vmath::bits(y) & 0x8000000000000000u, sx = vmath::bits(x) & 0x8000000000000000u;
    const D m = vmath::ArcTanOfRatio<D, Huge>(vmath::fromBits(vmath::bits(y) ^ sy), vmath::fromBits(vmath::bits(x) ^ sx));
    const D a = vmath::fromBits(vmath::bits(m) ^ (sy ^ sx));
    const D onAxis = select(y == 0.0, broadcast<D>(0.0), select(y < 0.0, broadcast<D>(-pi / 2), broadcast<D>(pi / 2)));
    const D left = select(y >= 0.0, a + pi, a - pi);
    return select(x > 0.0, a, select(x == 0.0, onAxis, left));
}

// Vectors cross into and out of these helpers by reference only: clang
// refuses an 8-lane vector passed by value between a vector clone and a
// function compiled without that vector unit, even when it is inlined.
template <class D>
ORVALA_VMATH_INLINE void sumOfSquares(const D* x, int P, D& total)
{
    total = vmath::broadcast<D>(0.0);
    for (int i = 0; i < P; ++i) total += x[i] * x[i];
}

// Angles into x[1..P-1] and the radius into x[0], in place: walking from the
// end, x[k-1] is still the original value when position k is overwritten,
// and the tail sum collects the originals first.
template <bool Huge = true, class D>
ORVALA_VMATH_INLINE void convertInPlace(D* x, int P, const D& total)
{
    D tail = x[P - 1] * x[P - 1];
    x[P - 1] = arcTan2<Huge>(x[P - 1], x[P - 2]);
    for (int k = P - 2; k >= 1; --k) {
        tail += x[k] * x[k];
        x[k] = arcTan2<Huge>(root(tail), x[k - 1]);
    }
    x[0] = root(total);
}

}  // namespace

double ArcTan2(double y, double x) { return arcTan2<true>(y, x); }

void HyperSpherical(double* x, int P)
{
    if (P <= 1) return;
    double total;
    sumOfSquares(x, P, total);
    if (total == 0) return;
    convertInPlace(x, P, total);
}

TVector HyperSpherical(const TVector& x)
{
    TVector r(x);
    HyperSpherical(r.data(), int(r.size()));
    return r;
}

// Eight events at a time, one per lane, in the same operations as the scalar
// conversion, so every width gives its bits.
__attribute__((target_clones("avx512f", "avx2", "default"))) void HyperSphericalRows(const double* src, double* dst,
                                                                                       size_t count, int P)
{
    if (P <= 1) {
        if (dst != src) std::memmove(dst, src, count * size_t(std::max(P, 0)) * sizeof(double));
        return;
    }
    const size_t p = size_t(P), whole = p / 8 * 8;
    // The lane block and the eight finished rows, by hand on a 64-byte
    // boundary: a vector of V8 is not so aligned in every build.
    std::vector<double> storage(16 * p + 8);
    V8* lanes = reinterpret_cast<V8*>((reinterpret_cast<uintptr_t>(storage.data()) + 63) & ~uintptr_t(63));
    double* rows = reinterpret_cast<double*>(lanes + p);
    size_t e = 0;
    for (; e + 8 <= count; e += 8) {
        const double* in = src + e * p;
        for (size_t g = 0; g < whole; g += 8) {
            V8* block = lanes + g;
            for (size_t l = 0; l < 8; ++l) std::memcpy(&block[l], in + l * p + g, sizeof(V8));
            vmath::Transpose8(block);
        }
        for (size_t k = whole; k < p; ++k)
            for (size_t l = 0; l < 8; ++l) lanes[k][l] = in[l * p + k];

        V8 total;
        sumOfSquares(lanes, P, total);
        // Below 2^1000 (so not NaN) the sum bounds every square, and every
        // term of the arctangents stays below 2^1000.
        const auto moderate = total < 0x1p1000;
        bool allModerate = true;
        for (int l = 0; l < 8; ++l) allModerate = allModerate && moderate[l] != 0;
        if (allModerate)
            convertInPlace<false>(lanes, P, total);
        else
            convertInPlace<true>(lanes, P, total);

        for (size_t g = 0; g < whole; g += 8) {
            V8* block = lanes + g;
            vmath::Transpose8(block);
            for (size_t l = 0; l < 8; ++l) std::memcpy(rows + l * p + g, &block[l], sizeof(V8));
        }
        for (size_t k = whole; k < p; ++k)
            for (size_t l = 0; l < 8; ++l) rows[l * p + k] = lanes[k][l];
        // Radius 0: the event stays as it was (its source row is still intact).
        for (size_t l = 0; l < 8; ++l)
            if (total[l] == 0) std::memcpy(rows + l * p, in + l * p, p * sizeof(double));
        std::memcpy(dst + e * p, rows, 8 * p * sizeof(double));
    }
    for (; e < count; ++e) {
        if (dst != src) std::memmove(dst + e * p, src + e * p, p * sizeof(double));
        HyperSpherical(dst + e * p, P);
    }
}

}  // namespace orvala
