#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace norvane::test
{

/** The common ground of the tests' own plug-ins: a name, the buses given, no editor, one
    program, an empty state. Subclasses write processBlock and whatever else they need. */
class TestPlugin : public juce::AudioPluginInstance
{
public:
    using Buses = BusesProperties;

    TestPlugin(juce::String nameIn, const Buses& buses)
        : AudioPluginInstance(buses), name(std::move(nameIn))
    {
    }

    static Buses stereoOut()
    {
        return Buses().withOutput("Out", juce::AudioChannelSet::stereo(), true);
    }
    static Buses stereoInAndOut()
    {
        return Buses()
            .withInput("In", juce::AudioChannelSet::stereo(), true)
            .withOutput("Out", juce::AudioChannelSet::stereo(), true);
    }

    void fillInPluginDescription(juce::PluginDescription& d) const override { d.name = name; }
    const juce::String getName() const override { return name; }
    void prepareToPlay(double, int) override {}
    void releaseResources() override {}
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return true; }
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
    juce::String name;
};

} // namespace norvane::test
