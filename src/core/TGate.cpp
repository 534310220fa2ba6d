#include "TGate.h"

#include <utility>

namespace orvala {

TGate::TGate(TVector x_, TVector y_, TVector cx_, TVector cy_)
    : kind(TGateType::gtGate), x(std::move(x_)), y(std::move(y_)), cx(std::move(cx_)), cy(std::move(cy_))
{
}

TGate::TGate(TVector x_, TVector y_, TVector cx_, TVector cy_, const TDataFilter& filter_)
    : TGate(std::move(x_), std::move(y_), std::move(cx_), std::move(cy_))
{
    kind = TGateType::gtPCAGate;
    filter = filter_.fCopy();
}

TGate::TGate(const TGateRect& rect) : kind(TGateType::gtImage), Rect(rect) {}

TGate::TGate(TGateType kind_, TIntVector list) : kind(kind_), ChannelList(std::move(list)) {}

std::unique_ptr<TGate> TGate::Copy(const TGate& gate)
{
    auto g = std::make_unique<TGate>();
    g->kind = gate.kind;
    // Only one kind's fields are ever filled, so copying all of them copies
    // exactly the stored data of that kind.
    g->x = gate.x;
    g->y = gate.y;
    g->cx = gate.cx;
    g->cy = gate.cy;
    g->ChannelList = gate.ChannelList;
    g->Rect = gate.Rect;
    if (gate.filter) g->filter = gate.filter->fCopy();
    g->rule = gate.rule;
    g->Inverse = gate.Inverse;
    g->Normalized = gate.Normalized;
    g->loglinx = gate.loglinx;
    g->linlogx = gate.linlogx;
    g->logliny = gate.logliny;
    g->linlogy = gate.linlogy;
    g->name = gate.name;
    g->color = gate.color;
    g->Id = gate.Id;
    return g;
}

std::unique_ptr<TGate> DeleteChannelsGate(const std::vector<bool>& deleted)
{
    TIntVector kept;
    for (size_t c = 0; c < deleted.size(); ++c)
        if (!deleted[c]) kept.push_back(int32_t(c));
    if (kept.empty() || kept.size() == deleted.size()) return nullptr;
    return std::make_unique<TGate>(TGateType::gtSubChannel, std::move(kept));
}

}  // namespace orvala
