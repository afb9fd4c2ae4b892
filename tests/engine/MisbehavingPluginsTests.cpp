// The tests' own LV2 plug-ins (tests/plugins), each doing what real plug-ins do now and then,
// hosted for real: scanned by the scanner program, made by JUCE's LV2 host, run in a layer.

#include "aids/DronePadController.h"
#include "catalog/PluginLibrary.h"
#include "engine/CrashRecord.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <sys/wait.h>

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

/** Makes layer A's effect the named plug-in, which the engine must refuse to make: the layer
    keeps it in its set-up, the error gives `reason`, and a note still sounds. */
void expectRefused(const juce::String& effect, const char* reason)
{
    Rig rig;
    auto& a = rig.engine->layerA();
    rig.engine->loadEffectPlugin(installedRef(effect), std::nullopt, a);
    settleChanges(*rig.engine);
    EXPECT_EQ(a.effectNode(), nullptr);
    EXPECT_EQ(a.effectPlugin.get(), installedRef(effect)); // kept in the set-up
    ASSERT_TRUE(rig.engine->loadError.get().has_value());
    EXPECT_NE(rig.engine->loadError.get()->find(reason), std::string::npos);
    rig.engine->noteOn(60, 100);
    EXPECT_GT(rig.play(0.3).getMagnitude(0, 14400), 0.01f);
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

/** A plug-in whose worker is still busy when the layer lets go of it (a drum machine loading
    its kit) is freed once the job is done, whether the layer changes sound or the program
    ends: the test plug-in aborts when it is freed in the middle of its job. */
TEST(MisbehavingPlugins, APlugInIsFreedOnlyAfterItsWorkersJob)
{
    for (const bool quitting : {false, true})
    {
        Rig rig;
        auto& a = rig.engine->layerA();
        rig.engine->loadEffectPlugin(installedRef("Slow Worker"), std::nullopt, a);
        settleChanges(*rig.engine);
        ASSERT_NE(a.effectNode(), nullptr);
        rig.engine->noteOn(60, 100);
        rig.play(0.01); // its first block gives the worker the job
        if (quitting)
            continue;
        rig.engine->noteOff(60);
        // Other effects, until the chain that held it is taken for one of them: it is let go
        // of while its job runs.
        size_t letGo = 0;
        for (const char* next : {"MDA Delay", "", "MDA Delay", ""})
        {
            rig.engine->loadEffectPlugin(*next ? std::optional(installedRef(next)) : std::nullopt,
                                         std::nullopt, a);
            settleChanges(*rig.engine);
            rig.play(0.02);
            letGo = std::max(letGo, rig.engine->pluginsSettling());
        }
        EXPECT_GE(letGo, 1u);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (rig.engine->pluginsSettling() > 0 && std::chrono::steady_clock::now() < giveUp)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            rig.play(0.01);
        }
        EXPECT_EQ(rig.engine->pluginsSettling(), 0u) << "never freed";
    }
}

/** A plug-in whose audio ports the host cannot all connect (two stereo inputs named left and
    right without a group) is not run with ports connected to nothing, where it would crash: its
    layer says why and plays on. */
TEST(MisbehavingPlugins, APlugInWhosePortsCannotAllBeConnectedIsNotRun)
{
    expectRefused("Two Stereo Inputs", AudioEngine::pluginPortsUnconnected);
}

/** A plug-in whose binary needs a window toolkit is marked by the scan and not made where
    there is no display (its toolkit would abort the program): the layer says why and plays. */
TEST(MisbehavingPlugins, APlugInThatNeedsADisplayIsNotMadeWithoutOne)
{
    for (const auto& d : installedPlugins())
        EXPECT_EQ(PluginRef::needsDisplay(d), d.name == "Needs A Display") << d.name;

    const ScopedEnvironment noDisplay{{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}};
    expectRefused("Needs A Display", AudioEngine::pluginNeedsDisplay);
}

/** norvane-cli goes down once, not at every run: a plug-in that aborted it is held back the
    next time, one that needs a display is not made without one, and it says both. */
TEST(MisbehavingPlugins, NorvaneCliGoesDownOnceAndSaysWhy)
{
    TempFolder temp;
    const auto app = temp.folder.getChildFile("Norvane");
    ASSERT_TRUE(app.createDirectory());
    {
        Rig rig;
        DronePadController drone(rig.engine->dronePad(), rig.scheduler);
        auto patch = LivePatch::capture(*rig.engine, drone, "Trouble");
        patch.layers[0].effectPlugin = installedRef("Abort When Made");
        patch.layers[1].isEnabled = true;
        patch.layers[1].effectPlugin = installedRef("Needs A Display");
        ASSERT_TRUE(app.getChildFile("LivePatches.json")
                        .replaceWithText(LivePatch::encodeList({patch})));
    }
    juce::MidiMessageSequence track;
    for (auto m : {juce::MidiMessage::programChange(1, 0),
                   juce::MidiMessage::noteOn(1, 60, (juce::uint8)100),
                   juce::MidiMessage::noteOff(1, 60)})
    {
        m.setTimeStamp(track.getNumEvents() * 480.0);
        track.addEvent(m);
    }
    juce::MidiFile file;
    file.setTicksPerQuarterNote(960);
    file.addTrack(track);
    const auto midi = temp.folder.getChildFile("in.mid");
    {
        juce::FileOutputStream out(midi);
        ASSERT_TRUE(out.openedOk() && file.writeTo(out));
    }

    const ScopedEnvironment headless{
        {"DISPLAY", nullptr},
        {"WAYLAND_DISPLAY", nullptr},
        {"XDG_DATA_HOME", temp.folder.getChildFile("data").getFullPathName().toRawUTF8()}};
    const auto said = temp.folder.getChildFile("said.txt");
    const auto command = juce::String("\"") + NORVANE_CLI + "\" render \"" +
                         midi.getFullPathName() + "\" \"" +
                         temp.folder.getChildFile("out.wav").getFullPathName() + "\" --folder \"" +
                         app.getFullPathName() + "\" 2> \"" + said.getFullPathName() + "\"";
    const int first = std::system(command.toRawUTF8());
    EXPECT_TRUE(WIFSIGNALED(first) || (WIFEXITED(first) && WEXITSTATUS(first) != 0))
        << said.loadFileAsString();
    const int second = std::system(command.toRawUTF8());
    const auto text = said.loadFileAsString();
    EXPECT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << text;
    EXPECT_TRUE(text.contains("Abort When Made stopped norvane-cli last time")) << text;
    EXPECT_TRUE(text.contains(AudioEngine::pluginNeedsDisplay)) << text;
    EXPECT_TRUE(temp.folder.getChildFile("out.wav").existsAsFile());
}

} // namespace norvane::test
