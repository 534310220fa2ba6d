#include "GmlMath.h"

#include <algorithm>
#include <cmath>

#include "GmlDocument.h"

namespace orvala {

std::vector<double> InverseOf(const std::vector<double>& m, int n)
{
    if (n <= 0 || m.size() != size_t(n) * size_t(n)) return {};
    const size_t N = size_t(n);
    std::vector<double> a = m, inv(N * N, 0.0);
    for (size_t i = 0; i < N; ++i) inv[i * N + i] = 1;
    double largest = 0;
    for (double v : a) largest = std::max(largest, std::abs(v));
    if (!(largest > 0) || !std::isfinite(largest)) return {};
    // Gauss-Jordan with partial pivoting; a pivot lost in rounding noise
    // relative to the largest entry means the matrix is singular.
    for (size_t col = 0; col < N; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < N; ++r)
            if (std::abs(a[r * N + col]) > std::abs(a[pivot * N + col])) pivot = r;
        if (std::abs(a[pivot * N + col]) <= 1e-13 * largest) return {};
        if (pivot != col)
            for (size_t c = 0; c < N; ++c) {
                std::swap(a[pivot * N + c], a[col * N + c]);
                std::swap(inv[pivot * N + c], inv[col * N + c]);
            }
        const double p = a[col * N + col];
        for (size_t c = 0; c < N; ++c) {
            a[col * N + c] /= p;
            inv[col * N + c] /= p;
        }
        for (size_t r = 0; r < N; ++r) {
            if (r == col) continue;
            const double f = a[r * N + col];
            if (f == 0) continue;
            for (size_t c = 0; c < N; ++c) {
                a[r * N + c] -= f * a[col * N + c];
                inv[r * N + c] -= f * inv[col * N + c];
            }
        }
    }
    for (double v : inv)
        if (!std::isfinite(v)) return {};
    return inv;
}

std::vector<double> ProjectionOf(const GmlSpectrumMatrix& m)
{
    const size_t F = m.fluorochromes.size(), D = m.detectors.size();
    if (m.invertedAlready) return m.coefficients.size() == D * F ? m.coefficients : std::vector<double>{};
    if (F == 0 || F > D || m.coefficients.size() != F * D) return {};
    const std::vector<double>& S = m.coefficients;  // F x D
    // Square: invert S itself rather than the worse-conditioned S S'.
    if (F == D) return InverseOf(S, int(F));
    // G = S S' (F x F), then P = S' G^-1 (D x F).
    std::vector<double> G(F * F, 0.0);
    for (size_t i = 0; i < F; ++i)
        for (size_t j = 0; j < F; ++j) {
            double s = 0;
            for (size_t k = 0; k < D; ++k) s += S[i * D + k] * S[j * D + k];
            G[i * F + j] = s;
        }
    const std::vector<double> Gi = InverseOf(G, int(F));
    if (Gi.empty()) return {};
    std::vector<double> P(D * F, 0.0);
    for (size_t k = 0; k < D; ++k)
        for (size_t j = 0; j < F; ++j) {
            double s = 0;
            for (size_t i = 0; i < F; ++i) s += S[i * D + k] * Gi[i * F + j];
            P[k * F + j] = s;
        }
    return P;
}

}  // namespace orvala
