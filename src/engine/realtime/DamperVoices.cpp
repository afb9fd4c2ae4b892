#include "engine/realtime/DamperVoices.h"

#include <algorithm>

namespace norvane
{

void DamperVoices::play(const DamperTable* table, const Voice& voice, double level) noexcept
{
    if (level <= 0.001 || table == nullptr)
        return;
    const auto* buffer = table->find(voice, variant);
    if (buffer == nullptr)
        return;

    variant = 1 - variant;
    auto& v = voices[(size_t)next];
    next = (next + 1) % playerCount;
    v.buffer = buffer; // whatever this voice played stops here
    v.position = 0;
    v.gain = (float)std::min(level, 1.0);
}

void DamperVoices::renderAdd(juce::AudioBuffer<float>& into, int numSamples) noexcept
{
    for (auto& v : voices)
    {
        if (v.buffer == nullptr)
            continue;
        const int count = std::min(numSamples, v.buffer->getNumSamples() - v.position);
        for (int ch = 0; ch < std::min(2, into.getNumChannels()); ++ch)
            into.addFrom(ch, 0, *v.buffer, std::min(ch, v.buffer->getNumChannels() - 1), v.position,
                         count, v.gain);
        v.position += count;
        if (v.position >= v.buffer->getNumSamples())
            v.buffer = nullptr;
    }
}

void DamperVoices::stopAll() noexcept
{
    for (auto& v : voices)
        v.buffer = nullptr;
}

bool DamperVoices::isSounding() const noexcept
{
    return std::any_of(voices.begin(), voices.end(), [](auto& v) { return v.buffer != nullptr; });
}

} // namespace norvane
