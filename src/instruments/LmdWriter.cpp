#include "instruments/LmdWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>

#include "core/Messages.h"
#include "formats/TFCSWrite.h"

namespace orvala {

namespace {

const char* const kHyperCytNames[6] = {"FS", "SS", "FL1", "FL2", "FL3", "FL4"};

// Where the decoder puts the time stamp and the boxcar width (-1: absent).
// They follow the channels; the reversal of the first 32 values can move them
// only when there are fewer than 32 channels.
int movedColumn(const TiQSPDecoder& d, int index)
{
    if (d.flip && d.ParamCount >= 32 && index < 32)
        return 31 - index;
    return index;
}
int timeColumn(const TiQSPDecoder& d) { return d.ts ? movedColumn(d, d.ChannelCount) : -1; }
int widthColumn(const TiQSPDecoder& d) { return d.bw ? movedColumn(d, d.ChannelCount + (d.ts ? 1 : 0)) : -1; }

// Calls take(packet) for every event packet of the buffer file in order, each
// decoded into row; stops after maxPackets packets of any kind (0 = all) or
// when take returns false.
void forEachEvent(const Recording& rec, const TiQSPDecoder& decoder, int64_t maxPackets,
                  const std::function<bool(const double* row)>& take)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(rec.bufferFile.c_str(), "rb"), &std::fclose);
    if (!f)
        throw OrvalaError("Cannot open the buffer file " + rec.bufferFile + ": " + std::strerror(errno));
    const size_t P = size_t(decoder.PacketLength);
    if (P < 2)
        throw OrvalaError("The recording's packet layout is empty");
    const size_t perRead = std::max<size_t>(1, (size_t(1) << 20) / P);
    std::vector<uint16_t> block(perRead * P / 2);
    std::vector<double> row(size_t(decoder.ParamCount));
    int64_t packets = 0;
    for (;;) {
        const size_t got = std::fread(block.data(), P, perRead, f.get());
        for (size_t i = 0; i < got; ++i) {
            if (maxPackets > 0 && packets >= maxPackets)
                return;
            ++packets;
            const uint16_t* packet = block.data() + i * (P / 2);
            uint16_t header = 0;
            // Event packets carry a header below -0x6000 as a signed number.
            if (int16_t(packet[0]) >= -0x6000)
                continue;
            decoder.Convert(packet, row.data(), header);
            if (!take(row.data()))
                return;
        }
        if (got < perRead) {
            if (std::ferror(f.get()))
                throw OrvalaError("Cannot read the buffer file " + rec.bufferFile);
            return;  // a trailing partial packet is ignored
        }
    }
}

void addParameter(TFCSWrite& w, int n, const std::string& B, const std::string& R, const std::string* E,
                  const std::string& N)
{
    const std::string p = "$P" + std::to_string(n);
    w.SetValue(p + "B", B);
    w.SetValue(p + "R", R);
    if (E)
        w.SetValue(p + "E", *E);
    w.SetValue(p + "N", N);
}

}  // namespace

LmdShape AcquisitionLmdShape(const PacketLayout& layout)
{
    const TiQSPDecoder d = layout.Decoder();
    const int D = d.ParamCount;
    LmdShape s;
    int needed = 32;
    switch (layout.adc) {
    case AdcMode::Ditto6:
        s = {38, D};
        needed = 44;
        break;
    case AdcMode::Asahi6:
        s = {6, D - 32};
        needed = 44;
        break;
    default:
        s = {32, D};
        break;
    }
    if (d.ChannelCount < needed)
        throw OrvalaError("The recording holds " + std::to_string(d.ChannelCount) + " channels, but \"" +
                          AdcModeCaptions()[size_t(layout.adc)] + "\" needs " + std::to_string(needed));
    return s;
}

int64_t SaveAcquisitionLmd(const std::string& filename, const Recording& rec,
                           const std::vector<std::string>& channelNames)
{
    const TiQSPDecoder decoder = rec.layout.Decoder();
    const LmdShape shape = AcquisitionLmdShape(rec.layout);
    const int D = decoder.ParamCount;

    // The file's parameter order: the two six-channel blocks of the extended
    // layouts are written fluorescence first.
    std::vector<int> order;
    const auto range = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            order.push_back(i);
    };
    switch (rec.layout.adc) {
    case AdcMode::Ditto6:
        range(0, 32), range(38, 44), range(32, 38), range(44, D);
        break;
    case AdcMode::Asahi6:
        range(38, 44), range(32, 38), range(44, D);
        break;
    default:
        range(0, D);
        break;
    }

    TFCSWrite w(filename);
    w.SetValue("$DATATYPE", "F");
    w.SetValue("$PAR", std::to_string(shape.P));
    w.SetValue("$MODE", "L");
    w.SetValue("$BYTEORD", "1,2,3,4");
    w.SetValue("$TOT", "0");
    w.SetValue("$NEXTDATA", "0");
    for (int i = 1; i <= shape.C; ++i)
        addParameter(w, i, "32", "2240", nullptr, "ch" + std::to_string(i));
    for (int i = shape.C + 1; i <= shape.P; ++i)
        addParameter(w, i, "32", "2240", nullptr, ChannelName(channelNames, i - shape.C - 1));
    w.BeginData();

    const int tcol = timeColumn(decoder);
    TimeUnwrapper unwrap(decoder.tsr);
    const size_t P = size_t(shape.P);
    constexpr size_t kRows = 4096;
    std::vector<float> rows;
    rows.reserve(kRows * P);
    int64_t events = 0;
    const auto flush = [&] {
        w.WriteRows(rows.data(), int(rows.size() / std::max<size_t>(P, 1)), int(P));
        rows.clear();
    };
    forEachEvent(rec, decoder, rec.maxEvents, [&](const double* row) {
        const double t = tcol >= 0 ? unwrap(row[tcol]) : 0;
        for (int k : order)
            rows.push_back(float(k == tcol ? t : row[k]));
        ++events;
        if (rows.size() >= kRows * P)
            flush();
        return true;
    });
    if (P > 0)
        flush();
    w.EndData(0);
    return events;
}

std::string HyperCytParameterName(const TiQSPDecoder& d, int j, bool compatible)
{
    if (j >= 0 && j < 6)
        return std::string(kHyperCytNames[j]) + (compatible ? " Log" : "");
    if (32 + j == timeColumn(d))
        return "Time";
    if (32 + j == widthColumn(d))
        return "BW";
    return "ch" + std::to_string(j);
}

int64_t SaveHyperCytLmd(const std::string& filename, const Recording& rec, bool compatible, double resolution)
{
    const TiQSPDecoder decoder = rec.layout.Decoder();
    if (decoder.ChannelCount < 38)
        throw OrvalaError("The HyperCyt channels are values 33 to 38 of an event, but this recording holds only " +
                          std::to_string(decoder.ChannelCount) + " channels");
    const int tcol = timeColumn(decoder);
    const int wcol = widthColumn(decoder);
    const int P = decoder.ParamCount - 32;
    const int64_t limit = rec.maxEvents;

    // The compatible layout has room for six log channels, the time and the
    // boxcar width: further values are not written, and "$PAR" says so.
    std::vector<int> columns;
    if (compatible) {
        for (int i = 0; i < 6; ++i)
            columns.push_back(32 + i);
        if (tcol >= 0)
            columns.push_back(tcol);
        if (wcol >= 0)
            columns.push_back(wcol);
    } else {
        for (int i = 0; i < P; ++i)
            columns.push_back(32 + i);
    }

    TFCSWrite w(filename);
    w.SetValue("$DATATYPE", compatible ? "I" : "F");
    w.SetValue("$PAR", std::to_string(columns.size()));
    w.SetValue("$MODE", "L");
    w.SetValue("$BYTEORD", "1,2,3,4");
    w.SetValue("$NEXTDATA", "0");
    const std::string linear = "0,0", log4 = "4.0,0.01";
    for (size_t k = 0; k < columns.size(); ++k) {
        const int n = int(k) + 1;
        const int c = columns[k];
        if (!compatible)
            addParameter(w, n, "32", "2240", &linear, HyperCytParameterName(decoder, c - 32, false));
        else if (c == tcol)
            addParameter(w, n, "32", "2147483647", &linear, "Time");
        else if (c == wcol)
            addParameter(w, n, "16", "1024", &linear, "BW");
        else
            addParameter(w, n, "16", "1024", &log4, HyperCytParameterName(decoder, c - 32, true));
    }
    w.SetValue("$TOT", "0");
    w.BeginData();

    TimeUnwrapper unwrap(decoder.tsr);
    double t0 = 0;
    int64_t events = 0;
    std::vector<float> rows;
    const size_t n = columns.size();
    constexpr size_t kRows = 4096;
    const auto flush = [&] {
        if (!rows.empty())
            w.WriteRows(rows.data(), int(rows.size() / n), int(n));
        rows.clear();
    };
    forEachEvent(rec, decoder, 0, [&](const double* row) {
        if (limit > 0 && events >= limit)
            return false;
        const double t = tcol >= 0 ? unwrap(row[tcol]) : 0;
        if (events == 0)
            t0 = t;
        ++events;
        if (!compatible) {
            for (int c : columns)
                rows.push_back(float(c == tcol ? t : row[c]));
            if (rows.size() >= kRows * n)
                flush();
            return true;
        }
        for (int c : columns) {
            if (c == tcol)
                w.Write32(uint32_t(HyperCytTime(t, t0, resolution)));
            else if (c == wcol)
                w.Write16(HyperCytWidthChannel(row[c]));
            else
                w.Write16(HyperCytLogChannel(row[c]));
        }
        return true;
    });
    flush();
    w.EndData(int(events));
    return events;
}

}  // namespace orvala
