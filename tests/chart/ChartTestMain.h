#pragma once
// One QApplication for all chart tests, on the offscreen platform unless the
// environment chose another.
#include "common/QtTestApp.h"

namespace orvala::chart_testing {

inline QApplication& app() { return test::offscreenApp(); }

// Base of fixtures that hold widgets: the application exists before them.
struct WithApp {
    WithApp() { app(); }
};

}  // namespace orvala::chart_testing
