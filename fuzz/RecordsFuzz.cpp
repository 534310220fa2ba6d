// Feeds arbitrary bytes to every record loader: data sets, gates, projection
// filters, frame sequences, pictures and protocol files. The first byte picks
// the loader, the rest is the stream. Loaders must return nil or throw our own
// errors; they must never crash, read out of bounds or allocate beyond the bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/Records.h"
#include "core/Stream.h"
#include "core/TData.h"
#include "core/TDataFilter.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "protocol/Protocol.h"

using namespace orvala;

namespace {

// A protocol needs a file and a data set to replay on: 200 events in 3 parameters.
void replayProtocol(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/orvala-fuzz-" + std::to_string(::getpid()) + ".orp";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return;
    }
    TDataList workspace;
    TDataList* previous = TData::Workspace;
    TData::Workspace = &workspace;
    TData* base = TData::Create("fuzz", 3, 200);
    for (int e = 0; e < 200; ++e)
        for (int p = 0; p < 3; ++p) base->data[e][p] = double((e * 37 + p * 11) % 101);
    workspace.Add(base);
    try {
        LoadProtocol(*base, path, workspace);
    } catch (const OrvalaError&) {
        // A refused protocol is a correct outcome.
    }
    workspace.Clear();
    TData::Workspace = previous;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool quiet = [] {
        static RecordingSink sink;
        setDefaultSink(&sink);
        return true;
    }();
    (void)quiet;
    if (size == 0) return 0;
    const uint8_t which = data[0] % 6;
    MemoryStream s(std::vector<uint8_t>(data + 1, data + size));
    try {
        switch (which) {
        case 0:
            (void)DataRef(LoadDataFromStream(s));
            break;
        case 1:
            (void)LoadGateFromStream(s);
            break;
        case 2:
            (void)LoadFilterFromStream(s);
            break;
        case 3:
            (void)ReadFrames(s);
            break;
        case 4:
            (void)ReadBitmap(s);
            break;
        default:
            replayProtocol(data + 1, size - 1);
            break;
        }
    } catch (const OrvalaError&) {
        // "Stream Read Error" and the other refusals are correct outcomes.
    }
    return 0;
}
