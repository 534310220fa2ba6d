#include "CrossProducts.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Rows per block: a block of 64 rows x 32 columns (16 KiB) stays in the L1 cache
// while every column pair of it is multiplied.
constexpr int BlockRows = 64;
// Segments: enough for load balance on any pool, few enough that their
// partial matrices stay small. Fixed by the row count alone.
constexpr int MinSegmentRows = 16384;
constexpr int MaxSegments = 64;
// Doubles all partial matrices may take together (64 MiB): hundreds of
// spectral channels get fewer segments.
constexpr size_t PartialBudget = size_t(8) << 20;

// Four doubles; the compiler maps it onto whatever vector registers the target has.
// Products and sums are separate operations (no fused multiply-add), so every
// target computes the same bits.
typedef double v4d __attribute__((vector_size(32), aligned(8)));
// These helpers are internal and always inlined: the ABI of passing a 32-byte
// vector between separately compiled functions never comes into play.
#pragma GCC diagnostic ignored "-Wpsabi"

inline v4d load4(const double* p)
{
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store4(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }

// S[i][j] += sum over the block rows k of x[k][i] * x[k][j] for a tile of
// 4 rows (ib..ib+3) and TJ columns (jb..jb+TJ-1); x has stride ld.
template <int TJ>
inline __attribute__((always_inline)) void tile(const double* x, int nb, int ld, int ib, int jb, double* S, int ldS)
{
    constexpr int NV = TJ / 4;
    v4d acc[4][NV] = {};
    for (int k = 0; k < nb; ++k) {
        const double* row = x + size_t(k) * size_t(ld);
        v4d b[NV];
        for (int v = 0; v < NV; ++v) b[v] = load4(row + jb + 4 * v);
        for (int a = 0; a < 4; ++a) {
            const double s = row[ib + a];
            const v4d sa = {s, s, s, s};
            for (int v = 0; v < NV; ++v) acc[a][v] += sa * b[v];
        }
    }
    for (int a = 0; a < 4; ++a)
        for (int v = 0; v < NV; ++v) {
            double* dst = S + size_t(ib + a) * size_t(ldS) + size_t(jb + 4 * v);
            store4(dst, load4(dst) + acc[a][v]);
        }
}

// Upper-triangle tiles of one packed block; ld is a multiple of TJ.
template <int TJ>
inline __attribute__((always_inline)) void blockProducts(const double* x, int nb, int ld, double* S)
{
    for (int ib = 0; ib < ld; ib += 4)
        for (int jb = (ib / TJ) * TJ; jb < ld; jb += TJ) tile<TJ>(x, nb, ld, ib, jb, S, ld);
}

struct Segment {
    int first = 0, count = 0;
};

// One segment: packs blocks of rows (shifted, padded with zero columns) and
// adds their products into S (ld x ld) and their sums into sum (ld).
template <int TJ>
inline __attribute__((always_inline)) void segmentBody(const MatrixView& view, const double* shift, Segment seg, int ld,
                                                       double* S, double* sum, double* buffer, double* scratch)
{
    const int m = view.cols;
    for (int r0 = seg.first; r0 < seg.first + seg.count; r0 += BlockRows) {
        const int nb = std::min(BlockRows, seg.first + seg.count - r0);
        for (int k = 0; k < nb; ++k) {
            const double* src = view.data + size_t(r0 + k) * size_t(view.stride);
            double* dst = buffer + size_t(k) * size_t(ld);
            if (view.convert) {
                view.convert(src, scratch);
                for (int j = 0; j < m; ++j) dst[j] = scratch[j] - shift[j];
            } else if (view.columns) {
                for (int j = 0; j < m; ++j) dst[j] = src[view.columns[j]] - shift[j];
            } else {
                for (int j = 0; j < m; ++j) dst[j] = src[j] - shift[j];
            }
            for (int j = 0; j < m; ++j) sum[j] += dst[j];
        }
        blockProducts<TJ>(buffer, nb, ld, S);
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define ORVALA_HAVE_AVX2_PATH 1
__attribute__((target("avx2"))) void segmentAvx2(const MatrixView& view, const double* shift, Segment seg, int ld, double* S,
                                                 double* sum, double* buffer, double* scratch)
{
    segmentBody<8>(view, shift, seg, ld, S, sum, buffer, scratch);
}
#endif

void segmentGeneric(const MatrixView& view, const double* shift, Segment seg, int ld, double* S, double* sum, double* buffer,
                    double* scratch)
{
    segmentBody<4>(view, shift, seg, ld, S, sum, buffer, scratch);
}

bool useAvx2()
{
#ifdef ORVALA_HAVE_AVX2_PATH
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

}  // namespace

CrossProductSums AccumulateCrossProducts(const MatrixView& view, const TVector& shift, TMultiThread* pool, bool wideVectors)
{
    const int m = view.cols;
    assert(int(shift.size()) >= m);
    CrossProductSums result;
    result.n = view.rows;
    result.shift.assign(shift.begin(), shift.begin() + m);
    result.sum.assign(size_t(m), 0.0);
    result.cross.assign(size_t(m), TVector(size_t(m), 0.0));
    if (view.rows <= 0 || m <= 0) return result;

    // Both kernels see the same padded layout, so each matrix element gets the
    // same sequence of operations on either path.
    const int ld = (m + 7) / 8 * 8;
    const size_t matSize = size_t(ld) * size_t(ld);
    const int maxSegments = int(std::clamp(PartialBudget / matSize, size_t(1), size_t(MaxSegments)));
    const int segments = std::clamp(view.rows / MinSegmentRows, 1, maxSegments);
    std::vector<Segment> segs(static_cast<size_t>(segments));
    for (int s = 0; s < segments; ++s) {
        const int64_t first = int64_t(view.rows) * s / segments;
        const int64_t next = int64_t(view.rows) * (s + 1) / segments;
        segs[size_t(s)] = {int(first), int(next - first)};
    }
    std::vector<double> partialS(matSize * size_t(segments), 0.0);
    std::vector<double> partialSum(size_t(ld) * size_t(segments), 0.0);
    const bool avx2 = wideVectors && useAvx2();

    // Per worker: the packed block (padding columns zeroed once; the packing
    // never writes them) and room for one converted row.
    struct Workspace {
        std::vector<double> block, scratch;
    };
    const size_t blockSize = size_t(BlockRows) * size_t(ld);
    const size_t scratchSize = size_t(view.rowRoom());
    auto runSegment = [&](int s, Workspace& w) {
        auto fn = segmentGeneric;
#ifdef ORVALA_HAVE_AVX2_PATH
        if (avx2) fn = segmentAvx2;
#endif
        fn(view, result.shift.data(), segs[size_t(s)], ld, partialS.data() + matSize * size_t(s),
           partialSum.data() + size_t(ld) * size_t(s), w.block.data(), w.scratch.data());
    };
    const bool usePool = pool && segments > 1;
    const int workers = usePool ? pool->NumberOfThreads() : 1;
    std::vector<Workspace> spaces(size_t(workers), Workspace{std::vector<double>(blockSize, 0.0), std::vector<double>(scratchSize, 0.0)});
    if (usePool) {
        pool->Process(
            [&](int thread, int index, int size, int& count, std::atomic<bool>& aborted) {
                for (int s = index; s < index + size && !aborted; ++s) {
                    runSegment(s, spaces[size_t(thread)]);
                    count += segs[size_t(s)].count;
                }
            },
            {}, segments, 1);
    } else {
        for (int s = 0; s < segments; ++s) runSegment(s, spaces[0]);
    }

    // Fixed order: segment 0, 1, 2, ...
    std::vector<double> S(matSize, 0.0), sum(size_t(ld), 0.0);
    for (int s = 0; s < segments; ++s) {
        const double* ps = partialS.data() + matSize * size_t(s);
        for (size_t i = 0; i < matSize; ++i) S[i] += ps[i];
        const double* pu = partialSum.data() + size_t(ld) * size_t(s);
        for (int j = 0; j < ld; ++j) sum[size_t(j)] += pu[j];
    }
    for (int i = 0; i < m; ++i) {
        result.sum[size_t(i)] = sum[size_t(i)];
        for (int j = i; j < m; ++j) {
            const double v = S[size_t(i) * size_t(ld) + size_t(j)];
            result.cross[size_t(i)][size_t(j)] = v;
            result.cross[size_t(j)][size_t(i)] = v;
        }
    }
    return result;
}

}  // namespace orvala
