#pragma once

#include "engine/NodeProcessor.h"

#include <juce_dsp/juce_dsp.h>

#include <atomic>

namespace norvane
{

/** The layer's compressor. The layer sets a threshold (dB) and a head-room (dB, 0–40): a wide
    head-room means gentle compression, none means strong. The head-room becomes the ratio:
    40 dB → 1:1 (no compression), 0 dB → 12:1, in a straight line between. Attack 1 ms,
    release 50 ms. Parameters may be set from any thread; the audio thread applies them at
    the start of a block. */
class CompressorNode final : public NodeProcessor
{
public:
    CompressorNode() : NodeProcessor("Compressor", Inputs::stereo) {}

    /** The head-room that compresses nothing: an amount of compression a from 0 to 1 sets
        (1 − a) × this. */
    static constexpr float fullHeadRoom = 40.0f;
    static constexpr float headRoomFor(float amount) noexcept { return (1.0f - amount) * fullHeadRoom; }
    static constexpr float amountFor(float headRoom) noexcept { return 1.0f - headRoom / fullHeadRoom; }

    void setThreshold(float decibels) noexcept { threshold.store(decibels); }
    void setHeadRoom(float decibels) noexcept { headRoom.store(decibels); }
    float getThreshold() const noexcept { return threshold.load(); }
    float getHeadRoom() const noexcept { return headRoom.load(); }

    /** The ratio a head-room stands for. */
    static float ratioFor(float headRoomDecibels);

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

private:
    std::atomic<float> threshold{-24.0f};
    std::atomic<float> headRoom{40.0f};
    float appliedThreshold = 1.0e9f, appliedHeadRoom = 1.0e9f; // audio thread
    juce::dsp::Compressor<float> compressor;
};

} // namespace norvane
