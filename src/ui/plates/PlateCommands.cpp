#include "PlateCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "PhenotypingWindow.h"
#include "PlateWindow.h"
#include "plates/Plate.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/IniFile.h"
#include "ui/common/ProgressWindow.h"
#include "ui/common/UiMessages.h"
#include "ui/common/Workbench.h"

namespace orvala::PlateCommands {

void OpenPlate(Workbench& w)
{
    const QString start = w.settings().ReadString(QStringLiteral("Main"), QStringLiteral("OpenPlatePath"), QString());
    const QString dir = QFileDialog::getExistingDirectory(w.dialogParent(), QStringLiteral("Open Plate"), start);
    if (dir.isEmpty()) return;
    w.settings().WriteString(QStringLiteral("Main"), QStringLiteral("OpenPlatePath"), dir);
    OpenPlateFolder(w, dir);
}

PlateWindow* OpenPlateFolder(Workbench& w, const QString& dir)
{
    ProgressWindow* progress = w.progress();
    progress->startSteps(QDir::toNativeSeparators(dir));
    const PlateProgress step = [progress](int done, int total) { return progress->step(done, total); };
    TData* plate = nullptr;
    try {
        plate = LoadPlate(toEightBit(QDir::toNativeSeparators(dir)), w.messages(), w.pool(), step);
    } catch (...) {
        progress->hide();
        throw;
    }
    const bool cancelled = progress->Cancelled();
    progress->hide();
    if (!plate) {
        if (!cancelled)
            showUserMessage(QStringLiteral("No FCS file in %1 could be opened as a well of a plate.")
                                .arg(QDir::toNativeSeparators(dir)));
        return nullptr;
    }
    w.dataList()->Add(plate);
    auto* view = new PlateWindow(plate);
    view->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* sub = w.mdiArea()->addSubWindow(view);
    sub->resize(760, 460);
    sub->show();
    return view;
}

PhenotypingWindow* Phenotyping(Workbench& w)
{
    const std::vector<TData*> selected = w.dataList()->Selected();
    if (selected.empty()) return nullptr;
    for (const TData* d : selected)
        if (d->CaseSize() != selected[0]->CaseSize()) {
            showUserMessage(QStringLiteral("Sorry, all selected files must have the same number of parameters"));
            return nullptr;
        }
    auto* feno = new PhenotypingWindow(w.pool());
    for (TData* d : selected) feno->Add(d);
    QMdiSubWindow* sub = w.mdiArea()->addSubWindow(feno);
    sub->resize(1100, 720);
    sub->show();
    return feno;
}

}  // namespace orvala::PlateCommands
