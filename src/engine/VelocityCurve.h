#pragma once

#include "core/AppLanguage.h"

#include <optional>
#include <string>
#include <string_view>

namespace norvane
{

/** How a layer shapes the velocity it receives. Stored by its raw value ("linear", …). */
enum class VelocityCurve
{
    linear,
    soft,
    hard,
    fixed
};

inline constexpr VelocityCurve allVelocityCurves[] = {VelocityCurve::linear, VelocityCurve::soft,
                                                      VelocityCurve::hard, VelocityCurve::fixed};

std::string_view rawValue(VelocityCurve curve);
std::optional<VelocityCurve> velocityCurveFromRaw(std::string_view raw);
std::string displayName(VelocityCurve curve, AppLanguage language);

/** The shaped velocity, 1–127, for any incoming velocity (clamped to 1–127 first). */
int apply(VelocityCurve curve, int velocity);

/** x rounded to the nearest integer, halves away from zero. */
int nearest(double x);

} // namespace norvane
