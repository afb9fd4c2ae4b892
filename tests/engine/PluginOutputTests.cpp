#include "engine/LimiterNode.h"
#include "engine/PluginNode.h"
#include "support/EngineFixture.h"
#include "support/HeldLoads.h"
#include "support/MessageLoop.h"
#include "support/TestPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace norvane
{
namespace
{

constexpr double rate = 48000.0;
constexpr int block = 128;

/** A plug-in of the test's own with the buses it is given. Its inputs and outputs are
    recorded and written as the test asks: a gain on the main pair, a fixed level on every
    other output, and, once poisoned, NaN from then on, as a filter whose memory went bad
    does, until it is reset by deactivation and activation. */
class Probe final : public test::TestPlugin
{
public:
    explicit Probe(const Buses& buses) : TestPlugin("Probe", buses) {}

    static Buses effectWithSideChain()
    {
        return Buses()
            .withInput("In", juce::AudioChannelSet::stereo(), true)
            .withInput("Side", juce::AudioChannelSet::stereo(), false)
            .withOutput("Out", juce::AudioChannelSet::stereo(), true);
    }
    static Buses instrumentWithFourOutputs()
    {
        return Buses()
            .withOutput("Main", juce::AudioChannelSet::stereo(), true)
            .withOutput("Aux", juce::AudioChannelSet::stereo(), false);
    }

    void prepareToPlay(double, int) override
    {
        ++activations;
        broken = false;
    }
    bool isBusesLayoutSupported(const BusesLayout&) const override { return true; }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override
    {
        ++blocks;
        for (const auto m : midi)
            notes.emplace_back(m.samplePosition, m.data[0]);
        channelsSeen = buffer.getNumChannels();
        const int n = buffer.getNumSamples();
        for (int ch = 2; ch < std::min(4, buffer.getNumChannels()); ++ch)
            sideChainPeak = std::max(sideChainPeak, buffer.getMagnitude(ch, 0, n));
        if (poison.exchange(false))
            broken = true;
        if (broken)
        {
            buffer.setSample(0, n / 2, std::numeric_limits<float>::quiet_NaN());
            return;
        }
        for (int ch = 0; ch < getTotalNumOutputChannels(); ++ch)
        {
            if (ch < 2 && getTotalNumInputChannels() > 0)
                buffer.applyGain(ch, 0, n, 0.5f);
            else
                for (int i = 0; i < n; ++i)
                    buffer.setSample(ch, i, ch < 2 ? 0.25f : 0.125f);
        }
    }

    std::atomic<bool> poison{false};
    bool broken = false;
    int activations = 0, blocks = 0, channelsSeen = 0;
    std::vector<std::pair<int, int>> notes; // frame, status of every MIDI event received
    float sideChainPeak = 0.0f;
};

juce::AudioBuffer<float> constant(float value)
{
    juce::AudioBuffer<float> b(2, block);
    for (int ch = 0; ch < 2; ++ch)
        juce::FloatVectorOperations::fill(b.getWritePointer(ch), value, block);
    return b;
}

template <typename Node> struct Rig
{
    explicit Rig(const Probe::Buses& buses)
    {
        auto instance = std::make_unique<Probe>(buses);
        probe = instance.get();
        node = std::make_unique<Node>(std::move(instance));
        node->prepareToPlay(rate, block);
    }

    juce::AudioBuffer<float> run(float input)
    {
        auto b = constant(input);
        juce::MidiBuffer midi;
        node->processBlock(b, midi);
        return b;
    }

    Probe* probe = nullptr;
    std::unique_ptr<Node> node;
};

} // namespace

/** A plug-in whose output goes non-finite is silent from that block on, is counted once, and
    plays again once the message thread has reset it; the audio side leaves it alone
    meanwhile. */
TEST(PluginOutput, ANonFiniteBlockIsSilencedCountedAndThePlugInResetToPlayAgain)
{
    Rig<PluginEffectNode> rig(Probe::effectWithSideChain());
    EXPECT_FLOAT_EQ(rig.run(1.0f).getSample(0, 5), 0.5f);
    const int activations = rig.probe->activations;

    rig.probe->poison = true;
    const auto bad = rig.run(1.0f);
    EXPECT_EQ(bad.getMagnitude(0, block), 0.0f);
    const int blocks = rig.probe->blocks;
    EXPECT_EQ(rig.run(1.0f).getMagnitude(0, block), 0.0f); // still broken: left alone, silent
    EXPECT_EQ(rig.probe->blocks, blocks);
    EXPECT_EQ(rig.node->takeSilencedBlocks(), 1);
    EXPECT_EQ(rig.node->takeSilencedBlocks(), 0);

    EXPECT_TRUE(rig.node->recover());
    EXPECT_FALSE(rig.node->recover()); // once is enough
    EXPECT_GT(rig.probe->activations, activations);
    EXPECT_FLOAT_EQ(rig.run(1.0f).getSample(1, 5), 0.5f);
}

/** Every bus of a plug-in gets a buffer: a side-chain input hears silence, not the layer, and
    the outputs of a multi-output instrument are all heard, each pair on its sides. */
TEST(PluginOutput, SideChainsHearSilenceAndEveryOutputPairIsSummedIn)
{
    Rig<PluginEffectNode> effect(Probe::effectWithSideChain());
    const auto out = effect.run(1.0f);
    EXPECT_EQ(effect.probe->channelsSeen, 4);
    EXPECT_EQ(effect.probe->sideChainPeak, 0.0f);
    EXPECT_FLOAT_EQ(out.getSample(0, 0), 0.5f);

    Rig<PluginInstrumentNode> instrument(Probe::instrumentWithFourOutputs());
    const auto sum = instrument.run(0.0f);
    EXPECT_EQ(instrument.probe->channelsSeen, 4);
    EXPECT_FLOAT_EQ(sum.getSample(0, 7), 0.25f + 0.125f);
    EXPECT_FLOAT_EQ(sum.getSample(1, 7), 0.25f + 0.125f);
}

/** An instrument plug-in gets each note at its own frame in the block (a JACK MIDI event's),
    not at the block's start; one placed past the block's end comes at its last frame. */
TEST(PluginOutput, AnInstrumentGetsEachNoteAtItsFrame)
{
    Rig<PluginInstrumentNode> rig(Probe::instrumentWithFourOutputs());
    NoteCommand on{NoteCommand::Kind::start, 60, 100};
    on.frame = 37;
    NoteCommand off{NoteCommand::Kind::stop, 60, 0};
    off.frame = 500;
    rig.node->send(on);
    rig.node->send(off);
    rig.run(0.0f);
    EXPECT_EQ(rig.probe->notes, (std::vector<std::pair<int, int>>{{37, 0x90}, {block - 1, 0x80}}));
}

/** No sample leaves the master above the ceiling, from the first one of a sudden peak on, and
    a block holding NaN or infinity leaves silent without poisoning the limiter: the next
    blocks are limited as before. */
TEST(PluginOutput, TheMasterLimiterIsABrickWallAndShrugsOffNonFiniteBlocks)
{
    LimiterNode limiter;
    limiter.prepareToPlay(rate, block);
    const float ceiling = juce::Decibels::decibelsToGain(LimiterNode::ceilingDecibels);
    juce::MidiBuffer midi;

    // Quiet material only takes the make-up gain that lifts the ceiling to full scale.
    const float makeUp = std::pow(10.0f, 7.5f / 40.0f) *
                         juce::Decibels::decibelsToGain(-LimiterNode::ceilingDecibels);
    auto quiet = constant(0.1f);
    limiter.processBlock(quiet, midi);
    EXPECT_NEAR(quiet.getSample(0, block - 1), 0.1f * makeUp, 1e-3);

    float worst = 0.0f;
    for (int i = 0; i < 40; ++i)
    {
        juce::AudioBuffer<float> loud(2, block);
        for (int s = 0; s < block; ++s)
            for (int ch = 0; ch < 2; ++ch)
                loud.setSample(ch, s, 3.0f * (float)std::sin(0.07 * (i * block + s)));
        limiter.processBlock(loud, midi);
        worst = std::max(worst, loud.getMagnitude(0, block));
    }
    EXPECT_LE(worst, ceiling);
    EXPECT_GT(worst, 0.9f * ceiling);

    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    {
        auto poisoned = constant(0.2f);
        poisoned.setSample(1, 64, bad);
        limiter.processBlock(poisoned, midi);
        EXPECT_EQ(poisoned.getMagnitude(0, block), 0.0f);
        EXPECT_EQ(poisoned.getMagnitude(1, 0, block), 0.0f);
    }
    EXPECT_EQ(limiter.takeSilencedBlocks(), 2);

    float after = 0.0f;
    for (int i = 0; i < 20; ++i)
    {
        auto next = constant(0.1f);
        limiter.processBlock(next, midi);
        ASSERT_TRUE(std::isfinite(next.getSample(0, 0)));
        after = next.getSample(0, block - 1);
    }
    EXPECT_NEAR(after, 0.1f * makeUp, 2e-3);
}

/** An effect whose output is not a number, on layer A: layer A falls silent and says so, the
    master stays finite, and layer B plays on at the level it had. */
TEST(PluginOutput, APlugInGoneWrongSilencesOnlyItsLayerAndTheLayerSaysSo)
{
    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.soundBankPath = AudioEngine::resolveSoundBank();
    AudioEngine engine(scheduler, options);
    test::HeldPlugins plugins;
    plugins.use(engine);
    auto& a = engine.layerA();
    auto& b = engine.layerB();
    b.isEnabled = true;
    a.lowKey = 0, a.highKey = 59; // A plays the low note, B the high one
    b.lowKey = 60, b.highKey = 127;
    b.attackTime = 0.0, b.reverbAmount = 0.0;
    test::settleChanges(engine);

    const auto level = [&](double seconds)
    {
        juce::AudioBuffer<float> out(2, (int)(seconds * engine.host().sampleRate()));
        for (int at = 0; at + 128 <= out.getNumSamples(); at += 128)
        {
            engine.host().render(out, at, 128);
            engine.collect();
        }
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < out.getNumSamples(); ++i)
                if (!std::isfinite(out.getSample(ch, i)))
                    return -1.0f;
        return out.getRMSLevel(0, out.getNumSamples() / 2, out.getNumSamples() / 2);
    };
    engine.noteOn(72, 100); // layer B
    const float before = level(0.4);
    ASSERT_GT(before, 1e-3f);

    engine.loadEffectPlugin(test::HeldPlugins::ref("Gain"),
                            test::fakeState(std::numeric_limits<float>::quiet_NaN()), a);
    test::drainMessages();
    plugins.deliverAll();
    test::settleChanges(engine);
    ASSERT_NE(a.effectNode(), nullptr);
    engine.noteOn(48, 100); // layer A, through the broken effect
    const float after = level(0.4);
    EXPECT_GE(after, 0.0f) << "a non-finite sample reached the output";
    EXPECT_LT(after, before);        // A adds nothing; B's note decays
    EXPECT_GT(after, 0.2f * before); // and plays on
    EXPECT_GT(a.silencedPluginBlocks.get(), 0);
    EXPECT_EQ(b.silencedPluginBlocks.get(), 0);
}

} // namespace norvane
