#pragma once

#include "engine/NodeProcessor.h"

#include <atomic>

namespace norvane
{

/** Passes audio through unchanged and records the peak of each channel since the last read.
    The audio thread only raises the peaks; the reader takes and clears them. */
class TapNode final : public NodeProcessor
{
public:
    struct Peaks
    {
        float left = 0.0f;
        float right = 0.0f;
    };

    explicit TapNode(const juce::String& name = "Tap") : NodeProcessor(name, Inputs::stereo) {}

    /** Any thread other than the audio thread: the peaks since the previous call. */
    Peaks takePeaks() noexcept
    {
        return {peakLeft.exchange(0.0f, std::memory_order_relaxed),
                peakRight.exchange(0.0f, std::memory_order_relaxed)};
    }

    /** Audio thread. */
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        const int n = buffer.getNumSamples();
        raise(peakLeft, buffer.getMagnitude(0, 0, n));
        raise(peakRight, buffer.getNumChannels() > 1 ? buffer.getMagnitude(1, 0, n)
                                                     : buffer.getMagnitude(0, 0, n));
    }

private:
    static void raise(std::atomic<float>& peak, float value) noexcept
    {
        float current = peak.load(std::memory_order_relaxed);
        while (value > current &&
               !peak.compare_exchange_weak(current, value, std::memory_order_relaxed))
        {
        }
    }

    std::atomic<float> peakLeft{0.0f};
    std::atomic<float> peakRight{0.0f};
};

} // namespace norvane
