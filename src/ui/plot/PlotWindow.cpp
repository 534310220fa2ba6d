#include "PlotWindow.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabWidget>
#include <algorithm>

#include "PlotControlPanel.h"
#include "ScatterPlotWindow.h"

namespace orvala {

QWidget* openScatterPlot(QMdiArea* area, TData* data, TMultiThread* pool)
{
    auto* form = new ScatterPlotWindow(data, pool);
    QMdiSubWindow* sub = area ? area->addSubWindow(form) : nullptr;
    if (sub) {
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(800, 560);
    }
    form->show();
    form->DrawData();
    return sub ? static_cast<QWidget*>(sub) : form;
}

namespace {

ScatterPlotWindow* formOf(QWidget* window)
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window)) return qobject_cast<ScatterPlotWindow*>(sub->widget());
    return qobject_cast<ScatterPlotWindow*>(window);
}

PlotAxesState readAxes(QListWidget* x, QListWidget* y, QCheckBox* xlog, QCheckBox* xlin, QCheckBox* ylog,
                       QCheckBox* ylin, QCheckBox* multi)
{
    PlotAxesState a;
    a.x = PlotControlPanel::ticked(x);
    a.y = PlotControlPanel::ticked(y);
    a.xLogToLin = xlog->isChecked();
    a.xLinToLog = xlin->isChecked();
    a.yLogToLin = ylog->isChecked();
    a.yLinToLog = ylin->isChecked();
    a.multi = multi && multi->isChecked();
    return a;
}

void applyAxes(const PlotAxesState& a, QListWidget* x, QListWidget* y, QCheckBox* xlog, QCheckBox* xlin,
               QCheckBox* ylog, QCheckBox* ylin, QCheckBox* multi)
{
    auto tick = [](QListWidget* list, const std::vector<int>& rows) {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(std::find(rows.begin(), rows.end(), i) != rows.end() ? Qt::Checked
                                                                                             : Qt::Unchecked);
    };
    tick(x, a.x);
    tick(y, a.y);
    // Partners uncheck each other: clear both before setting the one saved.
    for (QCheckBox* box : {xlog, xlin, ylog, ylin}) box->setChecked(false);
    xlog->setChecked(a.xLogToLin);
    xlin->setChecked(a.xLinToLog && !a.xLogToLin);
    ylog->setChecked(a.yLogToLin);
    ylin->setChecked(a.yLinToLog && !a.yLogToLin);
    if (multi) multi->setChecked(a.multi);
}

}  // namespace

TData* plotWindowData(QWidget* window)
{
    const ScatterPlotWindow* form = formOf(window);
    return form ? form->data() : nullptr;
}

PlotWindowState plotWindowState(QWidget* window)
{
    PlotWindowState s;
    ScatterPlotWindow* form = formOf(window);
    if (!form) return s;
    PlotControlPanel* c = form->Control;
    s.page = c->pages->currentIndex();
    s.scatter = readAxes(c->xlist, c->ylist, c->xlog, c->xlin, c->ylog, c->ylin, c->multi);
    s.components = readAxes(c->pxlist, c->pylist, c->pxlog, c->pxlin, c->pylog, c->pylin, nullptr);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window)) {
        const QRect g = sub->geometry();
        s.left = g.x();
        s.top = g.y();
        s.width = g.width();
        s.height = g.height();
    }
    return s;
}

void applyPlotWindowState(QWidget* window, const PlotWindowState& state)
{
    ScatterPlotWindow* form = formOf(window);
    if (!form) return;
    PlotControlPanel* c = form->Control;
    applyAxes(state.scatter, c->xlist, c->ylist, c->xlog, c->xlin, c->ylog, c->ylin, c->multi);
    applyAxes(state.components, c->pxlist, c->pylist, c->pxlog, c->pxlin, c->pylog, c->pylin, nullptr);
    if (state.page >= 0 && state.page < c->pages->count()) c->pages->setCurrentIndex(state.page);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window); sub && state.width > 0 && state.height > 0)
        sub->setGeometry(state.left, state.top, state.width, state.height);
    form->DrawData();
}

}  // namespace orvala
