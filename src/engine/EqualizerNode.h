#pragma once

#include "engine/NodeProcessor.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

namespace norvane
{

/** The layer's tone control: three bands in series, a low shelf at 150 Hz, a peak at 1200 Hz
    1.2 octaves wide and a high shelf at 6500 Hz, each with a gain in decibels.

    Gains may be set from any thread, and are kept within ±24 dB (anything not a number is
    0 dB). The audio thread glides each band to its new gain, recomputing the coefficients
    every 32 samples on the way (a time constant of 3 ms), so that a move never clicks; a band
    at rest at 0 dB is left out, exactly transparent. A band whose state ever stops being a
    number starts again from silence rather than staying so. No allocation: plain biquads.
*/
class EqualizerNode final : public NodeProcessor
{
public:
    enum Band
    {
        low = 0,
        mid = 1,
        high = 2
    };

    static constexpr double frequencies[3] = {150.0, 1200.0, 6500.0};
    static constexpr double midBandwidthOctaves = 1.2;

    EqualizerNode() : NodeProcessor("Equaliser", Inputs::stereo) {}

    static constexpr float maximumGain = 24.0f; ///< dB, either way
    /** A gain as a share of the whole range, −maximumGain 0 to +maximumGain 1, and back. */
    static constexpr float shareOfGain(float decibels) noexcept
    {
        return (decibels + maximumGain) / (2.0f * maximumGain);
    }
    static constexpr float gainForShare(float share) noexcept
    {
        return (2.0f * share - 1.0f) * maximumGain;
    }

    /** Any thread. */
    void setGain(Band band, float decibels) noexcept
    {
        gains[(size_t)band].store(std::isnan(decibels)
                                      ? 0.0f
                                      : std::clamp(decibels, -maximumGain, maximumGain));
    }
    float getGain(Band band) const noexcept { return gains[(size_t)band].load(); }

    void prepareToPlay(double sampleRate, int) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

    /** Normalised biquad coefficients b0 b1 b2 a1 a2. */
    struct Coefficients
    {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };

    static Coefficients design(Band band, double gainDB, double sampleRate);

private:
    struct State
    {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };

    /** Moves each band one step of its glide towards its gain. */
    void glide(float share) noexcept;
    void filter(float* data, int ch, int from, int to) noexcept;

    std::array<std::atomic<float>, 3> gains{};
    std::array<float, 3> appliedGains{}; // audio thread: where each band's glide has got to
    std::array<Coefficients, 3> coefficients{};
    std::array<std::array<State, 2>, 3> states{};
    double rate = 48000.0;
};

} // namespace norvane
