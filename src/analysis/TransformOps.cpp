#include "TransformOps.h"

#include <charconv>
#include <cmath>

#include "Transforms.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "numerics/TRandom.h"

namespace orvala {

const std::vector<TransformOp>& TransformOps()
{
    static const std::vector<TransformOp> ops = {
        {"bwdiv", "/BoxcarWidth", "", true},
        {"bwmul", "*BoxcarWidth", "", true},
        {"discriminate", "Discriminate", "LEVEL", true},
        {"log", "Convert To Log Scale", "", false},
        {"logratio", "Centered Logratio Transform", "PARAMETER...", false},
        {"spherical", "Convert to Hyperspherical Coordinates", "", false},
        {"swap", "Swap Channels order", "", true},
        {"cutnoise", "Cut Noise", "LEVEL", true},
        {"addnoise", "Add noise", "", true},
        {"transpose", "Transpose", "", false},
        {"findsignal", "Find Signal", "THRESHOLD", false},
        {"scale", "Scale 0..1023", "", true},
        {"cut", "Cut", "FIRST LAST", false},
    };
    return ops;
}

namespace {

double number(const std::string& text)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, v);
    if (res.ec != std::errc() || res.ptr != end || !std::isfinite(v))
        throw OrvalaError("'" + text + "' is not a valid floating point value");
    return v;
}

int integer(const std::string& text)
{
    int v = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, v);
    if (res.ec != std::errc() || res.ptr != end) throw OrvalaError("'" + text + "' is not a valid integer value");
    return v;
}

int parameter(const TData& dat, const std::string& text)
{
    if (const int c = dat.ParIndexByName(text); c >= 0) return c;
    int v = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, v);
    if (res.ec == std::errc() && res.ptr == end && v >= 1 && v <= dat.CaseSize()) return v - 1;
    throw OrvalaError("'" + text + "' is neither a parameter name nor a parameter number (1 to " +
                      std::to_string(dat.CaseSize()) + ") of " + dat.ShortName());
}

void expectArgs(const std::string& op, const std::vector<std::string>& args, size_t count)
{
    if (args.size() != count)
        throw OrvalaError(op + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s") + ", not " +
                          std::to_string(args.size()));
}

}  // namespace

TData* RunTransform(TData& dat, const std::string& op, const std::vector<std::string>& args,
                    const std::string& signalTable, TMultiThread* pool)
{
    bool known = false;
    for (const TransformOp& o : TransformOps()) known = known || op == o.name;
    if (!known) {
        std::string names;
        for (const TransformOp& o : TransformOps()) names += (names.empty() ? "" : ", ") + std::string(o.name);
        throw OrvalaError("unknown transform '" + op + "'; known: " + names);
    }
    const bool takesArgs = op == "discriminate" || op == "cutnoise" || op == "findsignal" || op == "cut" ||
                           op == "logratio";
    if (!takesArgs) expectArgs(op, args, 0);

    if (op == "log") return Logarithm(dat, pool);
    if (op == "spherical") return Spherical(dat, pool);
    if (op == "transpose") return Transpose(dat, pool);
    if (op == "logratio") {
        if (args.empty()) throw OrvalaError("logratio needs at least one parameter");
        TIntVector pars;
        for (const std::string& a : args) pars.push_back(parameter(dat, a));
        return Logratio(dat, pars, pool);
    }
    if (op == "cut") {
        expectArgs(op, args, 2);
        return CutPart(dat, integer(args[0]), integer(args[1]));
    }
    if (op == "findsignal") {
        expectArgs(op, args, 1);
        return Findsignal(dat, number(args[0]), signalTable, pool);
    }
    if (op == "discriminate") {
        expectArgs(op, args, 1);
        RecordingSink sink;
        if (!Discriminate(dat, number(args[0]), sink, pool))
            throw OrvalaError(sink.messages.empty() ? std::string("Discriminate kept no event") : sink.messages.front());
        return &dat;
    }
    if (op == "cutnoise") {
        expectArgs(op, args, 1);
        CutNoise(dat, number(args[0]), pool);
        return &dat;
    }
    if (op == "addnoise") {
        // A fresh generator per run: a batch gives every file the noise the
        // program's first "Add noise" would.
        TRandom random;
        AddNoise(dat, random);
        return &dat;
    }
    if (op == "scale") {
        Scale1023(dat, pool);
        return &dat;
    }
    if (op == "swap") {
        SwapChannels(dat, pool);
        return &dat;
    }
    if (op == "bwdiv") {
        BoxCarDiv(dat, pool);
        return &dat;
    }
    if (op == "bwmul") {
        BoxCarMul(dat, pool);
        return &dat;
    }
    throw OrvalaError("unknown transform '" + op + "'");
}

}  // namespace orvala
