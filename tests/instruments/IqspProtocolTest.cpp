#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "formats/TiQSPDecoder.h"
#include "instruments/IqspProtocol.h"
#include "instruments/SimTransport.h"

using namespace orvala;
using namespace orvala::iqsp;

TEST(IqspErrorText, EveryCodeHasItsText)
{
    struct Case {
        int code;
        uint16_t index;
        const char* text;
    };
    const Case cases[] = {
        {0, NoNakIndex, "Everything Is Under Control !"},
        {5000, NoNakIndex, "Control Operation Failed, iQSP Not Present"},
        {5001, NoNakIndex, "Control Transfer to iQSP Failed"},
        {5002, NoNakIndex, "Control Read From iQSP Timed Out"},
        {5003, NoNakIndex, "Control Read Failed, Unknown Source"},
        {5004, NoNakIndex, "Control Operation Failed, Invalid Number of Arguments Returned by iQSP"},
        {5005, NoNakIndex, "Control Operation Failed, Invalid Checksum Returned by iQSP"},
        {5006, NoNakIndex, "Control Operation Failed, Start Codon Not Returned by iQSP"},
        {5007, NoNakIndex, "Control Operation Failed, Mirrored Opcode Incorrect"},
        {5009, NoNakIndex, "iQSP NAKed Control Operation,System Firmware Erase Failed"},
        {5010, NoNakIndex, "iQSP NAKed Control Operation, System Firmware Program Failed"},
        {5144, NoNakIndex, "iQSP NAKed Control Operation, Incomplete Command Received"},
        {5161, NoNakIndex, "iQSP NAKed Control Operation, Daughtercard Control Operation Timed Out"},
        {5178, NoNakIndex, "iQSP NAKed Control Operation, Argument Out Of Range "},
        {5178, 12, "iQSP NAKed Control Operation, Argument Out Of Range (Configuration Table Index 12)"},
        {5195, NoNakIndex, "iQSP NAKed Control Operation, Number of Arguments Too Large"},
        {5212, NoNakIndex, "iQSP NAKed Control Operation, Invalid Command"},
        {5229, NoNakIndex, "iQSP NAKed Control Operation, Received Command Length Incorrect"},
        {5246, NoNakIndex, "iQSP NAKed Control Operation, Start Codon Incorrect"},
        {5263, NoNakIndex, "iQSP NAKed Control Operation, Invalid Checksum"},
        {5300, NoNakIndex, "Acquizition is already running"},
        {6000, NoNakIndex, "Data Operation Failed, iQSP Not Present"},
        {6001, NoNakIndex, "Data Read Failed, Unknown Source"},
        {6002, NoNakIndex, "Data Read Failed, Invalid Checksum Returned by iQSP"},
        {6003, NoNakIndex, "Data Read Failed, Data Report(s) Dropped"},
        {6004, NoNakIndex, "Data Operation Failed, Additional Data Report Request Failed"},
        {6005, NoNakIndex, "Data Operation Failed, Data Set Size Too Large"},
        {6006, NoNakIndex, "Data Operation Failed, Data Messaging Failed"},
        {7000, NoNakIndex, "iQSP Initialization Failed, iQSP Not Detected"},
        {7001, NoNakIndex, "iQSP Initialization Failed, Speed String Retrieval Failed"},
        {7002, NoNakIndex, "iQSP Initialization Failed, iQSP Not Connected to High Speed (2.0) USB Host"},
        {7003, NoNakIndex, "iQSP Initialization Failed, Set Buffer Size Failed"},
        {7004, NoNakIndex, "iQSP Initialization Failed, Buffer Size Verification Failed"},
        {8000, NoNakIndex, "Command Timeout (Terminate)"},
        {8001, NoNakIndex, "Command Timeout (Init)"},
        {8002, NoNakIndex, "Command Timeout (Close)"},
        {8003, NoNakIndex, "Command Timeout (Control)"},
        {8004, NoNakIndex, "Command Timeout (Data)"},
        // A NAK code outside the table, and codes nobody assigned.
        {5008 + 0x42, NoNakIndex, "Default: All errors that have not been reassigned error strings."},
        {5008, NoNakIndex, "Default: All errors that have not been reassigned error strings."},
        {1, NoNakIndex, "Default: All errors that have not been reassigned error strings."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorText(c.code, c.index), c.text) << c.code;
}

TEST(IqspRequest, ReadConfigRequestIsFramedWithItsChecksum)
{
    const uint16_t arg = 1;
    std::vector<uint8_t> r;
    ASSERT_EQ(BuildRequest(OpReadConfig, &arg, 1, r, 64), Ok);
    ASSERT_EQ(r.size(), 64u);
    const uint16_t expected[] = {0x0011, 0x0043, 0x004D, 0x0044, 0x0004, 0x0001, 0x0001, 0xFF26};
    for (size_t w = 0; w < 8; ++w)
        EXPECT_EQ(getWord(r.data(), w), expected[w]) << "word " << w;
    for (size_t b = 16; b < r.size(); ++b)
        EXPECT_EQ(r[b], 0) << "byte " << b;
}

TEST(IqspRequest, RequestMustFitTheOutputReport)
{
    std::vector<uint16_t> args(10, 7);
    std::vector<uint8_t> r;
    EXPECT_EQ(BuildRequest(OpWriteConfig, args.data(), 10, r, 2 * (7 + 10)), Ok);
    EXPECT_EQ(BuildRequest(OpWriteConfig, args.data(), 10, r, 2 * (7 + 10) - 1), ControlTransferFailed);
}

namespace {

// A reply as it reaches the checks: report-id bytes dropped.
std::vector<uint8_t> Reply(uint16_t opcode, std::vector<uint16_t> data, uint16_t status = 0)
{
    const size_t f = data.size() + 1;
    std::vector<uint8_t> r(2 * (6 + f), 0);
    std::vector<uint16_t> w = {0x43, 0x4D, 0x44, opcode, uint16_t(f), status};
    w.insert(w.end(), data.begin(), data.end());
    for (size_t i = 0; i < w.size(); ++i)
        putWord(r.data(), i, w[i]);
    putWord(r.data(), w.size(), uint16_t(-std::accumulate(w.begin(), w.end(), 0)));
    return r;
}

void Reseal(std::vector<uint8_t>& r)
{
    const size_t f = getWord(r.data(), 4);
    uint16_t sum = 0;
    for (size_t i = 0; i < 5 + f; ++i)
        sum = uint16_t(sum + getWord(r.data(), i));
    putWord(r.data(), 5 + f, uint16_t(-sum));
}

}  // namespace

TEST(IqspReply, ChecksComeInOrderAndCatchShortReplies)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> reply;
        int error;
    };
    std::vector<Case> cases;
    auto good = Reply(4, {10, 20, 30});
    cases.push_back({"acknowledged", good, Ok});
    {
        auto r = good;
        putWord(r.data(), 4, 0);  // f = 0 would copy -1 words
        Reseal(r);
        cases.push_back({"f = 0", r, ReplyArgCount});
    }
    {
        auto r = Reply(4, std::vector<uint16_t>(2001, 1));
        putWord(r.data(), 4, 2002);
        cases.push_back({"f = 2002 with a bad checksum too", r, ReplyArgCount});
    }
    {
        auto r = good;
        r.resize(r.size() - 2);  // the checksum never arrived
        cases.push_back({"f beyond the bytes read", r, ReplyArgCount});
    }
    cases.push_back({"too short to hold f", std::vector<uint8_t>(good.begin(), good.begin() + 8), ReplyArgCount});
    {
        auto r = good;
        putWord(r.data(), 0, 0x44);  // codon and checksum both wrong
        cases.push_back({"checksum before codon", r, ReplyChecksum});
    }
    {
        auto r = good;
        putWord(r.data(), 1, 0x4E);
        putWord(r.data(), 3, 5);
        Reseal(r);
        cases.push_back({"codon before opcode", r, ReplyCodon});
    }
    {
        auto r = Reply(4, {0xAA, 12}, 1);
        putWord(r.data(), 3, 5);
        Reseal(r);
        cases.push_back({"opcode before status", r, ReplyOpcode});
    }
    cases.push_back({"NAK 0xAA", Reply(4, {0xAA, 12}, 1), NakBase + 0xAA});
    cases.push_back({"NAK without a code word", Reply(4, {}, 1), NakBase});
    for (const Case& c : cases)
        EXPECT_EQ(CheckReply(c.reply.data(), c.reply.size(), 4).error, c.error) << c.name;
}

TEST(IqspReply, NakCarriesItsIndexOnlyWhenSent)
{
    auto r = Reply(4, {0xAA, 12}, 1);
    ReplyCheck c = CheckReply(r.data(), r.size(), 4);
    EXPECT_EQ(c.error, 5178);
    EXPECT_EQ(c.nakIndex, 12);
    EXPECT_EQ(ErrorText(c.error, c.nakIndex), "iQSP NAKed Control Operation, Argument Out Of Range (Configuration Table Index 12)");
    r = Reply(4, {0xAA}, 1);
    c = CheckReply(r.data(), r.size(), 4);
    EXPECT_EQ(c.error, 5178);
    EXPECT_EQ(c.nakIndex, NoNakIndex);
    r = Reply(4, {7, 8, 9});
    c = CheckReply(r.data(), r.size(), 4);
    EXPECT_EQ(c.dataWords, 3);
}

namespace {

std::vector<uint8_t> DataReport(int m, int P, int E, int sequence, size_t extraBytes = 0)
{
    std::vector<uint8_t> r(2 * (10 + size_t(m)) + extraBytes, 0);
    r[0] = 2;
    putWord(r.data(), 5, uint16_t(m));
    putWord(r.data(), 6, uint16_t(P));
    putWord(r.data(), 7, uint16_t(E));
    putWord(r.data(), 8, uint16_t(sequence));
    for (int i = 0; i < m; ++i)
        putWord(r.data(), size_t(9 + i), uint16_t(i * 37));
    uint16_t sum = 0;
    for (int w = 1; w <= 8 + m; ++w)
        sum = uint16_t(sum + getWord(r.data(), size_t(w)));
    putWord(r.data(), size_t(9 + m), uint16_t(-sum));
    return r;
}

}  // namespace

TEST(IqspDataReport, SizeAndChecksum)
{
    DataReportHeader h;
    auto r = DataReport(12, 3, 4, 99);
    ASSERT_EQ(CheckDataReport(r.data(), r.size(), h), Ok);
    EXPECT_EQ(h.m, 12);
    EXPECT_EQ(h.P, 3);
    EXPECT_EQ(h.E, 4);
    EXPECT_EQ(h.sequence, 99);

    r = DataReport(2040, 1, 4, 0);  // right checksum, too large
    EXPECT_EQ(CheckDataReport(r.data(), r.size(), h), DataTooLarge);
    r = DataReport(12, 4, 4, 0);  // packets beyond the payload
    EXPECT_EQ(CheckDataReport(r.data(), r.size(), h), DataTooLarge);
    r = DataReport(12, 3, 4, 0);
    EXPECT_EQ(CheckDataReport(r.data(), r.size() - 2, h), DataTooLarge);  // checksum missing
    EXPECT_EQ(CheckDataReport(r.data(), 18, h), DataTooLarge);
    r[2 * 9] ^= 1;
    EXPECT_EQ(CheckDataReport(r.data(), r.size(), h), DataChecksum);
}

TEST(IqspDataReport, SequenceRunsDownAndWraps)
{
    const int N = 100;
    EXPECT_TRUE(SequenceFollows(N, 99, N));   // first report of a transfer
    EXPECT_TRUE(SequenceFollows(99, 98, N));
    EXPECT_FALSE(SequenceFollows(99, 97, N));
    EXPECT_TRUE(SequenceFollows(0, 99, N));   // the next request begins
    EXPECT_FALSE(SequenceFollows(0, 98, N));
    EXPECT_FALSE(SequenceFollows(N, 98, N));
}

TEST(IqspConfigTable, DefaultHoldsTheValuesInForce)
{
    const auto t = DefaultConfigTable();
    EXPECT_EQ(t[3], 14);
    EXPECT_EQ(t[4], 8);
    EXPECT_EQ(t[6], 8);
    EXPECT_EQ(t[7], 0);
    EXPECT_EQ(t[90], 1);
    EXPECT_EQ(t[91], 1);
    EXPECT_EQ(t[1245], 54631);
    // Trigger period 100000 ticks in four copies, integration time 1500.
    for (int w : {104, 106, 108, 110})
        EXPECT_EQ(t[size_t(w)] | (t[size_t(w + 1)] << 16), 100000) << w;
    EXPECT_EQ(t[112], 1500);
    EXPECT_EQ(t[149], 0);
    EXPECT_EQ(t[150], 32768);
    EXPECT_EQ(t[213], 32768);
    EXPECT_EQ(t[214], 0);
    EXPECT_EQ(t[1517], 165);
    EXPECT_EQ(t[1518], 165);
    EXPECT_EQ(t[1808], 4177);
    EXPECT_EQ(t[1999], 0);
}

TEST(IqspConfigTable, SimulatorPacketsHaveTheDecodersLength)
{
    auto t = DefaultConfigTable();
    for (int variant = 0; variant < 3; ++variant) {
        if (variant == 1)
            t[72] = 1;  // time stamps
        if (variant == 2) {
            t[82] = 0;
            t[91] = 0;
            t[3] = 5;
        }
        TiQSPDecoder d(t[3], t[4], t[5], t[6], t[82], t[72], t[91], t[74] | (uint32_t(t[75]) << 16), false);
        EXPECT_EQ(SimTransport::PacketWords(t) * 2, d.PacketLength) << variant;
    }
}
