#include "instruments/Acquisition.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/Messages.h"

namespace orvala {

namespace {

constexpr int kInputBuffers = 200;
constexpr int kTableWords = 1248;  // words written by opcode 3

}  // namespace

PacketLayout PacketLayout::FromTable(const ConfigTable& t, AdcMode adc)
{
    PacketLayout l;
    for (size_t g = 0; g < 4; ++g)
        l.groups[g] = t[3 + g];
    l.sign2 = t[82];
    l.timeStamp = t[72];
    l.boxcar = t[91];
    l.timeTicks = uint32_t(t[74]) | (uint32_t(t[75]) << 16);
    l.adc = adc;
    return l;
}

TiQSPDecoder PacketLayout::Decoder() const
{
    return TiQSPDecoder(groups[0], groups[1], groups[2], groups[3], sign2, timeStamp, boxcar, timeTicks, true);
}

Acquisition::Acquisition(std::unique_ptr<HidTransport> transport, std::string bufferFile)
    : link_(std::move(transport)), bufferFile_(std::move(bufferFile))
{
    Table = iqsp::DefaultConfigTable();
}

Acquisition::~Acquisition()
{
    try {
        Stop();
    } catch (const OrvalaError&) {
        // Closing down: the recording's error was the caller's to collect.
    }
    link_.LinkTerminate();
}

void Acquisition::check(int error) const
{
    if (error)
        throw OrvalaError(link_.ErrorText(error));
}

void Acquisition::Open()
{
    std::string message;
    if (!link_.LinkInit(&message))
        throw OrvalaError(message.empty() ? "The USB HID library cannot be initialised" : message);
    int error = 0;
    uint8_t serial[4] = {};
    link_.DeviceOpen(kInputBuffers, serial, error);
    check(error);
    ReadTable(1);
    Table = iqsp::DefaultConfigTable();
    WriteTable(0);
}

void Acquisition::ReadTable(int selector)
{
    if (running_)
        throw OrvalaError("Stop the acquisition first");
    int error = 0;
    if (!link_.IsOpen()) {
        uint8_t serial[4] = {};
        link_.DeviceOpen(kInputBuffers, serial, error);
        check(error);
    }
    const uint16_t arg = uint16_t(selector);
    int count = 0;
    ConfigTable t = Table;
    link_.ControlOp(iqsp::OpReadConfig, &arg, 1, 1000, count, t.data(), int(t.size()), error);
    check(error);
    Table = t;
}

void Acquisition::WriteTable(int selector)
{
    int error = 0;
    if (!link_.IsOpen()) {
        uint8_t serial[4] = {};
        link_.DeviceOpen(kInputBuffers, serial, error);
        check(error);
    }
    std::vector<uint16_t> args(kTableWords + 1);
    args[0] = uint16_t(selector);
    std::copy_n(Table.begin(), kTableWords, args.begin() + 1);
    int count = 0;
    link_.ControlOp(iqsp::OpWriteConfig, args.data(), int(args.size()), 1000, count, nullptr, 0, error);
    check(error);
}

void Acquisition::BackgroundCalculation()
{
    if (running_)
        throw OrvalaError("Stop the acquisition first");
    WriteTable(0);
    const uint16_t args[3] = {0x0055, 0x00AA, 0x0002};
    int error = 0, count = 0;
    link_.ControlOp(iqsp::OpBackground, args, 3, 20000, count, nullptr, 0, error);
    check(error);
    ReadTable(0);
}

void Acquisition::Start(AdcMode adc, bool log, int64_t maxEvents)
{
    if (running_)
        throw OrvalaError(link_.ErrorText(iqsp::AlreadyRunning));
    WriteTable(0);
    const PacketLayout layout = PacketLayout::FromTable(Table, adc);
    auto decoder = std::make_unique<TiQSPDecoder>(layout.Decoder());
    if (decoder->PacketLength <= 2 || size_t(decoder->PacketLength) > BufferBytes)
        throw OrvalaError("The configuration describes packets of " + std::to_string(decoder->PacketLength) +
                          " bytes, which cannot be recorded");

    if (log) {
        std::error_code ec;
        const std::filesystem::path p(bufferFile_);
        if (p.has_parent_path())
            std::filesystem::create_directories(p.parent_path(), ec);
        file_ = std::fopen(bufferFile_.c_str(), "wb");
        if (!file_)
            throw OrvalaError("Cannot create the buffer file " + bufferFile_ + ": " + std::strerror(errno));
        std::setvbuf(file_, nullptr, _IONBF, 0);  // whole buffers are written at once
        // The previous recording is gone with the file, whatever happens next.
        hasRecording_ = false;
        DataNotSaved = false;
        recording_ = Recording{bufferFile_, layout, maxEvents};
    }
    layout_ = layout;
    {
        std::lock_guard<std::mutex> g(em_);
        decoder_ = std::move(decoder);
        latestNew_ = false;
        latest_.clear();
    }
    maxEvents_ = maxEvents;
    logging_ = log;
    counter_ = 0;
    {
        std::lock_guard<std::mutex> g(qm_);
        filled_.clear();
        ended_ = false;
        endSeen_ = false;
        endError_ = 0;
        writerQuit_ = false;
        writeError_.clear();
    }
    // Entries a previous transfer may have left in the link's queue are dropped
    // before the buffers go in again, so that no buffer is in it twice.
    link_.DataClearQueue();
    if (log) {
        buffers_.resize(size_t(std::max(BufferCount, 2)));
        for (auto& b : buffers_) {
            b.resize(BufferBytes);
            link_.DataQueueBuffer(b.data(), b.size());
        }
        writer_ = std::thread([this] { writer(); });
    }
    int error = 0;
    link_.DataStart(log, &counter_, error, [this](int code, uint8_t* buffer, size_t bytes) { callback(code, buffer, bytes); },
                    [this] { notify(); });
    if (error) {
        {
            std::lock_guard<std::mutex> g(qm_);
            ended_ = true;
            writerQuit_ = true;
        }
        qcv_.notify_all();
        if (writer_.joinable())
            writer_.join();
        closeFile();
        logging_ = false;
        check(error);
    }
    if (log) {
        hasRecording_ = true;
        DataNotSaved = true;
    }
    running_ = true;
}

void Acquisition::callback(int code, uint8_t* buffer, size_t bytes)
{
    // On the link's worker thread: only hands over, never writes.
    {
        std::lock_guard<std::mutex> g(qm_);
        if (buffer) {
            if (bytes > 0)
                filled_.push_back({buffer, bytes, code != 0});
        } else {
            ended_ = true;
            endError_ = code;
        }
    }
    qcv_.notify_all();
}

void Acquisition::notify()
{
    // On the worker: the report is taken at once, so the link never waits for
    // the display; only its last packet is kept.
    int E = 0;
    std::lock_guard<std::mutex> g(em_);
    if (!link_.TakeReport(report_, E) || E <= 0 || report_.size() < size_t(E))
        return;
    latest_.assign(report_.end() - E, report_.end());
    latestNew_ = true;
}

void Acquisition::writer()
{
    std::unique_lock<std::mutex> l(qm_);
    for (;;) {
        qcv_.wait(l, [this] { return !filled_.empty() || writerQuit_; });
        if (filled_.empty())
            return;  // quit, and everything is written
        const Filled f = filled_.front();
        filled_.pop_front();
        l.unlock();
        bool ok = std::fwrite(f.data, 1, f.bytes, file_) == f.bytes;
        const int err = errno;
        l.lock();
        if (!ok && writeError_.empty())
            writeError_ = "Cannot write the buffer file " + bufferFile_ + ": " + std::strerror(err);
        // A full buffer goes back to the link while the transfer runs; once the
        // link has ended it would only sit in a queue nobody reads.
        if (!f.last && !ended_) {
            l.unlock();
            link_.DataQueueBuffer(f.data, BufferBytes);
            l.lock();
        }
    }
}

void Acquisition::closeFile()
{
    if (file_) {
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!ok && writeError_.empty())
            writeError_ = "Cannot write the buffer file " + bufferFile_ + ": " + std::strerror(errno);
    }
}

void Acquisition::Stop()
{
    if (!running_)
        return;
    int error = 0;
    link_.DataStop(error);
    // The link is idle: its final callback has come and every buffer it filled
    // is in the queue. The writer drains it before the file is closed.
    {
        std::lock_guard<std::mutex> g(qm_);
        ended_ = true;
        writerQuit_ = true;
    }
    qcv_.notify_all();
    if (writer_.joinable())
        writer_.join();
    closeFile();
    running_ = false;
    logging_ = false;
    std::string failure;
    {
        std::lock_guard<std::mutex> g(qm_);
        failure = writeError_;
    }
    if (!failure.empty())
        throw OrvalaError(failure);
    check(error);
}

int64_t Acquisition::ShownCounter() const
{
    const int64_t c = counter_.load();
    return maxEvents_ > 0 ? std::min(maxEvents_, c) : c;
}

bool Acquisition::TransferEnded(int& error)
{
    std::lock_guard<std::mutex> g(qm_);
    if (!running_ || !ended_ || endSeen_ || writerQuit_)
        return false;
    endSeen_ = true;
    error = endError_;
    return true;
}

bool Acquisition::LatestEvent(std::vector<double>& values)
{
    std::lock_guard<std::mutex> g(em_);
    if (!latestNew_ || !decoder_ || latest_.size() * 2 < size_t(decoder_->PacketLength))
        return false;
    values.resize(size_t(decoder_->ParamCount));
    uint16_t header = 0;
    decoder_->Convert(latest_.data(), values.data(), header);
    latestNew_ = false;
    return true;
}

void Acquisition::CheckCanSave(const std::string& stopText) const
{
    if (running_)
        throw OrvalaError(stopText);
    if (!hasRecording_ || !DataNotSaved)
        throw OrvalaError("Nothing to save");
}

}  // namespace orvala
