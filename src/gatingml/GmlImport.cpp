#include "GmlImport.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>

#include "GmlEvaluator.h"
#include "GmlExport.h"
#include "GmlFcs.h"
#include "core/Messages.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "core/TPreText.h"
#include "formats/TDataSet.h"

namespace orvala {

namespace {

constexpr double kLinLogScale = 111.0;  // the workbench's lin->log axis is 111 asinh(v)
constexpr double kSinhLn10 = 4.95;      // sinh(ln 10)
const double kLn10 = std::log(10.0);

bool readFromFcs(const TData& root)
{
    return dynamic_cast<const TDataSet*>(root.dataset.get()) != nullptr && !root.FileName().empty();
}

// The membership of every gate of one document on the events of one root.
// Roots read from FCS are known by file, data set and event count: their
// gates refer to the file's values, which changes in the workbench leave
// alone. Other roots are known by identity and modification count.
struct CachedMembership {
    std::string file;
    int dataSet = 0;
    const TData* root = nullptr;
    int modified = 0;
    int64_t events = 0;
    GmlMembership membership;
};

class ImportedDocument {
public:
    explicit ImportedDocument(std::shared_ptr<const GmlDocument> doc) : doc_(std::move(doc)) {}

    // The membership on root's events; evaluated once per root and kept.
    std::shared_ptr<const GmlMembership> MembershipOn(const TData& root, TMultiThread* pool) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool fcs = readFromFcs(root);
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            const CachedMembership& c = **it;
            const bool same = fcs ? (c.file == root.FileName() && c.dataSet == root.datasetnum)
                                  : (c.file.empty() && c.root == &root && c.modified == root.Modified());
            if (same && c.events == root.events()) {
                cache_.splice(cache_.begin(), cache_, it);
                return {cache_.front(), &cache_.front()->membership};
            }
        }
        auto entry = std::make_shared<CachedMembership>();
        entry->events = root.events();
        if (fcs) {
            entry->file = root.FileName();
            entry->dataSet = root.datasetnum;
            const GmlFcsData data = ReadFcsScaleValues(root.FileName(), pool, defaultSink(), root.datasetnum);
            // The data set may have been cut short when it was opened, or the file replaced since.
            if (data.values.rows() != root.events())
                throw OrvalaError("The file \"" + root.FileName() + "\" no longer holds the " +
                                  std::to_string(root.events()) + " events of \"" + root.ShortName() + "\"");
            entry->membership = EvaluateGatingMl(*doc_, data.Events(), pool);
        } else {
            entry->root = &root;
            entry->modified = root.Modified();
            GmlEvents events;
            for (int c = 0; c < root.CaseSize(); ++c)
                events.names.push_back(c < int(root.Desc().size()) ? root.Desc()[size_t(c)].name : std::string());
            events.values = root.data.data();
            events.events = root.events();
            events.eventStride = size_t(root.data.cols());
            entry->membership = EvaluateGatingMl(*doc_, events, pool);
        }
        cache_.push_front(entry);
        // A few roots are kept: gates bred onto other roots take turns.
        while (cache_.size() > 4) cache_.pop_back();
        return {entry, &entry->membership};
    }

private:
    std::shared_ptr<const GmlDocument> doc_;
    mutable std::mutex mutex_;
    mutable std::list<std::shared_ptr<CachedMembership>> cache_;
};

// Each event of d as an event index of its root. Throws when a data set of the
// chain does not select its events from its parent's.
std::vector<int32_t> rootIndices(const TData& d)
{
    const int rootEvents = d.Grandpa()->events();
    std::vector<int32_t> idx(size_t(d.events()));
    for (int e = 0; e < d.events(); ++e) {
        const int r = d.Absoluteindex(e);
        if (r < 0 || r >= rootEvents)
            throw OrvalaError("The events of \"" + d.ShortName() + "\" cannot be traced back to its file");
        idx[size_t(e)] = r;
    }
    return idx;
}

class GmlGateRule : public TGateRule {
public:
    GmlGateRule(std::shared_ptr<const ImportedDocument> doc, int gate) : doc_(std::move(doc)), gate_(gate) {}

    TIntVector Select(const TData& parent) const override
    {
        const std::shared_ptr<const GmlMembership> m = doc_->MembershipOn(*parent.Grandpa(), &gatePool());
        const std::vector<int32_t> idx = rootIndices(parent);
        TIntVector out;
        for (int32_t e = 0; e < int32_t(idx.size()); ++e)
            if (m->Contains(gate_, idx[size_t(e)])) out.push_back(e);
        return out;
    }

private:
    std::shared_ptr<const ImportedDocument> doc_;
    int gate_;
};

// One gate axis in workbench coordinates: plotted = scale * gate value.
struct PlotAxis {
    int column = -1;
    double scale = 1;
    bool linlog = false;
};

bool plotAxis(const GmlDocument& doc, const GmlDimension& d, const TData& base, const std::vector<GmlAxis>& axes,
              PlotAxis& out)
{
    if (d.name.empty() || d.compensation != kGmlUncompensated) return false;
    // The axes name the root's columns by $PnN; the workbench's column names
    // may add the long name, so base's column is found through the root's.
    const TData& root = *base.Grandpa();
    const GmlAxis* axis = nullptr;
    for (size_t i = 0; i < axes.size() && i < root.Desc().size(); ++i)
        if (sameTextIgnoringCase(trimmed(axes[i].name), trimmed(d.name))) {
            axis = &axes[i];
            out.column = base.ParIndexByName(root.Desc()[i].name);
        }
    if (!axis || out.column < 0 || !axis->refusal.empty() || !(axis->factor > 0)) return false;
    if (d.transformation.empty()) {
        out.scale = axis->factor;
    } else {
        // Only the fasinh that a lin->log axis shows exactly.
        const GmlTransform* t = doc.FindTransform(d.transformation);
        if (!t || t->Kind() != GmlTransformKind::Fasinh || t->M() != 1 || t->A() != 0) return false;
        const double want = kSinhLn10 / axis->factor;
        if (!(std::abs(t->T() - want) <= 1e-12 * want)) return false;
        out.linlog = true;
        out.scale = kLinLogScale * kLn10;
    }
    return true;
}

// A rectangle's end in workbench coordinates; an open end is drawn at the
// extreme of base's column, which only then is looked for.
double plotted(const PlotAxis& a, const TData& base, double v, bool upper)
{
    if (!std::isinf(v)) return a.scale * v;
    double end = upper ? base.maxincol(a.column) : base.minincol(a.column);
    if (!std::isfinite(end)) end = 0;
    return a.linlog ? kLinLogScale * std::asinh(end) : end;
}

TVector unit(const TData& base, int column)
{
    TVector v(size_t(base.CaseSize()), 0.0);
    v[size_t(column)] = 1;
    return v;
}

constexpr TColor kColors[] = {0x0000FF, 0x00A000, 0xFF0000, 0x00A0FF, 0xA000A0, 0xA0A000, 0x0050A0, 0x808080};

}  // namespace

bool GmlOutline(const GmlDocument& doc, const GmlGate& gate, const TData& base, TGate& out)
{
    const std::vector<GmlAxis> axes = WorkbenchAxes(*base.Grandpa());
    std::vector<PlotAxis> ax(gate.dimensions.size());
    for (size_t i = 0; i < ax.size(); ++i)
        if (!plotAxis(doc, gate.dimensions[i], base, axes, ax[i])) return false;
    TVector cx, cy;
    if (gate.kind == GmlGateKind::Rectangle && ax.size() == 1) {
        const double lo = plotted(ax[0], base, gate.min[0], false), hi = plotted(ax[0], base, gate.max[0], true);
        cx = {lo, hi, lo};
        cy = {0, 0, 0};
        out.y = TVector(size_t(base.CaseSize()), 0.0);
    } else if (ax.size() == 2 && gate.kind == GmlGateKind::Rectangle) {
        const double x0 = plotted(ax[0], base, gate.min[0], false), x1 = plotted(ax[0], base, gate.max[0], true);
        const double y0 = plotted(ax[1], base, gate.min[1], false), y1 = plotted(ax[1], base, gate.max[1], true);
        cx = {x0, x1, x1, x0, x0};
        cy = {y0, y0, y1, y1, y0};
    } else if (ax.size() == 2 && gate.kind == GmlGateKind::Polygon) {
        for (size_t i = 0; i + 1 < gate.vertices.size(); i += 2) {
            cx.push_back(ax[0].scale * gate.vertices[i]);
            cy.push_back(ax[1].scale * gate.vertices[i + 1]);
        }
        if (cx.size() < 3) return false;
        cx.push_back(cx[0]);
        cy.push_back(cy[0]);
    } else if (ax.size() == 2 && gate.kind == GmlGateKind::Ellipsoid && gate.covariance.size() == 4) {
        // x = mean + r L u over the unit circle, with covariance = L L'.
        const double c11 = gate.covariance[0], c21 = gate.covariance[2], c22 = gate.covariance[3];
        if (!(c11 > 0)) return false;
        const double l11 = std::sqrt(c11), l21 = c21 / l11, rest = c22 - l21 * l21;
        if (!(rest > 0) || !(gate.distanceSquare > 0)) return false;
        const double l22 = std::sqrt(rest), r = std::sqrt(gate.distanceSquare);
        constexpr int n = 72;
        for (int k = 0; k <= n; ++k) {
            const double t = 2 * M_PI * (k % n) / n, u = std::cos(t), v = std::sin(t);
            cx.push_back(ax[0].scale * (gate.mean[0] + r * l11 * u));
            cy.push_back(ax[1].scale * (gate.mean[1] + r * (l21 * u + l22 * v)));
        }
    } else {
        return false;
    }
    for (size_t i = 0; i < cx.size(); ++i)
        if (!std::isfinite(cx[i]) || !std::isfinite(cy[i])) return false;
    out.x = unit(base, ax[0].column);
    if (ax.size() == 2) out.y = unit(base, ax[1].column);
    out.cx = std::move(cx);
    out.cy = std::move(cy);
    out.linlogx = ax[0].linlog;
    out.linlogy = ax.size() == 2 && ax[1].linlog;
    return true;
}

GmlImportResult ImportGatingMl(TData& base, std::shared_ptr<const GmlDocument> doc, TMultiThread* pool)
{
    GmlImportResult result;
    auto imported = std::make_shared<const ImportedDocument>(doc);
    // Evaluated before anything is built, so an error leaves the workspace as it was.
    (void)imported->MembershipOn(*base.Grandpa(), pool ? pool : &gatePool());
    rootIndices(base);  // a base whose events cannot be traced to its file throws here

    const GmlDocument& d = *doc;
    std::vector<TData*> kidOf(d.gates.size(), nullptr);
    try {
        int made = 0;
        for (int g : d.EvaluationOrder()) {
            const GmlGate& gg = d.gates[size_t(g)];
            TData* parent = &base;
            if (!gg.parentId.empty()) {
                const GmlGate* p = d.FindGate(gg.parentId);
                parent = p ? kidOf[size_t(p - d.gates.data())] : nullptr;
                if (!parent) throw OrvalaError("The Gating-ML gate \"" + gg.id + "\" has no parent to hang under");
            }
            TGate gate(TGateType::gtRule);
            gate.rule = std::make_shared<GmlGateRule>(imported, g);
            gate.name = gg.id;
            gate.color = kColors[size_t(made++) % std::size(kColors)];
            if (!GmlOutline(d, gg, base, gate)) result.notDrawn.push_back(gg.id);
            TData* kid = TData::Gated(parent, &gate);
            if (!kid) throw OrvalaError("The Gating-ML gate \"" + gg.id + "\" could not be built");
            if (TData::Workspace)
                TData::Workspace->Add(kid);
            else
                kid->UseIt();  // nothing else holds it
            kidOf[size_t(g)] = kid;
            result.added.push_back(kid);
        }
    } catch (...) {
        // Nothing half-built stays: kids go before their parents.
        for (auto it = result.added.rbegin(); it != result.added.rend(); ++it) {
            if (TData::Workspace)
                TData::Workspace->Remove(*it);
            else
                TData::Free(*it);
        }
        throw;
    }
    return result;
}

}  // namespace orvala
