#include "engine/CrashRecord.h"
#include "engine/PluginNode.h"
#include "support/EngineFixture.h"
#include "support/HeldLoads.h"
#include "support/MessageLoop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace norvane::test
{

namespace
{

/** An instrument that brings the process down in its first block. */
class Crasher final : public TestPlugin
{
public:
    Crasher() : TestPlugin("Crasher", stereoOut()) {}
    void processBlock(juce::AudioBuffer<float>&, juce::MidiBuffer&) override
    {
        std::raise(SIGSEGV);
    }
};

const PluginRef keys = HeldPlugins::ref("Keys");
const PluginRef bells = HeldPlugins::ref("Bells");

/** Runs a crashing plug-in's first block in a node, as the audio side does, under a watching
    record. */
[[noreturn]] void crashInARun(const juce::File& folder)
{
    CrashRecord record(folder);
    record.watch();
    PluginInstrumentNode node(std::make_unique<Crasher>());
    node.setCrashTag(CrashRecord::tagOf(keys));
    node.prepareToPlay(48000.0, 128);
    juce::AudioBuffer<float> buffer(2, 128);
    juce::MidiBuffer midi;
    node.processBlock(buffer, midi);
    std::_Exit(0); // not reached
}

/** Dies while a plug-in is being made. */
[[noreturn]] void crashWhileMaking(const juce::File& folder)
{
    CrashRecord record(folder);
    record.watch();
    record.making(bells);
    std::abort();
}

} // namespace

/** A crash in a plug-in's run, or while it is made, names that plug-in at the next start, and
    only that one; forgiven, it is held back no more. */
TEST(CrashRecord, ACrashNamesThePlugInThatCausedItUntilItIsForgiven)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    TempFolder temp;
    {
        CrashRecord fresh(temp.folder);
        EXPECT_FALSE(fresh.isGuilty(keys));
        // Made without a crash: nothing stays behind.
        fresh.making(bells);
        fresh.made();
    }
    EXPECT_FALSE(CrashRecord(temp.folder).isGuilty(bells));

    EXPECT_EXIT(crashInARun(temp.folder), ::testing::KilledBySignal(SIGSEGV), "");
    {
        CrashRecord after(temp.folder);
        EXPECT_TRUE(after.isGuilty(keys));
        EXPECT_FALSE(after.isGuilty(bells));
        EXPECT_EQ(after.guiltyNames(), std::vector<std::string>{keys.name});
    }

    EXPECT_EXIT(crashWhileMaking(temp.folder), ::testing::KilledBySignal(SIGABRT), "");
    {
        CrashRecord after(temp.folder);
        EXPECT_TRUE(after.isGuilty(keys)); // still, until forgiven
        EXPECT_TRUE(after.isGuilty(bells));
        after.forgive(keys);
        EXPECT_FALSE(after.isGuilty(keys));
    }
    CrashRecord later(temp.folder);
    EXPECT_FALSE(later.isGuilty(keys));
    EXPECT_TRUE(later.isGuilty(bells));
}

/** At a start after a crash the guilty plug-in is not made: its layer plays its SoundFont sound,
    keeps the reference and the state, and the engine says which one was held back. Chosen
    again by the player, it is made. A start without plug-ins holds every one back. */
TEST(CrashRecord, AGuiltyPlugInIsHeldBackUntilThePlayerChoosesItAgain)
{
    GTEST_FLAG_SET(death_test_style, "fast"); // the child writes into this test's folder
    TempFolder temp;
    EXPECT_EXIT(crashInARun(temp.folder), ::testing::KilledBySignal(SIGSEGV), "");

    for (const bool safeStart : {false, true})
    {
        CrashRecord record(temp.folder);
        ManualScheduler scheduler;
        AudioEngine::Options options;
        options.soundBankPath = AudioEngine::resolveSoundBank();
        options.crashRecord = &record;
        options.withoutPlugins = safeStart;
        AudioEngine engine(scheduler, options);
        HeldPlugins plugins;
        plugins.use(engine);
        auto& a = engine.layerA();

        // Plug-ins are asked for from the message loop once their chain's sound has loaded.
        const auto settleWithPlugins = [&]
        {
            juce::AudioBuffer<float> block(2, 128);
            for (int round = 0; round < 400 && engine.hasPendingChanges(); ++round)
            {
                drainMessages(5);
                plugins.deliverAll();
                engine.host().render(block, 0, 128);
                engine.collect();
            }
            settleChanges(engine);
        };
        const auto tryBells = [&]
        {
            engine.loadInstrumentPlugin(bells, fakeState(0.5f), a);
            settleWithPlugins();
        };
        tryBells();
        EXPECT_EQ(a.pluginNode() != nullptr, !safeStart) << "safe start: " << safeStart;

        engine.loadInstrumentPlugin(keys, fakeState(0.25f), a);
        settleWithPlugins();
        EXPECT_EQ(plugins.made, safeStart ? 0 : 1); // keys was never made
        EXPECT_EQ(a.pluginNode(), nullptr);
        EXPECT_EQ(a.instrumentPlugin.get(), keys);
        EXPECT_EQ(toneOf(a.instrumentStateToKeep()), 0.25f);
        ASSERT_TRUE(engine.heldBackPlugin.get().has_value());
        EXPECT_EQ(engine.heldBackPlugin.get()->ref, keys);
        EXPECT_EQ(engine.heldBackPlugin.get()->crashed, !safeStart);
        EXPECT_FALSE(engine.loadError.get().has_value()); // the window words it

        juce::AudioBuffer<float> out(2, 9600);
        engine.noteOn(60, 110);
        engine.host().render(out, 0, out.getNumSamples());
        EXPECT_GT(out.getMagnitude(0, 0, out.getNumSamples()), 0.01f); // the sampler plays
        engine.noteOff(60);

        engine.allowPlugin(keys);
        EXPECT_FALSE(engine.heldBackPlugin.get().has_value());
        engine.loadInstrumentPlugin(keys, std::nullopt, a);
        settleWithPlugins();
        EXPECT_NE(a.pluginNode(), nullptr);
        EXPECT_EQ(toneOf(a.instrumentStateToKeep()), 0.25f);
        if (safeStart)
            tryBells(); // the start without plug-ins is over
        EXPECT_NE(a.pluginNode(), nullptr);
    }
}

} // namespace norvane::test
