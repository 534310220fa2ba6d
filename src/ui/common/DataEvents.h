#pragma once
// Data-set change notices delivered to the windows. TData::Announce posts
// WMDataChanged through the notifier; the notice reaches every form (each
// top-level window and each child window of the main window) as a posted
// event, so a command finishes before any window redraws.
#include <QEvent>

#include "core/TData.h"

class QObject;

namespace orvala {

class DataEvent : public QEvent {
public:
    // message is WMDataChanged or WMMouseOver.
    DataEvent(int message, TData* data);
    static QEvent::Type typeFor(int message) { return QEvent::Type(QEvent::User + message); }
    static QEvent::Type changedType() { return typeFor(WMDataChanged); }
    static QEvent::Type mouseOverType() { return typeFor(WMMouseOver); }

    int message() const { return message_; }
    // The announced data set; informational only: it may be gone by the time the
    // event is handled, so receivers compare it and never dereference it.
    TData* data() const { return data_; }

private:
    int message_;
    TData* data_;
};

// Posts message to every form; callable from any thread.
void postToAllForms(int message, TData* data);

// A burst of announcements is handled once: a receiver drops the rest of its
// queued notices of that kind before reacting.
void dropQueuedDataEvents(QObject* receiver, int message);

class UiNotifier : public DataNotifier {
public:
    void post(int message, TData* data) override { postToAllForms(message, data); }
};

}  // namespace orvala
