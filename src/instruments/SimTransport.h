#pragma once
// A simulated instrument: the device's side of the report protocol, good enough
// to develop, test and demonstrate acquisition with no hardware. It keeps two
// configuration tables, checks requests as the firmware does, answers the
// opcodes the program uses and produces data reports of seeded Gaussian peaks.
// Faults can be injected for every error the link reports.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "instruments/HidTransport.h"
#include "instruments/IqspProtocol.h"

namespace orvala {

class SimTransport : public HidTransport {
public:
    enum class Pacing {
        Immediate,   // a report is ready whenever one is owed (tests)
        TriggerRate, // reports arrive at the trigger rate of the table (demos)
    };
    enum class ControlFault {
        None,
        Silence,        // no reply at all
        BadChecksum,    // reply checksum off by one
        BadCodon,       // reply codon wrong (checksum still right)
        BadOpcode,      // mirrored opcode wrong
        TooManyWords,   // f = 2002
        ShortReply,     // f announces more words than the report holds
        Nak,            // NAK with nakCode and nakIndex
    };
    enum class DataFault {
        None,
        BadChecksum,    // data report checksum off by one
        SequenceGap,    // one report skipped (6003)
        Oversize,       // m = 2040 with a right checksum
        QueueOverflow,  // input buffers overflow: several reports lost
    };
    enum class OpenFault { None, NoDevice, StringFails, FullSpeed, SetBuffersFails, BuffersDiffer };

    // Faults; control and data faults fire once, then reset to None.
    struct Faults {
        OpenFault open = OpenFault::None;
        bool writeFails = false;
        ControlFault control = ControlFault::None;
        uint16_t nakCode = 0;
        uint16_t nakIndex = iqsp::NoNakIndex;
        DataFault data = DataFault::None;
        int dataFaultAt = 0;  // 0-based number of the data report since start
    };

    explicit SimTransport(uint32_t seed = 1, Pacing pacing = Pacing::Immediate);

    // Everything a test sets before the link runs and reads after it is idle.
    Faults faults;
    // Packets per data report before the limit floor(2039 / E).
    int packetsPerReport = 1000;
    // Events after which the simulated sample runs dry (0 = endless).
    int64_t eventLimit = 0;
    // Delay of the background calculation (opcode 7) in ms.
    int backgroundDelayMs = 0;
    // Every packet sent since start, in order (only when recordEvents).
    bool recordEvents = false;
    std::vector<uint16_t> sentPackets;
    int64_t sentEvents() const { return sentEvents_; }
    bool acquiring() const { return acquiring_; }
    const std::array<uint16_t, iqsp::ConfigWords>& table(int selector) const { return tables_[size_t(selector & 1)]; }
    // Words per packet for the given table.
    static int PacketWords(const std::array<uint16_t, iqsp::ConfigWords>& t);

    bool init(std::string& message) override;
    void exit() override {}
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    ReportLengths reportLengths() const override { return {4098, 4098, 4098}; }
    int write(const uint8_t* data, size_t length) override;
    int readTimeout(uint8_t* data, size_t length, int timeoutMs) override;
    int sendFeatureReport(const uint8_t* data, size_t length) override;
    int getFeatureReport(uint8_t* data, size_t length) override;
    bool indexedString(int index, std::string& text) override;
    bool setInputBufferCount(int count) override;
    int inputBufferCount() override;

private:
    // Decodes a request and returns the reply report (empty: no reply).
    std::vector<uint8_t> handle(const uint8_t* data, size_t length);
    std::vector<uint8_t> reply(uint16_t opcode, const uint16_t* words, int count, uint8_t reportId);
    std::vector<uint8_t> nak(uint16_t opcode, uint16_t code, uint16_t index, uint8_t reportId);
    void applyControlFault(std::vector<uint8_t>& r);
    std::vector<uint8_t> dataReport(int sequence);
    void fillPacket(uint16_t* packet, int E);

    std::array<std::array<uint16_t, iqsp::ConfigWords>, 2> tables_;
    bool open_ = false;
    bool acquiring_ = false;
    int inputBuffers_ = 64;
    Pacing pacing_;
    std::deque<std::vector<uint8_t>> replies_;
    std::vector<uint8_t> featureReply_;
    std::deque<int> owed_;       // sequence numbers of reports asked for
    int64_t reportsSent_ = 0;
    int64_t sentEvents_ = 0;
    std::mt19937 rng_;
    std::chrono::steady_clock::time_point nextReport_;
};

}  // namespace orvala
