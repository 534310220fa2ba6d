#include "GmlFcs.h"

#include <cmath>

#include "GmlError.h"
#include "core/TPreText.h"
#include "formats/TFCStream.h"
#include "formats/TText.h"

namespace orvala {

namespace {

std::string trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// $SPILLOVER (FCS 3.1) or the older SPILL / $SPILL: n, n parameter names, n x n values.
void readSpillover(const TPreText& keywords, GmlFcsData& out)
{
    std::string text;
    for (const char* key : {"$SPILLOVER", "SPILL", "$SPILL", "SPILLOVER"}) {
        text = keywords.GetValue(key);
        if (!trim(text).empty()) break;
    }
    if (trim(text).empty()) return;
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        fields.push_back(trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    int64_t n = 0;
    // The count is checked against the fields that can hold it before anything is sized from it.
    if (!parseFcsInt(fields[0], n) || n <= 0 || size_t(n) > fields.size() ||
        fields.size() != 1 + size_t(n) + size_t(n) * size_t(n)) {
        out.spillProblem = "the spillover keyword is not a readable matrix";
        return;
    }
    std::vector<std::string> names(fields.begin() + 1, fields.begin() + 1 + n);
    std::vector<double> values(size_t(n * n));
    for (size_t i = 0; i < values.size(); ++i)
        if (!parseFcsFloat(fields[1 + size_t(n) + i], values[i]) || !std::isfinite(values[i])) {
            out.spillProblem = "the spillover keyword holds a value that is not a number";
            return;
        }
    out.spillNames = std::move(names);
    out.spillover = std::move(values);
}

}  // namespace

GmlEvents GmlFcsData::Events() const
{
    GmlEvents e;
    e.names = names;
    e.values = values.data();
    e.events = values.rows();
    e.eventStride = size_t(values.cols());
    e.parameterStride = 1;
    e.spillNames = spillNames;
    e.spillover = spillover;
    e.spillProblem = spillProblem;
    return e;
}

GmlFcsData FcsScaleValues(const TPreText& keywords, DataMatrix raw)
{
    GmlFcsData out;
    const int cols = std::min(raw.cols(), int(keywords.pars.size()));
    raw.setCols(cols);
    const int timeIndex = keywords.TimePar - 1;
    for (int p = 0; p < cols; ++p) {
        const TPar& par = keywords.pars[size_t(p)];
        out.names.push_back(par.name);
        const bool isTime = p == timeIndex || sameIgnoringCase(par.name, "time");
        double scale = 1, decades = 0, intersect = 1, range = 0;
        if (isTime) {
            // Time is gated on as stored.
        } else if (par.decade > 0) {
            decades = par.decade;
            // $PnE "f1,0" is not valid FCS but is written; it means f2 = 1.
            intersect = par.intersect > 0 ? par.intersect : 1;
            range = double(par.resolution);
            if (!(range > 0))
                throw GmlError("The logarithmic parameter \"" + par.name + "\" has no usable $PnR");
        } else if (par.gain > 0 && par.gain != 1) {
            scale = 1 / par.gain;
        }
        if (decades == 0 && scale == 1) continue;
        for (int e = 0; e < raw.rows(); ++e) {
            double& v = raw[e][p];
            v = decades > 0 ? intersect * std::pow(10.0, decades * v / range) : v * scale;
        }
    }
    out.values = std::move(raw);
    readSpillover(keywords, out);
    return out;
}

GmlFcsData ReadFcsScaleValues(const std::string& path, TMultiThread* pool, MessageSink& sink, int datasetnum)
{
    TFCStream stream(path, true, sink, pool);
    if (stream.badfile || datasetnum < 0 || stream.Count() <= datasetnum || !stream.DataSet(datasetnum)->Text)
        throw GmlError("\"" + path + "\" is not an FCS file that can be read");
    TDataSet& ds = *stream.DataSet(datasetnum);
    return FcsScaleValues(*ds.Text, std::move(ds.values));
}

}  // namespace orvala
