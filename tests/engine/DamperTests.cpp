#include "engine/DamperNoiseBank.h"
#include "engine/PlayerNode.h"
#include "engine/realtime/DamperVoices.h"
#include "input/PerformanceRenderer.h"
#include "support/EngineFixture.h"

#include <cmath>

namespace norvane::test
{

TEST(DamperNoiseBank, VoiceSpecsFollowTheKeyboard)
{
    const auto low = DamperNoiseBank::voiceSpec(DamperVoice::keyRelease(21));
    EXPECT_DOUBLE_EQ(low.cutoff, 420.0);
    EXPECT_DOUBLE_EQ(low.noiseDecay, 0.046);
    EXPECT_DOUBLE_EQ(low.partialDecay, 0.125);
    EXPECT_NEAR(20.0 * std::log10(low.outputGain), -16.0, 1e-9);
    EXPECT_DOUBLE_EQ(low.partialFrequency, 27.5);

    const auto high = DamperNoiseBank::voiceSpec(DamperVoice::keyRelease(88));
    EXPECT_DOUBLE_EQ(high.cutoff, 2520.0);
    EXPECT_DOUBLE_EQ(high.noiseDecay, 0.026);
    EXPECT_DOUBLE_EQ(high.partialDecay, 0.055);
    EXPECT_NEAR(20.0 * std::log10(high.outputGain), -29.0, 1e-9);
    EXPECT_NEAR(high.partialFrequency, 1318.51, 0.01);

    // Notes below the piano's lowest count as its lowest.
    EXPECT_DOUBLE_EQ(DamperNoiseBank::voiceSpec(DamperVoice::keyRelease(5)).cutoff, 420.0);

    const auto down = DamperNoiseBank::voiceSpec(DamperVoice::pedalDown());
    EXPECT_TRUE(down.partialsOff);
    EXPECT_DOUBLE_EQ(down.outputGain, 0.025118864315095794);
    const auto up = DamperNoiseBank::voiceSpec(DamperVoice::pedalUp());
    EXPECT_FALSE(up.partialsOff);
    EXPECT_DOUBLE_EQ(up.partialFrequency, 68.0);

    EXPECT_EQ(DamperNoiseBank::cacheKey(DamperVoice::keyRelease(60), 0), "n60v0");
    EXPECT_EQ(DamperNoiseBank::cacheKey(DamperVoice::pedalDown(), 1), "pdv1");
    EXPECT_EQ(DamperNoiseBank::cacheKey(DamperVoice::pedalUp(), 0), "puv0");
}

TEST(DamperNoiseBank, RendersTheRightLengthsAndSounds)
{
    DamperNoiseBank bank(44100.0);
    EXPECT_EQ(bank.buffer(DamperVoice::keyRelease(60), 0)->getNumSamples(), 14112);
    EXPECT_EQ(bank.buffer(DamperVoice::pedalDown(), 0)->getNumSamples(), 7056);
    EXPECT_EQ(bank.buffer(DamperVoice::pedalUp(), 0)->getNumSamples(), 19845);
    EXPECT_EQ(bank.buffer(DamperVoice::keyRelease(89), 0), nullptr);
    EXPECT_EQ(bank.buffer(DamperVoice::keyRelease(108), 1), nullptr);

    const auto& key = *bank.buffer(DamperVoice::keyRelease(60), 0);
    EXPECT_EQ(key.getSample(0, 0), 0.0f); // the fade-in starts from silence
    EXPECT_GT(key.getMagnitude(0, 0, key.getNumSamples()), 0.001f);
    EXPECT_LT(key.getMagnitude(0, 0, key.getNumSamples()), 0.2f);
    // Different noise in the two channels, and in the two variants.
    EXPECT_NE(key.getSample(0, 500), key.getSample(1, 500));
    EXPECT_NE(key.getSample(0, 500),
              bank.buffer(DamperVoice::keyRelease(60), 1)->getSample(0, 500));
    // The same seed renders the same sound.
    const auto again = bank.render(DamperNoiseBank::voiceSpec(DamperVoice::keyRelease(60)),
                                   DamperNoiseBank::seedFor("n60v0"));
    EXPECT_EQ(again->getSample(1, 1234), key.getSample(1, 1234));

    // Rendered once per key and variant: n60v0, pdv0, puv0, n60v1.
    EXPECT_EQ(bank.renderedCount(), 4);
    bank.buffer(DamperVoice::keyRelease(60), 0);
    EXPECT_EQ(bank.renderedCount(), 4);
}

class DamperLayerTest : public EngineFixture
{
};

TEST_F(DamperLayerTest, PoolAlternatesVariantsAndTakesTurnsOverSixPlayers)
{
    EXPECT_TRUE(engine->layerA().hasDamperStage());
    EXPECT_FALSE(engine->dronePad().hasDamperStage()); // the drone has no damper stage

    DamperNoiseBank bank(48000.0);
    DamperTable table(bank);
    EXPECT_EQ(bank.renderedCount(), (89 + 2) * 2); // every sound, in advance

    DamperVoices damper;
    damper.play(nullptr, DamperVoice::keyRelease(60), 0.5); // no sounds yet: nothing
    EXPECT_EQ(damper.nextPlayerIndex(), 0);
    damper.play(&table, DamperVoice::keyRelease(60), 0.5);
    EXPECT_EQ(damper.currentVariant(), 1);
    damper.play(&table, DamperVoice::keyRelease(60), 0.5);
    EXPECT_EQ(damper.currentVariant(), 0);
    EXPECT_TRUE(damper.isSounding());

    // Silence and keys above 88 change nothing.
    const int next = damper.nextPlayerIndex(), variant = damper.currentVariant();
    damper.play(&table, DamperVoice::keyRelease(108), 1.0);
    damper.play(&table, DamperVoice::pedalDown(), 0.001);
    EXPECT_EQ(damper.nextPlayerIndex(), next);
    EXPECT_EQ(damper.currentVariant(), variant);

    for (int i = 0; i < 4; ++i)
        damper.play(&table, DamperVoice::keyRelease(50 + i), 2.0);
    EXPECT_EQ(damper.nextPlayerIndex(), 0);
    EXPECT_FLOAT_EQ(damper.playerLevel(5), 1.0f);      // levels above 1 play at 1
    damper.play(&table, DamperVoice::pedalUp(), 0.25); // the seventh takes the first voice
    EXPECT_EQ(damper.nextPlayerIndex(), 1);
    EXPECT_FLOAT_EQ(damper.playerLevel(0), 0.25f);

    // The table plays exactly the bank's sounds; they ring out and stop.
    EXPECT_EQ(table.find(DamperVoice::keyRelease(60), 1),
              bank.buffer(DamperVoice::keyRelease(60), 1).get());
    juce::AudioBuffer<float> out(2, 48000);
    out.clear();
    damper.renderAdd(out, out.getNumSamples());
    EXPECT_GT(out.getMagnitude(0, 0, 4800), 0.0f);
    EXPECT_FALSE(damper.isSounding());

    // Every engine at one rate shares one bank's table.
    EXPECT_EQ(DamperNoiseBank::shared(48000.0)->table(), DamperNoiseBank::shared(48000.0)->table());
}

TEST_F(DamperLayerTest, KeyAndPedalLevelsFollowDamperAmountAndVelocity)
{
    auto& a = engine->layerA();
    a.damperAmount = 1.0;
    engine->waitForDamperSounds();
    a.noteOn(60, 127);
    a.noteOff(60);
    settle();
    EXPECT_FLOAT_EQ(a.damper().playerLevel(0), 1.0f);
    a.noteOn(62, 1);
    a.noteOff(62);
    settle();
    EXPECT_FLOAT_EQ(a.damper().playerLevel(1), (float)(0.35 + 0.65 / 127.0));

    a.damperAmount = 0.5;
    engine->sustainPedal(true);
    settle();
    EXPECT_FLOAT_EQ(a.damper().playerLevel(2), 0.5f);
    EXPECT_EQ(engine->layerB().damper().nextPlayerIndex(), 0); // disabled: no pedal sound

    a.damperAmount = 0.0;
    engine->sustainPedal(false);
    a.noteOn(64, 100);
    a.noteOff(64);
    settle();
    EXPECT_EQ(a.damper().nextPlayerIndex(), 3); // nothing at all at amount 0

    // A release of a note that never sounded makes no noise either.
    a.damperAmount = 1.0;
    a.noteOff(70);
    settle();
    EXPECT_EQ(a.damper().nextPlayerIndex(), 3);
}

TEST_F(DamperLayerTest, ReleaseNoiseReachesTheLayerOutput)
{
    auto& a = engine->layerA();
    a.damperAmount = 1.0;
    engine->waitForDamperSounds();
    renderFor(0.05);
    a.noteOn(60, 127);
    a.noteOff(60); // no sound bank here: only the damper can make a sound
    juce::AudioBuffer<float> out(2, 4800);
    engine->host().render(out, 0, out.getNumSamples());
    EXPECT_GT(out.getMagnitude(0, 0, out.getNumSamples()), 0.001f);
}

/** The first release of a render is heard with its damper sound: an offline render waits for
    the damper sounds as for any sound a layer asks for. */
TEST(DamperSounds, TheFirstReleaseOfARenderIsHeard)
{
    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.soundBankPath = "/nonexistent/none.sf2"; // only the damper can make a sound
    AudioEngine engine(scheduler, options);
    MIDIManager midi(engine, std::make_unique<FakeMidi>(std::make_shared<FakeMidi::State>()),
                     scheduler);
    engine.layerA().damperAmount = 1.0;
    PerformanceRenderer renderer(engine, midi, scheduler);
    const auto out = renderer.render({{0.0, {0x90, 60, 127}}, {0.05, {0x80, 60, 0}}}, 0.3);
    EXPECT_TRUE(engine.damperSoundsReady());
    EXPECT_GT(out.getMagnitude(0, 2400, out.getNumSamples() - 2400), 0.001f);
}

} // namespace norvane::test
