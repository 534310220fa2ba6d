#include "instruments/IqspLink.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orvala {

using namespace iqsp;

namespace {

// Data reads wait this long before looking at the stop flag again.
constexpr int kPollMs = 50;
constexpr uint16_t kKey0 = 0x0055, kKey1 = 0x00AA;
// How long a stopping transfer waits for a buffer to hold the rest of a report.
constexpr int kStopGraceMs = 2000;

}  // namespace

IqspLink::IqspLink(std::unique_ptr<HidTransport> transport) : transport_(std::move(transport)) {}

IqspLink::~IqspLink()
{
    LinkTerminate();
}

bool IqspLink::LinkInit(std::string* message)
{
    if (initialised_)
        return true;
    std::string text;
    if (!transport_->init(text)) {
        if (message)
            *message = text;
        return false;
    }
    initialised_ = true;
    {
        std::lock_guard<std::mutex> g(m_);
        idle_ = false;
        commandSet_ = false;
    }
    stop_ = false;
    worker_ = std::thread([this] { TCommandThread(); });
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return idle_; });
    return true;
}

void IqspLink::LinkTerminate()
{
    if (!initialised_)
        return;
    // A running transfer is stopped first, so that terminate can be taken.
    int error = 0;
    DataStop(error);
    Slot s;
    s.command = Command::Terminate;
    post(std::move(s), true, nullptr);
    worker_.join();
    // Only now, with the worker gone, is anything freed.
    std::lock_guard<std::mutex> g(queueMutex_);
    queue_.clear();
    transport_->exit();
    initialised_ = false;
}

void IqspLink::post(Slot slot, bool wait, Slot* result)
{
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return idle_ && !commandSet_; });
    idle_ = false;
    slot_ = std::move(slot);
    commandSet_ = true;
    cv_.notify_all();
    if (!wait)
        return;
    cv_.wait(l, [this] { return idle_ && !commandSet_; });
    if (result)
        *result = std::move(slot_);
}

void IqspLink::TCommandThread()
{
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
        idle_ = true;
        cv_.notify_all();
        cv_.wait(l, [this] { return commandSet_; });
        Slot s = std::move(slot_);
        commandSet_ = false;
        l.unlock();
        switch (s.command) {
        case Command::Terminate:
            closeDevice();
            l.lock();
            idle_ = true;
            cv_.notify_all();
            return;
        case Command::Open:
            runOpen(s);
            break;
        case Command::Close:
            closeDevice();
            break;
        case Command::Control:
            runControl(s.opcode, s.args.data(), int(s.args.size()), s.timeoutMs, s.count, s.out, s.capacity, s.error);
            break;
        case Command::Data:
            runData(s);
            break;
        }
        l.lock();
        slot_ = std::move(s);
    }
}

void IqspLink::closeDevice()
{
    if (transport_->isOpen())
        transport_->close();
    open_ = false;
    request_.clear();
}

void IqspLink::runOpen(Slot& s)
{
    closeDevice();
    if (!transport_->open()) {
        s.error = NotDetected;
        return;
    }
    lengths_ = transport_->reportLengths();
    // Buffers follow the device's report lengths.
    control_.assign(size_t(std::max({lengths_.input, lengths_.output, lengths_.feature, 2})), 0);
    dataBuffer_.assign(size_t(std::max(lengths_.input, 2)), 0);
    open_ = true;
    std::string speed, serial;
    if (!transport_->indexedString(3, speed) || !transport_->indexedString(4, serial))
        s.error = SpeedStringFailed;
    else if (speed != "High")
        s.error = NotHighSpeed;
    else if (!transport_->setInputBufferCount(s.inputBuffers))
        s.error = SetBuffersFailed;
    else if (transport_->inputBufferCount() != s.inputBuffers)
        s.error = VerifyBuffersFailed;
    if (s.error) {
        closeDevice();
        return;
    }
    inputBuffers_ = s.inputBuffers;
    // The serial number is the first eight characters of string 4 in hexadecimal, one byte per pair.
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        for (int k = 0; k < 2; ++k) {
            const size_t at = size_t(2 * i + k);
            const char c = at < serial.size() ? serial[at] : '0';
            const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0;
            b = uint8_t(b * 16 + v);
        }
        s.serial[i] = b;
    }
}

void IqspLink::runControl(uint16_t opcode, const uint16_t* args, int argCount, int timeoutMs, int& count, uint16_t* out,
                          int capacity, int& error)
{
    count = 0;
    if (error)
        return;
    if (!open_) {
        error = ControlNotPresent;
        return;
    }
    std::vector<uint8_t> request;
    int got = 0;
    if (opcode == OpFeature) {
        if (BuildRequest(opcode, args, argCount, request, lengths_.feature) != Ok) {
            error = ControlTransferFailed;
            closeDevice();
            return;
        }
        putWord(request.data(), 0, FeatureReportId);
        if (transport_->sendFeatureReport(request.data(), request.size()) < 0) {
            error = ControlTransferFailed;
            closeDevice();
            return;
        }
        std::fill(control_.begin(), control_.end(), 0);
        control_[0] = FeatureReportId;
        got = transport_->getFeatureReport(control_.data(), size_t(lengths_.feature));
        if (got < 0) {
            error = ControlReadFailed;
            closeDevice();
            return;
        }
    } else {
        if (BuildRequest(opcode, args, argCount, request, lengths_.output) != Ok ||
            transport_->write(request.data(), request.size()) < 0) {
            error = ControlTransferFailed;
            closeDevice();
            return;
        }
        // Data reports still in flight are passed over until the reply comes.
        for (;;) {
            got = transport_->readTimeout(control_.data(), size_t(lengths_.input), timeoutMs);
            if (got == 0) {
                error = ControlTimedOut;
                closeDevice();
                return;
            }
            if (got < 0) {
                error = ControlReadFailed;
                closeDevice();
                return;
            }
            if (control_[0] == ControlReportId)
                break;
        }
    }
    const ReplyCheck r = CheckReply(control_.data() + 2, size_t(std::max(got - 2, 0)), opcode);
    if (r.error) {
        if (r.error >= NakBase && r.error < AlreadyRunning)
            nakIndex_ = r.nakIndex;
        error = r.error;
        closeDevice();
        return;
    }
    count = r.dataWords;
    const int n = std::min(count, std::max(capacity, 0));
    for (int i = 0; i < n; ++i)
        out[i] = getWord(control_.data() + 2, size_t(6 + i));
}

int IqspLink::readReport(uint8_t* data, size_t length)
{
    for (;;) {
        if (stop_)
            return 0;
        const int r = transport_->readTimeout(data, length, kPollMs);
        if (r != 0)
            return r < 0 ? -1 : r;
    }
}

bool IqspLink::takeBuffer(Buffer& b, bool midReport)
{
    std::unique_lock<std::mutex> l(queueMutex_);
    queueCv_.wait(l, [this] { return stop_ || !queue_.empty(); });
    // Events of a report already read would be lost: at stop they still get a
    // buffer when the owner hands one back within a grace period.
    if (midReport && queue_.empty())
        queueCv_.wait_for(l, std::chrono::milliseconds(kStopGraceMs), [this] { return !queue_.empty(); });
    if (queue_.empty() || (stop_ && !midReport))
        return false;
    b = queue_.front();
    queue_.pop_front();
    return true;
}

void IqspLink::publish(const uint8_t* payload, int words, int E)
{
    std::lock_guard<std::mutex> g(slotMutex_);
    shown_.resize(size_t(words));
    for (int i = 0; i < words; ++i)
        shown_[size_t(i)] = getWord(payload, size_t(i));
    shownE_ = E;
    pending_ = true;
}

bool IqspLink::TakeReport(std::vector<uint16_t>& payload, int& E)
{
    {
        std::lock_guard<std::mutex> g(slotMutex_);
        if (!pending_)
            return false;
        payload = shown_;
        E = shownE_;
        pending_ = false;
    }
    slotCv_.notify_all();
    return true;
}

void IqspLink::runData(Slot& s)
{
    int error = 0;
    const bool queued = s.queued;
    Buffer cur{nullptr, 0};
    size_t used = 0;
    bool ended = false;
    const uint16_t start[3] = {kKey0, kKey1, 1};
    int count = 0;
    runControl(OpAcquire, start, 3, 1000, count, nullptr, 0, error);
    if (!error) {
        // In queued mode one request always runs ahead of the one being read.
        const int N = queued ? std::max(1, inputBuffers_ / 2) : 1;
        const uint16_t ask[3] = {kKey0, kKey1, uint16_t(N)};
        std::vector<uint8_t> request;
        if (BuildRequest(OpDataRequest, ask, 3, request, lengths_.output) != Ok)
            error = DataRequestFailed;
        auto sendRequest = [&] { return transport_->write(request.data(), request.size()) >= 0; };
        if (!error && queued) {
            if (!sendRequest())
                error = DataRequestFailed;
            else if (!takeBuffer(cur, false))
                ended = true;
        }
        int last = N;
        while (!error && !ended) {
            if (!sendRequest()) {
                error = DataRequestFailed;
                break;
            }
            for (int i = 0; i < N && !error && !ended; ++i) {
                const int got = readReport(dataBuffer_.data(), dataBuffer_.size());
                if (got == 0) {
                    if (queued && used > 0)
                        s.callback(-1, cur.data, used);
                    ended = true;
                    break;
                }
                if (got < 0) {
                    error = DataReadFailed;
                    break;
                }
                DataReportHeader head;
                error = CheckDataReport(dataBuffer_.data(), size_t(got), head);
                if (error)
                    break;
                if (!SequenceFollows(last, head.sequence, N)) {
                    error = DataDropped;
                    break;
                }
                last = head.sequence;
                const uint8_t* payload = dataBuffer_.data() + 2 * 9;
                bool notify = false;
                {
                    std::lock_guard<std::mutex> g(slotMutex_);
                    notify = !pending_;
                }
                publish(payload, head.P * head.E, head.E);
                if (notify && s.notify)
                    s.notify();
                if (!queued) {
                    if (s.counter)
                        s.counter->fetch_add(head.P);
                    // Wait until the report was shown, or the transfer is stopped.
                    std::unique_lock<std::mutex> l(slotMutex_);
                    slotCv_.wait(l, [this] { return !pending_ || stop_; });
                    if (stop_)
                        ended = true;
                    continue;
                }
                const size_t packetBytes = 2 * size_t(head.E);
                int k = 0;
                while (packetBytes > 0 && k < head.P) {
                    if (cur.bytes < packetBytes) {
                        // A buffer that cannot hold one packet would be handed back empty forever.
                        error = DataMessaging;
                        break;
                    }
                    if (used + packetBytes > cur.bytes) {
                        s.callback(0, cur.data, used);
                        used = 0;
                        if (!takeBuffer(cur, true)) {
                            ended = true;
                            break;
                        }
                        continue;
                    }
                    const int fit = int(std::min<size_t>(size_t(head.P - k), (cur.bytes - used) / packetBytes));
                    std::memcpy(cur.data + used, payload + size_t(k) * packetBytes, size_t(fit) * packetBytes);
                    used += size_t(fit) * packetBytes;
                    k += fit;
                    if (s.counter)
                        s.counter->fetch_add(fit);
                }
            }
        }
    }
    // After an error the events already copied are handed back as at a stop.
    if (queued && error && cur.data && used > 0)
        s.callback(-1, cur.data, used);
    // The device is told to stop even after a data error; the first error is kept.
    int scratch = 0;
    runControl(OpAcquire, std::array<uint16_t, 3>{kKey0, kKey1, 0}.data(), 3, 1000, count, nullptr, 0, scratch);
    {
        std::lock_guard<std::mutex> g(queueMutex_);
        queue_.clear();
    }
    if (error)
        closeDevice();
    dataError_ = error;
    running_ = false;
    s.callback(error, nullptr, 0);
}

void IqspLink::DeviceOpen(int inputBuffers, uint8_t serial[4], int& error)
{
    if (error)
        return;
    Slot s;
    s.command = Command::Open;
    s.inputBuffers = inputBuffers;
    Slot r;
    post(std::move(s), true, &r);
    error = r.error;
    if (serial)
        std::memcpy(serial, r.serial, 4);
}

void IqspLink::DeviceClose(int& error)
{
    if (error)
        return;
    Slot s;
    s.command = Command::Close;
    post(std::move(s), true, nullptr);
}

void IqspLink::ControlOp(uint16_t opcode, const uint16_t* args, int argCount, int timeoutMs, int& count, uint16_t* out,
                         int capacity, int& error)
{
    count = 0;
    if (error)
        return;
    Slot s;
    s.command = Command::Control;
    s.opcode = opcode;
    s.args.assign(args, args + std::max(argCount, 0));
    s.timeoutMs = timeoutMs;
    s.out = out;
    s.capacity = capacity;
    Slot r;
    post(std::move(s), true, &r);
    count = r.count;
    error = r.error;
}

void IqspLink::DataStart(bool queued, std::atomic<int64_t>* counter, int& error, DataCallback callback, ReportNotify notify)
{
    if (error)
        return;
    if (running_) {
        error = AlreadyRunning;
        return;
    }
    if (!open_) {
        error = DataNotPresent;
        return;
    }
    {
        std::lock_guard<std::mutex> g(slotMutex_);
        pending_ = false;
    }
    running_ = true;
    Slot s;
    s.command = Command::Data;
    s.queued = queued;
    s.counter = counter;
    s.callback = callback ? std::move(callback) : DataCallback([](int, uint8_t*, size_t) {});
    s.notify = std::move(notify);
    post(std::move(s), false, nullptr);
}

void IqspLink::DataStop(int& error)
{
    if (error || !initialised_)
        return;
    stop_ = true;
    {
        std::lock_guard<std::mutex> g(queueMutex_);
    }
    queueCv_.notify_all();
    {
        std::lock_guard<std::mutex> g(slotMutex_);
    }
    slotCv_.notify_all();
    {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [this] { return idle_ && !commandSet_; });
    }
    stop_ = false;
}

void IqspLink::DataClearQueue()
{
    std::lock_guard<std::mutex> g(queueMutex_);
    queue_.clear();
}

void IqspLink::DataQueueBuffer(uint8_t* buffer, size_t bytes)
{
    {
        std::lock_guard<std::mutex> g(queueMutex_);
        queue_.push_back({buffer, bytes});
    }
    queueCv_.notify_all();
}

}  // namespace orvala
