#include "DecompositionRun.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>

#include "TDBSpec.h"
#include "Unmixing.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "formats/TDataSet.h"

namespace orvala {

namespace {

std::string trimmed(const std::string& s)
{
    const char* ws = " \t\r\n";
    const size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(ws) - a + 1);
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

int findParameter(const TData& data, const std::string& name)
{
    const auto& desc = data.Desc();
    for (size_t i = 0; i < desc.size(); ++i)
        if (desc[i].name == name) return int(i);
    for (size_t i = 0; i < desc.size(); ++i)
        if (sameIgnoringCase(trimmed(desc[i].name), trimmed(name))) return int(i);
    // A shown name "V1-A/CD3" answers to its short name "V1-A" as well.
    for (size_t i = 0; i < desc.size(); ++i) {
        const std::string& n = desc[i].name;
        const size_t slash = n.find('/');
        if (slash != std::string::npos && sameIgnoringCase(trimmed(n.substr(0, slash)), trimmed(name))) return int(i);
    }
    return -1;
}

}  // namespace

DataMatrix LinearValues(const TData& data)
{
    DataMatrix values = data.data;
    // A gated data set holds rows of its root's values, mapped the same way.
    const TData* root = data.Grandpa();
    const auto* ds = root ? dynamic_cast<const TDataSet*>(root->dataset.get()) : nullptr;
    if (!ds || root->data.cols() != values.cols()) return values;
    const int cols = values.cols(), rows = values.rows();
    for (int c = 0; c < cols && c < int(ds->Scales.size()); ++c) {
        const TScale& s = ds->Scales[size_t(c)];
        if (!(s.decade > 0) || !(s.maxval > s.minval)) continue;
        // Inverse of v = log10(1 + (x - min) (10^decades - 1) / (max - min)).
        const double lo = s.minval, step = (double(s.maxval) - lo) / (std::pow(10.0, double(s.decade)) - 1);
        for (int e = 0; e < rows; ++e) {
            double& v = values[e][c];
            v = lo + (std::pow(10.0, v) - 1) * step;
        }
    }
    return values;
}

TData* RunDecomposition(TData& data, const TDBSpec& library, const DecompositionChoice& choice, TMultiThread* pool,
                        const std::string& name)
{
    std::vector<int> channels;
    for (size_t i = 0; i < choice.channels.size(); ++i)
        if (choice.channels[i]) channels.push_back(int(i));
    if (channels.empty()) throw OrvalaError(NoChannelsText);
    if (choice.entries.empty()) throw OrvalaError(NoSpectraText);
    TMatrix DieSpecs;
    TStrVector names;
    for (int entry : choice.entries) {
        const TVector& spectrum = library.GetItem(entry);
        if (int(spectrum.size()) <= channels.back()) throw OrvalaError(LengthMismatchText);
        TVector row;
        row.reserve(channels.size());
        for (int c : channels) row.push_back(spectrum[size_t(c)]);
        DieSpecs.push_back(std::move(row));
        names.push_back(library.Name(entry));
    }
    TBoolVector checked(size_t(data.CaseSize()), 0);
    for (int c : channels)
        if (c < int(checked.size())) checked[size_t(c)] = 1;
    if (channels.back() >= data.CaseSize()) throw OrvalaError(NoChannelsText);
    TData* result = GaussDecomposition(data, LinearValues(data), DieSpecs, checked, choice.nonNegative, pool, name);
    for (size_t j = 0; j < names.size(); ++j) result->Desc()[j].name = names[j];
    return result;
}

std::vector<int> MatchDetectors(const TData& data, const TStrVector& detectors)
{
    std::vector<int> columns;
    for (const std::string& d : detectors) {
        const int c = findParameter(data, d);
        if (c < 0) throw OrvalaError("the data set " + data.ShortName() + " has no detector " + d);
        columns.push_back(c);
    }
    return columns;
}

TData* UnmixWithTable(TData& data, const TStrVector& detectors, const TStrVector& names, const TMatrix& spectra,
                      bool nonNegative, TMultiThread* pool, const std::string& name)
{
    const std::vector<int> columns = MatchDetectors(data, detectors);
    // The fit reads the detectors in channel order, so the spectra's values
    // are put in that order too.
    std::vector<size_t> order(columns.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return columns[a] < columns[b]; });
    TBoolVector checked(size_t(data.CaseSize()), 0);
    for (int c : columns) {
        if (checked[size_t(c)]) throw OrvalaError("two detectors of the spectra are the same parameter " +
                                                  data.Desc()[size_t(c)].name);
        checked[size_t(c)] = 1;
    }
    TMatrix DieSpecs;
    for (const TVector& s : spectra) {
        TVector row;
        for (size_t i : order) row.push_back(s.at(i));
        DieSpecs.push_back(std::move(row));
    }
    if (DieSpecs.empty()) throw OrvalaError(NoSpectraText);
    const DataMatrix linear = LinearValues(data);
    DataRef unmixed(GaussDecomposition(data, linear, DieSpecs, checked, nonNegative, pool, name + "_amounts"));

    std::vector<int> kept;
    for (int c = 0; c < data.CaseSize(); ++c)
        if (!checked[size_t(c)]) kept.push_back(c);
    const int k = int(spectra.size());
    const int n = data.data.rows();
    const int width = int(kept.size()) + k;
    TData* result = TData::Create(name, width, n);
    for (size_t j = 0; j < kept.size(); ++j) result->Desc()[j] = data.Desc()[size_t(kept[j])];
    for (int j = 0; j < k; ++j) result->Desc()[kept.size() + size_t(j)] = TParDescriptor{names.at(size_t(j))};
    for (int e = 0; e < n; ++e) {
        double* out = result->data[e];
        const double* in = linear[e];
        for (size_t j = 0; j < kept.size(); ++j) out[j] = in[kept[j]];
        const double* amounts = unmixed->data[e];
        for (int j = 0; j < k; ++j) out[kept.size() + size_t(j)] = amounts[j];
    }
    result->fPath = data.fPath;
    result->fExtension = data.fExtension;
    result->link.resize(size_t(n));
    for (int e = 0; e < n; ++e) result->link[size_t(e)] = e;
    result->setParent(&data);
    return result;
}

}  // namespace orvala
