#include "Unmixing.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include "core/Messages.h"
#include "core/TData.h"
#include "numerics/GaussJordan.h"
#include "numerics/VectorOps.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Beyond this condition number (of the scaled matrix) a double solve keeps
// fewer than four significant digits: dependent spectra land far above it.
constexpr double MaxCondition = 1e12;

// Room for the factors of sub-problems, per decomposition (per worker).
constexpr size_t CacheBytes = size_t(2) << 20;

double norm1(const TMatrix& a)
{
    double best = 0;
    for (size_t j = 0; j < a.size(); ++j) {
        double s = 0;
        for (size_t i = 0; i < a.size(); ++i) s += std::fabs(a[i][j]);
        best = std::max(best, s);
    }
    return best;
}

}  // namespace

bool ConditionedInverse(const TMatrix& A, TMatrix& Ainv)
{
    const size_t n = A.size();
    if (n == 0) return false;
    for (const TVector& row : A)
        if (row.size() != n) return false;
    // Scale rows and columns by the square roots of the diagonal magnitudes so
    // the singularity threshold and the condition test do not depend on the
    // units of the spectra.
    TVector d(n);
    for (size_t i = 0; i < n; ++i) {
        const double a = std::fabs(A[i][i]);
        if (!(a > 0) || !std::isfinite(a)) return false;
        d[i] = 1.0 / std::sqrt(a);
    }
    TMatrix s(n, TVector(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) {
            s[i][j] = A[i][j] * d[i] * d[j];
            if (!std::isfinite(s[i][j])) return false;
        }
    TMatrix sinv;
    if (InvMat(s, 0, int(n) - 1, sinv) != MatOk) return false;
    const double cond = norm1(s) * norm1(sinv);
    if (!(cond < MaxCondition)) return false;
    Ainv.assign(n, TVector(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) Ainv[i][j] = sinv[i][j] * d[i] * d[j];
    return true;
}

// ---------------------------------------------------------------------------
// Projection decomposition

TProjectionDecomposition::TProjectionDecomposition(const TMatrix& aComponents) : Components(aComponents)
{
    Rangedim = int(Components.size());
    spacedim = Rangedim > 0 ? int(Components[0].size()) : 0;
    if (Rangedim == 0 || spacedim == 0 || Rangedim > spacedim) throw OrvalaError(MatNotOkText);
    for (const TVector& c : Components)
        if (int(c.size()) != spacedim) throw OrvalaError(MatNotOkText);
    const size_t k = size_t(Rangedim), m = size_t(spacedim);

    // Gram-Schmidt, each vector reduced by the earlier ones already reduced.
    V = Components;
    for (size_t j = 0; j < k; ++j) {
        for (size_t i = 0; i < j; ++i) {
            const double p = DotProduct(V[j], V[i]);
            for (size_t q = 0; q < m; ++q) V[j][q] -= p * V[i][q];
        }
        Normalize(V[j]);
    }
    // U is triangular with the lengths of the reduced components on its
    // diagonal; a dependent component leaves noise there, which the condition
    // test of the scaled matrix catches.
    TMatrix U(k, TVector(k));
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j < k; ++j) U[i][j] = DotProduct(Components[j], V[i]);
    TMatrix UtU(k, TVector(k));
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j < k; ++j) {
            double s = 0;
            for (size_t q = 0; q < k; ++q) s += U[q][i] * U[q][j];
            UtU[i][j] = s;
        }
    TMatrix unused;
    if (!ConditionedInverse(UtU, unused) || InvMat(U, 0, int(k) - 1, Uinv) != MatOk) throw OrvalaError(MatNotOkText);

    St_.resize(m * k);
    for (size_t a = 0; a < k; ++a)
        for (size_t p = 0; p < m; ++p) St_[p * k + a] = Components[a][p];
    M_.resize(k * k);
    for (size_t a = 0; a < k; ++a)
        for (size_t b = a; b < k; ++b) {
            double s = 0;
            for (size_t p = 0; p < m; ++p) s += Components[a][p] * Components[b][p];
            M_[a * k + b] = M_[b * k + a] = s;
        }
    T.assign(k, 0.0);
    r_.assign(k, 0.0);
    x_.assign(k, 0.0);
    z_.assign(k, 0.0);
    w_.assign(k, 0.0);
    kept_.assign(k, 0);
    excluded_.assign(k, 0);
    words_ = int((k + 63) / 64);
    key_.assign(size_t(words_), 0);
    // About 2 MB of factors per decomposition, at least 16 sets.
    slots_ = 16;
    while (size_t(slots_) * 2 * k * k * sizeof(double) <= CacheBytes) slots_ *= 2;
    slotKey_.assign(size_t(slots_) * size_t(words_), 0);
    slotUsed_.assign(size_t(slots_), 0);
    slotCount_.assign(size_t(slots_), 0);
    slotIndex_.assign(size_t(slots_) * k, 0);
    slotChol_.resize(size_t(slots_) * k * k);  // written before it is read: slotUsed_ guards it
}

void TProjectionDecomposition::Project(const double* Y, double* C)
{
    const size_t k = size_t(Rangedim), m = size_t(spacedim);
    for (size_t i = 0; i < k; ++i) {
        double s = 0;
        for (size_t q = 0; q < m; ++q) s += Y[q] * V[i][q];
        T[i] = s;
    }
    for (size_t j = 0; j < k; ++j) {
        double s = 0;
        for (size_t i = 0; i < k; ++i) s += Uinv[j][i] * T[i];
        C[j] = s;
    }
}

int TProjectionDecomposition::slotFor(const std::vector<uint8_t>& kept)
{
    const size_t k = size_t(Rangedim), W = size_t(words_);
    std::fill(key_.begin(), key_.end(), uint64_t(0));
    for (size_t j = 0; j < k; ++j)
        if (kept[j]) key_[j / 64] |= uint64_t(1) << (j % 64);
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint64_t word : key_) {
        h ^= word + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    const size_t slot = size_t(h) & size_t(slots_ - 1);
    uint64_t* skey = slotKey_.data() + slot * W;
    if (slotUsed_[slot] && std::equal(key_.begin(), key_.end(), skey)) return int(slot);

    // Cholesky factor of the normal matrix restricted to the kept spectra. A
    // principal block of a positive definite matrix that passed the condition
    // test is positive definite too, so the square roots are of positive numbers.
    if (!slotUsed_[slot]) ++cachedSets_;
    slotUsed_[slot] = 1;
    std::copy(key_.begin(), key_.end(), skey);
    int* index = slotIndex_.data() + slot * k;
    size_t n = 0;
    for (size_t j = 0; j < k; ++j)
        if (kept[j]) index[n++] = int(j);
    slotCount_[slot] = int(n);
    double* L = slotChol_.data() + slot * k * k;
    // The diagonal holds the reciprocals, so solves multiply instead of divide.
    for (size_t i = 0; i < n; ++i) {
        const double* Mi = M_.data() + size_t(index[i]) * k;
        double* Li = L + i * n;
        for (size_t j = 0; j < i; ++j) {
            const double* Lj = L + j * n;
            double v = Mi[index[j]];
            for (size_t q = 0; q < j; ++q) v -= Li[q] * Lj[q];
            Li[j] = v * Lj[j];
        }
        double v = Mi[index[i]];
        for (size_t q = 0; q < i; ++q) v -= Li[q] * Li[q];
        Li[i] = v > 0 ? 1.0 / std::sqrt(v) : 0.0;
    }
    return int(slot);
}

void TProjectionDecomposition::solveKept(const std::vector<uint8_t>& kept, double* z)
{
    const size_t k = size_t(Rangedim);
    const size_t slot = size_t(slotFor(kept));
    const size_t n = size_t(slotCount_[slot]);
    const int* index = slotIndex_.data() + slot * k;
    const double* L = slotChol_.data() + slot * k * k;
    std::fill(z, z + k, 0.0);
    double* t = T.data();  // L t = r, then L' u = t
    for (size_t i = 0; i < n; ++i) {
        double v = r_[size_t(index[i])];
        for (size_t q = 0; q < i; ++q) v -= L[i * n + q] * t[q];
        t[i] = v * L[i * n + i];
    }
    for (size_t i = n; i-- > 0;) {
        const double ti = t[i] * L[i * n + i];
        t[i] = ti;
        // Column i of L' times t[i], taken off the rows above at once.
        for (size_t q = 0; q < i; ++q) t[q] -= L[i * n + q] * ti;
    }
    for (size_t i = 0; i < n; ++i) z[index[i]] = t[i];
}

int TProjectionDecomposition::Decompose(const TVector& Y, TVector& C)
{
    C.assign(size_t(Rangedim), 0.0);
    if (int(Y.size()) < spacedim) {
        TVector padded(Y);
        padded.resize(size_t(spacedim), 0.0);
        return Decompose(padded.data(), C.data());
    }
    return Decompose(Y.data(), C.data());
}

int TProjectionDecomposition::Decompose(const double* Y, double* C)
{
    const size_t k = size_t(Rangedim), m = size_t(spacedim);
    double* r = r_.data();
    double scale = 0;
    bool finite = true;
    // Channel by channel, so the k sums advance side by side in vector registers.
    std::fill(r, r + k, 0.0);
    for (size_t p = 0; p < m; ++p) {
        const double y = Y[p];
        const double* st = St_.data() + p * k;
        for (size_t a = 0; a < k; ++a) r[a] += st[a] * y;
    }
    for (size_t a = 0; a < k; ++a) {
        scale = std::max(scale, std::fabs(r[a]));
        finite = finite && std::isfinite(r[a]);
    }
    if (!finite) {
        std::fill(C, C + k, std::numeric_limits<double>::quiet_NaN());
        return MatOk;
    }
    double* x = x_.data();
    double* z = z_.data();
    double* w = w_.data();
    std::vector<uint8_t>& kept = kept_;

    // Start: the unconstrained fit, refitted without its non-positive amounts
    // until every amount left is positive. Usually the answer already.
    std::fill(kept.begin(), kept.end(), uint8_t(1));
    size_t keptCount = k;
    while (keptCount > 0) {
        solveKept(kept, z);
        size_t dropped = 0;
        for (size_t j = 0; j < k; ++j)
            if (kept[j] && !(z[j] > 0)) {
                kept[j] = 0;
                ++dropped;
            }
        keptCount -= dropped;
        if (dropped == 0) break;
    }
    for (size_t j = 0; j < k; ++j) x[j] = kept[j] ? z[j] : 0.0;

    // Lawson-Hanson from that feasible point. The gradient w = r - M x must
    // be <= 0 on every zero amount; the tolerance sits just above rounding.
    const double tol = 1e-13 * scale;
    std::fill(excluded_.begin(), excluded_.end(), uint8_t(0));
    const int maxIter = 3 * int(k) + 30;
    for (int iter = 0; iter < maxIter; ++iter) {
        std::copy(r, r + k, w);
        for (size_t b = 0; b < k; ++b) {
            if (x[b] == 0) continue;
            const double xb = x[b];
            const double* mb = M_.data() + b * k;  // column b, the matrix being symmetric
            for (size_t a = 0; a < k; ++a) w[a] -= mb[a] * xb;
        }
        int t = -1;
        double best = tol;
        for (size_t j = 0; j < k; ++j)
            if (!kept[j] && !excluded_[j] && w[j] > best) {
                best = w[j];
                t = int(j);
            }
        if (t < 0) {
            std::copy(x, x + k, C);
            return MatOk;
        }
        kept[size_t(t)] = 1;
        bool moved = false;
        for (int inner = 0; inner < maxIter; ++inner) {
            solveKept(kept, z);
            if (!moved && !(z[t] > 0)) {
                // Rounding made the entering amount non-positive: it cannot
                // enter; try the next candidate from the same point.
                kept[size_t(t)] = 0;
                excluded_[size_t(t)] = 1;
                break;
            }
            bool feasible = true;
            double alpha = 1;
            int limit = -1;
            for (size_t j = 0; j < k; ++j)
                if (kept[j] && !(z[j] > 0)) {
                    feasible = false;
                    const double d = x[j] - z[j];
                    if (d > 0 && x[j] / d <= alpha) {
                        alpha = x[j] / d;
                        limit = int(j);
                    } else if (!(d > 0) && limit < 0) {
                        alpha = 0;  // already at zero and not moving up: it leaves now
                        limit = int(j);
                    }
                }
            moved = true;
            if (feasible) {
                std::copy(z, z + k, x);
                break;
            }
            // Step towards z until the first amount reaches 0; it leaves the
            // kept set, even when rounding left it a hair above zero.
            for (size_t j = 0; j < k; ++j) {
                if (!kept[j]) continue;
                x[j] += alpha * (z[j] - x[j]);
                if (int(j) == limit || !(x[j] > 0)) {
                    x[j] = 0;
                    kept[j] = 0;
                }
            }
        }
        if (moved) std::fill(excluded_.begin(), excluded_.end(), uint8_t(0));
    }
    std::copy(x, x + k, C);
    return MatNonConv;
}

// ---------------------------------------------------------------------------
// Whole data sets

TMatrix LeastSquaresWeights(const TMatrix& DieSpecs)
{
    const size_t k = DieSpecs.size();
    const size_t m = k > 0 ? DieSpecs[0].size() : 0;
    if (k == 0 || m == 0 || k > m) throw OrvalaError(MatNotOkText);
    for (const TVector& s : DieSpecs)
        if (s.size() != m) throw OrvalaError(MatNotOkText);
    TMatrix M(k, TVector(k));
    for (size_t a = 0; a < k; ++a)
        for (size_t b = a; b < k; ++b) {
            long double s = 0;
            for (size_t p = 0; p < m; ++p) s += (long double)DieSpecs[a][p] * DieSpecs[b][p];
            M[a][b] = M[b][a] = double(s);
        }
    TMatrix Minv;
    if (!ConditionedInverse(M, Minv)) throw OrvalaError(MatNotOkText);
    TMatrix P(k, TVector(m));
    for (size_t a = 0; a < k; ++a)
        for (size_t p = 0; p < m; ++p) {
            long double s = 0;
            for (size_t b = 0; b < k; ++b) s += (long double)Minv[a][b] * DieSpecs[b][p];
            P[a][p] = double(s);
        }
    return P;
}

namespace {

typedef double v4d __attribute__((vector_size(32), aligned(8)));

// out[0..kp) = sum over p of y_p * Pt[p][0..kp), kp a multiple of 4, at most
// 4 * MaxBlocks. The sums run over p in order in every build, so the AVX2 and
// the portable paths agree to the bit.
constexpr int MaxBlocks = 16;

template <int NB>
inline __attribute__((always_inline)) void applyFixed(const double* row, const int* columns, int m, const double* Pt,
                                                      double* out, int k)
{
    v4d acc[NB];
    for (int b = 0; b < NB; ++b) acc[b] = v4d{0, 0, 0, 0};
    for (int p = 0; p < m; ++p) {
        const double y = row[columns[p]];
        const v4d yy = {y, y, y, y};
        const double* w = Pt + size_t(p) * size_t(NB * 4);
        for (int b = 0; b < NB; ++b) {
            v4d ww;
            __builtin_memcpy(&ww, w + 4 * b, sizeof ww);
            acc[b] += yy * ww;
        }
    }
    double tmp[NB * 4];
    __builtin_memcpy(tmp, acc, sizeof tmp);
    for (int j = 0; j < k; ++j) out[j] = tmp[j];
}

template <int NB>
inline __attribute__((always_inline)) void rowsFixed(const double* src, int first, int count, int stride, const int* columns,
                                                     int m, const double* Pt, double* out, int outStride, int k)
{
    for (int e = first; e < first + count; ++e)
        applyFixed<NB>(src + size_t(e) * size_t(stride), columns, m, Pt, out + size_t(e) * size_t(outStride), k);
}

inline __attribute__((always_inline)) void rowsBody(const double* src, int first, int count, int stride, const int* columns,
                                                    int m, const double* Pt, int nb, double* out, int outStride, int k)
{
    switch (nb) {
    case 1: rowsFixed<1>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 2: rowsFixed<2>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 3: rowsFixed<3>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 4: rowsFixed<4>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 5: rowsFixed<5>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 6: rowsFixed<6>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 7: rowsFixed<7>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    case 8: rowsFixed<8>(src, first, count, stride, columns, m, Pt, out, outStride, k); break;
    default:
        // Many spectra: the blocks in a loop of their own.
        for (int e = first; e < first + count; ++e) {
            const double* row = src + size_t(e) * size_t(stride);
            double* o = out + size_t(e) * size_t(outStride);
            for (int j = 0; j < k; ++j) {
                double s = 0;
                for (int p = 0; p < m; ++p) s += row[columns[p]] * Pt[size_t(p) * size_t(nb * 4) + size_t(j)];
                o[j] = s;
            }
        }
    }
}

__attribute__((target("avx2"))) void rowsAvx2(const double* src, int first, int count, int stride, const int* columns,
                                              int m, const double* Pt, int nb, double* out, int outStride, int k)
{
    rowsBody(src, first, count, stride, columns, m, Pt, nb, out, outStride, k);
}

void rowsPortable(const double* src, int first, int count, int stride, const int* columns, int m, const double* Pt,
                  int nb, double* out, int outStride, int k)
{
    rowsBody(src, first, count, stride, columns, m, Pt, nb, out, outStride, k);
}

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Runs fn(thread, first, count) over rows, on the pool when there is one and
// the job is worth splitting.
template <class Fn>
void splitRows(int rows, TMultiThread* pool, int chunk, Fn&& fn)
{
    if (rows <= 0) return;
    if (!pool || pool->NumberOfThreads() <= 1 || rows <= chunk) {
        fn(0, 0, rows);
        return;
    }
    pool->Process([&fn](int thread, int index, int size, int& count, std::atomic<bool>& aborted) {
        if (aborted) return;
        fn(thread, index, size);
        count += size;
    }, nullptr, rows, chunk);
}

}  // namespace

void UnmixRows(const double* src, int rows, int stride, const int* columns, const TMatrix& DieSpecs, bool NonNegative,
               double* out, int outStride, TMultiThread* pool)
{
    const int k = int(DieSpecs.size());
    const int m = k > 0 ? int(DieSpecs[0].size()) : 0;
    if (!NonNegative) {
        const TMatrix P = LeastSquaresWeights(DieSpecs);
        const int nb = (k + 3) / 4;
        // Weights transposed and padded: one contiguous row of nb * 4 per channel.
        std::vector<double> Pt(size_t(m) * size_t(nb) * 4, 0.0);
        for (int p = 0; p < m; ++p)
            for (int j = 0; j < k; ++j) Pt[size_t(p) * size_t(nb) * 4 + size_t(j)] = P[size_t(j)][size_t(p)];
        const bool avx2 = hasAvx2();
        splitRows(rows, pool, 4096, [&](int, int first, int count) {
            (avx2 ? rowsAvx2 : rowsPortable)(src, first, count, stride, columns, m, Pt.data(), nb, out, outStride, k);
        });
        return;
    }

    const TProjectionDecomposition prototype(DieSpecs);  // throws before anything is written
    const int workers = pool ? std::max(1, pool->NumberOfThreads()) : 1;
    // One decomposition, and so one cache of sub-problems, per worker.
    std::vector<std::unique_ptr<TProjectionDecomposition>> perThread(static_cast<size_t>(workers));
    for (auto& d : perThread) d = std::make_unique<TProjectionDecomposition>(prototype);
    splitRows(rows, pool, 1024, [&](int thread, int first, int count) {
        TProjectionDecomposition& d = *perThread[size_t(thread)];
        std::vector<double> y(static_cast<size_t>(m));
        for (int e = first; e < first + count; ++e) {
            const double* row = src + size_t(e) * size_t(stride);
            for (int p = 0; p < m; ++p) y[size_t(p)] = row[columns[p]];
            d.Decompose(y.data(), out + size_t(e) * size_t(outStride));
        }
    });
}

TData* GaussDecomposition(TData& dat, const TMatrix& DieSpecs, const TBoolVector& checkedlist, bool NonNegative,
                          TMultiThread* pool, const std::string& name)
{
    return GaussDecomposition(dat, dat.data, DieSpecs, checkedlist, NonNegative, pool, name);
}

TData* GaussDecomposition(TData& dat, const DataMatrix& source, const TMatrix& DieSpecs, const TBoolVector& checkedlist,
                          bool NonNegative, TMultiThread* pool, const std::string& name)
{
    const int k = int(DieSpecs.size());
    const int n = source.rows();
    std::vector<int> columns;
    for (size_t i = 0; i < checkedlist.size(); ++i)
        if (checkedlist[i]) columns.push_back(int(i));
    const bool runs = k > 0 && int(checkedlist.size()) == source.cols();
    if (runs)
        for (const TVector& s : DieSpecs)
            if (s.size() != columns.size()) throw OrvalaError(MatNotOkText);

    // Everything that can fail happens before the result exists.
    DataMatrix values(n, std::max(k, 0));
    if (runs && n > 0)
        UnmixRows(source.data(), n, source.cols(), columns.data(), DieSpecs, NonNegative, values.data(), k, pool);

    TData* result = TData::Create(name.empty() ? dat.ShortName() + "SD" : name, k, n);
    result->data = std::move(values);
    result->fPath = dat.fPath;
    result->fExtension = dat.fExtension;
    for (int j = 0; j < k; ++j) result->Desc()[size_t(j)].name = "Par " + std::to_string(j + 1);
    result->link.resize(size_t(n));
    for (int e = 0; e < n; ++e) result->link[size_t(e)] = e;
    result->setParent(&dat);
    return result;
}

}  // namespace orvala
