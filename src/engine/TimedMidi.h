#pragma once

#include <cstdint>
#include <span>

namespace norvane
{

/** One channel message with its place in an audio cycle: what a JACK MIDI port carries in,
    and what the echo hands out. Plain data. */
struct TimedMidiEvent
{
    std::int32_t frame = 0; ///< from the cycle's start
    std::uint8_t size = 0;  ///< 1–3
    std::uint8_t bytes[3] = {};
};

using TimedMidi = std::span<const TimedMidiEvent>;

} // namespace norvane
