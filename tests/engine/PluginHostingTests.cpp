#include "aids/DronePadController.h"
#include "engine/PluginNode.h"
#include "store/LivePatch.h"
#include "store/SessionStore.h"
#include "support/AllocationCounter.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"
#include "support/TempFolder.h"

#include <atomic>
#include <thread>

namespace norvane::test
{

class PluginHostingTest : public EngineFixture
{
protected:
    PluginHostingTest() { engine->setPluginFinder(findInstalled); }

    juce::AudioBuffer<float> render(AudioEngine& e, double seconds)
    {
        juce::AudioBuffer<float> out(2, (int)(seconds * e.host().sampleRate()));
        e.host().render(out, 0, out.getNumSamples());
        e.collect();
        return out;
    }

    /** A note on layer A, rendered. */
    juce::AudioBuffer<float> playNote(AudioEngine& e, int note = 60, double seconds = 0.3)
    {
        e.layerA().noteOn(note, 100);
        auto out = render(e, seconds);
        e.layerA().noteOff(note);
        render(e, 0.2);
        return out;
    }

    /** The new set-up has loaded and taken over. */
    bool loaded(AudioEngine& e, SoundLayer& layer)
    {
        norvane::test::settleChanges(e);
        return layer.pluginNode() != nullptr;
    }

    static float firstParameter(PluginNode* node)
    {
        return node->plugin().getParameters()[0]->getValue();
    }

    SoundLayer& a() { return engine->layerA(); }
    AudioHost& host() { return engine->host(); }

    static double energy(const juce::AudioBuffer<float>& b)
    {
        double sum = 0.0;
        for (int i = 0; i < b.getNumSamples(); ++i)
            sum += (double)b.getSample(0, i) * b.getSample(0, i);
        return sum;
    }
};

TEST_F(PluginHostingTest, AnInstrumentPlugInPlaysInTheSamplersPlace)
{
    // With the bank the sampler would sound; with the plug-in the output matches the plug-in
    // alone, rendered on an engine whose sampler has no bank.
    AudioEngine::Options withBank;
    withBank.soundBankPath = AudioEngine::resolveSoundBank();
    AudioEngine banked(scheduler, withBank);
    banked.setPluginFinder(findInstalled);
    // Both engines go through the same renders, so that notes meet the same block boundaries.
    EXPECT_GT(playNote(banked).getMagnitude(0, 0, 14400), 0.01f); // the sampler plays
    EXPECT_EQ(playNote(*engine).getMagnitude(0, 0, 14400), 0.0f); // no bank: silence

    const auto dx10 = installedRef("MDA DX10");
    for (auto* e : {engine.get(), &banked})
    {
        e->loadInstrumentPlugin(dx10, std::nullopt, e->layerA());
        EXPECT_EQ(e->layerA().instrumentPlugin.get(), dx10); // set at once, the node later
        EXPECT_EQ(e->layerA().pluginNode(), nullptr);
        ASSERT_TRUE(loaded(*e, e->layerA()));
        render(*e, 1.0); // the sampler's tail dies away in the chain that played it
    }
    const auto plugInOnly = playNote(*engine);
    const auto withSampler = playNote(banked);
    EXPECT_GT(plugInOnly.getMagnitude(0, 0, plugInOnly.getNumSamples()), 0.01f);
    float difference = 0.0f;
    for (int i = 0; i < plugInOnly.getNumSamples(); ++i)
        difference = std::max(difference,
                              std::abs(plugInOnly.getSample(0, i) - withSampler.getSample(0, i)));
    // Only the limiter's memory of the banked engine's first note remains.
    EXPECT_LT(difference, 0.03f * plugInOnly.getMagnitude(0, 0, plugInOnly.getNumSamples()));

    // Removing it brings the sampler back, and its editor window is told to close.
    int removals = 0;
    auto subscription = banked.pluginNodeWillBeRemoved.add([&](PluginNode&) { ++removals; });
    banked.loadInstrumentPlugin(std::nullopt, std::nullopt, banked.layerA());
    norvane::test::settleChanges(banked);
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(banked.layerA().pluginNode(), nullptr);
    EXPECT_FALSE(banked.layerA().instrumentPlugin->has_value());
    EXPECT_GT(playNote(banked).getMagnitude(0, 0, 14400), 0.01f);
}

TEST_F(PluginHostingTest, StateRoundTripsAndTheSamePlugInOnlyTakesTheState)
{
    const auto piano = installedRef("MDA Piano");
    engine->loadInstrumentPlugin(piano, std::nullopt, a());
    ASSERT_TRUE(loaded(*engine, a()));
    auto* node = a().pluginNode();
    node->plugin().getParameters()[0]->setValueNotifyingHost(0.9f);
    render(*engine, 0.01); // the change reaches the plug-in with its next block
    const auto changed = AudioEngine::pluginState(node);
    ASSERT_TRUE(changed.has_value());
    EXPECT_FALSE(AudioEngine::pluginState(nullptr).has_value());

    // A fresh engine, the same reference with that state.
    AudioEngine::Options bankless;
    bankless.soundBankPath = "/nonexistent/none.sf2";
    AudioEngine fresh(scheduler, bankless);
    fresh.setPluginFinder(findInstalled);
    fresh.loadInstrumentPlugin(piano, changed, fresh.layerA());
    ASSERT_TRUE(loaded(fresh, fresh.layerA()));
    render(fresh, 0.01);
    EXPECT_NEAR(firstParameter(fresh.layerA().pluginNode()), 0.9f, 1.0e-3f);

    // Asked again for the plug-in it runs, with another state (a recalled patch): the state goes
    // into the running instance, whose editor stays open; the note held plays on there.
    node->plugin().getParameters()[0]->setValueNotifyingHost(0.2f);
    render(*engine, 0.01);
    const auto other = AudioEngine::pluginState(node);
    NoteLedger ledger(fresh.layerA());
    int removals = 0;
    auto watch = fresh.pluginNodeWillBeRemoved.add([&](PluginNode&) { ++removals; });
    fresh.layerA().noteOn(64, 90);
    render(fresh, 0.01);
    auto* running = fresh.layerA().pluginNode();
    fresh.loadInstrumentPlugin(piano, other, fresh.layerA());
    EXPECT_FALSE(fresh.layerA().isSwitchPending());
    ASSERT_TRUE(loaded(fresh, fresh.layerA()));
    EXPECT_EQ(fresh.layerA().pluginNode(), running);
    EXPECT_EQ(removals, 0);
    render(fresh, 0.01);
    EXPECT_NEAR(firstParameter(running), 0.2f, 1.0e-3f);
    EXPECT_EQ(fresh.layerA().soundedNotes().count(64), 1u);
    fresh.layerA().noteOn(67, 90);
    fresh.layerA().noteOff(64);
    render(fresh, 0.01);
    ASSERT_EQ(ledger.commands.size(), 3u);
    EXPECT_EQ(ledger.chains[1], ledger.chains[0]);
    EXPECT_EQ(ledger.chains[2], ledger.chains[0]);

    // Garbage as a state is ignored: the plug-in plays with its own.
    fresh.loadInstrumentPlugin(piano, juce::MemoryBlock("\x01\x02garbage", 9), fresh.layerA());
    ASSERT_TRUE(loaded(fresh, fresh.layerA()));
    render(fresh, 0.01);
    EXPECT_NE(fresh.layerA().pluginNode(), nullptr);
}

TEST_F(PluginHostingTest, ALaterRequestSupersedesOneStillLoading)
{
    const auto piano = installedRef("MDA Piano"), dx10 = installedRef("MDA DX10");
    engine->loadInstrumentPlugin(piano, std::nullopt, a());
    engine->loadInstrumentPlugin(dx10, std::nullopt, a());
    ASSERT_TRUE(loaded(*engine, a()));
    drainMessages(100); // the piano's result, if it were to arrive late
    EXPECT_EQ(a().instrumentPlugin.get(), dx10);
    EXPECT_EQ(a().pluginNode()->plugin().getName(), "MDA DX10");
    EXPECT_GT(playNote(*engine).getMagnitude(0, 0, 14400), 0.01f);
}

TEST_F(PluginHostingTest, AnEffectSitsBetweenReverbAndFader)
{
    engine->loadInstrumentPlugin(installedRef("MDA DX10"), std::nullopt, a());
    ASSERT_TRUE(loaded(*engine, a()));
    const auto dry = playNote(*engine);

    const auto overdrive = installedRef("MDA Overdrive");
    engine->loadEffectPlugin(overdrive, std::nullopt, a());
    settleChanges();
    ASSERT_NE(a().effectNode(), nullptr);
    a().effectNode()->plugin().getParameters()[0]->setValueNotifyingHost(1.0f); // full drive
    const double dryEnergy = energy(dry), drivenEnergy = energy(playNote(*engine));
    EXPECT_GT(std::abs(drivenEnergy - dryEnergy), 0.05 * dryEnergy);

    // "No effect": the reverb feeds the fader straight again, and the note sounds as dry.
    engine->loadEffectPlugin(std::nullopt, std::nullopt, a());
    settleChanges();
    render(*engine, 1.0); // the overdriven chain rings out
    EXPECT_EQ(a().effectNode(), nullptr);
    EXPECT_NEAR(energy(playNote(*engine)), dryEnergy, 0.05 * dryEnergy);
}

TEST_F(PluginHostingTest, FailuresSayWhyAndLeaveThePlainChainPlaying)
{
    PluginRef missing{PluginRef::instrumentType, 1, 2, "Nobody \u2013 Nothing"};
    engine->loadInstrumentPlugin(missing, std::nullopt, a());
    ASSERT_TRUE(waitUntil([&] { return engine->loadError->has_value(); }));
    EXPECT_EQ(*engine->loadError.get(),
              "No se pudo cargar el plugin Nobody \u2013 Nothing: el plugin no está instalado");
    EXPECT_EQ(a().instrumentPlugin.get(), missing); // kept until something else is chosen
    EXPECT_EQ(a().pluginNode(), nullptr);

    // A failed replacement of a running plug-in: the sampler plays again.
    engine->loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, a());
    ASSERT_TRUE(loaded(*engine, a()));
    EXPECT_FALSE(engine->loadError->has_value());
    engine->loadInstrumentPlugin(missing, std::nullopt, a());
    ASSERT_TRUE(waitUntil([&] { return engine->loadError->has_value(); }));
    EXPECT_EQ(a().pluginNode(), nullptr);

    // An effect offered as an instrument.
    auto delay = installedRef("MDA Delay");
    engine->setPluginFinder([delay](const PluginRef&) { return findInstalled(delay); });
    engine->loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, a());
    ASSERT_TRUE(loaded(*engine, a()));
    const juce::MemoryBlock tuning("tuned", 5);
    engine->loadInstrumentPlugin(missing, tuning, a());
    ASSERT_TRUE(waitUntil(
        [&] {
            return engine->loadError->value_or("").find("no es un instrumento") !=
                   std::string::npos;
        }));
    EXPECT_EQ(*engine->loadError.get(),
              "No se pudo cargar el plugin Nobody \u2013 Nothing: no es un instrumento");
    // Failing, as missing, it stays in the set-up, state and all, and the sampler plays.
    EXPECT_EQ(a().instrumentPlugin.get(), missing);
    EXPECT_EQ(a().instrumentStateToKeep(), std::optional(tuning));
    EXPECT_EQ(a().pluginNode(), nullptr);

    engine->setPluginFinder(findInstalled);
    PluginRef missingEffect{PluginRef::effectType, 1, 2, "Nobody \u2013 Echo"};
    engine->loadEffectPlugin(missingEffect, std::nullopt, a());
    ASSERT_TRUE(waitUntil(
        [&] { return engine->loadError->value_or("").find("efecto") != std::string::npos; }));
    EXPECT_EQ(*engine->loadError.get(),
              "No se pudo cargar el efecto Nobody \u2013 Echo: el plugin no está instalado");
    EXPECT_EQ(a().effectNode(), nullptr);
}

/** A plug-in's state belongs to the set-up from the moment it is asked for: captured while the
    plug-in loads, saved once it has arrived, and kept while the machine lacks the plug-in. */
TEST_F(PluginHostingTest, APlugInsStateIsKeptWhileItLoadsOnceItArrivesAndWhileItIsMissing)
{
    // The state of a tuned piano, from another engine.
    const auto piano = installedRef("MDA Piano");
    juce::MemoryBlock tuned;
    {
        AudioEngine::Options bankless;
        bankless.soundBankPath = "/nonexistent/none.sf2";
        AudioEngine other(scheduler, bankless);
        other.setPluginFinder(findInstalled);
        other.loadInstrumentPlugin(piano, std::nullopt, other.layerA());
        ASSERT_TRUE(loaded(other, other.layerA()));
        other.layerA().pluginNode()->plugin().getParameters()[0]->setValueNotifyingHost(0.9f);
        render(other, 0.01);
        tuned = AudioEngine::pluginState(other.layerA().pluginNode()).value();
    }

    TempFolder temp;
    makeMidi();
    DronePadController drone(engine->dronePad(), scheduler);
    SessionStore session(*engine, *midi, drone, scheduler,
                         temp.folder.getChildFile("Session.json"));
    session.beginObserving();
    engine->loadInstrumentPlugin(piano, tuned, a());
    EXPECT_EQ(LivePatch::capture(*engine, drone, "p").layers[0].instrumentPluginState, tuned);
    scheduler.advance(2.0); // saved while it loads
    const int saves = session.saveCount();

    ASSERT_TRUE(loaded(*engine, a()));
    scheduler.advance(2.0);
    EXPECT_EQ(session.saveCount(), saves + 1); // its arrival is a change
    const auto saved = SessionState::decode(
        temp.folder.getChildFile("Session.json").loadFileAsString().toStdString());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->patch.layers[0].instrumentPlugin, piano);
    ASSERT_TRUE(saved->patch.layers[0].instrumentPluginState.has_value());
    a().pluginNode()->restore(*saved->patch.layers[0].instrumentPluginState);
    render(*engine, 0.01);
    EXPECT_NEAR(firstParameter(a().pluginNode()), 0.9f, 1.0e-3f);

    // On a machine without it: the layer keeps it, state and all, until told otherwise.
    AudioEngine::Options bankless;
    bankless.soundBankPath = "/nonexistent/none.sf2";
    AudioEngine lacking(scheduler, bankless);
    lacking.setPluginFinder([](const PluginRef&)
                            { return std::optional<juce::PluginDescription>(); });
    DronePadController otherDrone(lacking.dronePad(), scheduler);
    saved->patch.apply(lacking, otherDrone);
    ASSERT_TRUE(waitUntil([&] { return lacking.loadError->has_value(); }));
    norvane::test::settleChanges(lacking);
    EXPECT_EQ(lacking.layerA().pluginNode(), nullptr);
    const auto kept = LivePatch::capture(lacking, otherDrone, "p").layers[0];
    EXPECT_EQ(kept.instrumentPlugin, piano);
    EXPECT_EQ(kept.instrumentPluginState, saved->patch.layers[0].instrumentPluginState);
    lacking.loadInstrumentPlugin(std::nullopt, std::nullopt, lacking.layerA());
    norvane::test::settleChanges(lacking);
    const auto chosen = LivePatch::capture(lacking, otherDrone, "p").layers[0];
    EXPECT_FALSE(chosen.instrumentPlugin.has_value());
    EXPECT_FALSE(chosen.instrumentPluginState.has_value());
}

TEST_F(PluginHostingTest, APlugInAskedForDuringAScanLoadsOnceTheScanHasFoundIt)
{
    // A session restored at the start asks for its plug-ins while they are still being
    // scanned: the request waits for the list, and the layer's sound plays on meanwhile.
    TempFolder temp;
    std::atomic<bool> release{false};
    PluginLibrary library(temp.folder.getChildFile("Plugins.json"),
                          [&](const ScanFeedback& feedback)
                          {
                              while (!release && !feedback.cancelled())
                                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
                              return installedPlugins();
                          });
    AudioEngine::Options withBank;
    withBank.soundBankPath = AudioEngine::resolveSoundBank();
    AudioEngine banked(scheduler, withBank);
    banked.usePluginLibrary(library);
    auto& layer = banked.layerA();

    banked.loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, layer);
    drainMessages(200);
    EXPECT_FALSE(banked.loadError->has_value()) << *banked.loadError.get();
    EXPECT_TRUE(layer.isSwitchPending());
    EXPECT_EQ(layer.pluginNode(), nullptr);
    EXPECT_GT(energy(playNote(banked)), 0.0); // the sampler, still

    release = true;
    ASSERT_TRUE(loaded(banked, layer));
    EXPECT_FALSE(banked.loadError->has_value());
}

TEST_F(PluginHostingTest, RenderingThroughPlugInsStaysRealTimeSafe)
{
    engine->loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, a());
    engine->loadEffectPlugin(installedRef("MDA Delay"), std::nullopt, a());
    ASSERT_TRUE(loaded(*engine, a()));
    ASSERT_TRUE(waitUntil([&] { return a().effectNode() != nullptr; }));
    render(*engine, 0.05); // the plug-ins are taken up at the start of a block

    juce::AudioBuffer<float> block(2, 128);
    for (int i = 0; i < 200; ++i)
    {
        if (i % 10 == 0)
            engine->noteOn(48 + i / 10, 100);
        if (i % 10 == 5)
            engine->noteOff(48 + i / 10);
        if (i == 150)
            engine->panic();
        AllocationCounter::reset();
        AllocationCounter::arm();
        host().render(block, 0, 128);
        AllocationCounter::disarm();
        EXPECT_EQ(AllocationCounter::allocations(), 0u) << "block " << i;
        EXPECT_EQ(AllocationCounter::deallocations(), 0u) << "block " << i;
    }
}

} // namespace norvane::test
