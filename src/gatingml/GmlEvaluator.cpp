#include "GmlEvaluator.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

#include "GmlMath.h"
#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

// Events per block: a multiple of 64 so that no two blocks share a bitmap word.
constexpr int64_t kBlock = 4096;

// A compensated parameter: a sum of raw parameters times coefficients (one term
// of coefficient 1 when the parameter is used as measured).
struct BaseColumn {
    std::vector<std::pair<int, double>> terms;
};

// A gate dimension's values: a base column (or the ratio of two), transformed.
struct DerivedColumn {
    int base = -1, base2 = -1;
    const GmlTransform* ratio = nullptr;
    const GmlTransform* transform = nullptr;
};

struct CompiledGate {
    const GmlGate* gate = nullptr;
    std::vector<int> columns;  // derived column of each dimension
    int parent = -1;
    std::vector<std::pair<int, bool>> operands;  // gate index, complement
    std::vector<double> inverseCovariance;
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
    }

    std::vector<BaseColumn> bases;
    std::vector<DerivedColumn> columns;
    std::vector<CompiledGate> gates;
    std::vector<int> order;

private:
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

void evaluateBlock(const Plan& plan, const GmlEvents& ev, int64_t first, int64_t count, std::vector<double>& scratch,
                   std::vector<uint8_t>& marks, GmlMembership& out)
{
    const size_t B = size_t(kBlock);
    const size_t nb = plan.bases.size(), nd = plan.columns.size(), ng = plan.gates.size();
    scratch.resize((nb + nd) * B);
    marks.resize(ng * B);
    double* base = scratch.data();
    double* cols = scratch.data() + nb * B;
    const size_t n = size_t(count);
    for (size_t b = 0; b < nb; ++b) {
        double* dst = base + b * B;
        std::fill(dst, dst + n, 0.0);
        for (const auto& [p, k] : plan.bases[b].terms) {
            const double* src = ev.values + size_t(first) * ev.eventStride + size_t(p) * ev.parameterStride;
            for (size_t e = 0; e < n; ++e) dst[e] += k * src[e * ev.eventStride];
        }
    }
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
            for (size_t e = 0; e < n; ++e) dst[e] = d.transform->Apply(x[e]);
        else if (x != dst)
            std::copy(x, x + n, dst);
    }
    for (int gi : plan.order) {
        const CompiledGate& cg = plan.gates[size_t(gi)];
        const GmlGate& g = *cg.gate;
        uint8_t* m = marks.data() + size_t(gi) * B;
        const size_t dimsN = cg.columns.size();
        switch (g.kind) {
        case GmlGateKind::Rectangle:
        case GmlGateKind::Quadrant:
            std::fill(m, m + n, uint8_t(1));
            for (size_t k = 0; k < dimsN; ++k) {
                const double* x = cols + size_t(cg.columns[k]) * B;
                const double lo = g.min[k], hi = g.max[k];
                // min <= x < max; NaN fails both comparisons and so falls outside.
                for (size_t e = 0; e < n; ++e) m[e] &= uint8_t(x[e] >= lo) & uint8_t(x[e] < hi);
            }
            break;
        case GmlGateKind::Polygon: {
            const double* x = cols + size_t(cg.columns[0]) * B;
            const double* y = cols + size_t(cg.columns[1]) * B;
            const size_t nv = g.vertices.size() / 2;
            for (size_t e = 0; e < n; ++e) m[e] = insidePolygon(g.vertices.data(), nv, x[e], y[e]);
            break;
        }
        case GmlGateKind::Ellipsoid: {
            const double* inv = cg.inverseCovariance.data();
            double delta[64];
            for (size_t e = 0; e < n; ++e) {
                // Dimensions beyond 64 are refused when the plan is made.
                for (size_t k = 0; k < dimsN; ++k) delta[k] = cols[size_t(cg.columns[k]) * B + e] - g.mean[k];
                double q = 0;
                for (size_t r = 0; r < dimsN; ++r) {
                    double s = 0;
                    for (size_t c = 0; c < dimsN; ++c) s += inv[r * dimsN + c] * delta[c];
                    q += delta[r] * s;
                }
                m[e] = q <= g.distanceSquare;
            }
            break;
        }
        case GmlGateKind::Boolean: {
            const bool isAnd = g.op == GmlBooleanOp::And;
            std::fill(m, m + n, uint8_t(isAnd ? 1 : 0));
            for (const auto& [ref, complement] : cg.operands) {
                const uint8_t* o = marks.data() + size_t(ref) * B;
                const uint8_t flip = complement ? 1 : 0;
                if (isAnd)
                    for (size_t e = 0; e < n; ++e) m[e] &= o[e] ^ flip;
                else  // or; a not has one operand, combined as an or and flipped below
                    for (size_t e = 0; e < n; ++e) m[e] |= o[e] ^ flip;
            }
            if (g.op == GmlBooleanOp::Not)
                for (size_t e = 0; e < n; ++e) m[e] ^= 1;
            break;
        }
        }
        if (cg.parent >= 0) {
            const uint8_t* p = marks.data() + size_t(cg.parent) * B;
            for (size_t e = 0; e < n; ++e) m[e] &= p[e];
        }
        // Blocks start on a word boundary, so this block owns its words.
        uint64_t* words = out.MutableBits(gi).data() + size_t(first >> 6);
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
    const auto run = [&](int64_t block, std::vector<double>& scratch, std::vector<uint8_t>& marks) {
        const int64_t first = block * kBlock;
        evaluateBlock(plan, events, first, std::min(kBlock, events.events - first), scratch, marks, out);
    };
    if (!pool || blocks == 1) {
        std::vector<double> scratch;
        std::vector<uint8_t> marks;
        for (int64_t b = 0; b < blocks; ++b) run(b, scratch, marks);
        return out;
    }
    if (blocks > std::numeric_limits<int>::max()) throw GmlError("too many events for one evaluation");
    pool->Process(
        [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
            std::vector<double> scratch;
            std::vector<uint8_t> marks;
            for (int b = index; b < index + size && !aborted; ++b) run(b, scratch, marks);
        },
        nullptr, int(blocks), 8);
    if (pool->Aborted()) throw GmlError("the gate evaluation was stopped");
    return out;
}

}  // namespace orvala
