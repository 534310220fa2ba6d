#pragma once
// The points of a 3-D scatter: the events projected onto three axis
// directions, thinned evenly to a point budget and grouped by colour (a 3-D
// series has one colour, so every colour becomes a series of its own).
#include <cstdint>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class TMultiThread;

struct Scatter3DGroup {
    uint32_t color = 0;     // 0x00BBGGRR
    std::vector<float> xyz;  // x, y, z of each point in turn
    int count() const { return int(xyz.size() / 3); }
};

struct Scatter3DPoints {
    std::vector<Scatter3DGroup> groups;  // in order of first appearance
    int step = 1;          // every step-th event was taken
    int points = 0;        // points in all groups
    int skipped = 0;       // taken events left out for a non-finite coordinate
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};  // extremes of the points (0 when none)
};

// More distinct colours than this are reduced to four levels per channel.
constexpr int Scatter3DMaxGroups = 64;
// What a rotating view draws fluently.
constexpr int Scatter3DDefaultBudget = 1'000'000;

// Projects every step-th event of a rows x cols block (row-major) onto the
// three directions (cols weights each; shorter ones count as 0 beyond their
// end), step the smallest that keeps at most budget events. An event with a
// non-finite coordinate is left out. colors (one per event, may be null:
// all black). The projection runs on pool (may be null) in chunks whose
// results are joined in event order, so the result equals the plain loop's.
Scatter3DPoints prepareScatter3D(const double* data, int rows, int cols, const TVector& dx, const TVector& dy,
                                 const TVector& dz, const uint32_t* colors, int budget = Scatter3DDefaultBudget,
                                 TMultiThread* pool = nullptr);

// The colour as drawn when there are too many: each channel to 0, 85, 170 or 255.
uint32_t reducedColor(uint32_t color);

// The parameter that weighs most in a direction (the first of equals); -1
// for an empty or all-zero direction.
int dominantParameter(const TVector& direction);
// A unit direction along parameter p of n.
TVector parameterAxis(int n, int p);

}  // namespace orvala
