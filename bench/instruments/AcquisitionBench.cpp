// Recording speed of a live acquisition from the simulated instrument at its
// full rate (no pacing): the link's decode of reports, the queue of filled
// buffers and the writes to the buffer file, with the display's newest event
// decoded ten times a second as the window does. 38 channels and the boxcar
// width: 39 parameters. Then the save of that recording as an LMD file.
// Prints events/s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <random>
#include <thread>

#include "instruments/Acquisition.h"
#include "instruments/LmdWriter.h"
#include "instruments/SimTransport.h"

using namespace orvala;

namespace {

// The simulator's data reports cost a Gaussian draw per channel, more than
// the recording itself. This transport answers data requests with one report
// made in advance (sequence number and checksum patched), and leaves every
// control operation to the simulator: what is measured is the link's side.
class ReplayTransport : public HidTransport {
public:
    ReplayTransport() : sim_(3) {}
    bool init(std::string& m) override { return sim_.init(m); }
    void exit() override { sim_.exit(); }
    bool open() override { return sim_.open(); }
    void close() override { sim_.close(); }
    bool isOpen() const override { return sim_.isOpen(); }
    ReportLengths reportLengths() const override { return sim_.reportLengths(); }
    int sendFeatureReport(const uint8_t* d, size_t n) override { return sim_.sendFeatureReport(d, n); }
    int getFeatureReport(uint8_t* d, size_t n) override { return sim_.getFeatureReport(d, n); }
    bool indexedString(int i, std::string& t) override { return sim_.indexedString(i, t); }
    bool setInputBufferCount(int c) override { return sim_.setInputBufferCount(c); }
    int inputBufferCount() override { return sim_.inputBufferCount(); }

    int write(const uint8_t* data, size_t length) override
    {
        const uint16_t opcode = iqsp::getWord(data, 4);
        if (opcode == iqsp::OpDataRequest) {
            for (int s = iqsp::getWord(data, 8) - 1; s >= 0; --s)
                owed_.push_back(s);
            return int(length);
        }
        if (opcode == iqsp::OpAcquire) {
            owed_.clear();
            if (iqsp::getWord(data, 8) == 1)
                prepare();
        }
        return sim_.write(data, length);
    }
    int readTimeout(uint8_t* data, size_t length, int timeoutMs) override
    {
        if (owed_.empty())
            return sim_.readTimeout(data, length, timeoutMs);
        const int sequence = owed_.front();
        owed_.pop_front();
        // Words 1 .. 9+m sum to 0: the checksum follows the sequence number.
        iqsp::putWord(report_.data(), 8, uint16_t(sequence));
        iqsp::putWord(report_.data(), 9 + size_t(m_), uint16_t(-(sum_ + sequence)));
        const size_t n = std::min(length, report_.size());
        std::copy_n(report_.begin(), n, data);
        return int(n);
    }

private:
    void prepare()
    {
        const int E = SimTransport::PacketWords(sim_.table(0));
        const int P = iqsp::MaxPayloadWords / E;
        m_ = P * E;
        report_.assign(2 * (10 + size_t(m_)), 0);
        report_[0] = 2;
        uint8_t* p = report_.data();
        iqsp::putWord(p, 5, uint16_t(m_));
        iqsp::putWord(p, 6, uint16_t(P));
        iqsp::putWord(p, 7, uint16_t(E));
        std::mt19937 rng(5);
        for (int i = 0; i < P; ++i) {
            iqsp::putWord(p, size_t(9 + i * E), 0x8000);
            for (int k = 1; k < E; ++k)
                iqsp::putWord(p, size_t(9 + i * E + k), uint16_t(rng() % 20000));
        }
        sum_ = 0;
        for (int w = 1; w <= 8 + m_; ++w)
            if (w != 8)
                sum_ = uint16_t(sum_ + iqsp::getWord(p, size_t(w)));
    }

    SimTransport sim_;
    std::deque<int> owed_;
    std::vector<uint8_t> report_;
    int m_ = 0;
    uint16_t sum_ = 0;
};

std::string benchDir()
{
    const auto dir = std::filesystem::temp_directory_path() / "orvala-acq-bench";
    std::filesystem::create_directories(dir);
    return dir.string();
}

// range(1): 0 = the simulator makes every report, 1 = a report made in advance.
void BM_RecordAtFullRate(benchmark::State& state)
{
    const int64_t events = state.range(0);
    const bool replay = state.range(1) != 0;
    const std::string buffer = benchDir() + "/Buffer.log";
    int64_t total = 0;
    int params = 0;
    for (auto _ : state) {
        std::unique_ptr<HidTransport> transport;
        if (replay)
            transport = std::make_unique<ReplayTransport>();
        else
            transport = std::make_unique<SimTransport>(3);
        Acquisition acq(std::move(transport), buffer);
        acq.Open();
        acq.Start(AdcMode::Pmt32Foa6, true);
        std::vector<double> shown;
        auto nextFrame = std::chrono::steady_clock::now();
        while (acq.Counter() < events) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (std::chrono::steady_clock::now() >= nextFrame) {
                acq.LatestEvent(shown);
                nextFrame += std::chrono::milliseconds(100);
            }
        }
        acq.Stop();
        total += acq.Counter();
        params = acq.Layout().Decoder().ParamCount;
    }
    state.counters["events/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
    state.counters["parameters"] = params;
}
BENCHMARK(BM_RecordAtFullRate)->Args({1'000'000, 0})->Args({5'000'000, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SaveRecordingAsLmd(benchmark::State& state)
{
    const std::string buffer = benchDir() + "/Save.log";
    Recording rec;
    {
        auto* sim = new SimTransport(4);
        Acquisition acq(std::unique_ptr<HidTransport>(sim), buffer);
        acq.Open();
        sim->eventLimit = state.range(0);
        acq.Start(AdcMode::Pmt32Foa6, true);
        while (acq.Counter() < state.range(0))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        acq.Stop();
        rec = acq.LastRecording();
    }
    const std::string out = benchDir() + "/run.LMD";
    int64_t total = 0;
    for (auto _ : state)
        total += SaveAcquisitionLmd(out, rec, {});
    state.counters["events/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SaveRecordingAsLmd)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
