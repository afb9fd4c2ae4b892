#include "aids/Metronome.h"
#include "app/AppState.h"
#include "engine/EqualizerNode.h"
#include "store/FileWriter.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include <cstring>
#include <vector>

namespace norvane::test
{

namespace
{

using K = ControlTarget::Kind;
using Source = ControllerBinding::Source;

ControllerBinding cc(ControlTarget target, int number, int channel = 0)
{
    return {target, Source::controller, number, channel};
}

ControllerBinding key(ControlTarget target, int number, int channel = 0)
{
    return {target, Source::note, number, channel};
}

ControlTarget layerTarget(K kind, int layer)
{
    return ControlTarget::ofLayer(kind, layer);
}

} // namespace

/** The whole program on a folder of its own, played through its MIDI input. */
class ControllerTest : public ::testing::Test
{
protected:
    ControllerTest() { start(); }

    void start()
    {
        ledgers.clear();
        app.reset();
        AppState::Options options;
        options.engine.soundBankPath = "/nonexistent/none.sf2";
        options.midi = std::make_unique<FakeMidi>(std::make_shared<FakeMidi::State>());
        options.folder = temp.folder;
        options.defaults = &defaults;
        options.localization = &localization;
        options.updateFeed = juce::URL("http://127.0.0.1:9/version.json"); // nobody answers
        app = std::make_unique<AppState>(scheduler, std::move(options));
        app->setUpSession();
        for (auto* l : engine().playingLayers())
            ledgers.push_back(std::make_unique<NoteLedger>(*l));
        settle(engine());
    }

    AudioEngine& engine() { return app->audioEngine; }
    MIDIManager& midi() { return app->midiManager; }
    SoundLayer& layer(int i) { return *engine().playingLayers()[(size_t)i]; }
    float liveVolume(int i) { return layer(i).processor().liveChain().settings.volume.load(); }

    /** Bytes from the keyboard, played in the next block; what they did is reported back. */
    void send(std::vector<std::uint8_t> bytes)
    {
        midi().processNow(bytes.data(), bytes.size());
        settle(engine());
        settle(engine()); // what the message thread did in answer plays too
    }
    void controller(int number, int value, int channel = 1)
    {
        send({(std::uint8_t)(0xB0 + channel - 1), (std::uint8_t)number, (std::uint8_t)value});
    }
    void noteOn(int note, int channel = 1)
    {
        send({(std::uint8_t)(0x90 + channel - 1), (std::uint8_t)note, 100});
    }
    void noteOff(int note, int channel = 1)
    {
        send({(std::uint8_t)(0x80 + channel - 1), (std::uint8_t)note, 0});
    }
    void bind(const ControllerBinding& b)
    {
        app->controllerBindings.bind(b);
        settle(engine());
    }

    TempFolder temp;
    ManualScheduler scheduler;
    UserDefaults defaults{temp.folder.getChildFile("Norvane.settings")};
    Localization localization{defaults, "en_GB.UTF-8"};
    std::unique_ptr<AppState> app;
    std::vector<std::unique_ptr<NoteLedger>> ledgers; // gone before the layers they follow
};

/** A continuous target waits for its controller to come to the control's value: a jump far
    from it is ignored, a sweep through it takes over and then follows. Moving the control on
    screen, or recalling a patch, hands it back to pickup. */
TEST_F(ControllerTest, PickupTakesOverOnlyWhereTheControlStands)
{
    bind(cc(layerTarget(K::layerVolume, 0), 20));
    ASSERT_DOUBLE_EQ(layer(0).volume.get(), 0.85); // stands at 108 of 127

    controller(20, 0);
    controller(20, 100); // from 0 to 100: not yet there
    EXPECT_DOUBLE_EQ(layer(0).volume.get(), 0.85);
    EXPECT_FLOAT_EQ(liveVolume(0), 0.85f);

    controller(20, 115); // passes 108: taken over
    EXPECT_NEAR(layer(0).volume.get(), 115.0 / 127.0, 1e-6);
    controller(20, 30); // and followed, however far
    EXPECT_NEAR(layer(0).volume.get(), 30.0 / 127.0, 1e-6);
    EXPECT_NEAR(liveVolume(0), 30.0f / 127.0f, 1e-6);

    // Moved on screen: the controller waits again.
    layer(0).volume = 0.6; // 76 of 127
    settle(engine());
    controller(20, 35);
    EXPECT_DOUBLE_EQ(layer(0).volume.get(), 0.6);
    controller(20, 90); // passes 76
    EXPECT_NEAR(layer(0).volume.get(), 90.0 / 127.0, 1e-6);

    // A recalled patch: the same.
    auto patch = LivePatch::capture(engine(), app->dronePadController, "Soft");
    patch.layers[0].volume = 0.2;
    app->livePatchStore.save(patch);
    ASSERT_TRUE(app->livePatchStore.recall(0, engine(), app->dronePadController));
    settleChanges(engine());
    controller(20, 95);
    EXPECT_DOUBLE_EQ(layer(0).volume.get(), 0.2);
    EXPECT_FLOAT_EQ(liveVolume(0), 0.2f);
    controller(20, 26); // within a step of 25.4
    EXPECT_NEAR(layer(0).volume.get(), 26.0 / 127.0, 1e-6);

    // The knobs follow over their whole range: EQ −24…+24 dB, 64 of 127 just above 0 dB.
    bind(cc(layerTarget(K::layerEqLowGain, 1), 21));
    controller(21, 64);
    controller(21, 127);
    EXPECT_NEAR(layer(1).eqLowGain.get(), 24.0, 1e-4);
    EXPECT_NEAR(layer(1).processor().liveChain().eq().getGain(EqualizerNode::low), 24.0f, 1e-4);
    bind(cc(layerTarget(K::layerCompressionAmount, 1), 22));
    controller(22, 0);
    controller(22, 127);
    EXPECT_NEAR(layer(1).compressionAmount.get(), 1.0, 1e-6);
    bind(cc(ControlTarget::master(), 23));
    controller(23, 108);
    controller(23, 64);
    EXPECT_NEAR(engine().masterVolume.get(), 64.0 / 127.0, 1e-6);
}

/** Switches flip on each press, actions fire on each press, from a controller rising through
    64 or a key going down; a binding on a channel hears that channel only. What is bound does
    nothing else: a bound key does not play, a bound controller leaves its usual job. */
TEST_F(ControllerTest, SwitchesAndActionsOnControllersAndKeys)
{
    bind(cc(layerTarget(K::layerEnabled, 1), 80));
    const bool wasOn = layer(1).isEnabled.get();
    controller(80, 127);
    EXPECT_NE(layer(1).isEnabled.get(), wasOn);
    controller(80, 100); // still held: no second press
    controller(80, 10);
    EXPECT_NE(layer(1).isEnabled.get(), wasOn);
    controller(80, 64);
    EXPECT_EQ(layer(1).isEnabled.get(), wasOn);

    // Patches stepped from a pad on channel 10.
    layer(0).isEnabled = true;
    for (const char* name : {"One", "Two"})
        app->livePatchStore.save(LivePatch::capture(engine(), app->dronePadController, name));
    bind(key(ControlTarget::of(K::patchNext), 36, 10));
    noteOn(36, 10);
    noteOff(36, 10);
    EXPECT_EQ(app->livePatchStore.activeIndex(), 0);
    noteOn(36, 10);
    EXPECT_EQ(app->livePatchStore.activeIndex(), 1);
    settleChanges(engine());
    EXPECT_TRUE(ledgers[0]->startsInOrder().empty()); // the pad played nothing
    noteOn(36, 1);                                    // the same key on another channel plays
    settleChanges(engine());
    EXPECT_EQ(app->livePatchStore.activeIndex(), 1);
    EXPECT_EQ(ledgers[0]->soundingPitches(), std::vector<int>{36});
    noteOff(36, 1);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());

    // Transposition from keys on any channel, the metronome from a footswitch.
    bind(key(ControlTarget::of(K::transposeUp), 37));
    noteOn(37, 5);
    noteOn(37, 2);
    EXPECT_EQ(midi().transposeSemitones.get(), 2);
    bind(cc(ControlTarget::of(K::metronomeRunning), 85));
    controller(85, 127);
    EXPECT_TRUE(engine().metronome().isRunning.get());
    controller(85, 0);
    controller(85, 127);
    EXPECT_FALSE(engine().metronome().isRunning.get());

    // Panic from a pad silences what a key holds, at once.
    bind(cc(ControlTarget::of(K::panic), 86));
    noteOn(60);
    ASSERT_FALSE(ledgers[0]->soundingPitches().empty());
    controller(86, 127);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());
    EXPECT_TRUE(midi().activeNotes->empty());

    // CC 7 moves layer A as its row says, until it is bound to the master.
    midi().transposeSemitones = 0;
    midi().volumeTarget = CCDestination::layerA;
    settle(engine());
    controller(7, 40);
    EXPECT_NEAR(layer(0).volume.get(), 40.0 / 127.0, 1e-6);
    bind(cc(ControlTarget::master(), 7));
    controller(7, 108); // the master stands at 0.85
    controller(7, 20);
    EXPECT_NEAR(layer(0).volume.get(), 40.0 / 127.0, 1e-6);
    EXPECT_NEAR(engine().masterVolume.get(), 20.0 / 127.0, 1e-6);

    // A key held before it was bound is still let go of.
    noteOn(62);
    bind(key(ControlTarget::of(K::transposeDown), 62));
    noteOff(62);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());
}

/** Learning binds the next controller or key struck, on its channel, and stores it; Escape (a
    cancel) leaves everything as it was; binding a source again moves it to the new target. */
TEST_F(ControllerTest, LearningBindsTheNextControllerOrKey)
{
    const auto layerCVolume = layerTarget(K::layerVolume, 2);
    midi().learn(layerCVolume);
    settle(engine());
    noteOff(50); // a release is not a choice
    controller(21, 5, 3);
    EXPECT_FALSE(midi().learningTarget->has_value());
    EXPECT_EQ(app->controllerBindings.bindings.get(),
              std::vector<ControllerBinding>{cc(layerCVolume, 21, 3)});

    // The next binding is learnt from a key, which does not play.
    layer(0).isEnabled = true;
    settle(engine());
    midi().learn(ControlTarget::of(K::transposeDown));
    settle(engine());
    noteOn(40);
    noteOff(40);
    EXPECT_TRUE(ledgers[0]->startsInOrder().empty());
    EXPECT_EQ(app->controllerBindings.bindingFor(ControlTarget::of(K::transposeDown)),
              key(ControlTarget::of(K::transposeDown), 40, 1));

    // Cancelled: the controller moved afterwards binds nothing.
    midi().learn(ControlTarget::of(K::panic));
    settle(engine());
    midi().cancelLearning();
    controller(22, 100);
    EXPECT_FALSE(app->controllerBindings.bindingFor(ControlTarget::of(K::panic)));
    EXPECT_EQ(app->controllerBindings.bindings->size(), 2u);

    // The same controller learnt again moves to the new target only.
    midi().learn(ControlTarget::of(K::droneVolume));
    settle(engine());
    controller(21, 5, 3);
    EXPECT_FALSE(app->controllerBindings.bindingFor(layerCVolume));
    EXPECT_EQ(app->controllerBindings.bindingFor(ControlTarget::of(K::droneVolume)),
              cc(ControlTarget::of(K::droneVolume), 21, 3));
    const double before = layer(2).volume.get();
    controller(21, 0, 3);
    controller(21, 127, 3); // through wherever the drone stands
    controller(21, 0, 3);
    EXPECT_EQ(layer(2).volume.get(), before);
    EXPECT_DOUBLE_EQ(engine().dronePad().volume.get(), 0.0);

    // Stored, and back after a restart.
    const auto bindings = app->controllerBindings.bindings.get();
    start();
    EXPECT_EQ(app->controllerBindings.bindings.get(), bindings);
    controller(21, 127, 3);
    controller(21, 0, 3);
    controller(21, 64, 3);
    EXPECT_NEAR(engine().dronePad().volume.get(), 64.0 / 127.0, 1e-6);
}

/** A pedal wired the other way sustains while it rests; the setting turns it round, at once
    and after a restart. */
/** Learning never takes the sustain pedal: armed while the pedal holds notes, its release
    still lets them go, and the next controller is the one learnt. A pedal held when a binding
    takes its controller lets go of its notes first. */
TEST_F(ControllerTest, LearningNeverSwallowsTheSustainPedal)
{
    layer(0).isEnabled = true;
    settle(engine());
    controller(64, 127);
    noteOn(60);
    noteOff(60);
    EXPECT_EQ(ledgers[0]->soundingPitches(), std::vector<int>{60});

    midi().learn(ControlTarget::of(K::masterVolume));
    settle(engine());
    controller(64, 0);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());
    controller(123, 0); // all notes off: a message, not a control
    EXPECT_TRUE(midi().learningTarget->has_value());
    controller(20, 90);
    EXPECT_EQ(app->controllerBindings.bindings.get(),
              std::vector<ControllerBinding>{cc(ControlTarget::of(K::masterVolume), 20, 1)});

    // A binding for the pedal's controller written by hand, while the pedal is down.
    controller(64, 127);
    noteOn(62);
    noteOff(62);
    EXPECT_EQ(ledgers[0]->soundingPitches(), std::vector<int>{62});
    app->controllerBindings.bind(cc(ControlTarget::of(K::metronomeRunning), 64));
    settle(engine());
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());
    EXPECT_FALSE(midi().isSustainPedalDown.get());
    controller(64, 0);
    controller(64, 127); // now the metronome's switch
    EXPECT_TRUE(engine().metronome().isRunning.get());
    noteOn(64);
    noteOff(64);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());
}

TEST_F(ControllerTest, AReversedSustainPedalIsTurnedRound)
{
    layer(0).isEnabled = true;
    settle(engine());
    controller(64, 127); // the reversed pedal at rest
    ASSERT_TRUE(midi().isSustainPedalDown.get());

    midi().sustainPedalInverted = true;
    settle(engine());
    EXPECT_FALSE(midi().isSustainPedalDown.get()); // its last position, read the other way
    noteOn(60);
    noteOff(60);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());
    controller(64, 0); // pressed
    noteOn(62);
    noteOff(62);
    EXPECT_EQ(ledgers[0]->soundingPitches(), std::vector<int>{62});
    controller(64, 127);
    EXPECT_TRUE(ledgers[0]->soundingPitches().empty());

    app->willTerminate();
    start();
    EXPECT_TRUE(midi().sustainPedalInverted.get());
    controller(64, 20);
    EXPECT_TRUE(midi().isSustainPedalDown.get());
}

// ---- The file ---------------------------------------------------------------------------

TEST(ControllersFile, HandWrittenBindingsLoadWhatIsGoodAndDamageIsKeptAside)
{
    TempFolder temp;
    const auto file = temp.folder.getChildFile("Controllers.json");
    file.replaceWithText(R"({"version":3,"bindings":[
        {"target":"layerA.volume","cc":20,"channel":0,"colour":"red"},
        {"target":"panic","note":36,"channel":10},
        {"target":"metronome.tap","cc":30},
        {"target":"layerE.volume","cc":21},
        {"target":"chorus.depth","cc":22},
        {"target":"drone.volume","cc":23,"note":40},
        {"target":"drone.volume"},
        {"target":"drone.enabled","cc":128},
        {"target":"drone.enabled","note":-1},
        {"target":"patch.next","cc":24,"channel":17},
        {"target":"patch.next","cc":"24"},
        {"target":"patch.next","cc":24.5},
        {"cc":25},
        "layerB.volume",
        {"target":"transpose.up","note":60,"channel":2}]})");
    {
        ControllerBindings loaded(file);
        const std::vector<ControllerBinding> expected{
            cc(layerTarget(K::layerVolume, 0), 20), key(ControlTarget::of(K::panic), 36, 10),
            cc(ControlTarget::of(K::metronomeTap), 30),
            key(ControlTarget::of(K::transposeUp), 60, 2)};
        EXPECT_EQ(loaded.bindings.get(), expected);
        EXPECT_FALSE(loaded.storedFile().isMarkedUndecodable());

        // Round trip, in the documented shape.
        loaded.forget(ControlTarget::of(K::metronomeTap));
        loaded.bind(cc(layerTarget(K::layerEqHighGain, 3), 30, 16));
        EXPECT_EQ(ControllerBindings(file).bindings.get(), loaded.bindings.get());
        // A later version's targets are kept as they were written.
        EXPECT_EQ(file.loadFileAsString().toStdString(),
                  R"({"bindings":[{"target":"layerA.volume","cc":20,"channel":0},)"
                  R"({"target":"panic","note":36,"channel":10},)"
                  R"({"target":"transpose.up","note":60,"channel":2},)"
                  R"({"target":"layerD.eqHighGain","cc":30,"channel":16},)"
                  R"({"target":"layerE.volume","cc":21},{"target":"chorus.depth","cc":22}]})");
        // Until their source is bound to something this version knows.
        loaded.bind(cc(ControlTarget::master(), 22, 4));
        EXPECT_EQ(file.loadFileAsString().toStdString().find("chorus.depth"), std::string::npos);
        EXPECT_NE(file.loadFileAsString().toStdString().find("layerE.volume"), std::string::npos);
    }

    // One source, one target: a later binding takes the source and the target over.
    file.replaceWithText(R"({"bindings":[{"target":"panic","cc":20},
        {"target":"layerA.volume","cc":20,"channel":3},{"target":"panic","cc":21}]})");
    EXPECT_EQ(ControllerBindings(file).bindings.get(),
              (std::vector<ControllerBinding>{cc(layerTarget(K::layerVolume, 0), 20, 3),
                                              cc(ControlTarget::of(K::panic), 21)}));

    for (const char* damaged : {"{\"bindings\":[{\"target\"", "{\"bindings\":3}", "[]", "\xff\xfe"})
    {
        file.replaceWithData(damaged, std::strlen(damaged));
        ControllerBindings bindings(file);
        EXPECT_TRUE(bindings.bindings->empty()) << damaged;
        // Kept aside at once, and said where, for the window's error line.
        const auto kept = temp.folder.getChildFile("Controllers.json.damaged-1");
        EXPECT_EQ(bindings.damagedCopy.get(), kept.getFullPathName().toStdString()) << damaged;
        bindings.bind(cc(ControlTarget::master(), 7));
        juce::MemoryBlock keptBytes;
        ASSERT_TRUE(kept.loadFileAsData(keptBytes)) << damaged;
        EXPECT_EQ(keptBytes, juce::MemoryBlock(damaged, std::strlen(damaged))) << damaged;
        EXPECT_EQ(ControllerBindings(file).bindings->size(), 1u);
        kept.deleteFile();
    }

    // Every target is named, and read back by its name.
    for (auto& target : ControlTarget::all())
    {
        EXPECT_EQ(ControlTarget::fromName(target.name()), target) << target.name();
        EXPECT_EQ(ControlTarget::fromIndex(target.index()), target) << target.name();
    }
    EXPECT_EQ(ControlTarget::all().size(), 38u);
}

} // namespace norvane::test
