#include "TimePlotCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "ScatterMatrixWindow.h"
#include "TimePlotWindow.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/Workbench.h"

namespace orvala::TimePlotCommands {

void TimePlot(Workbench& w)
{
    TimePlotWindow* times = TimePlotWindow::instance();
    if (!times) {
        times = new TimePlotWindow(w.pool());
        QMdiSubWindow* sub = w.mdiArea()->addSubWindow(times);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(820, 640);
    }
    for (TData* d : w.dataList()->Selected()) times->Adopt(d);
    times->show();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(times->parentWidget())) w.mdiArea()->setActiveSubWindow(sub);
}

void Tabloid(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) {
        auto* t = new ScatterMatrixWindow(d, w.pool(), w.mdiArea());
        QMdiSubWindow* sub = w.mdiArea()->addSubWindow(t);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(t->size() + QSize(16, 32));
        t->show();
    }
}

}  // namespace orvala::TimePlotCommands
