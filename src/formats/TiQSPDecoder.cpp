#include "TiQSPDecoder.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "ByteSource.h"
#include "core/Messages.h"

namespace orvala {

namespace {

// Magnitudes are in units of 560/16384; the factor is exact in binary, so the
// product equals the division the instrument's documentation states.
constexpr double MagnitudeScale = 560.0 / 16384.0;
constexpr double BoxcarScale = 0.01;

template <bool BigEndian>
inline uint32_t wordAt(const uint8_t* p, uint32_t w)
{
    if constexpr (BigEndian) {
        return (uint32_t(p[2 * size_t(w)]) << 8) | uint32_t(p[2 * size_t(w) + 1]);
    } else {
        uint16_t v;
        std::memcpy(&v, p + 2 * size_t(w), 2);
        return v;
    }
}

}  // namespace

TiQSPDecoder::TiQSPDecoder(uint16_t anc1, uint16_t anc2, uint16_t anc3, uint16_t anc4, uint16_t aR, uint16_t ats,
                           uint16_t abw, uint32_t atsr, bool flip32)
    : nc{anc1, anc2, anc3, anc4}, R(aR != 0), ts(ats != 0), bw(abw != 0), tsr(double(atsr) * 1e-8), flip(flip32)
{
    ChannelCount = int32_t(anc1) + anc2 + anc3 + anc4;
    ParamCount = ChannelCount + (ts ? 1 : 0) + (bw ? 1 : 0);
    int32_t blocks = 0;
    for (uint16_t n : nc) blocks += (int32_t(n) + 7) / 8;
    PacketLength = 2 * (1 + ChannelCount + blocks * (1 + (R ? 1 : 0)) + 2 * (ts ? 1 : 0) + 2 * (bw ? 1 : 0));
    tmpdbl.assign(size_t(ParamCount), 0.0);

    // Output position of each value in decoding order; the flip swaps the first 32.
    std::vector<uint32_t> dest(static_cast<size_t>(ParamCount));
    std::iota(dest.begin(), dest.end(), 0u);
    if (flip && ParamCount >= 32)
        for (uint32_t i = 0; i < 16; ++i) std::swap(dest[i], dest[31 - i]);

    // Groups interleave in blocks of eight: eight of group 0, eight of group 1,
    // ..., then the next eight of group 0; groups that ran out are passed over.
    plan_.reserve(size_t(ChannelCount));
    int left[4] = {anc1, anc2, anc3, anc4};
    uint32_t word = 1;  // word 0 is the header
    while (left[0] + left[1] + left[2] + left[3] > 0) {
        for (int& l : left) {
            const int k = std::min(l, 8);
            if (k == 0) continue;
            l -= k;
            const uint32_t sign = word + uint32_t(k);
            for (int i = 0; i < k; ++i)
                plan_.push_back({word + uint32_t(i), sign, uint32_t(i), dest[plan_.size()]});
            word = sign + 1 + (R ? 1 : 0);
        }
    }
    uint32_t out = uint32_t(ChannelCount);
    if (ts) {
        tsWord_ = word;
        tsDest_ = dest[out++];
        word += 2;
    }
    if (bw) {
        bwWord_ = word;
        bwDest_ = dest[out++];
    }
}

template <bool BigEndian>
void TiQSPDecoder::decode(const uint8_t* p, double* dst) const
{
    // The sign picks the factor instead of a branch: sign bits of real data
    // follow no pattern a branch predictor could learn. Negation is exact, so
    // m * -scale equals -(m * scale).
    static constexpr double Factor[2] = {MagnitudeScale, -MagnitudeScale};
    for (const Slot& s : plan_) {
        const double m = double(wordAt<BigEndian>(p, s.word));
        dst[s.dest] = m * Factor[(wordAt<BigEndian>(p, s.sign) >> s.bit) & 1u];
    }
    if (ts) {
        const uint64_t t = wordAt<BigEndian>(p, tsWord_) + 65536ull * wordAt<BigEndian>(p, tsWord_ + 1);
        dst[tsDest_] = double(t) * tsr;
    }
    if (bw) {
        const uint64_t b = wordAt<BigEndian>(p, bwWord_) + 65536ull * wordAt<BigEndian>(p, bwWord_ + 1);
        dst[bwDest_] = double(b) * BoxcarScale;
    }
}

void TiQSPDecoder::Convert(const uint16_t* src, double* dst, uint16_t& Header) const
{
    Header = src[0];
    decode<false>(reinterpret_cast<const uint8_t*>(src), dst);
}

void TiQSPDecoder::Convert(const uint16_t* src, float* dst, uint16_t& Header)
{
    Convert(src, tmpdbl.data(), Header);
    for (int32_t i = 0; i < ParamCount; ++i) dst[i] = float(tmpdbl[size_t(i)]);
}

void TiQSPDecoder::ConvertBigEndian(const uint8_t* packet, double* dst) const { decode<true>(packet, dst); }

void TiQSPDecoder::AsMatrix(const std::string& FileName, const TBoolVector& Params, TSingleMatrix& result,
                            int& EventNum)
{
    if (Params.size() != size_t(ParamCount))
        throw OrvalaError("The parameter selection has " + std::to_string(Params.size()) +
                          " entries, but a packet holds " + std::to_string(ParamCount) + " values");
    const std::unique_ptr<ByteSource> file = openFileSource(FileName);
    if (!file) throw OrvalaError("Cannot open file " + FileName);
    std::vector<int> selected;
    for (size_t l = 0; l < Params.size(); ++l)
        if (Params[l]) selected.push_back(int(l));
    result.assign(selected.size(), TSingleVector{});
    EventNum = 0;

    const size_t P = size_t(PacketLength);
    const int64_t packets = file->size() / int64_t(P);
    const size_t perRead = std::max<size_t>(1, (size_t(1) << 20) / P);
    std::vector<uint8_t> block(perRead * P);
    TVector row(static_cast<size_t>(ParamCount));
    for (int64_t first = 0; first < packets; first += int64_t(perRead)) {
        const size_t n = size_t(std::min<int64_t>(int64_t(perRead), packets - first));
        if (file->readAt(first * int64_t(P), block.data(), n * P) != n * P)
            throw OrvalaError("Cannot read file " + FileName);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* packet = block.data() + i * P;
            int16_t header;
            std::memcpy(&header, packet, 2);
            if (header >= -0x6000) continue;
            decode<false>(packet, row.data());
            for (size_t k = 0; k < selected.size(); ++k) result[k].push_back(float(row[size_t(selected[k])]));
            ++EventNum;
        }
    }
}

}  // namespace orvala
