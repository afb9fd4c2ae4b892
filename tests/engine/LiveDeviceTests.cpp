#include "aids/Metronome.h"
#include "engine/SimulatedAudioDevice.h"
#include "support/AllocationCounter.h"
#include "support/EngineFixture.h"

#include <atomic>
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
    options.deviceType = [settings] { return std::make_unique<SimulatedAudioDeviceType>(settings); };
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

} // namespace norvane::test
