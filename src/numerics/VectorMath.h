#pragma once
// Decimal logarithm and arctangent for loops over millions of values.
//
// The C library's log10 and atan cost 5-20 ns a call and cannot be
// vectorised. These are written once, as templates over a plain double and
// over a vector of 8 doubles, with IEEE additions, multiplications, divisions
// and bit operations only: no branches, no fused multiply-add (a library that
// includes this compiles with -ffp-contract=off), no tables in memory (the
// arctangent picks its few constants from one register). The vector form
// gives every lane exactly the bits of the scalar form, whatever width the
// machine runs it at, so a loop may mix the two and a pooled pass equals the
// serial one.
//
// Both are accurate to within one unit in the last place and usually equal
// the correctly rounded value; log10 is exact at powers of ten.
//
// Algorithms and coefficients are those of fdlibm:
//   Copyright (C) 1993 by Sun Microsystems, Inc. All rights reserved.
//   Developed at SunPro, a Sun Microsystems, Inc. business.
//   Permission to use, copy, modify, and distribute this software is freely
//   granted, provided that this notice is preserved.
#include <bit>
#include <cstdint>

#if defined(__clang__)
#pragma clang fp contract(off)
#endif
// The 8-lane type is passed in registers only inside inlined code.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace orvala::vmath {

// Everything here is inlined, so a caller compiled for a wider vector unit
// runs it at that width.
#define ORVALA_VMATH_INLINE [[gnu::always_inline]] inline

using V8 = double __attribute__((vector_size(64)));
using U8 = uint64_t __attribute__((vector_size(64)));

ORVALA_VMATH_INLINE uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }
ORVALA_VMATH_INLINE U8 bits(V8 x) { return reinterpret_cast<U8>(x); }
ORVALA_VMATH_INLINE double fromBits(uint64_t u) { return std::bit_cast<double>(u); }
ORVALA_VMATH_INLINE V8 fromBits(U8 u) { return reinterpret_cast<V8>(u); }

// a where the mask is set, else b. A scalar mask is a bool, a vector mask the
// all-ones / all-zeros lanes of a vector comparison.
ORVALA_VMATH_INLINE double select(bool m, double a, double b) { return m ? a : b; }
template <class M>
ORVALA_VMATH_INLINE V8 select(M m, V8 a, V8 b)
{
    const U8 mask = reinterpret_cast<U8>(m);
    return fromBits((mask & bits(a)) | (~mask & bits(b)));
}

template <class D>
ORVALA_VMATH_INLINE D broadcast(double v)
{
    return D{} + v;
}

// log10(x) for positive, normal, finite x (other x give meaningless values,
// never a trap).
template <class D>
ORVALA_VMATH_INLINE D Log10Positive(D x)
{
    using U = decltype(bits(x));
    const double Lg1 = fromBits(0x3FE5555555555593), Lg2 = fromBits(0x3FD999999997FA04),
                 Lg3 = fromBits(0x3FD2492494229359), Lg4 = fromBits(0x3FCC71C51D8E78AF),
                 Lg5 = fromBits(0x3FC7466496CB03DE), Lg6 = fromBits(0x3FC39A09D078C69F),
                 Lg7 = fromBits(0x3FC2F112DF3E5244);
    const double ivln10hi = fromBits(0x3FDBCB7B15200000), ivln10lo = fromBits(0x3DBB9438CA9AADD5);
    const double log10_2hi = fromBits(0x3FD34413509F6000), log10_2lo = fromBits(0x3D59FEF311F12B36);

    const U u = bits(x);
    const U hx = u >> 32;
    const U frac = hx & 0x000fffffu;
    // Mantissas from sqrt(2) up are halved, so m lies in [sqrt(2)/2, sqrt(2)).
    const U half = (frac + 0x95f64u) & 0x100000u;
    const D m = fromBits(((frac | (half ^ 0x3ff00000u)) << 32) | (u & 0xffffffffu));
    // The exponent k as a double, exactly: 2^52 + (biased exponent + carry) - (2^52 + 1023).
    const D k = fromBits((hx >> 20) + (half >> 20) + 0x4330000000000000u) - 4503599627371519.0;

    const D f = m - 1.0;
    const D hfsq = 0.5 * f * f;
    const D s = f / (2.0 + f);
    const D z = s * s;
    const D w = z * z;
    const D t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
    const D t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
    const D r = s * (hfsq + (t2 + t1));

    // log(m) = hi + lo with hi's low 32 bits clear, so hi * ivln10hi is exact.
    const D hi = fromBits(bits(f - hfsq) & 0xffffffff00000000u);
    const D lo = (f - hi) - hfsq + r;
    const D valHi = hi * ivln10hi;
    const D y2 = k * log10_2hi;
    D valLo = k * log10_2lo + (lo + hi) * ivln10lo + lo * ivln10hi;
    const D sum = y2 + valHi;
    valLo += (y2 - sum) + valHi;
    return valLo + sum;
}

// Lane i of t for index i, modulo 8.
ORVALA_VMATH_INLINE double lookup(const V8& t, uint64_t i) { return t[i & 7]; }
ORVALA_VMATH_INLINE V8 lookup(const V8& t, U8 i)
{
#if defined(__clang__)
    V8 r;
    for (int l = 0; l < 8; ++l) r[l] = t[i[l] & 7];
    return r;
#else
    return __builtin_shuffle(t, i);
#endif
}
// 1 where a comparison held, else 0.
ORVALA_VMATH_INLINE uint64_t one(bool m) { return m; }
template <class M>
ORVALA_VMATH_INLINE U8 one(M m)
{
    return -reinterpret_cast<U8>(m);
}

// atan(ay / ax) for ay, ax >= 0 (NaN gives NaN), with one division: the
// quotient is reduced towards 0, 1/2, 1, 3/2 or infinity through its terms,
// num / den = (ay - b ax) / (ax + b ay), or -ax / ay towards infinity.
// Callers that know both terms lie below 2^1000 may pass Huge = false: the
// scaling is then 1 anyway, and skipping it changes no bit.
template <class D, bool Huge = true>
ORVALA_VMATH_INLINE D ArcTanOfRatio(D ay, D ax)
{
    const double aT0 = fromBits(0x3FD555555555550D), aT1 = fromBits(0xBFC999999998EBC4),
                 aT2 = fromBits(0x3FC24924920083FF), aT3 = fromBits(0xBFBC71C6FE231671),
                 aT4 = fromBits(0x3FB745CDC54C206E), aT5 = fromBits(0xBFB3B0F2AF749A6D),
                 aT6 = fromBits(0x3FB10D66A0D03D51), aT7 = fromBits(0xBFADDE2D52DEFD9A),
                 aT8 = fromBits(0x3FA97B4B24760DEB), aT9 = fromBits(0xBFA2B4442C6A6C2F),
                 aT10 = fromBits(0x3F90AD3AE322DA11);
    const double all = fromBits(~uint64_t(0));
    // By reduction: none (below 7/16), towards 1/2, 1, 3/2, infinity.
    const V8 factor = {0, 0.5, 1, 1.5, 1};
    const V8 keepPlain = {all, all, all, all, 0};   // ay in num, ax in den
    const V8 keepScaled = {0, all, all, all, all};  // b ax in num, b ay in den
    const V8 baseHi = {0, fromBits(0x3FDDAC670561BB4F), fromBits(0x3FE921FB54442D18), fromBits(0x3FEF730BD281F69B),
                       fromBits(0x3FF921FB54442D18)};
    const V8 baseLo = {0, fromBits(0x3C7A2B7F222F65E2), fromBits(0x3C81A62633145C07), fromBits(0x3C7007887AF0CBBD),
                       fromBits(0x3C91A62633145C07)};

    // Huge terms are scaled by a power of two first, so the sums below cannot overflow.
    if constexpr (Huge) {
        const D scale =
            select(ay > 0x1p1000, broadcast<D>(0x1p-8), select(ax > 0x1p1000, broadcast<D>(0x1p-8), broadcast<D>(1.0)));
        ay = ay * scale;
        ax = ax * scale;
    }
    const auto i = one(ay >= 0.4375 * ax) + one(ay >= 0.6875 * ax) + one(ay >= 1.1875 * ax) + one(ay >= 2.4375 * ax);
    const D b = lookup(factor, i);
    const auto plain = bits(lookup(keepPlain, i)), scaled = bits(lookup(keepScaled, i));
    // Masks, not products with 0, so an infinite term gives 0 rather than NaN.
    const D num = fromBits(bits(ay) & plain) - fromBits(bits(b * ax) & scaled);
    const D den = fromBits(bits(ax) & plain) + fromBits(bits(b * ay) & scaled);
    const D t = num / den;

    const D z = t * t;
    const D w = z * z;
    const D s1 = z * (aT0 + w * (aT2 + w * (aT4 + w * (aT6 + w * (aT8 + w * aT10)))));
    const D s2 = w * (aT1 + w * (aT3 + w * (aT5 + w * (aT7 + w * aT9))));
    const D small = t - t * (s1 + s2);
    const D reduced = lookup(baseHi, i) - ((t * (s1 + s2) - lookup(baseLo, i)) - t);
    return fromBits((bits(reduced) & scaled) | (bits(small) & ~scaled));
}

// atan(x) for every x, NaN included (odd: atan(-0) is -0).
template <class D>
ORVALA_VMATH_INLINE D ArcTan(D x)
{
    const auto sign = bits(x) & 0x8000000000000000u;
    return fromBits(bits(ArcTanOfRatio(fromBits(bits(x) ^ sign), broadcast<D>(1.0))) | sign);
}

template <int... I>
ORVALA_VMATH_INLINE V8 shuffle(V8 a, V8 b)
{
    return __builtin_shufflevector(a, b, I...);
}

// Rows become columns: r[j][l] = old r[l][j]. Three rounds of shuffles
// that every vector width implements.
ORVALA_VMATH_INLINE void Transpose8(V8* r)
{
    V8 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = shuffle<0, 8, 2, 10, 4, 12, 6, 14>(r[i], r[i + 1]);
        t[i + 1] = shuffle<1, 9, 3, 11, 5, 13, 7, 15>(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = shuffle<0, 1, 8, 9, 4, 5, 12, 13>(t[i], t[i + 2]);            // columns 0 and 4
        u[i + 1] = shuffle<2, 3, 10, 11, 6, 7, 14, 15>(t[i], t[i + 2]);      // 2 and 6
        u[i + 2] = shuffle<0, 1, 8, 9, 4, 5, 12, 13>(t[i + 1], t[i + 3]);    // 1 and 5
        u[i + 3] = shuffle<2, 3, 10, 11, 6, 7, 14, 15>(t[i + 1], t[i + 3]);  // 3 and 7
    }
    for (int c = 0; c < 4; ++c) {
        const int column = c == 0 ? 0 : c == 1 ? 2 : c == 2 ? 1 : 3;
        r[column] = shuffle<0, 1, 2, 3, 8, 9, 10, 11>(u[c], u[c + 4]);
        r[column + 4] = shuffle<4, 5, 6, 7, 12, 13, 14, 15>(u[c], u[c + 4]);
    }
}

// Scalar entry points, for callers outside vector loops.
double Log10Positive(double x);
double ArcTan(double x);

}  // namespace orvala::vmath
