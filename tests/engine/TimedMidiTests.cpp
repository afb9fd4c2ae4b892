#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/realtime/PerformanceRouter.h"
#include "input/MIDIManager.h"
#include "support/EngineFixture.h"
#include "support/FakeMidi.h"

#include <gtest/gtest.h>

#include <cmath>

namespace norvane::test
{

namespace
{

TimedMidiEvent message(int frame, int status, int data1, int data2)
{
    TimedMidiEvent e;
    e.frame = frame;
    e.size = 3;
    e.bytes[0] = (std::uint8_t)status;
    e.bytes[1] = (std::uint8_t)data1;
    e.bytes[2] = (std::uint8_t)data2;
    return e;
}

std::vector<std::array<int, 4>> asList(TimedMidi events)
{
    std::vector<std::array<int, 4>> list;
    for (const auto& e : events)
        list.push_back({e.frame, e.bytes[0], e.bytes[1], e.size == 3 ? e.bytes[2] : -1});
    return list;
}

} // namespace

/** MIDI that comes with a device's cycle (a JACK port's), played at its frames in a block of
    512: the engine as the JACK client drives it. */
class TimedMidiTest : public ::testing::Test
{
protected:
    static constexpr int blockSize = 512;

    TimedMidiTest()
    {
        AudioEngine::Options options;
        options.soundBankPath = AudioEngine::resolveSoundBank();
        options.maximumBlockSize = blockSize;
        engine = std::make_unique<AudioEngine>(scheduler, options);
        engine->layerA().reverbAmount = 0.0;
        settleChanges(*engine);
    }

    void play(std::vector<TimedMidiEvent> events)
    {
        engine->host().renderBlock(block, events);
        engine->collect();
    }

    float peak() const { return block.getMagnitude(0, 0, blockSize); }

    ManualScheduler scheduler;
    std::unique_ptr<AudioEngine> engine;
    juce::AudioBuffer<float> block{2, blockSize};
};

TEST_F(TimedMidiTest, EveryNoteStartsOnTheSynthesizersFirstStepAtOrAfterItsFrame)
{
    ASSERT_FALSE(engine->soundBankPath().empty()) << "the General MIDI bank is not installed";
    std::optional<int> attack; // how far into its first step the sound crosses the threshold
    for (const int frame : {0, 3, 61, 64, 70, 130, 250, 400})
    {
        play({});
        for (int i = 0; i < 1000 && peak() > 1.0e-5f; ++i) // the last note's release dies away
            play({});
        ASSERT_LT(peak(), 1.0e-5f) << "the note before is still sounding";

        play({message(frame, 0x90, 60, 100)});
        int onset = -1;
        for (int i = 0; i < blockSize && onset < 0; ++i)
            if (std::abs(block.getSample(0, i)) > 1.0e-3f)
                onset = i;
        ASSERT_GE(onset, frame) << "a note sounded before its frame " << frame;
        const int step = (frame + 63) / 64 * 64; // FluidSynth starts voices every 64 frames
        EXPECT_LT(onset - step, 64) << "the note at frame " << frame << " started at " << onset;
        if (!attack)
            attack = onset - step;
        EXPECT_NEAR(onset - step, *attack, 2) << "the note at frame " << frame;
        play({message(0, 0x80, 60, 0)});
    }
}

/** A computer key carries only the moment it was pressed: in blocks over 128 frames it plays
    one block after that, at the same distance from the block's start (here, a key pressed
    just before the block plays at its end), not at the block's start. */
TEST_F(TimedMidiTest, KeysThatCarryOnlyTheirArrivalPlayOneBlockLaterInLargeBlocks)
{
    ASSERT_FALSE(engine->soundBankPath().empty()) << "the General MIDI bank is not installed";
    auto midiState = std::make_shared<FakeMidi::State>();
    MIDIManager midi(*engine, std::make_unique<FakeMidi>(midiState), scheduler);
    play({});
    midi.noteOn(60, 100);
    play({});
    // Within the last 5 ms of the block (a machine may pause between the key and the block).
    for (int i = 0; i < blockSize / 2; ++i)
        ASSERT_LT(std::abs(block.getSample(0, i)), 1.0e-3f) << "sounded at frame " << i;
    play({});
    EXPECT_GT(peak(), 1.0e-2f);
}

TEST_F(TimedMidiTest, WhatIsPlayedIsEchoedAsItSoundsAndALostSourceLetsGo)
{
    auto midiState = std::make_shared<FakeMidi::State>();
    MIDIManager midi(*engine, std::make_unique<FakeMidi>(midiState), scheduler);
    midi.transposeSemitones = 2;
    play({message(10, 0x90, 60, 100)});
    EXPECT_TRUE(asList(engine->router().echoed()).empty()) << "the echo is off until asked for";

    midi.echoToOutput = true;
    play({message(3, 0x80, 60, 0), message(10, 0x91, 64, 90), message(20, 0xB1, 64, 127),
          message(30, 0x81, 64, 0), message(40, 0xE1, 0, 80)});
    const std::vector<std::array<int, 4>> expected = {
        {3, 0x80, 62, 0}, {10, 0x91, 66, 90}, {20, 0xB1, 64, 127}, {30, 0x81, 66, 0},
        {40, 0xE1, 0, 80}};
    EXPECT_EQ(asList(engine->router().echoed()), expected);
    EXPECT_EQ(midi.sustainedNotes.get(), std::set<int>{66}); // the pedal holds it

    // Its source goes away with the pedal down and a key held: nothing is left sounding.
    play({message(0, 0x90, 67, 100)});
    EXPECT_EQ(midi.sustainedNotes.get(), (std::set<int>{66, 69}));
    engine->router().midiInputLost();
    play({});
    EXPECT_TRUE(midi.sustainedNotes.get().empty());
    EXPECT_FALSE(midi.isSustainPedalDown.get());
}

} // namespace norvane::test
