#pragma once

#include "core/SpscFifo.h"
#include "engine/AudioProbe.h"
#include "engine/NodeProcessor.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

namespace norvane
{

/** Plays scheduled one-shot buffers: at once, or at a sample time on the player's own
    timeline, optionally interrupting whatever plays.

    The player's timeline counts the samples rendered since play(); stop() silences everything,
    forgets what was scheduled and sets the timeline back to 0. Buffers are kept alive on the
    message thread until the audio thread reports them finished, so the audio thread never
    frees memory.
*/
class PlayerNode final : public NodeProcessor
{
public:
    using Buffer = std::shared_ptr<const juce::AudioBuffer<float>>;

    explicit PlayerNode(const juce::String& name = "Player") : NodeProcessor(name, Inputs::none) {}

    /** Message thread. Plays `buffer` at player sample time `atSample`, or as soon as possible
        when none is given. With `interrupt`, everything playing or waiting stops first.
        Returns false when the buffer could not be queued. */
    bool schedule(Buffer buffer, std::optional<std::int64_t> atSample = std::nullopt,
                  bool interrupt = false);

    /** Message thread. Starts the timeline; buffers already scheduled begin when due. */
    void play();

    /** Message thread. Stops, drops what was scheduled, and rewinds the timeline to 0. */
    void stop();

    /** Any thread. */
    bool isPlaying() const noexcept { return playing.load(); }

    /** Any thread: the player's sample time at the start of the next block. */
    std::int64_t sampleTime() const noexcept { return timeline.load(); }

    /** Any thread. Linear gain 0…1. */
    void setVolume(float v) noexcept { volume.store(juce::jlimit(0.0f, 1.0f, v)); }
    float getVolume() const noexcept { return volume.load(); }

    /** Message thread: releases buffers that have finished playing. Also done by schedule(). */
    void releaseFinished();

    /** Message thread: how many scheduled buffers have not finished yet. */
    int buffersInFlight() const { return (int)inFlight.size(); }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

    /** Before playing: hands `probe` every block this player renders (nullptr: nobody). */
    void setOutputProbe(SignalProbe* probe) noexcept { outputProbe.store(probe); }

    static constexpr int maxVoices = 32;

private:
    struct Command
    {
        enum class Kind : std::uint8_t
        {
            schedule,
            stop
        };
        Kind kind = Kind::schedule;
        std::uint32_t id = 0;
        const juce::AudioBuffer<float>* buffer = nullptr;
        std::int64_t atSample = -1; // -1 = now
        bool interrupt = false;
    };

    struct Voice
    {
        std::uint32_t id = 0;
        const juce::AudioBuffer<float>* buffer = nullptr;
        std::int64_t startSample = 0;
        int position = 0;
        bool active = false;
    };

    void finish(Voice& voice) noexcept;
    void finishAll() noexcept;

    SpscFifo<Command, 256> commands;
    SpscFifo<std::uint32_t, 512> finished;
    std::array<Voice, maxVoices> voices{}; // audio thread
    std::atomic<bool> playing{false};
    std::atomic<std::int64_t> timeline{0};
    std::atomic<float> volume{1.0f};
    std::atomic<SignalProbe*> outputProbe{nullptr};

    std::map<std::uint32_t, Buffer> inFlight; // message thread
    std::uint32_t nextID = 1;
};

} // namespace norvane
