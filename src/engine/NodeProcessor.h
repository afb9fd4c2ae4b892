#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <cmath>

namespace norvane
{

/** Audio thread: whether the first `channels` channels of `buffer` hold only finite numbers
    in their first `n` samples. */
inline bool allFinite(const juce::AudioBuffer<float>& buffer, int channels, int n) noexcept
{
    for (int ch = 0; ch < std::min(channels, buffer.getNumChannels()); ++ch)
    {
        const float* x = buffer.getReadPointer(ch);
        // x · 0 is 0 for a finite x and NaN otherwise: one sum tells, without a branch per
        // sample.
        float sum = 0.0f;
        for (int i = 0; i < n; ++i)
            sum += x[i] * 0.0f;
        if (!std::isfinite(sum))
            return false;
    }
    return true;
}

/** Common ground of the graph's own nodes: stereo buses, no editor, no programs, no state.
    Subclasses implement processBlock, which runs on the audio thread. */
class NodeProcessor : public juce::AudioProcessor
{
public:
    enum class Inputs
    {
        none,
        stereo
    };

    NodeProcessor(const juce::String& nameIn, Inputs inputs)
        : juce::AudioProcessor(makeBuses(inputs)), name(nameIn)
    {
    }

    const juce::String getName() const override { return name; }
    void prepareToPlay(double, int) override {}
    void releaseResources() override {}
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override { return {}; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock&) override {}
    void setStateInformation(const void*, int) override {}

private:
    static BusesProperties makeBuses(Inputs inputs)
    {
        auto buses = BusesProperties().withOutput("Output", juce::AudioChannelSet::stereo(), true);
        if (inputs == Inputs::stereo)
            buses = buses.withInput("Input", juce::AudioChannelSet::stereo(), true);
        return buses;
    }

    juce::String name;
};

} // namespace norvane
