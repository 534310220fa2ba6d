// Feeds arbitrary bytes to the FCS reader: HEADER, TEXT, every DATA path, the
// spillover and result passes, and the TData built from each data set.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/Messages.h"
#include "core/TPreText.h"
#include "formats/ByteSource.h"
#include "formats/FcsOpen.h"
#include "formats/TFCStream.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TMultiThread pool(2);
    RecordingSink sink;
    try {
        auto source = std::make_shared<MemorySource>(data, size);
        TFCStream stream(source, "fuzz.fcs", false, sink, &pool);
        if (stream.badfile) return 0;
        for (int i = 0; i < stream.Count(); ++i) {
            TDataSet* ds = stream.DataSet(i);
            if (!ds || !ds->Text) continue;
            (void)ds->Text->ParOfParNames();
            for (int p = 0; p < ds->ParCount(); ++p) (void)ds->Text->ParSomeName(p);
        }
        TData* d = CreateFromStream(stream, "fuzz.fcs", 0, sink, &pool);
        while (d) {
            TData* next = d->NextData;
            delete d;
            d = next;
        }
    } catch (const OrvalaError&) {
        // A refused file is a correct outcome.
    }
    return 0;
}
