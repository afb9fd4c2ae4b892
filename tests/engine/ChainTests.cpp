#include "engine/CompressorNode.h"
#include "engine/EqualizerNode.h"
#include "engine/LimiterNode.h"
#include "engine/PlayerNode.h"
#include "engine/ReverbNode.h"
#include "support/EngineFixture.h"

#include <cmath>
#include <functional>
#include <limits>

namespace norvane::test
{

namespace
{

constexpr double rate = 48000.0;

std::shared_ptr<juce::AudioBuffer<float>> sine(double hz, float level, int samples)
{
    auto b = std::make_shared<juce::AudioBuffer<float>>(2, samples);
    for (int i = 0; i < samples; ++i)
    {
        const auto s =
            (float)(level * std::sin(2.0 * juce::MathConstants<double>::pi * hz * i / rate));
        b->setSample(0, i, s);
        b->setSample(1, i, s);
    }
    return b;
}

double rms(const juce::AudioBuffer<float>& b, int from, int to)
{
    double sum = 0;
    for (int i = from; i < to; ++i)
        sum += (double)b.getSample(0, i) * b.getSample(0, i);
    return std::sqrt(sum / (to - from));
}

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

/** A player feeding one effect node into the main mixer. */
template <typename Node> struct EffectRig
{
    EffectRig()
    {
        auto [pID, p] = host.attachNode(std::make_unique<PlayerNode>());
        auto [nID, n] = host.attachNode(std::make_unique<Node>());
        player = p;
        node = n;
        host.connect(pID, nID);
        host.connect(nID, host.mainMixer());
        player->play();
    }

    juce::AudioBuffer<float> play(std::shared_ptr<juce::AudioBuffer<float>> input)
    {
        player->schedule(input, player->sampleTime());
        juce::AudioBuffer<float> out(2, input->getNumSamples());
        host.render(out, 0, out.getNumSamples());
        return out;
    }

    AudioHost host{rate, 128};
    PlayerNode* player = nullptr;
    Node* node = nullptr;
};

} // namespace

TEST(Chain, EqualiserGainsLandInTheirBands)
{
    const struct
    {
        EqualizerNode::Band band;
        double inBand, outOfBand;
    } cases[] = {{EqualizerNode::low, 60.0, 3000.0},
                 {EqualizerNode::mid, 1200.0, 100.0},
                 {EqualizerNode::high, 12000.0, 300.0}};

    for (const auto& c : cases)
    {
        for (float gain : {6.0f, -9.0f})
        {
            EffectRig<EqualizerNode> rig;
            rig.node->setGain(c.band, gain);
            const auto in = rig.play(sine(c.inBand, 0.25f, 24000));
            const auto out = rig.play(sine(c.outOfBand, 0.25f, 24000));
            const double reference = 0.25 / std::sqrt(2.0);
            EXPECT_NEAR(db(rms(in, 4800, 24000) / reference), gain, 1.5)
                << "band " << c.band << " at " << c.inBand << " Hz";
            EXPECT_NEAR(db(rms(out, 4800, 24000) / reference), 0.0, 1.5)
                << "band " << c.band << " at " << c.outOfBand << " Hz";
        }
    }

    // Flat bands pass the signal bit for bit.
    EffectRig<EqualizerNode> flat;
    auto input = sine(440.0, 0.5f, 4800);
    const auto out = flat.play(input);
    for (int i = 0; i < 4800; i += 97)
        ASSERT_EQ(out.getSample(0, i), input->getSample(0, i));
}

namespace
{
/** A continuous 100 Hz sine through the node, block by block, with `change` called before
    block `at`; returns the left channel. */
std::vector<float> throughEqualizer(EqualizerNode& eq, int at, const std::function<void()>& change)
{
    eq.prepareToPlay(rate, 128);
    std::vector<float> out;
    juce::AudioBuffer<float> block(2, 128);
    juce::MidiBuffer midi;
    for (int b = 0; b < 200; ++b)
    {
        if (b == at)
            change();
        for (int i = 0; i < 128; ++i)
        {
            const auto t = (double)(b * 128 + i) / rate;
            const auto v = (float)(0.25 * std::sin(2.0 * juce::MathConstants<double>::pi * 100.0 * t));
            block.setSample(0, i, v);
            block.setSample(1, i, v);
        }
        eq.processBlock(block, midi);
        out.insert(out.end(), block.getReadPointer(0), block.getReadPointer(0) + 128);
    }
    return out;
}

/** The largest second difference from `from` on: a click shows as a spike of it. */
double roughness(const std::vector<float>& x, size_t from, size_t to)
{
    double worst = 0.0;
    for (size_t i = std::max<size_t>(from, 2); i < std::min(to, x.size()); ++i)
        worst = std::max(worst, (double)std::abs(x[i] - 2.0f * x[i - 1] + x[i - 2]));
    return worst;
}
} // namespace

TEST(Equalizer, GainMovesGlideWithoutAClick)
{
    // A steady sine's second difference is tiny; a step of the coefficients, or a band's
    // state wiped as it reaches 0 dB, makes it jump.
    for (const auto& [from, to] : {std::pair{0.0f, 18.0f}, {18.0f, 0.0f}, {-18.0f, 12.0f}})
    {
        EqualizerNode eq;
        eq.setGain(EqualizerNode::low, from);
        const auto out = throughEqualizer(eq, 100, [&] { eq.setGain(EqualizerNode::low, to); });
        const double steady = roughness(out, 128 * 50, 128 * 100);
        const double moving = roughness(out, 128 * 100, 128 * 120);
        EXPECT_LT(moving, 4.0 * std::max(steady, roughness(out, 128 * 150, 128 * 200)))
            << from << " dB to " << to << " dB";
        // And it gets there: the last blocks are at the new gain.
        EqualizerNode settled;
        settled.setGain(EqualizerNode::low, to);
        const auto reference = throughEqualizer(settled, -1, [] {});
        EXPECT_NEAR(out.back(), reference.back(), 1e-4) << from << " dB to " << to << " dB";
    }
}

TEST(Equalizer, GainsOutOfRangeOrNotNumbersNeverReachTheFilter)
{
    EqualizerNode eq;
    eq.setGain(EqualizerNode::low, 1.0e30f);
    EXPECT_EQ(eq.getGain(EqualizerNode::low), EqualizerNode::maximumGain);
    eq.setGain(EqualizerNode::mid, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(eq.getGain(EqualizerNode::mid), -EqualizerNode::maximumGain);
    eq.setGain(EqualizerNode::high, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(eq.getGain(EqualizerNode::high), 0.0f);
    const auto out = throughEqualizer(eq, -1, [] {});
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v));

    // A sample that is not a number clears the band's memory: the next block is sound again.
    EqualizerNode poisoned;
    poisoned.setGain(EqualizerNode::low, 6.0f);
    poisoned.prepareToPlay(rate, 128);
    juce::AudioBuffer<float> block(2, 128);
    juce::MidiBuffer midi;
    block.clear();
    block.setSample(0, 5, std::numeric_limits<float>::quiet_NaN());
    poisoned.processBlock(block, midi);
    for (int i = 0; i < 128; ++i)
        block.setSample(0, i, 0.1f);
    poisoned.processBlock(block, midi);
    EXPECT_TRUE(std::isfinite(block.getSample(0, 127)));
    EXPECT_GT(block.getSample(0, 127), 0.05f);
}

TEST(Chain, CompressionNarrowsTheDynamicRange)
{
    // Loud bursts over a quiet bed.
    auto input = std::make_shared<juce::AudioBuffer<float>>(2, 48000);
    for (int i = 0; i < 48000; ++i)
    {
        const bool burst = (i / 4800) % 2 == 1;
        const auto s = (float)((burst ? 0.8 : 0.05) *
                               std::sin(2.0 * juce::MathConstants<double>::pi * 220.0 * i / rate));
        input->setSample(0, i, s);
        input->setSample(1, i, s);
    }
    // Loud against quiet, each measured after the compressor has settled.
    auto range = [](const juce::AudioBuffer<float>& b)
    { return db(rms(b, 4800 * 3 + 1200, 4800 * 4) / rms(b, 4800 * 4 + 2400, 4800 * 5)); };

    EffectRig<CompressorNode> none;
    none.node->setHeadRoom(40.0f); // amount 0
    const auto dry = none.play(input);
    EXPECT_EQ(dry.getSample(0, 12345), input->getSample(0, 12345)); // 1:1 is untouched

    EffectRig<CompressorNode> strong;
    strong.node->setHeadRoom(0.0f); // amount 1
    const auto squeezed = strong.play(input);
    EXPECT_NEAR(range(dry), 24.1, 0.5);
    EXPECT_LT(range(squeezed), range(dry) - 12.0);
    EXPECT_FLOAT_EQ(CompressorNode::ratioFor(20.0f), 6.5f);
}

TEST(Chain, ReverbAtZeroIsDryAndOtherwiseRings)
{
    auto click = std::make_shared<juce::AudioBuffer<float>>(2, 48000);
    click->clear();
    click->setSample(0, 100, 1.0f);
    click->setSample(1, 100, 1.0f);

    EffectRig<ReverbNode> dry;
    const auto out = dry.play(click);
    EXPECT_EQ(out.getSample(0, 100), 1.0f);
    EXPECT_EQ(out.getMagnitude(0, 101, 40000), 0.0f);

    EffectRig<ReverbNode> wet;
    wet.node->setParameter(ReverbNode::dryWetMix, 55.0f);
    wet.node->setParameter(ReverbNode::preDelay, 0.025f);
    const auto tail = wet.play(click);
    EXPECT_NEAR(tail.getSample(0, 100), 0.45f, 1e-4);                // the dry share, in time
    EXPECT_EQ(tail.getMagnitude(0, 101, (int)(0.024 * rate)), 0.0f); // nothing before the pre-delay
    EXPECT_GT(tail.getMagnitude(0, 12000, 12000), 0.0001f);          // still ringing later
}

TEST(Chain, LimiterKeepsTheMasterUnderFullScale)
{
    EffectRig<LimiterNode> rig;
    const auto out = rig.play(sine(200.0, 2.0f, 24000));
    EXPECT_LE(out.getMagnitude(0, 2400, 21600), 1.0f);
    EXPECT_GT(out.getMagnitude(0, 2400, 21600), 0.8f);
}

class LayerChainTest : public EngineFixture
{
protected:
    LayerChainTest() : EngineFixture(true) {}

    double renderedLevel(double seconds = 0.5)
    {
        juce::AudioBuffer<float> out(2, (int)(seconds * rate));
        engine->host().render(out, 0, out.getNumSamples());
        return rms(out, out.getNumSamples() / 4, out.getNumSamples());
    }
};

TEST_F(LayerChainTest, LayerSettingsReachTheNodesAndTheOutput)
{
    auto& a = engine->layerA();
    a.compressionAmount = 0.5;
    EXPECT_FLOAT_EQ(a.compressor().getHeadRoom(), 20.0f);
    EXPECT_FLOAT_EQ(a.compressor().getThreshold(), -24.0f);
    a.reverbAmount = 0.55;
    a.reverbDecay = 1.7;
    EXPECT_FLOAT_EQ(a.reverb().getParameter(ReverbNode::dryWetMix), 55.0f);
    EXPECT_FLOAT_EQ(a.reverb().getParameter(ReverbNode::largeSize), 0.15f);
    a.reverbDecay = -0.2;
    EXPECT_FLOAT_EQ(a.reverb().getParameter(ReverbNode::preDelay), 0.006f);
    a.eqMidGain = -3.9;
    EXPECT_FLOAT_EQ(a.eq().getGain(EqualizerNode::mid), -3.9f);
    a.reverbAmount = 0.0;

    // Layer B's and the drone's starting sound designs.
    EXPECT_DOUBLE_EQ(engine->layerB().reverbAmount.get(), 0.55);
    EXPECT_DOUBLE_EQ(engine->layerB().attackTime.get(), 1.8);
    settle(); // the envelope comes to rest on the audio side
    EXPECT_EQ(engine->layerB().envelopeMultiplier(), 0.0);
    EXPECT_DOUBLE_EQ(engine->dronePad().volume.get(), 0.5);
    EXPECT_FLOAT_EQ(engine->dronePad().eq().getGain(EqualizerNode::high), -7.0f);

    // Volume × envelope at the output: half the fader is 6 dB down.
    renderFor(0.05);
    engine->noteOn(60, 100);
    engine->noteOn(64, 100);
    const double full = renderedLevel();
    engine->panic();
    renderFor(1.0);
    a.volume = 0.425; // half of 0.85
    engine->noteOn(60, 100);
    engine->noteOn(64, 100);
    const double half = renderedLevel();
    EXPECT_GT(full, 0.001);
    EXPECT_NEAR(db(half / full), -6.0, 0.5);

    engine->masterVolume = 0.0;
    renderFor(0.05);
    EXPECT_EQ(renderedLevel(0.1), 0.0);
}

} // namespace norvane::test
