#include "GmlEvaluator.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>

#include "GmlMath.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Events per block: a multiple of 64 so that no two blocks share a bitmap word,
// and small enough that a block's columns stay in the core's cache.
constexpr int64_t kBlock = 256;

// A compensated parameter: a sum of raw parameters times coefficients (one term
// of coefficient 1 when the parameter is used as measured). The plan's raw
// parameter list holds the parameter of each term's slot.
struct BaseColumn {
    std::vector<std::pair<int, double>> terms;
};

// A gate dimension's values: a base column (or the ratio of two), transformed.
struct DerivedColumn {
    int base = -1, base2 = -1;
    const GmlTransform* ratio = nullptr;
    const GmlTransform* transform = nullptr;
    // How far the block's first values may lie from the transform's own (see
    // GmlTransform::ApplyApprox); 0 when they are the transform's own.
    double error = 0;
};

struct CompiledGate {
    const GmlGate* gate = nullptr;
    std::vector<int> columns;  // derived column of each dimension
    int parent = -1;
    std::vector<std::pair<int, bool>> operands;  // gate index, complement
    std::vector<double> inverseCovariance;
    // How far the first values of the gate's dimensions may be off: an event
    // whose decision could change within it is decided again on exact values.
    double margin = 0;
    // Polygons: the outline's bounding box and the distance within which a
    // point is too close to an edge to be decided on the first values.
    double box[4] = {0, 0, 0, 0};
    double slack = 0, reach = 0;
    std::vector<double> edges;  // per edge: start x, y, direction x, y, 1 / squared length
    // Ellipsoids: the sum of the inverse covariance's absolute entries.
    double inverseAbsSum = 0;
};

class Plan {
public:
    Plan(const GmlDocument& doc, const GmlEvents& events) : doc_(doc), events_(events)
    {
        for (size_t p = 0; p < events.names.size(); ++p) parameter_.emplace(events.names[p], int(p));
        std::map<std::string, int> gateIndex;
        for (size_t i = 0; i < doc.gates.size(); ++i) gateIndex.emplace(doc.gates[i].id, int(i));
        order = doc.EvaluationOrder();
        gates.resize(doc.gates.size());
        for (size_t i = 0; i < doc.gates.size(); ++i) {
            const GmlGate& g = doc.gates[i];
            CompiledGate& c = gates[i];
            c.gate = &g;
            c.parent = g.parentId.empty() ? -1 : gateIndex.at(g.parentId);
            for (const GmlOperand& o : g.operands) c.operands.emplace_back(gateIndex.at(o.ref), o.complement);
            for (const GmlDimension& d : g.dimensions) c.columns.push_back(derived(g, d));
            if (g.kind == GmlGateKind::Ellipsoid && g.dimensions.size() > 64)
                throw GmlError("gate \"" + g.id + "\": an ellipsoid of more than 64 dimensions is not supported");
            if (g.kind == GmlGateKind::Ellipsoid) c.inverseCovariance = InverseOf(g.covariance, int(g.dimensions.size()));
        }
        for (DerivedColumn& d : columns) d.error = d.transform ? d.transform->ApproxError() : 0;
        for (CompiledGate& c : gates) prepareMargins(c);
        // Terms refer to slots of the raw parameters a block copies out of the events.
        std::map<int, int> slot;
        for (BaseColumn& b : bases)
            for (auto& term : b.terms) {
                const auto [it, added] = slot.emplace(term.first, int(raw.size()));
                if (added) raw.push_back(term.first);
                term.first = it->second;
            }
    }

    std::vector<int> raw;
    std::vector<BaseColumn> bases;
    std::vector<DerivedColumn> columns;
    std::vector<CompiledGate> gates;
    std::vector<int> order;

private:
    void prepareMargins(CompiledGate& c) const
    {
        for (int col : c.columns) c.margin = std::max(c.margin, columns[size_t(col)].error);
        const GmlGate& g = *c.gate;
        if (g.kind == GmlGateKind::Polygon) {
            double largest = 0;
            c.box[0] = c.box[2] = std::numeric_limits<double>::infinity();
            c.box[1] = c.box[3] = -std::numeric_limits<double>::infinity();
            for (size_t v = 0; v < g.vertices.size(); ++v) {
                const size_t axis = (v & 1) * 2;
                c.box[axis] = std::min(c.box[axis], g.vertices[v]);
                c.box[axis + 1] = std::max(c.box[axis + 1], g.vertices[v]);
                largest = std::max(largest, std::abs(g.vertices[v]));
            }
            // Beyond this distance from the outline the crossing test's own
            // rounding cannot reach; a box of half-width margin around the
            // point lies in the disc of radius margin * sqrt 2.
            c.slack = 1e-12 * (1 + largest);
            c.reach = std::sqrt(2.0) * c.margin + c.slack;
            const std::vector<double>& v = g.vertices;
            const size_t n = v.size() / 2;
            for (size_t i = 0, j = n - 1; i < n; j = i++) {
                const double dx = v[2 * i] - v[2 * j], dy = v[2 * i + 1] - v[2 * j + 1];
                const double length2 = dx * dx + dy * dy;
                c.edges.insert(c.edges.end(), {v[2 * j], v[2 * j + 1], dx, dy, length2 > 0 ? 1 / length2 : 0.0});
            }
        }
        if (g.kind == GmlGateKind::Ellipsoid)
            for (double v : c.inverseCovariance) c.inverseAbsSum += std::abs(v);
    }

    [[noreturn]] static void missing(const GmlGate& g, const std::string& name)
    {
        throw GmlError("gate \"" + g.id + "\": the parameter \"" + name + "\" is not in the data");
    }

    int rawIndex(const GmlGate& g, const std::string& name) const
    {
        const auto it = parameter_.find(name);
        if (it == parameter_.end()) missing(g, name);
        return it->second;
    }

    int base(const GmlGate& g, const std::string& compensation, const std::string& name)
    {
        const auto key = std::make_pair(compensation, name);
        if (const auto it = baseIndex_.find(key); it != baseIndex_.end()) return it->second;
        BaseColumn b;
        if (compensation == kGmlFcsCompensation)
            b = fcsCompensated(g, name);
        else if (compensation != kGmlUncompensated)
            b = matrixCompensated(g, *doc_.FindMatrix(compensation), name);
        if (b.terms.empty()) b.terms.emplace_back(rawIndex(g, name), 1.0);
        bases.push_back(std::move(b));
        baseIndex_.emplace(key, int(bases.size()) - 1);
        return int(bases.size()) - 1;
    }

    BaseColumn fcsCompensated(const GmlGate& g, const std::string& name)
    {
        if (!events_.spillProblem.empty())
            throw GmlError("gate \"" + g.id + "\" needs the file's spillover matrix: " + events_.spillProblem);
        const auto& names = events_.spillNames;
        const auto at = std::find(names.begin(), names.end(), name);
        // Parameters the spillover does not cover (scatter, time) stay as measured.
        if (at == names.end()) return {};
        if (fcsInverse_.empty()) {
            fcsInverse_ = InverseOf(events_.spillover, int(names.size()));
            if (fcsInverse_.empty()) throw GmlError("gate \"" + g.id + "\": the file's spillover matrix cannot be inverted");
        }
        const size_t n = names.size(), j = size_t(at - names.begin());
        BaseColumn b;
        for (size_t i = 0; i < n; ++i)
            if (fcsInverse_[i * n + j] != 0) b.terms.emplace_back(rawIndex(g, names[i]), fcsInverse_[i * n + j]);
        if (b.terms.empty()) b.terms.emplace_back(rawIndex(g, name), 0.0);
        return b;
    }

    BaseColumn matrixCompensated(const GmlGate& g, const GmlSpectrumMatrix& m, const std::string& name)
    {
        const auto at = std::find(m.fluorochromes.begin(), m.fluorochromes.end(), name);
        if (at == m.fluorochromes.end()) {
            // Not one of the matrix's fluorochromes: a parameter used as measured.
            if (!parameter_.count(name))
                throw GmlError("gate \"" + g.id + "\": \"" + name + "\" is neither a fluorochrome of the spectrumMatrix \"" +
                               m.id + "\" nor a parameter of the data");
            return {};
        }
        const std::vector<double> P = ProjectionOf(m);
        const size_t F = m.fluorochromes.size(), j = size_t(at - m.fluorochromes.begin());
        BaseColumn b;
        for (size_t k = 0; k < m.detectors.size(); ++k)
            if (P[k * F + j] != 0) b.terms.emplace_back(rawIndex(g, m.detectors[k]), P[k * F + j]);
        if (b.terms.empty()) b.terms.emplace_back(rawIndex(g, m.detectors[0]), 0.0);
        return b;
    }

    int derived(const GmlGate& g, const GmlDimension& d)
    {
        const auto key = std::make_tuple(d.compensation, d.name, d.ratio, d.transformation);
        if (const auto it = derivedIndex_.find(key); it != derivedIndex_.end()) return it->second;
        DerivedColumn c;
        if (!d.ratio.empty()) {
            c.ratio = doc_.FindTransform(d.ratio);
            c.base = base(g, d.compensation, c.ratio->RatioDimensions()[0]);
            c.base2 = base(g, d.compensation, c.ratio->RatioDimensions()[1]);
        } else
            c.base = base(g, d.compensation, d.name);
        if (!d.transformation.empty()) c.transform = doc_.FindTransform(d.transformation);
        columns.push_back(c);
        derivedIndex_.emplace(key, int(columns.size()) - 1);
        return int(columns.size()) - 1;
    }

    const GmlDocument& doc_;
    const GmlEvents& events_;
    std::map<std::string, int> parameter_;
    std::map<std::pair<std::string, std::string>, int> baseIndex_;
    std::map<std::tuple<std::string, std::string, std::string, std::string>, int> derivedIndex_;
    std::vector<double> fcsInverse_;
};

// Crossing-number test: a horizontal ray to the right of the point crosses an
// odd number of edges. An edge counts when one end lies strictly above the
// point's y and the other not, which assigns points on edges consistently.
bool insidePolygon(const double* v, size_t n, double x, double y)
{
    bool inside = false;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = v[2 * i], yi = v[2 * i + 1], xj = v[2 * j], yj = v[2 * j + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

// Whether a point could change sides of the outline when moved by up to the
// gate's margin in each coordinate: it lies within reach of an edge.
bool nearPolygon(const CompiledGate& cg, double x, double y)
{
    const double r = cg.reach;
    for (size_t i = 0; i < cg.edges.size(); i += 5) {
        const double* edge = cg.edges.data() + i;
        const double ax = edge[0], ay = edge[1], dx = edge[2], dy = edge[3];
        const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) * edge[4], 0.0, 1.0);
        const double px = ax + t * dx - x, py = ay + t * dy - y;
        if (!(px * px + py * py > r * r)) return true;
    }
    return false;
}

// Decides events [e0, e1) of the block in every gate. With unsure set, events
// whose decision in some gate could differ on exact values are marked there.
void evaluateGates(const Plan& plan, const double* cols, uint8_t* marks, uint8_t* unsure, size_t e0, size_t e1)
{
    const size_t B = size_t(kBlock);
    for (int gi : plan.order) {
        const CompiledGate& cg = plan.gates[size_t(gi)];
        const GmlGate& g = *cg.gate;
        uint8_t* m = marks + size_t(gi) * B;
        const size_t dimsN = cg.columns.size();
        const bool check = unsure && cg.margin > 0;
        switch (g.kind) {
        case GmlGateKind::Rectangle:
        case GmlGateKind::Quadrant:
            std::fill(m + e0, m + e1, uint8_t(1));
            for (size_t k = 0; k < dimsN; ++k) {
                const double* x = cols + size_t(cg.columns[k]) * B;
                const double lo = g.min[k], hi = g.max[k];
                // min <= x < max; NaN fails both comparisons and so falls outside.
                for (size_t e = e0; e < e1; ++e) m[e] &= uint8_t(x[e] >= lo) & uint8_t(x[e] < hi);
                const double eps = plan.columns[size_t(cg.columns[k])].error;
                if (check && eps > 0)
                    for (size_t e = e0; e < e1; ++e)
                        unsure[e] |= uint8_t(std::abs(x[e] - lo) <= eps) | uint8_t(std::abs(x[e] - hi) <= eps);
            }
            break;
        case GmlGateKind::Polygon: {
            const double* x = cols + size_t(cg.columns[0]) * B;
            const double* y = cols + size_t(cg.columns[1]) * B;
            const size_t nv = g.vertices.size() / 2;
            // Points clear of the outline's box are outside, whichever values
            // decide; only the rest take the crossing test.
            const double r = check ? cg.reach : cg.slack;
            const double x0 = cg.box[0] - r, x1 = cg.box[1] + r, y0 = cg.box[2] - r, y1 = cg.box[3] + r;
            for (size_t e = e0; e < e1; ++e) {
                const double px = x[e], py = y[e];
                if ((px < x0) | (px > x1) | (py < y0) | (py > y1)) {
                    m[e] = 0;
                    continue;
                }
                m[e] = insidePolygon(g.vertices.data(), nv, px, py);
                if (check) unsure[e] |= uint8_t(nearPolygon(cg, px, py));
            }
            break;
        }
        case GmlGateKind::Ellipsoid: {
            const double* inv = cg.inverseCovariance.data();
            const double eps = cg.margin;
            if (dimsN == 2) {
                // The common case without the general loops; the same sums in the same order.
                const double* xa = cols + size_t(cg.columns[0]) * B;
                const double* xb = cols + size_t(cg.columns[1]) * B;
                const double s00 = inv[0], s01 = inv[1], s10 = inv[2], s11 = inv[3];
                const double a00 = std::abs(s00), a01 = std::abs(s01), a10 = std::abs(s10), a11 = std::abs(s11);
                const double mean0 = g.mean[0], mean1 = g.mean[1], limit = g.distanceSquare;
                for (size_t e = e0; e < e1; ++e) {
                    const double d0 = xa[e] - mean0, d1 = xb[e] - mean1;
                    double r0 = 0, r1 = 0, q = 0;
                    r0 += s00 * d0;
                    r0 += s01 * d1;
                    q += d0 * r0;
                    r1 += s10 * d0;
                    r1 += s11 * d1;
                    q += d1 * r1;
                    m[e] = q <= limit;
                    if (check) {
                        const double u0 = std::abs(d0), u1 = std::abs(d1);
                        const double spread = a00 * 2 * u0 + (a01 + a10) * (u0 + u1) + a11 * 2 * u1;
                        const double size = a00 * u0 * u0 + (a01 + a10) * u0 * u1 + a11 * u1 * u1;
                        const double reach = spread * eps + cg.inverseAbsSum * eps * eps + 1e-12 * (size + std::abs(limit));
                        unsure[e] |= uint8_t(std::abs(q - limit) <= reach);
                    }
                }
                break;
            }
            double delta[64];
            for (size_t e = e0; e < e1; ++e) {
                // Dimensions beyond 64 are refused when the plan is made.
                for (size_t k = 0; k < dimsN; ++k) delta[k] = cols[size_t(cg.columns[k]) * B + e] - g.mean[k];
                double q = 0;
                for (size_t r = 0; r < dimsN; ++r) {
                    double s = 0;
                    for (size_t c = 0; c < dimsN; ++c) s += inv[r * dimsN + c] * delta[c];
                    q += delta[r] * s;
                }
                m[e] = q <= g.distanceSquare;
                if (check) {
                    // Moving delta by u with |u_k| <= eps moves q by at most
                    // sum |S_rc| (|delta_r| + |delta_c|) eps + sum |S_rc| eps^2.
                    double spread = 0, size = 0;
                    for (size_t r = 0; r < dimsN; ++r)
                        for (size_t c = 0; c < dimsN; ++c) {
                            const double a = std::abs(inv[r * dimsN + c]);
                            spread += a * (std::abs(delta[r]) + std::abs(delta[c]));
                            size += a * std::abs(delta[r]) * std::abs(delta[c]);
                        }
                    const double reach = spread * eps + cg.inverseAbsSum * eps * eps + 1e-12 * (size + std::abs(g.distanceSquare));
                    // NaN compares false on both sides: such an event is outside either way.
                    unsure[e] |= uint8_t(std::abs(q - g.distanceSquare) <= reach);
                }
            }
            break;
        }
        case GmlGateKind::Boolean: {
            const bool isAnd = g.op == GmlBooleanOp::And;
            std::fill(m + e0, m + e1, uint8_t(isAnd ? 1 : 0));
            for (const auto& [ref, complement] : cg.operands) {
                const uint8_t* o = marks + size_t(ref) * B;
                const uint8_t flip = complement ? 1 : 0;
                if (isAnd)
                    for (size_t e = e0; e < e1; ++e) m[e] &= o[e] ^ flip;
                else  // or; a not has one operand, combined as an or and flipped below
                    for (size_t e = e0; e < e1; ++e) m[e] |= o[e] ^ flip;
            }
            if (g.op == GmlBooleanOp::Not)
                for (size_t e = e0; e < e1; ++e) m[e] ^= 1;
            break;
        }
        }
        if (cg.parent >= 0) {
            const uint8_t* p = marks + size_t(cg.parent) * B;
            for (size_t e = e0; e < e1; ++e) m[e] &= p[e];
        }
    }
}

// Events compensated together, so that their sums stay in registers.
constexpr size_t kRun = 8;

// dst = the base column's terms over the block's raw columns, for a multiple
// of kRun events. Wider vector units, where the processor has them, take the
// same products and sums in the same order, lane by lane.
__attribute__((target_clones("avx2", "default"))) void compensate(const BaseColumn& column, const double* raw,
                                                                   double* dst, size_t count)
{
    const size_t B = size_t(kBlock);
    // Two independent 4-lane sums: one 256-bit register each where there is one.
    using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
    static_assert(kRun == 8);
    for (size_t e = 0; e < count; e += kRun) {
        // Terms are added in their order, as one sum per event would.
        Lanes low = {}, high = {};
        for (const auto& [slot, k] : column.terms) {
            const double* src = raw + size_t(slot) * B + e;
            Lanes a, b;
            std::memcpy(&a, src, sizeof a);
            std::memcpy(&b, src + 4, sizeof b);
            low += k * a;
            high += k * b;
        }
        std::memcpy(dst + e, &low, sizeof low);
        std::memcpy(dst + e + 4, &high, sizeof high);
    }
}

struct Scratch {
    std::vector<double> values;
    std::vector<uint8_t> marks, unsure;
};

void evaluateBlock(const Plan& plan, const GmlEvents& ev, int64_t first, int64_t count, Scratch& s, GmlMembership& out)
{
    const size_t B = size_t(kBlock);
    const size_t nr = plan.raw.size(), nb = plan.bases.size(), nd = plan.columns.size(), ng = plan.gates.size();
    s.values.resize((nr + nb + nd) * B);
    s.marks.resize(ng * B);
    s.unsure.assign(B, 0);
    double* raw = s.values.data();
    double* base = raw + nr * B;
    double* cols = base + nb * B;
    const size_t n = size_t(count);
    // The parameters the gates use, copied out of the events once: compensation
    // then reads contiguous columns.
    const double* rows = ev.values + size_t(first) * ev.eventStride;
    // Compensation runs on whole runs of kRun events; a short last block is
    // padded with zeros.
    const size_t padded = (n + kRun - 1) / kRun * kRun;
    for (size_t e = 0; e < n; ++e)
        for (size_t r = 0; r < nr; ++r) raw[r * B + e] = rows[e * ev.eventStride + size_t(plan.raw[r]) * ev.parameterStride];
    for (size_t r = 0; r < nr; ++r) std::fill(raw + r * B + n, raw + r * B + padded, 0.0);
    for (size_t b = 0; b < nb; ++b) compensate(plan.bases[b], raw, base + b * B, padded);
    for (size_t c = 0; c < nd; ++c) {
        const DerivedColumn& d = plan.columns[c];
        double* dst = cols + c * B;
        const double* x = base + size_t(d.base) * B;
        if (d.ratio) {
            const double* x2 = base + size_t(d.base2) * B;
            for (size_t e = 0; e < n; ++e) dst[e] = d.ratio->Ratio(x[e], x2[e]);
            x = dst;
        }
        if (d.transform)
            d.transform->ApplyApprox(x, dst, n);
        else if (x != dst)
            std::copy(x, x + n, dst);
    }
    uint8_t* marks = s.marks.data();
    evaluateGates(plan, cols, marks, s.unsure.data(), 0, n);
    // The few events near a decision point: exact values, decided again.
    for (size_t e = 0; e < n; ++e) {
        if (!s.unsure[e]) continue;
        for (size_t c = 0; c < nd; ++c) {
            const DerivedColumn& d = plan.columns[c];
            if (d.error == 0) continue;
            double v = base[size_t(d.base) * B + e];
            if (d.ratio) v = d.ratio->Ratio(v, base[size_t(d.base2) * B + e]);
            cols[c * B + e] = d.transform->Apply(v);
        }
        evaluateGates(plan, cols, marks, nullptr, e, e + 1);
    }
    for (size_t gi = 0; gi < ng; ++gi) {
        const uint8_t* m = marks + gi * B;
        // Blocks start on a word boundary, so this block owns its words.
        uint64_t* words = out.MutableBits(int(gi)).data() + size_t(first >> 6);
        for (size_t w = 0; w * 64 < n; ++w) {
            uint64_t bits = 0;
            const size_t end = std::min(n, w * 64 + 64);
            for (size_t e = w * 64; e < end; ++e) bits |= uint64_t(m[e] & 1) << (e - w * 64);
            words[w] = bits;
        }
    }
}

}  // namespace

GmlMembership::GmlMembership(std::vector<std::string> ids, int64_t events)
    : ids_(std::move(ids)), events_(std::max<int64_t>(events, 0))
{
    bits_.assign(ids_.size(), std::vector<uint64_t>(size_t((events_ + 63) / 64), 0));
}

int GmlMembership::IndexOf(const std::string& id) const
{
    for (size_t i = 0; i < ids_.size(); ++i)
        if (ids_[i] == id) return int(i);
    return -1;
}

int64_t GmlMembership::Count(int gate) const
{
    int64_t n = 0;
    for (uint64_t w : bits_[size_t(gate)]) n += __builtin_popcountll(w);
    return n;
}

GmlMembership EvaluateGatingMl(const GmlDocument& doc, const GmlEvents& events, TMultiThread* pool)
{
    std::vector<std::string> ids;
    for (const GmlGate& g : doc.gates) ids.push_back(g.id);
    if (doc.EvaluationOrder().size() != doc.gates.size())
        throw GmlError("the Gating-ML document was not validated before use");
    const Plan plan(doc, events);
    GmlMembership out(std::move(ids), events.events);
    if (events.events <= 0 || doc.gates.empty()) return out;
    if (!events.values) throw GmlError("no event values to evaluate the gates on");
    const int64_t blocks = (events.events + kBlock - 1) / kBlock;
    const auto run = [&](int64_t block, Scratch& scratch) {
        const int64_t first = block * kBlock;
        evaluateBlock(plan, events, first, std::min(kBlock, events.events - first), scratch, out);
    };
    if (!pool || blocks == 1) {
        Scratch scratch;
        for (int64_t b = 0; b < blocks; ++b) run(b, scratch);
        return out;
    }
    if (blocks > std::numeric_limits<int>::max()) throw GmlError("too many events for one evaluation");
    pool->Process(
        [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
            Scratch scratch;
            for (int b = index; b < index + size && !aborted; ++b) run(b, scratch);
        },
        nullptr, int(blocks), 8);
    if (pool->Aborted()) throw GmlError("the gate evaluation was stopped");
    return out;
}

}  // namespace orvala
