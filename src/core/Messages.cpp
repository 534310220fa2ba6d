#include "Messages.h"

#include <cstdio>

namespace orvala {

void StderrSink::message(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

namespace {
StderrSink stderrSink;
MessageSink* currentSink = &stderrSink;
}  // namespace

MessageSink& defaultSink() { return *currentSink; }

MessageSink* setDefaultSink(MessageSink* sink)
{
    MessageSink* previous = currentSink;
    currentSink = sink ? sink : &stderrSink;
    return previous;
}

}  // namespace orvala
