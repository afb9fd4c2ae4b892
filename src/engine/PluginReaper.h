#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <chrono>
#include <memory>
#include <vector>

namespace norvane
{

/** Frees the plug-ins the audio side has let go of, at a moment when they cannot race work of
    their own.

    An LV2 plug-in hands slow jobs (loading a drum kit, a sample set) to JUCE's worker thread,
    which runs them on the plug-in's instance; JUCE frees an instance without waiting for a job
    already under way, and the plug-in's cleanup then pulls the memory from under it. So an LV2
    plug-in that has run is kept, untouched, until it has had `settle` to finish such jobs, and
    only then deactivated and freed. One that never ran has started no job and goes at once, as
    does any other kind of plug-in (a VST3 one joins its own threads).

    Message thread only; JUCE frees VST3 plug-ins on the message thread whatever thread asks.
*/
class PluginReaper
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration defaultSettle = std::chrono::milliseconds(1500);

    explicit PluginReaper(Clock::duration settle = defaultSettle) : settle(settle) {}
    /** Waits for what is still settling, then frees everything. */
    ~PluginReaper();

    PluginReaper(const PluginReaper&) = delete;
    PluginReaper& operator=(const PluginReaper&) = delete;

    /** Takes a plug-in no thread runs any more; `hasRun` when it ever had a block. */
    void take(std::unique_ptr<juce::AudioPluginInstance> instance, bool hasRun);

    /** Frees the plug-ins whose settling time is over. */
    void freeSettled();

    /** How many plug-ins are waiting to be freed. */
    size_t settling() const { return waiting.size(); }

private:
    struct Waiting
    {
        Clock::time_point freeAt;
        std::unique_ptr<juce::AudioPluginInstance> instance;
    };
    static void free(std::unique_ptr<juce::AudioPluginInstance> instance);

    const Clock::duration settle;
    std::vector<Waiting> waiting; // in the order they came, so in the order of their times
};

} // namespace norvane
