#pragma once

#include "catalog/PluginRef.h"
#include "engine/AudioEngine.h"
#include "engine/SoundLoader.h"
#include "support/TestPlugin.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace norvane::test
{

/** A sound loader that runs nothing until told: the test decides when each load happens and
    in which order. Jobs run on the test's own thread. */
class HeldLoader final : public SoundLoader
{
public:
    struct Jobs
    {
        std::deque<Job> waiting;
        int posted = 0;
    };

    explicit HeldLoader(std::shared_ptr<Jobs> jobsIn) : jobs(std::move(jobsIn)) {}

    void post(Job job) override
    {
        ++jobs->posted;
        jobs->waiting.push_back(std::move(job));
    }

    /** Runs them all, in order: what an engine wants when it waits for its loads. */
    void waitUntilIdle() override { runAll(*jobs); }

    static void runAll(Jobs& jobs)
    {
        while (!jobs.waiting.empty())
            runAt(jobs, 0);
    }

    /** Runs the job at `index` of those waiting. */
    static void runAt(Jobs& jobs, size_t index)
    {
        auto job = std::move(jobs.waiting[index]);
        jobs.waiting.erase(jobs.waiting.begin() + (std::ptrdiff_t)index);
        job();
    }

private:
    std::shared_ptr<Jobs> jobs;
};

/** A small instrument of the test's own: a sine per note at the note's pitch times `tone`
    (its one parameter and its whole state), decaying after its release. */
class FakeInstrument final : public TestPlugin
{
public:
    explicit FakeInstrument(juce::PluginDescription d)
        : TestPlugin(d.name, stereoOut()), description(std::move(d))
    {
    }

    static juce::PluginDescription describe(const juce::String& name, bool instrument = true)
    {
        juce::PluginDescription d;
        d.name = name;
        d.manufacturerName = "Test";
        d.pluginFormatName = "Test";
        d.fileOrIdentifier = "test:" + name;
        d.isInstrument = instrument;
        d.numInputChannels = instrument ? 0 : 2;
        d.numOutputChannels = 2;
        return d;
    }

    void fillInPluginDescription(juce::PluginDescription& d) const override { d = description; }
    void prepareToPlay(double rate, int) override { sampleRate = rate; }
    double getTailLengthSeconds() const override { return 0.2; }
    void getStateInformation(juce::MemoryBlock& block) override
    {
        const float t = toneNow.load();
        block.replaceAll(&t, sizeof t);
    }
    void setStateInformation(const void* data, int size) override
    {
        if (size == (int)sizeof(float))
        {
            float t;
            std::memcpy(&t, data, sizeof t);
            toneNow = t;
        }
    }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override
    {
        for (const auto m : midi)
        {
            const auto msg = m.getMessage();
            if (msg.isNoteOn())
            {
                start(msg.getNoteNumber(), msg.getFloatVelocity());
            }
            else if (msg.isNoteOff())
            {
                for (auto& v : voices)
                    if (v.note == msg.getNoteNumber())
                        v.releasing = true;
            }
            else if (msg.isAllSoundOff())
            {
                for (auto& v : voices)
                    v.note = -1;
            }
        }
        buffer.clear();
        const double t = toneNow.load();
        for (auto& v : voices)
        {
            if (v.note < 0)
                continue;
            const double step = 2.0 * juce::MathConstants<double>::pi * 440.0 *
                                std::pow(2.0, (v.note - 69) / 12.0) * t / sampleRate;
            for (int i = 0; i < buffer.getNumSamples(); ++i)
            {
                const float s = (float)(std::sin(v.phase) * v.level * 0.2);
                v.phase += step;
                buffer.addSample(0, i, s);
                buffer.addSample(1, i, s);
                if (v.releasing)
                    v.level *= 0.999f;
            }
            if (v.level < 1.0e-4f)
                v.note = -1;
        }
    }

    std::atomic<float> toneNow{1.0f}; ///< the state, set on the message thread

private:
    struct Voice
    {
        int note = -1;
        double phase = 0.0;
        float level = 0.0f;
        bool releasing = false;
    };

    void start(int note, float velocity)
    {
        for (auto& v : voices)
            if (v.note < 0)
            {
                v = {note, 0.0, velocity, false};
                return;
            }
    }

    juce::PluginDescription description;
    double sampleRate = 48000.0;
    std::array<Voice, 16> voices{};
};

/** An effect of the test's own: a gain of `tone` (its state). */
class FakeEffect final : public TestPlugin
{
public:
    explicit FakeEffect(juce::PluginDescription d)
        : TestPlugin(d.name, stereoInAndOut()), description(std::move(d))
    {
    }

    void fillInPluginDescription(juce::PluginDescription& d) const override { d = description; }
    bool acceptsMidi() const override { return false; }
    void getStateInformation(juce::MemoryBlock& block) override
    {
        const float t = gain.load();
        block.replaceAll(&t, sizeof t);
    }
    void setStateInformation(const void* data, int size) override
    {
        if (size == (int)sizeof(float))
        {
            float t;
            std::memcpy(&t, data, sizeof t);
            gain = t;
        }
    }
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        buffer.applyGain(gain.load());
    }

    std::atomic<float> gain{0.5f};

private:
    juce::PluginDescription description;
};

/** The state of a fake plug-in with this tone (or gain). */
inline juce::MemoryBlock fakeState(float tone)
{
    return juce::MemoryBlock(&tone, sizeof tone);
}

/** The tone (or gain) a fake plug-in's state holds, or −1. */
inline float toneOf(const std::optional<juce::MemoryBlock>& state)
{
    if (!state || state->getSize() != sizeof(float))
        return -1.0f;
    float t;
    std::memcpy(&t, state->getData(), sizeof t);
    return t;
}

/** Makes the fake plug-ins "Test – Keys", "Test – Bells" (instruments) and "Test – Gain" (an
    effect) when asked, holding each request until the test delivers it; any other reference
    is not installed. */
class HeldPlugins
{
public:
    using Done =
        std::function<void(std::unique_ptr<juce::AudioPluginInstance>, const juce::String&)>;

    struct Request
    {
        PluginRef ref;
        Done done;
    };

    static PluginRef ref(const juce::String& name)
    {
        const bool instrument = name != "Gain";
        return PluginRef::of(FakeInstrument::describe(name, instrument));
    }

    /** Installs it as the engine's way of making plug-ins. */
    void use(AudioEngine& engine)
    {
        engine.setPluginMaker(
            [this](const PluginRef& r, Done done)
            {
                waiting.push_back({r, std::move(done)});
                ++made;
            });
    }

    /** Delivers the request at `index` of those waiting. */
    void deliver(size_t index)
    {
        auto request = std::move(waiting[index]);
        waiting.erase(waiting.begin() + (std::ptrdiff_t)index);
        for (const char* name : {"Keys", "Bells"})
            if (request.ref == ref(name))
                return request.done(
                    std::make_unique<FakeInstrument>(FakeInstrument::describe(name)), {});
        if (request.ref == ref("Gain"))
            return request.done(
                std::make_unique<FakeEffect>(FakeInstrument::describe("Gain", false)), {});
        request.done(nullptr, juce::String::fromUTF8(AudioEngine::pluginNotInstalled));
    }

    void deliverAll()
    {
        while (!waiting.empty())
            deliver(0);
    }

    std::vector<Request> waiting;
    int made = 0;
};

} // namespace norvane::test
