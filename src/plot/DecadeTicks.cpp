#include "plot/DecadeTicks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <set>

namespace orvala {

namespace {

constexpr double Big = std::numeric_limits<double>::max();

double pow10(int k) { return std::pow(10.0, k); }

// The decade exponent of |v| when v is exactly ±10^k.
bool decadeExponent(double v, int& k)
{
    const double a = std::fabs(v);
    if (!(a > 0) || !std::isfinite(a)) return false;
    k = int(std::nearbyint(std::log10(a)));
    return a == pow10(k);
}

std::string shortest(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string superscript(int k)
{
    static const char* const digits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
    std::string s = k < 0 ? "⁻" : "";
    for (char c : std::to_string(std::abs(k))) s += digits[c - '0'];
    return s;
}

// Accepts positions in the order offered while each keeps `spacing` from
// every one accepted before (and from `taken`).
struct Thinner {
    std::set<double> kept;
    const std::set<double>* taken = nullptr;
    double spacing = 0;

    static bool clear(const std::set<double>& s, double p, double spacing)
    {
        const auto it = s.lower_bound(p);
        if (it != s.end() && *it - p < spacing) return false;
        if (it != s.begin() && p - *std::prev(it) < spacing) return false;
        return true;
    }
    bool offer(double p)
    {
        if (!clear(kept, p, spacing) || (taken && !clear(*taken, p, spacing))) return false;
        kept.insert(p);
        return true;
    }
};

// 1, 2 or 5 times a power of ten, at least `raw`.
double niceStep(double raw)
{
    const double e = pow10(int(std::floor(std::log10(raw))));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * e >= raw * (1 - 1e-12)) return m * e;
    return 10 * e;
}

// Where an axis plots a data value, the data value at a plotted position (an
// end beyond the doubles clamped to the largest double), and which data values
// the axis can show where they lie (a log axis piles everything below its
// bound at its bottom).
struct TickScale {
    std::function<double(double)> position, value;
    std::function<bool(double)> shows;
};

AxisTicks ticksOn(const TickScale& scale, double lo, double hi, double minSpacing);

}  // namespace

double decadePosition(AxisMode mode, double v)
{
    return mode == AxisMode::LinLog ? LinToLog(v) : v;
}

double decadeValue(AxisMode mode, double position)
{
    if (mode != AxisMode::LinLog) return position;
    const double v = std::sinh(position / 111.0);
    return std::isfinite(v) ? v : std::copysign(Big, position);
}

std::string decadeLabel(double v)
{
    if (v == 0) return "0";
    int k = 0;
    if (decadeExponent(v, k) && (k > 3 || k < -3)) return (v < 0 ? "-10" : "10") + superscript(k);
    return shortest(v);
}

namespace {

AxisTicks ticksOn(const TickScale& scale, double lo, double hi, double minSpacing)
{
    AxisTicks t;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return t;
    if (!std::isfinite(minSpacing) || minSpacing <= 0) minSpacing = (hi - lo) / 10;
    const double a = scale.value(lo), b = scale.value(hi);
    // A hair of slack so a decade lying exactly on an end of the range counts.
    const double slack = (hi - lo) * 1e-9;
    auto inRange = [&](double p) { return p >= lo - slack && p <= hi + slack; };

    // Candidate decades, most significant first: 0, then by falling magnitude.
    struct Cand {
        double value, pos;
    };
    std::vector<Cand> decades;
    if (a <= 0 && b >= 0 && scale.shows(0.0)) decades.push_back({0.0, scale.position(0.0)});
    const double top = std::max(std::fabs(a), std::fabs(b));
    const double bottom = (a <= 0 && b >= 0) ? 0.0 : std::min(std::fabs(a), std::fabs(b));
    // One decade of slack each way: the ends come back from the inverse
    // scale a rounding error off (sinh(asinh(10^4)) may be 9999.999...).
    const int kmax = std::min(int(std::floor(std::log10(top))) + 1, 308);
    // Decades crowd towards 0 on both scales; 40 below the largest is far
    // beyond anything that can still be told apart on screen.
    const int kmin = bottom > 0 ? std::max(int(std::floor(std::log10(bottom))) - 1, kmax - 40) : kmax - 40;
    for (int k = kmax; k >= kmin; --k) {
        for (double sign : {1.0, -1.0}) {
            const double v = sign * pow10(k);
            if (!scale.shows(v)) continue;
            const double p = scale.position(v);
            if (inRange(p)) decades.push_back({v, p});
        }
    }

    std::vector<Cand> majors;
    Thinner labelled;
    labelled.spacing = minSpacing;
    for (const Cand& c : decades)
        if (labelled.offer(c.pos)) majors.push_back(c);

    // Only two decades in view (a short range such as 0..4): label 2 and 5
    // times the decades too, so the axis can still be read.
    if (majors.size() == 2) {
        for (int k = kmax; k >= kmin - 1; --k)
            for (double m : {5.0, 2.0})
                for (double sign : {1.0, -1.0}) {
                    const double v = sign * m * pow10(k);
                    if (!scale.shows(v)) continue;
                    const double p = scale.position(v);
                    if (inRange(p) && labelled.offer(p)) majors.push_back({v, p});
                }
    }

    // Minor ticks: the unlabelled decades and 2..9 times each decade.
    auto decadeMinors = [&](Thinner& minors) {
        for (const Cand& c : decades) minors.offer(c.pos);
        for (int k = kmax; k >= kmin - 1; --k)
            for (int m = 9; m >= 2; --m)
                for (double sign : {1.0, -1.0}) {
                    if (!scale.shows(sign * m * pow10(k))) continue;
                    const double p = scale.position(sign * m * pow10(k));
                    if (inRange(p)) minors.offer(p);
                }
    };
    Thinner minors;
    minors.taken = &labelled.kept;
    minors.spacing = minSpacing / 8;
    if (majors.size() < 2) {
        // Zoomed in between decades: evenly stepped data values, still placed by the scale.
        std::vector<Cand> stepped;
        Thinner steppedLabels;
        steppedLabels.spacing = minSpacing;
        Thinner steppedMinors;
        steppedMinors.taken = &steppedLabels.kept;
        steppedMinors.spacing = minSpacing / 8;
        const double span = b - a;
        if (std::isfinite(span) && span > 0) {
            const double step = niceStep(span / 5);
            const double first = std::ceil(a / step);
            for (double i = first; i * step <= b && i - first < 100; ++i) {
                const double v = i * step == 0 ? 0.0 : i * step;
                if (!scale.shows(v)) continue;
                const double p = scale.position(v);
                if (inRange(p) && steppedLabels.offer(p)) stepped.push_back({v, p});
            }
            const double sub = step / 5;
            const double firstSub = std::ceil(a / sub);
            for (double i = firstSub; i * sub <= b && i - firstSub < 600; ++i) {
                if (!scale.shows(i * sub)) continue;
                const double p = scale.position(i * sub);
                if (inRange(p)) steppedMinors.offer(p);
            }
        }
        // Keep the lone decade when the steps do no better (a range too wide for doubles).
        if (stepped.size() > majors.size()) {
            majors = std::move(stepped);
            minors = std::move(steppedMinors);
            minors.taken = nullptr;
        } else {
            decadeMinors(minors);
        }
    } else {
        decadeMinors(minors);
    }

    std::sort(majors.begin(), majors.end(), [](const Cand& x, const Cand& y) { return x.pos < y.pos; });
    for (const Cand& c : majors) {
        t.major.push_back(c.pos);
        t.values.push_back(c.value);
        t.labels.push_back(decadeLabel(c.value));
    }
    t.minor.assign(minors.kept.begin(), minors.kept.end());
    return t;
}

}  // namespace

AxisTicks decadeTicks(AxisMode mode, double lo, double hi, double minSpacing)
{
    if (mode == AxisMode::Linear) return {};
    const TickScale scale{[mode](double v) { return decadePosition(mode, v); },
                          [mode](double p) { return decadeValue(mode, p); }, [](double) { return true; }};
    return ticksOn(scale, lo, hi, minSpacing);
}

AxisTicks decadeTicks(const DisplayTransform& transform, double lo, double hi, double minSpacing)
{
    if (transform.Kind() == TransformKind::Linear) return {};
    const double bound = transform.LowerBound();
    const TickScale scale{[&](double v) { return transform.Forward(v); },
                          [&](double p) {
                              const double v = transform.Inverse(p);
                              return std::isfinite(v) || std::isnan(v) ? v : std::copysign(Big, v);
                          },
                          [bound](double v) { return v >= bound; }};
    return ticksOn(scale, lo, hi, minSpacing);
}

}  // namespace orvala
