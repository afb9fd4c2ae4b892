#include "engine/VelocityCurve.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

std::string_view rawValue(VelocityCurve curve)
{
    switch (curve)
    {
    case VelocityCurve::linear:
        return "linear";
    case VelocityCurve::soft:
        return "soft";
    case VelocityCurve::hard:
        return "hard";
    case VelocityCurve::fixed:
        return "fixed";
    }
    return "linear";
}

std::optional<VelocityCurve> velocityCurveFromRaw(std::string_view raw)
{
    for (auto curve : allVelocityCurves)
        if (rawValue(curve) == raw)
            return curve;
    return std::nullopt;
}

std::string displayName(VelocityCurve curve, AppLanguage language)
{
    switch (curve)
    {
    case VelocityCurve::linear:
        return localized(language, "Lineal", "Linear");
    case VelocityCurve::soft:
        return localized(language, "Suave", "Soft");
    case VelocityCurve::hard:
        return localized(language, "Dura", "Hard");
    case VelocityCurve::fixed:
        return localized(language, "Fija", "Fixed");
    }
    return {};
}

int nearest(double x)
{
    return (int)std::round(x); // std::round rounds halves away from zero
}

int apply(VelocityCurve curve, int velocity)
{
    const double v = std::clamp(velocity, 1, 127);
    switch (curve)
    {
    case VelocityCurve::linear:
        return (int)v;
    case VelocityCurve::soft:
        return std::clamp(nearest(127.0 * std::pow(v / 127.0, 0.6)), 1, 127);
    case VelocityCurve::hard:
        return std::clamp(nearest(127.0 * std::pow(v / 127.0, 1.6)), 1, 127);
    case VelocityCurve::fixed:
        return 100;
    }
    return (int)v;
}

} // namespace norvane
