#include "geometry/PointInPolygon.h"

#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ORVALA_PIP_AVX2 1
#endif

namespace orvala {

namespace {

// The rule as written: for the edge from vertex i back to vertex j, the
// crossing abscissa in extended precision, counted when right of px.
template <class Vx, class Vy>
bool extendedInside(double px, double py, Vx vx, Vy vy, int count)
{
    bool inside = false;
    const long double lpx = px, lpy = py;
    for (int i = 0, j = count - 1; i < count; j = i++) {
        const double yi = vy(i), yj = vy(j);
        if (((yi <= py) && (py < yj)) || ((yj <= py) && (py < yi))) {
            const long double xi = vx(i), lyi = yi;
            const long double xc = xi + (static_cast<long double>(vx(j)) - xi) * (lpy - lyi) / (yj - lyi);
            if (xc > lpx)
                inside = !inside;
        }
    }
    return inside;
}

// Branch-free pass in double. For a straddling edge, the crossing lies right
// of px exactly when s = (xi - px)(yj - yi) + (xj - xi)(py - yi) has the sign
// of (yj - yi), which needs no division. Whenever s is within the rounding
// bound of zero, the double answer might differ from the extended one, so the
// caller redoes the polygon the slow way; that happens only for points on or
// within a few ulps of an edge, and the answer is always the extended one.
struct EdgeVerdict {
    uint64_t flips = 0;
    uint64_t doubtful = 0;
};

inline void edge(EdgeVerdict& v, double px, double py, double apx, double xi, double yi, double xj, double yj)
{
    constexpr double k = 32 * std::numeric_limits<double>::epsilon();
    const double dy = yj - yi;
    const double s = (xi - px) * dy + (xj - xi) * (py - yi);
    const double sd = dy > 0 ? s : -s;
    const double bound = k * std::fabs(dy) * (std::fabs(xi) + std::fabs(xj) + apx);
    const uint64_t straddles = uint64_t(yi <= py) ^ uint64_t(yj <= py);
    const uint64_t right = uint64_t(sd > bound);
    const uint64_t left = uint64_t(sd < -bound);
    v.flips ^= straddles & right;
    v.doubtful |= (straddles & (right | left)) ^ straddles;
}

template <class Vx, class Vy>
bool quickInside(double px, double py, Vx vx, Vy vy, int count, bool& unsure)
{
    const double apx = std::fabs(px);
    EdgeVerdict v;
    // Edges i -> i - 1 without a loop-carried vertex, so the loop vectorises.
    for (int i = 1; i < count; ++i)
        edge(v, px, py, apx, vx(i), vy(i), vx(i - 1), vy(i - 1));
    edge(v, px, py, apx, vx(0), vy(0), vx(count - 1), vy(count - 1));
    unsure = v.doubtful != 0;
    return v.flips != 0;
}

template <class Vx, class Vy>
bool inside(double px, double py, Vx vx, Vy vy, int count)
{
    if (count <= 0)
        return false;
    bool unsure = false;
    const bool quick = quickInside(px, py, vx, vy, count, unsure);
    return unsure ? extendedInside(px, py, vx, vy, count) : quick;
}

#if defined(ORVALA_PIP_AVX2)
// Four edges per step where the processor has AVX2; the same verdicts as
// edge(). Only AVX2 is enabled here, not FMA, so products round as in the
// scalar code.
__attribute__((target("avx2"))) bool avx2Inside(double x, double y, const double* cx, const double* cy, int count)
{
    const __m256d signMask = _mm256_set1_pd(-0.0);
    const __m256d k = _mm256_set1_pd(32 * std::numeric_limits<double>::epsilon());
    const __m256d px = _mm256_set1_pd(x), py = _mm256_set1_pd(y);
    const __m256d apx = _mm256_andnot_pd(signMask, px);
    __m256d flips = _mm256_setzero_pd(), doubtful = _mm256_setzero_pd();
    int i = 1;
    for (; i + 3 < count; i += 4) {
        const __m256d xi = _mm256_loadu_pd(cx + i), yi = _mm256_loadu_pd(cy + i);
        const __m256d xj = _mm256_loadu_pd(cx + i - 1), yj = _mm256_loadu_pd(cy + i - 1);
        const __m256d dy = _mm256_sub_pd(yj, yi);
        const __m256d s = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(xi, px), dy),
                                        _mm256_mul_pd(_mm256_sub_pd(xj, xi), _mm256_sub_pd(py, yi)));
        const __m256d sd = _mm256_xor_pd(s, _mm256_and_pd(dy, signMask));
        const __m256d bound = _mm256_mul_pd(
            _mm256_mul_pd(k, _mm256_andnot_pd(signMask, dy)),
            _mm256_add_pd(_mm256_add_pd(_mm256_andnot_pd(signMask, xi), _mm256_andnot_pd(signMask, xj)), apx));
        const __m256d straddles = _mm256_xor_pd(_mm256_cmp_pd(yi, py, _CMP_LE_OQ), _mm256_cmp_pd(yj, py, _CMP_LE_OQ));
        const __m256d right = _mm256_cmp_pd(sd, bound, _CMP_GT_OQ);
        const __m256d left = _mm256_cmp_pd(sd, _mm256_xor_pd(bound, signMask), _CMP_LT_OQ);
        flips = _mm256_xor_pd(flips, _mm256_and_pd(straddles, right));
        doubtful = _mm256_or_pd(doubtful, _mm256_andnot_pd(_mm256_or_pd(right, left), straddles));
    }
    EdgeVerdict v;
    v.flips = uint64_t(__builtin_popcount(unsigned(_mm256_movemask_pd(flips))) & 1);
    v.doubtful = uint64_t(_mm256_movemask_pd(doubtful) != 0);
    const double apxs = std::fabs(x);
    for (; i < count; ++i)
        edge(v, x, y, apxs, cx[i], cy[i], cx[i - 1], cy[i - 1]);
    edge(v, x, y, apxs, cx[0], cy[0], cx[count - 1], cy[count - 1]);
    if (v.doubtful)
        return extendedInside(
            x, y, [cx](int n) { return cx[n]; }, [cy](int n) { return cy[n]; }, count);
    return v.flips != 0;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

}  // namespace

bool PointInPolygon(double x, double y, const double* cx, const double* cy, int count)
{
#if defined(ORVALA_PIP_AVX2)
    if (count >= 5 && kHasAvx2)
        return avx2Inside(x, y, cx, cy, count);
#endif
    auto vx = [cx](int i) { return cx[i]; };
    auto vy = [cy](int i) { return cy[i]; };
#if defined(__SSE2__)
    if (count >= 3) {
        // The same edge verdicts as edge(), two edges per step.
        const __m128d signMask = _mm_set1_pd(-0.0);
        const __m128d k = _mm_set1_pd(32 * std::numeric_limits<double>::epsilon());
        const __m128d px = _mm_set1_pd(x), py = _mm_set1_pd(y);
        const __m128d apx = _mm_andnot_pd(signMask, px);
        __m128d flips = _mm_setzero_pd(), doubtful = _mm_setzero_pd();
        int i = 1;
        for (; i + 1 < count; i += 2) {
            const __m128d xi = _mm_loadu_pd(cx + i), yi = _mm_loadu_pd(cy + i);
            const __m128d xj = _mm_loadu_pd(cx + i - 1), yj = _mm_loadu_pd(cy + i - 1);
            const __m128d dy = _mm_sub_pd(yj, yi);
            const __m128d s = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(xi, px), dy),
                                         _mm_mul_pd(_mm_sub_pd(xj, xi), _mm_sub_pd(py, yi)));
            const __m128d sd = _mm_xor_pd(s, _mm_and_pd(dy, signMask));
            const __m128d bound = _mm_mul_pd(_mm_mul_pd(k, _mm_andnot_pd(signMask, dy)),
                                             _mm_add_pd(_mm_add_pd(_mm_andnot_pd(signMask, xi),
                                                                   _mm_andnot_pd(signMask, xj)),
                                                        apx));
            const __m128d straddles = _mm_xor_pd(_mm_cmple_pd(yi, py), _mm_cmple_pd(yj, py));
            const __m128d right = _mm_cmpgt_pd(sd, bound);
            const __m128d left = _mm_cmplt_pd(sd, _mm_xor_pd(bound, signMask));
            flips = _mm_xor_pd(flips, _mm_and_pd(straddles, right));
            doubtful = _mm_or_pd(doubtful, _mm_andnot_pd(_mm_or_pd(right, left), straddles));
        }
        EdgeVerdict v;
        const int flipBits = _mm_movemask_pd(flips);
        v.flips = uint64_t((flipBits & 1) ^ (flipBits >> 1));
        v.doubtful = uint64_t(_mm_movemask_pd(doubtful) != 0);
        const double apxs = std::fabs(x);
        for (; i < count; ++i)
            edge(v, x, y, apxs, cx[i], cy[i], cx[i - 1], cy[i - 1]);
        edge(v, x, y, apxs, cx[0], cy[0], cx[count - 1], cy[count - 1]);
        return v.doubtful ? extendedInside(x, y, vx, vy, count) : v.flips != 0;
    }
#endif
    return inside(x, y, vx, vy, count);
}

bool PointInPolygon(double x, double y, const DPoint* v, int count)
{
    return inside(
        x, y, [v](int i) { return v[i].x; }, [v](int i) { return v[i].y; }, count);
}

}  // namespace orvala
