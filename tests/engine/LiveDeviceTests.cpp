#include "aids/Metronome.h"
#include "engine/CallbackTimes.h"
#include "engine/LayerSwitcher.h"
#include "engine/NodeProcessor.h"
#include "engine/SimulatedAudioDevice.h"
#include "engine/realtime/LayerChain.h"
#include "support/AllocationCounter.h"
#include "support/EngineFixture.h"
#include "support/HeldLoads.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace norvane::test
{

namespace
{

// What the device's thread counted over the callbacks it measured.
std::atomic<bool> measuring{false};
std::atomic<std::size_t> allocations{0}, deallocations{0}, locks{0}, measured{0};

} // namespace

/** The live situation through a device: its thread calls the engine at the real rate while a
    MIDI thread plays keys, the pedal, bends and controllers, and the message thread switches
    the layers' sounds, runs the metronome and panics. No callback allocates, frees or waits on
    a lock, besides two that JUCE takes on every callback and that nothing else takes while
    the device and the graph stay as they are: the device manager's and the graph nodes'. */
TEST(LiveDevice, TheCallbackNeverAllocatesOrLocksWhilePlayingAndSwitching)
{
    auto clock = std::make_shared<SimulatedDeviceClock>();
    clock->beforeCallback = []
    {
        AllocationCounter::reset();
        if (measuring)
            AllocationCounter::arm();
    };
    clock->afterCallback = []
    {
        AllocationCounter::disarm();
        if (!measuring)
            return;
        allocations += AllocationCounter::allocations();
        deallocations += AllocationCounter::deallocations();
        locks += AllocationCounter::locks();
        ++measured;
    };

    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.soundBankPath = AudioEngine::resolveSoundBank();
    options.useAudioDevice = true;
    options.deviceType = [clock]
    {
        SimulatedAudioDeviceType::Settings settings;
        settings.clock = clock;
        return std::make_unique<SimulatedAudioDeviceType>(settings);
    };
    AudioEngine engine(scheduler, options);
    auto midiState = std::make_shared<FakeMidi::State>();
    midiState->sources = {{"20-0", "Stage Piano"}};
    MIDIManager midi(engine, std::make_unique<FakeMidi>(midiState), scheduler);
    ASSERT_TRUE(midiState->deliver);

    for (auto* l : engine.playingLayers())
    {
        l->isEnabled = true;
        l->damperAmount = 0.5;
        l->reverbAmount = 0.3;
    }
    engine.prepareDamperSounds();
    engine.waitForDamperSounds();
    engine.waitForLoads();
    const auto until = [&](double seconds)
    {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::microseconds((std::int64_t)(seconds * 1e6));
        while (std::chrono::steady_clock::now() < end)
        {
            engine.collect();
            scheduler.advance(0.01);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    until(0.1);
    ASSERT_GT(clock->callbacks.load(), 10) << "the simulated device does not play";

    AllocationCounter::allowLock(&engine.host().deviceManager().getAudioCallbackLock());
    for (auto* node : engine.host().graph().getNodes())
        AllocationCounter::allowLock(&node->getProcessor()->getCallbackLock());
    measuring = true;

    std::atomic<bool> playing{true};
    std::thread keyboard(
        [&]
        {
            for (int round = 0; playing; ++round)
            {
                const std::uint8_t pedal[] = {0xB0, 64, (std::uint8_t)(round % 2 ? 0 : 127)};
                midiState->deliver(pedal, sizeof(pedal));
                for (int n = 36 + round % 5; n < 96; n += 7)
                {
                    const std::uint8_t on[] = {0x90, (std::uint8_t)n, (std::uint8_t)(40 + n)};
                    midiState->deliver(on, sizeof(on));
                }
                const std::uint8_t bend[] = {0xE0, 0, (std::uint8_t)(32 + round % 64)};
                const std::uint8_t volume[] = {0xB0, 7, (std::uint8_t)(64 + round % 60)};
                midiState->deliver(bend, sizeof(bend));
                midiState->deliver(volume, sizeof(volume));
                std::this_thread::sleep_for(std::chrono::milliseconds(15));
                for (int n = 36 + round % 5; n < 96; n += 7)
                {
                    const std::uint8_t off[] = {0x80, (std::uint8_t)n, 0};
                    midiState->deliver(off, sizeof(off));
                }
            }
        });

    engine.metronome().start();
    for (int round = 0; round < 6; ++round)
    {
        auto& layer = *engine.playingLayers()[(size_t)(round % 4)];
        layer.variantIndex = (layer.variantIndex.get() + 1) % 3; // a new sound, loaded aside
        layer.lowKey = round % 2 == 0 ? 30 : 0;
        layer.transposeSemitones = round - 3;
        until(0.15);
        if (round == 3)
            midi.panic();
        midi.transposeSemitones = round % 3;
    }
    engine.metronome().stop();
    playing = false;
    keyboard.join();
    until(0.1);
    // The last sound asked for takes over once loaded (a loaded machine takes longer).
    for (int i = 0; i < 100 && engine.hasPendingChanges(); ++i)
        until(0.05);
    measuring = false;
    until(0.02);

    EXPECT_GT(measured.load(), 200u);
    EXPECT_EQ(allocations.load(), 0u);
    EXPECT_EQ(deallocations.load(), 0u);
    if (AllocationCounter::countsLocks())
    {
        EXPECT_EQ(locks.load(), 0u);
    }
    EXPECT_EQ(engine.layerA().variantIndex.get(), 2);
    EXPECT_FALSE(engine.layerA().isSwitchPending());
    engine.host().stop();
}

} // namespace norvane::test

namespace norvane::test
{

TEST(LiveDevice, ARefusedDeviceSaysWhatTheDriverSaidAndWhenNothingPlays)
{
    SimulatedAudioDeviceType::Settings settings;
    const auto refusal = settings.refusal;
    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.soundBankPath = "/nonexistent/none.sf2";
    options.useAudioDevice = true;
    options.deviceType = [settings]
    { return std::make_unique<SimulatedAudioDeviceType>(settings); };
    AudioEngine engine(scheduler, options);
    const auto simulated = [&]
    {
        for (const auto& d : engine.listOutputDevices())
            if (d.type == SimulatedAudioDeviceType::typeName)
                return d;
        ADD_FAILURE() << "the simulated device is not listed";
        return AudioOutputDevice{};
    }();
    engine.selectOutputDevice(simulated);
    ASSERT_FALSE(engine.loadError->has_value());
    ASSERT_EQ(engine.host().deviceName(), SimulatedAudioDeviceType::deviceName);

    // Refused, and the way back refused too: both reasons, and that nothing plays now.
    *refusal = "device busy";
    engine.selectOutputDevice(simulated);
    EXPECT_EQ(*engine.loadError.get(),
              "No se pudo cambiar la salida de audio (device busy). Tampoco se pudo volver a la "
              "salida anterior (device busy): el motor sigue sin salida de audio.");
    EXPECT_TRUE(engine.host().deviceName().isEmpty());
    EXPECT_TRUE(engine.isRunning()); // on its silent clock, ready for the next choice

    refusal->clear();
    engine.selectOutputDevice(simulated);
    EXPECT_FALSE(engine.loadError->has_value());
    EXPECT_EQ(engine.host().deviceName(), SimulatedAudioDeviceType::deviceName);
}

namespace
{

/** Takes `slowMs` over every `every`-th block it renders, and counts those blocks. */
class SlowNode final : public NodeProcessor
{
public:
    SlowNode(int everyIn, double slowMsIn)
        : NodeProcessor("Slow", Inputs::none), every(everyIn), slowMs(slowMsIn)
    {
    }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        buffer.clear();
        if (++blocks % every != 0)
            return;
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::microseconds((std::int64_t)(slowMs * 1000.0));
        while (std::chrono::steady_clock::now() < until)
        {
        }
        ++slowBlocks;
    }

    const int every;
    const double slowMs;
    int blocks = 0;
    std::atomic<int> slowBlocks{0};
};

} // namespace

/** The figures the window and `play` show: the device's own (size, rate, latency, the driver's
    xruns) and the callback's times, with every callback that ran past its period counted. */
TEST(LiveDevice, TheFiguresCountSlowCallbacksAndTheDriversXruns)
{
    SimulatedAudioDeviceType::Settings settings;
    settings.sampleRate = 44100.0;
    settings.bufferSize = 256; // a 5.805 ms period
    settings.realTime = false;
    const auto clock = settings.clock;
    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.soundBankPath = "/nonexistent/none.sf2";
    options.useAudioDevice = true;
    options.deviceType = [settings]
    { return std::make_unique<SimulatedAudioDeviceType>(settings); };
    AudioEngine engine(scheduler, options);
    for (const auto& d : engine.listOutputDevices())
        if (d.type == SimulatedAudioDeviceType::typeName)
            engine.selectOutputDevice(d, DeviceFormat{256});
    ASSERT_EQ(engine.host().deviceName(), SimulatedAudioDeviceType::deviceName);
    engine.host().stopPlaying();

    auto slow = std::make_unique<SlowNode>(8, 12.0);
    auto& node = *slow;
    engine.attachSource(std::move(slow));
    engine.host().callbackTimes().clear();
    clock->lateCallbacks = 3; // what the driver reports
    engine.host().startPlaying();
    while (node.slowBlocks < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    engine.host().stopPlaying();

    const auto figures = engine.host().deviceFigures();
    ASSERT_TRUE(figures.has_value());
    EXPECT_EQ(figures->bufferSize, 256);
    EXPECT_EQ(figures->sampleRate, 44100.0);
    EXPECT_NEAR(figures->periodMs, 5.805, 0.001);
    EXPECT_NEAR(figures->outputLatencyMs, 5.805, 0.001); // no latency of its own, plus a buffer
    EXPECT_EQ(figures->driverXruns, 3);

    const auto& times = engine.host().callbackTimes();
    const auto slowBlocks = node.slowBlocks.load();
    EXPECT_GE(times.callbacks(), 8 * slowBlocks);
    EXPECT_GE(times.overruns(), slowBlocks); // every slow one ran past its period
    EXPECT_LE(times.overruns(), times.callbacks() / 4);
    EXPECT_GE(times.maxMs(), 12.0);
    EXPECT_GE(times.percentileMs(1.0), 12.0);
    EXPECT_LT(times.percentileMs(0.5), 5.805); // the usual callback keeps up
    EXPECT_LE(times.percentileMs(0.5), times.percentileMs(0.99));

    engine.host().callbackTimes().clear();
    EXPECT_EQ(times.callbacks(), 0);
    EXPECT_EQ(times.overruns(), 0);
    EXPECT_EQ(times.percentileMs(0.999), 0.0);
}

/** Percentiles read from the histogram: the top of the step a share of the callbacks stayed
    within, never above the slowest; the CPU time kept apart from the wall clock's, so that a
    callback held up by the machine (wall time past its period, little CPU) is told apart
    from one that worked too long. */
TEST(CallbackTimes, PercentilesFollowTheRecordedDurations)
{
    auto times = std::make_unique<CallbackTimes>();
    for (int i = 0; i < 990; ++i)
        times->record(0.5, 2.667, 0.25);
    for (int i = 0; i < 9; ++i)
        times->record(2.0, 2.667, 1.0);
    times->record(3.1, 2.667, 2.8);
    EXPECT_EQ(times->callbacks(), 1000);
    EXPECT_EQ(times->overruns(), 1);
    EXPECT_NEAR(times->percentileMs(0.5), 0.51, 1e-9);
    EXPECT_NEAR(times->percentileMs(0.99), 0.51, 1e-9);
    EXPECT_NEAR(times->percentileMs(0.995), 2.01, 1e-9);
    EXPECT_NEAR(times->percentileMs(0.999), 2.01, 1e-9);
    EXPECT_NEAR(times->percentileMs(1.0), 3.1, 1e-9);
    EXPECT_NEAR(times->cpuPercentileMs(0.5), 0.26, 1e-9);
    EXPECT_NEAR(times->cpuPercentileMs(0.995), 1.01, 1e-9);
    EXPECT_EQ(times->cpuOverruns(), 1);
    times->record(100.0, 2.667, 0.1); // beyond the histogram: in its last step, and the slowest
    EXPECT_NEAR(times->percentileMs(1.0), 100.0, 1e-9);
    EXPECT_NEAR(times->percentileMs(0.9995), 40.0, 1e-9);
    EXPECT_EQ(times->overruns(), 2);
    EXPECT_EQ(times->cpuOverruns(), 1); // the machine held it up; it used 0.1 ms
    EXPECT_NEAR(times->cpuMaxMs(), 2.8, 1e-9);
}

/** A device opened at another rate: the synthesizers are built again for it on the loader, not
    on the message thread (the layers are silent rather than out of tune meanwhile), and the
    damper sounds follow the rate even when the first ones were still being rendered for the
    rate before, as when a session restores a device right at the start. */
TEST(LiveDevice, ANewRateRebuildsTheSoundsOnTheLoaderAndTheDamperSoundsFollow)
{
    SimulatedAudioDeviceType::Settings settings;
    settings.sampleRate = 96000.0; // its damper sounds take a while
    settings.otherSampleRates = {44100.0};
    ManualScheduler scheduler;
    auto jobs = std::make_shared<HeldLoader::Jobs>();
    AudioEngine::Options options;
    options.soundBankPath = AudioEngine::resolveSoundBank();
    options.useAudioDevice = true;
    options.deviceType = [settings]
    { return std::make_unique<SimulatedAudioDeviceType>(settings); };
    options.soundLoader = [jobs] { return std::make_unique<HeldLoader>(jobs); };
    AudioEngine engine(scheduler, options);
    ASSERT_EQ(engine.host().sampleRate(), 96000.0);

    // The damper sounds are being rendered for 96 kHz since the start; the session's device
    // comes at 44.1 kHz before they are done.
    engine.layerA().damperAmount = 0.5;
    engine.selectOutputFormat({128, 44100.0});
    ASSERT_EQ(engine.host().sampleRate(), 44100.0);
    auto& sampler = engine.layerA().chain().sampler();
    EXPECT_EQ(sampler.sampleRate(), 44100.0);
    EXPECT_EQ(sampler.installedRate(), 96000.0); // not built here
    EXPECT_FALSE(jobs->waiting.empty());
    EXPECT_TRUE(engine.hasPendingChanges());

    engine.waitForLoads(); // runs the held jobs: the loader's work
    EXPECT_TRUE(engine.damperSoundsReady());
    for (auto* l : engine.allLayers())
        EXPECT_EQ(l->chain().sampler().installedRate(), 44100.0) << l->slot;

    // In tune at the new rate: as an engine made at 44.1 kHz plays the same note.
    engine.host().stopPlaying();
    AudioEngine::Options native;
    native.soundBankPath = options.soundBankPath;
    native.sampleRate = 44100.0;
    AudioEngine reference(scheduler, native);
    auto crossingsOfA4 = [](AudioEngine& e)
    {
        e.layerA().noteOn(69, 100);
        juce::AudioBuffer<float> out(2, 44100);
        e.host().render(out, 0, out.getNumSamples());
        int crossings = 0;
        for (int i = 22050; i + 1 < 44100; ++i)
            crossings += (out.getSample(0, i) < 0.0f) != (out.getSample(0, i + 1) < 0.0f);
        return crossings;
    };
    const int expected = crossingsOfA4(reference);
    EXPECT_GT(expected, 400);
    EXPECT_NEAR(crossingsOfA4(engine), expected, expected / 50); // 96 kHz samples: an octave off
}

} // namespace norvane::test
