#pragma once
// Data sets dragged out of the data list: what the drag carries and how a
// window that accepts the drop gets the data sets back. The drag carries the
// data sets' positions in the workspace list, as text ("3,5"), under its own
// MIME type, so only windows of this program accept it.
#include <vector>

class QEvent;
class QMimeData;

namespace orvala {

class TData;
class TDataList;

inline constexpr const char* DataSetsMimeType = "application/x-orvala-datasets";

// The drag's data for these data sets of list, in this order; data sets the
// list does not hold are left out.
QMimeData* DataSetsMimeData(const TDataList& list, const std::vector<TData*>& data);

// Whether mime carries data sets (a window accepts the drag on this).
bool CarriesDataSets(const QMimeData* mime);

// The data sets mime carries, looked up in list; positions that are not
// numbers or lie outside the list are skipped, and each data set comes once.
std::vector<TData*> DroppedDataSets(const QMimeData* mime, const TDataList& list);

// For the event filter of a drop target: takes drag-enter and drag-move events
// that carry data sets, and a drop of them, whose data sets go to dropped.
// True when the event was one of those (the filter has handled it).
bool TakeDataSetDrop(QEvent* e, const TDataList& list, std::vector<TData*>& dropped);

}  // namespace orvala
