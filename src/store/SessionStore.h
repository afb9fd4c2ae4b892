#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"
#include "store/LivePatch.h"
#include "store/StoredFile.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvane
{

class MIDIManager;
class Metronome;

/** Everything that comes back after a restart: the sound set-up as a patch, the global
    transposition, the output (by name, with its buffer size and rate) and MIDI source (by
    name), the controller targets and the metronome. */
struct SessionState
{
    LivePatch patch;
    int transposeSemitones = 0;
    std::optional<std::string> audioOutputName, midiSourceName;
    std::optional<int> audioBufferSize;     ///< frames asked of the output
    std::optional<double> audioSampleRate; ///< Hz asked of it; 0 = the device's own
    std::optional<std::string> expressionTarget, modulationTarget, volumeTarget;
    std::optional<bool> sustainPedalInverted;
    std::optional<bool> echoToOutput; ///< "midiEchoToOutput"
    std::optional<double> metronomeBPM;
    std::optional<int> metronomeBeatsPerBar, metronomeUnit;
    std::optional<double> metronomeVolume;

    bool operator==(const SessionState&) const = default;

    std::string encode() const;
    static std::optional<SessionState> decode(const std::string& text);

    static constexpr const char* patchName = "__session__";
};

/** Saves the session to "Session.json" 1.5 s after the last of a burst of changes, and at the
    end of the run; restores it at start-up.

    A file that does not decode is kept aside as "Session.json.damaged-N" before the first
    save replaces it.

    Message thread only.
*/
class SessionStore
{
public:
    SessionStore(AudioEngine& engine, MIDIManager& midi, DronePadController& drone,
                 Scheduler& scheduler, juce::File file);

    static constexpr double debounceSeconds = 1.5;

    /** Applies the saved session, if there is one that decodes; otherwise changes nothing. */
    void restore();

    /** Saves once now, then after every burst of changes of the engine, the MIDI input, the
        drone pad, the five layers or the metronome. */
    void beginObserving();

    /** Captures and writes the session now (also what the end of the run calls). */
    void save();

    /** The state as it is now. */
    SessionState capture() const;

    const juce::File& fileLocation() const { return stored.location(); }
    int saveCount() const { return saves; }

private:
    void changed();

    AudioEngine& engine;
    MIDIManager& midi;
    DronePadController& drone;
    Scheduler& scheduler;
    StoredFile stored;
    std::vector<ObservableObject::WillChange::Subscription> subscriptions;
    std::vector<std::shared_ptr<void>> kept; // subscriptions to single values

    std::unique_ptr<TimerHandle> debounce;
    int saves = 0;
};

} // namespace norvane
