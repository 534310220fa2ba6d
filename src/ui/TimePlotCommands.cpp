#include "TimePlotCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "MainWindow.h"
#include "TDataBox.h"
#include "TTimes.h"
#include "Ttabloid.h"

namespace orvala::TimePlotCommands {

void TimePlot(MainWindow& w)
{
    TTimes* times = TTimes::instance();
    if (!times) {
        times = new TTimes(w.pool());
        QMdiSubWindow* sub = w.mdiArea()->addSubWindow(times);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(820, 640);
    }
    for (TData* d : w.dataBox()->Selected()) times->Adopt(d);
    times->show();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(times->parentWidget())) w.mdiArea()->setActiveSubWindow(sub);
}

void Tabloid(MainWindow& w)
{
    for (TData* d : w.dataBox()->Selected()) {
        auto* t = new Ttabloid(d, w.pool(), w.mdiArea());
        QMdiSubWindow* sub = w.mdiArea()->addSubWindow(t);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(t->size() + QSize(16, 32));
        t->show();
    }
}

}  // namespace orvala::TimePlotCommands
