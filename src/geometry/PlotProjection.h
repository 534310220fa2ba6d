#pragma once
// The plot window's passes over all events, split over the worker pool:
// projection of the events onto directions of the parameter space, with the
// finite range of each result found in the same pass, and the view range
// that shows such a range whole. Results are those of the one-thread loop.
#include <cstddef>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

class TMultiThread;

// The events of a data set: `events` rows of `cols` values, one contiguous
// block row after row.
struct EventBlock {
    const double* rows = nullptr;
    size_t events = 0;
    size_t cols = 0;
};

// What the component projection needs of a projection filter. pass must keep
// no state between calls: the chunks of one run share the filter.
class EventPass {
public:
    virtual ~EventPass() = default;
    // Room pass needs in out for a row of cols values.
    virtual int workLength(int cols) const = 0;
    // Writes the filtered event into out and returns its length.
    virtual int pass(const double* row, int cols, double* out) const = 0;
};

struct ProjectionRange {
    bool found = false;  // false when no value is finite
    double minimum = 0, maximum = 0;
};

// out[e] = convert(sum over i of v[i] * data[e][i]) for every event e, reading
// only the non-zero coefficients. out keeps its capacity, so a redraw reuses
// the pages of the previous one. Returns the range of the finite results.
// pool: the worker pool the chunks run on; null runs them on the calling thread.
ProjectionRange projectEvents(const EventBlock& d, const TVector& v, double (*convert)(double),
                              std::vector<double>& out, TMultiThread* pool);

struct ProjectionRanges {
    ProjectionRange x, y;
};

// Both directions of a scatter plot in one read of the events.
ProjectionRanges projectEventsXY(const EventBlock& d, const TVector& vx, double (*convertX)(double),
                                 std::vector<double>& outX, const TVector& vy, double (*convertY)(double),
                                 std::vector<double>& outY, TMultiThread* pool);

// The plotted coordinates of every event of s in the space of filter f:
// px[e] = convertX(f(e) . xv) and, when py is given, py[e] = convertY(f(e) . yv).
void projectThroughFilter(const EventBlock& s, const EventPass& f, const TVector& xv, double (*convertX)(double),
                          std::vector<double>& px, const TVector* yv, double (*convertY)(double),
                          std::vector<double>* py, TMultiThread* pool);

// Smallest and largest finite value of v.
ProjectionRange finiteRange(const std::vector<double>& v, TMultiThread* pool);

// The axis range that shows every value of `data` with its dot whole: a 2 %
// margin on each side, a unit range around a single value; not found stays not found.
ProjectionRange viewRange(const ProjectionRange& data);

}  // namespace orvala
