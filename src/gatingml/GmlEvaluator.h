#pragma once
// Evaluates a Gating-ML document on events: one membership bitmap per gate,
// each including the gate's parents. Work is split over the worker pool in
// blocks of events; the result does not depend on the split.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GmlDocument.h"

namespace orvala {

class TMultiThread;

// The events a document is evaluated on, on the FCS scale the standard refers
// to. value(e, p) = values[e * eventStride + p * parameterStride], which fits
// both row-major event matrices and column stores.
struct GmlEvents {
    std::vector<std::string> names;  // $PnN of each parameter
    const double* values = nullptr;
    int64_t events = 0;
    size_t eventStride = 0;
    size_t parameterStride = 1;
    // The file's own spillover matrix ("FCS" compensation), as written: row i is the
    // signal of spillNames[i] in each channel. Empty when the file has none, in
    // which case "FCS" leaves values as they are.
    std::vector<std::string> spillNames;
    std::vector<double> spillover;
    // Set when the file has a spillover keyword that could not be read: "FCS"
    // compensation then fails with this text instead of silently doing nothing.
    std::string spillProblem;
};

class GmlMembership {
public:
    GmlMembership() = default;
    GmlMembership(std::vector<std::string> ids, int64_t events);

    int GateCount() const { return int(ids_.size()); }
    int64_t EventCount() const { return events_; }
    const std::vector<std::string>& Ids() const { return ids_; }
    // Index of the gate id; -1 when absent.
    int IndexOf(const std::string& id) const;
    bool Contains(int gate, int64_t event) const
    {
        return (bits_[size_t(gate)][size_t(event >> 6)] >> (event & 63)) & 1u;
    }
    int64_t Count(int gate) const;
    // The bitmap of gate: bit (e & 63) of word e / 64 is event e.
    const std::vector<uint64_t>& Bits(int gate) const { return bits_[size_t(gate)]; }
    std::vector<uint64_t>& MutableBits(int gate) { return bits_[size_t(gate)]; }

private:
    std::vector<std::string> ids_;
    int64_t events_ = 0;
    std::vector<std::vector<uint64_t>> bits_;
};

// Evaluates every gate of doc (document order in the result) on events. Throws
// GmlError naming the gate when a dimension names a parameter the events lack.
// pool may be null (runs on the calling thread).
GmlMembership EvaluateGatingMl(const GmlDocument& doc, const GmlEvents& events, TMultiThread* pool = nullptr);

}  // namespace orvala
