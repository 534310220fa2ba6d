#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "instruments/IqspLink.h"
#include "instruments/SimTransport.h"

using namespace orvala;
using namespace orvala::iqsp;

namespace {

// A link over a simulated instrument that the test can still reach.
struct SimLink {
    SimTransport* sim;
    IqspLink link;
    explicit SimLink(uint32_t seed = 7) : sim(new SimTransport(seed)), link(std::unique_ptr<HidTransport>(sim))
    {
        EXPECT_TRUE(link.LinkInit());
    }
    int open(int buffers = 200)
    {
        int error = 0;
        uint8_t serial[4] = {};
        link.DeviceOpen(buffers, serial, error);
        return error;
    }
    int control(uint16_t opcode, std::vector<uint16_t> args, std::vector<uint16_t>* out = nullptr)
    {
        int error = 0, count = 0;
        std::vector<uint16_t> scratch(2000);
        std::vector<uint16_t>& o = out ? *out : scratch;
        o.resize(2000);
        link.ControlOp(opcode, args.data(), int(args.size()), 1000, count, o.data(), int(o.size()), error);
        o.resize(size_t(count));
        return error;
    }
};

// Collects what the callback hands back, from the worker thread.
struct Collector {
    std::mutex m;
    std::vector<uint8_t> bytes;
    std::vector<int> codes;  // every callback code in order
    int finalCode = -100;
    bool ended = false;
    DataCallback callback()
    {
        return [this](int code, uint8_t* buffer, size_t n) {
            std::lock_guard<std::mutex> g(m);
            codes.push_back(code);
            if (buffer)
                bytes.insert(bytes.end(), buffer, buffer + n);
            else {
                finalCode = code;
                ended = true;
            }
        };
    }
    bool hasEnded()
    {
        std::lock_guard<std::mutex> g(m);
        return ended;
    }
};

void WaitFor(const std::function<bool()>& done)
{
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

TEST(IqspLinkOpen, OpensAndReadsTheSerialNumber)
{
    SimLink s;
    int error = 0;
    uint8_t serial[4] = {};
    s.link.DeviceOpen(200, serial, error);
    EXPECT_EQ(error, Ok);
    EXPECT_TRUE(s.link.IsOpen());
    EXPECT_EQ(serial[0], 0x09);
    EXPECT_EQ(serial[1], 0x25);
    EXPECT_EQ(serial[2], 0xC0);
    EXPECT_EQ(serial[3], 0xDE);
}

TEST(IqspLinkOpen, RefusalsLeaveTheDeviceClosed)
{
    const std::pair<SimTransport::OpenFault, int> cases[] = {
        {SimTransport::OpenFault::NoDevice, NotDetected},
        {SimTransport::OpenFault::StringFails, SpeedStringFailed},
        {SimTransport::OpenFault::FullSpeed, NotHighSpeed},
        {SimTransport::OpenFault::SetBuffersFails, SetBuffersFailed},
        {SimTransport::OpenFault::BuffersDiffer, VerifyBuffersFailed},
    };
    for (const auto& [fault, code] : cases) {
        SimLink s;
        s.sim->faults.open = fault;
        EXPECT_EQ(s.open(), code);
        EXPECT_FALSE(s.link.IsOpen()) << code;
        EXPECT_FALSE(s.sim->isOpen()) << code;
        // The next open finds it again.
        s.sim->faults.open = SimTransport::OpenFault::None;
        EXPECT_EQ(s.open(), Ok);
    }
}

TEST(IqspLinkControl, WritesAndReadsBothConfigurationTables)
{
    SimLink s;
    ASSERT_EQ(s.open(), Ok);
    std::vector<uint16_t> table;
    ASSERT_EQ(s.control(OpReadConfig, {0}, &table), Ok);
    const auto def = DefaultConfigTable();
    ASSERT_EQ(table.size(), 2000u);
    EXPECT_TRUE(std::equal(table.begin(), table.end(), def.begin()));

    std::vector<uint16_t> args = {1};
    for (int i = 0; i < 1249; ++i)
        args.push_back(uint16_t(i * 3 + 1));
    ASSERT_EQ(s.control(OpWriteConfig, args), Ok);
    ASSERT_EQ(s.control(OpReadConfig, {1}, &table), Ok);
    for (int i = 0; i < 1249; ++i)
        ASSERT_EQ(table[size_t(i)], uint16_t(i * 3 + 1)) << i;
    EXPECT_EQ(table[1500], def[1500]);
    ASSERT_EQ(s.control(OpReadConfig, {0}, &table), Ok);
    EXPECT_TRUE(std::equal(table.begin(), table.end(), def.begin())) << "selector 0 untouched";

    // Other opcodes the program uses are acknowledged with no data.
    EXPECT_EQ(s.control(OpBackground, {0x55, 0xAA, 2}), Ok);
    EXPECT_EQ(s.control(OpFeature, {1, 2, 3}), Ok);
    EXPECT_EQ(s.control(OpAcquire, {0x55, 0xAA, 1}), Ok);
    EXPECT_TRUE(s.sim->acquiring());
    EXPECT_EQ(s.control(OpAcquire, {0x55, 0xAA, 0}), Ok);
    EXPECT_FALSE(s.sim->acquiring());
}

TEST(IqspLinkControl, CapacityLimitsTheCopyNotTheCount)
{
    SimLink s;
    ASSERT_EQ(s.open(), Ok);
    std::vector<uint16_t> out(10, 0xBEEF);
    int error = 0, count = 0;
    const uint16_t sel = 0;
    s.link.ControlOp(OpReadConfig, &sel, 1, 1000, count, out.data(), 4, error);
    EXPECT_EQ(error, Ok);
    EXPECT_EQ(count, 2000);
    EXPECT_EQ(out[3], 14);
    EXPECT_EQ(out[4], 0xBEEF);
}

TEST(IqspLinkControl, EveryFaultGivesItsCodeAndClosesTheDevice)
{
    using CF = SimTransport::ControlFault;
    struct Case {
        const char* name;
        CF fault;
        bool writeFails;
        uint16_t opcode;
        std::vector<uint16_t> args;
        int error;
    };
    const std::vector<uint16_t> read0 = {0};
    const Case cases[] = {
        {"write fails", CF::None, true, OpReadConfig, read0, ControlTransferFailed},
        {"silence", CF::Silence, false, OpReadConfig, read0, ControlTimedOut},
        {"f too large", CF::TooManyWords, false, OpReadConfig, read0, ReplyArgCount},
        {"short reply", CF::ShortReply, false, OpReadConfig, read0, ReplyArgCount},
        {"checksum", CF::BadChecksum, false, OpReadConfig, read0, ReplyChecksum},
        {"codon", CF::BadCodon, false, OpReadConfig, read0, ReplyCodon},
        {"opcode", CF::BadOpcode, false, OpReadConfig, read0, ReplyOpcode},
        {"feature checksum", CF::BadChecksum, false, OpFeature, {1}, ReplyChecksum},
        {"unknown opcode", CF::None, false, 99, {}, NakBase + 0xCC},
        {"table too long", CF::None, false, OpWriteConfig, std::vector<uint16_t>(2002, 0), NakBase + 0xBB},
        {"selector out of range", CF::None, false, OpReadConfig, {2}, NakBase + 0xAA},
    };
    for (const Case& c : cases) {
        SimLink s;
        ASSERT_EQ(s.open(), Ok);
        s.sim->faults.control = c.fault;
        s.sim->faults.writeFails = c.writeFails;
        std::vector<uint16_t> out;
        EXPECT_EQ(s.control(c.opcode, c.args, &out), c.error) << c.name;
        EXPECT_TRUE(out.empty()) << c.name;
        EXPECT_FALSE(s.link.IsOpen()) << c.name;
        EXPECT_EQ(s.control(OpReadConfig, {0}), ControlNotPresent) << c.name;
    }
}

TEST(IqspLinkControl, NakWithIndexGivesTheFullText)
{
    SimLink s;
    ASSERT_EQ(s.open(), Ok);
    s.sim->faults.control = SimTransport::ControlFault::Nak;
    s.sim->faults.nakCode = 0xAA;
    s.sim->faults.nakIndex = 12;
    const int error = s.control(OpReadConfig, {0});
    EXPECT_EQ(error, 5178);
    EXPECT_EQ(s.link.NakIndex(), 12);
    EXPECT_EQ(s.link.ErrorText(error), "iQSP NAKed Control Operation, Argument Out Of Range (Configuration Table Index 12)");
}

TEST(IqspLinkControl, SetErrorMakesOperationsDoNothing)
{
    SimLink s;
    ASSERT_EQ(s.open(), Ok);
    int error = ControlTimedOut, count = 5;
    const uint16_t sel = 0;
    uint16_t out[4] = {};
    s.link.ControlOp(OpReadConfig, &sel, 1, 1000, count, out, 4, error);
    EXPECT_EQ(error, ControlTimedOut);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(s.link.IsOpen());
}

TEST(IqspLinkData, QueuedAcquisitionDeliversEverySimulatedEventInOrder)
{
    SimLink s(2026);
    s.sim->recordEvents = true;
    s.sim->eventLimit = 100000;
    ASSERT_EQ(s.open(200), Ok);
    // Buffers that do not hold a whole number of reports, so packets of one
    // report are split over two buffers.
    const int E = SimTransport::PacketWords(s.sim->table(0));
    std::vector<std::vector<uint8_t>> buffers(8, std::vector<uint8_t>(size_t(E) * 2 * 97 + 5));
    Collector c;
    std::atomic<int64_t> counter{0};
    DataCallback handBack = [&](int code, uint8_t* buffer, size_t n) {
        c.callback()(code, buffer, n);
        if (code == 0 && buffer)
            s.link.DataQueueBuffer(buffer, buffers[0].size());  // the window empties it and gives it back
    };
    for (auto& b : buffers)
        s.link.DataQueueBuffer(b.data(), b.size());
    int error = 0;
    s.link.DataStart(true, &counter, error, handBack);
    ASSERT_EQ(error, Ok);
    WaitFor([&] { return counter.load() >= 100000 || c.hasEnded(); });
    s.link.DataStop(error);
    EXPECT_EQ(error, Ok);
    ASSERT_TRUE(c.hasEnded());
    EXPECT_EQ(c.finalCode, Ok);
    EXPECT_EQ(c.codes.back(), Ok);
    EXPECT_EQ(c.codes[c.codes.size() - 2], -1) << "the partly filled buffer comes back on stop";
    EXPECT_EQ(counter.load(), 100000);
    EXPECT_EQ(s.sim->sentEvents(), 100000);
    EXPECT_FALSE(s.sim->acquiring()) << "the device was told to stop";
    ASSERT_EQ(c.bytes.size(), s.sim->sentPackets.size() * 2);
    std::vector<uint16_t> got(c.bytes.size() / 2);
    for (size_t i = 0; i < got.size(); ++i)
        got[i] = getWord(c.bytes.data(), i);
    EXPECT_TRUE(got == s.sim->sentPackets);
    EXPECT_TRUE(s.link.IsOpen());
}

TEST(IqspLinkData, StopDuringAReadHandsBackThePartialBuffer)
{
    SimLink s;
    s.sim->eventLimit = 10;  // then the sample runs dry and reads wait
    ASSERT_EQ(s.open(200), Ok);
    const int E = SimTransport::PacketWords(s.sim->table(0));
    std::vector<uint8_t> buffer(1 << 20);
    Collector c;
    std::atomic<int64_t> counter{0};
    s.link.DataQueueBuffer(buffer.data(), buffer.size());
    int error = 0;
    s.link.DataStart(true, &counter, error, c.callback());
    WaitFor([&] { return counter.load() >= 10; });
    EXPECT_TRUE(s.link.Running());
    s.link.DataStop(error);
    EXPECT_EQ(error, Ok);
    EXPECT_FALSE(s.link.Running());
    ASSERT_EQ(c.codes, (std::vector<int>{-1, 0}));
    EXPECT_EQ(c.bytes.size(), size_t(10 * E * 2));
    EXPECT_TRUE(s.link.IsOpen());
}

TEST(IqspLinkData, DataErrorsEndTheTransferStopTheDeviceAndClose)
{
    using DF = SimTransport::DataFault;
    struct Case {
        DF fault;
        int at;
        int error;
    };
    const Case cases[] = {
        {DF::SequenceGap, 0, DataDropped},   // 97 after 99
        {DF::SequenceGap, 150, DataDropped}, // inside the second request
        {DF::QueueOverflow, 3, DataDropped},
        {DF::BadChecksum, 5, DataChecksum},
        {DF::Oversize, 2, DataTooLarge},
    };
    for (const Case& k : cases) {
        SimLink s;
        s.sim->recordEvents = true;
        s.sim->faults.data = k.fault;
        s.sim->faults.dataFaultAt = k.at;
        ASSERT_EQ(s.open(200), Ok);
        std::vector<std::vector<uint8_t>> buffers(4, std::vector<uint8_t>(1 << 22));
        for (auto& b : buffers)
            s.link.DataQueueBuffer(b.data(), b.size());
        Collector c;
        std::atomic<int64_t> counter{0};
        int error = 0;
        s.link.DataStart(true, &counter, error, c.callback());
        WaitFor([&] { return c.hasEnded(); });
        s.link.DataStop(error);
        EXPECT_EQ(c.finalCode, k.error) << k.at;
        // The events copied before the error come back in the partly filled
        // buffer, ahead of the final code; none of the faulty report is in it.
        const int E = SimTransport::PacketWords(s.sim->table(0));
        EXPECT_EQ(int64_t(c.bytes.size()), counter.load() * E * 2) << k.at;
        if (counter.load() > 0)
            EXPECT_EQ(c.codes, (std::vector<int>{-1, k.error})) << k.at;
        else
            EXPECT_EQ(c.codes, std::vector<int>{k.error}) << k.at;
        std::vector<uint16_t> got(c.bytes.size() / 2);
        for (size_t i = 0; i < got.size(); ++i)
            got[i] = getWord(c.bytes.data(), i);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), s.sim->sentPackets.begin())) << k.at;
        EXPECT_FALSE(s.sim->acquiring()) << "the device is told to stop even after a data error";
        EXPECT_FALSE(s.link.IsOpen());
        EXPECT_EQ(s.open(200), Ok) << "the next open finds it again";
    }
}

TEST(IqspLinkData, DisplayModeWaitsForEachReportAndStopsWhileWaiting)
{
    SimLink s;
    ASSERT_EQ(s.open(200), Ok);
    std::atomic<int> notified{0};
    std::atomic<int64_t> counter{0};
    Collector c;
    int error = 0;
    s.link.DataStart(false, &counter, error, c.callback(), [&] { notified.fetch_add(1); });
    std::vector<uint16_t> payload;
    int E = 0;
    int taken = 0;
    int64_t events = 0;
    while (taken < 5) {
        if (s.link.TakeReport(payload, E)) {
            ++taken;
            ASSERT_GT(E, 0);
            ASSERT_EQ(payload.size() % size_t(E), 0u);
            events += int64_t(payload.size()) / E;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // The worker now waits for the sixth report to be shown; stopping must not deadlock.
    WaitFor([&] { return notified.load() >= 6; });
    s.link.DataStop(error);
    EXPECT_EQ(error, Ok);
    EXPECT_EQ(c.codes, (std::vector<int>{0}));
    EXPECT_EQ(notified.load(), 6);
    EXPECT_EQ(counter.load(), events + int64_t(payload.size()) / E) << "each report counts its packets once";
}

TEST(IqspLinkData, StartNeedsAnOpenDeviceAndNoRunningTransfer)
{
    SimLink s;
    std::atomic<int64_t> counter{0};
    int error = 0;
    s.link.DataStart(true, &counter, error, {});
    EXPECT_EQ(error, DataNotPresent);
    ASSERT_EQ(s.open(200), Ok);
    error = 0;
    s.link.DataStart(true, &counter, error, {});
    EXPECT_EQ(error, Ok);
    s.link.DataStart(true, &counter, error, {});
    EXPECT_EQ(error, AlreadyRunning);
    error = 0;
    s.link.DataStop(error);
    EXPECT_FALSE(s.link.Running());
}

TEST(IqspLinkData, TerminateDuringATransferStopsAndJoinsFirst)
{
    auto* sim = new SimTransport(3);
    auto link = std::make_unique<IqspLink>(std::unique_ptr<HidTransport>(sim));
    ASSERT_TRUE(link->LinkInit());
    int error = 0;
    uint8_t serial[4];
    link->DeviceOpen(200, serial, error);
    ASSERT_EQ(error, Ok);
    std::vector<uint8_t> buffer(1 << 16);
    link->DataQueueBuffer(buffer.data(), buffer.size());
    std::atomic<int64_t> counter{0};
    Collector c;
    link->DataStart(true, &counter, error, c.callback());
    WaitFor([&] { return counter.load() > 0; });
    link->LinkTerminate();
    EXPECT_TRUE(c.hasEnded());
    EXPECT_FALSE(sim->isOpen());
    link.reset();  // frees the simulator too; sanitizers catch any late access
}
