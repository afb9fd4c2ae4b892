#pragma once

#include "core/LatestValue.h"
#include "core/SpscFifo.h"
#include "engine/AudioHost.h"
#include "engine/realtime/BoundControls.h"
#include "engine/realtime/PerformanceEvents.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>

namespace norvane
{

class LayerChain;
class LayerProcessor;
class MixerNode;

/** The performance path on the audio side: everything that is played, from whichever input,
    is routed here at the start of each audio block, never waiting for the message thread.

    Requests arrive in three lanes, each a lock-free queue with one producer: the connected
    MIDI source's thread, the virtual port's thread, and the message thread (computer and
    on-screen keys, panic, the drone and the layers' own requests). At the start of a block the
    router takes everything that has arrived, in the order it arrived across the lanes. In
    blocks of up to 128 frames it plays them at the block's start: a note sounds between zero
    and one block after its bytes, 2.7 ms of spread at most at 48 kHz, and half a block sooner
    on average than the alternative. In larger blocks the spread would be heard (5.3 ms at 256
    frames, 21 ms at 1024), so each plays one block after it arrived, at that frame of the
    block: a constant latency, within the synthesizer's 64-frame step. The MIDI of a JACK port
    comes with its frames and plays at them (playTimed()).

    Here live the global transposition, the note each key started, the keys held, the
    on-screen latches, the sustain pedal and the notes it holds, the controller targets and
    the fan-out to layers A, B, C and D in that order; each layer decides for itself what it
    plays (LayerProcessor). What was played goes back to the message thread as a whole state
    (the keyboards, the chord names) and as notices that must not be lost (Program Change,
    controller moves).
*/
class PerformanceRouter final : public AudioHost::BlockListener
{
public:
    enum class Lane
    {
        midiDevice = 0,
        midiVirtual = 1,
        messageThread = 2
    };
    static constexpr int laneCount = 3;

    /** Where the lanes' requests play, which carry only the moment they arrived (unlike a
        JACK port's MIDI, which carries its frame): at the start of the next block, between
        zero and one block late, or one block after they arrived, a constant latency. */
    enum class LanePlacement : std::uint8_t
    {
        automatic = 0, ///< at the block's start up to 128 frames, one block later above
        blockStart = 1,
        oneBlockLater = 2
    };
    /** Blocks up to this size take the lanes at their start when placement is automatic. */
    static constexpr int largestBlockPlayedAtItsStart = 128;

    /** The four playing layers A–D and the drone's, and the master bus's mixer. They outlive
        the router. */
    PerformanceRouter(std::array<LayerProcessor*, 4> playing, LayerProcessor& drone,
                      MixerNode& master);

    // ---- Any thread: the one producer of the lane ------------------------------------------
    /** Queues a request; stamps its arrival now when it has none. False when the lane is
        full: the audio side has stopped taking requests. What the lane held then is played
        as a stale backlog (its stops, never its starts), and every note is released. */
    bool post(Lane lane, PerformanceEvent event) noexcept;

    /** Message thread: queues a request on the message thread's lane, never dropping one.
        While the lane is full, requests wait here in order, until flushHeld() or the next
        request finds room; the keys they strike are stale by then and are not played, their
        releases and everything else are. */
    void postFromMessageThread(PerformanceEvent event);
    /** Message thread: hands on what waits; true when nothing waits any more. */
    bool flushHeld();

    static std::int64_t nowNanos() noexcept;

    /** Whether learning takes this controller: any but the sustain pedal (64) and the
        channel-mode messages (120–127). */
    static constexpr bool isLearnable(int controller) noexcept
    {
        return controller != 64 && controller < 120;
    }

    /** Controllers 1, 7 and 11, as setControllerTarget names them. Their targets: 0 nowhere,
        1 the master, 2–5 layers A–D. */
    static constexpr int modulation = 0, volume = 1, expression = 2;

    // ---- Message thread ------------------------------------------------------------------
    /** The newest state of what sounds, when it has changed since the last call. */
    bool takePlayedState(PlayedState& state) noexcept { return played.read(state); }
    /** The next notice, oldest first. */
    bool takeNotice(PerformanceNotice& notice) noexcept { return notices.pop(notice); }

    // ---- Audio thread --------------------------------------------------------------------
    void beginBlock(int numSamples) noexcept override;
    void prepare(double sampleRate) noexcept override { rate = sampleRate; }
    /** The MIDI of the device's own port, each message at its frame in the block, as the
        input `jackMidi`. */
    void playTimed(TimedMidi midi) noexcept override;
    /** What was played in the last block, notes as they sound (transposed), while the echo
        is on: keys, pedal, controllers, bends and program changes, each at its frame. */
    TimedMidi echoed() const noexcept override { return {echoBuffer.data(), (size_t)echoCount}; }
    /** Audio thread: a source connected to the device's MIDI port went away; its notes can
        never be released by it now. */
    void midiInputLost() noexcept override;
    /** Any thread: the device stopped and is starting again. What arrived meanwhile is a
        stale backlog: its releases, pedal and settings apply, its key strikes do not. */
    void resumeAfterStop() noexcept override;

    /** Audio thread (or any one thread while nothing renders): the requests waiting. */
    int pendingCount() const noexcept;

private:
    void handle(const PerformanceEvent& e) noexcept;
    void handleChannelMessage(const PerformanceEvent& e) noexcept;
    void keyDown(int input, int key, int velocity) noexcept;
    void keyUp(int input, int key) noexcept;
    void screenKey(int key) noexcept;
    void setPedal(bool down) noexcept;
    void controller(int which, int value) noexcept;
    /** A message the player's bindings (or a binding being learnt) take: true when they did,
        and it does nothing else. */
    bool takenByBinding(const PerformanceEvent& e) noexcept;
    /** Where a continuous target's control stands now, 0…1, and setting it. */
    float controlValue(const ControlTarget& target) const noexcept;
    void setControlValue(const ControlTarget& target, float value) noexcept;
    /** Sets it and tells the message thread, whose model follows. */
    void moveControl(const ControlTarget& target, float value) noexcept;
    LayerChain& chainOf(const ControlTarget& target) const noexcept;
    bool pedalIsDown(int value) const noexcept;
    void panic() noexcept;
    void releaseEverything() noexcept;
    void noteOn(int note, int velocity) noexcept;
    void noteOff(int note) noexcept;
    int transposed(int key) const noexcept;
    void notify(const PerformanceNotice& notice) noexcept;
    void echo(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) noexcept;
    /** Every layer's commands from now on take effect at this frame of the block. */
    void setFrame(int frame) noexcept;
    void publish() noexcept;
    static bool strikes(const PerformanceEvent& e) noexcept;

    std::array<LayerProcessor*, 4> layers;
    LayerProcessor& droneLayer;
    MixerNode& masterMixer;

    std::array<SpscFifo<PerformanceEvent, 4096>, laneCount> lanes;
    std::array<std::atomic<bool>, laneCount> overflowed{};
    std::atomic<std::int64_t> resumedAt{0};
    std::deque<PerformanceEvent> held; // message thread
    SpscFifo<PerformanceNotice, 1024> notices;
    LatestValue<PlayedState> played;

    // Audio thread.
    std::array<std::array<std::int16_t, 128>, performanceInputCount> sentForKey{};
    std::array<std::uint8_t, 128> keysHolding{}; // how many keys hold each note
    // Settings travel as requests too, so that each message meets the ones of its moment.
    int transposition = 0;
    std::array<int, 3> controllerTargets{};
    BoundControls bound;
    std::uint8_t learning = BoundControls::none; // the target the next controller or key binds
    bool pedalInverted = false;
    int lastPedalValue = -1; // −1 before the first pedal message
    PlayedState::NoteSet clicked, heldByPedal;
    bool pedalDown = false;
    bool changed = true;
    PlayedState scratch{};
    std::uint64_t serial = 0;
    bool echoing = false;
    LanePlacement placement = LanePlacement::automatic;
    double rate = 48000.0;
    std::uint8_t echoChannel = 0; // 0–15: the channel of the message being handled
    int frameNow = 0;             // the frame in the block of the message being handled
    std::array<TimedMidiEvent, 512> echoBuffer{};
    int echoCount = 0;
};

} // namespace norvane
