#include "aids/DronePadController.h"
#include "engine/PluginNode.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"

#include <limits>

namespace norvane::test
{

class LivePatchTest : public EngineFixture
{
protected:
    LivePatchTest() : drone(engine->dronePad(), scheduler)
    {
        engine->setPluginFinder(findInstalled);
    }

    /** Changes everything a patch holds. */
    void makeRichSetUp()
    {
        engine->masterVolume = 0.6;
        int i = 0;
        for (auto* l : engine->playingLayers())
        {
            ++i;
            l->isEnabled = i % 2 == 1;
            l->category = InstrumentCategory::organ;
            l->variantIndex = i % 3;
            l->volume = 0.1 * i;
            l->eqLowGain = -i;
            l->eqMidGain = i;
            l->eqHighGain = 2.5;
            l->compressionAmount = 0.3;
            l->reverbAmount = 0.2 * i;
            l->reverbDecay = 0.7;
            l->attackTime = 0.5;
            l->releaseTime = 1.5;
            l->lowKey = 30 + i;
            l->highKey = 90 + i;
            l->damperAmount = 0.4;
            l->transposeSemitones = -i;
            l->octaveShift = 1;
            l->velocityCurve = VelocityCurve::hard;
            l->crossfadeSemitones = i;
        }
        drone.shimmer = 0.4;
        drone.brightness = 0.8;
        drone.octave = 3;
        drone.chooseKey(9);
        drone.layer().volume = 0.7;
    }

    DronePadController drone;
};

TEST_F(LivePatchTest, ARichSetUpSurvivesJsonAndAFreshEngine)
{
    makeRichSetUp();
    engine->loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, engine->layerB());
    ASSERT_TRUE(waitUntil([&] { return engine->layerB().pluginNode() != nullptr; }));
    engine->layerB().pluginNode()->plugin().getParameters()[0]->setValueNotifyingHost(0.8f);
    renderFor(0.01);

    const auto patch = LivePatch::capture(*engine, drone, "Balada \u00f1");
    ASSERT_TRUE(patch.layers[1].instrumentPluginState.has_value());
    const auto text = patch.encode();
    EXPECT_EQ(text.find("null"), std::string::npos); // absent values are left out
    EXPECT_NE(text.find("\"id\":\"" + LivePatch::idText(patch.id) + "\""), std::string::npos);
    EXPECT_NE(text.find("\"componentType\":1635085685"), std::string::npos);
    const auto decoded = LivePatch::decode(text);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, patch);

    ManualScheduler otherClock;
    AudioEngine::Options options;
    options.soundBankPath = "/nonexistent/none.sf2";
    AudioEngine fresh(otherClock, options);
    fresh.setPluginFinder(findInstalled);
    DronePadController freshDrone(fresh.dronePad(), otherClock);
    decoded->apply(fresh, freshDrone);
    ASSERT_TRUE(waitUntil([&] { return fresh.layerB().pluginNode() != nullptr; }));
    juce::AudioBuffer<float> block(2, 128);
    fresh.host().render(block, 0, 128);

    auto again = LivePatch::capture(fresh, freshDrone, "Balada \u00f1", patch.id);
    EXPECT_EQ(again.layers[1].instrumentPlugin, patch.layers[1].instrumentPlugin);
    EXPECT_NEAR(fresh.layerB().pluginNode()->plugin().getParameters()[0]->getValue(), 0.8f, 1e-3f);
    // The plug-in's own state text may differ in details it regenerates; the rest is equal.
    again.layers[1].instrumentPluginState = patch.layers[1].instrumentPluginState;
    EXPECT_EQ(again, patch);
}

TEST_F(LivePatchTest, HandWrittenDocumentsLoadAndMissingRequiredKeysReject)
{
    const std::string layer =
        R"({"variantIndex":1,"isEnabled":true,"categoryRawValue":3,"volume":0.5,"eqLowGain":0,)"
        R"("eqMidGain":0,"eqHighGain":0,"compressionAmount":0,"reverbAmount":0,"reverbDecay":0.4,)"
        R"("attackTime":0,"releaseTime":0,"lowKey":null,"someday":[1,2],"velocityCurve":"wobbly"})";
    const std::string droneJson =
        R"({"isEnabled":false,"rootPitchClass":2,"octave":9,"variantIndex":0,"volume":0.5,)"
        R"("reverbAmount":0.9,"reverbDecay":1,"shimmer":1.7})";
    const auto document = [&](const std::string& layers, const std::string& d)
    {
        return R"({"drone":)" + d + R"(,"name":"Hand","masterVolume":0.7,"layers":[)" + layers +
               R"(],"id":"0a1b2c3d-4e5f-4061-8293-a4b5c6d7e8f9","extra":{}})";
    };

    const auto patch = LivePatch::decode(document(layer, droneJson));
    ASSERT_TRUE(patch.has_value());
    EXPECT_EQ(LivePatch::idText(patch->id), "0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9");
    EXPECT_FALSE(patch->layers[0].lowKey.has_value());

    // Applied: defaults for what is missing, an unknown curve is linear, the drone clamped;
    // one layer entry changes layer A only.
    engine->layerB().transposeSemitones = 5;
    engine->layerA().transposeSemitones = 7;
    engine->layerA().lowKey = 40;
    patch->apply(*engine, drone);
    auto& a = engine->layerA();
    EXPECT_EQ(a.category.get(), InstrumentCategory::organ);
    EXPECT_EQ(a.variantIndex.get(), 1);
    EXPECT_EQ(a.lowKey.get(), 0);
    EXPECT_EQ(a.highKey.get(), 127);
    EXPECT_EQ(a.transposeSemitones.get(), 0);
    EXPECT_EQ(a.velocityCurve.get(), VelocityCurve::linear);
    EXPECT_EQ(engine->layerB().transposeSemitones.get(), 5);
    EXPECT_EQ(drone.octave.get(), 6);
    EXPECT_EQ(drone.shimmer.get(), 1.0);
    EXPECT_EQ(drone.brightness.get(), 0.5);
    EXPECT_EQ(engine->masterVolume.get(), 0.7);

    // Category 9 is no category: the rest still applies.
    auto unknown = *patch;
    unknown.layers[0].categoryRawValue = 9;
    unknown.layers[0].variantIndex = 2;
    unknown.apply(*engine, drone);
    EXPECT_EQ(a.category.get(), InstrumentCategory::organ);
    EXPECT_EQ(a.variantIndex.get(), 2);

    // Any required key missing, anywhere, or of the wrong kind: the whole document fails.
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {R"("volume":0.5,)", ""},
             {R"("isEnabled":true)", R"("isEnabled":1)"},
             {R"("variantIndex":1)", R"("variantIndex":1.5)"},
             {R"("variantIndex":1)", R"("variantIndex":1e30)"},
             {R"("velocityCurve":"wobbly")", R"("velocityCurve":3)"}})
    {
        auto broken = layer;
        broken.replace(broken.find(from), from.size(), to);
        EXPECT_FALSE(LivePatch::decode(document(broken, droneJson)).has_value()) << broken;
    }
    EXPECT_FALSE(LivePatch::decode(document(layer, R"({"isEnabled":false})")).has_value());
    auto badID = document(layer, droneJson);
    badID.replace(badID.find("0a1b"), 4, "zzzz");
    EXPECT_FALSE(LivePatch::decode(badID).has_value());
    EXPECT_FALSE(LivePatch::decodeList("[" + document(layer, droneJson) + ",{}]").has_value());
    EXPECT_FALSE(LivePatch::decode(std::string(100000, '[')).has_value()); // deep nesting
}

TEST_F(LivePatchTest, AbsurdStoredNumbersArriveWithinTheirRanges)
{
    // A damaged or hand-edited patch must never blast the speakers.
    const std::string layer =
        R"({"isEnabled":true,"categoryRawValue":0,"variantIndex":0,"volume":1e9,)"
        R"("eqLowGain":1e300,"eqMidGain":-1e300,"eqHighGain":1e300,"compressionAmount":-3,)"
        R"("reverbAmount":40,"reverbDecay":1e20,"attackTime":-1,"releaseTime":1e12,)"
        R"("lowKey":500,"highKey":-9,"damperAmount":7})";
    const auto patch = LivePatch::decode(
        R"({"id":"0a1b2c3d-4e5f-4061-8293-a4b5c6d7e8f9","name":"Loud","masterVolume":1e300,)"
        R"("layers":[)" + layer + R"(],"drone":{"isEnabled":false,"rootPitchClass":0,)"
        R"("octave":2,"variantIndex":0,"volume":-1e300,"reverbAmount":0,"reverbDecay":0}})");
    ASSERT_TRUE(patch.has_value());
    patch->apply(*engine, drone);
    const auto& a = engine->layerA();
    EXPECT_EQ(a.volume.get(), 1.0);
    EXPECT_EQ(a.eqLowGain.get(), 24.0);
    EXPECT_EQ(a.eqMidGain.get(), -24.0);
    EXPECT_EQ(a.eqHighGain.get(), 24.0);
    EXPECT_EQ(a.compressionAmount.get(), 0.0);
    EXPECT_EQ(a.reverbAmount.get(), 1.0);
    EXPECT_EQ(a.reverbDecay.get(), 1.0);
    EXPECT_EQ(a.attackTime.get(), 0.0);
    EXPECT_EQ(a.releaseTime.get(), SoundLayer::maximumRelease);
    EXPECT_EQ(a.damperAmount.get(), 1.0);
    EXPECT_TRUE(a.lowKey.get() <= a.highKey.get() && a.lowKey.get() >= 0 && a.highKey.get() <= 127);
    EXPECT_EQ(engine->masterVolume.get(), 1.0);
    EXPECT_EQ(engine->dronePad().volume.get(), 0.0);

    // What is not a number at all falls back to the control's default.
    engine->layerB().eqLowGain = std::numeric_limits<double>::quiet_NaN();
    engine->layerB().volume = std::numeric_limits<double>::quiet_NaN();
    engine->masterVolume = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(engine->layerB().eqLowGain.get(), 0.0);
    EXPECT_EQ(engine->layerB().volume.get(), 0.85);
    EXPECT_EQ(engine->masterVolume.get(), 0.85);
}

TEST_F(LivePatchTest, TheApplyOrderKeepsEverySetting)
{
    // The category change resets the sound to the first of the category; the variant must
    // come after it.
    auto& a = engine->layerA();
    auto patch = LivePatch::capture(*engine, drone, "P");
    patch.layers[0].categoryRawValue = static_cast<int>(InstrumentCategory::strings);
    patch.layers[0].variantIndex = 2;
    patch.layers[0].lowKey = 90;
    patch.layers[0].highKey = 100;
    a.lowKey = 10;
    a.highKey = 20;
    patch.apply(*engine, drone);
    EXPECT_EQ(a.category.get(), InstrumentCategory::strings);
    EXPECT_EQ(a.variantIndex.get(), 2);
    EXPECT_EQ(a.lowKey.get(), 90);
    EXPECT_EQ(a.highKey.get(), 100);

    // The drone's octave before its key: the notes start in the new octave, once, after the
    // sound has loaded.
    NoteLedger ledger(engine->dronePad());
    patch.drone.isEnabled = true;
    patch.drone.octave = 4;
    patch.drone.rootPitchClass = 5;
    patch.apply(*engine, drone);
    settleChanges();
    scheduler.advance(0.2);
    settleChanges();
    const auto starts = ledger.startsInOrder();
    ASSERT_FALSE(starts.empty());
    for (const auto& [pitch, velocity] : starts)
        EXPECT_GE(pitch, 65) << "a note started in the old octave";
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{65, 72, 77, 84}));
}

} // namespace norvane::test
