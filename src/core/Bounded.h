#pragma once

#include <algorithm>
#include <cmath>

namespace norvane
{

/** A number brought within [low, high], whoever wrote it (a stored file, a controller, a
    slider): an infinity goes to the nearer end, and what is not a number at all becomes
    `otherwise`. Nothing outside the range reaches the audio side. */
inline double bounded(double value, double low, double high, double otherwise)
{
    if (std::isnan(value))
        return otherwise;
    return std::clamp(value, low, high);
}

/** The same as a clamp for a published value. */
inline auto within(double low, double high, double otherwise)
{
    return [=](const double& v) { return bounded(v, low, high, otherwise); };
}

} // namespace norvane
