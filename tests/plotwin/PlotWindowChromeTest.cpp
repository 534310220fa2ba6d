// The plot window's frame: the docked control panel, its chart command bar,
// decade axes, and hiding instead of closing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QRubberBand>
#include <QTest>
#include <QTimer>

#include "PlotFixture.h"
#include "ui/chart/ChartCommandBar.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/PlotWindow.h"

using namespace orvala;
using namespace orvala::plottest;

TEST_F(PlotFixture, PanelDocksOutAndBackAtItsOriginalWidth)
{
    ScatterPlotWindow& w = open(root);
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

namespace {

void sendMouse(QWidget* to, QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(to->mapFromGlobal(global)), QPointF(global), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &e);
}

// Drags w's panel by the middle of its title bar to the global point `to`
// in two moves; whileHeld runs before the button is let go.
void dragPanel(ScatterPlotWindow& w, QPoint to, const std::function<void()>& whileHeld = {})
{
    QWidget* title = w.DockSite->titleBarWidget();
    ASSERT_TRUE(title);
    const QPoint from = title->mapToGlobal(title->rect().center());
    sendMouse(title, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    if (whileHeld) whileHeld();
    sendMouse(title, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    QCoreApplication::processEvents();
}

// The title bar is where the mouse let the panel go (its height may change
// by a pixel between docked and floating, so no exact centre).
bool underMouse(QWidget* title, QPoint global)
{
    const QPoint local = title->mapFromGlobal(global);
    return title->rect().contains(local) && std::abs(local.x() - title->width() / 2) <= 1;
}

bool previewShown(const ScatterPlotWindow& w) { return w.dropPreview()->isVisible(); }

}  // namespace

TEST_F(PlotFixture, PanelDocksWhenDroppedOnTheRightSeventhOfItsWindow)
{
    ScatterPlotWindow& w = open(root);
    w.move(40, 30);
    QCoreApplication::processEvents();
    const int original = w.Control->OriginalWidth;
    const int cw = w.width(), ch = w.height();
    const int left = cw - cw / 7;  // 900 px: the rectangle starts at x = 772
    const auto at = [&](int x, int y) { return w.mapToGlobal(QPoint(x, y)); };

    // Dragged out of the dock: floats where it was let go, takes no width.
    dragPanel(w, at(200, 300), [&] { EXPECT_FALSE(previewShown(w)); });
    EXPECT_TRUE(w.DockSite->isFloating());
    EXPECT_EQ(w.dockSiteWidth(), 0);
    QWidget* title = w.DockSite->titleBarWidget();
    EXPECT_TRUE(underMouse(title, at(200, 300))) << "it stays under the mouse";
    // The title bar shows the panel's caption, the data set's name.
    auto* caption = title->findChild<QLabel*>();
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->text(), QStringLiteral("gen"));
    w.Control->setWindowTitle(QStringLiteral("renamed"));
    EXPECT_EQ(caption->text(), QStringLiteral("renamed"));

    struct Case {
        const char* where;
        QPoint client;
        bool docks;
    };
    const Case cases[] = {
        {"one pixel left of the rectangle", {left - 1, ch / 2}, false},
        {"its left edge", {left, ch / 2}, true},
        {"its top left corner", {left, 0}, true},
        {"its bottom right pixel", {cw - 1, ch - 1}, true},
        {"just beyond the window's right edge", {cw, ch / 2}, false},
        {"just below the window", {cw - 10, ch}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        w.setPanelDocked(false);
        QCoreApplication::processEvents();
        dragPanel(w, at(c.client.x(), c.client.y()), [&] {
            EXPECT_EQ(previewShown(w), c.docks);
            if (c.docks) {
                EXPECT_EQ(w.dropPreview()->geometry(), QRect(left, 0, cw / 7, ch));
            }
        });
        EXPECT_FALSE(previewShown(w)) << "the preview goes with the drag";
        EXPECT_EQ(w.DockSite->isFloating(), !c.docks);
        if (c.docks) {
            EXPECT_NEAR(w.dockSiteWidth(), original, 2);
            EXPECT_EQ(w.Control->window(), w.window());
        } else {
            EXPECT_EQ(w.dockSiteWidth(), 0);
            EXPECT_TRUE(underMouse(title, at(c.client.x(), c.client.y())));
        }
    }

    // A click without a drag changes nothing; a double click floats and docks as before.
    w.setPanelDocked(true);
    QCoreApplication::processEvents();
    const QPoint mid = title->mapToGlobal(title->rect().center());
    sendMouse(title, QEvent::MouseButtonPress, mid, Qt::LeftButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseButtonRelease, mid, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(w.DockSite->isFloating());
    QTest::mouseDClick(title, Qt::LeftButton);
    EXPECT_TRUE(w.DockSite->isFloating());
    QTest::mouseDClick(title, Qt::LeftButton);
    EXPECT_FALSE(w.DockSite->isFloating());
    EXPECT_NEAR(w.dockSiteWidth(), original, 2);

    // A right click on the docked title offers no menu that could hide the panel.
    bool menuShown = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), title->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(title, &menu);
    QCoreApplication::processEvents();
    EXPECT_FALSE(menuShown);
    EXPECT_TRUE(w.DockSite->isVisible());
}

TEST_F(PlotFixture, PanelOfAnotherWindowIsRefused)
{
    ScatterPlotWindow& w = open(root);
    w.move(40, 30);
    ScatterPlotWindow other(root);
    other.resize(600, 400);
    other.move(1000, 30);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.setPanelDocked(false);
    QCoreApplication::processEvents();

    // Over w's drop rectangle: no preview in either window, and it stays floating.
    const QPoint overW = w.mapToGlobal(QPoint(w.width() - 20, w.height() / 2));
    dragPanel(other, overW, [&] {
        EXPECT_FALSE(previewShown(w));
        EXPECT_FALSE(previewShown(other));
    });
    EXPECT_TRUE(other.DockSite->isFloating());
    EXPECT_EQ(other.dockSiteWidth(), 0);
    EXPECT_FALSE(w.DockSite->isFloating());
    EXPECT_NEAR(w.dockSiteWidth(), w.Control->OriginalWidth, 2);

    // Its own window takes it.
    dragPanel(other, other.mapToGlobal(QPoint(other.width() - 20, other.height() / 2)));
    EXPECT_FALSE(other.DockSite->isFloating());
    EXPECT_EQ(other.Control->window(), &other);
}

TEST_F(PlotFixture, PanelCarriesTheChartCommands)
{
    ScatterPlotWindow& w = open(root);
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
    ScatterPlotWindow& w = open(root);
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
    auto* form = sub->findChild<ScatterPlotWindow*>();
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
    ScatterPlotWindow& w = open(d);
    for (QListWidget* list : {w.Control->xlist, w.Control->ylist}) {
        EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
        EXPECT_EQ(list->item(0)->toolTip(), QStringLiteral("FL3-A Propidium Iodide (viability)"));
    }
}
