#pragma once
// Small builders for data-model tests: a workspace list installed as the
// tree's source of kids, and a recorder of change notices.
#include <vector>

#include "core/TData.h"
#include "core/TDataList.h"

namespace orvala::test {

struct RecordingNotifier : DataNotifier {
    std::vector<std::pair<int, TData*>> posts;
    void post(int message, TData* data) override { posts.emplace_back(message, data); }
};

// Installs its own workspace list and notifier for the duration of a test.
struct Workspace {
    TDataList list;
    RecordingNotifier notifier;
    TDataList* previousList;
    DataNotifier* previousNotifier;
    Workspace() : previousList(TData::Workspace), previousNotifier(TData::Notifier)
    {
        TData::Workspace = &list;
        TData::Notifier = &notifier;
    }
    ~Workspace()
    {
        list.Clear();
        TData::Workspace = previousList;
        TData::Notifier = previousNotifier;
    }
    // A root with value = event * 10 + column, added to the list.
    TData* root(const std::string& name, int casesize, int events)
    {
        TData* d = TData::Create(name, casesize, events);
        for (int e = 0; e < events; ++e)
            for (int c = 0; c < casesize; ++c) d->data[e][c] = e * 10 + c;
        list.Add(d);
        return d;
    }
    // A derived data set holding the parent's events listed, added to the list.
    TData* kid(TData* parent, const std::string& name, const std::vector<int>& events)
    {
        TData* d = TData::Create(name, parent);
        for (int e : events) d->AddEvent(parent->data[e], parent->CaseSize(), e);
        list.Add(d);
        return d;
    }
};

}  // namespace orvala::test
