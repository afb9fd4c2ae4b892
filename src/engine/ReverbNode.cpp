#include "engine/ReverbNode.h"

namespace norvane
{

ReverbNode::ReverbNode() : NodeProcessor("Reverb", Inputs::stereo)
{
    // The values of a reverb at rest: dry.
    values[dryWetMix] = 0.0f;
    values[smallLargeMix] = 60.0f;
    values[largeSize] = 0.005f;
    values[preDelay] = 0.006f;
    values[largeDelay] = 0.01f;
    values[largeDensity] = 0.6f;
    values[largeDelayRange] = 0.4f;
    values[largeBrightness] = 0.45f;
}

void ReverbNode::setParameter(Parameter parameter, float value) noexcept
{
    values[(size_t)parameter].store(value);
    ++version;
}

float ReverbNode::getParameter(Parameter parameter) const noexcept
{
    return values[(size_t)parameter].load();
}

juce::Reverb::Parameters ReverbNode::roomFor(const std::array<float, 11>& v)
{
    auto unit = [](float value, float low, float high)
    { return juce::jlimit(0.0f, 1.0f, (value - low) / (high - low)); };

    juce::Reverb::Parameters room;
    // Size, delay and delay range together make the room's length.
    const float size = 0.5f * unit(v[largeSize], 0.005f, 0.15f) +
                       0.3f * unit(v[largeDelay], 0.01f, 0.07f) +
                       0.2f * unit(v[largeDelayRange], 0.4f, 0.85f);
    room.roomSize = 0.35f + 0.6f * size;
    // Brightness lets the highs through: the room's damping is its opposite.
    room.damping = 1.0f - juce::jlimit(0.0f, 1.0f, v[largeBrightness]);
    // Density and the large room's share make the image wider.
    room.width =
        juce::jlimit(0.0f, 1.0f, 0.5f * v[largeDensity] + 0.5f * v[smallLargeMix] / 100.0f);
    // juce::Reverb plays dry at twice dryLevel: 0.5 is unity.
    const float mix = juce::jlimit(0.0f, 1.0f, v[dryWetMix] / 100.0f);
    room.wetLevel = 0.5f * mix;
    room.dryLevel = 0.5f * (1.0f - mix);
    room.freezeMode = 0.0f;
    return room;
}

void ReverbNode::prepareToPlay(double sampleRate, int maximumBlockSize)
{
    rate = sampleRate;
    const auto block = (juce::uint32)std::max(1, maximumBlockSize);
    reverb.prepare({sampleRate, block, 2});
    delay.setMaximumDelayInSamples((int)std::ceil(maximumPreDelay * sampleRate) + 1);
    delay.prepare({sampleRate, block, 2});
    wet.setSize(2, (int)block);
    appliedVersion = 0;
    resting = false;
}

void ReverbNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    if (const int v = version.load(); v != appliedVersion)
    {
        appliedVersion = v;
        std::array<float, 11> snapshot{};
        for (size_t i = 0; i < snapshot.size(); ++i)
            snapshot[i] = values[i].load();
        auto room = roomFor(snapshot);
        dryGain = 2.0f * room.dryLevel; // the dry part is mixed here, outside the pre-delay
        room.dryLevel = 0.0f;
        reverb.setParameters(room);
        appliedPreDelaySamples =
            (float)(juce::jlimit(0.0, maximumPreDelay, (double)snapshot[preDelay]) * rate);
        delay.setDelay(appliedPreDelaySamples);
    }

    const int n = buffer.getNumSamples();
    if (buffer.getNumChannels() < 2 || n > wet.getNumSamples())
        return;

    const float mix = juce::jlimit(0.0f, 1.0f, values[dryWetMix].load() / 100.0f);
    if (mix <= 0.0f)
    {
        // All dry: the signal passes untouched and the room costs nothing. It is emptied once,
        // on the way in, so that no old tail comes back when it is opened again.
        if (!resting)
        {
            reverb.reset();
            delay.reset();
            resting = true;
        }
        return;
    }
    resting = false;

    // The room hears the signal after the pre-delay; the dry part stays in time.
    for (int ch = 0; ch < 2; ++ch)
    {
        const auto* in = buffer.getReadPointer(ch);
        auto* out = wet.getWritePointer(ch);
        for (int i = 0; i < n; ++i)
        {
            delay.pushSample(ch, in[i]);
            out[i] = delay.popSample(ch);
        }
    }

    juce::dsp::AudioBlock<float> wetBlock(wet.getArrayOfWritePointers(), 2, (size_t)n);
    reverb.process(juce::dsp::ProcessContextReplacing<float>(wetBlock));

    for (int ch = 0; ch < 2; ++ch)
    {
        buffer.applyGain(ch, 0, n, dryGain);
        buffer.addFrom(ch, 0, wet, ch, 0, n);
    }
}

} // namespace norvane
