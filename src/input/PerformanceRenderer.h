#pragma once

#include "input/MidiFileReader.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>

namespace norvane
{

class AudioEngine;
class MIDIManager;
class ManualScheduler;

/** Plays a performance through the MIDI manager's byte path into the engine and renders it
    offline: every message is handled at the block boundary after its own sample, and the
    scheduler's clock follows the rendered time, so envelopes and other timers behave as they
    would live. What the audio side reports is taken in after every block; a change of set-up
    it starts (a Program Change) is loaded before the render goes on.

    The calling thread plays both the message thread and the audio thread.
*/
class PerformanceRenderer
{
public:
    struct Hooks
    {
        /** Called right before and after each block the graph renders. */
        std::function<void()> beforeBlock, afterBlock;
        /** Called between blocks, at the rendered time in seconds, after due messages. */
        std::function<void(double)> atTime;
    };

    PerformanceRenderer(AudioEngine& engine, MIDIManager& midi, ManualScheduler& scheduler);

    /** Renders the messages and `tailSeconds` after the last one, as stereo. */
    juce::AudioBuffer<float> render(const std::vector<TimedMessage>& messages, double tailSeconds,
                                    const Hooks& hooks = {});

    /** The longest stretch rendered in one piece; timers are at most this late. */
    static constexpr int maxChunk = 128;

private:
    AudioEngine& engine;
    MIDIManager& midi;
    ManualScheduler& scheduler;
};

} // namespace norvane
