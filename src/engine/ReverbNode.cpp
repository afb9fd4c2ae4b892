#include "engine/ReverbNode.h"

#include <algorithm>
#include <cmath>

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
    const int block = std::max(1, maximumBlockSize);
    room.prepare(sampleRate, block);
    preDelayLine.assign((size_t)std::ceil(maximumPreDelay * sampleRate) + 1, 0.0f);
    preDelayWrite = 0;
    scratch.setSize(3, block);
    dryGain.reset(sampleRate, 0.01);
    appliedVersion = 0;
    resting = false;
}

void ReverbNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    if (const int v = version.load(); v != appliedVersion)
    {
        // The first values after preparing apply at once, later ones glide there.
        const bool glide = appliedVersion != 0;
        appliedVersion = v;
        std::array<float, 11> snapshot{};
        for (size_t i = 0; i < snapshot.size(); ++i)
            snapshot[i] = values[i].load();
        const auto settings = roomFor(snapshot);
        room.setSettings(settings, glide);
        // The dry part is mixed here, outside the pre-delay.
        if (glide)
            dryGain.setTargetValue(2.0f * settings.dryLevel);
        else
            dryGain.setCurrentAndTargetValue(2.0f * settings.dryLevel);
        const double delay = juce::jlimit(0.0, maximumPreDelay, (double)snapshot[preDelay]);
        preDelaySamples = std::min((int)std::lround(delay * rate), (int)preDelayLine.size() - 1);
    }

    if (buffer.getNumChannels() < 2 || preDelayLine.empty())
        return;

    const float mix = juce::jlimit(0.0f, 1.0f, values[dryWetMix].load() / 100.0f);
    if (mix <= 0.0f)
    {
        // All dry: the signal passes untouched and the room costs nothing. It is emptied once,
        // on the way in, so that no old tail comes back when it is opened again.
        if (!resting)
        {
            room.clear();
            std::fill(preDelayLine.begin(), preDelayLine.end(), 0.0f);
            dryGain.setCurrentAndTargetValue(dryGain.getTargetValue());
            resting = true;
        }
        return;
    }
    resting = false;

    const int size = (int)preDelayLine.size();
    for (int start = 0; start < buffer.getNumSamples(); start += scratch.getNumSamples())
    {
        const int n = std::min(scratch.getNumSamples(), buffer.getNumSamples() - start);
        float* left = buffer.getWritePointer(0, start);
        float* right = buffer.getWritePointer(1, start);
        float* feed = scratch.getWritePointer(0);
        float* wetLeft = scratch.getWritePointer(1);
        float* wetRight = scratch.getWritePointer(2);

        // The room hears the signal after the pre-delay; the dry part stays in time.
        float* line = preDelayLine.data();
        int read = preDelayWrite - preDelaySamples;
        if (read < 0)
            read += size;
        for (int i = 0; i < n; ++i)
        {
            line[preDelayWrite] = left[i] + right[i];
            feed[i] = line[read];
            if (++preDelayWrite == size)
                preDelayWrite = 0;
            if (++read == size)
                read = 0;
        }

        room.render(feed, wetLeft, wetRight, n);

        const float from = dryGain.getCurrentValue(), to = dryGain.skip(n);
        for (int ch = 0; ch < 2; ++ch)
        {
            buffer.applyGainRamp(ch, start, n, from, to);
            buffer.addFrom(ch, start, scratch, ch + 1, 0, n);
        }
    }
}

} // namespace norvane
