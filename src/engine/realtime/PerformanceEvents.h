#pragma once

#include <bitset>
#include <cstdint>

namespace norvane
{

/** Where a key comes from. Each input remembers, per key, the note that key started, so that
    two inputs playing the same key number never release each other's notes. */
enum class PerformanceInput : std::uint8_t
{
    midiDevice = 0,  ///< the connected MIDI source
    midiVirtual = 1, ///< the program's own "Norvane" port
    computerKeys = 2,
    jackMidi = 3, ///< whatever is connected to the JACK client's MIDI input
};
inline constexpr int performanceInputCount = 4;

/** One thing the audio side is asked to do, with the moment it was asked (steady-clock
    nanoseconds), which orders the requests of different threads. Plain data. */
struct PerformanceEvent
{
    enum class Kind : std::uint8_t
    {
        channelMessage,           ///< kind, data1, data2 and channel as parsed; from `input`
        keyDown,                  ///< data1 = key before transposition, data2 = velocity
        keyUp,                    ///< data1 = key
        screenKey,                ///< data1 = key: latches on, or off again
        panic,                    ///< forget every key, latch and pedal; silence A–D
        sourceChanged,            ///< the MIDI source changes: release what the inputs hold
        layerNoteOn,              ///< layer, data1 = note (after transposition), data2 = velocity
        layerNoteOff,             ///< layer, data1 = note
        layerPanic,               ///< layer: stop everything it plays
        layerReleaseOutsideRange, ///< layer: release what its new range no longer covers
        layerEnvelopeRest,        ///< layer: its envelope times changed
        enginePanic,              ///< layers A–D stop everything, input bookkeeping untouched
        enginePitchBend,          ///< bend = 14-bit value, to A–D
        engineSustainNoise,       ///< data1 = 1 down / 0 up: the pedal's damper sound on A–D
        setTransposition,         ///< bend = semitones added to every key from now on
        setControllerTarget, ///< data1 = controller (0: CC 1, 1: CC 7, 2: CC 11), data2 = target
        clearBindings,       ///< the player's controller bindings are sent anew
        bindControl,     ///< status = 0xB0 (CC) or 0x90 (note), data1 = number, data2 = target
        learnControl,    ///< data1 = target (ControlTarget::index), or 0xFF: stop learning
        setPedalPolarity, ///< data1 = 1: the sustain pedal is down below 64, not from 64
        setEcho,         ///< data1 = 1: what is played is handed out again (echoed())
        setLanePlacement ///< data1: where bytes that carry only an arrival time play (the
                         ///< router's LanePlacement)
    };

    Kind kind = Kind::channelMessage;
    PerformanceInput input = PerformanceInput::midiDevice;
    std::uint8_t status = 0; ///< channel message kind (0x80 … 0xE0)
    std::uint8_t data1 = 0, data2 = 0;
    std::uint8_t channel = 0; ///< 1–16 for a channel message or a binding's; 0: any
    std::int8_t layer = -1;   ///< 0–3 = A–D, 4 = drone
    bool waited = false;    ///< it found the audio side stalled: a key it strikes is not played
    std::int16_t bend = 8192;
    std::int64_t arrivalNanos = 0;
};

/** What the audio side tells the message thread that must not be lost. */
struct PerformanceNotice
{
    enum class Kind : std::uint8_t
    {
        programChange, ///< value = program 0–127
        controlMoved,  ///< target (ControlTarget::index) was set to `amount` (0…1)
        controlPressed, ///< a bound controller or key pressed the target's switch or action
        learned, ///< the target was bound to `source` (0xB0 CC, 0x90 note), `value`, `channel`
    };
    Kind kind = Kind::programChange;
    std::uint8_t target = 0;
    std::uint8_t value = 0;
    std::uint8_t source = 0;
    std::uint8_t channel = 0;
    float amount = 0.0f;
};

/** What sounds, as the audio side saw it at the end of a block: the keys held (after
    transposition), the on-screen latches, the notes the pedal holds, and per layer the pitch
    and velocity each incoming note started. Plain data, copied whole. */
struct PlayedState
{
    using NoteSet = std::bitset<128>;

    struct LayerNotes
    {
        std::int8_t pitch[128]; ///< −1: the note does not sound on this layer
        std::uint8_t velocity[128];
    };

    NoteSet active, clicked, heldByPedal;
    bool pedalDown = false;
    LayerNotes layers[5];
    std::uint64_t serial = 0; ///< counts the states published
};

} // namespace norvane
