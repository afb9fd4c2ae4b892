#pragma once

#include "engine/NodeProcessor.h"

#include <juce_dsp/juce_dsp.h>

#include <atomic>
#include <cmath>

namespace norvane
{

/** The master bus's limiter: a pre-gain in decibels; a gentle compressor (4:1 over −10 dBFS)
    with the make-up gain that brings the ceiling to full scale; then a brick wall at the
    ceiling, just under full scale. The wall's gain falls at once, on the very sample that
    would pass the ceiling, and comes back over the release: no sample ever leaves above the
    ceiling, and it adds no latency.

    A block that arrives holding a sample that is not a finite number (a plug-in gone wrong
    upstream) leaves silent, and the limiter starts again from rest: it never keeps a poisoned
    state. */
class LimiterNode final : public NodeProcessor
{
public:
    LimiterNode() : NodeProcessor("Limiter", Inputs::stereo) {}

    /** Any thread. */
    void setPreGain(float decibels) noexcept { preGain.store(decibels); }
    float getPreGain() const noexcept { return preGain.load(); }

    static constexpr float ceilingDecibels = -0.3f;
    static constexpr float releaseMilliseconds = 24.0f;

    /** Any thread: blocks silenced for holding non-finite samples since the last call. */
    int takeSilencedBlocks() noexcept { return silenced.exchange(0, std::memory_order_relaxed); }

    void prepareToPlay(double sampleRate, int maximumBlockSize) override
    {
        compressor.prepare({sampleRate, (juce::uint32)std::max(1, maximumBlockSize), 2});
        compressor.setThreshold(-10.0f);
        compressor.setRatio(4.0f);
        compressor.setAttack(2.0f);
        compressor.setRelease(200.0f);
        release = (float)std::exp(-1.0 / (sampleRate * releaseMilliseconds / 1000.0));
        wallGain = 1.0f;
    }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        const int n = buffer.getNumSamples();
        const int channels = buffer.getNumChannels();
        if (!allFinite(buffer, channels, n))
        {
            silence(buffer);
            return;
        }
        const float gain = juce::Decibels::decibelsToGain(preGain.load());
        if (gain != 1.0f)
            buffer.applyGain(gain);
        juce::dsp::AudioBlock<float> block(buffer);
        compressor.process(juce::dsp::ProcessContextReplacing<float>(block));
        buffer.applyGain(makeUp);
        wall(buffer, channels, n);
        // A finite input can still drive the compressor's own state out of range (a pre-gain
        // of thousands of decibels).
        if (!allFinite(buffer, channels, n))
            silence(buffer);
    }

private:
    void wall(juce::AudioBuffer<float>& buffer, int channels, int n) noexcept
    {
        float* left = buffer.getWritePointer(0);
        float* right = channels > 1 ? buffer.getWritePointer(1) : left;
        float g = wallGain;
        for (int i = 0; i < n; ++i)
        {
            const float peak = std::max(std::abs(left[i]), std::abs(right[i]));
            const float needed = peak > ceiling ? ceiling / peak : 1.0f;
            g = needed < g ? needed : needed + (g - needed) * release;
            left[i] *= g;
            if (right != left)
                right[i] *= g;
        }
        wallGain = g;
        // A division's rounding may leave a sample one step over.
        for (int ch = 0; ch < channels; ++ch)
            juce::FloatVectorOperations::clip(buffer.getWritePointer(ch), buffer.getReadPointer(ch),
                                              -ceiling, ceiling, n);
    }

    void silence(juce::AudioBuffer<float>& buffer) noexcept
    {
        buffer.clear();
        compressor.reset();
        wallGain = 1.0f;
        silenced.fetch_add(1, std::memory_order_relaxed);
    }

    const float ceiling = juce::Decibels::decibelsToGain(ceilingDecibels);
    /** What the compressor takes off over its threshold, given back, and the ceiling lifted
        to full scale: the loudness the master has always had. */
    const float makeUp = std::pow(10.0f, 10.0f * (1.0f - 0.25f) / 40.0f) *
                         juce::Decibels::decibelsToGain(-ceilingDecibels);
    std::atomic<float> preGain{0.0f};
    std::atomic<int> silenced{0};
    juce::dsp::Compressor<float> compressor;
    float release = 0.999f;
    float wallGain = 1.0f;
};

} // namespace norvane
