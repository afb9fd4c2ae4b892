#pragma once

#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/InstrumentNode.h"
#include "engine/realtime/LayerProcessor.h"
#include "input/MIDIManager.h"
#include "support/FakeMidi.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <vector>

namespace norvane::test
{

/** Follows every instruction a layer sends to its instruments, on the audio side: which
    pitches were started and stopped, and which still sound. It records as the layer plays,
    on the rendering thread, so it serves offline renders only (and allocates there). */
class NoteLedger final : public NoteCommandProbe
{
public:
    explicit NoteLedger(SoundLayer& layer) : processor(layer.processor())
    {
        processor.setCommandProbe(this);
    }
    ~NoteLedger() override { processor.setCommandProbe(nullptr); }

    void commandSent(int chain, const NoteCommand& c) noexcept override
    {
        chains.push_back(chain);
        record(c);
    }

    void record(const NoteCommand& c)
    {
        commands.push_back(c);
        switch (c.kind)
        {
        case NoteCommand::Kind::start:
            ++starts[(size_t)c.pitch];
            sounding[(size_t)c.pitch] = true;
            break;
        case NoteCommand::Kind::stop:
            ++stops[(size_t)c.pitch];
            sounding[(size_t)c.pitch] = false;
            break;
        case NoteCommand::Kind::stopAll:
        case NoteCommand::Kind::silence:
            for (size_t p = 0; p < 128; ++p)
            {
                ++stops[p];
                sounding[p] = false;
            }
            break;
        case NoteCommand::Kind::pitchBend:
            break;
        }
    }

    /** Pitches started and not stopped since. */
    std::vector<int> soundingPitches() const
    {
        std::vector<int> list;
        for (size_t p = 0; p < 128; ++p)
            if (sounding[p])
                list.push_back((int)p);
        return list;
    }

    /** The started pitches with their velocities, in order. */
    std::vector<std::pair<int, int>> startsInOrder() const
    {
        std::vector<std::pair<int, int>> list;
        for (auto& c : commands)
            if (c.kind == NoteCommand::Kind::start)
                list.emplace_back(c.pitch, c.value);
        return list;
    }

    int totalStarts() const
    {
        int n = 0;
        for (int s : starts)
            n += s;
        return n;
    }

    void clear()
    {
        commands.clear();
        starts.fill(0);
        stops.fill(0);
    }

    std::vector<NoteCommand> commands;
    std::vector<int> chains; // the chain each command went to
    std::array<int, 128> starts{}, stops{};
    std::array<bool, 128> sounding{};

private:
    LayerProcessor& processor;
};

/** One block of `engine`, rendered here, and its report taken: whatever was asked of the
    audio side has happened and is known. */
inline void settle(AudioEngine& engine)
{
    juce::AudioBuffer<float> block(2, engine.host().maximumBlockSize());
    engine.host().render(block, 0, block.getNumSamples());
    engine.collect();
}

/** Every change of set-up asked for has loaded, taken over, and what follows from it (the
    drone's notes after its new sound) has played. */
inline void settleChanges(AudioEngine& engine)
{
    // A change may first wait a block for a chain to come free.
    for (int round = 0; round < 20 && engine.hasPendingChanges(); ++round)
    {
        engine.waitForLoads();
        settle(engine); // the new chains take over
    }
    settle(engine); // what waited for them plays
    settle(engine);
}

/** An engine with a manual clock. Without a sound bank the layers stay silent but their note
    logic is complete, which keeps logic tests fast; render tests ask for the real bank. */
class EngineFixture : public ::testing::Test
{
protected:
    explicit EngineFixture(bool withSoundBank = false)
    {
        AudioEngine::Options options;
        options.soundBankPath =
            withSoundBank ? AudioEngine::resolveSoundBank() : std::string("/nonexistent/none.sf2");
        engine = std::make_unique<AudioEngine>(scheduler, options);
        midiState = std::make_shared<FakeMidi::State>();
    }

    /** Makes the MIDI manager (after the test has set up the fake system's state). */
    MIDIManager& makeMidi()
    {
        midi = std::make_unique<MIDIManager>(*engine, std::make_unique<FakeMidi>(midiState),
                                             scheduler);
        return *midi;
    }

    /** Renders and discards `seconds` of audio, letting the audio side take its requests,
        then takes in what it reports. */
    void renderFor(double seconds)
    {
        const int n = (int)(seconds * engine->host().sampleRate());
        juce::AudioBuffer<float> buffer(2, std::max(n, 1));
        engine->host().render(buffer, 0, buffer.getNumSamples());
        engine->collect();
    }

    /** One block: what was asked of the audio side has happened, and is reported back. */
    void settle() { renderFor(engine->host().maximumBlockSize() / engine->host().sampleRate()); }

    void settleChanges() { norvane::test::settleChanges(*engine); }

    ManualScheduler scheduler;
    std::unique_ptr<AudioEngine> engine;
    std::shared_ptr<FakeMidi::State> midiState;
    std::unique_ptr<MIDIManager> midi;
};

} // namespace norvane::test
