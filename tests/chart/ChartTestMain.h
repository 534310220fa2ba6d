#pragma once
// One QApplication for all chart tests, on the offscreen platform unless the
// environment chose another.
#include <QApplication>
#include <QMouseEvent>

namespace orvala::chart_testing {

inline QApplication& app()
{
    static int argc = 1;
    static char name[] = "chart_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: tearing Qt down during static destruction, after the
    // platform plugin's own statics are gone, crashes at exit.
    static QApplication* instance = new QApplication(argc, argv);
    qRegisterMetaType<QMouseEvent*>();  // for QSignalSpy on the mouse notifications
    return *instance;
}

// Base of fixtures that hold widgets: the application exists before them.
struct WithApp {
    WithApp() { app(); }
};

}  // namespace orvala::chart_testing
