#pragma once
// The link to the acquisition instrument: one worker thread (TCommandThread)
// runs every device operation; callers post a command and, except for a data
// transfer, wait until the worker is idle again. Errors travel as integer codes
// (iqsp::Error) whose texts ErrorText gives; an operation does nothing when
// the caller's code is already set.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instruments/HidTransport.h"
#include "instruments/IqspProtocol.h"

namespace orvala {

// callback(code, buffer, bytes), on the worker thread: code 0 with a buffer: a
// queued buffer is full with bytes bytes of whole packets; -1 with a buffer:
// stopped, the buffer holds bytes bytes; code c with no buffer: the transfer
// ended with error c (0 = none).
using DataCallback = std::function<void(int code, uint8_t* buffer, size_t bytes)>;
// Called on the worker thread when a new report waits in the display slot and
// the previous one was taken (TakeReport). Must not block.
using ReportNotify = std::function<void()>;

class IqspLink {
public:
    explicit IqspLink(std::unique_ptr<HidTransport> transport);
    ~IqspLink();
    IqspLink(const IqspLink&) = delete;
    IqspLink& operator=(const IqspLink&) = delete;

    // Initialises the HID layer and starts the worker; false with message set
    // when the HID layer cannot be initialised.
    bool LinkInit(std::string* message = nullptr);
    // Stops any transfer, joins the worker, then frees buffers and the HID layer.
    void LinkTerminate();

    // Opens the instrument, asks for inputBuffers HID input buffers and reads
    // its serial number (4 bytes) from string 4.
    void DeviceOpen(int inputBuffers, uint8_t serial[4], int& error);
    void DeviceClose(int& error);
    // Runs one control operation; count gets the number of data words in the
    // reply, of which min(count, capacity) go to out.
    void ControlOp(uint16_t opcode, const uint16_t* args, int argCount, int timeoutMs, int& count, uint16_t* out,
                   int capacity, int& error);
    // Starts a data transfer without waiting. counter (written only by the
    // worker) counts the events delivered. Queued mode fills the buffers of
    // DataQueueBuffer; display mode waits after each report until it is taken
    // (TakeReport) or the transfer is stopped.
    void DataStart(bool queued, std::atomic<int64_t>* counter, int& error, DataCallback callback, ReportNotify notify = {});
    // Stops a transfer and waits until the worker is idle.
    void DataStop(int& error);
    // Hands an empty buffer of bytes bytes to queued mode.
    void DataQueueBuffer(uint8_t* buffer, size_t bytes);
    // Drops every queued buffer; only while no transfer runs. A buffer handed
    // back after a transfer ended would otherwise be queued twice by the next.
    void DataClearQueue();
    // Copies the newest report's payload (P packets of E words) out of the
    // guarded slot; false when none arrived since the last call.
    bool TakeReport(std::vector<uint16_t>& payload, int& E);

    // The text of code, with the NAK index of the last NAK.
    std::string ErrorText(int code) const { return iqsp::ErrorText(code, nakIndex_.load()); }
    uint16_t NakIndex() const { return nakIndex_.load(); }
    bool IsOpen() const { return open_.load(); }
    bool Running() const { return running_.load(); }

private:
    enum class Command { Terminate, Open, Close, Control, Data };
    struct Slot {
        Command command = Command::Terminate;
        int inputBuffers = 0;
        uint16_t opcode = 0;
        std::vector<uint16_t> args;
        int timeoutMs = 0;
        int capacity = 0;
        uint16_t* out = nullptr;
        int count = 0;
        int error = 0;
        uint8_t serial[4] = {};
        bool queued = false;
        std::atomic<int64_t>* counter = nullptr;
        DataCallback callback;
        ReportNotify notify;
    };
    struct Buffer {
        uint8_t* data;
        size_t bytes;
    };

    // The worker thread, named after its role in the acquisition program.
    void TCommandThread();
    void post(Slot slot, bool wait, Slot* result);
    void runOpen(Slot& s);
    void closeDevice();
    void runControl(uint16_t opcode, const uint16_t* args, int argCount, int timeoutMs, int& count, uint16_t* out,
                    int capacity, int& error);
    void runData(Slot& s);
    // Reads one input report, polling the stop flag; bytes, 0 when stopped, -1 on failure.
    int readReport(uint8_t* data, size_t length);
    // midReport: packets of a report already read are waiting for room; they
    // are not dropped at stop while the owner still hands buffers back.
    bool takeBuffer(Buffer& b, bool midReport);
    void publish(const uint8_t* payload, int m, int E);

    std::unique_ptr<HidTransport> transport_;
    bool initialised_ = false;
    std::thread worker_;

    std::mutex m_;
    std::condition_variable cv_;
    bool idle_ = false;
    bool commandSet_ = false;
    Slot slot_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> open_{false};
    std::atomic<bool> running_{false};
    std::atomic<uint16_t> nakIndex_{iqsp::NoNakIndex};
    std::atomic<int> dataError_{0};

    // Worker-only state.
    ReportLengths lengths_;
    int inputBuffers_ = 0;
    std::vector<uint8_t> control_;
    std::vector<uint8_t> request_;
    std::vector<uint8_t> dataBuffer_;

    // Queued buffers, guarded by queueMutex_.
    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<Buffer> queue_;

    // The display slot: the newest report's payload, guarded by slotMutex_.
    std::mutex slotMutex_;
    std::condition_variable slotCv_;
    std::vector<uint16_t> shown_;
    int shownE_ = 0;
    bool pending_ = false;
};

}  // namespace orvala
