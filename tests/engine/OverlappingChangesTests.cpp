#include "aids/DronePadController.h"
#include "engine/LayerSwitcher.h"
#include "engine/PluginNode.h"
#include "engine/ReverbNode.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/HeldLoads.h"
#include "support/MessageLoop.h"

#include <cmath>

namespace norvane::test
{

namespace
{

/** A whole engine with the real bank, played through the MIDI manager and rendered here block
    by block into one recording. Its sounds load only when the test runs the loader's jobs, and
    its plug-ins (the fake ones) arrive only when the test delivers them. */
struct Bench
{
    explicit Bench(double seconds = 12.0)
    {
        AudioEngine::Options options;
        options.soundBankPath = AudioEngine::resolveSoundBank();
        options.soundLoader = [jobs = jobs] { return std::make_unique<HeldLoader>(jobs); };
        engine = std::make_unique<AudioEngine>(scheduler, options);
        plugins.use(*engine);
        midi = std::make_unique<MIDIManager>(
            *engine, std::make_unique<FakeMidi>(std::make_shared<FakeMidi::State>()), scheduler);
        drone = std::make_unique<DronePadController>(engine->dronePad(), scheduler);
        settleChanges(*engine);
        recording.setSize(2, (int)(seconds * engine->host().sampleRate()));
        recording.clear();
        ledger = std::make_unique<NoteLedger>(engine->layerA());
    }

    ~Bench() { ledger.reset(); }

    void send(std::initializer_list<std::uint8_t> bytes)
    {
        const std::vector<std::uint8_t> b(bytes);
        midi->processNow(b.data(), b.size());
    }

    /** Renders `seconds` in blocks; the clock and the message thread follow each block. */
    void play(double seconds)
    {
        const int block = engine->host().maximumBlockSize();
        const double rate = engine->host().sampleRate();
        const int end = std::min(recording.getNumSamples(), written + (int)(seconds * rate));
        while (written + block <= end)
        {
            engine->host().render(recording, written, block);
            written += block;
            scheduler.advance(block / rate);
            engine->collect();
        }
    }

    /** Runs every load asked for so far, then lets what is ready take over. */
    void finishLoads()
    {
        drainMessages(); // the plug-ins asked for are started from the message loop
        plugins.deliverAll();
        HeldLoader::runAll(*jobs);
        play(0.01);
    }

    /** The set-up as it stands with layer A's sound and some settings changed. */
    LivePatch with(InstrumentCategory category, int variant, double reverb = 0.3) const
    {
        auto patch = LivePatch::capture(*engine, *drone, "P");
        auto& a = patch.layers[0];
        a.categoryRawValue = static_cast<int>(category);
        a.variantIndex = variant;
        a.reverbAmount = reverb;
        return patch;
    }

    LayerSwitcher& switcherA() { return engine->layerA().switcher(); }
    int liveA() { return engine->layerA().processor().liveIndex(); }

    ManualScheduler scheduler;
    std::shared_ptr<HeldLoader::Jobs> jobs = std::make_shared<HeldLoader::Jobs>();
    HeldPlugins plugins;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<MIDIManager> midi;
    std::unique_ptr<DronePadController> drone;
    std::unique_ptr<NoteLedger> ledger;
    juce::AudioBuffer<float> recording;
    int written = 0;
};

double energy(const juce::AudioBuffer<float>& a, int from, int to)
{
    double e = 0.0;
    for (int i = from; i < to; ++i)
        for (int ch = 0; ch < 2; ++ch)
            e += (double)a.getSample(ch, i) * a.getSample(ch, i);
    return e;
}

/** √(Σ(a − b)² / Σa²) over the samples both have written. */
double relativeDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b,
                          int to)
{
    double difference = 0.0;
    for (int i = 0; i < to; ++i)
        for (int ch = 0; ch < 2; ++ch)
        {
            const double d = (double)a.getSample(ch, i) - b.getSample(ch, i);
            difference += d * d;
        }
    return std::sqrt(difference / std::max(energy(a, 0, to), 1e-12));
}

/** The RMS level in decibels of consecutive windows of `window` samples from `from` to `to`. */
std::vector<double> levels(const juce::AudioBuffer<float>& a, int from, int to, int window)
{
    std::vector<double> list;
    for (int i = from; i + window <= to; i += window)
        list.push_back(10.0 *
                       std::log10(std::max(energy(a, i, i + window) / (2.0 * window), 1e-20)));
    return list;
}

/** The last pitch bend the ledger saw go to `chain`, or centre. */
int lastBendOn(const NoteLedger& ledger, int chain)
{
    int bend = 8192;
    for (size_t i = 0; i < ledger.commands.size(); ++i)
        if (ledger.commands[i].kind == NoteCommand::Kind::pitchBend && ledger.chains[i] == chain)
            bend = ledger.commands[i].value;
    return bend;
}

} // namespace

/** A double-tapped footswitch: the same Program Change twice at one instant plays exactly as
    once. While the new sound loads the old one plays on, and what loads is loaded once. */
TEST(OverlappingChanges, TheSameRecallTwiceAtOnceSoundsLikeOnce)
{
    Bench once, twice;
    for (auto* b : {&once, &twice})
    {
        const auto strings = b->with(InstrumentCategory::strings, 1);
        strings.apply(*b->engine, *b->drone);
        if (b == &twice)
            strings.apply(*b->engine, *b->drone);
        b->play(0.1);
        // A note before the new sound has loaded: the old set-up plays it.
        b->send({0x90, 60, 100});
        b->play(0.4);
        b->send({0x80, 60, 0});
        b->finishLoads();
        b->send({0x90, 64, 100});
        b->play(1.0);
        b->send({0x80, 64, 0});
        b->play(1.5);
    }
    EXPECT_GT(energy(twice.recording, 0, (int)(0.5 * 48000)), 1e-3) << "the old sound went silent";
    const double difference = relativeDifference(once.recording, twice.recording, once.written);
    EXPECT_LE(difference, 0.05);
    std::printf("double recall against one: relative difference %.4f\n", difference);
    EXPECT_EQ(twice.switcherA().counts().soundsStarted, once.switcherA().counts().soundsStarted);
    EXPECT_TRUE(
        twice.switcherA().heldSound(twice.liveA()).sameSound(twice.engine->layerA().setup().sound));
}

/** Patches that share a sound step back and forth without a new chain or a load: the settings
    go into the chain that plays, and the notes held there sound on. A patch stepped over before
    its sound started loading costs nothing. */
TEST(OverlappingChanges, SteppingThroughPatchesThatShareASoundStaysInPlace)
{
    Bench b;
    const auto quiet = b.with(InstrumentCategory::piano, 0, 0.1);
    auto wide = b.with(InstrumentCategory::piano, 0, 0.7);
    wide.layers[0].eqHighGain = 4.0;
    const auto strings = b.with(InstrumentCategory::strings, 0);

    b.send({0xB0, 64, 127});
    b.send({0x90, 60, 100});
    b.send({0x90, 67, 100});
    b.play(0.2);
    b.send({0x80, 60, 0});
    b.send({0x80, 67, 0});
    const int chain = b.liveA();
    const auto before = b.switcherA().counts();
    for (const LivePatch* p : std::array<const LivePatch*, 4>{&quiet, &wide, &quiet, &wide})
    {
        p->apply(*b.engine, *b.drone);
        b.play(0.1);
    }
    auto after = b.switcherA().counts();
    EXPECT_EQ(after.soundsStarted, before.soundsStarted);
    EXPECT_EQ(after.inPlace, before.inPlace + 4);
    EXPECT_EQ(b.liveA(), chain);
    EXPECT_TRUE(b.jobs->waiting.empty());
    EXPECT_NEAR(b.engine->layerA().chain().reverb().getParameter(ReverbNode::dryWetMix), 70.0f,
                1e-3f);
    EXPECT_EQ(b.ledger->soundingPitches(), (std::vector<int>{60, 67}));

    // Strings asked for and left again before their load began: it never runs.
    strings.apply(*b.engine, *b.drone);
    b.play(0.05);
    quiet.apply(*b.engine, *b.drone);
    b.finishLoads();
    after = b.switcherA().counts();
    EXPECT_EQ(after.soundsStarted, before.soundsStarted);
    EXPECT_EQ(after.soundsSkipped, before.soundsSkipped + 1);
    EXPECT_EQ(b.liveA(), chain);
    EXPECT_EQ(b.ledger->soundingPitches(), (std::vector<int>{60, 67}));
    b.send({0xB0, 64, 0});
    b.play(0.1);
    EXPECT_TRUE(b.ledger->soundingPitches().empty());
}

/** Eight patches stepped through in a second, each with another sound: only the load that had
    started already and the last patch's load run, and the last patch is what plays. */
TEST(OverlappingChanges, SkippedPatchesCostNothing)
{
    Bench b;
    const std::pair<InstrumentCategory, int> sounds[] = {
        {InstrumentCategory::strings, 0},       {InstrumentCategory::organ, 0},
        {InstrumentCategory::strings, 1},       {InstrumentCategory::electricPiano, 0},
        {InstrumentCategory::organ, 1},         {InstrumentCategory::pad, 0},
        {InstrumentCategory::electricPiano, 1}, {InstrumentCategory::strings, 2}};
    const auto before = b.switcherA().counts();
    for (size_t i = 0; i < std::size(sounds); ++i)
    {
        b.with(sounds[i].first, sounds[i].second).apply(*b.engine, *b.drone);
        if (i == 0)
            HeldLoader::runAt(*b.jobs, 0); // the loader was free: the first began at once
        b.play(0.125);
    }
    b.finishLoads();
    const auto after = b.switcherA().counts();
    EXPECT_EQ(after.soundsStarted - before.soundsStarted, 2);
    EXPECT_EQ(after.soundsSkipped - before.soundsSkipped, 6);
    EXPECT_EQ(b.engine->layerA().category.get(), InstrumentCategory::strings);
    EXPECT_TRUE(b.switcherA().heldSound(b.liveA()).sameSound(b.engine->layerA().setup().sound));
    const int from = b.written;
    b.send({0x90, 60, 100});
    b.play(0.3);
    EXPECT_GT(energy(b.recording, from, b.written), 1e-3);
}

/** A plug-in's state belongs to the set-up while the plug-in loads or is missing, whatever else
    of the layer changes meanwhile: an effect chosen, a SoundFont installed, the system bank
    taken back. */
TEST(OverlappingChanges, APlugInsKeptStateSurvivesTheLayersOtherSwitches)
{
    Bench b;
    auto& a = b.engine->layerA();
    const auto otherBank = std::string("/usr/share/sounds/sf2/TimGM6mb.sf2");
    auto otherSwitches = [&]
    {
        std::vector<float> kept;
        b.engine->loadEffectPlugin(HeldPlugins::ref("Gain"), std::nullopt, a);
        kept.push_back(toneOf(a.instrumentStateToKeep()));
        b.engine->reloadSharedBank(otherBank);
        kept.push_back(toneOf(a.instrumentStateToKeep()));
        b.engine->reloadSharedBank(AudioEngine::systemBank());
        kept.push_back(toneOf(a.instrumentStateToKeep()));
        return kept;
    };

    // While it loads: the instance that finally arrives starts from that state.
    b.engine->loadInstrumentPlugin(HeldPlugins::ref("Keys"), fakeState(0.7f), a);
    EXPECT_EQ(otherSwitches(), (std::vector<float>{0.7f, 0.7f, 0.7f}));
    b.finishLoads();
    ASSERT_NE(a.pluginNode(), nullptr);
    EXPECT_EQ(toneOf(a.instrumentStateToKeep()), 0.7f);
    EXPECT_EQ(toneOf(LivePatch::capture(*b.engine, *b.drone, "p").layers[0].instrumentPluginState),
              0.7f);

    // While it is missing from the machine.
    PluginRef missing{PluginRef::instrumentType, 7, 8, "Nobody \u2013 Organ"};
    b.engine->loadEffectPlugin(std::nullopt, std::nullopt, a);
    b.engine->loadInstrumentPlugin(missing, fakeState(0.3f), a);
    b.finishLoads();
    EXPECT_EQ(a.pluginNode(), nullptr);
    EXPECT_EQ(a.instrumentPlugin.get(), missing);
    EXPECT_EQ(otherSwitches(), (std::vector<float>{0.3f, 0.3f, 0.3f}));
    b.finishLoads();
    const auto kept = LivePatch::capture(*b.engine, *b.drone, "p").layers[0];
    EXPECT_EQ(kept.instrumentPlugin, missing);
    EXPECT_EQ(toneOf(kept.instrumentPluginState), 0.3f);
}

/** Notes held through a recall stay the layer's own: its volume and expression controllers
    and the bend reach them, and a chain taken up again comes back with the wheel as it
    stands, not as it was. */
TEST(OverlappingChanges, HeldNotesFollowTheControllersAndChainsComeBackUnbent)
{
    Bench b;
    b.midi->expressionTarget = CCDestination::layerA;
    b.send({0x90, 60, 110});
    b.play(0.2);
    const int first = b.liveA();
    b.with(InstrumentCategory::strings, 0).apply(*b.engine, *b.drone);
    b.finishLoads();
    ASSERT_NE(b.liveA(), first);

    // Expression to nothing: the note held on the old chain fades with the new one.
    b.send({0xB0, 11, 0});
    b.play(0.3);
    EXPECT_LT(energy(b.recording, b.written - 4800, b.written), 1e-9);
    b.send({0xB0, 11, 127});
    b.play(0.3);
    EXPECT_GT(energy(b.recording, b.written - 4800, b.written), 1e-4);

    // Bent while the old chain still sounds, then let go and centred once it is idle.
    b.send({0xE0, 0x7F, 0x7F});
    b.play(0.05);
    EXPECT_EQ(lastBendOn(*b.ledger, first), 16383);
    b.send({0x80, 60, 0});
    b.play(2.5); // rings out and is free again
    b.send({0xE0, 0x00, 0x40});
    b.play(0.05);
    EXPECT_EQ(lastBendOn(*b.ledger, first), 16383); // idle: it was not told

    // The piano back: the first chain plays again, centred.
    b.with(InstrumentCategory::piano, 0).apply(*b.engine, *b.drone);
    b.finishLoads();
    ASSERT_EQ(b.liveA(), first);
    EXPECT_EQ(lastBendOn(*b.ledger, first), 8192);
}

/** When every chain sounds, the one let go of to make room fades out over 30 ms or more. */
TEST(OverlappingChanges, AChainLetGoOfFadesOutOverThirtyMilliseconds)
{
    Bench b;
    b.send({0x90, 60, 127});
    b.play(0.3);
    for (auto [category, variant] :
         {std::pair{InstrumentCategory::strings, 0}, std::pair{InstrumentCategory::organ, 0}})
    {
        b.with(category, variant, 0.0).apply(*b.engine, *b.drone);
        b.finishLoads();
        b.play(0.02);
    }
    // Every chain sounds: the piano holding 60 is let go of for the next change.
    const int from = b.written;
    const double level = energy(b.recording, from - 480, from) / 480.0;
    b.with(InstrumentCategory::piano, 0, 0.0).apply(*b.engine, *b.drone);
    b.play(0.1);
    int silentAt = -1;
    for (int i = from; i + 48 <= b.written && silentAt < 0; i += 48)
        if (energy(b.recording, i, i + 48) / 48.0 < 1e-4 * level)
            silentAt = i;
    ASSERT_GE(silentAt, 0);
    EXPECT_GE(silentAt - from, (int)(0.03 * 48000) - 128);
    EXPECT_LT(silentAt - from, (int)(0.08 * 48000));
    b.finishLoads();
    EXPECT_EQ(b.engine->layerA().category.get(), InstrumentCategory::piano);
}

/** A recall that keeps the drone's settings leaves it playing on its chain, its notes
    untouched: its level holds as in a run without the recall. So does a layer with an
    envelope holding a chord through a recall that keeps its sound. */
TEST(OverlappingChanges, TheDroneAndEnvelopedLayersPlayOnThroughARecall)
{
    Bench plain(16.0), recalled(16.0);
    for (auto* b : {&plain, &recalled})
    {
        b->engine->layerB().isEnabled = true;
        b->drone->chooseKey(2);
        b->send({0x90, 48, 90});
        b->send({0x90, 55, 90});
        b->play(8.0); // the pad's six-second swell
    }
    const int from = recalled.written;
    auto patch = recalled.with(InstrumentCategory::piano, 0, 0.5);
    patch.layers[1].eqHighGain = -3.0;
    patch.apply(*recalled.engine, *recalled.drone);
    for (auto* b : {&plain, &recalled})
    {
        b->finishLoads();
        b->play(4.0);
    }
    const auto without = levels(plain.recording, from, recalled.written, 2400);
    const auto with = levels(recalled.recording, from, recalled.written, 2400);
    double worst = 0.0;
    for (size_t i = 0; i < with.size(); ++i)
        worst = std::min(worst, with[i] - without[i]);
    std::printf("level across the recall: worst dip %.2f dB\n", worst);
    EXPECT_GT(worst, -0.5); // struck again, its notes would swell anew: about −3 dB
    EXPECT_EQ(recalled.switcherA().counts().soundsStarted, 0);
}

/** A recall that changes the drone's pad: the new pad's notes start on a new chain, whose
    envelope goes on from where the old one stands instead of swelling from silence over the
    pad's six-second attack. */
TEST(OverlappingChanges, ANewPadTakesOverAtTheLevelTheOldOneHad)
{
    Bench b(14.0);
    b.drone->chooseKey(2);
    b.play(8.0);
    ASSERT_NEAR(b.engine->dronePad().envelopeMultiplier(), 1.0, 1e-6);
    auto patch = LivePatch::capture(*b.engine, *b.drone, "Warm");
    patch.drone.variantIndex = 1;
    patch.apply(*b.engine, *b.drone);
    b.play(0.1);
    b.finishLoads();
    b.play(0.3); // the notes start 0.15 s after the new pad has loaded
    ASSERT_EQ(b.drone->soundingNotes().size(), 4u);
    EXPECT_GT(b.engine->dronePad().envelopeMultiplier(), 0.95);
    b.play(1.0);
    EXPECT_GT(b.engine->dronePad().envelopeMultiplier(), 0.97);
}

} // namespace norvane::test
