#include "engine/LevelMeterBank.h"

#include "engine/TapNode.h"

#include <cmath>

namespace norvane
{

LevelMeterBank::LevelMeterBank(Scheduler& scheduler) : clock(scheduler) {}

LevelMeterBank::~LevelMeterBank() = default;

void LevelMeterBank::install(TapNode& tap, const std::string& key)
{
    taps.emplace_back(&tap, key);
}

void LevelMeterBank::startPublishing()
{
    if (timer == nullptr)
        timer = clock.every(frameInterval, [this] { publishFrame(); });
}

void LevelMeterBank::peak(const std::string& key, float value)
{
    std::lock_guard<std::mutex> guard(lock);
    auto found = rawPeaks.find(key);
    if (found == rawPeaks.end())
    {
        if (value > 0.0f)
            rawPeaks.emplace(key, value);
    }
    else if (value > found->second)
    {
        found->second = value;
    }
}

void LevelMeterBank::publishFrame()
{
    // The taps hold what the audio thread measured since the last frame.
    for (auto& [tap, key] : taps)
    {
        const auto p = tap->takePeaks();
        peak(key, std::max(p.left, p.right));
    }

    std::map<std::string, float> raw;
    {
        std::lock_guard<std::mutex> guard(lock);
        raw.swap(rawPeaks);
    }

    auto next = levels.get();
    bool changed = false;
    auto update = [&](const std::string& key)
    {
        const auto oldIt = levels->find(key);
        const float old = oldIt == levels->end() ? 0.0f : oldIt->second;
        const auto rawIt = raw.find(key);
        const float peakValue = rawIt == raw.end() ? 0.0f : rawIt->second;

        const float decayed = old * decay;
        float value = peakValue > decayed ? peakValue : decayed;
        if (value < threshold)
            value = 0.0f;
        // A fall whose next step is too small to publish would stop at a residue just
        // above silence: let it reach 0 instead.
        if (peakValue <= decayed && value != 0.0f && std::abs(value - old) <= threshold)
            value = 0.0f;

        if (std::abs(value - old) > threshold || (value == 0.0f && old != 0.0f))
        {
            next[key] = value;
            changed = true;
        }
    };
    for (auto& [key, value] : raw)
        update(key);
    for (auto& [key, value] : levels.get())
        if (raw.count(key) == 0)
            update(key);

    if (changed)
        levels = next;

    const double now = clock.now();
    if (auto master = raw.find("master"); master != raw.end() && master->second >= clipLevel)
        clipUntil = now + clipHold;
    const bool clipped = now < clipUntil;
    if (clipped != masterClipped.get())
        masterClipped = clipped;
}

} // namespace norvane
