#pragma once
// The data set: a matrix of events x parameters of doubles, one descriptor per
// parameter, one colour per event, and a place in the tree of derived data sets.
// Every window, reader, writer and analysis shares this one object.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DataMatrix.h"
#include "QCamFrame.h"
#include "Reconcile.h"
#include "numerics/Matrices.h"

namespace orvala {

using TColor = uint32_t;  // 0x00BBGGRR, red in the low byte
using TColors = std::vector<TColor>;

class TData;
class TDataList;
class TGate;
class TDataFilter;
class TPreText;

struct TParDescriptor {
    std::string name;  // 8-bit text as read from the source
    bool log = false;  // stored on a logarithmic scale in the source file
    double decade = 0;      // decades of that log scale ($PnE first value)
    double base = 0;        // offset of the log scale ($PnE second value)
    double resolution = 0;  // channel range of the source ($PnR); 0 when unknown
};
using TDescriptorVector = std::vector<TParDescriptor>;

// A picture held by an image data set (32-bit pixels 0x00BBGGRR, row-major).
struct TBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    bool empty() const { return width <= 0 || height <= 0; }
};

// The FCS data-set object a data set was read from, kept with its keyword store.
// Readers derive from this; the data model needs only the keywords.
class TDataSetBase {
public:
    virtual ~TDataSetBase() = default;
    virtual TPreText* keywords() = 0;
};

// Receives the change notices of the data model. The UI posts them to every
// window as message 1025; tests record them.
class DataNotifier {
public:
    virtual ~DataNotifier() = default;
    virtual void post(int message, TData* data) = 0;
};

constexpr int WMDataChanged = 1025;  // WM_USER + 1: LParam = the data set that changed
constexpr int WMMouseOver = 1026;    // the highlighted event changed

// Plate cell: first event index and event count of one well.
struct TWellCell {
    int32_t first = 0;
    int32_t count = 0;
};

class TPredator {
public:
    virtual ~TPredator();

    int tipchannel() const { return ftipchannel; }
    TColor NativeColor() const { return fNativeColor; }
    void setNativeColor(TColor color);
    bool IsSingle() const { return !img.empty() && seq.empty(); }
    bool IsSequence() const { return !seq.empty(); }
    bool IsPicture() const { return IsSingle() || IsSequence(); }

    int32_t ftipchannel = -1;
    TColor fNativeColor = 0;
    int32_t PrizmIndex = -1;
    TBitmap img;
    std::vector<QCam_Frame> seq;
    double seqmax = 0, seqmin = 0, seqnorm = 0;
    TData* NextData = nullptr;  // next data set of the same file; not owned by this one
    int32_t datasetnum = 0;
    std::unique_ptr<TGate> gate;  // the gate that produced this data set; null for roots
};

class TData : public TPredator {
public:
    // --- construction (the data set starts with reference count 0) ---
    // Empty data set: casesize parameters named Ch1..ChN, events rows of zeros.
    static TData* Create(const std::string& name, int casesize, int events);
    // Data set number datasetnum (0-based) of a file; 0 events on failure.
    // Defined by the formats library, which holds the readers.
    static TData* Create(const std::string& filename, int datasetnum);
    // As above, but nil when the file gave no events. The rest of the file's
    // chain of data sets hangs on NextData.
    static TData* TryOpen(const std::string& filename, int datasetnum);
    // Same parameters as source (shared descriptors), parent source, no events.
    static TData* Create(const std::string& newname, TData* source);
    // Joins the data sets of list; nil unless the list has more than one data
    // set and the parameter reconciliation accepts them.
    static TData* Join(TDataList& list, bool LinkToParent);

    // The reconciliation check Join asks: the plan whose column order the
    // result takes, or nullopt to refuse. The default accepts at once when all
    // data sets have the same number of distinct parameter names (trimmed,
    // ignoring case) and refuses otherwise; the workbench installs one that
    // asks the user. Duplicate names within one data set throw OrvalaError.
    static std::function<std::optional<ReconcilePlan>(TDataList&)> ReconcileCheck;
    static bool AcceptsWithoutAsking(TDataList& list);

    // --- reference counting ---
    void UseIt() { ++used; }
    // Count - 1; destroys the object when the count reaches 0 or less.
    // On nil shows "Data structure destructor error" and does nothing else.
    static void Free(TData* data);
    int RefCount() const { return used; }

    // --- size ---
    int CaseSize() const { return fcasesize; }
    void setCaseSize(int n);
    int events() const { return fevents; }
    void setEvents(int n);
    // Appends a copy of row (n values): CaseSize grows to n when n is larger,
    // otherwise the row is padded with zeros. For a derived data set link gets eventnumber.
    void AddEvent(const double* row, int n, int eventnumber);
    void AddEvent(const TVector& row, int eventnumber) { AddEvent(row.data(), int(row.size()), eventnumber); }

    // --- tree (kids are entries of the workspace list whose Parent is this) ---
    TData* Parent() const { return fParent; }
    void setParent(TData* parent);
    TData* GetKid(int i) const;
    int KidCount() const;
    TData* GetOffspring(int i) const;
    int OffspringCount() const;
    std::vector<TData*> Kids() const;
    std::vector<TData*> Offspring() const;  // depth-first
    TData* GetKidByName(const std::string& name) const;
    TData* Grandpa();
    const TData* Grandpa() const;
    int Absoluteindex(int n) const;
    int GrandpaIndex(int n) const { return Absoluteindex(n); }

    // --- names ---
    const std::string& ShortName() const { return f1Name; }
    void setShortName(const std::string& name);
    std::string FullName() const;
    std::string ScreenName() const;
    std::string FileName() const;
    void setFileName(const std::string& filename);
    const std::string& Path() const { return fPath; }
    const std::string& Extension() const { return fExtension; }

    // --- parameters ---
    int ParIndexByName(const std::string& name) const;
    void RenamePar(const std::string& oldname, const std::string& newname);
    // Rebuilds the columns in the order of names (0 where a name is missing).
    // The gates of the offspring follow their columns and the offspring are
    // rebuilt, so every column keeps its name. Throws OrvalaError, changing
    // nothing, when two parameters of this data set have the same name.
    void RearrangePar(const std::vector<std::string>& names);
    void Select(int n);
    int SelectedCount() const { return int(Selected.size()); }
    TDescriptorVector& Desc() { return *fDesc; }
    const TDescriptorVector& Desc() const { return *fDesc; }
    // Shares the descriptor array of another data set with the same columns.
    void ShareDescriptors(TData* other);
    bool SharesDescriptorsWith(const TData* other) const { return fDesc == other->fDesc; }

    // --- colours ---
    TColor GetColor(int n) const;
    void SetColor(int n, TColor color);
    void SetColors(TColor color);
    const TColors& Colors();
    void UpdateColors();

    // --- statistics ---
    double maxinrow(int n) const;
    double mininrow(int n) const;
    double maxincol(int n) const;
    double minincol(int n) const;
    double Absmax() const;
    double Absmin() const;
    double ParAverage(int n) const;

    // --- modification ---
    int Modified() const;
    void setModified(int value);
    void Announce();
    bool Deleted() const { return FDeleted; }

    // --- tubes ---
    void settipchannel(int channel);
    bool Multitube() const { return TubeCount() > 0; }
    int TubeCount() const { return int(TubeSize.size()); }

    // --- PRIZM code parameter (data sets read from FCS files) ---
    void SetPRIZM(const std::vector<int>& params, const std::vector<double>& thresholds);

    // --- gates (defined in Gates.cpp) ---
    // The derived data set of gate on parent, or nil (see Gates.cpp for the rules).
    static TData* Gated(TData* parent, const TGate* gate);
    // The parent's (this) event indices that pass gate, ascending. Large data
    // sets are split over the gate pool; the result equals the sequential loop.
    TIntVector CreateLink(const TGate& gate) const;
    // On a kid: rebuilds its events from its parent and link, then recomputes
    // its own kids through their gates, and repaints the family.
    void Relink(TIntVector newlink);
    // Plot coordinates of one event vector (v, n values) under gate's projection.
    static void ProjectToGate(const double* v, int n, const TGate& gate, double& dx, double& dy);
    // Copies the gate tree under source onto this data set (Breed gates).
    void CopyGates(TData* source);
    // 0/1 membership of this data set's events in each offspring (depth-first).
    // (An elaborated name: it refers to orvala::GateTable of TGate.h.)
    struct GateTable CreateGateTable() const;
    // Appends one 0/1 column per offspring, named with its FullName.
    void AddGateTable();
    // Writes the gate table as tab-separated text; throws OrvalaError when the
    // file cannot be written.
    void SaveGateTable(const std::string& filename) const;

    // --- projection filter ---
    // The data set's own filter applied to event k (defined in TDataFilter.cpp).
    TVector FilteredData(int k) const;

    // --- plates ---
    int MaxWellY() const { return int(Wells.size()) - 1; }
    int MaxWellX() const { return Wells.empty() ? 0 : int(Wells[0].size()) - 1; }

    // The workspace list whose entries define kids; set by its owner.
    static TDataList* Workspace;
    // Where Announce posts; null posts nothing.
    static DataNotifier* Notifier;

    // --- fields ---
    TColors fcolor;
    std::string fPath;
    std::string f1Name;
    std::string fExtension;
    TData* fParent = nullptr;
    int32_t used = 0;
    TVector summa;
    int32_t fcasesize = 0;
    int32_t fevents = 0;
    TVector asVector;
    TIntVector Tip;
    bool logscale = false;
    int32_t FModified = 0;
    bool FDeleted = false;
    std::vector<std::vector<TWellCell>> Wells;
    int32_t NonEmptyWellCount = 0;
    TColors ImageColor;
    bool disablecolor = false;
    int32_t cellsize = 0;
    bool Compensate = false;
    TStrVector Eventnames;
    std::shared_ptr<TDescriptorVector> fDesc;
    DataMatrix data;
    std::unique_ptr<TDataSetBase> dataset;
    std::unique_ptr<TDataFilter> filter;
    TIntVector TubeSize;
    TIntVector Selected;
    int32_t pcamode = 0;
    TIntVector link;
    struct RGB {
        double r = 0, g = 0, b = 0;
    };
    std::vector<RGB> RGBTab;
    int32_t ActivEvent = 0;
    double Deviation = 0;

    TData();
    ~TData() override;
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

private:
    void detectTubes();
    void makeDescriptorsPrivate();
    TColors colorCache_;
};

// RAII reference: takes one reference on construction and gives it back on
// destruction, so windows and commands cannot leak or double-free a data set.
class DataRef {
public:
    DataRef() = default;
    explicit DataRef(TData* data) : data_(data)
    {
        if (data_) data_->UseIt();
    }
    DataRef(const DataRef& other) : DataRef(other.data_) {}
    DataRef(DataRef&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    DataRef& operator=(DataRef other) noexcept
    {
        std::swap(data_, other.data_);
        return *this;
    }
    ~DataRef() { reset(); }
    void reset()
    {
        if (data_) TData::Free(data_);
        data_ = nullptr;
    }
    TData* get() const { return data_; }
    TData* operator->() const { return data_; }
    TData& operator*() const { return *data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    TData* data_ = nullptr;
};

}  // namespace orvala
