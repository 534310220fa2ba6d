#include "SpectraCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "DecompositionDialog.h"
#include "SpectraWindow.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/Workbench.h"

namespace orvala::SpectraCommands {

void Decomposition(Workbench& w)
{
    DecompositionDialog dialog(&w, DecompositionDialog::UserLibraryPath(), DecompositionDialog::DefaultLibraryPath(),
                               w.dialogParent());
    for (TData* d : w.dataList()->Selected()) {
        dialog.Take(d);
        // A damaged library abandons the command before the dialog shows.
        if (!dialog.openLibrary()) return;
        dialog.exec();
    }
}

void ShowSpectra(Workbench& w)
{
    auto* browser = new SpectraWindow(SpectraWindow::DefaultFolder());
    browser->setAttribute(Qt::WA_DeleteOnClose);
    w.mdiArea()->addSubWindow(browser)->show();
}

}  // namespace orvala::SpectraCommands
