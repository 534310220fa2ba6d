#pragma once
// The hourglass for the lifetime of the object, while a command works over a
// large data set on the user-interface thread.
#include <QApplication>

namespace orvala {

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace orvala
