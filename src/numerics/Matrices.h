#pragma once
// Shared numeric array types. Small matrices (spillover, eigen problems, PCA)
// are rows of vectors; bulk event data lives in core's contiguous DataMatrix.
#include <cstdint>
#include <string>
#include <vector>

namespace orvala {

using TVector = std::vector<double>;
using TIntVector = std::vector<int32_t>;
using TDWORDVector = std::vector<uint32_t>;
using TBoolVector = std::vector<uint8_t>;  // one byte per flag, unlike vector<bool>
using TSingleVector = std::vector<float>;
using TStrVector = std::vector<std::string>;
using TMatrix = std::vector<TVector>;
using TIntMatrix = std::vector<TIntVector>;
using TSingleMatrix = std::vector<TSingleVector>;
using TByteMatrix = std::vector<std::vector<uint8_t>>;

// Dimensioning helpers: indices 0..ub, all zero; a negative bound gives an empty array.
inline TVector DimVector(int ub) { return ub < 0 ? TVector{} : TVector(size_t(ub) + 1, 0.0); }
inline TIntVector DimIntVector(int ub) { return ub < 0 ? TIntVector{} : TIntVector(size_t(ub) + 1, 0); }
inline TMatrix DimMatrix(int ub1, int ub2)
{
    if (ub1 < 0) return {};
    return TMatrix(size_t(ub1) + 1, DimVector(ub2));
}

}  // namespace orvala
