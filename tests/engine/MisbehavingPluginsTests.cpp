// The tests' own LV2 plug-ins (tests/plugins), each doing what real plug-ins do now and then,
// hosted for real: scanned by the scanner program, made by JUCE's LV2 host, run in a layer.

#include "catalog/PluginLibrary.h"
#include "engine/CrashRecord.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace norvane::test
{

namespace
{

/** An engine with the General MIDI bank, finding plug-ins among the scanned ones. */
struct Rig
{
    explicit Rig(CrashRecord* record = nullptr)
    {
        AudioEngine::Options options;
        options.soundBankPath = AudioEngine::resolveSoundBank();
        options.crashRecord = record;
        engine = std::make_unique<AudioEngine>(scheduler, options);
        engine->setPluginFinder(findInstalled);
    }

    /** Renders `seconds`, block by block, taking in what the audio side reports. */
    juce::AudioBuffer<float> play(double seconds)
    {
        juce::AudioBuffer<float> out(2, (int)(seconds * engine->host().sampleRate()));
        out.clear();
        for (int at = 0; at + 128 <= out.getNumSamples(); at += 128)
        {
            engine->host().render(out, at, 128);
            engine->collect();
        }
        return out;
    }

    ManualScheduler scheduler;
    std::unique_ptr<AudioEngine> engine;
};

/** Makes layer A's effect the named test plug-in and renders a note through it: the death
    tests' child does this and dies on the way. */
void playThrough(const juce::String& effect, const juce::File& folder)
{
    CrashRecord record(folder);
    record.watch();
    Rig rig(&record);
    rig.engine->loadEffectPlugin(installedRef(effect), std::nullopt, rig.engine->layerA());
    settleChanges(*rig.engine);
    rig.engine->noteOn(60, 100);
    rig.play(0.5);
    std::_Exit(0); // reached only when nothing went wrong
}

} // namespace

/** The scan takes the classes the plug-ins declare: an instrument with audio inputs is an
    instrument, a plug-in with no audio output is offered nowhere; and it looks in the tests'
    own folder only. */
TEST(MisbehavingPlugins, TheScanClassesByDeclarationAndLooksOnlyWhereItIsTold)
{
    const auto offered = PluginLibrary::offered(installedPlugins());
    const auto has = [](const std::vector<InstalledPlugin>& list, const char* name)
    {
        return std::any_of(list.begin(), list.end(),
                           [&](const InstalledPlugin& p) { return p.description.name == name; });
    };
    EXPECT_TRUE(has(offered.instruments, "Instrument With Inputs"));
    EXPECT_TRUE(has(offered.instruments, "MDA Piano"));
    for (const char* effect : {"Crash In Run", "Not A Number", "Abort When Made", "MDA Delay"})
        EXPECT_TRUE(has(offered.effects, effect)) << effect;
    EXPECT_FALSE(has(offered.effects, "No Output") || has(offered.instruments, "No Output"));
    for (const auto& d : installedPlugins())
        EXPECT_TRUE(d.fileOrIdentifier.startsWith("urn:norvane:test:") ||
                    d.fileOrIdentifier.startsWith("http://drobilla.net/plugins/mda/"))
            << "from the machine's own plug-ins: " << d.fileOrIdentifier;
}

/** A real plug-in writing NaN: its layer goes silent and counts it, the master stays finite. */
TEST(MisbehavingPlugins, APlugInWritingNotANumberIsSilencedAndCounted)
{
    Rig rig;
    auto& a = rig.engine->layerA();
    rig.engine->loadEffectPlugin(installedRef("Not A Number"), std::nullopt, a);
    settleChanges(*rig.engine);
    ASSERT_NE(a.effectNode(), nullptr);
    rig.engine->noteOn(60, 100);
    const auto out = rig.play(0.5);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < out.getNumSamples(); ++i)
            ASSERT_TRUE(std::isfinite(out.getSample(ch, i))) << "sample " << i;
    EXPECT_EQ(out.getMagnitude(0, out.getNumSamples()), 0.0f);
    EXPECT_GT(a.silencedPluginBlocks.get(), 0);
}

/** A plug-in that crashes in its run, or aborts while it is made, is named in the record; the
    next start holds it back and plays the layer's sampler. */
TEST(MisbehavingPlugins, APlugInThatCrashesIsHeldBackAtTheNextStart)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Each dying child is a new run of this test program: it finds the folder the test chose
    // in its environment.
    TempFolder temp;
    const char* given = std::getenv("NORVANE_TEST_CRASH_FOLDER");
    const juce::File folder = given != nullptr ? juce::File(given) : temp.folder;
    setenv("NORVANE_TEST_CRASH_FOLDER", folder.getFullPathName().toRawUTF8(), 1);
    EXPECT_EXIT(playThrough("Crash In Run", folder), ::testing::KilledBySignal(SIGSEGV), "");
    EXPECT_EXIT(playThrough("Abort When Made", folder), ::testing::KilledBySignal(SIGABRT), "");
    unsetenv("NORVANE_TEST_CRASH_FOLDER");

    CrashRecord record(folder);
    EXPECT_TRUE(record.isGuilty(installedRef("Crash In Run")));
    EXPECT_TRUE(record.isGuilty(installedRef("Abort When Made")));
    EXPECT_FALSE(record.isGuilty(installedRef("MDA Delay")));

    Rig rig(&record);
    auto& a = rig.engine->layerA();
    rig.engine->loadEffectPlugin(installedRef("Crash In Run"), std::nullopt, a);
    settleChanges(*rig.engine);
    EXPECT_EQ(a.effectNode(), nullptr);
    EXPECT_EQ(a.effectPlugin.get(), installedRef("Crash In Run"));
    ASSERT_TRUE(rig.engine->heldBackPlugin.get().has_value());
    rig.engine->noteOn(60, 100);
    EXPECT_GT(rig.play(0.3).getMagnitude(0, 14400), 0.01f); // alive, and playing
}

} // namespace norvane::test
