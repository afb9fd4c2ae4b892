#pragma once

#include "engine/NodeProcessor.h"

#include <array>
#include <atomic>

namespace norvane
{

/** The layer's tone control: three bands in series, a low shelf at 150 Hz, a peak at 1200 Hz
    1.2 octaves wide and a high shelf at 6500 Hz, each with a gain in decibels.

    Gains may be set from any thread; the audio thread recomputes the filter coefficients at
    the start of a block when a gain has changed (no allocation: plain biquads).
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

    /** Any thread. */
    void setGain(Band band, float decibels) noexcept { gains[(size_t)band].store(decibels); }
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

    void updateCoefficients() noexcept;

    std::array<std::atomic<float>, 3> gains{};
    std::array<float, 3> appliedGains{{1.0e9f, 1.0e9f, 1.0e9f}}; // audio thread
    std::array<Coefficients, 3> coefficients{};
    std::array<std::array<State, 2>, 3> states{};
    double rate = 48000.0;
};

} // namespace norvane
