#include "aids/DronePadController.h"
#include "aids/Metronome.h"
#include "app/AppState.h"
#include "store/FileWriter.h"
#include "store/LivePatchStore.h"
#include "store/SessionStore.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

namespace norvane::test
{

class PatchStoreTest : public EngineFixture
{
protected:
    PatchStoreTest() : drone(engine->dronePad(), scheduler) { makeMidi(); }

    LivePatch patchWithVolume(const char* name, double masterVolume)
    {
        engine->masterVolume = masterVolume;
        return LivePatch::capture(*engine, drone, name);
    }

    /** A document of the folder, once what was handed to the writer thread is on disk. */
    juce::File file(const char* name)
    {
        FileWriter::shared().flush();
        return temp.folder.getChildFile(name);
    }

    TempFolder temp;
    DronePadController drone;
};

TEST_F(PatchStoreTest, SaveRecallStepAndDelete)
{
    LivePatchStore store(file("LivePatches.json"));
    EXPECT_TRUE(store.patches->empty());
    store.step(+1, *engine, drone);
    EXPECT_FALSE(file("LivePatches.json").exists()); // nothing to step to: no write

    const auto p1 = patchWithVolume("One", 0.1), p2 = patchWithVolume("Two", 0.2),
               p3 = patchWithVolume("Three", 0.3);
    for (const auto& p : {p1, p2, p3})
        store.save(p);
    EXPECT_FALSE(store.activePatchID->has_value());

    // With nothing active, +1 goes to the first and −1 to the last; the ends hold.
    store.step(+1, *engine, drone);
    EXPECT_EQ(store.activeIndex(), 0);
    EXPECT_EQ(engine->masterVolume.get(), 0.1);
    store.activePatchID = std::nullopt;
    store.step(-1, *engine, drone);
    EXPECT_EQ(store.activeIndex(), 2);
    store.step(+1, *engine, drone);
    EXPECT_EQ(store.activeIndex(), 2);
    EXPECT_FALSE(store.recall(3, *engine, drone)); // Program Change beyond the list
    EXPECT_FALSE(store.recall(-1, *engine, drone));
    EXPECT_EQ(store.activeIndex(), 2);

    // Overwriting keeps the position; the file holds the list in order.
    auto changed = p2;
    changed.masterVolume = 0.9;
    store.save(changed);
    EXPECT_EQ(store.patches->at(1), changed);
    LivePatchStore reloaded(file("LivePatches.json"));
    EXPECT_EQ(reloaded.patches.get(), store.patches.get());

    // Deleting another patch keeps the active one, at its new position; deleting it clears.
    store.remove(p1);
    EXPECT_EQ(store.activeIndex(), 1);
    store.remove(p3);
    EXPECT_FALSE(store.activePatchID->has_value());
    EXPECT_EQ(LivePatchStore(file("LivePatches.json")).patches->size(), 1u);
}

TEST_F(PatchStoreTest, ADamagedListIsKeptAsideBeforeTheFirstSave)
{
    LivePatchStore good(file("LivePatches.json"));
    good.save(patchWithVolume("One", 0.5));
    auto text = file("LivePatches.json").loadFileAsString();
    const auto damaged = text.replace("\"masterVolume\"", "\"masterVolum\"");
    file("LivePatches.json").replaceWithText(damaged);

    LivePatchStore store(file("LivePatches.json"));
    EXPECT_TRUE(store.patches->empty());
    EXPECT_EQ(file("LivePatches.json").loadFileAsString(), damaged); // untouched until a save
    // The player is told where the copy is; starting again with the same damage makes no
    // second copy.
    const auto copy = file("LivePatches.json.damaged-1");
    EXPECT_EQ(store.damagedCopy.get(), copy.getFullPathName().toStdString());
    EXPECT_EQ(LivePatchStore(file("LivePatches.json")).damagedCopy.get(), store.damagedCopy.get());
    EXPECT_FALSE(file("LivePatches.json.damaged-2").exists());
    store.save(patchWithVolume("New", 0.4));
    EXPECT_EQ(copy.loadFileAsString(), damaged);
    EXPECT_FALSE(LivePatchStore(file("LivePatches.json")).damagedCopy->has_value());
    EXPECT_EQ(LivePatchStore(file("LivePatches.json")).patches->size(), 1u);
}

TEST_F(PatchStoreTest, TruncatedFilesChangeNothingAndLoseNothing)
{
    LivePatchStore store(file("LivePatches.json"));
    store.save(patchWithVolume("One", 0.5));
    SessionStore session(*engine, *midi, drone, scheduler, file("Session.json"));
    session.save();
    const auto list = file("LivePatches.json").loadFileAsString();
    const auto saved = file("Session.json").loadFileAsString();

    engine->masterVolume = 0.123;
    for (int cut : {0, 1, 10, list.length() / 2, list.length() - 1})
    {
        file("LivePatches.json").replaceWithText(list.substring(0, cut));
        EXPECT_TRUE(LivePatchStore(file("LivePatches.json")).patches->empty()) << cut;
        file("Session.json").replaceWithText(saved.substring(0, std::min(cut, saved.length() - 1)));
        session.restore();
        EXPECT_EQ(engine->masterVolume.get(), 0.123) << cut; // nothing applied
    }

    // The next save keeps the damaged file beside the new one.
    session.save();
    EXPECT_TRUE(file("Session.json.damaged-1").existsAsFile());
    EXPECT_TRUE(SessionState::decode(file("Session.json").loadFileAsString().toStdString()));
}

TEST_F(PatchStoreTest, TheSessionComesBackWithItsClamps)
{
    auto& metronome = engine->metronome();
    {
        SessionStore session(*engine, *midi, drone, scheduler, file("Session.json"));
        engine->layerC().volume = 0.33;
        midi->transposeSemitones = 5;
        midi->expressionTarget = CCDestination::layerB;
        metronome.bpm = 133.0;
        metronome.signature = TimeSignature{6, 8};
        metronome.volume = 0.2;
        session.save();
        const auto state =
            SessionState::decode(file("Session.json").loadFileAsString().toStdString());
        ASSERT_TRUE(state.has_value());
        EXPECT_EQ(state->patch.name, "__session__");
        EXPECT_FALSE(state->audioOutputName.has_value()); // nothing selected
    }

    // Stored values beyond their ranges, unknown names and targets.
    auto state =
        SessionState::decode(file("Session.json").loadFileAsString().toStdString()).value();
    state.transposeSemitones = 20;
    state.modulationTarget = "sideways";
    state.metronomeUnit = std::nullopt;
    state.metronomeBeatsPerBar = 3;
    state.audioOutputName = "Unplugged Interface";
    state.midiSourceName = "Gone Keyboard";
    file("Session.json").replaceWithText(state.encode());

    engine->layerC().volume = 0.9;
    midi->transposeSemitones = 0;
    metronome.bpm = 100.0;
    SessionStore session(*engine, *midi, drone, scheduler, file("Session.json"));
    session.restore();
    EXPECT_EQ(engine->layerC().volume.get(), 0.33);
    EXPECT_EQ(midi->transposeSemitones.get(), 12);
    EXPECT_EQ(midi->expressionTarget.get(), CCDestination::layerB);
    EXPECT_EQ(midi->modulationTarget.get(), CCDestination::off);
    EXPECT_EQ(metronome.bpm.get(), 133.0);
    EXPECT_EQ(metronome.signature.get(), (TimeSignature{3, 4}));
    EXPECT_EQ(metronome.volume.get(), 0.2);
    EXPECT_FALSE(midi->selectedSourceID->has_value());
    // The keyboard the session names is kept until it is plugged in, and then played.
    session.save();
    EXPECT_EQ(SessionState::decode(file("Session.json").loadFileAsString().toStdString())
                  ->midiSourceName,
              "Gone Keyboard");
    midiState->sources = {{"30-0", "Gone Keyboard"}};
    midi->refreshSources();
    EXPECT_EQ(midiState->connectedIdentifier, "30-0");

    state.transposeSemitones = -30;
    state.metronomeBeatsPerBar = std::nullopt;
    state.metronomeUnit = 8; // a unit without beats changes nothing
    file("Session.json").replaceWithText(state.encode());
    session.restore();
    EXPECT_EQ(midi->transposeSemitones.get(), -12);
    EXPECT_EQ(metronome.signature.get(), (TimeSignature{3, 4}));
}

TEST_F(PatchStoreTest, SavingWaitsForTheChangesToSettle)
{
    SessionStore session(*engine, *midi, drone, scheduler, file("Session.json"));
    session.beginObserving();
    EXPECT_EQ(session.saveCount(), 1); // once at once

    // Ten seconds of fader moves: no save until 1.5 s after the last.
    for (int i = 0; i < 100; ++i)
    {
        engine->layerA().volume = 0.5 + 0.001 * i;
        scheduler.advance(0.1);
    }
    EXPECT_EQ(session.saveCount(), 1);
    scheduler.advance(1.39);
    EXPECT_EQ(session.saveCount(), 1);
    scheduler.advance(0.02);
    EXPECT_EQ(session.saveCount(), 2);
    const auto saved = SessionState::decode(file("Session.json").loadFileAsString().toStdString());
    EXPECT_DOUBLE_EQ(saved->patch.layers[0].volume, 0.599);

    // Every watched object counts: the drone, the metronome, the MIDI input, the drone layer.
    drone.shimmer = 0.3;
    engine->metronome().bpm = 90.0;
    midi->transposeSemitones = 2;
    engine->dronePad().volume = 0.2;
    scheduler.advance(2.0);
    EXPECT_EQ(session.saveCount(), 3);

    // Playing is no change of the session: keys, the pedal and the on-screen keyboard, through
    // the bytes' path and back as reports, save nothing.
    bool reported = false;
    for (int i = 0; i < 30; ++i)
    {
        const std::uint8_t on[] = {0x90, (std::uint8_t)(48 + i), 90}, off[] = {0x80, on[1], 0};
        const std::uint8_t pedal[] = {0xB0, 64, (std::uint8_t)(i % 2 ? 0 : 127)};
        midi->processNow(on, 3);
        midi->processNow(pedal, 3);
        midi->toggleOnScreenKey(60 + i % 5);
        renderFor(0.02);
        reported = reported || midi->sustainedNotes->count(48 + i) == 1;
        midi->processNow(off, 3);
        renderFor(0.02);
        scheduler.advance(0.5);
    }
    EXPECT_TRUE(reported); // the notes were really played, and reported back
    scheduler.advance(5.0);
    EXPECT_EQ(session.saveCount(), 3);

    // The end of the run saves at once.
    engine->layerD().volume = 0.11;
    session.save();
    EXPECT_EQ(SessionState::decode(file("Session.json").loadFileAsString().toStdString())
                  ->patch.layers[3]
                  .volume,
              0.11);
}

TEST(AppStateTest, TheSessionIsSetUpOnceAndProgramChangesRecallPatches)
{
    TempFolder temp;
    ManualScheduler scheduler;
    UserDefaults defaults(temp.folder.getChildFile("Norvane.settings"));
    Localization localization(defaults, "en_GB.UTF-8");
    auto midiState = std::make_shared<FakeMidi::State>();
    AppState::Options options;
    options.engine.soundBankPath = "/nonexistent/none.sf2";
    options.midi = std::make_unique<FakeMidi>(midiState);
    options.folder = temp.folder;
    options.defaults = &defaults;
    options.localization = &localization;
    options.updateFeed = juce::URL("http://127.0.0.1:9/version.json"); // nobody answers
    AppState app(scheduler, std::move(options));

    // Before the window shows, a Program Change does nothing.
    app.audioEngine.masterVolume = 0.3;
    app.livePatchStore.save(LivePatch::capture(app.audioEngine, app.dronePadController, "P"));
    app.audioEngine.masterVolume = 0.8;
    const std::uint8_t programChange[] = {0xC0, 0};
    app.midiManager.processNow(programChange, 2);
    settle(app.audioEngine);
    EXPECT_EQ(app.audioEngine.masterVolume.get(), 0.8);

    app.setUpSession();
    auto* session = app.sessionStore.get();
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(defaults.date(UpdateChecker::lastCheckKey).has_value());
    FileWriter::shared().flush();
    EXPECT_TRUE(temp.folder.getChildFile("Session.json").existsAsFile());
    app.setUpSession(); // a second appearance: the same store
    EXPECT_EQ(app.sessionStore.get(), session);

    app.midiManager.processNow(programChange, 2);
    settle(app.audioEngine);
    EXPECT_EQ(app.audioEngine.masterVolume.get(), 0.3);
    EXPECT_EQ(app.livePatchStore.activeIndex(), 0);
    // The end of the run saves what changed since, without waiting for the quiet period.
    app.audioEngine.layerD().volume = 0.42;
    app.willTerminate(); // written before it returns
    const auto saved = SessionState::decode(
        temp.folder.getChildFile("Session.json").loadFileAsString().toStdString());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->patch.layers[3].volume, 0.42);
    app.updates.waitForRequest(10000);
}

} // namespace norvane::test
