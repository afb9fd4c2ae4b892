#pragma once

#include <string>
#include <vector>

namespace norvane::cli
{

/** `norvane-cli play IN.mid [--device NAME] [--buffer FRAMES] [--rate HZ] [--json]`: plays a
    performance in real time through the live device (a JACK server when one runs, else ALSA),
    its bytes fed at the file's times through the MIDI input's byte callback into the same
    engine as the window's, and prints how the device's callback kept up. Returns the process
    exit code. */
int play(const std::vector<std::string>& args);

} // namespace norvane::cli
