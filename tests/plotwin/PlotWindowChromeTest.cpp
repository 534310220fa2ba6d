// The plot window's frame: the docked control panel, its chart command bar,
// decade axes, and hiding instead of closing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDockWidget>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "PlotFixture.h"
#include "ui/chart/ChartCommandBar.h"
#include "ui/plot/PlotWindow.h"
#include "ui/plot/TPlotCon.h"

using namespace orvala;
using namespace orvala::plottest;

TEST_F(PlotFixture, PanelDocksOutAndBackAtItsOriginalWidth)
{
    TScatterProform& w = open(root);
    QCoreApplication::processEvents();
    const int original = w.Control->OriginalWidth;
    EXPECT_NEAR(w.dockSiteWidth(), original, 2);
    const int chartDocked = w.chart()->width();

    w.setPanelDocked(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.dockSiteWidth(), 0);
    EXPECT_TRUE(w.DockSite->isFloating());
    // The chart takes the room the panel left.
    EXPECT_GE(w.chart()->width(), chartDocked + original - 10);
    // It cannot be closed on its own: it belongs to the window.
    EXPECT_FALSE(w.DockSite->features() & QDockWidget::DockWidgetClosable);

    // A panel dragged narrower comes back at the width it was made with.
    w.DockSite->resize(90, w.DockSite->height());
    w.setPanelDocked(true);
    QCoreApplication::processEvents();
    EXPECT_NEAR(w.dockSiteWidth(), original, 2);
    EXPECT_EQ(w.Control->window(), w.window());
    // The dock shows the data set's name, as the panel does.
    EXPECT_EQ(w.DockSite->windowTitle(), w.Control->windowTitle());
}

TEST_F(PlotFixture, PanelCarriesTheChartCommands)
{
    TScatterProform& w = open(root);
    ChartCommandBar* bar = w.Control->TeeCommander;
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->chart(), w.chart());
    const double span = w.chart()->axisMaximum(ChartAxis::Bottom) - w.chart()->axisMinimum(ChartAxis::Bottom);
    bar->zoomInAction->trigger();
    EXPECT_NEAR(w.chart()->axisMaximum(ChartAxis::Bottom) - w.chart()->axisMinimum(ChartAxis::Bottom), span / 2,
                span * 1e-9);
    bar->undoZoomAction->trigger();
    EXPECT_NEAR(w.chart()->axisMaximum(ChartAxis::Bottom) - w.chart()->axisMinimum(ChartAxis::Bottom), span,
                span * 1e-9);
}

TEST_F(PlotFixture, ScaledAxesAreLabelledInDataUnitsWhilePointsKeepTheirPlace)
{
    TScatterProform& w = open(root);
    w.SetXY(0, 1);
    w.Control->xlin->setChecked(true);
    w.DrawData();
    w.chart()->redraw();
    EXPECT_EQ(w.chart()->axisTickScale(ChartAxis::Bottom), AxisMode::LinLog);
    EXPECT_EQ(w.chart()->axisTickScale(ChartAxis::Left), AxisMode::Linear);
    // Events in [0, 1000): decades 0, 10, 100 (and 1000 when it is in view) at LinToLog of the value.
    const auto ticks = w.chart()->axisTickLabels(ChartAxis::Bottom);
    ASSERT_GE(ticks.size(), 2u);
    bool sawHundred = false;
    for (const auto& [pos, text] : ticks) {
        const double v = text.toDouble();
        EXPECT_DOUBLE_EQ(pos, LinToLog(v)) << text.toStdString();
        sawHundred = sawHundred || text == QStringLiteral("100");
    }
    EXPECT_TRUE(sawHundred);
    // The plotted coordinates are the scale's values, untouched by the labels.
    const QPointF p = w.chart()->point(w.serdat, 7);
    EXPECT_EQ(p.x(), LinToLog(root->data[7][0]));
    EXPECT_EQ(p.y(), root->data[7][1]);

    w.Control->xlin->setChecked(false);
    w.DrawData();
    EXPECT_EQ(w.chart()->axisTickScale(ChartAxis::Bottom), AxisMode::Linear);
}

TEST_F(PlotFixture, KeepOnCloseHidesInsteadOfFreeing)
{
    QMdiArea area;
    area.resize(900, 700);
    area.show();
    QWidget* sub = openScatterPlot(&area, root, nullptr);
    auto* form = sub->findChild<TScatterProform*>();
    ASSERT_TRUE(form);
    form->KeepOnClose = true;
    QPointer<QWidget> alive = sub;
    EXPECT_FALSE(sub->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(alive.isNull());
    EXPECT_FALSE(sub->isVisible());
    form->KeepOnClose = false;
    EXPECT_TRUE(sub->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(PlotFixture, AxisListsShowWholeParameterNames)
{
    TData* d = TData::Create("long", 2, 10);
    d->Desc()[0].name = "FL3-A Propidium Iodide (viability)";
    d->Desc()[1].name = "SSC-A";
    workspace->Add(d);
    TScatterProform& w = open(d);
    for (QListWidget* list : {w.Control->xlist, w.Control->ylist}) {
        EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
        EXPECT_EQ(list->item(0)->toolTip(), QStringLiteral("FL3-A Propidium Iodide (viability)"));
    }
}
