// Reading the DATA segment of a TDataSet and building its finished value matrix.
#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "BufferedReader.h"
#include "FcsErrors.h"
#include "TDataSet.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

constexpr size_t BlockBytes = size_t(1) << 20;  // one bulk read; stays in the second-level cache
constexpr size_t ScratchBytes = size_t(1) << 18;  // file bytes per block when only the ranges are wanted
constexpr int RowChunk = 16384;                  // rows per work item of the result passes

uint64_t loadLE(const uint8_t* src, const TDataSet::ParPlan& p)
{
    uint8_t b[8] = {};
    for (int i = 0; i < p.width; ++i) b[p.pos[i]] = src[i];
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return v;
}

double prismBits(double v)
{
    const double r = std::nearbyint(v);
    if (!(std::fabs(r) < 9.0e18)) return 0;
    return double(int64_t(r) & 63);
}

double floatOf(uint64_t bits, char kind)
{
    if (kind == 'D') return double(float(std::bit_cast<double>(bits)));
    return double(std::bit_cast<float>(uint32_t(bits)));
}

// Runs fn(first, end, thread, aborted) over row ranges, on the pool when there is
// one and the work is worth splitting. A run stopped from outside leaves rows
// unread or unconverted: that is an error of the reading, never a result.
template <class Fn>
void forRowRanges(TMultiThread* pool, int rows, int chunk, Fn&& fn)
{
    if (!pool || pool->NumberOfThreads() < 2 || rows < 2 * chunk) {
        std::atomic<bool> aborted{false};
        fn(0, rows, 0, aborted);
        return;
    }
    pool->Process(
        [&](int thread, int index, int size, int& count, std::atomic<bool>& aborted) {
            fn(index, index + size, thread, aborted);
            count += size;
        },
        nullptr, rows, chunk);
    if (pool->Aborted()) throw OrvalaError("Reading the values was interrupted");
}

int threadsOf(TMultiThread* pool) { return pool ? std::max(pool->NumberOfThreads(), 1) : 1; }

struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    // Branch-free min/max; a NaN leaves both as they are.
    void add(double x)
    {
        lo = x < lo ? x : lo;
        hi = hi < x ? x : hi;
    }
    void merge(const Range& o)
    {
        lo = std::min(lo, o.lo);
        hi = std::max(hi, o.hi);
    }
    bool valid() const { return lo <= hi; }
};

// Smallest and largest value of each column flagged in want; min and max are
// exact, so the split over the pool changes nothing.
std::vector<Range> columnRanges(const DataMatrix& m, const std::vector<char>& want, TMultiThread* pool)
{
    const int cols = m.cols();
    std::vector<std::vector<Range>> perThread(size_t(threadsOf(pool)), std::vector<Range>(size_t(cols)));
    forRowRanges(pool, m.rows(), RowChunk, [&](int r0, int r1, int thread, std::atomic<bool>& aborted) {
        auto& acc = perThread[size_t(thread)];
        for (int r = r0; r < r1 && !aborted; ++r) {
            const double* row = m[r];
            for (int c = 0; c < cols; ++c)
                if (want[size_t(c)]) acc[size_t(c)].add(row[c]);
        }
    });
    std::vector<Range> result(static_cast<size_t>(cols));
    for (const auto& acc : perThread)
        for (int c = 0; c < cols; ++c) result[size_t(c)].merge(acc[size_t(c)]);
    return result;
}

// Smallest and largest value per column over count rows of cols values, added
// to lo and hi: per value `x < lo ? x : lo` and `hi < x ? x : hi`, so a NaN
// changes neither and of equal values (two zeros) the earlier one stays. Whole
// registers of columns at a time, written out, because the compiler at -O2
// leaves a loop of unknown length scalar; each lane does what the scalar
// expression does, so the result is the same bit for bit.
// rows may be any bytes (a block as read from the file): they are loaded by memcpy.
template <class T>
void addRowsTo(const void* rows, int count, int cols, T* __restrict lo, T* __restrict hi)
{
    typedef T V __attribute__((vector_size(16)));
    constexpr int W = int(sizeof(V) / sizeof(T));
    const int whole = cols / W * W;
    for (int r = 0; r < count; ++r) {
        const auto* row = static_cast<const unsigned char*>(rows) + size_t(r) * size_t(cols) * sizeof(T);
        int c = 0;
        for (; c < whole; c += W) {
            V x, l, h;
            std::memcpy(&x, row + c * sizeof(T), sizeof x);
            std::memcpy(&l, lo + c, sizeof l);
            std::memcpy(&h, hi + c, sizeof h);
            l = x < l ? x : l;
            h = h < x ? x : h;
            std::memcpy(lo + c, &l, sizeof l);
            std::memcpy(hi + c, &h, sizeof h);
        }
        for (; c < cols; ++c) {
            T x;
            std::memcpy(&x, row + c * sizeof(T), sizeof x);
            lo[c] = x < lo[c] ? x : lo[c];
            hi[c] = hi[c] < x ? x : hi[c];
        }
    }
}

// Reverses the bytes of each of the count 32-bit words at p, in place.
void swapWords32(uint8_t* p, size_t count)
{
    typedef uint8_t B __attribute__((vector_size(16)));
    [[maybe_unused]] const B order = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        B v;
        std::memcpy(&v, p + 4 * i, sizeof v);
#if defined(__clang__)
        v = __builtin_shufflevector(v, v, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
#else
        v = __builtin_shuffle(v, order);
#endif
        std::memcpy(p + 4 * i, &v, sizeof v);
    }
    for (; i < count; ++i) {
        uint32_t u;
        std::memcpy(&u, p + 4 * i, 4);
        u = __builtin_bswap32(u);
        std::memcpy(p + 4 * i, &u, 4);
    }
}

// result[i] = sum over j of spill_inv[j][i] * raw[j], summed in j order; the
// outputs are independent, so the inner loop runs over them. inv is spill_inv
// row by row; raw and out are k doubles of scratch.
void compensateRow(double* __restrict row, const int32_t* __restrict inds, const double* __restrict inv, int k,
                   double* __restrict raw, double* __restrict out)
{
    for (int j = 0; j < k; ++j) {
        raw[j] = row[inds[j]];
        out[j] = 0;
    }
    for (int j = 0; j < k; ++j) {
        const double* w = inv + size_t(j) * size_t(k);
        const double r = raw[j];
        for (int i = 0; i < k; ++i) out[i] += w[i] * r;
    }
    for (int i = 0; i < k; ++i) row[inds[i]] = double(float(out[i]));
}

struct Ranges {
    std::vector<double> lo, hi;
    explicit Ranges(int cols = 0)
        : lo(static_cast<size_t>(cols), std::numeric_limits<double>::infinity()),
          hi(static_cast<size_t>(cols), -std::numeric_limits<double>::infinity())
    {
    }
    void addRows(const double* rows, int count) { addRowsTo<double>(rows, count, int(lo.size()), lo.data(), hi.data()); }
    void merge(const Ranges& o)
    {
        for (size_t c = 0; c < lo.size(); ++c) {
            lo[c] = std::min(lo[c], o.lo[c]);
            hi[c] = std::max(hi[c], o.hi[c]);
        }
    }
    Range at(int c) const
    {
        Range r;
        r.lo = lo[size_t(c)];
        r.hi = hi[size_t(c)];
        return r;
    }
};

// Maps the pages of a fresh allocation on all workers at once. The first touch
// of a large block costs the kernel a fault and a zeroed page per 4 KiB; left
// to the single thread that zero-fills the matrix, that is most of the time
// of opening a large file. Contents are not changed; where the kernel cannot
// do it (before Linux 5.14, other systems) this does nothing.
void prefaultForWrite(void* begin, size_t bytes, TMultiThread* pool)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr size_t Page = 4096;
    constexpr size_t Slice = size_t(8) << 20;
    const uintptr_t b = (uintptr_t(begin) + Page - 1) & ~uintptr_t(Page - 1);
    const uintptr_t e = (uintptr_t(begin) + bytes) & ~uintptr_t(Page - 1);
    if (e <= b || e - b < 4 * Slice || !pool || pool->NumberOfThreads() < 2) return;
#ifdef MADV_HUGEPAGE
    // Huge pages where the system allows them on request: 512 times fewer
    // faults for a matrix of hundreds of megabytes.
    ::madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
#endif
    const int slices = int((e - b + Slice - 1) / Slice);
    forRowRanges(pool, slices, 1, [&](int s0, int s1, int, std::atomic<bool>&) {
        for (int sl = s0; sl < s1; ++sl) {
            const uintptr_t from = b + size_t(sl) * Slice;
            const uintptr_t to = std::min<uintptr_t>(from + Slice, e);
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
        }
    });
#else
    (void)begin;
    (void)bytes;
    (void)pool;
#endif
}

}  // namespace

// ---------------------------------------------------------------- decoding

void TDataSet::outputIntegers(const uint64_t* ints, double* out) const
{
    const Layout& L = layout_;
    int j = 0;
    for (int n = 1; n <= int(L.pars.size()); ++n) {
        if (n == L.eventCountPar || n == L.timeMSW) continue;
        const uint64_t u = ints[n - 1];
        double v;
        if (n == L.timeLSW) {
            const uint64_t high = L.timeBitSize < 64 ? ints[L.timeMSW - 1] << L.timeBitSize : 0;
            v = double(int64_t(u | high));
            if (L.timestep != 0) v *= L.timestep;
        } else if (n == L.timePar && L.timestep != 0) {
            v = double(u) * L.timestep;
        } else {
            v = double(u);
        }
        out[j++] = double(float(v));
    }
}

void TDataSet::decodeEvent(const uint8_t* ev, double* out, uint64_t* ints) const
{
    const Layout& L = layout_;
    const int n = int(L.pars.size());
    if (L.type != 'I') {
        for (int p = 0; p < n; ++p) {
            const ParPlan& plan = L.pars[size_t(p)];
            double v = floatOf(loadLE(ev + plan.offset, plan), L.type);
            if (plan.prism) v = prismBits(v);
            out[p] = v;
        }
        return;
    }
    for (int p = 0; p < n; ++p) {
        const ParPlan& plan = L.pars[size_t(p)];
        uint64_t u = loadLE(ev + plan.offset, plan) & plan.mask;
        if (plan.prism) u &= 63;
        ints[p] = u;
    }
    outputIntegers(ints, out);
}

int64_t TDataSet::checkedEventCount(int64_t start, int64_t& avail, MessageSink& sink)
{
    const Layout& L = layout_;
    const int cols = std::max(L.outputs, 0);
    const int64_t size = EndLimit > 0 ? std::min(source_->size(), EndLimit) : source_->size();
    avail = start >= 0 && start < size ? size - start : 0;
    const bool bitPacked = compressed && L.type == 'I';
    int64_t complete = 0;
    if (notimplemented)
        complete = avail / std::max(cols, 1);
    else if (freeFormat)
        complete = (avail + 1) / 2 / std::max(cols, 1);  // a value and its delimiter: two bytes, the last one alone
    else if (bitPacked)
        complete = L.eventBits > 0 ? int64_t((__int128(avail) * 8) / L.eventBits) : 0;
    else
        complete = L.eventBytes > 0 ? avail / L.eventBytes : 0;

    // The values are checked against the bytes that hold them before anything is allocated.
    int64_t tot = std::max<int64_t>(Text->tot, 0);
    if (tot > complete) {
        sink.message("Bad FCS File");
        tot = complete;
    }
    const int64_t maxRows = cols > 0 ? std::min<int64_t>(INT_MAX, int64_t(PTRDIFF_MAX / 8) / cols) : INT_MAX;
    if (tot > maxRows) {
        sink.message("Bad FCS File");
        tot = maxRows;
    }
    Text->tot = tot;
    return tot;
}

void TDataSet::ReadValues(DataMatrix& out, TMultiThread* pool)
{
    MessageSink& sink = *sink_;
    const int cols = std::max(layout_.outputs, 0);
    rawRangesValid_ = false;
    if (!Text || Text->par_Count <= 0 || layout_.pars.empty()) {
        out.resize(0, cols);
        if (Text) Text->tot = 0;
        return;
    }
    if (!source_) throw OrvalaError("The values of this data set can no longer be read");

    const Layout& L = layout_;
    const int64_t start = dataStart();
    int64_t avail = 0;
    const int64_t tot = checkedEventCount(start, avail, sink);
    out.resize(0, cols);
    out.reserveRows(int(tot));
    rawLo_.assign(size_t(cols), notimplemented && tot > 0 ? 0.0 : std::numeric_limits<double>::infinity());
    rawHi_.assign(size_t(cols), notimplemented && tot > 0 ? 0.0 : -std::numeric_limits<double>::infinity());
    if (notimplemented || tot == 0 || cols == 0) {
        out.resize(int(tot), cols);
        rawRangesValid_ = true;
        return;
    }
    // Every cell is written by the decoders below (a short read cuts the rows),
    // so the block is neither zero-filled nor touched on one thread first.
    prefaultForWrite(out.data(), size_t(tot) * size_t(cols) * sizeof(double), pool);
    out.resizeForOverwrite(int(tot));

    if (freeFormat)
        readFreeFormat(out, start, start + avail, sink);
    else if (L.type == 'A' || (compressed && L.type == 'I'))
        readSequential(out, start, sink);
    else
        readBulk(out, start, pool, sink);
}

bool TDataSet::rangesWithoutMatrix() const
{
    const Layout& L = layout_;
    if (!Text || Text->par_Count <= 0 || L.pars.empty() || L.outputs != Text->par_Count) return false;
    // Only the block decoder's layouts: byte-aligned binary values of fixed width.
    if (notimplemented || freeFormat || L.type == 'A' || (compressed && L.type == 'I') || L.eventBytes <= 0)
        return false;
    // Events of more than 16 KB (thousands of parameters) would leave blocks of
    // only a few events, and the ranges kept per block would outgrow the matrix.
    if (L.eventBytes > int64_t(BlockBytes / 64)) return false;
    if (!spillover.empty() && ApplySpillover && !spill_inv.empty()) return false;
    for (const TPar& p : Text->pars)
        if (p.decade > 0) return false;
    for (bool log : logpar)
        if (log) return false;
    return true;
}

bool TDataSet::valueRanges(std::vector<double>& lo, std::vector<double>& hi, TMultiThread* pool)
{
    if (!rangesWithoutMatrix()) return false;
    if (!source_) throw OrvalaError("The values of this data set can no longer be read");
    const int cols = layout_.outputs;
    const int64_t start = dataStart();
    int64_t avail = 0;
    const int rows = int(checkedEventCount(start, avail, *sink_));
    lo.assign(size_t(cols), std::numeric_limits<double>::infinity());
    hi.assign(size_t(cols), -std::numeric_limits<double>::infinity());
    if (rows == 0) return true;

    // The blocks of readBulk, so that a file that shrinks while it is read is
    // cut at the same event.
    const int64_t eb = layout_.eventBytes;
    const int blockEvents = int(std::max<int64_t>(1, int64_t(BlockBytes) / eb));
    const int blocks = int((int64_t(rows) + blockEvents - 1) / blockEvents);
    // Each block is read and decoded in parts of about 256 KB of the file, which
    // stay in the second-level cache for the range pass.
    const int partEvents = int(std::max<int64_t>(1, int64_t(ScratchBytes) / eb));
    // Ranges per block, merged in block order below: of two zero extremes the
    // one read first wins, as in a single pass over the events.
    std::vector<double> blockLo(size_t(blocks) * size_t(cols), std::numeric_limits<double>::infinity());
    std::vector<double> blockHi(size_t(blocks) * size_t(cols), -std::numeric_limits<double>::infinity());
    const BulkShape shape = bulkShape();
    // Floats widen to doubles exactly and in order, zeros keep their sign and
    // NaN stays NaN: the ranges of the floats as stored are those of the
    // doubles they become, so they are taken without decoding.
    const bool floatRanges = shape.floats32 && int(layout_.pars.size()) == cols;
    const int threads = threadsOf(pool);
    std::vector<std::vector<double>> scratch(static_cast<size_t>(threads));
    std::vector<std::vector<float>> floatScratch(static_cast<size_t>(threads));
    std::vector<std::vector<uint64_t>> ints(static_cast<size_t>(threads), std::vector<uint64_t>(layout_.pars.size()));
    const int complete = readBlocks(start, rows, blockEvents, partEvents, pool,
                                    [&](uint8_t* bytes, int block, int, int count, int thread) {
        double* bLo = blockLo.data() + size_t(block / blockEvents) * size_t(cols);
        double* bHi = blockHi.data() + size_t(block / blockEvents) * size_t(cols);
        if (floatRanges) {
            if (shape.reversed4) swapWords32(bytes, size_t(count) * size_t(cols));
            auto& range = floatScratch[size_t(thread)];
            range.assign(size_t(cols), std::numeric_limits<float>::infinity());
            range.resize(2 * size_t(cols), -std::numeric_limits<float>::infinity());
            addRowsTo<float>(bytes, count, cols, range.data(), range.data() + cols);
            // Parts of a block come in order: merging keeps the first of equal extremes.
            for (int c = 0; c < cols; ++c) {
                bLo[c] = std::min(bLo[c], double(range[size_t(c)]));
                bHi[c] = std::max(bHi[c], double(range[size_t(cols + c)]));
            }
            return;
        }
        auto& decoded = scratch[size_t(thread)];
        decoded.resize(size_t(count) * size_t(cols));
        decodeBlock(shape, bytes, count, decoded.data(), ints[size_t(thread)].data());
        addRowsTo<double>(decoded.data(), count, cols, bLo, bHi);
    });
    if (complete < rows) {
        // As ReadValues: only the complete events read so far.
        sink_->message("Bad FCS File");
        Text->tot = complete;
    }
    // A block that could not be read starts at `complete`; every block before it was read whole.
    const int blocksRead = int((int64_t(complete) + blockEvents - 1) / blockEvents);
    for (int b = 0; b < blocksRead; ++b)
        for (int c = 0; c < cols; ++c) {
            const size_t at = size_t(b) * size_t(cols) + size_t(c);
            lo[size_t(c)] = std::min(lo[size_t(c)], blockLo[at]);
            hi[size_t(c)] = std::max(hi[size_t(c)], blockHi[at]);
        }
    return true;
}

void TDataSet::readSequential(DataMatrix& out, int64_t start, MessageSink& sink)
{
    const Layout& L = layout_;
    BufferedReader reader(*source_);
    reader.setPosition(start);
    const int n = int(L.pars.size());
    std::vector<uint64_t> ints(static_cast<size_t>(n));
    std::string field;
    Ranges acc(out.cols());
    int e = 0;
    try {
        for (; e < out.rows(); ++e) {
            double* row = out[e];
            if (L.type == 'A') {
                for (int p = 0; p < n; ++p) {
                    const ParPlan& plan = L.pars[size_t(p)];
                    field.resize(size_t(plan.width));
                    if (reader.Read(field.data(), field.size()) != field.size())
                        throw EFCSBadFile("File size is smaller then it is supposed to be");
                    int64_t v = 0;
                    if (!parseFcsInt(field, v)) v = 0;
                    double x = double(float(double(v)));
                    if (plan.prism) x = prismBits(x);
                    row[p] = x;
                }
            } else {
                for (int p = 0; p < n; ++p) {
                    const ParPlan& plan = L.pars[size_t(p)];
                    // Bits read one by one, most significant first, have no byte
                    // order: $BYTEORD describes whole stored bytes only.
                    uint64_t u = reader.ReadUB(plan.bits) & plan.mask;
                    if (plan.prism) u &= 63;
                    ints[size_t(p)] = u;
                }
                outputIntegers(ints.data(), row);
            }
            acc.addRows(row, 1);
        }
    } catch (const EFCSBadFile&) {
        // Keep the complete events read so far, never events that were not measured.
        sink.message("Bad FCS File");
        out.setRows(e);
        Text->tot = e;
    }
    rawLo_ = acc.lo;
    rawHi_ = acc.hi;
    rawRangesValid_ = true;
}

void TDataSet::readFreeFormat(DataMatrix& out, int64_t start, int64_t end, MessageSink& sink)
{
    // Values follow each other row by row; any run of blanks, tabs, commas,
    // carriage returns and line feeds separates two of them.
    BufferedReader reader(*source_);
    reader.setPosition(start);
    const int cols = out.cols();
    const int64_t want = int64_t(out.rows()) * cols;
    double* dst = out.data();
    int64_t filled = 0;
    constexpr size_t MaxToken = 64;  // longer is no number: it reads 0 like an unreadable field
    std::string token;
    bool tooLong = false;
    auto flush = [&] {
        if (token.empty() && !tooLong) return;
        double v = 0;
        if (tooLong || !parseFcsFloat(token, v)) v = 0;
        dst[filled++] = double(float(v));
        token.clear();
        tooLong = false;
    };
    std::vector<char> buf(size_t(1) << 16);
    for (int64_t pos = start; pos < end && filled < want;) {
        const size_t n = reader.Read(buf.data(), size_t(std::min<int64_t>(int64_t(buf.size()), end - pos)));
        if (n == 0) break;
        for (size_t i = 0; i < n && filled < want; ++i) {
            const char c = buf[i];
            if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n')
                flush();
            else if (token.size() < MaxToken)
                token.push_back(c);
            else
                tooLong = true;
        }
        pos += int64_t(n);
    }
    if (filled < want) flush();
    if (filled < want) {
        // Keep the complete events read, never values that are not there.
        sink.message("Bad FCS File");
        const int complete = int(filled / std::max(cols, 1));
        out.setRows(complete);
        Text->tot = complete;
    }
    Ranges acc(cols);
    acc.addRows(out.rows() > 0 ? out[0] : nullptr, out.rows());
    rawLo_ = acc.lo;
    rawHi_ = acc.hi;
    rawRangesValid_ = true;
}

TDataSet::BulkShape TDataSet::bulkShape() const
{
    // Fast shapes: all 32-bit floats in one order, or all 16-bit integers without
    // time words; everything else goes value by value through the plan.
    const Layout& L = layout_;
    const int n = int(L.pars.size());
    const ParPlan& first = L.pars[0];
    bool sameOrder = true, anyPrism = false;
    for (const ParPlan& p : L.pars) {
        sameOrder = sameOrder && p.width == first.width && std::equal(p.pos, p.pos + 8, first.pos);
        anyPrism = anyPrism || p.prism;
    }
    const bool identity4 = first.pos[0] == 0 && first.pos[1] == 1 && first.pos[2] == 2 && first.pos[3] == 3;
    const bool reversed4 = first.pos[0] == 3 && first.pos[1] == 2 && first.pos[2] == 1 && first.pos[3] == 0;
    BulkShape shape;
    shape.floats32 = L.type == 'F' && sameOrder && first.width == 4 && (identity4 || reversed4) && !anyPrism;
    shape.reversed4 = shape.floats32 && reversed4;
    shape.ints16 = L.type == 'I' && sameOrder && first.width == 2 && !anyPrism && L.timeLSW == 0 &&
                   L.eventCountPar == 0 && (L.timePar == 0 || L.timestep == 0) && L.outputs == n;
    shape.swap16 = first.pos[0] == 1;
    for (const ParPlan& p : L.pars) shape.masks16.push_back(uint16_t(p.mask & 0xFFFFu));
    return shape;
}

void TDataSet::decodeBlock(const BulkShape& shape, const uint8_t* src, int events, double* dst, uint64_t* ints) const
{
    const Layout& L = layout_;
    const int n = int(L.pars.size());
    const int cols = L.outputs;
    const int64_t eb = L.eventBytes;
    if (shape.floats32) {
        const size_t count = size_t(events) * size_t(n);
        if (shape.reversed4) {
            for (size_t i = 0; i < count; ++i) {
                uint32_t u;
                std::memcpy(&u, src + 4 * i, 4);
                dst[i] = double(std::bit_cast<float>(__builtin_bswap32(u)));
            }
        } else {
            for (size_t i = 0; i < count; ++i) {
                float f;
                std::memcpy(&f, src + 4 * i, 4);
                dst[i] = double(f);
            }
        }
    } else if (shape.ints16) {
        for (int e = 0; e < events; ++e) {
            const uint8_t* ev = src + size_t(e) * size_t(eb);
            double* row = dst + size_t(e) * size_t(cols);
            for (int p = 0; p < n; ++p) {
                const uint8_t a = ev[2 * p], b = ev[2 * p + 1];
                const uint16_t u = shape.swap16 ? uint16_t(a << 8 | b) : uint16_t(b << 8 | a);
                row[p] = double(u & shape.masks16[size_t(p)]);
            }
        }
    } else {
        for (int e = 0; e < events; ++e) decodeEvent(src + size_t(e) * size_t(eb), dst + size_t(e) * size_t(cols), ints);
    }
}

template <class OnPart>
int TDataSet::readBlocks(int64_t start, int rows, int blockEvents, int partEvents, TMultiThread* pool,
                         OnPart&& onPart) const
{
    const int64_t eb = layout_.eventBytes;
    partEvents = std::clamp(partEvents, 1, blockEvents);
    std::vector<std::vector<uint8_t>> buffers(static_cast<size_t>(threadsOf(pool)));
    // First event a worker could not read; rows from there on were never handed on.
    std::atomic<int> firstMissing{rows};
    const ByteSource& src = *source_;
    forRowRanges(pool, rows, blockEvents * 2, [&](int r0, int r1, int thread, std::atomic<bool>& aborted) {
        auto& buf = buffers[size_t(thread)];
        for (int e = r0; e < r1 && !aborted; e += blockEvents) {
            const int count = std::min(blockEvents, r1 - e);
            for (int p = e; p < e + count; p += partEvents) {
                const int part = std::min(partEvents, e + count - p);
                const size_t bytes = size_t(part) * size_t(eb);
                buf.resize(bytes);
                if (src.readAt(start + int64_t(p) * eb, buf.data(), bytes) != bytes) {
                    // The file shrank after its size was taken: the whole block is missing.
                    int seen = firstMissing.load();
                    while (e < seen && !firstMissing.compare_exchange_weak(seen, e)) {
                    }
                    return;
                }
                onPart(buf.data(), e, p, part, thread);
            }
        }
    });
    return firstMissing;
}

void TDataSet::readBulk(DataMatrix& out, int64_t start, TMultiThread* pool, MessageSink& sink)
{
    const int cols = out.cols();
    const int threads = threadsOf(pool);
    const BulkShape shape = bulkShape();
    const int blockEvents = int(std::max<int64_t>(1, int64_t(BlockBytes) / layout_.eventBytes));
    std::vector<std::vector<uint64_t>> ints(static_cast<size_t>(threads), std::vector<uint64_t>(layout_.pars.size()));
    std::vector<Ranges> ranges(static_cast<size_t>(threads), Ranges(cols));
    const int firstMissing =
        readBlocks(start, out.rows(), blockEvents, blockEvents, pool, [&](uint8_t* bytes, int, int e, int count, int thread) {
            decodeBlock(shape, bytes, count, out[e], ints[size_t(thread)].data());
            // The block is still in the cache: take the column ranges now.
            ranges[size_t(thread)].addRows(out[e], count);
        });
    if (firstMissing < out.rows()) {
        // Keep the complete events read so far, never cells that were not written.
        sink.message("Bad FCS File");
        out.setRows(firstMissing);
        Text->tot = firstMissing;
        return;
    }
    Ranges all(cols);
    for (const auto& acc : ranges) all.merge(acc);
    rawLo_ = all.lo;
    rawHi_ = all.hi;
    rawRangesValid_ = true;
}

// ---------------------------------------------------------------- result

void TDataSet::BuildResult(DataMatrix& m, TMultiThread* pool)
{
    const int rows = m.rows(), cols = m.cols();
    Scales.assign(size_t(cols), TScale{});
    mins.assign(size_t(cols), 0.0f);
    maxs.assign(size_t(cols), 0.0f);
    if (cols == 0 || !Text) return;

    // Column ranges of the matrix as it stands. Every pass below takes them from
    // the rows it has just written, while they are in the cache, so no pass over
    // the whole matrix is spent on ranges alone.
    std::vector<Range> current(static_cast<size_t>(cols));
    if (rawRangesValid_ && int(rawLo_.size()) == cols) {
        for (int c = 0; c < cols; ++c) {
            current[size_t(c)].lo = rawLo_[size_t(c)];
            current[size_t(c)].hi = rawHi_[size_t(c)];
        }
    } else {
        current = columnRanges(m, std::vector<char>(size_t(cols), 1), pool);
    }
    // They describe the matrix as read, which this call changes.
    rawRangesValid_ = false;
    // Runs rowFn on every row, split over the pool, and renews `current`.
    auto pass = [&](auto&& rowFn) {
        std::vector<Ranges> acc(static_cast<size_t>(threadsOf(pool)), Ranges(cols));
        forRowRanges(pool, rows, RowChunk, [&](int r0, int r1, int thread, std::atomic<bool>& aborted) {
            Ranges& a = acc[size_t(thread)];
            for (int r = r0; r < r1 && !aborted; ++r) {
                double* row = m[r];
                rowFn(row, thread);
                a.addRows(row, 1);
            }
        });
        Ranges all(cols);
        for (const auto& a : acc) all.merge(a);
        for (int c = 0; c < cols; ++c) current[size_t(c)] = all.at(c);
    };

    // 1. Compensation, event by event.
    if (!spillover.empty() && ApplySpillover && !spill_inv.empty()) {
        const int k = int(SpillInds.size());
        std::vector<double> inv(size_t(k) * size_t(k));  // spill_inv row by row
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < k; ++i) inv[size_t(j) * size_t(k) + size_t(i)] = spill_inv[size_t(j)][size_t(i)];
        std::vector<std::vector<double>> temps(static_cast<size_t>(threadsOf(pool)),
                                               std::vector<double>(2 * static_cast<size_t>(k)));
        pass([&](double* row, int thread) {
            double* raw = temps[size_t(thread)].data();
            compensateRow(row, SpillInds.data(), inv.data(), k, raw, raw + k);
        });
    }

    // 2. $PnE conversion: x -> 10^(decade * x / r), r = $PnR or, without one, the largest value.
    std::vector<int> convert;
    std::vector<double> convDecade(size_t(cols), 0), convRange(size_t(cols), 0);
    for (int c = 0; c < cols && c < int(Text->pars.size()); ++c) {
        const TPar& p = Text->pars[size_t(c)];
        if (p.decade <= 0) continue;
        convDecade[size_t(c)] = p.decade;
        convRange[size_t(c)] = p.resolution > 0 ? double(p.resolution)
                               : current[size_t(c)].valid() ? current[size_t(c)].hi
                                                            : 0;
        if (convRange[size_t(c)] > 0) convert.push_back(c);
    }
    if (!convert.empty())
        pass([&](double* row, int) {
            for (int c : convert)
                row[c] = double(float(std::pow(10.0, convDecade[size_t(c)] * row[c] / convRange[size_t(c)])));
        });

    // 3. Logarithmic display mapping of the log parameters onto 0..Decades.
    std::vector<int> mapped;
    std::vector<double> lo(size_t(cols), 0), factor(size_t(cols), 0);
    for (int c = 0; c < cols && c < int(logpar.size()); ++c) {
        if (!logpar[size_t(c)]) continue;
        const Range& rg = current[size_t(c)];
        const double mn = rg.valid() ? rg.lo : 0, mx = rg.valid() ? rg.hi : 0;
        Scales[size_t(c)] = {float(mn), float(mx), float(Decades)};
        if (mx > mn) {
            mapped.push_back(c);
            lo[size_t(c)] = mn;
            factor[size_t(c)] = (std::pow(10.0, Decades) - 1) / (mx - mn);
        } else {
            Scales[size_t(c)].decade = 0;
        }
    }
    if (!mapped.empty())
        pass([&](double* row, int) {
            for (int c : mapped) row[c] = double(float(std::log10(1 + (row[c] - lo[size_t(c)]) * factor[size_t(c)])));
        });

    // 4. Value ranges. Clamping to them would change no value, so it is left out.
    for (int c = 0; c < cols; ++c)
        if (current[size_t(c)].valid()) {
            mins[size_t(c)] = float(current[size_t(c)].lo);
            maxs[size_t(c)] = float(current[size_t(c)].hi);
        }
}

TSingleMatrix TDataSet::GetDataMatrix(TMultiThread* pool)
{
    DataMatrix m = values;
    BuildResult(m, pool);
    TSingleMatrix result(size_t(m.cols()), TSingleVector(size_t(m.rows())));
    for (int r = 0; r < m.rows(); ++r)
        for (int c = 0; c < m.cols(); ++c) result[size_t(c)][size_t(r)] = float(m[r][c]);
    return result;
}

TMatrix TDataSet::GetDataMatrixDouble(TMultiThread* pool)
{
    DataMatrix m = values;
    BuildResult(m, pool);
    TMatrix result(size_t(m.rows()));
    for (int r = 0; r < m.rows(); ++r) result[size_t(r)].assign(m[r], m[r] + m.cols());
    return result;
}

}  // namespace orvala
