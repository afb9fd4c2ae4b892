#include "engine/realtime/BoundControls.h"

#include <cmath>

namespace norvane
{

BoundControls::BoundControls() noexcept
{
    for (auto* table : {&targets, &before})
        for (auto& channels : *table)
            channels.fill(none);
}

void BoundControls::clear() noexcept
{
    before = targets;
    for (auto& channels : targets)
        channels.fill(none);
}

void BoundControls::bind(Source source, int number, int channel, std::uint8_t target) noexcept
{
    if (number < 0 || number > 127 || channel < 0 || channel > 16 ||
        target >= ControlTarget::indexCount)
        return;
    for (auto& channels : targets)
        for (auto& t : channels)
            if (t == target)
                t = none;
    // The source on any channel covers every channel: what it moved on one goes too.
    auto& channels = targets[(size_t)slot(source, number)];
    if (channel == 0)
        channels.fill(none);
    else
        channels[0] = none;
    channels[(size_t)channel] = target;
    // The same binding again (the whole list sent anew) keeps its pickup.
    if (before[(size_t)slot(source, number)][(size_t)channel] != target)
        states[target] = {};
    before[(size_t)slot(source, number)][(size_t)channel] = none;
}

std::uint8_t BoundControls::find(Source source, int number, int channel) const noexcept
{
    if (number < 0 || number > 127)
        return none;
    const auto& channels = targets[(size_t)slot(source, number)];
    if (channel >= 1 && channel <= 16 && channels[(size_t)channel] != none)
        return channels[(size_t)channel];
    return channels[0];
}

std::optional<float> BoundControls::follow(std::uint8_t target, int value, float current) noexcept
{
    if (target >= ControlTarget::indexCount)
        return std::nullopt;
    auto& s = states[target];
    const float v = (float)value / 127.0f;
    // Moved by something else since the controller last set it: pick it up again.
    if (s.engaged && std::abs(current - s.written) > pickupTolerance)
        s.engaged = false;
    if (!s.engaged)
    {
        const bool near = std::abs(v - current) <= pickupTolerance;
        const bool passed =
            s.lastValue >= 0 && ((float)s.lastValue / 127.0f - current) * (v - current) <= 0.0f;
        s.engaged = near || passed;
    }
    s.lastValue = value;
    if (!s.engaged)
        return std::nullopt;
    s.written = v;
    return v;
}

bool BoundControls::pressed(std::uint8_t target, int value) noexcept
{
    if (target >= ControlTarget::indexCount)
        return false;
    auto& s = states[target];
    const bool high = value >= 64;
    const bool press = high && !s.high;
    s.high = high;
    return press;
}

} // namespace norvane
