#pragma once

#include <cstdint>

namespace norvane
{

/** One instruction for an instrument, on MIDI channel 0. */
struct NoteCommand
{
    enum class Kind : std::uint8_t
    {
        start,    ///< pitch, velocity 1–127
        stop,     ///< pitch
        stopAll,  ///< every pitch 0–127
        silence,  ///< every voice cut at once, release tails too
        pitchBend ///< 14-bit value, 8192 = centre
    };

    Kind kind = Kind::stop;
    std::int16_t pitch = 0;
    std::int16_t value = 0; ///< velocity for start, bend for pitchBend
    /** Where in the next block it takes effect, in frames from the block's start: a MIDI
        event's own frame within the device's cycle. 0 for everything else. */
    std::int32_t frame = 0;
};

/** What plays a layer's notes: the built-in sampler, or an instrument plug-in in its place.

    The commands are queued and carried out on the audio thread in the next block, each at its
    frame.
*/
class InstrumentNode
{
public:
    virtual ~InstrumentNode() = default;

    /** Queues the command; false if it could not be queued (the audio side has stalled). */
    virtual bool send(const NoteCommand& command) = 0;
};

} // namespace norvane
