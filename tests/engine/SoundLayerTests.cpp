#include "engine/SamplerNode.h"
#include "support/EngineFixture.h"

namespace norvane::test
{

using Kind = NoteCommand::Kind;

class SoundLayerTest : public EngineFixture
{
protected:
    SoundLayer& layer() { return engine->layerA(); }
};

TEST(VelocityCurve, ShapesAsTheCurvesSay)
{
    EXPECT_EQ(apply(VelocityCurve::linear, 64), 64);
    EXPECT_EQ(apply(VelocityCurve::linear, 0), 1);
    EXPECT_EQ(apply(VelocityCurve::linear, 200), 127);
    EXPECT_EQ(apply(VelocityCurve::soft, 64), 84);
    EXPECT_EQ(apply(VelocityCurve::hard, 64), 42);
    EXPECT_EQ(apply(VelocityCurve::hard, 1), 1); // 127·(1/127)^1.6 rounds to 0
    EXPECT_EQ(apply(VelocityCurve::soft, 127), 127);
    for (int v : {1, 50, 127})
        EXPECT_EQ(apply(VelocityCurve::fixed, v), 100);

    // Every curve stays in 1…127 and never falls as the velocity rises.
    for (auto curve : allVelocityCurves)
    {
        int previous = 0;
        for (int v = -5; v <= 140; ++v)
        {
            const int out = apply(curve, v);
            EXPECT_GE(out, 1);
            EXPECT_LE(out, 127);
            if (curve != VelocityCurve::fixed)
            {
                EXPECT_GE(out, previous);
            }
            previous = out;
        }
        EXPECT_EQ(velocityCurveFromRaw(rawValue(curve)), curve);
    }
    EXPECT_EQ(displayName(VelocityCurve::hard, AppLanguage::spanish), "Dura");
    EXPECT_FALSE(velocityCurveFromRaw("steep"));
}

TEST_F(SoundLayerTest, KeyRangeAndCrossfadeDecideWhatPlaysAndHowLoud)
{
    NoteLedger ledger(layer());
    layer().lowKey = 48;
    layer().highKey = 60;

    layer().noteOn(47, 100);
    layer().noteOn(61, 100);
    settle();
    EXPECT_TRUE(layer().soundedNotes().empty());
    EXPECT_EQ(ledger.totalStarts(), 0);

    layer().crossfadeSemitones = 3;
    EXPECT_DOUBLE_EQ(layer().playGain(47), 0.75);
    EXPECT_DOUBLE_EQ(layer().playGain(46), 0.5);
    EXPECT_DOUBLE_EQ(layer().playGain(63), 0.25);
    EXPECT_DOUBLE_EQ(layer().playGain(44), 0.0);
    EXPECT_DOUBLE_EQ(layer().playGain(54), 1.0);

    layer().noteOn(47, 100);
    layer().noteOn(44, 100);
    settle();
    ASSERT_EQ(ledger.startsInOrder().size(), 1u);
    EXPECT_EQ(ledger.startsInOrder()[0], std::make_pair(47, 75));
    EXPECT_TRUE(layer().isSplit());

    // Narrowing the fade releases what it no longer covers, and nothing else.
    layer().noteOn(50, 90);
    layer().crossfadeSemitones = 0;
    settle();
    EXPECT_EQ(layer().soundedNotes().count(47), 0u);
    EXPECT_EQ(layer().soundedNotes().count(50), 1u);
    EXPECT_EQ(ledger.soundingPitches(), std::vector<int>{50});
}

TEST_F(SoundLayerTest, TranspositionOctaveAndVelocityMakeThePitch)
{
    NoteLedger ledger(layer());
    layer().transposeSemitones = 5;
    layer().octaveShift = 1;
    layer().noteOn(60, 64);
    settle();
    layer().transposeSemitones = 12;
    layer().octaveShift = 2;
    layer().noteOn(120, 64);
    settle();
    layer().velocityCurve = VelocityCurve::hard;
    layer().noteOn(10, 1);
    settle();

    const auto starts = ledger.startsInOrder();
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[0], std::make_pair(77, 64));
    EXPECT_EQ(starts[1], std::make_pair(127, 64));
    EXPECT_EQ(starts[2], std::make_pair(10 + 12 + 24, 1));

    // Note-offs stop what was started, whatever the settings are now.
    layer().transposeSemitones = -7;
    layer().octaveShift = -2;
    for (int note : {60, 120, 10})
        layer().noteOff(note);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(layer().soundedNotes().empty());
    EXPECT_TRUE(layer().noteVelocities().empty());
}

TEST_F(SoundLayerTest, SettingsAreClampedWhereTheyAreSet)
{
    layer().transposeSemitones = 20;
    EXPECT_EQ(layer().transposeSemitones.get(), 12);
    layer().transposeSemitones = -40;
    EXPECT_EQ(layer().transposeSemitones.get(), -12);
    layer().octaveShift = -3;
    EXPECT_EQ(layer().octaveShift.get(), -2);
    layer().octaveShift = 9;
    EXPECT_EQ(layer().octaveShift.get(), 2);
    layer().crossfadeSemitones = 15;
    EXPECT_EQ(layer().crossfadeSemitones.get(), 12);
    layer().crossfadeSemitones = -1;
    EXPECT_EQ(layer().crossfadeSemitones.get(), 0);

    // The key range never inverts: each end pushes the other.
    NoteLedger ledger(layer());
    layer().highKey = 60;
    layer().noteOn(55, 100);
    layer().noteOn(40, 100);
    settle();
    layer().lowKey = 70;
    settle();
    EXPECT_EQ(layer().highKey.get(), 70);
    EXPECT_TRUE(layer().soundedNotes().empty());
    EXPECT_TRUE(ledger.soundingPitches().empty());
    layer().highKey = 20;
    EXPECT_EQ(layer().lowKey.get(), 20);
    EXPECT_EQ(layer().highKey.get(), 20);
}

TEST_F(SoundLayerTest, OnlyStartedNotesAreStoppedAndDisabledLayersStayQuiet)
{
    NoteLedger ledger(layer());
    layer().noteOff(64); // never started: nothing at all
    settle();
    EXPECT_TRUE(ledger.commands.empty());

    layer().noteOn(128, 100);
    layer().noteOn(-1, 100);
    settle();
    EXPECT_TRUE(ledger.commands.empty());

    // Striking a sounding key again stops the old voice first.
    layer().noteOn(60, 100);
    layer().noteOn(60, 80);
    settle();
    ASSERT_EQ(ledger.commands.size(), 3u);
    EXPECT_EQ(ledger.commands[1].kind, Kind::stop);
    EXPECT_EQ(layer().noteVelocities().at(60), 80);

    // Disabling stops nothing; the note-off still arrives.
    layer().isEnabled = false;
    layer().noteOn(62, 100);
    settle();
    EXPECT_EQ(layer().soundedNotes().count(62), 0u);
    layer().noteOff(60);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
}

TEST_F(SoundLayerTest, EnvelopeRampsOnTheSixtiethOfASecondInRenderedTime)
{
    auto& l = layer();
    l.attackTime = 0.5;
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 0.0); // an envelope layer rests silent
    EXPECT_EQ(l.outputGain(), 0.0f);

    // Each step adds 1/30 and comes 1/60 s of rendered audio after the one before; the ramp
    // ends exactly at 1.
    l.noteOn(60, 100);
    std::vector<double> levels{0.0};
    for (int block = 0; block < 300 && levels.back() < 1.0; ++block)
    {
        settle();
        if (l.envelopeMultiplier() != levels.back())
            levels.push_back(l.envelopeMultiplier());
    }
    ASSERT_GE(levels.size(), 31u);
    ASSERT_LE(levels.size(), 32u); // the floating-point sum may need one more step
    for (size_t i = 1; i + 1 < levels.size(); ++i)
        EXPECT_NEAR(levels[i] - levels[i - 1], 1.0 / 30.0, 1e-6) << "step " << i;
    EXPECT_EQ(levels.back(), 1.0);
    EXPECT_FLOAT_EQ(l.outputGain(), 0.85f);
}

TEST_F(SoundLayerTest, EnvelopeReleaseShortTimesAndPanic)
{
    auto& l = layer();
    l.attackTime = 0.01; // 0.02 s or less is immediate
    l.noteOn(60, 100);
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 1.0);

    l.releaseTime = 0.1; // notes sound: the rest level waits
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 1.0);
    l.noteOn(64, 100); // not the first note: no new ramp
    l.noteOff(60);
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 1.0);
    l.noteOff(64);
    renderFor(0.05);
    EXPECT_GT(l.envelopeMultiplier(), 0.0);
    EXPECT_LT(l.envelopeMultiplier(), 1.0);

    // A note during the release ramps up from where it stands.
    const double midway = l.envelopeMultiplier();
    l.noteOn(67, 100);
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 1.0); // attack 0.01 s: at once
    l.attackTime = 0.2;
    l.noteOff(67);
    renderFor(1.0);
    EXPECT_EQ(l.envelopeMultiplier(), 0.0);
    EXPECT_GT(midway, 0.0);

    l.volume = 0.5;
    settle();
    EXPECT_EQ(l.outputGain(), 0.0f); // at rest, the fader alone opens nothing
    l.noteOn(60, 100);
    renderFor(0.1);
    l.panicStop();
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 0.0);
    EXPECT_EQ(l.outputGain(), 0.0f);
    EXPECT_TRUE(l.soundedNotes().empty());

    l.attackTime = 0.0;
    l.releaseTime = 0.0;
    settle();
    EXPECT_EQ(l.envelopeMultiplier(), 1.0);
    EXPECT_FLOAT_EQ(l.outputGain(), 0.5f);
}

TEST_F(SoundLayerTest, EngineFansOutInOrderAndLeavesTheDroneAlone)
{
    for (auto* l : engine->playingLayers())
        l->isEnabled = true;
    engine->layerB().transposeSemitones = 1;
    engine->layerC().lowKey = 70;

    // One ledger across the four layers, in the order the audio side sent.
    struct Order final : NoteCommandProbe
    {
        std::vector<std::string>* order;
        std::string slot;
        void commandSent(int, const NoteCommand&) noexcept override { order->push_back(slot); }
    };
    std::vector<std::string> order;
    std::vector<Order> probes(4);
    auto layers = engine->playingLayers();
    for (size_t i = 0; i < 4; ++i)
    {
        probes[i].order = &order;
        probes[i].slot = layers[i]->slot;
        layers[i]->processor().setCommandProbe(&probes[i]);
    }
    NoteLedger drone(engine->dronePad());
    engine->dronePad().noteOn(40, 100);

    engine->noteOn(60, 100);
    settle();
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "D"}));
    EXPECT_EQ(engine->layerB().soundedNotes().at(60), 61);

    // Bends reach all four layers, enabled or not, clamped to 14 bits.
    engine->layerD().isEnabled = false;
    for (auto* l : layers)
        l->processor().setCommandProbe(nullptr);
    NoteLedger d(engine->layerD());
    layers[0]->processor().setCommandProbe(&probes[0]);
    order.clear();
    for (int bend : {-5, 20000, 8192})
        engine->pitchBend(bend);
    settle();
    EXPECT_EQ(order.size(), 3u); // layer A's three
    ASSERT_EQ(d.commands.size(), 3u);
    EXPECT_EQ(d.commands[0].value, 0);
    EXPECT_EQ(d.commands[1].value, 16383);
    EXPECT_EQ(d.commands[2].value, 8192);
    layers[0]->processor().setCommandProbe(nullptr);

    engine->panic();
    settle();
    for (auto* l : engine->playingLayers())
        EXPECT_TRUE(l->soundedNotes().empty());
    EXPECT_EQ(engine->dronePad().soundedNotes().count(40), 1u);
    EXPECT_EQ(drone.soundingPitches(), std::vector<int>{40});
}

TEST_F(SoundLayerTest, SoundSelectionAndLoadErrors)
{
    auto& l = layer();
    // No bank here: every load fails and says which sound and why.
    ASSERT_TRUE(l.loadError.get().has_value());
    EXPECT_EQ(l.loadError.get()->rfind("Grand Piano: ", 0), 0u) << *l.loadError.get();

    l.variantIndex = 3;
    EXPECT_EQ(l.currentVariant().nameEN, "Honky-tonk");
    l.category = InstrumentCategory::piano; // the same category changes nothing
    EXPECT_EQ(l.variantIndex.get(), 3);
    l.category = InstrumentCategory::organ;
    EXPECT_EQ(l.variantIndex.get(), 0);
    EXPECT_EQ(l.currentVariant().program, 16);
    settleChanges(); // the new sound loads in the background; its error follows
    EXPECT_EQ(l.loadError.get()->rfind("Drawbar Organ: ", 0), 0u);

    l.variantIndex = 99; // beyond the list: the last sound
    EXPECT_EQ(l.currentVariant().nameEN, "Reed Organ");
    l.variantIndex = -4;
    EXPECT_EQ(l.currentVariant().nameEN, "Drawbar Organ");

    EXPECT_EQ(l.displayLabel(AppLanguage::spanish), "Capa A");
    EXPECT_EQ(engine->layerB().displayLabel(AppLanguage::english), "Layer B");
    EXPECT_EQ(engine->dronePad().displayLabel(AppLanguage::spanish), "Drone Pad");
}

class SoundLayerWithBankTest : public EngineFixture
{
protected:
    SoundLayerWithBankTest() : EngineFixture(true) {}
};

TEST_F(SoundLayerWithBankTest, LoadsTheGeneralMidiBankAndReportsMissingPrograms)
{
    ASSERT_FALSE(engine->soundBankPath().empty()) << "the General MIDI bank is not installed";
    for (auto* l : engine->playingLayers())
        EXPECT_FALSE(l->loadError.get().has_value()) << *l->loadError.get();
    EXPECT_TRUE(engine->layerA().sampler().hasInstrument());

    SamplerNode standalone(48000.0);
    auto error = standalone.loadInstrument(engine->soundBankPath(), 0, 121, 77);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("not in the sound bank"), std::string::npos);

    const auto junk = juce::File::createTempFile(".sf2");
    junk.replaceWithText("this is not a SoundFont");
    error = standalone.loadInstrument(junk.getFullPathName().toStdString(), 0, 121, 0);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("could not be read"), std::string::npos);
    EXPECT_FALSE(standalone.hasInstrument());
    junk.deleteFile();
}

} // namespace norvane::test
