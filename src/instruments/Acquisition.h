#pragma once
// A live acquisition from the instrument, without any window: the device's
// configuration, start and stop of transfers, the newest event for display,
// and the recording of every event into the buffer file.
//
// Recording: the link fills 1-MiB buffers on its worker thread and hands each
// full one (and, at stop or after a transfer error, the partly filled last one)
// to a single ordered queue. A writer thread appends the queue to the buffer
// file in that order and hands the buffers back to the link. Stop waits until
// the link is idle, then until the queue is drained, then closes the file: no
// event the link counted is lost or reordered.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/TiQSPDecoder.h"
#include "instruments/AcquisitionSettings.h"
#include "instruments/IqspLink.h"

namespace orvala {

// How the packets of a recording are laid out: the table words the decoder is
// made from, and the channel layout in force when it was recorded. Stored with
// the recording, so that saving never uses a layout changed afterwards.
struct PacketLayout {
    uint16_t groups[4] = {14, 8, 8, 8};  // words 3..6
    uint16_t sign2 = 1;                  // word 82
    uint16_t timeStamp = 0;              // word 72
    uint16_t boxcar = 0;                 // word 91
    uint32_t timeTicks = 10;             // words 74-75
    AdcMode adc = AdcMode::Pmt32Foa6;

    static PacketLayout FromTable(const ConfigTable& table, AdcMode adc);
    // The decoder of these packets; the first 32 values reversed, as the
    // instrument sends them.
    TiQSPDecoder Decoder() const;
};

struct Recording {
    std::string bufferFile;
    PacketLayout layout;
    int64_t maxEvents = 0;  // the event limit in force, 0 = none
};

class Acquisition {
public:
    // bufferFile: where recordings go (the user's data directory, never the
    // program's). The link is made over transport and initialised here.
    Acquisition(std::unique_ptr<HidTransport> transport, std::string bufferFile);
    ~Acquisition();
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // --- the device (every failure throws OrvalaError with the link's text) ---
    // Opens the instrument with 200 input buffers, reads its table (memory 1),
    // replaces it by the built-in default and writes that (memory 0).
    void Open();
    bool IsOpen() const { return link_.IsOpen(); }
    // Reads the table from memory selector into Table (opens the device first).
    void ReadTable(int selector);
    // Writes Table's words 0..1247 with the memory selector in front.
    void WriteTable(int selector);
    // The instrument measures its background (opcode 7), then the table is read back.
    void BackgroundCalculation();

    ConfigTable Table = {};

    // --- transfers (user-interface thread only) ---
    // Writes Table, then starts a transfer. log: every event goes to the buffer
    // file, created anew; maxEvents is stored with the recording. adc is the
    // channel layout the recording is made with.
    void Start(AdcMode adc, bool log, int64_t maxEvents = 0);
    // Stops the transfer; returns when every counted event is in the buffer
    // file and the file is closed. Does nothing when not running.
    void Stop();
    bool Running() const { return running_; }
    bool Logging() const { return logging_; }
    // Events delivered by the link since the last start.
    int64_t Counter() const { return counter_.load(); }
    // The counter as the window shows it after a stop: at most the event limit.
    int64_t ShownCounter() const;
    // True once while running when the transfer has ended on its own (an error
    // or the device ran out); error gets the link's code (0 = none). The
    // caller stops to collect the recording and shows the error's text.
    bool TransferEnded(int& error);
    std::string ErrorText(int code) const { return link_.ErrorText(code); }
    // The newest event since the last call, decoded with the running layout;
    // false when none arrived.
    bool LatestEvent(std::vector<double>& values);
    // The layout of the running transfer (or of the last one).
    const PacketLayout& Layout() const { return layout_; }

    // --- the recording ---
    // A recording has been made and not saved yet.
    bool DataNotSaved = false;
    bool HasRecording() const { return hasRecording_; }
    const Recording& LastRecording() const { return recording_; }
    // Throws OrvalaError("Nothing to save") or stopText while running.
    void CheckCanSave(const std::string& stopText) const;

    // Buffers handed to the link: size and number (tests and benchmarks may change them before Start).
    size_t BufferBytes = size_t(1) << 20;
    int BufferCount = 8;

private:
    void callback(int code, uint8_t* buffer, size_t bytes);
    void notify();
    void writer();
    void check(int error) const;
    void closeFile();

    IqspLink link_;
    std::string bufferFile_;
    PacketLayout layout_;
    Recording recording_;
    bool hasRecording_ = false;
    bool running_ = false;
    bool logging_ = false;
    int64_t maxEvents_ = 0;
    std::atomic<int64_t> counter_{0};

    // The ordered queue of filled buffers, from the link's worker to the writer.
    std::mutex qm_;
    std::condition_variable qcv_;
    struct Filled {
        uint8_t* data;
        size_t bytes;
        bool last;  // handed back at stop or after an error: not queued again
    };
    std::deque<Filled> filled_;
    bool ended_ = false;     // the link's final callback came
    bool endSeen_ = false;   // TransferEnded reported it
    int endError_ = 0;
    bool writerQuit_ = false;
    std::string writeError_;
    std::vector<std::vector<uint8_t>> buffers_;
    std::FILE* file_ = nullptr;
    std::thread writer_;

    // The newest event's packet, from the worker to the display.
    std::mutex em_;
    std::vector<uint16_t> latest_;
    bool latestNew_ = false;
    std::vector<uint16_t> report_;
    std::unique_ptr<TiQSPDecoder> decoder_;
};

}  // namespace orvala
