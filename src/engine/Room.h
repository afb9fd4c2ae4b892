#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <vector>

namespace norvane
{

/** A stereo room of the Freeverb design: eight damped combs in parallel, then four allpasses in
    series, on each side, the right side's lines a little longer than the left's. Its tunings,
    gains and settings are juce::Reverb's, so the two sound alike, but it runs block by block:
    every line works through the block in stretches that need no wrap, and the settings glide
    from block to block rather than sample by sample.

    prepare() allocates and belongs to the message thread; the rest is for the audio thread and
    neither allocates nor blocks. Freeze mode is not offered.
*/
class Room
{
public:
    void prepare(double sampleRate, int maximumBlockSize);

    /** The room size, damping, wet level and width of `settings` (its dry level is not the
        room's business). With `glide` the room moves there over 10 ms; without, at once. */
    void setSettings(const juce::Reverb::Parameters& settings, bool glide) noexcept;

    /** Empties the room and ends any glide. */
    void clear() noexcept;

    /** Writes the room's answer to `feed` (the sum of the two channels) into `left` and
        `right`. `numSamples` is at most the prepared block size. */
    void render(const float* feed, float* left, float* right, int numSamples) noexcept;

private:
    struct Line
    {
        float* data = nullptr;
        int size = 1;
        int index = 0;
        float last = 0.0f; // combs only: the damping filter's memory
    };

    static constexpr int combsPerSide = 8, allPassesPerSide = 4;

    static void runCombs(Line* combs, const float* feed, float* out, int n, bool add, float damp,
                         float feedback) noexcept;
    static void runAllPass(Line& line, float* signal, int n) noexcept;

    std::vector<float> storage;
    std::array<std::array<Line, combsPerSide>, 2> combs;
    std::array<std::array<Line, allPassesPerSide>, 2> allPasses;
    std::vector<float> scaledFeed;
    juce::LinearSmoothedValue<float> damping, feedback, wetSame, wetCross;
};

} // namespace norvane
