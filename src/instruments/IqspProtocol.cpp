#include "instruments/IqspProtocol.h"

#include <charconv>
#include <string_view>

namespace orvala::iqsp {

namespace {

struct NakText {
    int code;
    const char* text;
};

constexpr NakText kTexts[] = {
    {0, "Everything Is Under Control !"},
    {5000, "Control Operation Failed, iQSP Not Present"},
    {5001, "Control Transfer to iQSP Failed"},
    {5002, "Control Read From iQSP Timed Out"},
    {5003, "Control Read Failed, Unknown Source"},
    {5004, "Control Operation Failed, Invalid Number of Arguments Returned by iQSP"},
    {5005, "Control Operation Failed, Invalid Checksum Returned by iQSP"},
    {5006, "Control Operation Failed, Start Codon Not Returned by iQSP"},
    {5007, "Control Operation Failed, Mirrored Opcode Incorrect"},
    {5009, "iQSP NAKed Control Operation,System Firmware Erase Failed"},
    {5010, "iQSP NAKed Control Operation, System Firmware Program Failed"},
    {5144, "iQSP NAKed Control Operation, Incomplete Command Received"},
    {5161, "iQSP NAKed Control Operation, Daughtercard Control Operation Timed Out"},
    {5195, "iQSP NAKed Control Operation, Number of Arguments Too Large"},
    {5212, "iQSP NAKed Control Operation, Invalid Command"},
    {5229, "iQSP NAKed Control Operation, Received Command Length Incorrect"},
    {5246, "iQSP NAKed Control Operation, Start Codon Incorrect"},
    {5263, "iQSP NAKed Control Operation, Invalid Checksum"},
    {5300, "Acquizition is already running"},
    {6000, "Data Operation Failed, iQSP Not Present"},
    {6001, "Data Read Failed, Unknown Source"},
    {6002, "Data Read Failed, Invalid Checksum Returned by iQSP"},
    {6003, "Data Read Failed, Data Report(s) Dropped"},
    {6004, "Data Operation Failed, Additional Data Report Request Failed"},
    {6005, "Data Operation Failed, Data Set Size Too Large"},
    {6006, "Data Operation Failed, Data Messaging Failed"},
    {7000, "iQSP Initialization Failed, iQSP Not Detected"},
    {7001, "iQSP Initialization Failed, Speed String Retrieval Failed"},
    {7002, "iQSP Initialization Failed, iQSP Not Connected to High Speed (2.0) USB Host"},
    {7003, "iQSP Initialization Failed, Set Buffer Size Failed"},
    {7004, "iQSP Initialization Failed, Buffer Size Verification Failed"},
    {8000, "Command Timeout (Terminate)"},
    {8001, "Command Timeout (Init)"},
    {8002, "Command Timeout (Close)"},
    {8003, "Command Timeout (Control)"},
    {8004, "Command Timeout (Data)"},
};

// Entries "a=v" or "a-b=v"; every word not named is 0.
constexpr std::string_view kDefaultTable =
    "1=8000; 2=500; 3=14; 4-6=8; 8=8000; 9=500; 71=4; 74=10; 77=1; 80=3; 82=1; 83=2; 84=1; 86=10; 88=10; 90-91=1; 101-103=4; 104=34464; 105=1; 106=34464; 107=1; 108=34464; 109=1; 110=34464; 111=1; 112=1500; 114=20; 116=20; 118=20; 122=1; 124=1; 126=1; 128=3; 129=4; 150-213=32768; 1243=39100; 1244=10427; 1245=54631; 1247=55111; 1248=2730; 1249=7690; 1250=5124; 1251=1539; 1252=5124; 1253=1539; 1510=166; 1511=168; 1512=176; 1513=171; 1514=168; 1515=167; 1516=171; 1517-1518=165; 1519=168; 1520=162; 1521=159; 1522=163; 1523=166; 1524=176; 1525=170; 1526=167; 1527=157; 1528=167; 1529=158; 1530=168; 1531=166; 1532=175; 1533=166; 1534=153; 1535=157; 1536=167; 1537=172; 1538=171; 1539=160; 1540=179; 1541=166; 1542-1543=157; 1544=173; 1545=161; 1546=162; 1547=167; 1548=161; 1549=159; 1550=176; 1551=172; 1552=177; 1553=167; 1554=174; 1555=167; 1556=169; 1557=171; 1558=178; 1559=183; 1560=178; 1561=153; 1562=171; 1563=167; 1564=178; 1565=161; 1566=169; 1567=166; 1568=170; 1569=151; 1570-1571=168; 1572=163; 1573=164; 1769=1283; 1770=1; 1771=4369; 1774=683; 1777-1780=2458; 1781-1784=5734; 1785-1788=1638; 1789-1792=65534; 1793-1794=683; 1795-1798=255; 1799-1802=16; 1804=3; 1805=210; 1806=4464; 1807=210; 1808=4177";

}  // namespace

std::string ErrorText(int code, uint16_t nakIndex)
{
    if (code == NakBase + 0xAA) {
        if (nakIndex == NoNakIndex)
            return "iQSP NAKed Control Operation, Argument Out Of Range ";
        return "iQSP NAKed Control Operation, Argument Out Of Range (Configuration Table Index " + std::to_string(nakIndex) + ")";
    }
    for (const NakText& t : kTexts)
        if (t.code == code)
            return t.text;
    return "Default: All errors that have not been reassigned error strings.";
}

int BuildRequest(uint16_t opcode, const uint16_t* args, int argCount, std::vector<uint8_t>& out, int outputLength)
{
    if (argCount < 0 || outputLength < 0 || 2 * (7 + size_t(argCount)) > size_t(outputLength))
        return ControlTransferFailed;
    out.assign(size_t(outputLength), 0);
    uint8_t* p = out.data();
    putWord(p, 0, ControlReportId);
    for (int i = 0; i < 3; ++i)
        putWord(p, 1 + i, Codon[i]);
    putWord(p, 4, opcode);
    putWord(p, 5, uint16_t(argCount));
    for (int i = 0; i < argCount; ++i)
        putWord(p, 6 + i, args[i]);
    uint16_t sum = 0;
    for (int w = 1; w <= 5 + argCount; ++w)
        sum = uint16_t(sum + getWord(p, w));
    putWord(p, 6 + argCount, uint16_t(-sum));
    return Ok;
}

ReplyCheck CheckReply(const uint8_t* reply, size_t bytes, uint16_t opcode)
{
    ReplyCheck r;
    // f must be readable and every word it announces must have arrived: a short
    // or zero count would otherwise copy words that were never sent.
    if (bytes < 2 * 5) {
        r.error = ReplyArgCount;
        return r;
    }
    const int f = getWord(reply, 4);
    if (f < 1 || f > MaxReplyF || 2 * (6 + size_t(f)) > bytes) {
        r.error = ReplyArgCount;
        return r;
    }
    uint16_t sum = 0;
    for (int w = 0; w <= 5 + f; ++w)
        sum = uint16_t(sum + getWord(reply, w));
    if (sum != 0) {
        r.error = ReplyChecksum;
        return r;
    }
    for (int i = 0; i < 3; ++i)
        if (getWord(reply, i) != Codon[i]) {
            r.error = ReplyCodon;
            return r;
        }
    if (getWord(reply, 3) != opcode) {
        r.error = ReplyOpcode;
        return r;
    }
    if (getWord(reply, 5) != 0) {
        // Word 6 belongs to the reply only when f >= 2; with f = 1 it is the checksum.
        const int code = f >= 2 ? getWord(reply, 6) : 0;
        r.error = NakBase + code;
        r.nakIndex = f >= 3 ? getWord(reply, 7) : NoNakIndex;
        return r;
    }
    r.dataWords = f - 1;
    return r;
}

int CheckDataReport(const uint8_t* report, size_t bytes, DataReportHeader& head)
{
    if (bytes < 2 * 10)
        return DataTooLarge;
    const int m = getWord(report, 5);
    const int P = getWord(report, 6);
    const int E = getWord(report, 7);
    // The payload and checksum must have arrived and the packets must lie within the payload.
    if (m > MaxPayloadWords || 2 * (10 + size_t(m)) > bytes || size_t(P) * size_t(E) > size_t(m))
        return DataTooLarge;
    uint16_t sum = 0;
    for (int w = 1; w <= 9 + m; ++w)
        sum = uint16_t(sum + getWord(report, w));
    if (sum != 0)
        return DataChecksum;
    head.m = m;
    head.P = P;
    head.E = E;
    head.sequence = getWord(report, 8);
    return Ok;
}

std::array<uint16_t, ConfigWords> DefaultConfigTable()
{
    std::array<uint16_t, ConfigWords> t{};
    std::string_view s = kDefaultTable;
    while (!s.empty()) {
        const size_t end = s.find(';');
        std::string_view e = s.substr(0, end);
        s = end == std::string_view::npos ? std::string_view{} : s.substr(end + 1);
        while (!e.empty() && e.front() == ' ')
            e.remove_prefix(1);
        int a = 0, b = 0, v = 0;
        const char* p = e.data();
        const char* last = e.data() + e.size();
        p = std::from_chars(p, last, a).ptr;
        b = a;
        if (p < last && *p == '-')
            p = std::from_chars(p + 1, last, b).ptr;
        if (p < last && *p == '=')
            std::from_chars(p + 1, last, v);
        for (int w = a; w <= b && w < ConfigWords; ++w)
            t[size_t(w)] = uint16_t(v);
    }
    return t;
}

}  // namespace orvala::iqsp
