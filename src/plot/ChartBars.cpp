#include "plot/ChartBars.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvala {

double BarWidth(const std::vector<double>& x, double fraction)
{
    std::vector<double> finite;
    finite.reserve(x.size());
    for (double v : x)
        if (std::isfinite(v)) finite.push_back(v);
    std::sort(finite.begin(), finite.end());
    double gap = std::numeric_limits<double>::infinity();
    for (size_t i = 1; i < finite.size(); ++i) {
        const double d = finite[i] - finite[i - 1];
        if (d > 0 && d < gap) gap = d;
    }
    if (!std::isfinite(gap)) gap = 1.0;
    return fraction * gap;
}

}  // namespace orvala
