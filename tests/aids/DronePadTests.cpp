#include "aids/DronePadController.h"
#include "support/EngineFixture.h"

namespace norvane::test
{

class DronePadTest : public EngineFixture
{
protected:
    DronePadTest() : drone(engine->dronePad(), scheduler), ledger(engine->dronePad()) {}

    using Starts = std::vector<std::pair<int, int>>;

    /** What was started since the last call, and forget it. */
    Starts takeStarts()
    {
        settleChanges();
        auto starts = ledger.startsInOrder();
        ledger.clear();
        return starts;
    }

    DronePadController drone;
    NoteLedger ledger;
};

TEST_F(DronePadTest, KeyOctaveAndShimmerChooseTheNotes)
{
    EXPECT_TRUE(takeStarts().empty()); // nothing sounds until asked

    drone.chooseKey(4); // E: root note 40 in octave 2, and the drone switches on
    EXPECT_TRUE(drone.isEnabled.get());
    EXPECT_EQ(takeStarts(), (Starts{{40, 70}, {47, 70}, {52, 70}, {59, 70}}));

    drone.shimmer = 0.01; // not above the threshold: the same notes again
    EXPECT_EQ(takeStarts(), (Starts{{40, 70}, {47, 70}, {52, 70}, {59, 70}}));

    drone.shimmer = 0.5;
    EXPECT_EQ(takeStarts(),
              (Starts{{40, 70}, {47, 70}, {52, 70}, {59, 70}, {64, 31}, {71, 31}, {76, 31}}));
    drone.shimmer = 1.0;
    EXPECT_EQ(takeStarts().back(), (std::pair<int, int>{76, 48}));

    drone.shimmer = 1.5; // stored as 1.0: no change, no restart
    EXPECT_EQ(drone.shimmer.get(), 1.0);
    drone.rootPitchClass = 4;
    EXPECT_TRUE(takeStarts().empty());

    // The highest key and octave: the shimmer note above 127 is left out.
    drone.octave = 6;
    drone.rootPitchClass = 11;
    EXPECT_EQ(drone.voicing(), (std::vector<int>{95, 102, 107, 114, 119, 126}));
    EXPECT_EQ(drone.soundingNotes(), drone.voicing());

    // Octave steps that would leave 0…6 change and restart nothing.
    takeStarts();
    drone.shiftOctave(+1);
    settle();
    EXPECT_EQ(drone.octave.get(), 6);
    EXPECT_TRUE(ledger.commands.empty());
    drone.shiftOctave(-6);
    EXPECT_EQ(drone.octave.get(), 0);
    EXPECT_EQ(drone.soundingNotes().front(), 23);
    settle();
    ledger.clear();
    drone.shiftOctave(-1);
    settle();
    EXPECT_EQ(drone.octave.get(), 0);
    EXPECT_TRUE(ledger.commands.empty());

    // Switching off stops exactly what sounded and starts nothing.
    const auto sounding = drone.soundingNotes();
    drone.isEnabled = false;
    settle();
    EXPECT_TRUE(ledger.startsInOrder().empty());
    std::vector<int> stopped;
    for (auto& c : ledger.commands)
        if (c.kind == NoteCommand::Kind::stop)
            stopped.push_back(c.pitch);
    EXPECT_EQ(stopped, sounding);
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(drone.soundingNotes().empty());
}

TEST_F(DronePadTest, PadTypesSetTheToneAndStartAfterTheReload)
{
    drone.chooseKey(0);
    takeStarts();

    drone.choosePadType(1);
    auto& layer = engine->dronePad();
    EXPECT_EQ(layer.variantIndex.get(), 1);
    EXPECT_EQ(layer.reverbAmount.get(), 0.85);
    EXPECT_EQ(layer.reverbDecay.get(), 0.95);
    EXPECT_EQ(layer.attackTime.get(), 3.5);
    EXPECT_EQ(layer.releaseTime.get(), 6.0);
    EXPECT_EQ(layer.eqLowGain.get(), 1.0);
    EXPECT_EQ(layer.eqMidGain.get(), -2.0);
    EXPECT_EQ(layer.eqHighGain.get(), 2.5);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty()); // silent while the instrument loads
    scheduler.advance(0.14);
    EXPECT_TRUE(takeStarts().empty());
    scheduler.advance(0.02);
    EXPECT_EQ(takeStarts().size(), 4u);

    // Two choices 0.1 s apart: only the second start plays.
    drone.choosePadType(2);
    scheduler.advance(0.1);
    drone.choosePadType(0);
    scheduler.advance(0.1);
    EXPECT_TRUE(takeStarts().empty());
    scheduler.advance(0.1);
    EXPECT_EQ(takeStarts().size(), 4u);
    scheduler.advance(1.0);
    EXPECT_TRUE(takeStarts().empty());

    // Brightness tilts the pad type's own high band by ±8 dB, without restarting notes.
    drone.brightness = 0.0;
    EXPECT_EQ(layer.eqHighGain.get(), -15.0);
    drone.brightness = 1.0;
    EXPECT_EQ(layer.eqHighGain.get(), 1.0);
    drone.brightness = 7.0;
    EXPECT_EQ(drone.brightness.get(), 1.0);
    EXPECT_TRUE(takeStarts().empty());

    drone.applyCharacter(3); // no such pad type: the tone stays
    EXPECT_EQ(layer.eqHighGain.get(), 1.0);
    EXPECT_EQ(layer.reverbAmount.get(), 0.92);
}

TEST_F(DronePadTest, PanicLeavesTheDroneSoundingAndAGoneControllerStartsNothing)
{
    drone.chooseKey(7);
    engine->noteOn(60, 100);
    engine->panic();
    settle();
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{43, 50, 55, 62}));

    {
        DronePadController shortLived(engine->dronePad(), scheduler);
        shortLived.isEnabled = true;
        shortLived.updatePlayback(true);
    }
    settle();
    ledger.clear();
    scheduler.advance(1.0);
    settle();
    EXPECT_TRUE(ledger.startsInOrder().empty());
}

} // namespace norvane::test
