#include "AverageCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <memory>

#include "AverageWindow.h"
#include "DataCalculatorDialog.h"
#include "DistributionWindow.h"
#include "core/TData.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/UiMessages.h"
#include "ui/common/Workbench.h"

namespace orvala::AverageCommands {

namespace {

QMdiSubWindow* show(Workbench& w, QWidget* form)
{
    QMdiSubWindow* sub = w.mdiArea()->addSubWindow(form);
    sub->resize(form->size());
    sub->show();
    return sub;
}

}  // namespace

std::vector<AverageWindow*> Average(Workbench& w, bool normalized)
{
    std::vector<AverageWindow*> opened;
    for (TData* d : w.dataList()->Selected()) {
        // One refused data set does not keep the others from opening.
        runCommand([&] {
            d->Compensate = normalized;
            auto form = std::make_unique<AverageWindow>(w.dataList(), w.pool());
            form->Add(d);
            AverageWindow* shown = form.release();
            show(w, shown);
            opened.push_back(shown);
        });
    }
    return opened;
}

void Distribution(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) {
        auto form = std::make_unique<DistributionWindow>();
        form->Add(*d);
        show(w, form.release());
    }
}

void Calculator(Workbench& w)
{
    DataCalculatorDialog dialog(w.pool(), w.dialogParent());
    if (TData* result = dialog.Execute(w.dataList()->Selected())) w.dataList()->Add(result);
}

}  // namespace orvala::AverageCommands
