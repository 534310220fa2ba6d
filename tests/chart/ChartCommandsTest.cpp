#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPointer>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTest>
#include <QToolBar>
#include <cmath>
#include <stdexcept>

#include "ChartTestMain.h"
#include "common/TempDir.h"
#include "ui/chart/Chart.h"
#include "ui/chart/ChartCommandBar.h"
#include "ui/chart/ChartExportDialog.h"
#include "ui/chart/ChartWindow.h"

using namespace orvala;

namespace {

// A shown chart window with red points on a fixed 0..100 x 0..50 view and a blue line.
struct ShownChartWindow : chart_testing::WithApp {
    ShownChartWindow()
    {
        form = new ChartWindow;
        Chart* c = form->chart();
        c->setAxisRange(ChartAxis::Bottom, 0, 100);
        c->setAxisRange(ChartAxis::Left, 0, 50);
        points = c->addPointSeries(3);
        c->setPoints(points, std::vector<double>{10, 50, 90}, std::vector<double>{10, 25, 40});
        c->setSeriesColor(points, Qt::red);
        const auto line = c->addLineSeries(QString(), Qt::blue, 2);
        c->setPoints(line, std::vector<double>{0, 100}, std::vector<double>{48, 48});  // clear of the points
        form->resize(500, 380);
        form->show();
        c->redraw();
    }
    ~ShownChartWindow() { delete form; }
    Chart& chart() const { return *form->chart(); }
    QPoint pixel(double x, double y) const
    {
        return QPoint(int(std::nearbyint(chart().valueToPixel(ChartAxis::Bottom, x))),
                      int(std::nearbyint(chart().valueToPixel(ChartAxis::Left, y))));
    }
    ChartWindow* form = nullptr;
    Chart::SeriesId points = Chart::NoSeries;
};

int countPixels(const QImage& image, const std::function<bool(QColor)>& match)
{
    int n = 0;
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (match(QColor::fromRgba(img.pixel(x, y)))) ++n;
    return n;
}

bool pureRed(QColor c) { return c.red() == 255 && c.green() == 0 && c.blue() == 0; }
bool dark(QColor c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; }

}  // namespace

TEST(ChartPictures, PngSvgAndPdfHaveTheRequestedSizeAndShowTheChart)
{
    ShownChartWindow w;
    const QSize shown = w.chart().size();
    ASSERT_GT(shown.width(), 200);
    test::TempDir dir;
    struct Case {
        ChartFileFormat format;
        double dpi;
    };
    for (const Case& k : {Case{ChartFileFormat::Png, 96}, Case{ChartFileFormat::Png, 192}, Case{ChartFileFormat::Svg, 96},
                          Case{ChartFileFormat::Svg, 300}, Case{ChartFileFormat::Pdf, 150}}) {
        SCOPED_TRACE(chartFormatExtension(k.format).toStdString() + " at " + std::to_string(k.dpi));
        ChartExportSettings s;
        s.format = k.format;
        s.path = QString::fromStdString(dir.file("chart-" + std::to_string(int(k.dpi)) + "." +
                                                 chartFormatExtension(k.format).toStdString()));
        // The size the dialog proposes: the chart as shown, in pixels at the resolution.
        s.request = {double(shown.width()) * k.dpi / 96, double(shown.height()) * k.dpi / 96, ExportUnit::Pixels, k.dpi};
        exportChart(w.chart(), s);
        const QSize expected(int(std::nearbyint(s.request.width)), int(std::nearbyint(s.request.height)));
        const std::string bytes = test::slurp(s.path.toStdString());
        ASSERT_FALSE(bytes.empty());
        if (k.format == ChartFileFormat::Png) {
            QImage image;
            ASSERT_TRUE(image.load(s.path));
            EXPECT_EQ(image.size(), expected);
            EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, k.dpi, 0.5);
            // Three red marks of 3 layout pixels, scaled with the resolution; axes and text in black.
            const int side = int(std::nearbyint(3 * k.dpi / 96));
            EXPECT_EQ(countPixels(image, pureRed), 3 * side * side);
            EXPECT_GT(countPixels(image, dark), 100);
        } else if (k.format == ChartFileFormat::Svg) {
            const QString text = QString::fromStdString(bytes);
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("viewBox=\"0 0 (\\d+) (\\d+)\"")).match(text);
            ASSERT_TRUE(m.hasMatch());
            EXPECT_EQ(QSize(m.captured(1).toInt(), m.captured(2).toInt()), expected);
            EXPECT_TRUE(text.contains(QStringLiteral("<image"))) << "the points";
            EXPECT_TRUE(text.contains(QStringLiteral("<text")) || text.contains(QStringLiteral("<path")))
                << "axes and labels";
            EXPECT_TRUE(text.contains(QStringLiteral("#0000ff"), Qt::CaseInsensitive));
        } else {
            EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
            // Page size in points: pixels / dpi * 72.
            const QString text = QString::fromLatin1(bytes.data(), int(bytes.size()));
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")).match(text);
            ASSERT_TRUE(m.hasMatch());
            EXPECT_NEAR(m.captured(1).toDouble(), expected.width() / k.dpi * 72, 1.0);
            EXPECT_NEAR(m.captured(2).toDouble(), expected.height() / k.dpi * 72, 1.0);
        }
    }
}

TEST(ChartPictures, BadRequestsAreRefusedWithAMessageNamingTheFile)
{
    ShownChartWindow w;
    test::TempDir dir;
    ChartExportSettings s;
    s.path = QString::fromStdString(dir.file("no-such-folder/chart.png"));
    s.request = {400, 300, ExportUnit::Pixels, 96};
    try {
        exportChart(w.chart(), s);
        FAIL() << "wrote into a missing folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("chart.png"), std::string::npos) << e.what();
    }
    // An existing picture is kept when the new one cannot be made.
    s.path = QString::fromStdString(dir.write("kept.png", "old"));
    for (const ExportRequest& bad : {ExportRequest{0, 300, ExportUnit::Pixels, 96},
                                     ExportRequest{400, 300, ExportUnit::Pixels, 10},
                                     ExportRequest{1000, 1000, ExportUnit::Millimetres, 2400}}) {
        s.request = bad;
        EXPECT_THROW(exportChart(w.chart(), s), std::invalid_argument);
        EXPECT_EQ(test::slurp(s.path.toStdString()), "old");
    }
}

TEST(ChartPictures, PointsRasteriseAtTheDevicePixelRatio)
{
    // One point of mark size 1 and one of size 3 on a 2x device: the first
    // is one device pixel, the second covers 6 x 6; at 1x, 1 and 3 x 3.
    chart_testing::app();
    Chart c;
    c.resize(300, 200);
    c.setAxisRange(ChartAxis::Bottom, 0, 10);
    c.setAxisRange(ChartAxis::Left, 0, 10);
    const auto fine = c.addPointSeries(1);
    c.setPoints(fine, std::vector<double>{3}, std::vector<double>{5});
    c.setSeriesColor(fine, Qt::red);
    const auto big = c.addPointSeries(3);
    c.setPoints(big, std::vector<double>{7}, std::vector<double>{5});
    c.setSeriesColor(big, QColor(0, 255, 0));
    c.setAxesVisible(false);
    for (double ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        QImage image(int(300 * ratio), int(200 * ratio), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        c.renderTo(&image, QSize(300, 200));
        EXPECT_EQ(countPixels(image, pureRed), 1);
        const int side = int(3 * ratio);
        EXPECT_EQ(countPixels(image, [](QColor k) { return k.red() == 0 && k.green() == 255 && k.blue() == 0; }),
                  side * side);
    }
}

TEST(ChartCommandBar, ZoomInOutAndUndoStepByStep)
{
    ShownChartWindow w;
    Chart& c = w.chart();
    ChartCommandBar* bar = w.form->commandBar();
    EXPECT_FALSE(c.canUndoZoom());

    // A rectangle with the mouse, then two steps in with the bar.
    QWidget* canvas = c.canvas();
    const QPoint a = w.pixel(20, 40), b = w.pixel(60, 10);
    QTest::mousePress(canvas, Qt::LeftButton, {}, a);
    QTest::mouseMove(canvas, b);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, b);
    const double x0 = c.axisMinimum(ChartAxis::Bottom), x1 = c.axisMaximum(ChartAxis::Bottom);
    ASSERT_NEAR(x0, 20, 0.5);
    bar->zoomInAction->trigger();
    EXPECT_NEAR(c.axisMinimum(ChartAxis::Bottom), 30, 0.5);
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Bottom), 50, 0.5);
    bar->zoomInAction->trigger();
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Bottom) - c.axisMinimum(ChartAxis::Bottom), 10, 0.25);
    bar->zoomOutAction->trigger();
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Bottom) - c.axisMinimum(ChartAxis::Bottom), 20, 0.5);

    // Undo walks back one step at a time: out, in, in, rectangle.
    bar->undoZoomAction->trigger();
    EXPECT_NEAR(c.axisMaximum(ChartAxis::Bottom) - c.axisMinimum(ChartAxis::Bottom), 10, 0.25);
    bar->undoZoomAction->trigger();
    EXPECT_NEAR(c.axisMinimum(ChartAxis::Bottom), 30, 0.5);
    bar->undoZoomAction->trigger();
    EXPECT_EQ(c.axisMinimum(ChartAxis::Bottom), x0);
    EXPECT_EQ(c.axisMaximum(ChartAxis::Bottom), x1);
    bar->undoZoomAction->trigger();
    EXPECT_EQ(c.axisMinimum(ChartAxis::Bottom), 0);
    EXPECT_EQ(c.axisMaximum(ChartAxis::Bottom), 100);
    EXPECT_FALSE(c.axisAutomatic(ChartAxis::Bottom)) << "the fixed range before the zoom comes back";
    EXPECT_FALSE(c.canUndoZoom());

    // The zoom and pan modes switch the mouse gestures.
    bar->zoomModeAction->setChecked(false);
    EXPECT_FALSE(c.zoomEnabled());
    QTest::mousePress(canvas, Qt::LeftButton, {}, a);
    QTest::mouseMove(canvas, b);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, b);
    EXPECT_EQ(c.axisMinimum(ChartAxis::Bottom), 0);
    bar->zoomModeAction->setChecked(true);
    bar->panModeAction->setChecked(false);
    EXPECT_TRUE(c.zoomEnabled());
    EXPECT_FALSE(c.panEnabled());
}

TEST(ChartCommandBar, RightClickOpensTheSameCommandsAsAMenu)
{
    ShownChartWindow w;
    Chart& c = w.chart();
    ChartCommandBar* bar = w.form->commandBar();
    QAction* own = w.form->addCommand(QStringLiteral("Normalize"));
    QMenu* menu = bar->menu();
    for (QAction* a : {bar->zoomInAction, bar->zoomOutAction, bar->undoZoomAction, bar->copyAction, bar->saveAction,
                       bar->printAction, own}) {
        EXPECT_TRUE(menu->actions().contains(a)) << a->text().toStdString();
        EXPECT_TRUE(bar->actions().contains(a)) << a->text().toStdString();
    }

    QWidget* canvas = c.canvas();
    const QPoint p = w.pixel(50, 25);
    QTest::mouseClick(canvas, Qt::RightButton, {}, p);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();

    // A right drag pans and shows no menu.
    QTest::mousePress(canvas, Qt::RightButton, {}, p);
    QTest::mouseMove(canvas, p + QPoint(40, 0));
    QTest::mouseRelease(canvas, Qt::RightButton, {}, p + QPoint(40, 0));
    EXPECT_FALSE(menu->isVisible());
    EXPECT_NE(c.axisMinimum(ChartAxis::Bottom), 0);

    // A tool holding the mouse (zoom and pan off, as while a gate is drawn) keeps the right button.
    c.setZoomEnabled(false);
    QTest::mouseClick(canvas, Qt::RightButton, {}, p);
    EXPECT_FALSE(menu->isVisible());
    c.setZoomEnabled(true);

    // Copy puts the chart on the clipboard at its size on screen.
    QApplication::clipboard()->clear();
    bar->copyAction->trigger();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), c.size() * c.devicePixelRatioF());
    EXPECT_GT(countPixels(copied, pureRed), 0);
}

TEST(ChartCommandBar, CopyPutsTheBitmapAndTheDrawingOnTheClipboard)
{
    ShownChartWindow w;
    Chart& c = w.chart();
    ChartCommandBar* bar = w.form->commandBar();
    QApplication::clipboard()->setText(QStringLiteral("stale"));
    bar->copyAction->trigger();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    EXPECT_FALSE(mime->hasText()) << "the copy replaces what was there";

    const double r = c.devicePixelRatioF();
    const QImage bitmap = qvariant_cast<QImage>(mime->imageData());
    EXPECT_EQ(bitmap.size(), QSize(int(std::ceil(c.width() * r)), int(std::ceil(c.height() * r))));
    const int side = int(std::nearbyint(3 * r));
    EXPECT_EQ(countPixels(bitmap, pureRed), 3 * side * side);
    EXPECT_GT(countPixels(bitmap, dark), 100);

    // The drawing parses, has the chart's size, and shows the same points and line when rendered.
    const QByteArray svg = mime->data(QStringLiteral("image/svg+xml"));
    ASSERT_FALSE(svg.isEmpty());
    QSvgRenderer renderer(svg);
    ASSERT_TRUE(renderer.isValid());
    // Its user units are the chart's pixels (the physical size follows the screen's resolution).
    EXPECT_EQ(renderer.viewBox(), QRect(QPoint(0, 0), c.size()));
    QImage drawn(c.size(), QImage::Format_ARGB32);
    drawn.fill(Qt::white);
    QPainter p(&drawn);
    renderer.render(&p);
    p.end();
    // The points are an embedded raster: allow the renderer to smooth their edges.
    EXPECT_GT(countPixels(drawn, [](QColor k) { return k.red() > 200 && k.green() < 60 && k.blue() < 60; }), 0);
    EXPECT_GT(countPixels(drawn, [](QColor k) { return k.blue() > k.red() + 100 && k.blue() > k.green() + 100; }), 100);
    EXPECT_GT(countPixels(drawn, dark), 100);
}

TEST(ChartExportDialog, StartsFromTheChartAndConvertsUnits)
{
    ShownChartWindow w;
    ChartExportDialog dialog(&w.chart());
    ChartExportSettings s = dialog.settings();
    EXPECT_EQ(s.request.unit, ExportUnit::Pixels);
    EXPECT_EQ(s.request.width, w.chart().width());
    EXPECT_EQ(s.request.height, w.chart().height());
    EXPECT_TRUE(dialog.summary().contains(QStringLiteral("%1 x %2").arg(w.chart().width()).arg(w.chart().height())));

    // 192 px at 96 dpi are 2 inches; the picture keeps its pixels.
    s.request = {192, 96, ExportUnit::Pixels, 96};
    dialog.setSettings(s);
    auto* unit = dialog.findChildren<QComboBox*>().at(1);
    unit->setCurrentIndex(unit->findData(int(ExportUnit::Inches)));
    EXPECT_NEAR(dialog.settings().request.width, 2.0, 1e-9);
    EXPECT_NEAR(dialog.settings().request.height, 1.0, 1e-9);
    EXPECT_TRUE(dialog.summary().contains(QStringLiteral("192 x 96")));

    // The format follows into the file name.
    auto* format = dialog.findChildren<QComboBox*>().at(0);
    s = dialog.settings();
    s.path = QStringLiteral("/tmp/picture.png");
    dialog.setSettings(s);
    format->setCurrentIndex(format->findData(int(ChartFileFormat::Svg)));
    EXPECT_EQ(dialog.settings().path, QStringLiteral("/tmp/picture.svg"));

    // Out of bounds: Save is refused and says why.
    s = dialog.settings();
    s.request.width = 0;
    dialog.setSettings(s);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.summary().contains(QStringLiteral("positive")));
}

TEST(ChartWindow, IsAChartWindowThatFreesItselfOnClose)
{
    chart_testing::app();
    QPointer<ChartWindow> form = new ChartWindow;
    EXPECT_EQ(form->windowTitle(), QStringLiteral("TChartForm"));
    EXPECT_FALSE(form->chart()->legendVisible());
    EXPECT_TRUE(form->chart()->title().isEmpty());
    EXPECT_EQ(form->commandBar()->chart(), form->chart());
    form->show();
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}
