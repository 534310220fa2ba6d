#pragma once
// A gate: the region, subset or channel selection that produced a derived data set.
#include <cstdint>
#include <memory>
#include <string>

#include "TData.h"
#include "TDataFilter.h"

namespace orvala {

enum class TGateType : uint8_t {
    gtNone = 0,
    gtGate = 1,
    gtPCAGate = 2,
    gtLog = 3,
    gtHyper = 4,
    gtSubset = 5,
    gtImage = 6,
    gtAffine = 7,
    gtSubChannel = 8,
};

struct TGateRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // inclusive on all four sides
};

class TGate {
public:
    std::unique_ptr<TDataFilter> filter;  // gtPCAGate: events pass through it before projection
    TGateType kind = TGateType::gtNone;
    void* anobject = nullptr;  // the chart series drawing this gate; not owned
    int32_t Id = 0;
    std::string name;
    TColor color = 0;
    bool Inverse = false;
    bool Normalized = false;
    TIntVector ChannelList;
    TVector x, y;    // projection coefficients
    TVector cx, cy;  // closed vertex list in plot coordinates
    bool loglinx = false, linlogx = false, logliny = false, linlogy = false;
    TGateRect Rect;

    int Count() const { return int(cx.size()); }
    void setCount(int n)
    {
        cx.resize(size_t(n < 0 ? 0 : n), 0.0);
        cy.resize(size_t(n < 0 ? 0 : n), 0.0);
    }
    int Dimention() const { return int(x.size()); }
};

}  // namespace orvala
