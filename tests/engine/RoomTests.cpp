#include "engine/Room.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace norvane::test
{

namespace
{

constexpr double rate = 48000.0;

juce::Reverb::Parameters hall()
{
    juce::Reverb::Parameters p;
    p.roomSize = 0.8f;
    p.damping = 0.45f;
    p.wetLevel = 0.3f;
    p.dryLevel = 0.0f;
    p.width = 0.7f;
    return p;
}

/** Noise bursts with silences between them, the same on every call. */
juce::AudioBuffer<float> bursts(int samples)
{
    juce::AudioBuffer<float> b(2, samples);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int i = 0; i < samples; ++i)
    {
        const bool on = (i / 3000) % 3 == 0;
        b.setSample(0, i, on ? noise(random) : 0.0f);
        b.setSample(1, i, on ? noise(random) : 0.0f);
    }
    return b;
}

/** The room's answer to `input`, rendered in blocks of `block` samples. */
juce::AudioBuffer<float> throughRoom(Room& room, const juce::AudioBuffer<float>& input, int block)
{
    const int n = input.getNumSamples();
    juce::AudioBuffer<float> out(2, n);
    std::vector<float> feed((size_t)block);
    for (int start = 0; start < n; start += block)
    {
        const int m = std::min(block, n - start);
        for (int i = 0; i < m; ++i)
            feed[(size_t)i] = input.getSample(0, start + i) + input.getSample(1, start + i);
        room.render(feed.data(), out.getWritePointer(0, start), out.getWritePointer(1, start), m);
    }
    return out;
}

float largestDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    float worst = 0.0f;
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            worst = std::max(worst, std::abs(a.getSample(ch, i) - b.getSample(ch, i)));
    return worst;
}

} // namespace

TEST(Room, SoundsLikeJuceReverbWhateverTheBlockSize)
{
    const auto input = bursts(3 * 48000); // long enough for every line to wrap many times

    juce::Reverb reference;
    reference.setParameters(hall());
    reference.setSampleRate(rate); // settles the settings without a glide
    auto expected = input;
    juce::ScopedNoDenormals noDenormals;
    reference.processStereo(expected.getWritePointer(0), expected.getWritePointer(1),
                            expected.getNumSamples());
    ASSERT_GT(expected.getMagnitude(0, 0, expected.getNumSamples()), 0.05f);

    for (int block : {128, 37, 1024})
    {
        SCOPED_TRACE(block);
        Room room;
        room.prepare(rate, block);
        room.setSettings(hall(), false);
        const auto out = throughRoom(room, input, block);
        EXPECT_LT(largestDifference(out, expected), 1.0e-4f);
    }
}

TEST(Room, GlidesToNewSettingsAndEmptiesOnClear)
{
    const auto input = bursts(48000);
    Room room;
    room.prepare(rate, 128);
    auto quiet = hall();
    quiet.wetLevel = 0.0f;
    room.setSettings(quiet, false);
    auto out = throughRoom(room, input, 128);
    EXPECT_EQ(out.getMagnitude(0, 0, out.getNumSamples()), 0.0f); // no wet level, no sound

    // Opened, it rises over 10 ms rather than at once.
    room.setSettings(hall(), true);
    out = throughRoom(room, input, 128);
    const float first = out.getMagnitude(0, 0, 48);
    const float later = out.getMagnitude(0, 480, 960);
    EXPECT_GT(later, 0.01f);
    EXPECT_LT(first, 0.2f * later);

    room.clear();
    juce::AudioBuffer<float> silence(2, 48000);
    silence.clear();
    out = throughRoom(room, silence, 128);
    EXPECT_EQ(out.getMagnitude(0, 0, out.getNumSamples()), 0.0f);
}

} // namespace norvane::test
