#include "engine/realtime/PerformanceRouter.h"
#include "support/EngineFixture.h"
#include "support/MessageLoop.h"

#include <set>

namespace norvane::test
{

class MIDIManagerTest : public EngineFixture
{
protected:
    MIDIManagerTest()
    {
        midiState->sources = {{"20-0", "Stage Piano"}, {"24-0", "Pad Controller"}};
    }

    /** Bytes as the connected source sends them, played and reported back. */
    void send(std::vector<std::uint8_t> bytes)
    {
        midi->processNow(bytes.data(), bytes.size());
        settle();
    }

    SoundLayer& a() { return engine->layerA(); }
};

TEST_F(MIDIManagerTest, ListsSourcesAndConnectsTheFirst)
{
    auto& m = makeMidi();
    ASSERT_EQ(m.availableSources->size(), 2u);
    EXPECT_EQ(m.availableSources.get()[0].name, "Stage Piano");
    EXPECT_EQ(m.availableSources.get()[0].id, MIDIManager::fnv1a("20-0"));
    EXPECT_EQ(m.selectedSourceID.get(), MIDIManager::fnv1a("20-0"));
    EXPECT_EQ(midiState->connectedIdentifier, "20-0");
    EXPECT_FALSE(m.connectionError.get().has_value());
    EXPECT_EQ(MIDIManager::fnv1a(""), 2166136261u);
    EXPECT_EQ(MIDIManager::fnv1a("a"), 0xe40c292cu);

    // A source plugged in later does not take over; a nameless one gets the fallback name.
    midiState->sources.push_back({"28-0", ""});
    m.refreshSources();
    EXPECT_EQ(m.availableSources.get()[2].name, "Dispositivo MIDI");
    EXPECT_EQ(midiState->connectedIdentifier, "20-0");
    EXPECT_EQ(midiState->connectCalls, 1);
}

TEST_F(MIDIManagerTest, UnpluggingFallsBackToTheFirstRemainingSourceOrToNone)
{
    auto& m = makeMidi();
    m.connect(MIDIManager::fnv1a("24-0"));
    EXPECT_EQ(m.connectedSourceName(), "Pad Controller");

    // The device list is polled once a second.
    midiState->sources = {{"20-0", "Stage Piano"}};
    scheduler.advance(1.0);
    EXPECT_EQ(midiState->connectedIdentifier, "20-0");
    EXPECT_EQ(m.selectedSourceID.get(), MIDIManager::fnv1a("20-0"));

    // Re-plugged under a new identifier but the same name: still the user's device.
    m.connect(MIDIManager::fnv1a("20-0"));
    midiState->sources = {{"24-0", "Pad Controller"}, {"32-0", "Stage Piano"}};
    scheduler.advance(1.0);
    EXPECT_EQ(midiState->connectedIdentifier, "32-0");

    midiState->sources.clear();
    scheduler.advance(1.0);
    EXPECT_FALSE(m.selectedSourceID.get().has_value());
    EXPECT_FALSE(m.connectedSource().has_value());
    EXPECT_TRUE(m.availableSources->empty());
}

TEST_F(MIDIManagerTest, ThePlayersSourceIsTakenBackWhenItReturnsHoweverLongItWasAway)
{
    midiState->sources = {{"14-0", "Midi Through Port-0"}, {"20-0", "Stage Piano"}};
    auto& m = makeMidi();
    m.connect(MIDIManager::fnv1a("20-0"));

    // Unplugged for several polls: the through port stands in.
    midiState->sources = {{"14-0", "Midi Through Port-0"}};
    scheduler.advance(3.0);
    EXPECT_EQ(midiState->connectedIdentifier, "14-0");
    EXPECT_EQ(m.chosenSourceName(), "Stage Piano");

    // Back under a new id: taken back at the next poll, with nothing held over.
    midiState->sources = {{"14-0", "Midi Through Port-0"}, {"36-0", "Stage Piano"}};
    scheduler.advance(1.0);
    EXPECT_EQ(midiState->connectedIdentifier, "36-0");
    EXPECT_EQ(m.selectedSourceID.get(), MIDIManager::fnv1a("36-0"));

    // Choosing by name before the device is there (a restored session) waits for it.
    m.chooseSource("Pad Controller");
    EXPECT_EQ(midiState->connectedIdentifier, "36-0");
    midiState->sources.push_back({"40-0", "Pad Controller"});
    scheduler.advance(1.0);
    EXPECT_EQ(midiState->connectedIdentifier, "40-0");

    // A choice in the picker replaces the wanted source.
    m.connect(MIDIManager::fnv1a("14-0"));
    midiState->sources.push_back({"44-0", "Stage Piano"});
    scheduler.advance(1.0);
    EXPECT_EQ(midiState->connectedIdentifier, "14-0");
    EXPECT_EQ(m.chosenSourceName(), "Midi Through Port-0");
}

TEST_F(MIDIManagerTest, ErrorTextsWhenThereIsNoMidiSystemOrAConnectionFails)
{
    midiState->clientStatus = -2;
    auto& m = makeMidi();
    EXPECT_EQ(m.connectionError.get(), "No se pudo crear el cliente MIDI (-2)");
    EXPECT_TRUE(m.availableSources->empty());
    // Everything else keeps working.
    NoteLedger ledger(a());
    m.noteOn(60, 100);
    m.toggleOnScreenKey(64);
    settle();
    EXPECT_EQ(ledger.totalStarts(), 2);
    m.panic();
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());

    midiState->clientStatus = 0;
    midiState->virtualPortStatus = -1;
    midiState->connectStatus = -5;
    auto& n = makeMidi();
    EXPECT_EQ(n.connectionError.get(), "No se pudo conectar al dispositivo MIDI (-5)");
    EXPECT_FALSE(n.selectedSourceID.get().has_value());
    midiState->connectStatus = 0;
    n.connect(MIDIManager::fnv1a("24-0"));
    EXPECT_FALSE(n.connectionError.get().has_value());
}

/** A source that refuses to connect (busy, say): the one before is not claimed as connected,
    the choice is tried again every second until it connects, and the notes played meanwhile
    on the computer keys are not released by the tries. */
TEST_F(MIDIManagerTest, AFailedConnectionIsNotClaimedAndIsTriedAgain)
{
    auto& m = makeMidi();
    ASSERT_EQ(m.connectedSource(), MIDIManager::fnv1a("20-0"));

    midiState->connectStatus = -16;
    m.connect(MIDIManager::fnv1a("24-0"));
    EXPECT_EQ(m.connectionError.get(), "No se pudo conectar al dispositivo MIDI (-16)");
    EXPECT_FALSE(m.connectedSource().has_value());
    EXPECT_FALSE(m.selectedSourceID.get().has_value());
    EXPECT_EQ(m.chosenSourceName(), "Pad Controller");

    m.noteOn(60, 100);
    settle();
    const int calls = midiState->connectCalls;
    scheduler.advance(3.0);
    settle();
    EXPECT_EQ(midiState->connectCalls, calls + 3);
    EXPECT_EQ(m.activeNotes.get(), std::set<int>{60}); // the tries released nothing

    midiState->connectStatus = 0;
    scheduler.advance(1.0);
    EXPECT_EQ(m.connectedSource(), MIDIManager::fnv1a("24-0"));
    EXPECT_EQ(midiState->connectedIdentifier, "24-0");
    EXPECT_FALSE(m.connectionError.get().has_value());
    scheduler.advance(2.0);
    EXPECT_EQ(midiState->connectCalls, calls + 4); // connected: no more tries
}

TEST_F(MIDIManagerTest, MessagesDispatchAsSpecifiedOnEveryChannel)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    int program = -1;
    m.onProgramChange = [&](int p) { program = p; };

    send({0x95, 60, 100});
    EXPECT_EQ(m.activeNotes.get(), std::set<int>{60});
    send({0x9A, 60, 0}); // velocity 0 is a note-off
    EXPECT_TRUE(m.activeNotes->empty());
    EXPECT_TRUE(ledger.soundingPitches().empty());

    send({0xC3, 0});
    EXPECT_EQ(program, 0);
    send({0xE0, 0x00, 0x40});
    ASSERT_FALSE(ledger.commands.empty());
    EXPECT_EQ(ledger.commands.back().kind, NoteCommand::Kind::pitchBend);
    EXPECT_EQ(ledger.commands.back().value, 8192);

    // Controllers follow their targets, read at the moment each message arrives.
    send({0xB0, 7, 64});
    EXPECT_DOUBLE_EQ(a().volume.get(), 0.85);
    EXPECT_DOUBLE_EQ(engine->masterVolume.get(), 0.85);
    m.volumeTarget = CCDestination::master;
    send({0xB0, 7, 127});
    EXPECT_FLOAT_EQ(engine->host().mainMixerNode().getOutputVolume(), 1.0f); // on the audio side
    EXPECT_DOUBLE_EQ(engine->masterVolume.get(), 1.0);
    m.expressionTarget = CCDestination::layerA;
    send({0xB1, 11, 0});
    EXPECT_DOUBLE_EQ(a().volume.get(), 0.0);
    EXPECT_EQ(a().outputGain(), 0.0f);
    m.modulationTarget = CCDestination::layerD;
    send({0xB0, 1, 127});
    EXPECT_DOUBLE_EQ(engine->layerD().volume.get(), 1.0);
    send({0xA0, 60, 100, 0xD0, 5}); // pressure: ignored
    EXPECT_TRUE(m.activeNotes->empty());

    EXPECT_EQ(displayName(CCDestination::off, AppLanguage::spanish), "Sin asignar");
    EXPECT_EQ(ccDestinationFromRaw("layerC"), CCDestination::layerC);
}

TEST_F(MIDIManagerTest, TranspositionClampsPerNoteAndAKeyStopsWhatItStarted)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    m.transposeSemitones = 12;
    m.noteOn(120, 90);
    settle();
    EXPECT_EQ(m.activeNotes.get(), std::set<int>{127});
    m.transposeSemitones = -12;
    m.noteOn(0, 90);
    settle();
    EXPECT_TRUE(m.activeNotes->count(0));

    // The transposition changes while keys are held: each key-up stops its own note.
    m.transposeSemitones = 2;
    m.noteOn(60, 90); // sends 62
    m.transposeSemitones = 5;
    m.noteOff(60);
    m.noteOff(120);
    m.noteOff(0);
    settle();
    EXPECT_TRUE(m.activeNotes->empty());
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(a().soundedNotes().empty());

    // A note-off without a key-down falls back to the current transposition.
    m.noteOff(55);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());

    // The same key number on two inputs: each releases only its own note, even after the
    // transposition has changed between them.
    m.transposeSemitones = 0;
    send({0x90, 60, 100});
    m.transposeSemitones = 3;
    m.noteOn(60, 100); // the computer's key 60: note 63
    m.noteOff(60);
    settle();
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{60});
    send({0x80, 60, 0});
    EXPECT_TRUE(ledger.soundingPitches().empty());

    // Two keys on one note: the note sounds until the last of them is up.
    m.transposeSemitones = 0;
    send({0x90, 64, 100});
    m.noteOn(64, 100);
    settle();
    send({0x80, 64, 0});
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{64});
    EXPECT_EQ(m.activeNotes.get(), std::set<int>{64});
    m.noteOff(64);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
}

TEST_F(MIDIManagerTest, SustainPedalDefersNoteOffs)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    send({0xB0, 64, 64});
    EXPECT_TRUE(m.isSustainPedalDown.get());
    send({0xB0, 64, 100}); // repeated: ignored

    send({0x90, 60, 100, 0x90, 64, 100});
    send({0x80, 60, 0, 0x80, 64, 0});
    EXPECT_EQ(m.heldByPedal(), (std::set<int>{60, 64}));
    EXPECT_EQ(m.sustainedNotes.get(), (std::set<int>{60, 64}));
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{60, 64}));

    // Struck again under the pedal: re-triggered and no longer waiting for the pedal.
    send({0x90, 60, 80});
    EXPECT_EQ(m.heldByPedal(), std::set<int>{64});
    EXPECT_EQ(a().noteVelocities().at(60), 80);

    send({0xB0, 64, 63}); // 63 is up
    EXPECT_FALSE(m.isSustainPedalDown.get());
    EXPECT_TRUE(m.heldByPedal().empty());
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{60}); // its key is still down
    EXPECT_EQ(m.sustainedNotes.get(), std::set<int>{60});
    send({0x80, 60, 0});
    EXPECT_TRUE(ledger.soundingPitches().empty());
}

TEST_F(MIDIManagerTest, OnScreenKeysLatchAndRespectHeldKeysAndThePedal)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    m.toggleOnScreenKey(60);
    settle();
    EXPECT_EQ(m.clickedNotes.get(), std::set<int>{60});
    EXPECT_EQ(ledger.startsInOrder().back(), std::make_pair(60, 100));

    m.noteOn(60, 90); // also held on a key
    m.toggleOnScreenKey(60);
    settle();
    EXPECT_TRUE(m.clickedNotes->empty());
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{60}); // not silenced
    m.noteOff(60);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());

    send({0xB0, 64, 127});
    m.toggleOnScreenKey(62);
    m.toggleOnScreenKey(62);
    settle();
    EXPECT_EQ(m.heldByPedal(), std::set<int>{62});
    send({0xB0, 64, 0});
    EXPECT_TRUE(ledger.soundingPitches().empty());
}

TEST_F(MIDIManagerTest, ALitOnScreenKeyLetsGoOfItsNoteUnderAnyTransposition)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    m.transposeSemitones = 2;
    m.toggleOnScreenKey(60); // sounds and lights 62
    settle();
    EXPECT_EQ(m.clickedNotes.get(), std::set<int>{62});
    m.toggleOnScreenKey(62); // the lit key
    settle();
    EXPECT_TRUE(m.clickedNotes->empty());
    EXPECT_TRUE(ledger.soundingPitches().empty());

    // Latched, then the transposition changes: the lit key still lets it go, and the key
    // first clicked latches afresh under the new transposition.
    m.toggleOnScreenKey(60);
    m.transposeSemitones = -3;
    m.toggleOnScreenKey(62);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    m.toggleOnScreenKey(60);
    settle();
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{57});

    // A computer key and a latch on one note: the key's release leaves the latch sounding.
    m.noteOn(60, 90); // 57 too
    m.noteOff(60);
    settle();
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{57});
    m.toggleOnScreenKey(57);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
}

TEST_F(MIDIManagerTest, SwitchingOrLosingTheSourceReleasesWhatItHeld)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    send({0x90, 60, 100, 0x90, 67, 100, 0xB0, 64, 127});
    send({0x80, 67, 0});
    m.toggleOnScreenKey(72);
    settle();
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{60, 67, 72}));

    m.connect(MIDIManager::fnv1a("24-0"));
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(m.activeNotes->empty());
    EXPECT_TRUE(m.heldByPedal().empty());
    EXPECT_TRUE(m.clickedNotes->empty());
    EXPECT_TRUE(m.sustainedNotes->empty());
    EXPECT_FALSE(m.isSustainPedalDown.get());
    EXPECT_EQ(midiState->disconnectCalls, 1);

    // The connected source vanishes with a key and the pedal down.
    send({0x90, 50, 100, 0xB0, 64, 127});
    send({0x80, 50, 0, 0x90, 52, 100});
    midiState->sources.clear();
    scheduler.advance(1.0);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(m.sustainedNotes->empty());
    EXPECT_FALSE(m.isSustainPedalDown.get());
}

/** The audio side stops taking requests (no device) while the player goes on: no stop is lost,
    nothing stale is struck when it comes back, and nothing is left sounding. */
TEST_F(MIDIManagerTest, AStalledAudioSideLosesNoStopAndStrikesNothingStale)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    const std::uint8_t hold[] = {0x90, 60, 100, 0xB0, 64, 127, 0x90, 62, 100, 0x80, 62, 0};
    midiState->deliver(hold, sizeof(hold));
    m.noteOn(70, 100);
    settle();
    ASSERT_EQ(ledger.soundingPitches(), (std::vector<int>{60, 62, 70}));
    ledger.clear();

    // The MIDI lane runs over; its last releases (60 and the pedal) find no room.
    for (int i = 0; i < 3000; ++i)
    {
        const std::uint8_t strike[] = {0x90, 64, 90, 0x80, 64, 0};
        midiState->deliver(strike, sizeof(strike));
    }
    const std::uint8_t letGo[] = {0x80, 60, 0, 0xB0, 64, 0};
    midiState->deliver(letGo, sizeof(letGo));
    // The computer keys' requests wait instead; the last one is a release.
    for (int i = 0; i < 5000; ++i)
    {
        m.noteOn(72, 100);
        m.noteOff(72);
    }
    m.noteOff(70);
    settle();
    settle();
    EXPECT_EQ(ledger.totalStarts(), 0);
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(m.sustainedNotes->empty());
    EXPECT_FALSE(m.isSustainPedalDown.get());

    // Playing goes on as before.
    m.noteOn(65, 100);
    settle();
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{65});
    m.noteOff(65);

    // A device stopped and started again: what arrived meanwhile is stale. Its strike is not
    // played; its release is.
    m.noteOn(67, 100);
    settle();
    m.noteOn(69, 100);
    m.noteOff(67);
    engine->router().resumeAfterStop();
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    m.noteOn(71, 100);
    settle();
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{71});
}

TEST_F(MIDIManagerTest, BytesFromTheMidiThreadsReachTheAudioSideWithoutTheMessageThread)
{
    auto& m = makeMidi();
    NoteLedger ledger(a());
    ASSERT_TRUE(midiState->deliver);
    std::thread driver(
        [&]
        {
            for (int n = 40; n < 60; ++n)
            {
                const std::uint8_t on[] = {0x90, (std::uint8_t)n, 100};
                midiState->deliver(on, sizeof(on));
            }
            const std::uint8_t virtualOn[] = {0x90, 80, 100};
            midiState->deliverVirtual(virtualOn, sizeof(virtualOn));
            const std::uint8_t offAndOn[] = {0x80, 45, 0, 0x90, 45, 90};
            midiState->deliver(offAndOn, sizeof(offAndOn));
        });
    driver.join();

    // No message loop runs here: the next block plays them all, each in its place.
    engine->host().render(*std::make_unique<juce::AudioBuffer<float>>(2, 128), 0, 128);
    EXPECT_EQ(ledger.totalStarts(), 22);
    EXPECT_EQ(ledger.soundingPitches().size(), 21u);
    EXPECT_EQ(ledger.startsInOrder().back(), std::make_pair(45, 90));
    EXPECT_TRUE(m.activeNotes->empty()); // the views hear of it once the report is collected
    engine->collect();
    EXPECT_EQ(m.activeNotes->size(), 21u);

    // Played notes change nothing that is saved.
    int changes = 0;
    auto watch = m.transposeSemitones.observe([&](const int&) { ++changes; });
    send({0x80, 50, 0});
    EXPECT_EQ(changes, 0);

    // Bytes still arriving when the manager goes are played safely.
    midi.reset();
    const std::uint8_t off[] = {0x80, 40, 0};
    if (midiState->deliverVirtual)
        midiState->deliverVirtual(off, sizeof(off));
    renderFor(0.01);
}

} // namespace norvane::test
