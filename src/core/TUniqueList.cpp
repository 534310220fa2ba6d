#include "TUniqueList.h"

#include "TPreText.h"

namespace orvala {

bool TUniqueList::same(const std::string& a, const std::string& b) const
{
    return caseIndifferent_ ? sameTextIgnoringCase(a, b) : a == b;
}

int TUniqueList::IndexOf(const std::string& s) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (same(items_[i], s)) return int(i);
    return -1;
}

int TUniqueList::Add(const std::string& s)
{
    if (IndexOf(s) >= 0) return -1;
    items_.push_back(s);
    return int(items_.size()) - 1;
}

void TUniqueList::AddStrings(const std::vector<std::string>& strings)
{
    for (const std::string& s : strings) Add(s);
}

void TUniqueList::setCaseIndifferent(bool on)
{
    if (on == caseIndifferent_) return;
    caseIndifferent_ = on;
    std::vector<std::string> old;
    old.swap(items_);
    AddStrings(old);
}

}  // namespace orvala
