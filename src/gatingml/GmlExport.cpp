#include "GmlExport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "core/SaveTarget.h"
#include "core/TData.h"
#include "core/TGate.h"
#include "formats/TDataSet.h"
#include "geometry/Scales.h"
#include "protocol/Protocol.h"

namespace orvala {

namespace {

// LinToLog is 111 asinh(v). fasinh(x; T, M = 1, A = 0) = asinh(x sinh(ln 10) / T) / ln 10,
// and sinh(ln 10) = 4.95 exactly, so T = 4.95 / factor gives asinh(v) / ln 10 for
// v = factor x: the workbench coordinate c is the fasinh value c / (111 ln 10).
constexpr double kLinLogScale = 111.0;
constexpr double kSinhLn10 = 4.95;
const double kLn10 = std::log(10.0);

std::string lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

[[noreturn]] void refuse(const std::string& gate, const std::string& why)
{
    throw GmlError("The gate \"" + gate + "\" cannot be written as Gating-ML: " + why);
}

// The one parameter a projection vector picks, or -1 when it mixes parameters
// or weighs the one it picks.
int singleParameter(const TVector& v)
{
    int found = -1;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == 0) continue;
        if (v[i] != 1 || found >= 0) return -1;
        found = int(i);
    }
    return found;
}

class Exporter {
public:
    Exporter(const SavedGateTree& tree, const std::vector<GmlAxis>& axes) : tree_(tree), axes_(axes) {}

    GmlDocument run()
    {
        std::vector<std::string> parentAt;  // id of the last gate of each depth
        for (const SavedGate& record : tree_.gates) {
            const TGate& g = *record.gate;
            const std::string id = uniqueId(g.name.empty() ? "Gate" : g.name);
            if (record.depth < 0 || size_t(record.depth) > parentAt.size()) refuse(id, "its place in the tree is damaged");
            parentAt.resize(size_t(record.depth));
            const std::string parent = record.depth > 0 ? parentAt.back() : std::string();
            addGate(g, id, parent);
            parentAt.push_back(id);
        }
        if (doc_.gates.empty()) throw GmlError("There are no gates to write as Gating-ML");
        doc_.Validate();
        return std::move(doc_);
    }

private:
    std::string uniqueId(const std::string& base)
    {
        std::string id = base;
        for (int n = 2; !ids_.insert(id).second; ++n) id = base + "_" + std::to_string(n);
        return id;
    }

    const GmlAxis& axisOf(const std::string& gate, int column)
    {
        if (tree_.byName) {
            if (column >= int(tree_.names.size())) refuse(gate, "it uses a parameter the tree does not name");
            const std::string want = lower(tree_.names[size_t(column)]);
            for (const GmlAxis& a : axes_)
                if (lower(a.name) == want)
                    return a;
            refuse(gate, "the parameter \"" + tree_.names[size_t(column)] + "\" is not in the data set");
        }
        if (column >= int(axes_.size())) refuse(gate, "it uses a parameter the data set does not have");
        return axes_[size_t(column)];
    }

    // The dimension of one gate axis and the map from workbench coordinates to its values.
    struct Axis {
        GmlDimension dim;
        double divisor = 1;
    };

    Axis axis(const std::string& gate, const TVector& direction, bool linlog, bool loglin, const char* which)
    {
        const int column = singleParameter(direction);
        if (column < 0) refuse(gate, std::string("its ") + which + " direction mixes parameters or weighs one");
        if (loglin) refuse(gate, std::string("its ") + which + " axis is log->lin, which no Gating-ML transform expresses");
        const GmlAxis& a = axisOf(gate, column);
        if (!a.refusal.empty()) refuse(gate, a.refusal);
        if (!(a.factor > 0) || !std::isfinite(a.factor)) refuse(gate, "the parameter \"" + a.name + "\" has no usable scale");
        Axis out;
        out.dim.compensation = kGmlUncompensated;
        out.dim.name = a.name;
        if (linlog) {
            out.dim.transformation = asinhFor(a.factor);
            out.divisor = kLinLogScale * kLn10;
        } else {
            out.divisor = a.factor;
        }
        return out;
    }

    std::string asinhFor(double factor)
    {
        const double T = kSinhLn10 / factor;
        if (const auto it = asinhIds_.find(T); it != asinhIds_.end()) return it->second;
        const std::string id = uniqueTransformId("lin-log");
        doc_.transforms.push_back(GmlTransform::Fasinh(id, T, 1, 0));
        asinhIds_.emplace(T, id);
        return id;
    }

    std::string uniqueTransformId(const std::string& base)
    {
        std::string id = base;
        for (int n = 2; !transformIds_.insert(id).second; ++n) id = base + "-" + std::to_string(n);
        return id;
    }

    void addGate(const TGate& g, const std::string& id, const std::string& parent)
    {
        switch (g.kind) {
        case TGateType::gtGate:
            break;
        case TGateType::gtPCAGate:
            refuse(id, "it is a PCA gate");
        case TGateType::gtSubset:
            refuse(id, "it is a list of events");
        case TGateType::gtImage:
            refuse(id, "it is a picture gate");
        case TGateType::gtSubChannel:
            refuse(id, "it selects channels, not events");
        case TGateType::gtRule:
            refuse(id, "it was imported from a Gating-ML document, which holds it already");
        default:
            refuse(id, "it selects no events");
        }
        if (g.Normalized) refuse(id, "its events are normalised before projection");
        const int n = g.Count() - 1;  // the list is closed
        if (n < 1) refuse(id, "it has no region");
        double ymin = g.cy[0], ymax = g.cy[0];
        for (int i = 1; i < n; ++i) {
            ymin = std::min(ymin, g.cy[size_t(i)]);
            ymax = std::max(ymax, g.cy[size_t(i)]);
        }
        GmlGate out;
        out.id = g.Inverse ? uniqueId(id + "_region") : id;
        out.parentId = parent;
        const Axis ax = axis(id, g.x, g.linlogx, g.loglinx, "x");
        if (ymin == 0 && ymax == 0) {
            // A range on a histogram: min <= x <= max, where the standard's
            // rectangle is min <= x < max; the next double above max closes it.
            double xmin = g.cx[0], xmax = g.cx[0];
            for (int i = 1; i < n; ++i) {
                xmin = std::min(xmin, g.cx[size_t(i)]);
                xmax = std::max(xmax, g.cx[size_t(i)]);
            }
            out.kind = GmlGateKind::Rectangle;
            out.dimensions = {ax.dim};
            out.min = {xmin / ax.divisor};
            out.max = {std::nextafter(xmax / ax.divisor, HUGE_VAL)};
        } else {
            if (n < 3) refuse(id, "its outline has fewer than three vertices");
            const Axis ay = axis(id, g.y, g.linlogy, g.logliny, "y");
            out.kind = GmlGateKind::Polygon;
            out.dimensions = {ax.dim, ay.dim};
            for (int i = 0; i < n; ++i) {
                out.vertices.push_back(g.cx[size_t(i)] / ax.divisor);
                out.vertices.push_back(g.cy[size_t(i)] / ay.divisor);
            }
        }
        const std::string region = out.id;
        doc_.gates.push_back(std::move(out));
        if (g.Inverse) {
            GmlGate inverse;
            inverse.id = id;
            inverse.parentId = parent;
            inverse.kind = GmlGateKind::Boolean;
            inverse.op = GmlBooleanOp::Not;
            inverse.operands = {{region, false}};
            doc_.gates.push_back(std::move(inverse));
        }
    }

    const SavedGateTree& tree_;
    const std::vector<GmlAxis>& axes_;
    GmlDocument doc_;
    std::set<std::string> ids_, transformIds_;
    std::map<double, std::string> asinhIds_;
};

std::string number(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

const char* kGatingNs = "http://www.isac-net.org/std/Gating-ML/v2.0/gating";
const char* kTransformsNs = "http://www.isac-net.org/std/Gating-ML/v2.0/transformations";
const char* kDataTypeNs = "http://www.isac-net.org/std/Gating-ML/v2.0/datatypes";

void writeDimension(pugi::xml_node parent, const GmlDimension& d, const char* minText, const char* maxText)
{
    pugi::xml_node dim = parent.append_child("gating:dimension");
    dim.append_attribute("gating:compensation-ref") = d.compensation.c_str();
    if (!d.transformation.empty()) dim.append_attribute("gating:transformation-ref") = d.transformation.c_str();
    if (minText) dim.append_attribute("gating:min") = minText;
    if (maxText) dim.append_attribute("gating:max") = maxText;
    if (!d.ratio.empty())
        dim.append_child("data-type:new-dimension").append_attribute("data-type:transformation-ref") = d.ratio.c_str();
    else
        dim.append_child("data-type:fcs-dimension").append_attribute("data-type:name") = d.name.c_str();
}

void writeValue(pugi::xml_node parent, const char* element, double v)
{
    parent.append_child(element).append_attribute("data-type:value") = number(v).c_str();
}

}  // namespace

std::vector<GmlAxis> WorkbenchAxes(const TData& root)
{
    std::vector<GmlAxis> axes;
    const auto* ds = dynamic_cast<const TDataSet*>(root.dataset.get());
    for (int c = 0; c < root.CaseSize(); ++c) {
        GmlAxis a;
        a.name = c < int(root.Desc().size()) ? root.Desc()[size_t(c)].name : "nn" + std::to_string(c);
        if (ds && ds->Text && c < int(ds->Text->pars.size())) {
            const TPar& p = ds->Text->pars[size_t(c)];
            a.name = p.name;
            const bool compensated = !ds->spillover.empty() && ds->ApplySpillover && !ds->spill_inv.empty() &&
                                     std::find(ds->SpillInds.begin(), ds->SpillInds.end(), c) != ds->SpillInds.end();
            const bool isTime = ds->Text->TimePar - 1 == c || lower(p.name) == "time";
            if (c < int(ds->Scales.size()) && ds->Scales[size_t(c)].decade > 0)
                a.refusal = "the parameter \"" + p.name + "\" is shown on the reader's logarithmic display scale";
            else if (compensated)
                a.refusal = "the parameter \"" + p.name + "\" is compensated with the reader's normalised spillover";
            else if (isTime)
                a.factor = 1;
            else if (p.decade > 0)
                a.factor = 1 / (p.intersect > 0 ? p.intersect : 1);  // the reader leaves out $PnE's second value
            else
                a.factor = p.gain > 0 ? p.gain : 1;  // the reader keeps channels; the FCS scale divides by $PnG
        }
        axes.push_back(std::move(a));
    }
    return axes;
}

GmlDocument GateTreeToGatingMl(const SavedGateTree& tree, const std::vector<GmlAxis>& axes)
{
    return Exporter(tree, axes).run();
}

std::string WriteGatingMl(const GmlDocument& doc)
{
    pugi::xml_document x;
    pugi::xml_node decl = x.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = x.append_child("gating:Gating-ML");
    root.append_attribute("xmlns:gating") = kGatingNs;
    root.append_attribute("xmlns:transforms") = kTransformsNs;
    root.append_attribute("xmlns:data-type") = kDataTypeNs;
    for (const GmlTransform& t : doc.transforms) {
        pugi::xml_node tr = root.append_child("transforms:transformation");
        tr.append_attribute("transforms:id") = t.Id().c_str();
        const auto set = [](pugi::xml_node n, const char* name, double v) {
            n.append_attribute(name) = number(v).c_str();
        };
        pugi::xml_node f;
        switch (t.Kind()) {
        case GmlTransformKind::Flin:
            f = tr.append_child("transforms:flin");
            set(f, "transforms:T", t.T());
            set(f, "transforms:A", t.A());
            break;
        case GmlTransformKind::Flog:
            f = tr.append_child("transforms:flog");
            set(f, "transforms:T", t.T());
            set(f, "transforms:M", t.M());
            break;
        case GmlTransformKind::Fasinh:
            f = tr.append_child("transforms:fasinh");
            set(f, "transforms:T", t.T());
            set(f, "transforms:M", t.M());
            set(f, "transforms:A", t.A());
            break;
        case GmlTransformKind::Logicle:
        case GmlTransformKind::Hyperlog:
            f = tr.append_child(t.Kind() == GmlTransformKind::Logicle ? "transforms:logicle" : "transforms:hyperlog");
            set(f, "transforms:T", t.T());
            set(f, "transforms:W", t.W());
            set(f, "transforms:M", t.M());
            set(f, "transforms:A", t.A());
            break;
        case GmlTransformKind::Fratio:
            f = tr.append_child("transforms:fratio");
            set(f, "transforms:A", t.A());
            set(f, "transforms:B", t.B());
            set(f, "transforms:C", t.C());
            for (const std::string& n : t.RatioDimensions())
                f.append_child("data-type:fcs-dimension").append_attribute("data-type:name") = n.c_str();
            break;
        }
    }
    for (const GmlSpectrumMatrix& m : doc.matrices) {
        pugi::xml_node sm = root.append_child("transforms:spectrumMatrix");
        sm.append_attribute("transforms:id") = m.id.c_str();
        if (m.invertedAlready) sm.append_attribute("transforms:matrix-inverted-already") = "true";
        pugi::xml_node fl = sm.append_child("transforms:fluorochromes");
        for (const std::string& n : m.fluorochromes)
            fl.append_child("data-type:fcs-dimension").append_attribute("data-type:name") = n.c_str();
        pugi::xml_node det = sm.append_child("transforms:detectors");
        for (const std::string& n : m.detectors)
            det.append_child("data-type:fcs-dimension").append_attribute("data-type:name") = n.c_str();
        const size_t cols = m.invertedAlready ? m.fluorochromes.size() : m.detectors.size();
        for (size_t r = 0; cols > 0 && r * cols < m.coefficients.size(); ++r) {
            pugi::xml_node s = sm.append_child("transforms:spectrum");
            for (size_t c = 0; c < cols; ++c)
                s.append_child("transforms:coefficient").append_attribute("transforms:value") =
                    number(m.coefficients[r * cols + c]).c_str();
        }
    }
    // Quadrants are written as the rectangles they are, one gate each.
    for (const GmlGate& g : doc.gates) {
        static const char* const names[] = {"gating:RectangleGate", "gating:PolygonGate", "gating:EllipsoidGate",
                                            "gating:RectangleGate", "gating:BooleanGate"};
        pugi::xml_node e = root.append_child(names[int(g.kind)]);
        e.append_attribute("gating:id") = g.id.c_str();
        if (!g.parentId.empty()) e.append_attribute("gating:parent_id") = g.parentId.c_str();
        switch (g.kind) {
        case GmlGateKind::Rectangle:
        case GmlGateKind::Quadrant:
            for (size_t k = 0; k < g.dimensions.size(); ++k) {
                const std::string lo = number(g.min[k]), hi = number(g.max[k]);
                writeDimension(e, g.dimensions[k], std::isinf(g.min[k]) ? nullptr : lo.c_str(),
                               std::isinf(g.max[k]) ? nullptr : hi.c_str());
            }
            break;
        case GmlGateKind::Polygon:
            for (const GmlDimension& d : g.dimensions) writeDimension(e, d, nullptr, nullptr);
            for (size_t i = 0; i + 1 < g.vertices.size(); i += 2) {
                pugi::xml_node v = e.append_child("gating:vertex");
                writeValue(v, "gating:coordinate", g.vertices[i]);
                writeValue(v, "gating:coordinate", g.vertices[i + 1]);
            }
            break;
        case GmlGateKind::Ellipsoid: {
            for (const GmlDimension& d : g.dimensions) writeDimension(e, d, nullptr, nullptr);
            pugi::xml_node mean = e.append_child("gating:mean");
            for (double v : g.mean) writeValue(mean, "gating:coordinate", v);
            pugi::xml_node cov = e.append_child("gating:covarianceMatrix");
            const size_t n = g.dimensions.size();
            for (size_t r = 0; r < n; ++r) {
                pugi::xml_node row = cov.append_child("gating:row");
                for (size_t c = 0; c < n; ++c) writeValue(row, "gating:entry", g.covariance[r * n + c]);
            }
            writeValue(e, "gating:distanceSquare", g.distanceSquare);
            break;
        }
        case GmlGateKind::Boolean: {
            pugi::xml_node op = e.append_child(g.op == GmlBooleanOp::And  ? "gating:and"
                                               : g.op == GmlBooleanOp::Or ? "gating:or"
                                                                          : "gating:not");
            for (const GmlOperand& o : g.operands) {
                pugi::xml_node r = op.append_child("gating:gateReference");
                r.append_attribute("gating:ref") = o.ref.c_str();
                if (o.complement) r.append_attribute("gating:use-as-complement") = "true";
            }
            break;
        }
        }
    }
    std::ostringstream out;
    x.save(out, "    ", pugi::format_default, pugi::encoding_utf8);
    // CR LF line ends for text files the program writes.
    std::string text;
    for (char c : out.str()) {
        if (c == '\n') text += '\r';
        text += c;
    }
    return text;
}

void ExportGatingMlFile(const TData& base, const std::string& filename)
{
    // A gate's data set has its parent's columns; the axes come from the root
    // of that chain, which knows how the file's values were read.
    const TData* root = &base;
    while (root->gate && root->Parent()) root = root->Parent();
    // Refusals come before anything is written.
    const std::string xml = WriteGatingMl(GateTreeToGatingMl(CollectGateTree(base), WorkbenchAxes(*root)));
    const std::string target = SaveTarget(filename);
    try {
        WriteAndReplace(target, xml);
    } catch (const std::exception&) {
        throw OrvalaError("Can not create file: " + filename);
    }
}

}  // namespace orvala
