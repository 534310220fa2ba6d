#include "ClassFiles.h"

#include "core/Records.h"
#include "core/Stream.h"
#include "core/TData.h"

namespace orvala {

namespace {

// Every data-set record holds at least its version, tip channel, flags, three
// doubles, three strings and the counts that follow: far more than this.
constexpr int64_t MinRecordBytes = 64;

}  // namespace

void SaveClassFile(const std::string& filename, const std::vector<TData*>& classes)
{
    FileStream s(filename, FileStream::Mode::Write);
    try {
        WriteInt(s, 1);
        WriteInt(s, int32_t(classes.size()));
        for (TData* c : classes) SaveDataToStream(s, *c);
        s.close();
    } catch (const OrvalaError& e) {
        throw OrvalaError("Cannot write the class file \"" + filename + "\": " + e.what());
    }
}

std::vector<TData*> LoadClassFile(const std::string& filename, MessageSink& sink)
{
    FileStream s(filename, FileStream::Mode::Read);
    int32_t count = 0;
    try {
        ReadInt(s);
        count = ReadCount(s, MinRecordBytes);
    } catch (const StreamReadError&) {
        throw OrvalaError("\"" + filename + "\" is not a class file: its header is damaged.");
    }
    std::vector<TData*> classes;
    for (int32_t i = 0; i < count; ++i) {
        TData* d = LoadDataFromStream(s);
        if (!d) {
            sink.message("The class file \"" + filename + "\" is damaged after " + std::to_string(i) + " of its " +
                         std::to_string(count) + " classes; the rest is not read.");
            break;
        }
        classes.push_back(d);
    }
    return classes;
}

}  // namespace orvala
