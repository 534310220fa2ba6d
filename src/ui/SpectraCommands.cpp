#include "SpectraCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "MainWindow.h"
#include "TDataBox.h"
#include "Tdecompose.h"
#include "Tspectra.h"

namespace orvala::SpectraCommands {

void Decomposition(MainWindow& w)
{
    Tdecompose dialog(&w, Tdecompose::UserLibraryPath(), Tdecompose::DefaultLibraryPath(), &w);
    for (TData* d : w.dataBox()->Selected()) {
        dialog.Take(d);
        // A damaged library abandons the command before the dialog shows.
        if (!dialog.openLibrary()) return;
        dialog.exec();
    }
}

void ShowSpectra(MainWindow& w)
{
    auto* browser = new Tspectra(Tspectra::DefaultFolder());
    browser->setAttribute(Qt::WA_DeleteOnClose);
    w.mdiArea()->addSubWindow(browser)->show();
}

}  // namespace orvala::SpectraCommands
