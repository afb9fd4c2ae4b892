#pragma once

#include <string>
#include <vector>

namespace norvane::cli
{

/** `norvane-cli latency [--stall-ms N] [--json] [--midi FILE]`: plays a performance through
    the live path in real time (the MIDI input's byte callback fed from a thread of its own at
    the file's times, a simulated device pulling the engine in 128-frame blocks, the message
    loop kept busy N ms of every second drawing the window off screen, the metronome running)
    and prints, per note, the time from its bytes' arrival to its first sample, and each click's
    distance from where it belongs. Returns the process exit code. */
int latency(const std::vector<std::string>& args);

} // namespace norvane::cli
