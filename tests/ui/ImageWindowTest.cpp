// The image window, offscreen: opening after "Open Multipage Image" and from
// the data list, the views and the gamma, the pixel under the mouse, training
// classes from rectangles, both classifications, unticking a class, class
// files, decomposition and the window closing with its data set.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QMimeData>
#include <QSpinBox>
#include <QTabWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <fstream>
#include <memory>

#include "UiTestHelpers.h"
#include "analysis/ClassFiles.h"
#include "analysis/PixelClassify.h"
#include "core/TData.h"
#include "formats/images/ImageSequence.h"
#include "formats/images/MultiPage.h"
#include "ui/analysis/DataCalculatorDialog.h"
#include "ui/chart/Chart.h"
#include "ui/chart/PaintBoxTools.h"
#include "ui/common/DataListWindow.h"
#include "ui/image/ImageCommands.h"
#include "ui/image/ImageWindow.h"
#include "ui/workspace/DataSetCommands.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

constexpr int W = 12, H = 8;

// Three materials in vertical stripes of four columns, each bright in one of
// the frames 500, 600 and 700 nm, with a little texture so no two pixels agree.
uint8_t value(int frame, int x, int y)
{
    const int material = x / 4;
    return uint8_t((material == frame ? 180 : 30) + (x * 7 + y * 3 + frame) % 11);
}

void writeStack(const QString& dir)
{
    QDir().mkpath(dir);
    for (int f = 0; f < 3; ++f) {
        std::vector<uint8_t> px(W * H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) px[size_t(y * W + x)] = value(f, x, y);
        const std::vector<uint8_t> bytes = GreyBmpBytes(W, H, px.data());
        std::ofstream(QDir(dir).filePath(QString::number(500 + 100 * f) + QStringLiteral(".bmp")).toStdString(),
                      std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

ImageWindow* imageWindow(MainWindow& w)
{
    for (QMdiSubWindow* s : w.mdiArea()->subWindowList())
        if (auto* d = qobject_cast<ImageWindow*>(s->widget())) return d;
    return nullptr;
}

// The box rectangle covering image columns x0..x1 and rows y0..y1.
QRect boxRect(const ImageWindow& win, int x0, int y0, int x1, int y1)
{
    const double sx = double(win.image->width() - 1) / (W - 1), sy = double(win.image->height() - 1) / (H - 1);
    return QRect(QPoint(int(x0 * sx), int(y0 * sy)), QPoint(int(x1 * sx), int(y1 * sy)));
}

QRgb rgbOf(TColor c) { return qRgb(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)); }

}  // namespace

class ImageWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settings() const { return dir_.filePath(QStringLiteral("orvala.ini")); }
    QString stack() const { return dir_.filePath(QStringLiteral("scene")); }

    // Opens the stack as the user does: its window, or nil.
    ImageWindow* openStack(MainWindow& w)
    {
        writeStack(stack());
        return DataSetCommands::OpenMultipage(w, stack(), false) ? imageWindow(w) : nullptr;
    }

    // The stack's window with one training class drawn per stripe.
    ImageWindow* openWithClasses(MainWindow& w)
    {
        ImageWindow* win = openStack(w);
        if (!win) return nullptr;
        win->setTool(ImageWindow::Tool::Rectangle);
        const char* names[3] = {"Soil", "Tree", "Water"};
        for (int m = 0; m < 3; ++m) {
            win->rectangleTool()->setVisible(true);
            win->rectangleTool()->setRect(boxRect(*win, 4 * m + 1, 1, 4 * m + 2, 6));
            win->CreateClass(QString::fromLatin1(names[m]));
        }
        return win;
    }

private slots:
    void openingTheStackOpensTheWindowWithItsFilePath()
    {
        MainWindow w(settings());
        writeStack(stack());
        TData* d = DataSetCommands::OpenMultipage(w, stack(), false);
        QVERIFY(d);
        ImageWindow* win = imageWindow(w);
        QVERIFY(win);
        QCOMPARE(win->windowTitle(), QStringLiteral("scene"));
        QCOMPARE(win->imageWidth(), W);
        QCOMPARE(win->imageHeight(), H);
        QCOMPARE(win->Pseudo->count(), 3);
        QCOMPARE(win->Pseudo->currentText(), QStringLiteral("Multi"));
        QCOMPARE(win->WaveTable, (TVector{500, 600, 700}));
        w.dataList()->ShowValues(d);
        QCOMPARE(w.dataList()->Value(QStringLiteral("File Path")), QDir::toNativeSeparators(stack()));

        // "Multi" shows frame 0 as grey levels (markers at 0: the bytes as they are).
        QCOMPARE(win->picture().pixel(0, 0), qRgb(value(0, 0, 0), value(0, 0, 0), value(0, 0, 0)));
        win->Frame->setValue(2);
        QCOMPARE(win->FrameNum->text(), QStringLiteral("700"));
        QCOMPARE(win->picture().pixel(9, 3), qRgb(value(2, 9, 3), value(2, 9, 3), value(2, 9, 3)));

        // Closing it and activating the data set in the list opens it again.
        w.mdiArea()->closeAllSubWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!imageWindow(w));
        emit w.dataList()->dataActivated(d);
        QVERIFY(imageWindow(w));
    }

    void mouseStaysInsideTheImageAndShowsTheSpectrum()
    {
        MainWindow w(settings());
        writeStack(stack());
        TData* d = DataSetCommands::OpenMultipage(w, stack(), false);
        ImageWindow* win = imageWindow(w);
        QVERIFY(win);
        win->Spectrum->setChecked(true);
        const QSize box = win->image->size();
        struct Case {
            QPoint at;
            int event;
        };
        const Case cases[] = {
            {QPoint(0, 0), 0},
            {QPoint(box.width() - 1, box.height() - 1), W * H - 1},
            {QPoint(box.width() + 40, -10), W - 1},  // outside: clamped to the picture
        };
        for (const Case& c : cases) {
            win->MouseOverImage(c.at);
            QCOMPARE(d->ActivEvent, c.event);
        }
        Chart* chart = win->quickview;
        QCOMPARE(chart->seriesCount(), 1);
        QCOMPARE(chart->xValues(chart->seriesAt(0)), (std::vector<double>{500, 600, 700}));
        QCOMPARE(chart->yValues(chart->seriesAt(0)),
                 (std::vector<double>{double(value(0, W - 1, 0)), double(value(1, W - 1, 0)), double(value(2, W - 1, 0))}));
    }

    // The histogram page follows the frame; dragging its markers sets the
    // frame's grey range, which "Multi" then stretches to black..white.
    void histogramMarkersSetTheGreyRangeOfTheFrame()
    {
        MainWindow w(settings());
        ImageWindow* win = openStack(w);
        QVERIFY(win);
        w.resize(1600, 1000);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (auto* sub = qobject_cast<QMdiSubWindow*>(win->parentWidget())) sub->showMaximized();
        Chart* h = win->histogram;
        qobject_cast<QTabWidget*>(h->parentWidget()->parentWidget())->setCurrentWidget(h);
        QApplication::processEvents();
        QVERIFY(h->canvas()->isVisible() && h->canvas()->width() > 100);
        QCOMPARE(h->seriesCount(), 1);  // frame 0's values
        QCOMPARE(h->cursorLinePosition(win->Marker1), 0.0);
        QCOMPARE(h->cursorLinePosition(win->Marker2), 0.0);

        // Drag one marker to 40, press near 0 again and drag the other to 190.
        auto px = [&](double v) { return QPoint(int(std::lround(h->valueToPixel(ChartAxis::Bottom, v))), h->canvas()->height() / 2); };
        QTest::mousePress(h->canvas(), Qt::LeftButton, Qt::NoModifier, px(40));
        QTest::mouseRelease(h->canvas(), Qt::LeftButton, Qt::NoModifier, px(40));
        QTest::mousePress(h->canvas(), Qt::LeftButton, Qt::NoModifier, px(1));
        QMouseEvent move(QEvent::MouseMove, QPointF(px(190)), h->canvas()->mapToGlobal(QPointF(px(190))), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h->canvas(), &move);
        QTest::mouseRelease(h->canvas(), Qt::LeftButton, Qt::NoModifier, px(190));
        const double lo = win->MinMarker[0], hi = win->MaxMarker[0];
        QVERIFY2(std::abs(lo - 40) < 2 && std::abs(hi - 190) < 2, qPrintable(QStringLiteral("%1 %2").arg(lo).arg(hi)));
        QCOMPARE(win->MinMarker[1], 0.0);  // other frames keep theirs
        // A bright pixel of frame 0 (>= 180) now shows nearly white, a dark one black.
        const int bright = std::clamp(int(std::lround((value(0, 1, 1) - lo) * 255 / (hi - lo))), 0, 255);
        QCOMPARE(win->picture().pixel(1, 1), qRgb(bright, bright, bright));
        QCOMPARE(win->picture().pixel(9, 1), qRgb(0, 0, 0));
    }

    // The grid's well radius follows the up-down; the label shows it.
    void gridRadiusFollowsTheUpDown()
    {
        MainWindow w(settings());
        ImageWindow* win = openStack(w);
        QVERIFY(win);
        win->setTool(ImageWindow::Tool::Grid);
        QCOMPARE(win->gridTool()->radius(), 0.2);
        QCOMPARE(win->rad->text(), QStringLiteral("0.2"));
        win->rds->setValue(10);
        QCOMPARE(win->gridTool()->radius(), 0.5);
        QCOMPARE(win->rad->text(), QStringLiteral("0.5"));
        win->setTool(ImageWindow::Tool::Rectangle);
        win->setTool(ImageWindow::Tool::Grid);  // a new grid takes the current radius
        QCOMPARE(win->gridTool()->radius(), 0.5);
    }

    // Data sets dragged from the data list onto the class grid become classes;
    // the calculator's result too.
    void droppedDataSetsAndTheCalculatorAddClasses()
    {
        MessageRecorder messages;
        MainWindow w(settings());
        ImageWindow* win = openWithClasses(w);
        QVERIFY(win);
        QCOMPARE(win->trainset().Count(), 3);
        TData* spectra = TData::Create("Spectra", 3, 5);
        for (int e = 0; e < 5; ++e)
            for (int c = 0; c < 3; ++c) spectra->data[e][c] = 10 * c + e;
        TData* other = TData::Create("Other", 7, 5);
        w.dataList()->Add(spectra);
        w.dataList()->Add(other);
        w.dataList()->SelectData({spectra, other, win->data()});
        std::unique_ptr<QMimeData> mime(w.dataList()->SelectionMimeData());
        QWidget* grid = win->Trainsetgrid->viewport();
        const QPoint at = grid->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(win->trainset().Count(), 4);  // the picture itself is no class of its own
        QCOMPARE(win->trainset().GetData(3), spectra);
        QCOMPARE(win->Trainsetgrid->item(3, 1)->text(), QStringLiteral("Spectra"));
        QCOMPARE(messages.messages.size(), 1);  // "Other" has 7 values per event
        QVERIFY(messages.messages.front().contains(QStringLiteral("Other")));

        QAction* calculator = win->menu->findChild<QAction*>(QStringLiteral("Calculator"));
        QVERIFY(calculator && calculator->isEnabled());
        answerNextDialog<DataCalculatorDialog>([](DataCalculatorDialog* dlg) { dlg->accept(); });
        calculator->trigger();
        QCOMPARE(win->trainset().Count(), 5);
        TData* made = win->trainset().GetData(4);
        QCOMPARE(made->events(), win->trainset().GetData(0)->events());  // a copy of the first class
        QVERIFY(w.dataList()->datas.Contains(made));
    }

    void gammaOfAPicture()
    {
        MainWindow w(settings());
        TBitmap bmp;
        bmp.width = 2;
        bmp.height = 1;
        bmp.pixels = {0x00808080, 0x00FF4000};
        TData* d = CreatePictureData(bmp);
        w.dataList()->Add(d);
        ImageWindow* win = qobject_cast<ImageWindow*>(ImageCommands::OpenImageWindow(w, d));
        QVERIFY(win);
        QCOMPARE(win->Pseudo->currentText(), QStringLiteral("Original"));
        QVERIFY(!win->Frame->isEnabled());
        QCOMPARE(win->picture().pixel(0, 0), qRgb(128, 128, 128));
        win->Gamma->setValue(2.0);
        QCOMPARE(win->picture().pixel(0, 0), qRgb(64, 64, 64));
        QCOMPARE(win->picture().pixel(1, 0), qRgb(0, 16, 255));  // 255 (64/255)^2 = 16.06
    }

    void samClassifiesEveryStripeAndUntickingHidesItsPixels()
    {
        MainWindow w(settings());
        ImageWindow* win = openWithClasses(w);
        QVERIFY(win);
        QCOMPARE(win->trainset().Count(), 3);
        QCOMPARE(win->Trainsetgrid->rowCount(), 3);
        QCOMPARE(win->Trainsetgrid->item(1, 1)->text(), QStringLiteral("Tree"));
        QCOMPARE(win->trainset().GetData(0)->events(), 2 * 6);

        win->SAMClassification();
        const TDataList& results = win->testset();
        QCOMPARE(results.Count(), 3);
        for (int m = 0; m < 3; ++m) {
            const TData* r = results.GetData(m);
            QCOMPARE(r->ShortName(), win->trainset().GetData(m)->ShortName());
            QCOMPARE(r->events(), 4 * H);
            QVERIFY(w.dataList()->datas.Contains(r));
            for (int32_t p : r->link) QCOMPARE(int(p % W) / 4, m);
        }
        // Deviations in the grid with the "%8.5f" layout, and each class's share.
        QCOMPARE(win->Trainsetgrid->item(0, 2)->text(),
                 QString::asprintf("%8.5f", win->trainset().GetData(0)->Deviation));
        QCOMPARE(win->Trainsetgrid->item(0, 4)->text(), QStringLiteral("33.3"));

        // "Pseudo" shows the classes in their colours; unticking hides one.
        QCOMPARE(win->Pseudo->currentText(), QStringLiteral("Pseudo"));
        const TColor soil = win->trainset().GetData(0)->NativeColor();
        QCOMPARE(win->picture().pixel(0, 0), rgbOf(soil));
        win->ToggleClass(0);
        QVERIFY(win->picture().pixel(0, 0) != rgbOf(soil));
        QCOMPARE(win->picture().pixel(5, 0), rgbOf(win->trainset().GetData(1)->NativeColor()));
        QCOMPARE(results.GetData(0)->events(), 4 * H);  // the result itself is unchanged
        QCOMPARE(win->Trainsetgrid->item(0, 0)->text(), QString());
        win->ToggleClass(0);
        QCOMPARE(win->picture().pixel(0, 0), rgbOf(soil));

        // SD gives the same stripes; a second run replaces the first results.
        const int inWorkspace = w.dataList()->Count();
        win->SDClassification();
        QCOMPARE(win->testset().Count(), 3);
        QCOMPARE(w.dataList()->Count(), inWorkspace);
        for (int m = 0; m < 3; ++m) QCOMPARE(win->testset().GetData(m)->events(), 4 * H);
    }

    void decompositionAndHypersphericalAddImageDataSets()
    {
        MainWindow w(settings());
        ImageWindow* win = openWithClasses(w);
        QVERIFY(win);
        win->ToggleClass(1);  // Tree unticked: two spectra
        TData* dec = win->Decomposition();
        QVERIFY(dec);
        QCOMPARE(dec->CaseSize(), 2);
        QCOMPARE(dec->Desc()[0].name, std::string("Soil"));
        QCOMPARE(dec->Desc()[1].name, std::string("Water"));
        QVERIFY(dec->IsSequence());
        QVERIFY(w.dataList()->datas.Contains(dec));
        TData* hyp = win->Hyperspherical();
        QVERIFY(hyp);
        QCOMPARE(hyp->CaseSize(), 3);
        QCOMPARE(hyp->events(), W * H);
    }

    void classFilesRoundTripAndRefuseOtherImages()
    {
        MainWindow w(settings());
        MessageRecorder messages;
        ImageWindow* win = openWithClasses(w);
        QVERIFY(win);
        std::vector<TColor> colours;
        for (TData* c : win->trainset().items()) colours.push_back(c->NativeColor());
        const QString file = dir_.filePath(QStringLiteral("classes.soc"));
        win->SaveClasses(file);
        win->StartOver();
        QCOMPARE(win->trainset().Count(), 0);
        QCOMPARE(win->Trainsetgrid->rowCount(), 0);
        win->LoadClasses(file);
        QCOMPARE(win->trainset().Count(), 3);
        for (int i = 0; i < 3; ++i) QCOMPARE(win->trainset().GetData(i)->NativeColor(), colours[size_t(i)]);
        QCOMPARE(win->Trainsetgrid->item(2, 1)->text(), QStringLiteral("Water"));
        win->SAMClassification();
        QCOMPARE(win->testset().GetData(2)->events(), 4 * H);

        // Classes of a two-band image do not fit three bands.
        DataRef other(TData::Create("Elsewhere", 2, 3));
        const QString otherFile = dir_.filePath(QStringLiteral("other.soc"));
        SaveClassFile(otherFile.toStdString(), {other.get()});
        messages.messages.clear();
        win->LoadClasses(otherFile);
        QCOMPARE(win->trainset().Count(), 3);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].contains(QStringLiteral("Elsewhere")));
    }

    void windowClosesWhenItsDataSetIsRemoved()
    {
        MainWindow w(settings());
        writeStack(stack());
        TData* d = DataSetCommands::OpenMultipage(w, stack(), false);
        QPointer<ImageWindow> win = imageWindow(w);
        QVERIFY(win);
        w.dataList()->Remove(d);
        QTRY_VERIFY(win.isNull());
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaImageTests"));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    ImageWindowTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "ImageWindowTest.moc"
