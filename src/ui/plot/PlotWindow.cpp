#include "PlotWindow.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "TScatterProform.h"

namespace orvala {

QWidget* openScatterPlot(QMdiArea* area, TData* data, TMultiThread* pool)
{
    auto* form = new TScatterProform(data, pool);
    QMdiSubWindow* sub = area ? area->addSubWindow(form) : nullptr;
    if (sub) {
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(800, 560);
    }
    form->show();
    form->DrawData();
    return sub ? static_cast<QWidget*>(sub) : form;
}

}  // namespace orvala
