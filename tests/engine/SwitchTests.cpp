#include "aids/DronePadController.h"
#include "engine/PluginNode.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"

namespace norvane::test
{

namespace
{

/** A whole engine with the real bank, played through the MIDI manager and rendered here block
    by block into one long recording, as a musician's performance would go. */
struct Stage
{
    Stage()
    {
        AudioEngine::Options options;
        options.soundBankPath = AudioEngine::resolveSoundBank();
        engine = std::make_unique<AudioEngine>(scheduler, options);
        engine->setPluginFinder(findInstalled);
        midi = std::make_unique<MIDIManager>(
            *engine, std::make_unique<FakeMidi>(std::make_shared<FakeMidi::State>()), scheduler);
        drone = std::make_unique<DronePadController>(engine->dronePad(), scheduler);
        settleChanges(*engine);
        recording.setSize(2, (int)(8.0 * engine->host().sampleRate()));
        recording.clear();
        ledger = std::make_unique<NoteLedger>(engine->layerA());
    }

    ~Stage() { ledger.reset(); }

    void send(std::initializer_list<std::uint8_t> bytes)
    {
        const std::vector<std::uint8_t> b(bytes);
        midi->processNow(b.data(), b.size());
    }

    /** Renders `seconds` in blocks; the message thread takes in what comes back after each. */
    void play(double seconds, bool withMessages = true)
    {
        const int block = engine->host().maximumBlockSize();
        const int end = std::min(recording.getNumSamples(),
                                 written + (int)(seconds * engine->host().sampleRate()));
        while (written + block <= end)
        {
            engine->host().render(recording, written, block);
            written += block;
            if (withMessages)
                engine->collect();
        }
    }

    /** A patch: the set-up as it stands with layer A's sound, octave and range changed. */
    LivePatch strings(int lowKey) const
    {
        auto patch = LivePatch::capture(*engine, *drone, "Strings");
        auto& a = patch.layers[0];
        a.categoryRawValue = static_cast<int>(InstrumentCategory::strings);
        a.variantIndex = 1;
        a.octaveShift = 1;
        a.lowKey = lowKey;
        a.highKey = 127;
        a.reverbAmount = 0.6;
        a.eqHighGain = -6.0;
        return patch;
    }

    ManualScheduler scheduler;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<MIDIManager> midi;
    std::unique_ptr<DronePadController> drone;
    std::unique_ptr<NoteLedger> ledger;
    juce::AudioBuffer<float> recording;
    int written = 0;
};

/** Holds 60 by its key and 64 by the pedal, as the performance before a recall. */
void holdTwoNotes(Stage& s)
{
    s.send({0x90, 60, 100});
    s.send({0xB0, 64, 127});
    s.send({0x90, 64, 90});
    s.play(0.25);
    s.send({0x80, 64, 0});
    s.play(0.35);
}

int firstDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int from,
                    int to)
{
    for (int i = from; i < to; ++i)
        for (int ch = 0; ch < 2; ++ch)
            if (a.getSample(ch, i) != b.getSample(ch, i))
                return i;
    return -1;
}

double energy(const juce::AudioBuffer<float>& a, int from, int to)
{
    double e = 0.0;
    for (int i = from; i < to; ++i)
        e += (double)a.getSample(0, i) * a.getSample(0, i);
    return e;
}

/** The chain each started pitch went to, in order. */
std::vector<std::pair<int, int>> startsWithChains(const NoteLedger& ledger)
{
    std::vector<std::pair<int, int>> list;
    for (size_t i = 0; i < ledger.commands.size(); ++i)
        if (ledger.commands[i].kind == NoteCommand::Kind::start)
            list.emplace_back(ledger.commands[i].pitch, ledger.chains[i]);
    return list;
}

int chainOf(const NoteLedger& ledger, int pitch)
{
    for (const auto& [p, c] : startsWithChains(ledger))
        if (p == pitch)
            return c;
    return -1;
}

} // namespace

/** A recall that changes the sound, the octave and the range while one note is held by its key
    and one by the pedal: both sound on exactly as if nothing had been recalled, until the next
    note, which takes the new set-up; the old notes still stop when let go. */
TEST(Switching, HeldNotesRingThroughARecallExactlyAsWithout)
{
    Stage plain, recalled;
    for (auto* s : {&plain, &recalled})
        holdTwoNotes(*s);
    const int before = recalled.written;

    recalled.strings(70).apply(*recalled.engine, *recalled.drone);
    recalled.engine->waitForLoads();
    for (auto* s : {&plain, &recalled})
        s->play(1.0);
    ASSERT_FALSE(recalled.engine->layerA().isSwitchPending());
    ASSERT_EQ(recalled.engine->layerA().category.get(), InstrumentCategory::strings);
    EXPECT_EQ(firstDifference(plain.recording, recalled.recording, 0, recalled.written), -1)
        << "the held notes changed at the recall (at sample " << before << ")";

    // The next note: in the new range, an octave up, on the new chain.
    const int next = recalled.written;
    for (auto* s : {&plain, &recalled})
    {
        s->send({0x90, 75, 100});
        s->play(0.5);
    }
    const int oldChain = chainOf(*recalled.ledger, 60);
    EXPECT_EQ(chainOf(*recalled.ledger, 64), oldChain);
    EXPECT_EQ(chainOf(*recalled.ledger, 75), -1);
    EXPECT_NE(chainOf(*recalled.ledger, 87), -1);
    EXPECT_NE(chainOf(*recalled.ledger, 87), oldChain);
    EXPECT_NE(firstDifference(plain.recording, recalled.recording, next, recalled.written), -1);

    // A key below the new range plays nothing now; letting go of the held notes stops them
    // on the chain they started on, and the layer falls silent.
    recalled.send({0x90, 50, 100});
    recalled.send({0x80, 60, 0});
    recalled.send({0xB0, 64, 0});
    recalled.send({0x80, 50, 0});
    recalled.send({0x80, 75, 0});
    recalled.play(3.0);
    EXPECT_EQ(chainOf(*recalled.ledger, 50), -1);
    EXPECT_TRUE(recalled.ledger->soundingPitches().empty());
    for (size_t i = 0; i < recalled.ledger->commands.size(); ++i)
    {
        const auto& c = recalled.ledger->commands[i];
        if (c.kind == NoteCommand::Kind::stop && (c.pitch == 60 || c.pitch == 64))
        {
            EXPECT_EQ(recalled.ledger->chains[i], oldChain);
        }
    }
    const int tail = recalled.written;
    EXPECT_LT(energy(recalled.recording, tail - 4800, tail), 1e-6);
}

/** A plug-in for the new set-up: while it is still being made (the message loop does not run)
    the held notes go on untouched and new notes play the old set-up; once it has arrived, the
    held notes still sound as without the change and the next note plays the plug-in. */
TEST(Switching, HeldNotesRingThroughAPlugInSwapAndWhileItLoads)
{
    Stage plain, swapped;
    for (auto* s : {&plain, &swapped})
        holdTwoNotes(*s);

    auto patch = swapped.strings(0);
    patch.layers[0].instrumentPlugin = installedRef("MDA Piano");
    patch.apply(*swapped.engine, *swapped.drone);
    for (auto* s : {&plain, &swapped})
        s->play(0.5, false); // no message: the instance is not delivered yet
    ASSERT_TRUE(swapped.engine->layerA().isSwitchPending());
    EXPECT_EQ(firstDifference(plain.recording, swapped.recording, 0, swapped.written), -1);

    // A note struck meanwhile: the old sound, on the old chain.
    for (auto* s : {&plain, &swapped})
    {
        s->send({0x90, 67, 80});
        s->play(0.3, false);
    }
    EXPECT_EQ(chainOf(*swapped.ledger, 67), chainOf(*swapped.ledger, 60));
    EXPECT_EQ(firstDifference(plain.recording, swapped.recording, 0, swapped.written), -1);

    ASSERT_TRUE(waitUntil([&] { return !swapped.engine->hasPendingChanges(); }));
    swapped.engine->waitForLoads();
    for (auto* s : {&plain, &swapped})
        s->play(0.5);
    ASSERT_FALSE(swapped.engine->layerA().isSwitchPending());
    ASSERT_NE(swapped.engine->layerA().pluginNode(), nullptr);
    EXPECT_FALSE(swapped.engine->layerA().loadError.get().has_value());
    EXPECT_EQ(firstDifference(plain.recording, swapped.recording, 0, swapped.written), -1);

    const int next = swapped.written;
    swapped.send({0x90, 72, 100});
    swapped.play(0.4);
    EXPECT_NE(chainOf(*swapped.ledger, 84), -1);
    EXPECT_NE(chainOf(*swapped.ledger, 84), chainOf(*swapped.ledger, 60));
    EXPECT_GT(energy(swapped.recording, next, swapped.written),
              energy(plain.recording, next, swapped.written) * 1.01);
}

/** Recalls that overlap: three changes asked for before any has loaded, the same plug-in in
    the last two with different states. What plays at the end is the last one, state too. */
TEST(Switching, TheLastOfOverlappingRecallsWins)
{
    Stage s;
    s.send({0x90, 60, 100});
    s.play(0.1);

    auto first = s.strings(40);
    first.layers[0].instrumentPlugin = installedRef("MDA Piano");
    first.apply(*s.engine, *s.drone); // the instance is being made...
    s.play(0.05, false);

    // ...when two more come, with the same plug-in in two different states.
    auto withState = [&](float value)
    {
        ManualScheduler clock;
        AudioEngine::Options options;
        options.soundBankPath = "/nonexistent/none.sf2";
        AudioEngine other(clock, options);
        other.setPluginFinder(findInstalled);
        other.loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, other.layerA());
        EXPECT_TRUE(waitUntil([&] { return other.layerA().pluginNode() != nullptr; }));
        other.waitForLoads();
        settle(other);
        other.layerA().pluginNode()->plugin().getParameters()[0]->setValueNotifyingHost(value);
        settle(other);
        return other.layerA().pluginNode()->state();
    };
    auto second = s.strings(50);
    second.layers[0].instrumentPlugin = installedRef("MDA Piano");
    second.layers[0].instrumentPluginState = withState(0.2f);
    auto third = s.strings(55);
    third.layers[0].instrumentPlugin = installedRef("MDA Piano");
    third.layers[0].instrumentPluginState = withState(0.9f);
    third.layers[0].transposeSemitones = 3;
    second.apply(*s.engine, *s.drone);
    s.play(0.05, false);
    third.apply(*s.engine, *s.drone);

    ASSERT_TRUE(waitUntil([&] { return !s.engine->hasPendingChanges(); }));
    s.engine->waitForLoads();
    s.play(0.3);
    auto& a = s.engine->layerA();
    EXPECT_FALSE(a.isSwitchPending());
    EXPECT_EQ(a.lowKey.get(), 55);
    EXPECT_EQ(a.transposeSemitones.get(), 3);
    ASSERT_NE(a.pluginNode(), nullptr);
    EXPECT_NEAR(a.pluginNode()->plugin().getParameters()[0]->getValue(), 0.9f, 1e-3f);

    // And it plays: a key in the last range, transposed as the last asked.
    s.send({0x80, 60, 0});
    s.play(0.1);
    s.send({0x90, 60, 100});
    s.play(0.2);
    EXPECT_NE(chainOf(*s.ledger, 75), -1);
    s.send({0x80, 60, 0});
    s.play(2.0);
    EXPECT_TRUE(s.ledger->soundingPitches().empty());
}

/** Three changes of sound in quick succession while a note is held: the chain that holds it
    is let go of to make room, and when it plays again (the first sound back) nothing of that
    note's tail comes back with it. */
TEST(Switching, AChainLetGoOfBringsNothingBackWhenItPlaysAgain)
{
    Stage s;
    const auto piano = LivePatch::capture(*s.engine, *s.drone, "Piano");
    auto organ = s.strings(0);
    organ.layers[0].categoryRawValue = static_cast<int>(InstrumentCategory::organ);
    s.send({0x90, 60, 127});
    s.play(0.2);

    for (const auto& patch : {s.strings(0), organ})
    {
        patch.apply(*s.engine, *s.drone);
        s.engine->waitForLoads();
        s.play(0.05);
    }
    piano.apply(*s.engine, *s.drone); // no chain is free: the one holding 60 goes
    for (int i = 0; i < 8 && s.engine->hasPendingChanges(); ++i)
    {
        s.engine->waitForLoads();
        s.play(0.02);
    }
    ASSERT_FALSE(s.engine->hasPendingChanges());
    ASSERT_EQ(s.engine->layerA().category.get(), InstrumentCategory::piano);
    EXPECT_TRUE(s.ledger->soundingPitches().empty());

    s.send({0x80, 60, 0});
    const int from = s.written;
    s.play(0.4);
    EXPECT_LT(energy(s.recording, from, s.written), 1e-6);
}

/** Panic with a plug-in in the sampler's place stops what the sampler still rings too. */
TEST(Switching, PanicStopsTheSamplerUnderAPlugIn)
{
    Stage s;
    s.send({0x90, 60, 110});
    s.play(0.1);
    s.engine->loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, s.engine->layerA());
    ASSERT_TRUE(waitUntil([&] { return !s.engine->hasPendingChanges(); }));
    s.engine->waitForLoads();
    s.play(0.1);
    ASSERT_NE(s.engine->layerA().pluginNode(), nullptr);

    s.midi->panic();
    s.play(0.05);
    std::set<int> stoppedChains;
    for (size_t i = 0; i < s.ledger->commands.size(); ++i)
        if (s.ledger->commands[i].kind == NoteCommand::Kind::stopAll)
            stoppedChains.insert(s.ledger->chains[i]);
    EXPECT_EQ(stoppedChains.size(), (size_t)LayerProcessor::chainCount);
    EXPECT_TRUE(s.ledger->soundingPitches().empty());
    const int from = s.written;
    s.play(2.0);
    EXPECT_LT(energy(s.recording, s.written - 4800, s.written), 1e-7);
    (void)from;
}

} // namespace norvane::test
