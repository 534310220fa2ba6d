// Feeds arbitrary bytes to the instrument-log and text-table readers and to
// the packet decoder. The first byte picks the reader; the ones after it set
// what a file of that kind would carry where a blind guess rarely gets it
// right (the log signature and table, the converter's title, the dialog's
// choices), so that the rest of the input reaches the decoding loops.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/TData.h"
#include "formats/ByteSource.h"
#include "formats/TextLogOpen.h"
#include "formats/TiQSPDecoder.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t take()
    {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    uint16_t take16() { return uint16_t(take() | (take() << 8)); }
};

void read(const std::vector<uint8_t>& bytes, const std::string& ext, const ReadOptions& options)
{
    static TMultiThread pool(2);
    TData d;
    try {
        ReadTextOrLog(MemorySource(bytes.data(), bytes.size()), ext, "fuzz" + ext, options, d, &pool);
    } catch (const OrvalaError&) {
        return;  // a refused file is a correct outcome
    }
    // The data set must be what it claims to be.
    if (d.data.rows() != d.events() || d.data.cols() != d.CaseSize() || int(d.Desc().size()) != d.CaseSize())
        __builtin_trap();
    if (!d.Eventnames.empty() && int(d.Eventnames.size()) != d.events()) __builtin_trap();
    volatile double sum = 0;
    for (int e = 0; e < d.events(); ++e)
        for (int c = 0; c < d.CaseSize(); ++c) sum = sum + d.data[e][c];
}

// The iQSP-480 log: signature, a table whose used words come from the input
// (counts kept small so packets are short), then the rest as packets.
void iqspLog(Input in)
{
    std::vector<uint8_t> file(66, ' ');
    std::memcpy(file.data(), "Vtech iQSP-480", 14);
    std::vector<uint16_t> table(2000, 0);
    for (int g = 0; g < 4; ++g) table[size_t(3 + g)] = in.take() % 41;
    table[72] = in.take() & 1;
    table[74] = in.take16();
    table[75] = in.take16();
    table[76] = in.take() & 1;
    table[77] = in.take() % 9;
    table[82] = in.take() & 1;
    table[91] = in.take() & 1;
    if (in.take() == 0xFF) table[3] = in.take16();  // now and then a large count
    for (uint16_t w : table) {
        file.push_back(uint8_t(w >> 8));
        file.push_back(uint8_t(w & 0xFF));
    }
    file.insert(file.end(), in.p, in.p + in.n);
    read(file, ".log", {});
}

void decoder(Input in)
{
    const uint16_t n0 = in.take() % 70, n1 = in.take() % 20, n2 = in.take() % 20, n3 = in.take() % 20;
    const uint8_t flags = in.take();
    const uint32_t tsr = in.take16();
    TiQSPDecoder dec(n0, n1, n2, n3, flags & 1, flags & 2, flags & 4, tsr, flags & 8);
    const size_t P = size_t(dec.PacketLength);
    std::vector<double> out(size_t(dec.ParamCount));
    std::vector<float> outf(size_t(dec.ParamCount));
    std::vector<uint16_t> words(P / 2);
    while (in.n >= P) {
        std::memcpy(words.data(), in.p, P);
        uint16_t header = 0;
        dec.Convert(words.data(), out.data(), header);
        dec.Convert(words.data(), outf.data(), header);
        dec.ConvertBigEndian(in.p, out.data());
        in.p += P;
        in.n -= P;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    const uint8_t kind = in.take();
    ReadOptions options;
    switch (kind % 6) {
    case 0:
        iqspLog(in);
        break;
    case 1:  // anything as a log: the signature test and the 32-channel log
        options.EventLimit = in.take() % 4;
        read(std::vector<uint8_t>(in.p, in.p + in.n), ".log", options);
        break;
    case 2: {  // the converter's text: title line, then the input
        options.EventLimit = in.take() % 4;
        std::string head = "iQSP Logfile to Textfile Converter\r\n";
        std::vector<uint8_t> file(head.begin(), head.end());
        file.insert(file.end(), in.p, in.p + in.n);
        read(file, ".txt", options);
        break;
    }
    case 3:
    case 4: {  // delimited text under the dialog's choices
        const uint8_t f = in.take();
        TextFormat& t = options.Text;
        t.parnam = f & 1;
        t.evetnam = f & 2;
        t.Space = f & 4;
        t.Tab = f & 8;
        t.Comma = f & 16;
        t.Colon = f & 32;
        t.Line = 1 + (f >> 6);
        options.EventLimit = in.take() % 4;
        read(std::vector<uint8_t>(in.p, in.p + in.n), ".txt", options);
        break;
    }
    default:
        decoder(in);
        break;
    }
    return 0;
}
