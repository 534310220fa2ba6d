#pragma once
// The even-odd point-in-polygon test shared by the gate tools and by gate
// evaluation. The polygon is closed implicitly from the last vertex to the
// first; a repeated closing vertex does no harm.
//
// Half-open rule: an edge counts when py lies in [low y, high y) of the edge
// and the edge crosses the horizontal through P strictly to the right of px.
// So for an axis-parallel rectangle the inside is x0 <= x < x1, y0 <= y < y1,
// horizontal edges never count, and self-intersecting outlines are even-odd.
// The crossing abscissa is decided as in extended precision.
#include <vector>

namespace orvala {

bool PointInPolygon(double x, double y, const double* cx, const double* cy, int count);

inline bool PointInPolygon(double x, double y, const std::vector<double>& cx, const std::vector<double>& cy)
{
    const int n = int(cx.size() < cy.size() ? cx.size() : cy.size());
    return PointInPolygon(x, y, cx.data(), cy.data(), n);
}

struct DPoint {
    double x = 0, y = 0;
};

// Vertices as an array of points.
bool PointInPolygon(double x, double y, const DPoint* v, int count);

inline bool PointInPolygon(double x, double y, const std::vector<DPoint>& v)
{
    return PointInPolygon(x, y, v.data(), int(v.size()));
}

}  // namespace orvala
