#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace norvane
{

/** Diagnostics for measuring tools: told on the audio thread, as it happens, what an
    instrument starts or what a voice renders. Implementations must not allocate, lock or wait.
    A probe is installed before playing starts and outlives the playing. */
struct NoteStartProbe
{
    virtual ~NoteStartProbe() = default;
    /** Audio thread: an instrument has just started `pitch`; it sounds from `frame` of this
        block on (on the synthesizer's own step at or after it). */
    virtual void noteStarted(int pitch, int velocity, int frame) noexcept = 0;
};

struct NoteCommand;

struct NoteCommandProbe
{
    virtual ~NoteCommandProbe() = default;
    /** Audio thread: a layer has just sent `command` to the instrument of its chain `chain`. */
    virtual void commandSent(int chain, const NoteCommand& command) noexcept = 0;
};

struct SignalProbe
{
    virtual ~SignalProbe() = default;
    /** Audio thread: the first `numSamples` samples of `block` are what the voice rendered. */
    virtual void rendered(const juce::AudioBuffer<float>& block, int numSamples) noexcept = 0;
};

} // namespace norvane
