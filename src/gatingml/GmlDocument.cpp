#include "GmlDocument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "GmlMath.h"

namespace orvala {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Documents come with any namespace prefixes ("gating:", "gml:" or none), so
// elements and attributes are matched by their local names.
std::string_view localName(const char* name)
{
    std::string_view s(name);
    const size_t colon = s.rfind(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

bool is(const pugi::xml_node& node, std::string_view name)
{
    return node.type() == pugi::node_element && localName(node.name()) == name;
}

pugi::xml_attribute attribute(const pugi::xml_node& node, std::string_view name)
{
    for (pugi::xml_attribute a : node.attributes())
        if (localName(a.name()) == name && std::string_view(a.name()).substr(0, 5) != "xmlns") return a;
    return {};
}

std::vector<pugi::xml_node> children(const pugi::xml_node& node, std::string_view name)
{
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c : node.children())
        if (is(c, name)) out.push_back(c);
    return out;
}

pugi::xml_node child(const pugi::xml_node& node, std::string_view name)
{
    for (pugi::xml_node c : node.children())
        if (is(c, name)) return c;
    return {};
}

std::string trimmed(std::string_view s)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return std::string(s);
}

// What the messages call an element: its local name and, when it has one, its id.
std::string describe(const pugi::xml_node& node)
{
    std::string text = "element <" + std::string(localName(node.name())) + ">";
    for (std::string_view key : {"id", "name", "ref", "divider_ref"})
        if (pugi::xml_attribute a = attribute(node, key); a) return text + " \"" + a.value() + "\"";
    return text;
}

[[noreturn]] void fail(const pugi::xml_node& node, const std::string& what)
{
    throw GmlError(describe(node) + ": " + what);
}

// A finite number in "." notation whatever the locale.
double number(const pugi::xml_node& node, std::string_view text, std::string_view what)
{
    const std::string s = trimmed(text);
    const char* begin = s.data();
    if (!s.empty() && s[0] == '+') ++begin;
    double v = 0;
    const auto [end, ec] = std::from_chars(begin, s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        fail(node, std::string(what) + " \"" + s + "\" is not a number");
    return v;
}

double numberAttribute(const pugi::xml_node& node, std::string_view name)
{
    pugi::xml_attribute a = attribute(node, name);
    if (!a) fail(node, "the attribute " + std::string(name) + " is missing");
    return number(node, a.value(), name);
}

double optionalNumber(const pugi::xml_node& node, std::string_view name, double fallback)
{
    pugi::xml_attribute a = attribute(node, name);
    return a ? number(node, a.value(), name) : fallback;
}

std::string requiredText(const pugi::xml_node& node, std::string_view name)
{
    pugi::xml_attribute a = attribute(node, name);
    const std::string v = a ? trimmed(a.value()) : std::string();
    if (v.empty()) fail(node, "the attribute " + std::string(name) + " is missing");
    return v;
}

std::string fcsDimensionName(const pugi::xml_node& node)
{
    return requiredText(node, "name");
}

// The fcs-dimension or new-dimension inside node, with node's own references.
GmlDimension readDimension(const pugi::xml_node& node)
{
    GmlDimension d;
    if (pugi::xml_attribute a = attribute(node, "compensation-ref"); a) d.compensation = trimmed(a.value());
    if (d.compensation.empty()) fail(node, "the compensation-ref is empty");
    if (pugi::xml_attribute a = attribute(node, "transformation-ref"); a) {
        d.transformation = trimmed(a.value());
        if (d.transformation.empty()) fail(node, "the transformation-ref is empty");
    }
    const pugi::xml_node fcs = child(node, "fcs-dimension");
    const pugi::xml_node ratio = child(node, "new-dimension");
    if (fcs && ratio) fail(node, "holds both an fcs-dimension and a new-dimension");
    if (fcs)
        d.name = fcsDimensionName(fcs);
    else if (ratio)
        d.ratio = requiredText(ratio, "transformation-ref");
    else
        fail(node, "names no fcs-dimension or new-dimension");
    return d;
}

std::vector<double> coordinates(const pugi::xml_node& node, std::string_view element)
{
    std::vector<double> out;
    for (const pugi::xml_node& c : children(node, element)) out.push_back(numberAttribute(c, "value"));
    return out;
}

class Reader {
public:
    GmlDocument doc;

    void visit(const pugi::xml_node& node)
    {
        for (pugi::xml_node c : node.children()) {
            if (c.type() != pugi::node_element) continue;
            const std::string_view name = localName(c.name());
            if (name == "transformation")
                readTransformation(c);
            else if (name == "spectrumMatrix")
                readMatrix(c);
            else if (name == "RectangleGate")
                readRectangle(c);
            else if (name == "PolygonGate")
                readPolygon(c);
            else if (name == "EllipsoidGate")
                readEllipsoid(c);
            else if (name == "QuadrantGate")
                readQuadrants(c);
            else if (name == "BooleanGate")
                readBoolean(c);
            else if (name != "custom_info")
                visit(c);  // tools wrap gates in their own elements; those are looked through
        }
    }

private:
    void readTransformation(const pugi::xml_node& node)
    {
        const std::string id = requiredText(node, "id");
        pugi::xml_node f;
        for (pugi::xml_node c : node.children())
            if (c.type() == pugi::node_element && !is(c, "custom_info")) {
                if (f) fail(node, "holds more than one transformation");
                f = c;
            }
        if (!f) fail(node, "holds no transformation");
        const std::string_view kind = localName(f.name());
        const auto T = [&] { return numberAttribute(f, "T"); };
        const auto M = [&] { return numberAttribute(f, "M"); };
        const auto W = [&] { return numberAttribute(f, "W"); };
        const auto A = [&] { return numberAttribute(f, "A"); };
        if (kind == "flin")
            doc.transforms.push_back(GmlTransform::Flin(id, T(), A()));
        else if (kind == "flog")
            doc.transforms.push_back(GmlTransform::Flog(id, T(), M()));
        else if (kind == "fasinh")
            doc.transforms.push_back(GmlTransform::Fasinh(id, T(), M(), A()));
        else if (kind == "logicle")
            doc.transforms.push_back(GmlTransform::Logicle(id, T(), W(), M(), A()));
        else if (kind == "hyperlog")
            doc.transforms.push_back(GmlTransform::Hyperlog(id, T(), W(), M(), A()));
        else if (kind == "fratio") {
            const auto dims = children(f, "fcs-dimension");
            if (dims.size() != 2) fail(node, "a ratio needs exactly two fcs-dimensions");
            doc.transforms.push_back(GmlTransform::Fratio(id, A(), numberAttribute(f, "B"), numberAttribute(f, "C"),
                                                          fcsDimensionName(dims[0]), fcsDimensionName(dims[1])));
        } else
            fail(node, "the transformation <" + std::string(kind) + "> is not known");
    }

    void readMatrix(const pugi::xml_node& node)
    {
        GmlSpectrumMatrix m;
        m.id = requiredText(node, "id");
        if (pugi::xml_attribute a = attribute(node, "matrix-inverted-already"); a) {
            const std::string v = trimmed(a.value());
            m.invertedAlready = v == "true" || v == "1";
            if (!m.invertedAlready && v != "false" && v != "0") fail(node, "matrix-inverted-already is not true or false");
        }
        const pugi::xml_node fl = child(node, "fluorochromes");
        const pugi::xml_node det = child(node, "detectors");
        if (!fl || !det) fail(node, "needs fluorochromes and detectors");
        for (const pugi::xml_node& c : children(fl, "fcs-dimension")) m.fluorochromes.push_back(fcsDimensionName(c));
        for (const pugi::xml_node& c : children(det, "fcs-dimension")) m.detectors.push_back(fcsDimensionName(c));
        if (m.fluorochromes.empty() || m.detectors.empty()) fail(node, "names no fluorochromes or no detectors");
        const size_t rows = m.invertedAlready ? m.detectors.size() : m.fluorochromes.size();
        const size_t cols = m.invertedAlready ? m.fluorochromes.size() : m.detectors.size();
        const auto spectra = children(node, "spectrum");
        if (spectra.size() != rows)
            fail(node, "has " + std::to_string(spectra.size()) + " spectra where " + std::to_string(rows) +
                           " are needed");
        for (const pugi::xml_node& s : spectra) {
            const std::vector<double> row = coordinates(s, "coefficient");
            if (row.size() != cols)
                fail(node, "a spectrum has " + std::to_string(row.size()) + " coefficients where " +
                               std::to_string(cols) + " are needed");
            m.coefficients.insert(m.coefficients.end(), row.begin(), row.end());
        }
        if (!m.invertedAlready && m.fluorochromes.size() > m.detectors.size())
            fail(node, "has more fluorochromes than detectors");
        doc.matrices.push_back(std::move(m));
    }

    GmlGate start(const pugi::xml_node& node, GmlGateKind kind)
    {
        GmlGate g;
        g.id = requiredText(node, "id");
        if (pugi::xml_attribute a = attribute(node, "parent_id"); a) g.parentId = trimmed(a.value());
        g.kind = kind;
        return g;
    }

    std::vector<GmlDimension> dimensions(const pugi::xml_node& node)
    {
        std::vector<GmlDimension> out;
        for (const pugi::xml_node& d : children(node, "dimension")) out.push_back(readDimension(d));
        if (out.empty()) fail(node, "has no dimension");
        return out;
    }

    void readRectangle(const pugi::xml_node& node)
    {
        GmlGate g = start(node, GmlGateKind::Rectangle);
        g.dimensions = dimensions(node);
        for (const pugi::xml_node& d : children(node, "dimension")) {
            if (!attribute(d, "min") && !attribute(d, "max")) fail(d, "has neither min nor max");
            const double lo = optionalNumber(d, "min", -kInf);
            const double hi = optionalNumber(d, "max", kInf);
            if (lo > hi) fail(d, "min is greater than max");
            g.min.push_back(lo);
            g.max.push_back(hi);
        }
        doc.gates.push_back(std::move(g));
    }

    void readPolygon(const pugi::xml_node& node)
    {
        GmlGate g = start(node, GmlGateKind::Polygon);
        g.dimensions = dimensions(node);
        if (g.dimensions.size() != 2) fail(node, "a polygon needs exactly two dimensions");
        const auto vertices = children(node, "vertex");
        if (vertices.size() < 3) fail(node, "a polygon needs at least three vertices");
        for (const pugi::xml_node& v : vertices) {
            const std::vector<double> c = coordinates(v, "coordinate");
            if (c.size() != 2) fail(node, "a vertex needs exactly two coordinates");
            g.vertices.insert(g.vertices.end(), c.begin(), c.end());
        }
        doc.gates.push_back(std::move(g));
    }

    void readEllipsoid(const pugi::xml_node& node)
    {
        GmlGate g = start(node, GmlGateKind::Ellipsoid);
        g.dimensions = dimensions(node);
        const size_t n = g.dimensions.size();
        const pugi::xml_node mean = child(node, "mean");
        const pugi::xml_node cov = child(node, "covarianceMatrix");
        const pugi::xml_node dist = child(node, "distanceSquare");
        if (!mean || !cov || !dist) fail(node, "needs a mean, a covarianceMatrix and a distanceSquare");
        g.mean = coordinates(mean, "coordinate");
        if (g.mean.size() != n) fail(node, "the mean needs one coordinate per dimension");
        const auto rows = children(cov, "row");
        if (rows.size() != n) fail(node, "the covariance matrix needs one row per dimension");
        for (const pugi::xml_node& r : rows) {
            const std::vector<double> e = coordinates(r, "entry");
            if (e.size() != n) fail(node, "each covariance row needs one entry per dimension");
            g.covariance.insert(g.covariance.end(), e.begin(), e.end());
        }
        g.distanceSquare = numberAttribute(dist, "value");
        if (g.distanceSquare < 0) fail(node, "the distanceSquare is negative");
        doc.gates.push_back(std::move(g));
    }

    void readQuadrants(const pugi::xml_node& node)
    {
        const GmlGate base = start(node, GmlGateKind::Quadrant);
        struct Divider {
            GmlDimension dim;
            std::vector<double> values;
        };
        std::map<std::string, Divider> dividers;
        for (const pugi::xml_node& d : children(node, "divider")) {
            const std::string id = requiredText(d, "id");
            Divider div{readDimension(d), {}};
            for (const pugi::xml_node& v : children(d, "value")) div.values.push_back(number(d, v.child_value(), "value"));
            if (div.values.empty()) fail(d, "has no value");
            std::sort(div.values.begin(), div.values.end());
            if (!dividers.emplace(id, std::move(div)).second) fail(d, "the divider id is used twice");
        }
        if (dividers.empty()) fail(node, "has no divider");
        const auto quadrants = children(node, "Quadrant");
        if (quadrants.empty()) fail(node, "has no Quadrant");
        for (const pugi::xml_node& q : quadrants) {
            GmlGate g = base;
            g.id = requiredText(q, "id");
            g.quadrantGateId = base.id;
            std::set<std::string> seen;
            for (const pugi::xml_node& p : children(q, "position")) {
                const std::string ref = requiredText(p, "divider_ref");
                const auto it = dividers.find(ref);
                if (it == dividers.end()) fail(q, "refers to the unknown divider \"" + ref + "\"");
                if (!seen.insert(ref).second) fail(q, "has two positions on the divider \"" + ref + "\"");
                const double location = numberAttribute(p, "location");
                // The quadrant is the interval between the divider values around its location.
                const std::vector<double>& v = it->second.values;
                const size_t k = size_t(std::upper_bound(v.begin(), v.end(), location) - v.begin());
                g.dimensions.push_back(it->second.dim);
                g.min.push_back(k == 0 ? -kInf : v[k - 1]);
                g.max.push_back(k == v.size() ? kInf : v[k]);
            }
            if (g.dimensions.empty()) fail(q, "has no position");
            doc.gates.push_back(std::move(g));
        }
    }

    void readBoolean(const pugi::xml_node& node)
    {
        GmlGate g = start(node, GmlGateKind::Boolean);
        pugi::xml_node op;
        for (std::string_view name : {"and", "or", "not"})
            if (pugi::xml_node c = child(node, name); c) {
                if (op) fail(node, "holds more than one of and, or, not");
                op = c;
                g.op = name == "and" ? GmlBooleanOp::And : name == "or" ? GmlBooleanOp::Or : GmlBooleanOp::Not;
            }
        if (!op) fail(node, "holds none of and, or, not");
        for (const pugi::xml_node& r : children(op, "gateReference")) {
            GmlOperand o;
            o.ref = requiredText(r, "ref");
            if (pugi::xml_attribute a = attribute(r, "use-as-complement"); a) {
                const std::string v = trimmed(a.value());
                o.complement = v == "true" || v == "1";
                if (!o.complement && v != "false" && v != "0") fail(r, "use-as-complement is not true or false");
            }
            g.operands.push_back(o);
        }
        if (g.op == GmlBooleanOp::Not && g.operands.size() != 1) fail(node, "a not needs exactly one gateReference");
        if (g.op != GmlBooleanOp::Not && g.operands.size() < 2)
            fail(node, "an and or an or needs at least two gateReferences");
        doc.gates.push_back(std::move(g));
    }
};

std::string gateText(const GmlGate& g) { return "gate \"" + g.id + "\""; }

}  // namespace

const GmlGate* GmlDocument::FindGate(const std::string& id) const
{
    for (const GmlGate& g : gates)
        if (g.id == id) return &g;
    return nullptr;
}

const GmlTransform* GmlDocument::FindTransform(const std::string& id) const
{
    for (const GmlTransform& t : transforms)
        if (t.Id() == id) return &t;
    return nullptr;
}

const GmlSpectrumMatrix* GmlDocument::FindMatrix(const std::string& id) const
{
    for (const GmlSpectrumMatrix& m : matrices)
        if (m.id == id) return &m;
    return nullptr;
}

void GmlDocument::Validate()
{
    order_.clear();
    std::map<std::string, int> index;
    std::set<std::string> ids;
    for (const GmlTransform& t : transforms)
        if (!ids.insert(t.Id()).second) throw GmlError("the transformation id \"" + t.Id() + "\" is used twice");
    ids.clear();
    for (const GmlSpectrumMatrix& m : matrices) {
        if (!ids.insert(m.id).second) throw GmlError("the spectrumMatrix id \"" + m.id + "\" is used twice");
        if (m.id == kGmlUncompensated || m.id == kGmlFcsCompensation)
            throw GmlError("the spectrumMatrix id \"" + m.id + "\" is reserved");
        const size_t rows = m.invertedAlready ? m.detectors.size() : m.fluorochromes.size();
        const size_t cols = m.invertedAlready ? m.fluorochromes.size() : m.detectors.size();
        if (m.coefficients.size() != rows * cols)
            throw GmlError("the spectrumMatrix \"" + m.id + "\" has the wrong number of coefficients");
        if (!m.invertedAlready && ProjectionOf(m).empty())
            throw GmlError("the spectrumMatrix \"" + m.id + "\" cannot be inverted");
    }
    for (int i = 0; i < int(gates.size()); ++i)
        if (!index.emplace(gates[size_t(i)].id, i).second)
            throw GmlError("the gate id \"" + gates[size_t(i)].id + "\" is used twice");

    const auto checkDimension = [&](const GmlGate& g, const GmlDimension& d) {
        if (d.compensation != kGmlUncompensated && d.compensation != kGmlFcsCompensation && !FindMatrix(d.compensation))
            throw GmlError(gateText(g) + " refers to the unknown compensation \"" + d.compensation + "\"");
        if (!d.transformation.empty()) {
            const GmlTransform* t = FindTransform(d.transformation);
            if (!t) throw GmlError(gateText(g) + " refers to the unknown transformation \"" + d.transformation + "\"");
            if (t->Kind() == GmlTransformKind::Fratio)
                throw GmlError(gateText(g) + ": the ratio \"" + d.transformation +
                               "\" can only be used through a new-dimension");
        }
        if (!d.ratio.empty()) {
            const GmlTransform* t = FindTransform(d.ratio);
            if (!t) throw GmlError(gateText(g) + " refers to the unknown transformation \"" + d.ratio + "\"");
            if (t->Kind() != GmlTransformKind::Fratio)
                throw GmlError(gateText(g) + ": the new-dimension \"" + d.ratio + "\" is not a ratio");
        } else if (d.name.empty())
            throw GmlError(gateText(g) + " has a dimension without a name");
    };
    for (const GmlGate& g : gates) {
        if (!g.parentId.empty() && !index.count(g.parentId))
            throw GmlError(gateText(g) + " refers to the unknown parent \"" + g.parentId + "\"");
        for (const GmlOperand& o : g.operands)
            if (!index.count(o.ref)) throw GmlError(gateText(g) + " refers to the unknown gate \"" + o.ref + "\"");
        for (const GmlDimension& d : g.dimensions) checkDimension(g, d);
        const size_t n = g.dimensions.size();
        switch (g.kind) {
        case GmlGateKind::Rectangle:
        case GmlGateKind::Quadrant:
            if (n == 0 || g.min.size() != n || g.max.size() != n)
                throw GmlError(gateText(g) + " needs a range on every dimension");
            break;
        case GmlGateKind::Polygon:
            if (n != 2 || g.vertices.size() < 6 || g.vertices.size() % 2 != 0)
                throw GmlError(gateText(g) + " needs two dimensions and at least three vertices");
            break;
        case GmlGateKind::Ellipsoid:
            if (n == 0 || g.mean.size() != n || g.covariance.size() != n * n)
                throw GmlError(gateText(g) + " needs a mean and a covariance matrix of its dimensions");
            if (InverseOf(g.covariance, int(n)).empty())
                throw GmlError(gateText(g) + ": the covariance matrix cannot be inverted");
            break;
        case GmlGateKind::Boolean:
            if (g.operands.empty()) throw GmlError(gateText(g) + " refers to no gate");
            break;
        }
        if (g.kind != GmlGateKind::Boolean && n == 0) throw GmlError(gateText(g) + " has no dimension");
    }

    // Depth-first order over parents and operands; a gate met again while its
    // own dependencies are open closes a cycle.
    std::vector<int> state(gates.size(), 0);  // 0 new, 1 open, 2 done
    std::function<void(int)> visit = [&](int i) {
        if (state[size_t(i)] == 2) return;
        if (state[size_t(i)] == 1)
            throw GmlError(gateText(gates[size_t(i)]) + " depends on itself through its parents or gate references");
        state[size_t(i)] = 1;
        const GmlGate& g = gates[size_t(i)];
        if (!g.parentId.empty()) visit(index.at(g.parentId));
        for (const GmlOperand& o : g.operands) visit(index.at(o.ref));
        state[size_t(i)] = 2;
        order_.push_back(i);
    };
    for (int i = 0; i < int(gates.size()); ++i) visit(i);
}

GmlDocument ParseGatingMl(std::string_view xml, const std::string& source)
{
    pugi::xml_document xdoc;
    const pugi::xml_parse_result parsed = xdoc.load_buffer(xml.data(), xml.size(), pugi::parse_default);
    if (!parsed)
        throw GmlError(source + ": not a readable XML document (" + parsed.description() + " at byte " +
                       std::to_string(parsed.offset) + ")");
    const pugi::xml_node root = xdoc.document_element();
    if (!is(root, "Gating-ML")) throw GmlError(source + ": not a Gating-ML document (no Gating-ML root element)");
    try {
        Reader reader;
        reader.visit(root);
        if (reader.doc.gates.empty()) throw GmlError("the document holds no gate");
        reader.doc.Validate();
        return std::move(reader.doc);
    } catch (const GmlError& e) {
        throw GmlError(source + ": " + e.what());
    }
}

GmlDocument ReadGatingMlFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw GmlError("Cannot open the Gating-ML file \"" + path + "\"");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw GmlError("Cannot read the Gating-ML file \"" + path + "\"");
    return ParseGatingMl(text.str(), "\"" + path + "\"");
}

}  // namespace orvala
