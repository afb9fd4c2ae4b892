#pragma once

#include "engine/AudioProbe.h"
#include "engine/NodeProcessor.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace norvane
{

/** The metronome's voice, and its clock: the audio side places every click itself, from the
    tempo, the signature and the moment of the start, on the samples it renders. Nothing the
    message thread does (drawing, saving, scanning) can delay, drop or bunch a click, and the
    beat keeps its tempo at whatever rate the device runs.

    Each click's place is kept as an exact sample position (a fraction carried from beat to
    beat), so a long run does not drift; a click sounds from the whole sample its beat falls
    in. A change of tempo or signature takes effect from the next click placed: the beat
    already due keeps its place, the one after it follows the new tempo.

    The settings are atomics any thread may write; processBlock runs on the audio thread and
    neither allocates nor waits. prepareToPlay builds the three clicks at the device's rate
    (the device's thread, before it plays, or the message thread while nothing renders).
*/
class ClickTrack final : public NodeProcessor
{
public:
    enum class Click : std::uint8_t
    {
        accent,
        group,
        tick
    };

    ClickTrack() : NodeProcessor("Metronome", Inputs::none) {}

    static constexpr double accentFrequency = 1568.0, groupFrequency = 1245.0,
                            tickFrequency = 1046.0;
    static constexpr int maxVoices = 8;

    /** Any thread: starts a bar `delaySeconds` after the start of the next block. */
    void start(double delaySeconds) noexcept;
    /** Any thread: silences what sounds from the next block on and places no more clicks. */
    void stop() noexcept;
    /** Any thread. Quarter notes per minute (positive). */
    void setTempo(double bpm) noexcept;
    /** Any thread. `beats` clicks per bar, each a `unit` note long. */
    void setSignature(int beats, int unit) noexcept;
    /** Any thread. Linear gain 0…1. */
    void setVolume(float v) noexcept { volume.store(juce::jlimit(0.0f, 1.0f, v)); }
    float getVolume() const noexcept { return volume.load(); }

    /** Any thread: how many clicks have been placed since the start. */
    std::int64_t beatsPlaced() const noexcept { return placed.load(); }
    /** Any thread: where the next click falls, in samples since the start. */
    std::int64_t nextBeatSample() const noexcept { return nextBeatPublished.load(); }
    /** Any thread: the rate the clicks were last built for. */
    double builtRate() const noexcept { return rate.load(); }

    /** Before playing: hands `probe` every block this track renders (nullptr: nobody). */
    void setOutputProbe(SignalProbe* probe) noexcept { outputProbe.store(probe); }

    /** The click at a position in the bar (0 = the first beat). Compound metres (6/8, 9/8,
        12/8) mark the first beat of each group of three. */
    static Click clickAt(int position, int beats, int unit) noexcept;
    /** 45 ms of a sine at `frequency`: a 2 ms rise, an exponential fall with a 12 ms time
        constant, a peak of 0.5. */
    static std::vector<float> clickWave(double frequency, double sampleRate);

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

private:
    struct Voice
    {
        const std::vector<float>* wave = nullptr;
        int position = 0; // samples of the wave played
        bool active = false;
    };

    void place(int offset, Click click) noexcept;
    void render(juce::AudioBuffer<float>& out, int from, int to) noexcept;

    // Written anywhere, read at the start of each block.
    std::atomic<bool> running{false};
    std::atomic<std::uint32_t> starts{0};
    std::atomic<double> startDelay{0.0};
    std::atomic<double> tempo{100.0};
    std::atomic<int> barBeats{4}, beatUnit{4};
    std::atomic<float> volume{1.0f};
    std::atomic<SignalProbe*> outputProbe{nullptr};

    // Reported by the audio side.
    std::atomic<std::int64_t> placed{0}, nextBeatPublished{0};
    std::atomic<double> rate{0.0};

    // Audio side.
    std::array<std::vector<float>, 3> waves; // accent, group, tick; built in prepareToPlay
    std::array<Voice, maxVoices> voices{};
    std::uint32_t startsSeen = 0;
    bool playing = false;
    double nextBeat = 0.0;    // the next click's exact position, in samples since the start
    std::int64_t elapsed = 0; // samples rendered since the start
    std::int64_t beatIndex = 0;
};

} // namespace norvane
