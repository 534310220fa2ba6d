#pragma once
// What the GUI test programs share: one QApplication on the offscreen platform
// (unless the environment chose another), and polygons clicked with the mouse.
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <vector>

namespace orvala::test {

// Created on first use and never destroyed: tearing Qt down during static
// destruction, after the platform plugin's own statics are gone, crashes at exit.
inline QApplication& offscreenApp()
{
    static int argc = 1;
    static char name[] = "orvala_gui_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
    qRegisterMetaType<QMouseEvent*>();  // for QSignalSpy on mouse notifications
    return *qobject_cast<QApplication*>(QApplication::instance());
}

// Moves to and left-clicks every pixel but the last, then moves to the last
// and ends the polygon there with the right button.
inline void clickPolygon(QWidget* canvas, const std::vector<QPoint>& pixels)
{
    if (pixels.empty()) return;
    for (size_t i = 0; i + 1 < pixels.size(); ++i) {
        QTest::mouseMove(canvas, pixels[i]);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, pixels[i]);
    }
    QTest::mouseMove(canvas, pixels.back());
    QTest::mouseClick(canvas, Qt::RightButton, {}, pixels.back());
}

}  // namespace orvala::test
