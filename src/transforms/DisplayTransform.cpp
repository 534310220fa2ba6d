#include "transforms/DisplayTransform.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "parallel/CompleteChunks.h"
#include "transforms/Biexponential.h"
#include "transforms/FastScales.h"
#include "transforms/TransformError.h"

namespace orvala {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct KindSpec {
    TransformKind kind;
    const char* name;
    std::vector<const char*> parameters;  // in the order of p_ and of the text
};

const std::array<KindSpec, 4>& kindSpecs()
{
    static const std::array<KindSpec, 4> specs = {{
        {TransformKind::Linear, "linear", {}},
        {TransformKind::Log, "log", {"T", "M"}},
        {TransformKind::Arcsinh, "arcsinh", {"cofactor"}},
        {TransformKind::Logicle, "logicle", {"T", "W", "M", "A"}},
    }};
    return specs;
}

const KindSpec& specOf(TransformKind kind)
{
    for (const KindSpec& s : kindSpecs())
        if (s.kind == kind) return s;
    return kindSpecs()[0];
}

std::string number(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string textOf(TransformKind kind, const double* p)
{
    const KindSpec& spec = specOf(kind);
    std::string s = spec.name;
    for (size_t i = 0; i < spec.parameters.size(); ++i) s += std::string(" ") + spec.parameters[i] + "=" + number(p[i]);
    return s;
}

[[noreturn]] void refuse(std::string_view text, const std::string& why)
{
    throw TransformError("Display transform \"" + std::string(text) + "\": " + why + ".");
}

bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i])) ++i;
        const size_t start = i;
        while (i < s.size() && !isBlank(s[i])) ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

// Values per work item of the bulk paths: large enough that handing out items
// costs nothing, small enough that two workers finish together.
constexpr size_t kBlock = size_t(1) << 15;

template <class Fn>
void overBlocks(TMultiThread* pool, size_t n, Fn&& fn)
{
    if (n == 0) return;
    const size_t blocks = (n + kBlock - 1) / kBlock;
    if (!pool || blocks < 2 || blocks > size_t(std::numeric_limits<int>::max())) {
        fn(size_t(0), n);
        return;
    }
    forAllChunks(pool, int(blocks), 1,
                 [&](int first, int last) { fn(size_t(first) * kBlock, std::min(n, size_t(last) * kBlock)); });
}

// The prepared logicle of these parameters, shared while anybody holds it:
// every gate and view of a parameter usually carries the same transform, and
// preparing one takes about a millisecond.
std::shared_ptr<const Biexponential> sharedLogicle(double T, double W, double M, double A)
{
    static std::mutex lock;
    static std::map<std::array<uint64_t, 4>, std::weak_ptr<const Biexponential>> prepared;
    std::array<uint64_t, 4> key;
    const double p[4] = {T, W, M, A};
    std::memcpy(key.data(), p, sizeof p);  // bits: -0 and 0 give different scales
    {
        const std::lock_guard<std::mutex> hold(lock);
        const auto it = prepared.find(key);
        if (it != prepared.end())
            if (auto shared = it->second.lock()) return shared;
    }
    auto made = std::make_shared<const Biexponential>(Biexponential::Logicle(T, W, M, A));
    const std::lock_guard<std::mutex> hold(lock);
    if (prepared.size() >= 64)
        for (auto it = prepared.begin(); it != prepared.end();) it = it->second.expired() ? prepared.erase(it) : std::next(it);
    prepared[key] = made;
    return made;
}

}  // namespace

DisplayTransform DisplayTransform::Log(double T, double M)
{
    DisplayTransform t;
    t.kind_ = TransformKind::Log;
    t.p_[0] = T;
    t.p_[1] = M;
    try {
        t.flog_ = Flog::Make(T, M);
    } catch (const TransformError& e) {
        refuse(textOf(t.kind_, t.p_), e.what());
    }
    if (!(t.LowerBound() >= std::numeric_limits<double>::min()))
        refuse(textOf(t.kind_, t.p_), "T 10^-M, the bottom of the scale, is too small for a number");
    return t;
}

DisplayTransform DisplayTransform::Arcsinh(double cofactor)
{
    DisplayTransform t;
    t.kind_ = TransformKind::Arcsinh;
    t.p_[0] = cofactor;
    if (!(cofactor >= 1e-300 && cofactor <= 1e300)) refuse(textOf(t.kind_, t.p_), "the cofactor must lie between 1e-300 and 1e300");
    // The Gating-ML fasinh that is this display to the bit (see the header).
    t.fasinh_ = Fasinh::Make(cofactor * std::sinh(1.0), kLog10E, 0);
    return t;
}

DisplayTransform DisplayTransform::Logicle(double T, double W, double M, double A)
{
    DisplayTransform t;
    t.kind_ = TransformKind::Logicle;
    t.p_[0] = T;
    t.p_[1] = W;
    t.p_[2] = M;
    t.p_[3] = A;
    try {
        t.logicle_ = sharedLogicle(T, W, M, A);
    } catch (const TransformError& e) {
        refuse(textOf(t.kind_, t.p_), e.what());
    }
    return t;
}

std::string DisplayTransform::Text() const { return textOf(kind_, p_); }

DisplayTransform DisplayTransform::FromText(std::string_view text)
{
    const std::vector<std::string_view> w = words(text);
    if (w.empty())
        throw TransformError("A display transform is empty; expected \"linear\", \"log\", \"arcsinh\" or \"logicle\" "
                             "with its parameters.");
    const KindSpec* spec = nullptr;
    for (const KindSpec& s : kindSpecs())
        if (sameLetters(w[0], s.name)) spec = &s;
    if (!spec) refuse(text, "\"" + std::string(w[0]) + "\" is no display transform; expected linear, log, arcsinh or logicle");
    double p[4] = {0, 0, 0, 0};
    bool given[4] = {false, false, false, false};
    for (size_t k = 1; k < w.size(); ++k) {
        const size_t eq = w[k].find('=');
        if (eq == std::string_view::npos)
            refuse(text, "\"" + std::string(w[k]) + "\" is not of the form name=value");
        const std::string_view name = w[k].substr(0, eq), value = w[k].substr(eq + 1);
        size_t i = 0;
        while (i < spec->parameters.size() && !sameLetters(name, spec->parameters[i])) ++i;
        if (i == spec->parameters.size()) {
            std::string takes;
            for (size_t j = 0; j < spec->parameters.size(); ++j)
                takes += (j == 0 ? "" : j + 1 == spec->parameters.size() ? " and " : ", ") + std::string(spec->parameters[j]);
            refuse(text, std::string(spec->name) + (takes.empty() ? " takes no parameters" : " takes " + takes) +
                             ", not \"" + std::string(name) + "\"");
        }
        if (given[i]) refuse(text, std::string(spec->parameters[i]) + " is given twice");
        const auto r = std::from_chars(value.data(), value.data() + value.size(), p[i]);
        if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size())
            refuse(text, "\"" + std::string(value) + "\" is not a number for " + spec->parameters[i]);
        given[i] = true;
    }
    for (size_t i = 0; i < spec->parameters.size(); ++i)
        if (!given[i]) refuse(text, std::string(spec->parameters[i]) + " is missing");
    switch (spec->kind) {
    case TransformKind::Linear:
        break;
    case TransformKind::Log:
        return Log(p[0], p[1]);
    case TransformKind::Arcsinh:
        return Arcsinh(p[0]);
    case TransformKind::Logicle:
        return Logicle(p[0], p[1], p[2], p[3]);
    }
    return Linear();
}

double DisplayTransform::LowerBound() const
{
    return kind_ == TransformKind::Log ? flog_.Inverse(0) : -std::numeric_limits<double>::infinity();
}

bool DisplayTransform::operator==(const DisplayTransform& other) const
{
    if (kind_ != other.kind_) return false;
    for (int i = 0; i < 4; ++i)
        if (!(p_[i] == other.p_[i])) return false;
    return true;
}

double DisplayTransform::Forward(double x) const
{
    switch (kind_) {
    case TransformKind::Linear:
        return x;
    case TransformKind::Log: {
        if (std::isnan(x)) return kNaN;
        // flog is NaN for x <= 0 and negative below the bound: both go to 0.
        const double y = flog_.Forward(x);
        return y > 0 ? y : 0.0;
    }
    case TransformKind::Arcsinh:
        return fasinh_.Forward(x);
    case TransformKind::Logicle:
        return logicle_->Forward(x);
    }
    return kNaN;
}

double DisplayTransform::Inverse(double y) const
{
    switch (kind_) {
    case TransformKind::Linear:
        return y;
    case TransformKind::Log:
        return flog_.Inverse(y);
    case TransformKind::Arcsinh:
        return fasinh_.Inverse(y);
    case TransformKind::Logicle:
        return logicle_->Inverse(y);
    }
    return kNaN;
}

void DisplayTransform::ForwardMany(const double* x, double* y, size_t n, TMultiThread* pool) const
{
    if (kind_ == TransformKind::Linear) {
        if (x != y) overBlocks(pool, n, [&](size_t b, size_t e) { std::memmove(y + b, x + b, (e - b) * sizeof(double)); });
        return;
    }
    overBlocks(pool, n, [&](size_t b, size_t e) {
        for (size_t i = b; i < e; ++i) y[i] = Forward(x[i]);
    });
}

namespace {

// The vector logarithm of the log path needs quotients that are normal
// doubles wherever the scale lies above 0.
bool logHasFastPath(double M) { return M <= 300; }

}  // namespace

void DisplayTransform::ForwardFast(const double* x, double* y, size_t n, TMultiThread* pool) const
{
    switch (kind_) {
    case TransformKind::Log:
        if (!logHasFastPath(p_[1])) break;
        overBlocks(pool, n, [&](size_t b, size_t e) { LogFastValues(x + b, y + b, e - b, p_[0], p_[1]); });
        return;
    case TransformKind::Arcsinh:
        // asinh(x scale), as fasinh computes it with M ln 10 = 1 and A = 0.
        overBlocks(pool, n, [&](size_t b, size_t e) { AsinhFastValues(x + b, y + b, e - b, fasinh_.Scale()); });
        return;
    case TransformKind::Logicle:
        overBlocks(pool, n, [&](size_t b, size_t e) { logicle_->ForwardApprox(x + b, y + b, e - b); });
        return;
    case TransformKind::Linear:
        break;
    }
    ForwardMany(x, y, n, pool);
}

double DisplayTransform::FastError() const
{
    switch (kind_) {
    case TransformKind::Log:
        return logHasFastPath(p_[1]) ? LogFastError(p_[1]) : 0;
    case TransformKind::Arcsinh:
        return AsinhFastError();
    case TransformKind::Logicle:
        return logicle_->ApproxError();
    case TransformKind::Linear:
        break;
    }
    return 0;
}

GatingMlScale DisplayTransform::GatingMl() const
{
    GatingMlScale g;
    switch (kind_) {
    case TransformKind::Linear:
        break;
    case TransformKind::Log:
        g.kind = GatingMlScaleKind::Flog;
        g.T = flog_.T();
        g.M = flog_.M();
        break;
    case TransformKind::Arcsinh:
        g.kind = GatingMlScaleKind::Fasinh;
        g.T = fasinh_.T();
        g.M = fasinh_.M();
        g.A = fasinh_.A();
        break;
    case TransformKind::Logicle:
        g.kind = GatingMlScaleKind::Logicle;
        g.T = p_[0];
        g.W = p_[1];
        g.M = p_[2];
        g.A = p_[3];
        break;
    }
    return g;
}

}  // namespace orvala
