#pragma once

#include "engine/NodeProcessor.h"

#include <juce_dsp/juce_dsp.h>

#include <atomic>

namespace norvane
{

/** The master bus's peak limiter: a pre-gain in decibels, then a brick-wall limiter just
    under full scale. */
class LimiterNode final : public NodeProcessor
{
public:
    LimiterNode() : NodeProcessor("Limiter", Inputs::stereo) {}

    /** Any thread. */
    void setPreGain(float decibels) noexcept { preGain.store(decibels); }
    float getPreGain() const noexcept { return preGain.load(); }

    static constexpr float ceilingDecibels = -0.3f;
    static constexpr float releaseMilliseconds = 24.0f;

    void prepareToPlay(double sampleRate, int maximumBlockSize) override
    {
        limiter.prepare({sampleRate, (juce::uint32)std::max(1, maximumBlockSize), 2});
        limiter.setThreshold(ceilingDecibels);
        limiter.setRelease(releaseMilliseconds);
    }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        const float gain = juce::Decibels::decibelsToGain(preGain.load());
        if (gain != 1.0f)
            buffer.applyGain(gain);
        juce::dsp::AudioBlock<float> block(buffer);
        limiter.process(juce::dsp::ProcessContextReplacing<float>(block));
    }

private:
    std::atomic<float> preGain{0.0f};
    juce::dsp::Limiter<float> limiter;
};

} // namespace norvane
