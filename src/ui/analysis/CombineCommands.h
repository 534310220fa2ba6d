#pragma once
// Tools > "Combine" and Tools > "Join": the gate-combination table of the
// selected data sets, and the join of the selection after the parameter
// reconciliation dialog has made their parameters agree.
namespace orvala {

class Workbench;
class CombinationWindow;

namespace CombineCommands {

// Every selected data set, in selection order, becomes a column of the last
// open combination window, or opens one. A data set that does not fit
// (other gates) is reported and the others go on.
void Combine(Workbench& w);
// The last open combination window, or null.
CombinationWindow* LastCombination(Workbench& w);

// Joins the selected data sets, in selection order, under a new data set;
// when their parameters differ in names or order the reconciliation dialog
// asks first, and cancelling it joins nothing.
void Join(Workbench& w);

}  // namespace CombineCommands

}  // namespace orvala
