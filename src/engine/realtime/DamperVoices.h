#pragma once

#include "engine/DamperNoiseBank.h"

#include <array>

namespace norvane
{

/** A layer chain's damper sounds: six voices taking turns, mixed into the chain right after
    its instrument. Consecutive sounds alternate between the two renderings of each voice; a
    seventh overlapping sound takes over the voice of the oldest.

    Audio thread only (or any one thread while nothing renders). Sounds come from a table
    rendered in advance; without one the voices stay quiet.
*/
class DamperVoices
{
public:
    using Voice = DamperVoice;
    static constexpr int playerCount = 6;

    /** Starts a sound at `level` (at most 1). Levels of 0.001 and below, keys above note 88
        and a missing table make no sound and leave the turns as they were. */
    void play(const DamperTable* table, const Voice& voice, double level) noexcept;

    /** Adds what the voices play in the next `numSamples` samples to `into` (stereo). */
    void renderAdd(juce::AudioBuffer<float>& into, int numSamples) noexcept;

    void stopAll() noexcept;

    bool isSounding() const noexcept;
    int nextPlayerIndex() const noexcept { return next; }
    int currentVariant() const noexcept { return variant; }
    /** The level the voice of player `index` plays at. */
    float playerLevel(int index) const noexcept { return voices[(size_t)index].gain; }

private:
    struct Playing
    {
        const juce::AudioBuffer<float>* buffer = nullptr;
        int position = 0;
        float gain = 0.0f;
    };

    std::array<Playing, playerCount> voices{};
    int next = 0;
    int variant = 0;
};

} // namespace norvane
