#include "CombineCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "CombinationWindow.h"
#include "ReconcileDialog.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/UiMessages.h"
#include "ui/common/Workbench.h"

namespace orvala::CombineCommands {

CombinationWindow* LastCombination(Workbench& w)
{
    CombinationWindow* last = nullptr;
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
        if (auto* c = qobject_cast<CombinationWindow*>(sub->widget())) last = c;
    return last;
}

void Combine(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) {
        // One data set that does not fit must not keep the others out.
        runCommand([&] {
            if (CombinationWindow* open = LastCombination(w)) {
                open->Add(d);
                return;
            }
            auto* window = new CombinationWindow(d, w.pool(), [&w](TData* made) { w.dataList()->Add(made); });
            QMdiSubWindow* sub = w.mdiArea()->addSubWindow(window);
            sub->resize(std::min(900, 200 + 90 * window->GetGateCount() + 90), 600);
            sub->show();
        });
    }
}

void Join(Workbench& w)
{
    TDataList list;
    for (TData* d : w.dataList()->Selected()) list.Add(d);
    if (list.Count() < 2) {
        showUserMessage(QStringLiteral("Select at least two data sets to join."));
        return;
    }
    ReconcileDialog dialog(w.dialogParent());
    auto previous = TData::ReconcileCheck;
    TData::ReconcileCheck = [&dialog](TDataList& l) { return dialog.Check(l); };
    TData* joined = nullptr;
    try {
        joined = TData::Join(list, true);
    } catch (...) {
        TData::ReconcileCheck = previous;
        throw;
    }
    TData::ReconcileCheck = previous;
    if (!joined) return;  // cancelled: nothing changed
    w.dataList()->Add(joined);
    // Renamed parameters show in the windows of the sources at once.
    for (TData* d : list.items()) d->Announce();
}

}  // namespace orvala::CombineCommands
