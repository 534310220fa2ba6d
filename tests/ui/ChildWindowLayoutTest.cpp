// Window > Tile and Cascade with many plot windows: every chart stays usable
// and the main window stays on its screen.
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "core/TData.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/workspace/MainWindow.h"
#include "ui/workspace/MdiLayout.h"

using namespace orvala;

class ChildWindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void eighteenPlotsStayUsable()
    {
        QTemporaryDir tmp;
        MainWindow w(tmp.filePath(QStringLiteral("orvala.ini")));
        w.resize(1280, 800);
        w.show();
        TData* d = TData::Create("cells", 3, 50);
        for (int e = 0; e < 50; ++e)
            for (int p = 0; p < 3; ++p) d->data[e][p] = e + p;
        w.dataList()->Add(d);
        for (int i = 0; i < 18; ++i) w.openPlot(d);
        auto* area = w.findChild<QMdiArea*>(QStringLiteral("ClientArea"));
        QVERIFY(area);
        QCOMPARE(area->subWindowList().size(), 18);
        const QRect screen = w.screen()->availableGeometry();
        for (const QString& command : {QStringLiteral("&Tile"), QStringLiteral("&Cascade")}) {
            w.action(command)->trigger();
            QCoreApplication::processEvents();
            QVERIFY2(w.frameGeometry().width() <= screen.width() && w.frameGeometry().height() <= screen.height(),
                     qPrintable(command));
            QRect covered;
            for (QMdiSubWindow* sub : area->subWindowList()) {
                QVERIFY2(sub->width() >= UsableChildSize.width() && sub->height() >= UsableChildSize.height(),
                         qPrintable(command));
                // The chart itself, beside its control panel, has room to be read.
                auto* chart = sub->findChild<Chart*>();
                QVERIFY(chart);
                QVERIFY2(chart->width() >= 200 && chart->height() >= 200, qPrintable(command));
                covered |= sub->geometry();
            }
            if (command == QStringLiteral("&Tile")) {
                // Eighteen usable windows do not fit the area: it scrolls instead of squeezing them.
                QVERIFY(covered.height() > area->viewport()->height());
                QVERIFY(area->verticalScrollBar()->maximum() > 0);
            }
        }
    }
};

int runChildWindowLayoutTests(int argc, char** argv)
{
    ChildWindowLayoutTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "ChildWindowLayoutTest.moc"
