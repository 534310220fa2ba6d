#include "plot/PlotView.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvala {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double dot(const TVector& a, const TVector& b)
{
    double s = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) s += a[i] * b[i];
    return s;
}

void normalise(TVector& v)
{
    const double s = dot(v, v);
    if (s <= 0) return;
    const double n = std::sqrt(s);
    for (double& e : v) e /= n;
}

// Mixing coefficients this close to -1, 0 or 1 are taken as exactly that, so
// a gate seen with its own or exchanged axes keeps its vertices bit for bit.
double snapped(double m)
{
    for (double k : {-1.0, 0.0, 1.0})
        if (std::fabs(m - k) <= 1e-9) return k;
    return m;
}

double forward(GateAxisScale s, double v)
{
    if (s.loglin) v = LogToLin(v);
    if (s.linlog) v = LinToLog(v);
    return v;
}

double inverse(GateAxisScale s, double v)
{
    if (s.linlog) v = LinToLogInverse(v);
    if (s.loglin) v = LogToLinInverse(v);
    return v;
}

bool isIdentity(GateAxisScale s) { return !s.loglin && !s.linlog; }

// The map between a gate's coordinates and the view's, one view axis at a
// time when each view axis takes one gate axis (the common case: the same
// or exchanged axes), else a linear map of both.
struct Mapping {
    enum AxisKind { Same, Negated, Linear, Curved };
    bool separable = false;
    double m[2][2] = {};  // raw view projections = m * raw gate projections
    double inv[2][2] = {};
    // Separable: view axis i shows gate axis src[i], scaled by k[i].
    int src[2] = {0, 1};
    double k[2] = {1, 1};
    AxisKind kind[2] = {Same, Same};
    GateAxisScale view[2], gate[2];

    bool curved() const { return separable && (kind[0] == Curved || kind[1] == Curved); }

    // View coordinate i of a gate point g (gate coordinates).
    double toView(int i, const double g[2]) const
    {
        if (!separable) return m[i][0] * g[0] + m[i][1] * g[1];
        const double w = g[src[i]];
        switch (kind[i]) {
        case Same: return w;
        case Negated: return -w;
        case Linear: return k[i] * w;
        case Curved: break;
        }
        return forward(view[i], k[i] * inverse(gate[src[i]], w));
    }
    // Gate coordinate j of a view point p.
    double toGate(int j, const double p[2]) const
    {
        if (!separable) return inv[j][0] * p[0] + inv[j][1] * p[1];
        const int i = src[0] == j ? 0 : 1;
        const double w = p[i];
        switch (kind[i]) {
        case Same: return w;
        case Negated: return -w;
        case Linear: return w / k[i];
        case Curved: break;
        }
        return forward(gate[j], inverse(view[i], w) / k[i]);
    }
};

// Where the gate's plane holds the view's axis w: (alpha, beta) with
// w = alpha gx + beta gy; nothing when w leaves the plane.
std::optional<std::pair<double, double>> inPlane(const TVector& gx, const TVector& gy, const TVector& w)
{
    const double g11 = dot(gx, gx), g12 = dot(gx, gy), g22 = dot(gy, gy);
    const double det = g11 * g22 - g12 * g12;
    const double w2 = dot(w, w);
    if (!(det > 1e-12 * g11 * g22) || !(w2 > 0)) return std::nullopt;
    const double p1 = dot(gx, w), p2 = dot(gy, w);
    // The Gram matrix solves for gate directions that are not orthonormal;
    // for orthonormal ones alpha = gx . w and beta = gy . w.
    const double alpha = (g22 * p1 - g12 * p2) / det, beta = (g11 * p2 - g12 * p1) / det;
    const double residual = w2 - (alpha * p1 + beta * p2);
    if (!(std::fabs(residual) <= 1e-6 * w2)) return std::nullopt;
    return std::pair{snapped(alpha), snapped(beta)};
}

// An outline is drawn with straight edges; through a curved axis map an
// edge stays straight only when it runs along an axis.
bool edgesStayStraight(const Mapping& map, const TVector& gx, const TVector& gy)
{
    if (!map.curved()) return true;
    for (size_t i = 0; i + 1 < gx.size(); ++i)
        if (gx[i] != gx[i + 1] && gy[i] != gy[i + 1]) return false;
    return true;
}

bool allFinite(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double e) { return std::isfinite(e); });
}

bool within(double a, double b)
{
    // Edits under 0.1 % of the stored value do not re-gate; a stored 0 needs an exact match.
    if (b == 0) return a == 0;
    return std::fabs(a - b) <= 0.001 * std::fabs(b);
}

}  // namespace

double LinToLogInverse(double v)
{
    return static_cast<double>(std::sinh(static_cast<long double>(v) / 111.0L));
}

double LogToLinInverse(double v)
{
    if (!(v > 0)) return NaN;
    return static_cast<double>(256.0L * std::log10(static_cast<long double>(v)));
}

GateAxisScale gateScaleFor(AxisMode mode)
{
    const AxisScale s = AxisScaleFor(mode);
    return {s.loglin, s.linlog};
}

int MarkerDrag::markerAt(double px, double m0, double m1, double tolerance)
{
    const double d0 = std::fabs(px - m0), d1 = std::fabs(px - m1);
    if (d0 <= tolerance && (d0 <= d1 || !(d1 <= tolerance))) return 0;
    if (d1 <= tolerance) return 1;
    return -1;
}

bool MarkerDrag::press(double px, double m0, double m1, double mouseValue, const double positions[2])
{
    grabbed = markerAt(px, m0, m1);
    // The marker keeps its distance to the mouse: a grab a pixel off does not make it jump.
    offset = grabbed >= 0 ? positions[grabbed] - mouseValue : 0;
    return grabbed >= 0;
}

TVector PlotView::parameterDirection(int parameters, const std::vector<int>& ticked, const TMatrix* evects,
                                     const TIntVector* indices)
{
    const int n = std::max(parameters, 0);
    TVector v(size_t(n), 0.0);
    for (int i : ticked) {
        if (i < 0) continue;
        if (i < n) {
            v[size_t(i)] += 1;
        } else if (evects && size_t(i - n) < evects->size()) {
            // A ticked component adds its eigenvector into the parameters the filter reads.
            const TVector& ev = (*evects)[size_t(i - n)];
            for (size_t j = 0; j < ev.size(); ++j) {
                const int par = !indices || indices->empty() ? int(j) : (j < indices->size() ? (*indices)[j] : -1);
                if (par >= 0 && par < n) v[size_t(par)] += ev[j];
            }
        }
    }
    normalise(v);
    return v;
}

TVector PlotView::componentDirection(const TMatrix& evects, const std::vector<int>& ticked)
{
    const size_t m = evects.size();
    TVector v(m, 0.0);
    for (int k : ticked) {
        if (k < 0 || size_t(k) >= m) continue;
        const TVector& ev = evects[size_t(k)];
        for (size_t j = 0; j < ev.size() && j < m; ++j) v[j] += ev[j];
    }
    normalise(v);
    return v;
}

bool PlotView::hasX() const { return dot(x.direction, x.direction) >= 1e-16; }

bool PlotView::histogram() const { return dot(y.direction, y.direction) < 1e-16; }

namespace {

std::optional<Mapping> mappingFor(const PlotView& view, const GateShape& g)
{
    // A projection gate lives over the parameters, a component gate in its
    // filter's space; directions of one space mean nothing in the other.
    if (g.components != view.components || (g.components && !g.sameFilter)) return std::nullopt;
    if (g.cx.size() != g.cy.size() || g.cx.size() < 2) return std::nullopt;
    const auto xs = inPlane(g.x, g.y, view.x.direction);
    const auto ys = inPlane(g.x, g.y, view.y.direction);
    if (!xs || !ys) return std::nullopt;
    Mapping map;
    map.m[0][0] = xs->first;
    map.m[0][1] = xs->second;
    map.m[1][0] = ys->first;
    map.m[1][1] = ys->second;
    const double det = map.m[0][0] * map.m[1][1] - map.m[0][1] * map.m[1][0];
    // Both view axes along one line of the plane: an outline would collapse.
    if (!(std::fabs(det) > 1e-9)) return std::nullopt;
    map.inv[0][0] = map.m[1][1] / det;
    map.inv[0][1] = -map.m[0][1] / det;
    map.inv[1][0] = -map.m[1][0] / det;
    map.inv[1][1] = map.m[0][0] / det;
    map.view[0] = gateScaleFor(view.x.mode);
    map.view[1] = gateScaleFor(view.y.mode);
    map.gate[0] = g.sx;
    map.gate[1] = g.sy;
    if (map.m[0][1] == 0 && map.m[1][0] == 0) {
        map.separable = true;
        map.src[0] = 0, map.src[1] = 1;
        map.k[0] = map.m[0][0], map.k[1] = map.m[1][1];
    } else if (map.m[0][0] == 0 && map.m[1][1] == 0) {
        map.separable = true;
        map.src[0] = 1, map.src[1] = 0;
        map.k[0] = map.m[0][1], map.k[1] = map.m[1][0];
    }
    if (map.separable) {
        for (int i = 0; i < 2; ++i) {
            const GateAxisScale s = map.view[i], t = map.gate[map.src[i]];
            if (s == t && map.k[i] == 1)
                map.kind[i] = Mapping::Same;
            else if (s == t && map.k[i] == -1 && !s.loglin)  // LinToLog is odd, LogToLin is not
                map.kind[i] = Mapping::Negated;
            else if (isIdentity(s) && isIdentity(t))
                map.kind[i] = Mapping::Linear;
            else
                map.kind[i] = Mapping::Curved;
        }
        return map;
    }
    // A rotated or sheared view: straight edges stay straight only without scales.
    if (!isIdentity(map.view[0]) || !isIdentity(map.view[1]) || !isIdentity(g.sx) || !isIdentity(g.sy))
        return std::nullopt;
    return map;
}

// The gate outline of a contour; where drawn is given, coordinates the user
// did not move keep the stored values.
std::optional<Outline> backMap(const Mapping& map, const GateShape& g, const Outline& now, const Outline* drawn)
{
    const size_t n = now.x.size();
    if (now.y.size() != n || n < 2) return std::nullopt;
    const bool sameSize = drawn && drawn->x.size() == n && drawn->y.size() == n && g.cx.size() == n;
    Outline out;
    out.x.resize(n);
    out.y.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double p[2] = {now.x[i], now.y[i]};
        double gate[2] = {map.toGate(0, p), map.toGate(1, p)};
        if (sameSize) {
            const bool same[2] = {now.x[i] == drawn->x[i], now.y[i] == drawn->y[i]};
            const double stored[2] = {g.cx[i], g.cy[i]};
            if (map.separable) {
                // Each view coordinate shows one gate coordinate.
                for (int v = 0; v < 2; ++v)
                    if (same[v]) gate[map.src[v]] = stored[map.src[v]];
            } else if (same[0] && same[1]) {
                gate[0] = stored[0];
                gate[1] = stored[1];
            }
        }
        out.x[i] = gate[0];
        out.y[i] = gate[1];
    }
    if (!allFinite(out.x) || !allFinite(out.y) || !edgesStayStraight(map, out.x, out.y)) return std::nullopt;
    return out;
}

}  // namespace

std::optional<Outline> PlotView::contourOf(const GateShape& g) const
{
    const std::optional<Mapping> map = mappingFor(*this, g);
    if (!map || !edgesStayStraight(*map, g.cx, g.cy)) return std::nullopt;
    Outline out;
    out.x.resize(g.cx.size());
    out.y.resize(g.cx.size());
    for (size_t i = 0; i < g.cx.size(); ++i) {
        const double p[2] = {g.cx[i], g.cy[i]};
        out.x[i] = map->toView(0, p);
        out.y[i] = map->toView(1, p);
    }
    if (!allFinite(out.x) || !allFinite(out.y)) return std::nullopt;
    return out;
}

std::optional<Outline> PlotView::gateOutlineOf(const GateShape& g, const Outline& contour) const
{
    const std::optional<Mapping> map = mappingFor(*this, g);
    if (!map) return std::nullopt;
    return backMap(*map, g, contour, nullptr);
}

GateEdit PlotView::edit(const GateShape& g, const Outline& drawn, const Outline& now) const
{
    GateEdit result;
    if (now == drawn) return result;  // a click, or a drag back to where it started
    const std::optional<Mapping> map = mappingFor(*this, g);
    const std::optional<Outline> back = map ? backMap(*map, g, now, &drawn) : std::nullopt;
    if (!back) {
        result.kind = GateEdit::Refused;
        return result;
    }
    bool differs = back->x.size() != g.cx.size();
    for (size_t i = 0; !differs && i < back->x.size(); ++i)
        differs = !within(back->x[i], g.cx[i]) || !within(back->y[i], g.cy[i]);
    if (!differs) return result;
    result.kind = GateEdit::Regate;
    result.cx = back->x;
    result.cy = back->y;
    return result;
}

std::optional<PlotView::NewGate> PlotView::polygonGate(const Outline& drawn) const
{
    if (!hasX() || histogram() || drawn.x.size() != drawn.y.size()) return std::nullopt;
    if (!allFinite(drawn.x) || !allFinite(drawn.y)) return std::nullopt;
    // Distinct vertices of the open outline: a click and the right button
    // give two, however the mouse moved in between.
    size_t n = drawn.x.size();
    if (n > 1 && drawn.x[n - 1] == drawn.x[0] && drawn.y[n - 1] == drawn.y[0]) --n;
    int distinct = 0;
    for (size_t i = 0; i < n; ++i)
        if (i == 0 || drawn.x[i] != drawn.x[i - 1] || drawn.y[i] != drawn.y[i - 1]) ++distinct;
    if (n > 1 && drawn.x[n - 1] == drawn.x[0] && drawn.y[n - 1] == drawn.y[0]) --distinct;
    if (distinct < 3) return std::nullopt;
    NewGate gate{x.direction, y.direction, drawn.x, drawn.y, gateScaleFor(x.mode), gateScaleFor(y.mode)};
    return gate;
}

std::optional<PlotView::NewGate> PlotView::rangeGate(double marker1, double marker2) const
{
    if (!hasX() || !std::isfinite(marker1) || !std::isfinite(marker2)) return std::nullopt;
    const double lo = std::min(marker1, marker2), hi = std::max(marker1, marker2);
    // All vertices on y = 0 make the gate a closed range on x. The bounds are
    // the markers' plotted positions and the gate carries the axis' scale, so
    // the test compares each event exactly where the user sees it.
    NewGate gate{x.direction, TVector(x.direction.size(), 0.0), {lo, hi, lo}, {0, 0, 0}, gateScaleFor(x.mode), {}};
    return gate;
}

}  // namespace orvala
