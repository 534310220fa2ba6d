#include "TDataList.h"

#include <algorithm>

#include "TData.h"

namespace orvala {

TDataList::~TDataList() { Clear(); }

int TDataList::IndexOf(const TData* dat) const
{
    auto it = std::find(items_.begin(), items_.end(), dat);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

void TDataList::Add(TData* dat)
{
    if (!dat || Contains(dat)) return;
    dat->UseIt();
    items_.push_back(dat);
}

void TDataList::Delete(int index)
{
    if (index < 0 || index >= Count()) return;
    TData* removed = items_[size_t(index)];
    TData* parent = removed->Parent();
    TData* root = removed->Grandpa();

    std::vector<TData*> moved;
    for (TData* d : std::vector<TData*>(items_)) {
        if (d == removed || d->Parent() != removed) continue;
        moved.push_back(d);
        if (parent) {
            // The kid's events are the removed data set's events: map them one level up.
            for (int32_t& l : d->link)
                l = (l >= 0 && l < int(removed->link.size())) ? removed->link[size_t(l)] : 0;
            d->setParent(parent);
        } else {
            TColors own(size_t(d->events()));
            for (int e = 0; e < d->events(); ++e) own[size_t(e)] = removed->GetColor(d->link[size_t(e)]);
            const std::string formerName = d->FullName();
            d->setParent(nullptr);
            d->fcolor = std::move(own);
            d->setShortName(formerName);
        }
    }
    removed->setParent(nullptr);
    if (parent) {
        for (TData* d : items_)
            if (d != removed && d->Grandpa() == root) d->SetColors(d->NativeColor());
    }
    for (TData* d : items_)
        if (d->NextData == removed) d->NextData = nullptr;
    removed->FDeleted = true;
    items_.erase(items_.begin() + index);
    // At once, not at the next redraw: windows showing the removed data set
    // close, and windows showing a kid that moved up redraw with its new links.
    removed->Announce();
    for (TData* d : moved) d->Announce();
    TData::Free(removed);
}

void TDataList::Delete(TData* dat) { Delete(IndexOf(dat)); }

void TDataList::Remove(TData* dat)
{
    const int i = IndexOf(dat);
    if (i < 0) return;
    items_.erase(items_.begin() + i);
    TData::Free(dat);
}

void TDataList::Clear()
{
    // Kids hold their parents, so release in reverse order: kids usually come later.
    std::vector<TData*> items;
    items.swap(items_);
    for (auto it = items.rbegin(); it != items.rend(); ++it) TData::Free(*it);
}

std::string TDataList::CreateName(const TData* source, const std::string& suffix) const
{
    const std::string base = source->ShortName().find(suffix) == std::string::npos ? suffix : source->ShortName();
    const TData* root = source->Grandpa();
    for (int k = 1;; ++k) {
        const std::string name = base + "_" + std::to_string(k);
        bool used = false;
        for (const TData* d : items_)
            if (d->Grandpa() == root && d->ShortName() == name) {
                used = true;
                break;
            }
        if (!used) return name;
    }
}

int TDataList::maxcasesize() const
{
    int m = 0;
    for (const TData* d : items_) m = std::max(m, d->CaseSize());
    return m;
}

long long TDataList::TotalNumberOfEvents() const
{
    long long n = 0;
    for (const TData* d : items_) n += d->events();
    return n;
}

}  // namespace orvala
