#pragma once
// An ordered list of data-set references. The workspace is one of these;
// windows and commands build short-lived ones for their selections.
#include <string>
#include <vector>

namespace orvala {

class TData;

class TDataList {
public:
    TDataList() = default;
    ~TDataList();
    TDataList(const TDataList&) = delete;
    TDataList& operator=(const TDataList&) = delete;

    // Ignores nil and data sets already in the list; otherwise UseIt and append.
    void Add(TData* dat);
    // Removes the entry, re-attaching its kids (see TDataList.cpp), marks it Deleted,
    // announces it and every kid that moved, and releases the list's reference.
    void Delete(int index);
    void Delete(TData* dat);
    // Free on every entry, then empty.
    void Clear();
    // Drops the entry and its reference without touching the tree (for short-lived lists).
    void Remove(TData* dat);

    TData* GetData(int i) const { return items_.at(size_t(i)); }
    int Count() const { return int(items_.size()); }
    int IndexOf(const TData* dat) const;
    bool Contains(const TData* dat) const { return IndexOf(dat) >= 0; }
    const std::vector<TData*>& items() const { return items_; }

    // Name for a new derived data set of source: base + "_" + k for the smallest k
    // not used by a data set of the same family (see TDataList.cpp).
    std::string CreateName(const TData* source, const std::string& suffix) const;
    int maxcasesize() const;
    long long TotalNumberOfEvents() const;

private:
    std::vector<TData*> items_;
};

}  // namespace orvala
