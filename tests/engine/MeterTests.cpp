#include "core/Scheduler.h"
#include "engine/LevelMeterBank.h"
#include "engine/TapNode.h"

#include <gtest/gtest.h>

namespace norvane::test
{

class MeterTest : public ::testing::Test
{
protected:
    MeterTest() { meters.startPublishing(); }

    /** The next frame, after `peaks` were measured. */
    void frame(std::initializer_list<std::pair<const char*, float>> peaks = {})
    {
        for (auto& [key, value] : peaks)
            meters.peak(key, value);
        clock.advance(LevelMeterBank::frameInterval);
    }

    float level(const std::string& key) const
    {
        auto found = meters.levels->find(key);
        return found == meters.levels->end() ? -1.0f : found->second;
    }

    ManualScheduler clock;
    LevelMeterBank meters{clock};
};

TEST_F(MeterTest, InstantRiseThenAFallOfEighteenPercentPerFrame)
{
    int changes = 0;
    auto watch = meters.levels.observe([&](const auto&) { ++changes; });

    frame({{"A", 1.0f}});
    EXPECT_FLOAT_EQ(level("A"), 1.0f);
    frame({{"A", 0.3f}, {"A", 1.0f}, {"A", 0.2f}}); // the running maximum counts
    EXPECT_FLOAT_EQ(level("A"), 1.0f);

    for (float expected : {0.82f, 0.6724f, 0.551368f})
    {
        frame();
        EXPECT_NEAR(level("A"), expected, 1e-6);
    }

    // A peak below the decayed level loses to the decay.
    meters.peak("B", 0.7f);
    frame();
    frame({{"B", 0.5f}});
    EXPECT_NEAR(level("B"), 0.574f, 1e-6);

    // The fall ends at 0, not at a residue just above.
    for (int i = 0; i < 60; ++i)
        frame();
    EXPECT_EQ(level("A"), 0.0f);
    EXPECT_EQ(level("B"), 0.0f);
    EXPECT_GT(changes, 10);
}

TEST_F(MeterTest, SmallChangesAndSilenceAreNotPublished)
{
    frame({{"A", 0.5f}});
    int changes = 0;
    auto watch = meters.levels.observe([&](const auto&) { ++changes; });
    frame({{"A", 0.5005f}});
    EXPECT_FLOAT_EQ(level("A"), 0.5f);

    frame({{"Drone", 0.0f}, {"C", 0.0005f}});
    EXPECT_EQ(level("Drone"), -1.0f); // never delivered sound: never listed
    EXPECT_EQ(level("C"), -1.0f);

    // One change notification per frame at most, however many keys move.
    changes = 0;
    frame({{"A", 0.9f}, {"B", 0.4f}, {"D", 0.8f}});
    EXPECT_EQ(changes, 1);
}

TEST_F(MeterTest, ClipLightsAtNinetyNinePercentAndHoldsForOneAndAHalfSeconds)
{
    frame({{"master", 0.989f}});
    EXPECT_FALSE(meters.masterClipped.get());
    frame({{"master", 0.99f}});
    EXPECT_TRUE(meters.masterClipped.get());

    clock.advance(1.0);
    frame({{"master", 1.0f}});
    clock.advance(1.4);
    EXPECT_TRUE(meters.masterClipped.get());
    clock.advance(0.15);
    EXPECT_FALSE(meters.masterClipped.get());

    frame({{"A", 1.0f}}); // a layer at full scale lights nothing
    EXPECT_FALSE(meters.masterClipped.get());
}

TEST_F(MeterTest, TapsFeedTheirKeysAndPublishingStartsOnce)
{
    meters.startPublishing();
    EXPECT_EQ(clock.pendingCount(), 1);

    TapNode tap;
    tap.prepareToPlay(48000.0, 64);
    juce::AudioBuffer<float> block(2, 64);
    block.clear();
    block.setSample(1, 10, -0.75f);
    juce::MidiBuffer midi;
    tap.processBlock(block, midi);
    meters.install(tap, "C");
    frame();
    EXPECT_FLOAT_EQ(level("C"), 0.75f);
}

} // namespace norvane::test
