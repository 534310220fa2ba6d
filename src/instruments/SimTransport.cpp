#include "instruments/SimTransport.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace orvala {

using namespace iqsp;

namespace {

constexpr uint8_t DataReportId = 2;

void sealReply(std::vector<uint8_t>& r, int f)
{
    // Words after the two id bytes: 0 .. 5+f sum to 0.
    uint8_t* w = r.data() + 2;
    uint16_t sum = 0;
    for (int i = 0; i < 5 + f; ++i)
        sum = uint16_t(sum + getWord(w, size_t(i)));
    putWord(w, size_t(5 + f), uint16_t(-sum));
}

}  // namespace

SimTransport::SimTransport(uint32_t seed, Pacing pacing) : pacing_(pacing), rng_(seed)
{
    tables_[0] = DefaultConfigTable();
    tables_[1] = tables_[0];
}

int SimTransport::PacketWords(const std::array<uint16_t, ConfigWords>& t)
{
    const int signWords = t[82] ? 2 : 1;
    int words = 1;  // header
    for (int g = 0; g < 4; ++g) {
        const int n = t[size_t(3 + g)];
        words += n + (n + 7) / 8 * signWords;
    }
    if (t[72])
        words += 2;
    if (t[91])
        words += 2;
    return words;
}

bool SimTransport::init(std::string&)
{
    return true;
}

bool SimTransport::open()
{
    if (faults.open == OpenFault::NoDevice)
        return false;
    open_ = true;
    acquiring_ = false;
    replies_.clear();
    owed_.clear();
    return true;
}

void SimTransport::close()
{
    open_ = false;
    replies_.clear();
}

bool SimTransport::indexedString(int index, std::string& text)
{
    if (!open_ || faults.open == OpenFault::StringFails)
        return false;
    if (index == 3)
        text = faults.open == OpenFault::FullSpeed ? "Full" : "High";
    else if (index == 4)
        text = "0925C0DE";
    else
        return false;
    return true;
}

bool SimTransport::setInputBufferCount(int count)
{
    if (faults.open == OpenFault::SetBuffersFails || count < 2)
        return false;
    inputBuffers_ = count;
    return true;
}

int SimTransport::inputBufferCount()
{
    return faults.open == OpenFault::BuffersDiffer ? inputBuffers_ - 1 : inputBuffers_;
}

std::vector<uint8_t> SimTransport::reply(uint16_t opcode, const uint16_t* words, int count, uint8_t reportId)
{
    const int f = count + 1;
    std::vector<uint8_t> r(size_t(reportLengths().input), 0);
    r[0] = reportId;
    uint8_t* w = r.data() + 2;
    for (int i = 0; i < 3; ++i)
        putWord(w, size_t(i), Codon[i]);
    putWord(w, 3, opcode);
    putWord(w, 4, uint16_t(f));
    putWord(w, 5, 0);
    for (int i = 0; i < count; ++i)
        putWord(w, size_t(6 + i), words[i]);
    sealReply(r, f);
    return r;
}

std::vector<uint8_t> SimTransport::nak(uint16_t opcode, uint16_t code, uint16_t index, uint8_t reportId)
{
    const uint16_t words[2] = {code, index};
    const int count = index == NoNakIndex ? 1 : 2;
    std::vector<uint8_t> r = reply(opcode, words, count, reportId);
    putWord(r.data() + 2, 5, 1);
    sealReply(r, count + 1);
    return r;
}

void SimTransport::applyControlFault(std::vector<uint8_t>& r)
{
    const ControlFault fault = faults.control;
    faults.control = ControlFault::None;
    uint8_t* w = r.data() + 2;
    const int f = getWord(w, 4);
    switch (fault) {
    case ControlFault::None:
        return;
    case ControlFault::Silence:
        r.clear();
        return;
    case ControlFault::BadChecksum:
        putWord(w, size_t(5 + f), uint16_t(getWord(w, size_t(5 + f)) + 1));
        return;
    case ControlFault::BadCodon:
        putWord(w, 1, 0x004E);
        break;
    case ControlFault::BadOpcode:
        putWord(w, 3, uint16_t(getWord(w, 3) + 1));
        break;
    case ControlFault::TooManyWords:
        putWord(w, 4, MaxReplyF + 1);
        return;
    case ControlFault::ShortReply:
        r.resize(2 + 2 * (6 + size_t(f)) - 2);
        return;
    case ControlFault::Nak:
        r = nak(getWord(w, 3), faults.nakCode, faults.nakIndex, r[0]);
        return;
    }
    sealReply(r, f);
}

std::vector<uint8_t> SimTransport::handle(const uint8_t* data, size_t length)
{
    const uint8_t id = data[0];
    if (length < 2 * 7)
        return nak(0, 0x88, NoNakIndex, id);
    const uint16_t opcode = getWord(data, 4);
    for (int i = 0; i < 3; ++i)
        if (getWord(data, size_t(1 + i)) != Codon[i])
            return nak(opcode, 0xEE, NoNakIndex, id);
    const int n = getWord(data, 5);
    if (2 * (7 + size_t(n)) > length)
        return nak(opcode, 0xDD, NoNakIndex, id);
    uint16_t sum = 0;
    for (int w = 1; w <= 6 + n; ++w)
        sum = uint16_t(sum + getWord(data, size_t(w)));
    if (sum != 0)
        return nak(opcode, 0xFF, NoNakIndex, id);
    auto arg = [&](int i) { return getWord(data, size_t(6 + i)); };
    const bool keyed = n == 3 && arg(0) == 0x0055 && arg(1) == 0x00AA;

    switch (opcode) {
    case OpWriteConfig: {
        if (n < 1)
            return nak(opcode, 0x88, NoNakIndex, id);
        if (n - 1 > ConfigWords)
            return nak(opcode, 0xBB, NoNakIndex, id);
        if (arg(0) > 1)
            return nak(opcode, 0xAA, NoNakIndex, id);
        auto& t = tables_[arg(0)];
        for (int i = 1; i < n; ++i)
            t[size_t(i - 1)] = arg(i);
        return reply(opcode, nullptr, 0, id);
    }
    case OpReadConfig: {
        if (n != 1)
            return nak(opcode, 0x88, NoNakIndex, id);
        if (arg(0) > 1)
            return nak(opcode, 0xAA, NoNakIndex, id);
        return reply(opcode, tables_[arg(0)].data(), ConfigWords, id);
    }
    case OpBackground:
        if (!keyed || arg(2) != 2)
            return nak(opcode, 0xAA, NoNakIndex, id);
        if (backgroundDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(backgroundDelayMs));
        return reply(opcode, nullptr, 0, id);
    case OpAcquire:
        if (!keyed || arg(2) > 1)
            return nak(opcode, 0xAA, NoNakIndex, id);
        acquiring_ = arg(2) == 1;
        owed_.clear();
        if (acquiring_) {
            reportsSent_ = 0;
            sentEvents_ = 0;
            sentPackets.clear();
            nextReport_ = std::chrono::steady_clock::now();
        }
        return reply(opcode, nullptr, 0, id);
    case OpDataRequest:
        // Answered by data reports, not by a reply.
        if (keyed && acquiring_)
            for (int s = arg(2) - 1; s >= 0; --s)
                owed_.push_back(s);
        return {};
    case OpFeature:
        return reply(opcode, nullptr, 0, id);
    default:
        return nak(opcode, 0xCC, NoNakIndex, id);
    }
}

int SimTransport::write(const uint8_t* data, size_t length)
{
    if (!open_ || faults.writeFails || length == 0)
        return -1;
    if (data[0] != ControlReportId)
        return -1;
    std::vector<uint8_t> r = handle(data, length);
    if (!r.empty() && getWord(data, 4) != OpDataRequest) {
        applyControlFault(r);
        if (!r.empty())
            replies_.push_back(std::move(r));
    }
    return int(length);
}

int SimTransport::sendFeatureReport(const uint8_t* data, size_t length)
{
    if (!open_ || faults.writeFails || length == 0 || data[0] != FeatureReportId)
        return -1;
    featureReply_ = handle(data, length);
    applyControlFault(featureReply_);
    return int(length);
}

int SimTransport::getFeatureReport(uint8_t* data, size_t length)
{
    if (!open_ || featureReply_.empty())
        return -1;
    const size_t n = std::min(length, featureReply_.size());
    std::copy_n(featureReply_.begin(), n, data);
    featureReply_.clear();
    return int(n);
}

void SimTransport::fillPacket(uint16_t* packet, int E)
{
    // Three populations of Gaussian peaks across the channels, with noise.
    static constexpr double kCentre[3] = {6.0, 17.0, 30.0};
    static constexpr double kHeight[3] = {9000.0, 20000.0, 4000.0};
    std::uniform_int_distribution<int> pick(0, 2);
    std::normal_distribution<double> unit(0.0, 1.0);
    const int pop = pick(rng_);
    const double height = kHeight[pop] * (1.0 + 0.08 * unit(rng_));
    const double centre = kCentre[pop] + 0.5 * unit(rng_);
    const auto& t = tables_[0];
    const int signWords = t[82] ? 2 : 1;
    int w = 0;
    packet[w++] = uint16_t(0x8000 | (sentEvents_ & 0x1FFF));
    int channel = 0;
    // The groups interleave in blocks of eight, as the instrument sends them:
    // eight of group 0, eight of group 1, ..., then the next eight of group 0.
    int left[4] = {t[3], t[4], t[5], t[6]};
    while (left[0] + left[1] + left[2] + left[3] > 0) {
        for (int& n : left) {
            const int k = std::min(n, 8);
            if (k == 0)
                continue;
            n -= k;
            for (int i = 0; i < k; ++i, ++channel) {
                const double d = (channel - centre) / 3.0;
                const double v = height * std::exp(-0.5 * d * d) + 40.0 * unit(rng_) + 100.0;
                packet[w++] = uint16_t(std::clamp(std::nearbyint(v), 0.0, 65535.0));
            }
            for (int s = 0; s < signWords; ++s)
                packet[w++] = 0;  // all magnitudes positive
        }
    }
    if (t[72]) {
        const uint32_t stamp = uint32_t(sentEvents_ * 100);
        packet[w++] = uint16_t(stamp & 0xFFFF);
        packet[w++] = uint16_t(stamp >> 16);
    }
    if (t[91]) {
        packet[w++] = uint16_t(t[112]);
        packet[w++] = uint16_t(t[113]);
    }
    while (w < E)
        packet[w++] = 0;
}

std::vector<uint8_t> SimTransport::dataReport(int sequence)
{
    const int E = PacketWords(tables_[0]);
    int P = std::min(packetsPerReport, MaxPayloadWords / E);
    if (eventLimit > 0)
        P = int(std::min<int64_t>(P, eventLimit - sentEvents_));
    int m = P * E;
    const DataFault fault = reportsSent_ == faults.dataFaultAt ? faults.data : DataFault::None;
    if (fault != DataFault::None)
        faults.data = DataFault::None;
    if (fault == DataFault::Oversize)
        m = MaxPayloadWords + 1;
    std::vector<uint8_t> r(2 * (10 + size_t(m)), 0);
    r[0] = DataReportId;
    uint8_t* p = r.data();
    putWord(p, 1, uint16_t(reportsSent_ & 0xFFFF));
    putWord(p, 5, uint16_t(m));
    putWord(p, 6, uint16_t(P));
    putWord(p, 7, uint16_t(E));
    putWord(p, 8, uint16_t(sequence));
    std::vector<uint16_t> packet(static_cast<size_t>(E));
    for (int i = 0; i < P; ++i) {
        fillPacket(packet.data(), E);
        for (int k = 0; k < E; ++k)
            putWord(p, size_t(9 + i * E + k), packet[size_t(k)]);
        if (recordEvents)
            sentPackets.insert(sentPackets.end(), packet.begin(), packet.end());
        ++sentEvents_;
    }
    uint16_t sum = 0;
    for (int w = 1; w <= 8 + m; ++w)
        sum = uint16_t(sum + getWord(p, size_t(w)));
    putWord(p, size_t(9 + m), uint16_t(-sum + (fault == DataFault::BadChecksum ? 1 : 0)));
    ++reportsSent_;
    if (fault == DataFault::SequenceGap && !owed_.empty())
        owed_.pop_front();
    if (fault == DataFault::QueueOverflow)
        for (int i = 0; i < 3 && !owed_.empty(); ++i)
            owed_.pop_front();
    return r;
}

int SimTransport::readTimeout(uint8_t* data, size_t length, int timeoutMs)
{
    if (!open_)
        return -1;
    std::vector<uint8_t> r;
    if (!replies_.empty()) {
        r = std::move(replies_.front());
        replies_.pop_front();
    } else {
        const bool dry = eventLimit > 0 && sentEvents_ >= eventLimit;
        if (!acquiring_ || owed_.empty() || dry) {
            if (pacing_ == Pacing::TriggerRate && timeoutMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 50)));
            return 0;
        }
        if (pacing_ == Pacing::TriggerRate) {
            const auto now = std::chrono::steady_clock::now();
            if (now < nextReport_) {
                const auto wait = std::min(nextReport_ - now, std::chrono::steady_clock::duration(std::chrono::milliseconds(timeoutMs)));
                std::this_thread::sleep_for(wait);
                if (std::chrono::steady_clock::now() < nextReport_)
                    return 0;
            }
        }
        const int sequence = owed_.front();
        owed_.pop_front();
        const int64_t before = sentEvents_;
        r = dataReport(sequence);
        if (pacing_ == Pacing::TriggerRate) {
            const auto& t = tables_[0];
            const uint32_t period = uint32_t(t[104]) | (uint32_t(t[105]) << 16);  // 10-ns ticks
            nextReport_ += std::chrono::nanoseconds(int64_t(std::max<uint32_t>(period, 1)) * 10 * (sentEvents_ - before));
        }
    }
    const size_t n = std::min(length, r.size());
    std::copy_n(r.begin(), n, data);
    return int(n);
}

}  // namespace orvala
