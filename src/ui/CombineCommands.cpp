#include "CombineCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "MainWindow.h"
#include "TCombination.h"
#include "TDataBox.h"
#include "Treconcile.h"
#include "UiMessages.h"
#include "core/TData.h"
#include "core/TDataList.h"

namespace orvala::CombineCommands {

TCombination* LastCombination(MainWindow& w)
{
    TCombination* last = nullptr;
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
        if (auto* c = qobject_cast<TCombination*>(sub->widget())) last = c;
    return last;
}

void Combine(MainWindow& w)
{
    for (TData* d : w.dataBox()->Selected()) {
        // One data set that does not fit must not keep the others out.
        runCommand([&] {
            if (TCombination* open = LastCombination(w)) {
                open->Add(d);
                return;
            }
            auto* window = new TCombination(d, w.pool(), [&w](TData* made) { w.dataBox()->Add(made); });
            QMdiSubWindow* sub = w.mdiArea()->addSubWindow(window);
            sub->resize(std::min(900, 200 + 90 * window->GetGateCount() + 90), 600);
            sub->show();
        });
    }
}

void Join(MainWindow& w)
{
    TDataList list;
    for (TData* d : w.dataBox()->Selected()) list.Add(d);
    if (list.Count() < 2) {
        showUserMessage(QStringLiteral("Select at least two data sets to join."));
        return;
    }
    Treconcile dialog(&w);
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
    w.dataBox()->Add(joined);
    // Renamed parameters show in the windows of the sources at once.
    for (TData* d : list.items()) d->Announce();
}

}  // namespace orvala::CombineCommands
