#pragma once

#include "engine/NodeProcessor.h"

#include <atomic>

namespace norvane
{

/** Sums everything connected to it (the graph adds the inputs) and applies a linear output
    volume. A new volume is reached over one block, so that fader moves never click. */
class MixerNode final : public NodeProcessor
{
public:
    explicit MixerNode(const juce::String& name = "Mixer") : NodeProcessor(name, Inputs::stereo) {}

    /** Any thread. 0…1 linear; values outside are clamped. */
    void setOutputVolume(float volume) noexcept
    {
        outputVolume.store(juce::jlimit(0.0f, 1.0f, volume), std::memory_order_relaxed);
    }

    /** Any thread. */
    float getOutputVolume() const noexcept { return outputVolume.load(std::memory_order_relaxed); }

    void prepareToPlay(double, int) override { appliedVolume = getOutputVolume(); }

    /** Audio thread. */
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        const float target = getOutputVolume();
        if (target == appliedVolume)
        {
            if (target != 1.0f)
                buffer.applyGain(target);
        }
        else
        {
            buffer.applyGainRamp(0, buffer.getNumSamples(), appliedVolume, target);
            appliedVolume = target;
        }
    }

private:
    std::atomic<float> outputVolume{1.0f};
    float appliedVolume = 1.0f; // audio thread only
};

} // namespace norvane
