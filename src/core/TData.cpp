#include "TData.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <set>

#include "Messages.h"
#include "TDataList.h"
#include "TGate.h"
#include "TPreText.h"
#include "numerics/VectorOps.h"

namespace orvala {

TDataList* TData::Workspace = nullptr;
DataNotifier* TData::Notifier = nullptr;
std::function<std::optional<ReconcilePlan>(TDataList&)> TData::ReconcileCheck = [](TDataList& list) {
    return Reconcile(list, nullptr);
};

TPredator::~TPredator() = default;

void TPredator::setNativeColor(TColor color)
{
    fNativeColor = color;
    if (gate) gate->color = color;
}

namespace {

TParDescriptor defaultDescriptor(int column)
{
    TParDescriptor d;
    d.name = "Ch" + std::to_string(column + 1);
    return d;
}

std::string lowerTrimmed(const std::string& s)
{
    std::string t = trimmed(s);
    for (char& c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

}  // namespace

TData::TData() : fDesc(std::make_shared<TDescriptorVector>()) {}

TData::~TData()
{
    // Release the parent last: it may be destroyed with us.
    TData* parent = fParent;
    fParent = nullptr;
    if (parent) Free(parent);
}

// ---------------------------------------------------------------- construction

TData* TData::Create(const std::string& name, int casesize, int events)
{
    auto* d = new TData;
    d->f1Name = name;
    d->setCaseSize(std::max(casesize, 0));
    d->setEvents(std::max(events, 0));
    return d;
}

TData* TData::Create(const std::string& newname, TData* source)
{
    auto* d = new TData;
    d->f1Name = newname;
    if (source) {
        // A derived data set is saved beside its source by default.
        d->fPath = source->fPath;
        d->fExtension = source->fExtension;
        d->fcasesize = source->fcasesize;
        d->fDesc = source->fDesc;
        d->summa.assign(size_t(d->fcasesize), 0.0);
        d->data.resize(0, d->fcasesize);
        d->setParent(source);
    }
    return d;
}

void TData::Free(TData* data)
{
    if (!data) {
        defaultSink().message("Data structure destructor error");
        return;
    }
    if (--data->used <= 0) delete data;
}

bool TData::AcceptsWithoutAsking(TDataList& list)
{
    if (list.Count() == 0) return false;
    const int n = list.GetData(0)->CaseSize();
    std::set<std::string> names;
    for (TData* d : list.items()) {
        if (d->CaseSize() != n) return false;
        for (const auto& desc : d->Desc()) names.insert(lowerTrimmed(desc.name));
    }
    // Same names in another order are fine: Join maps the columns by name.
    return int(names.size()) == n;
}

TData* TData::Join(TDataList& list, bool LinkToParent)
{
    if (list.Count() < 2) return nullptr;
    const std::optional<ReconcilePlan> plan = ReconcileCheck ? ReconcileCheck(list) : Reconcile(list, nullptr);
    if (!plan) return nullptr;

    long long total = list.TotalNumberOfEvents();
    if (total > std::numeric_limits<int32_t>::max()) throw OrvalaError("Too many events to join");
    // Every source column lands in the result column of its (new) name, so
    // the sources keep their own column order: their kids' gates point at it.
    const int casesize = int(plan->order.size());
    std::vector<std::vector<int>> to(size_t(list.Count()));
    for (int k = 0; k < list.Count(); ++k)
        for (int c = 0; c < list.GetData(k)->CaseSize(); ++c) to[size_t(k)].push_back(plan->ResultColumn(k, c));

    auto* result = new TData;
    result->f1Name = "NewName";
    result->setCaseSize(casesize);
    // Each column's descriptor comes from the first source that has it.
    std::vector<char> described(size_t(casesize), 0);
    for (int k = 0; k < list.Count(); ++k)
        for (int c = 0; c < int(to[size_t(k)].size()); ++c) {
            const int r = to[size_t(k)][size_t(c)];
            if (r < 0 || described[size_t(r)]) continue;
            described[size_t(r)] = 1;
            result->Desc()[size_t(r)] = list.GetData(k)->Desc()[size_t(c)];
        }
    for (int r = 0; r < casesize; ++r) result->Desc()[size_t(r)].name = plan->order[size_t(r)];
    result->data.reserveRows(int(total));

    bool anyNames = false;
    for (TData* d : list.items()) anyNames = anyNames || !d->Eventnames.empty();

    std::vector<double> row(static_cast<size_t>(casesize));
    for (int k = 0; k < list.Count(); ++k) {
        TData* d = list.GetData(k);
        const std::vector<int>& map = to[size_t(k)];
        for (int e = 0; e < d->events(); ++e) {
            std::fill(row.begin(), row.end(), 0.0);
            const double* src = d->data[e];
            for (int c = 0; c < int(map.size()); ++c)
                if (map[size_t(c)] >= 0) row[size_t(map[size_t(c)])] = src[c];
            result->data.appendRow(row.data(), casesize);
            result->fcolor.push_back(d->GetColor(e));
            if (anyNames)
                result->Eventnames.push_back(size_t(e) < d->Eventnames.size() ? d->Eventnames[size_t(e)] : std::string());
        }
        result->fevents += d->events();
    }

    if (LinkToParent) {
        std::string name;
        for (int i = 0; i < list.Count(); ++i) name += (i ? "+" : "") + list.GetData(i)->ShortName();
        result->f1Name = name;
        int offset = 0;
        for (TData* d : list.items()) {
            d->setParent(result);
            for (int e = 0; e < d->events(); ++e) d->link[size_t(e)] = offset + e;
            offset += d->events();
        }
    }
    return result;
}

// ---------------------------------------------------------------- size

void TData::makeDescriptorsPrivate()
{
    if (fDesc.use_count() > 1) fDesc = std::make_shared<TDescriptorVector>(*fDesc);
}

void TData::setCaseSize(int n)
{
    if (n < 0) n = 0;
    if (n != int(fDesc->size())) {
        makeDescriptorsPrivate();
        const int old = int(fDesc->size());
        fDesc->resize(size_t(n));
        for (int c = old; c < n; ++c) (*fDesc)[size_t(c)] = defaultDescriptor(c);
    }
    summa.resize(size_t(n), 0.0);
    data.resize(fevents, n);
    fcasesize = n;
}

void TData::setEvents(int n)
{
    if (n < 0) n = 0;
    data.resize(n, fcasesize);
    fevents = n;
    if (fParent)
        link.resize(size_t(n), 0);
    else
        fcolor.resize(size_t(n), 0);
}

void TData::AddEvent(const double* row, int n, int eventnumber)
{
    if (n > fcasesize) setCaseSize(n);
    data.appendRow(row, n);
    ++fevents;
    if (fParent)
        link.push_back(eventnumber);
    else
        fcolor.push_back(0);
}

// ---------------------------------------------------------------- tree

void TData::setParent(TData* parent)
{
    if (parent == fParent) return;
    TData* old = fParent;
    if (parent) {
        parent->UseIt();
        fParent = parent;
        fcolor.clear();
        link.resize(size_t(fevents), 0);
    } else {
        fParent = nullptr;
        fcolor.resize(size_t(fevents), 0);
        link.clear();
    }
    if (old) Free(old);
}

std::vector<TData*> TData::Kids() const
{
    std::vector<TData*> kids;
    if (!Workspace) return kids;
    for (TData* d : Workspace->items())
        if (d->fParent == this) kids.push_back(d);
    return kids;
}

std::vector<TData*> TData::Offspring() const
{
    std::vector<TData*> out;
    for (TData* kid : Kids()) {
        out.push_back(kid);
        for (TData* o : kid->Offspring()) out.push_back(o);
    }
    return out;
}

TData* TData::GetKid(int i) const
{
    auto kids = Kids();
    return i >= 0 && i < int(kids.size()) ? kids[size_t(i)] : nullptr;
}

int TData::KidCount() const { return int(Kids().size()); }

TData* TData::GetOffspring(int i) const
{
    auto all = Offspring();
    return i >= 0 && i < int(all.size()) ? all[size_t(i)] : nullptr;
}

int TData::OffspringCount() const { return int(Offspring().size()); }

TData* TData::GetKidByName(const std::string& name) const
{
    for (TData* kid : Kids())
        if (kid->gate && kid->gate->name == name) return kid;
    return nullptr;
}

TData* TData::Grandpa()
{
    TData* d = this;
    while (d->fParent) d = d->fParent;
    return d;
}

const TData* TData::Grandpa() const
{
    const TData* d = this;
    while (d->fParent) d = d->fParent;
    return d;
}

int TData::Absoluteindex(int n) const
{
    const TData* d = this;
    while (d->fParent) {
        if (n < 0 || n >= int(d->link.size())) return -1;
        n = d->link[size_t(n)];
        d = d->fParent;
    }
    return n;
}

// ---------------------------------------------------------------- names

void TData::setShortName(const std::string& name)
{
    f1Name = name;
    if (gate) gate->name = name;
}

std::string TData::FullName() const
{
    if (!fParent) return f1Name;
    return Grandpa()->f1Name + "_" + f1Name;
}

std::string TData::ScreenName() const
{
    if (datasetnum == 0) return f1Name;
    return f1Name + "_" + std::to_string(datasetnum);
}

std::string TData::FileName() const { return fPath + FullName() + fExtension; }

void TData::setFileName(const std::string& filename)
{
    namespace fs = std::filesystem;
    // "dir/" names the directory dir: its last component is dir, not "".
    std::string name = filename;
    while (name.size() > 1 && (name.back() == '/' || name.back() == char(fs::path::preferred_separator)))
        name.pop_back();
    const fs::path p(name);
    std::error_code ec;
    const bool isDir = fs::is_directory(p, ec);
    fs::path parent = p.parent_path();
    fPath = parent.string();
    if (!fPath.empty() && fPath.back() != fs::path::preferred_separator) fPath += fs::path::preferred_separator;
    if (isDir) {
        // A directory (plates, image stacks) is named by its whole last component;
        // no extension, so that FileName gives the directory back.
        f1Name = p.filename().string();
        fExtension.clear();
    } else {
        f1Name = p.stem().string();
        fExtension = p.extension().string();
    }
    if (gate) gate->name = f1Name;
}

// ---------------------------------------------------------------- parameters

int TData::ParIndexByName(const std::string& name) const
{
    const std::string wanted = trimmed(name);
    for (int c = 0; c < int(fDesc->size()); ++c)
        if (sameTextIgnoringCase(trimmed((*fDesc)[size_t(c)].name), wanted)) return c;
    return -1;
}

void TData::RenamePar(const std::string& oldname, const std::string& newname)
{
    const int c = ParIndexByName(oldname);
    if (c >= 0) (*fDesc)[size_t(c)].name = newname;
}

namespace {

// Moves the column references of the gates under d along with d's columns:
// new column j of d is old column from[j] (-1: a new column of zeros).
// Sub-channel kids keep their own column order, minus columns that are gone.
void followColumns(TData& d, const std::vector<int>& from, int oldCount)
{
    const int n = int(from.size());
    auto newIndex = [&](int old) {
        for (int j = 0; j < n; ++j)
            if (from[size_t(j)] == old) return j;
        return -1;
    };
    for (TData* kid : d.Kids()) {
        if (!kid->gate) continue;
        TGate& g = *kid->gate;
        switch (g.kind) {
        case TGateType::gtGate: {
            TVector x(size_t(n), 0.0), y(size_t(n), 0.0);
            for (int j = 0; j < n; ++j) {
                const int o = from[size_t(j)];
                if (o >= 0 && o < int(g.x.size())) x[size_t(j)] = g.x[size_t(o)];
                if (o >= 0 && o < int(g.y.size())) y[size_t(j)] = g.y[size_t(o)];
            }
            g.x = std::move(x);
            g.y = std::move(y);
            break;
        }
        case TGateType::gtPCAGate:
            // The filter picks columns by index; an empty list meant all of
            // the old columns in their old order. A column that is gone reads 0.
            if (g.filter) {
                TIntVector picks = g.filter->Indices();
                if (picks.empty())
                    for (int o = 0; o < oldCount; ++o) picks.push_back(o);
                for (int32_t& p : picks) p = newIndex(p);
                g.filter->setIndices(picks);
            }
            break;
        case TGateType::gtSubChannel: {
            TIntVector kept;
            std::vector<int> kidFrom;
            int dropped = 0;
            TDescriptorVector desc;
            for (int k = 0; k < int(g.ChannelList.size()); ++k) {
                const int j = newIndex(g.ChannelList[size_t(k)]);
                if (j < 0) {
                    ++dropped;
                    continue;
                }
                kept.push_back(j);
                kidFrom.push_back(k);
                if (k < kid->CaseSize()) desc.push_back(kid->Desc()[size_t(k)]);
            }
            g.ChannelList = std::move(kept);
            if (desc.size() == size_t(g.ChannelList.size())) {
                kid->setCaseSize(int(desc.size()));
                kid->Desc() = std::move(desc);
            }
            followColumns(*kid, kidFrom, int(kidFrom.size()) + dropped);
            continue;
        }
        default:
            break;
        }
        followColumns(*kid, from, oldCount);
    }
}

// The first pair of parameters of d with one name (trimmed, ignoring case).
void refuseDuplicateNames(const TData& d)
{
    for (int c = 1; c < d.CaseSize(); ++c) {
        const int first = d.ParIndexByName(d.Desc()[size_t(c)].name);
        if (first != c)
            throw OrvalaError("The data set \"" + d.ShortName() + "\" has two parameters named \"" +
                              trimmed(d.Desc()[size_t(c)].name) + "\": their values cannot be matched by name.");
    }
}

}  // namespace

void TData::RearrangePar(const std::vector<std::string>& names)
{
    // Looked up by name, the second of two equal names would never be found
    // and its values would silently be dropped.
    refuseDuplicateNames(*this);
    std::vector<int> found(names.size());
    bool identity = int(names.size()) == fcasesize;
    for (size_t i = 0; i < names.size(); ++i) {
        found[i] = ParIndexByName(names[i]);
        if (found[i] != int(i)) identity = false;
    }
    if (identity) return;

    const int n = int(names.size());
    DataMatrix next(fevents, n);
    for (int e = 0; e < fevents; ++e) {
        const double* src = data[e];
        double* dst = next[e];
        for (int j = 0; j < n; ++j) dst[j] = found[size_t(j)] >= 0 ? src[found[size_t(j)]] : 0.0;
    }
    data = std::move(next);

    // Always private: a data set sharing these descriptors keeps its own column order.
    TDescriptorVector desc(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        desc[size_t(j)] = j < fcasesize ? (*fDesc)[size_t(j)] : defaultDescriptor(j);
        desc[size_t(j)].name = names[size_t(j)];
    }
    fDesc = std::make_shared<TDescriptorVector>(std::move(desc));
    const int oldCount = fcasesize;
    fcasesize = n;
    summa.resize(size_t(n), 0.0);

    // The kids hold copies of the old rows under the old descriptors: their
    // gates follow the columns, and they are rebuilt from the same events.
    followColumns(*this, found, oldCount);
    bool any = false;
    for (TData* kid : Kids()) {
        if (!kid->gate) continue;
        any = true;
        kid->Relink(kid->link);
    }
    if (!any) Announce();
}

void TData::ShareDescriptors(TData* other)
{
    if (other && other->fcasesize == fcasesize) fDesc = other->fDesc;
}

void TData::Select(int n)
{
    if (n >= 0 && n < fcasesize)
        Selected.push_back(n);
    else
        Selected.clear();
}

// ---------------------------------------------------------------- colours

TColor TData::GetColor(int n) const
{
    if (fParent) {
        if (n < 0 || n >= int(link.size())) return 0;
        return fParent->GetColor(link[size_t(n)]);
    }
    if (n < 0 || n >= int(fcolor.size())) return 0;
    return fcolor[size_t(n)];
}

void TData::SetColor(int n, TColor color)
{
    if (fParent) {
        if (n >= 0 && n < int(link.size())) fParent->SetColor(link[size_t(n)], color);
        return;
    }
    if (n >= 0 && n < int(fcolor.size())) fcolor[size_t(n)] = color;
}

void TData::SetColors(TColor color)
{
    setNativeColor(color);
    if (!fParent) {
        std::fill(fcolor.begin(), fcolor.end(), color);
        return;
    }
    // Each event's root index in one loop, rather than SetColor's recursion.
    TColors& colors = Grandpa()->fcolor;
    for (int e = 0; e < fevents; ++e) {
        const int r = Absoluteindex(e);
        if (r >= 0 && size_t(r) < colors.size()) colors[size_t(r)] = color;
    }
}

const TColors& TData::Colors()
{
    if (!fParent) return fcolor;
    // Refilled on every call: any data set of the family may have repainted
    // the root's events since, and a gather is cheap next to a redraw.
    colorCache_.resize(size_t(fevents));
    const TData* root = Grandpa();
    for (int e = 0; e < fevents; ++e) {
        const int r = Absoluteindex(e);
        colorCache_[size_t(e)] = r >= 0 && r < int(root->fcolor.size()) ? root->fcolor[size_t(r)] : 0;
    }
    return colorCache_;
}

void TData::UpdateColors()
{
    TData* root = Grandpa();
    std::vector<TData*> family{root};
    for (TData* o : root->Offspring()) family.push_back(o);
    for (TData* d : family)
        if (!d->disablecolor) d->SetColors(d->NativeColor());
    root->Announce();
}

// ---------------------------------------------------------------- statistics

double TData::maxinrow(int n) const
{
    if (n < 0 || n >= fevents || fcasesize == 0) return 0;
    const double* r = data[n];
    return *std::max_element(r, r + fcasesize);
}

double TData::mininrow(int n) const
{
    if (n < 0 || n >= fevents || fcasesize == 0) return 0;
    const double* r = data[n];
    return *std::min_element(r, r + fcasesize);
}

double TData::maxincol(int n) const
{
    if (n < 0 || n >= fcasesize || fevents == 0) return 0;
    double m = data[0][n];
    for (int e = 1; e < fevents; ++e) m = std::max(m, data[e][n]);
    return m;
}

double TData::minincol(int n) const
{
    if (n < 0 || n >= fcasesize || fevents == 0) return 0;
    double m = data[0][n];
    for (int e = 1; e < fevents; ++e) m = std::min(m, data[e][n]);
    return m;
}

// Extremes of the finite values only: with a NaN among them min_element's
// answer would depend on where the NaN stands. 0 when no value is finite.
double TData::Absmax() const
{
    double lo = 0, hi = 0;
    FiniteRange(data.data(), size_t(fevents) * size_t(fcasesize), lo, hi);
    return hi;
}

double TData::Absmin() const
{
    double lo = 0, hi = 0;
    FiniteRange(data.data(), size_t(fevents) * size_t(fcasesize), lo, hi);
    return lo;
}

double TData::ParAverage(int n) const
{
    if (fevents == 0 || n < 0 || n >= fcasesize) return 0;
    double sum = 0;
    for (int e = 0; e < fevents; ++e) sum += data[e][n];
    return sum / fevents;
}

// ---------------------------------------------------------------- modification

int TData::Modified() const { return Grandpa()->FModified; }

void TData::setModified(int value)
{
    if (FModified == value) return;
    FModified = value;
    for (TData* kid : Kids()) kid->setModified(value);
    if (fParent) fParent->setModified(value);
}

void TData::Announce()
{
    setModified(Grandpa()->FModified + 1);
    if (Notifier) Notifier->post(WMDataChanged, this);
}

// ---------------------------------------------------------------- tubes

void TData::settipchannel(int channel)
{
    ftipchannel = channel;
    // The tube table is always rebuilt with the tips: a table kept from an
    // earlier detection (or a loaded record) would not describe the new tips.
    Tip.clear();
    TubeSize.clear();
    if (channel < 0 || channel >= fcasesize || fevents == 0) return;
    detectTubes();
}

void TData::detectTubes()
{
    const int col = ftipchannel;
    Tip.assign(size_t(fevents), 0);
    int maxTip = -1;
    for (int e = 0; e < fevents; ++e) {
        const double v = std::nearbyint(data[e][col]);
        const double clamped = std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                                          double(std::numeric_limits<int32_t>::max()));
        Tip[size_t(e)] = std::isnan(v) ? 0 : int32_t(clamped);
        maxTip = std::max(maxTip, Tip[size_t(e)]);
    }

    // Tip values index a histogram: negative ones are left out of it, and a
    // column of absurd values (no real tube code) gives one tube, not a
    // multi-gigabyte histogram.
    constexpr int maxBins = 1 << 24;
    std::vector<double> boundaries;
    if (maxTip >= 0 && maxTip < maxBins) {
        const int M = maxTip;
        std::vector<double> h(size_t(M) + 1, 0.0);
        double totalCount = 0;
        for (int t : Tip)
            if (t >= 0) {
                h[size_t(t)] += 1;
                totalCount += 1;
            }
        std::vector<double> s = h;
        if (M + 1 >= 7) {
            double window = 0;
            for (int i = 0; i < 7; ++i) window += h[size_t(i)];
            for (int i = 3; i <= M - 3; ++i) {
                s[size_t(i)] = window / 7.0;
                if (i + 4 <= M) window += h[size_t(i + 4)] - h[size_t(i - 3)];
            }
            for (int i = 0; i < 3; ++i) s[size_t(i)] = s[3];
            for (int i = M - 2; i <= M; ++i) s[size_t(i)] = s[size_t(M - 3)];
        }
        std::vector<double> centres;
        for (int i = 0; i <= M;) {
            if (s[size_t(i)] == 0) {
                ++i;
                continue;
            }
            double mass = 0, moment = 0;
            while (i <= M && s[size_t(i)] != 0) {
                mass += s[size_t(i)];
                moment += s[size_t(i)] * i;
                ++i;
            }
            if (mass > 0.01 * totalCount) centres.push_back(moment / mass);
        }
        while (!centres.empty() && centres.back() == 0) centres.pop_back();
        for (size_t k = 0; k + 1 < centres.size(); ++k) boundaries.push_back((centres[k] + centres[k + 1]) / 2);
    }

    // L groups give L-1 boundaries; with no group at all every event is in tube 1.
    const int L = int(boundaries.size()) + 1;
    int maxTube = 1;
    for (int32_t& t : Tip) {
        int m = 1;
        while (m < L && !(t <= boundaries[size_t(m - 1)])) ++m;
        t = m;
        maxTube = std::max(maxTube, m);
    }
    TubeSize.assign(size_t(maxTube), 0);
    for (int32_t t : Tip) ++TubeSize[size_t(t - 1)];
}

// ---------------------------------------------------------------- PRIZM

void TData::SetPRIZM(const std::vector<int>& params, const std::vector<double>& thresholds)
{
    if (PrizmIndex < 0) {
        PrizmIndex = fcasesize;
        setCaseSize(fcasesize + 1);
        Desc()[size_t(PrizmIndex)].name = "PRIZM";
        if (TPreText* text = dataset ? dataset->keywords() : nullptr) {
            long long n = 0;
            try {
                n = std::stoll(trimmed(text->GetValue("$PAR")));
            } catch (...) {
                n = 0;
            }
            // A damaged $PAR is replaced by the column count the keywords now describe.
            if (n < 0 || n >= std::numeric_limits<int32_t>::max()) n = PrizmIndex;
            const std::string prefix = "$P" + std::to_string(n);
            int last = -1;
            for (int i = 0; i < text->count(); ++i) {
                const std::string& k = text->keys[size_t(i)];
                if (k.size() > prefix.size() && sameTextIgnoringCase(k.substr(0, prefix.size()), prefix) &&
                    !std::isdigit(static_cast<unsigned char>(k[prefix.size()])))
                    last = i;
            }
            text->SetValue("$PAR", std::to_string(n + 1));
            if (last >= 0) {
                const std::string p = "$P" + std::to_string(n + 1);
                const std::pair<const char*, const char*> added[] = {
                    {"B", "16"}, {"R", "65536"}, {"E", "0,0"}, {"N", "PRIZM"}, {"S", "PRIZM"}};
                int at = last + 1;
                for (const auto& [suffix, value] : added) text->Insert(at++, p + suffix, value);
            }
        }
    }
    const size_t bits = std::min(params.size(), thresholds.size());
    for (int e = 0; e < fevents; ++e) {
        double* row = data[e];
        uint32_t code = 0;
        for (size_t j = 0; j < bits && j < 32; ++j) {
            const int c = params[j];
            if (c >= 0 && c < fcasesize && row[c] >= thresholds[j]) code |= 1u << j;
        }
        row[PrizmIndex] = double(code);
    }
}

}  // namespace orvala
