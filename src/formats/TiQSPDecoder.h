#pragma once
// The packet decoder of the multichannel acquisition electronics: one packet of
// 16-bit words becomes one row of parameter values. Shared by the log reader and
// the acquisition windows, which receive the same packets live.
//
// Packet: a header word; for each group in turn blocks of up to eight channel
// magnitudes, each block followed by a sign word (and one more word in the R
// layout); then optionally a 32-bit time stamp and a 32-bit boxcar width, each
// as low word then high word.
#include <cstdint>
#include <string>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class TiQSPDecoder {
public:
    // anc1..anc4: channel counts of the four groups in packet order; aR, ats,
    // abw: flags (non-zero = true); atsr: 10-ns units per time-stamp tick;
    // flip32: reverse the order of the first 32 values of every packet.
    TiQSPDecoder(uint16_t anc1, uint16_t anc2, uint16_t anc3, uint16_t anc4, uint16_t aR, uint16_t ats,
                 uint16_t abw, uint32_t atsr, bool flip32);

    // Decodes one packet of PacketLength bytes whose words are in machine byte
    // order; writes ParamCount values to dst and the header word to Header.
    void Convert(const uint16_t* src, double* dst, uint16_t& Header) const;
    // The same narrowed to 32-bit floats (through tmpdbl, so not thread-safe).
    void Convert(const uint16_t* src, float* dst, uint16_t& Header);
    // Decodes a packet whose words are stored most significant byte first, as
    // in the instrument's log files; the same values as swapping and Convert.
    void ConvertBigEndian(const uint8_t* packet, double* dst) const;

    // Reads a file that holds nothing but packets (machine byte order) from
    // offset 0; a trailing partial packet is ignored. Event packets are those
    // whose header word, as a signed number, is below -0x6000. result gets one
    // row per true entry of Params (which must have ParamCount entries) and
    // EventNum columns: value l of the j-th event packet goes to result[k][j],
    // k counting the selected values. Throws OrvalaError when the file cannot be
    // read or Params does not match ParamCount.
    void AsMatrix(const std::string& FileName, const TBoolVector& Params, TSingleMatrix& result, int& EventNum);

    uint16_t nc[4] = {};
    bool R = false;
    bool ts = false;
    bool bw = false;
    double tsr = 0;  // seconds per time-stamp tick
    TVector tmpdbl;  // scratch row of the single-precision Convert
    bool flip = false;
    int32_t ParamCount = 0;
    int32_t ChannelCount = 0;
    int32_t PacketLength = 0;

private:
    // Where each channel value lives in the packet, computed once: the loop
    // over a packet is then one pass over this plan.
    struct Slot {
        uint32_t word;  // magnitude
        uint32_t sign;  // sign word of its block
        uint32_t bit;   // bit of the sign word
        uint32_t dest;  // output position (after the flip)
    };
    std::vector<Slot> plan_;
    uint32_t tsWord_ = 0, tsDest_ = 0;
    uint32_t bwWord_ = 0, bwDest_ = 0;

    template <bool BigEndian>
    void decode(const uint8_t* packet, double* dst) const;
};

}  // namespace orvala
