#include "EigenSolvers.h"

#include <cassert>
#include <cmath>
#include <utility>
#include <vector>

#include "VectorOps.h"

namespace orvala {

int Jacobi(TMatrix& A, int Lb, int Ub, int MaxIter, double Tol, TVector& Lambda, TMatrix& V)
{
    const size_t size = Ub < 0 ? 0 : size_t(Ub) + 1;
    if (Lambda.size() < size) Lambda.resize(size, 0.0);
    if (V.size() < size) V.resize(size);
    for (auto& row : V)
        if (row.size() < size) row.resize(size, 0.0);
    if (Ub < Lb) return MatOk;
    assert(Lb >= 0 && A.size() >= size);

    auto a = [&A](int i, int j) -> double& { return A[size_t(i)][size_t(j)]; };
    for (int i = Lb; i <= Ub; ++i)
        for (int j = Lb; j <= Ub; ++j) V[size_t(i)][size_t(j)] = (i == j) ? 1.0 : 0.0;

    // The rotations move squares from above the diagonal onto it; Total stays
    // fixed while Diag grows towards it.
    long double diag = 0, off = 0;
    for (int i = Lb; i <= Ub; ++i) {
        diag += static_cast<long double>(a(i, i)) * a(i, i);
        for (int j = i + 1; j <= Ub; ++j) off += static_cast<long double>(a(i, j)) * a(i, j);
    }
    const long double total = diag + 2 * off;

    // The largest element of each row right of the diagonal (the first of
    // equals), kept up to date across rotations: a rotation changes two rows
    // and two columns, so the search costs O(n) per rotation instead of O(n^2).
    std::vector<int> rowMaxCol(size_t(Ub) + 1, -1);
    std::vector<double> rowMaxVal(size_t(Ub) + 1, -1.0);
    auto rescan = [&](int i) {
        int col = -1;
        double val = -1;
        for (int j = i + 1; j <= Ub; ++j)
            if (std::fabs(a(i, j)) > val) {
                val = std::fabs(a(i, j));
                col = j;
            }
        rowMaxCol[size_t(i)] = col;
        rowMaxVal[size_t(i)] = val;
    };
    auto changed = [&](int k, int col) {
        if (col <= k) return;
        const double v = std::fabs(a(k, col));
        const int best = rowMaxCol[size_t(k)];
        if (v > rowMaxVal[size_t(k)] || (v == rowMaxVal[size_t(k)] && col < best)) {
            rowMaxVal[size_t(k)] = v;
            rowMaxCol[size_t(k)] = col;
        }
    };
    for (int i = Lb; i < Ub; ++i) rescan(i);

    int rotations = 0;
    for (;;) {
        // Row by row, a later row replacing only when strictly larger: the
        // first of equal elements in reading order, as a full scan would find.
        int p = Lb, q = Lb;
        double amax = 0, dmax = 0;
        for (int i = Lb; i < Ub; ++i)
            if (rowMaxVal[size_t(i)] > amax) {
                amax = rowMaxVal[size_t(i)];
                p = i;
                q = rowMaxCol[size_t(i)];
            }
        for (int i = Lb; i <= Ub; ++i) dmax = std::max(dmax, std::fabs(a(i, i)));
        // Already diagonal (also a 1 x 1 or an all-zero matrix): the formula
        // below would otherwise rotate the pair (Lb, Lb).
        if (amax == 0 || amax <= MachEp * dmax * 0.5) break;

        const double apq = a(p, q);
        const double diff = a(p, p) - a(q, q);
        double c, s;
        if (diff != 0) {
            const double f = Sgn(diff) * 2 * apq;
            const double r = Pythag(std::fabs(diff), f);
            c = std::sqrt((std::fabs(diff) / r + 1) / 2);
            s = f / (2 * r * c);
        } else {
            c = 0.7071067811865476;
            s = Sgn(apq) * c;
        }
        for (int k = Lb; k <= Ub; ++k) {
            double& vkp = V[size_t(k)][size_t(p)];
            double& vkq = V[size_t(k)][size_t(q)];
            const double vp = vkp, vq = vkq;
            vkp = c * vp + s * vq;
            vkq = c * vq - s * vp;
            if (k == p || k == q) continue;
            // Upper-triangle addresses of A[k][p] and A[k][q].
            double& akp = k < p ? a(k, p) : a(p, k);
            double& akq = k < q ? a(k, q) : a(q, k);
            const double xp = akp, xq = akq;
            akp = c * xp + s * xq;
            akq = c * xq - s * xp;
        }
        diag += 2 * static_cast<long double>(apq) * apq;
        const double app = a(p, p), aqq = a(q, q);
        a(p, p) = c * c * app + s * s * aqq + 2 * c * s * apq;
        a(q, q) = s * s * app + c * c * aqq - 2 * c * s * apq;
        a(p, q) = 0;
        for (int k = Lb; k < Ub; ++k) {
            if (k == p || k == q) continue;
            const int best = rowMaxCol[size_t(k)];
            if (best == p || best == q) {
                rescan(k);  // its largest element may have shrunk
            } else {
                changed(k, p);
                changed(k, q);
            }
        }
        rescan(p);
        if (q < Ub) rescan(q);

        if (++rotations > MaxIter) return MatNonConv;
        if (std::fabs(1 - total / diag) < Tol) break;
    }

    for (int i = Lb; i <= Ub; ++i) Lambda[size_t(i)] = a(i, i);
    for (int i = Lb; i < Ub; ++i) {
        int best = i + 1;
        for (int j = i + 2; j <= Ub; ++j)
            if (Lambda[size_t(j)] > Lambda[size_t(best)]) best = j;
        if (Lambda[size_t(best)] > Lambda[size_t(i)]) {
            std::swap(Lambda[size_t(i)], Lambda[size_t(best)]);
            for (int k = Lb; k <= Ub; ++k) std::swap(V[size_t(k)][size_t(i)], V[size_t(k)][size_t(best)]);
        }
    }
    for (int j = Lb; j <= Ub; ++j)
        if (V[size_t(Lb)][size_t(j)] < 0)
            for (int k = Lb; k <= Ub; ++k) V[size_t(k)][size_t(j)] = -V[size_t(k)][size_t(j)];
    return MatOk;
}

void Householder(TMatrix& A, int n, TVector& d, TVector& e)
{
    d.assign(size_t(std::max(n, 0)), 0.0);
    e.assign(size_t(std::max(n, 0)), 0.0);
    if (n <= 0) return;
    auto a = [&A](int i, int j) -> double& { return A[size_t(i)][size_t(j)]; };
    for (int i = n - 1; i > 0; --i) {
        const int l = i - 1;
        double h = 0;
        if (l > 0) {
            double scale = 0;
            for (int k = 0; k <= l; ++k) scale += std::fabs(a(i, k));
            if (scale == 0) {
                e[size_t(i)] = a(i, l);
            } else {
                for (int k = 0; k <= l; ++k) {
                    a(i, k) /= scale;
                    h += a(i, k) * a(i, k);
                }
                double f = a(i, l);
                double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
                e[size_t(i)] = scale * g;
                h -= f * g;
                a(i, l) = f - g;
                f = 0;
                for (int j = 0; j <= l; ++j) {
                    a(j, i) = a(i, j) / h;
                    g = 0;
                    for (int k = 0; k <= j; ++k) g += a(j, k) * a(i, k);
                    for (int k = j + 1; k <= l; ++k) g += a(k, j) * a(i, k);
                    e[size_t(j)] = g / h;
                    f += e[size_t(j)] * a(i, j);
                }
                const double hh = f / (h + h);
                for (int j = 0; j <= l; ++j) {
                    f = a(i, j);
                    g = e[size_t(j)] - hh * f;
                    e[size_t(j)] = g;
                    for (int k = 0; k <= j; ++k) a(j, k) -= f * e[size_t(k)] + g * a(i, k);
                }
            }
        } else {
            e[size_t(i)] = a(i, l);
        }
        d[size_t(i)] = h;
    }
    d[0] = 0;
    e[0] = 0;
    // Accumulate the transforms.
    for (int i = 0; i < n; ++i) {
        const int l = i - 1;
        if (d[size_t(i)] != 0) {
            for (int j = 0; j <= l; ++j) {
                double g = 0;
                for (int k = 0; k <= l; ++k) g += a(i, k) * a(k, j);
                for (int k = 0; k <= l; ++k) a(k, j) -= g * a(k, i);
            }
        }
        d[size_t(i)] = a(i, i);
        a(i, i) = 1;
        for (int j = 0; j <= l; ++j) a(j, i) = a(i, j) = 0;
    }
}

int TLQI(TVector& d, TVector& e, int n, TMatrix& Z, const NumericsReport& report)
{
    if (n <= 0) return MatOk;
    for (int i = 1; i < n; ++i) e[size_t(i - 1)] = e[size_t(i)];
    e[size_t(n - 1)] = 0;
    for (int l = 0; l < n; ++l) {
        int iter = 0;
        int m;
        do {
            for (m = l; m < n - 1; ++m) {
                const double dd = std::fabs(d[size_t(m)]) + std::fabs(d[size_t(m + 1)]);
                // Negligible when it does not change the sum in double precision.
                if (std::fabs(e[size_t(m)]) + dd == dd) break;
            }
            if (m != l) {
                if (iter++ == 30) {
                    if (report) report(NoConvergenceTLQI);
                    return MatNonConv;
                }
                double g = (d[size_t(l + 1)] - d[size_t(l)]) / (2.0 * e[size_t(l)]);
                double r = Pythag(g, 1.0);
                g = d[size_t(m)] - d[size_t(l)] + e[size_t(l)] / (g + (g >= 0 ? std::fabs(r) : -std::fabs(r)));
                double s = 1, c = 1, p = 0;
                int i;
                for (i = m - 1; i >= l; --i) {
                    double f = s * e[size_t(i)];
                    const double b = c * e[size_t(i)];
                    r = Pythag(f, g);
                    e[size_t(i + 1)] = r;
                    if (r == 0) {
                        // Underflow: deflate and start again from l.
                        d[size_t(i + 1)] -= p;
                        e[size_t(m)] = 0;
                        break;
                    }
                    s = f / r;
                    c = g / r;
                    g = d[size_t(i + 1)] - p;
                    r = (d[size_t(i)] - g) * s + 2.0 * c * b;
                    p = s * r;
                    d[size_t(i + 1)] = g + p;
                    g = c * r - b;
                    for (int k = 0; k < n; ++k) {
                        double& zi = Z[size_t(k)][size_t(i)];
                        double& zi1 = Z[size_t(k)][size_t(i + 1)];
                        f = zi1;
                        zi1 = s * zi + c * f;
                        zi = c * zi - s * f;
                    }
                }
                if (r == 0 && i >= l) continue;
                d[size_t(l)] -= p;
                e[size_t(l)] = g;
                e[size_t(m)] = 0;
            }
        } while (m != l);
    }
    return MatOk;
}

}  // namespace orvala
