#pragma once
// One data set of an FCS file: its HEADER offsets, its TEXT keywords, the
// spillover matrix, and the reading of its DATA segment into a value matrix.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "TText.h"
#include "core/DataMatrix.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "numerics/Matrices.h"

namespace orvala {

class TFCStream;
class TMultiThread;
class BufferedReader;

// Segment offsets, relative to the data set's HEADER, in the order TEXT, DATA, ANALYSIS.
struct THeader {
    struct Bound {
        int64_t start = 0, stop = 0;
    };
    std::vector<Bound> bounds;
    // stop - start + 1, or 0 when the pair does not exist.
    int64_t Len(int n) const
    {
        return n >= 0 && n < int(bounds.size()) ? bounds[size_t(n)].stop - bounds[size_t(n)].start + 1 : 0;
    }
};

// Value range of a parameter before its logarithmic display mapping.
struct TScale {
    float minval = 0, maxval = 0;
    float decade = 0;  // decades of the mapping; 0 when not mapped
};

class TDataSet : public TDataSetBase {
public:
    // Reads HEADER and TEXT at the reader's position. A file that does not start
    // with "FCS" or "ACS" gives a data set with notfcs set (after the message).
    TDataSet(TFCStream* parent, BufferedReader& reader, std::shared_ptr<const ByteSource> source, MessageSink& sink);
    ~TDataSet() override;

    TPreText* keywords() override { return Text.get(); }

    int ParCount() const { return Text ? Text->par_Count : 0; }
    int64_t EventCount() const { return Text ? Text->tot : 0; }
    std::string ParName(int i) const { return Text->pars[size_t(i)].name; }
    std::string ParShortName(int i) const { return Text->ParShortName(i); }
    std::string ParLongName(int i) const { return Text->ParLongName(i); }
    bool LogScale(int i) const { return Text->pars[size_t(i)].decade > 0; }
    bool HasSpillover() const { return !spillover.empty(); }

    // Decodes the DATA segment into out (EventCount() rows x FixedParCount columns),
    // as stored: byte order, masks, merged time words times $TIMESTEP, no
    // compensation or conversion. A segment shorter than $TOT events gives
    // "Bad FCS File" and only the complete events; EventCount() follows.
    // The pool (may be null) splits byte-aligned segments into event ranges.
    void ReadValues(DataMatrix& out, TMultiThread* pool);
    // Compensation, $PnE conversion, logarithmic display mapping and value ranges,
    // in place on a matrix as ReadValues left it (or a copy of `values`), once.
    // Same result with or without a pool.
    void BuildResult(DataMatrix& m, TMultiThread* pool);
    // True when BuildResult changes no value of this data set (no compensation,
    // no $PnE conversion, no logarithmic display mapping) and the DATA segment
    // is byte-aligned binary that the block decoder reads, in events of at most
    // 16 KB: then the finished values are the values as stored, and valueRanges
    // can give their ranges.
    bool rangesWithoutMatrix() const;
    // Smallest and largest finished value of every column, NaN left out (a column
    // without any other value gives +inf and -inf), without the events x
    // parameters matrix: the DATA segment is decoded block by block into a small
    // scratch buffer per worker of the pool (may be null); 32-bit floats are
    // ranged as read, without decoding. Equal, zero signs
    // included, to one pass over the rows in event order of the matrix that
    // ReadValues and BuildResult would give, and a short segment gives the same
    // "Bad FCS File" and event count. Reads nothing and returns false when
    // rangesWithoutMatrix() does not hold.
    bool valueRanges(std::vector<double>& lo, std::vector<double>& hi, TMultiThread* pool);
    // Reads the raw values into `values` (kept by this object).
    void LoadValues(TMultiThread* pool = nullptr) { ReadValues(values, pool); }
    // The finished values [parameter][event] as 32-bit floats, and [event][parameter] widened.
    TSingleMatrix GetDataMatrix(TMultiThread* pool = nullptr);
    TMatrix GetDataMatrixDouble(TMultiThread* pool = nullptr);
    // Lets go of the file; values can no longer be read afterwards.
    void ReleaseSource() { source_.reset(); }

    TFCStream* Parent = nullptr;  // null once the stream is gone
    int64_t EventSize = 0;        // bytes of one stored event
    int64_t ParentSize = 0;
    bool DoNotDeleteWithParent = false;
    int version = 0;
    int64_t Offset = 0;
    THeader Header;
    std::unique_ptr<TText> Text;
    bool notimplemented = false;
    bool freeFormat = false;  // ASCII values of no fixed width ($PnB "*"), separated by delimiters
    bool compressed = false;
    bool notfcs = false;  // the magic was neither "FCS" nor "ACS"
    DataMatrix values;    // raw values from LoadValues [event][parameter]
    std::vector<TScale> Scales;
    TSingleVector mins, maxs;
    TMatrix spillover;
    TIntVector SpillInds;
    bool ApplySpillover = true;
    TMatrix spill_inv;
    TBoolVector logpar;
    double Decades = 4.0;
    int64_t StreamSize = 0;
    int64_t DataLen = 0;  // DATA length from the HEADER, or $BEGINDATA..$ENDDATA when the HEADER has none
    // Where the values must end: the next data set's HEADER, or -1 for the end of the file.
    int64_t EndLimit = -1;
    // The last byte of this data set's TEXT, DATA and ANALYSIS segments, relative to Offset.
    int64_t SegmentsEnd() const;

    // How the stored parameters become output columns; fixed before
    // DeleteUselessParams renumbers the keywords.
    struct ParPlan {
        char kind = 'I';        // I, F, D or A
        int width = 0;          // bytes read (min(bytes, 8)); characters for ASCII
        int bits = 0;
        int64_t offset = 0;     // byte offset inside a byte-aligned event
        uint8_t pos[8] = {0, 1, 2, 3, 4, 5, 6, 7};  // little-endian position of stored byte i
        uint64_t mask = ~uint64_t(0);
        bool prism = false;
    };
    struct Layout {
        std::vector<ParPlan> pars;
        char type = 'I';
        bool listMode = true;
        int timeLSW = 0, timeMSW = 0, timePar = 0, eventCountPar = 0, timeBitSize = 0;  // 1-based
        double timestep = 0;
        int outputs = 0;
        int64_t eventBytes = 0;  // byte-aligned binary and ASCII
        int64_t eventBits = 0;   // bit-packed
    };
    const Layout& layout() const { return layout_; }

private:
    void makeLayout();
    void readSpilloverTables(BufferedReader& reader, MessageSink& sink);
    void normaliseAndInvert(MessageSink& sink);
    void computeLogPars();
    int64_t dataStart() const;

    // Events the DATA segment at start can hold, at most $TOT (fewer give
    // "Bad FCS File"); Text->tot follows. avail: the bytes from start on.
    int64_t checkedEventCount(int64_t start, int64_t& avail, MessageSink& sink);
    // The shapes of byte-aligned binary events that decodeBlock handles whole.
    struct BulkShape {
        bool floats32 = false;  // 32-bit floats only, all in one byte order
        bool reversed4 = false; // ... byte-reversed
        bool ints16 = false;    // 16-bit integers only, no time words, masks below
        bool swap16 = false;    // ... stored most significant byte first
        std::vector<uint16_t> masks16;
    };
    BulkShape bulkShape() const;
    // Decodes `events` stored events into rows of layout().outputs doubles.
    void decodeBlock(const BulkShape& shape, const uint8_t* src, int events, double* dst, uint64_t* ints) const;
    // Reads events [0, rows) of a byte-aligned binary segment at start in blocks
    // of blockEvents over the pool, each block in parts of partEvents handed in
    // order to onPart(bytes, blockStart, partStart, count, thread). A block not
    // read whole is missing with all after it: returns its first event, rows when
    // all were read.
    template <class OnPart>
    int readBlocks(int64_t start, int rows, int blockEvents, int partEvents, TMultiThread* pool, OnPart&& onPart) const;
    void readBulk(DataMatrix& out, int64_t start, TMultiThread* pool, MessageSink& sink);
    void readSequential(DataMatrix& out, int64_t start, MessageSink& sink);
    void readFreeFormat(DataMatrix& out, int64_t start, int64_t end, MessageSink& sink);
    void decodeEvent(const uint8_t* ev, double* out, uint64_t* ints) const;
    void outputIntegers(const uint64_t* ints, double* out) const;

    Layout layout_;
    // Column ranges found while decoding, so that an unchanged matrix needs no second pass.
    std::vector<double> rawLo_, rawHi_;
    bool rawRangesValid_ = false;
    std::shared_ptr<const ByteSource> source_;
    MessageSink* sink_;
};

}  // namespace orvala
