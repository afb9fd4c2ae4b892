#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace norvane
{

/** The bytes of one message of a performance and when it is played. */
struct TimedMessage
{
    double seconds = 0.0;
    std::vector<std::uint8_t> bytes;
};

/** Reads a Standard MIDI File into its messages in playing order, all tracks merged, tempo
    changes applied. Meta events are left out: they never travel over a MIDI cable. Returns
    nothing and sets `error` when the file cannot be read. */
std::optional<std::vector<TimedMessage>> readMidiFile(const juce::File& file, std::string& error);

} // namespace norvane
