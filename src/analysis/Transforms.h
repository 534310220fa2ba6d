#pragma once
// The event transforms of the Tools menu. The constructing ones build a new
// data set from a source and leave the source alone; the in-place ones change
// the data set they are given and then recompute its gated kids. Every value
// pass is split over the worker pool by rows; each value is computed by the
// same expression whatever the split, so the result equals the sequential
// loop bit for bit (a null pool runs that loop).
#include <string>

#include "core/Messages.h"
#include "numerics/Matrices.h"

namespace orvala {

class TData;
class TDataList;
class TMultiThread;
class TRandom;

// ------------------------------------------------------------ constructing
// Each returns a new data set with reference count 0, named by CreateName on
// `names` (the workspace list when null; "<suffix>_1" without any list). The
// caller adds it to the data list. Derived results hold a reference on the
// source and link row j to source event j.

// "Convert To Log Scale": every finite value v becomes
// 256 * log10((v - min) * 9999 / (max - min) + 1) over the finite min and max
// of the whole matrix, so min gives 0 and max 1024; with all finite values
// equal every one of them gives 0. Non-finite values are kept. Sets logscale.
// (For an image-sequence source the caller turns the result, like those of
// Logratio and Spherical, into frames of the source's size.)
TData* Logarithm(TData& dat, TMultiThread* pool = nullptr, const TDataList* names = nullptr);

// "Centered Logratio Transform" over the parameters Pars (in that order) of
// every event; the other parameters are copied. Throws OrvalaError when an
// index is not a parameter of dat.
TData* Logratio(TData& dat, const TIntVector& Pars, TMultiThread* pool = nullptr, const TDataList* names = nullptr);

// "Convert to Hyperspherical Coordinates": every event through HyperSpherical;
// parameters "R", "Phi1" ... "Phi<P-1>".
TData* Spherical(TData& dat, TMultiThread* pool = nullptr, const TDataList* names = nullptr);

// Events astart..astop inclusive. Throws OrvalaError unless
// 0 <= astart <= astop < events.
TData* CutPart(TData& dat, int astart, int astop, const TDataList* names = nullptr);

// Events become parameters and parameters events; a top-level data set that
// keeps the source's path and extension.
TData* Transpose(TData& dat, TMultiThread* pool = nullptr, const TDataList* names = nullptr);

// The largest value of event n (the signal trigger); 0 outside the data.
double Trigger(const TData& dat, int n);
// Trigger of every event.
TVector Triggers(const TData& dat, TMultiThread* pool = nullptr);

// One found signal: events first..last (inclusive) summed.
struct SignalRun {
    int first = 0;
    int last = 0;
};
// Runs of events with trigger >= threshold that start after an event below
// it (a run that begins at event 0 does not count) and end before the next
// event below it or at the last event.
std::vector<SignalRun> FindSignalRuns(const TVector& triggers, double threshold);

// "Find Signal": one event per run, the sum of its events; parameters
// "Ch1".."ChP", a top-level data set. Unless tablePath is empty or dat has no
// events, also writes the run table ("TestSignal.csv") there, replacing an
// earlier one; throws OrvalaError naming the file when it cannot be written
// (nothing is returned then).
TData* Findsignal(TData& dat, double threshold, const std::string& tablePath, TMultiThread* pool = nullptr,
                  const TDataList* names = nullptr);

// ------------------------------------------------------------ in place
// Each changes dat, recomputes its gated kids (RelinkKids) and announces it.

// Keeps the events whose largest value is >= level, in order, with their
// colours or parent links. When none is kept, says "There is no cases above
// this level. Try to get level down." through sink and returns false with
// dat unchanged.
bool Discriminate(TData& dat, double level, MessageSink& sink = defaultSink(), TMultiThread* pool = nullptr);

// Events whose largest value is >= level: every value v becomes v - level
// when that is positive, else 0. Other events are unchanged.
void CutNoise(TData& dat, double level, TMultiThread* pool = nullptr);

// Adds to every value a normal number of deviation (finite max of the matrix)
// / 50 from random, value after value in row order.
void AddNoise(TData& dat, TRandom& random);

// "Scale 0..1023": every finite value v becomes (v - min) * 1023 / (max - min)
// over the finite min and max; nothing changes when they are equal.
void Scale1023(TData& dat, TMultiThread* pool = nullptr);

// "Swap Channels order": reverses the values of every event; names stay.
void SwapChannels(TData& dat, TMultiThread* pool = nullptr);

// "/BoxcarWidth" and "*BoxcarWidth": with b the parameter "BW" and a its mean
// over the events where it is finite, every other value v of an event whose BW value w is finite and non-zero
// becomes a * v / w (Div) or v * w / a (Mul). Nothing happens without a "BW"
// parameter or when a is 0 or not finite.
void BoxCarDiv(TData& dat, TMultiThread* pool = nullptr);
void BoxCarMul(TData& dat, TMultiThread* pool = nullptr);

// Recomputes every gated kid of dat (and theirs) after dat's events changed.
// oldToNew maps each former event index of dat to its new index or -1 when it
// was dropped; null means the events kept their places. Subset gates keep
// naming the same events through the map.
void RelinkKids(TData& dat, const TIntVector* oldToNew = nullptr);

}  // namespace orvala
