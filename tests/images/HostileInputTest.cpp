// Mutated pictures and BIP files: every reader either decodes or throws its
// own error with a message; nothing crashes, hangs or throws anything else.
#include <gtest/gtest.h>

#include <random>

#include "BipBuilder.h"
#include "JpegFixture.h"
#include "core/Records.h"
#include "formats/images/MultiPage.h"
#include "formats/images/PictureReader.h"
#include "formats/images/TKodakBIP.h"

namespace orvala {
namespace {

TBitmap gradient(int w, int h)
{
    TBitmap b;
    b.width = w;
    b.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.pixels.push_back(uint32_t(x * 9) | uint32_t(y * 5) << 8 | uint32_t(x ^ y) << 16);
    return b;
}

// Flips, overwrites and cuts bytes, favouring the headers where sizes live.
std::vector<uint8_t> mutate(const std::vector<uint8_t>& seed, std::mt19937& rng)
{
    std::vector<uint8_t> m = seed;
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits && !m.empty(); ++e) {
        const size_t span = rng() % 2 ? std::min<size_t>(m.size(), 128) : m.size();
        const size_t at = rng() % span;
        switch (rng() % 4) {
        case 0: m[at] ^= uint8_t(1u << (rng() % 8)); break;
        case 1: m[at] = uint8_t(rng()); break;
        case 2: m[at] = rng() % 2 ? 0xFF : 0x00; break;
        default: m.resize(at); break;
        }
    }
    return m;
}

template <typename Read>
void survives(const std::vector<uint8_t>& seed, Read read, int rounds)
{
    std::mt19937 rng(20261210);
    int decoded = 0, refused = 0;
    for (int i = 0; i < rounds; ++i) {
        const std::vector<uint8_t> bytes = mutate(seed, rng);
        try {
            read(bytes);
            ++decoded;
        } catch (const OrvalaError& e) {
            EXPECT_NE(std::string(e.what()), "");
            ++refused;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << i << " threw " << typeid(e).name() << ": " << e.what();
        }
    }
    EXPECT_EQ(decoded + refused, rounds);
    EXPECT_GT(refused, 0);  // the mutations do reach the checks
}

TEST(HostileInput, MutatedBmpsDecodeOrFailWithAMessage)
{
    MemoryStream s;
    WriteBitmap(s, gradient(9, 7));
    survives(s.bytes(), [](const std::vector<uint8_t>& b) { DecodePicture(b, "m.bmp"); }, 1500);
    const TBitmap g = gradient(9, 7);
    std::vector<uint8_t> grey(63);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(g.pixels[i]);
    survives(GreyBmpBytes(9, 7, grey.data()), [](const std::vector<uint8_t>& b) { DecodePicture(b, "g.bmp"); }, 1500);
}

#ifdef ORVALA_HAVE_LIBJPEG
TEST(HostileInput, MutatedJpegsDecodeOrFailWithAMessage)
{
    survives(test::encodeJpeg(gradient(24, 16)), [](const std::vector<uint8_t>& b) { DecodePicture(b, "m.jpg"); }, 1500);
}
#endif

TEST(HostileInput, MutatedBipFilesLoadOrFailWithAMessage)
{
    survives(test::bipFile(5, 3, std::vector<float>(15, 2.5f)),
             [](const std::vector<uint8_t>& b) {
                 TKodakBIP bip;
                 bip.LoadFromBytes(b, "m.bip");
                 ASSERT_EQ(bip.bitmap.size(), size_t(bip.FWidth) * size_t(bip.FHeight));
             },
             3000);
}

}  // namespace
}  // namespace orvala
