// TData's gate operations: building a gated data set, the event test of every
// gate kind, recomputing a subtree, copying a gate tree and the gate table.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <unordered_map>

#include "Messages.h"
#include "TData.h"
#include "TDataList.h"
#include "TGate.h"
#include "TPreText.h"
#include "geometry/PointInPolygon.h"
#include "geometry/Scales.h"
#include "parallel/HugePages.h"
#include "parallel/CompleteChunks.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

TMultiThread* installedPool = nullptr;
void (*busyHook)(bool) = nullptr;

struct BusyCursor {
    BusyCursor()
    {
        if (busyHook) busyHook(true);
    }
    ~BusyCursor()
    {
        if (busyHook) busyHook(false);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Events per chunk of the pool. Large enough that a chunk's cost dwarfs the
// hand-over, small enough that two workers finish close together.
constexpr int kChunkEvents = 1 << 16;

// Width and height of the picture whose pixels are the events (row-major).
// A sequence keeps its pseudo image in img too, but the frames are the truth.
int pictureWidth(const TData& d)
{
    if (!d.seq.empty()) return int(d.seq[0].width);
    return d.img.width;
}

int pictureHeight(const TData& d)
{
    if (!d.seq.empty()) return int(d.seq[0].height);
    return d.img.height;
}

bool rectInsidePicture(const TData& d, const TGateRect& r)
{
    const int w = pictureWidth(d), h = pictureHeight(d);
    return w > 0 && h > 0 && r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom && r.right < w &&
           r.bottom < h && int64_t(w) * h <= int64_t(d.events());
}

// dx, dy of v under the projection x, y (the first n entries). With
// normalized, only the entries where x is not 0 count, scaled to unit length.
// Terms with a zero coefficient are skipped: a NaN or infinity in a parameter
// the gate does not look at must not make the event fall out of it (0 * NaN
// is NaN). For finite values skipping them changes no bit, since adding a zero
// to these sums, which start at +0, never changes them.
inline void project(const double* v, int n, const double* x, const double* y, int ny, bool normalized, double& dx,
                    double& dy)
{
    double sx = 0, sy = 0;
    if (!normalized) {
        for (int i = 0; i < n; ++i) {
            if (x[i] != 0) sx += v[i] * x[i];
            if (i < ny && y[i] != 0) sy += v[i] * y[i];
        }
    } else {
        double ss = 0;
        for (int i = 0; i < n; ++i)
            if (x[i] != 0) ss += v[i] * v[i];
        const double len = std::sqrt(ss);
        for (int i = 0; i < n; ++i) {
            double w = x[i] != 0 ? v[i] : 0.0;
            if (len != 0) w /= len;
            sx += w * x[i];
            if (i < ny) sy += w * y[i];
        }
    }
    dx = sx;
    dy = sy;
}

// Everything the event test of a projection or PCA gate needs, fixed once per run.
struct RegionTest {
    const TGate& g;
    const double* px;
    const double* py;
    int dim;
    int ny;
    const double* vx;
    const double* vy;
    int vertices;  // polygon = the first Count - 1 vertices
    double xmin, xmax, ymin, ymax;
    bool twoD;

    explicit RegionTest(const TGate& gate)
        : g(gate), px(gate.x.data()), py(gate.y.data()), dim(gate.Dimention()),
          ny(std::min<int>(gate.Dimention(), int(gate.y.size()))), vx(gate.cx.data()), vy(gate.cy.data()),
          vertices(std::max(0, std::min<int>(gate.Count(), int(gate.cy.size())) - 1))
    {
        xmin = xmax = vertices > 0 ? vx[0] : 0;
        ymin = ymax = vertices > 0 ? vy[0] : 0;
        for (int i = 1; i < vertices; ++i) {
            if (vx[i] > xmax)
                xmax = vx[i];
            else if (vx[i] < xmin)
                xmin = vx[i];
            if (vy[i] > ymax)
                ymax = vy[i];
            else if (vy[i] < ymin)
                ymin = vy[i];
        }
        // One-dimensional gates on histograms store y bounds of exactly 0.
        twoD = ymin != 0 || ymax != 0;
        if (twoD) buildCells();
    }

    // A shortcut for the polygon test, not a binning: the bounding box is cut
    // into kCells x kCells cells, and a cell that no edge comes near (with a
    // margin far above rounding) lies wholly inside or wholly outside, so its
    // answer is the exact test of its centre. Points in cells an edge touches
    // get the exact test themselves. Saves most polygon tests on large gates.
    static constexpr int kCells = 64;
    std::vector<int8_t> cells;  // 1 inside, 0 outside, -1 an edge passes near
    double cellsPerX = 0, cellsPerY = 0;

    void buildCells()
    {
        if (vertices < 3) return;
        for (int i = 0; i < vertices; ++i)
            if (!std::isfinite(vx[i]) || !std::isfinite(vy[i])) return;
        const double w = xmax - xmin, h = ymax - ymin;
        const double mx = 1e-9 * (std::fabs(xmin) + std::fabs(xmax)), my = 1e-9 * (std::fabs(ymin) + std::fabs(ymax));
        // Cells must be far wider than the margin for the margin to mean anything.
        if (!(w > 1e3 * kCells * mx) || !(h > 1e3 * kCells * my)) return;
        cellsPerX = kCells / w;
        cellsPerY = kCells / h;
        // A box only a few subnormals wide gives infinite cells per unit, and a
        // point on its left edge then a NaN cell index: test such boxes exactly.
        if (!std::isfinite(cellsPerX) || !std::isfinite(cellsPerY)) return;
        cells.assign(size_t(kCells) * kCells, 2);
        const double cw = w / kCells, ch = h / kCells;
        for (int i = 0; i < vertices; ++i) {
            const int j = i + 1 < vertices ? i + 1 : 0;
            const double ax = vx[i], ay = vy[i], bx = vx[j], by = vy[j];
            const int c0 = std::max(0, int((std::min(ax, bx) - xmin) / cw) - 1);
            const int c1 = std::min(kCells - 1, int((std::max(ax, bx) - xmin) / cw) + 1);
            const int r0 = std::max(0, int((std::min(ay, by) - ymin) / ch) - 1);
            const int r1 = std::min(kCells - 1, int((std::max(ay, by) - ymin) / ch) + 1);
            for (int r = r0; r <= r1; ++r)
                for (int c = c0; c <= c1; ++c) {
                    int8_t& cell = cells[size_t(r) * kCells + size_t(c)];
                    if (cell == -1) continue;
                    const double x0 = xmin + c * cw - mx - cw * 1e-6, x1 = xmin + (c + 1) * cw + mx + cw * 1e-6;
                    const double y0 = ymin + r * ch - my - ch * 1e-6, y1 = ymin + (r + 1) * ch + my + ch * 1e-6;
                    if (std::max(ax, bx) < x0 || std::min(ax, bx) > x1 || std::max(ay, by) < y0 ||
                        std::min(ay, by) > y1)
                        continue;
                    // The edge's line leaves all four corners on one side: it misses the cell.
                    auto side = [&](double px_, double py_) { return (bx - ax) * (py_ - ay) - (by - ay) * (px_ - ax); };
                    const double s0 = side(x0, y0), s1 = side(x1, y0), s2 = side(x0, y1), s3 = side(x1, y1);
                    if ((s0 > 0 && s1 > 0 && s2 > 0 && s3 > 0) || (s0 < 0 && s1 < 0 && s2 < 0 && s3 < 0)) continue;
                    cell = -1;
                }
        }
        for (int r = 0; r < kCells; ++r)
            for (int c = 0; c < kCells; ++c) {
                int8_t& cell = cells[size_t(r) * kCells + size_t(c)];
                if (cell != -1)
                    cell = PointInPolygon(xmin + (c + 0.5) * cw, ymin + (r + 0.5) * ch, vx, vy, vertices) ? 1 : 0;
            }
    }

    // Whether the event vector v (n values) passes, Inverse applied.
    bool passes(const double* v, int n) const
    {
        double dx, dy;
        project(v, std::min(n, dim), px, py, ny, g.Normalized, dx, dy);
        return passBit(dx, dy) != 0;
    }

    // The region test of projected coordinates, Inverse applied, as 0 or 1
    // with no branch on where the point lies: about half the events of a
    // typical gate pass, in no order a predictor could learn, and a
    // mispredicted branch per event cost more than the projection. Only points
    // in cells an edge passes near branch off to the exact test.
    [[gnu::always_inline]] int passBit(double dx, double dy) const
    {
        if (g.loglinx) dx = LogToLin(dx);
        if (g.linlogx) dx = LinToLog(dx);
        const int inverse = g.Inverse ? 1 : 0;
        const bool inX = (dx >= xmin) & (dx <= xmax);
        if (!twoD) return int(inX) ^ inverse;
        if (g.logliny) dy = LogToLin(dy);
        if (g.linlogy) dy = LinToLog(dy);
        const bool inBox = inX & (dy >= ymin) & (dy <= ymax);
        if (cells.empty()) return int(inBox && PointInPolygon(dx, dy, vx, vy, vertices)) ^ inverse;
        // Outside the box (NaN included) the cell read is cell 0, and masked.
        const double tx = inBox ? (dx - xmin) * cellsPerX : 0.0;
        const double ty = inBox ? (dy - ymin) * cellsPerY : 0.0;
        const int c = std::min(int(tx), kCells - 1), r = std::min(int(ty), kCells - 1);
        const int cell = cells[size_t(r) * kCells + size_t(c)];
        if ((cell < 0) & inBox) [[unlikely]]
            return int(PointInPolygon(dx, dy, vx, vy, vertices)) ^ inverse;
        return int(inBox & (cell > 0)) ^ inverse;
    }
};

// Plain projection of four consecutive rows at once. Each event's sums run in
// the same order as in project(), so the values are bit-identical; the four
// independent chains only hide the latency of the additions.
inline void project4(const double* row, int stride, int n, const double* x, const double* y, double dx[4],
                     double dy[4])
{
    const double* r0 = row;
    const double* r1 = row + stride;
    const double* r2 = row + 2 * size_t(stride);
    const double* r3 = row + 3 * size_t(stride);
    double x0 = 0, x1 = 0, x2 = 0, x3 = 0, y0 = 0, y1 = 0, y2 = 0, y3 = 0;
    for (int i = 0; i < n; ++i) {
        const double a = x[i], b = y[i];
        if (a != 0) {
            x0 += r0[i] * a;
            x1 += r1[i] * a;
            x2 += r2[i] * a;
            x3 += r3[i] * a;
        }
        if (b != 0) {
            y0 += r0[i] * b;
            y1 += r1[i] * b;
            y2 += r2[i] * b;
            y3 += r3[i] * b;
        }
    }
    dx[0] = x0, dx[1] = x1, dx[2] = x2, dx[3] = x3;
    dy[0] = y0, dy[1] = y1, dy[2] = y2, dy[3] = y3;
}

// Writes the passing events of [begin, end) to out (room for end - begin)
// and returns how many pass; filter is set for PCA gates.
int scanEvents(const TData& P, const RegionTest& test, const TDataFilter* filter, int begin, int end, int32_t* out)
{
    const int cols = P.data.cols();
    int count = 0;
    if (!filter) {
        const double* row = P.data.data() + size_t(begin) * size_t(cols);
        int e = begin;
        const int n = std::min(cols, test.dim);
        if (!test.g.Normalized && test.ny >= n) {
            double dx[4], dy[4];
            for (; e + 4 <= end; e += 4, row += 4 * size_t(cols)) {
                project4(row, cols, n, test.px, test.py, dx, dy);
                // Every candidate is written; the count moves past the passing ones.
                for (int k = 0; k < 4; ++k) {
                    out[count] = e + k;
                    count += test.passBit(dx[k], dy[k]);
                }
            }
        }
        for (; e < end; ++e, row += cols)
            if (test.passes(row, cols)) out[count++] = e;
        return count;
    }
    // The const Pass keeps no state, so the workers share one filter.
    TVector buf(size_t(std::max(filter->WorkLength(cols), 0)));
    for (int e = begin; e < end; ++e) {
        const int n = filter->Pass(P.data[e], cols, buf.data());
        if (test.passes(buf.data(), n)) out[count++] = e;
    }
    return count;
}

TIntVector linkProjection(const TData& P, const TGate& g)
{
    TIntVector result;
    if (g.Count() < 2) return result;
    if (g.kind == TGateType::gtPCAGate && !g.filter) return result;
    const RegionTest test(g);
    const int events = P.events();
    if (events <= 0) return result;
    const TDataFilter* filter = g.kind == TGateType::gtPCAGate ? g.filter.get() : nullptr;

    // Room for every event, left uninitialised: the scan writes each chunk's
    // passing events at the chunk's start, and only what it wrote is read.
    std::unique_ptr<int32_t[]> found(new int32_t[size_t(events)]);
    TMultiThread& pool = gatePool();
    if (events <= kChunkEvents || pool.NumberOfThreads() < 2) {
        const int n = scanEvents(P, test, filter, 0, events, found.get());
        result.assign(found.get(), found.get() + n);
        return result;
    }

    // Concatenating the chunks' lists in chunk order gives exactly the
    // ascending list of the sequential loop.
    const int chunks = (events + kChunkEvents - 1) / kChunkEvents;
    std::vector<int> counts(static_cast<size_t>(chunks), 0);
    std::vector<std::atomic<bool>> done(static_cast<size_t>(chunks));
    pool.Process(
        [&](int, int index, int size, int& count, std::atomic<bool>& aborted) {
            if (aborted) return;
            const size_t chunk = size_t(index / kChunkEvents);
            counts[chunk] = scanEvents(P, test, filter, index, index + size, found.get() + index);
            done[chunk] = true;
            count += size;
        },
        nullptr, events, kChunkEvents);
    // A run stopped from elsewhere leaves chunks behind: finish them here
    // rather than return a partial list.
    size_t total = 0;
    for (int c = 0; c < chunks; ++c) {
        const int begin = c * kChunkEvents;
        if (!done[size_t(c)])
            counts[size_t(c)] =
                scanEvents(P, test, filter, begin, std::min(events, begin + kChunkEvents), found.get() + begin);
        total += size_t(counts[size_t(c)]);
    }
    result.reserve(total);
    for (int c = 0; c < chunks; ++c) {
        const int32_t* part = found.get() + size_t(c) * kChunkEvents;
        result.insert(result.end(), part, part + counts[size_t(c)]);
    }
    return result;
}

// Rows src[link[i]] (pcols values each) to dst[i] (cols values each) for i in
// [begin, end), cut or padded with zeros. Copied 8 values at a time through a
// vector register: a library memcpy of a size known only at run time costs a
// call and a size dispatch per row, and rows are short.
__attribute__((target_clones("avx512f", "avx2", "default"))) void copyRows(double* dst, const double* src,
                                                                             const int32_t* link, int begin, int end,
                                                                             int cols, int pcols)
{
    using V8 = double __attribute__((vector_size(64)));
    const int copy = std::min(cols, pcols);
    for (int i = begin; i < end; ++i) {
        const double* s = src + size_t(link[i]) * size_t(pcols);
        double* d = dst + size_t(i) * size_t(cols);
        int j = 0;
        for (; j + 8 <= copy; j += 8) {
            V8 v;
            std::memcpy(&v, s + j, sizeof v);
            std::memcpy(d + j, &v, sizeof v);
        }
        for (; j < copy; ++j) d[j] = s[j];
        for (; j < cols; ++j) d[j] = 0.0;
    }
}

// Rows of the parent named by K.link into K.data (already sized, contents
// undefined): whole rows, or the sub-channel gate's columns. Each row is
// written exactly once from one parent row, so any split gives the same matrix.
void gatherRows(TData& K, const TData& P)
{
    const int n = K.events();
    const int cols = K.data.cols();
    if (n == 0 || cols == 0) return;
    const int pcols = P.data.cols();
    const int32_t* link = K.link.data();
    const double* src = P.data.data();
    double* dst = K.data.data();
    AdviseHugePages(dst, size_t(n) * size_t(cols) * sizeof(double));
    const bool sub = K.gate && K.gate->kind == TGateType::gtSubChannel;
    const int32_t* channels = sub ? K.gate->ChannelList.data() : nullptr;
    // Rows per chunk: about 1 MB of output, many chunks for the workers to share.
    const int chunk = std::max(1024, int((size_t(1) << 20) / (size_t(cols) * sizeof(double))));
    forAllChunks(&gatePool(), n, chunk, [&](int begin, int end) {
        if (!sub) {
            copyRows(dst, src, link, begin, end, cols, pcols);
            return;
        }
        for (int i = begin; i < end; ++i) {
            const double* s = src + size_t(link[i]) * size_t(pcols);
            double* d = dst + size_t(i) * size_t(cols);
            for (int j = 0; j < cols; ++j) {
                const int c = channels[j];
                d[j] = c >= 0 && c < pcols ? s[c] : 0.0;
            }
        }
    });
}

// The picture part of an image gate's kid: the pixels of Rect, and for a
// sequence every frame cut to Rect.
void cutPicture(TData& K, const TData& P, const TGateRect& r)
{
    const int w = r.right - r.left + 1, h = r.bottom - r.top + 1;
    if (!P.img.empty() && r.right < P.img.width && r.bottom < P.img.height) {
        K.img.width = w;
        K.img.height = h;
        K.img.pixels.assign(size_t(w) * size_t(h), 0);
        for (int row = 0; row < h; ++row)
            std::copy_n(P.img.pixels.data() + size_t(r.top + row) * size_t(P.img.width) + size_t(r.left), w,
                        K.img.pixels.data() + size_t(row) * size_t(w));
    }
    K.seq.clear();
    if (!P.IsSequence()) return;
    K.RGBTab = P.RGBTab;
    for (const QCam_Frame& f : P.seq) {
        QCam_Frame cut = f;
        // Float frames (format 13) hold 4 bytes a pixel, byte frames 1.
        const int bpp = f.format == 13 ? 4 : 1;
        cut.width = uint32_t(w);
        cut.height = uint32_t(h);
        cut.buffer.assign(size_t(w) * size_t(h) * size_t(bpp), 0);
        const size_t rowBytes = size_t(w) * size_t(bpp);
        for (int row = 0; row < h; ++row) {
            const size_t from = (size_t(r.top + row) * size_t(f.width) + size_t(r.left)) * size_t(bpp);
            if (from + rowBytes <= f.buffer.size())
                std::memcpy(cut.buffer.data() + size_t(row) * rowBytes, f.buffer.data() + from, rowBytes);
        }
        cut.bufferSize = cut.size = uint32_t(cut.buffer.size());
        K.seq.push_back(std::move(cut));
    }
    K.seqmin = K.Absmin();
    K.seqmax = K.Absmax();
    if (K.seqmax != K.seqmin) K.seqnorm = 255.0 / (K.seqmax - K.seqmin);
}

// Relink without the final repaint, so that a whole subtree is recomputed
// and painted once.
void relinkTree(TData& K, TIntVector newlink)
{
    TData* P = K.Parent();
    if (!P) return;
    const int parentEvents = P->events();
    // A subset gate keeps its indices while its parent changes under it:
    // entries that no longer name a parent event are dropped.
    std::erase_if(newlink, [parentEvents](int32_t l) { return l < 0 || l >= parentEvents; });

    const bool sub = K.gate && K.gate->kind == TGateType::gtSubChannel;
    const int cols = sub ? int(K.gate->ChannelList.size()) : P->CaseSize();
    const int n = int(newlink.size());
    K.data.clear();
    K.fevents = 0;
    if (cols != K.CaseSize()) K.setCaseSize(cols);
    // Same columns as the parent: share its descriptors (again, or anew
    // after the parent's columns were rearranged).
    if (!sub) K.ShareDescriptors(P);
    // Link and matrix get their final sizes first, so that setEvents has
    // nothing left to zero-fill: gatherRows writes every cell.
    K.link = std::move(newlink);
    K.data.resizeForOverwrite(n);
    K.setEvents(n);
    gatherRows(K, *P);

    if (K.gate && K.gate->kind == TGateType::gtImage && P->IsPicture() && rectInsidePicture(*P, K.gate->Rect))
        cutPicture(K, *P, K.gate->Rect);

    for (TData* kid : K.Kids())
        if (kid->gate) relinkTree(*kid, K.CreateLink(*kid->gate));
}

bool verticesDiffer(const TGate& d, const TGate& s)
{
    if (d.Count() != s.Count() || d.cy.size() != s.cy.size()) return true;
    auto differ = [](double a, double b) { return !(std::fabs(a - b) <= std::fabs(a) * 0.001); };
    for (size_t i = 0; i < d.cx.size(); ++i)
        if (differ(d.cx[i], s.cx[i])) return true;
    for (size_t i = 0; i < d.cy.size(); ++i)
        if (differ(d.cy[i], s.cy[i])) return true;
    return false;
}

bool isAncestorOrSelf(const TData* ancestor, const TData* d)
{
    for (; d; d = d->Parent())
        if (d == ancestor) return true;
    return false;
}

void appendInt(std::string& out, long long v)
{
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    out.append(buf, end);
}

}  // namespace

void setGatePool(TMultiThread* pool) { installedPool = pool; }

TMultiThread& gatePool()
{
    if (installedPool) return *installedPool;
    static TMultiThread fallback(0);
    return fallback;
}

void setGateBusyHook(void (*hook)(bool busy)) { busyHook = hook; }

void TData::ProjectToGate(const double* v, int n, const TGate& gate, double& dx, double& dy)
{
    const int dim = std::min(n, gate.Dimention());
    project(v, dim, gate.x.data(), gate.y.data(), std::min<int>(dim, int(gate.y.size())), gate.Normalized, dx, dy);
}

TIntVector TData::CreateLink(const TGate& gate) const
{
    BusyCursor busy;
    TIntVector result;
    switch (gate.kind) {
    case TGateType::gtGate:
    case TGateType::gtPCAGate:
        return linkProjection(*this, gate);
    case TGateType::gtSubset:
        for (int32_t e : gate.ChannelList)
            if (e >= 0 && e < fevents) result.push_back(e);
        return result;
    case TGateType::gtImage: {
        const int w = pictureWidth(*this);
        if (w <= 0) return result;
        const TGateRect& r = gate.Rect;
        const int left = std::max(r.left, 0), right = std::min(r.right, w - 1);
        for (int row = std::max(r.top, 0); row <= r.bottom; ++row)
            for (int col = left; col <= right; ++col) {
                const int64_t e = int64_t(row) * w + col;
                if (e >= fevents) return result;
                result.push_back(int32_t(e));
            }
        return result;
    }
    case TGateType::gtSubChannel:
        result.resize(size_t(fevents));
        for (int e = 0; e < fevents; ++e) result[size_t(e)] = e;
        return result;
    case TGateType::gtRule:
        if (gate.rule) result = gate.rule->Select(*this);
        return result;
    default:
        return result;
    }
}

TData* TData::Gated(TData* parent, const TGate* gate)
{
    // A data set removed from the workspace gets no kids: nothing would hold them.
    if (!parent || !gate || parent->Deleted()) return nullptr;
    switch (gate->kind) {
    case TGateType::gtGate:
        if (gate->Dimention() != parent->CaseSize()) return nullptr;
        break;
    case TGateType::gtPCAGate:
        if (!gate->filter) return nullptr;
        break;
    case TGateType::gtSubset:
        for (int32_t e : gate->ChannelList)
            if (e < 0 || e >= parent->events()) return nullptr;
        break;
    case TGateType::gtImage:
        if (!rectInsidePicture(*parent, gate->Rect)) return nullptr;
        break;
    case TGateType::gtRule:
        if (!gate->rule) return nullptr;
        break;
    case TGateType::gtSubChannel: {
        // Every entry is checked, not just the last: a list read from a
        // damaged protocol need not be in order.
        const TIntVector& list = gate->ChannelList;
        const int columns = std::min(parent->CaseSize(), int(parent->Desc().size()));
        if (list.empty()) return nullptr;
        for (int32_t c : list)
            if (c < 0 || c >= columns) return nullptr;
        break;
    }
    default:
        return nullptr;
    }

    std::string name = gate->name;
    if (trimmed(name).empty()) name = Workspace ? Workspace->CreateName(parent, "Gate") : TDataList().CreateName(parent, "Gate");

    TData* kid = TData::Create(name, parent);
    try {
        kid->gate = TGate::Copy(*gate);
        kid->gate->name = name;
        if (gate->kind == TGateType::gtSubChannel) {
            const TIntVector& list = gate->ChannelList;
            auto desc = std::make_shared<TDescriptorVector>();
            for (int32_t c : list) desc->push_back(parent->Desc()[size_t(c)]);
            kid->fDesc = std::move(desc);
            kid->fcasesize = int(list.size());
            kid->summa.assign(list.size(), 0.0);
            kid->data.resize(0, kid->fcasesize);
        }
        kid->Relink(parent->CreateLink(*kid->gate));
        kid->SetColors(kid->gate->color);
    } catch (...) {
        delete kid;
        throw;
    }
    return kid;
}

void TData::Relink(TIntVector newlink)
{
    if (!fParent) return;
    relinkTree(*this, std::move(newlink));
    Grandpa()->UpdateColors();
}

void TData::CopyGates(TData* source)
{
    // Copying a tree into itself would grow it without end.
    if (!source || isAncestorOrSelf(source, this)) return;
    for (TData* S : source->Kids()) {
        if (!S->gate) continue;
        TData* D = GetKidByName(S->gate->name);
        if (!D) {
            D = Gated(this, S->gate.get());
            if (!D) continue;
            if (!Workspace) {
                Free(D);
                continue;
            }
            Workspace->Add(D);
            D->CopyGates(S);
        } else if (verticesDiffer(*D->gate, *S->gate)) {
            D->gate->cx = S->gate->cx;
            D->gate->cy = S->gate->cy;
            D->Relink(CreateLink(*D->gate));
        }
    }
    source->Grandpa()->UpdateColors();
}

GateTable TData::CreateGateTable() const
{
    GateTable t;
    const std::vector<TData*> offspring = Offspring();
    t.rows = fevents;
    t.cols = int(offspring.size());
    t.cells.assign(size_t(t.rows) * size_t(t.cols), 0);
    // Each offspring's events as indices of this data set; parents come
    // before their kids in depth-first order, so one step up is enough.
    std::unordered_map<const TData*, TIntVector> up;
    for (int k = 0; k < t.cols; ++k) {
        const TData* o = offspring[size_t(k)];
        const TIntVector* parentMap = o->Parent() == this ? nullptr : &up[o->Parent()];
        TIntVector map(o->link.size(), -1);
        for (size_t i = 0; i < o->link.size(); ++i) {
            int32_t l = o->link[i];
            if (parentMap) l = l >= 0 && size_t(l) < parentMap->size() ? (*parentMap)[size_t(l)] : -1;
            map[i] = l;
            if (l >= 0 && l < t.rows) t.cells[size_t(l) * size_t(t.cols) + size_t(k)] = 1;
        }
        up[o] = std::move(map);
    }
    return t;
}

void TData::AddGateTable()
{
    if (fevents == 0) return;
    const std::vector<TData*> offspring = Offspring();
    if (offspring.empty()) return;
    const GateTable t = CreateGateTable();
    const int old = fcasesize;
    setCaseSize(old + t.cols);
    for (int k = 0; k < t.cols; ++k) Desc()[size_t(old + k)].name = offspring[size_t(k)]->FullName();
    for (int e = 0; e < fevents; ++e) {
        double* row = data[e];
        for (int k = 0; k < t.cols; ++k) row[old + k] = double(t.at(e, k));
    }
}

void TData::SaveGateTable(const std::string& filename) const
{
    if (fevents == 0) return;
    const std::vector<TData*> offspring = Offspring();
    const GateTable t = CreateGateTable();
    std::ofstream out(filename, std::ios::binary | std::ios::trunc);
    if (!out) throw OrvalaError("Cannot write the gate table to " + filename);
    std::string buf = "Event_N";
    for (const TData* o : offspring) buf += "\t" + o->FullName();
    buf += "\r\n";
    for (int e = 0; e < t.rows; ++e) {
        appendInt(buf, e);
        for (int k = 0; k < t.cols; ++k) buf += t.at(e, k) ? "\t1" : "\t0";
        buf += "\r\n";
        if (buf.size() >= (1u << 20)) {
            out.write(buf.data(), std::streamsize(buf.size()));
            buf.clear();
        }
    }
    out.write(buf.data(), std::streamsize(buf.size()));
    out.close();
    if (!out) throw OrvalaError("Cannot write the gate table to " + filename);
}

int BreedGates(TData* source)
{
    if (!source || !TData::Workspace) return 0;
    std::vector<TData*> roots;
    for (TData* d : TData::Workspace->items())
        if (d != source && !d->Parent()) roots.push_back(d);
    for (TData* root : roots) root->CopyGates(source);
    return int(roots.size());
}

}  // namespace orvala
