#include "TDataSet.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "BufferedReader.h"
#include "FcsErrors.h"
#include "TFCStream.h"
#include "numerics/GaussJordan.h"

namespace orvala {

namespace {

// An 8-character HEADER offset: blanks and control characters around the digits
// are ignored, an all-blank field is 0.
int64_t headerField(const char* field)
{
    std::string s(field, 8);
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    s = s.substr(b, e - b);
    if (s.empty()) return 0;
    int64_t v = 0;
    if (!parseFcsInt(s, v)) throw FcsFormatError("The FCS HEADER holds '" + s + "' where an offset belongs");
    return v;
}

std::vector<std::string> splitCommas(const std::string& v)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t comma = v.find(',', start);
        out.push_back(trimmed(v.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

bool digitsOnly(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct SpillTable {
    TMatrix matrix;
    TIntVector inds;
    bool numbered = false;
};

class BadSpill {};

// No instrument has more than a few hundred detectors; a larger table is damage,
// and an n x n matrix of a damaged n would cost gigabytes and a cubic inversion.
constexpr int64_t MaxSpillSize = 1024;

// $SPILLOVER / SPILL (numbered or named parameters) or $COMP / P$COMP of a store.
// Names are resolved against `names`, the data set's own TEXT. maxPars bounds n.
SpillTable readSpillTable(const TPreText& store, const TText& names, int maxPars)
{
    SpillTable t;
    auto number = [](const std::string& s) {
        double v = 0;
        if (!parseFcsFloat(s, v)) throw BadSpill();
        return v;
    };
    std::string v = store.GetValue("$SPILLOVER");
    if (v.empty()) v = store.GetValue("SPILL");
    if (!v.empty()) {
        const auto e = splitCommas(v);
        int64_t n = 0;
        if (!parseFcsInt(e[0], n) || n < 0 || n > maxPars || n > MaxSpillSize) throw BadSpill();
        if (n == 0) return t;
        if (int64_t(e.size()) < 1 + n + n * n) throw BadSpill();
        t.numbered = std::all_of(e.begin() + 1, e.begin() + 1 + n, digitsOnly);
        for (int i = 0; i < n; ++i) {
            const std::string& name = e[size_t(1 + i)];
            int index = -1;
            if (t.numbered) {
                int64_t k = 0;
                if (!parseFcsInt(name, k) || k < 1 || k > maxPars) throw BadSpill();
                index = int(k - 1);
            } else {
                // A parameter without $PnS would match every name as an empty prefix and
                // compensate the wrong channel; names must really match.
                index = TPreText::IndByName(name, names.shortNames, names.longNames, false);
            }
            if (index < 0) throw BadSpill();
            t.inds.push_back(index);
        }
        t.matrix = DimMatrix(int(n) - 1, int(n) - 1);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) t.matrix[size_t(i)][size_t(j)] = number(e[size_t(1 + n + i * n + j)]);
        for (int i = 0; i < n; ++i) t.matrix[size_t(i)][size_t(i)] = 1;
        return t;
    }
    v = store.GetValue("$COMP");
    if (v.empty()) v = store.GetValue("P$COMP");
    if (v.empty()) return t;
    const auto e = splitCommas(v);
    int64_t n = 0;
    if (!parseFcsInt(e[0], n) || n < 0 || n > maxPars || n > MaxSpillSize) throw BadSpill();
    if (n == 0) return t;
    t.numbered = true;
    for (int i = 0; i < n; ++i) t.inds.push_back(i);
    t.matrix = DimMatrix(int(n) - 1, int(n) - 1);
    // Entries missing at the end stay 0.
    for (size_t k = 1; k < e.size() && k - 1 < size_t(n * n); ++k)
        t.matrix[(k - 1) / size_t(n)][(k - 1) % size_t(n)] = number(e[k]);
    for (int i = 0; i < n; ++i)
        if (t.matrix[size_t(i)][size_t(i)] == 0) t.matrix[size_t(i)][size_t(i)] = 1;
    return t;
}

bool allFinite(const TMatrix& m)
{
    for (const auto& row : m)
        for (double x : row)
            if (!std::isfinite(x)) return false;
    return true;
}

}  // namespace

TDataSet::TDataSet(TFCStream* parent, BufferedReader& reader, std::shared_ptr<const ByteSource> source, MessageSink& sink)
    : Parent(parent), source_(std::move(source)), sink_(&sink)
{
    Offset = reader.Position();
    ParentSize = StreamSize = reader.Size();

    char magic[3] = {};
    if (reader.Read(magic, 3) != 3 || (std::memcmp(magic, "FCS", 3) != 0 && std::memcmp(magic, "ACS", 3) != 0)) {
        sink.message("File " + (parent ? parent->FileName() : std::string()) + " does not look like FCS file!");
        notfcs = true;
        return;
    }
    char versionText[7] = {};
    reader.Read(versionText, 7);
    std::string v = trimmed(std::string(versionText, 7));
    size_t digits = 0;
    while (digits < v.size() && std::isdigit(static_cast<unsigned char>(v[digits]))) ++digits;
    int64_t ver = 0;
    version = parseFcsInt(v.substr(0, std::min<size_t>(digits, 9)), ver) ? int(ver) : 0;

    char fields[48];
    std::memset(fields, ' ', sizeof fields);
    reader.Read(fields, sizeof fields);
    Header.bounds.resize(3);
    for (int i = 0; i < 3; ++i) {
        Header.bounds[size_t(i)].start = headerField(fields + 16 * i);
        Header.bounds[size_t(i)].stop = headerField(fields + 16 * i + 8);
    }

    // TEXT: never more than the file holds, whatever the HEADER says.
    const int64_t textStart = Offset + Header.bounds[0].start;
    int64_t textLen = Header.Len(0);
    if (textStart < 0 || textStart >= StreamSize) textLen = 0;
    textLen = std::clamp<int64_t>(textLen, 0, std::max<int64_t>(StreamSize - std::max<int64_t>(textStart, 0), 0));
    std::vector<uint8_t> text(static_cast<size_t>(textLen));
    if (textLen > 0) {
        reader.setPosition(textStart);
        text.resize(reader.Read(text.data(), text.size()));
    }
    Text = std::make_unique<TText>(this, text.data(), text.size(), false);
    if (Text->par_Count <= 0) return;  // no $DATATYPE: no parameters, no events

    makeLayout();
    Text->DeleteUselessParams();
    Text->refreshIndex();
    readSpilloverTables(reader, sink);
    normaliseAndInvert(sink);
    computeLogPars();
}

TDataSet::~TDataSet() = default;

int64_t TDataSet::SegmentsEnd() const
{
    int64_t end = 0;
    for (const auto& b : Header.bounds) end = std::max(end, b.stop);
    int64_t e = 0;
    if (Text && parseFcsInt(Text->GetValue("$ENDDATA"), e)) end = std::max(end, e);
    return end;
}

int64_t TDataSet::dataStart() const
{
    int64_t start = Header.bounds.size() > 1 ? Header.bounds[1].start : 0;
    if (start == 0) {
        // FCS 3 files past 99,999,999 bytes leave the HEADER field 0 and give $BEGINDATA.
        if (!parseFcsInt(Text->GetValue("$BEGINDATA"), start)) throw FcsFormatError("BEGINDATA parameter is invalid");
    }
    // An offset before the data set or beyond any file is damage, and must not
    // overflow on its way to a position.
    int64_t at = 0;
    if (start < 0 || __builtin_add_overflow(Offset, start, &at)) throw FcsFormatError("BEGINDATA parameter is invalid");
    return at;
}

void TDataSet::makeLayout()
{
    const TText& t = *Text;
    Layout& L = layout_;
    L.type = (t.DataType == 'I' || t.DataType == 'F' || t.DataType == 'D') ? t.DataType : 'A';
    L.listMode = t.Mode == 'L';
    L.timeLSW = t.TimeLSW;
    L.timeMSW = t.TimeMSW;
    L.timePar = t.TimePar;
    L.eventCountPar = t.EventCountPar;
    L.timeBitSize = t.TimeBitSize;
    L.timestep = t.timestep;
    L.outputs = t.FixedParCount;
    const bool reverse = t.ReverseByteOrder();
    for (int i = 0; i < int(t.pars.size()); ++i) {
        const TPar& p = t.pars[size_t(i)];
        ParPlan plan;
        plan.kind = L.type;
        plan.bits = p.bits;
        plan.prism = i == t.prizmpar;
        plan.offset = L.eventBytes;
        if (L.type == 'A') {
            plan.width = p.bits;
        } else {
            const int w = std::min(p.bytes, 8);
            plan.width = w;
            if (w == 2) {
                if (p.ReverseByteOrder) std::swap(plan.pos[0], plan.pos[1]);
            } else if (w >= 2 && w <= t.ByteCount) {
                if (L.type == 'I' && w != 4) {
                    // 24-, 40- ... 64-bit integers: plain big- or little-endian in the
                    // file's order (Cytek xP5 writes 24-bit words with $BYTEORD 4,3,2,1).
                    for (int b = 0; b < w; ++b) plan.pos[b] = uint8_t(reverse ? w - 1 - b : b);
                } else {
                    for (int b = 0; b < 8; ++b) plan.pos[b] = uint8_t(t.ByteOrd[b] - 1);
                }
            }
            if (L.type == 'I' && L.listMode) plan.mask = p.mask;
        }
        L.eventBytes += plan.width;
        L.eventBits += p.bits;
        L.pars.push_back(plan);
    }
}

void TDataSet::readSpilloverTables(BufferedReader& reader, MessageSink& sink)
{
    spillover.clear();
    SpillInds.clear();
    const int maxPars = Text->par_Count + int(Text->DeletedPars.size());
    std::string cyt = Text->GetValue("$CYT").substr(0, 6);
    const bool fromAnalysis = sameTextIgnoringCase(cyt, "partec");
    TText analysis;
    const TPreText* store = Text.get();
    if (fromAnalysis) {
        // Partec writes its compensation matrix into the ANALYSIS segment as keywords.
        const int64_t start = Offset + Header.bounds[2].start;
        int64_t len = Header.Len(2);
        if (start < 0 || start >= StreamSize) len = 0;
        len = std::clamp<int64_t>(len, 0, std::max<int64_t>(StreamSize - std::max<int64_t>(start, 0), 0));
        std::vector<uint8_t> bytes(static_cast<size_t>(len));
        if (len > 0) {
            reader.setPosition(start);
            bytes.resize(reader.Read(bytes.data(), bytes.size()));
        }
        analysis = TText(this, bytes.data(), bytes.size(), true);
        store = &analysis;
    }
    SpillTable t;
    try {
        t = readSpillTable(*store, *Text, maxPars);
    } catch (const BadSpill&) {
        sink.message("Error reading SPILLOVER table");
        return;
    }
    if (t.matrix.empty()) return;
    if (t.numbered && !fromAnalysis)
        for (int d : Text->DeletedPars)
            for (int& s : t.inds)
                if (d <= s) --s;
    for (int s : t.inds)
        if (s < 0 || s >= Text->par_Count) {
            sink.message("Error reading SPILLOVER table");
            return;
        }
    if (fromAnalysis) {
        TMatrix inverse;
        if (InvMat(t.matrix, 0, int(t.matrix.size()) - 1, inverse) != MatOk || !allFinite(inverse)) {
            sink.message("The spillover matrix cannot be inverted; the data are not compensated");
            return;
        }
        t.matrix = std::move(inverse);
    }
    spillover = std::move(t.matrix);
    SpillInds = std::move(t.inds);
}

void TDataSet::normaliseAndInvert(MessageSink& sink)
{
    if (spillover.empty()) return;
    for (auto& row : spillover) {
        double sum = 0;
        for (double x : row) sum += x;
        // A row summing to 0 cannot be normalised; it is kept as written.
        if (sum != 0)
            for (double& x : row) x /= sum;
    }
    if (InvMat(spillover, 0, int(spillover.size()) - 1, spill_inv) != MatOk || !allFinite(spill_inv)) {
        // Gauss-Jordan stopped at a zero pivot: its partial result must not be used.
        sink.message("The spillover matrix cannot be inverted; the data are not compensated");
        spillover.clear();
        SpillInds.clear();
        spill_inv.clear();
    }
}

void TDataSet::computeLogPars()
{
    const int n = Text->par_Count;
    logpar.assign(size_t(n), 0);
    for (int p = 0; p < n; ++p) {
        const TPar& par = Text->pars[size_t(p)];
        bool log = sameTextIgnoringCase(Text->parValue(p + 1, "D"), "LOG") ||
                   sameTextIgnoringCase(Text->parValue(p + 1, "DISPLAY"), "LOG") || par.decade > 0;
        // Side scatter is shown linear whatever the file says.
        if (par.name.compare(0, 2, "SS") == 0) log = false;
        logpar[size_t(p)] = log;
    }
}

}  // namespace orvala
