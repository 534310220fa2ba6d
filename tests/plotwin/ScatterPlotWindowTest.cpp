#include <gtest/gtest.h>

#include "PlotFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/Messages.h"
#include "core/TDataFilter.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlImport.h"
#include "geometry/Scales.h"
#include "plot/PixelMap.h"
#include "ui/chart/GateTool.h"
#include "ui/common/DataEvents.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/PlotWindow.h"
#include "ui/plot/QuickView.h"
#include "ui/plot/ScatterPlotWindow.h"

using namespace orvala;
using namespace orvala::plottest;


TEST_F(PlotFixture, ScatterShowsOneDotPerEventInTheEventColours)
{
    root->SetColor(7, 0x000000FF);
    ScatterPlotWindow& w = open(root);
    ASSERT_NE(w.serdat, Chart::NoSeries);
    const Chart* c = w.chart();
    ASSERT_EQ(c->pointCount(w.serdat), root->events());
    for (int e : {0, 7, 2999}) {
        EXPECT_DOUBLE_EQ(c->point(w.serdat, e).x(), root->data[e][0]);
        EXPECT_DOUBLE_EQ(c->point(w.serdat, e).y(), root->data[e][1]);
        EXPECT_EQ(c->pointColor(w.serdat, e) & 0xFFFFFF, root->GetColor(e) & 0xFFFFFF);
    }
    EXPECT_EQ(c->pointColor(w.serdat, 7) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(c->axisTitle(ChartAxis::Bottom), QStringLiteral("Ch1"));
    EXPECT_EQ(c->axisTitle(ChartAxis::Left), QStringLiteral("Ch2"));
}

TEST_F(PlotFixture, AxisSelectionSumsTickedParametersOverRootTwo)
{
    ScatterPlotWindow& w = open(root);
    w.Control->xlist->item(1)->setCheckState(Qt::Checked);  // Ch1 and Ch2 on x
    w.Control->ylist->item(1)->setCheckState(Qt::Unchecked);
    w.Control->ylist->item(2)->setCheckState(Qt::Checked);
    w.DrawData();
    const Chart* c = w.chart();
    EXPECT_EQ(c->axisTitle(ChartAxis::Bottom), QStringLiteral("Ch1+Ch2"));
    EXPECT_EQ(c->axisTitle(ChartAxis::Left), QStringLiteral("Ch3"));
    for (int e : {0, 100, 2999}) {
        EXPECT_NEAR(c->point(w.serdat, e).x(), (root->data[e][0] + root->data[e][1]) / std::sqrt(2.0), 1e-9);
        EXPECT_DOUBLE_EQ(c->point(w.serdat, e).y(), root->data[e][2]);
    }
}

TEST_F(PlotFixture, HistogramWhenOnlyXAndEmptyChartWithoutX)
{
    ScatterPlotWindow& w = open(root);
    w.SetXY(2, 2);
    EXPECT_EQ(PlotControlPanel::ticked(w.Control->xlist), std::vector<int>{2});
    EXPECT_TRUE(PlotControlPanel::ticked(w.Control->ylist).empty());
    w.DrawData();
    const Chart* c = w.chart();
    EXPECT_EQ(w.serdat, Chart::NoSeries);
    EXPECT_EQ(c->axisTitle(ChartAxis::Left), QStringLiteral("Freq"));
    ASSERT_EQ(c->seriesCount(), 1);
    const std::vector<double> counts = c->yValues(c->seriesAt(0));
    double total = 0;
    for (double v : counts) total += v;
    EXPECT_EQ(total, root->events());

    w.SetXY(-1, 1);  // no x entry at all
    w.DrawData();
    EXPECT_EQ(c->seriesCount(), 0);
    EXPECT_EQ(w.serdat, Chart::NoSeries);
}

TEST_F(PlotFixture, LogScaleBoxesConvertThePlottedValues)
{
    ScatterPlotWindow& w = open(root);
    w.Control->xlog->setChecked(true);
    w.Control->xlin->setChecked(true);  // takes over from its partner
    EXPECT_FALSE(w.Control->xlog->isChecked());
    w.DrawData();
    for (int e : {0, 5})
        EXPECT_DOUBLE_EQ(w.chart()->point(w.serdat, e).x(), LinToLog(root->data[e][0]));
    EXPECT_DOUBLE_EQ(w.chart()->point(w.serdat, 5).y(), root->data[5][1]);
}

TEST_F(PlotFixture, PolygonEndedWithRightButtonCreatesTheEvenOddChild)
{
    ScatterPlotWindow& w = open(root);
    const std::string expectedName = workspace->CreateName(root, "Gate");
    // A concave outline, so that a convex-hull or bounding-box shortcut would fail.
    const std::vector<QPointF> drawn = drawPolygon({{100, 100}, {900, 150}, {500, 450}, {850, 850}, {150, 800}});
    ASSERT_EQ(workspace->Count(), 2);
    TData* kid = workspace->GetData(1);
    ASSERT_EQ(kid->Parent(), root);
    EXPECT_EQ(kid->ShortName(), expectedName);
    ASSERT_TRUE(kid->gate);
    const TGate& g = *kid->gate;
    EXPECT_EQ(g.kind, TGateType::gtGate);
    EXPECT_EQ(g.x, (TVector{1, 0, 0}));
    EXPECT_EQ(g.y, (TVector{0, 1, 0}));
    // The gate's outline is the drawn polygon (closed), in data values of the clicked pixels.
    ASSERT_EQ(g.Count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(g.cx[size_t(i)], drawn[size_t(i % 5)].x()) << i;
        EXPECT_DOUBLE_EQ(g.cy[size_t(i)], drawn[size_t(i % 5)].y()) << i;
    }
    std::vector<double> vx, vy;
    for (const QPointF& p : drawn) vx.push_back(p.x()), vy.push_back(p.y());
    const TIntVector want = evenOddSelection(vx, vy);
    EXPECT_GT(want.size(), 100u);
    EXPECT_LT(want.size(), size_t(root->events()) - 100);
    EXPECT_EQ(kid->link, want);
    EXPECT_EQ(kid->events(), int(want.size()));
    EXPECT_FALSE(w.Control->poly->isChecked());

    // The announcement redraws the window, which draws the child's gate back.
    EXPECT_GE(notifier.posts, 1);
    QCoreApplication::sendPostedEvents(&w);
    ASSERT_EQ(w.gateTool()->ContourCount(), 1);
    const Chart::SeriesId contour = w.gateTool()->Contours(0);
    EXPECT_EQ(w.chart()->xValues(contour), g.cx);
    EXPECT_EQ(w.chart()->yValues(contour), g.cy);
}

TEST_F(PlotFixture, ChildGateOnExchangedAxesIsDrawnMirrored)
{
    ScatterPlotWindow& w = open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    QCoreApplication::sendPostedEvents(&w);
    const TGate& g = *workspace->GetData(1)->gate;
    w.SetXY(1, 0);
    w.DrawData();
    ASSERT_EQ(w.gateTool()->ContourCount(), 1);
    const Chart::SeriesId contour = w.gateTool()->Contours(0);
    EXPECT_EQ(w.chart()->xValues(contour), g.cy);
    EXPECT_EQ(w.chart()->yValues(contour), g.cx);
    w.SetXY(0, 2);  // Ch3 is not in the gate's plane
    w.DrawData();
    EXPECT_EQ(w.gateTool()->ContourCount(), 0);
}

TEST_F(PlotFixture, QueuedAnnouncementsGiveOneRedraw)
{
    ScatterPlotWindow& w = open(root);
    const int before = w.drawCount();
    root->Announce();
    root->Announce();
    QCoreApplication::sendPostedEvents(&w);
    EXPECT_EQ(w.drawCount(), before + 1);
    // An announcement without a change of the counter redraws nothing.
    QCoreApplication::postEvent(&w, new QEvent(DataEvent::changedType()));
    QCoreApplication::sendPostedEvents(&w);
    EXPECT_EQ(w.drawCount(), before + 1);
}

TEST_F(PlotFixture, WindowReleasesAndClosesWhenItsDataSetIsDeleted)
{
    ScatterPlotWindow& w = open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    QCoreApplication::sendPostedEvents(&w);
    TData* kid = workspace->GetData(1);
    const int refs = kid->RefCount();
    window.reset();
    ScatterPlotWindow& k = open(kid);
    EXPECT_EQ(kid->RefCount(), refs + 1);
    kid->UseIt();  // keep the object alive to look at it after the deletion
    workspace->Delete(kid);
    EXPECT_TRUE(kid->Deleted());
    kid->Announce();
    QCoreApplication::sendPostedEvents(&k);
    EXPECT_EQ(k.data(), nullptr);
    EXPECT_FALSE(k.isVisible());
    EXPECT_EQ(kid->RefCount(), 1);
    TData::Free(kid);
}

TEST_F(PlotFixture, DensityButtonRecoloursAndReleasingRestoresEventColours)
{
    ScatterPlotWindow& w = open(root);
    const Chart* c = w.chart();
    w.Control->density->click();
    int changed = 0;
    for (int e = 0; e < root->events(); ++e)
        if ((c->pointColor(w.serdat, e) & 0xFFFFFF) != (root->GetColor(e) & 0xFFFFFF)) ++changed;
    EXPECT_GT(changed, 0);
    for (int e = 0; e < root->events(); e += 97)
        EXPECT_NE(std::find(DensityLevels.begin(), DensityLevels.end(), c->pointColor(w.serdat, e) & 0xFFFFFF),
                  DensityLevels.end());
    w.Control->density->click();
    for (int e = 0; e < root->events(); ++e)
        ASSERT_EQ(c->pointColor(w.serdat, e) & 0xFFFFFF, root->GetColor(e) & 0xFFFFFF) << e;
}

TEST_F(PlotFixture, MovingAContourVertexRegatesTheChild)
{
    ScatterPlotWindow& w = open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    QCoreApplication::sendPostedEvents(&w);
    TData* kid = workspace->GetData(1);
    const int before = kid->events();
    const Chart::SeriesId contour = w.gateTool()->Contours(0);
    // Moving the apex outward by a tiny amount (under 0.1 %) keeps the gate.
    Chart* c = w.chart();
    std::vector<double> x = c->xValues(contour), y = c->yValues(contour);
    const TVector storedY = kid->gate->cy;
    std::vector<double> nudged = y;
    nudged[2] *= 1.0009;
    c->setPoints(contour, x, nudged);
    emit w.gateTool()->OnRegate(contour);
    EXPECT_EQ(kid->events(), before);
    EXPECT_EQ(kid->gate->cy, storedY);
    // Pull the apex far out: the child grows.
    y[2] = 950;
    x[2] = 300;
    c->setPoints(contour, x, y);
    emit w.gateTool()->OnRegate(contour);
    EXPECT_GT(kid->events(), before);
    EXPECT_EQ(kid->link, evenOddSelection(*kid->gate));
}

// A polygon imported from Gating-ML is drawn on the axes of its dimensions,
// mirrored when they are exchanged, and a drag on it changes nothing: the
// document decides its events.
TEST_F(PlotFixture, ImportedGatingMlGateIsDrawnOnItsAxesAndNotEdited)
{
    const std::string n0 = root->Desc()[0].name, n1 = root->Desc()[1].name;
    const std::string dim = "<gating:dimension gating:compensation-ref=\"uncompensated\"><data-type:fcs-dimension data-type:name=\"";
    std::string xml = "<gating:Gating-ML xmlns:gating=\"http://www.isac-net.org/std/Gating-ML/v2.0/gating\" "
                      "xmlns:data-type=\"http://www.isac-net.org/std/Gating-ML/v2.0/datatypes\">"
                      "<gating:PolygonGate gating:id=\"Tri\">" +
                      dim + n0 + "\"/></gating:dimension>" + dim + n1 + "\"/></gating:dimension>";
    const std::vector<double> vx{100, 600, 300}, vy{100, 120, 700};
    for (size_t i = 0; i < 3; ++i)
        xml += "<gating:vertex><gating:coordinate data-type:value=\"" + std::to_string(vx[i]) +
               "\"/><gating:coordinate data-type:value=\"" + std::to_string(vy[i]) + "\"/></gating:vertex>";
    xml += "</gating:PolygonGate></gating:Gating-ML>";
    ImportGatingMl(*root, std::make_shared<GmlDocument>(ParseGatingMl(xml, "tri.xml")));
    TData* kid = workspace->GetData(1);
    const TIntVector want = evenOddSelection(vx, vy);
    EXPECT_GT(want.size(), 100u);
    EXPECT_EQ(kid->link, want);

    ScatterPlotWindow& w = open(root);
    ASSERT_EQ(w.gateTool()->ContourCount(), 1);
    const Chart::SeriesId contour = w.gateTool()->Contours(0);
    const std::vector<double> closedX{100, 600, 300, 100}, closedY{100, 120, 700, 100};
    EXPECT_EQ(w.chart()->xValues(contour), closedX);
    EXPECT_EQ(w.chart()->yValues(contour), closedY);

    std::vector<double> y = closedY;
    y[2] = 950;
    w.chart()->setPoints(contour, closedX, y);
    emit w.gateTool()->OnRegate(contour);
    EXPECT_EQ(kid->link, want);
    EXPECT_EQ(kid->gate->cy, closedY);
    EXPECT_EQ(w.chart()->yValues(contour), closedY);  // the drag is taken back

    w.SetXY(1, 0);
    w.DrawData();
    ASSERT_EQ(w.gateTool()->ContourCount(), 1);
    EXPECT_EQ(w.chart()->xValues(w.gateTool()->Contours(0)), closedY);
    w.SetXY(0, 2);
    w.DrawData();
    EXPECT_EQ(w.gateTool()->ContourCount(), 0);
}

TEST_F(PlotFixture, OneDGateHoldsExactlyTheEventsBetweenTheMarkersAsSeen)
{
    // Events on and just beside the ends the markers will show.
    const double edges[] = {199.99999999, 200, 200.00000001, 399.99999999, 400, 400.00000001};
    for (int k = 0; k < 6; ++k) root->data[10 + k][0] = edges[k];
    ScatterPlotWindow& w = open(root);
    w.OneDGateClick();  // no markers: nothing
    EXPECT_EQ(workspace->Count(), 1);
    w.SetXY(0, 0);
    w.Control->xlin->setChecked(true);
    w.DrawData();
    w.markersClick();
    ASSERT_TRUE(w.markersVisible());
    w.setMarkerPositions(LinToLog(400), LinToLog(200));  // either order
    w.OneDGateClick();
    ASSERT_EQ(workspace->Count(), 2);
    TData* kid = workspace->GetData(1);
    EXPECT_EQ(kid->gate->y, (TVector{0, 0, 0}));
    TIntVector want;
    for (int e = 0; e < root->events(); ++e)
        if (root->data[e][0] >= 200 && root->data[e][0] <= 400) want.push_back(e);
    EXPECT_GT(want.size(), 100u);
    EXPECT_EQ(kid->link, want);
}

TEST_F(PlotFixture, PaintPointsPaintsOnlyAnAcceptedRangeButAlwaysAnnounces)
{
    ScatterPlotWindow& w = open(root);
    struct Case {
        const char *from, *to;
        bool paints;
    };
    const TColor before = root->GetColor(3);
    for (const Case& c : {Case{"5", "3", false}, Case{"1", "3001", false}, Case{"0", "2", false}}) {
        const int posts = notifier.posts;
        w.PaintPoints(QString::fromLatin1(c.from), QString::fromLatin1(c.to), 0x00123456);
        EXPECT_EQ(notifier.posts, posts + 1) << c.from << ".." << c.to;
        for (int e = 0; e < root->events(); ++e) ASSERT_EQ(root->GetColor(e), before) << e;
    }
    const int posts = notifier.posts;
    EXPECT_THROW(w.PaintPoints(QStringLiteral("x1"), QStringLiteral("3"), 0x00123456), OrvalaError);
    EXPECT_EQ(notifier.posts, posts);
    w.PaintPoints(QStringLiteral("2"), QStringLiteral(" 3000"), 0x00123456);
    EXPECT_EQ(root->GetColor(0), before);
    EXPECT_EQ(root->GetColor(1) & 0xFFFFFF, 0x123456u);
    EXPECT_EQ(root->GetColor(2999) & 0xFFFFFF, 0x123456u);
    QCoreApplication::sendPostedEvents(&w);
    EXPECT_EQ(w.chart()->pointColor(w.serdat, 1) & 0xFFFFFF, 0x123456u);
}

TEST_F(PlotFixture, GateStatisticsNameCountShareAndMeans)
{
    ScatterPlotWindow& w = open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    QCoreApplication::sendPostedEvents(&w);
    TData* kid = workspace->GetData(1);
    double sx = 0, sy = 0;
    for (int32_t l : kid->link) sx += root->data[l][0], sy += root->data[l][1];
    sx /= double(kid->link.size());
    sy /= double(kid->link.size());
    const QString want = QString::fromStdString(kid->ShortName()) + "\rEvents : " + QString::number(kid->events()) +
                         " ( " + QString::asprintf("%4.1f", 100.0 * kid->events() / root->events()) + "% )\r" +
                         QString::asprintf("X = %.1f, Y = %.1f", sx, sy);
    EXPECT_EQ(w.gateStatistics(w.gateTool()->Contours(0)), want);
    EXPECT_TRUE(w.gateStatistics(w.serdat).isEmpty());
}

TEST_F(PlotFixture, MdiWindowFollowsPostedNoticesAndClosesWithItsDataSet)
{
    UiNotifier ui;
    TData::Notifier = &ui;
    open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    TData* kid = workspace->GetData(1);
    window.reset();
    QMdiArea area;
    area.resize(1000, 700);
    area.show();

    QPointer<QWidget> sub = openScatterPlot(&area, kid, nullptr);
    ASSERT_TRUE(qobject_cast<QMdiSubWindow*>(sub.data()));
    auto* form = qobject_cast<ScatterPlotWindow*>(static_cast<QMdiSubWindow*>(sub.data())->widget());
    ASSERT_TRUE(form);
    ASSERT_NE(form->serdat, Chart::NoSeries);
    ASSERT_GT(kid->events(), 3);
    ASSERT_EQ(form->chart()->pointCount(form->serdat), kid->events());

    // Message 1026: the cross-hair jumps to the highlighted event.
    form->Control->ShowPointer->setChecked(true);
    kid->ActivEvent = 3;
    postToAllForms(WMMouseOver, kid);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->chart()->crossHairPosition(), form->chart()->point(form->serdat, 3));

    workspace->Delete(kid);
    root->Announce();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(sub.isNull());
}

TEST_F(PlotFixture, QuickViewShowsTheClickedEventAndKeepsEarlierOnes)
{
    ScatterPlotWindow& w = open(root);
    QWidget* canvas = w.chart()->canvas();
    const QPoint at = w.chart()->pointPixel(w.serdat, 42).toPoint();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at);  // button up: the chart zooms as usual
    QuickView* q = QuickView::shared();
    EXPECT_FALSE(q->isVisible());

    w.Control->bquickview->setChecked(true);
    for (int k : {42, 1000}) {
        const QPoint p = w.chart()->pointPixel(w.serdat, k).toPoint();
        QTest::mousePress(canvas, Qt::LeftButton, {}, p);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, p);
    }
    ASSERT_TRUE(q->isVisible());
    ASSERT_EQ(q->chart()->seriesCount(), 2);
    // The hit point may be a neighbour under the same pixel: read which from the caption.
    const QString caption = q->windowTitle();
    ASSERT_TRUE(caption.startsWith(QStringLiteral("Event #  ")));
    const int shown = caption.mid(9).toInt() - 1;
    ASSERT_GE(shown, 0);
    const std::vector<double> y = q->chart()->yValues(q->chart()->seriesAt(1));
    ASSERT_EQ(y.size(), 3u);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(y[size_t(p)], root->data[shown][p]);
    q->hide();
    EXPECT_EQ(q->chart()->seriesCount(), 0);

    w.Control->poly->click();  // drawing releases the quick view
    EXPECT_FALSE(w.Control->bquickview->isChecked());
}

TEST_F(PlotFixture, MultiGivesOneHistogramPerTickedParameter)
{
    ScatterPlotWindow& w = open(root);
    w.SetXY(0, 0);
    w.Control->xlist->item(2)->setCheckState(Qt::Checked);
    w.Control->multi->setChecked(true);
    w.DrawData();
    const Chart* c = w.chart();
    EXPECT_EQ(c->axisTitle(ChartAxis::Bottom), QStringLiteral("Ch1,Ch3"));
    EXPECT_TRUE(c->legendVisible());
    ASSERT_EQ(c->seriesCount(), 2);
    EXPECT_EQ(c->seriesTitle(c->seriesAt(0)), QStringLiteral("Ch1"));
    EXPECT_EQ(c->seriesTitle(c->seriesAt(1)), QStringLiteral("Ch3"));
    for (int s = 0; s < 2; ++s) {
        double total = 0;
        for (double v : c->yValues(c->seriesAt(s))) total += v;
        EXPECT_EQ(total, root->events());
    }
    // Without multi the two ticked parameters make one summed histogram.
    w.Control->multi->setChecked(false);
    w.DrawData();
    EXPECT_EQ(c->axisTitle(ChartAxis::Bottom), QStringLiteral("Ch1+Ch3"));
    EXPECT_EQ(c->seriesCount(), 1);
}

TEST_F(PlotFixture, InverseGateTakesTheEventsOutside)
{
    ScatterPlotWindow& w = open(root);
    w.Control->Reverse->setChecked(true);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    ASSERT_EQ(workspace->Count(), 2);
    TData* kid = workspace->GetData(1);
    EXPECT_TRUE(kid->gate->Inverse);
    const TIntVector inside = evenOddSelection(*kid->gate);
    TIntVector outside;
    for (int e = 0, j = 0; e < root->events(); ++e) {
        if (j < int(inside.size()) && inside[size_t(j)] == e)
            ++j;
        else
            outside.push_back(e);
    }
    EXPECT_FALSE(inside.empty());
    EXPECT_EQ(kid->link, outside);
}

TEST_F(PlotFixture, ComponentEntriesAddTheFilterEigenvectors)
{
    root->filter = TDataFilter::Create();
    root->filter->setIndices({0, 2});
    root->filter->setEvects({{0.6, 0.8}, {-0.8, 0.6}});
    ScatterPlotWindow& w = open(root);
    ASSERT_EQ(w.Control->xlist->count(), 5);
    EXPECT_EQ(w.Control->xlist->item(3)->text(), QStringLiteral("PC0"));
    EXPECT_EQ(w.Control->ylist->item(4)->text(), QStringLiteral("PC1"));
    w.SetXY(3, 4);
    w.DrawData();
    EXPECT_EQ(w.xvector, (TVector{0.6, 0, 0.8}));
    EXPECT_EQ(w.yvector, (TVector{-0.8, 0, 0.6}));
    for (int e : {0, 17})
        EXPECT_NEAR(w.chart()->point(w.serdat, e).x(), 0.6 * root->data[e][0] + 0.8 * root->data[e][2], 1e-9);
    // A parameter and a component on one axis: their sum, normalised.
    w.Control->xlist->item(1)->setCheckState(Qt::Checked);
    w.BuildAxisVectors();
    EXPECT_NEAR(w.xvector[0], 0.6 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(w.xvector[1], 1 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(w.xvector[2], 0.8 / std::sqrt(2.0), 1e-12);
}

TEST_F(PlotFixture, RemovingADataSetClosesItsWindowAndItsGatesMakeNoOrphans)
{
    open(root);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    ASSERT_EQ(workspace->Count(), 2);
    TData* kid = workspace->GetData(1);
    window.reset();

    // The removal itself is the notice: no other announcement comes.
    ScatterPlotWindow& k = open(kid);
    DataRef keep(kid);  // to look at it after the window let go
    workspace->Delete(kid);
    QCoreApplication::sendPostedEvents(&k);
    EXPECT_EQ(k.data(), nullptr);
    EXPECT_FALSE(k.isVisible());
    keep.reset();
    window.reset();

    // A gate drawn before a window has seen the notice adds nothing.
    open(root);
    notifier.target = nullptr;
    DataRef held(root);
    workspace->Delete(root);
    ASSERT_EQ(workspace->Count(), 0);
    drawPolygon({{100, 100}, {600, 120}, {300, 700}});
    EXPECT_EQ(workspace->Count(), 0);
    window.reset();
}
