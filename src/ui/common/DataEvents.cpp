#include "DataEvents.h"

#include <QApplication>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QThread>
#include <QWidget>

namespace orvala {

DataEvent::DataEvent(int message, TData* data) : QEvent(typeFor(message)), message_(message), data_(data) {}

namespace {

bool isForm(const QWidget* w)
{
    // Docked tool windows (the data list) are forms too, though not windows.
    if (w->isWindow() || qobject_cast<const QDockWidget*>(w)) return true;
    return qobject_cast<const QMdiSubWindow*>(w->parentWidget()) != nullptr;
}

void postNow(int message, TData* data)
{
    for (QWidget* w : QApplication::allWidgets())
        if (isForm(w) && !qobject_cast<QMdiSubWindow*>(w)) QCoreApplication::postEvent(w, new DataEvent(message, data));
}

}  // namespace

void postToAllForms(int message, TData* data)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread())
        postNow(message, data);
    else
        QMetaObject::invokeMethod(app, [message, data] { postNow(message, data); }, Qt::QueuedConnection);
}

void dropQueuedDataEvents(QObject* receiver, int message)
{
    QCoreApplication::removePostedEvents(receiver, DataEvent::typeFor(message));
}

}  // namespace orvala
