#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"
#include "engine/realtime/PerformanceEvents.h"
#include "input/CCDestination.h"
#include "input/ControlTarget.h"
#include "core/MidiParser.h"
#include "input/MidiSystem.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace norvane
{

class AudioEngine;

/** A MIDI source offered to the user. `id` is the FNV-1a hash of the system's identifier. */
struct MIDISourceInfo
{
    std::uint32_t id = 0;
    std::string name;

    bool operator==(const MIDISourceInfo&) const = default;
};

/** The single entry point for performance input: MIDI, the computer keyboard and the on-screen
    keyboard all play through it, so that the global transposition, the pedal bookkeeping and
    the published note sets are shared by the three.

    Keeps one MIDI source connected. Its bytes are parsed on the MIDI thread and go straight to
    the audio side's performance router, which plays them at the start of the next block;
    nothing of a note waits for the message thread. What was played comes back from the audio
    side into the published note sets, for the keyboards and the chord names to show.

    Message thread only, except where a method says otherwise.
*/
class MIDIManager final : public ObservableObject
{
public:
    MIDIManager(AudioEngine& engine, std::unique_ptr<MidiSystem> midi, Scheduler& scheduler);
    ~MIDIManager() override;

    // ---- Published state -----------------------------------------------------------------
    Published<std::set<int>> activeNotes{*this, {}};    ///< held on a MIDI or computer key
    Published<std::set<int>> clickedNotes{*this, {}};   ///< latched on the on-screen keyboard
    Published<std::set<int>> sustainedNotes{*this, {}}; ///< active ∪ held by pedal ∪ clicked
    Published<bool> isSustainPedalDown{*this, false};
    Published<std::vector<MIDISourceInfo>> availableSources{*this, {}};
    Published<std::optional<std::uint32_t>> selectedSourceID{*this, std::nullopt};
    Published<std::optional<std::string>> connectionError{*this, std::nullopt};
    /** Added to every incoming note; the window keeps it in −12…12. */
    Published<int> transposeSemitones{*this, 0};
    Published<CCDestination> expressionTarget{*this, CCDestination::off}; ///< controller 11
    Published<CCDestination> modulationTarget{*this, CCDestination::off}; ///< controller 1
    Published<CCDestination> volumeTarget{*this, CCDestination::off};     ///< controller 7
    /** Hands what is played out again on the JACK client's MIDI output ("midi_out"), notes
        as they sound, so that another synthesizer or a recorder can follow. */
    Published<bool> echoToOutput{*this, false};
    /** For pedals wired the other way: down below 64 instead of from 64. */
    Published<bool> sustainPedalInverted{*this, false};
    /** The target the next controller or key struck is bound to, while the player teaches
        one; nothing otherwise. Setting it starts or stops learning on the audio side. */
    Published<std::optional<ControlTarget>> learningTarget{*this, std::nullopt};

    /** Called with the number (0–127) of every Program Change. */
    std::function<void(int)> onProgramChange;

    // ---- Sources -------------------------------------------------------------------------
    /** Reads the source list again. The source the player chose is taken back as soon as it
        is listed again, under whatever id; while it is away the first listed source plays. */
    void refreshSources();
    /** Connects the source with this id (from availableSources): the player's choice. */
    void connect(std::uint32_t sourceID);
    /** The player's choice by name (a restored session): connected now when it is listed,
        otherwise as soon as it appears. */
    void chooseSource(const std::string& name);
    /** The name of the source the player chose, connected or not; empty before any choice. */
    const std::string& chosenSourceName() const { return chosenName; }
    /** The name of the connected source, or empty. */
    std::string connectedSourceName() const;
    std::optional<std::uint32_t> connectedSource() const { return connected; }

    // ---- Notes: requests to the audio side, played at the start of the next block --------
    /** A computer key went down; `note` is before the global transposition. */
    void noteOn(int note, int velocity);
    /** A computer key came up; releases the note that key started. */
    void noteOff(int note);
    /** Latches an on-screen key on, or off again. */
    void toggleOnScreenKey(int note);
    /** Forgets every held, latched and pedal-held note and silences the four layers. */
    void panic();

    // ---- Controller bindings -------------------------------------------------------------
    /** The player's bindings, for the audio side to play by from the next block: a bound
        controller or key does its target's job and nothing else. */
    void useBindings(const std::vector<ControllerBinding>& bindings);
    void learn(const ControlTarget& target) { learningTarget = target; }
    void cancelLearning() { learningTarget = std::nullopt; }

    /** The notes the pedal holds, as the audio side last reported. */
    const std::set<int>& heldByPedal() const { return pedalHeld; }

    // ---- Bytes ---------------------------------------------------------------------------
    /** Message thread: parses the bytes as if the connected source had sent them (offline
        rendering, tests); they are played at the start of the next block. */
    void processNow(const std::uint8_t* bytes, std::size_t count);

    static std::uint32_t fnv1a(const std::string& text);

    static constexpr double sourcePollInterval = 1.0;

private:
    void releaseHeldNotes();
    void pollSources();
    bool attach(std::uint32_t sourceID);
    void takeReport(const PlayedState& state);
    void post(PerformanceEvent event);
    MidiSystem::BytesCallback byteCallback(int lane);

    AudioEngine& engine;
    std::unique_ptr<MidiSystem> midi;
    bool hasClient = false;
    std::optional<std::uint32_t> connected;
    std::string connectedName;
    std::string chosenName;
    std::map<std::uint32_t, MidiEndpoint> endpointsByID;
    std::vector<MidiEndpoint> lastListing;

    std::set<int> pedalHeld;

    std::unique_ptr<TimerHandle> pollTimer;
    CallbackList<const PlayedState&>::Subscription playedWatch;
    CallbackList<int>::Subscription programWatch;
    CallbackList<const ControllerBinding&>::Subscription learnedWatch;
    juce::WeakReference<MIDIManager> self;

    JUCE_DECLARE_WEAK_REFERENCEABLE(MIDIManager)
};

} // namespace norvane
