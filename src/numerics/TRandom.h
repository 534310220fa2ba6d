#pragma once
// The program's random numbers: two 16-bit multiply-with-carry generators with
// fixed seeds, so every run produces the same sequence ("Add noise" is
// reproducible), and Box-Muller normal numbers drawn in pairs.
#include <cstdint>

namespace orvala {

class TRandom {
public:
    // States 1802 and 9373, carries 0.
    TRandom() = default;

    // (x << 16) | y after one step of each generator, read as a signed 32-bit integer.
    int32_t NextInt32();
    // In [0, 1).
    double Uniform();
    // Standard normal. One call in two draws two uniforms and keeps the second
    // number of the pair for the next call.
    double Normal();
    double Gaussian(double sigma, double mu) { return Normal() * sigma + mu; }

private:
    uint32_t x_ = 1802, y_ = 9373;
    uint32_t carryX_ = 0, carryY_ = 0;
    bool haveSpare_ = false;
    double spare_ = 0;
};

// The one generator of the program. Not thread-safe: the user-interface thread only.
TRandom& programRandom();
// Normal number with deviation sigma and mean mu from the program's generator.
double Gaussian(double sigma, double mu);

}  // namespace orvala
