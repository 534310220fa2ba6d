#include "ChannelLogReader.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ByteSource.h"
#include "ParallelChunks.h"
#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

namespace {

constexpr int Channels = 32;
constexpr int64_t RecordBytes = 2 + 2 * Channels;  // an unused word, then the values
constexpr double ValueScale = 0.016785;
constexpr int RecordsPerRead = 16384;

}  // namespace

void ChannelLogReader::Read(const ByteSource& source, const std::string& name, int eventLimit, TData& d,
                            TMultiThread* pool)
{
    d.setEvents(0);
    d.setCaseSize(0);
    // Header writers differ: those that end the first header line in CR LF at
    // bytes 34-35 make the header two bytes shorter.
    uint8_t head[18] = {};
    if (source.readAt(20, head, sizeof head) != sizeof head) return;
    const int64_t H = head[34 - 20] == 13 && head[35 - 20] == 10 ? 62 : 64;
    uint8_t count[2];
    if (source.readAt(H, count, 2) != 2) return;
    const int n = int16_t(uint16_t((count[0] << 8) | count[1]));
    // A negative count would put the data start inside the header.
    if (n < 0) return;
    const int64_t D = H + 2 + 2 * int64_t(n);
    int64_t records = source.size() > D ? (source.size() - D) / RecordBytes : 0;
    if (eventLimit > 0) records = std::min<int64_t>(records, eventLimit);
    if (records == 0) return;
    if (records > INT_MAX) throw OrvalaError(name + " holds more records than a data set can take");
    const int events = int(records);

    d.setCaseSize(Channels);
    for (int i = 0; i < Channels; ++i) d.Desc()[size_t(i)] = TParDescriptor{"Ch" + std::to_string(i + 1)};
    d.data.resizeForOverwrite(events);
    AdviseHugePages(d.data.data(), size_t(events) * size_t(d.data.cols()) * sizeof(double));
    std::vector<std::vector<uint8_t>> scratch(static_cast<size_t>(threadCount(pool)));
    forChunks(pool, events, RecordsPerRead, [&](int first, int end, int thread) {
        std::vector<uint8_t>& buf = scratch[size_t(thread)];
        for (int e0 = first; e0 < end; e0 += RecordsPerRead) {
            const int n = std::min(RecordsPerRead, end - e0);
            const size_t bytes = size_t(n) * size_t(RecordBytes);
            buf.resize(std::max(buf.size(), bytes));
            if (source.readAt(D + int64_t(e0) * RecordBytes, buf.data(), bytes) != bytes)
                throw OrvalaError("Cannot read file " + name);
            for (int e = 0; e < n; ++e) {
                const uint8_t* rec = buf.data() + size_t(e) * size_t(RecordBytes) + 2;
                double* row = d.data[e0 + e];
                for (int i = 0; i < Channels; ++i)
                    row[i] = double(int16_t(uint16_t((rec[2 * i] << 8) | rec[2 * i + 1]))) * ValueScale;
            }
        }
    });
    d.setEvents(events);
}

}  // namespace orvala
