#include "geometry/Scales.h"

#include <cmath>

namespace orvala {

double LinToLog(double v)
{
    // asinh rather than ln(v + sqrt(v*v + 1)): the same function, but without
    // the cancellation for large negative v and the overflow of v*v.
    return static_cast<double>(111.0L * std::asinh(static_cast<long double>(v)));
}

double LogToLin(double v)
{
    return static_cast<double>(std::pow(10.0L, static_cast<long double>(v) / 256.0L));
}

double Identity(double v)
{
    return v;
}

AxisScale AxisScaleFor(AxisMode mode)
{
    switch (mode) {
    case AxisMode::LinLog:
        return {&LinToLog, &LogToLin, true, false};
    case AxisMode::LogLin:
        return {&LogToLin, &LinToLog, false, true};
    case AxisMode::Linear:
        break;
    }
    return {&Identity, &Identity, false, false};
}

AxisMode AxisModeFor(bool linToLogChecked, bool logToLinChecked)
{
    if (linToLogChecked)
        return AxisMode::LinLog;
    if (logToLinChecked)
        return AxisMode::LogLin;
    return AxisMode::Linear;
}

}  // namespace orvala
