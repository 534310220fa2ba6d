#pragma once
// The report framing of the acquisition instrument: control requests and
// replies, data reports, their checksums and the error codes with their texts.
// Pure functions over byte buffers, shared by the link and the simulator.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvala {

namespace iqsp {

constexpr uint16_t VendorId = 0x0925;
constexpr uint16_t ProductId = 0x1234;
constexpr uint8_t ControlReportId = 17;
constexpr uint8_t FeatureReportId = 1;
constexpr uint16_t Codon[3] = {0x0043, 0x004D, 0x0044};
constexpr int MaxReplyF = 2001;     // 1 + data words of a reply
constexpr int MaxPayloadWords = 2039;
constexpr int ConfigWords = 2000;
constexpr uint16_t NoNakIndex = 0xFFFF;

enum Opcode : uint16_t {
    OpWriteConfig = 3,
    OpReadConfig = 4,
    OpBackground = 7,
    OpDataRequest = 9,
    OpAcquire = 11,
    OpFeature = 170,
};

// Error codes of the link (the text table is ErrorText).
enum Error : int {
    Ok = 0,
    ControlNotPresent = 5000,
    ControlTransferFailed = 5001,
    ControlTimedOut = 5002,
    ControlReadFailed = 5003,
    ReplyArgCount = 5004,
    ReplyChecksum = 5005,
    ReplyCodon = 5006,
    ReplyOpcode = 5007,
    NakBase = 5008,
    AlreadyRunning = 5300,
    DataNotPresent = 6000,
    DataReadFailed = 6001,
    DataChecksum = 6002,
    DataDropped = 6003,
    DataRequestFailed = 6004,
    DataTooLarge = 6005,
    DataMessaging = 6006,
    NotDetected = 7000,
    SpeedStringFailed = 7001,
    NotHighSpeed = 7002,
    SetBuffersFailed = 7003,
    VerifyBuffersFailed = 7004,
    CommandTimeout = 8000,
};

// The user-facing text of code; nakIndex is the configuration-table index a
// NAK 0xAA came with (NoNakIndex when none).
std::string ErrorText(int code, uint16_t nakIndex = NoNakIndex);

inline uint16_t getWord(const uint8_t* p, size_t word) { return uint16_t(p[2 * word] | (p[2 * word + 1] << 8)); }
inline void putWord(uint8_t* p, size_t word, uint16_t v)
{
    p[2 * word] = uint8_t(v & 0xFF);
    p[2 * word + 1] = uint8_t(v >> 8);
}

// Builds a control request of outputLength bytes (zero-padded) into out.
// Returns ControlTransferFailed when the request does not fit the report.
int BuildRequest(uint16_t opcode, const uint16_t* args, int argCount, std::vector<uint8_t>& out, int outputLength);

struct ReplyCheck {
    int error = Ok;
    int dataWords = 0;            // f - 1 when acknowledged
    uint16_t nakIndex = NoNakIndex;
};

// Checks a reply whose report-id bytes are already dropped (bytes = what is left).
// Order: argument count, checksum, codon, mirrored opcode, status.
ReplyCheck CheckReply(const uint8_t* reply, size_t bytes, uint16_t opcode);

struct DataReportHeader {
    int m = 0;      // payload words
    int P = 0;      // packets
    int E = 0;      // words per packet
    int sequence = 0;
};

// Checks size and checksum of a data report of bytes bytes (report id included);
// fills head when it returns Ok. The sequence is the caller's to check.
int CheckDataReport(const uint8_t* report, size_t bytes, DataReportHeader& head);

// Sequence numbers of one request run N-1 .. 0; last is the previous report's
// number (N before the first).
inline bool SequenceFollows(int last, int sequence, int N) { return last == sequence + 1 || last + N == sequence + 1; }

// The built-in default configuration table, as in force after loading it.
std::array<uint16_t, ConfigWords> DefaultConfigTable();

}  // namespace iqsp

}  // namespace orvala
