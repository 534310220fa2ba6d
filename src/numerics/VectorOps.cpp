#include "VectorOps.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace orvala {

double Pythag(double a, double b)
{
    const double absa = std::fabs(a), absb = std::fabs(b);
    if (absb > absa) {
        const double r = absa / absb;
        return absb * std::sqrt(r * r + 1.0);
    }
    if (absa != 0) {
        const double r = absb / absa;
        return absa * std::sqrt(r * r + 1.0);
    }
    return 0.0;
}

double DotProduct(const TVector& a, const TVector& b)
{
    const size_t n = std::min(a.size(), b.size());
    long double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += static_cast<long double>(a[i]) * b[i];
    return double(sum);
}

double Norm(const TVector& v)
{
    long double sum = 0;
    for (double x : v) sum += static_cast<long double>(x) * x;
    return double(std::sqrt(sum));
}

void Normalize(double* v, int n)
{
    // Plain doubles: this runs once per event in the projection filters.
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += v[i] * v[i];
    const double norm = std::sqrt(sum);
    if (norm == 0) return;
    for (int i = 0; i < n; ++i) v[i] /= norm;
}

void Normalize(TVector& v) { Normalize(v.data(), int(v.size())); }

double SumVector(const TVector& v)
{
    long double sum = 0;
    for (double x : v) sum += x;
    return double(sum);
}

TVector SubtractVector(const TVector& a, const TVector& b)
{
    TVector r(a);
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) r[i] -= b[i];
    return r;
}

TVector ScaleVector(const TVector& v, double factor)
{
    TVector r(v.size());
    for (size_t i = 0; i < v.size(); ++i) r[i] = v[i] * factor;
    return r;
}

int MaxIndex(const TVector& v, int Lb, int Ub)
{
    if (Lb < 0) Lb = 0;
    if (Ub >= int(v.size())) Ub = int(v.size()) - 1;
    if (Ub < Lb) return -1;
    int best = Lb;
    for (int i = Lb + 1; i <= Ub; ++i)
        if (v[size_t(i)] > v[size_t(best)]) best = i;
    return best;
}

double MaxElement(const TVector& v, int Lb, int Ub)
{
    const int i = MaxIndex(v, Lb, Ub);
    assert(i >= 0);
    return v[size_t(i)];
}

int CountTrue(const TBoolVector& v)
{
    int n = 0;
    for (auto b : v)
        if (b) ++n;
    return n;
}

TMatrix Transpose(const TMatrix& a)
{
    if (a.empty()) return {};
    const size_t rows = a.size(), cols = a[0].size();
    TMatrix t(cols, TVector(rows));
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < cols; ++j) t[j][i] = a[i][j];
    return t;
}

bool FiniteRange(const double* v, size_t n, double& lo, double& hi)
{
    bool any = false;
    for (size_t k = 0; k < n; ++k) {
        if (!std::isfinite(v[k])) continue;
        if (!any) {
            lo = hi = v[k];
            any = true;
        } else {
            lo = std::min(lo, v[k]);
            hi = std::max(hi, v[k]);
        }
    }
    return any;
}

}  // namespace orvala
