// Inputs the fuzzer found crashing, each cut to the smallest that showed the
// fault. They must open or be refused with a message, nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/Messages.h"
#include "formats/ByteSource.h"
#include "formats/FcsOpen.h"
#include "formats/TFCStream.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

TEST(FcsFuzzRegressions, EveryFoundInputIsHandled)
{
    const std::filesystem::path dir = ORVALA_FUZZ_REGRESSIONS;
    ASSERT_TRUE(std::filesystem::exists(dir));
    TMultiThread pool(2);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        RecordingSink sink;
        TData* d = nullptr;
        try {
            TFCStream stream(std::make_shared<MemorySource>(bytes), "fuzz.fcs", false, sink, &pool);
            if (!stream.badfile) d = CreateFromStream(stream, "fuzz.fcs", 0, sink, &pool);
        } catch (const OrvalaError& e) {
            sink.messages.push_back(e.what());
        }
        // Either a data set with consistent shape, or a refusal that says so.
        if (d && d->events() > 0) {
            EXPECT_EQ(d->data.rows(), d->events());
            EXPECT_EQ(d->data.cols(), d->CaseSize());
        } else {
            EXPECT_FALSE(sink.messages.empty());
        }
        while (d) {
            TData* next = d->NextData;
            delete d;
            d = next;
        }
        ++count;
    }
    EXPECT_GT(count, 0);
}
