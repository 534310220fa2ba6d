#pragma once
// A string list that refuses duplicates: the distinct parameter names of
// several data sets, in order of first appearance, first spelling kept.
#include <string>
#include <vector>

namespace orvala {

class TUniqueList {
public:
    // aCaseIndifferent: strings that differ only in letter case are the same.
    explicit TUniqueList(bool aCaseIndifferent = false) : caseIndifferent_(aCaseIndifferent) {}

    // Appends s and returns its index, or returns -1 when s is already listed.
    int Add(const std::string& s);
    // Adds each string in order under the same rule.
    void AddStrings(const std::vector<std::string>& strings);
    // Index of s under the list's case rule, or -1.
    int IndexOf(const std::string& s) const;

    int Count() const { return int(items_.size()); }
    const std::string& operator[](int i) const { return items_.at(size_t(i)); }
    const std::vector<std::string>& Strings() const { return items_; }

    bool CaseIndifferent() const { return caseIndifferent_; }
    // Switching to case-indifferent drops entries that have become duplicates.
    void setCaseIndifferent(bool on);

private:
    bool same(const std::string& a, const std::string& b) const;
    bool caseIndifferent_;
    std::vector<std::string> items_;
};

}  // namespace orvala
