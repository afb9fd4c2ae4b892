#pragma once

#include "engine/NodeProcessor.h"
#include "engine/Room.h"

#include <array>
#include <atomic>
#include <vector>

namespace norvane
{

/** The layer's reverb: a stereo room (Room, a Freeverb design) behind a pre-delay, driven by the
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

    // The audio thread's own.
    int appliedVersion = 0;
    bool resting = false; // dry, with the room emptied
    juce::LinearSmoothedValue<float> dryGain{1.0f};

    Room room;
    std::vector<float> preDelayLine; // what enters the room, the two channels summed
    int preDelayWrite = 0, preDelaySamples = 0;
    juce::AudioBuffer<float> scratch; // the room's feed and its two channels
    double rate = 48000.0;
};

} // namespace norvane
