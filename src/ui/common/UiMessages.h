#pragma once
// How the workbench talks to the user: simple message boxes for user errors
// and reader messages, and the one wrapper every command runs in.
#include <QString>
#include <functional>

#include "core/Messages.h"

class QWidget;

namespace orvala {

// Shows text in a message box over the active window. Safe from any thread:
// a worker's message waits until the user-interface thread has shown it.
void showUserMessage(const QString& text);
// Replaces how messages are shown (tests record them); an empty function
// restores message boxes. Returns the previous handler.
using UserMessageHandler = std::function<void(const QString&)>;
UserMessageHandler setUserMessageHandler(UserMessageHandler handler);

// Readers and the data model report through this sink; it shows each message.
class MessageBoxSink : public MessageSink {
public:
    void message(const std::string& text) override;
};

// Runs a command: an OrvalaError or other exception is shown as a message and
// the program goes on. Returns false when the command raised.
bool runCommand(const std::function<void()>& command);

// 8-bit text from files and the data model: UTF-8 when valid, else Latin-1.
QString fromEightBit(const std::string& text);
std::string toEightBit(const QString& text);

}  // namespace orvala
