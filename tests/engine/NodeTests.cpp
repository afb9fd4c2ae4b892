#include "engine/AudioHost.h"
#include "engine/PlayerNode.h"
#include "engine/TapNode.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{

std::shared_ptr<juce::AudioBuffer<float>> click(int length, float level)
{
    auto b = std::make_shared<juce::AudioBuffer<float>>(1, length);
    for (int i = 0; i < length; ++i)
        b->setSample(0, i, level);
    return b;
}

/** Sample positions where the left channel rises from silence. */
std::vector<int> onsets(const juce::AudioBuffer<float>& audio)
{
    std::vector<int> list;
    float previous = 0.0f;
    for (int i = 0; i < audio.getNumSamples(); ++i)
    {
        const float s = audio.getSample(0, i);
        if (previous == 0.0f && s != 0.0f)
            list.push_back(i);
        previous = s;
    }
    return list;
}

struct PlayerRig
{
    PlayerRig()
    {
        auto [id, p] = host.attachNode(std::make_unique<PlayerNode>());
        playerID = id;
        player = p;
        host.connect(playerID, host.mainMixer());
    }

    juce::AudioBuffer<float> render(int samples, int blockSize = 100)
    {
        juce::AudioBuffer<float> out(2, samples);
        for (int pos = 0; pos < samples; pos += blockSize)
            host.render(out, pos, std::min(blockSize, samples - pos));
        return out;
    }

    AudioHost host{48000.0, 100}; // renders below come in whole blocks
    AudioHost::NodeID playerID;
    PlayerNode* player = nullptr;
};

} // namespace

TEST(PlayerNode, BuffersStartOnTheirSampleAcrossBlockBoundaries)
{
    PlayerRig rig;
    rig.player->play();
    for (std::int64_t at : {10, 150, 199, 200, 777})
        ASSERT_TRUE(rig.player->schedule(click(5, 0.5f), at));

    const auto out = rig.render(1000, 100);
    EXPECT_EQ(onsets(out), (std::vector<int>{10, 150, 199, 777}));
    EXPECT_FLOAT_EQ(out.getSample(0, 200), 1.0f); // two buffers overlap and add up
    EXPECT_FLOAT_EQ(out.getSample(1, 12), 0.5f);  // a mono buffer fills both channels
    EXPECT_EQ(rig.player->sampleTime(), 1000);

    rig.player->releaseFinished();
    EXPECT_EQ(rig.player->buffersInFlight(), 0);
}

TEST(PlayerNode, NowInterruptVolumeAndStop)
{
    PlayerRig rig;
    // Scheduled before play(): waits for the timeline to start.
    rig.player->schedule(click(300, 0.25f));
    auto silent = rig.render(200);
    EXPECT_EQ(silent.getMagnitude(0, 0, 200), 0.0f);

    rig.player->play();
    rig.player->setVolume(0.5f);
    auto out = rig.render(100);
    EXPECT_FLOAT_EQ(out.getSample(0, 0), 0.125f);

    // Interrupting cuts the long buffer off and plays the new one at once.
    rig.player->schedule(click(10, 0.8f), std::nullopt, true);
    out = rig.render(100);
    EXPECT_FLOAT_EQ(out.getSample(0, 0), 0.4f);
    EXPECT_EQ(out.getSample(0, 10), 0.0f);

    rig.player->schedule(click(10, 0.8f), rig.player->sampleTime() + 5000);
    rig.player->stop();
    out = rig.render(200);
    EXPECT_EQ(rig.player->sampleTime(), 0);
    rig.player->play();
    out = rig.render(6000);
    EXPECT_EQ(out.getMagnitude(0, 0, 6000), 0.0f); // stop dropped what was waiting
    rig.player->releaseFinished();
    EXPECT_EQ(rig.player->buffersInFlight(), 0);
}

TEST(PlayerNode, MoreBuffersThanVoicesAreDroppedAndReleased)
{
    PlayerRig rig;
    rig.player->play();
    for (int i = 0; i < PlayerNode::maxVoices + 8; ++i)
        rig.player->schedule(click(50, 0.01f), 20);
    rig.render(200);
    rig.player->releaseFinished();
    EXPECT_EQ(rig.player->buffersInFlight(), 0);
}

TEST(TapAndMixer, TapsMeasurePeaksAndMixersRampToTheirVolume)
{
    AudioHost host(48000.0, 256);
    auto [playerID, player] = host.attachNode(std::make_unique<PlayerNode>());
    auto [tapID, tap] = host.attachNode(std::make_unique<TapNode>());
    ASSERT_TRUE(host.connect(playerID, tapID));
    ASSERT_TRUE(host.connect(tapID, host.mainMixer()));
    EXPECT_TRUE(host.isConnected(playerID, tapID));

    player->play();
    auto level = std::make_shared<juce::AudioBuffer<float>>(2, 48000);
    for (int i = 0; i < level->getNumSamples(); ++i)
    {
        level->setSample(0, i, 0.5f);
        level->setSample(1, i, -0.25f);
    }
    player->schedule(level);

    host.mainMixerNode().setOutputVolume(0.5f);
    juce::AudioBuffer<float> out(2, 1024);
    host.render(out, 0, 256);
    // The first block ramps from 1 to 0.5; later blocks hold 0.5.
    EXPECT_NEAR(out.getSample(0, 0), 0.5f, 1e-6);
    EXPECT_NEAR(out.getSample(0, 255), 0.25f, 0.01f);
    host.render(out, 256, 256);
    EXPECT_FLOAT_EQ(out.getSample(0, 300), 0.25f);
    EXPECT_FLOAT_EQ(out.getSample(1, 300), -0.125f);

    const auto peaks = tap->takePeaks();
    EXPECT_FLOAT_EQ(peaks.left, 0.5f);
    EXPECT_FLOAT_EQ(peaks.right, 0.25f);
    const auto cleared = tap->takePeaks();
    EXPECT_EQ(cleared.left, 0.0f);

    host.disconnectOutput(tapID);
    EXPECT_FALSE(host.isConnected(tapID, host.mainMixer()));
    host.render(out, 512, 256);
    EXPECT_EQ(out.getMagnitude(0, 512, 256), 0.0f);
    EXPECT_GT(tap->takePeaks().left, 0.0f); // still measured, no longer heard

    host.detach(tapID);
    EXPECT_FALSE(host.isConnected(playerID, tapID));
}

} // namespace norvane::test
