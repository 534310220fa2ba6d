#include "AverageCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <memory>

#include "MainWindow.h"
#include "TDataBox.h"
#include "TDataCalculator.h"
#include "Taverage.h"
#include "Tdistr.h"
#include "UiMessages.h"
#include "core/TData.h"

namespace orvala::AverageCommands {

namespace {

QMdiSubWindow* show(MainWindow& w, QWidget* form)
{
    QMdiSubWindow* sub = w.mdiArea()->addSubWindow(form);
    sub->resize(form->size());
    sub->show();
    return sub;
}

}  // namespace

std::vector<Taverage*> Average(MainWindow& w, bool normalized)
{
    std::vector<Taverage*> opened;
    for (TData* d : w.dataBox()->Selected()) {
        // One refused data set does not keep the others from opening.
        runCommand([&] {
            d->Compensate = normalized;
            auto form = std::make_unique<Taverage>(w.dataBox(), w.pool());
            form->Add(d);
            Taverage* shown = form.release();
            show(w, shown);
            opened.push_back(shown);
        });
    }
    return opened;
}

void Distribution(MainWindow& w)
{
    for (TData* d : w.dataBox()->Selected()) {
        auto form = std::make_unique<Tdistr>();
        form->Add(*d);
        show(w, form.release());
    }
}

void Calculator(MainWindow& w)
{
    TDataCalculator dialog(w.pool(), &w);
    if (TData* result = dialog.Execute(w.dataBox()->Selected())) w.dataBox()->Add(result);
}

}  // namespace orvala::AverageCommands
