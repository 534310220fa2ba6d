#include "transforms/Biexponential.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "transforms/ClosedFormScales.h"
#include "transforms/TransformError.h"

namespace orvala {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool allFinite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Checks the parameter ranges shared by logicle and hyperlog.
void checkParameters(double T, double W, double M, double A, bool widthMayBeZero)
{
    if (!allFinite({T, W, M, A})) throw TransformError("T, W, M and A must be finite numbers");
    if (T <= 0) throw TransformError("T must be greater than 0");
    if (M <= 0) throw TransformError("M must be greater than 0");
    if (widthMayBeZero ? W < 0 : W <= 0)
        throw TransformError(widthMayBeZero ? "W must not be negative" : "W must be greater than 0");
    if (2 * W > M) throw TransformError("W must not be greater than M/2");
    if (A < -W || A > M - 2 * W) throw TransformError("A must lie between -W and M - 2W");
}

// The d > 0 of the logicle scale with 2 (ln d - ln b) + w (b + d) = 0. The left
// side grows with d, is positive at d = b and falls without bound towards 0,
// so bisection on (0, b] finds it to the last bit.
double logicleD(double b, double w)
{
    if (w == 0) return b;
    double lo = 0, hi = b;
    for (int i = 0; i < 2000; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        const double g = 2 * (std::log(mid) - std::log(b)) + w * (b + mid);
        (g < 0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

Biexponential Biexponential::Logicle(double T, double W, double M, double A) { return make(true, T, W, M, A); }

Biexponential Biexponential::Hyperlog(double T, double W, double M, double A) { return make(false, T, W, M, A); }

Biexponential Biexponential::make(bool logicle, double T, double W, double M, double A)
{
    checkParameters(T, W, M, A, logicle);
    Biexponential t;
    t.logicle_ = logicle;
    t.T_ = T;
    t.W_ = W;
    t.M_ = M;
    t.A_ = A;
    const double w = W / (M + A);
    const double x2 = A / (M + A);
    const double x1 = x2 + w;
    const double x0 = x2 + 2 * w;
    const double b = (M + A) * kLn10;
    if (logicle) {
        const double d = logicleD(b, w);
        const double ca = std::exp(x0 * (b + d));
        const double fa = std::exp(b * x1) - ca * std::exp(-d * x1);
        const double a = T / (std::exp(b) - fa - ca * std::exp(-d));
        t.a_ = a;
        t.b_ = b;
        t.c_ = ca * a;
        t.d_ = d;
        t.f_ = fa * a;  // so that B(x1) = 0
    } else {
        const double e0 = std::exp(b * x0);
        const double ca = e0 / w;
        const double fa = std::exp(b * x1) + ca * x1;
        const double a = T / (std::exp(b) + ca - fa);
        t.a_ = a;
        t.b_ = b;
        t.c_ = ca * a;
        t.f_ = fa * a;
    }
    t.x1_ = x1;
    if (!allFinite({t.a_, t.c_, t.f_}) || t.a_ <= 0) throw TransformError("the parameters give no usable scale");
    t.buildTable();
    t.buildApprox();
    return t;
}

double Biexponential::upperBranch(double y) const
{
    if (logicle_) return a_ * std::exp(b_ * y) - c_ * std::exp(-d_ * y) - f_;
    return a_ * std::exp(b_ * y) + c_ * y - f_;
}

double Biexponential::upperSlope(double y) const
{
    if (logicle_) return a_ * b_ * std::exp(b_ * y) + c_ * d_ * std::exp(-d_ * y);
    return a_ * b_ * std::exp(b_ * y) + c_;
}

double Biexponential::solveUpper(double x) const
{
    // Bracket the root from the exponential term alone: for y >= x1 >= 0 the
    // other terms lie between -(c + f) and -f for logicle, and make hyperlog
    // larger than a e^(b y) - f, so both bounds below hold.
    const double lower = std::log((x + f_) / a_) / b_;
    const double upper = logicle_ ? std::log((x + c_ + f_) / a_) / b_ : lower;
    double lo = std::max(x1_, logicle_ ? lower : x1_);
    double hi = std::max(x1_, upper);
    if (!logicle_) hi = std::max(x1_, std::min(upper, (x + f_) / c_));
    if (!(hi > lo)) return lo;
    // Newton from the upper end: the branch is convex there, so the steps come
    // down monotonically; bisection takes over should a step leave the bracket.
    double y = hi;
    for (int i = 0; i < 100; ++i) {
        const double fy = upperBranch(y) - x;
        if (fy == 0) return y;
        (fy < 0 ? lo : hi) = y;
        double next = y - fy / upperSlope(y);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (next == y || std::abs(next - y) <= 1e-16 * std::max(1.0, std::abs(y))) return next;
        y = next;
        if (!(hi > lo) || hi - lo <= 4e-16 * std::max(1.0, std::abs(hi))) break;
    }
    return y;
}

void Biexponential::buildTable()
{
    // The grid reaches a fifth of the scale above the top (T at y = 1); larger
    // values take the bracketed solve.
    constexpr int kSteps = 2048;
    tableStep_ = (1.2 - x1_) / kSteps;
    tableX_.resize(kSteps + 1);
    for (int k = 0; k <= kSteps; ++k) tableX_[size_t(k)] = upperBranch(x1_ + k * tableStep_);
    for (size_t k = 1; k < tableX_.size(); ++k)
        if (!(tableX_[k] > tableX_[k - 1]) || !std::isfinite(tableX_[k])) {
            tableX_.clear();  // not increasing in floating point: always solve
            return;
        }
}

namespace {

constexpr int kApproxBits = 5;  // 32 bins per octave
constexpr int kApproxShift = 52 - kApproxBits;
constexpr uint64_t kApproxFraction = (uint64_t(1) << kApproxShift) - 1;

uint64_t bitsOf(double x)
{
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double fromBits(uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

}  // namespace

[[gnu::always_inline]] inline double Biexponential::approxUpper(double ax, uint64_t bin) const
{
    const double* c = approx_.data() + 4 * bin;
    // 2^52 + fraction - 2^52, as the four-lane loop computes it (both exact).
    const double t = (fromBits((bitsOf(ax) & kApproxFraction) | 0x4330000000000000ull) - 4503599627370496.0) *
                     (1.0 / double(kApproxFraction + 1));
    const double t2 = t * t, t3 = t2 * t;
    return c[0] + (3 * t2 - 2 * t3) * c[1] + (t3 - 2 * t2 + t) * c[2] + (t3 - t2) * c[3];
}

void Biexponential::buildApprox()
{
    approx_.clear();
    approxBins_ = 0;
    approxError_ = 0;
    if (tableX_.empty()) return;
    // From 2^-30 T (the linear part of the scale, where hardly any value lies
    // below) to the top of the solve table; at most 96 octaves.
    const double low = std::ldexp(1.0, std::ilogb(T_) - 30);
    if (!(low >= std::numeric_limits<double>::min())) return;
    const uint64_t first = bitsOf(low) >> kApproxShift;
    const uint64_t last = bitsOf(tableX_.back()) >> kApproxShift;
    if (!(last > first)) return;
    const uint64_t bins = std::min<uint64_t>(last - first, uint64_t(96) << kApproxBits);
    std::vector<double> nodeY(bins + 1), nodeSlope(bins + 1);
    for (uint64_t k = 0; k <= bins; ++k) {
        const double x = fromBits((first + k) << kApproxShift);
        nodeY[k] = fastUpper(x);
        nodeSlope[k] = 1 / upperSlope(nodeY[k]);
    }
    approx_.resize(4 * bins);
    for (uint64_t k = 0; k < bins; ++k) {
        const double width = fromBits((first + k + 1) << kApproxShift) - fromBits((first + k) << kApproxShift);
        double* c = approx_.data() + 4 * k;
        c[0] = nodeY[k];
        c[1] = nodeY[k + 1] - nodeY[k];
        c[2] = nodeSlope[k] * width;
        c[3] = nodeSlope[k + 1] * width;
    }
    approxFirst_ = first;
    approxBins_ = bins;
    // The cubic's error peaks inside each bin and changes little from one bin
    // to the next, so samples inside every bin, with a wide factor, bound it.
    double worst = 0;
    for (uint64_t k = 0; k < bins; ++k)
        for (const uint64_t quarter : {1, 2, 3}) {
            const uint64_t bits = ((first + k) << kApproxShift) | (quarter << (kApproxShift - 2));
            const double err = std::abs(approxUpper(fromBits(bits), k) - fastUpper(fromBits(bits)));
            if (!(err <= worst)) worst = err;  // NaN stays, and disables the table below
        }
    if (!(worst < 1e-7)) {
        approx_.clear();
        approxBins_ = 0;
        return;
    }
    approxError_ = 8 * worst + 1e-14;
}

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// ForwardApprox's loop four values at a time, with the same operations in the same
// order lane by lane, so that it gives the scalar loop's results to the bit.
// Stops before the first group of four with a value outside the table and
// returns how many values it did.
__attribute__((target("avx2"))) size_t approxLanes(const double* table, uint64_t first, uint64_t bins, double mirror,
                                                  const double* x, double* y, size_t n)
{
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m256d sign = _mm256_castsi256_pd(_mm256_set1_epi64x(int64_t(0x8000000000000000ull)));
    const __m256i fraction = _mm256_set1_epi64x(int64_t(kApproxFraction));
    // A fraction below 2^52 with the exponent of 2^52 reads as 2^52 + fraction.
    const __m256i two52bits = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
    const __m256d unit = _mm256_set1_pd(1.0 / double(kApproxFraction + 1));
    const __m256d three = _mm256_set1_pd(3), two = _mm256_set1_pd(2), zero = _mm256_setzero_pd();
    const __m256d mirrors = _mm256_set1_pd(mirror);
    const __m256i firsts = _mm256_set1_epi64x(int64_t(first));
    // Unsigned bin < bins, as signed compares after flipping the top bit.
    const __m256i flip = _mm256_set1_epi64x(int64_t(0x8000000000000000ull));
    const __m256i limit = _mm256_set1_epi64x(int64_t(bins ^ 0x8000000000000000ull));
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d v = _mm256_loadu_pd(x + i);
        const __m256d a = _mm256_and_pd(v, magnitude);
        const __m256i bits = _mm256_castpd_si256(a);
        const __m256i bin = _mm256_sub_epi64(_mm256_srli_epi64(bits, kApproxShift), firsts);
        const __m256i inside = _mm256_cmpgt_epi64(limit, _mm256_xor_si256(bin, flip));
        if (_mm256_movemask_pd(_mm256_castsi256_pd(inside)) != 0xF) break;
        const __m256i at = _mm256_slli_epi64(bin, 2);
        const __m256d c0 = _mm256_i64gather_pd(table, at, 8);
        const __m256d c1 = _mm256_i64gather_pd(table + 1, at, 8);
        const __m256d c2 = _mm256_i64gather_pd(table + 2, at, 8);
        const __m256d c3 = _mm256_i64gather_pd(table + 3, at, 8);
        const __m256d f = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, fraction), two52bits)), two52);
        const __m256d t = _mm256_mul_pd(f, unit);
        const __m256d t2 = _mm256_mul_pd(t, t), t3 = _mm256_mul_pd(t2, t);
        const __m256d h1 = _mm256_sub_pd(_mm256_mul_pd(three, t2), _mm256_mul_pd(two, t3));
        const __m256d h2 = _mm256_add_pd(_mm256_sub_pd(t3, _mm256_mul_pd(two, t2)), t);
        const __m256d h3 = _mm256_sub_pd(t3, t2);
        __m256d u = _mm256_add_pd(c0, _mm256_mul_pd(h1, c1));
        u = _mm256_add_pd(u, _mm256_mul_pd(h2, c2));
        u = _mm256_add_pd(u, _mm256_mul_pd(h3, c3));
        const __m256d negative = _mm256_cmp_pd(v, zero, _CMP_LT_OQ);
        const __m256d signedU = _mm256_or_pd(_mm256_andnot_pd(sign, u), _mm256_and_pd(sign, v));
        _mm256_storeu_pd(y + i, _mm256_add_pd(_mm256_and_pd(negative, mirrors), signedU));
    }
    return i;
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

}  // namespace
#endif

void Biexponential::ForwardApprox(const double* x, double* y, size_t n) const
{
    if (approxBins_ == 0) {
        for (size_t i = 0; i < n; ++i) y[i] = Forward(x[i]);
        return;
    }
    const double mirror = 2 * x1_;
    const auto one = [&](size_t i) {
        const double v = x[i], a = std::abs(v);
        // Below the first bin the difference wraps to a huge bin number; NaN
        // and infinity lie above the last.
        const uint64_t bin = (bitsOf(a) >> kApproxShift) - approxFirst_;
        if (bin >= approxBins_) {
            y[i] = Forward(v);
            return;
        }
        // Without a branch, which negative values would mispredict: u for
        // v > 0 (-0 took Forward above), mirror - u below.
        y[i] = mirror * double(v < 0) + std::copysign(approxUpper(a, bin), v);
    };
    size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (haveAvx2())
        while (i < n) {
            i += approxLanes(approx_.data(), approxFirst_, approxBins_, mirror, x + i, y + i, n - i);
            // A group with a value outside the table, or the last few values.
            for (const size_t end = std::min(n, i + 4); i < end; ++i) one(i);
        }
#endif
    for (; i < n; ++i) one(i);
}

double Biexponential::fastUpper(double x) const
{
    if (tableX_.empty() || !(x < tableX_.back())) return solveUpper(x);
    // The first entry is B(x1) = 0 up to rounding, which may leave it just above 0.
    const size_t above = size_t(std::upper_bound(tableX_.begin(), tableX_.end(), x) - tableX_.begin());
    const size_t k = above == 0 ? 0 : above - 1;
    const double x0 = tableX_[k], x1 = tableX_[k + 1];
    double y = x1_ + (double(k) + (x - x0) / (x1 - x0)) * tableStep_;
    // Halley's method triples the correct digits per step: from the
    // interpolated start, a step smaller than 1e-7 leaves an error far below
    // the last bit, so the value after it is final.
    const bool logicle = logicle_;
    for (int i = 0; i < 8; ++i) {
        const double eb = a_ * std::exp(b_ * y);
        double f, d1, d2;
        if (logicle) {
            const double ed = c_ * std::exp(-d_ * y);
            f = eb - ed - f_ - x;
            d1 = b_ * eb + d_ * ed;
            d2 = b_ * b_ * eb - d_ * d_ * ed;
        } else {
            f = eb + c_ * y - f_ - x;
            d1 = b_ * eb + c_;
            d2 = b_ * b_ * eb;
        }
        const double step = 2 * f * d1 / (2 * d1 * d1 - f * d2);
        if (!std::isfinite(step)) break;
        y -= step;
        if (std::abs(step) < 1e-7) return y;
    }
    return solveUpper(x);
}

double Biexponential::Forward(double x) const
{
    if (std::isnan(x)) return kNaN;
    if (std::isinf(x)) return x;
    // Both scales are odd about x1: B(x1 - t) = -B(x1 + t).
    return x >= 0 ? fastUpper(x) : 2 * x1_ - fastUpper(-x);
}

double Biexponential::Inverse(double y) const { return y >= x1_ ? upperBranch(y) : -upperBranch(2 * x1_ - y); }

}  // namespace orvala
