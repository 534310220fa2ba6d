#include "IqspLogReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "ByteSource.h"
#include "ParallelChunks.h"
#include "TiQSPDecoder.h"
#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

namespace {

constexpr char Signature[] = "Vtech iQSP-480";
constexpr int64_t TableOffset = 66;
constexpr int TableWords = 2000;
constexpr int64_t PacketsOffset = TableOffset + 2 * TableWords;  // 4066
constexpr size_t BytesPerRead = size_t(1) << 20;

// Configuration words the reader uses.
enum : int {
    GroupCount0 = 3,  // 3..6: channel counts of groups 0..3
    TimeStampFlag = 72,
    TimeResolutionLow = 74,
    TimeResolutionHigh = 75,
    ExtraWordsFlag = 76,
    ExtraWordCount = 77,
    RLayoutFlag = 82,
    BoxcarFlag = 91,
};

const char* const RingNames[6] = {"Ring B", "Ring C", "Ring D", "Ring E", "All Blue", "SS"};

}  // namespace

bool IqspLogReader::HasSignature(const ByteSource& source)
{
    char head[17] = {};
    const size_t n = source.readAt(0, head, sizeof head);
    const size_t len = sizeof Signature - 1;
    return n >= len && std::memcmp(head, Signature, len) == 0;
}

void IqspLogReader::Read(const ByteSource& source, const std::string& name, TData& d, TMultiThread* pool)
{
    d.setEvents(0);
    d.setCaseSize(0);
    if (source.size() < PacketsOffset) return;
    uint8_t raw[2 * TableWords];
    if (source.readAt(TableOffset, raw, sizeof raw) != sizeof raw) throw OrvalaError("Cannot read file " + name);
    uint16_t w[TableWords];
    for (int k = 0; k < TableWords; ++k) w[k] = uint16_t((raw[2 * k] << 8) | raw[2 * k + 1]);

    const int T = w[TimeStampFlag] != 0, W = w[BoxcarFlag] != 0, X = w[ExtraWordsFlag] != 0;
    const uint32_t resolution = uint32_t(w[TimeResolutionLow]) | (uint32_t(w[TimeResolutionHigh]) << 16);
    TiQSPDecoder decoder(w[GroupCount0], w[GroupCount0 + 1], w[GroupCount0 + 2], w[GroupCount0 + 3], w[RLayoutFlag],
                         w[TimeStampFlag], w[BoxcarFlag], resolution, false);
    // The extra words at the end of a packet count in its length but carry no value.
    const int64_t P = int64_t(decoder.PacketLength) + 2 * int64_t(X) * w[ExtraWordCount];
    const int cases = decoder.ParamCount;  // channels + time stamp + boxcar width
    const int64_t packets = (source.size() - PacketsOffset) / P;
    if (cases == 0 || packets == 0) return;
    if (packets > INT_MAX) throw OrvalaError(name + " holds more packets than a data set can take");
    const int events = int(packets);

    d.setCaseSize(cases);
    TDescriptorVector& desc = d.Desc();
    for (int i = 0; i < cases; ++i) desc[size_t(i)].name = "Ch" + std::to_string(i);
    if (W) desc[size_t(cases - 1)].name = "BW";
    if (T) desc[size_t(cases - W - 1)].name = "Time";
    if (cases >= 38)
        for (int i = 0; i < 6; ++i) desc[size_t(32 + i)].name = RingNames[i];

    d.data.resizeForOverwrite(events);
    AdviseHugePages(d.data.data(), size_t(events) * size_t(d.data.cols()) * sizeof(double));
    const int perRead = int(std::max<int64_t>(1, int64_t(BytesPerRead) / P));
    std::vector<std::vector<uint8_t>> scratch(static_cast<size_t>(threadCount(pool)));
    forChunks(pool, events, perRead, [&](int first, int end, int thread) {
        std::vector<uint8_t>& buf = scratch[size_t(thread)];
        for (int e0 = first; e0 < end; e0 += perRead) {
            const int n = std::min(perRead, end - e0);
            const size_t bytes = size_t(n) * size_t(P);
            buf.resize(std::max(buf.size(), bytes));
            if (source.readAt(PacketsOffset + int64_t(e0) * P, buf.data(), bytes) != bytes)
                throw OrvalaError("Cannot read file " + name);
            for (int i = 0; i < n; ++i) decoder.ConvertBigEndian(buf.data() + size_t(i) * size_t(P), d.data[e0 + i]);
        }
    });
    d.setEvents(events);
}

}  // namespace orvala
