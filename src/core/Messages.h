#pragma once
// Messages for the user that are not errors of a command: readers' warnings,
// the data model's complaints. The UI installs a sink that shows message boxes;
// tests and the command-line tool install one that records or prints.
#include <string>
#include <vector>

namespace orvala {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void message(const std::string& text) = 0;
};

// Writes each message as a line on standard error.
class StderrSink : public MessageSink {
public:
    void message(const std::string& text) override;
};

// Keeps every message, for tests and for batch work that reports at the end.
class RecordingSink : public MessageSink {
public:
    void message(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// The program-wide sink used where no sink is passed in. Never null.
MessageSink& defaultSink();
// Installs a new program-wide sink (nullptr restores standard error); returns the previous one.
MessageSink* setDefaultSink(MessageSink* sink);

// Base of the exceptions whose what() is the text shown to the user.
class OrvalaError : public std::exception {
public:
    explicit OrvalaError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

}  // namespace orvala
