#include "FcsFixtureWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

namespace orvala::fixtures {

namespace {

constexpr char Delim = '|';
constexpr size_t HeaderSize = 58;

std::string number(double v)
{
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string field8(long long v)
{
    // HEADER offsets are 8 right-aligned digits; larger offsets live only in
    // $BEGINDATA/$ENDDATA and the HEADER field says 0.
    if (v > 99999999) v = 0;
    std::string s = std::to_string(v);
    return std::string(8 - s.size(), ' ') + s;
}

std::string textSegment(const FcsDataSet& set, long long beginData, long long endData, long long nextData)
{
    std::vector<std::pair<std::string, std::string>> kv = {
        {"$BEGINANALYSIS", "0"},
        {"$ENDANALYSIS", "0"},
        {"$BEGINSTEXT", "0"},
        {"$ENDSTEXT", "0"},
        {"$BEGINDATA", std::to_string(beginData)},
        {"$ENDDATA", std::to_string(endData)},
        {"$BYTEORD", "1,2,3,4"},
        {"$DATATYPE", "F"},
        {"$MODE", "L"},
        {"$NEXTDATA", std::to_string(nextData)},
        {"$PAR", std::to_string(set.parameters.size())},
        {"$TOT", std::to_string(set.events())},
    };
    for (size_t p = 0; p < set.parameters.size(); ++p) {
        const std::string n = "$P" + std::to_string(p + 1);
        const FcsParameter& par = set.parameters[p];
        kv.emplace_back(n + "N", par.name);
        if (!par.longName.empty()) kv.emplace_back(n + "S", par.longName);
        kv.emplace_back(n + "B", "32");
        kv.emplace_back(n + "E", "0,0");
        kv.emplace_back(n + "R", number(par.range));
    }
    for (const auto& extra : set.keywords) kv.push_back(extra);
    std::string text(1, Delim);
    for (const auto& [k, v] : kv) text += k + Delim + v + Delim;
    return text;
}

// One data set starting at its own offset 0; nextData tells whether one follows.
std::string dataSetBytes(const FcsDataSet& set, bool last)
{
    const long long dataBytes = (long long)set.values.size() * 4;
    long long beginData = 0, endData = 0, nextData = 0;
    std::string text;
    // The TEXT segment holds the offsets that depend on its own length: settle
    // them by repeating until the length stops changing.
    for (int round = 0; round < 8; ++round) {
        text = textSegment(set, beginData, endData, nextData);
        const long long b = (long long)HeaderSize + (long long)text.size();
        const long long e = dataBytes > 0 ? b + dataBytes - 1 : b;
        const long long n = last ? 0 : e + 1;
        if (b == beginData && e == endData && n == nextData) break;
        beginData = b;
        endData = e;
        nextData = n;
    }
    std::string out = "FCS3.0    ";
    out += field8((long long)HeaderSize) + field8((long long)HeaderSize + (long long)text.size() - 1);
    out += field8(beginData) + field8(endData) + field8(0) + field8(0);
    out += text;
    for (float v : set.values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int i = 0; i < 4; ++i) out += char((bits >> (8 * i)) & 0xFF);
    }
    return out;
}

}  // namespace

std::string fcs30Bytes(const std::vector<FcsDataSet>& sets)
{
    std::string out;
    for (size_t i = 0; i < sets.size(); ++i) out += dataSetBytes(sets[i], i + 1 == sets.size());
    return out;
}

bool writeFcs30(const std::string& path, const std::vector<FcsDataSet>& sets)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    const std::string bytes = fcs30Bytes(sets);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f.flush());
}

std::string spilloverValue(const std::vector<std::string>& names, const std::vector<std::vector<double>>& matrix)
{
    std::string s = std::to_string(names.size());
    for (const auto& n : names) s += "," + n;
    for (const auto& row : matrix)
        for (double v : row) s += "," + number(v);
    return s;
}

FcsDataSet makeDemoDataSet(int events, uint64_t seed)
{
    struct Marker {
        const char* detector;
        const char* stain;
    };
    const Marker fluor[] = {{"FITC-A", "CD3"},        {"PE-A", "CD4"},     {"PerCP-Cy5.5-A", "CD8"},
                            {"PE-Cy7-A", "CD19"},     {"APC-A", "CD56"},   {"APC-H7-A", "CD14"},
                            {"BV421-A", "CD45"},      {"BV510-A", "HLA-DR"}, {"BV605-A", "CD16"}};
    constexpr int nf = int(std::size(fluor));
    FcsDataSet set;
    set.parameters.push_back({"FSC-A", "", 262144});
    set.parameters.push_back({"SSC-A", "", 262144});
    for (const Marker& m : fluor) set.parameters.push_back({m.detector, m.stain, 262144});
    set.parameters.push_back({"Time", "", 262144});
    const int np = int(set.parameters.size());

    // Populations: share of events, scatter centres and positive markers
    // (indices into fluor).
    struct Population {
        double share, fsc, ssc;
        std::vector<int> positive;
    };
    const Population pops[] = {
        {0.30, 60000, 25000, {0, 1, 6}},        // helper T cells: CD3 CD4 CD45
        {0.18, 58000, 24000, {0, 2, 6}},        // cytotoxic T cells: CD3 CD8 CD45
        {0.10, 62000, 22000, {3, 6, 7}},        // B cells: CD19 CD45 HLA-DR
        {0.08, 66000, 30000, {4, 6, 8}},        // NK cells: CD56 CD45 CD16
        {0.14, 95000, 60000, {5, 6, 7}},        // monocytes: CD14 CD45 HLA-DR
        {0.12, 110000, 150000, {6, 8}},         // granulocytes: CD45 CD16, large side scatter
        {0.08, 15000, 8000, {}},                // debris
    };
    // Spillover of each dye into the next two detectors, as neighbouring
    // emission spectra do.
    std::vector<std::vector<double>> spill(size_t(nf), std::vector<double>(size_t(nf), 0.0));
    for (int i = 0; i < nf; ++i) {
        spill[size_t(i)][size_t(i)] = 1.0;
        if (i + 1 < nf) spill[size_t(i)][size_t(i + 1)] = (12 + i) / 100.0;
        if (i + 2 < nf) spill[size_t(i)][size_t(i + 2)] = 0.03;
    }
    std::vector<std::string> names;
    for (const Marker& m : fluor) names.emplace_back(m.detector);
    set.keywords = {{"$CYT", "Orvala demo cytometer"},
                    {"$SRC", "Orvala demo"},
                    {"$DATE", "01-JUN-2026"},
                    {"$SPILLOVER", spilloverValue(names, spill)},
                    {"$TIMESTEP", "0.01"}};

    std::mt19937_64 rng(seed);
    // Box-Muller on the generator's raw bits, so the file is the same with any
    // standard library.
    auto uniform = [&] { return (double(rng() >> 11) + 0.5) * (1.0 / 9007199254740992.0); };
    auto normal = [&] { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); };

    std::vector<double> cumulative;
    double total = 0;
    for (const Population& p : pops) cumulative.push_back(total += p.share);

    set.values.resize(size_t(events) * size_t(np));
    std::vector<double> dye(static_cast<size_t>(nf), 0.0);
    for (int e = 0; e < events; ++e) {
        const double u = uniform() * total;
        const Population& pop = pops[size_t(std::lower_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin())];
        float* row = &set.values[size_t(e) * size_t(np)];
        row[0] = float(std::max(100.0, pop.fsc * (1 + 0.12 * normal())));
        row[1] = float(std::max(100.0, pop.ssc * (1 + 0.18 * normal())));
        for (int i = 0; i < nf; ++i) {
            const bool pos = std::find(pop.positive.begin(), pop.positive.end(), i) != pop.positive.end();
            dye[size_t(i)] = pos ? std::pow(10.0, 3.4 + 0.1 * (i % 4) + 0.2 * normal()) : 120 + 60 * normal();
        }
        for (int j = 0; j < nf; ++j) {
            double detected = 0;
            for (int i = 0; i < nf; ++i) detected += dye[size_t(i)] * spill[size_t(i)][size_t(j)];
            row[2 + j] = float(std::clamp(detected, -100.0, 262143.0));
        }
        row[np - 1] = float(e / 100);
    }
    return set;
}

}  // namespace orvala::fixtures
