#include <gtest/gtest.h>

#include <QTest>

#include "ChartTestMain.h"
#include "ui/chart/PaintBoxTools.h"

using namespace orvala;

namespace {

struct Box : chart_testing::WithApp {
    explicit Box(QColor fill = Qt::black)
    {
        QImage img(200, 150, QImage::Format_RGB32);
        img.fill(fill);
        box.setPicture(img);
        box.resize(200, 150);
        box.show();
    }
    void drag(QPoint from, QPoint to)
    {
        QTest::mouseMove(&box, from);
        QTest::mousePress(&box, Qt::LeftButton, {}, from);
        QTest::mouseMove(&box, to);
        QTest::mouseRelease(&box, Qt::LeftButton, {}, to);
    }
    QImage shot() { return box.grab().toImage(); }
    PaintBox box;
};

}  // namespace

TEST(PaintBoxTools, RectangleDrawnResizedAndNormalised)
{
    Box b;
    TSelectRectangle r(&b.box);
    b.drag({20, 30}, {80, 90});
    EXPECT_TRUE(r.Visible());
    EXPECT_EQ(r.Rect(), QRect(QPoint(20, 30), QPoint(80, 90)));

    // Exclusive-or white over black shows white on the outline only.
    const QImage img = b.shot();
    EXPECT_EQ(img.pixelColor(20, 60), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(50, 90), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(50, 60), QColor(Qt::black));

    // The right-bottom grip dragged past the left and top edges.
    b.drag({80, 90}, {5, 10});
    EXPECT_EQ(r.Rect(), QRect(QPoint(5, 10), QPoint(20, 30)));
    // Dragged beyond the box: clamped.
    b.drag({12, 20}, {400, 20});  // centre grip moves all edges
    EXPECT_EQ(r.Right(), 199);

    // A click without movement leaves no width: hidden.
    QTest::mouseClick(&b.box, Qt::LeftButton, {}, QPoint(150, 120));
    EXPECT_FALSE(r.Visible());
}

TEST(PaintBoxTools, XorOutlineInvertsAnyPicture)
{
    Box b(Qt::white);
    TSelectRectangle r(&b.box);
    r.setRect(QRect(QPoint(10, 10), QPoint(50, 40)));
    r.setVisible(true);
    const QImage img = b.shot();
    EXPECT_EQ(img.pixelColor(10, 20), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(30, 20), QColor(Qt::white));
}

TEST(PaintBoxTools, PolygonClicksCloseAndPassOn)
{
    Box b;
    int passed = 0;
    b.box.OnMouseDown = [&](QMouseEvent*) { ++passed; };
    {
        TSelectPolygon p(&b.box);
        for (QPoint pt : {QPoint(20, 20), QPoint(120, 20), QPoint(120, 100)}) {
            QTest::mouseMove(&b.box, pt);
            QTest::mouseClick(&b.box, Qt::LeftButton, {}, pt);
        }
        QTest::mouseMove(&b.box, QPoint(20, 100));
        QTest::mouseClick(&b.box, Qt::RightButton, {}, QPoint(20, 100));
        ASSERT_TRUE(p.shape().accomplished);
        // The floating vertex started at (0, 0) and followed the mouse; each
        // click fixed it and added the next.
        const std::vector<TNode> expected = {{20, 20}, {120, 20}, {120, 100}, {20, 100}};
        EXPECT_EQ(p.shape().Vertices, expected);
        EXPECT_TRUE(p.IsIn(60, 60));
        EXPECT_EQ(passed, 0);
        // A press outside the closed polygon goes to the paint box's own handler.
        QTest::mouseClick(&b.box, Qt::LeftButton, {}, QPoint(180, 140));
        EXPECT_EQ(passed, 1);
    }
    // The tool gave the handlers back.
    QTest::mouseClick(&b.box, Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_EQ(passed, 2);
}

TEST(PaintBoxTools, GridDraggedOutThenSpotsTested)
{
    Box b;
    TGrid g(&b.box);
    g.setXdiv(3);
    g.setYdiv(2);
    b.drag({10, 20}, {100, 60});
    EXPECT_FALSE(g.shape().Creation);
    EXPECT_EQ(g.shape().Nodes[2], (TNode{100, 60}));
    g.BeginTransform(1, 1);
    EXPECT_TRUE(g.IsInGate(25, 30));   // centre of the first 30 x 20 cell
    EXPECT_FALSE(g.IsInGate(40, 40));  // a cell corner
    g.EndTransform();
    // The division lines are drawn: a vertical one at x = 40 inside the grid.
    const QImage img = b.shot();
    EXPECT_EQ(img.pixelColor(40, 35), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(55, 35), QColor(Qt::black));
    // The marker of corner (10, 20) spans 4 pixels either side.
    EXPECT_EQ(img.pixelColor(6, 22), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(5, 22), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(6, 25), QColor(Qt::black));
}
