#pragma once
// Shared bits of the workbench's GUI tests: a recorder for the message boxes,
// answers to modal dialogs, a temporary settings file, and data sets built in code.
#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/TData.h"
#include "ui/common/UiMessages.h"

namespace orvala::testing {

// Answers the next modal dialog with answer(dialog) once it shows.
template <class Dialog, class Answer>
void answerNextDialog(Answer answer)
{
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [answer, poll] {
        if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            answer(d);
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

// Records every message instead of showing a box, for the lifetime of the object.
class MessageRecorder {
public:
    MessageRecorder()
    {
        previous_ = setUserMessageHandler([this](const QString& text) { messages << text; });
    }
    ~MessageRecorder() { setUserMessageHandler(std::move(previous_)); }
    QStringList messages;

private:
    UserMessageHandler previous_;
};

// A root data set of events x params whose value [e][p] is e * 100 + p.
inline TData* numberedData(const std::string& name, int params, int events)
{
    TData* d = TData::Create(name, params, events);
    for (int e = 0; e < events; ++e)
        for (int p = 0; p < params; ++p) d->data[e][p] = e * 100.0 + p;
    return d;
}

// A derived data set of parent holding its events first..first+count-1.
inline TData* childOf(TData* parent, const std::string& name, int first, int count)
{
    TData* kid = TData::Create(name, parent);
    for (int e = first; e < first + count; ++e) kid->AddEvent(parent->data[e], parent->CaseSize(), e);
    return kid;
}

}  // namespace orvala::testing
