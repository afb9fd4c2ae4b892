#include "aids/DronePadController.h"
#include "aids/Metronome.h"
#include "engine/SamplerNode.h"
#include "input/PerformanceRenderer.h"
#include "support/AllocationCounter.h"
#include "support/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace norvane::test
{

namespace
{

double rmsDb(const juce::AudioBuffer<float>& audio, double fromSeconds, double toSeconds,
             double rate)
{
    const int from = (int)(fromSeconds * rate);
    const int to = std::min(audio.getNumSamples(), (int)(toSeconds * rate));
    double sum = 0.0;
    for (int ch = 0; ch < audio.getNumChannels(); ++ch)
        for (int i = from; i < to; ++i)
            sum += (double)audio.getSample(ch, i) * audio.getSample(ch, i);
    const double rms = std::sqrt(sum / std::max(1, (to - from) * audio.getNumChannels()));
    return 20.0 * std::log10(std::max(rms, 1e-12));
}

std::vector<TimedMessage> fixture(const char* name)
{
    std::string error;
    auto messages = readMidiFile(juce::File(NORVANE_TEST_FIXTURES).getChildFile(name), error);
    EXPECT_TRUE(messages.has_value()) << error;
    return messages.value_or(std::vector<TimedMessage>{});
}

} // namespace

class RenderTest : public EngineFixture
{
protected:
    RenderTest() : EngineFixture(true) {}
};

TEST_F(RenderTest, ChordFileIsSilentBeforeTheFirstNoteAndLoudWhileItIsHeld)
{
    ASSERT_FALSE(engine->soundBankPath().empty()) << "the General MIDI bank is not installed";
    auto& m = makeMidi();
    PerformanceRenderer renderer(*engine, m, scheduler);

    const auto messages = fixture("chords.mid");
    ASSERT_FALSE(messages.empty());
    const double firstNote = messages.front().seconds;
    EXPECT_NEAR(firstNote, 1.0, 1e-6);

    const auto audio = renderer.render(messages, 1.0);
    const double rate = engine->host().sampleRate();
    EXPECT_EQ(audio.getNumSamples(), (int)std::ceil((messages.back().seconds + 1.0) * rate));

    // Digital silence, exactly, up to the first note.
    const int firstSample = (int)std::llround(firstNote * rate);
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_EQ(audio.getMagnitude(ch, 0, firstSample), 0.0f);

    EXPECT_GT(rmsDb(audio, firstNote + 0.05, firstNote + 0.9, rate), -40.0);
    EXPECT_LT(audio.getMagnitude(0, audio.getNumSamples()), 1.0f);

    // The sound begins within a few milliseconds of the note.
    EXPECT_GT(audio.getMagnitude(0, firstSample, (int)(0.01 * rate)), 0.0f);
}

TEST_F(RenderTest, RenderingAPerformanceNeverAllocatesOnTheAudioThread)
{
    auto& m = makeMidi();
    for (auto* l : engine->playingLayers())
    {
        l->isEnabled = true;
        l->damperAmount = 0.8; // key and pedal noise on every layer
    }
    engine->layerA().reverbAmount = 0.4;
    engine->layerA().compressionAmount = 0.7;
    engine->layerA().eqHighGain = 4.0;
    engine->layerB().attackTime = 0.3;
    engine->layerB().releaseTime = 0.5;
    engine->layerC().lowKey = 60;
    engine->layerC().crossfadeSemitones = 4;
    DronePadController drone(engine->dronePad(), scheduler);
    drone.shimmer = 0.6;
    drone.chooseKey(2);
    auto& metronome = engine->metronome();
    metronome.signature = TimeSignature{6, 8};
    metronome.bpm = 240.0;
    // Bound controllers and keys: knobs and faders after pickup, switches, a learnt binding.
    using K = ControlTarget::Kind;
    using S = ControllerBinding::Source;
    m.useBindings({{ControlTarget::ofLayer(K::layerReverbAmount, 0), S::controller, 20, 0},
                   {ControlTarget::ofLayer(K::layerEqMidGain, 1), S::controller, 21, 1},
                   {ControlTarget::master(), S::controller, 22, 0},
                   {ControlTarget::ofLayer(K::layerEnabled, 3), S::note, 30, 0},
                   {ControlTarget::of(K::transposeUp), S::controller, 23, 0}});
    m.sustainPedalInverted = true;
    m.learn(ControlTarget::of(K::droneVolume));

    // A scripted performance: chords, a run, the pedal, bends, controllers, panic.
    std::vector<TimedMessage> script;
    double t = 0.05;
    auto add = [&](std::vector<std::uint8_t> bytes, double dt = 0.01)
    {
        script.push_back({t, std::move(bytes)});
        t += dt;
    };
    for (int round = 0; round < 3; ++round)
    {
        add({0xB0, 64, 127});
        for (int n : {48, 55, 60, 64, 67, 72})
            add({0x90, (std::uint8_t)n, 100});
        for (int n = 40; n < 90; n += 3)
            add({0x91, (std::uint8_t)n, (std::uint8_t)(30 + n)}, 0.005);
        add({0xE0, 0x00, 0x60});
        add({0xB0, 7, 90});
        for (int v = 0; v < 128; v += 9)
            for (std::uint8_t number : {20, 21, 22, 24})
                add({0xB0, number, (std::uint8_t)v}, 0.002);
        add({0x90, 30, 100});
        add({0x80, 30, 0});
        add({0xB0, 23, 127});
        add({0xB0, 23, 0});
        for (int n = 40; n < 90; n += 3)
            add({0x81, (std::uint8_t)n, 0}, 0.005);
        for (int n : {48, 55, 60, 64, 67, 72})
            add({0x80, (std::uint8_t)n, 0});
        add({0xB0, 64, 0}, 0.2);
        add({0xE0, 0x00, 0x40});
    }
    add({0x90, 60, 100}, 0.1);
    script.push_back({t, {}}); // then a panic below, mid-render

    PerformanceRenderer::Hooks hooks;
    hooks.beforeBlock = [] { AllocationCounter::arm(); };
    hooks.afterBlock = [] { AllocationCounter::disarm(); };
    hooks.atTime = [&, done = false](double seconds) mutable
    {
        if (!done && seconds >= t)
        {
            m.panic();
            metronome.stop(); // drops the clicks queued on the audio thread
            metronome.start();
            drone.choosePadType(2);
            done = true;
        }
    };

    // One block first, so that the freshly loaded instruments are swapped in.
    renderFor(0.01);

    metronome.start();
    AllocationCounter::reset();
    PerformanceRenderer renderer(*engine, m, scheduler);
    const auto audio = renderer.render(script, 1.0, hooks);
    EXPECT_EQ(AllocationCounter::allocations(), 0u);
    EXPECT_EQ(AllocationCounter::deallocations(), 0u);
    EXPECT_GT(audio.getMagnitude(0, audio.getNumSamples()), 0.0f);
}

TEST_F(RenderTest, SwappingInANewSoundWhilePlayingKeepsTheAudioThreadClean)
{
    auto& layer = engine->layerA();
    renderFor(0.01);
    layer.noteOn(60, 100);

    juce::AudioBuffer<float> block(2, 256);
    for (int i = 0; i < 20; ++i)
    {
        if (i % 5 == 0)
            layer.variantIndex = (layer.variantIndex.get() + 1) % 5; // loads on this thread
        AllocationCounter::reset();
        AllocationCounter::arm();
        engine->host().render(block, 0, block.getNumSamples());
        AllocationCounter::disarm();
        EXPECT_EQ(AllocationCounter::allocations(), 0u) << "block " << i;
        EXPECT_EQ(AllocationCounter::deallocations(), 0u) << "block " << i;
    }
    EXPECT_FALSE(layer.loadError.get().has_value());
}

/** The live situation: an audio thread renders without pause while the message thread plays,
    loads other sounds and bends. The hand-over of commands and synthesizers must hold up
    (the thread-sanitizer build checks the same run for races). */
TEST_F(RenderTest, PlayingAndLoadingWhileAnotherThreadRenders)
{
    auto& layer = engine->layerA();
    std::atomic<bool> running{true};
    std::atomic<float> loudest{0.0f};
    std::atomic<int> blocks{0};

    std::thread audio(
        [&]
        {
            juce::AudioBuffer<float> block(2, 128);
            while (running)
            {
                engine->host().render(block, 0, 128);
                loudest = std::max(loudest.load(), block.getMagnitude(0, 0, 128));
                ++blocks;
            }
        });

    for (int round = 0; round < 40; ++round)
    {
        if (round % 8 == 0)
            layer.variantIndex = (round / 8) % 5;
        for (int n = 48; n < 72; n += 4)
            engine->noteOn(n, 90);
        engine->pitchBend(8192 + round * 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (int n = 48; n < 72; n += 4)
            engine->noteOff(n);
        layer.sampler().collectRetired();
    }

    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (blocks < 50 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    running = false;
    audio.join();

    EXPECT_GE(blocks.load(), 50);
    EXPECT_GT(loudest.load(), 0.0f);
    EXPECT_FALSE(layer.loadError.get().has_value());
}

} // namespace norvane::test
