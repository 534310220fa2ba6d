#include "PixelClassify.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "RowPasses.h"
#include "Unmixing.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "core/TGate.h"

namespace orvala {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Infinity = std::numeric_limits<double>::infinity();

// acos near 1 resolves nothing below about 1.5e-8 rad: a pixel lying along a
// class spectrum gives a cosine a rounding step off 1, and a threshold of 0
// deviations would then refuse it. Cosines within a few rounding steps of 1
// (or -1) are taken as angle 0 (or pi); beyond them the clamp keeps acos
// from returning NaN.
constexpr double CosineOne = 1.0 - 8 * std::numeric_limits<double>::epsilon();

double angleOf(double cosine)
{
    if (cosine >= CosineOne) return 0.0;
    if (cosine <= -CosineOne) return std::acos(-1.0);
    return std::acos(cosine);  // NaN stays NaN
}

// Picks the class of one pixel from its squared length and its dot products
// with the k unit spectra.
inline void decide(double squares, const double* dots, int k, const double* limits, int32_t& cls, double& ang)
{
    cls = Unclassified;
    ang = NaN;
    const double norm = std::sqrt(squares);
    if (!(norm > 0) || !std::isfinite(norm)) return;
    const double inv = 1.0 / norm;
    for (int j = 0; j < k; ++j) {
        const double a = angleOf(dots[j] * inv);
        // A NaN angle fails both comparisons and is never a candidate.
        if (a <= limits[j] && (cls == Unclassified || a < ang)) {
            cls = j;
            ang = a;
        }
    }
}

// All k dot products and the squared length in one pass over the bands: the
// k + 1 sums are independent chains, so the processor overlaps them while
// each still adds its terms in band order.
template <int K>
void samFixed(const double* values, int from, int to, int stride, int cols, const double* mt, const double* limits,
              int32_t* classOf, double* angle)
{
    for (int p = from; p < to; ++p) {
        const double* x = values + size_t(p) * size_t(stride);
        double squares = 0;
        double dots[K] = {};
        for (int b = 0; b < cols; ++b) {
            const double v = x[b];
            squares += v * v;
            const double* m = mt + size_t(b) * K;
            for (int j = 0; j < K; ++j) dots[j] += m[j] * v;
        }
        int32_t c;
        double a;
        decide(squares, dots, K, limits, c, a);
        if (classOf) classOf[p] = c;
        if (angle) angle[p] = a;
    }
}

void samAny(const double* values, int from, int to, int stride, int cols, int k, const double* mt,
            const double* limits, int32_t* classOf, double* angle)
{
    std::vector<double> dots(static_cast<size_t>(k));
    for (int p = from; p < to; ++p) {
        const double* x = values + size_t(p) * size_t(stride);
        double squares = 0;
        std::fill(dots.begin(), dots.end(), 0.0);
        for (int b = 0; b < cols; ++b) {
            const double v = x[b];
            squares += v * v;
            const double* m = mt + size_t(b) * size_t(k);
            for (int j = 0; j < k; ++j) dots[size_t(j)] += m[j] * v;
        }
        int32_t c;
        double a;
        decide(squares, dots.data(), k, limits, c, a);
        if (classOf) classOf[p] = c;
        if (angle) angle[p] = a;
    }
}

using SamKernel = void (*)(const double*, int, int, int, int, const double*, const double*, int32_t*, double*);

SamKernel fixedKernel(int k)
{
    switch (k) {
    case 1: return samFixed<1>;
    case 2: return samFixed<2>;
    case 3: return samFixed<3>;
    case 4: return samFixed<4>;
    case 5: return samFixed<5>;
    case 6: return samFixed<6>;
    case 7: return samFixed<7>;
    case 8: return samFixed<8>;
    default: return nullptr;
    }
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

uint32_t ClassColour(int i)
{
    static constexpr uint32_t colours[] = {
        0x0000FF00,  // lime
        0x00FF0000,  // blue
        0x0000FFFF,  // yellow
        0x00FFFF00,  // aqua
        0x00FF00FF,  // fuchsia
        0x00000080,  // maroon
        0x00008000,  // green
        0x00008080,  // olive
        0x00800000,  // navy
        0x00800080,  // purple
        0x00808000,  // teal
        0x00808080,  // grey
        0x00C0C0C0,  // silver
    };
    constexpr int n = int(sizeof colours / sizeof colours[0]);
    return colours[((i % n) + n) % n];
}

TVector MeanSpectrum(const TData& data)
{
    const int cols = data.CaseSize(), rows = data.events();
    TVector sum(size_t(cols), 0.0);
    std::vector<int> n(size_t(cols), 0);
    for (int e = 0; e < rows; ++e) {
        const double* r = data.data[e];
        for (int c = 0; c < cols; ++c)
            if (std::isfinite(r[c])) {
                sum[size_t(c)] += r[c];
                ++n[size_t(c)];
            }
    }
    for (int c = 0; c < cols; ++c) sum[size_t(c)] = n[size_t(c)] ? sum[size_t(c)] / n[size_t(c)] : 0.0;
    return sum;
}

TVector UnitLength(TVector v)
{
    double s = 0;
    for (double x : v) s += x * x;
    const double len = std::sqrt(s);
    if (len > 0 && std::isfinite(len))
        for (double& x : v) x /= len;
    return v;
}

void CheckClass(const TData& cls, int length)
{
    if (cls.events() <= 0) throw OrvalaError("The class " + quoted(cls.ShortName()) + " has no events.");
    if (cls.CaseSize() != length)
        throw OrvalaError("The class " + quoted(cls.ShortName()) + " has " + std::to_string(cls.CaseSize()) +
                          " parameters, the image " + std::to_string(length) +
                          ": its spectrum belongs to another image.");
}

TMatrix ClassSpectra(const std::vector<TData*>& classes, int length)
{
    TMatrix spectra;
    for (const TData* c : classes) {
        CheckClass(*c, length);
        spectra.push_back(UnitLength(MeanSpectrum(*c)));
    }
    return spectra;
}

void SamClassify(const double* values, int rows, int stride, int cols, const TMatrix& spectra, const TVector& limits,
                 int32_t* classOf, double* angle, TMultiThread* pool)
{
    const int k = int(spectra.size());
    if (rows <= 0) return;
    // Bands outer, classes inner: one pixel's products read one short row.
    std::vector<double> mt(size_t(cols) * size_t(k), 0.0);
    for (int j = 0; j < k; ++j)
        for (int b = 0; b < cols && b < int(spectra[size_t(j)].size()); ++b)
            mt[size_t(b) * size_t(k) + size_t(j)] = spectra[size_t(j)][size_t(b)];
    TVector lim(size_t(k), Infinity);
    for (int j = 0; j < k && j < int(limits.size()); ++j) lim[size_t(j)] = limits[size_t(j)];

    const SamKernel kernel = fixedKernel(k);
    ForRows(pool, rows, size_t(cols) * size_t(k + 1), [&](int from, int to) {
        if (kernel)
            kernel(values, from, to, stride, cols, mt.data(), lim.data(), classOf, angle);
        else
            samAny(values, from, to, stride, cols, k, mt.data(), lim.data(), classOf, angle);
    });
}

TVector SpectralAngles(const double* values, int rows, int stride, int cols, const TVector& unit)
{
    TVector angles(size_t(std::max(rows, 0)));
    const TVector none{Infinity};
    SamClassify(values, rows, stride, cols, TMatrix{unit}, none, nullptr, angles.data(), nullptr);
    return angles;
}

double AngleDeviation(const double* angles, size_t count)
{
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < count; ++i)
        if (!std::isnan(angles[i])) {
            sum += angles[i] * angles[i];
            ++n;
        }
    if (n == 0) return 0;
    if (n == 1) return sum;
    return std::sqrt(sum / double(n - 1));
}

void SdClassify(const double* values, int rows, int stride, int cols, const TMatrix& spectra, int32_t* classOf,
                TMultiThread* pool)
{
    const int k = int(spectra.size());
    if (rows <= 0) return;
    if (k == 0) {
        std::fill(classOf, classOf + rows, Unclassified);
        return;
    }
    std::vector<int> columns(static_cast<size_t>(cols));
    for (int c = 0; c < cols; ++c) columns[size_t(c)] = c;
    std::vector<double> amounts(size_t(rows) * size_t(k));
    UnmixRows(values, rows, stride, columns.data(), spectra, true, amounts.data(), k, pool);
    ForRows(pool, rows, size_t(k), [&](int from, int to) {
        for (int p = from; p < to; ++p) {
            const double* a = amounts.data() + size_t(p) * size_t(k);
            int32_t best = Unclassified;
            for (int j = 0; j < k; ++j)
                if (a[j] > 0 && (best == Unclassified || a[j] > a[best])) best = j;
            classOf[p] = best;
        }
    });
}

std::vector<int32_t> ClassMap::pixelsOf(int c) const
{
    std::vector<int32_t> pixels;
    for (size_t p = 0; p < classOf.size(); ++p)
        if (classOf[p] == c) pixels.push_back(int32_t(p));
    return pixels;
}

ClassMap SamClassification(TData& image, const std::vector<TData*>& classes, double sigma, TMultiThread* pool)
{
    ClassMap map;
    if (classes.empty()) return map;
    const int cols = image.CaseSize();
    const TMatrix spectra = ClassSpectra(classes, cols);
    const int k = int(classes.size());
    TVector limits(size_t(k), Infinity);
    for (int j = 0; j < k; ++j) {
        TData& c = *classes[size_t(j)];
        const TVector a = SpectralAngles(c.data.data(), c.events(), c.CaseSize(), c.CaseSize(), spectra[size_t(j)]);
        c.Deviation = AngleDeviation(a.data(), a.size());
        if (sigma >= 0) limits[size_t(j)] = sigma * c.Deviation;
    }
    map.classes = k;
    map.classOf.resize(size_t(image.events()));
    map.angle.resize(size_t(image.events()));
    SamClassify(image.data.data(), image.events(), cols, cols, spectra, limits, map.classOf.data(), map.angle.data(),
                pool);
    return map;
}

ClassMap SdClassification(TData& image, const std::vector<TData*>& classes, TMultiThread* pool)
{
    ClassMap map;
    if (classes.empty()) return map;
    const int cols = image.CaseSize();
    const TMatrix spectra = ClassSpectra(classes, cols);
    map.classes = int(classes.size());
    map.classOf.resize(size_t(image.events()));
    SdClassify(image.data.data(), image.events(), cols, cols, spectra, map.classOf.data(), pool);
    return map;
}

std::vector<TData*> MakeClassResults(TData& image, const std::vector<TData*>& classes, const ClassMap& map)
{
    std::vector<TData*> made;
    try {
        for (int j = 0; j < map.classes && j < int(classes.size()); ++j) {
            const TData& cls = *classes[size_t(j)];
            TGate gate(TGateType::gtSubset, map.pixelsOf(j));
            gate.name = cls.ShortName();
            gate.color = cls.NativeColor();
            TData* kid = TData::Gated(&image, &gate);
            if (!kid) continue;
            made.push_back(kid);
            kid->setShortName(cls.ShortName());
            if (!map.angle.empty()) {
                std::vector<double> a;
                a.reserve(kid->link.size());
                for (int32_t p : kid->link) a.push_back(map.angle[size_t(p)]);
                kid->Deviation = AngleDeviation(a.data(), a.size());
            }
        }
    } catch (...) {
        for (TData* d : made) delete d;
        throw;
    }
    return made;
}

}  // namespace orvala
