#include "UiMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QWidget>
#include <exception>

#include "ProgressWindow.h"

namespace orvala {

namespace {

UserMessageHandler& handlerSlot()
{
    static UserMessageHandler handler;
    return handler;
}

// Progress windows stay on top of everything: while a message is shown they
// step aside, so the message is never hidden behind one.
struct ProgressWindowsAside {
    ProgressWindowsAside()
    {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && (qobject_cast<QProgressDialog*>(top) || qobject_cast<ProgressWindow*>(top))) {
                top->hide();
                hidden << top;
            }
    }
    ~ProgressWindowsAside()
    {
        for (const QPointer<QWidget>& w : hidden)
            if (w) w->show();
    }
    QList<QPointer<QWidget>> hidden;
};

void showOnUiThread(const QString& text)
{
    ProgressWindowsAside aside;
    if (const auto& handler = handlerSlot()) {
        handler(text);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

}  // namespace

void showUserMessage(const QString& text)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        if (app)
            showOnUiThread(text);
        else
            StderrSink().message(text.toStdString());
        return;
    }
    QMetaObject::invokeMethod(app, [text] { showOnUiThread(text); }, Qt::BlockingQueuedConnection);
}

UserMessageHandler setUserMessageHandler(UserMessageHandler handler)
{
    UserMessageHandler previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

void MessageBoxSink::message(const std::string& text) { showUserMessage(fromEightBit(text)); }

bool runCommand(const std::function<void()>& command)
{
    try {
        command();
        return true;
    } catch (const OrvalaError& e) {
        showUserMessage(fromEightBit(e.what()));
    } catch (const std::bad_alloc&) {
        showUserMessage(QStringLiteral("Not enough memory for this command."));
    } catch (const std::exception& e) {
        showUserMessage(fromEightBit(e.what()));
    } catch (...) {
        showUserMessage(QStringLiteral("The command failed with an unknown error."));
    }
    return false;
}

QString fromEightBit(const std::string& text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    QString s = QString::fromUtf8(bytes);
    if (s.toUtf8() != bytes) return QString::fromLatin1(bytes);
    return s;
}

std::string toEightBit(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace orvala
