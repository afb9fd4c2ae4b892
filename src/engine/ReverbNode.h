#pragma once

#include "engine/NodeProcessor.h"

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>

namespace norvane
{

/** The layer's reverb: a stereo room (juce::dsp::Reverb) behind a pre-delay, driven by the
    eight values of a classic matrix reverb. How each value maps onto the room is written down
    in docs/reverb.md; with a wet share of 0 the signal passes exactly dry.

    Values may be set from any thread; the audio thread applies them at the start of a block.
*/
class ReverbNode final : public NodeProcessor
{
public:
    /** The matrix-reverb values, by their parameter numbers. */
    enum Parameter
    {
        dryWetMix = 0,       ///< percent wet
        smallLargeMix = 1,   ///< percent large room
        largeSize = 3,       ///< seconds, 0.005–0.15
        preDelay = 4,        ///< seconds
        largeDelay = 5,      ///< seconds, 0.01–0.07
        largeDensity = 7,    ///< 0–1
        largeDelayRange = 8, ///< 0–1
        largeBrightness = 10 ///< 0–1
    };

    ReverbNode();

    void setParameter(Parameter parameter, float value) noexcept;
    float getParameter(Parameter parameter) const noexcept;

    /** What the values become for the room. */
    static juce::Reverb::Parameters roomFor(const std::array<float, 11>& values);

    static constexpr double maximumPreDelay = 0.1; ///< seconds

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

private:
    std::array<std::atomic<float>, 11> values{};
    std::atomic<int> version{1};
    int appliedVersion = 0; // audio thread
    float appliedPreDelaySamples = 0.0f;
    float dryGain = 1.0f;
    bool resting = false; // dry, with the room emptied

    juce::dsp::Reverb reverb;
    juce::dsp::DelayLine<float, juce::dsp::DelayLineInterpolationTypes::Linear> delay;
    juce::AudioBuffer<float> wet;
    double rate = 48000.0;
};

} // namespace norvane
